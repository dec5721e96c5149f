#include "ui/platform/ScreenPlacement.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QLayout>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace qrb::ui {

namespace {

int Within(int pos, int length, int start, int room) {
    if (length >= room) return start;
    return std::clamp(pos, start, start + room - length);
}

QScreen* ScreenFor(QWidget* window, const QPoint& at) {
    if (QScreen* screen = QGuiApplication::screenAt(at)) return screen;
    if (QScreen* screen = window->screen()) return screen;
    return QGuiApplication::primaryScreen();
}

// The screen most of rect lies on, or none.
QScreen* ScreenMostOf(const QRect& rect) {
    QScreen* best = nullptr;
    qint64 bestArea = 0;
    for (QScreen* screen : QGuiApplication::screens()) {
        const QRect common = screen->geometry().intersected(rect);
        const qint64 area = static_cast<qint64>(common.width()) * common.height();
        if (area > bestArea) {
            best = screen;
            bestArea = area;
        }
    }
    return best;
}

// The windows the rule places: windows, dialogs and tool windows in their normal state. Menus,
// tool tips and splash screens place themselves.
bool Placed(const QWidget* w) {
    if (!w->isWindow()) return false;
    const Qt::WindowType type = w->windowType();
    if (type != Qt::Window && type != Qt::Dialog && type != Qt::Tool) return false;
    return (w->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)) == 0;
}

const char* const kPending = "qrbPlacementPending";
// The size the rule gave a window shown without a size of its own; gone once anything else sizes it.
const char* const kFirstSize = "qrbPlacementFirstSize";
// How often the window was shown: which show the running deadline belongs to.
const char* const kShow = "qrbPlacementShow";
const char* const kDeadlineSet = "qrbPlacementDeadline";
// The rule moved or resized the window after its first expose.
const char* const kRequested = "qrbPlacementRequested";

// After its first expose a window without a frame has its final size: a window manager that
// frames it does so within this time.
constexpr int kLetGoMs = 500;

// Gives a window that still has Qt's first size (at most two thirds of the screen, raised to its
// minimum, where the minimum counts a word-wrapped text as one line) its size hint and the height
// its layout needs at its width, as far as the screen's area allows.
void FitFirstSize(QWidget* w) {
    const QRect area = AvailableAreaFor(QRect(w->frameGeometry().topLeft(), w->size()));
    QSize size = w->size();
    if (!area.isEmpty()) {
        // What the frame adds, as far as it is known (nothing before the frame is drawn).
        const QSize room = area.size() - (FrameSize(w) - w->size());
        size = size.expandedTo(w->sizeHint().boundedTo(room));
        if (QLayout* layout = w->layout(); layout != nullptr && layout->hasHeightForWidth())
            size.setHeight(
                std::max(size.height(), std::min(layout->totalHeightForWidth(size.width()), room.height())));
    }
    size = size.expandedTo(w->minimumSize()).boundedTo(w->maximumSize());
    w->setProperty(kFirstSize, size);
    if (size != w->size()) w->resize(size);
}

// From the show until the window's frame or final size is known, every show, move, resize and
// expose of the window places it again; afterwards the window is where the user puts it.
class TOnScreenRule : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::Show:
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Hide:
            if (watched->isWidgetType()) Note(static_cast<QWidget*>(watched), event->type());
            break;
        case QEvent::Expose:
            if (auto* handle = qobject_cast<QWindow*>(watched); handle != nullptr && handle->isExposed())
                for (QWidget* w : QApplication::topLevelWidgets())
                    if (w->windowHandle() == handle) Note(w, QEvent::Expose);
            break;
        default:
            break;
        }
        return false;
    }

