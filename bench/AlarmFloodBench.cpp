// Measures the main window under devices that repeat their supply alarm: fake LAN amplifiers
// (QRB_FLOOD_DEVICES, default 1, at most 9) each sending one notification every 5 ms, for
// QRB_FLOOD_SECONDS (default 120), real boxes (each closed as soon as it shows), the window on the
// Qt main loop. Prints how long the File menu takes to open (from the request to its showing),
// the resident memory at start and end, the boxes shown and the log's lines.

#include "device/HWVocabulary.h"
#include "model/I2CTranslator.h"
#include "tests/support/FakeLanAmplifier.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/MainWindow.h"
#include "ui/dialogs/MessageService.h"
#include "ui/platform/QtMainLoop.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace qrb::ui {
namespace {

long ResidentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

class AlarmFlood : public ::testing::Test, protected test::TMainWindowFixture {};

TEST_F(AlarmFlood, FileMenuAndMemory) {
    test::EnsureApplication();
    TQtMainLoop qtLoop;
    device::TScopedMainLoop onQt(qtLoop);
    TWidgetMessageService real;
    TScopedMessageService boxes(real);
    const char* devicesEnv = std::getenv("QRB_FLOOD_DEVICES");
    const int devices = std::clamp(devicesEnv != nullptr ? std::atoi(devicesEnv) : 1, 1, 9);
    std::vector<std::unique_ptr<test::TFakeLanAmplifier>> amps;
    std::string addresses;
    for (int i = 0; i < devices; ++i) {
        test::TFakeAmpConfig config;
        config.Address = "127.0.0." + std::to_string(i + 1);
        config.Channels = 8;
        config.Serial = 4711 + i;
        amps.push_back(std::make_unique<test::TFakeLanAmplifier>(config));
        addresses += (i == 0 ? "" : ",") + amps.back()->Target();
    }
    ASSERT_NO_FATAL_FAILURE(EnterConfigHome());
    TSettings s = LanSettings(addresses);
    s.RescanAfterDown = true;
    s.ConfirmRescan = false;
    ASSERT_NO_FATAL_FAILURE(WriteSettings(s));
    ASSERT_NO_FATAL_FAILURE(StartWindow());
    window->timMainTimer();
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 1000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    const long startKb = ResidentKb();

    std::set<QWidget*> seen;
    QTimer closer;
    closer.callOnTimeout([&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w); box != nullptr && box->isVisible()) {
                seen.insert(w);
                box->accept();
            }
    });
    closer.start(50);

    const char* env = std::getenv("QRB_FLOOD_SECONDS");
    const int seconds = env != nullptr ? std::atoi(env) : 120;
    std::atomic<bool> stop{false};
    std::atomic<long> sent{0};
    std::thread flood([&] {
        device::TIRQMessage alarm;
        alarm.Magic = device::TIRQMessage::MagicValue;
        alarm.IRQWord = 0xFEFF;
        alarm.ChannelStatus.fill(0xFF);
        auto next = std::chrono::steady_clock::now();
        while (!stop) {
            for (auto& amp : amps) {
                amp->SendNotification(alarm);
                ++sent;
            }
            next += std::chrono::milliseconds(5);
            std::this_thread::sleep_until(next);
        }
    });

    std::vector<qint64> menuMs;
    QElapsedTimer total;
    total.start();
    qint64 nextMenu = 2000;
    while (total.elapsed() < seconds * 1000LL) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (total.elapsed() < nextMenu) continue;
        nextMenu += 2000;
        // The request goes through the event queue as a click would; timed until the menu shows.
        QElapsedTimer open;
        open.start();
        bool shown = false;
        QObject::connect(
            window->miFile, &QMenu::aboutToShow, window.get(), [&] { shown = true; },
            Qt::SingleShotConnection);
        QTimer::singleShot(0, window.get(),
                           [&] { window->miFile->popup(window->mapToGlobal(QPoint(10, 10))); });
        while (!shown && open.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        menuMs.push_back(shown ? open.elapsed() : -1);
        window->miFile->hide();
    }
    stop = true;
    flood.join();
    QElapsedTimer drain;
    drain.start();
    while (drain.elapsed() < 500)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    const long endKb = ResidentKb();

    std::vector<qint64> sorted = menuMs;
    std::sort(sorted.begin(), sorted.end());
    std::printf("devices: %d (found %d), notifications sent: %ld in %d s\n", devices,
                window->Translator ? window->Translator->MasterCount() : 0, sent.load(), seconds);
    if (!sorted.empty())
        std::printf("File menu open: %zu tries, median %lld ms, max %lld ms (-1: not within 10 s)\n",
                    sorted.size(), static_cast<long long>(sorted[sorted.size() / 2]),
                    static_cast<long long>(sorted.back()));
    std::printf("resident memory: start %ld kB, end %ld kB\n", startKb, endKb);
    std::printf("boxes shown: %zu, log lines: %zu\n", seen.size(), window->LogLines().size());
    const std::string log = window->mmLog->toPlainText().toStdString();
    std::printf("log size: %zu bytes\n", log.size());
    CloseWindow();
}

} // namespace
} // namespace qrb::ui
