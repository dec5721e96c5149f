#include "model/ChannelSetters.h"

#include "device/HWVocabulary.h"
#include "model/ChannelCommit.h"
#include "model/I2CTranslator.h"
#include "model/QRBRawCalibration.h"
#include "model/QRBRawChannel.h"
#include "tests/model/TranslatorFixture.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qrb::model {
namespace {

constexpr uint8_t kFeatCharge = 0x01;
constexpr uint8_t kFeatBNC = 0x02;
constexpr uint8_t kFeatODU = 0x04;

struct TKind {
    const char* Name;
    uint8_t InfoVersion;
    uint8_t Features;
    bool ADC18;
};

// A present, decoded channel on the default image of its hardware row.
std::unique_ptr<TQRBRawChannel> MakeChannel(const TKind& kind, TSensorType type = stVolt) {
    auto ch = std::make_unique<TQRBRawChannel>(0, 0, 3, 0, device::TInterfaceKind::ikOffline, nullptr);
    ch->Info.Version = kind.InfoVersion;
    ch->Info.Features = kind.Features;
    ch->HasADC18 = kind.ADC18;
    ch->Present = true;
    ch->Current.Image = device::DefaultRegisterImage(kind.InfoVersion == 0 ? 0 : 1);
    ch->Current.Image.Words[0] = type;
    ch->Pending = ch->Current;
    ch->DecodeRegisters();
    return ch;
}

// What an accepted commit does to the model.
void CommitLocally(TQRBRawChannel& ch) {
    ch.Pending.Image.Words[0] = ch.SensorType;
    ch.Current = ch.Pending;
    ch.DecodeRegisters();
}

// Everything a setter may change.
struct TEditState {
    device::TChannelImage Pending;
    uint8_t RangeCache, GainCache, CouplingCache, MonitorCache, OffsetCache, OutputFilterCache, Is350OhmCache,
        SenseCache, DMSShuntCache, PwrAtSignalCache, ChargeModeCache, CapacityCache, HighpassCache,
        AutoClearCache, SupplyCache, ReferenceCache, CurrentCache;
    uint16_t OffsetDACCache, PowerDACCache, PowerDACCache2, OffsetDAC, OffsetZero;
    uint8_t VoltSense, OpenGndShield, ADC8LowVal;
    bool operator==(const TEditState&) const = default;
};

TEditState Capture(const TQRBRawChannel& c) {
    return {c.Pending,          c.RangeCache,        c.GainCache,     c.CouplingCache,  c.MonitorCache,
            c.OffsetCache,      c.OutputFilterCache, c.Is350OhmCache, c.SenseCache,     c.DMSShuntCache,
            c.PwrAtSignalCache, c.ChargeModeCache,   c.CapacityCache, c.HighpassCache,  c.AutoClearCache,
            c.SupplyCache,      c.ReferenceCache,    c.CurrentCache,  c.OffsetDACCache, c.PowerDACCache,
            c.PowerDACCache2,   c.OffsetDAC,         c.OffsetZero,    c.volt_sense,     c.open_gnd_shield,
            c.ADC8LowVal};
}

void CopyCaches(const TQRBRawChannel& from, TQRBRawChannel& to) {
    to.RangeCache = from.RangeCache;
    to.GainCache = from.GainCache;
    to.CouplingCache = from.CouplingCache;
    to.OffsetDACCache = from.OffsetDACCache;
    to.PowerDACCache = from.PowerDACCache;
    to.MonitorCache = from.MonitorCache;
    to.OffsetCache = from.OffsetCache;
    to.OutputFilterCache = from.OutputFilterCache;
    to.Is350OhmCache = from.Is350OhmCache;
    to.SenseCache = from.SenseCache;
    to.PowerDACCache2 = from.PowerDACCache2;
    to.DMSShuntCache = from.DMSShuntCache;
    to.PwrAtSignalCache = from.PwrAtSignalCache;
    to.ChargeModeCache = from.ChargeModeCache;
    to.CapacityCache = from.CapacityCache;
    to.HighpassCache = from.HighpassCache;
    to.AutoClearCache = from.AutoClearCache;
    to.SupplyCache = from.SupplyCache;
    to.ReferenceCache = from.ReferenceCache;
    to.CurrentCache = from.CurrentCache;
}

using TSetter = bool (TChannelEditor::*)(uint8_t);
using TDecoded = uint8_t TQRBRawChannel::*;

const TKind kV0{"version 0", 0, kFeatBNC, false};
const TKind kV1{"version 1", 1, kFeatBNC, false};
const TKind kV2{"version 2", 2, kFeatBNC, true};

// ---- Hand-picked images ---------------------------------------------------------------------

TEST(ChannelSetters, RangeOnVersion1KeepsTheOffsetBitsAndSetsDividerOutputAndGain) {
    auto ch = MakeChannel(kV1);
    ch->Pending.Image.Words[1] = 0x0002; // offset on
    ch->Pending.Image.Words[2] = 0xFFFF;
    ASSERT_TRUE(TChannelEditor(*ch).SetRange(18));
    EXPECT_EQ(ch->Pending.Image.Words[1], 0x6658 | 0x0002);
    EXPECT_EQ(ch->Pending.Image.Words[2] & 0x0C00, 0x0400);
    EXPECT_EQ(ch->Pending.Image.Words[2] & 0x003F, 0x002A);
    EXPECT_EQ(ch->RangeCache, 18);
    EXPECT_EQ(ch->GainCache, 0);
}

TEST(ChannelSetters, PreDividerBelowSevenSelectsTheFirstOutput) {
    auto ch = MakeChannel(kV1);
    TChannelEditor e(*ch);
    ASSERT_TRUE(e.SetPreDivider(7));
    EXPECT_EQ(ch->Pending.Image.Words[2] & 0x0C00, 0x0400);
    ASSERT_TRUE(e.SetPreDivider(6));
    EXPECT_EQ(ch->Pending.Image.Words[2] & 0x0C00, 0x0800);
    EXPECT_EQ(ch->Pending.Image.Words[1] & 0xFFFC, 0xAAA8);
}

TEST(ChannelSetters, PreDividerOnVersion0ReplacesTheWholeWord) {
    auto ch = MakeChannel(kV0);
    ch->Pending.Image.Words[1] = 0xFFFF;
    const uint16_t word2 = ch->Pending.Image.Words[2];
    ASSERT_TRUE(TChannelEditor(*ch).SetPreDivider(3));
    EXPECT_EQ(ch->Pending.Image.Words[1], 0x659A);
    EXPECT_EQ(ch->Pending.Image.Words[2], word2); // no output select on version 0
}

TEST(ChannelSetters, MonitorDrivesOneCoilOfThePair) {
    auto ch = MakeChannel(kV1);
    TChannelEditor e(*ch);
    ASSERT_TRUE(e.SetMonitor(0));
    EXPECT_EQ(ch->Pending.Image.Words[2] & 0x0300, 0x0200);
    ASSERT_TRUE(e.SetMonitor(1));
    EXPECT_EQ(ch->Pending.Image.Words[2] & 0x0300, 0x0100);
    EXPECT_EQ(ch->MonitorCache, 1);
}

TEST(ChannelSetters, CouplingWithoutCalibrationAndOffsetOffGoesToTheNeutralZero) {
    auto ch = MakeChannel(kV1);
    ch->OffsetCache = 0;
    ch->OffsetZero = 100;
    ch->OffsetDAC = 100;
    ch->Pending.Image.Words[8] = 100;
    ASSERT_TRUE(TChannelEditor(*ch).SetCoupling(2));
    EXPECT_EQ(ch->OffsetZero, 2048);
    EXPECT_EQ(ch->OffsetDAC, 2048);
    EXPECT_EQ(ch->Pending.Image.Words[8], 2048);
    EXPECT_EQ(ch->OffsetDACCache, 2048);
    EXPECT_EQ(ch->CouplingCache, 2);
    EXPECT_EQ(ch->Pending.Image.Words[6] & 0xD805, 0xC001);
}

TEST(ChannelSetters, SupplyPowerStepsFollowTheInformationVersion) {
    struct TCase {
        uint8_t InfoVersion;
        uint8_t Supply;
        uint16_t Word7;
    };
    // 102.4 / 30.634666 below version 2, 105.4583 / 78.635765 from 2 on, rounded.
    const TCase cases[] = {{1, 1, 1102}, {2, 1, 1105}, {1, 2, 1031}, {2, 2, 1079},
                           {3, 2, 1079}, {1, 0, 1000}, {2, 7, 1000}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "version " << int(c.InfoVersion) << " supply " << int(c.Supply));
        auto ch = MakeChannel({"", c.InfoVersion, kFeatBNC, false});
        ch->PowerZero = 1000;
        ASSERT_TRUE(TChannelEditor(*ch).SetSupply(c.Supply));
        EXPECT_EQ(ch->Pending.Image.Words[7], c.Word7);
        EXPECT_EQ(ch->PowerDACCache, c.Word7);
        EXPECT_EQ(ch->PowerDACCache2, c.Word7);
        EXPECT_EQ(ch->SupplyCache, c.Supply);
    }
}

