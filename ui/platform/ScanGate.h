#pragma once
// The gate in front of device I/O started from the event loop. It is closed while a scan runs,
// during busy phases, zero adjustment and the device scans of setup dialogs; those phases let
// pending events run, and nothing that reaches a device may start inside them. While it is
// closed, handlers that would start device I/O ask IsOpen() and do nothing; rescan requests
// (coalesced into one), disconnects, window close and configuration-server requests are queued
// and run in arrival order once the gate opens. From the program's end on (End) it runs nothing
// but the window's close, and no configuration request.
//
// Configuration requests have their own way through: they wait only while device work runs
// that holds them (a scan, a setup dialog's scan or upload, Turn off) or while the innermost
// guard's own code runs; while the main thread waits for the user in a box or dialog opened
// after the last guard (an event loop deeper than the one it was taken in), they are answered.

#include "device/MainLoop.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace qrb::ui {

class TScanGate {
public:
    // What a guard holds besides the gate.
    enum class THold {
        Gate,            // device work; configuration requests still run from a box it shows
        GateAndRequests, // device work no configuration request may run inside (a scan, a setup
                         // dialog's scan or upload, Turn off), not even from a box it shows
    };

    // Closes the gate for its lifetime; the gate opens when the last one ends.
    class TGuard {
    public:
        explicit TGuard(TScanGate& gate, THold hold = THold::Gate);
        ~TGuard();
        TGuard(const TGuard&) = delete;
        TGuard& operator=(const TGuard&) = delete;

    private:
        TScanGate& gate_;
        int level_;
        THold hold_;
    };

    // The program's course: it runs; it ends (a termination: nothing runs but the window's
    // close); it is shut (the window closes: nothing runs any more). The phase only advances.
    enum class TPhase { Running, Ending, Shut };

    // The queue is drained through loop (nullptr: the process-wide loop at the time).
    explicit TScanGate(device::TMainLoop* loop = nullptr);
    ~TScanGate();
    TScanGate(const TScanGate&) = delete;
    TScanGate& operator=(const TScanGate&) = delete;

    // Device I/O may start: the program runs and nothing holds the gate.
    bool IsOpen() const { return phase_ == TPhase::Running && !IsHeld(); }
    // Something holds the gate (a scan, a busy phase, a dialog's work): the close waits for it.
    // The gate may be held while the program ends.
    bool IsHeld() const { return !holderLevels_.empty(); }

    // Runs fn at once when the gate is open, else queues it. Inside a box shown from the queue
    // it is queued too and runs after that box.
    void RunWhenOpen(std::function<void()> fn);
    // A box that does no device work before it returns (a device alarm): as RunWhenOpen, but
    // while a box shown from the queue is open it is shown too, ahead of the other work queued.
    void ShowWhenOpen(std::function<void()> fn);
    // A configuration request: at once when RequestMayRun(), else when it may. From the end on
    // none runs: they wait and are dropped when the gate is shut.
    void RunRequest(std::function<void()> fn);
    bool RequestMayRun() const;
    size_t WaitingRequests() const { return requests_.size(); }
    // As RunWhenOpen, but ahead of everything queued (the window's close); it still runs once
    // the program ends.
    void RunFirstWhenOpen(std::function<void()> fn);
    // A termination arrived: what is queued is dropped but the close, later work but the close
    // is ignored, and IsOpen() stays false, so no timer or re-check starts device I/O.
    void End();
    // The program ends (a termination or the window's close).
    bool IsEnding() const { return phase_ != TPhase::Running; }
    // The window closes: what is queued is dropped and later work is ignored.
    void Shut();
    bool IsShut() const { return phase_ == TPhase::Shut; }
    // A rescan: at once when open (OnRescan, then after), else queued; requests made while one
    // is queued join it, and each `after` runs once the rescan was done.
    void RequestRescan(std::function<void()> after = {});

    bool RescanPending() const;
    size_t PendingCount() const { return queue_.size(); }

    // The scan itself; the channels window connects it. Without it a request only runs its
    // `after` steps.
    std::function<void()> OnRescan;
    // Receives the text of an exception raised by queued work (the work after it still runs).
    std::function<void(const std::string&)> OnError;
    // Around each rescan the gate runs (OnRescan).
    std::function<void()> OnRescanStart;
    std::function<void()> OnRescanEnd;
    // The depth of running event loops (unset: the current thread's); a box or dialog runs its
    // own.
    std::function<int()> LoopLevel;

private:
    // The ways into the gate.
    enum class TWay {
        Work,    // RunWhenOpen
        Box,     // ShowWhenOpen
        Close,   // RunFirstWhenOpen: it outlives End()
        Rescan,  // RequestRescan
        Request, // RunRequest
    };
    enum class TAnswer { Run, Wait, Drop };

    struct TEntry {
        TWay Way = TWay::Work;
        std::function<void()> Fn;                 // Work, Box, Close
        std::vector<std::function<void()>> After; // Rescan: its continuations
    };

    // Whether work that comes this way may run now, waits or is dropped, by the phase, what
    // holds the gate and the boxes shown from the queue. The order of what waits already is
    // the caller's.
    TAnswer Ask(TWay way) const;
    // fn at once when it may run and nothing waits, else queued at the back (or the front, first).
    void Enqueue(std::function<void()> fn, TWay way);
    bool Queued(TWay way) const;
    int CurrentLoopLevel() const;
    void RunRequests();
    void WatchRequests();
    void StopWatchingRequests();
    void Open();
    void Drain();
    void RunEntry(TEntry& entry);
    // Runs fn; an exception goes to OnError, and what follows still runs.
    void Guarded(const std::function<void()>& fn);
    device::TMainLoop& Loop();

    device::TMainLoop* loop_;
    TPhase phase_ = TPhase::Running;
    std::vector<int> holderLevels_; // per guard held, the loop level it was taken in
    int requestHolders_ = 0;        // guards that hold requests too
    int boxDepth_ = 0;              // boxes shown from the queue, open now
    bool drainPosted_ = false;
    std::deque<std::function<void()>> requests_;
    device::TTimerId requestTimer_ = 0;
    device::TMainLoop* requestTimerLoop_ = nullptr;
    bool runningRequests_ = false;
    std::deque<TEntry> queue_;
    device::TLifetime lifetime_;
};

} // namespace qrb::ui
