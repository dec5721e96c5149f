#pragma once
// The interface of one chip on a simulated I2C bus. The simulated chips implement it, and tests
// put scripted chips of their own behind chosen addresses of the simulated transport.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace qrb::device {

// Every chip write goes through a zeroed buffer of this size: a byte the write does not carry
// counts as 0, and a longer write is cut.
inline constexpr size_t kSimWriteBufferSize = 1024;

class TSimWriteBuffer {
public:
    explicit TSimWriteBuffer(std::span<const uint8_t> data);

    // Number of bytes the write carried (at most kSimWriteBufferSize).
    size_t Len() const { return len_; }
    uint8_t operator[](size_t i) const { return i < bytes_.size() ? bytes_[i] : 0; }

private:
    std::array<uint8_t, kSimWriteBufferSize> bytes_{};
    size_t len_ = 0;
};

class TSimChip {
public:
    virtual ~TSimChip() = default;

    // One I2C write, first byte first.
    virtual void Write(std::span<const uint8_t> data) = 0;
    // One I2C read of out.size() bytes. Returns how many bytes the chip delivered from the
    // start of out; the bytes after them are left as they were.
    virtual size_t Read(std::span<uint8_t> out) = 0;

    // The text form of a write: pairs of hexadecimal digits. False, and nothing written, when
    // a pair is not hexadecimal.
    bool WriteHex(std::string_view text);
};

// Converts the hex text of a text write: length / 2 bytes (an odd last digit is ignored), each
// pair one byte, at most kSimWriteBufferSize bytes (the rest of the text is cut). No value when
// a converted pair is not hexadecimal.
std::optional<std::vector<uint8_t>> ParseHexText(std::string_view text);

} // namespace qrb::device
