#include "device/I2CHAL.h"
#include "device/lan/I2CLANControl.h"
#include "device/sim/I2CVirtualControl.h"
#include "device/usb/USBTransport.h"

namespace qrb::device {

// The transports of this build: LAN, the machine's USB disks and the simulated amplifiers.
TI2CTransportFactory DefaultTransportFactory() {
    TI2CTransportFactory f;
    f.CreateLAN = []() -> std::unique_ptr<TI2CControl> { return std::make_unique<TI2CLANControl>(); };
    f.CreateUSB = CreateUSBControl;
    f.CreateVirtual = []() -> std::unique_ptr<TI2CControl> { return std::make_unique<TI2CVirtualControl>(); };
    return f;
}

} // namespace qrb::device