TEST(ChannelSetters, SupplySwitchesPowerCurrentConnectorAndLED) {
    auto ch = MakeChannel(kV1);
    TChannelEditor e(*ch);
    ASSERT_TRUE(e.SetSupply(2));
    const auto& w = ch->Pending.Image.Words;
    EXPECT_EQ(w[4] & 0x0400, 0x0400); // DMS power
    EXPECT_EQ(w[4] & 0x5000, 0x5000); // current output and its power
    EXPECT_EQ(w[6] & 0x0110, 0x0010);
    EXPECT_EQ(w[3] & 0x0210, 0x0010); // power at the ODU connector
    EXPECT_EQ(w[3] & 0x4000, 0x4000); // LED2
    EXPECT_EQ(ch->ADC8LowVal, 252);
    ASSERT_TRUE(e.SetSupply(9)); // any other code: off
    EXPECT_EQ(w[4] & 0x5400, 0);
    EXPECT_EQ(w[3] & 0x4000, 0);
    EXPECT_EQ(ch->ADC8LowVal, 124);
    EXPECT_EQ(ch->SupplyCache, 9);
}

TEST(ChannelSetters, SupplyKeepsThePendingOffset) {
    auto ch = MakeChannel(kV1);
    TChannelEditor e(*ch);
    ASSERT_TRUE(e.SetDACs(ch->PowerDACCache, 2500));
    ASSERT_TRUE(e.SetSupply(1));
    EXPECT_EQ(ch->Pending.Image.Words[8], 2500);
    EXPECT_EQ(ch->OffsetDACCache, 2500);
}

TEST(ChannelSetters, DACsAreLimitedTo4095) {
    auto ch = MakeChannel(kV1);
    const uint16_t offsetDAC = ch->OffsetDAC;
    ASSERT_TRUE(TChannelEditor(*ch).SetDACs(5000, 70));
    EXPECT_EQ(ch->Pending.Image.Words[7], 4095);
    EXPECT_EQ(ch->Pending.Image.Words[8], 70);
    EXPECT_EQ(ch->PowerDACCache, 4095);
    EXPECT_EQ(ch->PowerDACCache2, 4095);
    EXPECT_EQ(ch->OffsetDACCache, 70);
    EXPECT_EQ(ch->OffsetDAC, offsetDAC); // the model field follows at the next decode
    ASSERT_TRUE(TChannelEditor(*ch).SetDACs(4095, 65535));
    EXPECT_EQ(ch->Pending.Image.Words[8], 4095);
}

TEST(ChannelSetters, ClampDACSaturatesSignedValues) {
    EXPECT_EQ(ClampDAC(-1), 0);
    EXPECT_EQ(ClampDAC(-70000), 0);
    EXPECT_EQ(ClampDAC(4096), 4095);
    EXPECT_EQ(ClampDAC(70000), 4095);
    EXPECT_EQ(ClampDAC(2048), 2048);
}

TEST(ChannelSetters, ChargeModeAC1HzDependsOnTheADC18) {
    struct TCase {
        bool ADC18;
        uint8_t VRefMinus, VRefPlus;
    };
    for (const TCase c : {TCase{true, 4, 6}, TCase{false, 6, 5}}) {
        auto ch = MakeChannel({"", 2, kFeatCharge, c.ADC18}, stCharge);
        ASSERT_TRUE(TChannelEditor(*ch).SetChargeMode(2));
        EXPECT_EQ(ch->ChargeModeCache, 2);
        CommitLocally(*ch);
        EXPECT_EQ(ch->vrefminus, c.VRefMinus);
        EXPECT_EQ(ch->vrefplus, c.VRefPlus);
        EXPECT_EQ(ch->chargeinput, 1);
        EXPECT_EQ(ch->charge_ac_out, 0);
        EXPECT_EQ(ch->charge_clear, 0);
    }
}

TEST(ChannelSetters, ChargeModeGroundClearsTheCharge) {
    auto ch = MakeChannel({"", 1, kFeatCharge, false}, stCharge);
    ASSERT_TRUE(TChannelEditor(*ch).SetChargeMode(0));
    CommitLocally(*ch);
    EXPECT_EQ(ch->chargeinput, 0);
    EXPECT_EQ(ch->vrefminus, 0);
    EXPECT_EQ(ch->vrefplus, 0);
    EXPECT_EQ(ch->charge_clear, 1);
}

// ---- Reference, ground and shield -------------------------------------------------------------

TEST(ChannelSetters, ReferenceCode5OnOldChargeODUChannelWithOpenGround) {
    auto ch = MakeChannel({"", 1, kFeatCharge | kFeatODU, false});
    ch->open_gnd_shield = 1;
    ASSERT_TRUE(TChannelEditor(*ch).SetReference(5));
    EXPECT_EQ(ch->Pending.Image.Words[6] & 0x06E8, 0x0288); // second table, value of code 2
    EXPECT_EQ(ch->Pending.Image.Words[3] & 0x1400, 0x0400); // open
    EXPECT_EQ(ch->ReferenceCache, 5);
}

TEST(ChannelSetters, ReferenceGroundBitsByCodeAndOpenFlag) {
    struct TCase {
        uint8_t Code;
        uint8_t Open;
        uint16_t Ground; // word 3 AND 0x1400
    };
    const TCase cases[] = {{0, 0, 0x0400}, {1, 0, 0x0400}, {2, 0, 0x0400}, {3, 0, 0x1000}, {4, 0, 0x0400},
                           {5, 0, 0x1000}, {3, 1, 0x0400}, {5, 1, 0x0400}, {0, 1, 0x0400}};
    for (const TKind& kind : {kV0, kV1}) {
        for (const TCase& c : cases) {
            SCOPED_TRACE(testing::Message()
                         << kind.Name << " code " << int(c.Code) << " open " << int(c.Open));
            auto ch = MakeChannel(kind);
            ch->open_gnd_shield = c.Open;
            ch->Pending.Image.Words[3] |= 0x1400;
            ASSERT_TRUE(TChannelEditor(*ch).SetReference(c.Code));
            EXPECT_EQ(ch->Pending.Image.Words[3] & 0x1400, c.Ground);
        }
    }
}

