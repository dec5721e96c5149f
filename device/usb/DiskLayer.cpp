#include "device/usb/DiskLayer.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <linux/fs.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qrb::device {

namespace {

constexpr size_t kInquiryLength = 192;
constexpr size_t kSenseLength = 24;
constexpr unsigned kInquiryTimeoutMs = 500 * 1000;
constexpr size_t kBufferAlignment = 4096;
// A cached inquiry attribute larger than this is not an INQUIRY answer.
constexpr size_t kMaxCachedInquiry = 4096;

struct AlignedBuffer {
    explicit AlignedBuffer(size_t size) : size_(size) {
        const size_t rounded = (size + kBufferAlignment - 1) / kBufferAlignment * kBufferAlignment;
        data_ = static_cast<uint8_t*>(
            std::aligned_alloc(kBufferAlignment, rounded == 0 ? kBufferAlignment : rounded));
    }
    ~AlignedBuffer() { std::free(data_); }
    AlignedBuffer(const AlignedBuffer&) = delete;
    AlignedBuffer& operator=(const AlignedBuffer&) = delete;

    uint8_t* data() { return data_; }
    size_t size() const { return size_; }
    explicit operator bool() const { return data_ != nullptr; }

private:
    uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

TDiskTransfer Failure(int err) {
    TDiskTransfer t;
    t.Ok = false;
    t.ErrorText = SystemErrorText(err);
    return t;
}

class TLinuxRawDisk : public IRawDisk {
public:
    TLinuxRawDisk(int fd, std::string name, uint32_t blockSize)
        : fd_(fd), name_(std::move(name)), blockSize_(blockSize) {}
    ~TLinuxRawDisk() override { ::close(fd_); }

    const std::string& Name() const override { return name_; }

    bool Inquiry(std::vector<uint8_t>& data, std::string& errorText) override {
        uint8_t cdb[6] = {0x12, 0, 0, 0, static_cast<uint8_t>(kInquiryLength), 0};
        uint8_t sense[kSenseLength] = {};
        std::vector<uint8_t> buffer(kInquiryLength, 0);
        sg_io_hdr_t io;
        std::memset(&io, 0, sizeof io);
        io.interface_id = 'S';
        io.dxfer_direction = SG_DXFER_FROM_DEV;
        io.cmd_len = sizeof cdb;
        io.cmdp = cdb;
        io.mx_sb_len = sizeof sense;
        io.sbp = sense;
        io.dxfer_len = static_cast<unsigned>(buffer.size());
        io.dxferp = buffer.data();
        io.timeout = kInquiryTimeoutMs;
        if (::ioctl(fd_, SG_IO, &io) != 0) {
            errorText = SystemErrorText(errno);
            return false;
        }
        if ((io.info & SG_INFO_OK_MASK) != SG_INFO_OK || io.status != 0 || io.host_status != 0 ||
            io.driver_status != 0) {
            errorText = "INQUIRY not completed";
            return false;
        }
        const size_t resid =
            io.resid > 0 ? std::min<size_t>(static_cast<size_t>(io.resid), buffer.size()) : 0;
        buffer.resize(buffer.size() - resid);
        data = std::move(buffer);
        return true;
    }

    uint32_t LogicalBlockSize() override { return blockSize_; }

    bool Seek(uint64_t offset, std::string& errorText) override {
        if (!Aligned(offset, 0)) {
            errorText = SystemErrorText(EINVAL);
            return false;
        }
        if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) {
            errorText = SystemErrorText(errno);
            return false;
        }
        return true;
    }

    TDiskTransfer WriteAt(uint64_t offset, std::span<const uint8_t> data) override {
        if (!Aligned(offset, data.size())) return Failure(EINVAL);
        AlignedBuffer buffer(data.size());
        if (!buffer) return Failure(ENOMEM);
        std::memcpy(buffer.data(), data.data(), data.size());
        const ssize_t n = ::pwrite(fd_, buffer.data(), data.size(), static_cast<off_t>(offset));
        if (n < 0) return Failure(errno);
        TDiskTransfer t;
        t.Ok = true;
        t.Count = static_cast<size_t>(n);
        return t;
    }

    TDiskTransfer ReadAt(uint64_t offset, std::span<uint8_t> data) override {
        if (!Aligned(offset, data.size())) return Failure(EINVAL);
        AlignedBuffer buffer(data.size());
        if (!buffer) return Failure(ENOMEM);
        const ssize_t n = ::pread(fd_, buffer.data(), data.size(), static_cast<off_t>(offset));
        if (n < 0) return Failure(errno);
        const size_t count = std::min(static_cast<size_t>(n), data.size());
        std::memcpy(data.data(), buffer.data(), count);
        TDiskTransfer t;
        t.Ok = true;
        t.Count = count;
        return t;
    }

private:
    // O_DIRECT moves whole logical blocks only.
    bool Aligned(uint64_t offset, size_t size) const {
        return blockSize_ != 0 && offset % blockSize_ == 0 && size % blockSize_ == 0;
    }

