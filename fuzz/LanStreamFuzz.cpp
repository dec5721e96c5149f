// The LAN transport's handling of what a device sends: any byte stream, cut into any pieces,
// splits into whole messages without loss or overread; any answer block to any command of the
// command set is refused or taken without fault, and copies never pass their buffers.
#include "device/ByteOrder.h"
#include "device/lan/LanStream.h"
#include "device/wire/CommandSet.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

using namespace qrb::device;

namespace {

// ---- the stream ------------------------------------------------------------------------------

void FuzzStream(FuzzedDataProvider& in) {
    TLanStream stream;
    TIRQMessage notification;
    TCommandBlock answer;
    size_t appended = 0;
    size_t taken = 0;
    bool stuck = false;
    while (in.remaining_bytes() > 0 && !stuck) {
        // A piece of the stream as one read would deliver it; heads are often valid so that
        // whole messages come through as well.
        std::vector<uint8_t> piece;
        switch (in.ConsumeIntegralInRange<int>(0, 3)) {
        case 0: {
            piece.resize(TIRQMessage::Size);
            PutU32(piece.data(), TIRQMessage::MagicValue);
            break;
        }
        case 1: {
            piece.resize(in.ConsumeIntegralInRange<size_t>(4, TCommandBlock::Size + 8));
            PutU32(piece.data(), kBlockMagic);
            break;
        }
        default:
            break;
        }
        std::vector<uint8_t> raw = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 2000));
        if (piece.empty()) {
            piece = std::move(raw);
        } else {
            const size_t n = std::min(raw.size(), piece.size() - 4);
            std::copy(raw.begin(), raw.begin() + static_cast<std::ptrdiff_t>(n), piece.begin() + 4);
        }
        stream.Append(piece.data(), piece.size());
        appended += piece.size();
        for (;;) {
            const size_t before = stream.Pending();
            TLanStream::TEvent event = stream.Next(notification, answer);
            if (event == TLanStream::TEvent::None) {
                if (stream.Pending() != before) std::abort();
                break;
            }
            if (event == TLanStream::TEvent::UnknownHead) {
                // The stream stays at the unknown head.
                if (stream.Pending() != before || stream.Next(notification, answer) != event) std::abort();
                stuck = true;
                break;
            }
            const size_t size =
                event == TLanStream::TEvent::Notification ? TIRQMessage::Size : TCommandBlock::Size;
            if (before - stream.Pending() != size) std::abort();
            if (event == TLanStream::TEvent::Notification && notification.Magic != TIRQMessage::MagicValue)
                std::abort();
            if (event == TLanStream::TEvent::Answer && answer.Magic() != kBlockMagic) std::abort();
            taken += size;
        }
        if (taken + stream.Pending() != appended) std::abort(); // nothing lost, nothing invented
    }
}

// ---- the command set -------------------------------------------------------------------------

// One device whose answers come from the input; the header is usually made to pass the
// acceptance test so that the answer handling itself is reached.
class TScriptedExchange : public TWireExchange {
public:
    explicit TScriptedExchange(FuzzedDataProvider& in) : in_(in) {}

    int MasterCount() const override { return 2; }
    void I2CLog(int, const std::string& text) override { Keep(text); }
    void Error(const std::string& text) override { Keep(text); }
    TWireDevice* FindEntry(int index) override { return index == 0 ? &device_ : nullptr; }

    bool Exchange(TWireDevice&, const TCommandBlock& request, TCommandBlock& answer) override {
        if (request.PayloadLength() > kPayloadCapacity) std::abort();
        const uint8_t how = in_.ConsumeIntegral<uint8_t>();
        if ((how & 0x07) == 0x07) return false;
        if ((how & 0x0F) == 0x0E) throw std::runtime_error("transfer");
        std::vector<uint8_t> raw =
            in_.ConsumeBytes<uint8_t>(in_.ConsumeIntegralInRange<size_t>(0, TCommandBlock::Size));
        answer.Clear();
        std::copy(raw.begin(), raw.end(), answer.Bytes.begin());
        if ((how & 0x10) == 0) {
            answer.SetWord(TCommandBlock::oMagic, kBlockMagic);
            answer.SetWord(TCommandBlock::oDirection, kDirectionAnswer);
            answer.SetWord(TCommandBlock::oSeqHigh, request.SeqHigh());
            answer.SetWord(TCommandBlock::oSeqLow, request.SeqLow());
        }
        if ((how & 0x20) == 0) {
            // Lengths near the ones the commands expect, and sometimes past the block.
            const uint32_t lengths[] = {0, 1, 4, 8, 20, 32, 36, 68, 72, 1220, 1399, 1400, 1401, 0xFFFFFFFF};
            uint32_t len = lengths[in_.ConsumeIntegralInRange<size_t>(0, std::size(lengths) - 1)];
            if ((how & 0x40) != 0) len = in_.ConsumeIntegral<uint32_t>();
            answer.SetWord(TCommandBlock::oPayloadLength, len);
        }
        if ((how & 0x80) != 0)
            answer.SetWord(kPayloadOffset,
                           static_cast<uint32_t>(in_.ConsumeIntegralInRange<int32_t>(-12, 4)));
        return true;
    }

private:
    void Keep(const std::string& text) {
        // Every text must be readable to its end.
        volatile size_t sum = 0;
        for (char c : text)
            sum = sum + static_cast<uint8_t>(c);
    }

    FuzzedDataProvider& in_;
    TWireDevice device_;
};

bool Untouched(const uint8_t* p, size_t n, uint8_t fill) {
    for (size_t i = 0; i < n; ++i)
        if (p[i] != fill) return false;
    return true;
}

