#pragma once
// The 2048-byte frame the USB transport writes to, and reads from, the communication sector of
// an amplifier's disk, and the SCSI identity that marks such a disk.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace qrb::device {

inline constexpr size_t kSectorFrameSize = 2048;
inline constexpr uint64_t kCommunicationSectorOffset = 256000;
inline constexpr size_t kFramePayloadOffset = 28;
inline constexpr size_t kFrameMaxPayload = kSectorFrameSize - kFramePayloadOffset;

inline constexpr uint32_t kFrameTypeCommand = 15000;
inline constexpr uint32_t kFrameTypeInfo = 15001;
inline constexpr uint32_t kCommandFrameTimeout = 1000000;
inline constexpr uint32_t kInfoFrameTimeout = 2000000;

// Vendor (8), product (16) and revision (4) of the INQUIRY data, blanks included.
inline constexpr std::string_view kQRB730Identity = "QRB     QRB-730         0313";

using TMD5Digest = std::array<uint8_t, 16>;
using TSectorBytes = std::array<uint8_t, kSectorFrameSize>;

struct TSectorFrame {
    uint32_t FrameType = 0;
    uint32_t PayloadLength = 0;
    uint32_t Timeout = 0;
    TMD5Digest Digest{};
    std::array<uint8_t, kFrameMaxPayload> Payload{};

    // The bytes after PayloadLength are written as zero; a PayloadLength beyond the frame is
    // written as given but only the bytes the frame holds are copied.
    void Encode(std::span<uint8_t, kSectorFrameSize> out) const;
    static TSectorFrame Decode(std::span<const uint8_t, kSectorFrameSize> in);
};

// MD5 (RFC 1321). False when the data cannot be the payload of a frame (longer than it holds).
bool ComputeFrameDigest(std::span<const uint8_t> payload, TMD5Digest& digest);

// A complete frame for payload. False (and out untouched) when the digest cannot be made.
bool BuildSectorFrame(uint32_t frameType, uint32_t timeout, std::span<const uint8_t> payload,
                      TSectorBytes& out);

// The identity text of INQUIRY data: bytes 8..35, up to the first zero byte.
std::string InquiryIdentityText(std::span<const uint8_t> inquiry);
bool IsQRB730Identity(std::span<const uint8_t> inquiry);

} // namespace qrb::device
