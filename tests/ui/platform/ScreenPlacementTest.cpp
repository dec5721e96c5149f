#include "ui/platform/ScreenPlacement.h"
#include "tests/ui/UiTestSupport.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <gtest/gtest.h>

namespace qrb::ui {
namespace {

struct TPlacementCase {
    const char* Name;
    QRect Frame;
    QPoint Expected;
};

TEST(ScreenPlacementTest, FrameIsMovedInsideTheAvailableArea) {
    // A 1000 x 700 area below a 30 px panel.
    const QRect area(0, 30, 1000, 700);
    const TPlacementCase cases[] = {
        {"inside stays", QRect(100, 100, 300, 200), QPoint(100, 100)},
        {"past the right edge", QRect(900, 100, 300, 200), QPoint(700, 100)},
        {"past the bottom edge", QRect(100, 650, 300, 200), QPoint(100, 530)},
        {"left of the screen", QRect(-50, 100, 300, 200), QPoint(0, 100)},
        {"under the panel", QRect(100, 0, 300, 200), QPoint(100, 30)},
        {"wider than the area", QRect(400, 100, 1200, 200), QPoint(0, 100)},
        {"taller than the area", QRect(100, 200, 300, 900), QPoint(100, 30)},
        {"exactly fits at the corner", QRect(700, 530, 300, 200), QPoint(700, 530)},
    };
    for (const auto& c : cases) EXPECT_EQ(KeepOnScreen(c.Frame, area), c.Expected) << c.Name;
}

TEST(ScreenPlacementTest, WindowMovedPastTheScreenEdgeComesBackInside) {
    test::EnsureApplication();
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    const QRect area = screen->availableGeometry();
    QWidget window;
    window.resize(200, 100);
    MoveOnScreen(&window, QPoint(area.right() - 50, area.top() + 10));
    EXPECT_LE(window.frameGeometry().right(), area.right());
    EXPECT_EQ(window.frameGeometry().top(), area.top() + 10);
}

TEST(ScreenPlacementTest, AWindowNeverShownIsPlacedByTheSizeItWillShowWith) {
    test::EnsureApplication();
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    const QRect area = screen->availableGeometry();
    QWidget window;
    window.setMinimumSize(120, 80);
    // Before its first show the window reports a placeholder size far larger than it will be.
    ASSERT_GT(window.size().width(), 120);
    const QPoint wanted(area.right() - 200, area.top() + 10);
    MoveOnScreen(&window, wanted);
    EXPECT_EQ(window.frameGeometry().topLeft(), wanted);
}

} // namespace
} // namespace qrb::ui
