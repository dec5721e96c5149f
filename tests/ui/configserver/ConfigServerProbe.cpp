// A small program around the configuration server for process-level tests and manual runs:
// scans simulated devices (the arguments that are scan targets, "A-8:3" without any) and, with
// the switch "configServer", serves them on 127.0.0.1 (port 8888, or --port=N). Prints
// "LISTENING <port>" or "INACTIVE" once ready; ends when its standard input ends.

#include "device/Helpers.h"
#include "device/I2CHAL.h"
#include "model/I2CTranslator.h"
#include "tests/support/VirtualMainLoop.h"
#include "ui/configserver/ConfigServer.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cstdio>
#include <string>
#include <string_view>
#include <unistd.h>

int main(int argc, char** argv) {
    using namespace qrb;
    QCoreApplication app(argc, argv);
    // The scan's settle times cost no real time.
    test::TInstalledVirtualMainLoop loop;

    uint16_t port = ui::kConfigServerPort;
    model::TI2CTranslator translator(device::kMaskOffline, false, device::DefaultTransportFactory());
    translator.OnConfigComplete = [](const void*) {};
    int targets = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg.rfind("--port=", 0) == 0) {
            port = static_cast<uint16_t>(std::stoi(std::string(arg.substr(7))));
        } else if (arg.find(':') != std::string_view::npos) {
            translator.AddScanTarget(arg, device::kMaskOffline);
            ++targets;
        }
    }
    if (targets == 0) translator.AddScanTarget("A-8:3", device::kMaskOffline);
    translator.Rescan();

    ui::TConfigServer server(translator, {});
    if (device::HasCommandLineSwitch("configServer", argc, argv)) {
        QString error;
        if (!server.Start(port, &error)) {
            std::fprintf(stderr, "%s\n", error.toLocal8Bit().constData());
            return 1;
        }
        std::printf("LISTENING %u\n", static_cast<unsigned>(server.ServerPort()));
    } else {
        std::printf("INACTIVE\n");
    }
    std::fflush(stdout);

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[256];
        if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0) {
            input.setEnabled(false);
            server.Stop(); // before the translator goes
            QCoreApplication::quit();
        }
    });
    return QCoreApplication::exec();
}
