#include "tests/support/PlaceholderTransports.h"

namespace qrb::test {

using namespace device;

TPlaceholderControl::TPlaceholderControl(std::string prefix, TStyle style)
    : prefix_(std::move(prefix)), style_(style) {}

bool TPlaceholderControl::Scan() {
    SetKeepAlive(false);
    CloseAll();
    AdvanceGeneration();
    Log(0, prefix_ + "device status: " + std::to_string(MasterCount()) + " device(s) found");
    return true;
}

bool TPlaceholderControl::CloseAll() {
    AdvanceGeneration();
    ClearMasters();
    return true;
}

TI2CResult TPlaceholderControl::Refuse(int32_t index, TBadIndexReport report) {
    // Masters stays empty, so every index is reported and refused.
    CheckIndex(index, report);
    return TI2CResult::irInvalidDevice;
}

namespace {
TBadIndexReport WireReport(TPlaceholderControl::TStyle style, bool padded) {
    switch (style) {
    case TPlaceholderControl::TStyle::psLAN:
        return TBadIndexReport::brI2CLog;
    case TPlaceholderControl::TStyle::psUSB:
        return padded ? TBadIndexReport::brI2CLogPadded : TBadIndexReport::brI2CLog;
    case TPlaceholderControl::TStyle::psSimulated:
        break;
    }
    return TBadIndexReport::brError;
}
} // namespace

TI2CResult TPlaceholderControl::GetSCL(int32_t index, int32_t&) {
    return Refuse(index, WireReport(style_, false));
}
TI2CResult TPlaceholderControl::SetSCL(int32_t index, int32_t) {
    return Refuse(index, WireReport(style_, true));
}
TI2CResult TPlaceholderControl::ScanI2C(int32_t index, std::string&) {
    return Refuse(index, WireReport(style_, true));
}
TI2CResult TPlaceholderControl::WriteI2C(int32_t index, uint8_t, std::string_view) {
    return Refuse(index, WireReport(style_, false));
}
TI2CResult TPlaceholderControl::WriteI2CBlock(int32_t index, uint8_t, std::span<const uint8_t>) {
    return Refuse(index);
}
TI2CResult TPlaceholderControl::ReadI2C(int32_t index, uint8_t, uint16_t, std::span<uint8_t>) {
    return Refuse(index);
}
TI2CResult TPlaceholderControl::WriteReadI2C(int32_t index, uint8_t, std::string_view, uint16_t,
                                             std::span<uint8_t>) {
    return Refuse(index);
}
TI2CResult TPlaceholderControl::ScanI2CMux(int32_t index, std::vector<std::string>&) {
    return Refuse(index);
}
TI2CResult TPlaceholderControl::WriteSeq(int32_t index, uint8_t, const TI2CBuffer&, uint8_t, TI2CBuffer&) {
    return Refuse(index);
}
TI2CResult TPlaceholderControl::WriteChannel(int32_t index, uint8_t, uint8_t, const TRegisterImage&,
                                             TI2CBuffer&) {
    return Refuse(index);
}
TI2CResult TPlaceholderControl::SaveAllConfig(int32_t index, uint8_t) {
    return Refuse(index);
}
TI2CResult TPlaceholderControl::GetDeviceInfo(int32_t index, TDeviceInfo&) {
    return Refuse(index);
}
TI2CResult TPlaceholderControl::GetChannelInfo(int32_t index, TChannelInfoBlock&) {
    return Refuse(index);
}
TI2CResult TPlaceholderControl::SetChannelInfo(int32_t index, int32_t, const TChannelInfo&) {
    return Refuse(index);
}
TI2CResult TPlaceholderControl::GetDCDCInfo(int32_t index, TDCDCInfo&) {
    return Refuse(index);
}
TI2CResult TPlaceholderControl::SetDCDCInfo(int32_t index, const TDCDCInfo&) {
    return Refuse(index);
}
TI2CResult TPlaceholderControl::SetDCDCClock(int32_t index, uint8_t, uint8_t, uint8_t, uint8_t, uint8_t) {
    return Refuse(index);
}
TI2CResult TPlaceholderControl::GetChannelCalibTable(int32_t index, uint8_t, TChannelCalibTable&) {
    return Refuse(index);
}
TI2CResult TPlaceholderControl::GetMasterflash(int32_t index, TMasterFlash&) {
    return Refuse(index);
}
TI2CResult TPlaceholderControl::SetMasterflash(int32_t index, const TMasterFlash&) {
    return Refuse(index);
}
TI2CResult TPlaceholderControl::GetDeviceADC8(int32_t index, TDeviceADC8&, bool&) {
    return Refuse(index);
}
TI2CResult TPlaceholderControl::SetMux(int32_t index, uint8_t, uint8_t, uint8_t) {
    return Refuse(index);
}
TI2CResult TPlaceholderControl::SetFan(int32_t index, uint8_t) {
    return Refuse(index);
}
TI2CResult TPlaceholderControl::SetIRQ(int32_t index, uint8_t) {
    return Refuse(index);
}
void TPlaceholderControl::GetDeviceName(int32_t index, std::string& text) {
    CheckIndex(index, text);
}
void TPlaceholderControl::GetVendor(int32_t index, std::string& text) {
    CheckIndex(index, text);
}
void TPlaceholderControl::GetModel(int32_t index, std::string& text) {
    CheckIndex(index, text);
}
void TPlaceholderControl::GetVersion(int32_t index, std::string& text) {
    CheckIndex(index, text);
}
uint16_t TPlaceholderControl::IsDeviceValid(int32_t index) {
    CheckIndex(index);
    return 0;
}
bool TPlaceholderControl::GetDeviceLockState(int32_t index) {
    CheckIndex(index);
    return false;
}
TI2CResult TPlaceholderControl::SetDeviceLockState(int32_t index, bool) {
    return Refuse(index,
                  style_ == TStyle::psSimulated ? TBadIndexReport::brSilent : TBadIndexReport::brError);
}
void TPlaceholderControl::GetFWVersion(int32_t index, TFWVersion& version, std::string& text) {
    CheckIndex(index, version, text);
}
void TPlaceholderControl::KeepAliveTimer(const void*) {}

std::unique_ptr<TI2CControl> CreatePlaceholderLANControl() {
    return std::make_unique<TPlaceholderControl>("[LAN] ", TPlaceholderControl::TStyle::psLAN);
}
std::unique_ptr<TI2CControl> CreatePlaceholderUSBControl() {
    return std::make_unique<TPlaceholderControl>("[USB] ", TPlaceholderControl::TStyle::psUSB);
}
std::unique_ptr<TI2CControl> CreatePlaceholderVirtualControl() {
    return std::make_unique<TPlaceholderControl>("[VRT] ", TPlaceholderControl::TStyle::psSimulated);
}

} // namespace qrb::test
