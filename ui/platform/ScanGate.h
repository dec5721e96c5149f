#pragma once
// The gate in front of device I/O started from the event loop. It is closed while a scan runs,
// during busy phases, zero adjustment and the device scans of setup dialogs; those phases let
// pending events run, and nothing that reaches a device may start inside them. While it is
// closed, handlers that would start device I/O ask IsOpen() and do nothing; rescan requests
// (coalesced into one), disconnects, window close and configuration-server requests are queued
// and run in arrival order once the gate opens. From the program's end on (End) it runs nothing
// but the window's close.
//
// Configuration requests have their own way through: they wait only while device work runs
// that holds them (a scan, a setup dialog's scan or upload, Turn off) or while the innermost
// closer's own code runs; while the main thread waits for the user in a box or dialog opened
// after the last closer (an event loop deeper than the one it was taken in), they are answered.

#include "device/MainLoop.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace qrb::ui {

class TScanGate {
public:
    // Closes the gate for its lifetime; the gate opens when the last one ends.
    class TGuard {
    public:
        // holdsRequests: device work that configuration requests must not run inside, not even
        // from a box it shows.
        explicit TGuard(TScanGate& gate, bool holdsRequests = false);
        ~TGuard();
        TGuard(const TGuard&) = delete;
        TGuard& operator=(const TGuard&) = delete;

    private:
        TScanGate& gate_;
        int level_;
        bool holds_;
    };

    // The queue is drained through loop (nullptr: the process-wide loop at the time).
    explicit TScanGate(device::TMainLoop* loop = nullptr);
    ~TScanGate();
    TScanGate(const TScanGate&) = delete;
    TScanGate& operator=(const TScanGate&) = delete;

    // Device I/O may start: nothing holds the gate and the program does not end.
    bool IsOpen() const { return closers_ == 0 && !ending_; }
    // Something holds the gate (a scan, a busy phase, a dialog's work): the close waits for it.
    bool IsHeld() const { return closers_ > 0; }

    // Runs fn at once when the gate is open, else queues it. Inside a box shown from the queue
    // it is queued too and runs after that box.
    void RunWhenOpen(std::function<void()> fn);
    // A box that does no device work before it returns (a device alarm): as RunWhenOpen, but
    // while a box shown from the queue is open it is shown too, ahead of the other work queued.
    void ShowWhenOpen(std::function<void()> fn);
    // A configuration request: at once when RequestMayRun(), else when it may.
    void RunRequest(std::function<void()> fn);
    bool RequestMayRun() const;
    size_t WaitingRequests() const { return requests_.size(); }
    // As RunWhenOpen, but ahead of everything queued (the window's close); it still runs once
    // the program ends.
    void RunFirstWhenOpen(std::function<void()> fn);
    // A termination arrived: what is queued is dropped but the close, later requests but the
    // close are ignored, and IsOpen() stays false, so no timer or re-check starts device I/O.
    void End();
    bool IsEnding() const { return ending_; }
    // The program ends: what is queued is dropped and later requests are ignored.
    void Shut();
    bool IsShut() const { return shut_; }
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
    struct TEntry {
        bool Rescan = false;
        bool Box = false;
        bool Close = false;                       // the window's close: it outlives End()
        std::function<void()> Fn;                 // plain work
        std::vector<std::function<void()>> After; // rescan continuations
    };

    // fn at once when open and nothing waits, else queued at the back (or the front, first).
    void Enqueue(std::function<void()> fn, bool first);
    // Open, and no box shown from the queue is open.
    bool MayRunWork() const { return IsOpen() && boxDepth_ == 0; }
    bool BoxQueued() const;
    int CurrentLoopLevel() const;
    void RunRequests();
    void WatchRequests();
    void Open();
    void Drain();
    void RunEntry(TEntry& entry);
    // Runs fn; an exception goes to OnError, and what follows still runs.
    void Guarded(const std::function<void()>& fn);
    device::TMainLoop& Loop();

    device::TMainLoop* loop_;
    int closers_ = 0;
    int holders_ = 0;
    std::vector<int> closerLevels_; // the loop level each closer was taken in
    int boxDepth_ = 0;              // boxes shown from the queue, open now
    bool drainPosted_ = false;
    std::deque<std::function<void()>> requests_;
    device::TTimerId requestTimer_ = 0;
    device::TMainLoop* requestTimerLoop_ = nullptr;
    bool runningRequests_ = false;
    bool shut_ = false;
    bool ending_ = false;
    std::deque<TEntry> queue_;
    device::TLifetime lifetime_;
};

} // namespace qrb::ui
