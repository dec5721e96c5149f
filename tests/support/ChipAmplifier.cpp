#include "tests/support/ChipAmplifier.h"

#include "device/Format.h"
#include "device/sim/SimChip.h"

#include <algorithm>

namespace qrb::test {

using device::TI2CResult;

TAnalogInputs AnalogInputsFromImage(const device::TRegisterImage& image, int hwVariant) {
    using model::TSetting;
    auto on = [&](TSetting s) {
        return model::DecodeSwitch(s, hwVariant, image.Words[model::SettingTable(s).Word]);
    };
    TAnalogInputs in;
    in.OffsetDAC = static_cast<uint16_t>(image.Words[8] & 0x0FFF);
    in.OffsetOn = on(TSetting::Offset);
    in.ZeroInput = on(TSetting::ZeroInput);
    return in;
}

void TChipAmplifier::Attach(int32_t device, int32_t group, int32_t slot, uint8_t address,
                            device::TSimChip& chip) {
    chips_[{device, group, slot, address}] = &chip;
}

TChipAmplifier::TSelection TChipAmplifier::Selection(int32_t device) const {
    auto it = selection_.find(device);
    return it == selection_.end() ? TSelection{} : it->second;
}

device::TRegisterImage TChipAmplifier::StoredImage(int32_t device, int32_t slot) const {
    auto it = images_.find({device, slot});
    return it == images_.end() ? device::TRegisterImage{} : it->second;
}

std::vector<std::string> TChipAmplifier::LogOf(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const auto& line : Log)
        if (line.rfind(prefix, 0) == 0) out.push_back(line);
    return out;
}

bool TChipAmplifier::Pass(const std::string& text, TI2CResult& result) {
    Log.push_back(text);
    if (auto it = Refuse.find(text); it != Refuse.end()) {
        result = it->second;
        return false;
    }
    if (!RefusePrefix.empty() && text.rfind(RefusePrefix, 0) == 0) {
        if (refusePassed_ >= RefuseAfter) {
            result = RefuseResult;
            return false;
        }
        ++refusePassed_;
    }
    result = TI2CResult::irOK;
    return true;
}

device::TSimChip* TChipAmplifier::Chip(int32_t device, uint8_t address) const {
    const TSelection s = Selection(device);
    auto it = chips_.find({device, s.Group, s.Slot, address});
    return it == chips_.end() ? nullptr : it->second;
}

TI2CResult TChipAmplifier::WriteI2C(int32_t index, uint8_t addr, std::string_view hexText) {
    if (!CheckIndex(index)) return TI2CResult::irInvalidDevice;
    TI2CResult r;
    if (!Pass(device::Format("WriteI2C(%d,$%2.2x,%s)", index, addr, std::string(hexText)), r)) return r;
    const auto bytes = device::ParseHexText(hexText);
    if (!bytes) return TI2CResult::irInvalidWriteValue;
    if (auto* chip = Chip(index, addr)) chip->Write(*bytes);
    return TI2CResult::irOK;
}

TI2CResult TChipAmplifier::ReadI2C(int32_t index, uint8_t addr, uint16_t len, std::span<uint8_t> buf) {
    if (!CheckIndex(index)) return TI2CResult::irInvalidDevice;
    TI2CResult r;
    if (!Pass(device::Format("ReadI2C(%d,$%2.2x,%d)", index, addr, len), r)) return r;
    std::fill(buf.begin(), buf.end(), uint8_t{0});
    if (auto* chip = Chip(index, addr)) chip->Read(buf.first(std::min<size_t>(len, buf.size())));
    return TI2CResult::irOK;
}

TI2CResult TChipAmplifier::WriteReadI2C(int32_t index, uint8_t addr, std::string_view hexText, uint16_t len,
                                        std::span<uint8_t> buf) {
    if (!CheckIndex(index)) return TI2CResult::irInvalidDevice;
    TI2CResult r;
    if (!Pass(device::Format("WriteReadI2C(%d,$%2.2x,%s,%d)", index, addr, std::string(hexText), len), r))
        return r;
    std::fill(buf.begin(), buf.end(), uint8_t{0});
    const auto bytes = device::ParseHexText(hexText);
    if (!bytes) return TI2CResult::irInvalidWriteValue;
    if (auto* chip = Chip(index, addr)) {
        chip->Write(*bytes);
        chip->Read(buf.first(std::min<size_t>(len, buf.size())));
    }
    return TI2CResult::irOK;
}

TI2CResult TChipAmplifier::SetMux(int32_t index, uint8_t ondrixMux, uint8_t channelMux, uint8_t pathMux) {
    if (!CheckIndex(index)) return TI2CResult::irInvalidDevice;
    TI2CResult r;
    if (!Pass(device::Format("SetMux(%d,%d,%d,%d)", index, ondrixMux, channelMux, pathMux), r)) return r;
    selection_[index] = {ondrixMux, channelMux, pathMux};
    return TI2CResult::irOK;
}

TI2CResult TChipAmplifier::WriteChannel(int32_t index, uint8_t channel, uint8_t adc8LowVal,
                                        const device::TRegisterImage& image, device::TI2CBuffer& answer) {
    const TI2CResult r = TScriptedAmplifier::WriteChannel(index, channel, adc8LowVal, image, answer);
    if (!device::IsOK(r)) return r;
    Log.push_back(device::Format("WriteChannel(%d,%d)", index, channel));
    images_[{index, channel}] = image;
    for (const auto& [key, chip] : chips_)
        if (std::get<0>(key) == index && std::get<2>(key) == channel) NotifyImageStored(chip, image);
    return r;
}

TI2CResult TChipAmplifier::GetDeviceADC8(int32_t index, device::TDeviceADC8& status, bool& changed) {
    if (!CheckIndex(index)) return TI2CResult::irInvalidDevice;
    TI2CResult r;
    if (!Pass(device::Format("GetDeviceADC8(%d)", index), r)) return r;
    return TScriptedAmplifier::GetDeviceADC8(index, status, changed);
}

} // namespace qrb::test
