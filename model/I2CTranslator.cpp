#include "model/I2CTranslator.h"

#include "device/Format.h"
#include "device/Helpers.h"

namespace qrb::model {

using device::TI2CResult;

// ---- Construction ---------------------------------------------------------------------------

TI2CTranslator::TI2CTranslator(device::TInterfaceMask interfaces, bool scanNow,
                               const device::TI2CTransportFactory& factory)
    : Interfaces(interfaces) {
    ClearSelection();
    HAL = std::make_unique<device::TI2CHAL>(interfaces, false, factory);
    HAL->OnScanStart = [this](const void* s) { HALScanStart(s); };
    HAL->OnScanEnd = [this](const void* s, int32_t count) { HALScanEnd(s, count); };
    HAL->OnLog = [this](const void* s, const std::string& text) { HALDeviceLog(s, text); };
    HAL->OnI2CLog = [this](const void* s, const std::string& text) { HALI2CLog(s, text); };
    HAL->OnError = [this](const void* s, const std::string& text) { HALI2CError(s, text); };
    HAL->OnDeviceChange = [this](const void* s) { HALDeviceChange(s); };
    HAL->OnIRQ = [this](const void* s, int32_t device, const device::TIRQMessage* msg) {
        HALNotify(s, device, msg);
    };
    HAL->OnDeviceLost = [this](const void* s, const std::string& text) { HALDeviceLost(s, text); };
    HAL->OnNoAnswer = [this](int32_t device) { HALNoAnswer(device); };

    // Without an application-data folder there is no folder to name; "/" alone would be the root.
    const std::string folder = device::GetSpecialFolder(device::CSIDL_APPDATA);
    AppDataFolder = folder.empty() ? std::string() : folder + "/";

    if (scanNow) HAL->ScanDevices();
}

TI2CTranslator::~TI2CTranslator() {
    HAL.reset();
    Masters.Clear();
    Channels.Clear();
    SensorEntries.Clear();
}

// ---- Lists and accessors --------------------------------------------------------------------

TQRBRawChannel* TI2CTranslator::GetChannel(int32_t index) const {
    return Channels.Object(index);
}

TQRBRawMaster* TI2CTranslator::GetMaster(int32_t index) const {
    return Masters.Object(index);
}

int32_t TI2CTranslator::ChannelCount() const {
    return Channels.Count();
}

int32_t TI2CTranslator::MasterCount() const {
    return Masters.Count();
}

void TI2CTranslator::ClearChannels() {
    Channels.Clear();
}

void TI2CTranslator::ClearMasters() {
    Masters.Clear();
}

void TI2CTranslator::GrowDeviceArrays(int32_t count) {
    if (count <= 0) return;
    const auto n = static_cast<size_t>(count);
    if (DeviceInfos.size() < n) DeviceInfos.resize(n);
    if (DeviceADC8.size() < n) DeviceADC8.resize(n);
}

bool TI2CTranslator::CheckChannelIndex(int32_t index, std::string_view format) {
    // A negative index is refused like one past the end.
    if (index >= 0 && index < ChannelCount()) return true;
    LastError = device::Format(format, static_cast<int64_t>(index) + 1);
    ReportError();
    return false;
}

// ---- Selection ------------------------------------------------------------------------------

void TI2CTranslator::ClearSelection() {
    Selected.fill(false);
}

void TI2CTranslator::SelectAll() {
    Selected.fill(true);
}

bool TI2CTranslator::IsSelected(int32_t index) const {
    return index >= 0 && index < kSelectionSize && Selected[static_cast<size_t>(index)];
}

// ---- Options and hardware-abstraction settings ----------------------------------------------

void TI2CTranslator::SetInterfaces(device::TInterfaceMask mask) {
    Interfaces = mask;
    if (HAL) HAL->SetInterfaces(mask);
}

void TI2CTranslator::SetDebugLevel(int32_t level) {
    DebugLevel = level;
    SetHALLogLevel(level);
    SetHALI2CLogLevel(level);
}

void TI2CTranslator::SetHALLogLevel(int32_t level) {
    if (HAL) HAL->SetLogLevel(level);
}

void TI2CTranslator::SetHALI2CLogLevel(int32_t level) {
    if (HAL) HAL->SetI2CLogLevel(level);
}

int32_t TI2CTranslator::AddScanTarget(std::string_view target, device::TInterfaceMask mask) {
    if (!HAL) return -1;
    return HAL->AddScanTarget(target, mask);
}

void TI2CTranslator::ClearScanTargets() {
    if (HAL) HAL->ClearScanTargets();
}

void TI2CTranslator::ClearScanTargets2() {
    if (HAL) HAL->ClearScanTargets2();
}

void TI2CTranslator::SetICPCompVoltage(int32_t value) {
    ICPCompVoltage = value >= 1;
}

void TI2CTranslator::SetZeroAverage(int32_t count) {
    ZeroAverage = count < 1 ? 1 : (count > 30 ? 30 : count);
}

void TI2CTranslator::ClearErrorHistory() {
    for (const auto& entry : Channels)
        entry.Object->ADC8History = 0;
}

// ---- Logging and errors ---------------------------------------------------------------------

void TI2CTranslator::DoTranslatorLog(const void* sender, const std::string& text) {
    if (OnTranslatorLog) OnTranslatorLog(sender, text);
}

void TI2CTranslator::DoTranslatorError(const void* sender, const std::string& text) {
    if (OnTranslatorError) OnTranslatorError(sender, text);
}

void TI2CTranslator::ReportError() {
    if (DebugLevel > 0) DoTranslatorError(this, LastError);
    if (OnError) OnError(this, LastError);
    LastError.clear();
}

// ---- Hardware-abstraction handlers ----------------------------------------------------------

void TI2CTranslator::HALScanStart(const void* sender) {
    if (OnScanStart) OnScanStart(sender);
}

void TI2CTranslator::HALScanEnd(const void* sender, int32_t count) {
    if (OnScanEnd) OnScanEnd(sender, count);
}

void TI2CTranslator::HALDeviceLog(const void* sender, const std::string& text) {
    if (OnDeviceLog) OnDeviceLog(sender, text);
}

void TI2CTranslator::HALI2CLog(const void* sender, const std::string& text) {
    if (OnI2CLog) OnI2CLog(sender, text);
}

void TI2CTranslator::HALI2CError(const void* sender, const std::string& text) {
    if (DebugLevel >= 1 && OnI2CError) OnI2CError(sender, text);
}

void TI2CTranslator::HALDeviceChange(const void* sender) {
    if (OnDeviceChange) OnDeviceChange(sender);
}

void TI2CTranslator::HALNotify(const void*, int32_t device, const device::TIRQMessage* msg) {
    if (msg == nullptr) return;
    for (const auto& entry : Channels) {
        TQRBRawChannel& channel = *entry.Object;
        if (channel.Device != device) continue;
        if (channel.Slot < 0 || channel.Slot >= static_cast<int>(device::kSlotCount)) continue;
        // The message's bytes are active low; the model's bits signal the condition.
        uint8_t status = static_cast<uint8_t>(~msg->ChannelStatus[static_cast<size_t>(channel.Slot)] & 0xFC);
        // Without DMS power the fuse bit means nothing.
        if (channel.dms_pwr_on == 0) status &= 0x7C;
        channel.ADC8Status = status;
        channel.ADC8History |= status;
    }
    const uint16_t word = msg->IRQWord;
    if ((word & 0x100) == 0) {
        if (OnDeviceAlarm) OnDeviceAlarm(this, device, 256);
    } else if ((word & 0x400) == 0) {
        if (OnDeviceAlarm) OnDeviceAlarm(this, device, 1024);
    } else {
        if (OnDeviceInterrupt) OnDeviceInterrupt(this, device, word);
    }
}

void TI2CTranslator::HALDeviceLost(const void* sender, const std::string& text) {
    if (OnDeviceLost) OnDeviceLost(sender, text);
}

void TI2CTranslator::HALNoAnswer(int32_t device) {
    if (device < 0) return;
    const auto d = static_cast<size_t>(device);
    if (NoAnswers.size() <= d) NoAnswers.resize(d + 1);
    ++NoAnswers[d];
}

// ---- Master device access -------------------------------------------------------------------

TI2CResult TI2CTranslator::THALMasterAccess::GetMasterflash(int device, device::TMasterFlash& flash) {
    return owner_.HAL ? owner_.HAL->GetMasterflash(device, flash) : TI2CResult::irInvalidDevice;
}

TI2CResult TI2CTranslator::THALMasterAccess::SetMasterflash(int device, const device::TMasterFlash& flash) {
    return owner_.HAL ? owner_.HAL->SetMasterflash(device, flash) : TI2CResult::irInvalidDevice;
}

TI2CResult TI2CTranslator::THALMasterAccess::GetDCDCInfo(int device, device::TDCDCInfo& info) {
    return owner_.HAL ? owner_.HAL->GetDCDCInfo(device, info) : TI2CResult::irInvalidDevice;
}

} // namespace qrb::model
