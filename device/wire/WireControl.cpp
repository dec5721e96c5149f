#include "device/wire/WireControl.h"

namespace qrb::device {

TI2CResult TWireControl::GetSCL(int32_t index, int32_t& hz) {
    return commands_.GetSCL(index, hz);
}
TI2CResult TWireControl::SetSCL(int32_t index, int32_t hz) {
    return commands_.SetSCL(index, hz);
}
TI2CResult TWireControl::ScanI2C(int32_t index, std::string& list) {
    return commands_.ScanI2C(index, list);
}
TI2CResult TWireControl::WriteI2C(int32_t index, uint8_t addr, std::string_view hexText) {
    return commands_.WriteI2C(index, addr, hexText);
}
TI2CResult TWireControl::WriteI2CBlock(int32_t index, uint8_t addr, std::span<const uint8_t> data) {
    return commands_.WriteI2CBlock(index, addr, data);
}
TI2CResult TWireControl::ReadI2C(int32_t index, uint8_t addr, uint16_t len, std::span<uint8_t> buf) {
    return commands_.ReadI2C(index, addr, len, buf);
}
TI2CResult TWireControl::WriteReadI2C(int32_t index, uint8_t addr, std::string_view hexText, uint16_t len,
                                      std::span<uint8_t> buf) {
    return commands_.WriteReadI2C(index, addr, hexText, len, buf);
}
TI2CResult TWireControl::ScanI2CMux(int32_t index, std::vector<std::string>& list) {
    return commands_.ScanI2CMux(index, list);
}
TI2CResult TWireControl::WriteSeq(int32_t index, uint8_t seqId, const TI2CBuffer& data, uint8_t len,
                                  TI2CBuffer& answer) {
    return commands_.WriteSeq(index, seqId, data, len, answer);
}
TI2CResult TWireControl::WriteChannel(int32_t index, uint8_t channel, uint8_t adc8LowVal,
                                      const TRegisterImage& image, TI2CBuffer& answer) {
    return commands_.WriteChannel(index, channel, adc8LowVal, image, answer);
}
TI2CResult TWireControl::SaveAllConfig(int32_t index, uint8_t channel) {
    return commands_.SaveAllConfig(index, channel);
}
TI2CResult TWireControl::GetDeviceInfo(int32_t index, TDeviceInfo& info) {
    return commands_.GetDeviceInfo(index, info);
}
TI2CResult TWireControl::GetChannelInfo(int32_t index, TChannelInfoBlock& block) {
    return commands_.GetChannelInfo(index, block);
}
TI2CResult TWireControl::SetChannelInfo(int32_t index, int32_t channel, const TChannelInfo& info) {
    return commands_.SetChannelInfo(index, channel, info);
}
TI2CResult TWireControl::GetDCDCInfo(int32_t index, TDCDCInfo& info) {
    return commands_.GetDCDCInfo(index, info);
}
TI2CResult TWireControl::SetDCDCInfo(int32_t index, const TDCDCInfo& info) {
    return commands_.SetDCDCInfo(index, info);
}
TI2CResult TWireControl::SetDCDCClock(int32_t index, uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3,
                                      uint8_t b4) {
    return commands_.SetDCDCClock(index, b0, b1, b2, b3, b4);
}
TI2CResult TWireControl::GetChannelCalibTable(int32_t index, uint8_t channel, TChannelCalibTable& table) {
    return commands_.GetChannelCalibTable(index, channel, table);
}
TI2CResult TWireControl::GetMasterflash(int32_t index, TMasterFlash& flash) {
    return commands_.GetMasterflash(index, flash);
}
TI2CResult TWireControl::SetMasterflash(int32_t index, const TMasterFlash& flash) {
    return commands_.SetMasterflash(index, flash);
}
TI2CResult TWireControl::GetDeviceADC8(int32_t index, TDeviceADC8& status, bool& changed) {
    return commands_.GetDeviceADC8(index, status, changed);
}
TI2CResult TWireControl::SetMux(int32_t index, uint8_t ondrixMux, uint8_t channelMux, uint8_t pathMux) {
    return commands_.SetMux(index, ondrixMux, channelMux, pathMux);
}
TI2CResult TWireControl::SetFan(int32_t index, uint8_t speed) {
    return commands_.SetFan(index, speed);
}
TI2CResult TWireControl::SetIRQ(int32_t index, uint8_t mode) {
    return commands_.SetIRQ(index, mode);
}

void TWireControl::GetVendor(int32_t index, std::string& text) {
    commands_.GetVendor(index, text);
}
void TWireControl::GetModel(int32_t index, std::string& text) {
    commands_.GetModel(index, text);
}
void TWireControl::GetVersion(int32_t index, std::string& text) {
    commands_.GetVersion(index, text);
}
uint16_t TWireControl::IsDeviceValid(int32_t index) {
    return commands_.IsDeviceValid(index);
}
bool TWireControl::GetDeviceLockState(int32_t index) {
    return commands_.GetDeviceLockState(index);
}
TI2CResult TWireControl::SetDeviceLockState(int32_t index, bool locked) {
    return commands_.SetDeviceLockState(index, locked);
}
void TWireControl::GetFWVersion(int32_t index, TFWVersion& version, std::string& text) {
    commands_.GetFWVersion(index, version, text);
}

} // namespace qrb::device
