#pragma once
// A scripted amplifier whose channel-level I2C accesses reach chip emulations: SetMux selects
// group, slot and path of a device, and an access to an address reaches the chip attached there
// for the selected channel. Channel writes store the image per slot and hand it to that slot's
// chips, so converters follow the committed settings. Every I2C call is logged as text
// ("WriteReadI2C(0,$18,F0,1)"); chosen calls are refused.

#include "model/RegisterTables.h"
#include "tests/support/ChipEmulations.h"
#include "tests/support/ScriptedAmplifier.h"

#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace qrb::test {

// What the 18-bit ADC sees under a channel image of hardware variant hwVariant (0 or 1).
TAnalogInputs AnalogInputsFromImage(const device::TRegisterImage& image, int hwVariant);

// Lets adc follow every image its slot stores from now on, starting from stored.
inline void FollowStoredImages(TADC18Emulation& adc, const device::TRegisterImage& stored, int hwVariant) {
    adc.SetInputs(AnalogInputsFromImage(stored, hwVariant));
    adc.SetImageDecoder(
        [hwVariant](const device::TRegisterImage& image) { return AnalogInputsFromImage(image, hwVariant); });
}

class TChipAmplifier : public TScriptedAmplifier {
public:
    struct TSelection {
        int32_t Group = -1;
        int32_t Slot = -1;
        int32_t Path = -1;
    };

    // chip (not owned) answers address on the channel of device, group and slot.
    void Attach(int32_t device, int32_t group, int32_t slot, uint8_t address, device::TSimChip& chip);

    std::vector<std::string> Log;
    // Call text -> the result it gets instead (the call reaches no chip).
    std::map<std::string, device::TI2CResult> Refuse;
    // Calls with this prefix are refused with RefuseResult after RefuseAfter of them passed.
    std::string RefusePrefix;
    int RefuseAfter = 0;
    device::TI2CResult RefuseResult = device::TI2CResult::irNoAnswer;

    TSelection Selection(int32_t device) const;
    // The last image written to a slot (zero when none).
    device::TRegisterImage StoredImage(int32_t device, int32_t slot) const;
    // The log lines that start with prefix.
    std::vector<std::string> LogOf(const std::string& prefix) const;

    device::TI2CResult WriteI2C(int32_t index, uint8_t addr, std::string_view hexText) override;
    device::TI2CResult ReadI2C(int32_t index, uint8_t addr, uint16_t len, std::span<uint8_t> buf) override;
    device::TI2CResult WriteReadI2C(int32_t index, uint8_t addr, std::string_view hexText, uint16_t len,
                                    std::span<uint8_t> buf) override;
    device::TI2CResult SetMux(int32_t index, uint8_t ondrixMux, uint8_t channelMux, uint8_t pathMux) override;
    device::TI2CResult WriteChannel(int32_t index, uint8_t channel, uint8_t adc8LowVal,
                                    const device::TRegisterImage& image, device::TI2CBuffer& answer) override;
    // Logged and refusable ("GetDeviceADC8(1)"); a refused call changes nothing.
    device::TI2CResult GetDeviceADC8(int32_t index, device::TDeviceADC8& status, bool& changed) override;

private:
    using TKey = std::tuple<int32_t, int32_t, int32_t, uint8_t>; // device, group, slot, address
    // Logs text; false with result set when the call is refused.
    bool Pass(const std::string& text, device::TI2CResult& result);
    device::TSimChip* Chip(int32_t device, uint8_t address) const;

    std::map<TKey, device::TSimChip*> chips_;
    std::map<int32_t, TSelection> selection_;
    std::map<std::pair<int32_t, int32_t>, device::TRegisterImage> images_;
    int refusePassed_ = 0;
};

} // namespace qrb::test
