// A fake QRB-730 on a loopback address, for manual runs of the program against "LAN" devices.
//
//   FakeLanAmp [--address 127.0.0.x] [--port P] [--channels 1..8] [--version 1..3]
//              [--series S] [--serial N] [--holder a.b.c.d] [--fault LIST]...
//              [--onewire LIST]... [--adc18 LIST]... [--quiet]
//
// The info port is the data port + 1. A fault LIST is a comma-separated list of
//   code=0x30011 times=N status=-6 verify=1:2:3 length=40 direction=0x02020401 seq=-1
//   delay=ms drop split=4:12 gap=ms reset close notify=0xFBFF
// --onewire puts the 1-Wire bridge (0x18) on slots, with sensors on its line or the line shorted:
//   slot=0:1 rom=28123456789ABC:28123456789ABC1E short
// A rom is 14 hex digits (family and serial, the CRC is added) or all 16 as the program shows them.
// --adc18 puts the 18-bit converter (0x68) on slots; it follows the offset DAC, the offset relay and
// the zero input of every image the slot stores: slot=0:1 zero=-200 signal=300 (counts).
// Without slot= the chip goes on every channel; slot 0 is the first channel.
// It prints what it serves and one line per request until interrupted.

#include "tests/support/ChipAmplifier.h"
#include "tests/support/ChipEmulations.h"
#include "tests/support/FakeLanAmplifier.h"

#include <arpa/inet.h>
#include <array>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace qrb::test;

namespace {

std::atomic<bool> gStop{false};

void OnSignal(int) {
    gStop.store(true);
}

long long Number(const std::string& text) {
    size_t used = 0;
    long long v = std::stoll(text, &used, 0);
    if (used != text.size()) throw std::invalid_argument("not a number: " + text);
    return v;
}

// The parts of a colon-separated value.
std::vector<std::string> ColonParts(const std::string& text) {
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t colon = text.find(':', pos);
        if (colon == std::string::npos) colon = text.size();
        out.push_back(text.substr(pos, colon - pos));
        pos = colon + 1;
    }
    return out;
}

std::vector<long long> Numbers(const std::string& text) {
    std::vector<long long> out;
    for (const std::string& part : ColonParts(text))
        out.push_back(Number(part));
    return out;
}

// A comma-separated key=value list; each item goes to item(key, value).
template <typename F> void ForEachItem(const std::string& list, F item) {
    size_t pos = 0;
    while (pos < list.size()) {
        size_t comma = list.find(',', pos);
        if (comma == std::string::npos) comma = list.size();
        std::string text = list.substr(pos, comma - pos);
        pos = comma + 1;
        size_t eq = text.find('=');
        item(text.substr(0, eq), eq == std::string::npos ? std::string() : text.substr(eq + 1));
    }
}

TFakeFault ParseFault(const std::string& list) {
    TFakeFault f;
    ForEachItem(list, [&](const std::string& key, const std::string& value) {
        if (key == "code")
            f.Code = uint32_t(Number(value));
        else if (key == "times")
            f.Times = int(Number(value));
        else if (key == "status")
            f.Status = int32_t(Number(value));
        else if (key == "verify")
            for (long long w : Numbers(value))
                f.VerifyWords.push_back(uint16_t(w));
        else if (key == "length")
            f.PayloadLength = uint32_t(Number(value));
        else if (key == "direction")
            f.Direction = uint32_t(Number(value));
        else if (key == "seq")
            f.SequenceOffset = Number(value);
        else if (key == "delay")
            f.DelayMs = uint32_t(Number(value));
        else if (key == "drop")
            f.Drop = true;
        else if (key == "split")
            for (long long n : Numbers(value))
                f.Split.push_back(size_t(n));
        else if (key == "gap")
            f.SplitGapMs = uint32_t(Number(value));
        else if (key == "reset")
            f.Reset = true;
        else if (key == "close")
            f.Close = true;
        else if (key == "notify") {
            qrb::device::TIRQMessage m;
            m.Magic = qrb::device::TIRQMessage::MagicValue;
            m.IRQWord = uint16_t(Number(value));
            m.ChannelStatus.fill(0xFF);
            f.NotifyBefore = m;
        } else
            throw std::invalid_argument("unknown fault item: " + key);
    });
    return f;
}

