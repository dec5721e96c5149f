#pragma once
// The abstract transport every way of reaching amplifiers derives from.

#include "device/I2CTypes.h"
#include "device/MainLoop.h"
#include "device/Records.h"
#include "device/StringList.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qrb::device {

// Event types; sender is the object that fired the event (or null, see TI2CControl).
using TNotifyEvent = std::function<void(const void* sender)>;
using TI2CTextEvent = std::function<void(const void* sender, const std::string& text)>;
using TI2CScanEndEvent = std::function<void(const void* sender, int32_t count)>;
// data is valid only during the call.
using TI2CIRQEvent = std::function<void(const void* sender, int32_t index, const TIRQMessage* data)>;

// Data and answer buffers of WriteSeq and WriteChannel.
inline constexpr size_t kI2CBufferSize = 1024;
using TI2CBuffer = std::array<uint8_t, kI2CBufferSize>;

// One reachable device of a transport. Transports may derive their own per-device objects.
class TI2CMaster {
public:
    TI2CMaster(std::string name, int32_t index) : Name(std::move(name)), Index(index) {}
    virtual ~TI2CMaster() = default;

    std::string Name;
    int32_t Index;
};

struct TMasterEntry {
    std::string Name;
    std::unique_ptr<TI2CMaster> Master;
};

// How a bad device index is reported ("invalid device: " and the index).
enum class TBadIndexReport {
    brError,        // through Error
    brI2CLog,       // through I2CLog at level 0
    brI2CLogPadded, // through I2CLog at level 0, index with at least two digits
    brSilent,       // no text
};

class TI2CControl {
public:
    static constexpr uint32_t KeepAliveIntervalMs = 2000;

    TI2CControl();
    virtual ~TI2CControl();
    TI2CControl(const TI2CControl&) = delete;
    TI2CControl& operator=(const TI2CControl&) = delete;

    // Fields.
    std::vector<TMasterEntry> Masters; // a device index is a position here
    TSortedStringList ScanTargets;
    TSortedStringList ScanTargets2;
    int32_t LogLevel = 0;
    int32_t I2CLogLevel = 0;

    TNotifyEvent OnDeviceChange;
    TI2CTextEvent OnLog;
    TI2CTextEvent OnDeviceLost;
    TI2CTextEvent OnI2CLog;
    TI2CTextEvent OnError;
    TI2CIRQEvent OnIRQ;

    // Shared operations.
    // Starts or stops the 2000 ms keep-alive timer on the main loop; its tick calls KeepAliveTimer.
    void SetKeepAlive(bool enable);
    bool KeepAlive() const { return keepAliveTimer_ != 0; }
    int32_t MasterCount() const { return static_cast<int32_t>(Masters.size()); }
    void Log(int32_t level, const std::string& text);
    void I2CLog(int32_t level, const std::string& text);
    void Error(const std::string& text);
    void DeviceLost(const std::string& name);
    void DoIRQ(int32_t index, const TIRQMessage* data);
    // Adds master under its Name and returns its position.
    int32_t AddMaster(std::unique_ptr<TI2CMaster> master);
    void ClearMasters();

    // Any thread: copies message and hands it to the main thread, where DoIRQ runs with index
    // only while the scan generation still equals generation (the one the connection was made
    // in) and index names a device. Dropped once this transport is destroyed. Notifications of
    // one device and code that wait for the main thread are merged into the first of them, and
    // one device keeps at most kMaxWaitingCodes interrupt codes waiting (further ones join its
    // newest), so a flood cannot fill memory. The model ends on the newest channel status the
    // device sent in that generation, and every condition reported meanwhile reaches it first:
    // an entry of a device with further entries waiting is delivered once, with the conditions
    // of them all; the device's last entry brings the status now (when conditions it merged have
    // gone since, after a delivery with them). No entry is delivered as two notifications where
    // the device sent one.
    void PostIRQ(int32_t index, uint64_t generation, const TIRQMessage& message);
    static constexpr size_t kMaxWaitingCodes = 8;
    // Notifications waiting for the main thread.
    size_t WaitingIRQs() const;
    // Advanced by Scan and CloseAll: implementations call AdvanceGeneration in both.
    uint64_t ScanGeneration() const { return generation_.load(std::memory_order_acquire); }
    void AdvanceGeneration() { generation_.fetch_add(1, std::memory_order_acq_rel); }

