#pragma once
// The hardware abstraction: owns the LAN, USB and simulated transports, merges their devices
// into one list sorted by name and routes every device operation to the right transport.

#include "device/I2CControl.h"
#include "device/I2CTypes.h"
#include "device/Records.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace qrb::device {

// Raised by TI2CHAL's creation and scan; the text is what the model shows.
class EI2CHALError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One entry of the merged device list.
struct TI2CDevice {
    TI2CDevice(std::string name, int32_t index, TInterfaceKind kind)
        : Name(std::move(name)), Kind(kind), Index(index) {}

    std::string Name; // the transport's master name; the sort key
    TInterfaceKind Kind;
    int32_t Index; // index in its transport
    std::string DeviceName;
    std::string Vendor;
    std::string Model;
    std::string Version;
    uint16_t Valid = 0;
};

// Creates the three transports. A function that returns null leaves that transport missing
// (scanning it then fails); one that throws makes the creation of TI2CHAL fail.
struct TI2CTransportFactory {
    std::function<std::unique_ptr<TI2CControl>()> CreateLAN;
    std::function<std::unique_ptr<TI2CControl>()> CreateUSB;
    std::function<std::unique_ptr<TI2CControl>()> CreateVirtual;
};

// The transports a program uses.
TI2CTransportFactory DefaultTransportFactory();

class TI2CHAL {
public:
    // Creates the transports in the order LAN, USB, simulated and hooks their events; scans
    // when scanNow is set. Throws EI2CHALError.
    explicit TI2CHAL(TInterfaceMask interfaces, bool scanNow = false,
                     const TI2CTransportFactory& factory = DefaultTransportFactory());
    ~TI2CHAL();
    TI2CHAL(const TI2CHAL&) = delete;
    TI2CHAL& operator=(const TI2CHAL&) = delete;

    TNotifyEvent OnScanStart;
    TI2CScanEndEvent OnScanEnd;
    TI2CTextEvent OnLog;
    TI2CTextEvent OnI2CLog;
    TI2CTextEvent OnError;
    TI2CIRQEvent OnIRQ; // index is the merged index; runs on the main thread
    TNotifyEvent OnDeviceChange;
    TI2CTextEvent OnDeviceLost;
    // A routed operation on device (the merged index) returned 7 (no answer); it runs before
    // the result is returned, so the caller's caller can tell a silent device at once.
    std::function<void(int32_t device)> OnNoAnswer;

    TInterfaceMask Interfaces() const { return interfaces_; }
    void SetInterfaces(TInterfaceMask mask) { interfaces_ = mask; }
    void SetLogLevel(int32_t level);
    void SetI2CLogLevel(int32_t level);
    // Adds target to the transports enabled both in mask and in Interfaces (LAN, USB, simulated);
    // the list position of the last add, or -1 when no transport took it.
    int32_t AddScanTarget(std::string_view target, TInterfaceMask mask);
    void ClearScanTargets();
    void ClearScanTargets2();
    // Rebuilds the merged list; returns its size. Throws EI2CHALError ("Error while scanning
    // devices:" and the cause); entries added before the failure stay.
    int32_t ScanDevices();
    int32_t SetKeepAlive(bool enable);
    // Null outside 0..DeviceCount()-1.
    const TI2CDevice* GetDevice(int32_t device) const;
    int32_t DeviceCount() const { return static_cast<int32_t>(devices_.size()); }
    // Closes every transport (enabled or not) and empties the list.
    void ClearDevices();

    TI2CControl* LANControl() const { return lan_.get(); }
    TI2CControl* USBControl() const { return usb_.get(); }
    TI2CControl* VirtualControl() const { return virtual_.get(); }

    // Routed operations: device is the merged index; 10 outside the list, 100 for an unknown kind.
    TI2CResult SetFan(int32_t device, uint8_t speed);
    TI2CResult SetMux(int32_t device, uint8_t ondrixMux, uint8_t channelMux, uint8_t pathMux);
    TI2CResult WriteI2C(int32_t device, uint8_t addr, std::string_view hexText);
    TI2CResult WriteI2CBlock(int32_t device, uint8_t addr, std::span<const uint8_t> data);
    TI2CResult ReadI2C(int32_t device, uint8_t addr, uint16_t len, std::span<uint8_t> buf);
    TI2CResult WriteReadI2C(int32_t device, uint8_t addr, std::string_view hexText, uint16_t len,
                            std::span<uint8_t> buf);
    TI2CResult WriteChannel(int32_t device, uint8_t channel, uint8_t adc8LowVal, const TRegisterImage& image,
                            TI2CBuffer& answer);
    TI2CResult SaveAllConfig(int32_t device, uint8_t channel);
    TI2CResult GetDeviceInfo(int32_t device, TDeviceInfo& info);
    TI2CResult GetChannelInfo(int32_t device, TChannelInfoBlock& block);
    TI2CResult SetChannelInfo(int32_t device, int32_t channel, const TChannelInfo& info);
    TI2CResult GetDCDCInfo(int32_t device, TDCDCInfo& info);
    TI2CResult GetChannelCalibTable(int32_t device, uint8_t channel, TChannelCalibTable& table);
    TI2CResult GetMasterflash(int32_t device, TMasterFlash& flash);
    TI2CResult SetMasterflash(int32_t device, const TMasterFlash& flash);
    TI2CResult GetDeviceADC8(int32_t device, TDeviceADC8& status, bool& changed);
    // Text "FW: <invalid>" and version untouched when it cannot route.
    void GetFWVersion(int32_t device, TFWVersion& version, std::string& text);
    // 100 (not 10) outside the list.
    TI2CResult SetDeviceLockState(int32_t device, bool locked);

    // The program ends: from now on every operation that writes to a device returns 1
    // (transfer failed) without reaching it, and logs one line, except inside a TWriteAllowance.
    // Reads and the keep-alive pass; WriteReadI2C writes its register pointer on the wire first
    // and counts as a write.
    void RefuseWrites() { writesRefused_ = true; }
    bool WritesRefused() const { return writesRefused_; }

    // The writes the end still makes (the stop lock, an aborted adjustment's defaults) pass
    // while one lives.
    class TWriteAllowance {
    public:
        explicit TWriteAllowance(TI2CHAL& hal) : hal_(hal) { ++hal_.writeAllowances_; }
        ~TWriteAllowance() { --hal_.writeAllowances_; }
        TWriteAllowance(const TWriteAllowance&) = delete;
        TWriteAllowance& operator=(const TWriteAllowance&) = delete;

    private:
        TI2CHAL& hal_;
    };

private:
    struct TTransport {
        TI2CControl* Control;
        TInterfaceKind Kind;
        uint16_t MaskBit;
        const char* MissingText;
    };
    std::vector<TTransport> Transports() const; // LAN, USB, simulated
    TI2CControl* ControlFor(TInterfaceKind kind) const;
    template <class F> TI2CResult Route(int32_t device, F&& call);
    // Route for an operation that writes to the device (named in the log when refused).
    template <class F> TI2CResult RouteWrite(const char* operation, int32_t device, F&& call);
    void Hook(TI2CControl& control);
    void ControlIRQ(const void* sender, int32_t index, const TIRQMessage* data);
    void AddDevice(std::unique_ptr<TI2CDevice> device);

    TInterfaceMask interfaces_;
    std::vector<std::unique_ptr<TI2CDevice>> devices_;
    std::unique_ptr<TI2CControl> lan_;
    std::unique_ptr<TI2CControl> usb_;
    std::unique_ptr<TI2CControl> virtual_;
    bool writesRefused_ = false;
    int writeAllowances_ = 0;
};

} // namespace qrb::device
