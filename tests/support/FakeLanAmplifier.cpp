#include "tests/support/FakeLanAmplifier.h"

#include "device/HWVocabulary.h"
#include "device/sim/SimChips.h"
#include "tests/support/ChipEmulations.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <random>
#include <stdexcept>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace qrb::test {

using namespace qrb::device;
using Clock = std::chrono::steady_clock;

// ---- the fake's own codec ------------------------------------------------------------------------

namespace fakewire {

uint32_t Get32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

TRequest TRequest::Decode(const uint8_t* block) {
    TRequest r;
    r.Magic = Get32(block + 0);
    r.Group = Get32(block + 4);
    r.Command = Get32(block + 8);
    r.Size = Get32(block + 12);
    r.Direction = Get32(block + 16);
    r.SeqHigh = Get32(block + 20);
    r.SeqLow = Get32(block + 24);
    r.PayloadLength = Get32(block + 28);
    size_t n = std::min<size_t>(r.PayloadLength, 1400);
    r.Payload.assign(block + 32, block + 32 + n);
    return r;
}

std::array<uint8_t, kBlockSize> TAnswer::Encode() const {
    std::array<uint8_t, kBlockSize> b{};
    Put32(&b[0], kMagic);
    Put32(&b[4], Group);
    Put32(&b[8], Command);
    Put32(&b[12], kBlockSize);
    Put32(&b[16], Direction);
    Put32(&b[20], SeqHigh);
    Put32(&b[24], SeqLow);
    size_t n = std::min<size_t>(Payload.size(), 1400);
    Put32(&b[28], PayloadLength ? *PayloadLength : uint32_t(n));
    std::copy(Payload.begin(), Payload.begin() + static_cast<std::ptrdiff_t>(n), b.begin() + 32);
    return b;
}

std::array<uint8_t, kInfoAnswerSize> EncodeInfoAnswer(std::array<uint8_t, 4> holder, int32_t series,
                                                      int32_t serial) {
    std::array<uint8_t, kInfoAnswerSize> a{};
    std::copy(holder.begin(), holder.end(), a.begin() + 4);
    Put32(&a[26], uint32_t(series));
    Put32(&a[30], uint32_t(serial));
    return a;
}

} // namespace fakewire

// ---- implementation -------------------------------------------------------------------------------

namespace {

constexpr uint32_t kWriteSeqCode = 0x20002;

std::vector<uint8_t> Bytes32(uint32_t v) {
    std::vector<uint8_t> b(4);
    fakewire::Put32(b.data(), v);
    return b;
}

int ListenOn(const std::string& address, uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &addr.sin_addr) != 1 ||
        ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 16) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

uint16_t LocalPort(int fd) {
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    return ntohs(addr.sin_port);
}

} // namespace

struct TFakeLanAmplifier::TImpl {
    enum class TAction { None, Reset, Close };
    struct TOut {
        Clock::time_point Due;
        std::vector<uint8_t> Bytes;
        TAction Then = TAction::None;
    };
    struct TClient {
        int Fd = -1;
        bool Info = false;
        bool Closed = false;
        std::vector<uint8_t> In;
        std::deque<TOut> Out;
        size_t OutSent = 0; // bytes of Out.front() already sent
    };

    explicit TImpl(const TFakeAmpConfig& c)
        : config(c), master("FAKE", c.Channels, c.Version, 0), group("FAKE_channelgroup_00", 0, 0) {
        for (int32_t s = 0; s < c.Channels; ++s) {
            channels.push_back(
                std::make_unique<TI2CVirtualChannel>("FAKE_channel_" + std::to_string(s), 0, s));
        }
        const size_t row = c.Version < 2 ? 0 : 1;
        for (int32_t s = 0; s < 8; ++s) {
            TChannelInfoSlot& slot = slots[size_t(s)];
            if (s >= c.Channels) continue;
            slot.Present = 1;
            slot.Fitted = 1;
            slot.ADC8LowVal = 124;
            slot.HasADC18 = 1;
            slot.HasCalibTable = 1;
            ApplyDefaultChannelInfo(slot.Info, row);
            slot.Current = slot.Info.Defaults;
            slot.Info.Stored = slot.Info.Defaults;
            slot.Info.Version = uint8_t(c.Version);
            slot.Info.Reserved1 = {0, 1, 184, 0, 0, 0, 0}; // as the simulated channels report
            slot.Info.Serial = uint16_t(0xFF00 + s);
            slot.Info.Features = 5;
            slot.Info.FilterType = 2;
        }
        holder = c.Holder;
    }

