// Program entry: the single-instance guard first, then the application object, the main
// window (its start-up), the device status, channel status and channel offset windows, the
// event loop. The windows are destroyed in the reverse order of their creation.

#include "device/MainLoop.h"
#include "ui/Application.h"
#include "ui/MainWindow.h"
#include "ui/dialogs/ChannelOffsetDialog.h"
#include "ui/dialogs/MessageService.h"
#include "ui/dialogs/StatusWindows.h"
#include "ui/platform/QtMainLoop.h"
#include "ui/platform/SingleInstance.h"

#include <QDialog>

namespace {

constexpr const char* kAlreadyRunning = "Es läuft bereits eine Software für QRB Messverstärker!\r\n"
                                        "A program for QRB measuring amplifiers is already running!";

} // namespace

int main(int argc, char** argv) {
    using namespace qrb::ui;

    CatchTerminationSignals();
    // Before anything else; a refused start writes no file but the lock file.
    TSingleInstance instance;
    const TSingleInstance::TState guard = instance.Acquire();

    TOndrixApplication app(argc, argv);
    InstallServiceFromEnvironment();
    if (guard == TSingleInstance::TState::AlreadyRunning) {
        Messages().ShowMessage(kAlreadyRunning);
        return 0;
    }
    // A lock that cannot be taken does not keep the program from starting; the log says so.

    TQtMainLoop loop;
    qrb::device::TScopedMainLoop installed(loop);
    ApplyUserLocale();

    TOndrixMain mainWindow;
    if (!mainWindow.FormCreate()) return 0;
    TDeviceStatusForm deviceStatus;
    TChannelStatusForm channelStatus;
    TChannelOffsetForm channelOffset(&mainWindow);
    mainWindow.SetCompanionWindows(&deviceStatus, &channelStatus, &channelOffset);
    // A termination request closes the open boxes and then the main window as its close
    // command does.
    WatchTerminationSignals(&mainWindow, [&mainWindow] { mainWindow.Terminate(); });
    mainWindow.show();
    if (guard == TSingleInstance::TState::Failed)
        mainWindow.AddLog("[ERR] the single-instance lock could not be taken: " + instance.Error());
    return app.exec();
}
