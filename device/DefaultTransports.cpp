#include "device/I2CHAL.h"
#include "device/PlaceholderTransports.h"

namespace qrb::device {

// The transports of this build; each line is replaced when the real transport is available.
TI2CTransportFactory DefaultTransportFactory() {
    TI2CTransportFactory f;
    f.CreateLAN = CreatePlaceholderLANControl;
    f.CreateUSB = CreatePlaceholderUSBControl;
    f.CreateVirtual = CreatePlaceholderVirtualControl;
    return f;
}

} // namespace qrb::device