    // ---- configuration, guarded by mutex
    TFakeAmpConfig config;
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::deque<TFakeFault> faults;
    size_t infoAnswerBytes = fakewire::kInfoAnswerSize;
    bool infoSilent = false;
    std::array<uint8_t, 4> holder{};
    std::vector<std::function<void(std::vector<TClient>&)>> actions; // run on the server thread
    uint64_t actionsPosted = 0;
    uint64_t actionsDone = 0;

    // ---- logs, guarded by mutex
    std::vector<fakewire::TRequest> requests;
    std::vector<TFakeChipWrite> chipWrites;
    size_t infoRequests = 0;
    size_t infoConnections = 0;
    size_t dataConnections = 0;
    size_t openData = 0;

    // ---- device model, guarded by mutex
    TI2CVirtualMaster master;
    TI2CVirtualChannelGroup group;
    std::vector<std::unique_ptr<TI2CVirtualChannel>> channels;
    std::array<TChannelInfoSlot, 8> slots{};
    std::array<TChannelCalibTable, 8> calib{};
    std::array<size_t, 8> calibWrites{};
    int32_t groupSel = 0, slotSel = 0, pathSel = 0;
    bool locked = false;
    int32_t irqMode = 0;
    int32_t adc8Status = 0;
    TDeviceADC8 adc8{};
    std::array<int32_t, 4> fw{2, 6, 9, 666};
    std::map<std::pair<int32_t, uint8_t>, TSimChip*> extraChips;

    // ---- server
    int dataListen = -1;
    int infoListen = -1;
    bool infoListening = true;
    bool dataListening = true;

    void SetListening(int& fd, bool& flag, bool listening, const std::string& address, uint16_t port) {
        if (listening == flag) return;
        if (!listening) {
            ::close(fd);
            fd = -1;
        } else {
            fd = ListenOn(address, port);
        }
        flag = listening;
    }
    int wake = -1;
    std::atomic<bool> stop{false};
    std::thread thread;

    void Wake() {
        uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(wake, &one, sizeof one);
    }

