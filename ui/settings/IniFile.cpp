#include "ui/settings/IniFile.h"

#include "device/Cp1252.h"
#include "device/FileUtil.h"
#include "device/Format.h"
#include "device/StringList.h"

#include <cerrno>
#include <sys/stat.h>

namespace qrb::ui {

namespace {

constexpr size_t npos = std::string::npos;
constexpr std::string_view Utf8Bom = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t'))
        --e;
    return s.substr(b, e - b);
}

// "[name]" (blanks allowed around and inside the brackets); text after ']' is ignored.
bool ParseSectionLine(std::string_view line, std::string_view& name) {
    const std::string_view t = Trim(line);
    if (t.empty() || t.front() != '[') return false;
    const size_t close = t.find(']');
    if (close == npos) return false;
    name = Trim(t.substr(1, close - 1));
    return true;
}

// "key=value"; comment lines (';') and lines without '=' or without a key are not key lines.
bool ParseKeyLine(std::string_view line, std::string_view& key, std::string_view& value) {
    const std::string_view t = Trim(line);
    if (t.empty() || t.front() == ';' || t.front() == '[') return false;
    const size_t eq = t.find('=');
    if (eq == npos) return false;
    key = Trim(t.substr(0, eq));
    if (key.empty()) return false;
    value = Trim(t.substr(eq + 1));
    return true;
}

bool IsQuote(char c) {
    return c == '"' || c == '\'';
}

std::string_view Unquote(std::string_view v) {
    if (v.size() >= 2 && IsQuote(v.front()) && v.back() == v.front()) return v.substr(1, v.size() - 2);
    return v;
}

// Each byte that starts no valid UTF-8 sequence becomes '?': the lines stay UTF-8 text, so a
// save never writes bytes that would make the file read back in another encoding.
std::string ValidUtf8(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    size_t pos = 0;
    char32_t cp = 0;
    while (pos < s.size()) {
        const size_t start = pos;
        if (device::Utf8Next(s, pos, cp))
            out.append(s.substr(start, pos - start));
        else
            out += '?';
    }
    return out;
}

bool FitsCp1252(std::string_view utf8) {
    size_t pos = 0;
    char32_t cp = 0;
    uint8_t byte = 0;
    while (pos < utf8.size())
        if (!device::Utf8Next(utf8, pos, cp) || !device::UnicodeToCp1252(cp, byte)) return false;
    return true;
}

std::string ValueText(std::string_view value) {
    std::string v = ValidUtf8(value);
    for (char& c : v)
        if (c == '\r' || c == '\n') c = ' ';
    const bool changesOnRead = Trim(v).size() != v.size() || Unquote(v).size() != v.size();
    return changesOnRead ? "\"" + v + "\"" : v;
}

} // namespace

bool TIniFile::LoadFromFile(const std::string& path, std::string& error) {
    lines_.clear();
    encoding_ = TIniEncoding::Utf8;
    byteOrderMark_ = false;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 && errno == ENOENT) return true;
    std::string bytes;
    if (!device::ReadFileBytes(path, bytes, error, MaxFileSize)) return false;
    LoadFromBytes(bytes);
    return true;
}

void TIniFile::LoadFromBytes(std::string_view bytes) {
    lines_.clear();
    byteOrderMark_ = false;
    std::string text;
    // The mark is no part of the first line, whatever the rest holds: else a section read the
    // first time as "ï»¿[Global]" would become [Global] once a save made the rest valid UTF-8.
    if (bytes.substr(0, Utf8Bom.size()) == Utf8Bom) {
        byteOrderMark_ = true;
        bytes.remove_prefix(Utf8Bom.size());
    }
    if (device::IsValidUtf8(bytes)) {
        encoding_ = TIniEncoding::Utf8;
        text.assign(bytes);
    } else {
        encoding_ = TIniEncoding::Cp1252;
        text = device::Cp1252ToUtf8(bytes);
    }
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find_first_of("\r\n", start);
        if (end == npos) {
            lines_.push_back(text.substr(start));
            break;
        }
        lines_.push_back(text.substr(start, end - start));
        start = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
    }
}

