#include "ui/channels/ScanController.h"

#include "device/FileUtil.h"
#include "device/Format.h"
#include "device/Helpers.h"
#include "device/I2CControl.h"
#include "device/MainLoop.h"
#include "model/I2CTranslator.h"
#include "ui/channels/ChannelList.h"
#include "ui/channels/ColumnMenus.h"
#include "ui/platform/ScanGate.h"
#include "ui/texts/Texts.h"

#include <QTimer>

#include <algorithm>
#include <exception>
#include <utility>

namespace qrb::ui {

namespace {

constexpr const char* kCaption = "QRB Ondrix Interface Software";
constexpr const char* kDefaultSetupName = "DefaultSetup.xml";

// What phase A disables while the scan runs.
constexpr const char* kDisabledDuringScan[] = {
    "actNewScan",      "actRescan",       "sbtRescan",     "sbtViewControl",    "sbtViewLog",
    "sbtdevinfo",      "sbtdevstatus",    "sbtDevLock",    "sbtdevUnlock",      "actrefresh",
    "actTedsInfo",     "actDefaultSetup", "actLoadSetup",  "actSaveSetup",      "mnbMain",
    "atbMain",         "pctMain",         "actZeroAdjust", "actChannelOffsets", "actSaveAsDefault",
    "actClearDefault",
};

// Reset the scan flag on every path out of the scan.
class TScanning {
public:
    explicit TScanning(bool& flag) : flag_(flag) { flag_ = true; }
    ~TScanning() { flag_ = false; }
    TScanning(const TScanning&) = delete;
    TScanning& operator=(const TScanning&) = delete;

private:
    bool& flag_;
};

} // namespace

int FanLimit(const model::TI2CTranslator& translator) {
    int limit = 5;
    for (int i = 0; i < translator.ChannelCount(); ++i) {
        const model::TQRBRawChannel* ch = translator.GetChannel(i);
        if (ch == nullptr) continue;
        const int type = ch->SensorType;
        if ((type == model::stDMSCurrent || type == model::stDMSFullbridge ||
             type == model::stDMSHalfbridge || type == model::stDMSQuarterbridge || type == model::stRTD) &&
            limit > 1)
            limit = 1;
        if (type == model::stICP && ch->OffsetDAC > 123 && limit > 3) limit = 2;
    }
    return limit;
}

std::vector<std::pair<std::string, bool>> ScanEnabledStates(bool channels, bool offline, bool locked,
                                                            bool defaultSetupExists) {
    const bool c = channels, o = offline;
    std::vector<std::pair<std::string, bool>> states;
    for (const char* name :
         {"actZeroAdjust", "actChannelOffsets", "actSaveDevConfig", "actClearDevConfig", "actTurnOff",
          "actDevInformation", "actDevStatus", "actrefresh", "sbtdevinfo", "sbtdevstatus"})
        states.emplace_back(name, c && !o);
    for (const char* name : {"actViewControl", "sbtViewControl", "actDefaultSetup", "actLoadSetup",
                             "actSaveSetup", "actSaveAsDefault"})
        states.emplace_back(name, c);
    for (const char* name : {"actDevLock", "sbtDevLock"})
        states.emplace_back(name, c && !locked && !o);
    for (const char* name : {"actDevUnlock", "sbtdevUnlock"})
        states.emplace_back(name, c && locked && !o);
    states.emplace_back("actClearDefault", defaultSetupExists);
    for (const char* name : {"sbtViewLog", "actTedsInfo"})
        states.emplace_back(name, true);
    return states;
}

device::TInterfaceMask OnlineInterfaces(device::TInterfaceMask saved) {
    const auto bits =
        static_cast<uint16_t>(saved.Bits() & (device::TInterfaceMask::imUSB | device::TInterfaceMask::imLAN));
    return bits != 0 ? device::TInterfaceMask(bits) : device::kMaskUSB | device::kMaskLAN;
}

// ---- The controller ------------------------------------------------------------------------

TScanController::TScanController(model::TI2CTranslator& translator, TSettings& settings, TScanGate& gate,
                                 TMainWindowState state, TChannelsHost& host, TChannelList& list,
                                 TColumnMenus& menus)
    : translator_(translator), settings_(settings), gate_(gate), state_(state), host_(host), list_(list),
      menus_(menus) {
    TickCount = [] { return static_cast<uint32_t>(device::MainLoop().NowMs()); };
    PollChannelStatus = [this] { return translator_.PollChannelStatus(); };
    idleTimer_ = new QTimer(this);
    idleTimer_->setSingleShot(true);
    idleTimer_->setInterval(1);
    connect(idleTimer_, &QTimer::timeout, this, [this] {
        try {
            if (!FormIdle() && state_.ReCheckRequest && translator_.ChannelCount() > 0) idleTimer_->start();
        } catch (const std::exception& e) {
            host_.ShowError(e.what());
        } catch (...) {
            host_.ShowError("unknown error");
        }
    });
    gate_.OnRescan = [this] { Rescan(); };
}

TScanController::~TScanController() {
    gate_.OnRescan = nullptr;
}

void TScanController::actRescanExecute(std::function<void()> after) {
    gate_.RequestRescan(std::move(after));
}

TScanController::TAutoRescan TScanController::AutomaticRescan() const {
    if (scanning_) return TAutoRescan::ScanRunning;
    if (autoEnded_ && TickCount() - autoEnd_ < device::TI2CControl::KeepAliveIntervalMs)
        return TAutoRescan::JustRescanned;
    return TAutoRescan::Allowed;
}

void TScanController::actAutoRescanExecute(std::function<void()> after) {
    autoRequested_ = true;
    actRescanExecute(std::move(after));
}

void TScanController::Rescan() {
    if (scanning_) {
        // Never a scan inside a running scan: it runs after this one.
        actRescanExecute();
        return;
    }
    TScanning scanning(scanning_);
    // A device that breaks in every scan would otherwise rescan without end.
    struct TAutoEnd {
        TScanController& Scan;
        bool Automatic;
        ~TAutoEnd() {
            Scan.autoEnded_ = Automatic;
            if (Automatic) Scan.autoEnd_ = Scan.TickCount();
        }
    } autoEnd{*this, std::exchange(autoRequested_, false)};
    TScanGate::TGuard closed(gate_, TScanGate::THold::GateAndRequests);
    std::exception_ptr error;
    {
        TWaitCursor wait;
        try {
            PhaseA();
        } catch (...) {
            error = std::current_exception();
        }
        // Phase B restores the window for whatever the model now holds.
        host_.SetCaption(kCaption);
        state_.SetupModified = false;
        for (const char* name : {"mnbMain", "atbMain", "pctMain", "actNewScan", "actRescan", "sbtRescan"})
            host_.SetEnabled(name, true);
        wait.Release();
        host_.EndScanPopup();
        PhaseB();
    }
    // Only a failure of the device search itself ends the scan with a box; a refused device
    // is in the log and the status bar.
    const std::string text = std::move(state_.PendingScanError);
    state_.PendingScanError.clear();
    if (!text.empty() && translator_.LastDeviceCount <= 0) host_.ShowMessage(text);
    if (error) std::rethrow_exception(error);
}

void TScanController::PhaseA() {
    state_.DeviceShutDown = false;
    for (const char* name : kDisabledDuringScan)
        host_.SetEnabled(name, false);
    host_.SetOverviewText(GetText(1516));
    host_.BeginScanPopup(GetText(293), GetText(294));
    host_.ProcessPendingMessages();

    translator_.SetInterfaces(settings_.Interfaces);
    translator_.ClearScanTargets();
    translator_.ClearScanTargets2();
    for (const auto& [target, mask] : ScanTargets(settings_))
        translator_.AddScanTarget(target, mask);
    translator_.Rescan();
    host_.ApplyLanguage();
    if (translator_.ChannelCount() > 0) translator_.SetFanSpeed(settings_.FanSpeed);
}

void TScanController::PhaseB() {
    const int masters = translator_.MasterCount();
    const int channels = translator_.ChannelCount();
    host_.SetStatusPanel(0, device::InterfaceMaskToText(settings_.Interfaces));
    if (translator_.LastScanError.empty()) host_.SetStatusPanel(1, "");
    host_.SetStatusPanel(2, device::Format(GetText(247), {masters}));
    if (masters == 0)
        host_.SetOverviewText(GetText(1512));
    else if (masters == 1)
        host_.SetOverviewText(device::Format(GetText(1513), {channels}));
    else
        host_.SetOverviewText(device::Format(GetText(1514), {masters, channels}));

    const bool offline = settings_.Interfaces.HasOffline();
    host_.SetRunMode(offline);
    if (offline) translator_.DefaultSettingsAll();
    host_.SetEnabled("actOnline", offline);
    host_.SetEnabled("actOffline", !offline);

    const bool c = translator_.ChannelCount() > 0;
    if (c) SetFrontPanelLock(settings_.SWStartLock);
    const bool o = translator_.OfflineMode;
    const bool locked = translator_.DeviceLocked;
    host_.SetEnabled("actDevLock", !locked && !o);
    host_.SetEnabled("sbtDevLock", !locked && !o);
    host_.SetEnabled("actDevUnlock", locked && !o);
    host_.SetEnabled("sbtdevUnlock", locked && !o);

    host_.ResetHistoryIcon();
    state_.HistoryList.clear();

    // Nothing collected survives a scan.
    state_.ChangesPending = false;
    list_.Clear();
    if (!c) {
        host_.ShowPage(TPage::Main);
    } else {
        host_.ShowPage(TPage::Control);
        translator_.ClearSelection();
        const std::string nameFormat = GetText(1500);
        for (int i = 0; i < translator_.ChannelCount(); ++i)
            if (model::TQRBRawChannel* ch = translator_.GetChannel(i))
                ch->SetChannelName(device::Format(nameFormat, {i + 1}));
        list_.FillRows(translator_.ChannelCount());
        menus_.SetAdHocMode();
        menus_.SetCommitButtonsEnabled(false);
        state_.SelectionSyncing = false;
    }

    const std::string defaultSetup = host_.DefaultSetupFile();
    for (const auto& [name, enabled] : ScanEnabledStates(c, o, locked, device::FileExists(defaultSetup)))
        host_.SetEnabled(name, enabled);
    list_.UncheckAllChannels();
    host_.SetDeviceMenusVisible(c);
    host_.UpdateActions();
    LoadDefaultSetup();
}

void TScanController::LoadDefaultSetup() {
    const std::string file = host_.DefaultSetupFile();
    if (translator_.ChannelCount() == 0 || !settings_.UseDefaultSetup || !device::FileExists(file)) return;
    if (!translator_.LoadSetup(file, false)) {
        // No box after a scan; the log says why the default setup is not in use.
        host_.AddLog(device::Format("[ERR] the default setup %s could not be loaded: %s", file,
                                    translator_.LastFileError));
        return;
    }
    TWaitCursor wait;
    if (!translator_.NewConfig(0, true)) {
        wait.Release();
        host_.ShowMessage(device::Format(GetText(1043), {translator_.LastError}));
        return;
    }
    if (settings_.ClearHistoryOnConfig) {
        translator_.ClearErrorHistory();
        state_.HistoryList.clear();
    }
    host_.UpdateActions();
    host_.UpdateErrorHistory();
    list_.Repaint();
    host_.SetCaption(std::string(kCaption) + " - " + kDefaultSetupName);
    wait.Release();
    const int limit = FanLimit(translator_);
    if (settings_.FanSpeed > limit) {
        translator_.SetFanSpeed(limit);
        settings_.FanSpeed = limit;
    }
    state_.SetupModified = false;
}

void TScanController::SetFrontPanelLock(bool locked) {
    if (state_.Busy || translator_.DeviceLocked == locked) return;
    if (!translator_.SetDeviceLock(locked)) return;
    host_.SetEnabled("actDevLock", !locked);
    host_.SetEnabled("sbtDevLock", !locked);
    host_.SetEnabled("actDevUnlock", locked);
    host_.SetEnabled("sbtdevUnlock", locked);
}

// ---- Commands ------------------------------------------------------------------------------

void TScanController::actNewScanExecute() {
    if (!gate_.IsOpen()) return;
    host_.SaveBeforeSetupChange();
    if (translator_.ChannelCount() > 0 && settings_.ConfirmRescan && host_.Confirm(1600, 1601, 1602) != 6)
        return;
    actRescanExecute();
}

void TScanController::actOnlineExecute() {
    if (!gate_.IsOpen()) return;
    if (host_.Confirm(1615, 1616, 1617) != 6) return;
    settings_.Interfaces = OnlineInterfaces(state_.SavedInterfaces);
    actNewScanExecute();
}

void TScanController::actOfflineExecute() {
    if (!gate_.IsOpen()) return;
    int devices = 1;
    int channels = 8;
    if (!host_.RunOfflineDialog(devices, channels)) return;
    state_.SavedInterfaces = settings_.Interfaces;
    settings_.Interfaces = device::kMaskOffline;
    settings_.VirtDevices = std::clamp(devices, 1, 8);
    settings_.VirtChannels = std::clamp(channels, 1, 8);
    actNewScanExecute();
}

void TScanController::actrefreshExecute() {
    if (!gate_.IsOpen() || host_.CurrentPage() != TPage::Control) return;
    if (PollChannelStatus && PollChannelStatus()) list_.Repaint();
}

void TScanController::timMainTimer() {
    if (state_.FirstScanPending) {
        state_.FirstScanPending = false;
        actRescanExecute([this] {
            if (translator_.ChannelCount() == 0 && settings_.OfflineCheck) actOfflineExecute();
        });
        return;
    }
    if (translator_.ChannelCount() > 0 && settings_.TimedReCheck && !state_.ReCheckRequest) {
        const uint32_t tick = TickCount();
        const uint32_t since = tick - state_.LastReCheck;
        if (static_cast<int64_t>(since) > static_cast<int64_t>(settings_.TimedReCheckIntv)) {
            state_.ReCheckRequest = true;
            state_.ReCheckBase = tick - 1000;
            state_.LastReCheck = tick;
        }
    }
    if (state_.ReCheckRequest && !idleTimer_->isActive()) idleTimer_->start();
}

bool TScanController::FormIdle() {
    if (translator_.ChannelCount() == 0 || !state_.ReCheckRequest) return false;
    if (static_cast<uint32_t>(TickCount() - state_.ReCheckBase) <= 1000) return false;
    // The request ends with this pass, also when the poll raises.
    struct TEndRequest {
        bool& Request;
        ~TEndRequest() { Request = false; }
    } end{state_.ReCheckRequest};
    if (!state_.Busy && gate_.IsOpen() && PollChannelStatus && PollChannelStatus()) {
        list_.Repaint();
        host_.UpdateChannelStatusWindow();
    }
    return true;
}

} // namespace qrb::ui