    void Post(std::function<void(std::vector<TClient>&)> fn) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            actions.push_back(std::move(fn));
            ++actionsPosted;
        }
        Wake();
    }

    void PostAndWait(std::function<void(std::vector<TClient>&)> fn) {
        uint64_t target;
        {
            std::lock_guard<std::mutex> lock(mutex);
            actions.push_back(std::move(fn));
            target = ++actionsPosted;
        }
        Wake();
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait_for(lock, std::chrono::seconds(5), [&] { return actionsDone >= target; });
    }

    // ---- chips

    TI2CVirtualChannel* CurrentChannel() {
        if (groupSel != 0 || slotSel < 0 || slotSel >= int32_t(channels.size())) return nullptr;
        return channels[size_t(slotSel)].get();
    }

    // The chip at the address, null when none answers there; false when the address needs a
    // selected channel and none is selected.
    bool FindChip(uint8_t address, TSimChip*& chip, int32_t& slot) {
        chip = nullptr;
        slot = -1;
        if (auto it = extraChips.find({-1, address}); it != extraChips.end()) {
            chip = it->second;
            return true;
        }
        if (address == TI2CVirtualMaster::kMasterFlashAddress) {
            chip = &master.MasterFlash();
            return true;
        }
        TI2CVirtualChannel* channel = CurrentChannel();
        if (channel == nullptr) return false;
        slot = slotSel;
        if (auto it = extraChips.find({slot, address}); it != extraChips.end()) {
            chip = it->second;
            return true;
        }
        chip = channel->Chip(address);
        if (chip == nullptr) chip = group.Chip(address);
        return true;
    }

    // The calibration table lies at 0x1000 of the channel flash's lower half; a write there
    // changes the table the device reports.
    static constexpr uint32_t kCalibEepromBase = 0x1000;

    void WriteCalibEeprom(int32_t slot, const std::vector<uint8_t>& data) {
        if (slot < 0 || slot >= 8 || data.size() < 2) return;
        const uint32_t address = (uint32_t(data[0]) << 8) | data[1];
        std::array<uint8_t, TChannelCalibTable::Size> bytes = ToBytes(calib[size_t(slot)]);
        bool inside = false;
        for (size_t i = 2; i < data.size(); ++i) {
            const uint32_t at = address + uint32_t(i - 2);
            if (at < kCalibEepromBase || at >= kCalibEepromBase + bytes.size()) continue;
            bytes[at - kCalibEepromBase] = data[i];
            inside = true;
        }
        if (!inside) return;
        TChannelCalibTable::Decode(bytes.data(), bytes.size(), calib[size_t(slot)]);
        ++calibWrites[size_t(slot)];
    }

    bool IsMux(uint8_t address) { return address >= 0x70 && address <= 0x72; }

    void WriteMux(uint8_t address, uint8_t value) {
        if (address == 0x72) {
            groupSel = -1; // a bit mask: the lowest set bit names the group
            for (int g = 0; g < 8; ++g)
                if (value & (1u << g)) {
                    groupSel = g;
                    break;
                }
        } else if (address == 0x71) {
            slotSel = int32_t(value) - 8;
        } else {
            pathSel = int32_t(value) - 4;
        }
    }

    uint8_t ReadMux(uint8_t address) {
        if (address == 0x72) return groupSel < 0 ? 0 : uint8_t(1u << groupSel);
        if (address == 0x71) return uint8_t(slotSel + 8);
        return uint8_t(pathSel + 4);
    }

    // ---- commands: the answer payload (status first)

    std::vector<uint8_t> Handle(const fakewire::TRequest& r) {
        const std::vector<uint8_t>& p = r.Payload;
        auto at = [&](size_t i) -> uint8_t { return i < p.size() ? p[i] : 0; };
        auto status = [](int32_t s) { return Bytes32(uint32_t(s)); };
        auto withData = [](int32_t s, const uint8_t* data, size_t n) {
            std::vector<uint8_t> out = Bytes32(uint32_t(s));
            out.insert(out.end(), data, data + n);
            return out;
        };
        switch (r.Command) {
        case 0x10000: { // firmware version
            std::vector<uint8_t> out = status(0);
            for (int32_t c : fw) {
                auto b = Bytes32(uint32_t(c));
                out.insert(out.end(), b.begin(), b.end());
            }
            return out;
        }
        case 0x10002: { // bus scan
            std::vector<uint8_t> addresses;
            std::string list = master.AddressList();
            size_t pos = 0;
            while (pos < list.size()) {
                size_t comma = list.find(',', pos);
                if (comma == std::string::npos) comma = list.size();
                addresses.push_back(uint8_t(std::stoi(list.substr(pos, comma - pos))));
                pos = comma + 1;
            }
            return withData(int32_t(addresses.size()), addresses.data(), addresses.size());
        }
        case 0x10003: { // I2C write
            uint8_t address = at(0);
            size_t n = at(1);
            std::vector<uint8_t> data(p.begin() + std::min<size_t>(2, p.size()),
                                      p.begin() + std::min<size_t>(2 + n, p.size()));
            if (IsMux(address)) {
                chipWrites.push_back({-1, address, data});
                WriteMux(address, data.empty() ? 0 : data[0]);
                return status(int32_t(n));
            }
            TSimChip* chip;
            int32_t slot;
            if (!FindChip(address, chip, slot)) return status(-1);
            chipWrites.push_back({slot, address, data});
            if (chip) chip->Write(data);
            if (address == TI2CVirtualChannel::kFlashLowAddress) WriteCalibEeprom(slot, data);
            return status(int32_t(n));
        }
        case 0x10004: { // I2C read
            uint8_t address = at(0);
            size_t n = std::min<size_t>(size_t(at(1)) | (size_t(at(2)) << 8), 1024);
            std::vector<uint8_t> data(n, 0);
            if (IsMux(address)) {
                if (n > 0) data[0] = ReadMux(address);
                return withData(int32_t(n), data.data(), n);
            }
            TSimChip* chip;
            int32_t slot;
            if (!FindChip(address, chip, slot)) return status(-1);
            if (chip) chip->Read(data);
            return withData(int32_t(n), data.data(), n);
        }
        case 0x10008: { // set bus clock
            int32_t hz = int32_t(fakewire::Get32(p.size() >= 4 ? p.data() : Bytes32(0).data()));
            if (hz < 1000 || hz > 400000) return status(-2);
            master.SCL = hz;
            return status(hz);
        }
        case 0x10009:
            return status(master.SCL);
        case 0x20001: { // multiplexers: group and slot as numbers, the path as value - 4
            int32_t g = at(0), s = at(1);
            int32_t bits = 0;
            if (g > 7) bits |= 0x040;
            if (s > 7) bits |= 0x080;
            if (bits != 0) return status(bits);
            groupSel = g;
            slotSel = s;
            pathSel = int32_t(at(2)) - 4;
            return status(0);
        }
        case kWriteSeqCode: {
            TI2CVirtualChannel* channel = CurrentChannel();
            std::vector<uint8_t> out(1 + kSimSequenceSize, 0);
            if (channel == nullptr) {
                out.resize(2);
                out[0] = 1;
                return out;
            }
            std::array<uint8_t, kSimSequenceSize> data{};
            for (size_t i = 1; i < p.size() && i - 1 < data.size(); ++i)
                data[i - 1] = p[i];
            std::array<uint8_t, kSimSequenceSize> answer{};
            channel->RunSequence(at(0), data, answer, [](int) {});
            std::copy(answer.begin(), answer.end(), out.begin() + 1);
            return out;
        }
        case 0x20003: // interrupt mode
            if (at(0) > 2) return status(0);
            irqMode = at(0);
            return status(1);
        case 0x20005: { // multiplexer scan: one byte per channel, group and slot as hex digits
            std::vector<uint8_t> lines;
            for (int32_t c = 0; c < int32_t(channels.size()); ++c)
                lines.push_back(uint8_t((c / 8) * 16 + c % 8));
            return withData(int32_t(lines.size()), lines.data(), lines.size());
        }
        case 0x20006: // fan
            if (at(0) > 4) return status(0);
            master.FanSpeed = at(0);
            return status(1);
        case 0x20008: // DC/DC clock
            return status(0);
        case 0x30001: { // device info
            TDeviceInfo info{};
            info.Parts = 127;
            info.AvailableChannels = uint8_t(channels.size());
            info.ActiveChannels = uint8_t(channels.size());
            info.State = 2;
            auto b = ToBytes(info);
            return withData(0, b.data(), b.size());
        }
        case 0x30002:
            return withData(0, master.Image.data(), master.Image.size());
        case 0x30003:
            if (p.size() >= master.Image.size())
                std::copy_n(p.begin(), master.Image.size(), master.Image.begin());
            return status(0);
        case 0x30006:
            return status(0);
        case 0x30007: {
            TChannelInfoBlock block{};
            block.Slots = slots;
            auto b = ToBytes(block);
            return withData(0, b.data(), b.size());
        }
        case 0x30008: { // write channel info
            size_t s = at(0);
            if (s < channels.size() && p.size() >= 1 + TChannelInfo::Size)
                TChannelInfo::Decode(p.data() + 1, p.size() - 1, slots[s].Info);
            return status(0);
        }
        case 0x30009: {
            TDCDCInfo dcdc{};
            for (size_t s = 0; s < 8; ++s) {
                dcdc.Entries[s].Present = 1;
                dcdc.Entries[s].Series = 3;
                dcdc.Entries[s].Serial = uint16_t(0xFF00 + s);
            }
            auto b = ToBytes(dcdc);
            return withData(0, b.data(), b.size());
        }
        case 0x30010:
            return status(0);
        case 0x30011: { // write channel
            size_t s = at(0);
            std::array<uint8_t, 16> verify{};
            if (s >= channels.size() || p.size() < 2 + TRegisterImage::Size)
                return withData(-1, verify.data(), verify.size());
            TRegisterImage::Decode(p.data() + 2, p.size() - 2, slots[s].Current);
            slots[s].ADC8LowVal = at(1);
            // The slot's own chips see what the channel now runs.
            for (const auto& [key, chip] : extraChips)
                if (key.first == int32_t(s)) NotifyImageStored(chip, slots[s].Current);
            return withData(0, verify.data(), verify.size());
        }
        case 0x30015: {
            size_t s = at(0);
            TChannelCalibTable table = s < 8 ? calib[s] : TChannelCalibTable{};
            auto b = ToBytes(table);
            return withData(0, b.data(), b.size());
        }
        case 0x30017: {
            auto b = ToBytes(adc8);
            return withData(adc8Status, b.data(), b.size());
        }
        case 0x30019: {
            auto v = Bytes32(locked ? 1 : 0);
            return withData(0, v.data(), v.size());
        }
        case 0x30020:
            locked = at(0) != 0;
            return status(0);
        default:
            return status(-1);
        }
    }

    // Takes the first fault that matches, counting it down.
    std::optional<TFakeFault> TakeFault(uint32_t code) {
        for (auto it = faults.begin(); it != faults.end(); ++it) {
            if (it->Code != 0 && it->Code != code) continue;
            TFakeFault f = *it;
            if (it->Times > 0 && --it->Times == 0) faults.erase(it);
            return f;
        }
        return std::nullopt;
    }

    // ---- server thread

    void Serve(TClient& client, Clock::time_point now) {
        while (client.In.size() >= fakewire::kBlockSize) {
            fakewire::TRequest r = fakewire::TRequest::Decode(client.In.data());
            client.In.erase(client.In.begin(), client.In.begin() + fakewire::kBlockSize);
            std::optional<TFakeFault> fault;
            fakewire::TAnswer a;
            {
                std::lock_guard<std::mutex> lock(mutex);
                requests.push_back(r);
                if (r.Magic != fakewire::kMagic) {
                    client.Closed = true;
                    changed.notify_all();
                    return;
                }
                fault = TakeFault(r.Command);
                a.Payload = Handle(r);
                changed.notify_all();
            }
            a.Group = r.Group;
            a.Command = r.Command;
            uint64_t seq = (uint64_t(r.SeqHigh) << 32) | r.SeqLow;
            Clock::time_point due = now;
            std::vector<size_t> split;
            uint32_t gap = 0;
            if (fault) {
                if (fault->Drop) continue;
                if (fault->Reset || fault->Close) {
                    client.Out.push_back({now, {}, fault->Reset ? TAction::Reset : TAction::Close});
                    return;
                }
                if (fault->Status) {
                    if (r.Command == kWriteSeqCode)
                        a.Payload[0] = uint8_t(*fault->Status);
                    else
                        fakewire::Put32(a.Payload.data(), uint32_t(*fault->Status));
                }
                if (!fault->VerifyWords.empty()) {
                    a.Payload.resize(4);
                    for (uint16_t w : fault->VerifyWords) {
                        a.Payload.push_back(uint8_t(w));
                        a.Payload.push_back(uint8_t(w >> 8));
                    }
                }
                a.PayloadLength = fault->PayloadLength;
                if (fault->Direction) a.Direction = *fault->Direction;
                seq += uint64_t(fault->SequenceOffset);
                due += std::chrono::milliseconds(fault->DelayMs);
                split = fault->Split;
                gap = fault->SplitGapMs;
                if (fault->NotifyBefore) {
                    std::vector<uint8_t> n(TIRQMessage::Size);
                    fault->NotifyBefore->Encode(n.data());
                    client.Out.push_back({due, std::move(n)});
                }
            }
            a.SeqHigh = uint32_t(seq >> 32);
            a.SeqLow = uint32_t(seq);
            auto block = a.Encode();
            std::vector<uint8_t> bytes(block.begin(), block.end());
            if (fault && fault->NotifyAfter) {
                bytes.resize(bytes.size() + TIRQMessage::Size);
                fault->NotifyAfter->Encode(bytes.data() + block.size());
            }
            Queue(client, due, std::move(bytes), split, gap);
        }
    }

    static void Queue(TClient& client, Clock::time_point due, std::vector<uint8_t> bytes,
                      const std::vector<size_t>& split, uint32_t gapMs) {
        size_t pos = 0;
        for (size_t piece : split) {
            if (pos >= bytes.size()) break;
            size_t n = std::min(piece, bytes.size() - pos);
            client.Out.push_back({due, std::vector<uint8_t>(bytes.begin() + pos, bytes.begin() + pos + n)});
            pos += n;
            due += std::chrono::milliseconds(gapMs);
        }
        if (pos < bytes.size())
            client.Out.push_back({due, std::vector<uint8_t>(bytes.begin() + pos, bytes.end())});
    }

    void ServeInfo(TClient& client) {
        if (client.In.size() < 8) return;
        bool valid = fakewire::Get32(client.In.data()) == fakewire::kInfoWord0 &&
                     fakewire::Get32(client.In.data() + 4) == fakewire::kInfoWord1;
        client.In.clear();
        std::lock_guard<std::mutex> lock(mutex);
        ++infoRequests;
        changed.notify_all();
        if (!valid || infoSilent) return;
        auto answer = fakewire::EncodeInfoAnswer(holder, config.Series, config.Serial);
        size_t n = std::min(infoAnswerBytes, answer.size());
        client.Out.push_back(
            {Clock::now(), std::vector<uint8_t>(answer.begin(), answer.begin() + n), TAction::Close});
    }

    static void Finish(TClient& client, TAction action) {
        if (action == TAction::Reset) {
            linger l{1, 0}; // close with a reset
            ::setsockopt(client.Fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        }
        if (action != TAction::None) client.Closed = true;
    }

    void Flush(TClient& client, Clock::time_point now) {
        while (!client.Out.empty() && client.Out.front().Due <= now && !client.Closed) {
            TOut& out = client.Out.front();
            while (client.OutSent < out.Bytes.size()) {
                ssize_t n = ::send(client.Fd, out.Bytes.data() + client.OutSent,
                                   out.Bytes.size() - client.OutSent, MSG_NOSIGNAL);
                if (n > 0) {
                    client.OutSent += size_t(n);
                    continue;
                }
                if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
                client.Closed = true;
                return;
            }
            TAction then = out.Then;
            client.Out.pop_front();
            client.OutSent = 0;
            Finish(client, then);
        }
    }

    void Accept(int listenFd, bool info, std::vector<TClient>& clients) {
        for (;;) {
            int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0) return;
            int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            TClient c;
            c.Fd = fd;
            c.Info = info;
            clients.push_back(std::move(c));
            std::lock_guard<std::mutex> lock(mutex);
            if (info) {
                ++infoConnections;
            } else {
                ++dataConnections;
                ++openData;
            }
            changed.notify_all();
        }
    }

    void Run() {
        std::vector<TClient> clients;
        while (!stop.load()) {
            Clock::time_point now = Clock::now();
            int timeout = -1;
            std::vector<pollfd> fds;
            fds.push_back({wake, POLLIN, 0});
            fds.push_back({dataListening ? dataListen : -1, POLLIN, 0});
            fds.push_back({infoListening ? infoListen : -1, POLLIN, 0});
            for (TClient& c : clients) {
                short events = POLLIN;
                if (!c.Out.empty()) {
                    if (c.Out.front().Due <= now) {
                        events |= POLLOUT;
                    } else {
                        auto ms =
                            std::chrono::duration_cast<std::chrono::milliseconds>(c.Out.front().Due - now)
                                .count() +
                            1;
                        if (timeout < 0 || ms < timeout) timeout = int(ms);
                    }
                }
                fds.push_back({c.Fd, events, 0});
            }
            int rc = ::poll(fds.data(), fds.size(), timeout);
            if (rc < 0 && errno != EINTR) break;
            if (fds[0].revents & POLLIN) {
                uint64_t v;
                [[maybe_unused]] ssize_t n = ::read(wake, &v, sizeof v);
                std::vector<std::function<void(std::vector<TClient>&)>> todo;
                {
                    std::lock_guard<std::mutex> lock(mutex);
                    todo.swap(actions);
                }
                for (auto& fn : todo)
                    fn(clients);
                std::lock_guard<std::mutex> lock(mutex);
                actionsDone += todo.size();
                changed.notify_all();
            }
            if (fds[1].revents & POLLIN) Accept(dataListen, false, clients);
            if (fds[2].revents & POLLIN) Accept(infoListen, true, clients);
            now = Clock::now();
            for (size_t i = 0; i < clients.size(); ++i) {
                TClient& c = clients[i];
                short revents = i + 3 < fds.size() && fds[i + 3].fd == c.Fd ? fds[i + 3].revents : 0;
                if (revents & (POLLIN | POLLHUP | POLLERR)) {
                    uint8_t buf[4096];
                    ssize_t n = ::recv(c.Fd, buf, sizeof buf, 0);
                    if (n > 0) {
                        c.In.insert(c.In.end(), buf, buf + n);
                        if (c.Info)
                            ServeInfo(c);
                        else
                            Serve(c, now);
                    } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                        c.Closed = true;
                    }
                }
                Flush(c, now);
            }
            for (auto it = clients.begin(); it != clients.end();) {
                if (!it->Closed) {
                    ++it;
                    continue;
                }
                ::close(it->Fd);
                if (!it->Info) {
                    std::lock_guard<std::mutex> lock(mutex);
                    --openData;
                    changed.notify_all();
                }
                it = clients.erase(it);
            }
        }
        for (TClient& c : clients)
            ::close(c.Fd);
        std::lock_guard<std::mutex> lock(mutex);
        openData = 0;
    }
};

