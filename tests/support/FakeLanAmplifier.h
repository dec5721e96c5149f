#pragma once
// A fake LAN amplifier on loopback: it listens on a data port and on the info port (data port
// + 1), speaks the command-block protocol with a codec of its own, answers from the simulated
// chips, stores the image of every WriteChannel per slot and reports it through
// GetChannelInfo. Faults are scripted per command; every request and chip write is logged.
// The server runs on a thread of its own; every public member is safe to call from any thread.

#include "device/Records.h"
#include "device/sim/SimChip.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace qrb::test {

// The fake's own little-endian wire codec.
namespace fakewire {
inline constexpr size_t kBlockSize = 1432;
inline constexpr uint32_t kMagic = 0x87690500;
inline constexpr uint32_t kRequest = 0x02020401;
inline constexpr uint32_t kAnswer = 0x02020402;
inline constexpr uint32_t kIRQMagic = 0xFACEFACE;
inline constexpr uint32_t kInfoWord0 = 0xFACECAFE;
inline constexpr uint32_t kInfoWord1 = 0x10203040;
inline constexpr size_t kInfoAnswerSize = 76;

uint32_t Get32(const uint8_t* p);
void Put32(uint8_t* p, uint32_t v);

// A decoded request block.
struct TRequest {
    uint32_t Magic = 0, Group = 0, Command = 0, Size = 0, Direction = 0, SeqHigh = 0, SeqLow = 0;
    uint32_t PayloadLength = 0;
    std::vector<uint8_t> Payload; // PayloadLength bytes (at most 1400)

    static TRequest Decode(const uint8_t* block);
};

// An answer block: the header fields of the request it answers, status and data.
struct TAnswer {
    uint32_t Group = 0, Command = 0, Direction = kAnswer, SeqHigh = 0, SeqLow = 0;
    std::vector<uint8_t> Payload;          // from offset 32: status and data
    std::optional<uint32_t> PayloadLength; // as sent; defaults to Payload.size()

    std::array<uint8_t, kBlockSize> Encode() const;
};

// The 76-byte info answer.
std::array<uint8_t, kInfoAnswerSize> EncodeInfoAnswer(std::array<uint8_t, 4> holder, int32_t series,
                                                      int32_t serial);
} // namespace fakewire

// A scripted change to the answers of matching requests.
struct TFakeFault {
    uint32_t Code = 0; // command code it applies to; 0 matches every command
    int Times = 1;     // number of matching requests it applies to; < 0 for ever

    std::optional<int32_t> Status;         // replaces the status word
    std::vector<uint16_t> VerifyWords;     // WriteChannel: the verify data words
    std::optional<uint32_t> PayloadLength; // the length field as sent (the data stay)
    std::optional<uint32_t> Direction;
    int64_t SequenceOffset = 0; // added to the answer's sequence number
    uint32_t DelayMs = 0;       // the answer leaves this much later
    bool Drop = false;          // no answer at all
    std::vector<size_t> Split;  // the answer leaves in pieces of these sizes (the rest last)
    uint32_t SplitGapMs = 20;   // pause between the pieces
    std::optional<device::TIRQMessage> NotifyBefore; // a notification just before the answer
    std::optional<device::TIRQMessage> NotifyAfter;  // one right behind it, in the same write
    bool Reset = false;                              // reset the connection instead of answering
    bool Close = false; // close the connection (end of stream) instead of answering
};

struct TFakeAmpConfig {
    std::string Address = "127.0.0.1";
    uint16_t DataPort = 0; // 0: a free pair of ports is chosen
    int32_t Channels = 8;  // 1..8
    int32_t Version = 1;   // hardware version 1..3
    int32_t Series = 3;
    int32_t Serial = 4711;
    std::array<uint8_t, 4> Holder{}; // 0.0.0.0: free
};

struct TFakeChipWrite {
    int32_t Slot; // -1 for a device-level chip
    uint8_t Address;
    std::vector<uint8_t> Bytes;
};

class TFakeLanAmplifier {
public:
    // Binds both ports and starts serving. Raises std::runtime_error when a port is taken.
    explicit TFakeLanAmplifier(const TFakeAmpConfig& config = {});
    ~TFakeLanAmplifier();
    TFakeLanAmplifier(const TFakeLanAmplifier&) = delete;
    TFakeLanAmplifier& operator=(const TFakeLanAmplifier&) = delete;

    const std::string& Address() const { return config_.Address; }
    uint16_t DataPort() const { return dataPort_; }
    uint16_t InfoPort() const { return static_cast<uint16_t>(dataPort_ + 1); }
    // "address:port" as a scan target.
    std::string Target() const;

    // Faults of the data connection, applied in the order added.
    void AddFault(const TFakeFault& fault);
    void ClearFaults();
    // Info port: answer this many bytes (76 is whole), or stay silent; holder of the answer.
    void SetInfoAnswerBytes(size_t bytes);
    void SetInfoSilent(bool silent);
    void SetHolder(std::array<uint8_t, 4> holder);

    // Data connection, now: a notification whole, in pieces, or two in one write; raw bytes;
    // a reset or an orderly close of every data connection.
    void SendNotification(const device::TIRQMessage& message, std::vector<size_t> split = {},
                          uint32_t gapMs = 20);
    void SendTwoNotifications(const device::TIRQMessage& first, const device::TIRQMessage& second);
    void SendRaw(std::vector<uint8_t> bytes);
    void ResetConnections();
    void CloseConnections();
    // Stops accepting on the info port (knocks fail from then on) or starts again.
    void SetInfoListening(bool listening);
    // Stops accepting data connections (connects are refused) or starts again.
    void SetDataListening(bool listening);

    // Logs.
    std::vector<fakewire::TRequest> Requests() const;
    size_t RequestCount() const;
    std::vector<TFakeChipWrite> ChipWrites() const;
    size_t InfoRequestCount() const;
    size_t InfoConnectionCount() const; // knocks and info requests
    size_t DataConnectionCount() const;
    size_t OpenDataConnections() const;
    // Waits (up to timeoutMs) until the count of requests reaches n.
    bool WaitForRequests(size_t n, uint32_t timeoutMs) const;
    bool WaitForDataConnections(size_t open, uint32_t timeoutMs) const;

    // Device state.
    device::TRegisterImage StoredImage(int32_t slot) const;
    uint8_t StoredADC8LowVal(int32_t slot) const;
    bool Locked() const;
    int32_t FanSpeed() const;
    int32_t IRQMode() const;
    void SetCalibTable(int32_t slot, const device::TChannelCalibTable& table);
    // The calibration EEPROM of a slot: the table it holds and the writes that reached it.
    device::TChannelCalibTable CalibTable(int32_t slot) const;
    size_t CalibWrites(int32_t slot) const;
    // The channel information a slot reports (what WriteChannelInfo stored).
    device::TChannelInfo StoredInfo(int32_t slot) const;
    void SetDeviceADC8(int32_t changedStatus, const device::TDeviceADC8& status);
    void SetFWVersion(std::array<int32_t, 4> components);
    // Puts a chip of the test's behind an address of one slot (-1: device level); not owned.
    // A slot's chip that follows the channel image (TChannelImageSink) gets every image a
    // WriteChannel stores for that slot, under the fake's lock.
    void SetChip(int32_t slot, uint8_t address, device::TSimChip* chip);

    // One line about what is served (for the standalone program).
    std::string Describe() const;

private:
    struct TImpl;
    std::unique_ptr<TImpl> impl_;
    TFakeAmpConfig config_;
    uint16_t dataPort_ = 0;
};

} // namespace qrb::test
