#include "ui/channels/ColumnMenus.h"

#include "device/Format.h"
#include "device/HWVocabulary.h"
#include "model/I2CTranslator.h"
#include "ui/channels/ChannelList.h"
#include "ui/dialogs/ChannelOffsetDialog.h"
#include "ui/platform/ScanGate.h"
#include "ui/platform/ScreenPlacement.h"
#include "ui/texts/QtText.h"
#include "ui/texts/Texts.h"

#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include <algorithm>
#include <cmath>
#include <exception>
#include <initializer_list>

namespace qrb::ui {

namespace {

constexpr const char* kCaption = "QRB Ondrix Interface Software";

bool IsBridge(int type) {
    return type >= model::stDMSFullbridge && type <= model::stDMSQuarterbridge;
}

bool In(int value, std::initializer_list<int> set) {
    return std::find(set.begin(), set.end(), value) != set.end();
}

int RoundHalfEven(double value) {
    return static_cast<int>(std::nearbyint(value));
}

// A DAC value computed from a pick, limited as a signed value to the converter's range.
uint16_t ClampDAC(int value) {
    return static_cast<uint16_t>(std::clamp(value, 0, 4095));
}

TMenuItem Item(std::string caption, int tag, bool checked, TMenuHandler handler, bool enabled = true) {
    TMenuItem item;
    item.Caption = std::move(caption);
    item.Tag = tag;
    item.Checked = checked;
    item.Enabled = enabled;
    item.Handler = handler;
    return item;
}

TMenuItem Separator(int tag = 0) {
    TMenuItem item;
    item.Caption = "-";
    item.Tag = tag;
    return item;
}

int PowerCounts(uint16_t dac, uint16_t zero) {
    return static_cast<int>(dac) - static_cast<int>(zero);
}

TMenuItems SensorMenu(const model::TQRBRawChannel& ch, int fanSpeed) {
    TMenuItems items;
    for (int t = 0; t <= 9; ++t) {
        if (t == model::stCharge && !ch.HasCharge()) continue;
        bool enabled;
        if (t == model::stOff || t == model::stVolt)
            enabled = fanSpeed < 5;
        else if (t == model::stICP || t == model::stCurrent || t == model::stCharge)
            enabled = fanSpeed < 4;
        else
            enabled = fanSpeed < 2;
        items.push_back(Item(device::SensorTypeToText(static_cast<uint16_t>(t)), t, ch.TypeCache == t,
                             TMenuHandler::Sensor, enabled));
    }
    return items;
}

TMenuItems RangeMenu(const model::TQRBRawChannel& ch, bool extended) {
    TMenuItems items;
    const uint8_t version = ch.Info.Version;
    for (int r = 4; r <= 25; ++r) {
        bool offered;
        if (ch.Info.FilterType == 3)
            offered = In(r, {4, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 24, 25});
        else
            offered = extended || In(r, {4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 23, 24, 25});
        if (ch.TypeCache == model::stCurrent)
            offered = offered && In(r, {14, 16, 18, 20, 22, 23, 24, 25});
        else if (ch.TypeCache == model::stCharge)
            offered = offered && In(r, {12, 14, 16, 18, 20, 22, 23, 24, 25});
        if (!offered) continue;
        const auto code = static_cast<uint8_t>(r);
        std::string caption;
        if (ch.TypeCache == model::stCurrent) {
            caption = device::CurrentRangeToText(version, code);
        } else if (ch.TypeCache == model::stCharge) {
            caption = device::ChargeRangeToLongText(version, code, ch.CapacityCache);
        } else {
            caption = device::VoltageRangeToLongText(version, code);
            if (extended) caption += " (" + device::CommonModeRangeToText(version, code) + ")";
        }
        items.push_back(Item(caption, r, ch.RangeCache == r, TMenuHandler::Range));
    }
    return items;
}

TMenuItems CouplingMenu(const model::TQRBRawChannel& ch) {
    const int type = ch.TypeCache;
    if (type == model::stOff || type == model::stCharge) return {};
    std::vector<int> codes;
    switch (type) {
    case model::stVolt:
    case model::stDebug:
        codes = {0, 1, 2, 3, 4, 5, 6};
        break;
    case model::stICP:
    case model::stDMSCurrent:
        codes = {1, 3, 4, 5, 6};
        break;
    case model::stDMSFullbridge:
    case model::stRTD:
        codes = {0, 3, 4};
        break;
    case model::stDMSHalfbridge:
    case model::stDMSQuarterbridge:
        codes = {0, 1, 5, 6};
        break;
    case model::stCurrent:
        codes = {3, 4};
        break;
    default:
        break;
    }
    TMenuItems items;
    for (int c : codes) {
        const std::string caption = (c == 0 && IsBridge(type))
                                        ? std::string("Zero")
                                        : device::CouplingToLongText(static_cast<uint8_t>(c));
        items.push_back(Item(caption, c, ch.CouplingCache == c, TMenuHandler::Coupling));
    }
    return items;
}

TMenuItems ChargeMenu(TColumnMenu menu, const model::TQRBRawChannel& ch) {
    if (!ch.HasCharge()) return {};
    TMenuItems items;
    switch (menu) {
    case TColumnMenu::ChargeCoupling:
        for (int m = 0; m <= 3; ++m)
            items.push_back(Item(device::ChargeModeToText(static_cast<uint8_t>(m)), m,
                                 ch.ChargeModeCache == m, TMenuHandler::ChargeCoupling));
        break;
    case TColumnMenu::ChargeGain:
        for (int c = 0; c <= 1; ++c)
            items.push_back(Item(device::ChargeCapacityToText(static_cast<uint8_t>(c)), c,
                                 ch.CapacityCache == c, TMenuHandler::ChargeGain));
        break;
    case TColumnMenu::ChargeHighPass:
        for (int h = 0; h <= 1; ++h)
            items.push_back(Item(device::ChargeHighPassToText(static_cast<uint8_t>(h), ch.CapacityCache), h,
                                 ch.HighpassCache == h, TMenuHandler::ChargeHighPass));
        break;
    case TColumnMenu::ChargeClearMode:
        for (int m = 0; m <= 1; ++m)
            items.push_back(Item(device::ChargeClearModeToText(static_cast<uint8_t>(m)), m,
                                 ch.AutoClearCache == m, TMenuHandler::ChargeClearMode));
        items.push_back(Separator(2));
        items.push_back(Item(GetText(1597), 3, false, TMenuHandler::ClearCharge, ch.AutoClearCache == 0));
        break;
    default:
        break;
    }
    return items;
}

TMenuItems SenseMenu(const model::TQRBRawChannel& ch) {
    static constexpr const char* kCaptions[4][2] = {
        {"On", "Off"}, {"On (5)", "Off (4)"}, {"On (4)", "Off (3)"}, {"On (3)", "Off (2)"}};
    const int type = ch.TypeCache;
    int row;
    if (type == model::stVolt)
        row = 0;
    else if (IsBridge(type))
        row = type - model::stDMSFullbridge + 1;
    else
        return {};
    return {Item(kCaptions[row][0], 1, ch.SenseCache != 0, TMenuHandler::Sense),
            Item(kCaptions[row][1], 0, ch.SenseCache == 0, TMenuHandler::Sense)};
}

TMenuItems VoltageOutMenu(const model::TQRBRawChannel& ch) {
    if (!IsBridge(ch.TypeCache)) return {};
    const int last = ch.Info.Version < 2 ? 15 : 12;
    const int current =
        RoundHalfEven(PowerCounts(ch.PowerDACCache2, ch.PowerZero) / double(VoltStep(ch.Info.Version)));
    TMenuItems items;
    for (int v = 0; v <= last; ++v)
        items.push_back(
            Item(device::Format("%2.1f V", {double(v)}), v, v == current, TMenuHandler::VoltageOut));
    return items;
}

TMenuItems CurrentOutMenu(const model::TQRBRawChannel& ch, int fanSpeed) {
    const double counts = PowerCounts(ch.PowerDACCache, ch.PowerZero) / double(CurrentStep(ch.Info.Version));
    TMenuItems items;
    if (ch.TypeCache == model::stDMSCurrent) {
        const int current = RoundHalfEven(counts);
        for (int i = 1; i <= 30; ++i)
            items.push_back(
                Item(device::Format("%3.1f mA", {double(i)}), i, i == current, TMenuHandler::CurrentOut));
        return items;
    }
    const int tenths = RoundHalfEven(counts * 10);
    for (int i = 1; i <= 20; ++i) {
        const bool enabled = i <= 9 ? fanSpeed < 5 : fanSpeed < 2;
        items.push_back(Item(device::Format("%3.1f mA", {i * 0.5}), i, 5 * i == tenths,
                             TMenuHandler::CurrentOut, enabled));
    }
    return items;
}

TMenuItems SupplyMenu(const model::TQRBRawChannel& ch) {
    if (ch.TypeCache != model::stVolt) return {};
    const int n = ch.Info.Version < 2 ? 20 : 24;
    TMenuItems items;
    items.push_back(Item("OFF", -1, ch.SupplyCache == 0, TMenuHandler::SupplyOff));
    items.push_back(Separator(-1));
    if (ch.SupplyCache == 2) {
        const int current =
            RoundHalfEven(PowerCounts(ch.PowerDACCache, ch.PowerZero) / double(CurrentStep(ch.Info.Version)));
        for (int i = 1; i <= n; ++i)
            items.push_back(
                Item(device::Format("%3.1f mA", {double(i)}), i, i == current, TMenuHandler::SupplyCurrent));
    } else {
        const int volts =
            RoundHalfEven(PowerCounts(ch.PowerDACCache2, ch.PowerZero) / double(VoltStep(ch.Info.Version)));
        for (int v = 1; v <= n; ++v)
            items.push_back(
                Item(device::Format("%2.1f V", {double(v)}), v, v == volts, TMenuHandler::SupplyVoltage));
    }
    items.push_back(Separator(-1));
    if (ch.SupplyCache == 2)
        items.push_back(Item(GetText(1618), 1, false, TMenuHandler::SupplyToVoltage));
    else
        items.push_back(Item(GetText(1619), 1, false, TMenuHandler::SupplyToCurrent));
    return items;
}

} // namespace

float VoltStep(uint8_t version) {
    return version < 2 ? 102.4f : 105.4583f;
}
float CurrentStep(uint8_t version) {
    return version < 2 ? 30.634666f : 78.635765f;
}

// ---- Hit test ------------------------------------------------------------------------------

TColumnMenu SupplyColumnMenuAt(int x, int typeCache, const TColumnBounds& bounds) {
    if (!(bounds.SupplyLeft < x && x < bounds.OffsetLeft)) return TColumnMenu::None;
    if (typeCache == model::stICP || typeCache == model::stDMSCurrent) return TColumnMenu::CurrentOut;
    if (IsBridge(typeCache)) return TColumnMenu::VoltageOut;
    if (typeCache == model::stCharge) return TColumnMenu::ChargeClearMode;
    if (typeCache == model::stVolt) return TColumnMenu::Supply;
    return TColumnMenu::None;
}

TColumnMenu FixedColumnMenuAt(int x, int typeCache, int supplyCache, const TColumnBounds& bounds) {
    if (bounds.OffsetLeft < x && x < bounds.OffsetRight) return TColumnMenu::OffsetEditor;
    if (x > bounds.OffsetRight) return TColumnMenu::None;
    const int t = typeCache;
    if (x >= 28 && x <= 115) return TColumnMenu::Channel;
    if (x >= 121 && x <= 250) return TColumnMenu::Sensor;
    if (x >= 253 && x <= 325) return TColumnMenu::Range;
    if (x >= 334 && x <= 408) {
        if (t >= model::stVolt && t <= model::stRTD) return TColumnMenu::Coupling;
        if (t == model::stCharge) return TColumnMenu::ChargeCoupling;
        return TColumnMenu::None;
    }
    if (x >= 410 && x <= 492) {
        if (IsBridge(t)) return TColumnMenu::Resistor;
        if (t == model::stDMSCurrent || t == model::stRTD) return TColumnMenu::Connection;
        if (t == model::stCharge) return TColumnMenu::ChargeGain;
        return TColumnMenu::None;
    }
    if (x >= 500 && x <= 568) return IsBridge(t) ? TColumnMenu::Shunt : TColumnMenu::None;
    if (x >= 570 && x <= 658) {
        if (IsBridge(t) || (t == model::stVolt && supplyCache == 1)) return TColumnMenu::Sense;
        if (t == model::stCharge) return TColumnMenu::ChargeHighPass;
    }
    return TColumnMenu::None;
}

std::vector<TColumnMenu> ColumnMenusAt(int x, int typeCache, int supplyCache, const TColumnBounds& bounds) {
    std::vector<TColumnMenu> menus;
    for (TColumnMenu m :
         {SupplyColumnMenuAt(x, typeCache, bounds), FixedColumnMenuAt(x, typeCache, supplyCache, bounds)})
        if (m != TColumnMenu::None) menus.push_back(m);
    return menus;
}

// ---- Menu builders -------------------------------------------------------------------------

TMenuItems BuildSettingsMenu(TColumnMenu menu, const model::TQRBRawChannel& ch, const TMenuOptions& options) {
    if (!ch.Present) return {};
    const int type = ch.TypeCache;
    switch (menu) {
    case TColumnMenu::Sensor:
        return SensorMenu(ch, options.FanSpeed);
    case TColumnMenu::Range:
        return RangeMenu(ch, options.UseExtendedRanges);
    case TColumnMenu::Coupling:
        return CouplingMenu(ch);
    case TColumnMenu::ChargeCoupling:
    case TColumnMenu::ChargeGain:
    case TColumnMenu::ChargeHighPass:
    case TColumnMenu::ChargeClearMode:
        return ChargeMenu(menu, ch);
    case TColumnMenu::Resistor:
        if (!IsBridge(type)) return {};
        return {Item("120 Ohm", 1, ch.Is350OhmCache == 0, TMenuHandler::Resistor),
                Item("350 Ohm", 0, ch.Is350OhmCache == 1, TMenuHandler::Resistor)};
    case TColumnMenu::Connection:
        if (type != model::stDMSCurrent && type != model::stRTD) return {};
        return {Item("2-Wire", 1, ch.PwrAtSignalCache != 0, TMenuHandler::Connection),
                Item("4-wire", 0, ch.PwrAtSignalCache == 0, TMenuHandler::Connection)};
    case TColumnMenu::Sense:
        return SenseMenu(ch);
    case TColumnMenu::Shunt:
        if (!IsBridge(type)) return {};
        return {Item("On", 1, ch.DMSShuntCache != 0, TMenuHandler::Shunt),
                Item("Off", 0, ch.DMSShuntCache == 0, TMenuHandler::Shunt)};
    case TColumnMenu::VoltageOut:
        return VoltageOutMenu(ch);
    case TColumnMenu::CurrentOut:
        return CurrentOutMenu(ch, options.FanSpeed);
    case TColumnMenu::Supply:
        return SupplyMenu(ch);
    default:
        return {};
    }
}

std::vector<TChannelMenuItemState> ChannelMenuStates(const model::TI2CTranslator& translator, int row,
                                                     int selectedRows) {
    const model::TQRBRawChannel* ch = translator.GetChannel(row);
    const bool present = ch != nullptr && ch->Present;
    const bool online = !translator.OfflineMode;
    const int sel = selectedRows;
    auto state = [](const char* name, bool enabled, bool checked = false) {
        TChannelMenuItemState s;
        s.Name = name;
        s.Enabled = enabled;
        s.Checked = checked;
        return s;
    };
    std::vector<TChannelMenuItemState> states;
    states.push_back(state("miRenamechannel", sel == 1 && present));
    states.push_back(state("miBlink", sel == 1 && present && online));
    // The window lists what the model holds, for simulated channels too.
    states.push_back(state("miChInfo", sel > 0 && present));
    states.push_back(state("miDisableChannel", false));
    // Check marks show the channel's settings also while its items are disabled.
    TChannelMenuItemState off =
        state("miOutputFilterOff", present, ch != nullptr && ch->OutputFilterCache == 0);
    TChannelMenuItemState on =
        state("miOutputFilterOn", present, ch != nullptr && ch->OutputFilterCache != 0);
    if (ch != nullptr) {
        off.Caption = device::OutputFilterToLongText(ch->Info.FilterType, false);
        on.Caption = device::OutputFilterToLongText(ch->Info.FilterType, true);
    }
    states.push_back(off);
    states.push_back(on);
    states.push_back(state("miCopyChannel", sel == 1 && present));
    states.push_back(state("miPasteChannel", sel > 0 && present && translator.ClipboardValid));
    states.push_back(state("miResetChannel", sel > 0 && present));
    states.push_back(state("miTEDS", present && online));
    states.push_back(state("miTEMP", present && online));
    states.push_back(state("miAutozero", present && online));
    states.push_back(state("miClearCharge", present && ch->SensorType == model::stCharge &&
                                                ch->charge_man_clearmode != 0 && online));
    states.push_back(state("miHydrophone", sel > 0 && present, ch != nullptr && ch->open_gnd_shield != 0));
    TChannelMenuItemState floating = state("miOutputfloating", false);
    floating.Visible = ch != nullptr && ch->HasADC18;
    if (floating.Visible) {
        floating.Enabled = sel > 0 && present;
        floating.Checked = ch->MonitorCache != 0;
    }
    states.push_back(floating);
    return states;
}

// ---- The menus on the list -----------------------------------------------------------------

TColumnMenus::TColumnMenus(model::TI2CTranslator& translator, const TSettings& settings,
                           const TScanGate& gate, TMainWindowState state, TChannelsHost& host,
                           TChannelList& list, TModeControls controls)
    : translator_(translator), settings_(settings), gate_(gate), state_(state), host_(host), list_(list),
      controls_(controls) {
    popControl = new QMenu(&list_.List());
    popControl->setObjectName(QStringLiteral("popControl"));
    ExecMenu = [](QMenu& menu, const QPoint& pos) { return menu.exec(pos); };
    ExecDialog = [](QDialog& dialog) { return dialog.exec(); };
    DischargeSelected = [this] { return translator_.ClearChargeSelected(); };
    list_.OnContextPopup = [this](const QPoint& pos) { lbDevControlContextPopup(pos); };
    // Every commit, whoever makes it (a command, the zero adjustment, a loaded setup, the
    // settings), ends here: in setup mode the devices now run what a rollback returns to.
    translator_.OnConfigCommitted = [this](const void*) { SetupModeCommitted(); };
    if (controls_.AdHocMode != nullptr)
        connect(controls_.AdHocMode, &QRadioButton::toggled, this,
                [this] { Guarded([this] { rbAdHocModeClick(); }); });
    if (controls_.Commit != nullptr)
        connect(controls_.Commit, &QPushButton::clicked, this,
                [this] { Guarded([this] { btnCommitClick(); }); });
    if (controls_.Rollback != nullptr)
        connect(controls_.Rollback, &QPushButton::clicked, this,
                [this] { Guarded([this] { btnRollbackClick(); }); });
}

TColumnMenus::~TColumnMenus() {
    translator_.OnConfigCommitted = nullptr;
    list_.OnContextPopup = nullptr;
    delete popControl;
}

bool TColumnMenus::AdHocMode() const {
    return controls_.AdHocMode == nullptr || controls_.AdHocMode->isChecked();
}

void TColumnMenus::SetAdHocMode() {
    if (controls_.AdHocMode != nullptr && !controls_.AdHocMode->isChecked())
        controls_.AdHocMode->setChecked(true);
}

bool TColumnMenus::CanOpen() const {
    return !state_.Busy && gate_.IsOpen();
}

QPoint TColumnMenus::ScreenPos(int x, int y) const {
    return list_.List().viewport()->mapToGlobal(QPoint(x, y));
}

void TColumnMenus::Guarded(const std::function<void()>& fn) {
    // Nothing may leave a Qt handler: the error box shows what went wrong.
    try {
        fn();
    } catch (const std::exception& e) {
        host_.ShowError(e.what());
    } catch (...) {
        host_.ShowError("unknown error");
    }
}

void TColumnMenus::lbDevControlContextPopup(const QPoint& pos) {
    Guarded([&] {
        if (!CanOpen()) return;
        const int row = list_.RowAt(pos);
        if (row < 0 || !list_.IsRowSelected(row)) return;
        const model::TQRBRawChannel* ch = translator_.GetChannel(row);
        if (ch == nullptr) return;
        state_.PopupSensorType = ch->TypeCache;
        const TColumnBounds bounds{state_.SupplyColumnLeft, state_.OffsetColumnLeft,
                                   state_.OffsetColumnRight};
        const TColumnMenu supply = SupplyColumnMenuAt(pos.x(), ch->TypeCache, bounds);
        if (supply != TColumnMenu::None) ShowMenu(supply, pos.x(), pos.y(), row);
        // The pick may have changed the channel, or a scan may have replaced it meanwhile.
        ch = translator_.GetChannel(row);
        if (ch == nullptr) return;
        const TColumnMenu next = FixedColumnMenuAt(pos.x(), ch->TypeCache, ch->SupplyCache, bounds);
        if (next != TColumnMenu::None) ShowMenu(next, pos.x(), pos.y(), row);
    });
}

void TColumnMenus::ShortcutContext(TShortcut shortcut) {
    Guarded([&] {
        if (!CanOpen()) return;
        if (list_.SelectedRowCount() == 0) {
            host_.UpdateActions();
            return;
        }
        int row = -1;
        for (int i = 0; i < translator_.ChannelCount(); ++i)
            if (translator_.IsSelected(i)) {
                row = i;
                break;
            }
        const model::TQRBRawChannel* ch = translator_.GetChannel(row);
        if (ch == nullptr) return;
        const int type = ch->TypeCache;
        state_.PopupSensorType = ch->TypeCache;
        switch (shortcut) {
        case TShortcut::Channel:
            ShowMenu(TColumnMenu::Channel, 60, 60, row);
            break;
        case TShortcut::Sensor:
            ShowMenu(TColumnMenu::Sensor, 180, 60, row);
            break;
        case TShortcut::Range:
            ShowMenu(TColumnMenu::Range, 300, 60, row);
            break;
        case TShortcut::Coupling:
            ShowMenu(type == model::stCharge ? TColumnMenu::ChargeCoupling : TColumnMenu::Coupling, 390, 60,
                     row);
            break;
        case TShortcut::Resistor:
            ShowMenu(TColumnMenu::Resistor, 450, 60, row);
            break;
        case TShortcut::Shunt:
            ShowMenu(TColumnMenu::Shunt, 520, 60, row);
            break;
        case TShortcut::Sense:
            ShowMenu(TColumnMenu::Sense, 590, 60, row);
            break;
        case TShortcut::Connect:
            ShowMenu(TColumnMenu::Connection, 450, 60, row);
            break;
        case TShortcut::Supply: {
            TColumnMenu menu = TColumnMenu::None;
            if (type == model::stICP || type == model::stDMSCurrent)
                menu = TColumnMenu::CurrentOut;
            else if (IsBridge(type))
                menu = TColumnMenu::VoltageOut;
            else if (type == model::stVolt)
                menu = TColumnMenu::Supply;
            if (menu != TColumnMenu::None) ShowMenu(menu, state_.OffsetColumnLeft - 30, 60, row);
            break;
        }
        case TShortcut::Offset:
            ShowMenu(TColumnMenu::OffsetEditor, state_.OffsetColumnLeft, 60, row);
            break;
        }
    });
}

void TColumnMenus::ShowMenu(TColumnMenu menu, int x, int y, int row) {
    if (menu == TColumnMenu::Channel) {
        ShowChannelPopup(x, y, row);
        return;
    }
    if (menu == TColumnMenu::OffsetEditor) {
        ShowOffsetEditor(x, y, row);
        return;
    }
    const model::TQRBRawChannel* ch = translator_.GetChannel(row);
    if (ch == nullptr) return;
    items_ = BuildSettingsMenu(menu, *ch, {settings_.UseExtendedRanges, settings_.FanSpeed});
    popControl->clear();
    if (items_.empty()) return;
    std::vector<QAction*> actions;
    for (const TMenuItem& item : items_) {
        if (item.IsSeparator()) {
            actions.push_back(popControl->addSeparator());
            continue;
        }
        QAction* action = popControl->addAction(ToQt(item.Caption));
        action->setCheckable(item.Checked);
        action->setChecked(item.Checked);
        action->setEnabled(item.Enabled);
        actions.push_back(action);
    }
    QAction* picked = ExecMenu ? ExecMenu(*popControl, ScreenPos(x, y)) : nullptr;
    if (picked == nullptr) return;
    const auto it = std::find(actions.begin(), actions.end(), picked);
    if (it == actions.end()) return;
    const TMenuItem item = items_[static_cast<size_t>(it - actions.begin())];
    if (item.IsSeparator() || !item.Enabled) return;
    RunHandler(item.Handler, item.Tag);
}

void TColumnMenus::ShowChannelPopup(int x, int y, int row) {
    host_.ShowChannelMenu(ChannelMenuStates(translator_, row, list_.SelectedRowCount()), ScreenPos(x, y));
}

void TColumnMenus::ShowOffsetEditor(int x, int y, int row) {
    const model::TQRBRawChannel* ch = translator_.GetChannel(row);
    if (OffsetForm == nullptr || ch == nullptr || !ch->Present) return;
    bool limited = false;
    for (int i = 0; i < translator_.ChannelCount(); ++i) {
        const model::TQRBRawChannel* c = translator_.GetChannel(i);
        if (c != nullptr && c->Present && translator_.IsSelected(i) && c->GainCache == 0) limited = true;
    }
    TChannelOffsetForm& form = *OffsetForm;
    form.Translator = &translator_;
    form.OnApplied = [this](bool clearClipboard) { ApplyChanges(clearClipboard); };
    form.AdHocButton = controls_.AdHocMode;
    form.PendingFlag = &state_.ChangesPending;
    form.SetLimited(limited);
    form.Row = row;
    form.cbOffsetActive->setChecked(ch->OffsetCache != 0);
    form.cbOffsetActiveClick();
    // The pending offset, which is what the list shows.
    form.seOffset->setValue(OffsetPerMille(*ch));
    form.btnApply->setText(ToQt(GetText(452)));
    // Beside the clicked row, moved in where it would cross an edge of the screen; at the size it
    // shows with (the window is reused, the group may have been shown or hidden since).
    form.adjustSize();
    const QPoint screen = ScreenPos(x, y);
    MoveOnScreen(&form, QPoint(screen.x() - 40, screen.y()));
    const int result = ExecDialog ? ExecDialog(form) : QDialog::Rejected;
    if (result != QDialog::Accepted) return;
    JoinSetupChanges();
    WriteOffsetToSelected(translator_, form.cbOffsetActive->isChecked(), form.seOffset->value());
    ApplyChanges(true);
}

// ---- Item handlers -------------------------------------------------------------------------

void TColumnMenus::RunHandler(TMenuHandler handler, int tag) {
    if (handler == TMenuHandler::None) return;
    if (handler == TMenuHandler::ClearCharge) {
        if (ClearChargeCommand) ClearChargeCommand();
        return;
    }
    if (handler == TMenuHandler::Sensor && tag == model::stCurrent && settings_.AskOnCurrent &&
        host_.Confirm(1606, 1607, 1608) != 6)
        return;
    if (list_.SelectedRowCount() == 0) return;
    const bool snapshot =
        handler == TMenuHandler::Sensor ? !state_.ChangesPending : (!AdHocMode() && !state_.ChangesPending);
    if (snapshot) translator_.TakeSnapshot();
    for (int i = 0; i < translator_.ChannelCount(); ++i) {
        const model::TQRBRawChannel* ch = translator_.GetChannel(i);
        if (ch != nullptr && ch->Present && translator_.IsSelected(i)) ApplySetters(handler, tag, i);
    }
    state_.ChangesPending = true;
    ApplyChanges(true);
}

void TColumnMenus::ApplySetters(TMenuHandler handler, int tag, int i) {
    model::TI2CTranslator& t = translator_;
    const model::TQRBRawChannel& ch = *t.GetChannel(i);
    const int type = ch.TypeCache;
    const auto code = static_cast<uint8_t>(tag);
    const int powerZero = ch.PowerZero;
    switch (handler) {
    case TMenuHandler::Sensor:
        if (tag == model::stCharge && !ch.HasCharge()) return;
        t.SetSensorType(i, static_cast<model::TSensorType>(tag));
        return;
    case TMenuHandler::Range: {
        t.SetRange(i, code);
        const model::TQRBRawChannel& c = *t.GetChannel(i);
        if (c.OffsetCache == 0 || c.GainCache != 0) return;
        // The same zero as the offset cell shows.
        const int zero = OffsetZero(c, true);
        const int offset = c.OffsetDACCache;
        if (offset > zero + 1024)
            t.SetDACs(i, c.PowerDACCache, ClampDAC(zero + 1024));
        else if (offset < zero - 1024)
            t.SetDACs(i, c.PowerDACCache, ClampDAC(zero - 1024));
        return;
    }
    case TMenuHandler::Coupling:
        if (ch.IsCouplingAllowed(tag)) t.SetCoupling(i, code);
        return;
    case TMenuHandler::ChargeCoupling:
        if (ch.HasCharge()) t.SetChargeMode(i, code);
        return;
    case TMenuHandler::ChargeGain:
        if (ch.HasCharge()) t.SetChargeCapacity(i, code);
        return;
    case TMenuHandler::ChargeHighPass:
        if (ch.HasCharge()) t.SetChargeHighpass(i, code);
        return;
    case TMenuHandler::ChargeClearMode:
        if (ch.HasCharge()) t.SetChargeManClearMode(i, tag != 1 ? 1 : 0);
        return;
    case TMenuHandler::CurrentOut: {
        if (type != model::stICP && type != model::stDMSCurrent) return;
        const double unit = state_.PopupSensorType == model::stDMSCurrent ? 1.0 : 0.5;
        const int d = RoundHalfEven(tag * unit * double(CurrentStep(ch.Info.Version)));
        t.SetDACs(i, ClampDAC(powerZero + d), ch.OffsetDACCache);
        return;
    }
    case TMenuHandler::VoltageOut: {
        if (!IsBridge(type)) return;
        int d = RoundHalfEven(tag * double(VoltStep(ch.Info.Version)));
        if (d == 2048)
            d = 2047;
        else if (d == 0)
            d = 3;
        t.SetDACs(i, ClampDAC(powerZero + d), ch.OffsetDACCache);
        return;
    }
    case TMenuHandler::SupplyOff:
        if (type != model::stVolt) return;
        t.SetSupply(i, 0);
        t.SetDACs(i, ch.PowerZero, t.GetChannel(i)->OffsetDACCache);
        return;
    case TMenuHandler::SupplyCurrent: {
        if (type != model::stVolt) return;
        const int d = RoundHalfEven(tag * double(CurrentStep(ch.Info.Version)));
        if (ch.HasADC18) t.SetQtrLoadSense(i, 0);
        if (ch.SupplyCache != 2) t.SetSupply(i, 2);
        t.SetDACs(i, ClampDAC(powerZero + d), t.GetChannel(i)->OffsetDACCache);
        return;
    }
    case TMenuHandler::SupplyVoltage: {
        if (type != model::stVolt) return;
        if (ch.HasADC18) t.SetQtrLoadSense(i, 1);
        int d = RoundHalfEven(tag * double(VoltStep(ch.Info.Version)));
        if (!ch.HasADC18 && d >= 2048) d = 2047;
        if (ch.SupplyCache != 1) t.SetSupply(i, 1);
        t.SetDACs(i, ClampDAC(powerZero + d), t.GetChannel(i)->OffsetDACCache);
        return;
    }
    case TMenuHandler::SupplyToVoltage:
        if (type != model::stVolt) return;
        t.SetSupply(i, 1);
        if (ch.HasADC18) t.SetQtrLoadSense(i, 1);
        return;
    case TMenuHandler::SupplyToCurrent:
        if (type != model::stVolt) return;
        t.SetSupply(i, 2);
        if (ch.HasADC18) t.SetQtrLoadSense(i, 0);
        return;
    case TMenuHandler::Sense:
        if (type != model::stVolt && !IsBridge(type)) return;
        t.SetQuarterLoad(i, 0);
        if (type == model::stDMSQuarterbridge && tag == 1) t.SetQuarterLoad(i, 1);
        t.SetSense(i, tag == 1 ? 1 : 0);
        return;
    case TMenuHandler::Resistor:
        if (IsBridge(type)) t.Set120Ohm(i, tag == 1 ? 1 : 0);
        return;
    case TMenuHandler::Shunt:
        if (IsBridge(type)) t.SetDMSShunt(i, tag == 1 ? 1 : 0);
        return;
    case TMenuHandler::Connection:
        if (type == model::stDMSCurrent || type == model::stRTD) t.SetPwrAtSignal(i, tag == 1 ? 1 : 0);
        return;
    case TMenuHandler::None:
    case TMenuHandler::ClearCharge:
        return;
    }
}

// ---- Applying, commit, rollback, mode --------------------------------------------------------

void TColumnMenus::SetCommitButtonsEnabled(bool enabled) {
    if (controls_.Commit != nullptr) controls_.Commit->setEnabled(enabled);
    if (controls_.Rollback != nullptr) controls_.Rollback->setEnabled(enabled);
}

void TColumnMenus::EnableSaveSetup() {
    host_.SetEnabled("actSaveSetup", translator_.ChannelCount() > 0);
}

void TColumnMenus::JoinSetupChanges() {
    if (AdHocMode()) return;
    if (!state_.ChangesPending) translator_.TakeSnapshot();
    state_.ChangesPending = true;
}

void TColumnMenus::ApplyChanges(bool clearClipboard) {
    bool copyHit = false;
    if (AdHocMode()) {
        // Busy and the gate through the box: a rescan waits for the whole commit.
        host_.RunBusy([&] {
            TWaitCursor wait;
            if (translator_.NewConfig(0, true)) {
                bool charge = false;
                for (int i = 0; i < translator_.ChannelCount(); ++i) {
                    const model::TQRBRawChannel* ch = translator_.GetChannel(i);
                    if (ch == nullptr || !ch->Present || !translator_.IsSelected(i)) continue;
                    copyHit = copyHit || ch->CopySource;
                    charge = charge || ch->SensorType == model::stCharge;
                }
                if (charge && DischargeSelected) DischargeSelected();
            } else {
                wait.Release();
                host_.ShowMessage(GetText(1053));
            }
            state_.ChangesPending = false;
            wait.Release();
            host_.SetCaption(kCaption);
            state_.SetupModified = true;
        });
    }
    SetCommitButtonsEnabled(controls_.SetupMode != nullptr && controls_.SetupMode->isChecked());
    if (settings_.ClearHistoryOnConfig) {
        translator_.ClearErrorHistory();
        state_.HistoryList.clear();
    }
    if (clearClipboard && copyHit) translator_.ClearClipboard();
    host_.UpdateActions();
    host_.UpdateErrorHistory();
    list_.Repaint();
}

void TColumnMenus::SetupModeCommitted() {
    if (AdHocMode()) return;
    // After a failure the translator has put the refused channels back at what the devices run.
    translator_.TakeSnapshot();
    state_.ChangesPending = false;
    SetCommitButtonsEnabled(false);
}

void TColumnMenus::btnCommitClick() {
    if (!gate_.IsOpen()) return;
    // Busy and the gate through the box: a rescan waits for the whole commit.
    host_.RunBusy([this] {
        TWaitCursor wait;
        // Success or failure, the commit leaves nothing pending (SetupModeCommitted).
        const bool committed = translator_.NewConfig(0, true);
        EnableSaveSetup();
        if (!committed) {
            wait.Release();
            host_.ShowMessage(GetText(1053));
        }
        wait.Release();
        host_.SetCaption(kCaption);
        state_.SetupModified = true;
    });
    list_.Repaint();
}

void TColumnMenus::btnRollbackClick() {
    translator_.Rollback();
    SetCommitButtonsEnabled(false);
    EnableSaveSetup();
    list_.Repaint();
}

void TColumnMenus::rbAdHocModeClick() {
    if (AdHocMode()) {
        if (state_.ChangesPending && gate_.IsOpen()) {
            translator_.NewConfig(0, true);
            // Committed (or put back where the devices refused): nothing is pending any more,
            // so a later setup session takes a snapshot of its own.
            state_.ChangesPending = false;
        }
        SetCommitButtonsEnabled(false);
        EnableSaveSetup();
    } else {
        host_.SetEnabled("actSaveSetup", false);
    }
}

} // namespace qrb::ui