// ---- public face -----------------------------------------------------------------------------------

TFakeLanAmplifier::TFakeLanAmplifier(const TFakeAmpConfig& config) : config_(config) {
    if (config_.Channels < 1 || config_.Channels > 8)
        throw std::runtime_error("fake amplifier: 1 to 8 channels");
    if (config_.Version < 1 || config_.Version > 3)
        throw std::runtime_error("fake amplifier: version 1 to 3");
    impl_ = std::make_unique<TImpl>(config_);
    // With no port given, take a free pair below the ephemeral range: the kernel's own pick (port
    // 0) fails once the client ends of earlier connections wait out TIME_WAIT on every ephemeral
    // port, and a successor in that range may be a client's port at any moment.
    std::random_device seed;
    std::minstd_rand pick(seed());
    for (int attempt = 0; attempt < 256; ++attempt) {
        const uint16_t wanted =
            config_.DataPort != 0 ? config_.DataPort : static_cast<uint16_t>(20000 + 2 * (pick() % 6000));
        int data = ListenOn(config_.Address, wanted);
        if (data < 0) {
            if (config_.DataPort != 0) break;
            continue;
        }
        uint16_t port = LocalPort(data);
        int info = port < 65535 ? ListenOn(config_.Address, uint16_t(port + 1)) : -1;
        if (info >= 0) {
            impl_->dataListen = data;
            impl_->infoListen = info;
            dataPort_ = port;
            break;
        }
        ::close(data);
        if (config_.DataPort != 0) break;
    }
    if (impl_->dataListen < 0)
        throw std::runtime_error("fake amplifier: cannot listen at " + config_.Address + ":" +
                                 std::to_string(config_.DataPort));
    impl_->wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    impl_->thread = std::thread([this] { impl_->Run(); });
}

