#pragma once
// A disk that plays a QRB-730 amplifier on USB, in memory. It checks every frame written to
// it (place, size, type, length, time-out word, digest, zero tail, and that the disk is an
// amplifier at all) and puts the reply frame into the communication sector, as the device does.
// Commands are answered by a responder (a scripted one, or a fake amplifier core); faults are
// switched on by the test.

#include "device/usb/DiskLayer.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qrb::test {

using device::IDiskEnumerator;
using device::IRawDisk;
using device::TDiskEntry;
using device::TDiskOpenError;
using device::TDiskOpenResult;
using device::TDiskTransfer;

class TFakeDisk {
public:
    // Gets the 1432-byte request block, returns the answer block (normally 1432 bytes; its length
    // becomes the reply frame's PayloadLength).
    using TResponder = std::function<std::vector<uint8_t>(std::span<const uint8_t> request)>;

    TFakeDisk();

    // Identity and geometry.
    std::vector<uint8_t> Inquiry; // what SG_IO answers; the QRB-730 identity by default
    bool InquiryFails = false;
    uint32_t BlockSize = 512;

    // What the info request answers.
    std::array<uint8_t, 4> Holder{127, 0, 1, 1};
    int32_t Series = 730;
    int32_t Serial = 4711;

    // Command answers; without one every command gets status 0 and PayloadLength 4.
    TResponder Responder;

    // Faults. Counters count down per affected call.
    int FailWrites = 0;                         // the write call fails
    int ShortWrites = 0;                        // the write moves 1024 bytes only, nothing lands
    bool FailReads = false;                     // the read call fails
    std::optional<size_t> ReadCount;            // the read moves this many bytes
    std::optional<uint32_t> ReplyPayloadLength; // the reply frame claims this length
    bool Echo = false;                          // no reply: the sector keeps the written frame
    bool SilentInfo = false;                    // info requests get no reply (echo)
    bool Vanished = false;                      // every transfer fails as on an unplugged disk
    bool FailSeek = false;                      // the sector cannot be addressed

    // Observations.
    std::vector<std::array<uint8_t, 2048>> Frames; // every frame that landed, in order
    std::vector<std::string> Violations;           // protocol faults of the writer
    int WriteCalls = 0;
    int ReadCalls = 0;
    int InfoRequests = 0;
    int Commands = 0;
    int OpenHandles = 0;
    int InquiryCalls = 0;
    int SeekCalls = 0;

    std::vector<std::vector<uint8_t>> CommandRequests() const; // the request blocks, in order
    std::array<uint8_t, 2048> Sector{};                        // the communication sector now

    // Used by the handle.
    TDiskTransfer Write(uint64_t offset, std::span<const uint8_t> data);
    TDiskTransfer Read(uint64_t offset, std::span<uint8_t> data);

private:
    void Accept(const std::array<uint8_t, 2048>& frame);
    void PutReply(uint32_t type, uint32_t timeout, std::span<const uint8_t> payload);
    bool IsAmplifier() const;
};

// The identity bytes of an amplifier's INQUIRY answer, or of any other text.
std::vector<uint8_t> FakeInquiry(const std::string& vendorProductRevision);

// Lists fake disks in the order given and opens them as handles on the shared TFakeDisk.
class TFakeDiskEnumerator : public IDiskEnumerator {
public:
    struct TSlot {
        std::string Name;
        std::shared_ptr<TFakeDisk> Disk; // nullptr: listed, but the node is gone
        std::vector<uint8_t> CachedInquiry;
        TDiskOpenError OpenError = TDiskOpenError::None;
    };

    // A disk whose cached inquiry mirrors what it answers.
    std::shared_ptr<TFakeDisk> Add(const std::string& name);
    std::shared_ptr<TFakeDisk> Add(const std::string& name, std::vector<uint8_t> inquiry);
    // The named slot; a new one, listed but without a node, when there is none.
    TSlot& Slot(const std::string& name);

    std::vector<TDiskEntry> ListDisks() override;
    TDiskOpenResult Open(const TDiskEntry& entry) override;

    std::vector<TSlot> Slots;
    std::vector<std::string> Opened; // names of every successful or failed open, in order
    int ListCalls = 0;
};

} // namespace qrb::test
