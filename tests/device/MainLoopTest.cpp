#include "device/MainLoop.h"
#include "tests/support/VirtualMainLoop.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <utility>
#include <vector>

using namespace qrb::device;
using qrb::test::TInstalledVirtualMainLoop;
using qrb::test::TVirtualMainLoop;

TEST(MainLoop, PostedWorkIsDroppedOnceItsLifetimeEnded) {
    TVirtualMainLoop loop;
    std::vector<int> ran;
    auto kept = std::make_unique<TLifetime>();
    auto ended = std::make_unique<TLifetime>();
    loop.Post(*kept, [&] { ran.push_back(1); });
    loop.Post(*ended, [&] { ran.push_back(2); });
    loop.Post(*kept, [&] { ran.push_back(3); });
    ended.reset();
    EXPECT_EQ(loop.Step(), 3u); // the dropped item is consumed, its function not called
    EXPECT_EQ(ran, (std::vector<int>{1, 3}));
    EXPECT_EQ(loop.PendingCount(), 0u);
}

TEST(MainLoop, WorkPostedByWorkRunsInTheSameStepInOrder) {
    TVirtualMainLoop loop;
    TLifetime life;
    std::string order;
    loop.Post(life, [&] {
        order += 'a';
        loop.Post(life, [&] { order += 'c'; });
    });
    loop.Post(life, [&] { order += 'b'; });
    loop.Step();
    EXPECT_EQ(order, "abc");
}

TEST(MainLoop, TimersTickInDueOrderOnVirtualTime) {
    TVirtualMainLoop loop;
    std::vector<std::pair<char, uint64_t>> ticks;
    loop.StartTimer(300, [&] { ticks.emplace_back('a', loop.NowMs()); });
    loop.StartTimer(500, [&] { ticks.emplace_back('b', loop.NowMs()); });
    loop.StartTimer(300, [&] { ticks.emplace_back('c', loop.NowMs()); });
    loop.Advance(1000);
    const std::vector<std::pair<char, uint64_t>> expected = {{'a', 300}, {'c', 300}, {'b', 500}, {'a', 600},
                                                             {'c', 600}, {'a', 900}, {'c', 900}, {'b', 1000}};
    EXPECT_EQ(ticks, expected);
    EXPECT_EQ(loop.NowMs(), 1000u);
}

TEST(MainLoop, SleepMovesTheClockButRunsNothing) {
    TVirtualMainLoop loop;
    TLifetime life;
    int ticks = 0, posted = 0;
    loop.StartTimer(100, [&] { ++ticks; });
    loop.Post(life, [&] { ++posted; });
    loop.Sleep(350);
    loop.Sleep(20);
    EXPECT_EQ(loop.NowMs(), 370u);
    EXPECT_EQ(ticks, 0);
    EXPECT_EQ(posted, 0);
    EXPECT_EQ(loop.TotalSleptMs(), 370u);
    EXPECT_EQ(loop.Sleeps(), (std::vector<uint32_t>{350, 20}));
    loop.Step(); // a late timer ticks once, not once per missed interval
    EXPECT_EQ(ticks, 1);
    EXPECT_EQ(posted, 1);
    loop.Step();
    EXPECT_EQ(ticks, 1);
    loop.Advance(100);
    EXPECT_EQ(ticks, 2);
}

TEST(MainLoop, TimerCanStopItselfAndOthers) {
    TVirtualMainLoop loop;
    int a = 0, b = 0;
    TTimerId idB = 0;
    TTimerId idA = loop.StartTimer(100, [&] {
        ++a;
        if (a == 2) loop.StopTimer(idB); // b is due at 200 too, after a
    });
    idB = loop.StartTimer(100, [&] { ++b; });
    TTimerId idC = 0;
    idC = loop.StartTimer(50, [&] { loop.StopTimer(idC); });
    loop.Advance(500);
    EXPECT_EQ(a, 5);
    EXPECT_EQ(b, 1);
    EXPECT_TRUE(loop.IsTimerActive(idA));
    EXPECT_FALSE(loop.IsTimerActive(idB));
    EXPECT_FALSE(loop.IsTimerActive(idC));
    loop.StopTimer(12345); // unknown ids are ignored
}

TEST(MainLoop, CrossThreadPostsArriveInPerThreadOrder) {
    TVirtualMainLoop loop;
    TLifetime life;
    std::vector<int> seen;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 100; ++i)
                loop.Post(life, [&seen, t, i] { seen.push_back(t * 1000 + i); });
        });
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(loop.Step(), 400u);
    ASSERT_EQ(seen.size(), 400u);
    std::vector<int> last(4, -1);
    for (int v : seen) {
        EXPECT_GT(v % 1000, last[v / 1000]);
        last[v / 1000] = v % 1000;
    }
}

TEST(MainLoop, InstallerReplacesAndRestoresTheProcessLoop) {
    TMainLoop* before = &MainLoop();
    EXPECT_NE(dynamic_cast<TRealMainLoop*>(before), nullptr);
    {
        TInstalledVirtualMainLoop loop;
        EXPECT_EQ(&MainLoop(), &loop);
        {
            TVirtualMainLoop inner;
            TScopedMainLoop scope(inner);
            EXPECT_EQ(&MainLoop(), &inner);
        }
        EXPECT_EQ(&MainLoop(), &loop);
    }
    EXPECT_EQ(&MainLoop(), before);
}

TEST(MainLoop, RealLoopRunsCrossThreadWorkAndTimersUntilQuit) {
    TRealMainLoop loop;
    TLifetime life;
    auto ended = std::make_unique<TLifetime>();
    std::vector<std::string> events;
    loop.Post(*ended, [&] { events.push_back("dropped"); });
    ended.reset();
    int ticks = 0;
    TTimerId id = loop.StartTimer(5, [&] {
        if (++ticks == 3) {
            std::thread([&] {
                loop.Post(life, [&] {
                    events.push_back("from thread");
                    loop.Quit();
                });
            }).join();
        }
    });
    loop.Run();
    loop.StopTimer(id);
    EXPECT_GE(ticks, 3); // a due tick may run before the posted quit
    EXPECT_EQ(events, (std::vector<std::string>{"from thread"}));
    EXPECT_EQ(loop.ProcessPending(), 0u);
}