TFakeLanAmplifier::~TFakeLanAmplifier() {
    impl_->stop.store(true);
    impl_->Wake();
    if (impl_->thread.joinable()) impl_->thread.join();
    if (impl_->dataListen >= 0) ::close(impl_->dataListen);
    if (impl_->infoListen >= 0) ::close(impl_->infoListen);
    ::close(impl_->wake);
}

std::string TFakeLanAmplifier::Target() const {
    return config_.Address + ":" + std::to_string(dataPort_);
}

void TFakeLanAmplifier::AddFault(const TFakeFault& fault) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->faults.push_back(fault);
}

void TFakeLanAmplifier::ClearFaults() {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->faults.clear();
}

void TFakeLanAmplifier::SetInfoAnswerBytes(size_t bytes) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->infoAnswerBytes = bytes;
}

void TFakeLanAmplifier::SetInfoSilent(bool silent) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->infoSilent = silent;
}

void TFakeLanAmplifier::SetHolder(std::array<uint8_t, 4> holder) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->holder = holder;
}

void TFakeLanAmplifier::SendNotification(const TIRQMessage& message, std::vector<size_t> split,
                                         uint32_t gapMs) {
    std::vector<uint8_t> bytes(TIRQMessage::Size);
    message.Encode(bytes.data());
    impl_->Post([bytes, split, gapMs](std::vector<TImpl::TClient>& clients) {
        for (auto& c : clients)
            if (!c.Info) TImpl::Queue(c, Clock::now(), bytes, split, gapMs);
    });
}

