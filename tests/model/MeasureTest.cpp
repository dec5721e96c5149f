#include "model/I2CTranslator.h"
#include "model/RegisterTables.h"
#include "tests/model/SensorFixture.h"
#include "tests/support/ScriptedI2CPeer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

namespace qrb::test {
namespace {

using device::TI2CResult;
using model::TSetting;

uint8_t Decoded(TSetting s, const device::TRegisterImage& image, int last = 10) {
    return model::DecodeSearch(s, 1, image.Words[model::SettingTable(s).Word], 0, last);
}

// Four bytes of a ready 18-bit conversion.
std::vector<uint8_t> Ready(int32_t value) {
    const auto b = TADC18Emulation::EncodeValue(value);
    return {b[0], b[1], b[2], 0x0C};
}

class Measure : public SensorFixture {
protected:
    void SetUp() override { Start(3); }

    TADC18Emulation& ADC18(int slot = 0) { return chips[static_cast<size_t>(slot)].ADC18; }
    TADC12Emulation& ADC12(int slot = 0) { return chips[static_cast<size_t>(slot)].ADC12; }
    TADC8Emulation& ADC8(int slot = 0) { return chips[static_cast<size_t>(slot)].ADC8; }

    // A scripted converter at 0x68 of slot 0, answering the queued reads.
    TScriptedChip& Raw() {
        amp->Attach(0, 0, 0, 0x68, raw);
        return raw;
    }
    int Starts() const { return static_cast<int>(amp->LogOf("WriteI2C(0,$68,8C)").size()); }

