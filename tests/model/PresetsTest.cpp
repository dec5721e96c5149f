// Sensor-type presets, channel defaults and the channel clipboard: preset images worked out by
// hand from the step lists and the setting tables, on both hardware rows; the commits of
// ApplySensorType, the defaults and LoadDefaults; copy and paste round trips.

#include "tests/model/DeviceTestSupport.h"

#include <array>

namespace qrb::test {
namespace {

using namespace model;
using device::TI2CResult;
using Image = std::array<uint16_t, 9>;
using Strings = std::vector<std::string>;

// A present slot: Current all zero but the offset DAC at 2048; Defaults the same with the power
// DAC zero in word 7 (read as PowerZero without an 18-bit ADC).
device::TChannelInfoSlot Slot(uint8_t infoVersion, bool adc18, uint8_t features, uint16_t powerZero = 1000) {
    device::TChannelInfoSlot slot;
    slot.Present = 1;
    slot.Fitted = 1;
    slot.HasADC18 = adc18 ? 1 : 0;
    slot.ADC8LowVal = 120;
    slot.Info.Version = infoVersion;
    slot.Info.Serial = 4711;
    slot.Info.Features = features;
    slot.Current.Words[8] = 2048;
    slot.Info.Defaults = slot.Current;
    slot.Info.Defaults.Words[7] = powerZero;
    return slot;
}

constexpr uint8_t kBNC = 0x02;
constexpr uint8_t kChargeBNC = 0x03;

Image Words(const device::TRegisterImage& image) {
    Image out{};
    std::copy(image.Words.begin(), image.Words.end(), out.begin());
    return out;
}

class Presets : public RecordingFixture {
protected:
    // One device whose slots are the given ones.
    void CreateSlots(const std::vector<device::TChannelInfoSlot>& slots) {
        TScriptedDevice d = GoodDevice("10.0.0.1", 0);
        d.Info.ActiveChannels = static_cast<uint8_t>(slots.size());
        for (size_t s = 0; s < slots.size(); ++s)
            d.Block.Slots[s] = slots[s];
        Create({d});
    }

