#pragma once
// Result codes, transport kinds and the enabled-transport mask that cross the device layer.

#include <cstdint>

namespace qrb::device {

// Result of every transport operation; zero is success.
enum class TI2CResult : int32_t {
    irOK = 0,
    irTransferFailed = 1,
    irInvalidReadLength = 5,
    irInvalidWriteLength = 6,
    irNoAnswer = 7,
    irInvalidSpeed = 9,
    irInvalidDevice = 10,
    irInvalidValue = 11,
    irUnknownAnswer = 12,
    irInvalidWriteValue = 13,
    irDeviceError = 15,
    irUnknownInterface = 100,
};

constexpr int32_t ToInt(TI2CResult r) { return static_cast<int32_t>(r); }
constexpr bool IsOK(TI2CResult r) { return r == TI2CResult::irOK; }

// The transport a device belongs to.
enum class TInterfaceKind : uint8_t {
    ikNone = 0,
    ikUSB = 1,
    ikLAN = 2,
    ikOffline = 4,
    ikDirect = 8, // display text only; no transport has it
};

constexpr uint8_t ToByte(TInterfaceKind k) { return static_cast<uint8_t>(k); }

// Set of enabled transports (bit values 2 USB, 4 LAN, 16 offline). A distinct type so that a
// kind and a mask never mix silently.
class TInterfaceMask {
public:
    static constexpr uint16_t imUSB = 2;
    static constexpr uint16_t imLAN = 4;
    static constexpr uint16_t imOffline = 16;

    constexpr TInterfaceMask() = default;
    constexpr explicit TInterfaceMask(uint16_t bits) : bits_(bits) {}

    constexpr uint16_t Bits() const { return bits_; }
    constexpr bool Has(uint16_t bit) const { return (bits_ & bit) != 0; }
    constexpr bool HasUSB() const { return Has(imUSB); }
    constexpr bool HasLAN() const { return Has(imLAN); }
    constexpr bool HasOffline() const { return Has(imOffline); }
    constexpr bool Empty() const { return (bits_ & (imUSB | imLAN | imOffline)) == 0; }

    constexpr TInterfaceMask operator|(TInterfaceMask o) const { return TInterfaceMask(bits_ | o.bits_); }
    constexpr TInterfaceMask operator&(TInterfaceMask o) const { return TInterfaceMask(bits_ & o.bits_); }
    constexpr bool operator==(const TInterfaceMask&) const = default;

private:
    uint16_t bits_ = 0;
};

inline constexpr TInterfaceMask kMaskUSB{TInterfaceMask::imUSB};
inline constexpr TInterfaceMask kMaskLAN{TInterfaceMask::imLAN};
inline constexpr TInterfaceMask kMaskOffline{TInterfaceMask::imOffline};

} // namespace qrb::device
