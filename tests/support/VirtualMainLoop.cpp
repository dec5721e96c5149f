#include "tests/support/VirtualMainLoop.h"

#include <algorithm>

namespace qrb::test {

device::TTimerId TVirtualMainLoop::StartTimer(uint32_t intervalMs, std::function<void()> fn) {
    uint32_t interval = std::max<uint32_t>(intervalMs, 1);
    device::TTimerId id = nextId_++;
    timers_[id] = TTimer{interval, now_ + interval, std::make_shared<std::function<void()>>(std::move(fn))};
    return id;
}

void TVirtualMainLoop::StopTimer(device::TTimerId id) {
    timers_.erase(id);
}

uint32_t TVirtualMainLoop::TimerInterval(device::TTimerId id) const {
    auto it = timers_.find(id);
    return it == timers_.end() ? 0 : it->second.Interval;
}

void TVirtualMainLoop::Sleep(uint32_t ms) {
    sleeps_.push_back(ms);
    sleptMs_ += ms;
    now_ += ms;
}

void TVirtualMainLoop::PostRaw(std::function<void()> fn) {
    std::lock_guard lock(mutex_);
    posted_.push_back(std::move(fn));
}

size_t TVirtualMainLoop::PendingCount() {
    std::lock_guard lock(mutex_);
    return posted_.size();
}

size_t TVirtualMainLoop::RunPosted() {
    size_t count = 0;
    while (true) {
        std::function<void()> fn;
        {
            std::lock_guard lock(mutex_);
            if (posted_.empty()) return count;
            fn = std::move(posted_.front());
            posted_.pop_front();
        }
        fn();
        ++count;
    }
}

size_t TVirtualMainLoop::Step() {
    size_t count = RunPosted();
    // Work may sleep and so move the clock; each timer ticks once at most in this call.
    std::vector<device::TTimerId> ticked;
    while (true) {
        auto due = timers_.end();
        for (auto it = timers_.begin(); it != timers_.end(); ++it) {
            if (it->second.Due > now_ || std::find(ticked.begin(), ticked.end(), it->first) != ticked.end())
                continue;
            if (due == timers_.end() || it->second.Due < due->second.Due) due = it;
        }
        if (due == timers_.end()) break;
        ticked.push_back(due->first);
        TTimer& t = due->second;
        t.Due = std::max(t.Due + t.Interval, now_ + 1);
        auto fn = t.Fn;
        (*fn)();
        ++count;
        count += RunPosted();
    }
    return count;
}

size_t TVirtualMainLoop::Advance(uint64_t ms) {
    const uint64_t end = now_ + ms;
    size_t count = Step();
    while (true) {
        uint64_t next = end;
        for (const auto& [id, t] : timers_)
            next = std::min(next, t.Due);
        if (next <= now_ && next != end) next = now_ + 1; // a tick slept past its next due time
        if (next > end) next = end;
        now_ = std::max(now_, next);
        count += Step();
        if (now_ >= end) return count;
    }
}

} // namespace qrb::test
