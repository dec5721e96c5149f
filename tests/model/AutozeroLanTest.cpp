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

} // namespace
} // namespace qrb::test
