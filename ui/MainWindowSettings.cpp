// LoadSettings and SaveSettings of the main window over "Ondrix.ini", and the settings command.

#include "model/I2CTranslator.h"
#include "model/RegisterTables.h"
#include "ui/MainWindow.h"
#include "ui/channels/ScanController.h"
#include "ui/dialogs/MessageService.h"
#include "ui/dialogs/ModalRunner.h"
#include "ui/dialogs/SettingsForm.h"
#include "ui/platform/ScreenPlacement.h"
#include "ui/texts/Texts.h"

#include <QGuiApplication>
#include <QListWidget>
#include <QScreen>

#include <memory>

namespace qrb::ui {

void TOndrixMain::LoadSettings() {
    int screenWidth = 1024, screenHeight = 768;
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        screenWidth = screen->geometry().width();
        screenHeight = screen->geometry().height();
    }
    const TSettings defaults = DefaultSettings(screenWidth, screenHeight, UserFolder);
    // A file that cannot be read gives the defaults; the start logs why, and the file is
    // not written over at close.
    settingsError_.clear();
    const TSettings settings = LoadSettingsFile(SettingsFile, defaults, settingsError_);

    // 1. Geometry (the minimum size still applies) and window state. The keys hold the window's
    // inner area, as they are written: a window manager's frame is drawn around it.
    QRect inner(settings.Left, settings.Top, settings.Width, settings.Height);
    // The window opens whole on the screen it was closed on (the primary one when that is gone):
    // its frame moved in, and no larger than the screen's area. A place that fits stays as
    // stored. Where the frame is not known yet, the placement rule moves it in once it is.
    const QRect area = AvailableAreaFor(inner);
    if (!area.isEmpty()) {
        const QRect shown = frameGeometry();
        const QRect client = geometry();
        const QMargins frame(client.left() - shown.left(), client.top() - shown.top(),
                             shown.right() - client.right(), shown.bottom() - client.bottom());
        const QSize room = area.size().shrunkBy(frame);
        inner.setSize(inner.size().boundedTo(room).expandedTo(minimumSize()));
        const QRect outer = inner.marginsAdded(frame);
        inner.moveTopLeft(KeepOnScreen(outer, area) + QPoint(frame.left(), frame.top()));
    }
    setGeometry(inner);
    if (settings.State == 2)
        setWindowState(windowState() | Qt::WindowMaximized);
    else if (settings.State == 1)
        setWindowState(windowState() | Qt::WindowMinimized);
    // 2.-6. Language, interfaces, simulated devices, LAN targets, options, colours.
    SetLangOffset(settings.LangOffset);
    Options = settings;
    SetupFolder = settings.SetupFolder;
    settingsLoaded_ = true;
    // 7. Hand-overs to the translator.
    if (Translator) {
        Translator->SetDebugLevel(Options.DebugLevel);
        Translator->SetDeviceLock(Options.SWStartLock);
        Translator->SetICPCompVoltage(Options.ICPCompVoltage);
        Translator->SetZeroAverage(Options.ZeroAverage);
    }
}

bool TOndrixMain::SaveSettings(std::string& error) {
    TSettings settings = Options;
    const int32_t state = isMaximized() ? 2 : (isMinimized() ? 1 : 0);
    const QRect inner = geometry();
    const TWindowGeometry geometry =
        GeometryToStore(state, inner.width(), inner.height(), inner.y(), inner.x());
    settings.Width = geometry.Width;
    settings.Height = geometry.Height;
    settings.Top = geometry.Top;
    settings.Left = geometry.Left;
    settings.State = geometry.State;
    settings.LangOffset = LangOffset();
    settings.SetupFolder = SetupFolder;
    return SaveSettingsFile(SettingsFile, settings, error);
}

void TOndrixMain::actSettingsExecute() {
    if (!Translator) return;
    // 1.
    bool commitNeeded = false;
    Translator->SetKeepAlive(false);
    const int32_t oldFan = Options.FanSpeed;
    bool hwLockAfterScan = false;
    std::unique_ptr<TSettingsForm> form;

    // 12. Also after Cancel or an exception.
    auto lastStep = [&] {
        const bool devicesChanged = form && form->DevicesChanged;
        form.reset();
        if (devicesChanged) {
            // The channels switched off for a slow fan are committed before the scan, so they
            // never run as bridges with the fan below normal.
            if (commitNeeded) Translator->NewConfig(0, false);
            Messages().ShowMessage(GetText(1624));
            std::function<void()> after;
            if (hwLockAfterScan)
                after = [this] {
                    if (Translator) Translator->SetHWStartLock(Options.HWStartLock ? 1 : 0);
                };
            Gate.RequestRescan(std::move(after));
        } else {
            if (commitNeeded) Translator->NewConfig(0, false);
            Translator->SetKeepAlive(true);
        }
    };

    try {
        // 2.
        form = std::make_unique<TSettingsForm>(this);
        form->Translator = Translator.get();
        form->NetworkInfo = NetworkInfo.get();
        form->Gate = &Gate;
        form->LoadOptions(Options, SplitCommaText(Options.LANAddresses));
        const bool oldHWLock = Options.HWStartLock;
        // 3.
        if (RunModal(*form) == QDialog::Accepted) {
            // 4. and 9. (the colours and the debug level)
            form->StoreOptions(Options);
            // 5.
            Translator->SetZeroAverage(Options.ZeroAverage);
            // 6. A USB setup may have emptied the model: the forced scan brings the devices back.
            if (Options.HWStartLock != oldHWLock) {
                if (Translator->ChannelCount() > 0)
                    Translator->SetHWStartLock(Options.HWStartLock ? 1 : 0);
                else
                    hwLockAfterScan = form->DevicesChanged;
            }
            // 8.
            if (Options.SWStartLock)
                actDevLockExecute();
            else
                actDevUnlockExecute();
            // 9.
            Translator->SetDebugLevel(Options.DebugLevel);
            // 10.
            if (Options.FanSpeed != oldFan) {
                Translator->SetFanSpeed(Options.FanSpeed);
                if (Options.FanSpeed > 1) {
                    for (int i = 0; i < Translator->ChannelCount(); ++i) {
                        const model::TQRBRawChannel* channel = Translator->GetChannel(i);
                        if (channel == nullptr || !channel->Present) continue;
                        const int type = channel->SensorType;
                        if (type == model::stDMSCurrent || type == model::stDMSFullbridge ||
                            type == model::stDMSHalfbridge || type == model::stDMSQuarterbridge ||
                            type == model::stRTD)
                            Translator->SetSensorType(i, model::stOff);
                    }
                    commitNeeded = true;
                }
            }
            // 11. Only the save at close is silent about a failure.
            std::string error;
            if (!SaveSettings(error)) {
                AddLog("[ERR] " + error);
                Messages().ShowError(error);
            }
            lbDevControl->viewport()->update();
        }
    } catch (...) {
        lastStep();
        throw;
    }
    lastStep();
}

} // namespace qrb::ui
