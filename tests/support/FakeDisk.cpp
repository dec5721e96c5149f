#include "tests/support/FakeDisk.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <md5.h>

namespace qrb::test {

namespace {

// The disk's own view of the wire, written apart from the transport's codec.
constexpr uint64_t kSector = 256000;
constexpr size_t kFrame = 2048;
constexpr size_t kHead = 28;
constexpr size_t kBlock = 1432;
constexpr uint32_t kCommandType = 15000;
constexpr uint32_t kInfoType = 15001;
constexpr uint8_t kInfoRequestBytes[8] = {0xFE, 0xCA, 0xCE, 0xFA, 0x40, 0x30, 0x20, 0x10};
constexpr char kIdentity[] = "QRB     QRB-730         0313";

uint32_t Le32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}
void SetLe32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

std::array<uint8_t, 16> Md5(std::span<const uint8_t> data) {
    std::array<uint8_t, 16> d{};
    MD5_CTX ctx;
    MD5Init(&ctx);
    MD5Update(&ctx, data.data(), data.size());
    MD5Final(d.data(), &ctx);
    return d;
}

TDiskTransfer Fail(int err) {
    TDiskTransfer t;
    t.ErrorText = std::strerror(err);
    return t;
}

// Status 0, no data: what a device says to a command it carried out.
std::vector<uint8_t> PlainAnswer(std::span<const uint8_t> request) {
    std::vector<uint8_t> a(kBlock, 0);
    std::copy_n(request.begin(), 28, a.begin());
    SetLe32(a.data() + 16, 0x02020402);
    SetLe32(a.data() + 28, 4);
    return a;
}

class TFakeDiskHandle : public IRawDisk {
public:
    TFakeDiskHandle(std::shared_ptr<TFakeDisk> disk, std::string name)
        : disk_(std::move(disk)), name_(std::move(name)) {
        ++disk_->OpenHandles;
    }
    ~TFakeDiskHandle() override { --disk_->OpenHandles; }

    const std::string& Name() const override { return name_; }
    bool Inquiry(std::vector<uint8_t>& data, std::string& errorText) override {
        ++disk_->InquiryCalls;
        if (disk_->InquiryFails || disk_->Vanished) {
            errorText = std::strerror(EIO);
            return false;
        }
        data = disk_->Inquiry;
        return true;
    }
    uint32_t LogicalBlockSize() override { return disk_->BlockSize; }
    bool Seek(uint64_t, std::string& errorText) override {
        ++disk_->SeekCalls;
        if (disk_->FailSeek || disk_->Vanished) {
            errorText = std::strerror(disk_->Vanished ? ENODEV : EINVAL);
            return false;
        }
        return true;
    }
    TDiskTransfer WriteAt(uint64_t offset, std::span<const uint8_t> data) override {
        return disk_->Write(offset, data);
    }
    TDiskTransfer ReadAt(uint64_t offset, std::span<uint8_t> data) override {
        return disk_->Read(offset, data);
    }

private:
    std::shared_ptr<TFakeDisk> disk_;
    std::string name_;
};

} // namespace

std::vector<uint8_t> FakeInquiry(const std::string& vendorProductRevision) {
    std::vector<uint8_t> data(96, 0);
    data[2] = 0x06; // SPC-4
    data[4] = 91;   // additional length
    for (size_t i = 0; i < vendorProductRevision.size() && 8 + i < data.size(); ++i)
        data[8 + i] = static_cast<uint8_t>(vendorProductRevision[i]);
    return data;
}

TFakeDisk::TFakeDisk() : Inquiry(FakeInquiry(kIdentity)) {}

bool TFakeDisk::IsAmplifier() const {
    if (Inquiry.size() < 36) return false;
    return std::memcmp(Inquiry.data() + 8, kIdentity, 28) == 0;
}

std::vector<std::vector<uint8_t>> TFakeDisk::CommandRequests() const {
    std::vector<std::vector<uint8_t>> out;
    for (const auto& f : Frames)
        if (Le32(f.data()) == kCommandType) out.emplace_back(f.begin() + kHead, f.begin() + kHead + kBlock);
    return out;
}

TDiskTransfer TFakeDisk::Write(uint64_t offset, std::span<const uint8_t> data) {
    ++WriteCalls;
    if (!IsAmplifier()) Violations.push_back("write to a disk that is no amplifier");
    if (Vanished) return Fail(ENODEV);
    if (FailWrites > 0) {
        --FailWrites;
        return Fail(EIO);
    }
    if (offset != kSector || data.size() != kFrame) {
        Violations.push_back("write of " + std::to_string(data.size()) + " bytes at " +
                             std::to_string(offset));
        return Fail(EINVAL);
    }
    if (ShortWrites > 0) {
        --ShortWrites;
        TDiskTransfer t;
        t.Ok = true;
        t.Count = kFrame / 2;
        return t;
    }
    std::array<uint8_t, kFrame> frame;
    std::copy(data.begin(), data.end(), frame.begin());
    Frames.push_back(frame);
    Sector = frame;
    Accept(frame);
    TDiskTransfer t;
    t.Ok = true;
    t.Count = kFrame;
    return t;
}