    // Virtual operations, in slot order 0..34 (Scan is 0, KeepAliveTimer 34). index is the
    // transport's own device index.
    virtual bool Scan() = 0;
    virtual bool CloseAll() = 0;
    virtual TI2CResult GetSCL(int32_t index, int32_t& hz) = 0;
    virtual TI2CResult SetSCL(int32_t index, int32_t hz) = 0;
    virtual TI2CResult ScanI2C(int32_t index, std::string& list) = 0;
    virtual TI2CResult WriteI2C(int32_t index, uint8_t addr, std::string_view hexText) = 0;
    virtual TI2CResult WriteI2CBlock(int32_t index, uint8_t addr, std::span<const uint8_t> data) = 0;
    // Reads len bytes; stores at most buf.size() of them.
    virtual TI2CResult ReadI2C(int32_t index, uint8_t addr, uint16_t len, std::span<uint8_t> buf) = 0;
    virtual TI2CResult WriteReadI2C(int32_t index, uint8_t addr, std::string_view hexText, uint16_t len,
                                    std::span<uint8_t> buf) = 0;
    virtual TI2CResult ScanI2CMux(int32_t index, std::vector<std::string>& list) = 0;
    virtual TI2CResult WriteSeq(int32_t index, uint8_t seqId, const TI2CBuffer& data, uint8_t len,
                                TI2CBuffer& answer) = 0;
    virtual TI2CResult WriteChannel(int32_t index, uint8_t channel, uint8_t adc8LowVal,
                                    const TRegisterImage& image, TI2CBuffer& answer) = 0;
    virtual TI2CResult SaveAllConfig(int32_t index, uint8_t channel) = 0;
    virtual TI2CResult GetDeviceInfo(int32_t index, TDeviceInfo& info) = 0;
    virtual TI2CResult GetChannelInfo(int32_t index, TChannelInfoBlock& block) = 0;
    virtual TI2CResult SetChannelInfo(int32_t index, int32_t channel, const TChannelInfo& info) = 0;
    virtual TI2CResult GetDCDCInfo(int32_t index, TDCDCInfo& info) = 0;
    virtual TI2CResult SetDCDCInfo(int32_t index, const TDCDCInfo& info) = 0;
    virtual TI2CResult SetDCDCClock(int32_t index, uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3,
                                    uint8_t b4) = 0;
    virtual TI2CResult GetChannelCalibTable(int32_t index, uint8_t channel, TChannelCalibTable& table) = 0;
    virtual TI2CResult GetMasterflash(int32_t index, TMasterFlash& flash) = 0;
    virtual TI2CResult SetMasterflash(int32_t index, const TMasterFlash& flash) = 0;
    virtual TI2CResult GetDeviceADC8(int32_t index, TDeviceADC8& status, bool& changed) = 0;
    virtual TI2CResult SetMux(int32_t index, uint8_t ondrixMux, uint8_t channelMux, uint8_t pathMux) = 0;
    virtual TI2CResult SetFan(int32_t index, uint8_t speed) = 0;
    virtual TI2CResult SetIRQ(int32_t index, uint8_t mode) = 0;
    virtual void GetDeviceName(int32_t index, std::string& text) = 0;
    virtual void GetVendor(int32_t index, std::string& text) = 0;
    virtual void GetModel(int32_t index, std::string& text) = 0;
    virtual void GetVersion(int32_t index, std::string& text) = 0;
    virtual uint16_t IsDeviceValid(int32_t index) = 0;
    virtual bool GetDeviceLockState(int32_t index) = 0;
    virtual TI2CResult SetDeviceLockState(int32_t index, bool locked) = 0;
    virtual void GetFWVersion(int32_t index, TFWVersion& version, std::string& text) = 0;
    virtual void KeepAliveTimer(const void* sender) = 0;

protected:
    // True when index names a device in Masters. Otherwise reports "invalid device: <index>"
    // as report says and returns false; the operation then answers irInvalidDevice.
    bool CheckIndex(int32_t index, TBadIndexReport report = TBadIndexReport::brError);
    // For the text operations: a bad index also sets text to "<n/a>".
    bool CheckIndex(int32_t index, std::string& text);
    // For GetFWVersion: a bad index also zeroes version and sets text to "FW: <unknown>".
    bool CheckIndex(int32_t index, TFWVersion& version, std::string& text);

private:
    TTimerId keepAliveTimer_ = 0;
    TMainLoop* keepAliveLoop_ = nullptr;
    struct TWaitingIRQ {
        int32_t Index;
        uint64_t Generation;
        uint16_t Code;
        // The newest word merged here, with the newest channel status of the device.
        TIRQMessage Newest;
        // Active low, as the message: a condition any merged notification reported is 0 here.
        std::array<uint8_t, kSlotCount> Conditions;
    };
    void DeliverIRQ();

    std::atomic<uint64_t> generation_{0};
    mutable std::mutex waitingMutex_;
    std::deque<TWaitingIRQ> waiting_; // in order of first arrival; one posted delivery each
    TLifetime lifetime_;              // last member: posted notifications die first
};

} // namespace qrb::device
