#include "ui/channels/ChannelCommands.h"

#include "device/Cp1252.h"
#include "device/Format.h"
#include "model/I2CTranslator.h"
#include "model/SensorDatabase.h"
#include "model/SetupCommon.h"
#include "ui/channels/ChannelList.h"
#include "ui/channels/ColumnMenus.h"
#include "ui/dialogs/MessageService.h"
#include "ui/dialogs/SensorDatabaseForms.h"
#include "ui/dialogs/StatusWindows.h"
#include "ui/platform/ScanGate.h"
#include "ui/texts/QtText.h"
#include "ui/texts/Texts.h"

#include <QDialog>
#include <QListWidget>

#include <algorithm>
#include <memory>
#include <utility>

namespace qrb::ui {

namespace {

// A DAC value from a stored record or a sum with it, limited to what the DAC takes.
uint16_t ClampDAC(int value) {
    return static_cast<uint16_t>(std::clamp(value, 0, 4095));
}

uint8_t Flag(uint8_t value) {
    return value != 0 ? 1 : 0;
}

} // namespace

TChannelCommands::TChannelCommands(model::TI2CTranslator& translator, const TSettings& settings,
                                   TScanGate& gate, TMainWindowState state, TChannelsHost& host,
                                   TChannelList& list, TColumnMenus& menus)
    : translator_(translator), settings_(settings), gate_(gate), state_(state), host_(host), list_(list),
      menus_(menus) {
    ExecDialog = [](QDialog& dialog) { return dialog.exec(); };
}

TChannelCommands::~TChannelCommands() = default;

bool TChannelCommands::CanRun() const {
    return !state_.Busy && gate_.IsOpen();
}

int TChannelCommands::FocusRow() const {
    const int row = list_.List().currentRow();
    if (row < 0 || row >= list_.List().count() || row >= translator_.ChannelCount()) return -1;
    return row;
}

model::TQRBRawChannel* TChannelCommands::FocusChannel() const {
    const int row = FocusRow();
    return row >= 0 ? translator_.GetChannel(row) : nullptr;
}

void TChannelCommands::ChangeFocusChannel(const std::function<bool(const model::TQRBRawChannel&)>& change) {
    if (!CanRun()) return;
    host_.RunBusy([this, &change] {
        const model::TQRBRawChannel* channel = FocusChannel();
        if (channel == nullptr) return;
        menus_.JoinSetupChanges();
        if (!change(*channel)) return;
        menus_.ApplyChanges(true);
        list_.Repaint();
    });
}

// ---- Rename, blink, information ------------------------------------------------------------

void TChannelCommands::miRenamechannelClick() {
    if (list_.SelectedRowCount() != 1) return;
    model::TQRBRawChannel* channel = FocusChannel();
    if (channel == nullptr) return;
    std::string name = channel->ChannelName;
    if (!host_.InputQuery(GetText(1507), GetText(1508), name)) return;
    name = model::TrimText(name);
    if (name.empty())
        host_.ShowMessage(GetText(1032));
    else
        channel->SetChannelName(device::ToModelText(name));
    list_.Repaint();
}

void TChannelCommands::miBlinkClick() {
    if (!CanRun() || list_.SelectedRowCount() != 1) return;
    const int row = FocusRow();
    if (row < 0) return;
    host_.RunBusy([&] { translator_.BlinkChannel(row); });
}

void TChannelCommands::actChInfoExecute() {
    if (state_.Busy || list_.SelectedRowCount() < 1) return;
    TExtChannelInfoForm form(DialogParent);
    form.setWindowTitle(ToDisplay(GetText(1620)));
    form.Translator = &translator_;
    ExecDialog(form);
}

// ---- Sensor detection ------------------------------------------------------------------------

void TChannelCommands::miTEDSClick() {
    if (!CanRun()) return;
    if (settings_.AskOnTEDSCheck && host_.Confirm(1558, 1559, 1560) != 6) return;
    host_.RunBusy([this] { DetectSensors(); });
}

void TChannelCommands::DetectSensors() {
    std::vector<TFoundSensor> found;
    std::string msg;
    bool failed = false;
    host_.RunLongOperation(1710, 1711, [&] {
        for (int i = 0; i < translator_.ChannelCount(); ++i) {
            const model::TQRBRawChannel* channel = translator_.GetChannel(i);
            if (channel == nullptr || !channel->Present || !translator_.IsSelected(i)) continue;
            bool shorted = false, found1 = false;
            std::string id;
            if (!translator_.ReadSensorId(i, shorted, found1, id)) {
                failed = true;
                msg = GetText(1052);
                continue;
            }
            if (found1) found.push_back({i, id});
            if (shorted) {
                failed = true;
                msg += device::Format("Ch%2.2d : TEDS ShortCut!\r\n", i + 1);
            }
        }
        return true;
    });
    if (failed)
        host_.ShowMessage(msg);
    else if (found.empty())
        host_.ShowMessage(GetText(1909));
    // A termination answers every box as cancelled: nothing after it reaches the devices.
    if (MessageBoxesEnded()) return;

    const std::vector<TFoundSensor> known = found;

    if (!found.empty() && settings_.AskForNewTEDS) {
        std::erase_if(found,
                      [this](const TFoundSensor& f) { return translator_.FindSensorEntry(f.ID) != -1; });
        if (!found.empty() && host_.Confirm(1902, 1903, 1904) == 6) {
            // What a cancelled dialog puts back when the file cannot give it.
            model::TSensorBlockList before = model::CopySensorBlocks(translator_.SensorEntries);
            for (const TFoundSensor& f : found) {
                model::TSensorRecord rec;
                rec.NewFlag = 1;
                rec.SensorType = 0;
                rec.Range = 4;
                rec.OffsetDAC = 2048;
                model::SetRecordText(rec.SensorID, f.ID);
                const std::string name = device::Format("Ch%2.2d:  0x%s", f.Channel + 1, f.ID);
                model::SetRecordText(rec.SensorName, name);
                model::SetRecordText(rec.DisplayName, name);
                auto entry = std::make_unique<model::TTEDSBlock>(rec);
                translator_.AddSensorEntry(entry);
            }
            RunSensorDatabase(true, std::move(before));
        }
        if (MessageBoxesEnded()) return;
    }

    if (!known.empty() && settings_.AutoTEDSConfig) {
        for (const TFoundSensor& f : known) {
            const int index = translator_.FindSensorEntry(f.ID);
            const model::TTEDSBlock* entry = index >= 0 ? translator_.GetSensorEntry(index) : nullptr;
            if (entry == nullptr) continue;
            // A copy: applying may not change the entry, but the list stays the list's.
            const model::TSensorRecord record = entry->Rec;
            ApplyStoredConfiguration(f.Channel, record);
        }
        list_.Repaint();
    }

    if (!found.empty() && !settings_.AskForNewTEDS && !settings_.AutoTEDSConfig) {
        std::string report = GetText(1900) + "\r\n\r\n";
        for (const TFoundSensor& f : found)
            report += device::Format(GetText(1901), f.Channel + 1, f.ID) + "\r\n";
        host_.ShowMessage(report);
    }
}

void TChannelCommands::ApplyStoredConfiguration(int c, const model::TSensorRecord& r) {
    model::TI2CTranslator& t = translator_;
    model::TQRBRawChannel* channel = t.GetChannel(c);
    if (channel == nullptr || !channel->Present) return;
    menus_.JoinSetupChanges();
    channel->SetChannelName(model::RecordText(r.DisplayName));
    channel->SetDescription(model::RecordText(r.Description));

    t.SetSensorType(c, static_cast<model::TSensorType>(r.SensorType));
    t.SetRange(c, r.Range);
    t.SetOffset(c, Flag(r.Offset));
    if (r.Offset != 0) {
        t.SetDACs(c, channel->PowerDACCache, ClampDAC(r.OffsetDAC));
        channel->OffsetDAC = ClampDAC(r.OffsetDAC);
    }
    t.SetOutputFilter(c, Flag(r.OutputFilter));

    switch (r.SensorType) {
    case model::stVolt:
        t.SetCoupling(c, r.Coupling);
        t.SetSupply(c, r.SupplyMode);
        t.SetDACs(c, ClampDAC(channel->PowerZero + r.SupplyDAC), channel->OffsetDACCache);
        break;
    case model::stICP:
        t.SetCoupling(c, r.Coupling);
        t.SetDACs(c, ClampDAC(r.PowerDAC), channel->OffsetDAC);
        break;
    case model::stDMSCurrent:
    case model::stRTD:
        t.SetCoupling(c, r.Coupling);
        t.SetDACs(c, ClampDAC(r.PowerDAC), channel->OffsetDAC);
        t.SetPwrAtSignal(c, Flag(r.TwoWire));
        break;
    case model::stDMSFullbridge:
    case model::stDMSHalfbridge:
    case model::stDMSQuarterbridge:
        t.SetCoupling(c, r.Coupling);
        t.SetDACs(c, ClampDAC(r.BridgeSupplyDAC), channel->OffsetDAC);
        t.SetQuarterLoad(c, 0);
        if (r.SensorType == model::stDMSQuarterbridge && r.Sense != 0) t.SetQuarterLoad(c, 1);
        t.SetSense(c, Flag(r.Sense));
        t.Set120Ohm(c, r.Is350Ohm != 0 ? 0 : 1);
        t.SetDMSShunt(c, Flag(r.Shunt));
        break;
    case model::stCurrent:
        t.SetCoupling(c, r.Coupling);
        break;
    default:
        break;
    }
    // Each entry is committed by itself (in ad-hoc mode).
    menus_.ApplyChanges(true);
}

bool TChannelCommands::RunSensorDatabase(bool newOnly) {
    return RunSensorDatabase(newOnly, model::CopySensorBlocks(translator_.SensorEntries));
}

bool TChannelCommands::RunSensorDatabase(bool newOnly, model::TSensorBlockList before) {
    bool accepted = false;
    {
        TTEDSInfoForm form(DialogParent);
        form.Translator = &translator_;
        form.Changed = newOnly;
        form.NewOnly = newOnly;
        accepted = ExecDialog(form) == QDialog::Accepted;
    }
    const std::string file = host_.SensorDatabaseFile();
    if (accepted) {
        // A refused save keeps the list in memory; the user is told why.
        if (!translator_.SaveSensorDatabase(file)) host_.ShowMessage(translator_.LastFileError);
    } else if (!translator_.LoadSensorDatabase(file)) {
        // The dialog's edits are dropped all the same; reported as a failed load at start is.
        translator_.SensorEntries = std::move(before);
        const std::string error = translator_.LastFileError;
        host_.AddLog("[ERR] " + error);
        host_.ShowMessage(error);
    }
    return accepted;
}

// ---- Measurements --------------------------------------------------------------------------

void TChannelCommands::miTEMPClick() {
    if (!CanRun()) return;
    if (settings_.AskOnTEMPCheck && host_.Confirm(1565, 1566, 1567) != 6) return;
    host_.RunBusy([this] {
        std::string text;
        const bool ok =
            host_.RunLongOperation(1714, 1715, [&] { return translator_.TemperatureReport(text); });
        host_.ShowMessage(ok ? text : GetText(1044));
        list_.Repaint();
    });
}

void TChannelCommands::miAutozeroClick() {
    if (!CanRun()) return;
    host_.RunBusy([this] {
        const bool ok = host_.RunLongOperation(1704, 1705, [this] { return translator_.AutozeroSelected(); });
        if (!ok) host_.ShowMessage(GetText(1048));
        list_.Repaint();
    });
}

// ---- Toggles and switches ------------------------------------------------------------------

void TChannelCommands::miHydrophoneClick() {
    ChangeFocusChannel([this](const model::TQRBRawChannel& channel) {
        return translator_.SetOpenGndShieldSelected(channel.open_gnd_shield != 0 ? 0 : 1);
    });
}

void TChannelCommands::miOutputfloatingClick() {
    ChangeFocusChannel([this](const model::TQRBRawChannel& channel) {
        return channel.HasADC18 && translator_.SetMonitorSelected(channel.MonitorCache != 0 ? 0 : 1);
    });
}

void TChannelCommands::miOutputFilterOnClick(int tag) {
    if (!CanRun()) return;
    TWaitCursor wait;
    const uint8_t on = tag == 1 ? 1 : 0;
    menus_.JoinSetupChanges();
    for (int i = 0; i < translator_.ChannelCount(); ++i) {
        const model::TQRBRawChannel* channel = translator_.GetChannel(i);
        if (channel != nullptr && channel->Present && translator_.IsSelected(i))
            translator_.SetOutputFilter(i, on);
    }
    menus_.ApplyChanges(true);
}

void TChannelCommands::miClearChargeClick() {
    if (!CanRun()) return;
    // Not Busy, but the gate stays closed through the box: a rescan waits for its end.
    TScanGate::TGuard closed(gate_);
    TWaitCursor wait;
    if (!translator_.ClearChargeSelected()) {
        wait.Release();
        host_.ShowMessage(GetText(1056));
    }
}

// ---- Clipboard and reset -------------------------------------------------------------------

void TChannelCommands::miCopyChannelClick() {
    if (list_.SelectedRowCount() != 1) return;
    const int row = FocusRow();
    if (row < 0) return;
    if (translator_.CopyChannel(row))
        list_.Repaint();
    else
        host_.ShowMessage(GetText(1057));
}

void TChannelCommands::miPasteChannelClick() {
    if (!CanRun()) return;
    if (list_.SelectedRowCount() == 0) {
        host_.ShowMessage(GetText(1054));
        return;
    }
    if (!translator_.ClipboardValid) {
        host_.ShowMessage(GetText(1055));
        host_.SetEnabled("miPasteChannel", false);
        return;
    }
    menus_.JoinSetupChanges();
    if (translator_.PasteChannel()) {
        // The clipboard stays for further pastes.
        menus_.ApplyChanges(false);
        list_.Repaint();
    } else {
        host_.ShowMessage(GetText(1058));
    }
}

void TChannelCommands::miResetChannelClick() {
    if (!CanRun()) return;
    // Not Busy, but the gate stays closed through the box: a rescan waits for its end.
    TScanGate::TGuard closed(gate_);
    TWaitCursor wait;
    const bool ok = translator_.ResetSelectedChannels();
    if (!ok) {
        wait.Release();
        host_.ShowMessage(GetText(1059));
    }
    list_.Repaint();
}

// ---- Error history -------------------------------------------------------------------------

bool TChannelCommands::HistoryItemsEnabled() const {
    return !state_.HistoryList.empty();
}

void TChannelCommands::miShowHistoryClick() {
    if (state_.HistoryList.empty()) return;
    TDeviceInfoForm form(DialogParent);
    form.setWindowTitle(ToDisplay(GetText(415)));
    for (const std::string& line : state_.HistoryList)
        form.AddLine(line);
    ExecDialog(form);
}

void TChannelCommands::miResetHistoryClick() {
    state_.HistoryList.clear();
    translator_.ClearErrorHistory();
    host_.ResetHistoryIcon();
    list_.Repaint();
    host_.UpdateErrorHistory();
}

} // namespace qrb::ui
