#include "ui/platform/ScanGate.h"

#include <exception>
#include <vector>

namespace qrb::ui {

TScanGate::TGuard::TGuard(TScanGate& gate) : gate_(gate) {
    ++gate_.closers_;
}

TScanGate::TGuard::~TGuard() {
    if (--gate_.closers_ == 0) gate_.Open();
}

TScanGate::TScanGate(device::TMainLoop* loop) : loop_(loop) {}

device::TMainLoop& TScanGate::Loop() {
    return loop_ != nullptr ? *loop_ : device::MainLoop();
}

void TScanGate::RunWhenOpen(std::function<void()> fn) {
    Enqueue(std::move(fn), false);
}

void TScanGate::RunFirstWhenOpen(std::function<void()> fn) {
    Enqueue(std::move(fn), true);
}

void TScanGate::Enqueue(std::function<void()> fn, bool first) {
    if (!fn || shut_ || (ending_ && !first)) return;
    if (!IsHeld() && queue_.empty()) {
        fn();
        return;
    }
    TEntry entry;
    entry.Fn = std::move(fn);
    entry.Close = first;
    if (!first) {
        queue_.push_back(std::move(entry));
        return;
    }
    queue_.push_front(std::move(entry));
    if (!IsHeld()) Open();
}

void TScanGate::End() {
    ending_ = true;
    std::erase_if(queue_, [](const TEntry& entry) { return !entry.Close; });
}

void TScanGate::Shut() {
    shut_ = true;
    queue_.clear();
}

void TScanGate::RequestRescan(std::function<void()> after) {
    if (shut_ || ending_) return;
    for (auto& entry : queue_) {
        if (entry.Rescan) {
            if (after) entry.After.push_back(std::move(after));
            return;
        }
    }
    TEntry entry;
    entry.Rescan = true;
    if (after) entry.After.push_back(std::move(after));
    if (IsOpen() && queue_.empty()) {
        RunEntry(entry);
        return;
    }
    queue_.push_back(std::move(entry));
}

bool TScanGate::RescanPending() const {
    for (const auto& entry : queue_)
        if (entry.Rescan) return true;
    return false;
}

void TScanGate::Open() {
    // The guard that opened the gate may sit deep inside a scan's clean-up: the queue runs
    // from the main loop instead.
    if (queue_.empty() || drainPosted_) return;
    drainPosted_ = true;
    Loop().Post(lifetime_, [this] {
        drainPosted_ = false;
        Drain();
    });
}

void TScanGate::Drain() {
    while (!IsHeld() && !queue_.empty()) {
        TEntry entry = std::move(queue_.front());
        queue_.pop_front();
        RunEntry(entry);
    }
}

void TScanGate::RunEntry(TEntry& entry) {
    auto guarded = [this](const std::function<void()>& fn) {
        if (!fn) return;
        try {
            fn();
        } catch (const std::exception& e) {
            if (OnError) OnError(e.what());
        } catch (...) {
            if (OnError) OnError("unknown error");
        }
    };
    if (!entry.Rescan) {
        guarded(entry.Fn);
        return;
    }
    guarded(OnRescan);
    // A termination during the scan: what waited for it is queued work that no longer runs.
    for (auto& after : entry.After)
        if (!ending_) guarded(after);
}

} // namespace qrb::ui