TDiskTransfer TFakeDisk::Read(uint64_t offset, std::span<uint8_t> data) {
    ++ReadCalls;
    if (Vanished) return Fail(ENODEV);
    if (FailReads) return Fail(EIO);
    if (offset != kSector || data.size() != kFrame) {
        Violations.push_back("read of " + std::to_string(data.size()) + " bytes at " +
                             std::to_string(offset));
        return Fail(EINVAL);
    }
    const size_t count = std::min(ReadCount.value_or(kFrame), kFrame);
    std::copy_n(Sector.begin(), count, data.begin());
    TDiskTransfer t;
    t.Ok = true;
    t.Count = count;
    return t;
}

void TFakeDisk::Accept(const std::array<uint8_t, 2048>& frame) {
    const uint32_t type = Le32(frame.data());
    const uint32_t length = Le32(frame.data() + 4);
    const uint32_t timeout = Le32(frame.data() + 8);
    uint32_t wantLength = 0, wantTimeout = 0;
    if (type == kCommandType) {
        wantLength = kBlock;
        wantTimeout = 1000000;
    } else if (type == kInfoType) {
        wantLength = 8;
        wantTimeout = 2000000;
    } else {
        Violations.push_back("frame type " + std::to_string(type));
        return;
    }
    if (length != wantLength) {
        Violations.push_back("payload length " + std::to_string(length));
        return;
    }
    if (timeout != wantTimeout) Violations.push_back("time-out word " + std::to_string(timeout));
    const std::span<const uint8_t> payload(frame.data() + kHead, length);
    const auto digest = Md5(payload);
    if (!std::equal(digest.begin(), digest.end(), frame.begin() + 12)) Violations.push_back("digest");
    if (std::any_of(frame.begin() + kHead + length, frame.end(), [](uint8_t b) { return b != 0; }))
        Violations.push_back("bytes after the payload");

    if (type == kInfoType) {
        ++InfoRequests;
        if (!std::equal(payload.begin(), payload.end(), kInfoRequestBytes))
            Violations.push_back("info request");
        if (Echo || SilentInfo) return;
        std::array<uint8_t, 76> answer{};
        std::copy(Holder.begin(), Holder.end(), answer.begin() + 4);
        SetLe32(answer.data() + 26, static_cast<uint32_t>(Series));
        SetLe32(answer.data() + 30, static_cast<uint32_t>(Serial));
        PutReply(type, timeout, answer);
        return;
    }
    ++Commands;
    if (Le32(payload.data()) != 0x87690500 || Le32(payload.data() + 12) != kBlock ||
        Le32(payload.data() + 16) != 0x02020401)
        Violations.push_back("command block head");
    if (Le32(payload.data() + 28) > 1400) Violations.push_back("command payload length");
    if (Echo) return;
    const std::vector<uint8_t> answer = Responder ? Responder(payload) : PlainAnswer(payload);
    PutReply(type, timeout, answer);
}

void TFakeDisk::PutReply(uint32_t type, uint32_t timeout, std::span<const uint8_t> payload) {
    const size_t used = std::min(payload.size(), kFrame - kHead);
    std::array<uint8_t, kFrame> reply{};
    SetLe32(reply.data(), type);
    SetLe32(reply.data() + 4, ReplyPayloadLength.value_or(static_cast<uint32_t>(used)));
    SetLe32(reply.data() + 8, timeout);
    const auto digest = Md5(payload.first(used));
    std::copy(digest.begin(), digest.end(), reply.begin() + 12);
    std::copy_n(payload.begin(), used, reply.begin() + kHead);
    Sector = reply;
}

std::shared_ptr<TFakeDisk> TFakeDiskEnumerator::Add(const std::string& name) {
    auto disk = std::make_shared<TFakeDisk>();
    Slots.push_back(TSlot{name, disk, disk->Inquiry, TDiskOpenError::None});
    return disk;
}

std::shared_ptr<TFakeDisk> TFakeDiskEnumerator::Add(const std::string& name, std::vector<uint8_t> inquiry) {
    auto disk = std::make_shared<TFakeDisk>();
    disk->Inquiry = inquiry;
    Slots.push_back(TSlot{name, disk, std::move(inquiry), TDiskOpenError::None});
    return disk;
}

TFakeDiskEnumerator::TSlot& TFakeDiskEnumerator::Slot(const std::string& name) {
    for (TSlot& s : Slots)
        if (s.Name == name) return s;
    Slots.push_back(TSlot{name, nullptr, {}, TDiskOpenError::NotFound});
    return Slots.back();
}

std::vector<TDiskEntry> TFakeDiskEnumerator::ListDisks() {
    ++ListCalls;
    std::vector<TDiskEntry> out;
    for (const TSlot& s : Slots)
        out.push_back(TDiskEntry{s.Name, s.CachedInquiry});
    return out;
}

TDiskOpenResult TFakeDiskEnumerator::Open(const TDiskEntry& entry) {
    Opened.push_back(entry.Name);
    TDiskOpenResult r;
    for (const TSlot& s : Slots) {
        if (s.Name != entry.Name) continue;
        if (s.OpenError != TDiskOpenError::None || !s.Disk) {
            r.Error = s.OpenError == TDiskOpenError::None ? TDiskOpenError::NotFound : s.OpenError;
            r.ErrorText = std::strerror(r.Error == TDiskOpenError::Permission ? EACCES : ENOENT);
            return r;
        }
        r.Disk = std::make_unique<TFakeDiskHandle>(s.Disk, s.Name);
        return r;
    }
    r.Error = TDiskOpenError::NotFound;
    r.ErrorText = std::strerror(ENOENT);
    return r;
}

} // namespace qrb::test
