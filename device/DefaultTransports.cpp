#include "device/I2CHAL.h"
#include "device/PlaceholderTransports.h"
#include "device/lan/I2CLANControl.h"
#include "device/sim/I2CVirtualControl.h"

namespace qrb::device {

// The transports of this build; a placeholder line is replaced when its transport is available.
TI2CTransportFactory DefaultTransportFactory() {
    TI2CTransportFactory f;
    f.CreateLAN = []() -> std::unique_ptr<TI2CControl> { return std::make_unique<TI2CLANControl>(); };
    f.CreateUSB = CreatePlaceholderUSBControl;
    f.CreateVirtual = []() -> std::unique_ptr<TI2CControl> { return std::make_unique<TI2CVirtualControl>(); };
    return f;
}

} // namespace qrb::device
