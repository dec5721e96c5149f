#pragma once
// Test seam for the simulated transport: scripted chips behind chosen I2C addresses (and,
// optionally, only for one device, group or slot), and a record of every write the transport
// applies.

#include "device/sim/I2CVirtualControl.h"
#include "device/sim/SimChip.h"

#include <cstdint>
#include <deque>
#include <span>
#include <vector>

namespace qrb::test {

// A chip that answers reads from a script and keeps every write.
class TScriptedChip : public device::TSimChip {
public:
    // Queues the answer of one read; a read takes the first queued answer, cut to its length.
    // With nothing queued a read delivers nothing (the transport's zeros remain).
    void QueueRead(std::vector<uint8_t> bytes) { reads_.push_back(std::move(bytes)); }
    size_t PendingReads() const { return reads_.size(); }
    const std::vector<std::vector<uint8_t>>& Writes() const { return writes_; }
    size_t ReadCount() const { return readCount_; }

    void Write(std::span<const uint8_t> data) override;
    size_t Read(std::span<uint8_t> out) override;

private:
    std::deque<std::vector<uint8_t>> reads_;
    std::vector<std::vector<uint8_t>> writes_;
    size_t readCount_ = 0;
};

class TScriptedI2CPeer : public device::TSimPeer {
public:
    static constexpr int32_t kAny = -1;

    struct TWrite {
        device::TSimAccess Access;
        std::vector<uint8_t> Bytes;
    };

    // Installs itself into control for its own lifetime.
    explicit TScriptedI2CPeer(device::TI2CVirtualControl& control);
    ~TScriptedI2CPeer() override;
    TScriptedI2CPeer(const TScriptedI2CPeer&) = delete;
    TScriptedI2CPeer& operator=(const TScriptedI2CPeer&) = delete;

    // Channel-level accesses to address while the selected channel is on the device, group and
    // slot given (kAny for every one) reach chip (not owned). The first matching attachment wins.
    void Attach(uint8_t address, device::TSimChip& chip, int32_t device = kAny, int32_t group = kAny,
                int32_t slot = kAny);

    const std::vector<TWrite>& Writes() const { return writes_; }
    // The writes to one address, in order.
    std::vector<std::vector<uint8_t>> WritesTo(uint8_t address) const;
    void ClearWrites() { writes_.clear(); }

    device::TSimChip* Route(const device::TSimAccess& access) override;
    void Written(const device::TSimAccess& access, std::span<const uint8_t> bytes) override;

private:
    struct TAttachment {
        uint8_t Address;
        int32_t Device;
        int32_t Group;
        int32_t Slot;
        device::TSimChip* Chip;
    };

    device::TI2CVirtualControl& control_;
    std::vector<TAttachment> attachments_;
    std::vector<TWrite> writes_;
};

} // namespace qrb::test
