#pragma once
// The fixed 1432-byte command block that carries every device operation of the wire
// transports, the request counter of a device entry, and the info request/answer pair.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace qrb::device {

inline constexpr size_t kCommandBlockSize = 1432;
inline constexpr size_t kPayloadOffset = 32;
inline constexpr size_t kPayloadCapacity = 1400;
inline constexpr size_t kAnswerDataOffset = 36; // after the 32-bit status

inline constexpr uint32_t kBlockMagic = 0x87690500;
inline constexpr uint32_t kDirectionRequest = 0x02020401;
inline constexpr uint32_t kDirectionAnswer = 0x02020402;

// A device entry's 64-bit request counter, kept as two words as on the wire.
struct TSequenceNumber {
    uint32_t SeqLow = 0;
    uint32_t SeqHigh = 0;

    // Advances by one before a request is built; the low word carries into the high word.
    void Advance() {
        if (++SeqLow == 0) ++SeqHigh;
    }
    uint64_t Value() const { return (static_cast<uint64_t>(SeqHigh) << 32) | SeqLow; }
    bool operator==(const TSequenceNumber&) const = default;
};

// Requests and answers share the layout; all fields little-endian.
class TCommandBlock {
public:
    static constexpr size_t Size = kCommandBlockSize;

    // Field offsets.
    static constexpr size_t oMagic = 0;
    static constexpr size_t oGroup = 4;
    static constexpr size_t oCommand = 8;
    static constexpr size_t oSize = 12;
    static constexpr size_t oDirection = 16;
    static constexpr size_t oSeqHigh = 20;
    static constexpr size_t oSeqLow = 24;
    static constexpr size_t oPayloadLength = 28;

    std::array<uint8_t, Size> Bytes{};

    void Clear() { Bytes.fill(0); }

    uint32_t Word(size_t offset) const;
    void SetWord(size_t offset, uint32_t value);

    uint32_t Magic() const { return Word(oMagic); }
    uint32_t Group() const { return Word(oGroup); }
    uint32_t Command() const { return Word(oCommand); }
    uint32_t BlockSize() const { return Word(oSize); }
    uint32_t Direction() const { return Word(oDirection); }
    uint32_t SeqHigh() const { return Word(oSeqHigh); }
    uint32_t SeqLow() const { return Word(oSeqLow); }
    TSequenceNumber Sequence() const { return {SeqLow(), SeqHigh()}; }
    // As sent; may exceed the payload's 1400 bytes in a malformed answer.
    uint32_t PayloadLength() const { return Word(oPayloadLength); }
    // The answer's signed status at offset 32.
    int32_t Status() const { return static_cast<int32_t>(Word(kPayloadOffset)); }

    uint8_t* Payload() { return Bytes.data() + kPayloadOffset; }
    const uint8_t* Payload() const { return Bytes.data() + kPayloadOffset; }
    // The answer data after the status (offset 36), as far as the block reaches.
    std::span<const uint8_t> AnswerData() const {
        return std::span<const uint8_t>(Bytes).subspan(kAnswerDataOffset);
    }

    // Writes the payload bytes and PayloadLength; more than 1400 bytes is a programming error
    // and is cut.
    void SetPayload(std::span<const uint8_t> payload);
};

// Request construction: advances the entry's counter, zeroes the block and writes the header
// with PayloadLength 0.
void BuildRequest(TCommandBlock& request, uint32_t group, uint32_t command, uint32_t direction,
                  TSequenceNumber& entry);

// Answer acceptance: magic, direction and both counter words of the entry.
bool CheckResponse(const TCommandBlock& answer, uint32_t direction, const TSequenceNumber& entry);

// Sent outside the command block to learn whether a device is free.
struct TInfoRequest {
    static constexpr size_t Size = 8;
    static constexpr uint32_t Word0 = 0xFACECAFE;
    static constexpr uint32_t Word1 = 0x10203040;

    static std::array<uint8_t, Size> Encode();
};

// The 76-byte info answer; only these fields are read.
struct TInfoAnswer {
    static constexpr size_t Size = 76;
    static constexpr size_t oHolderIP = 4;
    static constexpr size_t oSeries = 26;
    static constexpr size_t oSerial = 30;

    // The holder's IPv4 address, first octet first on the wire; held here as the four octets.
    std::array<uint8_t, 4> HolderIP{};
    int32_t Series = 0;
    int32_t Serial = 0;

    // False (and out untouched) when fewer than 76 bytes are given.
    static bool Decode(const uint8_t* data, size_t len, TInfoAnswer& out);
    bool HolderIs(uint8_t a, uint8_t b, uint8_t c, uint8_t d) const {
        return HolderIP == std::array<uint8_t, 4>{a, b, c, d};
    }
    // Dotted-decimal text of the holder.
    std::string HolderText() const;
};

} // namespace qrb::device
