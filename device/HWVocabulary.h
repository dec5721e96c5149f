#pragma once
// Display texts of the channel setting codes and the constant tables of the amplifier hardware.
// Stateless; every function accepts any code and answers the fallback text for unknown ones.
// Texts are UTF-8 ("±" and "µ" are two bytes each).

#include "device/I2CTypes.h"
#include "device/Records.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace qrb::device {

// Highest range code; the model uses 26 for "no range found".
inline constexpr uint8_t kMaxRangeCode = 25;

// Version below 2: 150 V family; 2 and above: 100 V family.
constexpr bool Is150VFamily(uint8_t version) {
    return version < 2;
}

std::string InterfaceToText(uint8_t kind);
std::string InterfaceToText(TInterfaceKind kind);

std::string CouplingToText(uint8_t coupling);
std::string CouplingToLongText(uint8_t coupling);
std::string ReferenceToText(uint8_t reference);
std::string VRefPlusToText(uint8_t value);
std::string VRefMinusToText(uint8_t value);
std::string VoltSenseToText(uint8_t value);

// capacity: charge capacity code, 0 = 10 nF, any other = 100 pF.
std::string ChargeHighPassToText(uint8_t value, uint8_t capacity);
std::string ChargeClearModeToText(uint8_t value);
std::string ChargeModeToText(uint8_t value);
std::string ChargeCapacityToText(uint8_t value);

std::string SensorTypeToText(uint16_t sensorType);
std::string VoltSupplyToText(uint8_t value);

// Range texts answer "n/a" above kMaxRangeCode, full scales 0.
std::string VoltageRangeToText(uint8_t version, uint8_t range);
std::string VoltageRangeDividerToText(uint8_t version, uint8_t range);
std::string VoltageRangeGainToText(uint8_t version, uint8_t range);
std::string VoltageRangeToLongText(uint8_t version, uint8_t range);
float VoltageRangeFullScale(uint8_t version, uint8_t range); // volts
std::string CurrentRangeToText(uint8_t version, uint8_t range);
std::string ChargeRangeToText(uint8_t version, uint8_t range, uint8_t capacity);
std::string ChargeRangeToLongText(uint8_t version, uint8_t range, uint8_t capacity);
float ChargeRangeFullScale(uint8_t range, uint8_t capacity); // coulombs
std::string CommonModeRangeToText(uint8_t version, uint8_t range);

// filter: the channel's output filter setting is on.
std::string OutputFilterToText(uint8_t filterType, bool filter);
std::string OutputFilterToLongText(uint8_t filterType, bool filter);

// First 16 bytes of every valid master flash, no terminator.
inline constexpr std::string_view kMasterFlashMagic{"QRB24_ONDRIX_V20", 16};

// Index into the chip address table.
enum class TChipIndex : uint8_t {
    OneWire = 0,   // DS2482-100 1-Wire (TEDS) bus controller
    Expander0 = 1, // MAX7312 I/O expanders E0..E5 receive register words 1..6
    Expander1 = 2,
    Expander2 = 3,
    Expander3 = 4,
    Expander4 = 5,
    Expander5 = 6,
    DACExpander = 7, // MAX7312 driving the AD5405 DAC
    Expander8 = 8,
    Expander9 = 9,
    ADC18 = 10,            // MCP3421
    ADC8Status = 11,       // status ADC, read as the 8-bit status value
    ADC12 = 12,            // ADC read as a 12-bit value
    ChannelFlashLow = 13,  // AT24C1024B lower 64 KB
    ChannelFlashHigh = 14, // AT24C1024B upper 64 KB
    DCDC = 15,             // DS1094L regulator
    Mux2 = 16,             // PCA9540B
    Mux8A = 17,
    Mux8B = 18,
    Fan = 19,           // MAX6650
    DCDCAlertLow = 20,  // DS28CZ04 lower 256 bytes
    DCDCAlertHigh = 21, // DS28CZ04 upper 256 bytes
    MasterFlash = 22,   // AT24C512B 64 KB
    Backbone = 23,      // MAX1361 backbone voltage control
};

inline constexpr std::size_t kChipCount = 24;

// 7-bit I2C address of each chip of a channel board and its device, by index.
// clang-format off
inline constexpr std::array<uint8_t, kChipCount> kChipAddresses = {
    0x18, // 0  1-Wire (TEDS) bus controller DS2482-100
    0x20, // 1  I/O expander MAX7312
    0x21, // 2  I/O expander MAX7312
    0x22, // 3  I/O expander MAX7312
    0x25, // 4  I/O expander MAX7312
    0x26, // 5  I/O expander MAX7312
    0x2A, // 6  I/O expander MAX7312
    0x24, // 7  I/O expander MAX7312 driving the DAC AD5405
    0x2B, // 8  I/O expander MAX7312
    0x2C, // 9  I/O expander MAX7312
    0x68, // 10 18-bit ADC MCP3421
    0x54, // 11 status ADC, read as the 8-bit status value
    0x51, // 12 ADC read as a 12-bit value
    0x56, // 13 channel flash AT24C1024B, lower 64 KB
    0x57, // 14 channel flash AT24C1024B, upper 64 KB
    0x58, // 15 DC/DC regulator DS1094L
    0x70, // 16 2-way multiplexer PCA9540B
    0x71, // 17 8-way multiplexer
    0x72, // 18 8-way multiplexer
    0x1B, // 19 fan controller MAX6650
    0x52, // 20 DC/DC alert DS28CZ04, lower 256 bytes
    0x53, // 21 DC/DC alert DS28CZ04, upper 256 bytes
    0x50, // 22 master flash AT24C512B, 64 KB
    0x36, // 23 backbone voltage control MAX1361
};
// clang-format on

constexpr uint8_t ChipAddress(TChipIndex index) {
    return kChipAddresses[static_cast<std::size_t>(index)];
}

// Default register images and masks of a channel information record, by hardware row.
struct TDefaultChannelInfo {
    std::array<uint16_t, kImageWords> Defaults;
    std::array<uint16_t, kMaskWords> MaskI;
    std::array<uint16_t, kMaskWords> MaskO;
    std::array<uint16_t, kMaskWords> MaskIO;
    std::array<uint16_t, kMaskWords> MaskP;
    std::array<uint16_t, kMaskWords> MaskDirty;
};

inline constexpr std::size_t kHardwareRowCount = 2;
extern const std::array<TDefaultChannelInfo, kHardwareRowCount> kDefaultChannelInfo;

// The default register image of a hardware row; all zero for a row above 1.
TRegisterImage DefaultRegisterImage(std::size_t row);

// Sets Defaults and the five mask sets of info from a hardware row, nothing else.
// False and info unchanged for a row above 1.
bool ApplyDefaultChannelInfo(TChannelInfo& info, std::size_t row);

// Name of each bit of register words 0..6, bit 0 first.
inline constexpr std::size_t kBitNameWords = 7;
extern const std::array<std::array<std::string_view, 16>, kBitNameWords> kRegisterBitNames;

// Empty for a word above 6 or a bit above 15.
std::string_view RegisterBitName(unsigned word, unsigned bit);

// Dallas/Maxim 1-Wire CRC-8 (x^8 + x^5 + x^4 + 1, reflected, initial value 0).
extern const std::array<uint8_t, 256> kOneWireCRC8Table;

inline uint8_t OneWireCRC8Step(uint8_t crc, uint8_t byte) {
    return kOneWireCRC8Table[crc ^ byte];
}

// CRC over the bytes from 0; a ROM number is valid when this is 0 over all 8 bytes.
uint8_t OneWireCRC8(std::span<const uint8_t> bytes);

} // namespace qrb::device
