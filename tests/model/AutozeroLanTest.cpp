// Autozero over the LAN transport against the fake LAN amplifier: the 18-bit ADC emulation
// follows the image the amplifier stored, so both adjustment paths have to converge on what the
// device received.

#include "model/I2CTranslator.h"
#include "tests/support/ChipAmplifier.h"
#include "tests/support/ChipEmulations.h"
#include "tests/support/FakeLanAmplifier.h"
#include "tests/support/LanTestTransports.h"
#include "tests/support/VirtualMainLoop.h"

#include <gtest/gtest.h>

#include <memory>

namespace qrb::test {
namespace {

class AutozeroLan : public ::testing::Test {
protected:
    void SetUp() override {
        TFakeAmpConfig config;
        config.Channels = 2;
        config.Version = 2;
        amp = std::make_unique<TFakeLanAmplifier>(config);
        amp->SetChip(0, 0x68, &adc);
        translator = std::make_unique<model::TI2CTranslator>(device::kMaskLAN, false, LanOnlyTransports());
        translator->OnConfigComplete = [](const void*) {};
        translator->OnTranslatorError = [this](const void*, const std::string& t) { errors.push_back(t); };
        translator->AddScanTarget(amp->Target(), device::kMaskLAN);
        ASSERT_EQ(translator->Rescan(), 2);
        const int variant = translator->GetChannel(0)->HWVersion;
        // The converter follows every image the device stores for its slot, from what it holds now.
        FollowStoredImages(adc, amp->StoredImage(0), variant);
    }
    void TearDown() override {
        translator.reset();
        amp.reset();
    }

