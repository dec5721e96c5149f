#include "device/Records.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <vector>

using namespace qrb::device;

namespace {

// Stores the low bytes of v into a field of any codec type, and reads them back.
template <class F> void SetRaw(F& field, uint64_t v) {
    if constexpr (std::is_same_v<F, float>)
        field = std::bit_cast<float>(static_cast<uint32_t>(v));
    else
        field = static_cast<F>(v);
}
template <class F> uint64_t GetRaw(const F& field) {
    if constexpr (std::is_same_v<F, float>)
        return std::bit_cast<uint32_t>(field);
    else if constexpr (std::is_same_v<F, char>)
        return static_cast<uint8_t>(field);
    else
        return static_cast<uint64_t>(static_cast<std::make_unsigned_t<F>>(field));
}

struct TFieldCase {
    const char* Name;
    size_t RecordSize;
    size_t Offset;
    size_t Width;
    // Encode a zero record with the field set to v; decode bytes and read the field.
    std::function<std::vector<uint8_t>(uint64_t)> EncodeWith;
    std::function<bool(const std::vector<uint8_t>&, uint64_t&)> DecodeField;
};

template <class T, class Get> TFieldCase Field(const char* name, size_t offset, size_t width, Get get) {
    return TFieldCase{name,
                      T::Size,
                      offset,
                      width,
                      [get](uint64_t v) {
                          T r{};
                          SetRaw(get(r), v);
                          std::vector<uint8_t> bytes(T::Size);
                          r.Encode(bytes.data());
                          return bytes;
                      },
                      [get](const std::vector<uint8_t>& bytes, uint64_t& v) {
                          T r{};
                          if (!T::Decode(bytes.data(), bytes.size(), r)) return false;
                          v = GetRaw(get(r));
                          return true;
                      }};
}

#define FIELD(T, expr, offset, width)                                                                        \
    Field<T>(                                                                                                \
        #T "." #expr, offset, width, [](T & r) -> auto& { return r.expr; })

std::vector<TFieldCase> FieldCases() {
    return {
        FIELD(TRegisterImage, Words[0], 0, 2),
        FIELD(TRegisterImage, Words[8], 16, 2),

        FIELD(TChannelImage, Image.Words[0], 0, 2),
        FIELD(TChannelImage, Image.Words[8], 16, 2),
        FIELD(TChannelImage, Spare, 18, 1),
        FIELD(TChannelImage, ADC8LowVal, 19, 1),

        FIELD(TDeviceInfo, Error, 0, 1),
        FIELD(TDeviceInfo, Parts, 1, 1),
        FIELD(TDeviceInfo, Status, 2, 1),
        FIELD(TDeviceInfo, AvailableChannels, 3, 1),
        FIELD(TDeviceInfo, ActiveChannels, 4, 1),
        FIELD(TDeviceInfo, State, 5, 1),
        FIELD(TDeviceInfo, Reserved6[0], 6, 1),
        FIELD(TDeviceInfo, Reserved6[1], 7, 1),
        FIELD(TDeviceInfo, FanRpm, 8, 2),
        FIELD(TDeviceInfo, Reserved10[1], 11, 1),
        FIELD(TDeviceInfo, ClockHz, 12, 4),
        FIELD(TDeviceInfo, Supply12V, 16, 4),
        FIELD(TDeviceInfo, Tst, 20, 4),
        FIELD(TDeviceInfo, Supply5V, 24, 4),
        FIELD(TDeviceInfo, LockState, 28, 4),

        FIELD(TChannelInfo, Version, 0, 1),
        FIELD(TChannelInfo, Reserved1[0], 1, 1),
        FIELD(TChannelInfo, Reserved1[6], 7, 1),
        FIELD(TChannelInfo, ADC8StatVal, 8, 1),
        FIELD(TChannelInfo, ADC8LowVal, 9, 1),
        FIELD(TChannelInfo, Serial, 10, 2),
        FIELD(TChannelInfo, Features, 12, 1),
        FIELD(TChannelInfo, Reserved13[0], 13, 1),
        FIELD(TChannelInfo, Defaults.Words[0], 14, 2),
        FIELD(TChannelInfo, Defaults.Words[8], 30, 2),
        FIELD(TChannelInfo, Stored.Words[0], 32, 2),
        FIELD(TChannelInfo, Stored.Words[8], 48, 2),
        FIELD(TChannelInfo, MaskI[0], 50, 2),
        FIELD(TChannelInfo, MaskI[6], 62, 2),
        FIELD(TChannelInfo, MaskO[0], 64, 2),
        FIELD(TChannelInfo, MaskIO[0], 78, 2),
        FIELD(TChannelInfo, MaskP[0], 92, 2),
        FIELD(TChannelInfo, MaskDirty[0], 106, 2),
        FIELD(TChannelInfo, MaskDirty[6], 118, 2),
        FIELD(TChannelInfo, FilterType, 120, 1),
        FIELD(TChannelInfo, Reserved121[2], 123, 1),

        FIELD(TChannelInfoSlot, Present, 0, 1),
        FIELD(TChannelInfoSlot, Fitted, 1, 1),
        FIELD(TChannelInfoSlot, ADC8Status, 2, 1),
        FIELD(TChannelInfoSlot, ADC8LowVal, 3, 1),
        FIELD(TChannelInfoSlot, SlotFlag, 4, 1),
        FIELD(TChannelInfoSlot, HasADC18, 5, 1),
        FIELD(TChannelInfoSlot, Current.Words[0], 6, 2),
        FIELD(TChannelInfoSlot, Current.Words[8], 22, 2),
        FIELD(TChannelInfoSlot, HasCalibTable, 24, 1),
        FIELD(TChannelInfoSlot, Reserved25[2], 27, 1),
        FIELD(TChannelInfoSlot, Info.Version, 28, 1),
        FIELD(TChannelInfoSlot, Info.Serial, 38, 2),
        FIELD(TChannelInfoSlot, Info.Reserved121[2], 151, 1),

        FIELD(TChannelInfoBlock, Slots[0].Present, 0, 1),
        FIELD(TChannelInfoBlock, Slots[1].Present, 152, 1),
        FIELD(TChannelInfoBlock, Slots[7].Info.Serial, 7 * 152 + 38, 2),
        FIELD(TChannelInfoBlock, Slots[7].Info.Reserved121[2], 1215, 1),

        FIELD(TDCDCEntry, Present, 0, 1),
        FIELD(TDCDCEntry, Series, 1, 2),
        FIELD(TDCDCEntry, Serial, 3, 2),
        FIELD(TDCDCEntry, Reserved5[0], 5, 1),
        FIELD(TDCDCEntry, Reserved5[2], 7, 1),

        FIELD(TDCDCInfo, Entries[0].Series, 1, 2),
        FIELD(TDCDCInfo, Entries[1].Present, 8, 1),
        FIELD(TDCDCInfo, Entries[7].Serial, 59, 2),
        FIELD(TDCDCInfo, Entries[7].Reserved5[2], 63, 1),

        FIELD(TDeviceADC8, Status[0], 0, 1),
        FIELD(TDeviceADC8, Status[7], 7, 1),

        FIELD(TIRQMessage, Magic, 0, 4),
        FIELD(TIRQMessage, IRQWord, 4, 2),
        FIELD(TIRQMessage, ChannelStatus[0], 6, 1),
        FIELD(TIRQMessage, ChannelStatus[7], 13, 1),
        FIELD(TIRQMessage, Reserved14[1], 15, 1),

        FIELD(TFWVersion, Components[0], 0, 4),
        FIELD(TFWVersion, Components[3], 12, 4),

        FIELD(TMasterFlash, Magic[0], 0, 1),
        FIELD(TMasterFlash, Magic[15], 15, 1),
        FIELD(TMasterFlash, Reserved16[1], 17, 1),
        FIELD(TMasterFlash, HardwareSeries, 18, 4),
        FIELD(TMasterFlash, HardwareSerial, 22, 4),
        FIELD(TMasterFlash, BackboneSeries, 26, 4),
        FIELD(TMasterFlash, BackboneSerial, 30, 4),
        FIELD(TMasterFlash, ControlledDate.Day, 34, 1),
        FIELD(TMasterFlash, ControlledDate.Month, 35, 1),
        FIELD(TMasterFlash, ControlledDate.Year, 36, 2),
        FIELD(TMasterFlash, MastertestDate.Day, 38, 1),
        FIELD(TMasterFlash, CalibrationDate.Year, 44, 2),
        FIELD(TMasterFlash, Reserved46[0], 46, 1),
        FIELD(TMasterFlash, Reserved46[5], 51, 1),
        FIELD(TMasterFlash, HWStartLock, 52, 4),
        FIELD(TMasterFlash, DeviceSeries, 56, 4),
        FIELD(TMasterFlash, DeviceSerial, 60, 4),
        FIELD(TMasterFlash, Reserved64[3], 67, 1),

        FIELD(TChannelCalibTable, CalibSource[0], 0, 1),
        FIELD(TChannelCalibTable, CalibSource[9], 9, 1),
        FIELD(TChannelCalibTable, AdjustMarker, 10, 1),
        FIELD(TChannelCalibTable, CalibDate.Length, 11, 1),
        FIELD(TChannelCalibTable, CalibDate.Chars[0], 12, 1),
        FIELD(TChannelCalibTable, CalibDate.Chars[9], 21, 1),
        FIELD(TChannelCalibTable, ZeroOffsets[0][0][0], 22, 2),
        FIELD(TChannelCalibTable, ZeroOffsets[0][0][1], 24, 2),
        FIELD(TChannelCalibTable, ZeroOffsets[0][1][0], 26, 2),
        FIELD(TChannelCalibTable, ZeroOffsets[1][0][0], 22 + 26 * 4, 2),
        FIELD(TChannelCalibTable, ZeroOffsets[6][25][1], 748, 2),
        FIELD(TChannelCalibTable, RangeFactors[0], 750, 4),
        FIELD(TChannelCalibTable, RangeFactors[25], 850, 4),
        FIELD(TChannelCalibTable, CapacityFactors[0], 854, 4),
        FIELD(TChannelCalibTable, CapacityFactors[1], 858, 4),
        FIELD(TChannelCalibTable, Reserved862[0], 862, 1),
        FIELD(TChannelCalibTable, Reserved862[3], 865, 1),
    };
}

} // namespace

TEST(Records, SizesAreTheWireSizes) {
    EXPECT_EQ(TRegisterImage::Size, 18u);
    EXPECT_EQ(TChannelImage::Size, 20u);
    EXPECT_EQ(TDeviceInfo::Size, 32u);
    EXPECT_EQ(TChannelInfo::Size, 124u);
    EXPECT_EQ(TChannelInfoSlot::Size, 152u);
    EXPECT_EQ(TChannelInfoBlock::Size, 1216u);
    EXPECT_EQ(TDCDCEntry::Size, 8u);
    EXPECT_EQ(TDCDCInfo::Size, 64u);
    EXPECT_EQ(TDeviceADC8::Size, 8u);
    EXPECT_EQ(TIRQMessage::Size, 16u);
    EXPECT_EQ(TFWVersion::Size, 16u);
    EXPECT_EQ(TFlashDate::Size, 4u);
    EXPECT_EQ(TMasterFlash::Size, 68u);
    EXPECT_EQ(TChannelCalibTable::Size, 866u);
}

// Each field lands at its offset, little-endian, and nowhere else; and is read back from there.
TEST(Records, FieldOffsets) {
    const uint8_t pattern[4] = {0xA1, 0xB2, 0xC3, 0x74};
    for (const TFieldCase& c : FieldCases()) {
        SCOPED_TRACE(c.Name);
        uint64_t v = 0;
        for (size_t i = 0; i < c.Width; ++i)
            v |= static_cast<uint64_t>(pattern[i]) << (8 * i);

        std::vector<uint8_t> expected(c.RecordSize, 0);
        ASSERT_LE(c.Offset + c.Width, c.RecordSize);
        std::memcpy(expected.data() + c.Offset, pattern, c.Width);
        EXPECT_EQ(c.EncodeWith(v), expected);

        uint64_t got = 0;
        ASSERT_TRUE(c.DecodeField(expected, got));
        EXPECT_EQ(got, v);
    }
}

// Unaligned words: a reader that aligns them to even offsets reads wrong values.
TEST(Records, DCDCEntryWordsAtOddOffsets) {
    const uint8_t bytes[8] = {1, 0x34, 0x12, 0x78, 0x56, 0xEE, 0xEE, 0xEE};
    TDCDCEntry e;
    ASSERT_TRUE(TDCDCEntry::Decode(bytes, sizeof bytes, e));
    EXPECT_EQ(e.Present, 1);
    EXPECT_EQ(e.Series, 0x1234);
    EXPECT_EQ(e.Serial, 0x5678);
}

template <class T> class RecordCodec : public ::testing::Test {};
using RecordTypes = ::testing::Types<TRegisterImage, TChannelImage, TDeviceInfo, TChannelInfo,
                                     TChannelInfoSlot, TChannelInfoBlock, TDCDCEntry, TDCDCInfo, TDeviceADC8,
                                     TIRQMessage, TFWVersion, TFlashDate, TMasterFlash, TChannelCalibTable>;
TYPED_TEST_SUITE(RecordCodec, RecordTypes);

// Every byte, reserved ones included, survives decode and encode; a buffer longer than the
// record is read only for Size bytes and the encoder writes exactly Size bytes.
TYPED_TEST(RecordCodec, RoundTripsByteForByte) {
    using T = TypeParam;
    std::mt19937 rng(static_cast<unsigned>(T::Size));
    for (int round = 0; round < 20; ++round) {
        std::vector<uint8_t> in(T::Size + 3);
        for (auto& b : in)
            b = static_cast<uint8_t>(rng());
        T r;
        ASSERT_TRUE(T::Decode(in.data(), in.size(), r));
        std::vector<uint8_t> out(T::Size + 3, 0x5A);
        r.Encode(out.data());
        EXPECT_TRUE(std::equal(in.begin(), in.begin() + T::Size, out.begin()));
        EXPECT_EQ(out[T::Size], 0x5A) << "encoder wrote past Size";
        EXPECT_EQ(ToBytes(r).size(), T::Size);
    }
}

// A short input is refused, the record keeps its value, and the decoder reads only what it got
// (the heap block has exactly len bytes, so the sanitizer build catches a read past it).
TYPED_TEST(RecordCodec, ShortInputIsRefusedAndLeavesRecordUntouched) {
    using T = TypeParam;
    std::vector<uint8_t> seed(T::Size);
    for (size_t i = 0; i < seed.size(); ++i)
        seed[i] = static_cast<uint8_t>(i * 7 + 1);
    T r;
    ASSERT_TRUE(T::Decode(seed.data(), seed.size(), r));
    const T before = r;
    for (size_t len : {size_t{0}, size_t{1}, T::Size / 2, T::Size - 1}) {
        SCOPED_TRACE(len);
        auto block = std::make_unique<uint8_t[]>(len == 0 ? 1 : len);
        std::memset(block.get(), 0xFF, len);
        EXPECT_FALSE(T::Decode(block.get(), len, r));
        EXPECT_TRUE(ToBytes(r) == ToBytes(before));
    }
    EXPECT_FALSE(T::Decode(nullptr, 0, r));
    auto exact = std::make_unique<uint8_t[]>(T::Size);
    std::memcpy(exact.get(), seed.data(), T::Size);
    EXPECT_TRUE(T::Decode(exact.get(), T::Size, r));
}

TEST(Records, ShortStringClampsLengthButKeepsBytes) {
    std::vector<uint8_t> bytes(TChannelCalibTable::Size, 0);
    bytes[11] = 200; // length byte beyond the 10-character field
    std::memcpy(bytes.data() + 12, "2024-01-31", 10);
    TChannelCalibTable t;
    ASSERT_TRUE(TChannelCalibTable::Decode(bytes.data(), bytes.size(), t));
    EXPECT_EQ(t.CalibDate.Text(), "2024-01-31");
    EXPECT_EQ(ToBytes(t)[11], 200); // written back as read

    bytes[11] = 4;
    ASSERT_TRUE(TChannelCalibTable::Decode(bytes.data(), bytes.size(), t));
    EXPECT_EQ(t.CalibDate.Text(), "2024");

    t.CalibDate.SetText("2025-12-24 and more");
    EXPECT_EQ(t.CalibDate.Length, 10);
    EXPECT_EQ(t.CalibDate.Text(), "2025-12-24");
    t.CalibDate.SetText("x");
    EXPECT_EQ(t.CalibDate.Text(), "x");
    EXPECT_EQ(t.CalibDate.Chars[1], 0);
}

TEST(Records, CalibTableUsableTest) {
    struct TCase {
        const char* Source; // up to 10 bytes, rest NUL
        size_t SourceLen;
        uint8_t Marker;
        bool Usable;
    };
    const TCase cases[] = {
        {"QRBCAL730", 9, 174, true},    {"QRBCAL730", 9, 8, false}, // default table marker
        {"QRBCAL730X", 10, 174, false},                             // no NUL after the nine characters
        {"QRBCAL73", 8, 174, false},    {"qrbcal730", 9, 174, false}, {"", 0, 174, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Source);
        TChannelCalibTable t;
        std::memcpy(t.CalibSource.data(), c.Source, c.SourceLen);
        t.AdjustMarker = c.Marker;
        EXPECT_EQ(t.IsUsable(), c.Usable);
    }
    TChannelCalibTable t;
    t.SetSource("QRBCAL730");
    t.AdjustMarker = 174;
    EXPECT_TRUE(t.IsUsable());
    EXPECT_EQ(t.Source(), "QRBCAL730");
    t.SetSource("ABCDEFGHIJKL");
    EXPECT_EQ(t.Source(), "ABCDEFGHIJ");
}

TEST(Records, MasterFlashMagic) {
    TMasterFlash f;
    EXPECT_FALSE(f.IsMagicValid());
    f.SetMagic();
    EXPECT_TRUE(f.IsMagicValid());
    EXPECT_EQ(std::memcmp(ToBytes(f).data(), "QRB24_ONDRIX_V20", 16), 0);
    f.Magic[15] = '1';
    EXPECT_FALSE(f.IsMagicValid());
}

TEST(Records, DeviceInfoLockedOnlyWhenExactlyOne) {
    TDeviceInfo i;
    i.LockState = 1;
    EXPECT_TRUE(i.IsLocked());
    i.LockState = 2;
    EXPECT_FALSE(i.IsLocked());
    i.LockState = 0x101;
    EXPECT_FALSE(i.IsLocked());
}