void TFakeLanAmplifier::SendTwoNotifications(const TIRQMessage& first, const TIRQMessage& second) {
    std::vector<uint8_t> bytes(2 * TIRQMessage::Size);
    first.Encode(bytes.data());
    second.Encode(bytes.data() + TIRQMessage::Size);
    SendRaw(std::move(bytes));
}

void TFakeLanAmplifier::SendRaw(std::vector<uint8_t> bytes) {
    impl_->Post([bytes = std::move(bytes)](std::vector<TImpl::TClient>& clients) {
        for (auto& c : clients)
            if (!c.Info) c.Out.push_back({Clock::now(), bytes});
    });
}

void TFakeLanAmplifier::ResetConnections() {
    impl_->Post([](std::vector<TImpl::TClient>& clients) {
        for (auto& c : clients)
            if (!c.Info) c.Out.push_back({Clock::now(), {}, TImpl::TAction::Reset});
    });
}

void TFakeLanAmplifier::CloseConnections() {
    impl_->Post([](std::vector<TImpl::TClient>& clients) {
        for (auto& c : clients)
            if (!c.Info) c.Out.push_back({Clock::now(), {}, TImpl::TAction::Close});
    });
}

void TFakeLanAmplifier::SetInfoListening(bool listening) {
    TImpl* impl = impl_.get();
    std::string address = config_.Address;
    uint16_t port = InfoPort();
    // Waits until the server thread has done it, so a following connect sees the change.
    impl_->PostAndWait([impl, listening, address, port](std::vector<TImpl::TClient>&) {
        impl->SetListening(impl->infoListen, impl->infoListening, listening, address, port);
    });
}

