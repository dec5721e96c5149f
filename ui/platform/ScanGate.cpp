#include "ui/platform/ScanGate.h"

#include <QThread>

#include <algorithm>
#include <exception>
#include <vector>

namespace qrb::ui {

namespace {
// How often waiting configuration requests look whether they may run now (a box may have
// opened meanwhile).
constexpr uint32_t kRequestRecheckMs = 20;
} // namespace

TScanGate::TGuard::TGuard(TScanGate& gate, bool holdsRequests)
    : gate_(gate), level_(gate.CurrentLoopLevel()), holds_(holdsRequests) {
    ++gate_.closers_;
    gate_.closerLevels_.push_back(level_);
    if (holds_) ++gate_.holders_;
}

TScanGate::TGuard::~TGuard() {
    auto& levels = gate_.closerLevels_;
    if (const auto it = std::find(levels.rbegin(), levels.rend(), level_); it != levels.rend())
        levels.erase(std::next(it).base());
    if (holds_) --gate_.holders_;
    if (--gate_.closers_ == 0) gate_.Open();
}

TScanGate::TScanGate(device::TMainLoop* loop) : loop_(loop) {}

TScanGate::~TScanGate() {
    if (requestTimer_ != 0) requestTimerLoop_->StopTimer(requestTimer_);
}

int TScanGate::CurrentLoopLevel() const {
    if (LoopLevel) return LoopLevel();
    QThread* thread = QThread::currentThread();
    return thread != nullptr ? thread->loopLevel() : 0;
}

bool TScanGate::RequestMayRun() const {
    if (shut_ || holders_ > 0) return false;
    if (IsOpen()) return true;
    // A box or dialog that waits for the user runs an event loop deeper than the one the
    // innermost closer was taken in; the closer's own pending-event passes run in its loop.
    const int innermost = *std::max_element(closerLevels_.begin(), closerLevels_.end());
    return CurrentLoopLevel() > innermost;
}

void TScanGate::RunRequest(std::function<void()> fn) {
    if (!fn || shut_) return;
    if (requests_.empty() && RequestMayRun()) {
        fn();
        return;
    }
    requests_.push_back(std::move(fn));
    WatchRequests();
}

void TScanGate::WatchRequests() {
    if (requestTimer_ != 0) return;
    requestTimerLoop_ = &Loop();
    requestTimer_ = requestTimerLoop_->StartTimer(kRequestRecheckMs, [this] { RunRequests(); });
}

void TScanGate::RunRequests() {
    if (runningRequests_) return;
    runningRequests_ = true;
    while (!requests_.empty() && RequestMayRun()) {
        std::function<void()> fn = std::move(requests_.front());
        requests_.pop_front();
        Guarded(fn);
    }
    runningRequests_ = false;
    if ((requests_.empty() || shut_) && requestTimer_ != 0) {
        requestTimerLoop_->StopTimer(requestTimer_);
        requestTimer_ = 0;
        requestTimerLoop_ = nullptr;
    }
}

device::TMainLoop& TScanGate::Loop() {
    return loop_ != nullptr ? *loop_ : device::MainLoop();
}

void TScanGate::RunWhenOpen(std::function<void()> fn) {
    Enqueue(std::move(fn), false);
}

void TScanGate::RunFirstWhenOpen(std::function<void()> fn) {
    Enqueue(std::move(fn), true);
}

void TScanGate::ShowWhenOpen(std::function<void()> fn) {
    if (!fn || shut_ || ending_) return;
    TEntry entry;
    entry.Fn = std::move(fn);
    entry.Box = true;
    // Boxes of its own kind do not wait behind the work queued after a box from the queue.
    if (IsOpen() && (queue_.empty() || boxDepth_ > 0)) {
        RunEntry(entry);
        return;
    }
    queue_.push_back(std::move(entry));
    if (IsOpen()) Open();
}

bool TScanGate::BoxQueued() const {
    return std::any_of(queue_.begin(), queue_.end(), [](const TEntry& e) { return e.Box; });
}

void TScanGate::Enqueue(std::function<void()> fn, bool first) {
    if (!fn || shut_ || (ending_ && !first)) return;
    if (!IsHeld() && boxDepth_ == 0 && queue_.empty()) {
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
    requests_.clear();
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
    if (MayRunWork() && queue_.empty()) {
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
    // Inside a box shown from the queue only further boxes run; the rest waits for the outer
    // pass, after that box.
    while (!IsHeld() && !queue_.empty()) {
        auto next = queue_.begin();
        if (boxDepth_ > 0) {
            next = std::find_if(queue_.begin(), queue_.end(), [](const TEntry& e) { return e.Box; });
            if (next == queue_.end()) return;
        }
        TEntry entry = std::move(*next);
        queue_.erase(next);
        RunEntry(entry);
    }
}

void TScanGate::Guarded(const std::function<void()>& fn) {
    if (!fn) return;
    try {
        fn();
    } catch (const std::exception& e) {
        if (OnError) OnError(e.what());
    } catch (...) {
        if (OnError) OnError("unknown error");
    }
}

void TScanGate::RunEntry(TEntry& entry) {
    if (entry.Box) {
        struct TBoxOpen {
            TScanGate& Gate;
            explicit TBoxOpen(TScanGate& gate) : Gate(gate) { ++Gate.boxDepth_; }
            ~TBoxOpen() {
                if (--Gate.boxDepth_ == 0) Gate.Open();
            }
        } open(*this);
        // Boxes queued behind this one are shown from its event loop.
        if (BoxQueued()) Open();
        Guarded(entry.Fn);
        return;
    }
    if (!entry.Rescan) {
        Guarded(entry.Fn);
        return;
    }
    Guarded(OnRescanStart);
    Guarded(OnRescan);
    Guarded(OnRescanEnd);
    // A termination during the scan: what waited for it is queued work that no longer runs.
    for (auto& after : entry.After)
        if (!ending_) Guarded(after);
}

} // namespace qrb::ui
