#include "device/sim/SimChip.h"

#include <algorithm>

namespace qrb::device {

TSimWriteBuffer::TSimWriteBuffer(std::span<const uint8_t> data)
    : len_(std::min(data.size(), kSimWriteBufferSize)) {
    std::copy_n(data.begin(), len_, bytes_.begin());
}

bool TSimChip::WriteHex(std::string_view text) {
    auto bytes = ParseHexText(text);
    if (!bytes) return false;
    Write(*bytes);
    return true;
}

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

} // namespace

std::optional<std::vector<uint8_t>> ParseHexText(std::string_view text) {
    const size_t count = std::min(text.size() / 2, kSimWriteBufferSize);
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) {
        const int high = HexDigit(text[2 * i]);
        const int low = HexDigit(text[2 * i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes[i] = static_cast<uint8_t>(high * 16 + low);
    }
    return bytes;
}

} // namespace qrb::device