TEST(ChannelSetters, OpenGndShieldRewritesTheCachedReference) {
    auto ch = MakeChannel(kV1);
    TChannelEditor e(*ch);
    ASSERT_TRUE(e.SetReference(3));
    EXPECT_EQ(ch->Pending.Image.Words[3] & 0x1400, 0x1000);
    ASSERT_TRUE(e.SetOpenGndShield(1));
    EXPECT_EQ(ch->open_gnd_shield, 1);
    EXPECT_EQ(ch->Pending.Image.Words[3] & 0x1400, 0x0400);
    EXPECT_EQ(ch->ReferenceCache, 3);
    CommitLocally(*ch);
    EXPECT_EQ(ch->open_gnd_shield, 1); // lives only in the model
    ASSERT_TRUE(e.SetOpenGndShield(0));
    EXPECT_EQ(ch->Pending.Image.Words[3] & 0x1400, 0x1000);
}

TEST(ChannelSetters, NewerChargeODUChannelsUseTheFirstReferenceTable) {
    auto ch = MakeChannel({"", 2, kFeatCharge | kFeatODU | kFeatBNC, true});
    ch->open_gnd_shield = 1;
    ASSERT_TRUE(TChannelEditor(*ch).SetReference(5));
    EXPECT_EQ(ch->Pending.Image.Words[6] & 0x06E8, 0x04C0);
}

// ---- Single setters with side effects -----------------------------------------------------

TEST(ChannelSetters, SenseSwitchesTEDSPower) {
    for (uint8_t code = 0; code < 4; ++code) {
        auto ch = MakeChannel(kV0);
        const uint16_t word3 = ch->Pending.Image.Words[3];
        ASSERT_TRUE(TChannelEditor(*ch).SetSense(code));
        EXPECT_EQ(ch->Pending.Image.Words[3], word3) << int(code); // version 0 has no TEDS power switch
        auto ch1 = MakeChannel(kV1);
        ch1->Pending.Image.Words[3] |= 0x0040;
        ASSERT_TRUE(TChannelEditor(*ch1).SetSense(code));
        // Version 1: TEDS power bit set (off) for codes 0 and 1, cleared for 2 and 3.
        EXPECT_EQ(ch1->Pending.Image.Words[3] & 0x0040, code >= 2 ? 0 : 0x0040) << int(code);
        EXPECT_EQ(ch1->SenseCache, code == 1 || code == 3 ? 1 : 0);
        EXPECT_EQ(ch1->volt_sense, code);
    }
}

TEST(ChannelSetters, CurrentUsesBothWord4TablesAndWord6) {
    auto ch = MakeChannel(kV1);
    TChannelEditor e(*ch);
    ASSERT_TRUE(e.SetCurrent(1));
    EXPECT_EQ(ch->Pending.Image.Words[4] & 0x5000, 0x5000);
    EXPECT_EQ(ch->Pending.Image.Words[6] & 0x0110, 0x0010);
    EXPECT_EQ(ch->CurrentCache, 1);
    ASSERT_TRUE(e.SetCurrent(0));
    EXPECT_EQ(ch->Pending.Image.Words[4] & 0x5000, 0);
    EXPECT_EQ(ch->Pending.Image.Words[6] & 0x0110, 0x0100);

    auto v0 = MakeChannel(kV0);
    const uint16_t word4 = v0->Pending.Image.Words[4];
    ASSERT_TRUE(TChannelEditor(*v0).SetCurrent(1));
    EXPECT_EQ(v0->Pending.Image.Words[4], word4);
    EXPECT_EQ(v0->Pending.Image.Words[6] & 0x0410, 0x0010);
}

TEST(ChannelSetters, DMSPowerSetsTheADC8LowValue) {
    struct TCase {
        bool ADC18;
        uint8_t Code;
        uint8_t LowVal;
    };
    for (const TCase c :
         {TCase{false, 1, 252}, TCase{false, 0, 124}, TCase{true, 0, 252}, TCase{true, 1, 252}}) {
        auto ch = MakeChannel({"", 1, 0, c.ADC18});
        ch->ADC8LowVal = 7;
        ASSERT_TRUE(TChannelEditor(*ch).SetDMSPwrOn(c.Code));
        EXPECT_EQ(ch->ADC8LowVal, c.LowVal) << c.ADC18 << " " << int(c.Code);
    }
}

TEST(ChannelSetters, InvertedCaches) {
    auto ch = MakeChannel(kV1);
    TChannelEditor e(*ch);
    ASSERT_TRUE(e.Set120Ohm(1));
    EXPECT_EQ(ch->Is350OhmCache, 0);
    ASSERT_TRUE(e.Set120Ohm(0));
    EXPECT_EQ(ch->Is350OhmCache, 1);
    ASSERT_TRUE(e.SetChargeManClearMode(1));
    EXPECT_EQ(ch->AutoClearCache, 0);
    ASSERT_TRUE(e.SetChargeManClearMode(0));
    EXPECT_EQ(ch->AutoClearCache, 1);
}

// ---- Offset -------------------------------------------------------------------------------

// A usable calibration whose zero of (coupling, range, offset) is 1000 + 40 * coupling + range
// with the offset off and 2000 + the same with it on.
void UseCalibration(TQRBRawChannel& ch) {
    ch.Calibration.SetSource(device::TChannelCalibTable::UsableSource);
    ch.Calibration.AdjustMarker = device::TChannelCalibTable::UsableMarker;
    for (int c = 0; c < 7; ++c) {
        for (int r = 0; r < 26; ++r) {
            ch.Calibration.ZeroOffsets[c][r] = {static_cast<uint16_t>(1000 + 40 * c + r),
                                                static_cast<uint16_t>(2000 + 40 * c + r)};
        }
    }
}

uint16_t Zero(int coupling, int range, int offset) {
    return static_cast<uint16_t>((offset ? 2000 : 1000) + 40 * coupling + range);
}

TEST(ChannelSetters, OffsetOffMovesTheDACToTheCalibratedZero) {
    auto ch = MakeChannel(kV1);
    UseCalibration(*ch);
    TChannelEditor e(*ch);
    ASSERT_TRUE(e.SetCoupling(2));
    ASSERT_TRUE(e.SetRange(5));
    ASSERT_TRUE(e.SetOffset(1));
    EXPECT_EQ(ch->OffsetZero, Zero(2, 5, 1));
    EXPECT_EQ(ch->Pending.Image.Words[1] & 0x0003, 0x0002);
    ASSERT_TRUE(e.SetDACs(0, 3000));
    ASSERT_TRUE(e.SetOffset(1)); // on: the DAC stays
    EXPECT_EQ(ch->Pending.Image.Words[8], 3000);
    ASSERT_TRUE(e.SetOffset(0));
    EXPECT_EQ(ch->OffsetZero, Zero(2, 5, 0));
    EXPECT_EQ(ch->OffsetDAC, Zero(2, 5, 0));
    EXPECT_EQ(ch->Pending.Image.Words[8], Zero(2, 5, 0));
    EXPECT_EQ(ch->OffsetDACCache, Zero(2, 5, 0));
}

TEST(ChannelSetters, OffsetCarryOverDoesNotCompoundAcrossPendingChanges) {
    auto ch = MakeChannel(kV1);
    UseCalibration(*ch);
    TChannelEditor e(*ch);
    ASSERT_TRUE(e.SetCoupling(1));
    ASSERT_TRUE(e.SetRange(2));
    ASSERT_TRUE(e.SetOffset(1));
    ASSERT_TRUE(e.SetDACs(0, Zero(1, 2, 1) + 300));
    CommitLocally(*ch);
    ASSERT_EQ(ch->OffsetDAC, Zero(1, 2, 1) + 300);

    // Several uncommitted changes: the distance to the zero stays 300 each time.
    ASSERT_TRUE(e.SetRange(7));
    EXPECT_EQ(ch->OffsetDAC, Zero(1, 7, 1) + 300);
    ASSERT_TRUE(e.SetRange(9));
    EXPECT_EQ(ch->OffsetDAC, Zero(1, 9, 1) + 300);
    ASSERT_TRUE(e.SetCoupling(4));
    EXPECT_EQ(ch->OffsetDAC, Zero(4, 9, 1) + 300);
    EXPECT_EQ(ch->OffsetZero, Zero(4, 9, 1));
    EXPECT_EQ(ch->Pending.Image.Words[8], Zero(4, 9, 1) + 300);
    EXPECT_EQ(ch->OffsetDACCache, Zero(4, 9, 1) + 300);
}

