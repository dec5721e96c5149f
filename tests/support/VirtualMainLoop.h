#pragma once
// A main loop for tests: virtual time that moves only when the test (or Sleep) moves it, and
// posted work and timers that run only when the test steps the loop.

#include "device/MainLoop.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace qrb::test {

class TVirtualMainLoop : public device::TMainLoop {
public:
    device::TTimerId StartTimer(uint32_t intervalMs, std::function<void()> fn) override;
    void StopTimer(device::TTimerId id) override;
    // Advances the clock by ms; runs nothing. Every sleep is recorded.
    void Sleep(uint32_t ms) override;
    uint64_t NowMs() override { return now_; }

    // Runs posted work (also what that work posts) and the timers due now, in order: posted
    // work first, then due timers by due time and start order, repeated until nothing is left.
    // Each timer ticks at most once per call. Returns how many ran.
    size_t Step();
    // Moves the clock forward by ms, stopping at every timer due on the way and stepping there;
    // steps once more at the end.
    size_t Advance(uint64_t ms);

    size_t PendingCount();
    size_t TimerCount() const { return timers_.size(); }
    bool IsTimerActive(device::TTimerId id) const { return timers_.count(id) != 0; }
    // 0 for an unknown timer.
    uint32_t TimerInterval(device::TTimerId id) const;
    const std::vector<uint32_t>& Sleeps() const { return sleeps_; }
    uint64_t TotalSleptMs() const { return sleptMs_; }
    void ClearSleeps() {
        sleeps_.clear();
        sleptMs_ = 0;
    }

protected:
    void PostRaw(std::function<void()> fn) override;

private:
    struct TTimer {
        uint32_t Interval;
        uint64_t Due;
        std::shared_ptr<std::function<void()>> Fn;
    };
    size_t RunPosted();

    uint64_t now_ = 0;
    std::mutex mutex_;
    std::deque<std::function<void()>> posted_;
    std::map<device::TTimerId, TTimer> timers_;
    device::TTimerId nextId_ = 1;
    std::vector<uint32_t> sleeps_;
    uint64_t sleptMs_ = 0;
};

// A virtual loop installed as the process-wide loop for its own lifetime.
class TInstalledVirtualMainLoop : public TVirtualMainLoop {
public:
    TInstalledVirtualMainLoop() : previous_(device::SetMainLoop(this)) {}
    ~TInstalledVirtualMainLoop() override { device::SetMainLoop(previous_); }
    TInstalledVirtualMainLoop(const TInstalledVirtualMainLoop&) = delete;
    TInstalledVirtualMainLoop& operator=(const TInstalledVirtualMainLoop&) = delete;

private:
    device::TMainLoop* previous_;
};

} // namespace qrb::test
