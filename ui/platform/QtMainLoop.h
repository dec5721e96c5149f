#pragma once
// The device layer's main-loop seam on Qt: posted work becomes a queued call on the thread of
// the loop object, timers are QTimers. Sleep blocks without running the event loop.

#include "device/MainLoop.h"

#include <QElapsedTimer>
#include <QObject>

#include <map>

class QTimer;

namespace qrb::ui {

class TQtMainLoop : public QObject, public device::TMainLoop {
    Q_OBJECT
public:
    // Create on the main thread after the application object.
    explicit TQtMainLoop(QObject* parent = nullptr);
    ~TQtMainLoop() override;

    device::TTimerId StartTimer(uint32_t intervalMs, std::function<void()> fn) override;
    void StopTimer(device::TTimerId id) override;
    void Sleep(uint32_t ms) override;
    uint64_t NowMs() override;

    size_t TimerCount() const { return timers_.size(); }

protected:
    void PostRaw(std::function<void()> fn) override;

private:
    QElapsedTimer clock_;
    std::map<device::TTimerId, QTimer*> timers_;
    device::TTimerId nextId_ = 1;
};

} // namespace qrb::ui