// The chips of one --onewire or --adc18 option.
struct TChipOption {
    std::vector<int32_t> Slots; // empty: every channel
    std::vector<TRomNumber> Roms;
    bool Shorted = false;
    int32_t Zero = 0;
    int32_t Signal = 0;
};

std::vector<int32_t> ParseSlots(const std::string& value) {
    std::vector<int32_t> slots;
    for (long long s : Numbers(value)) {
        if (s < 0 || s > 7) throw std::invalid_argument("slot out of 0..7: " + std::to_string(s));
        slots.push_back(int32_t(s));
    }
    return slots;
}

TRomNumber ParseRom(const std::string& text) {
    if ((text.size() != 14 && text.size() != 16) ||
        text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        throw std::invalid_argument("a rom is 14 or 16 hex digits: " + text);
    std::array<uint8_t, 8> bytes{};
    for (size_t i = 0; i < text.size() / 2; ++i)
        bytes[i] = uint8_t(std::stoul(text.substr(2 * i, 2), nullptr, 16));
    if (text.size() == 16) return bytes;
    return MakeRom(bytes[0], {bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6]});
}

std::vector<TRomNumber> ParseRoms(const std::string& value) {
    std::vector<TRomNumber> roms;
    for (const std::string& part : ColonParts(value))
        roms.push_back(ParseRom(part));
    return roms;
}

TChipOption ParseOneWire(const std::string& list) {
    TChipOption o;
    ForEachItem(list, [&](const std::string& key, const std::string& value) {
        if (key == "slot")
            o.Slots = ParseSlots(value);
        else if (key == "rom")
            for (const TRomNumber& rom : ParseRoms(value))
                o.Roms.push_back(rom);
        else if (key == "short")
            o.Shorted = true;
        else
            throw std::invalid_argument("unknown onewire item: " + key);
    });
    return o;
}

TChipOption ParseADC18(const std::string& list) {
    TChipOption o;
    ForEachItem(list, [&](const std::string& key, const std::string& value) {
        if (key == "slot")
            o.Slots = ParseSlots(value);
        else if (key == "zero")
            o.Zero = int32_t(Number(value));
        else if (key == "signal")
            o.Signal = int32_t(Number(value));
        else
            throw std::invalid_argument("unknown adc18 item: " + key);
    });
    return o;
}

