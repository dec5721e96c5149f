#pragma once
// The program's settings ("Ondrix.ini"): the 54 keys in their sections with their defaults,
// read from and written to a TIniFile.

#include "device/I2CTypes.h"
#include "ui/settings/IniFile.h"

#include <cstdint>
#include <span>
#include <string>

namespace qrb::ui {

// Longest string value taken from the file (characters).
inline constexpr size_t MaxSettingsStringLength = 2047;

struct TSettings {
    // MainWindow: geometry; the defaults centre a 920 x 600 window (DefaultSettings).
    int32_t Width = 920;
    int32_t Height = 600;
    int32_t Top = 0;
    int32_t Left = 0;
    int32_t State = 0; // 0 normal, 1 minimised, 2 maximised

    // Global
    uint16_t LangOffset = 10000;                         // key Language
    device::TInterfaceMask Interfaces{device::kMaskLAN}; // stored as kinds (1 USB, 2 LAN, 4 simulated)

    // Virtual
    int32_t VirtDevices = 0;  // key Devices
    int32_t VirtChannels = 0; // key Channels

    // LAN
    std::string LANAddresses = "192.168.0.50:15000"; // key Devices

    // Options, in the order they are written
    bool AskOnDefault = true;
    bool ConfirmRescan = true;
    bool ConfirmTurnOff = true;
    bool LogInterupts = false;
    bool AskOnCurrent = true;
    bool AskOnSaveDevConfig = true;
    bool AskOnInitDevConfig = true;
    bool AskOnTEDSCheck = true;
    bool AskOnUDMSCheck = true;
    bool AskOnTEMPCheck = true;
    bool AskSaveonChange = true;
    bool RescanAfterDown = true;
    bool AutoTEDSConfig = true;
    bool AskForNewTEDS = true;
    bool ClearHistoryOnConfig = true;
    std::string SetupFolder; // default: the user folder
    int32_t FanSpeed = 1;    // 0 maximum .. 4 off
    int32_t DebugLevel = 0;  // clamped to 0..1 after reading
    bool ChannelDisable = false;
    bool TimedReCheck = false;
    int32_t TimedReCheckIntv = 10000; // ms
    bool UseExtendedRanges = false;
    bool KeepADC8Quiet = true;
    bool OpenGroundShield = false;
    int32_t ICPCompVoltage = 0;
    int32_t RangeMode = 0; // 0 volts, 1 factor, 2 decibels
    bool SaveConfAsText = false;
    bool SaveConfAsXLS = false;
    bool OfflineCheck = false;
    bool SWStartLock = true;
    bool SWStopLock = false;
    bool HWStartLock = true;
    int32_t ZeroAverage = 3;
    bool UseDeviceNames = false;
    bool PMObserve = false;
    bool DiffSetupWarning = true;
    bool DiffSerNoWarning = false;
    bool UseDefaultSetup = false;

    // Colors: 0x00BBGGRR, or 0xFF0000nn for system colour nn
    int32_t ControlChannelName = 0x800000;
    int32_t ControlForeground = 0x808080;
    int32_t ControlText = static_cast<int32_t>(0xFF000008u);
    int32_t ControlBackgroundsel = 0xE8E8E8;
    int32_t ControlBackgroundnor = static_cast<int32_t>(0xFF000005u);
    int32_t ControlSelect = 0xF0CAA6;

    bool operator==(const TSettings&) const = default;
};

// The defaults: the window centred on a primary monitor of the given size, the setup folder
// the user folder.
TSettings DefaultSettings(int32_t screenWidth, int32_t screenHeight, const std::string& userFolder);

// Every key read from ini, each missing or unusable value giving its default of `defaults`.
// A value outside its range reads as the default (FanSpeed 0..4, RangeMode 0..2, State 0..2,
// Language 0 or 10000, simulated devices 0..8 and channels 0..64); DebugLevel is clamped to 0..1.
TSettings LoadSettings(const TIniFile& ini, const TSettings& defaults);

// Writes every key in its section, in the order of the settings file.
void SaveSettings(TIniFile& ini, const TSettings& settings);

// Reads the settings file. A missing file gives the defaults; a file that cannot be read also
// gives them and sets error.
TSettings LoadSettingsFile(const std::string& path, const TSettings& defaults, std::string& error);

// Writes every key into the settings file, keeping its other lines, and replaces it atomically
// (created when missing). An existing file that cannot be read is left alone. False with the
// error naming the file.
bool SaveSettingsFile(const std::string& path, const TSettings& settings, std::string& error);

// Geometry stored for a window: a maximised window is stored 50 pixels smaller and 25 pixels
// further in, so that it opens inside the screen when restored.
struct TWindowGeometry {
    int32_t Width, Height, Top, Left, State;
};
TWindowGeometry GeometryToStore(int32_t state, int32_t width, int32_t height, int32_t top, int32_t left);

// The keys in file order, for tests and diagnostics.
struct TSettingsKey {
    const char* Section;
    const char* Key;
};
std::span<const TSettingsKey> SettingsKeys();

} // namespace qrb::ui
