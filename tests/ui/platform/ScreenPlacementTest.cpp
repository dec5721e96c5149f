#include "ui/platform/ScreenPlacement.h"
#include "tests/support/VirtualMainLoop.h"
#include "tests/ui/UiTestSupport.h"
#include "tests/ui/dialogs/DialogTestSupport.h"
#include "tests/ui/platform/OnScreenTestSupport.h"
#include "ui/dialogs/MessageService.h"
#include "ui/dialogs/SettingsForm.h"
#include "ui/texts/Texts.h"

#include <QDialog>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QVBoxLayout>
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
    for (const auto& c : cases)
        EXPECT_EQ(KeepOnScreen(c.Frame, area), c.Expected) << c.Name;
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

// ---- The placement rule every window and dialog of the program is shown under ---------------

QRect PrimaryArea() {
    QScreen* screen = QGuiApplication::primaryScreen();
    EXPECT_NE(screen, nullptr);
    return screen != nullptr ? screen->availableGeometry() : QRect();
}

TEST(ScreenPlacementTest, ADialogWhoseFrameComesAfterItsShowIsMovedInOnceTheFrameIsThere) {
    test::EnsureApplication();
    const QRect area = PrimaryArea();
    const struct {
        const char* Name;
        QPoint Corner; // where the window's bottom-right or top-left corner touches the area's
        bool BottomRight;
    } cases[] = {
        {"bottom right", area.bottomRight(), true},
        {"top left", area.topLeft(), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        QDialog dialog;
        dialog.setWindowFlag(Qt::FramelessWindowHint);
        dialog.resize(300, 200);
        dialog.move(c.BottomRight ? c.Corner - QPoint(299, 199) : c.Corner);
        dialog.show();
        QApplication::processEvents();
        // Without its frame the dialog fits exactly.
        ASSERT_EQ(dialog.frameGeometry(), dialog.geometry());
        ASSERT_TRUE(test::Inside(dialog.frameGeometry(), area));
        ASSERT_NO_FATAL_FAILURE(test::FrameNow(dialog));
        ASSERT_NE(dialog.frameGeometry(), dialog.geometry());
        EXPECT_TRUE(test::Inside(dialog.frameGeometry(), area));
        EXPECT_EQ(dialog.size(), QSize(300, 200));

        // Once the frame is known, the window is where the user puts it, also half off the screen.
        const QPoint dragged(area.right() - 100, area.top() + 10);
        dialog.move(dragged);
        QApplication::processEvents();
        EXPECT_EQ(dialog.frameGeometry().topLeft(), dragged);
    }
}

TEST(ScreenPlacementTest, AWindowLargerThanTheAreaIsShrunkToItAsFarAsItsLayoutAllows) {
    test::EnsureApplication();
    const QRect area = PrimaryArea();
    QDialog dialog;
    auto* layout = new QVBoxLayout(&dialog);
    auto* tall = new QLabel(QStringLiteral("tall"), &dialog);
    // Taller than the screen: the layout does not let it shrink so far.
    tall->setMinimumSize(100, area.height() + 50);
    layout->addWidget(tall);
    dialog.resize(area.width() + 300, area.height() + 200);
    dialog.move(area.topLeft() + QPoint(40, 30));
    dialog.show();
    QApplication::processEvents();
    const QRect frame = dialog.frameGeometry();
    EXPECT_EQ(frame.left(), area.left());
    EXPECT_EQ(frame.width(), area.width());
    EXPECT_EQ(frame.top(), area.top());
    EXPECT_EQ(dialog.height(), dialog.minimumHeight());
    EXPECT_GT(dialog.height(), area.height());
}

TEST(ScreenPlacementTest, AWindowInsideIsNeitherMovedNorResized) {
    test::EnsureApplication();
    const QRect area = PrimaryArea();
    QWidget window;
    window.setGeometry(area.left() + 2, area.top() + 2, 400, 300);
    window.show();
    QApplication::processEvents();
    EXPECT_EQ(window.geometry(), QRect(area.left() + 2, area.top() + 2, 400, 300));
    EXPECT_TRUE(test::Inside(window.frameGeometry(), area));
}

// ---- Let go: a window without a frame, and one that grows after its frame is drawn ----------

// A window shown without a frame is, once the rule has let it go, where a program puts it, also
// off the screen's edge, and as large as it is made.
void ExpectLaterMoveAndResizeAsGiven(bool frameless) {
    test::EnsureApplication();
    const QRect area = PrimaryArea();
    QWidget window;
    window.setWindowFlag(Qt::FramelessWindowHint, frameless);
    window.resize(300, 200);
    window.move(area.topLeft() + QPoint(20, 20));
    window.show();
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.isVisible() && !test::PlacementPending(window); }, 10000))
        << "the placement rule never lets the window go";
    ASSERT_EQ(window.frameGeometry(), window.geometry());
    window.move(-150, 50);
    QTest::qWait(300);
    EXPECT_EQ(window.pos(), QPoint(-150, 50));
    window.resize(5000, 5000);
    QTest::qWait(300);
    EXPECT_EQ(window.geometry(), QRect(-150, 50, 5000, 5000));
}

TEST(PlacementLetsGo, AFramelessWindowTakesALaterMoveAndResizeAsGiven) {
    ExpectLaterMoveAndResizeAsGiven(true);
}

TEST(PlacementLetsGo, AWindowWithoutAWindowManagerTakesALaterMoveAndResizeAsGiven) {
    if (!test::OnDesk()) return test::RunOnDesk(test::TDesk::Bare, QSize(1024, 768));
    ExpectLaterMoveAndResizeAsGiven(false);
}

