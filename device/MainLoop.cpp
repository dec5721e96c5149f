#include "device/MainLoop.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace qrb::device {

void TMainLoop::Post(const TLifetime& lifetime, std::function<void()> fn) {
    PostRaw([token = lifetime.Token(), fn = std::move(fn)] {
        // The token is destroyed on the main thread only, so it cannot expire while fn runs.
        if (auto alive = token.lock()) fn();
    });
}

namespace {
std::atomic<TMainLoop*> installedLoop{nullptr};

TMainLoop& DefaultLoop() {
    static TRealMainLoop loop;
    return loop;
}
} // namespace

TMainLoop& MainLoop() {
    TMainLoop* loop = installedLoop.load(std::memory_order_acquire);
    return loop != nullptr ? *loop : DefaultLoop();
}

TMainLoop* SetMainLoop(TMainLoop* loop) {
    return installedLoop.exchange(loop, std::memory_order_acq_rel);
}

TRealMainLoop::TRealMainLoop() : start_(std::chrono::steady_clock::now()) {}

uint64_t TRealMainLoop::NowMs() {
    auto elapsed = std::chrono::steady_clock::now() - start_;
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

void TRealMainLoop::Sleep(uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void TRealMainLoop::PostRaw(std::function<void()> fn) {
    {
        std::lock_guard lock(mutex_);
        posted_.push_back(std::move(fn));
    }
    wake_.notify_one();
}

TTimerId TRealMainLoop::StartTimer(uint32_t intervalMs, std::function<void()> fn) {
    uint32_t interval = std::max<uint32_t>(intervalMs, 1);
    TTimerId id = nextId_++;
    timers_[id] =
        TTimer{interval, NowMs() + interval, std::make_shared<std::function<void()>>(std::move(fn))};
    return id;
}

void TRealMainLoop::StopTimer(TTimerId id) {
    timers_.erase(id);
}

bool TRealMainLoop::RunOneTimer(uint64_t now) {
    auto due = timers_.end();
    for (auto it = timers_.begin(); it != timers_.end(); ++it)
        if (it->second.Due <= now && (due == timers_.end() || it->second.Due < due->second.Due)) due = it;
    if (due == timers_.end()) return false;
    // Rescheduled before the tick, so the tick may stop or restart its own timer.
    TTimer& t = due->second;
    t.Due = std::max(t.Due + t.Interval, now + 1);
    auto fn = t.Fn;
    (*fn)();
    return true;
}

size_t TRealMainLoop::ProcessPending() {
    std::deque<std::function<void()>> work;
    {
        std::lock_guard lock(mutex_);
        work.swap(posted_);
    }
    size_t count = 0;
    for (auto& fn : work) {
        fn();
        ++count;
    }
    // Each timer ticks at most once per pass: a late one is rescheduled past now.
    const uint64_t now = NowMs();
    while (RunOneTimer(now))
        ++count;
    return count;
}

void TRealMainLoop::WaitUntil(uint64_t deadline) {
    uint64_t next = deadline;
    for (const auto& [id, t] : timers_)
        next = std::min(next, t.Due);
    uint64_t now = NowMs();
    if (next <= now) return;
    std::unique_lock lock(mutex_);
    wake_.wait_for(lock, std::chrono::milliseconds(next - now), [this] { return !posted_.empty() || quit_; });
}

void TRealMainLoop::RunFor(uint32_t ms) {
    const uint64_t end = NowMs() + ms;
    while (true) {
        ProcessPending();
        if (NowMs() >= end) break;
        {
            std::lock_guard lock(mutex_);
            if (quit_) {
                quit_ = false;
                break;
            }
        }
        WaitUntil(end);
    }
}

void TRealMainLoop::Run() {
    while (true) {
        ProcessPending();
        {
            std::lock_guard lock(mutex_);
            if (quit_) {
                quit_ = false;
                return;
            }
        }
        WaitUntil(NowMs() + 1000);
    }
}

void TRealMainLoop::Quit() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_one();
}

} // namespace qrb::device
