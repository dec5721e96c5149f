#include "ui/platform/PowerEvents.h"

#include <QtDBus/QDBusConnection>
#include <QtDBus/QDBusConnectionInterface>
#include <QtDBus/QDBusInterface>
#include <QtDBus/QDBusReply>

namespace qrb::ui {

namespace {
const QString kService = QStringLiteral("org.freedesktop.login1");
const QString kPath = QStringLiteral("/org/freedesktop/login1");
const QString kInterface = QStringLiteral("org.freedesktop.login1.Manager");
} // namespace

TPowerEvents::TPowerEvents(QObject* parent) : QObject(parent) {}

TPowerEvents::~TPowerEvents() = default;

bool TPowerEvents::Connect() {
    if (connected_) return true;
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected() || bus.interface() == nullptr) return false;
    if (!bus.interface()->isServiceRegistered(kService).value()) return false;
    if (!bus.connect(kService, kPath, kInterface, QStringLiteral("PrepareForSleep"), this,
                     SLOT(PrepareForSleep(bool))))
        return false;
    connected_ = true;
    TakeInhibitor();
    return true;
}

void TPowerEvents::TakeInhibitor() {
    if (!connected_ || inhibitor_) return;
    QDBusInterface manager(kService, kPath, kInterface, QDBusConnection::systemBus());
    QDBusReply<QDBusUnixFileDescriptor> reply =
        manager.call(QStringLiteral("Inhibit"), QStringLiteral("sleep"), QStringLiteral("OndrixQRB"),
                     QStringLiteral("Closing the amplifier connections"), QStringLiteral("delay"));
    if (reply.isValid() && reply.value().isValid())
        inhibitor_ = std::make_unique<QDBusUnixFileDescriptor>(reply.value());
}

void TPowerEvents::ReleaseInhibitor() {
    inhibitor_.reset();
}

int TPowerEvents::Deliver(int code) {
    return OnPowerEvent ? OnPowerEvent(code) : 0;
}

void TPowerEvents::PrepareForSleep(bool start) {
    if (start) {
        // The handler disconnects (through the gate) and releases the inhibitor after it.
        Deliver(kPowerSuspend);
    } else {
        TakeInhibitor();
        Deliver(kPowerResumeSuspend);
    }
}

} // namespace qrb::ui
