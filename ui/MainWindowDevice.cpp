// The device commands of the main window: the configuration kept in the devices, the device
// information and offset table, the device status window, the front-panel lock and turning
// every device off.

#include "device/Format.h"
#include "device/MainLoop.h"
#include "model/I2CTranslator.h"
#include "ui/MainWindow.h"
#include "ui/MainWindowChannels.h"
#include "ui/channels/ChannelsHost.h"
#include "ui/channels/ScanController.h"
#include "ui/dialogs/MessageService.h"
#include "ui/dialogs/StatusWindows.h"
#include "ui/texts/QtText.h"
#include "ui/texts/Texts.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QToolButton>

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <utility>

namespace qrb::ui {

namespace {

constexpr const char* kOffsetTablePrefix = "OffsetTable";
// Devices are given this long to go off before the window shows the empty model.
constexpr uint32_t kTurnOffSettleMs = 1000;

// The texts of one of the two configuration commands.
struct TConfigCommand {
    bool Store;
    int Confirm[3];
    int Busy[2];
    int Success;
};
constexpr TConfigCommand kStoreConfig = {true, {1536, 1537, 1538}, {1700, 1701}, 390};
constexpr TConfigCommand kClearConfig = {false, {1539, 1540, 1541}, {1702, 1703}, 406};

void RunConfigCommand(TOndrixMain& w, const TConfigCommand& command) {
    if (w.Busy || !w.Gate.IsOpen() || !w.Translator) return;
    const bool ask = command.Store ? w.Options.AskOnSaveDevConfig : w.Options.AskOnInitDevConfig;
    if (ask && QRBMessageDlg(command.Confirm[0], command.Confirm[1], command.Confirm[2]) != kResultYes)
        return;
    const bool ok = w.RunLongOperation(command.Busy[0], command.Busy[1], [&w, &command] {
        return w.Translator->StoreDeviceConfig(command.Store);
    });
    if (ok)
        Messages().ShowMessage(GetText(command.Success));
    else
        Messages().ShowMessage(device::Format(GetText(391), {w.Translator->LastDeviceConfigError}));
}

void SetButtonEnabled(QToolButton* button, bool enabled) {
    if (button != nullptr) button->setEnabled(enabled);
}

// A device turned off drops its connection. That loss is the turn-off's own: the window shows
// the empty model, or the report of a partial turn-off says that a rescan follows; so while it
// is installed a loss is logged only, and asks for neither a rescan nor a message of its own.
class TOwnLosses {
public:
    explicit TOwnLosses(TOndrixMain& w) : w_(w), saved_(w.Translator->OnDeviceLost) {
        w.Translator->OnDeviceLost = [&w](const void*, const std::string& name) { w.LogDeviceLost(name); };
    }
    ~TOwnLosses() {
        if (w_.Translator) w_.Translator->OnDeviceLost = std::move(saved_);
    }
    TOwnLosses(const TOwnLosses&) = delete;
    TOwnLosses& operator=(const TOwnLosses&) = delete;

private:
    TOndrixMain& w_;
    device::TI2CTextEvent saved_;
};

// The lock commands' states after a lock or unlock the devices took.
void ShowLockState(TOndrixMain& w, bool locked) {
    w.SetCommandEnabled("actDevLock", !locked);
    SetButtonEnabled(w.sbtDevLock, !locked);
    w.SetCommandEnabled("actDevUnlock", locked);
    SetButtonEnabled(w.sbtdevUnlock, locked);
}

} // namespace

void TOndrixMain::ConnectDeviceCommands() {
    const std::pair<const char*, void (TOndrixMain::*)()> commands[] = {
        {"actSaveDevConfig", &TOndrixMain::actSaveDevConfigExecute},
        {"actClearDevConfig", &TOndrixMain::actClearDevConfigExecute},
        {"actDevInformation", &TOndrixMain::actDevInformationExecute},
        {"actChannelOffsets", &TOndrixMain::actChannelOffsetsExecute},
        {"actDevStatus", &TOndrixMain::actDevStatusExecute},
        {"actDevLock", &TOndrixMain::actDevLockExecute},
        {"actDevUnlock", &TOndrixMain::actDevUnlockExecute},
        {"actTurnOff", &TOndrixMain::actTurnOffExecute},
    };
    // Connected only: the scan enables them once there are channels.
    for (const auto& [name, handler] : commands)
        ConnectCommand(name, [this, handler] { Guarded([this, handler] { (this->*handler)(); }); });
}

void TOndrixMain::actSaveDevConfigExecute() {
    RunConfigCommand(*this, kStoreConfig);
}

void TOndrixMain::actClearDevConfigExecute() {
    RunConfigCommand(*this, kClearConfig);
}

void TOndrixMain::actDevInformationExecute() {
    if (!Translator) return;
    TDeviceInfoForm form(this);
    form.setWindowTitle(ToDisplay(GetText(410)));
    form.SaveFolder = ExeFolder;
    std::string report;
    Translator->DeviceInfoReport(true, 0, report);
    form.AddText(report);
    form.exec();
}

void TOndrixMain::actChannelOffsetsExecute() {
    if (!Translator) return;
    TDeviceInfoForm form(this);
    form.setWindowTitle(ToDisplay(GetText(64)));
    form.FilePrefix = kOffsetTablePrefix;
    form.SaveFolder = ExeFolder;
    form.AddLine(GetText(64));
    form.AddLine("");
    std::string report;
    Translator->OffsetReport(report);
    form.AddText(report);
    form.exec();
}

void TOndrixMain::actDevStatusExecute() {
    if (Busy || !Gate.IsOpen() || !Translator || DeviceStatusForm == nullptr) return;
    if (DeviceStatusForm->isVisible()) {
        DeviceStatusForm->raise();
        DeviceStatusForm->activateWindow();
        return;
    }
    TWaitCursor wait;
    DeviceStatusForm->show();
    DeviceStatusForm->mmStatus->clear();
    std::string report;
    Translator->DeviceStatusReport(report);
    if (report.empty()) report = GetText(1050);
    DeviceStatusForm->mmStatus->appendPlainText(ToDisplay(report));
}

void TOndrixMain::actDevLockExecute() {
    if (Busy || !Gate.IsOpen() || !Translator || Translator->DeviceLocked) return;
    if (Translator->SetDeviceLock(true)) ShowLockState(*this, true);
}

void TOndrixMain::actDevUnlockExecute() {
    if (Busy || !Gate.IsOpen() || !Translator || !Translator->DeviceLocked) return;
    if (Translator->SetDeviceLock(false)) ShowLockState(*this, false);
}

void TOndrixMain::actTurnOffExecute() {
    if (Busy || !Gate.IsOpen() || !ChannelsPresent()) return;
    if (!SaveBeforeSetupChange()) return;
    if (Options.ConfirmTurnOff && QRBMessageDlg(1603, 1604, 1605) != kResultYes) return;
    int32_t turnedOff = 0;
    bool ok;
    auto ownLosses = std::make_shared<TOwnLosses>(*this);
    {
        // Pending events run here: nothing may reach the devices meanwhile.
        TScanGate::TGuard closed(Gate, TScanGate::THold::GateAndRequests);
        ok = Translator->TurnOffDevices(&turnedOff);
        if (ok) {
            QCoreApplication::processEvents();
            Translator->Disconnect();
            device::MainLoop().Sleep(kTurnOffSettleMs);
            QCoreApplication::processEvents();
        }
    }
    if (!ok) {
        const std::string error = Translator->LastError;
        // Into the log; this also clears the translator's error. A refused multiplexer also
        // went to the scan's error handler: no later scan may show it as its own.
        if (!error.empty()) Translator->ReportError();
        PendingScanError.clear();
        // Nothing is off: every device is still on, and a loss now is a real one.
        if (turnedOff == 0) return;
        // Some devices are off already: the model no longer matches the devices.
        {
            TScanGate::TGuard closed(Gate);
            Messages().ShowMessage(device::Format(GetText(1625), {error}));
        }
        // The one rescan the report announces; the losses of the devices turned off are its own
        // until it ran (the scan drops what the old connections still post).
        std::function<void()> rescanned = [ownLosses] {};
        if (Channels)
            Channels->Scan().actRescanExecute(std::move(rescanned));
        else
            Gate.RequestRescan(std::move(rescanned));
        return;
    }

    DeviceShutDown = true;
    setWindowTitle(QString::fromLatin1(kMainCaption));
    const int masters = Translator->MasterCount();
    const int channels = Translator->ChannelCount();
    stbPanels[2]->setText(ToQt(device::Format(GetText(247), {masters})));
    std::string overview;
    if (masters == 0)
        overview = GetText(1512);
    else if (masters == 1)
        overview = device::Format(GetText(1513), {channels});
    else
        overview = device::Format(GetText(1514), {masters, channels});
    lbOverview->setText(ToDisplay(overview));

    pctMain->setCurrentWidget(tabMain);
    const bool c = ChannelsPresent();
    const bool locked = Translator->DeviceLocked;
    for (const char* name : {"actViewControl", "actSaveDevConfig", "actClearDevConfig", "actTurnOff",
                             "actDevInformation", "actDevStatus", "actrefresh", "actDefaultSetup",
                             "actLoadSetup", "actSaveSetup", "actSaveAsDefault"})
        SetCommandEnabled(name, c);
    // These need channels too, by the scan's rule; an empty model has nothing to adjust or list.
    for (const char* name : {"actZeroAdjust", "actChannelOffsets"})
        SetCommandEnabled(name, c && !Translator->OfflineMode);
    for (QToolButton* button : {sbtdevinfo, sbtdevstatus, sbtViewControl})
        SetButtonEnabled(button, c);
    SetCommandEnabled("actDevLock", c && !locked);
    SetButtonEnabled(sbtDevLock, c && !locked);
    SetCommandEnabled("actDevUnlock", c && locked);
    SetButtonEnabled(sbtdevUnlock, c && locked);
    SetCommandEnabled("actTedsInfo", true);
    SetButtonEnabled(sbtViewLog, true);

    {
        TFlagScope syncing(SelectionSyncing);
        cbDevConAllCh->setChecked(false);
    }
    miDevice->menuAction()->setVisible(c);
    miChannel->menuAction()->setVisible(c);
}

} // namespace qrb::ui
