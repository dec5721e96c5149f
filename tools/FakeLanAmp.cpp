// A fake QRB-730 on a loopback address, for manual runs of the program against "LAN" devices.
//
//   FakeLanAmp [--address 127.0.0.x] [--port P] [--channels 1..8] [--version 1..3]
//              [--series S] [--serial N] [--holder a.b.c.d] [--fault LIST]... [--quiet]
//
// The info port is the data port + 1. A fault LIST is a comma-separated list of
//   code=0x30011 times=N status=-6 verify=1:2:3 length=40 direction=0x02020401 seq=-1
//   delay=ms drop split=4:12 gap=ms reset close notify=0xFBFF
// It prints what it serves and one line per request until interrupted.

#include "tests/support/FakeLanAmplifier.h"

#include <arpa/inet.h>
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

std::vector<long long> Numbers(const std::string& text) {
    std::vector<long long> out;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t colon = text.find(':', pos);
        if (colon == std::string::npos) colon = text.size();
        out.push_back(Number(text.substr(pos, colon - pos)));
        pos = colon + 1;
    }
    return out;
}

TFakeFault ParseFault(const std::string& list) {
    TFakeFault f;
    size_t pos = 0;
    while (pos < list.size()) {
        size_t comma = list.find(',', pos);
        if (comma == std::string::npos) comma = list.size();
        std::string item = list.substr(pos, comma - pos);
        pos = comma + 1;
        size_t eq = item.find('=');
        std::string key = item.substr(0, eq);
        std::string value = eq == std::string::npos ? "" : item.substr(eq + 1);
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
    }
    return f;
}

int Usage() {
    std::fprintf(
        stderr,
        "usage: FakeLanAmp [--address 127.0.0.x] [--port P] [--channels 1..8] [--version 1..3]\n"
        "                  [--series S] [--serial N] [--holder a.b.c.d] [--fault LIST]... [--quiet]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    TFakeAmpConfig config;
    config.DataPort = 15000;
    std::vector<TFakeFault> faults;
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
            else if (arg == "--quiet")
                quiet = true;
            else
                return Usage();
        }
        if (config.Address.rfind("127.", 0) != 0)
            throw std::invalid_argument("only loopback addresses (127.x.x.x)");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "FakeLanAmp: %s\n", e.what());
        return Usage();
    }

    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGPIPE, SIG_IGN);
    try {
        TFakeLanAmplifier amp(config);
        for (const TFakeFault& f : faults)
            amp.AddFault(f);
        std::printf("%s\n", amp.Describe().c_str());
        if (!faults.empty()) std::printf("%zu fault(s) scripted\n", faults.size());
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
