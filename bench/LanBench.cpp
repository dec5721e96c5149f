// LAN round trips against fake amplifiers on loopback: GetDeviceInfo through TI2CLANControl
// against the same request with plain blocking socket calls, a TI2CHAL scan of eight
// amplifiers, the translator's Rescan over them with its count of exchanges, and the scan of
// one amplifier beside targets whose info port never answers (on addresses of their own, or as
// ports of one address).
#include "device/I2CHAL.h"
#include "device/lan/I2CLANControl.h"
#include "device/wire/CommandBlock.h"
#include "device/wire/CommandTable.h"
#include "model/I2CTranslator.h"
#include "tests/support/FakeLanAmplifier.h"
#include "tests/support/SilentLanTarget.h"
#include "tests/support/VirtualMainLoop.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

using namespace qrb::device;
using namespace qrb::test;

namespace {

using TClock = std::chrono::steady_clock;

// Per-round-trip times in microseconds, by name, for the medians printed at the end.
std::map<std::string, std::vector<double>>& Samples() {
    static std::map<std::string, std::vector<double>> samples;
    return samples;
}

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double Micros(TClock::time_point from, TClock::time_point to) {
    return std::chrono::duration<double, std::micro>(to - from).count();
}

std::unique_ptr<TFakeLanAmplifier> Amp(const std::string& address) {
    TFakeAmpConfig c;
    c.Address = address;
    return std::make_unique<TFakeLanAmplifier>(c);
}

// One fake amplifier, a scanned LAN transport and a plain blocking connection to it.
struct TRoundTrip {
    TInstalledVirtualMainLoop Loop;
    std::unique_ptr<TFakeLanAmplifier> Fake = Amp("127.0.0.1");
    TI2CLANControl Lan;
    int Plain = -1;
    TSequenceNumber PlainSequence;