TEST(ChannelSetters, OffsetCarryOverKeepsAnUncommittedOffset) {
    auto ch = MakeChannel(kV1);
    UseCalibration(*ch);
    TChannelEditor e(*ch);
    ASSERT_TRUE(e.SetCoupling(0));
    ASSERT_TRUE(e.SetRange(0));
    ASSERT_TRUE(e.SetOffset(1));
    CommitLocally(*ch);
    ASSERT_TRUE(e.SetDACs(0, Zero(0, 0, 1) - 200)); // set, not committed
    ASSERT_TRUE(e.SetRange(4));
    EXPECT_EQ(ch->Pending.Image.Words[8], Zero(0, 4, 1) - 200);
}

TEST(ChannelSetters, OffsetCarryOverSaturates) {
    struct TCase {
        uint16_t OldZero, NewZero, DAC;
        uint16_t Result;
    };
    const TCase cases[] = {
        {100, 4000, 900, 4095}, {4000, 100, 3000, 0}, {2048, 2048, 4095, 4095}, {100, 50, 0, 0}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.OldZero << " -> " << c.NewZero << " with " << c.DAC);
        auto ch = MakeChannel(kV1);
        UseCalibration(*ch);
        ch->Calibration.ZeroOffsets[0][0][1] = c.OldZero;
        ch->Calibration.ZeroOffsets[0][2][1] = c.NewZero;
        TChannelEditor e(*ch);
        ASSERT_TRUE(e.SetCoupling(0));
        ASSERT_TRUE(e.SetRange(0));
        ASSERT_TRUE(e.SetOffset(1));
        ASSERT_TRUE(e.SetDACs(0, c.DAC));
        ASSERT_TRUE(e.SetRange(2));
        EXPECT_EQ(ch->OffsetDAC, c.Result);
        EXPECT_EQ(ch->Pending.Image.Words[8], c.Result);
    }
}

TEST(ChannelSetters, OffsetCarryOverWithoutUsableCalibrationKeepsTheDAC) {
    auto ch = MakeChannel(kV1);
    UseCalibration(*ch);
    ch->Calibration.AdjustMarker = kDefaultAdjustMarker; // not usable: every zero is 2048
    TChannelEditor e(*ch);
    ASSERT_TRUE(e.SetOffset(1));
    ASSERT_TRUE(e.SetDACs(0, 2500));
    ASSERT_TRUE(e.SetCoupling(3));
    ASSERT_TRUE(e.SetRange(11));
    EXPECT_EQ(ch->OffsetZero, 2048);
    EXPECT_EQ(ch->Pending.Image.Words[8], 2500);
}

// ---- Refusals -----------------------------------------------------------------------------

struct TSetterRow {
    const char* Name;
    TSetter Setter;
    int Codes; // codes 0 .. Codes - 1 lie in the table
};

// clang-format off
const TSetterRow kSetterRows[] = {
    {"SetCoupling", &TChannelEditor::SetCoupling, 7},
    {"SetReference", &TChannelEditor::SetReference, 6},
    {"SetOpenGndShield", &TChannelEditor::SetOpenGndShield, 2},
    {"SetVRefPlus", &TChannelEditor::SetVRefPlus, 8},
    {"SetVRefMinus", &TChannelEditor::SetVRefMinus, 8},
    {"SetRange", &TChannelEditor::SetRange, 26},
    {"SetPreDivider", &TChannelEditor::SetPreDivider, 11},
    {"SetGain", &TChannelEditor::SetGain, 6},
    {"SetTEDSPower", &TChannelEditor::SetTEDSPower, 2},
    {"SetSense", &TChannelEditor::SetSense, 4},
    {"SetOffset", &TChannelEditor::SetOffset, 2},
    {"SetMonitor", &TChannelEditor::SetMonitor, 2},
    {"SetOffsetDACFilter", &TChannelEditor::SetOffsetDACFilter, 2},
    {"SetZeroInput", &TChannelEditor::SetZeroInput, 2},
    {"SetOutputFilter", &TChannelEditor::SetOutputFilter, 2},
    {"SetQuarterLoad", &TChannelEditor::SetQuarterLoad, 2},
    {"SetPwrAtSignal", &TChannelEditor::SetPwrAtSignal, 2},
    {"SetDMSShunt", &TChannelEditor::SetDMSShunt, 2},
    {"Set120Ohm", &TChannelEditor::Set120Ohm, 2},
    {"SetPwrFilter5M", &TChannelEditor::SetPwrFilter5M, 2},
    {"SetCurrent", &TChannelEditor::SetCurrent, 2},
    {"SetLED1", &TChannelEditor::SetLED1, 2},
    {"SetLED2", &TChannelEditor::SetLED2, 2},
    {"SetR25Shunt", &TChannelEditor::SetR25Shunt, 2},
    {"SetQtrLoadSense", &TChannelEditor::SetQtrLoadSense, 2},
    {"SetDMSPwrOn", &TChannelEditor::SetDMSPwrOn, 2},
    {"SetDMSCableRef", &TChannelEditor::SetDMSCableRef, 2},
    {"SetChargeMode", &TChannelEditor::SetChargeMode, 4},
    {"SetChargeHighpass", &TChannelEditor::SetChargeHighpass, 2},
    {"SetChargeCapacity", &TChannelEditor::SetChargeCapacity, 2},
    {"SetChargeInput", &TChannelEditor::SetChargeInput, 2},
    {"SetChargeACOut", &TChannelEditor::SetChargeACOut, 2},
    {"SetChargeClear", &TChannelEditor::SetChargeClear, 2},
    {"SetChargeManClearMode", &TChannelEditor::SetChargeManClearMode, 2},
};
// clang-format on

TEST(ChannelSetters, CodesOutsideTheTableChangeNothing) {
    for (const TKind& kind : {kV0, kV1}) {
        for (const TSetterRow& row : kSetterRows) {
            for (int code : {row.Codes, 255}) {
                SCOPED_TRACE(testing::Message() << kind.Name << " " << row.Name << " " << code);
                auto ch = MakeChannel(kind);
                UseCalibration(*ch);
                ch->OffsetCache = 1;
                const TEditState before = Capture(*ch);
                TChannelEditor e(*ch);
                EXPECT_FALSE((e.*row.Setter)(static_cast<uint8_t>(code)));
                EXPECT_TRUE(Capture(*ch) == before);
            }
            auto ch = MakeChannel(kind);
            TChannelEditor e(*ch);
            EXPECT_TRUE((e.*row.Setter)(static_cast<uint8_t>(row.Codes - 1))) << row.Name;
        }
    }
}

TEST(ChannelSetters, AnUndecodedChannelIsNeverEdited) {
    TQRBRawChannel ch(0, 0, 1, 0, device::TInterfaceKind::ikOffline, nullptr);
    ASSERT_EQ(ch.HWVersion, kHWVersionUndecoded);
    const TEditState before = Capture(ch);
    TChannelEditor e(ch);
    EXPECT_FALSE(e.CanEdit());
    for (const TSetterRow& row : kSetterRows)
        EXPECT_FALSE((e.*row.Setter)(0)) << row.Name;
    EXPECT_FALSE(e.SetSupply(1));
    EXPECT_FALSE(e.SetDACs(1, 1));
    EXPECT_TRUE(Capture(ch) == before);
}

