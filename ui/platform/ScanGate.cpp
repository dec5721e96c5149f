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

TScanGate::TGuard::TGuard(TScanGate& gate, THold hold)
    : gate_(gate), level_(gate.CurrentLoopLevel()), hold_(hold) {
    gate_.holderLevels_.push_back(level_);
    if (hold_ == THold::GateAndRequests) ++gate_.requestHolders_;
}

TScanGate::TGuard::~TGuard() {
    auto& levels = gate_.holderLevels_;
    if (const auto it = std::find(levels.rbegin(), levels.rend(), level_); it != levels.rend())
        levels.erase(std::next(it).base());
    if (hold_ == THold::GateAndRequests) --gate_.requestHolders_;
    if (!gate_.IsHeld()) gate_.Open();
}

TScanGate::TScanGate(device::TMainLoop* loop) : loop_(loop) {}

TScanGate::~TScanGate() {
    StopWatchingRequests();
}

int TScanGate::CurrentLoopLevel() const {
    if (LoopLevel) return LoopLevel();
    QThread* thread = QThread::currentThread();
    return thread != nullptr ? thread->loopLevel() : 0;
}

TScanGate::TAnswer TScanGate::Ask(TWay way) const {
    switch (phase_) {
    case TPhase::Shut:
        return TAnswer::Drop;
    case TPhase::Ending:
        // Nothing runs but the close; requests wait for it, which drops them.
        if (way == TWay::Request) return TAnswer::Wait;
        if (way != TWay::Close) return TAnswer::Drop;
        break;
    case TPhase::Running:
        break;
    }
    switch (way) {
    case TWay::Request: {
        if (requestHolders_ > 0) return TAnswer::Wait;
        if (!IsHeld()) return TAnswer::Run;
        // A box or dialog that waits for the user runs an event loop deeper than the one the
        // innermost guard was taken in; the guard's own pending-event passes run in its loop.
        const int innermost = *std::max_element(holderLevels_.begin(), holderLevels_.end());
        return CurrentLoopLevel() > innermost ? TAnswer::Run : TAnswer::Wait;
    }
    case TWay::Box:
        // Boxes are shown from the event loop of a box shown from the queue too.
        return IsHeld() ? TAnswer::Wait : TAnswer::Run;
    case TWay::Work:
    case TWay::Close:
    case TWay::Rescan:
        return IsHeld() || boxDepth_ > 0 ? TAnswer::Wait : TAnswer::Run;
    }
    return TAnswer::Wait;
}

bool TScanGate::RequestMayRun() const {
    return Ask(TWay::Request) == TAnswer::Run;
}

void TScanGate::RunRequest(std::function<void()> fn) {
    const TAnswer answer = Ask(TWay::Request);
    if (!fn || answer == TAnswer::Drop) return;
    if (answer == TAnswer::Run && requests_.empty()) {
        fn();
        return;
    }
    requests_.push_back(std::move(fn));
    if (phase_ == TPhase::Running) WatchRequests();
}

void TScanGate::WatchRequests() {
    if (requestTimer_ != 0) return;
    requestTimerLoop_ = &Loop();
    requestTimer_ = requestTimerLoop_->StartTimer(kRequestRecheckMs, [this] { RunRequests(); });
}

void TScanGate::StopWatchingRequests() {
    if (requestTimer_ == 0) return;
    requestTimerLoop_->StopTimer(requestTimer_);
    requestTimer_ = 0;
    requestTimerLoop_ = nullptr;
}

void TScanGate::RunRequests() {
    if (runningRequests_) return;
    runningRequests_ = true;
    while (!requests_.empty() && Ask(TWay::Request) == TAnswer::Run) {
        std::function<void()> fn = std::move(requests_.front());
        requests_.pop_front();
        Guarded(fn);
    }
    runningRequests_ = false;
    // From the end on no request runs any more.
    if (requests_.empty() || phase_ != TPhase::Running) StopWatchingRequests();
}

device::TMainLoop& TScanGate::Loop() {
    return loop_ != nullptr ? *loop_ : device::MainLoop();
}

