#include "model/RegisterTables.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>
#include <vector>

namespace qrb::model {
namespace {

// ---- Rows checked against the published table ----------------------------------------------

struct TRowCase {
    TSetting Setting;
    uint8_t Word;
    bool HasDecode;
    uint16_t Decode0, Decode1;
    bool HasAnd;
    uint16_t And0, And1;
    std::vector<uint16_t> Values0;
    std::vector<uint16_t> Values1;
};

class RegisterTableRows : public ::testing::TestWithParam<TRowCase> {};

TEST_P(RegisterTableRows, MatchTheTable) {
    const TRowCase& c = GetParam();
    const TSettingTable& t = SettingTable(c.Setting);
    SCOPED_TRACE(t.Name);
    EXPECT_EQ(t.Id, c.Setting);
    EXPECT_EQ(t.Word, c.Word);
    ASSERT_EQ(t.DecodeMask.Present, c.HasDecode);
    if (c.HasDecode) {
        EXPECT_EQ(t.DecodeMask.Mask[0], c.Decode0);
        EXPECT_EQ(t.DecodeMask.Mask[1], c.Decode1);
    }
    ASSERT_EQ(t.AndMask.Present, c.HasAnd);
    if (c.HasAnd) {
        EXPECT_EQ(t.AndMask.Mask[0], c.And0);
        EXPECT_EQ(t.AndMask.Mask[1], c.And1);
    }
    ASSERT_EQ(t.CodeCount, c.Values0.size());
    ASSERT_EQ(t.CodeCount, c.Values1.size());
    for (std::size_t i = 0; i < c.Values0.size(); ++i) {
        EXPECT_EQ(t.Values[0][i], c.Values0[i]) << "version 0 code " << i;
        EXPECT_EQ(t.Values[1][i], c.Values1[i]) << "version 1 code " << i;
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(HandPicked, RegisterTableRows, ::testing::Values(
    TRowCase{TSetting::PreDivider, 1, true, 0xFFFF, 0xFFFC, true, 0x0000, 0x0003,
             {0xAAAA, 0x9696, 0x59A6, 0x659A, 0x69AA, 0xA59A, 0xA9AA, 0x6559, 0x6969, 0xA559, 0xA969},
             {0xA9A8, 0x9594, 0x5AA4, 0x6698, 0x6AA8, 0xA698, 0xAAA8, 0x6658, 0x6A68, 0xA658, 0xAA68}},
    TRowCase{TSetting::OutputSelect, 2, false, 0, 0, true, 0xFFFF, 0xF3FF, {0x0000, 0x0000}, {0x0800, 0x0400}},
    TRowCase{TSetting::Gain, 2, true, 0x003F, 0x003F, true, 0xFFC0, 0xFFC0,
             {0x002A, 0x001A, 0x0026, 0x0016, 0x0005, 0x0009},
             {0x002A, 0x001A, 0x0026, 0x0016, 0x0025, 0x0029}},
    TRowCase{TSetting::Monitor, 2, true, 0x0080, 0x0300, true, 0xFF7F, 0xFCFF, {0x0000, 0x0080}, {0x0200, 0x0100}},
    TRowCase{TSetting::DMSShuntWord3, 3, true, 0x0808, 0x0000, false, 0, 0, {0x0008, 0x0800}, {0x0000, 0x0000}},
    TRowCase{TSetting::CurrentWord3, 3, true, 0x0020, 0x0000, false, 0, 0, {0x0000, 0x0020}, {0x0000, 0x0000}},
    TRowCase{TSetting::TEDSPower, 3, true, 0x0040, 0x0040, true, 0xFFBF, 0xFFBF, {0x0000, 0x0000}, {0x0040, 0x0000}},
    TRowCase{TSetting::GroundShield, 3, false, 0, 0, true, 0xEBFF, 0xEBFF, {0x0400, 0x1000}, {0x0400, 0x1000}},
    TRowCase{TSetting::VRefPlus, 3, true, 0x2003, 0x2003, true, 0xDFFC, 0xDFFC,
             {0x2003, 0x0003, 0x2001, 0x0001, 0x2002, 0x0002, 0x2000, 0x0000},
             {0x2003, 0x0003, 0x2001, 0x0001, 0x2002, 0x0002, 0x2000, 0x0000}},
    TRowCase{TSetting::R25Shunt, 4, true, 0x00A0, 0x0210, true, 0xFF5F, 0xFDEF, {0x0080, 0x0020}, {0x0200, 0x0010}},
    TRowCase{TSetting::CurrentWord4B, 4, true, 0x0000, 0x4000, true, 0xFFFF, 0xBFFF, {0x0000, 0x0000}, {0x0000, 0x4000}},
    TRowCase{TSetting::AnalogStatusOff, 4, true, 0x0000, 0x2000, false, 0, 0, {0x0000, 0x0000}, {0x0000, 0x2000}},
    TRowCase{TSetting::VRefMinus, 4, true, 0x0043, 0x0023, true, 0xFFBC, 0xFFDC,
             {0x0043, 0x0042, 0x0003, 0x0002, 0x0041, 0x0040, 0x0001, 0x0000},
             {0x0023, 0x0022, 0x0003, 0x0002, 0x0021, 0x0020, 0x0001, 0x0000}},
    TRowCase{TSetting::VoltSense, 4, true, 0x0318, 0x01C8, true, 0xFCE7, 0xFE37,
             {0x0210, 0x0110, 0x0208, 0x0108}, {0x0088, 0x0108, 0x00C0, 0x0140}},
    TRowCase{TSetting::ChargeClear, 5, true, 0x0000, 0x0080, true, 0xFFFF, 0xFF7F, {0x0000, 0x0000}, {0x0080, 0x0000}},
    TRowCase{TSetting::Coupling, 6, true, 0xF005, 0xD805, true, 0x0FFA, 0x27FA,
             {0xC004, 0x6004, 0xC001, 0x6001, 0x9004, 0x9001, 0x3001},
             {0xC800, 0x4804, 0xC001, 0x4005, 0x9800, 0x9001, 0x1005}},
    TRowCase{TSetting::Reference1, 6, true, 0x0BEA, 0x06E8, true, 0xF415, 0xF917,
             {0x08C8, 0x0868, 0x028A, 0x0382, 0x08C8, 0x0382},
             {0x00C8, 0x0068, 0x0288, 0x04C0, 0x00C8, 0x04C0}},
    TRowCase{TSetting::Reference2, 6, true, 0x0BEA, 0x06E8, true, 0xF415, 0xF917,
             {0x08C8, 0x0868, 0x028A, 0x0382, 0x08C8, 0x0382},
             {0x00C8, 0x0068, 0x0288, 0x0068, 0x04C0, 0x0068}},
    TRowCase{TSetting::CurrentWord6, 6, true, 0x0410, 0x0110, true, 0xFBEF, 0xFEEF, {0x0400, 0x0010}, {0x0100, 0x0010}},
    TRowCase{TSetting::DMSShuntWord6, 6, true, 0x0000, 0x2002, true, 0xFFFF, 0xDFFD, {0x0000, 0x0000}, {0x0002, 0x2000}}));
// clang-format on

TEST(RegisterTables, DecodeOnlyRowsHaveNoSetter) {
    std::set<TSetting> decodeOnly;
    for (const TSettingTable& t : kSettingTables) {
        if (t.Setter == nullptr) decodeOnly.insert(t.Id);
    }
    EXPECT_EQ(decodeOnly, (std::set<TSetting>{TSetting::DMSShuntWord3, TSetting::CurrentWord3,
                                              TSetting::AnalogStatusOff}));
}

TEST(RegisterTables, SettersOfSharedRows) {
    EXPECT_STREQ(SettingTable(TSetting::OutputSelect).Setter, "SetPreDivider");
    EXPECT_STREQ(SettingTable(TSetting::GroundShield).Setter, "SetReference");
    EXPECT_STREQ(SettingTable(TSetting::CurrentWord4A).Setter, "SetCurrent");
    EXPECT_STREQ(SettingTable(TSetting::CurrentWord4B).Setter, "SetCurrent");
    EXPECT_STREQ(SettingTable(TSetting::CurrentWord6).Setter, "SetCurrent");
    EXPECT_STREQ(SettingTable(TSetting::VoltSense).Setter, "SetSense");
}

// On each variant a row either owns exactly the bits it decodes (the relay exists) or keeps the
// whole word and sets nothing (the variant lacks it). A mistyped mask breaks this.
TEST(RegisterTables, MasksOwnTheirBitsOrKeepTheWord) {
    for (const TSettingTable& t : kSettingTables) {
        if (!t.IsSettable() || !t.IsDecodable()) continue;
        for (int v = 0; v < kHWVariants; ++v) {
            SCOPED_TRACE(std::string(t.Name) + " version " + std::to_string(v));
            const uint16_t keep = t.AndMask.Mask[v];
            const uint16_t decode = t.DecodeMask.Mask[v];
            if (keep == 0xFFFF) {
                for (int c = 0; c < t.CodeCount; ++c)
                    EXPECT_EQ(t.Values[v][c], 0);
            } else {
                EXPECT_EQ(static_cast<uint16_t>(~keep), decode);
            }
        }
    }
}

// ---- Setting and decoding through the tables -------------------------------------------------

TEST(ApplySetting, KeepsAndMaskBitsAndSetsValue) {
    // Pre-divider 7 on version 1 keeps the offset relay bits of word 1.
    EXPECT_EQ(ApplySetting(TSetting::PreDivider, 1, 0xFFFE, 7), 0x6658 | 0x0002);
    // Version 0 replaces the whole word 1.
    EXPECT_EQ(ApplySetting(TSetting::PreDivider, 0, 0x1234, 7), 0x6559);
    // Monitor off then on, version 1: bit 8 set, bit 9 clear.
    const uint16_t off = *ApplySetting(TSetting::Monitor, 1, 0x0000, 0);
    EXPECT_EQ(off & 0x0300, 0x0200);
    const uint16_t on = *ApplySetting(TSetting::Monitor, 1, off, 1);
    EXPECT_EQ(on & 0x0300, 0x0100);
}

TEST(ApplySetting, RefusesWhatTheTableDoesNotHold) {
    EXPECT_FALSE(ApplySetting(TSetting::Gain, 1, 0, 6));
    EXPECT_FALSE(ApplySetting(TSetting::Gain, 1, 0, -1));
    EXPECT_FALSE(ApplySetting(TSetting::Gain, 255, 0, 0)); // placeholder channel, never decoded
    EXPECT_FALSE(ApplySetting(TSetting::Gain, -1, 0, 0));
    EXPECT_FALSE(ApplySetting(TSetting::AnalogStatusOff, 1, 0, 1)); // decode-only row
    EXPECT_TRUE(ApplySetting(TSetting::PreDivider, 1, 0, 10));
}

TEST(DecodeSearch, UnmatchedPatternIsCodeZero) {
    EXPECT_EQ(DecodeSearch(TSetting::Coupling, 1, 0x0000), 0);
    EXPECT_EQ(DecodeSearch(TSetting::Coupling, 1, 0x1005), 6);
    EXPECT_EQ(DecodeSearch(TSetting::PreDivider, 0, 0xA969), 10);
    EXPECT_EQ(DecodeSearch(TSetting::PreDivider, 0, 0xA968), 0);
    EXPECT_EQ(DecodeSearch(TSetting::Gain, 7, 0x0029), 0);
}

TEST(DecodeSearch, ReferenceWithoutBNCFindsOnlyFourOrFive) {
    for (int v = 0; v < kHWVariants; ++v) {
        const auto& values = SettingTable(TSetting::Reference1).Values[v];
        // Code 1 and 2 patterns are unique to the BNC codes: searched over 4..5 they are code 0.
        EXPECT_EQ(DecodeSearch(TSetting::Reference1, v, values[1], 4, 5), 0);
        EXPECT_EQ(DecodeSearch(TSetting::Reference1, v, values[2], 4, 5), 0);
        EXPECT_EQ(DecodeSearch(TSetting::Reference1, v, values[4], 4, 5), 4);
        EXPECT_EQ(DecodeSearch(TSetting::Reference1, v, values[5], 4, 5), 5);
    }
}

TEST(DecodeSwitch, ComparesWithValueOfCodeOne) {
    EXPECT_TRUE(DecodeSwitch(TSetting::Monitor, 1, 0x0100));
    EXPECT_FALSE(DecodeSwitch(TSetting::Monitor, 1, 0x0200));
    EXPECT_FALSE(DecodeSwitch(TSetting::Monitor, 1, 0x0300));
    EXPECT_TRUE(DecodeSwitch(TSetting::ChargeClear, 1, 0x0000)); // active low
    // A variant without the relay matches its zero value: the decode must gate such rows.
    EXPECT_TRUE(DecodeSwitch(TSetting::QuarterLoad, 0, 0xFFFF));
    EXPECT_FALSE(DecodeSwitch(TSetting::GroundShield, 1, 0x1000)); // no decode mask
}

// Set a code on an arbitrary word, decode it back. Where a table gives two codes the same
// pattern, or a variant lacks the relay, the decode cannot give the code back; those cases are
// listed.
TEST(RegisterTables, SetThenDecodeRoundTrips) {
    struct TLoss {
        TSetting Setting;
        int Version;
        int Code;
        int Decoded;
    };
    // clang-format off
    const std::vector<TLoss> losses = {
        // Codes 4 and 5 repeat the patterns of 0 and 3 when searched over all codes.
        {TSetting::Reference1, 0, 4, 0}, {TSetting::Reference1, 0, 5, 3},
        {TSetting::Reference1, 1, 4, 0}, {TSetting::Reference1, 1, 5, 3},
        {TSetting::Reference2, 0, 4, 0}, {TSetting::Reference2, 0, 5, 3},
        // Second table, version 1: codes 3 and 5 share the pattern of code 1.
        {TSetting::Reference2, 1, 3, 1}, {TSetting::Reference2, 1, 5, 1},
        // Version 0 clears the TEDS power-off bit for both codes.
        {TSetting::TEDSPower, 0, 0, 1},
    };
    // clang-format on
    for (const TSettingTable& t : kSettingTables) {
        if (!t.IsSettable() || !t.IsDecodable()) continue;
        for (int v = 0; v < kHWVariants; ++v) {
            if (t.AndMask.Mask[v] == 0xFFFF) continue; // the variant lacks this relay
            for (int code = 0; code < t.CodeCount; ++code) {
                for (uint16_t start : {uint16_t{0x0000}, uint16_t{0xFFFF}, uint16_t{0x5A5A}}) {
                    SCOPED_TRACE(std::string(t.Name) + " version " + std::to_string(v) + " code " +
                                 std::to_string(code) + " start " + std::to_string(start));
                    const uint16_t word = *ApplySetting(t.Id, v, start, code);
                    int expected = code;
                    for (const TLoss& l : losses) {
                        if (l.Setting == t.Id && l.Version == v && l.Code == code) expected = l.Decoded;
                    }
                    if (t.CodeCount == 2) {
                        EXPECT_EQ(DecodeSwitch(t.Id, v, word) ? 1 : 0, expected);
                    } else {
                        EXPECT_EQ(DecodeSearch(t.Id, v, word), expected);
                    }
                }
            }
        }
    }
}

// ---- Ranges -------------------------------------------------------------------------------

TEST(Ranges, PairsMatchTheTable) {
    EXPECT_EQ(kRangePairs[0].PreDivider, 1);
    EXPECT_EQ(kRangePairs[0].Gain, 0);
    EXPECT_EQ(kRangePairs[1].PreDivider, 0);
    EXPECT_EQ(kRangePairs[1].Gain, 4);
    EXPECT_EQ(kRangePairs[18].PreDivider, 7);
    EXPECT_EQ(kRangePairs[18].Gain, 0);
    EXPECT_EQ(kRangePairs[21].PreDivider, 3);
    EXPECT_EQ(kRangePairs[21].Gain, 5);
    EXPECT_EQ(kRangePairs[25].PreDivider, 7);
    EXPECT_EQ(kRangePairs[25].Gain, 5);
}

// Ranges 1 and 3 use pre-divider 0, which the decode does not list: they read back as 4.
TEST(Ranges, SetRangeThenDecodeGivesTheRangeBackButOneAndThree) {
    for (int r = 0; r < kRangeCount; ++r) {
        const TRangePair p = kRangePairs[r];
        const int expected = (r == 1 || r == 3) ? kFallbackRange : r;
        EXPECT_EQ(RangeFromDividerGain(p.PreDivider, p.Gain), expected) << "range " << r;
    }
}

TEST(Ranges, UnlistedPairsGiveRangeFour) {
    EXPECT_EQ(RangeFromDividerGain(0, 0), 4);
    EXPECT_EQ(RangeFromDividerGain(4, 1), 4);
    EXPECT_EQ(RangeFromDividerGain(10, 5), 4);
    EXPECT_EQ(RangeFromDividerGain(1, 6), 4);
    EXPECT_EQ(RangeFromDividerGain(2, 3), 11);
}

// Range 18 on version 1: pre-divider pattern 6658, output select 0400, gain 002A.
TEST(Ranges, Range18OnVersion1) {
    const TRangePair p = kRangePairs[18];
    EXPECT_EQ(ApplySetting(TSetting::PreDivider, 1, 0x0001, p.PreDivider), 0x6659);
    const int select = p.PreDivider >= 7 ? 1 : 0;
    uint16_t word2 = *ApplySetting(TSetting::OutputSelect, 1, 0x0800, select);
    word2 = *ApplySetting(TSetting::Gain, 1, word2, p.Gain);
    EXPECT_EQ(word2, 0x0400 | 0x002A);
}

// ---- Compound setters ---------------------------------------------------------------------

TEST(CompoundSteps, ChargeModes) {
    EXPECT_EQ(kChargeModeSteps[0].ChargeClear, 1);
    EXPECT_EQ(kChargeModeSteps[1].VRefMinus, 6);
    EXPECT_EQ(kChargeModeSteps[1].VRefPlus, 6);
    // Mode 2 with an 18-bit ADC: vrefminus 4, vrefplus 6; without: 6 and 5.
    EXPECT_EQ(kChargeModeSteps[2].VRefMinusADC18, 4);
    EXPECT_EQ(kChargeModeSteps[2].VRefPlusADC18, 6);
    EXPECT_EQ(kChargeModeSteps[2].VRefMinus, 6);
    EXPECT_EQ(kChargeModeSteps[2].VRefPlus, 5);
    EXPECT_EQ(kChargeModeSteps[3].ChargeACOut, 1);
    EXPECT_EQ(kChargeModeSteps[3].VRefMinusADC18, 4);
    EXPECT_EQ(kChargeModeSteps[3].VRefPlus, 5);
}

TEST(CompoundSteps, SupplyRows) {
    EXPECT_EQ(SupplyStep(1).Power, TSupplyPower::VoltageStep);
    EXPECT_EQ(SupplyStep(1).Current, 0);
    EXPECT_EQ(SupplyStep(2).Power, TSupplyPower::CurrentStep);
    EXPECT_EQ(SupplyStep(2).Current, 1);
    for (int other : {0, 3, 255, -1}) {
        EXPECT_EQ(SupplyStep(other).Power, TSupplyPower::Zero);
        EXPECT_EQ(SupplyStep(other).DMSPwrOn, 0);
        EXPECT_EQ(SupplyStep(other).LED2, 0);
    }
}

// PowerZero 1000 plus the voltage step: 1102 below version 2, 1105 from version 2.
TEST(CompoundSteps, PowerStepsRoundToTheExampleValues) {
    EXPECT_EQ(1000 + std::nearbyint(PowerSteps(1).Voltage), 1102);
    EXPECT_EQ(1000 + std::nearbyint(PowerSteps(2).Voltage), 1105);
    EXPECT_EQ(std::nearbyint(PowerSteps(0).Current), 31);
    EXPECT_EQ(std::nearbyint(PowerSteps(3).Current), 79);
}

} // namespace
} // namespace qrb::model
