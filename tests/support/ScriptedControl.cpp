#include "tests/support/ScriptedControl.h"

#include <stdexcept>

namespace qrb::test {

using namespace qrb::device;

TScriptedControl::TScriptedControl(std::string tag, std::vector<std::string>* log)
    : tag_(std::move(tag)), log_(log != nullptr ? log : &own_) {}

void TScriptedControl::Record(const std::string& op, std::initializer_list<long long> args) {
    std::string call = tag_ + "." + op + "(";
    bool first = true;
    for (long long a : args) {
        if (!first) call += ",";
        call += std::to_string(a);
        first = false;
    }
    log_->push_back(call + ")");
}

TI2CResult TScriptedControl::Answer(int32_t index) {
    return CheckIndex(index) ? Result : TI2CResult::irInvalidDevice;
}

void TScriptedControl::Text(int32_t index, std::string& text, const char* what) {
    if (CheckIndex(index, text)) text = std::string(what) + ":" + Masters[static_cast<size_t>(index)].Name;
}

bool TScriptedControl::Scan() {
    Record("Scan", {});
    SetKeepAlive(false);
    CloseAll();
    AdvanceGeneration();
    for (const std::string& name : FoundNames) {
        if (!ScanThrows.empty() && static_cast<size_t>(MasterCount()) == ThrowAfter)
            throw std::runtime_error(ScanThrows);
        AddMaster(std::make_unique<TI2CMaster>(name, MasterCount()));
    }
    if (!ScanThrows.empty()) throw std::runtime_error(ScanThrows);
    return true;
}

bool TScriptedControl::CloseAll() {
    Record("CloseAll", {});
    AdvanceGeneration();
    ClearMasters();
    return true;
}

TI2CResult TScriptedControl::GetSCL(int32_t index, int32_t& hz) {
    Record("GetSCL", {index});
    TI2CResult r = Answer(index);
    if (r == TI2CResult::irOK) hz = 100000;
    return r;
}
TI2CResult TScriptedControl::SetSCL(int32_t index, int32_t hz) {
    Record("SetSCL", {index, hz});
    return Answer(index);
}
TI2CResult TScriptedControl::ScanI2C(int32_t index, std::string& list) {
    Record("ScanI2C", {index});
    TI2CResult r = Answer(index);
    if (r == TI2CResult::irOK) list = "24,32";
    return r;
}
TI2CResult TScriptedControl::WriteI2C(int32_t index, uint8_t addr, std::string_view hexText) {
    Record("WriteI2C:" + std::string(hexText), {index, addr});
    return Answer(index);
}
TI2CResult TScriptedControl::WriteI2CBlock(int32_t index, uint8_t addr, std::span<const uint8_t> data) {
    Record("WriteI2CBlock", {index, addr, static_cast<long long>(data.size())});
    return Answer(index);
}
TI2CResult TScriptedControl::ReadI2C(int32_t index, uint8_t addr, uint16_t len, std::span<uint8_t> buf) {
    Record("ReadI2C", {index, addr, len});
    TI2CResult r = Answer(index);
    if (r == TI2CResult::irOK)
        for (size_t i = 0; i < len && i < buf.size(); ++i)
            buf[i] = static_cast<uint8_t>(index);
    return r;
}
TI2CResult TScriptedControl::WriteReadI2C(int32_t index, uint8_t addr, std::string_view hexText, uint16_t len,
                                          std::span<uint8_t> buf) {
    Record("WriteReadI2C:" + std::string(hexText), {index, addr, len});
    TI2CResult r = Answer(index);
    if (r == TI2CResult::irOK)
        for (size_t i = 0; i < len && i < buf.size(); ++i)
            buf[i] = static_cast<uint8_t>(index);
    return r;
}
TI2CResult TScriptedControl::ScanI2CMux(int32_t index, std::vector<std::string>& list) {
    Record("ScanI2CMux", {index});
    TI2CResult r = Answer(index);
    if (r == TI2CResult::irOK) list = {"0"};
    return r;
}
TI2CResult TScriptedControl::WriteSeq(int32_t index, uint8_t seqId, const TI2CBuffer&, uint8_t len,
                                      TI2CBuffer& answer) {
    Record("WriteSeq", {index, seqId, len});
    TI2CResult r = Answer(index);
    if (r == TI2CResult::irOK) answer[0] = static_cast<uint8_t>(index);
    return r;
}
TI2CResult TScriptedControl::WriteChannel(int32_t index, uint8_t channel, uint8_t adc8LowVal,
                                          const TRegisterImage& image, TI2CBuffer& answer) {
    Record("WriteChannel", {index, channel, adc8LowVal, image.Words[0]});
    TI2CResult r = Answer(index);
    if (CheckIndex(index, TBadIndexReport::brSilent)) answer[0] = static_cast<uint8_t>(index);
    return r;
}
TI2CResult TScriptedControl::SaveAllConfig(int32_t index, uint8_t channel) {
    Record("SaveAllConfig", {index, channel});
    return Answer(index);
}
TI2CResult TScriptedControl::GetDeviceInfo(int32_t index, TDeviceInfo& info) {
    Record("GetDeviceInfo", {index});
    TI2CResult r = Answer(index);
    if (r == TI2CResult::irOK) {
        info.State = 2;
        info.ActiveChannels = static_cast<uint8_t>(index);
    }
    return r;
}
TI2CResult TScriptedControl::GetChannelInfo(int32_t index, TChannelInfoBlock& block) {
    Record("GetChannelInfo", {index});
    TI2CResult r = Answer(index);
    if (r == TI2CResult::irOK) block.Slots[0].Present = 1;
    return r;
}
TI2CResult TScriptedControl::SetChannelInfo(int32_t index, int32_t channel, const TChannelInfo& info) {
    Record("SetChannelInfo", {index, channel, info.Serial});
    return Answer(index);
}
TI2CResult TScriptedControl::GetDCDCInfo(int32_t index, TDCDCInfo& info) {
    Record("GetDCDCInfo", {index});
    TI2CResult r = Answer(index);
    if (r == TI2CResult::irOK) info.Entries[0].Present = 1;
    return r;
}
TI2CResult TScriptedControl::SetDCDCInfo(int32_t index, const TDCDCInfo&) {
    Record("SetDCDCInfo", {index});
    return Answer(index);
}
TI2CResult TScriptedControl::SetDCDCClock(int32_t index, uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3,
                                          uint8_t b4) {
    Record("SetDCDCClock", {index, b0, b1, b2, b3, b4});
    return Answer(index);
}
TI2CResult TScriptedControl::GetChannelCalibTable(int32_t index, uint8_t channel, TChannelCalibTable& table) {
    Record("GetChannelCalibTable", {index, channel});
    TI2CResult r = Answer(index);
    if (r == TI2CResult::irOK) table.AdjustMarker = 8;
    return r;
}
TI2CResult TScriptedControl::GetMasterflash(int32_t index, TMasterFlash& flash) {
    Record("GetMasterflash", {index});
    TI2CResult r = Answer(index);
    if (r == TI2CResult::irOK) flash.SetMagic();
    return r;
}
TI2CResult TScriptedControl::SetMasterflash(int32_t index, const TMasterFlash& flash) {
    Record("SetMasterflash", {index, flash.HWStartLock});
    return Answer(index);
}
TI2CResult TScriptedControl::GetDeviceADC8(int32_t index, TDeviceADC8& status, bool& changed) {
    Record("GetDeviceADC8", {index});
    TI2CResult r = Answer(index);
    if (r == TI2CResult::irOK) {
        status.Status[0] = static_cast<uint8_t>(index);
        changed = true;
    }
    return r;
}
TI2CResult TScriptedControl::SetMux(int32_t index, uint8_t ondrixMux, uint8_t channelMux, uint8_t pathMux) {
    Record("SetMux", {index, ondrixMux, channelMux, pathMux});
    return Answer(index);
}
TI2CResult TScriptedControl::SetFan(int32_t index, uint8_t speed) {
    Record("SetFan", {index, speed});
    return Answer(index);
}
TI2CResult TScriptedControl::SetIRQ(int32_t index, uint8_t mode) {
    Record("SetIRQ", {index, mode});
    return Answer(index);
}
void TScriptedControl::GetDeviceName(int32_t index, std::string& text) {
    Record("GetDeviceName", {index});
    Text(index, text, "name");
}
void TScriptedControl::GetVendor(int32_t index, std::string& text) {
    Record("GetVendor", {index});
    Text(index, text, "vendor");
}
void TScriptedControl::GetModel(int32_t index, std::string& text) {
    Record("GetModel", {index});
    Text(index, text, "model");
}
void TScriptedControl::GetVersion(int32_t index, std::string& text) {
    Record("GetVersion", {index});
    Text(index, text, "version");
}
uint16_t TScriptedControl::IsDeviceValid(int32_t index) {
    Record("IsDeviceValid", {index});
    return CheckIndex(index) ? static_cast<uint16_t>(ValidBase + index) : 0;
}
bool TScriptedControl::GetDeviceLockState(int32_t index) {
    Record("GetDeviceLockState", {index});
    return CheckIndex(index);
}
TI2CResult TScriptedControl::SetDeviceLockState(int32_t index, bool locked) {
    Record("SetDeviceLockState", {index, locked});
    return Answer(index);
}
void TScriptedControl::GetFWVersion(int32_t index, TFWVersion& version, std::string& text) {
    Record("GetFWVersion", {index});
    if (!CheckIndex(index, version, text)) return;
    version.Components = {index, 2, 3, 4};
    text = "FW: " + tag_ + " " + std::to_string(index);
}
void TScriptedControl::KeepAliveTimer(const void*) {
    ++KeepAliveTicks;
}

} // namespace qrb::test
