#include "device/Cp1252.h"

namespace qrb::device {

namespace {

// Code points of the bytes 0x80..0x9F; the undefined bytes keep their own value.
constexpr char32_t kHighTable[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 80..87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 88..8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90..97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 98..9F
};

} // namespace

char32_t Cp1252ToUnicode(uint8_t byte) {
    if (byte >= 0x80 && byte <= 0x9F) return kHighTable[byte - 0x80];
    return byte;
}

bool UnicodeToCp1252(char32_t cp, uint8_t& byte) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
        byte = static_cast<uint8_t>(cp);
        return true;
    }
    for (int i = 0; i < 32; ++i) {
        if (kHighTable[i] == cp) {
            byte = static_cast<uint8_t>(0x80 + i);
            return true;
        }
    }
    return false;
}

bool Utf8Next(std::string_view s, size_t& pos, char32_t& cp) {
    const auto at = [&](size_t i) { return static_cast<uint8_t>(s[i]); };
    const uint8_t b0 = at(pos);
    if (b0 < 0x80) {
        cp = b0;
        ++pos;
        return true;
    }
    size_t len = 0;
    char32_t value = 0;
    char32_t minValue = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
        value = b0 & 0x1F;
        minValue = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        value = b0 & 0x0F;
        minValue = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        value = b0 & 0x07;
        minValue = 0x10000;
    } else {
        ++pos;
        return false;
    }
    if (s.size() - pos < len) {
        ++pos;
        return false;
    }
    for (size_t i = 1; i < len; ++i) {
        const uint8_t b = at(pos + i);
        if ((b & 0xC0) != 0x80) {
            ++pos;
            return false;
        }
        value = (value << 6) | (b & 0x3F);
    }
    if (value < minValue || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        ++pos;
        return false;
    }
    cp = value;
    pos += len;
    return true;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
        out += '?';
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp <= 0x10FFFF) {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += '?';
    }
}

bool IsValidUtf8(std::string_view s) {
    size_t pos = 0;
    char32_t cp = 0;
    while (pos < s.size()) {
        if (!Utf8Next(s, pos, cp)) return false;
    }
    return true;
}

size_t Utf8Length(std::string_view s) {
    size_t pos = 0;
    size_t count = 0;
    char32_t cp = 0;
    while (pos < s.size()) {
        Utf8Next(s, pos, cp);
        ++count;
    }
    return count;
}

std::string Utf8Cut(std::string_view s, size_t maxChars) {
    size_t pos = 0;
    size_t count = 0;
    char32_t cp = 0;
    while (pos < s.size() && count < maxChars) {
        Utf8Next(s, pos, cp);
        ++count;
    }
    return std::string(s.substr(0, pos));
}

std::string Cp1252ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 4);
    for (char c : bytes)
        AppendUtf8(out, Cp1252ToUnicode(static_cast<uint8_t>(c)));
    return out;
}

std::string Utf8ToCp1252(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    size_t pos = 0;
    char32_t cp = 0;
    while (pos < utf8.size()) {
        uint8_t byte = '?';
        if (Utf8Next(utf8, pos, cp) && !UnicodeToCp1252(cp, byte)) byte = '?';
        out += static_cast<char>(byte);
    }
    return out;
}

std::string ToModelText(std::string_view utf8) {
    return Cp1252ToUtf8(Utf8ToCp1252(utf8));
}

} // namespace qrb::device