    int fd_;
    std::string name_;
    uint32_t blockSize_;
};

bool ReadSmallFile(const std::string& path, std::vector<uint8_t>& bytes, size_t limit) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.clear();
    char c;
    while (bytes.size() <= limit && in.get(c))
        bytes.push_back(static_cast<uint8_t>(c));
    return !in.bad() && bytes.size() <= limit;
}

uint32_t ReadBlockSizeAttribute(const std::string& path) {
    std::vector<uint8_t> bytes;
    if (!ReadSmallFile(path, bytes, 32)) return 0;
    uint64_t value = 0;
    bool any = false;
    for (uint8_t b : bytes) {
        if (b >= '0' && b <= '9') {
            value = value * 10 + (b - '0');
            any = true;
            if (value > 0x10000000) return 0;
        } else if (b == '\n' || b == ' ') {
            break;
        } else {
            return 0;
        }
    }
    return any ? static_cast<uint32_t>(value) : 0;
}

class TEmptyDiskEnumerator : public IDiskEnumerator {
public:
    std::vector<TDiskEntry> ListDisks() override { return {}; }
    TDiskOpenResult Open(const TDiskEntry&) override {
        TDiskOpenResult r;
        r.Error = TDiskOpenError::NotFound;
        r.ErrorText = SystemErrorText(ENODEV);
        return r;
    }
};

} // namespace

bool IsScsiDiskName(const std::string& name) {
    if (name.size() < 3 || name.compare(0, 2, "sd") != 0) return false;
    return std::all_of(name.begin() + 2, name.end(), [](char c) { return c >= 'a' && c <= 'z'; });
}

bool KernelDiskNameLess(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
}

TDiskOpenError ClassifyOpenErrno(int err) {
    switch (err) {
    case EACCES:
    case EPERM:
        return TDiskOpenError::Permission;
    case ENOENT:
    case ENXIO:
    case ENODEV:
    case ENOMEDIUM:
        return TDiskOpenError::NotFound;
    default:
        return TDiskOpenError::Other;
    }
}

std::string SystemErrorText(int err) {
    char buffer[256];
    // GNU strerror_r returns the text, which need not be in buffer.
    const char* text = ::strerror_r(err, buffer, sizeof buffer);
    return text ? std::string(text) : std::string("error ") + std::to_string(err);
}

TDiskOpenResult OpenLinuxRawDisk(const std::string& path, const std::string& name,
                                 uint32_t fallbackBlockSize) {
    TDiskOpenResult r;
    const int fd = ::open(path.c_str(), O_RDWR | O_DIRECT | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        const int err = errno;
        r.Error = ClassifyOpenErrno(err);
        r.ErrorText = SystemErrorText(err);
        return r;
    }
    uint32_t blockSize = fallbackBlockSize;
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISBLK(st.st_mode)) {
        int sectorSize = 0;
        if (::ioctl(fd, BLKSSZGET, &sectorSize) == 0 && sectorSize > 0)
            blockSize = static_cast<uint32_t>(sectorSize);
    }
    r.Disk = std::make_unique<TLinuxRawDisk>(fd, name, blockSize);
    return r;
}

TLinuxDiskEnumerator::TLinuxDiskEnumerator(std::string sysfsRoot, std::string devRoot)
    : sysfsRoot_(std::move(sysfsRoot)), devRoot_(std::move(devRoot)) {}

std::vector<TDiskEntry> TLinuxDiskEnumerator::ListDisks() {
    std::vector<TDiskEntry> disks;
    const std::string blockDir = sysfsRoot_ + "/block";
    DIR* dir = ::opendir(blockDir.c_str());
    if (!dir) return disks;
    while (const dirent* e = ::readdir(dir)) {
        std::string name = e->d_name;
        if (IsScsiDiskName(name)) disks.push_back(TDiskEntry{std::move(name), {}});
    }
    ::closedir(dir);
    std::sort(disks.begin(), disks.end(),
              [](const TDiskEntry& a, const TDiskEntry& b) { return KernelDiskNameLess(a.Name, b.Name); });
    for (TDiskEntry& d : disks) {
        if (!ReadSmallFile(blockDir + "/" + d.Name + "/device/inquiry", d.CachedInquiry, kMaxCachedInquiry))
            d.CachedInquiry.clear();
    }
    return disks;
}

TDiskOpenResult TLinuxDiskEnumerator::Open(const TDiskEntry& entry) {
    TDiskOpenResult r;
    if (!IsScsiDiskName(entry.Name)) {
        r.Error = TDiskOpenError::NotFound;
        r.ErrorText = SystemErrorText(ENODEV);
        return r;
    }
    const uint32_t sysfsBlockSize =
        ReadBlockSizeAttribute(sysfsRoot_ + "/block/" + entry.Name + "/queue/logical_block_size");
    return OpenLinuxRawDisk(devRoot_ + "/" + entry.Name, entry.Name, sysfsBlockSize);
}

std::unique_ptr<IDiskEnumerator> MakeSystemDiskEnumerator() {
    if (std::getenv("QRB_TEST_BINARY_DIR") != nullptr) return std::make_unique<TEmptyDiskEnumerator>();
    return std::make_unique<TLinuxDiskEnumerator>("/sys", "/dev");
}

} // namespace qrb::device