    TRoundTrip() {
        Lan.ScanTargets.Add(Fake->Target());
        if (!Lan.Scan() || Lan.MasterCount() != 1) throw std::runtime_error("LAN scan found no device");
        Plain = ::socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        ::setsockopt(Plain, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(Fake->DataPort());
        inet_pton(AF_INET, "127.0.0.1", &addr.sin_addr);
        if (::connect(Plain, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
            throw std::runtime_error("plain connect failed");
    }
    ~TRoundTrip() {
        if (Plain >= 0) ::close(Plain);
    }

    // GetDeviceInfo's request on the plain connection: one send, one receive of the block.
    bool PlainGetDeviceInfo() {
        const TWireCommandRow& row = WireCommandRow(TWireCommand::GetDeviceInfo);
        TCommandBlock request, answer;
        BuildRequest(request, row.Group, row.Code, kDirectionRequest, PlainSequence);
        if (::send(Plain, request.Bytes.data(), TCommandBlock::Size, MSG_NOSIGNAL) !=
            static_cast<ssize_t>(TCommandBlock::Size))
            return false;
        if (::recv(Plain, answer.Bytes.data(), TCommandBlock::Size, MSG_WAITALL) !=
            static_cast<ssize_t>(TCommandBlock::Size))
            return false;
        return CheckResponse(answer, kDirectionAnswer, PlainSequence);
    }
};

TRoundTrip& RoundTrip() {
    static TRoundTrip r;
    return r;
}

void BM_LanGetDeviceInfo(benchmark::State& state) {
    TRoundTrip& r = RoundTrip();
    auto& samples = Samples()["lan"];
    TDeviceInfo info;
    for (auto _ : state) {
        auto t0 = TClock::now();
        TI2CResult result = r.Lan.GetDeviceInfo(0, info);
        auto t1 = TClock::now();
        if (result != TI2CResult::irOK) {
            state.SkipWithError("GetDeviceInfo failed");
            break;
        }
        samples.push_back(Micros(t0, t1));
    }
}

void BM_PlainSocketGetDeviceInfo(benchmark::State& state) {
    TRoundTrip& r = RoundTrip();
    auto& samples = Samples()["plain"];
    for (auto _ : state) {
        auto t0 = TClock::now();
        bool ok = r.PlainGetDeviceInfo();
        auto t1 = TClock::now();
        if (!ok) {
            state.SkipWithError("plain round trip failed");
            break;
        }
        samples.push_back(Micros(t0, t1));
    }
}

// Both kinds alternating, so that both see the same state of the machine.
void BM_AlternatingRoundTrips(benchmark::State& state) {
    TRoundTrip& r = RoundTrip();
    auto& lan = Samples()["lan-alternating"];
    auto& plain = Samples()["plain-alternating"];
    TDeviceInfo info;
    for (auto _ : state) {
        auto t0 = TClock::now();
        TI2CResult result = r.Lan.GetDeviceInfo(0, info);
        auto t1 = TClock::now();
        bool ok = r.PlainGetDeviceInfo();
        auto t2 = TClock::now();
        if (result != TI2CResult::irOK || !ok) {
            state.SkipWithError("round trip failed");
            break;
        }
        lan.push_back(Micros(t0, t1));
        plain.push_back(Micros(t1, t2));
    }
}

// Eight fake amplifiers on 127.0.0.1 .. 127.0.0.8.
struct TEightAmps {
    std::vector<std::unique_ptr<TFakeLanAmplifier>> Fakes;
    TEightAmps() {
        for (int i = 1; i <= 8; ++i)
            Fakes.push_back(Amp("127.0.0." + std::to_string(i)));
    }
    size_t Requests() const {
        size_t n = 0;
        for (const auto& f : Fakes)
            n += f->RequestCount();
        return n;
    }
    size_t InfoConnections() const {
        size_t n = 0;
        for (const auto& f : Fakes)
            n += f->InfoConnectionCount();
        return n;
    }
};

TEightAmps& EightAmps() {
    static TEightAmps amps;
    return amps;
}

void BM_HALScanOfEight(benchmark::State& state) {
    TInstalledVirtualMainLoop loop;
    TEightAmps& amps = EightAmps();
    TI2CHAL hal(kMaskLAN, false);
    for (const auto& f : amps.Fakes)
        hal.AddScanTarget(f->Target(), kMaskLAN);
    auto& samples = Samples()["hal-scan"];
    size_t requests = 0;
    for (auto _ : state) {
        const size_t before = amps.Requests();
        auto t0 = TClock::now();
        int32_t count = hal.ScanDevices();
        auto t1 = TClock::now();
        if (count != 8) {
            state.SkipWithError("the scan did not find eight devices");
            break;
        }
        samples.push_back(Micros(t0, t1));
        requests = amps.Requests() - before;
    }
    state.counters["exchanges"] = static_cast<double>(requests);
    hal.ClearDevices();
}

void BM_TranslatorRescanOfEight(benchmark::State& state) {
    TInstalledVirtualMainLoop loop;
    TEightAmps& amps = EightAmps();
    qrb::model::TI2CTranslator translator(kMaskLAN, false);
    translator.OnConfigComplete = [](const void*) {};
    for (const auto& f : amps.Fakes)
        translator.AddScanTarget(f->Target(), kMaskLAN);
    auto& samples = Samples()["rescan"];
    size_t requests = 0, infos = 0;
    int32_t channels = 0;
    for (auto _ : state) {
        const size_t before = amps.Requests(), infoBefore = amps.InfoConnections();
        auto t0 = TClock::now();
        channels = translator.Rescan();
        auto t1 = TClock::now();
        if (channels != 64) {
            state.SkipWithError("the rescan did not find 64 channels");
            break;
        }
        samples.push_back(Micros(t0, t1));
        requests = amps.Requests() - before;
        infos = amps.InfoConnections() - infoBefore;
        loop.Step();
    }
    state.counters["exchanges"] = static_cast<double>(requests);
    state.counters["info_connections"] = static_cast<double>(infos);
    state.counters["channels"] = channels;
    Samples()["rescan-exchanges"].push_back(static_cast<double>(requests));
}

// One live amplifier and state.range(0) silent targets (switched off: the knock stays
// pending) with the transport's own deadlines; with state.range(1) set, the silent targets are
// ports of one address (the live one is on another: a later target on a connected address
// would be skipped, its knock never waited for).
void BM_ScanWithSilentTargets(benchmark::State& state) {
    TInstalledVirtualMainLoop loop;
    const int silentCount = static_cast<int>(state.range(0));
    const bool oneAddress = state.range(1) != 0;
    auto live = Amp(oneAddress ? "127.0.4.40" : "127.0.0.40");
    std::vector<std::unique_ptr<TSilentLanTarget>> silent;
    for (int i = 0; i < silentCount; ++i)
        silent.push_back(std::make_unique<TSilentLanTarget>(
            oneAddress ? std::string("127.0.4.41") : "127.0.0." + std::to_string(41 + i)));
    TI2CLANControl lan;
    lan.ScanTargets.Add(live->Target());
    for (const auto& t : silent)
        lan.ScanTargets.Add(t->Target());
    auto& samples =
        Samples()["scan-silent-" + std::to_string(silentCount) + (oneAddress ? "-one-address" : "")];
    for (auto _ : state) {
        auto t0 = TClock::now();
        lan.Scan();
        auto t1 = TClock::now();
        if (lan.MasterCount() != 1) {
            state.SkipWithError("the scan did not find the live amplifier");
            break;
        }
        samples.push_back(Micros(t0, t1));
    }
    lan.CloseAll();
}

BENCHMARK(BM_LanGetDeviceInfo)->Iterations(2000)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainSocketGetDeviceInfo)->Iterations(2000)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AlternatingRoundTrips)->Iterations(2000)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HALScanOfEight)->Iterations(20)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TranslatorRescanOfEight)->Iterations(10)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanWithSilentTargets)
    ->Args({0, 0})
    ->Iterations(20)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanWithSilentTargets)
    ->Args({1, 0})
    ->Args({4, 0})
    ->Args({8, 0})
    ->Args({4, 1})
    ->Args({8, 1})
    ->Iterations(5)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    auto& s = Samples();
    auto line = [&](const char* what, const std::string& key, const char* unit, double scale) {
        if (s[key].empty()) return;
        std::printf("%s: median %.1f %s over %zu\n", what, Median(s[key]) / scale, unit, s[key].size());
    };
    line("GetDeviceInfo through TI2CLANControl", "lan", "us", 1);
    line("GetDeviceInfo with plain blocking sockets", "plain", "us", 1);
    line("alternating, TI2CLANControl", "lan-alternating", "us", 1);
    line("alternating, plain blocking sockets", "plain-alternating", "us", 1);
    line("TI2CHAL scan of 8 amplifiers", "hal-scan", "ms", 1000);
    line("translator Rescan of 8 amplifiers", "rescan", "ms", 1000);
    if (!s["rescan-exchanges"].empty())
        std::printf("translator Rescan exchanges: %.0f\n", s["rescan-exchanges"].back());
    // Silent targets: every scan against the live one alone plus one knock window.
    const double liveOnly = Median(s["scan-silent-0"]);
    const double window = TLanDeadlines{}.KnockMs * 1000.0;
    for (const char* kind : {"", "-one-address"})
        for (int n : {0, 1, 4, 8}) {
            const std::string key = "scan-silent-" + std::to_string(n) + kind;
            if (s[key].empty() || liveOnly <= 0) continue;
            const double median = Median(s[key]);
            std::printf(
                "LAN scan of 1 live + %d silent%s: median %.1f ms over %zu, ratio to (live alone %.1f "
                "ms + %.0f ms): %.3f\n",
                n, *kind ? " ports on one address" : "", median / 1000, s[key].size(), liveOnly / 1000,
                window / 1000, median / (liveOnly + window));
        }
    const double lan = Median(s["lan"]), plain = Median(s["plain"]);
    if (lan > 0 && plain > 0) std::printf("ratio: %.2f\n", lan / plain);
    const double lanAlt = Median(s["lan-alternating"]), plainAlt = Median(s["plain-alternating"]);
    if (lanAlt > 0 && plainAlt > 0) std::printf("ratio (alternating): %.2f\n", lanAlt / plainAlt);
    return 0;
}
