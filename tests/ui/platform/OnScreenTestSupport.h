#pragma once
// Pieces of the tests that windows open whole on the screen: a window manager's frame that comes
// only after the show, and a look at a modal dialog while its own loop runs.

#include "tests/support/ExecArgs.h"
#include "tests/support/WaitUntil.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QProgressBar>
#include <QSize>
#include <QTabWidget>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

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

// ---- A screen of its own: a test run again in a child program -------------------------------

// The screen a child program runs its test on: the offscreen platform, or an X server of its own
// (Xvfb) without a window manager, or with openbox framing its windows.
enum class TDesk { Offscreen, Bare, Openbox };

// Whether this program is the child RunOnDesk started: the test's own body runs here.
inline bool OnDesk() {
    return std::getenv("QRB_TEST_DESK") != nullptr;
}

namespace desk {

inline pid_t Spawn(std::vector<std::string> args, const TExecArgs::TChanges& changes) {
    const TExecArgs exec(std::move(args), changes);
    const pid_t pid = fork();
    if (pid == 0) {
        execvpe(exec.Argv()[0], exec.Argv(), exec.Envp());
        _exit(127);
    }
    return pid;
}

inline void End(pid_t pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
}

} // namespace desk

// Runs the current test again in a child program on a screen of size on desk; the child's
// failures fail the test. The child starts its own X server and window manager where desk asks.
inline void RunOnDesk(TDesk desk, QSize size) {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    ASSERT_NE(info, nullptr);
    const std::string filter = std::string(info->test_suite_name()) + "." + info->name();
    std::string dirTemplate = (std::filesystem::temp_directory_path() / "qrb-desk-XXXXXX").string();
    ASSERT_NE(mkdtemp(dirTemplate.data()), nullptr);
    const std::filesystem::path dir = dirTemplate;
    const std::string width = std::to_string(size.width()), height = std::to_string(size.height());
    TExecArgs::TChanges changes = {{"QRB_TEST_DESK", "1"}, {"XDG_CONFIG_HOME", (dir / "config").string()}};
    std::filesystem::create_directories(dir / "config");
    pid_t server = -1, manager = -1;
    if (desk == TDesk::Offscreen) {
        const std::filesystem::path config = dir / "screen.json";
        std::ofstream(config)
            << "{\"synchronousWindowSystemEvents\": false, \"windowFrameMargins\": true,"
               " \"screens\": [{\"name\": \"OffscreenScreen\", \"x\": 0, \"y\": 0, \"width\": "
            << width << ", \"height\": " << height
            << ", \"logicalDpi\": 96, \"logicalBaseDpi\": 96, \"dpr\": 1}]}\n";
        changes.push_back({"QT_QPA_PLATFORM", "offscreen:configfile=" + config.string()});
    } else {
        // The server names its display on the pipe once it takes connections.
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        server = desk::Spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0",
                              width + "x" + height + "x24", "-nolisten", "tcp"},
                             {});
        close(fds[1]);
        std::string number;
        char c = 0;
        while (read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        close(fds[0]);
        if (number.empty()) {
            desk::End(server);
            FAIL() << "Xvfb did not start";
        }
        const std::string display = ":" + number;
        changes.push_back({"DISPLAY", display});
        changes.push_back({"QT_QPA_PLATFORM", "xcb"});
        if (desk == TDesk::Openbox) {
            const std::filesystem::path ready = dir / "ready";
            manager = desk::Spawn({"openbox", "--startup", "touch " + ready.string()},
                                  {{"DISPLAY", display}, {"XDG_CONFIG_HOME", (dir / "config").string()}});
            if (!WaitUntil([&] { return std::filesystem::exists(ready); }, 20000)) {
                desk::End(manager);
                desk::End(server);
                FAIL() << "openbox did not start";
            }
        }
    }
    const pid_t child = desk::Spawn({"/proc/self/exe", "--gtest_filter=" + filter}, changes);
    int status = 0;
    waitpid(child, &status, 0);
    desk::End(manager);
    desk::End(server);
    std::filesystem::remove_all(dir);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << filter << " on a " << width << "x" << height << " screen failed in its child program";
}

// Whether the placement rule still places window (from its show until it lets it go).
inline bool PlacementPending(const QWidget& window) {
    return window.property("qrbPlacementPending").toBool();
}

// The height window's layout needs at the window's width, as far as room allows: with text that
// wraps, the height it asks for at that width; else its minimum.
inline int NeededHeight(QWidget& window, int room) {
    QLayout* layout = window.layout();
    if (layout == nullptr) return window.minimumHeight();
    if (layout->hasHeightForWidth())
        return std::max(window.minimumHeight(), std::min(layout->totalHeightForWidth(window.width()), room));
    return layout->totalMinimumSize().height();
}

// window is at least the height its layout needs at its width (as far as room allows), and no
// visible control of it overlaps another (each page of a tab widget in turn).
inline void ExpectWholeLayout(QWidget& window, int room, const std::string& where) {
    EXPECT_GE(window.height(), NeededHeight(window, room))
        << where << ": " << window.width() << "x" << window.height();
    auto isControl = [](QWidget* w) {
        return qobject_cast<QAbstractButton*>(w) != nullptr || qobject_cast<QLabel*>(w) != nullptr ||
               qobject_cast<QComboBox*>(w) != nullptr || qobject_cast<QAbstractSpinBox*>(w) != nullptr ||
               qobject_cast<QAbstractItemView*>(w) != nullptr || qobject_cast<QProgressBar*>(w) != nullptr ||
               qobject_cast<QGroupBox*>(w) != nullptr || qobject_cast<QLineEdit*>(w) != nullptr;
    };
    auto check = [&] {
        std::vector<std::pair<QWidget*, QRect>> controls;
        for (QWidget* w : window.findChildren<QWidget*>()) {
            if (!w->isVisibleTo(&window) || !isControl(w)) continue;
            // The parts a control is made of (a combo box's edit) are no controls of the window.
            bool part = false;
            for (QWidget* p = w->parentWidget(); p != nullptr && p != &window; p = p->parentWidget())
                part = part || (isControl(p) && qobject_cast<QGroupBox*>(p) == nullptr);
            if (!part) controls.emplace_back(w, QRect(w->mapTo(&window, QPoint(0, 0)), w->size()));
        }
        for (size_t i = 0; i < controls.size(); ++i)
            for (size_t j = i + 1; j < controls.size(); ++j) {
                QWidget* a = controls[i].first;
                QWidget* b = controls[j].first;
                if (a->isAncestorOf(b) || b->isAncestorOf(a)) continue;
                EXPECT_FALSE(controls[i].second.intersects(controls[j].second))
                    << where << ": " << a->objectName().toStdString() << " and "
                    << b->objectName().toStdString();
            }
    };
    const QList<QTabWidget*> tabs = window.findChildren<QTabWidget*>();
    if (tabs.empty()) {
        check();
        return;
    }
    for (QTabWidget* t : tabs)
        for (int i = 0; i < t->count(); ++i) {
            t->setCurrentIndex(i);
            QApplication::processEvents();
            check();
        }
}

} // namespace qrb::test
