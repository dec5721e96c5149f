#pragma once
// An INI file kept line by line: unknown keys, comments and the order of everything survive a
// load and save; only the lines of written keys change.
//
// Sections and keys are found without regard to ASCII letter case (the first match counts).
// Values are read trimmed, with one pair of surrounding quotes (" or ') removed. Lines are
// written with CR LF. A file that is valid UTF-8 is read and written as UTF-8, any other as
// Windows-1252; a new file is UTF-8. A Windows-1252 file is written as UTF-8 where its text
// holds a character Windows-1252 lacks, or where its bytes would read back as UTF-8 (after
// writes removed every byte that was not).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qrb::ui {

enum class TIniEncoding : uint8_t { Utf8, Cp1252 };

class TIniFile {
public:
    // Files larger than this are refused rather than read into memory.
    static constexpr size_t MaxFileSize = 16u << 20;

    // Reads path; a missing file gives an empty INI (true). False with error for a file that
    // exists but cannot be read or is too large; the INI is then empty.
    bool LoadFromFile(const std::string& path, std::string& error);
    // Replaces the content by the file bytes, choosing the encoding as for a file.
    void LoadFromBytes(std::string_view bytes);
    // The file bytes: every line ended by CR LF, in the INI's encoding (UTF-8 where
    // Windows-1252 lacks a character of the text or its bytes would read back as UTF-8).
    std::string SaveToBytes() const;
    // Writes the file atomically (temporary file in its folder, then rename; a link is
    // resolved, an existing file's mode kept). False with error naming the file.
    bool SaveToFile(const std::string& path, std::string& error) const;

    TIniEncoding Encoding() const { return encoding_; }
    void SetEncoding(TIniEncoding encoding) { encoding_ = encoding; }

    bool SectionExists(std::string_view section) const;
    bool ValueExists(std::string_view section, std::string_view key) const;
    // The value of the first matching key; false when there is none.
    bool FindValue(std::string_view section, std::string_view key, std::string& value) const;
    std::string ReadString(std::string_view section, std::string_view key, std::string_view def) const;
    // Decimal, or hexadecimal after $ or 0x; a missing key or a value that is no number gives def.
    int32_t ReadInteger(std::string_view section, std::string_view key, int32_t def) const;
    // An integer: 0 is false, any other number true; otherwise def.
    bool ReadBool(std::string_view section, std::string_view key, bool def) const;

    // Replaces the first matching key line, else adds the key at the end of the first matching
    // section, else adds the section at the end of the file. Line breaks in the value become
    // blanks, and each byte of it that is no UTF-8 '?'; a value that reading would change
    // (blanks around it, surrounding quotes) is written in double quotes so that it reads back
    // as written.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, int32_t value);
    void WriteBool(std::string_view section, std::string_view key, bool value);

    std::vector<std::string> Sections() const;
    std::vector<std::string> Keys(std::string_view section) const;

    // The lines as UTF-8 text, without line ends.
    const std::vector<std::string>& Lines() const { return lines_; }

private:
    // Index of the first line of the first matching section's body, or npos.
    size_t FindSection(std::string_view section) const;
    // End of the body starting at `body` (the next section line or the end).
    size_t SectionEnd(size_t body) const;
    size_t FindKey(size_t body, size_t end, std::string_view key) const;

    std::vector<std::string> lines_;
    TIniEncoding encoding_ = TIniEncoding::Utf8;
    bool byteOrderMark_ = false; // a UTF-8 file that began with one keeps it
};

} // namespace qrb::ui
