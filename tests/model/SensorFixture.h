#pragma once
// A translator over one LAN device whose channels carry chip emulations: the DS2482 bridge and
// the three converters on every slot, reached through the multiplexer selection.

#include "model/I2CTranslator.h"
#include "tests/model/TranslatorFixture.h"
#include "tests/support/ChipAmplifier.h"
#include "tests/support/ChipEmulations.h"

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qrb::test {

class SensorFixture : public TranslatorFixture {
protected:
    static constexpr int kSlots = 4;

    // The transport holds the chips: it goes first.
    ~SensorFixture() override { translator.reset(); }

    struct TSlotChips {
        TDS2482Emulation Bridge;
        TADC18Emulation ADC18;
        TADC12Emulation ADC12;
        TADC8Emulation ADC8;
    };

    // Scans one device with `channels` present slots (18-bit ADC, information version 2); edit
    // is applied to the scripted device before the scan.
    void Start(int channels = kSlots, const std::function<void(TScriptedDevice&)>& edit = {}) {
        TScriptedDevice dev = GoodDevice("10.0.0.1", channels);
        if (edit) edit(dev);
        StartDevices({dev}, channels);
    }
    // Several devices in name order; the chips sit on device 0. channels: of all devices.
    void StartDevices(const std::vector<TScriptedDevice>& devices, int channels) {
        device::TI2CTransportFactory f;
        f.CreateLAN = [this, devices] {
            auto t = std::make_unique<TChipAmplifier>();
            t->Devices = devices;
            amp = t.get();
            for (int s = 0; s < kSlots; ++s) {
                TSlotChips& c = chips[static_cast<size_t>(s)];
                t->Attach(0, 0, s, 0x18, c.Bridge);
                t->Attach(0, 0, s, 0x68, c.ADC18);
                t->Attach(0, 0, s, 0x51, c.ADC12);
                t->Attach(0, 0, s, 0x54, c.ADC8);
                c.ADC18.SetImageDecoder(
                    [](const device::TRegisterImage& image) { return AnalogInputsFromImage(image, 1); });
            }
            return std::unique_ptr<device::TI2CControl>(std::move(t));
        };
        f.CreateUSB = test::CreatePlaceholderUSBControl;
        f.CreateVirtual = test::CreatePlaceholderVirtualControl;
        translator = std::make_unique<model::TI2CTranslator>(device::kMaskLAN, false, f);
        Hook();
        ASSERT_EQ(translator->Rescan(), channels);
        amp->Log.clear();
        amp->Device(0).ChannelWrites.clear();
        events.clear();
    }

    TScriptedDevice& Dev() { return amp->Device(0); }
    model::TQRBRawChannel& Ch(int index) { return *translator->GetChannel(index); }

    std::array<TSlotChips, kSlots> chips;
    TChipAmplifier* amp = nullptr;
};

} // namespace qrb::test
