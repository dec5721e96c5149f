#include "tests/support/ScriptedAmplifier.h"

#include <algorithm>
#include <stdexcept>

namespace qrb::test {

using device::TI2CResult;

device::TChannelInfoSlot PresentSlot(uint16_t serial, uint8_t infoVersion) {
    device::TChannelInfoSlot slot;
    slot.Present = 1;
    slot.Fitted = 1;
    slot.ADC8LowVal = 120;
    slot.HasADC18 = 1;
    slot.Info.Version = infoVersion;
    slot.Info.Serial = serial;
    slot.Info.Features = 0x02; // BNC
    slot.Current.Words[7] = 0x0100;
    slot.Current.Words[8] = 2048;
    slot.Info.Defaults = slot.Current;
    return slot;
}

TScriptedDevice GoodDevice(std::string name, int channels) {
    TScriptedDevice d;
    d.Name = std::move(name);
    d.Info.State = 2;
    d.Info.AvailableChannels = 8;
    d.Info.ActiveChannels = static_cast<uint8_t>(channels);
    d.Info.Parts = 0x3F;
    d.Info.Status = 0x81;
    d.Flash.SetMagic();
    for (size_t s = 0; s < device::kSlotCount; ++s) {
        d.DCDC.Entries[s].Present = 1;
        d.DCDC.Entries[s].Series = 730;
        d.DCDC.Entries[s].Serial = static_cast<uint16_t>(100 + s);
    }
    for (int s = 0; s < channels && s < static_cast<int>(device::kSlotCount); ++s)
        d.Block.Slots[static_cast<size_t>(s)] = PresentSlot(static_cast<uint16_t>(1000 + s));
    return d;
}

device::TChannelCalibTable UsableCalibration(const std::string& date, uint16_t zero) {
    device::TChannelCalibTable t;
    t.SetSource(device::TChannelCalibTable::UsableSource);
    t.AdjustMarker = device::TChannelCalibTable::UsableMarker;
    t.CalibDate.SetText(date);
    for (auto& coupling : t.ZeroOffsets)
        for (auto& pair : coupling)
            pair = {zero, zero};
    t.RangeFactors.fill(1.0f);
    t.CapacityFactors.fill(1.0f);
    return t;
}

TScriptedDevice* TScriptedAmplifier::Find(int32_t index, const std::string& call) {
    if (!CheckIndex(index)) return nullptr;
    Calls.push_back(call + "(" + std::to_string(index) + ")");
    return &Devices.at(static_cast<size_t>(index));
}

bool TScriptedAmplifier::Scan() {
    CloseAll();
    AdvanceGeneration();
    if (!ScanThrows.empty()) throw std::runtime_error(ScanThrows);
    for (const auto& d : Devices)
        AddMaster(std::make_unique<device::TI2CMaster>(d.Name, MasterCount()));
    return true;
}

bool TScriptedAmplifier::CloseAll() {
    ClearMasters();
    AdvanceGeneration();
    return true;
}

TI2CResult TScriptedAmplifier::GetSCL(int32_t index, int32_t& hz) {
    if (!Find(index, "GetSCL")) return TI2CResult::irInvalidDevice;
    hz = 100000;
    return TI2CResult::irOK;
}

TI2CResult TScriptedAmplifier::SetSCL(int32_t index, int32_t) {
    return Find(index, "SetSCL") ? TI2CResult::irOK : TI2CResult::irInvalidDevice;
}

TI2CResult TScriptedAmplifier::ScanI2C(int32_t index, std::string& list) {
    if (!Find(index, "ScanI2C")) return TI2CResult::irInvalidDevice;
    list.clear();
    return TI2CResult::irOK;
}

TI2CResult TScriptedAmplifier::WriteI2C(int32_t index, uint8_t, std::string_view) {
    return Find(index, "WriteI2C") ? TI2CResult::irOK : TI2CResult::irInvalidDevice;
}

TI2CResult TScriptedAmplifier::WriteI2CBlock(int32_t index, uint8_t, std::span<const uint8_t>) {
    return Find(index, "WriteI2CBlock") ? TI2CResult::irOK : TI2CResult::irInvalidDevice;
}

TI2CResult TScriptedAmplifier::ReadI2C(int32_t index, uint8_t, uint16_t, std::span<uint8_t> buf) {
    if (!Find(index, "ReadI2C")) return TI2CResult::irInvalidDevice;
    std::fill(buf.begin(), buf.end(), uint8_t{0});
    return TI2CResult::irOK;
}

TI2CResult TScriptedAmplifier::WriteReadI2C(int32_t index, uint8_t, std::string_view, uint16_t,
                                            std::span<uint8_t> buf) {
    if (!Find(index, "WriteReadI2C")) return TI2CResult::irInvalidDevice;
    std::fill(buf.begin(), buf.end(), uint8_t{0});
    return TI2CResult::irOK;
}

TI2CResult TScriptedAmplifier::ScanI2CMux(int32_t index, std::vector<std::string>& list) {
    if (!Find(index, "ScanI2CMux")) return TI2CResult::irInvalidDevice;
    list.clear();
    return TI2CResult::irOK;
}

TI2CResult TScriptedAmplifier::WriteSeq(int32_t index, uint8_t, const device::TI2CBuffer&, uint8_t,
                                        device::TI2CBuffer&) {
    return Find(index, "WriteSeq") ? TI2CResult::irOK : TI2CResult::irInvalidDevice;
}

TI2CResult TScriptedAmplifier::WriteChannel(int32_t index, uint8_t channel, uint8_t adc8LowVal,
                                            const device::TRegisterImage& image, device::TI2CBuffer& answer) {
    TScriptedDevice* d = Find(index, "WriteChannel");
    if (!d) return TI2CResult::irInvalidDevice;
    d->ChannelWrites.push_back({channel, adc8LowVal, image});
    if (d->WriteChannelResult != TI2CResult::irOK)
        std::copy(d->WriteChannelAnswer.begin(), d->WriteChannelAnswer.end(), answer.begin());
    return d->WriteChannelResult;
}

TI2CResult TScriptedAmplifier::SaveAllConfig(int32_t index, uint8_t) {
    return Find(index, "SaveAllConfig") ? TI2CResult::irOK : TI2CResult::irInvalidDevice;
}

TI2CResult TScriptedAmplifier::GetDeviceInfo(int32_t index, device::TDeviceInfo& info) {
    TScriptedDevice* d = Find(index, "GetDeviceInfo");
    if (!d) return TI2CResult::irInvalidDevice;
    if (d->InfoResult == TI2CResult::irOK) info = d->Info;
    return d->InfoResult;
}

TI2CResult TScriptedAmplifier::GetChannelInfo(int32_t index, device::TChannelInfoBlock& block) {
    TScriptedDevice* d = Find(index, "GetChannelInfo");
    if (!d) return TI2CResult::irInvalidDevice;
    if (d->BlockResult == TI2CResult::irOK) block = d->Block;
    return d->BlockResult;
}

TI2CResult TScriptedAmplifier::SetChannelInfo(int32_t index, int32_t channel,
                                              const device::TChannelInfo& info) {
    TScriptedDevice* d = Find(index, "SetChannelInfo");
    if (!d) return TI2CResult::irInvalidDevice;
    d->ChannelInfoWrites.emplace_back(channel, info);
    return d->SetChannelInfoResult;
}

TI2CResult TScriptedAmplifier::GetDCDCInfo(int32_t index, device::TDCDCInfo& info) {
    TScriptedDevice* d = Find(index, "GetDCDCInfo");
    if (!d) return TI2CResult::irInvalidDevice;
    if (d->DCDCResult == TI2CResult::irOK) info = d->DCDC;
    return d->DCDCResult;
}

TI2CResult TScriptedAmplifier::SetDCDCInfo(int32_t index, const device::TDCDCInfo&) {
    return Find(index, "SetDCDCInfo") ? TI2CResult::irOK : TI2CResult::irInvalidDevice;
}

TI2CResult TScriptedAmplifier::SetDCDCClock(int32_t index, uint8_t, uint8_t, uint8_t, uint8_t, uint8_t) {
    return Find(index, "SetDCDCClock") ? TI2CResult::irOK : TI2CResult::irInvalidDevice;
}

TI2CResult TScriptedAmplifier::GetChannelCalibTable(int32_t index, uint8_t channel,
                                                    device::TChannelCalibTable& table) {
    TScriptedDevice* d = Find(index, "GetChannelCalibTable");
    if (!d) return TI2CResult::irInvalidDevice;
    if (channel >= device::kSlotCount) return TI2CResult::irInvalidValue;
    const TI2CResult r = d->CalibrationResult[channel];
    if (r == TI2CResult::irOK) table = d->Calibration[channel];
    return r;
}

TI2CResult TScriptedAmplifier::GetMasterflash(int32_t index, device::TMasterFlash& flash) {
    TScriptedDevice* d = Find(index, "GetMasterflash");
    if (!d) return TI2CResult::irInvalidDevice;
    if (d->FlashResult == TI2CResult::irOK) flash = d->Flash;
    return d->FlashResult;
}

TI2CResult TScriptedAmplifier::SetMasterflash(int32_t index, const device::TMasterFlash& flash) {
    TScriptedDevice* d = Find(index, "SetMasterflash");
    if (!d) return TI2CResult::irInvalidDevice;
    d->Flash = flash;
    return TI2CResult::irOK;
}

TI2CResult TScriptedAmplifier::GetDeviceADC8(int32_t index, device::TDeviceADC8& status, bool& changed) {
    TScriptedDevice* d = Find(index, "GetDeviceADC8");
    if (!d) return TI2CResult::irInvalidDevice;
    status = d->ADC8;
    changed = d->ADC8Changed;
    return TI2CResult::irOK;
}

TI2CResult TScriptedAmplifier::SetMux(int32_t index, uint8_t, uint8_t, uint8_t) {
    return Find(index, "SetMux") ? TI2CResult::irOK : TI2CResult::irInvalidDevice;
}

TI2CResult TScriptedAmplifier::SetFan(int32_t index, uint8_t) {
    return Find(index, "SetFan") ? TI2CResult::irOK : TI2CResult::irInvalidDevice;
}

TI2CResult TScriptedAmplifier::SetIRQ(int32_t index, uint8_t) {
    return Find(index, "SetIRQ") ? TI2CResult::irOK : TI2CResult::irInvalidDevice;
}

void TScriptedAmplifier::GetDeviceName(int32_t index, std::string& text) {
    if (CheckIndex(index, text)) text = "Scripted " + Devices.at(static_cast<size_t>(index)).Name;
}

void TScriptedAmplifier::GetVendor(int32_t index, std::string& text) {
    if (CheckIndex(index, text)) text = "QRB GmbH";
}

void TScriptedAmplifier::GetModel(int32_t index, std::string& text) {
    if (CheckIndex(index, text)) text = "QRB-730";
}

void TScriptedAmplifier::GetVersion(int32_t index, std::string& text) {
    if (CheckIndex(index, text)) text = Devices.at(static_cast<size_t>(index)).Version;
}

uint16_t TScriptedAmplifier::IsDeviceValid(int32_t index) {
    return CheckIndex(index) ? Devices.at(static_cast<size_t>(index)).Valid : 0;
}

bool TScriptedAmplifier::GetDeviceLockState(int32_t index) {
    return CheckIndex(index) && Devices.at(static_cast<size_t>(index)).Info.LockState == 1;
}

TI2CResult TScriptedAmplifier::SetDeviceLockState(int32_t index, bool locked) {
    TScriptedDevice* d = Find(index, "SetDeviceLockState");
    if (!d) return TI2CResult::irInvalidDevice;
    d->Info.LockState = locked ? 1 : 0;
    return TI2CResult::irOK;
}

void TScriptedAmplifier::GetFWVersion(int32_t index, device::TFWVersion& version, std::string& text) {
    if (!CheckIndex(index, version, text)) return;
    Calls.push_back("GetFWVersion(" + std::to_string(index) + ")");
    version = Devices.at(static_cast<size_t>(index)).Firmware;
    const auto& c = version.Components;
    text = "FW: " + std::to_string(c[0]) + "." + std::to_string(c[1]) + "." + std::to_string(c[2]) + "." +
           std::to_string(c[3]);
}

void TScriptedAmplifier::KeepAliveTimer(const void*) {}

} // namespace qrb::test
