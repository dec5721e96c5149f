#include "ui/settings/Settings.h"

#include "device/Cp1252.h"
#include "device/Helpers.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <limits>

namespace qrb::ui {

namespace {

enum class TKeyKind : uint8_t { Integer, Bool, String, Language, Interfaces };

constexpr int32_t NoMin = std::numeric_limits<int32_t>::min();
constexpr int32_t NoMax = std::numeric_limits<int32_t>::max();

struct TKeyDef {
    const char* Section;
    const char* Key;
    TKeyKind Kind;
    int32_t TSettings::*Int;
    bool TSettings::*Flag;
    std::string TSettings::*Text;
    int32_t Min; // integers outside Min..Max read as the default
    int32_t Max;
};

constexpr TKeyDef Int(const char* s, const char* k, int32_t TSettings::*m, int32_t lo = NoMin,
                      int32_t hi = NoMax) {
    return {s, k, TKeyKind::Integer, m, nullptr, nullptr, lo, hi};
}
constexpr TKeyDef Flag(const char* s, const char* k, bool TSettings::*m) {
    return {s, k, TKeyKind::Bool, nullptr, m, nullptr, NoMin, NoMax};
}
constexpr TKeyDef Text(const char* s, const char* k, std::string TSettings::*m) {
    return {s, k, TKeyKind::String, nullptr, nullptr, m, NoMin, NoMax};
}
constexpr TKeyDef Special(const char* s, const char* k, TKeyKind kind) {
    return {s, k, kind, nullptr, nullptr, nullptr, NoMin, NoMax};
}

constexpr const char* MW = "MainWindow";
constexpr const char* GL = "Global";
constexpr const char* VI = "Virtual";
constexpr const char* OP = "Options";
constexpr const char* CO = "Colors";

// The settings file in the order it is written.
// clang-format off
constexpr TKeyDef Keys[] = {
    Int (MW, "Width",                &TSettings::Width),
    Int (MW, "Height",               &TSettings::Height),
    Int (MW, "Top",                  &TSettings::Top),
    Int (MW, "Left",                 &TSettings::Left),
    Int (MW, "State",                &TSettings::State, 0, 2),
    Special(GL, "Language",          TKeyKind::Language),
    Special(GL, "Interfaces",        TKeyKind::Interfaces),
    Int (VI, "Devices",              &TSettings::VirtDevices, 0, 8),
    Int (VI, "Channels",             &TSettings::VirtChannels, 0, 64),
    Text("LAN", "Devices",           &TSettings::LANAddresses),
    Flag(OP, "AskOnDefault",         &TSettings::AskOnDefault),
    Flag(OP, "ConfirmRescan",        &TSettings::ConfirmRescan),
    Flag(OP, "ConfirmTurnOff",       &TSettings::ConfirmTurnOff),
    Flag(OP, "LogInterupts",         &TSettings::LogInterupts),
    Flag(OP, "AskOnCurrent",         &TSettings::AskOnCurrent),
    Flag(OP, "AskOnSaveDevConfig",   &TSettings::AskOnSaveDevConfig),
    Flag(OP, "AskOnInitDevConfig",   &TSettings::AskOnInitDevConfig),
    Flag(OP, "AskOnTEDSCheck",       &TSettings::AskOnTEDSCheck),
    Flag(OP, "AskOnUDMSCheck",       &TSettings::AskOnUDMSCheck),
    Flag(OP, "AskOnTEMPCheck",       &TSettings::AskOnTEMPCheck),
    Flag(OP, "AskSaveonChange",      &TSettings::AskSaveonChange),
    Flag(OP, "RescanAfterDown",      &TSettings::RescanAfterDown),
    Flag(OP, "AutoTEDSConfig",       &TSettings::AutoTEDSConfig),
    Flag(OP, "AskForNewTEDS",        &TSettings::AskForNewTEDS),
    Flag(OP, "ClearHistoryOnConfig", &TSettings::ClearHistoryOnConfig),
    Text(OP, "SetupFolder",          &TSettings::SetupFolder),
    Int (OP, "FanSpeed",             &TSettings::FanSpeed, 0, 4),
    Int (OP, "DebugLevel",           &TSettings::DebugLevel),
    Flag(OP, "ChannelDisable",       &TSettings::ChannelDisable),
    Flag(OP, "TimedReCheck",         &TSettings::TimedReCheck),
    Int (OP, "TimedReCheckIntv",     &TSettings::TimedReCheckIntv),
    Flag(OP, "UseExtendedRanges",    &TSettings::UseExtendedRanges),
    Flag(OP, "KeepADC8Quiet",        &TSettings::KeepADC8Quiet),
    Flag(OP, "OpenGroundShield",     &TSettings::OpenGroundShield),
    Int (OP, "ICPCompVoltage",       &TSettings::ICPCompVoltage),
    Int (OP, "RangeMode",            &TSettings::RangeMode, 0, 2),
    Flag(OP, "SaveConfAsText",       &TSettings::SaveConfAsText),
    Flag(OP, "SaveConfAsXLS",        &TSettings::SaveConfAsXLS),
    Flag(OP, "OfflineCheck",         &TSettings::OfflineCheck),
    Flag(OP, "SWStartLock",          &TSettings::SWStartLock),
    Flag(OP, "SWStopLock",           &TSettings::SWStopLock),
    Flag(OP, "HWStartLock",          &TSettings::HWStartLock),
    Int (OP, "ZeroAverage",          &TSettings::ZeroAverage),
    Flag(OP, "UseDeviceNames",       &TSettings::UseDeviceNames),
    Flag(OP, "PMObserve",            &TSettings::PMObserve),
    Flag(OP, "DiffSetupWarning",     &TSettings::DiffSetupWarning),
    Flag(OP, "DiffSerNoWarning",     &TSettings::DiffSerNoWarning),
    Flag(OP, "UseDefaultSetup",      &TSettings::UseDefaultSetup),
    Int (CO, "ControlChannelName",   &TSettings::ControlChannelName),
    Int (CO, "ControlForeground",    &TSettings::ControlForeground),
    Int (CO, "ControlText",          &TSettings::ControlText),
    Int (CO, "ControlBackgroundsel", &TSettings::ControlBackgroundsel),
    Int (CO, "ControlBackgroundnor", &TSettings::ControlBackgroundnor),
    Int (CO, "ControlSelect",        &TSettings::ControlSelect),
};
// clang-format on
static_assert(std::size(Keys) == 54);

constexpr auto MakeKeyList() {
    std::array<TSettingsKey, std::size(Keys)> list{};
    for (size_t i = 0; i < std::size(Keys); ++i)
        list[i] = {Keys[i].Section, Keys[i].Key};
    return list;
}
constexpr auto KeyList = MakeKeyList();

bool InRange(const TKeyDef& def, int32_t value) {
    return value >= def.Min && value <= def.Max;
}
bool IsLanguage(int32_t value) {
    return value == 0 || value == 10000;
}

// Out-of-range values become the given defaults (used on load and again before a save).
void Normalise(TSettings& s, const TSettings& defaults) {
    for (const TKeyDef& def : Keys)
        if (def.Kind == TKeyKind::Integer && !InRange(def, s.*def.Int)) s.*def.Int = defaults.*def.Int;
    if (!IsLanguage(s.LangOffset)) s.LangOffset = defaults.LangOffset;
    s.DebugLevel = std::clamp(s.DebugLevel, 0, 1);
}

} // namespace

TSettings DefaultSettings(int32_t screenWidth, int32_t screenHeight, const std::string& userFolder) {
    TSettings s;
    s.Top = screenHeight / 2 - 300;
    s.Left = screenWidth / 2 - 460;
    s.SetupFolder = userFolder;
    return s;
}

TSettings LoadSettings(const TIniFile& ini, const TSettings& defaults) {
    TSettings s = defaults;
    for (const TKeyDef& def : Keys) {
        switch (def.Kind) {
        case TKeyKind::Integer:
            s.*def.Int = ini.ReadInteger(def.Section, def.Key, defaults.*def.Int);
            break;
        case TKeyKind::Bool:
            s.*def.Flag = ini.ReadBool(def.Section, def.Key, defaults.*def.Flag);
            break;
        case TKeyKind::String:
            s.*def.Text = device::Utf8Cut(ini.ReadString(def.Section, def.Key, defaults.*def.Text),
                                          MaxSettingsStringLength);
            break;
        case TKeyKind::Language: {
            const int32_t v = ini.ReadInteger(def.Section, def.Key, defaults.LangOffset);
            s.LangOffset = IsLanguage(v) ? static_cast<uint16_t>(v) : defaults.LangOffset;
            break;
        }
        case TKeyKind::Interfaces:
            s.Interfaces = device::KindsToInterfaceMask(
                ini.ReadInteger(def.Section, def.Key, device::InterfaceMaskToKinds(defaults.Interfaces)));
            break;
        }
    }
    Normalise(s, defaults);
    return s;
}

void SaveSettings(TIniFile& ini, const TSettings& settings) {
    TSettings s = settings;
    Normalise(s, TSettings{});
    for (const TKeyDef& def : Keys) {
        switch (def.Kind) {
        case TKeyKind::Integer:
            ini.WriteInteger(def.Section, def.Key, s.*def.Int);
            break;
        case TKeyKind::Bool:
            ini.WriteBool(def.Section, def.Key, s.*def.Flag);
            break;
        case TKeyKind::String:
            ini.WriteString(def.Section, def.Key, s.*def.Text);
            break;
        case TKeyKind::Language:
            ini.WriteInteger(def.Section, def.Key, s.LangOffset);
            break;
        case TKeyKind::Interfaces:
            ini.WriteInteger(def.Section, def.Key, device::InterfaceMaskToKinds(s.Interfaces));
            break;
        }
    }
}

TSettings LoadSettingsFile(const std::string& path, const TSettings& defaults, std::string& error) {
    TIniFile ini;
    if (!ini.LoadFromFile(path, error)) return defaults;
    return LoadSettings(ini, defaults);
}

bool SaveSettingsFile(const std::string& path, const TSettings& settings, std::string& error) {
    TIniFile ini;
    std::string reason;
    if (!ini.LoadFromFile(path, reason)) {
        error = "Unable to write to " + path + " (" + reason + ")";
        return false;
    }
    SaveSettings(ini, settings);
    return ini.SaveToFile(path, error);
}

TWindowGeometry GeometryToStore(int32_t state, int32_t width, int32_t height, int32_t top, int32_t left) {
    if (state == 2) return {width - 50, height - 50, top + 25, left + 25, state};
    return {width, height, top, left, state};
}

std::span<const TSettingsKey> SettingsKeys() {
    return KeyList;
}

} // namespace qrb::ui