// ---- Round trips: set, commit, decode -----------------------------------------------------

using TTranslatorSetter = bool (TI2CTranslator::*)(int32_t, uint8_t);

struct TRoundTripRow {
    const char* Name;
    TSetter Setter;
    TTranslatorSetter Translator;
    int Codes;
    TDecoded Decoded;
    TSensorType Type;
    TDecoded Cache; // the setter's own cache, if any
};

// clang-format off
const TRoundTripRow kRoundTrips[] = {
    {"coupling",             &TChannelEditor::SetCoupling, &TI2CTranslator::SetCoupling,           7,  &TQRBRawChannel::coupling,             stVolt, &TQRBRawChannel::CouplingCache},
    {"reference",            &TChannelEditor::SetReference, &TI2CTranslator::SetReference,          6,  &TQRBRawChannel::reference,            stVolt, &TQRBRawChannel::ReferenceCache},
    {"vrefplus",             &TChannelEditor::SetVRefPlus, &TI2CTranslator::SetVRefPlus,           8,  &TQRBRawChannel::vrefplus,             stVolt, nullptr},
    {"vrefminus",            &TChannelEditor::SetVRefMinus, &TI2CTranslator::SetVRefMinus,          8,  &TQRBRawChannel::vrefminus,            stVolt, nullptr},
    {"range",                &TChannelEditor::SetRange, &TI2CTranslator::SetRange,              26, &TQRBRawChannel::Range,                stVolt, &TQRBRawChannel::RangeCache},
    {"predivider",           &TChannelEditor::SetPreDivider, &TI2CTranslator::SetPreDivider,         11, &TQRBRawChannel::predivider,           stVolt, nullptr},
    {"gain",                 &TChannelEditor::SetGain, &TI2CTranslator::SetGain,               6,  &TQRBRawChannel::gain,                 stVolt, &TQRBRawChannel::GainCache},
    {"volt_sense",           &TChannelEditor::SetSense, &TI2CTranslator::SetSense,              4,  &TQRBRawChannel::volt_sense,           stVolt, &TQRBRawChannel::SenseCache},
    {"offset",               &TChannelEditor::SetOffset, &TI2CTranslator::SetOffset,             2,  &TQRBRawChannel::offset,               stVolt, &TQRBRawChannel::OffsetCache},
    {"monitor",              &TChannelEditor::SetMonitor, &TI2CTranslator::SetMonitor,            2,  &TQRBRawChannel::monitor,              stVolt, &TQRBRawChannel::MonitorCache},
    {"offsetdac_filter",     &TChannelEditor::SetOffsetDACFilter, &TI2CTranslator::SetOffsetDACFilter,    2,  &TQRBRawChannel::offsetdac_filter,     stVolt, nullptr},
    {"outputfilter",         &TChannelEditor::SetOutputFilter, &TI2CTranslator::SetOutputFilter,       2,  &TQRBRawChannel::outputfilter,         stVolt, &TQRBRawChannel::OutputFilterCache},
    {"quarterload",          &TChannelEditor::SetQuarterLoad, &TI2CTranslator::SetQuarterLoad,        2,  &TQRBRawChannel::quarterload,          stVolt, nullptr},
    {"pwr_at_signal",        &TChannelEditor::SetPwrAtSignal, &TI2CTranslator::SetPwrAtSignal,        2,  &TQRBRawChannel::pwr_at_signal,        stVolt, &TQRBRawChannel::PwrAtSignalCache},
    {"dms_shunt",            &TChannelEditor::SetDMSShunt, &TI2CTranslator::SetDMSShunt,           2,  &TQRBRawChannel::dms_shunt,            stVolt, &TQRBRawChannel::DMSShuntCache},
    {"120_Ohm",              &TChannelEditor::Set120Ohm, &TI2CTranslator::Set120Ohm,             2,  &TQRBRawChannel::_120_Ohm,             stVolt, &TQRBRawChannel::Is350OhmCache},
    {"pwrfilter5M",          &TChannelEditor::SetPwrFilter5M, &TI2CTranslator::SetPwrFilter5M,        2,  &TQRBRawChannel::pwrfilter5M,          stVolt, nullptr},
    {"current",              &TChannelEditor::SetCurrent, &TI2CTranslator::SetCurrent,            2,  &TQRBRawChannel::current,              stVolt, &TQRBRawChannel::CurrentCache},
    {"led1",                 &TChannelEditor::SetLED1, &TI2CTranslator::SetLED1,               2,  &TQRBRawChannel::led1,                 stVolt, nullptr},
    {"led2",                 &TChannelEditor::SetLED2, &TI2CTranslator::SetLED2,               2,  &TQRBRawChannel::led2,                 stVolt, nullptr},
    {"r25_shunt",            &TChannelEditor::SetR25Shunt, &TI2CTranslator::SetR25Shunt,           2,  &TQRBRawChannel::r25_shunt,            stVolt, nullptr},
    {"dmscableref",          &TChannelEditor::SetDMSCableRef, &TI2CTranslator::SetDMSCableRef,        2,  &TQRBRawChannel::dmscableref,          stVolt, nullptr},
    {"qtrloadsense",         &TChannelEditor::SetQtrLoadSense, &TI2CTranslator::SetQtrLoadSense,       2,  &TQRBRawChannel::qtrloadsense,         stVolt, nullptr},
    {"dms_pwr_on",           &TChannelEditor::SetDMSPwrOn, &TI2CTranslator::SetDMSPwrOn,           2,  &TQRBRawChannel::dms_pwr_on,           stVolt, nullptr},
    {"charge_mode",          &TChannelEditor::SetChargeMode, &TI2CTranslator::SetChargeMode,         4,  &TQRBRawChannel::charge_mode,          stCharge, &TQRBRawChannel::ChargeModeCache},
    {"charge_highpass",      &TChannelEditor::SetChargeHighpass, &TI2CTranslator::SetChargeHighpass,     2,  &TQRBRawChannel::charge_highpass,      stCharge, &TQRBRawChannel::HighpassCache},
    {"charge_capacity",      &TChannelEditor::SetChargeCapacity, &TI2CTranslator::SetChargeCapacity,     2,  &TQRBRawChannel::charge_capacity,      stCharge, &TQRBRawChannel::CapacityCache},
    {"chargeinput",          &TChannelEditor::SetChargeInput, &TI2CTranslator::SetChargeInput,        2,  &TQRBRawChannel::chargeinput,          stCharge, nullptr},
    {"charge_ac_out",        &TChannelEditor::SetChargeACOut, &TI2CTranslator::SetChargeACOut,        2,  &TQRBRawChannel::charge_ac_out,        stCharge, nullptr},
    {"charge_clear",         &TChannelEditor::SetChargeClear, &TI2CTranslator::SetChargeClear,        2,  &TQRBRawChannel::charge_clear,         stCharge, nullptr},
    {"charge_man_clearmode", &TChannelEditor::SetChargeManClearMode, &TI2CTranslator::SetChargeManClearMode, 2,  &TQRBRawChannel::charge_man_clearmode, stCharge, &TQRBRawChannel::AutoClearCache},
    {"volt_supply",          &TChannelEditor::SetSupply, &TI2CTranslator::SetSupply,             3,  &TQRBRawChannel::volt_supply,          stVolt, &TQRBRawChannel::SupplyCache},
};
// clang-format on

// Where the tables themselves do not give a setting back: the code, what it decodes as, and why.
struct TMismatch {
    const char* Kind; // TKind name
    std::string_view Setting;
    int Code;
    int Decoded;
    const char* Why;
};

