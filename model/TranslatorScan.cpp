// Rebuilding the model from the devices: Rescan, ScanDevice, Disconnect, CountDevices.

#include "device/Cp1252.h"
#include "device/Format.h"
#include "model/I2CTranslator.h"

#include <exception>

namespace qrb::model {

using device::Format;
using device::IsOK;

int32_t TI2CTranslator::Rescan() {
    if (!OnConfigComplete)
        throw ETranslatorError("No event assigned for config complete! Application error!");
    if (OnBeginUpdate) OnBeginUpdate(this);
    LastScanError.clear();

    int32_t result = -1;
    if (HAL) {
        ClearMasters();
        ClearChannels();
        DeviceLocked = false;

        bool ok = false;
        bool scanned = true;
        try {
            LastDeviceCount = CountDevices();
        } catch (const std::exception& e) {
            // The model stays empty; the text goes out like any scan error.
            LastDeviceCount = 0;
            scanned = false;
            ScanError(e.what());
        }
        if (scanned && LastDeviceCount > 0) {
            ok = true;
            const int32_t count = HAL->DeviceCount();
            GrowDeviceArrays(count);
            for (int32_t d = 0; d < count; ++d) {
                // Every device is scanned, also after a failure.
                const bool deviceOk = ScanDevice(d) != -1;
                ok = ok && deviceOk;
            }
        }
        DevicesFound = LastDeviceCount > 0;
        ClearErrorHistory();
        result = ok ? ChannelCount() : 0;
    }
    OfflineMode = Interfaces.HasOffline() && LastDeviceCount > 0;
    if (OnEndUpdate) OnEndUpdate(this, result);
    return result;
}

int32_t TI2CTranslator::ScanDevice(int32_t d) {
    if (OnDeviceScanStart) OnDeviceScanStart(this);

    const device::TI2CDevice* listed = HAL ? HAL->GetDevice(d) : nullptr;
    // A device the hardware abstraction does not list fails like one that does not answer.
    if (listed == nullptr) return FailDevice(Format("Error while checking device %d!", d));
    const device::TI2CDevice entry = *listed;
    ScanLog(Format("Scanning %s [controller serial: %s, controller version: %d]", entry.Name, entry.Version,
                   entry.Valid));

    GrowDeviceArrays(d + 1);
    device::TDeviceInfo& info = DeviceInfos[static_cast<size_t>(d)];
    if (!IsOK(HAL->GetDeviceInfo(d, info))) return FailDevice(Format("Error while checking device %d!", d));
    if (info.State == 0) return FailDevice("Ondrix device is not started completely!");
    if (info.State == 1) return FailDevice("Ondrix device is in standby mode!");
    DeviceLocked = info.IsLocked();
    ScanLog(
        Format("Found device with %2.2d active of %2.2d available channels! Parts=($%2.2X) Status=($%2.2X)",
               info.ActiveChannels, info.AvailableChannels, info.Parts, info.Status));

    switch (info.Error) {
    case 0:
        break;
    case 1:
        return FailDevice("Error with I²C connection on device!");
    case 2:
    case 4:
    case 8:
        return FailDevice("Error with backbone init on device!");
    default:
        return FailDevice(Format("Unknown error (%d) on startup of device!", info.Error));
    }

    device::TFWVersion version{};
    std::string versionText;
    HAL->GetFWVersion(d, version, versionText);
    ScanLog(Format("Device %2.2d Firmware - %s", d + 1, versionText));
    if (!IsFirmwareCurrent(version))
        return FailDevice(
            Format("Firmware of device %2.2d is deprecated, please update to firmware %d.%d.%d or later!",
                   d + 1, kMinFirmwareMajor, kMinFirmwareMinor, kMinFirmwareBuild));

    device::TChannelInfoBlock block{};
    if (!IsOK(HAL->GetChannelInfo(d, block)))
        return FailDevice(Format("Error on getting channelinfo on device %d!", d));

    try {
        AddChannels(d, entry, block);
    } catch (const std::exception& e) {
        // The channels added so far stay.
        ScanError(e.what());
    }

    BitErrors.resize(static_cast<size_t>(ChannelCount()));
    return ChannelCount();
}

void TI2CTranslator::AddChannels(int32_t d, const device::TI2CDevice& entry,
                                 device::TChannelInfoBlock& block) {
    auto created = std::make_unique<TQRBRawMaster>(d, entry.Name, this, entry.Kind, &masterAccess_);
    TQRBRawMaster* master = created.get();
    Masters.Add(device::IntToStr(d), std::move(created));

    for (int s = 0; s < static_cast<int>(device::kSlotCount); ++s) {
        const device::TChannelInfoSlot& slot = block.Slots[static_cast<size_t>(s)];
        if (slot.Present != 0) {
            auto channel = std::make_unique<TQRBRawChannel>(d, 0, s, ChannelCount(), entry.Kind, master);
            TQRBRawChannel& c = *channel;
            c.Info = slot.Info;
            c.Present = true;
            c.Defect = false;
            c.Current.Image = slot.Current;
            c.Current.ADC8LowVal = slot.ADC8LowVal;
            c.ADC8LowVal = slot.ADC8LowVal;
            c.BackupADC8LowVal = slot.ADC8LowVal;
            c.ADC8Status = slot.ADC8Status;
            c.HasADC18 = slot.HasADC18 != 0;
            c.Name = Format("Channel %2d", ChannelCount() + 1);

            RepairM21(d, s, block, c);
            const std::string adjust = ReadCalibration(d, s, slot, c);

            Channels.Add(c.Name, std::move(channel));
            c.Pending = c.Current;
            c.DecodeRegisters();

            const device::TDCDCEntry& dcdc = master->DCDCInfo.Entries[static_cast<size_t>(s)];
            ScanLog(Format("Found Channel: %s  Serial: P#%d.%5.5d  D#%d.%5.5d Offsetadjust: %s", c.Name,
                           c.Info.Version, c.Info.Serial, dcdc.Series, dcdc.Serial, adjust));
        } else if (slot.Fitted != 0) {
            auto channel = std::make_unique<TQRBRawChannel>(d, 0, s, ChannelCount(), entry.Kind, master);
            channel->Present = false;
            channel->Defect = true;
            channel->Name = Format("Channel %2d", ChannelCount() + 1);
            std::string name = channel->Name;
            Channels.Add(std::move(name), std::move(channel));
        }
    }
}

void TI2CTranslator::RepairM21(int32_t d, int s, device::TChannelInfoBlock& block, TQRBRawChannel& channel) {
    device::TChannelInfo& info = block.Slots[static_cast<size_t>(s)].Info;
    if (info.Version <= 1 || info.MaskI[2] != 0xC040) return;
    const int number = ChannelCount() + 1;
    ScanLog(Format("M21 bug found on channel %2.2d - fixing ...", number));
    info.MaskI[2] = 0xC000;
    info.MaskO[2] = 0x00C0;
    // The model's copy is repaired too, so that writing the information back later
    // (storing defaults) cannot bring the fault back.
    channel.Info.MaskI[2] = info.MaskI[2];
    channel.Info.MaskO[2] = info.MaskO[2];
    if (IsOK(HAL->SetChannelInfo(d, s, info)))
        ScanLog(Format("M21 bug fixed on channel %2.2d.", number));
    else
        ScanLog(Format("Error while fixing M21 bug on channel %2.2d.", number));
}

std::string TI2CTranslator::ReadCalibration(int32_t d, int s, const device::TChannelInfoSlot& slot,
                                            TQRBRawChannel& channel) {
    if (slot.HasCalibTable != 0 &&
        IsOK(HAL->GetChannelCalibTable(d, static_cast<uint8_t>(s), channel.Calibration)) &&
        channel.Calibration.CalibSource[0] != '\0') {
        // The date characters as stored, up to a NUL.
        const auto& chars = channel.Calibration.CalibDate.Chars;
        std::string date(chars.data(), chars.size());
        date = date.substr(0, date.find('\0'));
        return device::Cp1252ToUtf8(date);
    }
    // No table, a failed read or a table never written (empty source).
    channel.InitDefaultCalibration();
    return "default";
}

bool TI2CTranslator::IsFirmwareCurrent(const device::TFWVersion& version) {
    const auto& v = version.Components;
    if (v[0] != kMinFirmwareMajor) return v[0] > kMinFirmwareMajor;
    if (v[1] != kMinFirmwareMinor) return v[1] > kMinFirmwareMinor;
    return v[2] >= kMinFirmwareBuild;
}

void TI2CTranslator::Disconnect() {
    if (OnBeginUpdate) OnBeginUpdate(this);
    ClearMasters();
    ClearChannels();
    if (HAL) HAL->ClearDevices();
    if (OnEndUpdate) OnEndUpdate(this, 0);
}

int32_t TI2CTranslator::CountDevices() {
    return HAL ? HAL->ScanDevices() : 0;
}

int32_t TI2CTranslator::FailDevice(const std::string& text) {
    ScanError(text);
    return -1;
}

void TI2CTranslator::ScanError(const std::string& text) {
    LastScanError = text;
    if (OnScanError) OnScanError(this, text);
}

void TI2CTranslator::ScanLog(const std::string& text) {
    if (OnScanLog) OnScanLog(this, text);
}

} // namespace qrb::model
