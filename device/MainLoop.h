#pragma once
// The main-loop seam: everything in the device layer that posts work to the main thread, runs
// periodic timers, sleeps or reads a clock goes through the process-wide TMainLoop. The UI
// installs a Qt implementation, tests a hand-stepped one with virtual time, tools use
// TRealMainLoop (the default).

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

namespace qrb::device {

// Owned by an object that posts work for itself. Work posted with it is dropped once it is
// destroyed. Create and destroy it on the main thread; a worker thread that posts with it must
// be stopped before it is destroyed.
class TLifetime {
public:
    TLifetime() : state_(std::make_shared<char>(0)) {}
    TLifetime(const TLifetime&) = delete;
    TLifetime& operator=(const TLifetime&) = delete;

    std::weak_ptr<const void> Token() const { return state_; }

private:
    std::shared_ptr<const void> state_;
};

using TTimerId = uint64_t; // 0 is never a valid timer

class TMainLoop {
public:
    virtual ~TMainLoop() = default;

    // Any thread: runs fn later on the main thread, in posting order, unless lifetime has been
    // destroyed by then.
    void Post(const TLifetime& lifetime, std::function<void()> fn);

    // Main thread: a periodic timer whose first tick is intervalMs from now.
    virtual TTimerId StartTimer(uint32_t intervalMs, std::function<void()> fn) = 0;
    // Main thread: the timer ticks no more (also when called from its own tick). Unknown ids
    // are ignored.
    virtual void StopTimer(TTimerId id) = 0;
    // Main thread: waits ms milliseconds without running posted work or timers.
    virtual void Sleep(uint32_t ms) = 0;
    // A millisecond clock that never goes back.
    virtual uint64_t NowMs() = 0;

protected:
    // Any thread: queue fn for the main thread.
    virtual void PostRaw(std::function<void()> fn) = 0;
};

// The process-wide loop; a TRealMainLoop until SetMainLoop installs another.
TMainLoop& MainLoop();
// Installs loop (not owned); nullptr restores the default. Returns the previous one.
TMainLoop* SetMainLoop(TMainLoop* loop);

// Installs a loop for its own lifetime and restores the previous one after.
class TScopedMainLoop {
public:
    explicit TScopedMainLoop(TMainLoop& loop) : previous_(SetMainLoop(&loop)) {}
    ~TScopedMainLoop() { SetMainLoop(previous_); }
    TScopedMainLoop(const TScopedMainLoop&) = delete;
    TScopedMainLoop& operator=(const TScopedMainLoop&) = delete;

private:
    TMainLoop* previous_;
};

// A real-time loop for programs without Qt. The thread that calls ProcessPending/RunFor/Run
// is its main thread.
class TRealMainLoop : public TMainLoop {
public:
    TRealMainLoop();

    TTimerId StartTimer(uint32_t intervalMs, std::function<void()> fn) override;
    void StopTimer(TTimerId id) override;
    void Sleep(uint32_t ms) override;
    uint64_t NowMs() override;

    // Runs the work posted so far and the timers that are due; returns how many ran.
    size_t ProcessPending();
    // Runs posted work and timers as they come for ms milliseconds.
    void RunFor(uint32_t ms);
    // Runs until Quit (callable from any thread).
    void Run();
    void Quit();

protected:
    void PostRaw(std::function<void()> fn) override;

private:
    struct TTimer {
        uint32_t Interval;
        uint64_t Due;
        std::shared_ptr<std::function<void()>> Fn;
    };
    bool RunOneTimer(uint64_t now);
    void WaitUntil(uint64_t deadline);

    std::chrono::steady_clock::time_point start_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> posted_;
    bool quit_ = false;
    std::map<TTimerId, TTimer> timers_;
    TTimerId nextId_ = 1;
};

} // namespace qrb::device