    TVirtualMainLoop loop;
    device::TScopedMainLoop scope{loop};
    TADC18Emulation adc;
    std::unique_ptr<TFakeLanAmplifier> amp;
    std::unique_ptr<model::TI2CTranslator> translator;
    std::vector<std::string> errors;
};

TEST_F(AutozeroLan, FinePathConverges) {
    adc.SetZeroReference(-200);
    adc.SetSignal(300);
    ASSERT_TRUE(translator->Autozero(0, 2)) << (errors.empty() ? "" : errors.back());
    const model::TQRBRawChannel& ch = *translator->GetChannel(0);
    const TAnalogInputs held = AnalogInputsFromImage(amp->StoredImage(0), ch.HWVersion);
    EXPECT_FALSE(held.OffsetOn);
    EXPECT_TRUE(held.ZeroInput);
    EXPECT_EQ(held.OffsetDAC, ch.OffsetDAC);
    EXPECT_EQ(ch.OffsetZero, ch.OffsetDAC);
    EXPECT_LT(std::abs(adc.Reading() + 200), 3);
    EXPECT_EQ(ch.Calibration.ZeroOffsets[ch.coupling][ch.Range][0], ch.OffsetDAC);
    // Conversions started at the device: two references of two samples and the loops.
    size_t starts = 0;
    for (const auto& w : amp->ChipWrites())
        starts += w.Address == 0x68 && w.Slot == 0;
    EXPECT_GE(starts, 5u);
    EXPECT_EQ(static_cast<size_t>(adc.Conversions()), starts);
}

TEST_F(AutozeroLan, CoarsePathConverges) {
    adc.SetZeroReference(1000);
    adc.SetSignal(-30000);
    ASSERT_TRUE(translator->Autozero(0, 1)) << (errors.empty() ? "" : errors.back());
    const model::TQRBRawChannel& ch = *translator->GetChannel(0);
    const TAnalogInputs held = AnalogInputsFromImage(amp->StoredImage(0), ch.HWVersion);
    EXPECT_TRUE(held.OffsetOn);
    EXPECT_EQ(held.OffsetDAC, ch.OffsetDAC);
    EXPECT_LT(std::abs(adc.Reading() - 1000), 30);
    EXPECT_EQ(ch.Calibration.ZeroOffsets[ch.coupling][ch.Range][1], ch.OffsetDAC);
}

TFakeFault Closing(uint32_t code) {
    TFakeFault fault;
    fault.Code = code;
    fault.Close = true;
    return fault;
}

constexpr uint32_t kWriteChannelCode = 0x30011;
constexpr uint32_t kI2CWriteCode = 0x10003;

// The connection closes at a commit or at the converter's start: the operation knows the loss
// when it returns, before the loss posted for the main loop is delivered.
TEST_F(AutozeroLan, AnOperationThatGetsNoAnswerIsCountedAsItReturns) {
    adc.SetZeroReference(-200);
    adc.SetSignal(300);
    ASSERT_TRUE(translator->Autozero(0, 1));
    EXPECT_TRUE(translator->NoAnswers.empty());

    amp->AddFault(Closing(kWriteChannelCode));
    translator->SetRange(0, 5);
    EXPECT_FALSE(translator->NewConfig(0, true));
    ASSERT_EQ(translator->NoAnswers.size(), 1u);
    const uint32_t afterCommit = translator->NoAnswers[0];
    EXPECT_GE(afterCommit, 1u);
    // Later operations on the closed connection count as well.
    EXPECT_THROW(translator->WriteI2CChecked(0, 0x68, "8C"), model::ETranslatorError);
    EXPECT_GT(translator->NoAnswers[0], afterCommit);
}

TEST_F(AutozeroLan, ALossInsideAReadingRaisesAndIsCounted) {
    adc.SetZeroReference(-200);
    adc.SetSignal(300);
    amp->AddFault(Closing(kI2CWriteCode));
    EXPECT_THROW(translator->Autozero(0, 1), model::ETranslatorError);
    ASSERT_EQ(translator->NoAnswers.size(), 1u);
    EXPECT_GE(translator->NoAnswers[0], 1u);
}

// A store that fails part-way leaves the model with what the flash holds: none, some or all of
// the pages, or the scan's default table when the flash cannot be read.
TEST_F(AutozeroLan, AFailedCalibrationStoreKeepsWhatTheFlashHolds) {
    enum class TStep { Page, Lost, Path, Release };
    struct TCase {
        const char* Name;
        TStep Step;
    };
    constexpr uint32_t kSetMuxCode = 0x20001;
    for (const TCase& c : {TCase{"third page refused", TStep::Page}, TCase{"connection closed", TStep::Lost},
                           TCase{"path refused", TStep::Path}, TCase{"release refused", TStep::Release}}) {
        SCOPED_TRACE(c.Name);
        ASSERT_EQ(translator->Rescan(), 2);
        device::TChannelCalibTable old;
        old.SetSource("QRBCAL730");
        old.AdjustMarker = 174;
        old.CalibDate.SetText("2020-01-01");
        for (auto& coupling : old.ZeroOffsets)
            for (auto& pair : coupling)
                pair = {2600, 2048};
        amp->SetCalibTable(1, old);
        ASSERT_EQ(translator->Rescan(), 2);
        model::TQRBRawChannel& ch = *translator->GetChannel(1);
        ASSERT_EQ(ch.Calibration, old);
        // A stamped table with new offsets everywhere.
        ch.Calibration.CalibDate.SetText("2026-12-10");
        for (auto& coupling : ch.Calibration.ZeroOffsets)
            for (auto& pair : coupling)
                pair = {2900, 2048};
        const device::TChannelCalibTable stamped = ch.Calibration;
        TFakeFault passed; // the requests before the refused one go through
        passed.Code = c.Step == TStep::Release ? kSetMuxCode : kI2CWriteCode;
        passed.Times = c.Step == TStep::Release ? 1 : 2;
        switch (c.Step) {
        case TStep::Lost:
            amp->AddFault(Closing(kI2CWriteCode));
            break;
        case TStep::Page:
            amp->AddFault(passed);
            amp->AddFault(Refusal(kI2CWriteCode, 0));
            break;
        case TStep::Path:
            amp->AddFault(Refusal(kSetMuxCode, 0x40));
            break;
        case TStep::Release:
            amp->AddFault(passed);
            amp->AddFault(Refusal(kSetMuxCode, 0x40));
            break;
        }
        EXPECT_FALSE(translator->StoreCalibration(1));
        amp->ClearFaults();
        const device::TChannelCalibTable held = amp->CalibTable(1);
        switch (c.Step) {
        case TStep::Lost:
            EXPECT_FALSE(ch.Calibration.IsUsable());
            EXPECT_EQ(ch.Calibration.ZeroOffsets[0][4][0], 2048);
            break;
        case TStep::Page:
            EXPECT_NE(held, old);
            EXPECT_NE(held, stamped);
            EXPECT_EQ(ch.Calibration, held);
            break;
        case TStep::Path:
            EXPECT_EQ(held, old);
            EXPECT_EQ(ch.Calibration, old);
            break;
        case TStep::Release:
            EXPECT_EQ(held, stamped);
            EXPECT_EQ(ch.Calibration, stamped);
            break;
        }
    }
}

} // namespace
} // namespace qrb::test
