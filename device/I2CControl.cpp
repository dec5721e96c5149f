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

namespace {

// The code a notification is merged by: the alarm it raises, else its status word.
uint16_t MergeCode(uint16_t word) {
    if ((word & 0x100) == 0) return 0x100;
    if ((word & 0x400) == 0) return 0x400;
    return word;
}

bool IsAlarmCode(uint16_t code) {
    return code == 0x100 || code == 0x400;
}

// True when a reports a condition b does not; bits 0 and 1 of a channel status report none.
bool HasConditionsBeyond(const std::array<uint8_t, kSlotCount>& a, const std::array<uint8_t, kSlotCount>& b) {
    for (size_t i = 0; i < kSlotCount; ++i)
        if ((~a[i] & b[i] & 0xFC) != 0) return true;
    return false;
}

} // namespace

void TI2CControl::PostIRQ(int32_t index, uint64_t generation, const TIRQMessage& message) {
    const uint16_t code = MergeCode(message.IRQWord);
    {
        std::lock_guard lock(waitingMutex_);
        TWaitingIRQ* same = nullptr;
        TWaitingIRQ* newestInterrupt = nullptr;
        size_t interrupts = 0;
        for (TWaitingIRQ& w : waiting_) {
            if (w.Index != index || w.Generation != generation) continue;
            // Whichever of the device's entries is delivered last, the model ends on what the
            // device reports now.
            w.Newest.ChannelStatus = message.ChannelStatus;
            if (w.Code == code) same = &w;
            if (!IsAlarmCode(w.Code)) {
                ++interrupts;
                newestInterrupt = &w;
            }
        }
        if (same == nullptr && !IsAlarmCode(code) && interrupts >= kMaxWaitingCodes) same = newestInterrupt;
        if (same != nullptr) {
            for (size_t i = 0; i < kSlotCount; ++i)
                same->Conditions[i] &= message.ChannelStatus[i];
            same->Newest = message;
            return;
        }
        waiting_.push_back(TWaitingIRQ{index, generation, code, message, message.ChannelStatus});
    }
    MainLoop().Post(lifetime_, [this] { DeliverIRQ(); });
}

size_t TI2CControl::WaitingIRQs() const {
    std::lock_guard lock(waitingMutex_);
    return waiting_.size();
}

void TI2CControl::DeliverIRQ() {
    TWaitingIRQ w;
    // Another entry of the device still waits: it will bring the newest status, so this one
    // takes the conditions of every entry of the device to the history and is delivered once;
    // delivered twice, it would count as a repeat the device never sent.
    bool later = false;
    {
        std::lock_guard lock(waitingMutex_);
        if (waiting_.empty()) return;
        w = waiting_.front();
        waiting_.pop_front();
        for (TWaitingIRQ& next : waiting_) {
            if (next.Index != w.Index || next.Generation != w.Generation) continue;
            later = true;
            for (size_t i = 0; i < kSlotCount; ++i)
                w.Conditions[i] &= next.Conditions[i];
            next.Conditions.fill(0xFF);
        }
    }
    if (w.Generation != ScanGeneration() || w.Index < 0 || w.Index >= MasterCount()) return;
    TIRQMessage all = w.Newest;
    for (size_t i = 0; i < kSlotCount; ++i)
        all.ChannelStatus[i] &= w.Conditions[i];
    const bool beyond = HasConditionsBeyond(all.ChannelStatus, w.Newest.ChannelStatus);
    if (later) {
        DoIRQ(w.Index, beyond ? &all : &w.Newest);
        return;
    }
    if (beyond) {
        // Conditions that came and went while it waited reach the history first.
        DoIRQ(w.Index, &all);
        if (w.Generation != ScanGeneration() || w.Index >= MasterCount()) return;
    }
    DoIRQ(w.Index, &w.Newest);
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
