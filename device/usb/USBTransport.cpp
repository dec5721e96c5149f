#include "device/usb/USBTransport.h"

#include "device/Format.h"

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace qrb::device {

namespace {

// No scan looks at more disks than this.
constexpr size_t kMaxDisks = 255;
constexpr int kWriteAttempts = 3;
constexpr int32_t kInvalidHandle = -1;

uint32_t FramePayloadLength(const TSectorBytes& frame) {
    return TSectorFrame::Decode(frame).PayloadLength;
}

} // namespace

TSectorReply DecodeInfoReply(const TSectorBytes& reply, size_t count, TInfoAnswer& answer) {
    if (count != kSectorFrameSize) return TSectorReply::ShortTransfer;
    if (FramePayloadLength(reply) != TInfoAnswer::Size) return TSectorReply::WrongLength;
    return TInfoAnswer::Decode(reply.data() + kFramePayloadOffset, TInfoAnswer::Size, answer)
               ? TSectorReply::Ok
               : TSectorReply::WrongLength;
}

TSectorReply DecodeCommandReply(const TSectorBytes& reply, size_t count, TCommandBlock& answer,
                                uint32_t& length) {
    length = 0;
    if (count != kSectorFrameSize) return TSectorReply::ShortTransfer;
    length = FramePayloadLength(reply);
    if (length != TCommandBlock::Size) return TSectorReply::WrongLength;
    std::copy_n(reply.begin() + kFramePayloadOffset, TCommandBlock::Size, answer.Bytes.begin());
    return TSectorReply::Ok;
}

TI2CUSBControl::TI2CUSBControl(std::unique_ptr<IDiskEnumerator> disks)
    : TWireControl(kUSBWireTraits), disks_(std::move(disks)) {
    if (!disks_) throw std::runtime_error("Error on creating USB control: no disk access");
    LogLevel = 0;
    I2CLogLevel = 0;
    SetKeepAlive(false);
}

TI2CUSBControl::~TI2CUSBControl() {
    SetKeepAlive(false);
    CloseDevices();
}

// --- scan and device list --------------------------------------------------------------------

bool TI2CUSBControl::Scan() {
    try {
        SetKeepAlive(false);
        CloseAll();
        FindUSBDevices();
        Log(0, Format("[USB] device status: %d device(s) found", static_cast<int32_t>(devices_.size())));
        if (!devices_.empty()) SetKeepAlive(true);
        return true;
    } catch (const std::exception& e) {
        throw std::runtime_error(std::string("Fehler beim Scannen von USB/Error on scanning of USB:\r\n") +
                                 e.what());
    }
}

bool TI2CUSBControl::CloseAll() {
    SetKeepAlive(false);
    CloseDevices();
    ClearMasters();
    AdvanceGeneration();
    return true;
}

void TI2CUSBControl::CloseDevices() {
    current_ = nullptr;
    devices_.clear(); // each device closes its disk
}

bool TI2CUSBControl::FrameFitsBlockSize(uint32_t blockSize) {
    return blockSize != 0 && kCommunicationSectorOffset % blockSize == 0 && kSectorFrameSize % blockSize == 0;
}

bool TI2CUSBControl::FindUSBDevices() {
    bool adminReported = false;
    std::vector<TDiskEntry> disks = disks_->ListDisks();
    if (disks.size() > kMaxDisks) disks.resize(kMaxDisks);

    for (const TDiskEntry& entry : disks) {
        // Only a disk the kernel already knows as an amplifier is opened at all.
        if (!IsQRB730Identity(entry.CachedInquiry)) continue;

        TDiskOpenResult opened = disks_->Open(entry);
        if (opened.Error == TDiskOpenError::Permission) {
            if (!adminReported) Log(0, "[USB] You need administrator privileges to control QRB-730 devices!");
            adminReported = true;
            continue;
        }
        if (opened.Error != TDiskOpenError::None || !opened.Disk) {
            Log(0, Format("[USB] device \"%s\" could not be opened: %s", entry.Name, opened.ErrorText));
            continue;
        }
        std::unique_ptr<IRawDisk> disk = std::move(opened.Disk);

        // The device's own answer decides; the kernel's copy only spares opening other disks.
        std::vector<uint8_t> inquiry;
        std::string inquiryError;
        if (!disk->Inquiry(inquiry, inquiryError)) continue;
        const std::string identity = InquiryIdentityText(inquiry);
        if (identity != kQRB730Identity) continue;

        if (!FrameFitsBlockSize(disk->LogicalBlockSize())) {
            Log(0,
                Format("[USB] device \"%s\" skipped: logical block size %d does not allow the communication "
                       "sector!",
                       entry.Name, static_cast<int64_t>(disk->LogicalBlockSize())));
            continue;
        }

        TInfoAnswer info;
        if (!RequestInfo(disk.get(), info)) {
            Log(0, Format("[USB] no answer to info request at \"%s\".", identity));
            continue;
        }
        if (!info.HolderIs(127, 0, 1, 1)) {
            Log(0, Format("[USB] device \"%s\" found. Device is already connected to %s", entry.Name,
                          info.HolderText()));
            continue;
        }
        const int32_t index = static_cast<int32_t>(devices_.size());
        const std::string name = Format("USB Device %d", index + 1);
        devices_.push_back(std::make_unique<TQRB730USBDevice>(std::move(disk), name));
        AddMaster(std::make_unique<TI2CMaster>(name, index));
        Log(0, Format("[USB] device \"%s\" (%s) found. QRB730 device (series %d), serial is %5.5d", name,
                      identity, info.Series, info.Serial));
    }
    return true;
}

// --- frames ----------------------------------------------------------------------------------

bool TI2CUSBControl::RequestInfo(IRawDisk* disk, TInfoAnswer& answer) {
    if (disk == nullptr) return false;
    TSectorBytes frame{};
    const auto request = TInfoRequest::Encode();
    if (!BuildSectorFrame(kFrameTypeInfo, kInfoFrameTimeout, request, frame)) {
        Log(0, "[USB] error while calculating MD5 checksum!");
        return false;
    }
    std::string error;
    if (!disk->Seek(kCommunicationSectorOffset, error)) {
        Log(0, "[USB] error while addressing info sector!");
        return false;
    }
    const TDiskTransfer w = disk->WriteAt(kCommunicationSectorOffset, frame);
    if (!w.Ok) {
        Log(0, "[USB] error while writing to info sector: " + w.ErrorText);
        return false;
    }
    if (w.Count != kSectorFrameSize) {
        Log(0, "[USB] error while writing to info sector: no all bytes of info request were written!");
        return false;
    }

    TSectorBytes reply{};
    const TDiskTransfer r = disk->ReadAt(kCommunicationSectorOffset, reply);
    if (!r.Ok) {
        Log(0, "[USB] error while reading from info sector: " + r.ErrorText);
        return false;
    }
    if (DecodeInfoReply(reply, r.Count, answer) != TSectorReply::Ok) {
        Log(0, "[USB] error while reading from info sector: invalid length of info request answer!");
        return false;
    }
    return true;
}

bool TI2CUSBControl::WriteRequest(IRawDisk* disk, const TCommandBlock& request, uint32_t timeout) {
    if (disk == nullptr) {
        Log(1, Format("[USB] write error: invalid device handle %d", kInvalidHandle));
        return false;
    }
    TSectorBytes frame{};
    TSectorFrame f;
    f.FrameType = kFrameTypeCommand;
    f.PayloadLength = static_cast<uint32_t>(TCommandBlock::Size);
    f.Timeout = timeout;
    std::copy(request.Bytes.begin(), request.Bytes.end(), f.Payload.begin());
    if (!ComputeFrameDigest(request.Bytes, f.Digest)) {
        Log(1, "[USB] write error while calculating MD5 checksum!");
        return false;
    }
    f.Encode(frame);
    std::string error;
    if (!disk->Seek(kCommunicationSectorOffset, error)) {
        Log(1, "[USB] write error while addressing communication sector!");
        return false;
    }
    std::string lastError;
    for (int attempt = 1; attempt <= kWriteAttempts; ++attempt) {
        const TDiskTransfer w = disk->WriteAt(kCommunicationSectorOffset, frame);
        if (w.Ok && w.Count == kSectorFrameSize) return true;
        if (w.Ok) {
            Log(1,
                Format("[USB] write error (%d): not all bytes of command structure were written!", attempt));
            // A short transfer sets no error of its own.
            lastError = SystemErrorText(EIO);
        } else {
            Log(1, Format("[USB] write error (%d)!", attempt));
            lastError = w.ErrorText;
        }
    }
    Log(1, "[USB] write error while writing to communication sector: " + lastError);
    return false;
}

bool TI2CUSBControl::ReadResponse(IRawDisk* disk, TCommandBlock& answer) {
    if (disk == nullptr) {
        Log(0, Format("[USB] read error: invalid device handle %d", kInvalidHandle));
        return false;
    }
    TSectorBytes reply{};
    const TDiskTransfer r = disk->ReadAt(kCommunicationSectorOffset, reply);
    if (!r.Ok) {
        Log(0, "[USB] error while reading from communication sector: " + r.ErrorText);
        return false;
    }
    uint32_t length = 0;
    switch (DecodeCommandReply(reply, r.Count, answer, length)) {
    case TSectorReply::Ok:
        return true;
    case TSectorReply::ShortTransfer:
        Log(0, Format("[USB] read error: invalid length of transfer block (is %d, should be %d)!",
                      static_cast<int64_t>(r.Count), static_cast<int32_t>(kSectorFrameSize)));
        return false;
    case TSectorReply::WrongLength:
        break;
    }
    Log(0, Format("[USB] read error: invalid length of command packet (is %d, should be %d)!",
                  static_cast<int32_t>(length), static_cast<int32_t>(TCommandBlock::Size)));
    return false;
}

TWireDevice* TI2CUSBControl::FindEntry(int index) {
    if (index < 0 || static_cast<size_t>(index) >= devices_.size()) return nullptr;
    return devices_[static_cast<size_t>(index)].get();
}

bool TI2CUSBControl::Exchange(TWireDevice& device, const TCommandBlock& request, TCommandBlock& answer) {
    auto& usb = static_cast<TQRB730USBDevice&>(device);
    current_ = &usb;
    const bool ok = WriteRequest(usb.Handle.get(), request, kCommandFrameTimeout) &&
                    ReadResponse(usb.Handle.get(), answer);
    current_ = nullptr;
    return ok;
}

// --- keep-alive ------------------------------------------------------------------------------

void TI2CUSBControl::KeepAliveTimer(const void*) {
    for (const auto& device : devices_) {
        TInfoAnswer info;
        if (RequestInfo(device->Handle.get(), info) && info.HolderIs(127, 0, 1, 1)) continue;
        SetKeepAlive(false);
        const std::string name = device->Name;
        Log(0, Format("[USB] %s is lost.", name));
        // The handler may rescan or close everything: nothing of the list is used after it.
        DeviceLost(name);
        return;
    }
}

// --- device name ----------------------------------------------------------------------------

void TI2CUSBControl::GetDeviceName(int32_t index, std::string& text) {
    if (!CheckIndex(index, text)) return;
    const auto i = static_cast<size_t>(index);
    const std::string& name = i < devices_.size() ? devices_[i]->Name : Masters[i].Name;
    text = Format("%s (%d)", name, index);
}

std::unique_ptr<TI2CControl> CreateUSBControl() {
    return std::make_unique<TI2CUSBControl>(MakeSystemDiskEnumerator());
}

} // namespace qrb::device
