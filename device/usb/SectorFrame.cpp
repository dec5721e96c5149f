#include "device/usb/SectorFrame.h"

#include <algorithm>
#include <md5.h>

namespace qrb::device {

namespace {

void PutU32(std::span<uint8_t> out, size_t offset, uint32_t v) {
    out[offset] = static_cast<uint8_t>(v);
    out[offset + 1] = static_cast<uint8_t>(v >> 8);
    out[offset + 2] = static_cast<uint8_t>(v >> 16);
    out[offset + 3] = static_cast<uint8_t>(v >> 24);
}

uint32_t GetU32(std::span<const uint8_t> in, size_t offset) {
    return static_cast<uint32_t>(in[offset]) | static_cast<uint32_t>(in[offset + 1]) << 8 |
           static_cast<uint32_t>(in[offset + 2]) << 16 | static_cast<uint32_t>(in[offset + 3]) << 24;
}

constexpr size_t kDigestOffset = 12;
constexpr size_t kIdentityFirst = 8;
constexpr size_t kIdentityEnd = 36;

} // namespace

void TSectorFrame::Encode(std::span<uint8_t, kSectorFrameSize> out) const {
    std::fill(out.begin(), out.end(), uint8_t{0});
    PutU32(out, 0, FrameType);
    PutU32(out, 4, PayloadLength);
    PutU32(out, 8, Timeout);
    std::copy(Digest.begin(), Digest.end(), out.begin() + kDigestOffset);
    const size_t used = std::min<size_t>(PayloadLength, Payload.size());
    std::copy_n(Payload.begin(), used, out.begin() + kFramePayloadOffset);
}

TSectorFrame TSectorFrame::Decode(std::span<const uint8_t, kSectorFrameSize> in) {
    TSectorFrame f;
    f.FrameType = GetU32(in, 0);
    f.PayloadLength = GetU32(in, 4);
    f.Timeout = GetU32(in, 8);
    std::copy_n(in.begin() + kDigestOffset, f.Digest.size(), f.Digest.begin());
    std::copy_n(in.begin() + kFramePayloadOffset, f.Payload.size(), f.Payload.begin());
    return f;
}

bool ComputeFrameDigest(std::span<const uint8_t> payload, TMD5Digest& digest) {
    if (payload.size() > kFrameMaxPayload) return false;
    MD5_CTX ctx;
    MD5Init(&ctx);
    MD5Update(&ctx, payload.data(), payload.size());
    MD5Final(digest.data(), &ctx);
    return true;
}

bool BuildSectorFrame(uint32_t frameType, uint32_t timeout, std::span<const uint8_t> payload,
                      TSectorBytes& out) {
    TSectorFrame f;
    if (!ComputeFrameDigest(payload, f.Digest)) return false;
    f.FrameType = frameType;
    f.PayloadLength = static_cast<uint32_t>(payload.size());
    f.Timeout = timeout;
    std::copy(payload.begin(), payload.end(), f.Payload.begin());
    f.Encode(out);
    return true;
}

std::string InquiryIdentityText(std::span<const uint8_t> inquiry) {
    std::string text;
    for (size_t i = kIdentityFirst; i < kIdentityEnd && i < inquiry.size(); ++i) {
        if (inquiry[i] == 0) break;
        text.push_back(static_cast<char>(inquiry[i]));
    }
    return text;
}

bool IsQRB730Identity(std::span<const uint8_t> inquiry) {
    return InquiryIdentityText(inquiry) == kQRB730Identity;
}

} // namespace qrb::device