    Image Pending(int index) { return Words(Channel(index).Pending.Image); }
    Image Current(int index) { return Words(Channel(index).Current.Image); }
};

// ---- Preset images --------------------------------------------------------------------------

// Row 1: information version 2 (hardware variant 1) with an 18-bit ADC, so PowerZero is 0.
// Row 0: information version 0 (hardware variant 0) without one, PowerZero 1000 from the
// defaults. Both start from an all-zero image with the offset DAC at 2048 and no usable
// calibration, so every offset follow-up lands on 2048.
TEST_F(Presets, PresetImagesOnBothHardwareRows) {
    struct Case {
        const char* name;
        int row;
        TSensorType type;
        Image expected;
    };
    const Case cases[] = {
        {"OFF", 1, stOff, {0, 0, 0x0040, 0x255B, 0x0AAB, 0x0010, 0xC9CA, 0, 0x0800}},
        {"VOLT", 1, stVolt, {0, 0, 0x0040, 0x315F, 0x0AAB, 0x0010, 0xCDC2, 0, 0x0800}},
        {"ICP", 1, stICP, {0, 0, 0x0040, 0x734F, 0x56AB, 0x0010, 0x9CD2, 315, 0x0800}},
        {"DMS current", 1, stDMSCurrent, {0, 0, 0x0040, 0x715F, 0x5EAB, 0x0010, 0x9CD2, 786, 0x0800}},
        {"full bridge", 1, stDMSFullbridge, {0, 0, 0x0040, 0x715D, 0x0E8B, 0x0010, 0xCDC2, 3, 0x0800}},
        {"half bridge", 1, stDMSHalfbridge, {0, 0, 0x0040, 0x715D, 0x0E8B, 0x0010, 0xCDC2, 3, 0x0800}},
        {"quarter bridge", 1, stDMSQuarterbridge, {0, 0, 0x0040, 0x715D, 0x0E8B, 0x0010, 0xCDC2, 3, 0x0800}},
        {"CURRENT", 1, stCurrent, {0, 0x6698, 0x085A, 0x315F, 0x08BB, 0x0010, 0x45C7, 0, 0x0800}},
        {"RTD", 1, stRTD, {0, 0, 0x0040, 0x715F, 0x5EAB, 0x0010, 0x9CD2, 79, 0x0800}},
        {"CHARGE", 1, stCharge, {0, 0x6698, 0x086A, 0x255F, 0x0AAB, 0x0116, 0xC9CA, 0, 0x0800}},
        {"Debug", 1, stDebug, {0, 0, 0x0040, 0x255B, 0x0AAB, 0x0010, 0xC9CA, 0, 0x0800}},
        {"OFF", 0, stOff, {0, 0, 0x0080, 0x2513, 0x02D3, 0, 0xCCCC, 1000, 0x0800}},
        {"VOLT", 0, stVolt, {0, 0, 0x0080, 0x3117, 0x02D3, 0, 0xC786, 1000, 0x0800}},
        {"ICP", 0, stICP, {0, 0, 0x0080, 0x7307, 0x02D3, 0, 0x9396, 1123, 0x0800}},
        {"DMS current", 0, stDMSCurrent, {0, 0, 0x0080, 0x7117, 0x02D3, 0, 0x9396, 1306, 0x0800}},
        {"full bridge", 0, stDMSFullbridge, {0, 0, 0x0080, 0x7115, 0x0293, 0, 0xC786, 1003, 0x0800}},
        {"half bridge", 0, stDMSHalfbridge, {0, 0, 0x0080, 0x7115, 0x0293, 0, 0xC786, 1003, 0x0800}},
        {"quarter bridge", 0, stDMSQuarterbridge, {0, 0, 0x0080, 0x7115, 0x0293, 0, 0xC786, 1003, 0x0800}},
        {"CURRENT", 0, stCurrent, {0, 0x659A, 0x009A, 0x3117, 0x0273, 0, 0x6783, 1000, 0x0800}},
        {"RTD", 0, stRTD, {0, 0, 0x0080, 0x7117, 0x02D3, 0, 0x9396, 1079, 0x0800}},
        {"CHARGE", 0, stCharge, {0, 0x659A, 0x00AA, 0x2517, 0x02D3, 0, 0xCCCC, 1000, 0x0800}},
        {"Debug", 0, stDebug, {0, 0, 0x0080, 0x2513, 0x02D3, 0, 0xCCCC, 1000, 0x0800}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " on row " + std::to_string(c.row));
        const uint8_t features = c.type == stCharge ? kChargeBNC : kBNC;
        CreateSlots({c.row == 1 ? Slot(2, true, features) : Slot(0, false, features)});
        ASSERT_EQ(Channel(0).HWVersion, c.row);
        EXPECT_TRUE(translator->SetSensorType(0, c.type));
        EXPECT_EQ(Pending(0), c.expected);
        EXPECT_EQ(Channel(0).SensorType, c.type);
        EXPECT_EQ(Channel(0).TypeCache, c.type);
        // No commit: nothing reached the device.
        EXPECT_TRUE(amp->Log.empty());
        EXPECT_EQ(Current(0), (Image{0, 0, 0, 0, 0, 0, 0, 0, 2048}));
        EXPECT_TRUE(events.empty());
    }
}

TEST_F(Presets, ICPPowerStepFollowsTheInformationVersion) {
    struct Case {
        uint8_t version;
        uint16_t word7;
    };
    for (const Case& c : {Case{1, 1123}, Case{2, 1315}}) {
        SCOPED_TRACE(c.version);
        CreateSlots({Slot(c.version, false, kBNC, 1000)});
        ASSERT_EQ(Channel(0).PowerZero, 1000);
        EXPECT_TRUE(translator->PresetICP(0));
        EXPECT_EQ(Channel(0).Pending.Image.Words[7], c.word7);
    }
}

TEST_F(Presets, ICPCompensationVoltageSetsTheLoadedSenseWithAnADC18) {
    CreateSlots({Slot(2, true, kBNC), Slot(2, false, kBNC)});
    translator->SetICPCompVoltage(1);
    EXPECT_TRUE(translator->PresetICP(0));
    EXPECT_TRUE(translator->PresetICP(1));
    EXPECT_EQ(Channel(0).Pending.Image.Words[4] & 0x0800, 0x0800);
    // Without the ADC only the supply preset's step is left: loaded sense off.
    EXPECT_EQ(Channel(1).Pending.Image.Words[4] & 0x0800, 0);
}

TEST_F(Presets, CurrentAndChargeEndOnTheirRanges) {
    CreateSlots({Slot(2, true, kBNC), Slot(2, true, kChargeBNC)});
    EXPECT_TRUE(translator->SetSensorType(0, stCurrent));
    EXPECT_TRUE(translator->SetSensorType(1, stCharge));
    EXPECT_EQ(Channel(0).RangeCache, 14);
    EXPECT_EQ(Channel(1).RangeCache, 12);
}

TEST_F(Presets, ATypeAboveTenIsStoredWithoutAPreset) {
    CreateSlots({Slot(2, true, kBNC)});
    const Image before = Pending(0);
    EXPECT_FALSE(translator->SetSensorType(0, 12));
    EXPECT_EQ(Channel(0).SensorType, 12);
    EXPECT_EQ(Channel(0).TypeCache, 12);
    EXPECT_EQ(Pending(0), before);
    EXPECT_TRUE(events.empty());
}

TEST_F(Presets, PresetsRefuseChannelsOutsideTheModel) {
    CreateSlots({Slot(2, true, kBNC), Slot(2, true, kBNC)});
    Channel(1).Present = false;
    const Image before = Pending(1);
    EXPECT_FALSE(translator->SetSensorType(2, stVolt));
    EXPECT_FALSE(translator->SetSensorType(1, stVolt));
    EXPECT_FALSE(translator->PresetCharge(-1));
    EXPECT_EQ(Pending(1), before);
    EXPECT_EQ(Channel(1).SensorType, stOff);
    EXPECT_EQ(events,
              (Strings{"Error: Invalid channel 3", "Error: Invalid channel 2", "Error: Invalid channel 0"}));
}

// ---- ApplySensorType ------------------------------------------------------------------------

TEST_F(Presets, ApplySensorTypeCommitsAndDecodes) {
    CreateSlots({Slot(2, true, kBNC)});
    EXPECT_TRUE(translator->ApplySensorType(0, stVolt));
    EXPECT_EQ(amp->Log, (Strings{"WriteChannel(0,0)"}));
    EXPECT_EQ(Current(0), (Image{stVolt, 0, 0x0040, 0x315F, 0x0AAB, 0x0010, 0xCDC2, 0, 0x0800}));
    EXPECT_EQ(Channel(0).SensorType, stVolt);
    EXPECT_EQ(Channel(0).led1, 1);
    EXPECT_EQ(events, (Strings{"ConfigComplete"}));
}

TEST_F(Presets, ApplySensorTypeWritesAChangeOfTypeAlone) {
    // Full and half bridge have the same image: the type is still committed.
    CreateSlots({Slot(2, true, kBNC)});
    ASSERT_TRUE(translator->ApplySensorType(0, stDMSFullbridge));
    amp->Log.clear();
    EXPECT_TRUE(translator->ApplySensorType(0, stDMSHalfbridge));
    EXPECT_EQ(amp->Log, (Strings{"WriteChannel(0,0)"}));
    EXPECT_EQ(Channel(0).SensorType, stDMSHalfbridge);
    EXPECT_EQ(Channel(0).Current.Image.Words[0], stDMSHalfbridge);
}

TEST_F(Presets, ApplySensorTypeFailsWhenItsCommitFails) {
    CreateSlots({Slot(2, true, kBNC)});
    amp->Device(0).WriteChannelResult = TI2CResult::irDeviceError;
    EXPECT_FALSE(translator->ApplySensorType(0, stICP));
    // The refused image is gone from the model.
    EXPECT_EQ(Current(0), (Image{0, 0, 0, 0, 0, 0, 0, 0, 2048}));
    EXPECT_EQ(Pending(0), Current(0));
    EXPECT_EQ(Channel(0).SensorType, stOff);
}

TEST_F(Presets, ApplySensorTypeRefusesATypeAboveTen) {
    CreateSlots({Slot(2, true, kBNC), Slot(2, true, kBNC)});
    const Image before = Pending(1);
    EXPECT_FALSE(translator->ApplySensorType(1, 11));
    EXPECT_EQ(events, (Strings{"Error: Invalid sensortype 11 on channel 2"}));
    EXPECT_EQ(Pending(1), before);
    EXPECT_EQ(Channel(1).SensorType, stOff);
    EXPECT_TRUE(amp->Log.empty());
}

// ---- Defaults -------------------------------------------------------------------------------

// Defaults that differ from the scanned image in every register word.
device::TRegisterImage StoredDefaults() {
    device::TRegisterImage d;
    d.Words = {7, 0x9595, 0x062A, 0x2513, 0x0290, 0x0116, 0xC9CA, 1000, 0x0700};
    return d;
}

TEST_F(Presets, DefaultSettingsAllResetsEveryPresentChannelWithOneCommit) {
    auto slot = Slot(2, true, kBNC);
    slot.Info.Defaults = StoredDefaults();
    slot.Info.ADC8StatVal = 200;
    slot.Info.ADC8LowVal = 252;
    CreateSlots({slot, slot, slot});
    Channel(2).Present = false;
    for (int i = 0; i < 3; ++i) {
        Channel(i).open_gnd_shield = 1;
        Channel(i).SensorType = stRTD;
    }
    EXPECT_TRUE(translator->DefaultSettingsAll());
    EXPECT_EQ(amp->Log, (Strings{"WriteChannel(0,0)", "WriteChannel(0,1)"}));
    EXPECT_EQ(events, (Strings{"ConfigComplete"}));
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        const model::TQRBRawChannel& c = Channel(i);
        EXPECT_EQ(c.SensorType, stOff);
        EXPECT_EQ(c.Current.Image.Words[0], stOff);
        EXPECT_EQ(c.RangeCache, 4);
        EXPECT_EQ(c.OffsetCache, 0);
        EXPECT_EQ(c.OutputFilterCache, 0);
        EXPECT_EQ(c.open_gnd_shield, 0);
        EXPECT_EQ(c.ADC8StatVal, 236); // decoded from the committed image: status on
        EXPECT_EQ(c.ADC8LowVal, 252);
        EXPECT_EQ(c.led1, 0);
    }
    EXPECT_EQ(Channel(2).SensorType, stRTD);
    EXPECT_EQ(Channel(2).open_gnd_shield, 1);
}

TEST_F(Presets, ResetSelectedChannelsTouchesOnlyTheSelection) {
    CreateSlots({Slot(2, true, kBNC), Slot(2, true, kBNC), Slot(2, true, kBNC)});
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(translator->ApplySensorType(i, stVolt));
    amp->Log.clear();
    events.clear();
    translator->Selected[1] = true;
    EXPECT_TRUE(translator->ResetSelectedChannels());
    EXPECT_EQ(amp->Log, (Strings{"WriteChannel(0,1)"}));
    EXPECT_EQ(Channel(0).SensorType, stVolt);
    EXPECT_EQ(Channel(1).SensorType, stOff);
    EXPECT_EQ(Channel(2).SensorType, stVolt);
    EXPECT_EQ(events, (Strings{"ConfigComplete"}));
}

TEST_F(Presets, StoreDefaultsThenLoadDefaultsRoundTrip) {
    CreateSlots({Slot(2, true, kBNC), Slot(2, true, kBNC)});
    ASSERT_TRUE(translator->ApplySensorType(1, stICP));
    amp->Log.clear();
    events.clear();

    // What the zero adjustment does: a new offset zero in the defaults, stored.
    model::TQRBRawChannel& c = Channel(1);
    c.Info.Defaults = StoredDefaults();
    c.Info.ADC8LowVal = 252;
    EXPECT_TRUE(translator->StoreDefaults(1));
    ASSERT_EQ(amp->Device(0).ChannelInfoWrites.size(), 1u);
    EXPECT_EQ(amp->Device(0).ChannelInfoWrites[0].first, 1);
    EXPECT_EQ(amp->Device(0).ChannelInfoWrites[0].second, c.Info);

    c.open_gnd_shield = 1;
    translator->RegisterDump = true;
    EXPECT_TRUE(translator->LoadDefaults(1));
    EXPECT_EQ(amp->Log,
              (Strings{"SetChannelInfo(0,1)", "SetMux(0,0,1,4)", "WriteChannel(0,1)", "SetMux(0,0,1,5)"}));
    Image expected = Words(StoredDefaults());
    expected[0] = stOff;
    EXPECT_EQ(Current(1), expected);
    EXPECT_EQ(c.SensorType, stOff);
    EXPECT_EQ(c.open_gnd_shield, 0);
    EXPECT_EQ(c.ADC8LowVal, 252);
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[1], "ConfigComplete");
    std::string line;
    translator->DumpRegisters(c, line);
    EXPECT_EQ(events[2], "Dump: " + line);
}