void TScanGate::RunWhenOpen(std::function<void()> fn) {
    Enqueue(std::move(fn), TWay::Work);
}

void TScanGate::RunFirstWhenOpen(std::function<void()> fn) {
    Enqueue(std::move(fn), TWay::Close);
}

void TScanGate::ShowWhenOpen(std::function<void()> fn) {
    const TAnswer answer = Ask(TWay::Box);
    if (!fn || answer == TAnswer::Drop) return;
    TEntry entry;
    entry.Way = TWay::Box;
    entry.Fn = std::move(fn);
    // Boxes of its own kind do not wait behind the work queued after a box from the queue.
    if (answer == TAnswer::Run && (queue_.empty() || boxDepth_ > 0)) {
        RunEntry(entry);
        return;
    }
    queue_.push_back(std::move(entry));
    if (answer == TAnswer::Run) Open();
}

bool TScanGate::Queued(TWay way) const {
    return std::any_of(queue_.begin(), queue_.end(), [way](const TEntry& e) { return e.Way == way; });
}

void TScanGate::Enqueue(std::function<void()> fn, TWay way) {
    const TAnswer answer = Ask(way);
    if (!fn || answer == TAnswer::Drop) return;
    if (answer == TAnswer::Run && queue_.empty()) {
        fn();
        return;
    }
    TEntry entry;
    entry.Way = way;
    entry.Fn = std::move(fn);
    if (way != TWay::Close) {
        queue_.push_back(std::move(entry));
        return;
    }
    queue_.push_front(std::move(entry));
    if (!IsHeld()) Open();
}

void TScanGate::End() {
    if (phase_ == TPhase::Running) phase_ = TPhase::Ending;
    std::erase_if(queue_, [](const TEntry& entry) { return entry.Way != TWay::Close; });
    StopWatchingRequests();
}

void TScanGate::Shut() {
    phase_ = TPhase::Shut;
    queue_.clear();
    requests_.clear();
    StopWatchingRequests();
}

void TScanGate::RequestRescan(std::function<void()> after) {
    const TAnswer answer = Ask(TWay::Rescan);
    if (answer == TAnswer::Drop) return;
    for (auto& entry : queue_) {
        if (entry.Way == TWay::Rescan) {
            if (after) entry.After.push_back(std::move(after));
            return;
        }
    }
    TEntry entry;
    entry.Way = TWay::Rescan;
    if (after) entry.After.push_back(std::move(after));
    if (answer == TAnswer::Run && queue_.empty()) {
        RunEntry(entry);
        return;
    }
    queue_.push_back(std::move(entry));
}

bool TScanGate::RescanPending() const {
    return Queued(TWay::Rescan);
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
    while (!queue_.empty()) {
        auto next = queue_.begin();
        if (boxDepth_ > 0)
            next = std::find_if(queue_.begin(), queue_.end(),
                                [](const TEntry& e) { return e.Way == TWay::Box; });
        if (next == queue_.end()) return;
        const TAnswer answer = Ask(next->Way);
        if (answer == TAnswer::Drop) {
            queue_.erase(next);
            continue;
        }
        if (answer != TAnswer::Run) return;
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
    switch (entry.Way) {
    case TWay::Box: {
        struct TBoxOpen {
            TScanGate& Gate;
            explicit TBoxOpen(TScanGate& gate) : Gate(gate) { ++Gate.boxDepth_; }
            ~TBoxOpen() {
                if (--Gate.boxDepth_ == 0) Gate.Open();
            }
        } open(*this);
        // Boxes queued behind this one are shown from its event loop.
        if (Queued(TWay::Box)) Open();
        Guarded(entry.Fn);
        return;
    }
    case TWay::Rescan:
        Guarded(OnRescanStart);
        Guarded(OnRescan);
        Guarded(OnRescanEnd);
        // A termination during the scan: what waited for it is queued work that no longer runs.
        for (auto& after : entry.After)
            if (phase_ == TPhase::Running) Guarded(after);
        return;
    case TWay::Work:
    case TWay::Close:
    case TWay::Request:
        Guarded(entry.Fn);
        return;
    }
}

} // namespace qrb::ui
