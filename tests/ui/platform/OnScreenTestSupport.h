#pragma once
// Pieces of the tests that windows open whole on the screen: a window manager's frame that comes
// only after the show, and a look at a modal dialog while its own loop runs.

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace qrb::test {

// Draws the frame around a window shown without one, as an X11 window manager frames a window
// after it was mapped. The platform takes the frame with a geometry change: the window widens by
// a pixel and narrows again where it then is.
inline void FrameNow(QWidget& window) {
    QWindow* handle = window.windowHandle();
    ASSERT_NE(handle, nullptr);
    handle->setFlag(Qt::FramelessWindowHint, false);
    handle->setGeometry(handle->geometry().adjusted(0, 0, 1, 0));
    for (int i = 0; i < 3; ++i)
        QApplication::processEvents();
    handle->resize(handle->size() - QSize(1, 0));
    for (int i = 0; i < 3; ++i)
        QApplication::processEvents();
}

// Runs inspect on the next modal dialog once it is shown and laid out, and then rejects it; the
// dialog runs its own loop meanwhile, as it does for the user.
inline void OnNextModal(std::function<void(QDialog&)> inspect) {
    auto* timer = new QTimer;
    auto ticks = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, ticks, inspect = std::move(inspect)] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr || !dialog->isVisible()) {
            if (++*ticks > 500) {
                ADD_FAILURE() << "no modal dialog opened";
                timer->deleteLater();
            }
            return;
        }
        timer->stop();
        timer->deleteLater();
        for (int i = 0; i < 5; ++i)
            QApplication::processEvents();
        inspect(*dialog);
        dialog->reject();
    });
    timer->start(10);
}

// Whether frame lies inside area, for a readable failure.
inline ::testing::AssertionResult Inside(const QRect& frame, const QRect& area) {
    if (area.contains(frame)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "frame " << frame.x() << "," << frame.y() << " " << frame.width() << "x" << frame.height()
           << " outside " << area.x() << "," << area.y() << " " << area.width() << "x" << area.height();
}

} // namespace qrb::test