void FuzzCommands(FuzzedDataProvider& in, const TWireTraits& traits) {
    TScriptedExchange exchange(in);
    TWireCommandSet commands(exchange, traits);
    constexpr uint8_t kFill = 0xA5;
    while (in.remaining_bytes() > 0) {
        const int index = in.ConsumeIntegralInRange<int>(-1, 2);
        switch (in.ConsumeIntegralInRange<int>(0, 25)) {
        case 0: {
            int32_t hz = 0;
            commands.GetSCL(index, hz);
            break;
        }
        case 1:
            commands.SetSCL(index, in.ConsumeIntegralInRange<int32_t>(0, 500000));
            break;
        case 2: {
            std::string list;
            commands.ScanI2C(index, list);
            if (list.size() > 4 * kPayloadCapacity) std::abort();
            break;
        }
        case 3:
            commands.WriteI2C(index, in.ConsumeIntegral<uint8_t>(), in.ConsumeRandomLengthString(600));
            break;
        case 4: {
            std::vector<uint8_t> data = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 300));
            commands.WriteI2CBlock(index, in.ConsumeIntegral<uint8_t>(), data);
            break;
        }
        case 5:
        case 6: {
            // The buffer is exactly len bytes with a guard zone behind it.
            const uint16_t len = in.ConsumeIntegralInRange<uint16_t>(0, kMaxReadLength + 2);
            std::vector<uint8_t> buf(len + 64u, kFill);
            std::span<uint8_t> view(buf.data(), len);
            const uint8_t addr = in.ConsumeIntegral<uint8_t>();
            if (in.ConsumeBool())
                commands.ReadI2C(index, addr, len, view);
            else
                commands.WriteReadI2C(index, addr, in.ConsumeRandomLengthString(20), len, view);
            if (!Untouched(buf.data() + len, 64, kFill)) std::abort();
            break;
        }
        case 7: {
            std::vector<std::string> list;
            commands.ScanI2CMux(index, list);
            if (list.size() > kPayloadCapacity) std::abort();
            break;
        }
        case 8: {
            std::array<uint8_t, kSeqBufferSize> data{};
            std::vector<uint8_t> answer(kSeqBufferSize + 64, kFill);
            const uint8_t len = in.ConsumeIntegral<uint8_t>();
            commands.WriteSeq(index, in.ConsumeIntegral<uint8_t>(), data, len,
                              std::span<uint8_t>(answer.data(), kSeqBufferSize));
            if (!Untouched(answer.data() + kSeqBufferSize, 64, kFill)) std::abort();
            break;
        }
        case 9: {
            TRegisterImage image;
            for (auto& w : image.Words)
                w = in.ConsumeIntegral<uint16_t>();
            // Callers may give a smaller buffer than the answer can hold.
            const size_t size = in.ConsumeBool() ? kSeqBufferSize : in.ConsumeIntegralInRange<size_t>(0, 40);
            std::vector<uint8_t> answer(size + 64, kFill);
            commands.WriteChannel(index, in.ConsumeIntegral<uint8_t>(), in.ConsumeIntegral<uint8_t>(), image,
                                  std::span<uint8_t>(answer.data(), size));
            if (!Untouched(answer.data() + size, 64, kFill)) std::abort();
            break;
        }
        case 10:
            commands.SaveAllConfig(index, in.ConsumeIntegral<uint8_t>());
            break;
        case 11: {
            TDeviceInfo info;
            commands.GetDeviceInfo(index, info);
            break;
        }
        case 12: {
            TChannelInfoBlock block;
            commands.GetChannelInfo(index, block);
            break;
        }
        case 13:
            commands.SetChannelInfo(index, in.ConsumeIntegralInRange<int32_t>(-1, 9), TChannelInfo{});
            break;
        case 14: {
            TDCDCInfo info;
            commands.GetDCDCInfo(index, info);
            break;
        }
        case 15:
            commands.SetDCDCInfo(index, TDCDCInfo{});
            break;
        case 16:
            commands.SetDCDCClock(index, 1, 2, 3, 4, 5);
            break;
        case 17: {
            TChannelCalibTable table;
            commands.GetChannelCalibTable(index, in.ConsumeIntegral<uint8_t>(), table);
            break;
        }
        case 18: {
            TMasterFlash flash;
            commands.GetMasterflash(index, flash);
            break;
        }
        case 19:
            commands.SetMasterflash(index, TMasterFlash{});
            break;
        case 20: {
            TDeviceADC8 status;
            bool changed = false;
            commands.GetDeviceADC8(index, status, changed);
            break;
        }
        case 21:
            commands.SetMux(index, in.ConsumeIntegral<uint8_t>(), in.ConsumeIntegral<uint8_t>(),
                            in.ConsumeIntegral<uint8_t>());
            break;
        case 22:
            commands.SetFan(index, in.ConsumeIntegralInRange<uint8_t>(0, 6));
            break;
        case 23:
            commands.SetIRQ(index, in.ConsumeIntegralInRange<uint8_t>(0, 3));
            break;
        case 24:
            if (in.ConsumeBool())
                commands.GetDeviceLockState(index);
            else
                commands.SetDeviceLockState(index, in.ConsumeBool());
            break;
        default: {
            TFWVersion version;
            std::string text;
            commands.GetFWVersion(index, version, text);
            break;
        }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    switch (in.ConsumeIntegralInRange<int>(0, 2)) {
    case 0:
        FuzzStream(in);
        break;
    case 1:
        try {
            FuzzCommands(in, kUSBWireTraits); // an exception of the exchange passes through here
        } catch (const std::runtime_error&) {
        }
        break;
    default:
        FuzzCommands(in, kLANWireTraits);
        break;
    }
    return 0;
}
