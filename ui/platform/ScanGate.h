#pragma once
// The gate in front of device I/O started from the event loop. It is closed while a scan runs,
// during busy phases, zero adjustment and the device scans of setup dialogs; those phases let
// pending events run, and nothing that reaches a device may start inside them. While it is
// closed, handlers that would start device I/O ask IsOpen() and do nothing; rescan requests
// (coalesced into one), disconnects, window close and configuration-server requests are queued
// and run in arrival order once the gate opens. From the program's end on (End) it runs nothing
// but the window's close.

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
        explicit TGuard(TScanGate& gate);
        ~TGuard();
        TGuard(const TGuard&) = delete;
        TGuard& operator=(const TGuard&) = delete;

    private:
        TScanGate& gate_;
    };

    // The queue is drained through loop (nullptr: the process-wide loop at the time).
    explicit TScanGate(device::TMainLoop* loop = nullptr);
    TScanGate(const TScanGate&) = delete;
    TScanGate& operator=(const TScanGate&) = delete;

    // Device I/O may start: nothing holds the gate and the program does not end.
    bool IsOpen() const { return closers_ == 0 && !ending_; }
    // Something holds the gate (a scan, a busy phase, a dialog's work): the close waits for it.
    bool IsHeld() const { return closers_ > 0; }

    // Runs fn at once when the gate is open, else queues it.
    void RunWhenOpen(std::function<void()> fn);
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

private:
    struct TEntry {
        bool Rescan = false;
        bool Close = false; // the window's close: it outlives End()
        std::function<void()> Fn;                 // plain work
        std::vector<std::function<void()>> After; // rescan continuations
    };

    // fn at once when open and nothing waits, else queued at the back (or the front, first).
    void Enqueue(std::function<void()> fn, bool first);
    void Open();
    void Drain();
    void RunEntry(TEntry& entry);
    device::TMainLoop& Loop();

    device::TMainLoop* loop_;
    int closers_ = 0;
    bool drainPosted_ = false;
    bool shut_ = false;
    bool ending_ = false;
    std::deque<TEntry> queue_;
    device::TLifetime lifetime_;
};

} // namespace qrb::ui
