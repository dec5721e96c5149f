#include "device/sim/SimChips.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

using namespace qrb::device;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReadN(TSimChip& chip, size_t n, uint8_t fill = 0) {
    Bytes out(n, fill);
    chip.Read(out);
    return out;
}

std::array<uint8_t, 9> Registers(const TSimIOExpander& e) {
    std::array<uint8_t, 9> r{};
    for (uint8_t i = 0; i < 9; ++i)
        r[i] = e.Register(static_cast<TSimIOExpander::Reg>(i));
    return r;
}

} // namespace

// --- hex text ---

TEST(SimHexText, ConvertsPairsAndIgnoresAnOddLastDigit) {
    EXPECT_EQ(ParseHexText("0700"), (Bytes{0x07, 0x00}));
    EXPECT_EQ(ParseHexText("aBcD1"), (Bytes{0xAB, 0xCD}));
    EXPECT_EQ(ParseHexText("F"), Bytes{});
    EXPECT_EQ(ParseHexText(""), Bytes{});
}

TEST(SimHexText, RefusesAPairThatIsNotHexadecimal) {
    for (const char* text : {"0G", "12 4", "+1", "1x00", "-1"})
        EXPECT_FALSE(ParseHexText(text)) << text;
    // A bad digit in an ignored odd last position does not count.
    EXPECT_EQ(ParseHexText("12Z"), Bytes{0x12});
}

TEST(SimHexText, CutsAtTheWriteBuffer) {
    std::string text(2 * kSimWriteBufferSize, '5');
    text += "ZZ"; // beyond the cut, never converted
    auto bytes = ParseHexText(text);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(bytes->size(), kSimWriteBufferSize);
    EXPECT_EQ(bytes->back(), 0x55);
}

TEST(SimHexText, ABadTextWritesNothing) {
    TSimIOExpander e;
    EXPECT_TRUE(e.WriteHex("021234"));
    EXPECT_FALSE(e.WriteHex("02AAQQ"));
    EXPECT_EQ(e.Register(TSimIOExpander::rOutput1), 0x12);
    EXPECT_EQ(e.Register(TSimIOExpander::rOutput2), 0x34);
}

TEST(SimWriteBuffer, MissingBytesReadAsZeroAndLongWritesAreCut) {
    Bytes big(kSimWriteBufferSize + 10, 0xAA);
    TSimWriteBuffer b(big);
    EXPECT_EQ(b.Len(), kSimWriteBufferSize);
    EXPECT_EQ(b[kSimWriteBufferSize - 1], 0xAA);
    EXPECT_EQ(b[kSimWriteBufferSize], 0);
    const uint8_t one[1] = {7};
    TSimWriteBuffer s(one);
    EXPECT_EQ(s.Len(), 1u);
    EXPECT_EQ(s[0], 7);
    EXPECT_EQ(s[1], 0);
}

// --- I/O expander ---

struct ExpanderCase {
    const char* Name;
    Bytes Write;
    // input1, input2, output1, output2, polarity1, polarity2, config1, config2, timeout
    std::array<uint8_t, 9> Expected;
};

void PrintTo(const ExpanderCase& c, std::ostream* os) {
    *os << c.Name;
}

class SimIOExpanderWrite : public testing::TestWithParam<ExpanderCase> {};