// Grows the window by a pixel at its first expose, as a layout that settles late does.
class TGrowAtExpose : public QObject {
public:
    TGrowAtExpose(QWidget& window, QWidget& inner) : window_(window), inner_(inner) {}
    bool Grown = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Expose && !Grown && static_cast<QWindow*>(watched)->isExposed()) {
            Grown = true;
            inner_.setMinimumWidth(inner_.minimumWidth() + 1);
            window_.layout()->activate();
        }
        return false;
    }

private:
    QWidget& window_;
    QWidget& inner_;
};

TEST(PlacementLetsGo, AWindowThatGrowsAfterItsFrameIsDrawnStillEndsOnTheScreen) {
    if (!test::OnDesk()) return test::RunOnDesk(test::TDesk::Openbox, QSize(800, 600));
    test::EnsureApplication();
    const QRect area = PrimaryArea();
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* inner = new QWidget(&window);
    inner->setMinimumSize(300, 150);
    layout->addWidget(inner);
    // Past the right edge: the rule moves it in until its frame touches the edge.
    window.move(area.right() - 100, area.top() + 40);
    window.winId(); // its window handle, for the filter
    TGrowAtExpose grow(window, *inner);
    window.windowHandle()->installEventFilter(&grow);
    const int width = window.minimumSizeHint().width();
    window.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return grow.Grown && !test::PlacementPending(window); }, 10000));
    QTest::qWait(300);
    ASSERT_NE(window.frameGeometry(), window.geometry()) << "openbox drew no frame";
    EXPECT_GT(window.width(), width);
    EXPECT_TRUE(test::Inside(window.frameGeometry(), area));
    // Moved in to the edge (openbox may settle its frame a pixel narrower after the move).
    EXPECT_LE(area.right() - window.frameGeometry().right(), 1);
}

// ---- The settings dialog on small screens ----------------------------------------------------

class SettingsDialogOnAScreen : public ::testing::TestWithParam<QSize> {};

TEST_P(SettingsDialogOnAScreen, IsAsTallAsItsLayoutNeedsAndEveryControlHasItsRoom) {
    if (!test::OnDesk()) return test::RunOnDesk(test::TDesk::Offscreen, GetParam());
    test::EnsureApplication();
    test::TInstalledVirtualMainLoop loop;
    TScriptedMessageService script;
    TScopedMessageService installed(script);
    test::TModalScript modal;
    test::TNoFirmwareLibrary noLibrary;
    const QRect area = PrimaryArea();
    ASSERT_EQ(area.size(), GetParam());
    for (const uint16_t lang : {LangGerman, LangEnglish}) {
        SetLangOffset(lang);
        const std::string where = lang == LangGerman ? "settings de" : "settings en";
        TSettings settings;
        settings.Interfaces = device::kMaskUSB | device::kMaskLAN;
        settings.TimedReCheck = true;
        TSettingsForm form;
        form.LoadOptions(settings, {"127.0.0.1:15000", "127.0.0.2:15000"});
        form.show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !test::PlacementPending(form); }, 10000));
        EXPECT_TRUE(test::Inside(form.frameGeometry(), area)) << where;
        // Its size hint, where the screen has room for it.
        const QSize room = area.size() - (form.frameGeometry().size() - form.size());
        const QSize hint = form.sizeHint().boundedTo(room);
        EXPECT_GE(form.width(), hint.width()) << where;
        EXPECT_GE(form.height(), hint.height()) << where;
        test::ExpectWholeLayout(form, room.height(), where);
        test::ExpectControlsGetTheirSizeHints(form, where);
    }
    SetLangOffset(LangEnglish);
}

INSTANTIATE_TEST_SUITE_P(Screens, SettingsDialogOnAScreen,
                         ::testing::Values(QSize(1024, 768), QSize(800, 600)), [](const auto& info) {
                             return std::to_string(info.param.width()) + "x" +
                                    std::to_string(info.param.height());
                         });

// ---- Message boxes ------------------------------------------------------------------------

TEST(MessageBoxTest, AShortBoxIsWideEnoughForItsTitleBesideTheFramesIconAndButtons) {
    test::EnsureApplication();
    TWidgetMessageService service;
    TScopedMessageService installed(service);
    const QRect area = PrimaryArea();
    for (const int lang : {LangEnglish, LangGerman}) {
        SetLangOffset(lang);
        for (const std::string& text : {std::string("23.5 °C"), GetText(1044)}) {
            SCOPED_TRACE(::testing::Message() << lang << ": " << text);
            bool seen = false;
            test::OnNextModal([&](QDialog& box) {
                seen = true;
                const int title = QFontMetrics(QApplication::font()).horizontalAdvance(box.windowTitle());
                EXPECT_GE(box.width(), title + 120) << box.windowTitle().toStdString();
                EXPECT_TRUE(test::Inside(box.frameGeometry(), area));
                for (QWidget* w : box.findChildren<QWidget*>()) {
                    if (!w->isVisible() ||
                        (qobject_cast<QLabel*>(w) == nullptr && qobject_cast<QPushButton*>(w) == nullptr))
                        continue;
                    EXPECT_GE(w->width(), w->sizeHint().width()) << w->objectName().toStdString();
                    EXPECT_GE(w->height(), w->sizeHint().height()) << w->objectName().toStdString();
                }
            });
            Messages().ShowMessage(text);
            EXPECT_TRUE(seen);
        }
    }
    SetLangOffset(LangEnglish);
}

} // namespace
} // namespace qrb::ui