std::string TIniFile::SaveToBytes() const {
    std::string text;
    for (const std::string& line : lines_) {
        text += line;
        text += "\r\n";
    }
    const std::string mark = byteOrderMark_ ? std::string(Utf8Bom) : std::string();
    // UTF-8 reads back as the same text for every key. Windows-1252 is kept only where it holds
    // every character and its bytes are no valid UTF-8: bytes that happen to be (the only bytes
    // that were not were in a value since rewritten) would be read as UTF-8 next time, "Ã¼" as "ü".
    if (encoding_ == TIniEncoding::Cp1252 && FitsCp1252(text)) {
        std::string bytes = device::Utf8ToCp1252(text);
        if (!device::IsValidUtf8(bytes)) return mark + bytes;
    }
    return mark + text;
}

size_t TIniFile::FindSection(std::string_view section) const {
    std::string_view name;
    for (size_t i = 0; i < lines_.size(); ++i)
        if (ParseSectionLine(lines_[i], name) && device::SameText(name, section)) return i + 1;
    return npos;
}

size_t TIniFile::SectionEnd(size_t body) const {
    std::string_view name;
    size_t i = body;
    while (i < lines_.size() && !ParseSectionLine(lines_[i], name))
        ++i;
    return i;
}

size_t TIniFile::FindKey(size_t body, size_t end, std::string_view key) const {
    std::string_view k, v;
    for (size_t i = body; i < end; ++i)
        if (ParseKeyLine(lines_[i], k, v) && device::SameText(k, key)) return i;
    return npos;
}

bool TIniFile::SectionExists(std::string_view section) const {
    return FindSection(section) != npos;
}

bool TIniFile::ValueExists(std::string_view section, std::string_view key) const {
    std::string value;
    return FindValue(section, key, value);
}

bool TIniFile::FindValue(std::string_view section, std::string_view key, std::string& value) const {
    const size_t body = FindSection(section);
    if (body == npos) return false;
    const size_t line = FindKey(body, SectionEnd(body), key);
    if (line == npos) return false;
    std::string_view k, v;
    ParseKeyLine(lines_[line], k, v);
    value.assign(Unquote(v));
    return true;
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key, std::string_view def) const {
    std::string value;
    return FindValue(section, key, value) ? value : std::string(def);
}

int32_t TIniFile::ReadInteger(std::string_view section, std::string_view key, int32_t def) const {
    std::string value;
    if (!FindValue(section, key, value)) return def;
    return device::StrToIntDef(value, def);
}

bool TIniFile::ReadBool(std::string_view section, std::string_view key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void TIniFile::WriteString(std::string_view sectionBytes, std::string_view keyBytes, std::string_view value) {
    // Found as written, so a second write of the same names replaces the first.
    const std::string section = ValidUtf8(sectionBytes), key = ValidUtf8(keyBytes);
    std::string line = key + "=" + ValueText(value);
    const size_t body = FindSection(section);
    if (body == npos) {
        if (!lines_.empty() && !Trim(lines_.back()).empty()) lines_.emplace_back();
        lines_.push_back("[" + section + "]");
        lines_.push_back(std::move(line));
        return;
    }
    size_t end = SectionEnd(body);
    const size_t existing = FindKey(body, end, key);
    if (existing != npos) {
        lines_[existing] = std::move(line);
        return;
    }
    // After the section's last non-blank line, so blank separator lines stay in place.
    while (end > body && Trim(lines_[end - 1]).empty())
        --end;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(end), std::move(line));
}

void TIniFile::WriteInteger(std::string_view section, std::string_view key, int32_t value) {
    WriteString(section, key, device::IntToStr(value));
}

void TIniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

bool TIniFile::SaveToFile(const std::string& path, std::string& error) const {
    std::string reason;
    if (device::WriteFileAtomic(path, SaveToBytes(), reason)) return true;
    // The class library's INI write error names the file.
    error = "Unable to write to " + path;
    if (!reason.empty()) error += " (" + reason + ")";
    return false;
}

std::vector<std::string> TIniFile::Sections() const {
    std::vector<std::string> out;
    std::string_view name;
    for (const std::string& line : lines_)
        if (ParseSectionLine(line, name)) out.emplace_back(name);
    return out;
}

std::vector<std::string> TIniFile::Keys(std::string_view section) const {
    std::vector<std::string> out;
    const size_t body = FindSection(section);
    if (body == npos) return out;
    const size_t end = SectionEnd(body);
    std::string_view k, v;
    for (size_t i = body; i < end; ++i)
        if (ParseKeyLine(lines_[i], k, v)) out.emplace_back(k);
    return out;
}

} // namespace qrb::ui
