#include "ui/platform/ScanGate.h"
#include "tests/support/VirtualMainLoop.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

using qrb::test::TVirtualMainLoop;
using qrb::ui::TScanGate;

namespace {

struct ScanGateTest : ::testing::Test {
    TVirtualMainLoop loop;
    TScanGate gate{&loop};
    std::vector<std::string> trace;

    void SetUp() override {
        gate.OnRescan = [this] {
            // The scan closes the gate while it runs, as the real one does.
            TScanGate::TGuard scanning(gate);
            trace.push_back("scan");
        };
    }
};

TEST_F(ScanGateTest, OpenGateRunsAtOnceClosedGateQueuesUntilTheLoopRunsAfterOpening) {
    gate.RunWhenOpen([this] { trace.push_back("a"); });
    gate.RequestRescan([this] { trace.push_back("after"); });
    EXPECT_EQ(trace, (std::vector<std::string>{"a", "scan", "after"}));
    trace.clear();
    {
        TScanGate::TGuard outer(gate);
        {
            TScanGate::TGuard inner(gate);
            gate.RunWhenOpen([this] { trace.push_back("close"); });
        }
        EXPECT_FALSE(gate.IsOpen());
        loop.Step();
        EXPECT_TRUE(trace.empty()); // the inner guard alone does not open the gate
    }
    EXPECT_TRUE(gate.IsOpen());
    EXPECT_TRUE(trace.empty()); // the queue runs from the loop, not inside the guard's end
    loop.Step();
    EXPECT_EQ(trace, (std::vector<std::string>{"close"}));
    EXPECT_EQ(gate.PendingCount(), 0u);
}

TEST_F(ScanGateTest, FromTheEndOnOnlyTheCloseRuns) {
    {
        TScanGate::TGuard busy(gate);
        gate.RequestRescan([this] { trace.push_back("after"); });
        gate.RunWhenOpen([this] { trace.push_back("request"); });
        gate.RunFirstWhenOpen([this] { trace.push_back("close"); });
        gate.End();
        EXPECT_EQ(gate.PendingCount(), 1u);
        gate.RunWhenOpen([this] { trace.push_back("later"); });
        gate.RequestRescan([this] { trace.push_back("later rescan"); });
        EXPECT_EQ(gate.PendingCount(), 1u);
    }
    // No handler may start device I/O any more, though nothing holds the gate.
    EXPECT_FALSE(gate.IsOpen());
    EXPECT_FALSE(gate.IsHeld());
    loop.Step();
    EXPECT_EQ(trace, (std::vector<std::string>{"close"}));
    gate.RunFirstWhenOpen([this] { trace.push_back("close again"); });
    EXPECT_EQ(trace, (std::vector<std::string>{"close", "close again"}));
}

TEST_F(ScanGateTest, AnEndDuringAScanDropsWhatWaitedForIt) {
    gate.OnRescan = [this] {
        TScanGate::TGuard scanning(gate);
        trace.push_back("scan");
        gate.End();
    };
    gate.RequestRescan([this] { trace.push_back("after"); });
    loop.Step();
    EXPECT_EQ(trace, (std::vector<std::string>{"scan"}));
}

TEST_F(ScanGateTest, CloseGoesAheadOfTheQueueAndShuttingDropsEverything) {
    {
        TScanGate::TGuard busy(gate);
        gate.RequestRescan([this] { trace.push_back("after"); });
        gate.RunWhenOpen([this] { trace.push_back("request"); });
        gate.RunFirstWhenOpen([this] {
            trace.push_back("close");
            gate.Shut();
        });
    }
    loop.Step();
    EXPECT_EQ(trace, std::vector<std::string>{"close"});
    EXPECT_EQ(gate.PendingCount(), 0u);
    // Nothing runs once the gate is shut.
    gate.RequestRescan([this] { trace.push_back("after"); });
    gate.RunWhenOpen([this] { trace.push_back("request"); });
    loop.Step();
    EXPECT_EQ(trace, std::vector<std::string>{"close"});
    EXPECT_TRUE(gate.IsShut());
}

TEST_F(ScanGateTest, RescanRequestsWhileClosedBecomeOneScanAndEachContinuationRunsAfterIt) {
    {
        TScanGate::TGuard busy(gate);
        gate.RequestRescan([this] { trace.push_back("lost message"); });
        gate.RunWhenOpen([this] { trace.push_back("disconnect"); });
        gate.RequestRescan();
        gate.RequestRescan([this] { trace.push_back("alarm follow-up"); });
        EXPECT_TRUE(gate.RescanPending());
        EXPECT_EQ(gate.PendingCount(), 2u);
    }
    loop.Step();
    EXPECT_EQ(trace, (std::vector<std::string>{"scan", "lost message", "alarm follow-up", "disconnect"}));
}

TEST_F(ScanGateTest, RequestArrivingDuringTheScanRunsOnceMoreAfterIt) {
    int scans = 0;
    gate.OnRescan = [this, &scans] {
        TScanGate::TGuard scanning(gate);
        ++scans;
        if (scans == 1) gate.RequestRescan(); // a device-lost handler inside the scan's event processing
    };
    gate.RequestRescan();
    EXPECT_EQ(scans, 1);
    loop.Step();
    EXPECT_EQ(scans, 2);
    loop.Step();
    EXPECT_EQ(scans, 2);
}

TEST_F(ScanGateTest, FailingWorkIsReportedAndTheRestStillRuns) {
    std::vector<std::string> errors;
    gate.OnError = [&errors](const std::string& text) { errors.push_back(text); };
    {
        TScanGate::TGuard busy(gate);
        gate.RunWhenOpen([] { throw std::runtime_error("boom"); });
        gate.RunWhenOpen([this] { trace.push_back("next"); });
    }
    loop.Step();
    EXPECT_EQ(errors, (std::vector<std::string>{"boom"}));
    EXPECT_EQ(trace, (std::vector<std::string>{"next"}));
}

TEST_F(ScanGateTest, WorkQueuedBehindEarlierWorkKeepsItsTurnEvenWhenTheGateIsOpen) {
    {
        TScanGate::TGuard busy(gate);
        gate.RunWhenOpen([this] { trace.push_back("first"); });
    }
    // Opened, drain not yet run: new work must not overtake the queued work.
    gate.RunWhenOpen([this] { trace.push_back("second"); });
    EXPECT_TRUE(trace.empty());
    loop.Step();
    EXPECT_EQ(trace, (std::vector<std::string>{"first", "second"}));
}

// Configuration requests: held by device work, answered from a box or dialog opened after the
// last closer, not in the closer's own pending-event passes.
TEST_F(ScanGateTest, RequestsRunFromAnEventLoopDeeperThanTheInnermostCloserOnly) {
    int level = 1; // the application's loop
    gate.LoopLevel = [&level] { return level; };
    auto request = [this](const char* name) { gate.RunRequest([this, name] { trace.push_back(name); }); };
    {
        TScanGate::TGuard busy(gate); // a busy span
        request("in the busy pass");
        loop.Advance(100);
        EXPECT_TRUE(trace.empty());
        level = 2; // its box waits for the user
        loop.Advance(100);
        EXPECT_EQ(trace, (std::vector<std::string>{"in the busy pass"}));
        request("in the box");
        EXPECT_EQ(trace.back(), "in the box");
        {
            TScanGate::TGuard nested(gate); // work started from the box
            request("in the nested work");
            loop.Advance(100);
            EXPECT_EQ(trace.size(), 2u);
        }
        loop.Advance(100);
        EXPECT_EQ(trace.back(), "in the nested work");
        {
            TScanGate::TGuard scan(gate, true); // a scan, even when it shows a box
            level = 3;
            request("during the scan");
            loop.Advance(100);
            EXPECT_EQ(trace.size(), 3u);
        }
        loop.Advance(100);
        EXPECT_EQ(trace.back(), "during the scan");
        level = 1;
    }
    trace.clear();
    // Open: at once, also with other work queued.
    {
        TScanGate::TGuard busy(gate);
        gate.RunWhenOpen([this] { trace.push_back("queued"); });
    }
    request("open");
    EXPECT_EQ(trace, (std::vector<std::string>{"open"}));
    loop.Step();
    EXPECT_EQ(trace, (std::vector<std::string>{"open", "queued"}));
}

// A box shown from the queue: other boxes are shown from its event loop (loop.Step stands in for
// it), while the work queued behind it, and work requested from inside it, waits for its end.
TEST_F(ScanGateTest, BoxFromTheQueueLetsOtherBoxesShowAndHoldsTheRestUntilItEnds) {
    auto box = [this](std::string name, bool nestedLoop) {
        return [this, name, nestedLoop] {
            trace.push_back(name + " open");
            if (nestedLoop) {
                gate.RequestRescan([this] { trace.push_back("after rescan"); });
                loop.Step();
            }
            trace.push_back(name + " closed");
        };
    };
    {
        TScanGate::TGuard busy(gate);
        gate.ShowWhenOpen(box("A", true));
        gate.RunWhenOpen([this] { trace.push_back("loss report"); });
        gate.ShowWhenOpen(box("B", false));
    }
    loop.Step();
    EXPECT_EQ(trace, (std::vector<std::string>{"A open", "B open", "B closed", "A closed", "loss report", "scan",
                                               "after rescan"}));
    EXPECT_EQ(gate.PendingCount(), 0u);
}

TEST(ScanGateLifetime, DrainPostedForADestroyedGateIsDropped) {
    TVirtualMainLoop loop;
    bool ran = false;
    {
        auto gate = std::make_unique<TScanGate>(&loop);
        {
            TScanGate::TGuard busy(*gate);
            gate->RunWhenOpen([&ran] { ran = true; });
        }
    }
    loop.Step();
    EXPECT_FALSE(ran);
}

} // namespace
