// Status polling of every device and the three text reports (device status, offsets, device
// information). Every report line ends with CR LF.

#include "device/Cp1252.h"
#include "device/Format.h"
#include "device/HWVocabulary.h"
#include "device/Helpers.h"
#include "model/I2CTranslator.h"
#include "model/QRBRawCalibration.h"

#include <span>

namespace qrb::model {

namespace {

constexpr const char* kEol = "\r\n";
constexpr uint8_t kDMSFuseBit = 0x80;
constexpr size_t kRangeTextWidth = 11;

std::string Words(std::string_view label, std::span<const uint16_t> words) {
    std::string line(label);
    for (size_t i = 0; i < words.size(); ++i)
        line += (i == 0 ? "$" : " $") + device::IntToHex(words[i], 4);
    return line + kEol;
}

// One calibration pair in millivolts: the offset-on word when only it is adjusted, else the
// offset-off word.
std::string OffsetCell(const device::TChannelCalibTable::TOffsetPair& pair) {
    float mv;
    if (pair[1] != kNeutralOffsetZero && pair[0] == kNeutralOffsetZero)
        mv = static_cast<float>(static_cast<int>(pair[1]) - 2048) * 1.6f;
    else
        mv = static_cast<float>(static_cast<int>(pair[0]) - 2048) * 0.05f;
    if (mv == 0.0f) return "   default ";
    return device::Format("%7.2f mV ", mv);
}

} // namespace

bool TI2CTranslator::PollChannelStatus() {
    if (!HAL) return false;
    bool changed = false;
    for (const auto& entry : Masters) {
        if (!entry.Object) continue;
        const int32_t d = entry.Object->Device;
        if (d < 0) continue;
        GrowDeviceArrays(d + 1);
        device::TDeviceADC8 status{};
        bool deviceChanged = false;
        if (!device::IsOK(HAL->GetDeviceADC8(d, status, deviceChanged))) continue;
        DeviceADC8[static_cast<size_t>(d)] = status;
        changed = changed || deviceChanged;
    }
    if (!changed) return false;
    for (const auto& entry : Channels) {
        TQRBRawChannel* ch = entry.Object.get();
        if (!ch || !ch->Present) continue;
        if (ch->Device < 0 || static_cast<size_t>(ch->Device) >= DeviceADC8.size()) continue;
        if (ch->Slot < 0 || static_cast<size_t>(ch->Slot) >= device::kSlotCount) continue;
        // Stored as the device sends it: a set bit signals the condition.
        uint8_t flags = DeviceADC8[static_cast<size_t>(ch->Device)].Status[static_cast<size_t>(ch->Slot)];
        if (ch->dms_pwr_on == 0) flags = static_cast<uint8_t>(flags & ~kDMSFuseBit);
        ch->ADC8Status = flags;
        ch->ADC8History |= flags;
    }
    return true;
}

void TI2CTranslator::DeviceStatusReport(std::string& text) {
    text.clear();
    if (!HAL) return;
    for (int32_t m = 0; m < MasterCount(); ++m) {
        const TQRBRawMaster* master = GetMaster(m);
        if (!master || master->Device < 0) continue;
        const int32_t d = master->Device;
        GrowDeviceArrays(d + 1);
        device::TDeviceInfo info{};
        if (device::IsOK(HAL->GetDeviceInfo(d, info))) DeviceInfos[static_cast<size_t>(d)] = info;
        const device::TDeviceInfo& i = DeviceInfos[static_cast<size_t>(d)];
        text += device::Format("Device %2.2d:\r\n\r\n", d + 1);
        text += device::Format("  Fan:  %4.2f rpm\r\n", static_cast<double>(i.FanRpm));
        text += device::Format("  Clk:   %5.2f KHz\r\n", i.ClockHz / 1000.0);
        text += device::Format("  12V:    %5.2f V\r\n", i.Supply12V);
        text += device::Format("  Tst:    %5.2f V\r\n", i.Tst);
        text += device::Format("  +5V:    %5.2f V\r\n", i.Supply5V);
        PollChannelStatus();
        text += kEol;
    }
}

void TI2CTranslator::OffsetReport(std::string& text) const {
    text.clear();
    for (int32_t m = 0; m < MasterCount(); ++m) {
        const TQRBRawMaster* master = GetMaster(m);
        if (!master) continue;
        const int32_t d = master->Device;
        text += device::Format("Device %2.2d:\r\n\r\n", d + 1);
        for (int32_t c = 0; c < ChannelCount(); ++c) {
            const TQRBRawChannel& ch = *GetChannel(c);
            if (ch.Device != d) continue;
            text += kEol + device::Format("Channel %2.2d\r\n", c + 1) + kEol;
            if (ch.Calibration.AdjustMarker != device::TChannelCalibTable::UsableMarker) {
                text += "----- not adjusted -----\r\n";
            } else {
                text +=
                    "Range             GND     SE DC+     SE DC-      DE DC   DE 3HzAC   SE 3HzAC   SE16HzAC";
                text += "\r\n\r\n";
                for (uint8_t r = 0; r < device::kRangeCount; ++r) {
                    std::string line = device::VoltageRangeToText(ch.Info.Version, r);
                    const size_t chars = device::Utf8Length(line);
                    if (chars < kRangeTextWidth) line.append(kRangeTextWidth - chars, ' ');
                    for (size_t k = 0; k < device::kCouplingCount; ++k)
                        line += OffsetCell(ch.Calibration.ZeroOffsets[k][r]);
                    text += line + kEol;
                }
            }
            text += kEol;
        }
        text += "\r\n\r\n";
    }
}

void TI2CTranslator::DeviceInfoReport(bool allDevices, int32_t device, std::string& text) const {
    text.clear();
    for (int32_t m = 0; m < MasterCount(); ++m) {
        const TQRBRawMaster* master = GetMaster(m);
        if (!master) continue;
        const int32_t d = master->Device;
        if (!allDevices && d != device) continue;
        text += device::Format("Device %2.2d:\r\n\r\n", d + 1);
        if (master->MasterFlashValid) {
            const device::TMasterFlash& f = master->MasterFlash;
            text +=
                device::Format("  Device Serial:   %2.2d-%4.4d\r\n", f.DeviceSeries, f.DeviceSerial) + kEol;
            text += device::Format("  Hardware Series: %d\r\n", f.HardwareSeries);
            text += device::Format("  Hardware Serial: %4.4d\r\n", f.HardwareSerial) + kEol;
            text += device::Format("  Backbone Series: %d\r\n", f.BackboneSeries);
            text += device::Format("  Backbone Serial: %4.4d\r\n", f.BackboneSerial) + kEol;
            text +=
                device::Format("  Controlled:      %s\r\n", device::DateToStr(master->GetControlledDate()));
            text +=
                device::Format("  Mastertest:      %s\r\n", device::DateToStr(master->GetMastertestDate()));
            text +=
                device::Format("  Calibration:     %s\r\n", device::DateToStr(master->GetCalibrationDate()));
            text += kEol;
        } else {
            text += "=> INVALID MASTERFLASH CONTENT!!!";
        }
        text += "\r\n\r\n";
        for (int32_t c = 0; c < ChannelCount(); ++c) {
            const TQRBRawChannel& ch = *GetChannel(c);
            if (ch.Device != d) continue;
            text += kEol;
            text += "Channel Information:";
            text += kEol;
            text += kEol + device::Format("  Channel %2.2d\r\n", c + 1) + kEol;
            text += device::Format("  Device:        %d\r\n", ch.Device);
            text += device::Format("  Group:         %d\r\n", ch.Group);
            text += device::Format("  Channel:       %d\r\n", ch.Slot);
            if (ch.Defect) {
                text += "  Status:        defect ";
                text += kEol;
                continue;
            }
            text += "  Status:        ok ";
            text += kEol;
            text += device::Format("  Serial:        %4.4d\r\n", ch.Info.Serial);
            text += device::Format("  Version:       %d\r\n", ch.Info.Version);
            device::TDCDCEntry dcdc;
            if (ch.Slot >= 0 && static_cast<size_t>(ch.Slot) < device::kSlotCount)
                dcdc = master->DCDCInfo.Entries[static_cast<size_t>(ch.Slot)];
            text += device::Format("  DC-Series:     %d\r\n", dcdc.Series);
            text += device::Format("  DC-Serial:     %4.4d\r\n", dcdc.Serial) + kEol;
            text += Words("  Current:       ", ch.Current.Image.Words);
            text += Words("  Defaults:      ", ch.Info.Defaults.Words);
            text += Words("  Stored:        ", ch.Info.Stored.Words);
            text += Words("  MaskI:         ", ch.Info.MaskI);
            text += Words("  MaskO:         ", ch.Info.MaskO);
            text += Words("  MaskIO:        ", ch.Info.MaskIO);
            text += Words("  MaskP:         ", ch.Info.MaskP);
            text += Words("  MaskDirty:     ", ch.Info.MaskDirty) + kEol;
            text += device::Format("  Charge:        %s\r\n", device::BoolToText(ch.HasCharge()));
            text += device::Format("  BNC:           %s\r\n", device::BoolToText(ch.HasBNC()));
            text += device::Format("  ODU:           %s\r\n", device::BoolToText(ch.HasODU())) + kEol;
        }
        text += "\r\n\r\n";
    }
}

} // namespace qrb::model
