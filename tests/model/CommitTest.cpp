#include "model/ChannelCommit.h"

#include "device/HWVocabulary.h"
#include "model/ChannelSetters.h"
#include "model/QRBRawChannel.h"

#include <gtest/gtest.h>

#include <memory>
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

} // namespace
} // namespace qrb::model
