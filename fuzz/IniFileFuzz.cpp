// The settings file reader: any bytes load; saving gives CR LF lines that load back to the
// same lines and encoding; every key reads back what is written to it, and a value written
// from the input reads back with its line breaks as blanks and each byte that is no UTF-8 as
// '?'; saved after that write, the file loads back with every key's text.
//
// Input: the file bytes. Its first line also serves as a value to write.

#include "device/Cp1252.h"
#include "ui/settings/IniFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

using qrb::ui::TIniFile;

// A file of only a byte-order mark keeps it and has no line.
void CheckLineEnds(std::string_view bytes) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    if (!bytes.empty() && (bytes.size() < 2 || bytes.substr(bytes.size() - 2) != "\r\n")) std::abort();
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && (i + 1 == bytes.size() || bytes[i + 1] != '\n')) std::abort();
        if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r')) std::abort();
    }
}

// Every key's text, by section and key, in file order.
std::vector<std::string> Texts(const TIniFile& ini) {
    std::vector<std::string> out;
    for (const std::string& section : ini.Sections())
        for (const std::string& key : ini.Keys(section))
            out.push_back(section + '\0' + key + '\0' + ini.ReadString(section, key, ""));
    return out;
}

// What reading gives for a written value.
std::string AsWritten(std::string_view value) {
    std::string out;
    size_t pos = 0;
    char32_t cp = 0;
    while (pos < value.size()) {
        const size_t start = pos;
        if (!qrb::device::Utf8Next(value, pos, cp))
            out += '?';
        else if (cp == '\r' || cp == '\n')
            out += ' ';
        else
            out.append(value.substr(start, pos - start));
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    TIniFile ini;
    ini.LoadFromBytes(input);

    // Save and load again: nothing changes any more.
    const std::string saved = ini.SaveToBytes();
    CheckLineEnds(saved);
    TIniFile again;
    again.LoadFromBytes(saved);
    if (again.Lines() != ini.Lines() || again.Encoding() != ini.Encoding()) std::abort();
    if (again.SaveToBytes() != saved) std::abort();

    // Every key gives back what is written to it, and the readers of other types do not fail.
    for (const std::string& section : ini.Sections()) {
        if (!ini.SectionExists(section)) std::abort();
        for (const std::string& key : ini.Keys(section)) {
            std::string value;
            if (!ini.FindValue(section, key, value)) std::abort();
            (void)ini.ReadInteger(section, key, 7);
            (void)ini.ReadBool(section, key, true);
            again.WriteString(section, key, value);
            if (again.ReadString(section, key, "") != value) std::abort();
        }
    }

    // A value of the input under a section and key of the program's.
    const std::string value(input.substr(0, std::min<size_t>(input.find('\n'), 2047)));
    ini.WriteString("Options", "Fuzz", value);
    if (ini.ReadString("Options", "Fuzz", "") != AsWritten(value)) std::abort();
    ini.WriteInteger("Options", "FanSpeed", static_cast<int32_t>(size) - 1000);
    if (ini.ReadInteger("Options", "FanSpeed", 0) != static_cast<int32_t>(size) - 1000) std::abort();

    // Saved after the writes and loaded again, every key has its text, in whichever encoding the
    // save chose, and a second save changes nothing.
    const std::string rewritten = ini.SaveToBytes();
    CheckLineEnds(rewritten);
    TIniFile back;
    back.LoadFromBytes(rewritten);
    if (back.Lines() != ini.Lines()) std::abort();
    if (Texts(back) != Texts(ini)) std::abort();
    if (back.Encoding() == qrb::ui::TIniEncoding::Cp1252 && ini.Encoding() != back.Encoding()) std::abort();
    if (back.SaveToBytes() != rewritten) std::abort();
    return 0;
}
