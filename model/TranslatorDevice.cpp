// The translator's operations on whole devices: the configuration kept in the devices, the
// front-panel and start locks, keep-alive, switching off, fans, the multiplexers, the channel
// calibration flash, disabling channels and letting a channel's LEDs blink.

#include "device/Format.h"
#include "device/HWVocabulary.h"
#include "device/I2CControl.h"
#include "model/I2CTranslator.h"

#include <algorithm>
#include <array>
#include <vector>

namespace qrb::model {

namespace {

using device::TChipIndex;
using device::TI2CResult;

constexpr uint8_t kGroupMuxAddress = device::ChipAddress(TChipIndex::Mux8B);
constexpr uint8_t kEnableExpanderAddress = device::ChipAddress(TChipIndex::Expander8);
constexpr uint8_t kPowerExpanderAddress = device::ChipAddress(TChipIndex::Expander9);
constexpr uint8_t kCalibFlashAddress = device::ChipAddress(TChipIndex::ChannelFlashLow);

// The power-off value for the expander at 0x2C.
constexpr std::string_view kPowerOffText = "0300";
// Register 2 of the expander at 0x2B holds one enable bit per slot.
constexpr std::string_view kEnableRegisterText = "02";

// The calibration table sits at this flash address, written a page at a time.
constexpr uint16_t kCalibFlashBase = 0x1000;
constexpr std::size_t kCalibPageSize = 64;
constexpr std::size_t kCalibBufferSize = 1024;

// The multiplexers and expanders have eight ways.
constexpr uint8_t kWayCount = 8;

constexpr int kBlinkCount = 5;

// A device as the texts of these operations name it: counted from 01, as the window and the
// scan log count them.
int32_t DeviceNumber(int32_t device) {
    return device + 1;
}

std::string HexByte(unsigned value) {
    return device::IntToHex(value & 0xFFu, 2);
}

} // namespace

TQRBRawChannel* TI2CTranslator::PresentChannel(int32_t index) {
    if (!CheckChannelIndex(index)) return nullptr;
    TQRBRawChannel* channel = GetChannel(index);
    if (channel && channel->Present) return channel;
    LastError = device::Format("Invalid channel %d", static_cast<int64_t>(index) + 1);
    ReportError();
    return nullptr;
}

bool TI2CTranslator::StoreDeviceConfig(bool store) {
    LastDeviceConfigError.clear();
    const bool wasLocked = DeviceLocked;
    bool ok = true;
    try {
        SetDeviceLock(true);
        for (const auto& entry : Masters) {
            const int32_t d = entry.Object->Device;
            const TI2CResult r = HAL ? HAL->SaveAllConfig(d, store ? 0 : 1) : TI2CResult::irInvalidDevice;
            if (device::IsOK(r)) continue;
            ok = false;
            if (!LastDeviceConfigError.empty()) LastDeviceConfigError += "\r\n";
            LastDeviceConfigError +=
                device::Format(store ? "Error %d on storing configuration on device %2.2d!"
                                     : "Error %d on clearing configuration on device %2.2d!",
                               device::ToInt(r), DeviceNumber(d));
        }
    } catch (...) {
        // The transport's exception wins over one of the restore.
        try {
            SetDeviceLock(wasLocked);
        } catch (...) {
        }
        throw;
    }
    SetDeviceLock(wasLocked);
    return ok;
}

bool TI2CTranslator::SetDeviceLock(bool locked) {
    if (ChannelCount() <= 0 || !HAL) return false;
    bool ok = true;
    for (const auto& entry : Masters) {
        const int32_t d = entry.Object->Device;
        const TI2CResult r = HAL->SetDeviceLockState(d, locked);
        if (device::IsOK(r)) continue;
        ok = false;
        if (!LastError.empty()) LastError += "\r\n";
        LastError += device::Format(locked ? "Error %d on locking the front panel of device %2.2d!"
                                           : "Error %d on unlocking the front panel of device %2.2d!",
                                    device::ToInt(r), DeviceNumber(d));
    }
    // A refused device keeps the old state, so the same command can still reach it.
    if (ok)
        DeviceLocked = locked;
    else
        ReportError();
    return ok;
}

bool TI2CTranslator::SetHWStartLock(uint8_t value) {
    if (ChannelCount() <= 0) return false;
    bool ok = true;
    for (const auto& entry : Masters) {
        TQRBRawMaster& master = *entry.Object;
        // Writing back an image that was never read correctly would overwrite the device record.
        if (!master.MasterFlashValid) {
            ok = false;
            continue;
        }
        master.MasterFlash.HWStartLock = value;
        if (!master.WriteMasterFlash()) ok = false;
    }
    return ok;
}

bool TI2CTranslator::SetKeepAlive(bool enabled) {
    return HAL && HAL->SetKeepAlive(enabled) == 0;
}

bool TI2CTranslator::TurnOffDevices(int32_t* turnedOff) {
    if (turnedOff != nullptr) *turnedOff = 0;
    if (!HAL) return false;
    // The transports that watch their devices now: when the first device refuses, every device
    // is still on and connected and must be watched again.
    std::vector<device::TI2CControl*> watched;
    for (device::TI2CControl* control : {HAL->LANControl(), HAL->USBControl(), HAL->VirtualControl()})
        if (control != nullptr && control->KeepAlive()) watched.push_back(control);
    SetKeepAlive(false);
    int32_t off = 0;
    for (const auto& entry : Masters) {
        const int32_t d = entry.Object->Device;
        std::string failure;
        if (!SetChannelGroupMux(d, 0)) {
            failure = device::Format("Error on selecting channel group 0 for turning off device %2.2d!",
                                     DeviceNumber(d));
        } else if (const TI2CResult r = HAL->WriteI2C(d, kPowerExpanderAddress, kPowerOffText);
                   !device::IsOK(r)) {
            failure =
                device::Format("Error %d on turning off device %2.2d!", device::ToInt(r), DeviceNumber(d));
        }
        if (!failure.empty()) {
            // Left for the caller: the devices before this one are off already.
            if (!LastError.empty()) LastError += "\r\n";
            LastError += failure;
            if (off == 0)
                for (device::TI2CControl* control : watched)
                    control->SetKeepAlive(true);
            return false;
        }
        ++off;
        if (turnedOff != nullptr) *turnedOff = off;
    }
    return true;
}

void TI2CTranslator::SetFanSpeed(int32_t speed) {
    if (speed < 0 || speed > 4 || !HAL) return;
    const auto fan = static_cast<uint8_t>(4 - speed);
    for (const auto& entry : Masters) {
        const int32_t d = entry.Object->Device;
        if (!device::IsOK(HAL->SetFan(d, fan)))
            DoTranslatorLog(this,
                            device::Format("Error on setting fan to speed %d on device %2.2d!", fan, d));
    }
}

bool TI2CTranslator::SelectChannelPath(int32_t device, uint8_t group, uint8_t slot, uint8_t release) {
    if (!HAL) return false;
    return device::IsOK(HAL->SetMux(device, group, slot, static_cast<uint8_t>(4 + release)));
}

bool TI2CTranslator::SetChannelGroupMux(int32_t device, uint8_t group) {
    // The multiplexer has one bit per group; a group beyond it has no mask to write.
    const bool ok = HAL && group < kWayCount &&
                    device::IsOK(HAL->WriteI2C(device, kGroupMuxAddress, HexByte(1u << group)));
    if (!ok && OnScanError)
        OnScanError(this, device::Format("Error while setting device mux to channelgroup %d on device %d",
                                         group, device));
    return ok;
}

bool TI2CTranslator::WriteCalibrationFlash(int32_t device, const device::TChannelCalibTable& table) {
    if (!HAL) return false;
    std::array<uint8_t, kCalibBufferSize> buffer{};
    table.Encode(buffer.data());
    std::array<uint8_t, 2 + kCalibPageSize> frame{};
    for (std::size_t offset = 0; offset < device::TChannelCalibTable::Size; offset += kCalibPageSize) {
        const auto address = static_cast<uint16_t>(kCalibFlashBase + offset);
        frame[0] = static_cast<uint8_t>(address >> 8);
        frame[1] = static_cast<uint8_t>(address & 0xFF);
        std::copy_n(buffer.begin() + static_cast<std::ptrdiff_t>(offset), kCalibPageSize, frame.begin() + 2);
        if (!device::IsOK(HAL->WriteI2CBlock(device, kCalibFlashAddress, frame))) return false;
    }
    return true;
}

bool TI2CTranslator::StoreCalibration(int32_t index) {
    TQRBRawChannel* channel = PresentChannel(index);
    if (!channel) return false;
    const auto group = static_cast<uint8_t>(channel->Group);
    const auto slot = static_cast<uint8_t>(channel->Slot);
    const bool routed = SelectChannelPath(channel->Device, group, slot, 0);
    const bool written = routed && WriteCalibrationFlash(channel->Device, channel->Calibration);
    const bool released = routed && SelectChannelPath(channel->Device, group, slot, 1);
    if (written && released) return true;
    // The flash holds none, some or all of the pages: the model takes what it holds, or, when it
    // cannot be read, the default table a scan would give it, so that no offset setting uses a
    // table the channel does not hold.
    device::TChannelCalibTable held;
    if (HAL && device::IsOK(HAL->GetChannelCalibTable(channel->Device, slot, held)) &&
        held.CalibSource[0] != '\0')
        channel->Calibration = held;
    else
        channel->InitDefaultCalibration();
    return false;
}

bool TI2CTranslator::DisableSelectedChannels() {
    for (int32_t i = 0; i < ChannelCount(); ++i) {
        TQRBRawChannel& ch = *GetChannel(i);
        if (!ch.Present || !IsSelected(i)) continue;
        ch.Pending.Image = ch.Info.Defaults;
        ch.ADC8StatVal = ch.Info.ADC8StatVal;
        ch.ADC8LowVal = ch.Info.ADC8LowVal;
        ch.SensorType = stOff;
    }
    bool ok = NewConfig(0, true);
    for (int32_t i = 0; i < ChannelCount() && ok; ++i) {
        TQRBRawChannel& ch = *GetChannel(i);
        if (!ch.Present || !IsSelected(i)) continue;
        // The enable register has one bit per slot.
        ok = HAL && ch.Slot >= 0 && ch.Slot < kWayCount && ch.Group >= 0 && ch.Group < kWayCount &&
             SetChannelGroupMux(ch.Device, static_cast<uint8_t>(ch.Group));
        std::array<uint8_t, 1> b{};
        ok = ok &&
             device::IsOK(HAL->WriteReadI2C(ch.Device, kEnableExpanderAddress, kEnableRegisterText, 1, b));
        ok = ok &&
             device::IsOK(HAL->WriteI2C(ch.Device, kEnableExpanderAddress,
                                        std::string(kEnableRegisterText) + HexByte(b[0] ^ (1u << ch.Slot))));
        // Out of the model, so its bit is not inverted a second time before the next scan.
        if (ok) ch.Present = false;
    }
    return ok;
}

bool TI2CTranslator::BlinkChannel(int32_t index) {
    TQRBRawChannel* ch = PresentChannel(index);
    if (!ch) return false;
    const uint8_t led1 = ch->led1;
    const uint8_t led2 = ch->led2;
    bool ok = true;
    for (int n = 0; n < kBlinkCount; ++n) {
        SetLED1(index, 1);
        SetLED2(index, 0);
        ok = NewConfig(0, true) && ok;
        SetLED1(index, 0);
        SetLED2(index, 1);
        ok = NewConfig(0, true) && ok;
    }
    SetLED1(index, led1);
    SetLED2(index, led2);
    ok = NewConfig(0, true) && ok;
    return ok;
}

} // namespace qrb::model
