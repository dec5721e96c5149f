#include "device/I2CControl.h"

#include <cstdio>

namespace qrb::device {

namespace {
const char kI2CPrefix[] = "[I2C] ";
const char kInvalidDevice[] = "invalid device: ";
} // namespace

TI2CControl::TI2CControl() {
    SetKeepAlive(false);
}

TI2CControl::~TI2CControl() {
    ClearMasters();
    SetKeepAlive(false);
}

void TI2CControl::SetKeepAlive(bool enable) {
    if (enable == KeepAlive()) return;
    if (enable) {
        keepAliveLoop_ = &MainLoop();
        keepAliveTimer_ = keepAliveLoop_->StartTimer(KeepAliveIntervalMs, [this] { KeepAliveTimer(this); });
    } else {
        // Stopped on the loop it was started on, even if another loop was installed since.
        keepAliveLoop_->StopTimer(keepAliveTimer_);
        keepAliveTimer_ = 0;
        keepAliveLoop_ = nullptr;
    }
}

void TI2CControl::Log(int32_t level, const std::string& text) {
    if (OnLog && level <= LogLevel) OnLog(nullptr, text);
}

void TI2CControl::I2CLog(int32_t level, const std::string& text) {
    if (OnI2CLog && level <= I2CLogLevel) OnI2CLog(nullptr, kI2CPrefix + text);
}

void TI2CControl::Error(const std::string& text) {
    if (OnError) OnError(nullptr, kI2CPrefix + text);
}

void TI2CControl::DeviceLost(const std::string& name) {
    if (OnDeviceLost) OnDeviceLost(nullptr, name);
}

void TI2CControl::DoIRQ(int32_t index, const TIRQMessage* data) {
    if (OnIRQ) OnIRQ(this, index, data);
}

int32_t TI2CControl::AddMaster(std::unique_ptr<TI2CMaster> master) {
    std::string name = master ? master->Name : std::string();
    Masters.push_back(TMasterEntry{std::move(name), std::move(master)});
    return static_cast<int32_t>(Masters.size()) - 1;
}

void TI2CControl::ClearMasters() {
    Masters.clear();
}

void TI2CControl::PostIRQ(int32_t index, uint64_t generation, const TIRQMessage& message) {
    MainLoop().Post(lifetime_, [this, index, generation, copy = message] {
        if (generation != ScanGeneration() || index < 0 || index >= MasterCount()) return;
        DoIRQ(index, &copy);
    });
}

bool TI2CControl::CheckIndex(int32_t index, TBadIndexReport report) {
    if (index >= 0 && index < MasterCount()) return true;
    switch (report) {
    case TBadIndexReport::brError:
        Error(kInvalidDevice + std::to_string(index));
        break;
    case TBadIndexReport::brI2CLog:
        I2CLog(0, kInvalidDevice + std::to_string(index));
        break;
    case TBadIndexReport::brI2CLogPadded: {
        char digits[16];
        std::snprintf(digits, sizeof digits, "%2.2d", static_cast<int>(index));
        I2CLog(0, kInvalidDevice + std::string(digits));
        break;
    }
    case TBadIndexReport::brSilent:
        break;
    }
    return false;
}

bool TI2CControl::CheckIndex(int32_t index, std::string& text) {
    if (CheckIndex(index)) return true;
    text = "<n/a>";
    return false;
}

bool TI2CControl::CheckIndex(int32_t index, TFWVersion& version, std::string& text) {
    if (CheckIndex(index)) return true;
    version = TFWVersion{};
    text = "FW: <unknown>";
    return false;
}

} // namespace qrb::device
