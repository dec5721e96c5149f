#pragma once
// The USB transport: amplifiers that present themselves as SCSI disks, reached by writing a
// 2048-byte frame to their communication sector and reading the frame they put there in reply.

#include "device/usb/DiskLayer.h"
#include "device/usb/SectorFrame.h"
#include "device/wire/CommandBlock.h"
#include "device/wire/CommandSet.h"
#include "device/wire/WireControl.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qrb::device {

// What a read of the communication sector brought back.
enum class TSectorReply {
    Ok,
    ShortTransfer, // fewer bytes than a whole frame
    WrongLength,   // the frame's payload length is not the answer's
};

// The info answer in a reply of which count bytes were read; answer is untouched unless Ok.
TSectorReply DecodeInfoReply(const TSectorBytes& reply, size_t count, TInfoAnswer& answer);
// The answer block in a reply of which count bytes were read; length receives the frame's
// payload length (0 after a short transfer); answer is untouched unless Ok.
TSectorReply DecodeCommandReply(const TSectorBytes& reply, size_t count, TCommandBlock& answer,
                                uint32_t& length);

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

class TI2CUSBControl : public TWireControl {
public:
    // The transport's kind byte.
    static constexpr TInterfaceKind Kind = TInterfaceKind::ikUSB;

    // disks: the machine's disks (MakeSystemDiskEnumerator) or a stand-in.
    explicit TI2CUSBControl(std::unique_ptr<IDiskEnumerator> disks);
    ~TI2CUSBControl() override;

    bool Scan() override;
    bool CloseAll() override;
    void GetDeviceName(int32_t index, std::string& text) override;
    void KeepAliveTimer(const void* sender) override;

    // Own operations.
    void CloseDevices();
    bool FindUSBDevices();
    bool RequestInfo(IRawDisk* disk, TInfoAnswer& answer);
    bool WriteRequest(IRawDisk* disk, const TCommandBlock& request, uint32_t timeout);
    bool ReadResponse(IRawDisk* disk, TCommandBlock& answer);

    // The open devices, in the order found (parallel to Masters).
    const std::vector<std::unique_ptr<TQRB730USBDevice>>& Devices() const { return devices_; }
    int32_t Status() const { return Commands().LastStatus(); }

protected:
    TWireDevice* FindEntry(int index) override;
    bool Exchange(TWireDevice& device, const TCommandBlock& request, TCommandBlock& answer) override;

private:
    // True when the frame fits the disk's block grid at the communication sector.
    static bool FrameFitsBlockSize(uint32_t blockSize);

    std::unique_ptr<IDiskEnumerator> disks_;
    std::vector<std::unique_ptr<TQRB730USBDevice>> devices_;
    TQRB730USBDevice* current_ = nullptr; // the device of the command under way
};

// The transport over the machine's own disks (for the hardware abstraction's factory).
std::unique_ptr<TI2CControl> CreateUSBControl();

} // namespace qrb::device