// clang-format off
const TMismatch kMismatches[] = {
    // Pre-divider 0 has no range of its own.
    {"*", "range", 1, 4, "pre-divider 0 decodes as range 4"},
    {"*", "range", 3, 4, "pre-divider 0 decodes as range 4"},
    // The reference table repeats values; the search finds the first.
    {"version 0", "reference", 4, 0, "code 4 has the value of code 0"},
    {"version 0", "reference", 5, 3, "code 5 has the value of code 3"},
    {"version 1", "reference", 4, 0, "code 4 has the value of code 0"},
    {"version 1", "reference", 5, 3, "code 5 has the value of code 3"},
    {"version 2", "reference", 4, 0, "code 4 has the value of code 0"},
    {"version 2", "reference", 5, 3, "code 5 has the value of code 3"},
    // The simulated channels (version 3, charge input and ODU, no BNC) use the first table, whose
    // codes 4 and 5 alone are searched without BNC.
    {"simulated", "reference", 0, 4, "code 0 has the value of code 4"},
    {"simulated", "reference", 1, 0, "code 1 is not searched without BNC"},
    {"simulated", "reference", 2, 0, "code 2 is not searched without BNC"},
    {"simulated", "reference", 3, 5, "code 3 has the value of code 5"},
    // Version 0 lacks these relays (their rows decode only on version 1, or match nothing).
    {"version 0", "offset", 1, 0, "version 0 has no offset relay"},
    {"version 0", "offsetdac_filter", 1, 0, "version 1 only"},
    {"version 0", "outputfilter", 1, 0, "version 1 only"},
    {"version 0", "quarterload", 1, 0, "version 1 only"},
    {"version 0", "qtrloadsense", 1, 0, "version 1 only"},
    {"version 0", "dms_pwr_on", 1, 0, "version 1 only"},
    {"version 0", "dms_shunt", 1, 0, "decoded from word 3; the setter's word 6 table is empty on version 0"},
    {"version 0", "current", 1, 0, "decoded with word 3 bit 5, which no setter writes"},
    {"version 0", "charge_highpass", 1, 0, "empty version 0 table"},
    {"version 0", "charge_capacity", 1, 0, "empty version 0 table"},
    {"version 0", "chargeinput", 1, 0, "version 1 only"},
    {"version 0", "charge_ac_out", 1, 0, "version 1 only"},
    {"version 0", "charge_clear", 1, 0, "version 1 only"},
    {"version 0", "charge_man_clearmode", 1, 0, "version 1 only"},
    {"version 0", "charge_mode", 3, 2, "the AC output is not decoded on version 0"},
    {"version 0", "volt_supply", 1, 0, "DMS power is not decoded on version 0"},
    {"version 0", "volt_supply", 2, 0, "DMS power is not decoded on version 0"},
};
// clang-format on

int ExpectedDecode(std::string_view kind, std::string_view setting, int code) {
    for (const TMismatch& m : kMismatches) {
        if ((std::string_view(m.Kind) == "*" || m.Kind == kind) && m.Setting == setting && m.Code == code)
            return m.Decoded;
    }
    return code;
}

class ChannelRoundTrip : public ::testing::TestWithParam<TKind> {};

