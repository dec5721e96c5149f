#include "model/ChannelCommit.h"

#include "device/HWVocabulary.h"
#include "model/ChannelSetters.h"
#include "model/I2CTranslator.h"
#include "model/QRBRawChannel.h"
#include "tests/support/PlaceholderTransports.h"
#include "tests/support/ScriptedAmplifier.h"
#include "tests/support/VirtualMainLoop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace qrb::model {
namespace {

using device::TI2CResult;

std::unique_ptr<TQRBRawChannel> MakeChannel(uint8_t infoVersion = 1, int device = 2, int slot = 5) {
    auto ch =
        std::make_unique<TQRBRawChannel>(device, 0, slot, 0, device::TInterfaceKind::ikOffline, nullptr);
    ch->Name = "Channel  3";
    ch->Info.Version = infoVersion;
    ch->Info.Features = 0x02;
    ch->Present = true;
    ch->Current.Image = device::DefaultRegisterImage(infoVersion == 0 ? 0 : 1);
    ch->Current.Image.Words[0] = stVolt;
    ch->Pending = ch->Current;
    ch->DecodeRegisters();
    return ch;
}

// A channel writer that records every call and answers from a script.
struct TScriptedWriter {
    struct TCall {
        int Device;
        uint8_t Slot;
        uint8_t LowVal;
        device::TRegisterImage Image;
        bool AnswerWasZero;
    };
    std::vector<TI2CResult> Results;     // one per call; irOK when exhausted
    std::vector<TChannelAnswer> Answers; // written into the answer per call, when present
    std::vector<TCall> Calls;

