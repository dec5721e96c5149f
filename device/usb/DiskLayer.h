#pragma once
// Raw disk access for the USB transport: which SCSI disks exist, and positioned I/O of whole
// frames on one of them. The transport sees only the two interfaces, so tests run against
// fakes and regular files.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace qrb::device {

// Outcome of one positioned transfer.
struct TDiskTransfer {
    bool Ok = false;       // the call itself succeeded (Count may still be short)
    size_t Count = 0;      // bytes moved
    std::string ErrorText; // the system's text when !Ok
};

// One open raw disk; closed when destroyed.
class IRawDisk {
public:
    virtual ~IRawDisk() = default;

    // Kernel name of the disk ("sdb") or the path it was opened by.
    virtual const std::string& Name() const = 0;
    // Standard INQUIRY data as the device itself answers it (up to 192 bytes).
    virtual bool Inquiry(std::vector<uint8_t>& data, std::string& errorText) = 0;
    // Logical block size in bytes; 0 when unknown.
    virtual uint32_t LogicalBlockSize() = 0;
    // Moves the file position to offset; false when the disk cannot be addressed there (beyond
    // its end, or off its block grid).
    virtual bool Seek(uint64_t offset, std::string& errorText) = 0;
    virtual TDiskTransfer WriteAt(uint64_t offset, std::span<const uint8_t> data) = 0;
    virtual TDiskTransfer ReadAt(uint64_t offset, std::span<uint8_t> data) = 0;
};

enum class TDiskOpenError {
    None,
    Permission, // access refused
    NotFound,   // the disk vanished or has no medium
    Other,
};

struct TDiskOpenResult {
    std::unique_ptr<IRawDisk> Disk; // set exactly when Error is None
    TDiskOpenError Error = TDiskOpenError::None;
    std::string ErrorText;
};

// One SCSI disk the system lists, with the INQUIRY bytes the kernel keeps for it.
struct TDiskEntry {
    std::string Name;                   // kernel name, "sda"
    std::vector<uint8_t> CachedInquiry; // raw bytes; empty when the kernel offers none
};

class IDiskEnumerator {
public:
    virtual ~IDiskEnumerator() = default;

    // Every SCSI disk, in kernel name order.
    virtual std::vector<TDiskEntry> ListDisks() = 0;
    // Opens a listed disk for unbuffered reading and writing.
    virtual TDiskOpenResult Open(const TDiskEntry& entry) = 0;
};

// Linux: disks from <sysfsRoot>/block/sd*, opened as <devRoot>/<name> with O_DIRECT, INQUIRY by
// SG_IO. Both roots are parameters so that tests point them at a tree of their own.
class TLinuxDiskEnumerator : public IDiskEnumerator {
public:
    TLinuxDiskEnumerator(std::string sysfsRoot, std::string devRoot);

    std::vector<TDiskEntry> ListDisks() override;
    TDiskOpenResult Open(const TDiskEntry& entry) override;

    const std::string& SysfsRoot() const { return sysfsRoot_; }
    const std::string& DevRoot() const { return devRoot_; }

private:
    std::string sysfsRoot_;
    std::string devRoot_;
};

// The enumerator of the machine's own disks (/sys, /dev). Under the test runner (the build sets
// QRB_TEST_BINARY_DIR for every test) it lists nothing, so no test reaches a real disk.
std::unique_ptr<IDiskEnumerator> MakeSystemDiskEnumerator();

// Opens path for raw frame I/O (read/write, O_DIRECT). The block size comes from the device
// when path is a block device, else fallbackBlockSize is reported.
TDiskOpenResult OpenLinuxRawDisk(const std::string& path, const std::string& name,
                                 uint32_t fallbackBlockSize);

// "sd" followed by one or more lower-case letters.
bool IsScsiDiskName(const std::string& name);
// Kernel order: shorter names first, then alphabetical (sdz before sdaa).
bool KernelDiskNameLess(const std::string& a, const std::string& b);
TDiskOpenError ClassifyOpenErrno(int err);
std::string SystemErrorText(int err);

} // namespace qrb::device
