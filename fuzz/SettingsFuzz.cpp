// The settings over any settings file: every key reads within its range (an unusable or
// out-of-range value as its default), texts stay within their length and valid UTF-8, the
// interfaces hold only the three known kinds, the LAN list splits into scan targets, and what
// is saved loads back the same, into a new file and over the one read, with every other line;
// so do texts the program could hold that are not from the file (any character, also those
// Windows-1252 lacks).
//
// Input: the file bytes. Read in pairs as characters, they also give the folder and LAN list
// to save.

#include "device/Cp1252.h"
#include "ui/settings/IniFile.h"
#include "ui/settings/ScanTargets.h"
#include "ui/settings/Settings.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

using qrb::ui::TIniFile;
using qrb::ui::TSettings;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "settings: %s\n", what);
    std::abort();
}

void CheckText(const std::string& text) {
    if (qrb::device::Utf8Length(text) > qrb::ui::MaxSettingsStringLength) Fail("text longer than allowed");
    if (!qrb::device::IsValidUtf8(text)) Fail("text not UTF-8");
}

void CheckRanges(const TSettings& s) {
    if (s.State < 0 || s.State > 2) Fail("State");
    if (s.LangOffset != 0 && s.LangOffset != 10000) Fail("Language");
    if (s.VirtDevices < 0 || s.VirtDevices > 8) Fail("Virtual Devices");
    if (s.VirtChannels < 0 || s.VirtChannels > 64) Fail("Virtual Channels");
    if (s.FanSpeed < 0 || s.FanSpeed > 4) Fail("FanSpeed");
    if (s.RangeMode < 0 || s.RangeMode > 2) Fail("RangeMode");
    if (s.DebugLevel < 0 || s.DebugLevel > 1) Fail("DebugLevel");
    const auto known = qrb::device::kMaskLAN | qrb::device::kMaskUSB | qrb::device::kMaskOffline;
    if ((s.Interfaces | known) != known) Fail("Interfaces");
    CheckText(s.LANAddresses);
    CheckText(s.SetupFolder);
}

// The LAN list splits into its items, each once, and the simulated devices follow them.
void CheckTargets(const TSettings& s) {
    const auto targets = qrb::ui::ScanTargets(s);
    size_t lan = 0;
    if (!s.LANAddresses.empty() && s.Interfaces.HasLAN()) {
        lan = qrb::ui::SplitCommaText(s.LANAddresses).size();
        if (lan > s.LANAddresses.size() + 1) Fail("more LAN items than the list has room for");
    }
    const size_t simulated = s.Interfaces.HasOffline() ? static_cast<size_t>(s.VirtDevices) : 0;
    if (targets.size() != lan + simulated) Fail("scan targets");
    for (size_t i = 0; i < targets.size(); ++i) {
        const auto& [name, mask] = targets[i];
        if (mask != (i < lan ? qrb::device::kMaskLAN : qrb::device::kMaskOffline)) Fail("target kind");
        if (i < lan && name.find('\0') != std::string::npos) Fail("NUL in a LAN target");
    }
}

// The saved file reads back as the lines written, so keys the program does not write keep
// their text too.
TSettings LoadedBack(TIniFile& ini, const TSettings& s, const TSettings& defaults) {
    qrb::ui::SaveSettings(ini, s);
    TIniFile again;
    again.LoadFromBytes(ini.SaveToBytes());
    if (again.Lines() != ini.Lines()) Fail("the saved file does not read back as written");
    return qrb::ui::LoadSettings(again, defaults);
}

// A text of the characters the input's byte pairs give (no line breaks: the program's texts
// hold none), at most the length a text is read with.
std::string ForeignText(std::string_view input, size_t skip) {
    std::string out;
    size_t chars = 0;
    for (size_t i = skip; i + 1 < input.size() && chars < qrb::ui::MaxSettingsStringLength; i += 2, ++chars) {
        char32_t cp = static_cast<uint8_t>(input[i]) << 8 | static_cast<uint8_t>(input[i + 1]);
        if (cp == '\r' || cp == '\n') cp = ' ';
        qrb::device::AppendUtf8(out, cp);
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const TSettings defaults = qrb::ui::DefaultSettings(1920, 1080, "/home/user/Documents");

    TIniFile ini;
    ini.LoadFromBytes(input);
    const TSettings s = qrb::ui::LoadSettings(ini, defaults);
    CheckRanges(s);
    CheckTargets(s);

    TIniFile fresh;
    if (!(LoadedBack(fresh, s, defaults) == s)) Fail("a new file does not load back the same");
    if (!(LoadedBack(ini, s, defaults) == s)) Fail("the file saved over does not load back the same");

    TSettings foreign = s;
    foreign.SetupFolder = ForeignText(input, 0);
    foreign.LANAddresses = s.LANAddresses + "," + ForeignText(input, 1);
    foreign.LANAddresses = qrb::device::Utf8Cut(foreign.LANAddresses, qrb::ui::MaxSettingsStringLength);
    TIniFile file;
    file.LoadFromBytes(input);
    if (!(LoadedBack(file, foreign, defaults) == foreign))
        Fail("texts not from the file do not load back the same");
    TIniFile freshForeign;
    if (!(LoadedBack(freshForeign, foreign, defaults) == foreign))
        Fail("texts not from the file do not load back the same into a new file");
    return 0;
}
