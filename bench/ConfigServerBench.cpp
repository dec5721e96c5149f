// The configuration server's whole-configuration reply (REQ_ALLINF) for 64 and 512 channels:
// built by the request handler alone, and requested by a client over loopback from a server
// whose event loop runs on a thread of its own.

#include "device/I2CHAL.h"
#include "model/I2CTranslator.h"
#include "tests/support/PlaceholderTransports.h"
#include "tests/support/ScriptedAmplifier.h"
#include "tests/support/VirtualMainLoop.h"
#include "ui/configserver/ConfigRequest.h"
#include "ui/configserver/ConfigServer.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <memory>
#include <string>

namespace {

using namespace qrb;

// A scanned model of `channels` channels: scripted LAN devices of eight channels each. The scan's
// waits cost no real time.
struct TModel {
    std::unique_ptr<model::TI2CTranslator> translator;

    explicit TModel(int channels) {
        static test::TInstalledVirtualMainLoop loop;
        device::TI2CTransportFactory factory;
        factory.CreateLAN = [channels] {
            auto t = std::make_unique<test::TScriptedAmplifier>();
            for (int d = 0; d < channels / 8; ++d)
                t->Devices.push_back(test::GoodDevice(
                    "10.0." + std::to_string(d / 250) + "." + std::to_string(d % 250 + 1), 8));
            return std::unique_ptr<device::TI2CControl>(std::move(t));
        };
        factory.CreateUSB = test::CreatePlaceholderUSBControl;
        factory.CreateVirtual = [] {
            return std::unique_ptr<device::TI2CControl>(new test::TScriptedAmplifier);
        };
        translator = std::make_unique<model::TI2CTranslator>(device::kMaskLAN, false, factory);
        translator->OnConfigComplete = [](const void*) {};
        translator->Rescan();
        for (int i = 0; i < translator->ChannelCount(); ++i) {
            model::TQRBRawChannel& c = *translator->GetChannel(i);
            c.SetChannelName("Channel " + std::to_string(i + 1));
            c.TypeCache = static_cast<model::TSensorType>(i % 10);
            c.OffsetCache = 1;
        }
    }
};

TModel& Model(int channels) {
    static std::map<int, std::unique_ptr<TModel>> models;
    auto& m = models[channels];
    if (!m) m = std::make_unique<TModel>(channels);
    return *m;
}

void BM_AnswerAllInf(benchmark::State& state) {
    TModel& m = Model(static_cast<int>(state.range(0)));
    if (m.translator->ChannelCount() != state.range(0)) state.SkipWithError("scan did not give the channels");
    const ui::TConfigRequestHandler handler(*m.translator);
    size_t bytes = 0;
    for (auto _ : state) {
        const ui::TConfigReply reply = handler.Answer("REQ_ALLINF");
        bytes = reply.Bytes.size();
        benchmark::DoNotOptimize(reply.Bytes.data());
    }
    state.counters["reply_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_AnswerAllInf)->Arg(64)->Arg(512)->Unit(benchmark::kMicrosecond);

void BM_LoopbackAllInf(benchmark::State& state) {
    static int argc = 1;
    static char name[] = "bench";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv);
    (void)app;

    TModel& m = Model(static_cast<int>(state.range(0)));
    const std::string expected = ui::TConfigRequestHandler(*m.translator).Answer("REQ_ALLINF").Bytes;

    std::atomic<int> port{-1};
    std::unique_ptr<QThread> thread(QThread::create([&] {
        ui::TConfigServer server(*m.translator, {});
        port = server.Start(0) ? server.ServerPort() : 0;
        QEventLoop loop;
        loop.exec();
    }));
    thread->start();
    while (port < 0)
        QThread::yieldCurrentThread();

    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<uint16_t>(port.load()));
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (port == 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0)
        state.SkipWithError("no server");

    std::string buffer(expected.size(), '\0');
    for (auto _ : state) {
        if (::send(fd, "REQ_ALLINF\r\n", 12, MSG_NOSIGNAL) != 12) {
            state.SkipWithError("send failed");
            break;
        }
        size_t got = 0;
        while (got < expected.size()) {
            const ssize_t n = ::recv(fd, buffer.data() + got, expected.size() - got, 0);
            if (n <= 0) break;
            got += static_cast<size_t>(n);
        }
        if (got != expected.size()) {
            state.SkipWithError("short reply");
            break;
        }
    }
    if (buffer != expected) state.SkipWithError("reply differs");
    state.counters["reply_bytes"] = static_cast<double>(expected.size());

    ::close(fd);
    thread->quit();
    thread->wait();
}
BENCHMARK(BM_LoopbackAllInf)->Arg(64)->Arg(512)->Unit(benchmark::kMicrosecond);

} // namespace