void TFakeLanAmplifier::SetDataListening(bool listening) {
    TImpl* impl = impl_.get();
    std::string address = config_.Address;
    uint16_t port = DataPort();
    impl_->PostAndWait([impl, listening, address, port](std::vector<TImpl::TClient>&) {
        impl->SetListening(impl->dataListen, impl->dataListening, listening, address, port);
    });
}

std::vector<fakewire::TRequest> TFakeLanAmplifier::Requests() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->requests;
}

size_t TFakeLanAmplifier::RequestCount() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->requests.size();
}

std::vector<TFakeChipWrite> TFakeLanAmplifier::ChipWrites() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->chipWrites;
}

size_t TFakeLanAmplifier::InfoRequestCount() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->infoRequests;
}

size_t TFakeLanAmplifier::InfoConnectionCount() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->infoConnections;
}

size_t TFakeLanAmplifier::DataConnectionCount() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->dataConnections;
}

size_t TFakeLanAmplifier::OpenDataConnections() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->openData;
}

bool TFakeLanAmplifier::WaitForRequests(size_t n, uint32_t timeoutMs) const {
    std::unique_lock<std::mutex> lock(impl_->mutex);
    return impl_->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                   [&] { return impl_->requests.size() >= n; });
}

bool TFakeLanAmplifier::WaitForDataConnections(size_t open, uint32_t timeoutMs) const {
    std::unique_lock<std::mutex> lock(impl_->mutex);
    return impl_->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                   [&] { return impl_->openData == open; });
}