private:
    static void Note(QWidget* w, QEvent::Type type) {
        if (!w->isWindow()) return;
        if (type == QEvent::Hide) {
            w->setProperty(kPending, QVariant());
            w->setProperty(kFirstSize, QVariant());
            return;
        }
        if (type == QEvent::Show) {
            w->setProperty(kPending, true);
            w->setProperty(kShow, w->property(kShow).toInt() + 1);
            w->setProperty(kDeadlineSet, QVariant());
            w->setProperty(kRequested, QVariant());
            // Qt sized a window that was never sized before its first show.
            if (w->property(kShow).toInt() == 1 && !w->testAttribute(Qt::WA_Resized) && Placed(w))
                w->setProperty(kFirstSize, w->size());
        } else if (!w->property(kPending).toBool()) {
            return;
        }
        if (!Placed(w) || placing_) return;
        const QRect before = w->frameGeometry();
        // A window manager moves the window through places of its own while it frames it (an X11
        // one first to the corner of a frame not placed yet), and a user drags it: a move alone,
        // or the expose that follows it, places nothing.
        const bool exposed = type == QEvent::Expose || w->property(kDeadlineSet).toBool();
        if (type == QEvent::Show || type == QEvent::Resize ||
            (type == QEvent::Expose && !w->property(kDeadlineSet).toBool()))
            Place(w);
        // A window manager may answer a request the rule made after the window was mapped only
        // later: the window waits for the deadline, which places it once more.
        if (exposed && w->frameGeometry() != before) w->setProperty(kRequested, true);
        const int show = w->property(kShow).toInt();
        if (type == QEvent::Expose && !w->property(kDeadlineSet).toBool()) {
            w->setProperty(kDeadlineSet, true);
            QTimer::singleShot(kLetGoMs, w, [w, show] {
                if (w->property(kShow).toInt() == show) LetGo(w);
            });
        }
        // A window framed on the screen by its window manager, at the size its layout asks for,
        // is let go at once.
        if (exposed && !w->property(kRequested).toBool() && Framed(w) && Settled(w) &&
            AvailableAreaFor(before).contains(w->frameGeometry()))
            QTimer::singleShot(0, w, [w, show] {
                if (w->property(kShow).toInt() == show) LetGo(w);
            });
    }

    // Whether a frame is drawn around w. While an X11 window manager takes the window into its
    // frame, Qt may report a frame that does not hold the window.
    static bool Framed(QWidget* w) {
        const QRect frame = w->frameGeometry();
        return frame != w->geometry() && frame.contains(w->geometry());
    }

    // Whether w has the size its layout asks for (and the rule gave it, for Qt's first size).
    static bool Settled(QWidget* w) {
        const QSize size = w->size();
        if (QLayout* layout = w->layout();
            layout != nullptr && size != size.expandedTo(layout->totalMinimumSize()))
            return false;
        const QVariant first = w->property(kFirstSize);
        return !first.isValid() || first.toSize() == size;
    }

    // Places w; the moves and resizes it makes place nothing again.
    static void Place(QWidget* w) {
        placing_ = true;
        const QVariant first = w->property(kFirstSize);
        if (first.isValid()) {
            // Anything else that sized the window keeps its size; its layout's minimum does not count.
            if (first.toSize().expandedTo(w->minimumSize()) == w->size())
                FitFirstSize(w);
            else
                w->setProperty(kFirstSize, QVariant());
        }
        KeepOnScreen(w);
        placing_ = false;
    }

    static void LetGo(QWidget* w) {
        if (!w->property(kPending).toBool()) return;
        if (w->isVisible() && Placed(w)) Place(w);
        w->setProperty(kPending, QVariant());
        w->setProperty(kFirstSize, QVariant());
    }

    static inline bool placing_ = false;
};

} // namespace

QSize FrameSize(QWidget* window) {
    // Before its first show a window that was never resized has Qt's placeholder size; the show
    // gives it its size hint.
    if (window->isVisible() || window->testAttribute(Qt::WA_Resized))
        return window->frameGeometry().size().expandedTo(window->size());
    return window->sizeHint().expandedTo(window->minimumSize());
}

QPoint KeepOnScreen(const QRect& frame, const QRect& available) {
    return {Within(frame.left(), frame.width(), available.left(), available.width()),
            Within(frame.top(), frame.height(), available.top(), available.height())};
}

QRect AvailableAreaFor(const QRect& rect) {
    QScreen* screen = ScreenMostOf(rect);
    if (screen == nullptr) screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->availableGeometry() : QRect();
}

void MoveOnScreen(QWidget* window, const QPoint& wanted) {
    if (window == nullptr) return;
    QScreen* screen = ScreenFor(window, wanted);
    if (screen == nullptr) {
        window->move(wanted);
        return;
    }
    window->move(KeepOnScreen(QRect(wanted, FrameSize(window)), screen->availableGeometry()));
}

void KeepOnScreen(QWidget* window) {
    if (window == nullptr) return;
    QRect frame(window->frameGeometry().topLeft(), FrameSize(window));
    QScreen* screen = ScreenMostOf(frame);
    if (screen == nullptr) screen = ScreenFor(window, frame.center());
    if (screen == nullptr) return;
    const QRect area = screen->availableGeometry();
    if (frame.width() > area.width() || frame.height() > area.height()) {
        // What the frame adds around the window stays; the window gives up the rest, as far as
        // its layout lets it.
        const QSize margins = frame.size() - window->size();
        const QSize fit = window->size().boundedTo(area.size() - margins).expandedTo(window->minimumSize());
        if (fit != window->size()) {
            window->resize(fit);
            frame.setSize(window->size() + margins);
        }
    }
    const QPoint inside = KeepOnScreen(frame, area);
    if (inside != frame.topLeft()) window->move(inside);
}

void KeepWindowsOnScreen(QApplication& app) {
    const QString name = QStringLiteral("qrbOnScreenRule");
    if (app.findChild<QObject*>(name, Qt::FindDirectChildrenOnly) != nullptr) return;
    auto* rule = new TOnScreenRule(&app);
    rule->setObjectName(name);
    app.installEventFilter(rule);
}

} // namespace qrb::ui
