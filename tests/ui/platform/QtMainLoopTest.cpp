#include "ui/platform/QtMainLoop.h"
#include "tests/ui/UiTestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

namespace qrb::ui {
namespace {

// Runs the event loop until done() or a generous bound; false at the bound.
template <typename F> bool RunUntil(F done) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > 10000) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

struct QtMainLoopTest : ::testing::Test {
    void SetUp() override { test::EnsureApplication(); }
};

TEST_F(QtMainLoopTest, WorkPostedFromAnyThreadRunsOnTheMainThreadInOrderUnlessItsOwnerIsGone) {
    TQtMainLoop loop;
    std::vector<int> order;
    std::vector<bool> onMain;
    device::TLifetime alive;
    auto gone = std::make_unique<device::TLifetime>();
    std::thread worker([&] {
        for (int i = 0; i < 3; ++i)
            loop.Post(alive, [&, i] {
                order.push_back(i);
                onMain.push_back(QThread::currentThread() == QCoreApplication::instance()->thread());
            });
        loop.Post(*gone, [&] { order.push_back(99); });
    });
    worker.join();
    gone.reset();
    EXPECT_TRUE(order.empty()); // nothing runs before the loop does
    ASSERT_TRUE(RunUntil([&] { return order.size() >= 3; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(onMain, (std::vector<bool>{true, true, true}));
}

TEST_F(QtMainLoopTest, TimerTicksUntilStoppedAlsoFromItsOwnTickAndSleepRunsNothing) {
    TQtMainLoop loop;
    int ticks = 0;
    device::TTimerId id = 0;
    id = loop.StartTimer(1, [&] {
        if (++ticks == 3) loop.StopTimer(id);
    });
    EXPECT_NE(id, 0u);
    ASSERT_TRUE(RunUntil([&] { return ticks >= 3; }));
    EXPECT_EQ(loop.TimerCount(), 0u);
    loop.Sleep(20);
    QCoreApplication::processEvents();
    EXPECT_EQ(ticks, 3);
    loop.StopTimer(id); // unknown by now: ignored
    loop.StopTimer(12345);

    bool ran = false;
    device::TLifetime alive;
    loop.Post(alive, [&] { ran = true; });
    const uint64_t before = loop.NowMs();
    loop.Sleep(5);
    EXPECT_FALSE(ran);
    EXPECT_GE(loop.NowMs(), before + 5);
    QCoreApplication::processEvents();
    EXPECT_TRUE(ran);
}

} // namespace
} // namespace qrb::ui