// The slots an option names, checked against the channels served.
std::vector<int32_t> SlotsOf(const TChipOption& o, int32_t channels) {
    std::vector<int32_t> slots = o.Slots;
    if (slots.empty())
        for (int32_t s = 0; s < channels; ++s)
            slots.push_back(s);
    for (int32_t s : slots)
        if (s >= channels)
            throw std::invalid_argument("slot " + std::to_string(s) + " beyond the " +
                                        std::to_string(channels) + " channels");
    return slots;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: FakeLanAmp [--address 127.0.0.x] [--port P] [--channels 1..8] [--version 1..3]\n"
                 "                  [--series S] [--serial N] [--holder a.b.c.d] [--fault LIST]...\n"
                 "                  [--onewire LIST]... [--adc18 LIST]... [--quiet]\n"
                 "  --fault:   code=0x30011 times=N status=-6 verify=1:2:3 length=40 direction=0x02020401\n"
                 "             seq=-1 delay=ms drop split=4:12 gap=ms reset close notify=0xFBFF\n"
                 "  --onewire: slot=0:1 rom=28123456789ABC:28123456789ABC1E short\n"
                 "             (the 1-Wire bridge; a rom of 14 hex digits gets its CRC added)\n"
                 "  --adc18:   slot=0:1 zero=-200 signal=300\n"
                 "             (the 18-bit converter, following the offset DAC the slot stores)\n"
                 "  without slot= on every channel; slot 0 is the first channel\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    TFakeAmpConfig config;
    config.DataPort = 15000;
    std::vector<TFakeFault> faults;
    std::vector<TChipOption> oneWire, adc18;
    bool quiet = false;
    try {
        for (int i = 1; i < argc; ++i) {
            std::string arg = argv[i];
            auto next = [&]() -> std::string {
                if (i + 1 >= argc) throw std::invalid_argument("missing value after " + arg);
                return argv[++i];
            };
            if (arg == "--address")
                config.Address = next();
            else if (arg == "--port")
                config.DataPort = uint16_t(Number(next()));
            else if (arg == "--channels")
                config.Channels = int32_t(Number(next()));
            else if (arg == "--version")
                config.Version = int32_t(Number(next()));
            else if (arg == "--series")
                config.Series = int32_t(Number(next()));
            else if (arg == "--serial")
                config.Serial = int32_t(Number(next()));
            else if (arg == "--holder") {
                in_addr a{};
                std::string text = next();
                if (inet_pton(AF_INET, text.c_str(), &a) != 1)
                    throw std::invalid_argument("bad holder " + text);
                const auto* b = reinterpret_cast<const uint8_t*>(&a.s_addr);
                config.Holder = {b[0], b[1], b[2], b[3]};
            } else if (arg == "--fault")
                faults.push_back(ParseFault(next()));
            else if (arg == "--onewire")
                oneWire.push_back(ParseOneWire(next()));
            else if (arg == "--adc18")
                adc18.push_back(ParseADC18(next()));
            else if (arg == "--quiet")
                quiet = true;
            else
                return Usage();
        }
        if (config.Address.rfind("127.", 0) != 0)
            throw std::invalid_argument("only loopback addresses (127.x.x.x)");
        for (const TChipOption& o : oneWire)
            SlotsOf(o, config.Channels);
        for (const TChipOption& o : adc18)
            SlotsOf(o, config.Channels);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "FakeLanAmp: %s\n", e.what());
        return Usage();
    }

    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGPIPE, SIG_IGN);
    // The chips outlive the amplifier that holds pointers to them.
    std::array<TDS2482Emulation, 8> bridges;
    std::array<TADC18Emulation, 8> converters;
    try {
        TFakeLanAmplifier amp(config);
        for (const TFakeFault& f : faults)
            amp.AddFault(f);
        std::printf("%s\n", amp.Describe().c_str());
        if (!faults.empty()) std::printf("%zu fault(s) scripted\n", faults.size());
        for (const TChipOption& o : oneWire)
            for (int32_t s : SlotsOf(o, config.Channels)) {
                TDS2482Emulation& bridge = bridges[size_t(s)];
                bridge.SetRoms(o.Roms);
                bridge.SetShorted(o.Shorted);
                amp.SetChip(s, 0x18, &bridge);
                std::printf("slot %d: 1-Wire bridge, %s", s,
                            o.Shorted        ? "line shorted"
                            : o.Roms.empty() ? "no sensors"
                                             : "sensors");
                for (const TRomNumber& rom : o.Roms) {
                    std::printf(" ");
                    for (uint8_t b : rom)
                        std::printf("%02X", b);
                }
                std::printf("\n");
            }
        for (const TChipOption& o : adc18)
            for (int32_t s : SlotsOf(o, config.Channels)) {
                TADC18Emulation& adc = converters[size_t(s)];
                adc.SetZeroReference(o.Zero);
                adc.SetSignal(o.Signal);
                // The fake's channels report version 1..3: the program's hardware variant 1.
                FollowStoredImages(adc, amp.StoredImage(s), 1);
                amp.SetChip(s, 0x68, &adc);
                std::printf("slot %d: 18-bit converter, zero %d, signal %d\n", s, o.Zero, o.Signal);
            }
        std::fflush(stdout);
        size_t shown = 0;
        while (!gStop.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (quiet || amp.RequestCount() == shown) continue;
            auto requests = amp.Requests();
            for (; shown < requests.size(); ++shown) {
                const auto& r = requests[shown];
                std::printf("request %zu: group 0x%X code 0x%X seq %u:%u length %u\n", shown + 1, r.Group,
                            r.Command, r.SeqHigh, r.SeqLow, r.PayloadLength);
            }
            std::fflush(stdout);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "FakeLanAmp: %s\n", e.what());
        return 1;
    }
    return 0;
}