TEST_F(Presets, LoadDefaultsWithoutThePathChangesNothing) {
    CreateSlots({Slot(2, true, kBNC), Slot(2, true, kBNC)});
    Channel(1).Info.Defaults = StoredDefaults();
    ASSERT_TRUE(translator->SetSensorType(1, stVolt));
    const Image before = Pending(1);
    amp->Refuse["SetMux(0,0,1,4)"] = TI2CResult::irNoAnswer;
    EXPECT_FALSE(translator->LoadDefaults(1));
    EXPECT_EQ(Pending(1), before);
    EXPECT_EQ(Channel(1).SensorType, stVolt);
    EXPECT_EQ(amp->Log, (Strings{"SetMux(0,0,1,4)"}));
    EXPECT_TRUE(events.empty());
}

TEST_F(Presets, LoadDefaultsFailsWhenTheDeviceRefusesTheImage) {
    CreateSlots({Slot(2, true, kBNC)});
    Channel(0).Info.Defaults = StoredDefaults();
    amp->Device(0).WriteChannelResult = TI2CResult::irDeviceError;
    EXPECT_FALSE(translator->LoadDefaults(0));
    // The path is released all the same.
    EXPECT_EQ(amp->Log.back(), "SetMux(0,0,0,5)");
    EXPECT_EQ(Current(0), (Image{0, 0, 0, 0, 0, 0, 0, 0, 2048}));
}