    TChannelWriter Writer() {
        return [this](int device, uint8_t slot, uint8_t lowVal, const device::TRegisterImage& image,
                      TChannelAnswer& answer) {
            bool zero = true;
            for (uint8_t b : answer)
                zero = zero && b == 0;
            const std::size_t n = Calls.size();
            Calls.push_back({device, slot, lowVal, image, zero});
            if (n < Answers.size()) answer = Answers[n];
            return n < Results.size() ? Results[n] : TI2CResult::irOK;
        };
    }
};

TChannelAnswer VerifyWords(std::initializer_list<uint16_t> words) {
    TChannelAnswer a{};
    std::size_t i = 0;
    for (uint16_t w : words) {
        a[i++] = static_cast<uint8_t>(w & 0xFF);
        a[i++] = static_cast<uint8_t>(w >> 8);
    }
    return a;
}

// ---- One channel's verified write ---------------------------------------------------------

TEST(ChannelWrite, AcceptedImageBecomesCurrentAndIsDecoded) {
    auto ch = MakeChannel();
    ch->SensorType = stICP;
    ch->ADC8LowVal = 252;
    TChannelEditor(*ch).SetGain(3);
    ch->Pending.Image.Words[7] = 0x1FFF;
    ch->Pending.Image.Words[8] = 0xF123;
    const device::TChannelImage before = ch->Current;
    TScriptedWriter w;
    const TChannelWriteOutcome out = WriteChannelImage(*ch, w.Writer());
    ASSERT_TRUE(out.Ok());
    ASSERT_EQ(w.Calls.size(), 1u);
    EXPECT_EQ(w.Calls[0].Device, 2);
    EXPECT_EQ(w.Calls[0].Slot, 5);
    EXPECT_EQ(w.Calls[0].LowVal, 252);
    EXPECT_EQ(w.Calls[0].Image.Words[0], stICP); // the sensor type goes into word 0
    EXPECT_EQ(w.Calls[0].Image.Words[7], 0x0FFF);
    EXPECT_EQ(w.Calls[0].Image.Words[8], 0x0123);
    EXPECT_EQ(ch->Current, ch->Pending);
    EXPECT_EQ(ch->Backup, before);
    EXPECT_EQ(ch->gain, 3);
    EXPECT_EQ(ch->PowerDAC, 0x0FFF);
    EXPECT_EQ(ch->SensorType, stICP);
}

TEST(ChannelWrite, RefusedImageIsRestoredInModelAndDevice) {
    auto ch = MakeChannel();
    const device::TChannelImage before = ch->Current;
    const uint8_t gainBefore = ch->gain;
    TChannelEditor(*ch).SetGain(gainBefore == 5 ? 4 : 5);
    TScriptedWriter w;
    w.Results = {TI2CResult::irDeviceError, TI2CResult::irOK};
    w.Answers = {VerifyWords({0, 0, 0x0030, 0, 0, 0, 0, 0x0100, 0xFFFF})};
    const TChannelWriteOutcome out = WriteChannelImage(*ch, w.Writer());
    EXPECT_EQ(out.Result, TI2CResult::irDeviceError);
    EXPECT_EQ(out.RestoreResult, TI2CResult::irOK);
    ASSERT_EQ(w.Calls.size(), 2u);
    EXPECT_EQ(w.Calls[1].Image, before.Image);
    EXPECT_EQ(w.Calls[1].Slot, 5);
    EXPECT_TRUE(w.Calls[1].AnswerWasZero);
    EXPECT_EQ(ch->Current, before);
    EXPECT_EQ(ch->Pending, before);
    EXPECT_EQ(ch->gain, gainBefore);
    EXPECT_EQ(ch->GainCache, gainBefore);
    // Words 0..7 from the verification data; word 8 never.
    const TChannelErrorWords expected{0, 0, 0x0030, 0, 0, 0, 0, 0x0100, 0};
    EXPECT_EQ(out.BitErrors, expected);
}

TEST(ChannelWrite, EveryWriteGetsAZeroedAnswer) {
    auto ch = MakeChannel();
    TScriptedWriter w;
    // The writer leaves the answer as it finds it and fails: no verification data, no bit errors.
    w.Results = {TI2CResult::irNoAnswer, TI2CResult::irNoAnswer};
    const TChannelWriteOutcome out = WriteChannelImage(*ch, w.Writer());
    ASSERT_EQ(w.Calls.size(), 2u);
    EXPECT_TRUE(w.Calls[0].AnswerWasZero);
    EXPECT_TRUE(w.Calls[1].AnswerWasZero);
    EXPECT_EQ(out.BitErrors, TChannelErrorWords{});
    EXPECT_EQ(out.RestoreResult, TI2CResult::irNoAnswer);
}

// ---- Snapshot and rollback ----------------------------------------------------------------

TEST(ChannelSnapshot, RollbackRestoresImagesSensorTypeAndDecodedSettings) {
    auto ch = MakeChannel();
    ch->SensorType = stDMSFullbridge;
    TScriptedWriter w;
    ASSERT_TRUE(WriteChannelImage(*ch, w.Writer()).Ok());
    TakeChannelSnapshot(*ch);
    EXPECT_TRUE(ch->SnapshotValid);
    EXPECT_EQ(ch->SnapshotSensorType, stDMSFullbridge);
    const device::TChannelImage snap = ch->Current;
    const uint8_t range = ch->Range;

    TChannelEditor e(*ch);
    e.SetRange(range == 12 ? 14 : 12);
    ch->SensorType = stVolt;
    ASSERT_TRUE(WriteChannelImage(*ch, w.Writer()).Ok());
    e.SetCoupling(3);
    ASSERT_TRUE(WriteChannelImage(*ch, w.Writer()).Ok());
    e.SetGain(1); // an edit collected after the commits

    ASSERT_TRUE(RollbackChannel(*ch));
    EXPECT_EQ(ch->Current, snap);
    EXPECT_EQ(ch->Pending, snap);
    EXPECT_EQ(ch->SensorType, stDMSFullbridge);
    EXPECT_EQ(ch->Range, range);
    EXPECT_EQ(ch->RangeCache, range);
    EXPECT_FALSE(ImagesDiffer(ch->Pending.Image, ch->Current.Image)); // nothing left to send
    EXPECT_EQ(w.Calls.size(), 3u);                                    // no write
}

TEST(ChannelSnapshot, RollbackWithoutSnapshotDoesNothing) {
    auto ch = MakeChannel();
    TChannelEditor(*ch).SetGain(2);
    const device::TChannelImage pending = ch->Pending;
    EXPECT_FALSE(RollbackChannel(*ch));
    EXPECT_EQ(ch->Pending, pending);
}

// ---- Image comparison ---------------------------------------------------------------------

TEST(ImagesDiffer, AnyOfTheNineWords) {
    device::TRegisterImage a;
    a.Words = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    EXPECT_FALSE(ImagesDiffer(a, a));
    for (std::size_t w = 0; w < 9; ++w) {
        device::TRegisterImage b = a;
        b.Words[w] ^= 0x8000;
        EXPECT_TRUE(ImagesDiffer(a, b)) << w;
    }
}

// ---- Texts --------------------------------------------------------------------------------

TEST(RegisterTexts, DumpLineWithItsIrregularSpacing) {
    auto ch = MakeChannel();
    ch->Current.Image.Words = {0x0001, 0xA9A8, 0x2a6a, 0x255B, 0x0AAB, 0x0116, 0xC9CA, 0x0ABC, 0x0800};
    EXPECT_EQ(RegisterDumpText(*ch),
              "Channel  3:   $18:$0001   $20:$A9A8   $21:$2A6A  $22:$255B   $25:$0AAB   "
              "$26:$0116    $2A:$C9CA   $24:$0ABC   $24:$0800");
}

TEST(RegisterTexts, WordAddresses) {
    const uint8_t expected[] = {0x18, 0x20, 0x21, 0x22, 0x25, 0x26, 0x2A, 0x24, 0x24};
    for (int w = 0; w < 9; ++w)
        EXPECT_EQ(RegisterWordAddress(w), expected[w]) << w;
}

TEST(RegisterTexts, NoBitErrorsGiveNoText) {
    const TBitErrorList none(3);
    EXPECT_FALSE(HasBitErrors(none));
    EXPECT_EQ(BitErrorReportText(none), "");
    EXPECT_EQ(BitErrorReportText({}), "");
}

TEST(RegisterTexts, BitErrorReport) {
    TBitErrorList errors(12);
    errors[0][0] = 0x0300; // the device's doubled name for bits 8 and 9
    errors[0][1] = 0x0003;
    errors[11][7] = 0x0123;
    errors[11][8] = 0x0045;
    ASSERT_TRUE(HasBitErrors(errors));
    const std::string expected =
        std::string("Biterror(s) detected:\r\n") + "  Ch00: $18->$0300    ->TEDS9    ->TEDS9\r\n" +
        "  Ch00: $20->$0003    ->Offset Off [RL24-P1]    ->Offset On [RL24-P0]\r\n" +
        "  Ch11: $24->$0123    -> power dac: 291\r\n" + "  Ch11: $24->$0045    -> offset dac: 69";
    EXPECT_EQ(BitErrorReportText(errors), expected);
}

TEST(RegisterTexts, BitErrorReportNamesEveryBitOfTheExpanderWords) {
    TBitErrorList errors(1);
    for (int w = 1; w <= 6; ++w) {
        errors[0] = {};
        errors[0][w] = 0xFFFF;
        const std::string text = BitErrorReportText(errors);
        std::string names;
        for (unsigned b = 0; b < 16; ++b)
            names += "    ->" + std::string(device::RegisterBitName(w, b));
        EXPECT_NE(text.find(names), std::string::npos) << w;
        EXPECT_EQ(text.find("\r\n", 23), std::string::npos) << "one line for one word";
    }
}

TEST(RegisterTexts, BitErrorsFromTheFirstSixteenBytes) {
    TChannelAnswer answer{};
    for (std::size_t i = 0; i < answer.size(); ++i)
        answer[i] = static_cast<uint8_t>(i + 1);
    const TChannelErrorWords words = BitErrorsFromAnswer(answer);
    EXPECT_EQ(words[0], 0x0201);
    EXPECT_EQ(words[7], 0x100F);
    EXPECT_EQ(words[8], 0);
}

// ---- Retry rule of the checked I2C calls --------------------------------------------------

TEST(CheckedI2C, RetriesOnlyAfterNoAnswer) {
    struct TCase {
        std::vector<TI2CResult> Script;
        TI2CResult Final;
        std::size_t Attempts;
    };
    const TCase cases[] = {
        {{TI2CResult::irNoAnswer, TI2CResult::irNoAnswer, TI2CResult::irOK}, TI2CResult::irOK, 3},
        {{TI2CResult::irInvalidDevice}, TI2CResult::irInvalidDevice, 1},
        {{TI2CResult::irNoAnswer, TI2CResult::irTransferFailed}, TI2CResult::irTransferFailed, 2},
        {{TI2CResult::irOK}, TI2CResult::irOK, 1},
        {std::vector<TI2CResult>(9, TI2CResult::irNoAnswer), TI2CResult::irNoAnswer, 5},
    };
    for (const TCase& c : cases) {
        std::size_t calls = 0;
        const TI2CResult r =
            RetryOnNoAnswer([&] { return c.Script[std::min(calls++, c.Script.size() - 1)]; });
        EXPECT_EQ(r, c.Final);
        EXPECT_EQ(calls, c.Attempts);
    }
}

// ---- The translator's commit --------------------------------------------------------------

// A scripted amplifier whose channel writes and I2C calls answer from per-call scripts.
class TCommitAmplifier : public test::TScriptedAmplifier {
public:
    struct TWrite {
        TI2CResult Result = TI2CResult::irOK;
        std::vector<uint16_t> Verify; // verification words put into the answer
    };
    std::vector<TWrite> WriteScript; // per WriteChannel call; accepted when exhausted
    std::vector<bool> AnswerZeroed;
    std::vector<TI2CResult> I2CScript; // per WriteI2C / WriteReadI2C call; irOK when exhausted
    std::vector<std::string> I2CCalls;

