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

// The frame's size; before the first show only the window's own size is known.
QSize FrameSize(QWidget* window) {
    const QSize frame = window->frameGeometry().size();
    const QSize own = window->isVisible() ? window->size() : window->size().expandedTo(window->sizeHint());
    return frame.expandedTo(own);
}

} // namespace

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
    if (window != nullptr) MoveOnScreen(window, window->frameGeometry().topLeft());
}

} // namespace qrb::ui