TEST_P(ChannelRoundTrip, EverySettingComesBackWhereTheTablesAllow) {
    const TKind& kind = GetParam();
    for (const TRoundTripRow& row : kRoundTrips) {
        for (int code = row.Codes - 1; code >= 0; --code) {
            SCOPED_TRACE(testing::Message() << kind.Name << " " << row.Name << " " << code);
            auto ch = MakeChannel(kind, row.Type);
            TChannelEditor e(*ch);
            ASSERT_TRUE((e.*row.Setter)(static_cast<uint8_t>(code)));
            TQRBRawChannel pendingState(0, 0, 0, 0, device::TInterfaceKind::ikNone, nullptr);
            CopyCaches(*ch, pendingState);
            CommitLocally(*ch);
            const int expected = ExpectedDecode(kind.Name, row.Name, code);
            EXPECT_EQ((*ch).*row.Decoded, expected);
            if (expected == code) {
                // The caches the setter wrote are the ones the decode gives.
                if (row.Cache) {
                    EXPECT_EQ((*ch).*row.Cache, pendingState.*row.Cache);
                }
                EXPECT_EQ(ch->OffsetDACCache, pendingState.OffsetDACCache);
                EXPECT_EQ(ch->PowerDACCache, pendingState.PowerDACCache);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Versions, ChannelRoundTrip, ::testing::Values(kV0, kV1, kV2), [](const auto& info) {
    return std::string("Version") + char('0' + info.param.InfoVersion);
});

TEST(ChannelRoundTrip, DACs) {
    for (const TKind& kind : {kV0, kV1}) {
        auto ch = MakeChannel(kind);
        ASSERT_TRUE(TChannelEditor(*ch).SetDACs(1234, 3210));
        CommitLocally(*ch);
        EXPECT_EQ(ch->PowerDAC, 1234);
        EXPECT_EQ(ch->OffsetDAC, 3210);
        EXPECT_EQ(ch->PowerDACCache2, 1234);
    }
}

// The reference decode depends on the connectors; these channels give codes back differently.
TEST(ChannelRoundTrip, ReferenceByConnectors) {
    struct TCase {
        TKind Kind;
        uint8_t Open;
        std::vector<int> Decoded; // of codes 0..5
    };
    const TCase cases[] = {
        // Without BNC only codes 4 and 5 are searched.
        {{"no BNC", 1, 0, false}, 0, {4, 0, 0, 5, 4, 5}},
        {{"no BNC v0", 0, 0, false}, 0, {4, 0, 0, 5, 4, 5}},
        // Charge with ODU below version 2: second table for setting and decoding.
        {{"charge ODU v1", 1, kFeatCharge | kFeatODU | kFeatBNC, false}, 0, {0, 1, 2, 1, 4, 1}},
        {{"charge ODU v1 open", 1, kFeatCharge | kFeatODU | kFeatBNC, false}, 1, {0, 1, 2, 1, 4, 2}},
        // Without BNC the value of code 2, which code 5 writes with open ground, is code 5.
        {{"charge ODU v1 no BNC", 1, kFeatCharge | kFeatODU, false}, 0, {0, 5, 5, 5, 4, 5}},
        {{"charge ODU v0", 0, kFeatCharge | kFeatODU | kFeatBNC, false}, 0, {0, 1, 2, 3, 0, 3}},
        // From version 2 on both take the first table.
        {{"charge ODU v2", 2, kFeatCharge | kFeatODU | kFeatBNC, true}, 0, {0, 1, 2, 3, 0, 3}},
        {{"charge ODU v2 no BNC", 2, kFeatCharge | kFeatODU, true}, 0, {4, 0, 0, 5, 4, 5}},
    };
    for (const TCase& c : cases) {
        for (uint8_t code = 0; code < 6; ++code) {
            SCOPED_TRACE(testing::Message() << c.Kind.Name << " code " << int(code));
            auto ch = MakeChannel(c.Kind);
            ch->open_gnd_shield = c.Open;
            ASSERT_TRUE(TChannelEditor(*ch).SetReference(code));
            CommitLocally(*ch);
            EXPECT_EQ(ch->reference, c.Decoded[code]);
        }
    }
}

// Without BNC codes 4 and 5 come back from either table on every version, through the
// open-ground/shield toggle both ways, with the input (word 6) and ground (word 3) relays the
// setter sets for them.
TEST(ChannelRoundTrip, ReferenceWithoutBNCSurvivesTheOpenGroundToggle) {
    struct TRelays {
        uint16_t Input;  // word 6 AND the reference decode mask
        uint16_t Ground; // word 3 AND 0x1400
    };
    struct TCase {
        TKind Kind;
        uint8_t Code;
        TRelays Connected, Open;
    };
    constexpr uint8_t kChargeODU = kFeatCharge | kFeatODU;
    const TCase cases[] = {
        // First table.
        {{"v0", 0, 0, false}, 4, {0x08C8, 0x0400}, {0x08C8, 0x0400}},
        {{"v0", 0, 0, false}, 5, {0x0382, 0x1000}, {0x0382, 0x0400}},
        {{"v1", 1, 0, false}, 4, {0x00C8, 0x0400}, {0x00C8, 0x0400}},
        {{"v1", 1, 0, false}, 5, {0x04C0, 0x1000}, {0x04C0, 0x0400}},
        {{"v2", 2, 0, true}, 4, {0x00C8, 0x0400}, {0x00C8, 0x0400}},
        {{"v2", 2, 0, true}, 5, {0x04C0, 0x1000}, {0x04C0, 0x0400}},
        {{"charge v1", 1, kFeatCharge, false}, 5, {0x04C0, 0x1000}, {0x04C0, 0x0400}},
        {{"ODU v1", 1, kFeatODU, false}, 5, {0x04C0, 0x1000}, {0x04C0, 0x0400}},
        {{"charge ODU v2", 2, kChargeODU, true}, 4, {0x00C8, 0x0400}, {0x00C8, 0x0400}},
        {{"charge ODU v2", 2, kChargeODU, true}, 5, {0x04C0, 0x1000}, {0x04C0, 0x0400}},
        {{"charge ODU v3", 3, kChargeODU, true}, 4, {0x00C8, 0x0400}, {0x00C8, 0x0400}},
        {{"charge ODU v3", 3, kChargeODU, true}, 5, {0x04C0, 0x1000}, {0x04C0, 0x0400}},
        // Second table; code 5 with open ground writes the value of code 2.
        {{"charge ODU v0", 0, kChargeODU, false}, 4, {0x08C8, 0x0400}, {0x08C8, 0x0400}},
        {{"charge ODU v0", 0, kChargeODU, false}, 5, {0x0382, 0x1000}, {0x028A, 0x0400}},
        {{"charge ODU v1", 1, kChargeODU, false}, 4, {0x04C0, 0x0400}, {0x04C0, 0x0400}},
        {{"charge ODU v1", 1, kChargeODU, false}, 5, {0x0068, 0x1000}, {0x0288, 0x0400}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Kind.Name << " code " << int(c.Code));
        auto ch = MakeChannel(c.Kind);
        const uint16_t inputMask = c.Kind.InfoVersion == 0 ? 0x0BEA : 0x06E8;
        TChannelEditor e(*ch);
        auto expect = [&](const TRelays& relays, const char* step) {
            SCOPED_TRACE(step);
            EXPECT_EQ(ch->Pending.Image.Words[6] & inputMask, relays.Input);
            EXPECT_EQ(ch->Pending.Image.Words[3] & 0x1400, relays.Ground);
            CommitLocally(*ch);
            EXPECT_EQ(ch->reference, c.Code);
            EXPECT_EQ(ch->ReferenceCache, c.Code);
        };
        ASSERT_TRUE(e.SetReference(c.Code));
        expect(c.Connected, "set");
        ASSERT_TRUE(e.SetOpenGndShield(1));
        expect(c.Open, "opened");
        ASSERT_TRUE(e.SetOpenGndShield(0));
        expect(c.Connected, "connected again");
    }
}

// Charge mode decodes through VRefMinus from version 2 on and VRefPlus below; mode 2 sets the
// pair by the ADC18, so a channel whose ADC18 does not match its version decodes mode 2 as 1.
TEST(ChannelRoundTrip, ChargeModeByVersionAndADC18) {
    struct TCase {
        TKind Kind;
        std::vector<int> Decoded; // of modes 0..3
    };
    const TCase cases[] = {
        {{"v1 ADC18", 1, kFeatCharge, true}, {0, 1, 1, 3}},
        {{"v2 no ADC18", 2, kFeatCharge, false}, {0, 1, 1, 3}},
        {{"v2 ADC18", 2, kFeatCharge, true}, {0, 1, 2, 3}},
        {{"v1", 1, kFeatCharge, false}, {0, 1, 2, 3}},
    };
    for (const TCase& c : cases) {
        for (uint8_t mode = 0; mode < 4; ++mode) {
            SCOPED_TRACE(testing::Message() << c.Kind.Name << " mode " << int(mode));
            auto ch = MakeChannel(c.Kind, stCharge);
            ASSERT_TRUE(TChannelEditor(*ch).SetChargeMode(mode));
            CommitLocally(*ch);
            EXPECT_EQ(ch->charge_mode, c.Decoded[mode]);
        }
    }
}

// ---- The translator's setters -------------------------------------------------------------

struct TTranslatorSetterRow {
    const char* Name;
    TTranslatorSetter Setter;
    int Codes;
};

// clang-format off
const TTranslatorSetterRow kTranslatorSetters[] = {
    {"SetCoupling", &TI2CTranslator::SetCoupling, 7},
    {"SetReference", &TI2CTranslator::SetReference, 6},
    {"SetOpenGndShield", &TI2CTranslator::SetOpenGndShield, 2},
    {"SetVRefPlus", &TI2CTranslator::SetVRefPlus, 8},
    {"SetVRefMinus", &TI2CTranslator::SetVRefMinus, 8},
    {"SetRange", &TI2CTranslator::SetRange, 26},
    {"SetPreDivider", &TI2CTranslator::SetPreDivider, 11},
    {"SetGain", &TI2CTranslator::SetGain, 6},
    {"SetTEDSPower", &TI2CTranslator::SetTEDSPower, 2},
    {"SetSense", &TI2CTranslator::SetSense, 4},
    {"SetOffset", &TI2CTranslator::SetOffset, 2},
    {"SetMonitor", &TI2CTranslator::SetMonitor, 2},
    {"SetOffsetDACFilter", &TI2CTranslator::SetOffsetDACFilter, 2},
    {"SetZeroInput", &TI2CTranslator::SetZeroInput, 2},
    {"SetOutputFilter", &TI2CTranslator::SetOutputFilter, 2},
    {"SetQuarterLoad", &TI2CTranslator::SetQuarterLoad, 2},
    {"SetPwrAtSignal", &TI2CTranslator::SetPwrAtSignal, 2},
    {"SetDMSShunt", &TI2CTranslator::SetDMSShunt, 2},
    {"Set120Ohm", &TI2CTranslator::Set120Ohm, 2},
    {"SetPwrFilter5M", &TI2CTranslator::SetPwrFilter5M, 2},
    {"SetCurrent", &TI2CTranslator::SetCurrent, 2},
    {"SetLED1", &TI2CTranslator::SetLED1, 2},
    {"SetLED2", &TI2CTranslator::SetLED2, 2},
    {"SetR25Shunt", &TI2CTranslator::SetR25Shunt, 2},
    {"SetQtrLoadSense", &TI2CTranslator::SetQtrLoadSense, 2},
    {"SetDMSPwrOn", &TI2CTranslator::SetDMSPwrOn, 2},
    {"SetDMSCableRef", &TI2CTranslator::SetDMSCableRef, 2},
    {"SetChargeMode", &TI2CTranslator::SetChargeMode, 4},
    {"SetChargeHighpass", &TI2CTranslator::SetChargeHighpass, 2},
    {"SetChargeCapacity", &TI2CTranslator::SetChargeCapacity, 2},
    {"SetChargeInput", &TI2CTranslator::SetChargeInput, 2},
    {"SetChargeACOut", &TI2CTranslator::SetChargeACOut, 2},
    {"SetChargeClear", &TI2CTranslator::SetChargeClear, 2},
    {"SetChargeManClearMode", &TI2CTranslator::SetChargeManClearMode, 2},
};
// clang-format on

// Two channels of version 0 and 2 and a defect slot, on a scripted LAN device.
class TranslatorSetters : public test::TranslatorFixture {
protected:
    void SetUp() override {
        Create();
        lan->Devices = {test::GoodDevice("10.0.0.1", 2)};
        auto& slots = lan->Device(0).Block.Slots;
        slots[0] = test::PresentSlot(1000, 0);
        slots[0].HasADC18 = 0;
        slots[0].Current = device::DefaultRegisterImage(0);
        slots[1].Current = device::DefaultRegisterImage(1);
        slots[2].Fitted = 1; // fitted, not present
        ASSERT_EQ(translator->Rescan(), 3);
        ASSERT_TRUE(translator->GetChannel(2)->Defect);
        events.clear();
        for (int i = 0; i < 3; ++i)
            before.push_back(Capture(*translator->GetChannel(i)));
    }

    bool Unchanged() const {
        for (int i = 0; i < 3; ++i) {
            if (!(Capture(*translator->GetChannel(i)) == before[i])) return false;
        }
        return true;
    }

    std::vector<TEditState> before;
};

TEST_F(TranslatorSetters, RefuseIndicesOutsideTheListAndChannelsNotPresent) {
    struct TCase {
        int32_t Index;
        std::string Error;
    };
    const TCase cases[] = {{-1, "Error: Invalid channel 0"},
                           {3, "Error: Invalid channel 4"},
                           {2, "Error: Invalid channel 3"},
                           {-2147483647 - 1, "Error: Invalid channel -2147483647"}};
    for (const TCase& c : cases) {
        for (const TTranslatorSetterRow& row : kTranslatorSetters) {
            SCOPED_TRACE(testing::Message() << row.Name << " " << c.Index);
            events.clear();
            EXPECT_FALSE(((*translator).*row.Setter)(c.Index, 0));
            EXPECT_EQ(events, std::vector<std::string>{c.Error});
        }
        events.clear();
        EXPECT_FALSE(translator->SetSupply(c.Index, 1));
        EXPECT_FALSE(translator->SetDACs(c.Index, 1, 2));
        EXPECT_EQ(events, (std::vector<std::string>{c.Error, c.Error}));
    }
    EXPECT_TRUE(Unchanged());
    EXPECT_EQ(translator->LastError, "");
}

TEST_F(TranslatorSetters, RefuseCodesOutsideTheTable) {
    for (const TTranslatorSetterRow& row : kTranslatorSetters) {
        for (int index : {0, 1}) {
            SCOPED_TRACE(testing::Message() << row.Name << " " << index);
            events.clear();
            EXPECT_FALSE(((*translator).*row.Setter)(index, static_cast<uint8_t>(row.Codes)));
            EXPECT_EQ(events, std::vector<std::string>{device::Format(
                                  "Error: Invalid value %d for channel %d", row.Codes, index + 1)});
        }
    }
    EXPECT_TRUE(Unchanged());
}

TEST_F(TranslatorSetters, CompoundSettersReportABadChannelOnce) {
    EXPECT_FALSE(translator->SetRange(7, 3));
    EXPECT_FALSE(translator->SetChargeMode(7, 1));
    EXPECT_FALSE(translator->SetSupply(7, 1));
    EXPECT_FALSE(translator->SetOpenGndShield(7, 1));
    EXPECT_EQ(events, std::vector<std::string>(4, "Error: Invalid channel 8"));
}

TEST_F(TranslatorSetters, EditOnlyThePendingImage) {
    for (const TTranslatorSetterRow& row : kTranslatorSetters)
        EXPECT_TRUE(((*translator).*row.Setter)(1, static_cast<uint8_t>(row.Codes - 1))) << row.Name;
    EXPECT_TRUE(translator->SetSupply(1, 2));
    EXPECT_TRUE(translator->SetDACs(1, 4000, 5000));
    const TQRBRawChannel& ch = *translator->GetChannel(1);
    EXPECT_TRUE(ImagesDiffer(ch.Pending.Image, ch.Current.Image));
    EXPECT_EQ(ch.Current, before[1].Pending);
    EXPECT_EQ(ch.Pending.Image.Words[8], 4095);
    EXPECT_TRUE(events.empty());
    EXPECT_TRUE(lan->Device(0).ChannelWrites.empty());
}

// Set through the translator, commit, decode: the setting comes back where the tables allow.
void TranslatorRoundTrip(TI2CTranslator& t, int32_t index, std::string_view kind) {
    TQRBRawChannel& ch = *t.GetChannel(index);
    for (const TRoundTripRow& row : kRoundTrips) {
        ch.SensorType = row.Type;
        for (int code = 0; code < row.Codes; ++code) {
            SCOPED_TRACE(testing::Message() << kind << " " << row.Name << " " << code);
            ASSERT_TRUE((t.*row.Translator)(index, static_cast<uint8_t>(code)));
            ASSERT_TRUE(t.NewConfig(0, true));
            EXPECT_EQ(ch.*row.Decoded, ExpectedDecode(kind, row.Name, code));
            EXPECT_EQ(ch.Pending, ch.Current);
        }
    }
}

TEST_F(TranslatorSetters, RoundTripsThroughCommits) {
    TranslatorRoundTrip(*translator, 0, "version 0");
    TranslatorRoundTrip(*translator, 1, "version 2");
    EXPECT_FALSE(lan->Device(0).ChannelWrites.empty());
    EXPECT_TRUE(Events("Error").empty());
}

TEST(TranslatorSettersOffline, RoundTripsThroughTheSimulatedTransport) {
    test::TInstalledVirtualMainLoop loop;
    TI2CTranslator translator{device::kMaskOffline, false, device::DefaultTransportFactory()};
    translator.OnConfigComplete = [](const void*) {};
    ASSERT_EQ(translator.AddScanTarget("A-2:3", device::kMaskOffline), 0);
    ASSERT_EQ(translator.Rescan(), 2);
    const TQRBRawChannel& ch = *translator.GetChannel(1);
    ASSERT_EQ(ch.Info.Version, 3);
    ASSERT_EQ(ch.Info.Features, kFeatCharge | kFeatODU);
    ASSERT_TRUE(ch.HasADC18);
    TranslatorRoundTrip(translator, 1, "simulated");
}

TEST(TranslatorSettersOffline, SimulatedReferenceSurvivesTheOpenGroundToggle) {
    test::TInstalledVirtualMainLoop loop;
    TI2CTranslator translator{device::kMaskOffline, false, device::DefaultTransportFactory()};
    translator.OnConfigComplete = [](const void*) {};
    ASSERT_EQ(translator.AddScanTarget("A-2:3", device::kMaskOffline), 0);
    ASSERT_EQ(translator.Rescan(), 2);
    const TQRBRawChannel& ch = *translator.GetChannel(1);
    for (uint8_t code : {uint8_t{4}, uint8_t{5}}) {
        SCOPED_TRACE(int(code));
        ASSERT_TRUE(translator.SetReference(1, code));
        ASSERT_TRUE(translator.NewConfig(0, true));
        for (uint8_t open : {uint8_t{1}, uint8_t{0}}) {
            ASSERT_TRUE(translator.SetOpenGndShield(1, open));
            ASSERT_TRUE(translator.NewConfig(0, true));
            EXPECT_EQ(ch.reference, code);
            EXPECT_EQ(ch.Current.Image.Words[3] & 0x1400, code == 5 && !open ? 0x1000 : 0x0400);
        }
    }
}
} // namespace
} // namespace qrb::model