    TI2CResult WriteChannel(int32_t index, uint8_t channel, uint8_t adc8LowVal,
                            const device::TRegisterImage& image, device::TI2CBuffer& answer) override {
        AnswerZeroed.push_back(std::all_of(answer.begin(), answer.end(), [](uint8_t b) { return b == 0; }));
        const TI2CResult r = TScriptedAmplifier::WriteChannel(index, channel, adc8LowVal, image, answer);
        const std::size_t n = AnswerZeroed.size() - 1;
        if (!device::IsOK(r) || n >= WriteScript.size()) return r;
        for (std::size_t w = 0; w < WriteScript[n].Verify.size(); ++w) {
            answer[2 * w] = static_cast<uint8_t>(WriteScript[n].Verify[w] & 0xFF);
            answer[2 * w + 1] = static_cast<uint8_t>(WriteScript[n].Verify[w] >> 8);
        }
        return WriteScript[n].Result;
    }
    TI2CResult WriteI2C(int32_t index, uint8_t addr, std::string_view hexText) override {
        I2CCalls.push_back(device::Format("W %d %2.2x %s", index, addr, hexText));
        return NextI2C();
    }
    TI2CResult WriteReadI2C(int32_t index, uint8_t addr, std::string_view hexText, uint16_t len,
                            std::span<uint8_t> buf) override {
        I2CCalls.push_back(device::Format("WR %d %2.2x %s %d", index, addr, hexText, len));
        const TI2CResult r = NextI2C();
        if (device::IsOK(r)) std::fill(buf.begin(), buf.end(), uint8_t{0xAB});
        return r;
    }

private:
    TI2CResult NextI2C() {
        const std::size_t n = I2CCalls.size() - 1;
        return n < I2CScript.size() ? I2CScript[n] : TI2CResult::irOK;
    }
};

class TranslatorCommit : public ::testing::Test {
protected:
    // Three present channels (version 2) on one LAN device; withDefect adds a fitted, absent slot 3.
    // features and adc18 are those of channel 1.
    void Build(bool withDefect = false, uint8_t features1 = 0x02, bool adc18 = true) {
        device::TI2CTransportFactory f;
        f.CreateLAN = [this] {
            auto t = std::make_unique<TCommitAmplifier>();
            amp = t.get();
            return std::unique_ptr<device::TI2CControl>(std::move(t));
        };
        f.CreateUSB = test::CreatePlaceholderUSBControl;
        f.CreateVirtual = test::CreatePlaceholderVirtualControl;
        t = std::make_unique<TI2CTranslator>(device::kMaskLAN, false, f);
        amp->Devices = {test::GoodDevice("10.0.0.1", 3)};
        for (int s = 0; s < 3; ++s)
            amp->Device(0).Block.Slots[s].Current = device::DefaultRegisterImage(1);
        if (withDefect) amp->Device(0).Block.Slots[3].Fitted = 1;
        amp->Device(0).Block.Slots[1].Info.Features = features1;
        amp->Device(0).Block.Slots[1].HasADC18 = adc18 ? 1 : 0;
        t->OnConfigComplete = [this](const void* sender) {
            EXPECT_EQ(sender, t.get());
            events.push_back("ConfigComplete");
        };
        t->OnError = [this](const void*, const std::string& s) { events.push_back("Error: " + s); };
        t->OnRegisterDump = [this](const void*, const std::string& s) { events.push_back("Dump: " + s); };
        ASSERT_EQ(t->Rescan(), withDefect ? 4 : 3);
        events.clear();
    }