TEST_F(Presets, DefaultsRefuseChannelsThatAreNotPresent) {
    CreateSlots({Slot(2, true, kBNC)});
    Channel(0).Present = false;
    EXPECT_FALSE(translator->StoreDefaults(0));
    EXPECT_FALSE(translator->LoadDefaults(0));
    EXPECT_FALSE(translator->StoreDefaults(1));
    EXPECT_TRUE(amp->Log.empty());
    EXPECT_EQ(events,
              (Strings{"Error: Invalid channel 1", "Error: Invalid channel 1", "Error: Invalid channel 2"}));
}

// ---- Channel clipboard ----------------------------------------------------------------------

void ExpectSameClipboard(const model::TChannelClipboard& a, const model::TChannelClipboard& b) {
    EXPECT_EQ(a.HasCharge, b.HasCharge);
    EXPECT_EQ(a.SensorType, b.SensorType);
    EXPECT_EQ(a.Range, b.Range);
    EXPECT_EQ(a.Gain, b.Gain);
    EXPECT_EQ(a.Coupling, b.Coupling);
    EXPECT_EQ(a.OffsetDAC, b.OffsetDAC);
    EXPECT_EQ(a.PowerDAC, b.PowerDAC);
    EXPECT_EQ(a.Offset, b.Offset);
    EXPECT_EQ(a.OutputFilter, b.OutputFilter);
    EXPECT_EQ(a.Is350Ohm, b.Is350Ohm);
    EXPECT_EQ(a.Sense, b.Sense);
    EXPECT_EQ(a.PowerDAC2, b.PowerDAC2);
    EXPECT_EQ(a.DMSShunt, b.DMSShunt);
    EXPECT_EQ(a.PwrAtSignal, b.PwrAtSignal);
    EXPECT_EQ(a.ChargeMode, b.ChargeMode);
    EXPECT_EQ(a.Capacity, b.Capacity);
    EXPECT_EQ(a.Highpass, b.Highpass);
    EXPECT_EQ(a.AutoClear, b.AutoClear);
}

