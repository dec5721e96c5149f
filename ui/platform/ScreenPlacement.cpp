#include "ui/platform/ScreenPlacement.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
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

// From the show until the window manager's frame is known, every show, move, resize and expose
// of the window places it again; afterwards the window is where the user puts it.
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
            return;
        }
        if (type == QEvent::Show) {
            w->setProperty(kPending, true);
        } else if (!w->property(kPending).toBool()) {
            return;
        }
        if (!Placed(w)) return;
        KeepOnScreen(w);
        // The show itself comes before the window's own show handler has laid it out.
        if (type != QEvent::Show && w->frameGeometry() != w->geometry()) w->setProperty(kPending, QVariant());
    }
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