    const std::vector<test::TChannelWrite>& Writes() { return amp->Device(0).ChannelWrites; }
    std::vector<int> WrittenSlots() {
        std::vector<int> slots;
        for (const auto& w : Writes())
            slots.push_back(w.Slot);
        return slots;
    }
    TQRBRawChannel& Ch(int i) { return *t->GetChannel(i); }

    test::TInstalledVirtualMainLoop loop;
    TCommitAmplifier* amp = nullptr;
    std::unique_ptr<TI2CTranslator> t;
    std::vector<std::string> events;
};

TEST_F(TranslatorCommit, NothingChangedWritesNothing) {
    Build();
    t->RegisterDump = true;
    EXPECT_TRUE(t->NewConfig(0, true));
    EXPECT_TRUE(Writes().empty());
    EXPECT_EQ(events, std::vector<std::string>{"ConfigComplete"});
}

TEST_F(TranslatorCommit, AllPresentChannelsWhenNotOnlyChanged) {
    Build(true);
    ASSERT_TRUE(Ch(3).Defect);
    EXPECT_TRUE(t->NewConfig(0, false));
    EXPECT_EQ(WrittenSlots(), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(events, std::vector<std::string>{"ConfigComplete"});
    EXPECT_EQ(t->BitErrors.size(), 4u);
}

TEST_F(TranslatorCommit, OnlyChangedChannelsWithTheirSensorTypeAndLowValue) {
    Build();
    ASSERT_TRUE(t->SetDMSPwrOn(1, 1));
    Ch(1).SensorType = stDMSCurrent;
    Ch(1).Pending.Image.Words[7] = 0x1FFF;
    EXPECT_TRUE(t->NewConfig(0, true));
    ASSERT_EQ(WrittenSlots(), std::vector<int>{1});
    EXPECT_EQ(Writes()[0].ADC8LowVal, 252);
    EXPECT_EQ(Writes()[0].Image.Words[0], stDMSCurrent);
    EXPECT_EQ(Writes()[0].Image.Words[7], 0x0FFF);
    EXPECT_EQ(Ch(1).Current, Ch(1).Pending);
    EXPECT_EQ(Ch(1).dms_pwr_on, 1);
    EXPECT_EQ(Ch(1).PowerDAC, 0x0FFF);
}

TEST_F(TranslatorCommit, ANewSensorTypeAloneIsWritten) {
    Build();
    ASSERT_TRUE(t->SetSensorType(2, stDMSFullbridge));
    ASSERT_TRUE(t->NewConfig(0, true));
    ASSERT_EQ(WrittenSlots(), std::vector<int>{2});
    // The half bridge has the full bridge's image: only the type differs.
    ASSERT_TRUE(t->SetSensorType(2, stDMSHalfbridge));
    ASSERT_FALSE(t->ImagesDiffer(Ch(2).Pending.Image, Ch(2).Current.Image));
    EXPECT_TRUE(t->NewConfig(0, true));
    ASSERT_EQ(WrittenSlots(), (std::vector<int>{2, 2}));
    EXPECT_EQ(Writes()[1].Image.Words[0], stDMSHalfbridge);
    EXPECT_EQ(Ch(2).SensorType, stDMSHalfbridge);
    EXPECT_EQ(Ch(2).TypeCache, stDMSHalfbridge);
}

TEST_F(TranslatorCommit, ARefusedChannelIsRestoredAndItsBitsReported) {
    Build();
    const device::TChannelImage before1 = Ch(1).Current;
    const uint8_t range1 = Ch(1).RangeCache;
    ASSERT_TRUE(t->SetGain(0, 3));
    ASSERT_TRUE(t->SetRange(1, range1 == 12 ? 14 : 12));
    ASSERT_TRUE(t->SetGain(2, 4));
    amp->WriteScript = {{}, {TI2CResult::irDeviceError, {0, 0, 0x0003, 0, 0, 0, 0, 0x0010}}, {}, {}};

    EXPECT_FALSE(t->NewConfig(0, true));
    // Channel 1 is written again with its previous image; the others are still written.
    ASSERT_EQ(WrittenSlots(), (std::vector<int>{0, 1, 1, 2}));
    EXPECT_EQ(Writes()[2].Image, before1.Image);
    EXPECT_EQ(amp->AnswerZeroed, std::vector<bool>(4, true));
    EXPECT_EQ(Ch(1).Current, before1);
    EXPECT_EQ(Ch(1).Pending, before1);
    EXPECT_EQ(Ch(1).RangeCache, range1);
    EXPECT_EQ(Ch(0).gain, 3);
    EXPECT_EQ(Ch(2).gain, 4);

    const std::string expected = "Error: Biterror(s) detected:\r\n  Ch01: $21->$0003    ->" +
                                 std::string(device::RegisterBitName(2, 0)) + "    ->" +
                                 std::string(device::RegisterBitName(2, 1)) +
                                 "\r\n  Ch01: $24->$0010    -> power dac: 16";
    EXPECT_EQ(events, (std::vector<std::string>{expected, "ConfigComplete"}));
    EXPECT_TRUE(t->HasBitErrors());
    EXPECT_EQ(t->BitErrors[1][7], 0x0010);
    EXPECT_EQ(t->LastError, "");

    // The next commit starts without them.
    events.clear();
    EXPECT_TRUE(t->NewConfig(0, true));
    EXPECT_FALSE(t->HasBitErrors());
    EXPECT_EQ(events, std::vector<std::string>{"ConfigComplete"});
}

TEST_F(TranslatorCommit, AFailedRestoreIsReported) {
    Build();
    ASSERT_TRUE(t->SetGain(1, 5));
    amp->WriteScript = {{TI2CResult::irDeviceError, {0, 0, 0, 0, 0, 0, 0, 0x0001}},
                        {TI2CResult::irNoAnswer, {}}};
    EXPECT_FALSE(t->NewConfig(0, true));
    EXPECT_EQ(WrittenSlots(), (std::vector<int>{1, 1}));
    EXPECT_EQ(events, (std::vector<std::string>{
                          "Error: Error 7 while restoring channel 01",
                          "Error: Biterror(s) detected:\r\n  Ch01: $24->$0001    -> power dac: 1",
                          "ConfigComplete"}));
}

TEST_F(TranslatorCommit, AFailureWithoutVerificationDataHasNoBitErrors) {
    Build();
    ASSERT_TRUE(t->SetGain(0, 5));
    amp->WriteScript = {{TI2CResult::irDeviceError, {0xFFFF, 0xFFFF}}};
    EXPECT_FALSE(t->NewConfig(0, true));
    events.clear();
    // A failure whose answer holds nothing: no stale bits of the earlier answer.
    ASSERT_TRUE(t->SetGain(0, 5));
    amp->WriteScript.push_back({});
    amp->WriteScript.push_back({TI2CResult::irNoAnswer, {}});
    EXPECT_FALSE(t->NewConfig(0, true));
    EXPECT_FALSE(t->HasBitErrors());
    EXPECT_EQ(events, std::vector<std::string>{"ConfigComplete"});
    EXPECT_EQ(Ch(0).Pending, Ch(0).Current);
}

TEST_F(TranslatorCommit, RegisterDumpOfTheLastChannelOnceAfterWrites) {
    Build(true);
    ASSERT_TRUE(t->SetGain(0, 5));
    ASSERT_TRUE(t->NewConfig(0, true)); // dump off
    EXPECT_EQ(events, std::vector<std::string>{"ConfigComplete"});

    events.clear();
    t->RegisterDump = true;
    ASSERT_TRUE(t->SetGain(1, 5));
    ASSERT_TRUE(t->SetGain(2, 5));
    ASSERT_TRUE(t->NewConfig(0, true));
    // The last channel of the list is the defect slot's placeholder.
    EXPECT_EQ(events,
              (std::vector<std::string>{"Dump: Channel  4:   $18:$0000   $20:$0000   $21:$0000  $22:$0000   "
                                        "$25:$0000   $26:$0000    $2A:$0000   $24:$0000   $24:$0000",
                                        "ConfigComplete"}));
    std::string line;
    t->DumpRegisters(Ch(0), line);
    EXPECT_EQ(line, RegisterDumpText(Ch(0)));

    events.clear();
    t->OnRegisterDump = nullptr;
    ASSERT_TRUE(t->SetGain(1, 1));
    EXPECT_TRUE(t->NewConfig(0, true));
    EXPECT_EQ(events, std::vector<std::string>{"ConfigComplete"});
}

TEST_F(TranslatorCommit, RetiredAndUnknownModes) {
    Build();
    ASSERT_TRUE(t->SetGain(0, 5));
    struct TCase {
        uint8_t Mode;
        const char* Text;
    };
    for (const TCase c : {TCase{1, "Don''t use NewConfigShort any longer!"},
                          TCase{2, "Don''t use NewConfigDAC any longer!"}}) {
        try {
            t->NewConfig(c.Mode, true);
            ADD_FAILURE() << "no exception";
        } catch (const ETranslatorError& e) {
            EXPECT_STREQ(e.what(), c.Text);
        }
    }
    EXPECT_TRUE(events.empty());
    EXPECT_FALSE(t->NewConfig(3, true));
    EXPECT_EQ(events, std::vector<std::string>{"ConfigComplete"});
    EXPECT_TRUE(Writes().empty());
}

TEST_F(TranslatorCommit, RollbackAfterTwoCommits) {
    Build(true);
    t->TakeSnapshot();
    const device::TChannelImage snap = Ch(0).Current;
    const uint8_t range = Ch(0).Range;
    const uint8_t coupling = Ch(0).coupling;
    ASSERT_TRUE(t->SetRange(0, range == 20 ? 22 : 20));
    Ch(0).SensorType = stICP;
    ASSERT_TRUE(t->NewConfig(0, true));
    ASSERT_TRUE(t->SetCoupling(0, coupling == 3 ? 4 : 3));
    ASSERT_TRUE(t->NewConfig(0, true));
    const std::size_t writes = Writes().size();

    t->Rollback();
    EXPECT_EQ(Writes().size(), writes); // the devices stay as committed
    EXPECT_EQ(Ch(0).Current, snap);
    EXPECT_EQ(Ch(0).Pending, snap);
    EXPECT_EQ(Ch(0).Range, range);
    EXPECT_EQ(Ch(0).coupling, coupling);
    EXPECT_EQ(Ch(0).CouplingCache, coupling);
    EXPECT_EQ(Ch(0).SensorType, stOff);              // the type of the snapshot
    EXPECT_EQ(Ch(3).HWVersion, kHWVersionUndecoded); // the placeholder is never decoded
    EXPECT_TRUE(t->NewConfig(0, true));
    EXPECT_EQ(Writes().size(), writes);
    // Writing everything sends the snapshot again.
    EXPECT_TRUE(t->NewConfig(0, false));
    ASSERT_EQ(Writes().size(), writes + 3);
    EXPECT_EQ(Writes()[writes].Image, snap.Image);
}

TEST_F(TranslatorCommit, RollbackInTheMiddleOfCollectedEdits) {
    Build();
    t->TakeSnapshot();
    ASSERT_TRUE(t->SetRange(1, 7));
    ASSERT_TRUE(t->SetCoupling(2, 5));
    ASSERT_TRUE(t->SetDACs(0, 100, 200));
    t->Rollback();
    EXPECT_TRUE(t->NewConfig(0, true));
    EXPECT_TRUE(Writes().empty());
}

TEST_F(TranslatorCommit, RollbackWithoutSnapshotKeepsTheEdits) {
    Build();
    ASSERT_TRUE(t->SetGain(1, 5));
    t->Rollback();
    EXPECT_EQ(Ch(1).GainCache, 5);
    EXPECT_TRUE(TI2CTranslator::ImagesDiffer(Ch(1).Pending.Image, Ch(1).Current.Image));
}

// Every field a setter (or a preset) writes on a channel, by name; the images apart.
#define QRB_SETTER_FIELDS(X)                                                                                 \
    X(SensorType)                                                                                            \
    X(Range)                                                                                                 \
    X(HWVersion)                                                                                             \
    X(coupling)                                                                                              \
    X(reference) X(vrefplus) X(vrefminus) X(predivider) X(gain) X(volt_sense) X(charge_mode)                 \
        X(charge_highpass) X(charge_capacity) X(volt_supply) X(offset) X(monitor) X(offsetdac_filter)        \
            X(outputfilter) X(quarterload) X(pwr_at_signal) X(dms_shunt) X(_120_Ohm) X(pwrfilter5M)          \
                X(current) X(led1) X(led2) X(r25_shunt) X(dmscableref) X(qtrloadsense) X(dms_pwr_on)         \
                    X(analog_status_off) X(chargeinput) X(charge_ac_out) X(charge_clear)                     \
                        X(charge_man_clearmode) X(open_gnd_shield) X(PowerDAC) X(OffsetDAC) X(PowerZero)     \
                            X(OffsetZero) X(TypeCache) X(RangeCache) X(GainCache) X(CouplingCache)           \
                                X(OffsetDACCache) X(PowerDACCache) X(MonitorCache) X(OffsetCache)            \
                                    X(OutputFilterCache) X(Is350OhmCache) X(SenseCache) X(PowerDACCache2)    \
                                        X(DMSShuntCache) X(PwrAtSignalCache) X(ChargeModeCache)              \
                                            X(CapacityCache) X(HighpassCache) X(AutoClearCache)              \
                                                X(SupplyCache) X(ReferenceCache) X(CurrentCache)             \
                                                    X(ADC8StatVal) X(ADC8LowVal)

struct TSetterState {
    device::TChannelImage Current;
    device::TChannelImage Pending;
    std::vector<std::pair<std::string, long>> Fields;
    std::string AllowedCouplings;
    bool operator==(const TSetterState&) const = default;
};

TSetterState SetterState(const TQRBRawChannel& ch) {
    TSetterState s{ch.Current, ch.Pending, {}, ch.AllowedCouplings.to_string()};
#define QRB_ADD_FIELD(f) s.Fields.emplace_back(#f, static_cast<long>(ch.f));
    QRB_SETTER_FIELDS(QRB_ADD_FIELD)
#undef QRB_ADD_FIELD
    return s;
}

void PrintTo(const TSetterState& s, std::ostream* os) {
    *os << "Current " << testing::PrintToString(s.Current.Image.Words) << " Pending "
        << testing::PrintToString(s.Pending.Image.Words) << " allowed " << s.AllowedCouplings;
    for (const auto& [name, value] : s.Fields)
        *os << " " << name << "=" << value;
}

using TCodeSetter = bool (TI2CTranslator::*)(int32_t, uint8_t);

struct TSetterCase {
    const char* Name;
    std::function<bool(TI2CTranslator&, int, uint8_t)> Set;
};

std::vector<TSetterCase> EverySetter() {
    std::vector<TSetterCase> cases;
    auto add = [&](const char* name, TCodeSetter setter) {
        cases.push_back(
            {name, [setter](TI2CTranslator& t, int i, uint8_t code) { return (t.*setter)(i, code); }});
    };
#define QRB_ADD_SETTER(f) add(#f, &TI2CTranslator::f);
    QRB_ADD_SETTER(SetCoupling)
    QRB_ADD_SETTER(SetReference)
    QRB_ADD_SETTER(SetOpenGndShield)
    QRB_ADD_SETTER(SetVRefPlus)
    QRB_ADD_SETTER(SetVRefMinus) QRB_ADD_SETTER(SetRange) QRB_ADD_SETTER(SetPreDivider) QRB_ADD_SETTER(
        SetGain) QRB_ADD_SETTER(SetTEDSPower) QRB_ADD_SETTER(SetSense) QRB_ADD_SETTER(SetOffset)
        QRB_ADD_SETTER(SetMonitor) QRB_ADD_SETTER(SetOffsetDACFilter) QRB_ADD_SETTER(SetZeroInput)
            QRB_ADD_SETTER(SetOutputFilter) QRB_ADD_SETTER(SetQuarterLoad) QRB_ADD_SETTER(SetPwrAtSignal)
                QRB_ADD_SETTER(SetDMSShunt) QRB_ADD_SETTER(Set120Ohm) QRB_ADD_SETTER(SetPwrFilter5M)
                    QRB_ADD_SETTER(SetCurrent) QRB_ADD_SETTER(SetLED1) QRB_ADD_SETTER(SetLED2)
                        QRB_ADD_SETTER(SetR25Shunt) QRB_ADD_SETTER(SetQtrLoadSense)
                            QRB_ADD_SETTER(SetDMSPwrOn) QRB_ADD_SETTER(SetDMSCableRef)
                                QRB_ADD_SETTER(SetChargeMode) QRB_ADD_SETTER(SetChargeHighpass)
                                    QRB_ADD_SETTER(SetChargeCapacity) QRB_ADD_SETTER(SetChargeInput)
                                        QRB_ADD_SETTER(SetChargeACOut) QRB_ADD_SETTER(SetChargeClear)
                                            QRB_ADD_SETTER(SetChargeManClearMode) QRB_ADD_SETTER(SetSupply)
#undef QRB_ADD_SETTER
                                                cases.push_back(
                                                    {"SetDACs", [](TI2CTranslator& t, int i, uint8_t code) {
                                                         return t.SetDACs(i,
                                                                          static_cast<uint16_t>(100 + code),
                                                                          static_cast<uint16_t>(3000 - code));
                                                     }});
    cases.push_back({"SetSensorType", [](TI2CTranslator& t, int i, uint8_t code) {
                         return t.SetSensorType(i, static_cast<TSensorType>(code));
                     }});
    return cases;
}

// The first code from 0 on that changes the channel; false when none does.
bool ChangeWith(const TSetterCase& setter, TI2CTranslator& t, int index) {
    const TSetterState before = SetterState(*t.GetChannel(index));
    for (int code = 0; code < 32; ++code)
        if (setter.Set(t, index, static_cast<uint8_t>(code)) && SetterState(*t.GetChannel(index)) != before)
            return true;
    return false;
}

TEST_F(TranslatorCommit, EverySetterIsUndoneByRollbackAndByARefusedCommit) {
    // A VOLT channel with its supply on (the open ground switches its reference), and a CHARGE one
    // without 18-bit converter (its low value follows the DMS power).
    Build(false, 0x03, false);
    ASSERT_TRUE(t->SetSensorType(0, stVolt));
    ASSERT_TRUE(t->SetSupply(0, 1));
    ASSERT_TRUE(t->SetSensorType(1, stCharge));
    ASSERT_TRUE(t->NewConfig(0, true));
    ASSERT_EQ(Ch(0).ADC8LowVal, 252);
    ASSERT_NE(Ch(1).ADC8LowVal, 252);
    for (const bool rollback : {true, false}) {
        std::vector<std::string> refused;
        for (int index : {0, 1}) {
            for (const TSetterCase& setter : EverySetter()) {
                // The charge mode is decoded, and used, only on a CHARGE channel.
                if (std::string_view(setter.Name) == "SetChargeMode" && Ch(index).SensorType != stCharge)
                    continue;
                SCOPED_TRACE(std::string(setter.Name) + " on channel " + std::to_string(index) +
                             (rollback ? ", rollback" : ", refused commit"));
                const TSetterState before = SetterState(Ch(index));
                const uint8_t lowValue = Ch(index).ADC8LowVal;
                const std::size_t writes = Writes().size();
                t->TakeSnapshot();
                ASSERT_TRUE(ChangeWith(setter, *t, index));
                const TQRBRawChannel& ch = Ch(index);
                if (rollback) {
                    // The model as before, nothing written.
                    t->Rollback();
                    EXPECT_EQ(SetterState(ch), before);
                    EXPECT_EQ(Writes().size(), writes);
                    continue;
                }
                if (!TI2CTranslator::ImagesDiffer(ch.Pending.Image, ch.Current.Image) &&
                    ch.SensorType == ch.Current.Image.Words[0]) {
                    // Nothing to send (the open ground of a reference that ignores it): no commit.
                    t->Rollback();
                    continue;
                }
                // The model as before, and the restore write sends what the device ran with.
                refused.push_back(std::string(setter.Name) + " " + std::to_string(index));
                amp->WriteScript.assign(amp->AnswerZeroed.size(), {});
                amp->WriteScript.push_back({TI2CResult::irDeviceError, {0, 0, 0, 0, 0, 0, 0, 0x0001}});
                EXPECT_FALSE(t->NewConfig(0, true));
                ASSERT_EQ(Writes().size(), writes + 2);
                EXPECT_EQ(Writes().back().Image, before.Current.Image);
                EXPECT_EQ(Writes().back().ADC8LowVal, lowValue);
                EXPECT_EQ(SetterState(ch), before);
                amp->WriteScript.clear();
            }
        }
        // The setters of the fields no image holds were among the refused ones.
        if (!rollback) {
            for (const char* name : {"SetOpenGndShield 0", "SetDMSPwrOn 1", "SetSupply 0"})
                EXPECT_NE(std::find(refused.begin(), refused.end(), name), refused.end()) << name;
        }
    }
}

TEST_F(TranslatorCommit, CheckedWritesRetryOnlyAfterNoAnswer) {
    Build();
    amp->I2CScript = {TI2CResult::irNoAnswer, TI2CResult::irNoAnswer, TI2CResult::irOK};
    EXPECT_TRUE(t->WriteI2CChecked(0, 0x2B, "0A0B"));
    EXPECT_EQ(amp->I2CCalls, std::vector<std::string>(3, "W 0 2B 0A0B"));

    amp->I2CCalls.clear();
    amp->I2CScript = {TI2CResult::irInvalidDevice};
    try {
        t->WriteI2CChecked(0, 0x2B, "0A0B");
        ADD_FAILURE() << "no exception";
    } catch (const ETranslatorError& e) {
        EXPECT_STREQ(e.what(), "Error 10 while writing 0A0B to slave $2B on device 0.");
    }
    EXPECT_EQ(amp->I2CCalls.size(), 1u);

    amp->I2CCalls.clear();
    amp->I2CScript.assign(9, TI2CResult::irNoAnswer);
    EXPECT_THROW(t->WriteI2CChecked(0, 0x18, "E1"), ETranslatorError);
    EXPECT_EQ(amp->I2CCalls.size(), 5u);
}

TEST_F(TranslatorCommit, CheckedWriteReadsRetryOnlyAfterNoAnswer) {
    Build();
    std::array<uint8_t, 4> buf{};
    amp->I2CScript = {TI2CResult::irNoAnswer, TI2CResult::irOK};
    EXPECT_TRUE(t->WriteReadI2CChecked(0, 0x68, "8C", 4, buf));
    EXPECT_EQ(amp->I2CCalls, std::vector<std::string>(2, "WR 0 68 8C 4"));
    EXPECT_EQ(buf[3], 0xAB);

    amp->I2CCalls.clear();
    amp->I2CScript.assign(5, TI2CResult::irNoAnswer);
    try {
        t->WriteReadI2CChecked(0, 0x68, "8C", 4, buf);
        ADD_FAILURE() << "no exception";
    } catch (const ETranslatorError& e) {
        EXPECT_STREQ(e.what(), "Error 7 while reading 8C to slave $68 on device 0.");
    }
    EXPECT_EQ(amp->I2CCalls.size(), 5u);

    // A device outside the list: the hardware abstraction's 10, at once.
    amp->I2CCalls.clear();
    try {
        t->WriteReadI2CChecked(4, 0x54, "00", 1, buf);
        ADD_FAILURE() << "no exception";
    } catch (const ETranslatorError& e) {
        EXPECT_STREQ(e.what(), "Error 10 while reading 00 to slave $54 on device 4.");
    }
    EXPECT_TRUE(amp->I2CCalls.empty());
}

TEST(TranslatorCommitOffline, CommitsThroughTheSimulatedTransport) {
    test::TInstalledVirtualMainLoop loop;
    TI2CTranslator t{device::kMaskOffline, false, device::DefaultTransportFactory()};
    int completes = 0;
    t.OnConfigComplete = [&](const void*) { ++completes; };
    ASSERT_EQ(t.AddScanTarget("A-2:3", device::kMaskOffline), 0);
    ASSERT_EQ(t.Rescan(), 2);
    ASSERT_TRUE(t.SetRange(1, 12));
    ASSERT_TRUE(t.SetChargeMode(1, 2));
    t.GetChannel(1)->SensorType = stCharge;
    EXPECT_TRUE(t.NewConfig(0, true));
    EXPECT_EQ(t.GetChannel(1)->Range, 12);
    EXPECT_EQ(t.GetChannel(1)->charge_mode, 2);
    EXPECT_EQ(t.GetChannel(1)->SensorType, stCharge);
    EXPECT_TRUE(t.NewConfig(0, false));
    EXPECT_EQ(completes, 2);
}
} // namespace
} // namespace qrb::model
