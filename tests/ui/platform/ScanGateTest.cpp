#include "ui/platform/ScanGate.h"
#include "tests/support/VirtualMainLoop.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <optional>
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
            TScanGate::TGuard scan(gate,
                                   TScanGate::THold::GateAndRequests); // a scan, even when it shows a box
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
    EXPECT_EQ(trace, (std::vector<std::string>{"A open", "B open", "B closed", "A closed", "loss report",
                                               "scan", "after rescan"}));
    EXPECT_EQ(gate.PendingCount(), 0u);
}

// From the end on no configuration request runs, on a gate that was never held and on one whose
// guards have ended (also seen from a box's deeper loop); they wait and the close drops them.
TEST_F(ScanGateTest, FromTheEndOnRequestsWaitAndTheCloseDropsThem) {
    int level = 1;
    gate.LoopLevel = [&level] { return level; };
    auto request = [this](const char* name) { gate.RunRequest([this, name] { trace.push_back(name); }); };
    gate.End();
    request("on a gate never held");
    loop.Advance(100);
    EXPECT_TRUE(trace.empty());
    EXPECT_EQ(gate.WaitingRequests(), 1u);
    gate.Shut();
    EXPECT_EQ(gate.WaitingRequests(), 0u);

    TScanGate used(&loop);
    used.LoopLevel = [&level] { return level; };
    { TScanGate::TGuard busy(used); }
    used.End();
    level = 2; // a box's loop, deeper than the ended guard's
    used.RunRequest([this] { trace.push_back("on a gate held before"); });
    loop.Advance(100);
    EXPECT_TRUE(trace.empty());
    EXPECT_EQ(used.WaitingRequests(), 1u);
}

// Each way into the gate by the program's phase and what holds the gate: whether the work runs at
// once, once the holders have ended, or never.
struct TGateCase {
    TScanGate::TPhase Phase;
    const char* Holders;
    // RunWhenOpen, ShowWhenOpen, RunRequest, RunFirstWhenOpen, RequestRescan
    std::array<const char*, 5> Runs;
};

TEST(ScanGateTable, EachWayInAsksPhaseAndHolders) {
    using P = TScanGate::TPhase;
    const std::array<const char*, 5> ways = {"RunWhenOpen", "ShowWhenOpen", "RunRequest", "RunFirstWhenOpen",
                                             "RequestRescan"};
    // Holders: none; a guard ended before, seen from a box; a guard; a guard seen from a box (a deeper loop);
    // a guard that holds requests, seen from a box.
    const std::vector<TGateCase> cases = {
        {P::Running, "none", {"now", "now", "now", "now", "now"}},
        {P::Running, "ended, box", {"now", "now", "now", "now", "now"}},
        {P::Running, "guard", {"later", "later", "later", "later", "later"}},
        {P::Running, "guard, box", {"later", "later", "now", "later", "later"}},
        {P::Running, "holds requests, box", {"later", "later", "later", "later", "later"}},
        {P::Ending, "none", {"never", "never", "never", "now", "never"}},
        {P::Ending, "ended, box", {"never", "never", "never", "now", "never"}},
        {P::Ending, "guard", {"never", "never", "never", "later", "never"}},
        {P::Ending, "guard, box", {"never", "never", "never", "later", "never"}},
        {P::Ending, "holds requests, box", {"never", "never", "never", "later", "never"}},
        {P::Shut, "none", {"never", "never", "never", "never", "never"}},
        {P::Shut, "ended, box", {"never", "never", "never", "never", "never"}},
        {P::Shut, "guard", {"never", "never", "never", "never", "never"}},
        {P::Shut, "guard, box", {"never", "never", "never", "never", "never"}},
        {P::Shut, "holds requests, box", {"never", "never", "never", "never", "never"}},
    };
    for (const TGateCase& c : cases) {
        for (size_t way = 0; way < ways.size(); ++way) {
            SCOPED_TRACE(std::string(ways[way]) + ", phase " + std::to_string(static_cast<int>(c.Phase)) +
                         ", holders: " + c.Holders);
            TVirtualMainLoop loop;
            TScanGate gate(&loop);
            int level = 1;
            gate.LoopLevel = [&level] { return level; };
            bool ran = false;
            gate.OnRescan = [&gate] { TScanGate::TGuard scanning(gate); };
            const std::string holders = c.Holders;
            std::optional<TScanGate::TGuard> guard;
            if (holders.starts_with("ended")) {
                TScanGate::TGuard ended(gate);
            } else if (holders != "none") {
                guard.emplace(gate, holders.starts_with("holds requests") ? TScanGate::THold::GateAndRequests
                                                                          : TScanGate::THold::Gate);
            }
            if (holders.ends_with("box")) level = 2;
            if (c.Phase != P::Running) gate.End(); // the end may come inside a guard
            if (c.Phase == P::Shut) gate.Shut();
            auto work = [&ran] { ran = true; };
            switch (way) {
            case 0:
                gate.RunWhenOpen(work);
                break;
            case 1:
                gate.ShowWhenOpen(work);
                break;
            case 2:
                gate.RunRequest(work);
                break;
            case 3:
                gate.RunFirstWhenOpen(work);
                break;
            case 4:
                gate.RequestRescan(work);
                break;
            }
            const bool now = ran;
            level = 1;
            guard.reset();
            loop.Advance(100);
            EXPECT_EQ(now ? "now" : ran ? "later" : "never", std::string(c.Runs[way]));
        }
    }
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
