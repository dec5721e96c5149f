#pragma once
// Group, code and message names of every command block operation, and the device's message
// tables. One table serves both wire transports; a transport picks its name column.

#include <array>
#include <cstdint>
#include <string_view>

namespace qrb::device {

enum class TWireCommand : uint8_t {
    GetSCL,
    SetSCL,
    ScanI2C,
    WriteI2C,
    WriteI2CBlock,
    ReadI2C,
    ScanI2CMux,
    WriteSeq,
    WriteChannel,
    SaveAllConfig,
    GetDeviceInfo,
    GetChannelInfo,
    SetChannelInfo,
    GetDCDCInfo,
    SetDCDCInfo,
    SetDCDCClock,
    GetChannelCalibTable,
    GetMasterflash,
    SetMasterflash,
    GetDeviceADC8,
    SetMux,
    SetFan,
    SetIRQ,
    GetDeviceLockState,
    SetDeviceLockState,
    GetFWVersion,
    Count
};

enum class TNameColumn : uint8_t { USB = 0, LAN = 1 };

struct TWireCommandRow {
    TWireCommand Command;
    uint32_t Group;
    uint32_t Code;
    std::array<std::string_view, 2> Name; // message name: USB, LAN
};

inline constexpr uint32_t kGroupI2C = 0x10000;
inline constexpr uint32_t kGroupBoard = 0x20000;
inline constexpr uint32_t kGroupConfig = 0x30000;

// The codes count in decimal digits: 0x30010 follows 0x30009. SetDeviceLockState has no
// name of its own; its messages use the name below.
// clang-format off
inline constexpr std::array<TWireCommandRow, static_cast<size_t>(TWireCommand::Count)> kWireCommands{{
    // command                               group         code      USB name                 LAN name
    {TWireCommand::GetSCL,                   kGroupI2C,    0x10009,  {"GETSCL",               "GETSCL"}},
    {TWireCommand::SetSCL,                   kGroupI2C,    0x10008,  {"SETSCL",               "SETSCL"}},
    {TWireCommand::ScanI2C,                  kGroupI2C,    0x10002,  {"SCANI2C",              "SCANI2C"}},
    {TWireCommand::WriteI2C,                 kGroupI2C,    0x10003,  {"WRITEI2C",             "WRITEI2C"}},
    {TWireCommand::WriteI2CBlock,            kGroupI2C,    0x10003,  {"WRITEI2CBLOCK",        "WRITEI2C"}},
    {TWireCommand::ReadI2C,                  kGroupI2C,    0x10004,  {"READI2C",              "READI2C"}},
    {TWireCommand::ScanI2CMux,               kGroupBoard,  0x20005,  {"SCANI2CMUX",           "SCANMUX"}},
    {TWireCommand::WriteSeq,                 kGroupBoard,  0x20002,  {"WRITESEQ",             "WRITESEQ"}},
    {TWireCommand::WriteChannel,             kGroupConfig, 0x30011,  {"WRITECHANNEL",         "WRITEChanel"}},
    {TWireCommand::SaveAllConfig,            kGroupConfig, 0x30006,  {"SAVEALLFLASH",         "SaveAllConfig"}},
    {TWireCommand::GetDeviceInfo,            kGroupConfig, 0x30001,  {"GetDeviceInfo",        "GetDeviceInfo"}},
    {TWireCommand::GetChannelInfo,           kGroupConfig, 0x30007,  {"GetChannelInfo",       "GetChannelInfo"}},
    {TWireCommand::SetChannelInfo,           kGroupConfig, 0x30008,  {"SetChannelInfo",       "SetChannelInfo"}},
    {TWireCommand::GetDCDCInfo,              kGroupConfig, 0x30009,  {"GetDCDCInfo",          "GetDCDCInfo"}},
    {TWireCommand::SetDCDCInfo,              kGroupConfig, 0x30010,  {"SetDCDCInfo",          "SetDCDCInfo"}},
    {TWireCommand::SetDCDCClock,             kGroupBoard,  0x20008,  {"SetDCDCClock",         "SetDCDCClock"}},
    {TWireCommand::GetChannelCalibTable,     kGroupConfig, 0x30015,  {"GetChannelCalibTable", "GetChannelCalibTable"}},
    {TWireCommand::GetMasterflash,           kGroupConfig, 0x30002,  {"GetMasterflash",       "GetMasterflash"}},
    {TWireCommand::SetMasterflash,           kGroupConfig, 0x30003,  {"SetMasterflash",       "SetMasterflash"}},
    {TWireCommand::GetDeviceADC8,            kGroupConfig, 0x30017,  {"GetDeviceADC8",        "GetDeviceADC8"}},
    {TWireCommand::SetMux,                   kGroupBoard,  0x20001,  {"SETMUX",               "SETMUX"}},
    {TWireCommand::SetFan,                   kGroupBoard,  0x20006,  {"SETFAN",               "SETFAN"}},
    {TWireCommand::SetIRQ,                   kGroupBoard,  0x20003,  {"SETIRQ",               "SETIRQ"}},
    {TWireCommand::GetDeviceLockState,       kGroupConfig, 0x30019,  {"GETDEVICELOCKSTATE",   "GETDEVICELOCKSTATE"}},
    {TWireCommand::SetDeviceLockState,       kGroupConfig, 0x30020,  {"SETDEVICELOCKSTATE",   "SETDEVICELOCKSTATE"}},
    {TWireCommand::GetFWVersion,             kGroupI2C,    0x10000,  {"GETFWVERSION",         "GETFWVERSION"}},
}};
// clang-format on

constexpr const TWireCommandRow& WireCommandRow(TWireCommand command) {
    return kWireCommands[static_cast<size_t>(command)];
}

// Device status of WriteChannel, -1 first.
inline constexpr std::array<std::string_view, 10> kWriteChannelStatusTexts{{
    "Invalid channel for new channel config!",      // -1
    "Cannot set ADC path for channel!",             // -2
    "Cannot set ADC8 value to channel!",            // -3
    "Cannot set I/O path for channel!",             // -4
    "Cannot set init relay sequence to channel!",   // -5
    "Biterror on init relay sequence on channel!",  // -6
    "Cannot set pulse relay sequence to channel!",  // -7
    "Biterror on pulse relay sequence on channel!", // -8
    "Cannot set dac sequence to channel!",          // -9
    "Error on setting dac values to channel!",      // -10
}};

struct TSetMuxBit {
    uint32_t Bit;
    std::string_view Text;
};

// SetMux status bits, in the order their texts are joined.
inline constexpr std::array<TSetMuxBit, 10> kSetMuxBits{{
    {0x001, "ONDRIXMUX not present! "},
    {0x002, "CHANNELMUX not present! "},
    {0x004, "PATHMUX not present! "},
    {0x008, "ONDRIXMUX could not be set! "},
    {0x010, "CHANNELMUX could not be set! "},
    {0x020, "PATHMUX could not be set! "},
    {0x040, "ONDRIXMUX: invalid value! "},
    {0x080, "CHANNELMUX: invalid value! "},
    {0x100, "PATHMUX: invalid value! "},
    {0x200, "No I²C master found! "},
}};

namespace wiretext {
inline constexpr std::string_view NotAddressed = "I²C master device could not be addressed!";
inline constexpr std::string_view ClockRead = "I2C-Clock read as %3.2f KHz.";
inline constexpr std::string_view ClockSet = "I2C-Clock set to %3.2f KHz.";
inline constexpr std::string_view ClockOutOfRange = "I2C clock value out of possible range (1000-400000)!";
inline constexpr std::string_view InvalidSCL = "invalid SCL: ";
inline constexpr std::string_view InvalidWriteLength = "invalid write length: ";
inline constexpr std::string_view InvalidWriteValue = "invalid write value: ";
inline constexpr std::string_view InvalidReadLength = "invalid read length: ";
inline constexpr std::string_view InvalidSpeed = "invalid speed: ";
inline constexpr std::string_view InvalidIRQMode = "invalid interuptmode: ";
inline constexpr std::string_view ConfigWriteError = "Error on writing config to channel flash!";
inline constexpr std::string_view InvalidFan = "Invalid FAN setting!";
inline constexpr std::string_view InvalidIRQ = "Invalid IRQ setting!";
inline constexpr std::string_view LockStateError = "Error on GETDEVICELOCKSTATE!";
inline constexpr std::string_view SetLockStateError = "Error on SETDEVICELOCKSTATE!";
inline constexpr std::string_view FWVersionError = "Error on GETFWVERSION!";
inline constexpr std::string_view FWUnknown = "FW: <unknown>";
inline constexpr std::string_view FWText = "FW: %d.%d.%d.%d";
inline constexpr std::string_view SetMuxUnknown = "Unknown anser to SETMUX command!";
inline constexpr std::string_view UnknownAnswerHead = "Unknown answer to ";
inline constexpr std::string_view UnknownAnswerTail = " command!";
inline constexpr std::string_view NotAvailable = "<n/a>";
inline constexpr std::string_view Vendor = "QRB GmbH";
inline constexpr std::string_view Model = "QRB-730";
inline constexpr std::string_view Version = "1.0";
} // namespace wiretext

} // namespace qrb::device
