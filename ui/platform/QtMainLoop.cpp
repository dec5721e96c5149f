#include "ui/platform/QtMainLoop.h"

#include <QMetaObject>
#include <QThread>
#include <QTimer>

#include <memory>

namespace qrb::ui {

TQtMainLoop::TQtMainLoop(QObject* parent) : QObject(parent) {
    clock_.start();
}

TQtMainLoop::~TQtMainLoop() {
    for (auto& [id, timer] : timers_)
        delete timer;
}

void TQtMainLoop::PostRaw(std::function<void()> fn) {
    // Any thread: the functor runs in this object's (the main) thread, in posting order.
    QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection);
}

device::TTimerId TQtMainLoop::StartTimer(uint32_t intervalMs, std::function<void()> fn) {
    const device::TTimerId id = nextId_++;
    auto* timer = new QTimer(this);
    timer->setInterval(static_cast<int>(intervalMs));
    timer->setTimerType(Qt::PreciseTimer);
    // The shared functor survives a StopTimer from inside its own tick.
    auto shared = std::make_shared<std::function<void()>>(std::move(fn));
    connect(timer, &QTimer::timeout, this, [shared] { (*shared)(); });
    timers_[id] = timer;
    timer->start();
    return id;
}

void TQtMainLoop::StopTimer(device::TTimerId id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    it->second->stop();
    it->second->deleteLater();
    timers_.erase(it);
}

void TQtMainLoop::Sleep(uint32_t ms) {
    QThread::msleep(ms);
}

uint64_t TQtMainLoop::NowMs() {
    return static_cast<uint64_t>(clock_.elapsed());
}

} // namespace qrb::ui
