#include "device/usb/SectorFrame.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qrb::device {
namespace {

std::vector<uint8_t> Bytes(std::string_view s) {
    return std::vector<uint8_t>(s.begin(), s.end());
}

uint32_t U32At(const TSectorBytes& b, size_t o) {
    return b[o] | b[o + 1] << 8 | b[o + 2] << 16 | static_cast<uint32_t>(b[o + 3]) << 24;
}

TEST(SectorFrameDigest, MatchesRfc1321Vectors) {
    struct Case {
        std::string_view input;
        TMD5Digest digest;
    };
    const Case cases[] = {
        {"",
         {0xd4, 0x1d, 0x8c, 0xd9, 0x8f, 0x00, 0xb2, 0x04, 0xe9, 0x80, 0x09, 0x98, 0xec, 0xf8, 0x42, 0x7e}},
        {"abc",
         {0x90, 0x01, 0x50, 0x98, 0x3c, 0xd2, 0x4f, 0xb0, 0xd6, 0x96, 0x3f, 0x7d, 0x28, 0xe1, 0x7f, 0x72}},
        {"message digest",
         {0xf9, 0x6b, 0x69, 0x7d, 0x7c, 0xb7, 0x93, 0x8d, 0x52, 0x5a, 0x2f, 0x31, 0xaa, 0xf1, 0x61, 0xd0}},
    };
    for (const Case& c : cases) {
        TMD5Digest d{};
        ASSERT_TRUE(ComputeFrameDigest(Bytes(c.input), d));
        EXPECT_EQ(d, c.digest) << c.input;
    }
}

TEST(SectorFrameDigest, RefusesPayloadLargerThanFrame) {
    std::vector<uint8_t> tooLong(kFrameMaxPayload + 1, 0);
    TMD5Digest d{};
    EXPECT_FALSE(ComputeFrameDigest(tooLong, d));
    TSectorBytes out{};
    out.fill(0xAA);
    EXPECT_FALSE(BuildSectorFrame(kFrameTypeCommand, kCommandFrameTimeout, tooLong, out));
    EXPECT_EQ(out[0], 0xAA);
}

TEST(SectorFrameLayout, HeaderDigestPayloadAndZeroTail) {
    TSectorBytes out;
    out.fill(0xEE); // stale bytes must not survive
    ASSERT_TRUE(BuildSectorFrame(kFrameTypeInfo, kInfoFrameTimeout, Bytes("abc"), out));
    // 15001, 3, 2000000 little-endian
    const uint8_t head[12] = {0x99, 0x3A, 0, 0, 3, 0, 0, 0, 0x80, 0x84, 0x1E, 0x00};
    for (size_t i = 0; i < 12; ++i)
        EXPECT_EQ(out[i], head[i]) << i;
    const uint8_t md5abc[16] = {0x90, 0x01, 0x50, 0x98, 0x3c, 0xd2, 0x4f, 0xb0,
                                0xd6, 0x96, 0x3f, 0x7d, 0x28, 0xe1, 0x7f, 0x72};
    for (size_t i = 0; i < 16; ++i)
        EXPECT_EQ(out[12 + i], md5abc[i]) << i;
    EXPECT_EQ(out[28], 'a');
    EXPECT_EQ(out[29], 'b');
    EXPECT_EQ(out[30], 'c');
    for (size_t i = 31; i < kSectorFrameSize; ++i)
        ASSERT_EQ(out[i], 0) << i;
}

TEST(SectorFrameLayout, CommandFrameConstants) {
    std::vector<uint8_t> block(1432, 0x5A);
    TSectorBytes out{};
    ASSERT_TRUE(BuildSectorFrame(kFrameTypeCommand, kCommandFrameTimeout, block, out));
    EXPECT_EQ(U32At(out, 0), 15000u);
    EXPECT_EQ(U32At(out, 4), 1432u);
    EXPECT_EQ(U32At(out, 8), 1000000u);
    EXPECT_EQ(out[28 + 1431], 0x5A);
    EXPECT_EQ(out[28 + 1432], 0);
    EXPECT_EQ(kCommunicationSectorOffset, 256000u);
}

TEST(SectorFrameLayout, DecodeReadsFieldsAndWholePayloadArea) {
    TSectorBytes in{};
    in[0] = 0x98;
    in[1] = 0x3A; // 15000
    in[4] = 0x4C; // 76
    in[8] = 0x01;
    in[12] = 0x11;
    in[27] = 0x22;
    in[28] = 0x33;
    in[kSectorFrameSize - 1] = 0x44;
    const TSectorFrame f = TSectorFrame::Decode(in);
    EXPECT_EQ(f.FrameType, 15000u);
    EXPECT_EQ(f.PayloadLength, 76u);
    EXPECT_EQ(f.Timeout, 1u);
    EXPECT_EQ(f.Digest[0], 0x11);
    EXPECT_EQ(f.Digest[15], 0x22);
    EXPECT_EQ(f.Payload[0], 0x33);
    EXPECT_EQ(f.Payload[kFrameMaxPayload - 1], 0x44);
}

TEST(SectorFrameLayout, EncodeBoundsAnOversizedLength) {
    TSectorFrame f;
    f.PayloadLength = 0xFFFFFFFF;
    f.Payload.fill(0x77);
    TSectorBytes out{};
    f.Encode(out);
    EXPECT_EQ(U32At(out, 4), 0xFFFFFFFFu);
    EXPECT_EQ(out[kSectorFrameSize - 1], 0x77);
}

std::vector<uint8_t> InquiryWith(std::string_view vendorProductRevision) {
    std::vector<uint8_t> data(96, 0);
    data[0] = 0x00; // direct-access device
    for (size_t i = 0; i < vendorProductRevision.size() && 8 + i < data.size(); ++i)
        data[8 + i] = static_cast<uint8_t>(vendorProductRevision[i]);
    return data;
}

TEST(InquiryIdentity, OnlyTheExactPaddedTextMatches) {
    struct Case {
        std::string_view text;
        bool match;
    };
    const Case cases[] = {
        {"QRB     QRB-730         0313", true},
        {"QRB    QRB-730          0313", false}, // vendor padded to 7
        {"QRB     QRB-730         0314", false},
        {"qrb     QRB-730         0313", false},
        {"QRB     QRB-730", false},
        {"", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsQRB730Identity(InquiryWith(c.text)), c.match) << c.text;
}

TEST(InquiryIdentity, TextStopsAtZeroAndAtByte35) {
    auto data = InquiryWith("QRB     QRB-730         0313");
    data[36] = 'X'; // beyond the revision field
    EXPECT_EQ(InquiryIdentityText(data), "QRB     QRB-730         0313");
    data[11] = 0;
    EXPECT_EQ(InquiryIdentityText(data), "QRB");
    EXPECT_FALSE(IsQRB730Identity(data));
}

TEST(InquiryIdentity, ShortDataGivesShortText) {
    auto data = InquiryWith("QRB     QRB-730         0313");
    data.resize(20);
    EXPECT_EQ(InquiryIdentityText(data), "QRB     QRB-");
    data.resize(5);
    EXPECT_EQ(InquiryIdentityText(data), "");
    EXPECT_FALSE(IsQRB730Identity(data));
}

} // namespace
} // namespace qrb::device
