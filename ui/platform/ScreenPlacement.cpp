#include "ui/platform/ScreenPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

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
    const QRect frame(window->frameGeometry().topLeft(), FrameSize(window));
    QScreen* screen = ScreenFor(window, frame.center());
    if (screen == nullptr) return;
    const QPoint inside = KeepOnScreen(frame, screen->availableGeometry());
    if (inside != frame.topLeft()) window->move(inside);
}

} // namespace qrb::ui