TEST_F(Presets, CopyTakesTheCachesAndMarksTheSource) {
    CreateSlots({Slot(2, true, kBNC), Slot(2, true, kBNC)});
    model::TQRBRawChannel& c = Channel(1);
    ASSERT_TRUE(translator->SetSensorType(1, stVolt));
    ASSERT_TRUE(translator->SetRange(1, 9));
    ASSERT_TRUE(translator->Set120Ohm(1, 1));
    ASSERT_TRUE(translator->SetChargeManClearMode(1, 1));
    ASSERT_TRUE(translator->SetSense(1, 3));
    ASSERT_TRUE(translator->SetDACs(1, 700, 1900));
    Channel(0).CopySource = true;

    EXPECT_TRUE(translator->CopyChannel(1));
    EXPECT_TRUE(translator->ClipboardValid);
    EXPECT_FALSE(Channel(0).CopySource);
    EXPECT_TRUE(c.CopySource);
    const model::TChannelClipboard& k = translator->Clipboard;
    EXPECT_EQ(k.SensorType, stVolt);
    EXPECT_EQ(k.Range, 9);
    EXPECT_EQ(k.Gain, 5);
    EXPECT_FALSE(k.Is350Ohm);
    EXPECT_EQ(k.AutoClear, 0);
    EXPECT_TRUE(k.Sense);
    EXPECT_EQ(k.PowerDAC, 700);
    EXPECT_EQ(k.PowerDAC2, 700);
    EXPECT_EQ(k.OffsetDAC, 1900);

    translator->ClearClipboard();
    EXPECT_FALSE(translator->ClipboardValid);
    EXPECT_FALSE(c.CopySource);
    EXPECT_FALSE(translator->PasteChannel());
}