TRegisterImage TFakeLanAmplifier::StoredImage(int32_t slot) const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return slot >= 0 && slot < 8 ? impl_->slots[size_t(slot)].Current : TRegisterImage{};
}

uint8_t TFakeLanAmplifier::StoredADC8LowVal(int32_t slot) const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return slot >= 0 && slot < 8 ? impl_->slots[size_t(slot)].ADC8LowVal : 0;
}

bool TFakeLanAmplifier::Locked() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->locked;
}

int32_t TFakeLanAmplifier::FanSpeed() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->master.FanSpeed;
}

int32_t TFakeLanAmplifier::IRQMode() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->irqMode;
}

void TFakeLanAmplifier::SetCalibTable(int32_t slot, const TChannelCalibTable& table) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    if (slot >= 0 && slot < 8) impl_->calib[size_t(slot)] = table;
}

TChannelCalibTable TFakeLanAmplifier::CalibTable(int32_t slot) const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return slot >= 0 && slot < 8 ? impl_->calib[size_t(slot)] : TChannelCalibTable{};
}

size_t TFakeLanAmplifier::CalibWrites(int32_t slot) const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return slot >= 0 && slot < 8 ? impl_->calibWrites[size_t(slot)] : 0;
}

TChannelInfo TFakeLanAmplifier::StoredInfo(int32_t slot) const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return slot >= 0 && slot < 8 ? impl_->slots[size_t(slot)].Info : TChannelInfo{};
}

void TFakeLanAmplifier::SetDeviceADC8(int32_t changedStatus, const TDeviceADC8& status) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->adc8Status = changedStatus;
    impl_->adc8 = status;
}

void TFakeLanAmplifier::SetFWVersion(std::array<int32_t, 4> components) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->fw = components;
}

void TFakeLanAmplifier::SetChip(int32_t slot, uint8_t address, TSimChip* chip) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    if (chip == nullptr)
        impl_->extraChips.erase({slot, address});
    else
        impl_->extraChips[{slot, address}] = chip;
}

std::string TFakeLanAmplifier::Describe() const {
    return "fake QRB-730 at " + Target() + " (info port " + std::to_string(InfoPort()) +
           "): " + std::to_string(config_.Channels) + " channel(s), version " +
           std::to_string(config_.Version) + ", series " + std::to_string(config_.Series) + ", serial " +
           std::to_string(config_.Serial);
}

} // namespace qrb::test
