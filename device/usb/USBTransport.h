#pragma once
// The USB transport: amplifiers that present themselves as SCSI disks, reached by writing a
// 2048-byte frame to their communication sector and reading the frame they put there in reply.

#include "device/I2CControl.h"
#include "device/usb/DiskLayer.h"
#include "device/usb/SectorFrame.h"
#include "device/wire/CommandBlock.h"
#include "device/wire/CommandSet.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qrb::device {

// One open amplifier disk; the request counter lives in the wire entry (Sequence).
class TQRB730USBDevice : public TWireDevice {
public:
    TQRB730USBDevice(std::unique_ptr<IRawDisk> handle, std::string name)
        : Handle(std::move(handle)), Name(std::move(name)) {}

    void IncrementSequence() { Sequence.Advance(); }
    uint32_t SeqLow() const { return Sequence.SeqLow; }
    uint32_t SeqHigh() const { return Sequence.SeqHigh; }

    std::unique_ptr<IRawDisk> Handle; // owned: closed with the device
    std::string Name;                 // "USB Device %d"
};

class TI2CUSBControl : public TI2CControl {
public:
    // The transport's kind byte.
    static constexpr TInterfaceKind Kind = TInterfaceKind::ikUSB;

    // disks: the machine's disks (MakeSystemDiskEnumerator) or a stand-in.
    explicit TI2CUSBControl(std::unique_ptr<IDiskEnumerator> disks);
    ~TI2CUSBControl() override;

    bool Scan() override;
    bool CloseAll() override;
    TI2CResult GetSCL(int32_t index, int32_t& hz) override;
    TI2CResult SetSCL(int32_t index, int32_t hz) override;
    TI2CResult ScanI2C(int32_t index, std::string& list) override;
    TI2CResult WriteI2C(int32_t index, uint8_t addr, std::string_view hexText) override;
    TI2CResult WriteI2CBlock(int32_t index, uint8_t addr, std::span<const uint8_t> data) override;
    TI2CResult ReadI2C(int32_t index, uint8_t addr, uint16_t len, std::span<uint8_t> buf) override;
    TI2CResult WriteReadI2C(int32_t index, uint8_t addr, std::string_view hexText, uint16_t len,
                            std::span<uint8_t> buf) override;
    TI2CResult ScanI2CMux(int32_t index, std::vector<std::string>& list) override;
    TI2CResult WriteSeq(int32_t index, uint8_t seqId, const TI2CBuffer& data, uint8_t len,
                        TI2CBuffer& answer) override;
    TI2CResult WriteChannel(int32_t index, uint8_t channel, uint8_t adc8LowVal, const TRegisterImage& image,
                            TI2CBuffer& answer) override;
    TI2CResult SaveAllConfig(int32_t index, uint8_t channel) override;
    TI2CResult GetDeviceInfo(int32_t index, TDeviceInfo& info) override;
    TI2CResult GetChannelInfo(int32_t index, TChannelInfoBlock& block) override;
    TI2CResult SetChannelInfo(int32_t index, int32_t channel, const TChannelInfo& info) override;
    TI2CResult GetDCDCInfo(int32_t index, TDCDCInfo& info) override;
    TI2CResult SetDCDCInfo(int32_t index, const TDCDCInfo& info) override;
    TI2CResult SetDCDCClock(int32_t index, uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3,
                            uint8_t b4) override;
    TI2CResult GetChannelCalibTable(int32_t index, uint8_t channel, TChannelCalibTable& table) override;
    TI2CResult GetMasterflash(int32_t index, TMasterFlash& flash) override;
    TI2CResult SetMasterflash(int32_t index, const TMasterFlash& flash) override;
    TI2CResult GetDeviceADC8(int32_t index, TDeviceADC8& status, bool& changed) override;
    TI2CResult SetMux(int32_t index, uint8_t ondrixMux, uint8_t channelMux, uint8_t pathMux) override;
    TI2CResult SetFan(int32_t index, uint8_t speed) override;
    TI2CResult SetIRQ(int32_t index, uint8_t mode) override;
    void GetDeviceName(int32_t index, std::string& text) override;
    void GetVendor(int32_t index, std::string& text) override;
    void GetModel(int32_t index, std::string& text) override;
    void GetVersion(int32_t index, std::string& text) override;
    uint16_t IsDeviceValid(int32_t index) override;
    bool GetDeviceLockState(int32_t index) override;
    TI2CResult SetDeviceLockState(int32_t index, bool locked) override;
    void GetFWVersion(int32_t index, TFWVersion& version, std::string& text) override;
    void KeepAliveTimer(const void* sender) override;

    // Own operations.
    void CloseDevices();
    bool FindUSBDevices();
    bool RequestInfo(IRawDisk* disk, TInfoAnswer& answer);
    bool WriteRequest(IRawDisk* disk, const TCommandBlock& request, uint32_t timeout);
    bool ReadResponse(IRawDisk* disk, TCommandBlock& answer);

    // The open devices, in the order found (parallel to Masters).
    const std::vector<std::unique_ptr<TQRB730USBDevice>>& Devices() const { return devices_; }
    const TWireCommandSet& Commands() const { return commands_; }
    int32_t Status() const { return commands_.LastStatus(); }

private:
    class TExchange : public TWireExchange {
    public:
        explicit TExchange(TI2CUSBControl& owner) : owner_(owner) {}
        int MasterCount() const override { return owner_.MasterCount(); }
        void I2CLog(int level, const std::string& text) override { owner_.I2CLog(level, text); }
        void Error(const std::string& text) override { owner_.Error(text); }
        TWireDevice* FindEntry(int index) override;
        bool Exchange(TWireDevice& device, const TCommandBlock& request, TCommandBlock& answer) override;

    private:
        TI2CUSBControl& owner_;
    };

    // True when the frame fits the disk's block grid at the communication sector.
    static bool FrameFitsBlockSize(uint32_t blockSize);

    std::unique_ptr<IDiskEnumerator> disks_;
    std::vector<std::unique_ptr<TQRB730USBDevice>> devices_;
    TQRB730USBDevice* current_ = nullptr; // the device of the command under way
    TExchange exchange_{*this};
    TWireCommandSet commands_{exchange_, kUSBWireTraits};
};

// The transport over the machine's own disks (for the hardware abstraction's factory).
std::unique_ptr<TI2CControl> CreateUSBControl();

} // namespace qrb::device
