#pragma once
// Transports, amplifiers and their faults for tests against fake LAN amplifiers on loopback.

#include "device/I2CHAL.h"
#include "device/lan/I2CLANControl.h"
#include "tests/support/FakeLanAmplifier.h"
#include "tests/support/PlaceholderTransports.h"

#include <cstdint>
#include <memory>
#include <string>

namespace qrb::test {

// The LAN transport alone: the USB and simulated slots hold placeholders that reach nothing.
inline device::TI2CTransportFactory LanOnlyTransports() {
    device::TI2CTransportFactory f;
    f.CreateLAN = [] {
        return std::unique_ptr<device::TI2CControl>(std::make_unique<device::TI2CLANControl>());
    };
    f.CreateUSB = CreatePlaceholderUSBControl;
    f.CreateVirtual = CreatePlaceholderVirtualControl;
    return f;
}

// The program's own transports, but no test may reach a real USB device.
inline device::TI2CTransportFactory DefaultTransportsWithoutUSB() {
    device::TI2CTransportFactory f = device::DefaultTransportFactory();
    f.CreateUSB = CreatePlaceholderUSBControl;
    return f;
}

// A fake amplifier of channels channels listening on address.
inline std::unique_ptr<TFakeLanAmplifier> MakeFakeAmp(const std::string& address, int32_t channels) {
    TFakeAmpConfig c;
    c.Address = address;
    c.Channels = channels;
    return std::make_unique<TFakeLanAmplifier>(c);
}

// A fault that answers the next request of code with status instead.
inline TFakeFault Refusal(uint32_t code, int32_t status) {
    TFakeFault fault;
    fault.Code = code;
    fault.Status = status;
    return fault;
}

} // namespace qrb::test
