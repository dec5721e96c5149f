// The translator's event handlers, the log and the error history of the main window.

#include "device/Format.h"
#include "device/MainLoop.h"
#include "model/I2CTranslator.h"
#include "ui/MainWindow.h"
#include "ui/MainWindowChannels.h"
#include "ui/channels/ScanController.h"
#include "ui/dialogs/MessageService.h"
#include "ui/dialogs/StatusWindows.h"
#include "ui/texts/QtText.h"
#include "ui/texts/Texts.h"

#include <QAction>
#include <QCoreApplication>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>

#include <utility>

namespace qrb::ui {

namespace {

// Error bits of a channel's status byte with their texts, in listing order.
constexpr int kErrorBits[6][2] = {{4, 1033}, {8, 1034}, {16, 1035}, {32, 1036}, {64, 1037}, {128, 1038}};

constexpr int kAlarmSupply = 256;
constexpr int kAlarmFan = 1024;

// Repeats are counted at most this long before their counts are logged.
constexpr uint32_t kRepeatFlushMs = 1000;

constexpr const char* kContextActions[10] = {
    "actChannelContext", "actSensorContext", "actRangeContext",   "actCouplingcontext", "actResistorContext",
    "actShuntContext",   "actSenseContext",  "actConnectContext", "actSupplyContext",   "actOffsetContext"};

} // namespace

void TOndrixMain::AssignTranslatorEvents() {
    model::TI2CTranslator& t = *Translator;
    t.OnI2CLog = [this](const void* s, const std::string& text) { TranslatorI2CLog(s, text); };
    t.OnI2CError = [this](const void* s, const std::string& text) { TranslatorI2CError(s, text); };
    t.OnDeviceLog = [this](const void* s, const std::string& text) { TranslatorDeviceLog(s, text); };
    t.OnTranslatorLog = [this](const void* s, const std::string& text) { TranslatorLog(s, text); };
    t.OnTranslatorError = [this](const void* s, const std::string& text) { TranslatorError(s, text); };
    t.OnError = [this](const void* s, const std::string& text) { TranslatorConfigError(s, text); };
    t.OnScanLog = [this](const void* s, const std::string& text) { TranslatorScanLog(s, text); };
    t.OnScanError = [this](const void* s, const std::string& text) { TranslatorScanError(s, text); };
    t.OnEndUpdate = [this](const void* s, int32_t count) { TranslatorEndUpdate(s, count); };
    t.OnConfigComplete = [this](const void* s) { TranslatorConfigComplete(s); };
    t.OnDeviceChange = [this](const void* s) { TranslatorDeviceChange(s); };
    t.OnDeviceLost = [this](const void* s, const std::string& text) { TranslatorDeviceLost(s, text); };
    t.OnDeviceAlarm = [this](const void* s, int32_t d, int32_t c) { TranslatorDeviceAlarm(s, d, c); };
    t.OnDeviceInterrupt = [this](const void* s, int32_t d, int32_t c) { TranslatorDeviceInterrupt(s, d, c); };
}

std::string TOndrixMain::Stamp() const {
    return device::FormatDateTime(device::GetShortDateFormat() + " " + device::GetLongTimeFormat(), Clock());
}

// ---- Log ------------------------------------------------------------------------------------

void TOndrixMain::AddLog(const std::string& text) {
    FlushLogRepeats();
    AppendLog(text);
}

void TOndrixMain::AppendLog(const std::string& text) {
    mmLog->appendPlainText(ToQt(Stamp() + ": " + text));
    // The view follows the new line at its start, where its time and tag are; the log page shows
    // it there too (the page brings the cursor into view as it shows). A selection the user made
    // for copying stays.
    QTextCursor cursor = mmLog->textCursor();
    if (!cursor.hasSelection()) {
        cursor.movePosition(QTextCursor::End);
        cursor.movePosition(QTextCursor::StartOfBlock);
        mmLog->setTextCursor(cursor);
    }
    if (QScrollBar* bar = mmLog->horizontalScrollBar()) bar->setValue(bar->minimum());
    if (QScrollBar* bar = mmLog->verticalScrollBar()) bar->setValue(bar->maximum());
}

void TOndrixMain::LogRepeatable(const std::string& key, const std::string& text) {
    device::TMainLoop& loop = device::MainLoop();
    // A timer held back by a busy loop does not let the counts wait longer.
    if (repeatTimer_.Running() && loop.NowMs() - repeatTimer_.StartMs >= kRepeatFlushMs) FlushLogRepeats();
    const auto known = repeatKeys_.find(key);
    if (known == repeatKeys_.end()) {
        // Not a line of another kind: the other keys keep counting, else alternating devices
        // would flush each other at every line.
        AppendLog(text);
        repeatKeys_.emplace(key, repeats_.size());
        repeats_.push_back({text, 0});
        return;
    }
    ++repeats_[known->second].Count;
    if (repeatTimer_.Running()) return;
    repeatTimer_.Loop = &loop;
    repeatTimer_.StartMs = loop.NowMs();
    repeatTimer_.Id = loop.StartTimer(kRepeatFlushMs, [this] { FlushLogRepeats(); });
}

void TOndrixMain::FlushLogRepeats() {
    repeatTimer_.Stop();
    const std::vector<TLogRepeat> repeats = std::exchange(repeats_, {});
    repeatKeys_.clear();
    for (const TLogRepeat& r : repeats)
        if (r.Count > 0) AppendLog(device::Format(GetText(1031), {r.Text, r.Count}));
}

void TOndrixMain::TRepeatTimer::Stop() {
    if (Id != 0) Loop->StopTimer(Id);
    Id = 0;
    Loop = nullptr;
}

std::vector<std::string> TOndrixMain::LogLines() const {
    std::vector<std::string> lines;
    const QString all = mmLog->toPlainText();
    if (all.isEmpty()) return lines;
    for (const QString& line : all.split(QLatin1Char('\n')))
        lines.push_back(FromQt(line));
    return lines;
}

void TOndrixMain::btnLogClearClick() {
    if (mmLog->toPlainText().isEmpty()) return;
    if (QRBMessageDlg(346, 400, 401) == kResultYes) mmLog->clear();
}

void TOndrixMain::btnLogSaveClick() {
    TFileDialogRequest request;
    request.Title = GetText(402);
    request.Filter = GetText(343);
    request.DefaultExt = "*.log";
    request.InitialFolder = ExeFolder;
    request.FileName = device::Format("ondrix_%s.log", device::FormatDateTime("yyyy_mm_dd_hh_nn", Clock()));
    std::string fileName;
    if (!Messages().SaveFileName(request, fileName)) return;
    std::string error;
    if (!SaveTextLines(fileName, LogLines(), error)) Messages().ShowError(error);
}

// ---- Handlers -------------------------------------------------------------------------------

void TOndrixMain::TranslatorI2CLog(const void*, const std::string& text) {
    AddLog(text);
}

void TOndrixMain::TranslatorI2CError(const void*, const std::string& text) {
    AddLog(text);
}

void TOndrixMain::TranslatorDeviceLog(const void*, const std::string& text) {
    AddLog("[DEV] " + text);
}

void TOndrixMain::TranslatorLog(const void*, const std::string& text) {
    AddLog("[TRN] " + text);
}

void TOndrixMain::TranslatorError(const void*, const std::string& text) {
    AddLog("[ERR] " + text);
}

void TOndrixMain::TranslatorConfigError(const void*, const std::string& text) {
    AddLog("[CNF] " + text);
}

void TOndrixMain::TranslatorScanLog(const void*, const std::string& text) {
    stbPanels[1]->setText(ToQt(text));
    AddLog("[SCN] " + text);
    // The scan's progress reaches the screen; the gate is closed meanwhile.
    QCoreApplication::processEvents();
}

void TOndrixMain::TranslatorScanError(const void*, const std::string& text) {
    stbPanels[1]->setText(ToQt(text));
    AddLog("[ERR] " + text);
    PendingScanError = text;
    QCoreApplication::processEvents();
}

void TOndrixMain::TranslatorEndUpdate(const void*, int32_t) {
    stbPanels[1]->setText(QString());
}

void TOndrixMain::TranslatorConfigComplete(const void*) {}

void TOndrixMain::TranslatorDeviceChange(const void*) {
    try {
        if (AskingRescan || DeviceShutDown || !Options.RescanAfterDown || !Translator) return;
        // Counting scans the devices: not while a scan or busy phase runs.
        if (!Gate.IsOpen()) return;
        if (Translator->CountDevices() == Translator->LastDeviceCount) return;
        AskingRescan = true;
        const int answer = QRBMessageDlg(1612, 1613, 1614);
        if (answer == kResultYes) actRescanExecute();
        AskingRescan = false;
    } catch (...) {
        AskingRescan = false;
    }
}

void TOndrixMain::LogDeviceLost(const std::string& host) {
    AddLog(device::Format("[ERR] device %s was lost, rescan is necessary.", host));
}

void TOndrixMain::TranslatorDeviceLost(const void*, const std::string& text) {
    LogDeviceLost(text);
    if (!Options.RescanAfterDown) return;
    const std::string message = device::Format(GetText(1060), text);
    // The message says that a rescan was done: it follows the rescan, once while it waits.
    std::function<void()> show;
    if (lossMessages_.insert(message).second) {
        show = [this, message] {
            lossMessages_.erase(message);
            raise();
            activateWindow();
            Messages().ShowMessage(message);
        };
    }
    if (!Channels) {
        Gate.RequestRescan(std::move(show));
        return;
    }
    TScanController& scan = Channels->Scan();
    switch (scan.AutomaticRescan()) {
    case TScanController::TAutoRescan::Allowed:
        scan.actAutoRescanExecute(std::move(show));
        break;
    case TScanController::TAutoRescan::ScanRunning:
        // The running scan is the rescan the message speaks of.
        AddLog(device::Format("[ERR] device %s was lost during a scan, no rescan follows.", text));
        Gate.RunWhenOpen(std::move(show));
        break;
    case TScanController::TAutoRescan::JustRescanned:
        AddLog(device::Format("[ERR] device %s was lost right after a rescan, no rescan follows.", text));
        if (show) lossMessages_.erase(message);
        break;
    }
}

void TOndrixMain::TranslatorDeviceAlarm(const void*, int32_t device, int32_t code) {
    device::MainLoop().Post(lifetime_, [this, device, code] { DoDeviceAlarm(device, code); });
}

void TOndrixMain::TranslatorDeviceInterrupt(const void*, int32_t device, int32_t code) {
    // The history takes the error bits this notification set: a later one may clear them
    // before the posted work runs.
    UpdateErrorHistory();
    device::MainLoop().Post(lifetime_, [this, device, code] { DoDeviceInterrupt(device, code); });
}

std::string TOndrixMain::AlarmDeviceName(int32_t device) const {
    const device::TI2CDevice* d =
        Translator && Translator->HAL ? Translator->HAL->GetDevice(device) : nullptr;
    return d != nullptr ? d->Name : device::Format("#%d", device);
}

void TOndrixMain::DoDeviceAlarm(int32_t device, int32_t code) {
    std::string logText;
    std::string message;
    if (code == kAlarmSupply) {
        logText = device::Format("Voltage supply of device %d out of upper or lower limits! Device shutdown!",
                                 device + 1);
        message = device::Format(GetText(1029), device + 1);
    } else if (code == kAlarmFan) {
        logText = device::Format("Fan damaged or out of control of device %d ! Device shutdown!", device + 1);
        message = device::Format(GetText(1030), device + 1);
    } else {
        return; // the translator raises only these two alarms
    }
    const std::string name = AlarmDeviceName(device);
    LogRepeatable(device::Format("alarm %s %d", name, code), "[IRQ] " + logText);
    DeviceShutDown = true;
    // A device that repeats its alarm gets one box: none while its box is open or waiting, and
    // none until a scan in which it raised no alarm.
    const auto last = alarmScans_.find(name);
    const bool repeated =
        alarmBoxes_.count(name) != 0 || (last != alarmScans_.end() && last->second >= scansDone_);
    alarmScans_[name] = scansStarted_;
    if (repeated) return;
    const bool duringScan =
        Channels && Channels->Scan().AutomaticRescan() == TScanController::TAutoRescan::ScanRunning;
    // The running scan is the rescan: none follows.
    if (duringScan && Options.RescanAfterDown && Translator)
        AddLog(device::Format("[IRQ] device %d was shut down during a scan, no rescan follows.", device + 1));
    // The box waits for the end of a scan or busy phase, as the loss box does: inside it, it
    // would stop the scan until someone answers.
    alarmBoxes_.insert(name);
    Gate.ShowWhenOpen(
        [this, device, name, message, duringScan] { ShowDeviceAlarm(device, name, message, duringScan); });
}

void TOndrixMain::ShowDeviceAlarm(int32_t device, const std::string& name, const std::string& message,
                                  bool duringScan) {
    Messages().ShowMessage(message);
    alarmBoxes_.erase(name);
    if (duringScan || !Options.RescanAfterDown || !Translator) return;
    // From a box the gate shows, the rescan is queued and runs after it.
    if (!Channels) {
        actRescanExecute();
        return;
    }
    TScanController& scan = Channels->Scan();
    switch (scan.AutomaticRescan()) {
    case TScanController::TAutoRescan::Allowed:
        scan.actAutoRescanExecute();
        break;
    case TScanController::TAutoRescan::ScanRunning:
        // A scan that started while the box was open.
        AddLog(device::Format("[IRQ] device %d was shut down during a scan, no rescan follows.", device + 1));
        break;
    case TScanController::TAutoRescan::JustRescanned:
        AddLog(device::Format("[IRQ] device %d was shut down right after a rescan, no rescan follows.",
                              device + 1));
        break;
    }
}

void TOndrixMain::DoDeviceInterrupt(int32_t device, int32_t code) {
    LogRepeatable(device::Format("interrupt %s %d", AlarmDeviceName(device), code),
                  "[IRQ] " + device::Format("Interupt %4.4x on device %d", code, device));
    lbDevControl->viewport()->update();
}

// ---- Error history ----------------------------------------------------------------------------

void TOndrixMain::SetHistoryIcon(int image, int hintId) {
    imgHistory->setPixmap(MainImage(image));
    imgHistory->setToolTip(ToDisplay(GetText(hintId)));
}

void TOndrixMain::UpdateErrorHistory() {
    uint8_t all = 0;
    const int count = Translator ? Translator->ChannelCount() : 0;
    for (int i = 0; i < count; ++i) {
        const model::TQRBRawChannel* channel = Translator->GetChannel(i);
        if (channel != nullptr && channel->Present) all |= channel->ADC8Status;
    }
    imgHistory->clear();
    if (all > 3) {
        for (int i = 0; i < count; ++i) {
            const model::TQRBRawChannel* channel = Translator->GetChannel(i);
            if (channel == nullptr || !channel->Present || channel->ADC8Status <= 3) continue;
            for (const auto& [bit, id] : kErrorBits)
                if ((channel->ADC8Status & bit) != 0)
                    HistoryList.push_back(Stamp() + ": " +
                                          device::Format("CH%2.2d - %s", i + 1, GetText(id)));
        }
        SetHistoryIcon(74, 1572);
    } else if (!HistoryList.empty()) {
        SetHistoryIcon(76, 1572);
    } else {
        SetHistoryIcon(75, 1571);
    }
    imgHistory->update();
}

void TOndrixMain::UpdateActions() {
    for (const char* name : kContextActions)
        SetCommandEnabled(name, false);
    const bool anySelected = !lbDevControl->selectedItems().isEmpty();
    // The channel menu shows the same rule for its row: a selection and a present channel at the
    // focus row (the first selected row while the list has none).
    int focusRow = lbDevControl->currentRow();
    if (focusRow < 0 && anySelected) focusRow = lbDevControl->row(lbDevControl->selectedItems().front());
    const model::TQRBRawChannel* focusChannel = Translator ? Translator->GetChannel(focusRow) : nullptr;
    SetCommandEnabled("actChInfo", anySelected && focusChannel != nullptr && focusChannel->Present);
    if (!anySelected || !Translator || Translator->ChannelCount() == 0) return;
    const model::TQRBRawChannel* channel = nullptr;
    for (int i = 0; i < Translator->ChannelCount(); ++i) {
        if (Translator->IsSelected(i)) {
            channel = Translator->GetChannel(i);
            break;
        }
    }
    if (channel == nullptr) return;
    const bool p = channel->Present;
    const unsigned t = channel->TypeCache;
    for (const char* name : {"actChannelContext", "actSensorContext", "actRangeContext", "actOffsetContext"})
        SetCommandEnabled(name, p);
    SetCommandEnabled("actCouplingcontext", p && t != 0);
    const bool bridge = t == 4 || t == 5 || t == 6;
    for (const char* name : {"actResistorContext", "actShuntContext", "actSenseContext"})
        SetCommandEnabled(name, p && bridge);
    SetCommandEnabled("actConnectContext", p && (t == 3 || t == 8));
    SetCommandEnabled("actSupplyContext", p && t >= 2 && t <= 6);
}

} // namespace qrb::ui