TEST_F(Presets, CopyRefusesAChannelOutsideTheModel) {
    CreateSlots({Slot(2, true, kBNC)});
    Channel(0).Present = false;
    EXPECT_FALSE(translator->CopyChannel(0));
    EXPECT_FALSE(translator->CopyChannel(1));
    EXPECT_FALSE(translator->ClipboardValid);
    EXPECT_EQ(events, (Strings{"Error: Invalid channel 1", "Error: Invalid channel 2"}));
}

TEST_F(Presets, PasteGivesTheSelectedChannelsTheSourcesSettings) {
    for (int row : {1, 0}) {
        SCOPED_TRACE(row);
        const auto slot = row == 1 ? Slot(2, true, kBNC) : Slot(0, false, kBNC);
        CreateSlots({slot, slot, slot});
        // The source: a committed VOLT channel with settings of its own.
        ASSERT_TRUE(translator->ApplySensorType(0, stVolt));
        ASSERT_TRUE(translator->SetRange(0, 9));
        ASSERT_TRUE(translator->SetCoupling(0, 2));
        ASSERT_TRUE(translator->SetOffset(0, 1));
        ASSERT_TRUE(translator->SetDACs(0, 1500, 1800));
        ASSERT_TRUE(translator->SetOutputFilter(0, 1));
        ASSERT_TRUE(translator->Set120Ohm(0, 1));
        ASSERT_TRUE(translator->SetSense(0, 1));
        ASSERT_TRUE(translator->SetDMSShunt(0, 1));
        ASSERT_TRUE(translator->SetPwrAtSignal(0, 1));
        ASSERT_TRUE(translator->NewConfig(0, true));

        ASSERT_TRUE(translator->CopyChannel(0));
        const model::TChannelClipboard source = translator->Clipboard;
        translator->Selected[2] = true;
        const Image untouched = Pending(1);
        EXPECT_TRUE(translator->PasteChannel());
        EXPECT_EQ(Pending(1), untouched);
        ASSERT_TRUE(translator->NewConfig(0, true));

        // Copied back from the committed target, the settings are the source's.
        ASSERT_TRUE(translator->CopyChannel(2));
        ExpectSameClipboard(translator->Clipboard, source);
        EXPECT_EQ(Channel(2).SensorType, stVolt);
        for (int w = 1; w <= 8; ++w) {
            if (w == 5) continue; // see above: the charge settings of a non-charge channel
            EXPECT_EQ(Current(2)[w], Current(0)[w]) << w;
        }
    }
}

TEST_F(Presets, PasteOfAChargeCopySkipsChannelsWithoutChargeInput) {
    CreateSlots({Slot(2, true, kChargeBNC), Slot(2, true, kBNC), Slot(2, true, kChargeBNC)});
    ASSERT_TRUE(translator->SetSensorType(0, stCharge));
    ASSERT_TRUE(translator->SetChargeMode(0, 1));
    ASSERT_TRUE(translator->CopyChannel(0));
    translator->Selected[1] = true;
    translator->Selected[2] = true;
    const Image before = Pending(1);
    EXPECT_TRUE(translator->PasteChannel());
    EXPECT_EQ(Pending(1), before);
    EXPECT_EQ(Channel(1).SensorType, stOff);
    EXPECT_EQ(Channel(2).SensorType, stCharge);
    EXPECT_EQ(Channel(2).ChargeModeCache, 1);
    EXPECT_EQ(Channel(2).RangeCache, 12);
    EXPECT_TRUE(amp->Log.empty());
}

TEST_F(Presets, ClipboardSurvivesARescan) {
    CreateSlots({Slot(2, true, kBNC), Slot(2, true, kBNC)});
    ASSERT_TRUE(translator->SetSensorType(0, stICP));
    ASSERT_TRUE(translator->CopyChannel(0));
    ASSERT_EQ(translator->Rescan(), 2);
    EXPECT_TRUE(translator->ClipboardValid);
    EXPECT_FALSE(Channel(0).CopySource);
    translator->Selected[1] = true;
    EXPECT_TRUE(translator->PasteChannel());
    EXPECT_EQ(Channel(1).SensorType, stICP);
}

} // namespace
} // namespace qrb::test