TEST_P(SimIOExpanderWrite, StoresRegisterAndPartner) {
    TSimIOExpander e;
    e.Write(GetParam().Write);
    EXPECT_EQ(Registers(e), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Registers, SimIOExpanderWrite,
    testing::Values(ExpanderCase{"Output1Pair", {2, 0x12, 0x34}, {0x12, 0x34, 0x12, 0x34, 0, 0, 0, 0, 0}},
                    ExpanderCase{"Output2Pair", {3, 0x12, 0x34}, {0x34, 0x12, 0x34, 0x12, 0, 0, 0, 0, 0}},
                    ExpanderCase{"Output2Single", {3, 0x56}, {0, 0x56, 0, 0x56, 0, 0, 0, 0, 0}},
                    ExpanderCase{"Polarity1Pair", {4, 1, 2}, {0, 0, 0, 0, 1, 2, 0, 0, 0}},
                    ExpanderCase{"Polarity2Pair", {5, 1, 2}, {0, 0, 0, 0, 2, 1, 0, 0, 0}},
                    ExpanderCase{"Config1Pair", {6, 1, 2}, {0, 0, 0, 0, 0, 0, 1, 2, 0}},
                    ExpanderCase{"Config2Pair", {7, 1, 2}, {0, 0, 0, 0, 0, 0, 2, 1, 0}},
                    ExpanderCase{"TimeoutHasNoPartner", {8, 9, 7}, {0, 0, 0, 0, 0, 0, 0, 0, 9}},
                    ExpanderCase{"InputsAreNotWritable", {0, 0x55, 0x66}, {0, 0, 0, 0, 0, 0, 0, 0, 0}},
                    ExpanderCase{"Input2NotWritable", {1, 0x55, 0x66}, {0, 0, 0, 0, 0, 0, 0, 0, 0}},
                    ExpanderCase{"RegisterAbove8", {9, 0x55, 0x66}, {0, 0, 0, 0, 0, 0, 0, 0, 0}}),
    [](const auto& info) { return info.param.Name; });

TEST(SimIOExpander, ReadsInputsXorConfigurationPortTwoFirst) {
    TSimIOExpander e;
    e.Write(Bytes{2, 0x12, 0x34});
    EXPECT_EQ(ReadN(e, 2), (Bytes{0x34, 0x12}));
    e.Write(Bytes{6, 0x0F, 0xF0});
    EXPECT_EQ(ReadN(e, 2), (Bytes{0x34 ^ 0xF0, 0x12 ^ 0x0F}));
    // Whatever register was named before.
    e.Write(Bytes{8});
    EXPECT_EQ(ReadN(e, 2), (Bytes{0x34 ^ 0xF0, 0x12 ^ 0x0F}));
}

TEST(SimIOExpander, RegisterByteAloneStoresZeroAndLeavesThePair) {
    TSimIOExpander e;
    e.Write(Bytes{2, 0x12, 0x34});
    e.Write(Bytes{2});
    EXPECT_EQ(e.Register(TSimIOExpander::rOutput1), 0);
    EXPECT_EQ(e.Register(TSimIOExpander::rOutput2), 0x34);
    EXPECT_EQ(e.Register(TSimIOExpander::rInput1), 0);
    EXPECT_EQ(e.Register(TSimIOExpander::rInput2), 0x34);
}

TEST(SimIOExpander, ReadDeliversAtMostWhatIsAsked) {
    TSimIOExpander e;
    e.Write(Bytes{2, 0x12, 0x34});
    Bytes one(1);
    EXPECT_EQ(e.Read(one), 1u);
    EXPECT_EQ(one[0], 0x34);
    Bytes four(4, 0xEE);
    EXPECT_EQ(e.Read(four), 2u);
    EXPECT_EQ(four, (Bytes{0x34, 0x12, 0xEE, 0xEE}));
}

// --- DAC ---

TEST(SimDAC, CommandsWriteAndSelectValues) {
    TSimDAC d;
    Bytes buf(2);
    EXPECT_EQ(d.Read(buf), 0u); // nothing selected
    d.Write(Bytes{0x03, 0x45, 0x67});
    EXPECT_EQ(d.DACA(), 0x567);
    d.Write(Bytes{0x03, 0x5A, 0xBC});
    EXPECT_EQ(d.DACB(), 0xABC);
    d.Write(Bytes{0x03, 0x20, 0x00});
    EXPECT_EQ(d.DACSelect(), 1);
    EXPECT_EQ(ReadN(d, 2), (Bytes{0x05, 0x67}));
    d.Write(Bytes{0x03, 0x30, 0x00});
    EXPECT_EQ(d.DACSelect(), 2);
    EXPECT_EQ(ReadN(d, 2), (Bytes{0x0A, 0xBC}));
    EXPECT_EQ(ReadN(d, 1), (Bytes{0x0A}));
}

TEST(SimDAC, OnlyRegisterThreeAndKnownCommandsCount) {
    TSimDAC d;
    d.Write(Bytes{0x02, 0x45, 0x67}); // another expander register
    d.Write(Bytes{0x03, 0x65, 0x67}); // unknown command
    d.Write(Bytes{0x03, 0x10, 0x00});
    EXPECT_EQ(d.DACA(), 0);
    EXPECT_EQ(d.DACB(), 0);
    EXPECT_EQ(d.DACSelect(), 0);
}

TEST(SimDAC, ShortWriteSetsMissingValueBitsToZero) {
    TSimDAC d;
    d.Write(Bytes{0x03, 0x4F, 0xFF});
    d.Write(Bytes{0x03, 0x43});
    EXPECT_EQ(d.DACA(), 0x300);
}

// --- flashes ---

TEST(SimMasterFlash, ReadAdvancesThePointer) {
    TI2CVirtualMaster m("Sim", 8, 3, 0);
    TSimChip& f = m.MasterFlash();
    f.Write(Bytes{0x00, 0x10, 0xAA, 0xBB});
    EXPECT_EQ(m.FlashPointer(), 0x0010);
    f.Write(Bytes{0x00, 0x10});
    EXPECT_EQ(ReadN(f, 1), Bytes{0xAA});
    EXPECT_EQ(ReadN(f, 1), Bytes{0xBB});
    EXPECT_EQ(m.FlashPointer(), 0x0012);
}

TEST(SimMasterFlash, AddressesWrapAtTheEnd) {
    TI2CVirtualMaster m("Sim", 8, 3, 0);
    TSimChip& f = m.MasterFlash();
    f.Write(Bytes{0xFF, 0xFE, 1, 2, 3, 4});
    EXPECT_EQ(m.Flash()[0xFFFE], 1);
    EXPECT_EQ(m.Flash()[0xFFFF], 2);
    EXPECT_EQ(m.Flash()[0x0000], 3);
    EXPECT_EQ(m.Flash()[0x0001], 4);
    EXPECT_EQ(m.Flash().size(), kSimFlashSize);
    f.Write(Bytes{0xFF, 0xFF});
    EXPECT_EQ(ReadN(f, 3), (Bytes{2, 3, 4}));
    EXPECT_EQ(m.FlashPointer(), 0x0002);
}

TEST(SimMasterFlash, ShortWriteSetsMissingAddressBytesToZero) {
    TI2CVirtualMaster m("Sim", 8, 3, 0);
    m.MasterFlash().Write(Bytes{0x12, 0x34});
    m.MasterFlash().Write(Bytes{0x56});
    EXPECT_EQ(m.FlashPointer(), 0x5600);
    m.MasterFlash().Write(Bytes{});
    EXPECT_EQ(m.FlashPointer(), 0);
}

TEST(SimChannelFlash, HalvesShareOnePointerThatReadsDoNotMove) {
    TI2CVirtualChannel c("Sim_channel_00", 0, 0);
    TSimChip& low = *c.Chip(0x56);
    TSimChip& high = *c.Chip(0x57);
    low.Write(Bytes{0x00, 0x10, 0xAA, 0xBB});
    high.Write(Bytes{0x00, 0x10, 0xCC});
    EXPECT_EQ(c.Flash()[0x10], 0xAA);
    EXPECT_EQ(c.Flash()[kSimFlashSize + 0x10], 0xCC);
    low.Write(Bytes{0x00, 0x10});
    EXPECT_EQ(ReadN(low, 1), Bytes{0xAA});
    EXPECT_EQ(ReadN(low, 1), Bytes{0xAA});
    // The pointer set through 0x56 is the one 0x57 reads from.
    EXPECT_EQ(ReadN(high, 1), Bytes{0xCC});
    EXPECT_EQ(c.FlashPointer(), 0x10);
}

TEST(SimChannelFlash, EachHalfWrapsWithinItself) {
    TI2CVirtualChannel c("Sim_channel_00", 0, 0);
    c.Chip(0x56)->Write(Bytes{0xFF, 0xFF, 1, 2});
    EXPECT_EQ(c.Flash()[0xFFFF], 1);
    EXPECT_EQ(c.Flash()[0], 2);
    EXPECT_EQ(c.Flash()[kSimFlashSize], 0); // the upper half is untouched
    c.Chip(0x57)->Write(Bytes{0xFF, 0xFF, 3, 4});
    EXPECT_EQ(c.Flash()[2 * kSimFlashSize - 1], 3);
    EXPECT_EQ(c.Flash()[kSimFlashSize], 4);
    EXPECT_EQ(ReadN(*c.Chip(0x57), 2), (Bytes{3, 4}));
}

TEST(SimChannelFlash, WriteIsCutAtTheWriteBuffer) {
    TI2CVirtualChannel c("Sim_channel_00", 0, 0);
    Bytes w(kSimWriteBufferSize + 8, 0x77);
    w[0] = 0;
    w[1] = 0;
    c.Chip(0x56)->Write(w);
    EXPECT_EQ(c.Flash()[kSimWriteBufferSize - 3], 0x77);
    EXPECT_EQ(c.Flash()[kSimWriteBufferSize - 2], 0);
}

// --- DS1094L and MAX6650 ---

struct RegisterCase {
    uint8_t Number;
    uint8_t Initial;
};

TEST(SimRegisterChips, StartFromTheirCreationValues) {
    TI2CVirtualChannelGroup g("Sim_channelgroup_00", 0, 0);
    for (auto [n, v] : {RegisterCase{2, 205}, RegisterCase{8, 240}, RegisterCase{13, 240}}) {
        EXPECT_EQ(g.Regulator().Register(n), v) << int(n);
        g.Regulator().Write(Bytes{n});
        EXPECT_EQ(ReadN(g.Regulator(), 1), Bytes{v}) << int(n);
    }
    for (auto [n, v] : {RegisterCase{0x00, 0}, RegisterCase{0x02, 10}, RegisterCase{0x04, 255},
                        RegisterCase{0x06, 0}, RegisterCase{0x08, 0}, RegisterCase{0x0A, 0},
                        RegisterCase{0x0C, 0}, RegisterCase{0x14, 31}, RegisterCase{0x16, 2}}) {
        g.Fan().Write(Bytes{n});
        EXPECT_EQ(ReadN(g.Fan(), 1, 0xEE), Bytes{v}) << int(n);
    }
    TI2CVirtualChannelGroup fresh("g", 0, 0);
    EXPECT_EQ(fresh.Regulator().Pointer(), 2);
    EXPECT_EQ(fresh.Fan().Pointer(), 2);
    EXPECT_EQ(ReadN(fresh.Fan(), 1), Bytes{10});
}

TEST(SimRegisterChips, FanControllerPointerByteThenRead) {
    TI2CVirtualChannelGroup g("g", 0, 0);
    g.Fan().Write(Bytes{0x02});
    EXPECT_EQ(ReadN(g.Fan(), 1), Bytes{10});
    g.Fan().Write(Bytes{0x00, 0x44});
    EXPECT_EQ(ReadN(g.Fan(), 1), Bytes{0x44});
    EXPECT_EQ(g.Fan().Register(0x02), 10);
}

TEST(SimRegisterChips, UnknownRegisterMovesThePointerAndReadsNothing) {
    TI2CVirtualChannelGroup g("g", 0, 0);
    g.Regulator().Write(Bytes{3, 0x99});
    EXPECT_EQ(g.Regulator().Pointer(), 3);
    Bytes buf(1, 0);
    EXPECT_EQ(g.Regulator().Read(buf), 0u);
    EXPECT_EQ(buf[0], 0);
    g.Regulator().Write(Bytes{8, 0x12});
    EXPECT_EQ(g.Regulator().Register(8), 0x12);
    g.Fan().Write(Bytes{0x01, 0x55}); // not one of the nine
    EXPECT_EQ(g.Fan().Read(buf), 0u);
    EXPECT_EQ(g.Fan().Register(0x00), 0);
}

// --- chips by address ---

TEST(SimChipsByAddress, ChannelGroupAndDeviceAnswerTheirAddresses) {
    TI2CVirtualChannel c("c", 0, 9);
    EXPECT_EQ(c.Group(), 1);
    EXPECT_EQ(c.Slot(), 1);
    for (uint8_t a : {0x20, 0x21, 0x22, 0x25, 0x26, 0x2A, 0x2B, 0x2C}) {
        ASSERT_NE(c.Expander(a), nullptr) << int(a);
        EXPECT_EQ(c.Chip(a), c.Expander(a));
    }
    EXPECT_EQ(c.Chip(0x24), &c.DAC());
    EXPECT_EQ(c.Expander(0x24), nullptr);
    for (uint8_t a : {0x18, 0x23, 0x50, 0x51, 0x54, 0x58, 0x68, 0x1B})
        EXPECT_EQ(c.Chip(a), nullptr) << int(a);
    TI2CVirtualChannelGroup g("g", 0, 1);
    EXPECT_EQ(g.Chip(0x1B), &g.Fan());
    EXPECT_EQ(g.Chip(0x58), &g.Regulator());
    EXPECT_EQ(g.Chip(0x20), nullptr);
    // Each expander keeps its own registers.
    c.Chip(0x20)->Write(Bytes{2, 1, 2});
    EXPECT_EQ(c.Expander(0x2C)->Register(TSimIOExpander::rOutput1), 0);
}

TEST(SimVirtualMaster, AddressListByVersion) {
    EXPECT_EQ(TI2CVirtualMaster("a", 8, 1, 0).AddressList(),
              "24,32,33,34,37,42,36,43,44,35,84,81,86,87,88,112,113,114");
    for (int v : {2, 3})
        EXPECT_EQ(TI2CVirtualMaster("a", 8, v, 0).AddressList(),
                  "24,32,33,34,37,38,42,36,43,44,35,84,81,86,87,88,112,113,114,27,82,83,80,54");
}

TEST(SimVirtualMaster, CreationValuesAndImage) {
    TI2CVirtualMaster m("Sim", 12, 3, 2);
    EXPECT_EQ(m.Name(), "Sim");
    EXPECT_EQ(m.Channels(), 12);
    EXPECT_EQ(m.Version(), 3);
    EXPECT_EQ(m.Index(), 2);
    EXPECT_EQ(m.SCL, 200000);
    EXPECT_EQ(m.FanSpeed, 0);
    EXPECT_EQ(m.FlashPointer(), 0);
    // Written by hand from the layout: magic, then little-endian fields.
    const std::array<uint8_t, 68> expected = {
        'Q',  'R',  'B',  '2',  '4', '_', 'O',  'N',  'D', 'R', 'I',  'X',  '_', 'V', '2',  '0', // magic
        8,    0,                                                                                 // 16
        3,    0,    0,    0,                                                                     // 18
        0x10, 0xFF, 0,    0, // 22: 0xFF00 + 16
        3,    0,    0,    0, // 26
        0x10, 0xFF, 0,    0, // 30
        1,    1,    0xDA, 0x07, 1,   1,   0xDA, 0x07, 1,   1,   0xDA, 0x07, 1,   1,   0xDA, 0x07, // 34: dates
        10,   226,                                                                                // 50, 51
        0,    0,    0,    0,                                                                      // 52
        3,    0,    0,    0,                                                                      // 56
        0xE0, 0x03, 0,    0,                                                                      // 60: 992
        0,    0,    0,    0,                                                                      // 64
    };
    EXPECT_EQ(m.Image, expected);
}

// --- sequences ---

class SimSequence : public testing::Test {
protected:
    SimSequence() : channel_("c", 0, 0) {
        for (size_t i = 0; i < data_.size(); ++i)
            data_[i] = static_cast<uint8_t>(0x40 + i);
    }

    void Run(char id) {
        channel_.RunSequence(static_cast<uint8_t>(id), data_, answer_,
                             [this](int ms) { pauses_.push_back(ms); });
    }

    TSimIOExpander& E(size_t k) {
        static constexpr uint8_t kE[6] = {0x20, 0x21, 0x22, 0x25, 0x26, 0x2A};
        return *channel_.Expander(kE[k]);
    }

    void ExpectAddressPairs() {
        static constexpr uint8_t kE[6] = {0x20, 0x21, 0x22, 0x25, 0x26, 0x2A};
        for (size_t k = 0; k < 6; ++k)
            for (size_t base : {0, 12, 48}) {
                EXPECT_EQ(answer_[base + 2 * k], kE[k]) << base << " " << k;
                EXPECT_EQ(answer_[base + 2 * k + 1], 1) << base << " " << k;
            }
    }

    TI2CVirtualChannel channel_;
    std::array<uint8_t, kSimSequenceSize> data_{};
    std::array<uint8_t, kSimSequenceSize> answer_{};
    std::vector<int> pauses_;
};

TEST_F(SimSequence, CSetsOutputsThenConfigurations) {
    Run('C');
    for (size_t k = 0; k < 6; ++k) {
        EXPECT_EQ(E(k).Register(TSimIOExpander::rOutput2), data_[2 * k]);
        EXPECT_EQ(E(k).Register(TSimIOExpander::rOutput1), data_[2 * k + 1]);
        EXPECT_EQ(E(k).Register(TSimIOExpander::rConfig2), data_[12 + 2 * k]);
        EXPECT_EQ(E(k).Register(TSimIOExpander::rConfig1), data_[13 + 2 * k]);
    }
    EXPECT_EQ(channel_.Expander(0x2B)->Register(TSimIOExpander::rOutput1), 0);
    EXPECT_EQ(answer_, decltype(answer_){});
}

TEST_F(SimSequence, AReadsBackBeforeAndAfterTheSecondOutputs) {
    Run('A');
    ExpectAddressPairs();
    for (size_t k = 0; k < 6; ++k) {
        // Read back: (input2 ^ config2, input1 ^ config1) with the first outputs ...
        EXPECT_EQ(answer_[26 + 4 * k], data_[2 * k] ^ data_[12 + 2 * k]) << k;
        EXPECT_EQ(answer_[27 + 4 * k], data_[2 * k + 1] ^ data_[13 + 2 * k]) << k;
        EXPECT_EQ(answer_[28 + 4 * k], k == 5 ? 0x20 : 0) << k; // gaps stay zero (k = 5: the pair run at 48)
        // ... and with the outputs from D[24 + 2k].
        EXPECT_EQ(answer_[62 + 4 * k], data_[24 + 2 * k] ^ data_[12 + 2 * k]) << k;
        EXPECT_EQ(answer_[63 + 4 * k], data_[25 + 2 * k] ^ data_[13 + 2 * k]) << k;
        EXPECT_EQ(E(k).Register(TSimIOExpander::rOutput2), data_[24 + 2 * k]);
    }
    EXPECT_EQ(answer_[86], 0);
    EXPECT_TRUE(pauses_.empty());
}

TEST_F(SimSequence, BPausesReadsBackThenSetsConfigurations) {
    Run('B');
    ExpectAddressPairs();
    EXPECT_EQ(pauses_, (std::vector<int>{data_[36], data_[37]}));
    for (size_t k = 0; k < 6; ++k) {
        EXPECT_EQ(answer_[26 + 4 * k], data_[2 * k] ^ data_[12 + 2 * k]) << k;
        EXPECT_EQ(answer_[27 + 4 * k], data_[2 * k + 1] ^ data_[13 + 2 * k]) << k;
        EXPECT_EQ(E(k).Register(TSimIOExpander::rConfig2), data_[24 + 2 * k]);
        EXPECT_EQ(E(k).Register(TSimIOExpander::rConfig1), data_[25 + 2 * k]);
        EXPECT_EQ(E(k).Register(TSimIOExpander::rOutput2), data_[2 * k]);
    }
    EXPECT_EQ(answer_[62], 0);
}

TEST_F(SimSequence, DSetsBothDACValues) {
    data_[0] = 0xF5;
    data_[1] = 0x67;
    data_[16] = 0x3A;
    data_[17] = 0xBC;
    Run('D');
    EXPECT_EQ(channel_.DAC().DACA(), 0x567);
    EXPECT_EQ(channel_.DAC().DACB(), 0xABC);
    std::array<uint8_t, kSimSequenceSize> expected{};
    for (size_t i = 0; i < 14; i += 2)
        expected[i] = 0x24, expected[i + 1] = 1;
    expected[16] = 0x05;
    expected[17] = 0x67;
    for (size_t i = 18; i < 34; i += 2)
        expected[i] = 0x24, expected[i + 1] = 1;
    expected[36] = 0x0A;
    expected[37] = 0xBC;
    expected[38] = 0x24;
    expected[39] = 1;
    EXPECT_EQ(answer_, expected);
}

TEST_F(SimSequence, EFillsTheAnswerWithOnesAndOthersDoNothing) {
    Run('F');
    Run('a');
    EXPECT_EQ(answer_, decltype(answer_){});
    EXPECT_EQ(E(0).Register(TSimIOExpander::rOutput1), 0);
    Run('E');
    std::array<uint8_t, kSimSequenceSize> ones;
    ones.fill(1);
    EXPECT_EQ(answer_, ones);
}