    TScriptedChip raw;
    int32_t value = -12345;
};

// ---- 18-bit ADC --------------------------------------------------------------------------------

TEST_F(Measure, ADC18BytesDecodeAsEighteenBitTwosComplement) {
    struct Case {
        std::vector<uint8_t> Bytes;
        int32_t Value;
    };
    const Case cases[] = {
        {{0x03, 0xFF, 0xFF, 0x0C}, -1},      {{0x01, 0xFF, 0xFF, 0x0C}, 131071},
        {{0x02, 0x00, 0x00, 0x0C}, -131072}, {{0x00, 0x00, 0x01, 0x0C}, 1},
        {{0x00, 0x01, 0x00, 0x0C}, 256},     {{0xFE, 0x00, 0x00, 0x0C}, -131072},
        {{0xFC, 0x00, 0x00, 0x0C}, 0},       {{0x01, 0x00, 0x00, 0x0C}, 65536},
        {{0xFF, 0xFF, 0xFE, 0x0C}, -2},
    };
    for (const auto& c : cases) {
        Raw().QueueRead(c.Bytes);
        EXPECT_TRUE(translator->ReadADC18(Ch(0), 1, value));
        EXPECT_EQ(value, c.Value) << int(c.Bytes[0]) << " " << int(c.Bytes[1]) << " " << int(c.Bytes[2]);
    }
    // The emulation writes what the decoding reads.
    for (int32_t v : {-131072, -65537, -1, 0, 1, 65535, 131071}) {
        const auto b = TADC18Emulation::EncodeValue(v);
        Raw().QueueRead({b[0], b[1], b[2], 0x0C});
        EXPECT_TRUE(translator->ReadADC18(Ch(0), 1, value));
        EXPECT_EQ(value, v);
    }
}

TEST_F(Measure, AverageRoundsHalvesToEven) {
    struct Case {
        std::vector<int32_t> Samples;
        int32_t Mean;
    };
    const Case cases[] = {
        {{1, 2}, 2},        {{2, 3}, 2}, {{-1, -2}, -2},    {{-2, -3}, -2},
        {{10, 11, 11}, 11}, {{5}, 5},    {{0, 1, 1, 1}, 1},
    };
    for (const auto& c : cases) {
        for (int32_t s : c.Samples)
            Raw().QueueRead(Ready(s));
        EXPECT_TRUE(translator->ReadADC18(Ch(0), static_cast<int32_t>(c.Samples.size()), value));
        EXPECT_EQ(value, c.Mean);
    }
}

TEST_F(Measure, AverageIsLimitedToOneToHundredSamples) {
    struct Case {
        int32_t Average;
        int Samples;
    };
    for (const Case c : {Case{0, 1}, Case{-3, 1}, Case{1, 1}, Case{100, 100}, Case{150, 100}}) {
        amp->Log.clear();
        loop.ClearSleeps();
        ADC18().SetSignal(7);
        EXPECT_TRUE(translator->ReadADC18(Ch(0), c.Average, value));
        EXPECT_EQ(Starts(), c.Samples);
        // 200 ms before each read, 100 ms between samples, on virtual time.
        EXPECT_EQ(loop.TotalSleptMs(), 200u * c.Samples + 100u * (c.Samples - 1));
    }
}

TEST_F(Measure, ADC18RoutesThePathAndWaitsBeforeEachRead) {
    ADC18().SetNotReadyReads(2);
    ADC18().SetValueSource([](const TAnalogInputs&) { return -5; });
    loop.ClearSleeps();
    EXPECT_TRUE(translator->ReadADC18(Ch(0), 2, value));
    EXPECT_EQ(value, -5);
    EXPECT_EQ(amp->Log.front(), "SetMux(0,0,0,5)");
    EXPECT_EQ(loop.Sleeps(), (std::vector<uint32_t>{200, 200, 200, 100, 200, 200, 200}));
}

TEST_F(Measure, ConverterNeverReadyGivesUpAfterFiveReads) {
    ADC18().SetNeverReady(true);
    loop.ClearSleeps();
    EXPECT_FALSE(translator->ReadADC18(Ch(0), 1, value));
    EXPECT_EQ(value, 0);
    EXPECT_EQ(ADC18().Reads(), 5);
    EXPECT_EQ(loop.TotalSleptMs(), 1000u);
    EXPECT_EQ(Events("TranslatorError: "),
              std::vector<std::string>{"TranslatorError: Error while reading adc18 on channel (01:01)"});
}

TEST_F(Measure, FailedSampleIsNeverCountedAndEndsTheNextRound) {
    // First sample ready, the second never.
    Raw().QueueRead(Ready(1000));
    for (int i = 0; i < 5; ++i)
        raw.QueueRead({0, 0, 0, 0x8C});
    EXPECT_FALSE(translator->ReadADC18(Ch(0), 4, value));
    EXPECT_EQ(value, 1000); // the mean of what was read, not a sum divided by four
    EXPECT_EQ(Starts(), 2);
    EXPECT_EQ(Events("TranslatorError: "),
              (std::vector<std::string>{"TranslatorError: Error while reading adc18 on channel (01:01)",
                                        "TranslatorError: Cannot write to adc18 on channel (01:01)"}));
}

TEST_F(Measure, ReadThatDidNotArriveIsNoSample) {
    // The transport refuses every read: its zeroed buffer would look like a ready 0.
    amp->RefusePrefix = "ReadI2C(0,$68";
    ADC18().SetValueSource([](const TAnalogInputs&) { return 500; });
    EXPECT_FALSE(translator->ReadADC18(Ch(0), 1, value));
    EXPECT_EQ(value, 0);
    // A refused read in between is retried within the five reads.
    events.clear();
    amp->RefusePrefix = "";
    amp->Refuse["ReadI2C(0,$68,4)"] = TI2CResult::irNoAnswer;
    EXPECT_FALSE(translator->ReadADC18(Ch(0), 1, value));
    amp->Refuse.clear();
    EXPECT_TRUE(translator->ReadADC18(Ch(0), 1, value));
    EXPECT_EQ(value, 500);
}

TEST_F(Measure, ADC18RefusalsWithTheirTexts) {
    Ch(1).HasADC18 = false;
    EXPECT_FALSE(translator->ReadADC18(Ch(1), 1, value));
    amp->Refuse["SetMux(0,0,0,5)"] = TI2CResult::irNoAnswer;
    EXPECT_FALSE(translator->ReadADC18(Ch(0), 1, value));
    EXPECT_EQ(Events("TranslatorError: "),
              (std::vector<std::string>{"TranslatorError: No adc18 found on this channel (01:02)",
                                        "TranslatorError: Cannot set path to channel (01:01)"}));
    EXPECT_EQ(Starts(), 0);
}

TEST_F(Measure, StartWriteRaisesAfterItsRetries) {
    amp->Refuse["WriteI2C(0,$68,8C)"] = TI2CResult::irTransferFailed;
    EXPECT_THROW(translator->ReadADC18(Ch(0), 1, value), model::ETranslatorError);
}

// ---- One reading and the status byte -----------------------------------------------------------

TEST_F(Measure, ChannelReadingWithStatusUpdate) {
    translator->DebugLevel = 1;
    ADC18().SetValueSource([](const TAnalogInputs&) { return 5; });
    ADC8().SetStatus(0xFB); // cable broken
    EXPECT_TRUE(translator->ReadChannelTemperature(0, value));
    EXPECT_EQ(value, 5);
    EXPECT_EQ(Ch(0).ADC8Status, 0x04);
    EXPECT_EQ(Ch(0).ADC8History, 0x04);
    EXPECT_EQ(amp->LogOf("WriteReadI2C(0,$54"),
              (std::vector<std::string>{"WriteReadI2C(0,$54,00,2)", "WriteReadI2C(0,$54,06,2)"}));
    EXPECT_EQ(amp->LogOf("WriteI2C(0,$54"), std::vector<std::string>{"WriteI2C(0,$54,060FF0)"});
    EXPECT_EQ(Events("TranslatorLog: "), (std::vector<std::string>{"TranslatorLog: ADC18---> $00 $00 $05 ",
                                                                   "TranslatorLog: ADC8---> $FB",
                                                                   "TranslatorLog: ADC8---> Cable broken!"}));
    EXPECT_EQ(ADC8().Lowest(), 0x0FF0); // reset after reading

    // A condition seen since the last reset shows, the history keeps what was seen.
    ADC8().SetStatus(0xFF);
    ADC8().Latch(0xEF);
    events.clear();
    EXPECT_TRUE(translator->ReadChannelTemperature(0, value));
    EXPECT_EQ(Ch(0).ADC8Status, 0x10);
    EXPECT_EQ(Ch(0).ADC8History, 0x14);
    EXPECT_EQ(Events("TranslatorLog: ").back(), "TranslatorLog: ADC8---> Shortcut!");
}

TEST_F(Measure, StatusFlagTextsAndTheFuseBitFollowDMSPower) {
    translator->DebugLevel = 1;
    ADC8().SetStatus(0x03); // every condition
    Ch(0).dms_pwr_on = 0;
    EXPECT_TRUE(translator->ReadChannelTemperature(0, value));
    EXPECT_EQ(Ch(0).ADC8Status, 0x7C);
    Ch(0).dms_pwr_on = 1;
    events.clear();
    EXPECT_TRUE(translator->ReadChannelTemperature(0, value));
    EXPECT_EQ(Ch(0).ADC8Status, 0xFC);
    EXPECT_EQ(Events("TranslatorLog: ADC8"),
              (std::vector<std::string>{
                  "TranslatorLog: ADC8---> $03", "TranslatorLog: ADC8---> Cable broken!",
                  "TranslatorLog: ADC8---> Overvoltage", "TranslatorLog: ADC8---> Shortcut!",
                  "TranslatorLog: ADC8---> Charge out of range!", "TranslatorLog: ADC8---> Too hot!",
                  "TranslatorLog: ADC8---> DMS Fuse down!"}));
}

TEST_F(Measure, TwelveBitReadingWithoutADC18) {
    translator->DebugLevel = 1;
    Ch(1).HasADC18 = false;
    ADC12(1).SetValue(0x0800);
    EXPECT_TRUE(translator->ReadChannelTemperature(1, value));
    EXPECT_EQ(value, 2048);
    EXPECT_EQ(amp->LogOf("WriteReadI2C(0,$51"), std::vector<std::string>{"WriteReadI2C(0,$51,00,2)"});
    EXPECT_EQ(Events("TranslatorLog: ADC12").front(),
              "TranslatorLog: ADC12---> Hi: $08  Lo: $00   V: 2.100V");
}

TEST_F(Measure, ReadyPollIsBoundedAndAFailureSkipsTheStatus) {
    translator->DebugLevel = 1;
    ADC18().SetNeverReady(true);
    loop.ClearSleeps();
    EXPECT_FALSE(translator->ReadChannelTemperature(0, value));
    EXPECT_EQ(value, 0);
    EXPECT_EQ(ADC18().Reads(), 5);
    EXPECT_EQ(loop.TotalSleptMs(), 1000u);
    EXPECT_EQ(Events("I2CError: "),
              std::vector<std::string>{"I2CError: ADC18---> Error while reading ADC18 value!"});
    EXPECT_TRUE(amp->LogOf("WriteReadI2C(0,$54").empty());
}

TEST_F(Measure, OldHardwareIsNotRead) {
    Ch(0).HWVersion = 0;
    EXPECT_TRUE(translator->ReadChannelTemperature(0, value));
    EXPECT_EQ(value, 0);
    EXPECT_TRUE(amp->Log.empty());
}

TEST_F(Measure, TemperatureReadingNamesTheIndexItself) {
    EXPECT_FALSE(translator->ReadChannelTemperature(3, value));
    Ch(2).Present = false;
    EXPECT_FALSE(translator->ReadChannelTemperature(2, value));
    EXPECT_EQ(Events("Error: "),
              (std::vector<std::string>{"Error: Invalid channel 3", "Error: Invalid channel 2"}));
}

// ---- Temperature report ------------------------------------------------------------------------

TEST_F(Measure, ReportWithoutSelectionCommitsThreeTimesAndAddsNothing) {
    std::string text = "kept";
    EXPECT_TRUE(translator->TemperatureReport(text));
    EXPECT_EQ(text, "kept");
    // Ground setup, temperature setup, restore.
    EXPECT_EQ(Events("ConfigComplete").size(), 3u);
    EXPECT_TRUE(Dev().ChannelWrites.empty());
}

TEST_F(Measure, ReportMeasuresGroundAndTemperatureAndRestores) {
    // Slot 0 with ADC18: ground while the zero input is 0, the temperature with it 1.
    ADC18().SetValueSource([](const TAnalogInputs& in) { return in.ZeroInput ? 41000 : 1000; });
    // Slot 1 with the 12-bit ADC: the temperature with VRefMinus 4.
    Ch(1).HasADC18 = false;
    ADC12(1).SetValueSource([](const std::optional<device::TRegisterImage>& image) -> uint16_t {
        return image && Decoded(TSetting::VRefMinus, *image) == 4 ? 1400 : 1000;
    });
    translator->Selected[0] = translator->Selected[1] = true;
    const device::TChannelImage before0 = Ch(0).Current, before1 = Ch(1).Current;
    const model::TSensorType type0 = Ch(0).SensorType;
    loop.ClearSleeps();
    std::string text = "Report:\r\n";
    EXPECT_TRUE(translator->TemperatureReport(text));
    EXPECT_EQ(text, "Report:\r\nCH01:  24.19°C\r\nCH02:  38.29°C\r\n");
    EXPECT_EQ(Ch(0).Current, before0);
    EXPECT_EQ(Ch(1).Current, before1);
    EXPECT_EQ(Ch(0).SensorType, type0);
    // Ground setup, one temperature setup for both channels, the restore; each writes both.
    EXPECT_EQ(Events("ConfigComplete").size(), 3u);
    EXPECT_EQ(Dev().ChannelWrites.size(), 6u);
    // The log line of the measurement.
    const auto logs = Events("TranslatorLog: CH01");
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_EQ(logs[0], "TranslatorLog: CH01: GND:   1000 (14.803V) TEMP:  41000 (6.930V) d:  40000 (7.874V) "
                       "Temp: 24.19°C");
    // The measuring setups written: ground (range 16, LEDs off), then the temperature wiring.
    const auto& writes = Dev().ChannelWrites;
    ASSERT_GE(writes.size(), 4u);
    EXPECT_EQ(Decoded(TSetting::ZeroInput, writes[0].Image, 1), 0);
    EXPECT_EQ(Decoded(TSetting::VRefPlus, writes[2].Image), 5);
    EXPECT_EQ(Decoded(TSetting::ZeroInput, writes[2].Image, 1), 1);
    EXPECT_EQ(Decoded(TSetting::VRefMinus, writes[3].Image), 4);
    // Two waits of 500 ms around the readings.
    EXPECT_EQ(std::count(loop.Sleeps().begin(), loop.Sleeps().end(), 500u), 2);
}

TEST_F(Measure, ChannelThatWasNotMeasuredGetsNoTemperature) {
    // Slot 1 is old hardware, which is not read.
    Start(3, [](TScriptedDevice& d) { d.Block.Slots[1].Info.Version = 0; });
    ASSERT_EQ(Ch(1).HWVersion, 0);
    ADC18().SetNeverReady(true);
    translator->Selected[0] = translator->Selected[1] = true;
    const device::TChannelImage before = Ch(0).Current;
    std::string text;
    EXPECT_FALSE(translator->TemperatureReport(text));
    EXPECT_EQ(text, "");
    EXPECT_EQ(Events("TranslatorError: Cannot measure"),
              (std::vector<std::string>{"TranslatorError: Cannot measure temperature on channel 01",
                                        "TranslatorError: Cannot measure temperature on channel 02"}));
    EXPECT_EQ(Ch(0).Current, before);
}

TEST_F(Measure, FailedFirstCommitStillRestores) {
    translator->Selected[0] = true;
    Dev().WriteChannelResult = TI2CResult::irNoAnswer;
    std::string text;
    EXPECT_FALSE(translator->TemperatureReport(text));
    EXPECT_TRUE(amp->LogOf("WriteI2C(0,$68").empty()); // nothing measured
    Dev().WriteChannelResult = TI2CResult::irOK;
    EXPECT_EQ(text, "");
}

// ---- Autozero ----------------------------------------------------------------------------------

class Autozero : public Measure {
protected:
    // The committed offset DAC of slot 0 and its offset relay.
    uint16_t OffsetDAC() const { return static_cast<uint16_t>(amp->StoredImage(0, 0).Words[8] & 0x0FFF); }
    bool OffsetOn() const { return Decoded(TSetting::Offset, amp->StoredImage(0, 0), 1) == 1; }
    device::TChannelCalibTable::TOffsetPair Pair() {
        return Ch(0).Calibration.ZeroOffsets[Ch(0).coupling][Ch(0).Range];
    }
    void SetRange(uint8_t range) {
        ASSERT_TRUE(translator->SetRange(0, range));
        ASSERT_TRUE(translator->NewConfig(0, true));
        ASSERT_EQ(Ch(0).Range, range);
    }
};

TEST_F(Autozero, FineAdjustmentConvergesWithTheRelayOff) {
    ADC18().SetZeroReference(1000);
    ADC18().SetSignal(1500);
    EXPECT_TRUE(translator->Autozero(0, 1));
    EXPECT_FALSE(OffsetOn());
    EXPECT_EQ(OffsetDAC(), 2048 + 833);
    EXPECT_EQ(Ch(0).OffsetDAC, OffsetDAC());
    EXPECT_EQ(Ch(0).OffsetZero, OffsetDAC());
    EXPECT_EQ(Pair(), (device::TChannelCalibTable::TOffsetPair{2881, 2048}));
    EXPECT_EQ(ADC18().Reading(), 1000);
    // Measuring state: zero input 1.
    EXPECT_EQ(Decoded(TSetting::ZeroInput, amp->StoredImage(0, 0), 1), 1);
}

TEST_F(Autozero, CoarseAdjustmentConvergesWithTheRelayOn) {
    ADC18().SetZeroReference(0);
    ADC18().SetSignal(20000);
    EXPECT_TRUE(translator->Autozero(0, 2));
    EXPECT_TRUE(OffsetOn());
    EXPECT_EQ(OffsetDAC(), 2048 + 343);
    EXPECT_EQ(Ch(0).OffsetZero, 2391);
    EXPECT_EQ(Pair(), (device::TChannelCalibTable::TOffsetPair{2048, 2391}));
    EXPECT_LT(std::abs(ADC18().Reading()), 30);
}

TEST_F(Autozero, SmallDifferenceBelowTheRangeThresholdChangesNothing) {
    struct Case {
        uint8_t Range;
        int32_t Diff;
        bool Adjusts;
    };
    const Case cases[] = {{16, 2, false},  {16, -2, false}, {16, 3, true}, {17, 6, false},
                          {17, -6, false}, {17, 7, true},   {4, 3, true},  {25, 6, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "range " << int(c.Range) << " diff " << c.Diff);
        SetRange(c.Range);
        const auto calibration = Ch(0).Calibration;
        const uint16_t zero = Ch(0).OffsetZero;
        const int before = ADC18().Conversions();
        ADC18().SetZeroReference(500);
        // The signal at the zero the autozero starts from.
        ADC18().SetSignal(500 - c.Diff + static_cast<int32_t>(std::lround(0.6 * (zero - 2048))));
        EXPECT_TRUE(translator->Autozero(0, 1));
        // Two reference readings, then one per correction loop.
        EXPECT_EQ(ADC18().Conversions() - before > 2, c.Adjusts);
        if (!c.Adjusts) {
            EXPECT_EQ(Ch(0).Calibration, calibration);
            EXPECT_EQ(Ch(0).OffsetZero, zero);
        }
    }
}

TEST_F(Autozero, DifferenceOf2000TakesTheCoarsePath) {
    for (int32_t diff : {1999, -1999, 2000, -2000}) {
        SCOPED_TRACE(diff);
        Ch(0).OffsetZero = 2048;
        const int before = ADC18().Conversions();
        ADC18().SetZeroReference(0);
        ADC18().SetSignal(-diff);
        translator->Autozero(0, 1);
        EXPECT_GT(ADC18().Conversions() - before, 2);
        // The corrections are written with the relay its path needs.
        EXPECT_EQ(OffsetOn(), std::abs(diff) >= 2000);
    }
}

TEST_F(Autozero, NegativeDACStopsAtZero) {
    ADC18().SetZeroReference(1500);
    ADC18().SetSignal(0);
    EXPECT_FALSE(translator->Autozero(0, 1)); // the DAC cannot go far enough
    EXPECT_EQ(OffsetDAC(), 0);
    EXPECT_EQ(Ch(0).OffsetDAC, 0);
    EXPECT_EQ(Events("TranslatorError: Cannot get fine").size(), 1u);
}

TEST_F(Autozero, ConvergenceOnTheSeventhLoopCounts) {
    // A converter with half the gain the loop assumes halves the difference per loop.
    ADC18().SetGains(0.3, 29.15);
    ADC18().SetZeroReference(1000);
    ADC18().SetSignal(830);
    int before = ADC18().Conversions();
    EXPECT_TRUE(translator->Autozero(0, 1));
    EXPECT_EQ(ADC18().Conversions() - before, 2 + 7);

    // One more loop would be needed: the seventh gives up.
    events.clear();
    Ch(0).OffsetZero = 2048;
    ADC18().SetSignal(680);
    before = ADC18().Conversions();
    EXPECT_FALSE(translator->Autozero(0, 1));
    EXPECT_EQ(ADC18().Conversions() - before, 2 + 7);
    EXPECT_EQ(Events("TranslatorError: "),
              std::vector<std::string>{
                  "TranslatorError: Cannot get fine zerolevel after 7 loops on channel (01:01)"});

    // The coarse loop likewise.
    Ch(0).OffsetZero = 2048;
    ADC18().SetZeroReference(0);
    ADC18().SetSignal(3500);
    before = ADC18().Conversions();
    EXPECT_TRUE(translator->Autozero(0, 1));
    EXPECT_EQ(ADC18().Conversions() - before, 2 + 7);
    events.clear();
    Ch(0).OffsetZero = 2048;
    ADC18().SetSignal(4000);
    EXPECT_FALSE(translator->Autozero(0, 1));
    EXPECT_EQ(Events("TranslatorError: "),
              std::vector<std::string>{
                  "TranslatorError: Cannot get normal zerolevel after 7 loops on channel (01:01)"});
}

TEST_F(Autozero, WaitsTheSettleTimeBeforeBothReferenceReadings) {
    translator->SettleTime = 300;
    ADC18().SetZeroReference(0);
    ADC18().SetSignal(1);
    loop.ClearSleeps();
    EXPECT_TRUE(translator->Autozero(0, 1));
    EXPECT_EQ(loop.Sleeps(), (std::vector<uint32_t>{300, 200, 300, 200}));
}

TEST_F(Autozero, ReadingFailuresWithTheirTexts) {
    struct Case {
        int PassingReads; // reads of 0x68 that pass before every further one is refused
        int32_t Signal;
        const char* Text;
    };
    const Case cases[] = {
        {0, 100, "TranslatorError: Error while getting zero reference on channel (01:01)"},
        {1, 100, "TranslatorError: Error while getting signal value on channel (01:01)"},
        {2, 100, "TranslatorError: Error while fine getting signal value on channel (01:01)"},
        {2, 20000, "TranslatorError: Error while getting normal signal value on channel (01:01)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Text);
        events.clear();
        Ch(0).OffsetZero = 2048;
        ADC18().SetZeroReference(0);
        ADC18().SetSignal(c.Signal);
        amp->RefusePrefix = "ReadI2C(0,$68";
        amp->RefuseAfter = c.PassingReads;
        EXPECT_FALSE(translator->Autozero(0, 1));
        EXPECT_EQ(Events("TranslatorError: ").back(), c.Text);
        // A fresh transport counts the passing reads anew.
        Start(3);
    }
}

TEST_F(Autozero, RefusesInvalidAbsentAndChannelsWithoutADC18) {
    EXPECT_FALSE(translator->Autozero(3, 1));
    Ch(2).Present = false;
    EXPECT_FALSE(translator->Autozero(2, 1));
    EXPECT_EQ(Events("Error: "),
              (std::vector<std::string>{"Error: Invalid channel 04", "Error: Invalid channel 03"}));
    Ch(1).HasADC18 = false;
    EXPECT_FALSE(translator->Autozero(1, 1));
    EXPECT_EQ(
        Events("TranslatorError: "),
        std::vector<std::string>{"TranslatorError: Channel 01:02 has no adc18 hardware! Autozero aborted!"});
    EXPECT_TRUE(Dev().ChannelWrites.empty());
}

TEST_F(Autozero, SelectedChannelsWithTheZeroAverage) {
    translator->ZeroAverage = 3;
    for (int s = 0; s < 3; ++s) {
        ADC18(s).SetZeroReference(100);
        ADC18(s).SetSignal(100);
    }
    translator->Selected[0] = translator->Selected[2] = true;
    Ch(1).HasADC18 = false; // not selected: not touched
    EXPECT_TRUE(translator->AutozeroSelected());
    EXPECT_EQ(ADC18(0).Conversions(), 6);
    EXPECT_EQ(ADC18(1).Conversions(), 0);
    EXPECT_EQ(ADC18(2).Conversions(), 6);
    translator->Selected[1] = true;
    EXPECT_FALSE(translator->AutozeroSelected());
}

// ---- Selection wrappers and the charge-clear pulse -------------------------------------------------

TEST_F(Measure, MonitorOnlyOnSelectedChannelsWithADC18) {
    Ch(1).HasADC18 = false;
    translator->Selected[0] = translator->Selected[1] = true;
    EXPECT_TRUE(translator->SetMonitorSelected(1));
    EXPECT_EQ(Ch(0).MonitorCache, 1);
    EXPECT_EQ(Ch(1).MonitorCache, 0);
    EXPECT_EQ(Ch(2).MonitorCache, 0);
    EXPECT_TRUE(translator->SetOpenGndShieldSelected(1));
    EXPECT_EQ(Ch(0).open_gnd_shield, 1);
    EXPECT_EQ(Ch(1).open_gnd_shield, 1);
    EXPECT_EQ(Ch(2).open_gnd_shield, 0);
    EXPECT_TRUE(Dev().ChannelWrites.empty()); // no commit
}

class ChargeClear : public SensorFixture {
protected:
    void SetUp() override {
        Start(4, [](TScriptedDevice& d) {
            for (auto& slot : d.Block.Slots)
                slot.Info.Features |= 0x01;
        });
        for (int i = 0; i < 4; ++i)
            Ch(i).SensorType = model::stCharge;
    }
};

TEST_F(ChargeClear, SelectedChargeChannelsToggleTheirClearLineOnce) {
    Ch(1).ChargeModeCache = 1; // DC
    Ch(3).ChargeModeCache = 0; // Ground
    Ch(2).ChargeModeCache = 2; // resting high, not selected
    translator->Selected[1] = translator->Selected[3] = true;
    EXPECT_TRUE(translator->ClearChargeSelected());
    EXPECT_EQ(amp->Log, (std::vector<std::string>{"WriteI2C(0,$2B,0700)", "WriteI2C(0,$2B,030C)",
                                                  "WriteI2C(0,$2B,0306)"}));
}

TEST_F(ChargeClear, SpecExampleOfTwoChannels) {
    Ch(1).ChargeModeCache = 1;
    Ch(3).ChargeModeCache = 0;
    Ch(0).SensorType = model::stVolt;
    Ch(2).SensorType = model::stVolt;
    translator->Selected[1] = translator->Selected[3] = true;
    EXPECT_TRUE(translator->ClearChargeSelected());
    EXPECT_EQ(amp->Log, (std::vector<std::string>{"WriteI2C(0,$2B,0700)", "WriteI2C(0,$2B,0308)",
                                                  "WriteI2C(0,$2B,0302)"}));
}

TEST_F(ChargeClear, NothingQualifyingWritesNothing) {
    translator->Selected[0] = true;
    Ch(0).SensorType = model::stVolt;
    EXPECT_TRUE(translator->ClearChargeSelected());
    Ch(0).SensorType = model::stCharge;
    Ch(0).Present = false;
    EXPECT_TRUE(translator->ClearChargeSelected());
    EXPECT_TRUE(amp->Log.empty());
}

TEST_F(ChargeClear, RefusedWriteFailsButTheLineReturnsToRest) {
    translator->Selected[0] = true;
    amp->Refuse["WriteI2C(0,$2B,0301)"] = TI2CResult::irNoAnswer;
    EXPECT_FALSE(translator->ClearChargeSelected());
    EXPECT_EQ(amp->Log.back(), "WriteI2C(0,$2B,0300)");
}

} // namespace
} // namespace qrb::test
