#include "ui/MainWindowChannels.h"

#include "model/I2CTranslator.h"
#include "ui/MainWindow.h"
#include "ui/channels/ChannelCommands.h"
#include "ui/channels/ChannelList.h"
#include "ui/channels/ColumnMenus.h"
#include "ui/channels/ScanController.h"
#include "ui/dialogs/ChannelOffsetDialog.h"
#include "ui/dialogs/MessageService.h"
#include "ui/dialogs/StatusWindows.h"
#include "ui/texts/QtText.h"
#include "ui/texts/Texts.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QSpinBox>
#include <QStackedWidget>
#include <QToolBar>
#include <QToolButton>

namespace qrb::ui {

namespace {

// The ten shortcut actions and the menus they open.
struct TShortcutAction {
    const char* Name;
    TShortcut Shortcut;
};
constexpr TShortcutAction kShortcutActions[10] = {
    {"actChannelContext", TShortcut::Channel},   {"actSensorContext", TShortcut::Sensor},
    {"actRangeContext", TShortcut::Range},       {"actCouplingcontext", TShortcut::Coupling},
    {"actResistorContext", TShortcut::Resistor}, {"actShuntContext", TShortcut::Shunt},
    {"actSenseContext", TShortcut::Sense},       {"actConnectContext", TShortcut::Connect},
    {"actSupplyContext", TShortcut::Supply},     {"actOffsetContext", TShortcut::Offset},
};

} // namespace

TMainWindowChannels::TMainWindowChannels(TOndrixMain& window) : w_(window) {
    model::TI2CTranslator& translator = *w_.Translator;
    list_ = std::make_unique<TChannelList>(*w_.lbDevControl, *w_.cbDevConAllCh, translator, w_.Options,
                                           State(), *this);
    list_->Pictures = w_.ListGlyphs;
    list_->HideStatusWindowOnMouseMove(w_.tabControl);
    list_->HideStatusWindowOnMouseMove(&w_);
    list_->HideStatusWindowOnMouseMove(w_.gbxControl);
    menus_ = std::make_unique<TColumnMenus>(
        translator, w_.Options, w_.Gate, State(), *this, *list_,
        TModeControls{w_.rbAdHocMode, w_.rbSetupMode, w_.btnCommit, w_.btnRollback});
    scan_ =
        std::make_unique<TScanController>(translator, w_.Options, w_.Gate, State(), *this, *list_, *menus_);
    commands_ =
        std::make_unique<TChannelCommands>(translator, w_.Options, w_.Gate, State(), *this, *list_, *menus_);
    commands_->DialogParent = &w_;
    ConnectCommands();
    AttachCompanions();
}

TMainWindowChannels::~TMainWindowChannels() {
    popup_.reset();
    commands_.reset();
    scan_.reset();
    menus_.reset();
    list_.reset();
}

TMainWindowState TMainWindowChannels::State() {
    return {w_.Busy,
            w_.ChangesPending,
            w_.SetupModified,
            w_.PopupSensorType,
            w_.SupplyColumnLeft,
            w_.OffsetColumnLeft,
            w_.OffsetColumnRight,
            w_.SelectionSyncing,
            w_.FirstScanPending,
            w_.ReCheckRequest,
            w_.ReCheckBase,
            w_.LastReCheck,
            w_.DeviceShutDown,
            w_.SavedInterfaces,
            w_.PendingScanError,
            w_.HistoryList};
}

void TMainWindowChannels::ConnectCommands() {
    // The actions live as long as the window; they reach the channels only while these exist.
    TOndrixMain& w = w_;
    auto scan = [&w](void (TScanController::*command)()) {
        return [&w, command] {
            if (w.Channels) Guarded([&] { (w.Channels->Scan().*command)(); });
        };
    };
    w.ConnectCommand("actNewScan", scan(&TScanController::actNewScanExecute));
    w.ConnectCommand("actRescan", [&w] {
        if (w.Channels) w.Channels->Scan().actRescanExecute();
    });
    w.ConnectCommand("actOnline", scan(&TScanController::actOnlineExecute));
    w.ConnectCommand("actOffline", scan(&TScanController::actOfflineExecute));
    w.ConnectCommand("actrefresh", scan(&TScanController::actrefreshExecute));
    QObject::connect(w.miRefreshAllStats, &QAction::triggered, list_.get(),
                     scan(&TScanController::actrefreshExecute));
    for (const TShortcutAction& a : kShortcutActions) {
        const TShortcut shortcut = a.Shortcut;
        w.ConnectCommand(a.Name, [&w, shortcut] {
            if (w.Channels) w.Channels->Menus().ShortcutContext(shortcut);
        });
    }

    // The channel menu and the history menu. Copy and paste of the Edit menu trigger the same
    // items while the list has the focus.
    auto command = [&w](void (TChannelCommands::*handler)()) {
        return [&w, handler] {
            if (w.Channels) Guarded([&] { (w.Channels->Commands().*handler)(); });
        };
    };
    struct TItemCommand {
        const char* Name;
        void (TChannelCommands::*Handler)();
    };
    static constexpr TItemCommand kItems[] = {
        {"miRenamechannel", &TChannelCommands::miRenamechannelClick},
        {"miBlink", &TChannelCommands::miBlinkClick},
        {"miTEDS", &TChannelCommands::miTEDSClick},
        {"miTEMP", &TChannelCommands::miTEMPClick},
        {"miAutozero", &TChannelCommands::miAutozeroClick},
        {"miHydrophone", &TChannelCommands::miHydrophoneClick},
        {"miOutputfloating", &TChannelCommands::miOutputfloatingClick},
        {"miClearCharge", &TChannelCommands::miClearChargeClick},
        {"miCopyChannel", &TChannelCommands::miCopyChannelClick},
        {"miPasteChannel", &TChannelCommands::miPasteChannelClick},
        {"miResetChannel", &TChannelCommands::miResetChannelClick},
    };
    for (const TItemCommand& item : kItems) {
        QObject::connect(w.ChannelMenuItems.at(item.Name), &QAction::triggered, list_.get(),
                         command(item.Handler));
        itemCommands_.insert(item.Name);
    }
    for (const auto& [name, tag] : {std::pair{"miOutputFilterOff", 0}, std::pair{"miOutputFilterOn", 1}}) {
        const int filterTag = tag;
        itemCommands_.insert(name);
        QObject::connect(w.ChannelMenuItems.at(name), &QAction::triggered, list_.get(), [&w, filterTag] {
            if (w.Channels) Guarded([&] { w.Channels->Commands().miOutputFilterOnClick(filterTag); });
        });
    }
    menus_->ClearChargeCommand = command(&TChannelCommands::miClearChargeClick);
    w.ConnectCommand("actChInfo", command(&TChannelCommands::actChInfoExecute));
    QObject::connect(w.popHistory, &QMenu::aboutToShow, list_.get(), [&w] {
        const bool enabled = w.Channels && w.Channels->Commands().HistoryItemsEnabled();
        w.miShowHistory->setEnabled(enabled);
        w.miResetHistory->setEnabled(enabled);
    });
    QObject::connect(w.miShowHistory, &QAction::triggered, list_.get(),
                     command(&TChannelCommands::miShowHistoryClick));
    QObject::connect(w.miResetHistory, &QAction::triggered, list_.get(),
                     command(&TChannelCommands::miResetHistoryClick));
    w.miRefreshAllStats->setEnabled(true);
    w.ConnectCommand("actTedsInfo", [&w] {
        if (w.Channels) Guarded([&] { w.Channels->actTedsInfoExecute(); });
    });

    // Enabled before the first scan: the scan sets their states from then on.
    for (const char* name : {"actNewScan", "actRescan", "actOffline", "actTedsInfo"})
        w.SetCommandEnabled(name, true);
}

void TMainWindowChannels::AttachCompanions() {
    list_->StatusWindow = w_.ChannelStatusForm.data();
    list_->UpdateStatusWindow = [this](int row) {
        if (w_.ChannelStatusForm == nullptr) return;
        w_.ChannelStatusForm->ChannelIndex = row;
        w_.ChannelStatusForm->UpdateChannelStatus();
    };
    menus_->OffsetForm = qobject_cast<TChannelOffsetForm*>(w_.ChannelOffsetForm.data());
}

// ---- Host ------------------------------------------------------------------------------------

void TMainWindowChannels::ShowMessage(const std::string& text) {
    Messages().ShowMessage(text);
}

void TMainWindowChannels::ShowError(const std::string& text) {
    Messages().ShowError(text);
}

int TMainWindowChannels::Confirm(int captionId, int headerId, int textId) {
    return QRBMessageDlg(captionId, headerId, textId);
}

void TMainWindowChannels::SetEnabled(const std::string& name, bool enabled) {
    QWidget* widget = nullptr;
    if (name == "mnbMain")
        widget = w_.mnbMain;
    else if (name == "atbMain")
        widget = w_.atbMain;
    else if (name == "pctMain")
        widget = w_.pctMain;
    else if (name.rfind("sbt", 0) == 0)
        widget = w_.findChild<QToolButton*>(ToQt(name));
    const auto item = w_.ChannelMenuItems.find(name);
    if (widget != nullptr)
        widget->setEnabled(enabled);
    else if (item != w_.ChannelMenuItems.end())
        item->second->setEnabled(enabled);
    else
        w_.SetCommandEnabled(name, enabled);
}

void TMainWindowChannels::SetCaption(const std::string& caption) {
    w_.setWindowTitle(ToQt(caption));
}

void TMainWindowChannels::UpdateActions() {
    w_.UpdateActions();
}

void TMainWindowChannels::UpdateErrorHistory() {
    w_.UpdateErrorHistory();
}

void TMainWindowChannels::ShowChannelMenu(const std::vector<TChannelMenuItemState>& items,
                                          const QPoint& screenPos) {
    for (const TChannelMenuItemState& state : items) {
        QAction* item = nullptr;
        // The item is the main menu's command, whose state UpdateActions keeps by the same rule:
        // opening the menu leaves it as it is.
        if (state.Name == "miChInfo") continue;
        auto it = w_.ChannelMenuItems.find(state.Name);
        if (it != w_.ChannelMenuItems.end()) item = it->second;
        if (item == nullptr) continue;
        if (!state.Caption.empty()) item->setText(ToQt(state.Caption));
        item->setVisible(state.Visible);
        item->setEnabled(state.Enabled && ItemHasCommand(state.Name));
        if (item->isCheckable()) item->setChecked(state.Checked);
    }
    w_.popChannel->exec(screenPos);
}

void TMainWindowChannels::ProcessPendingMessages() {
    QCoreApplication::processEvents();
}

void TMainWindowChannels::ApplyLanguage() {
    w_.ApplyLanguage();
}

void TMainWindowChannels::BeginScanPopup(const std::string& header, const std::string& text) {
    popup_ = std::make_unique<TBusyPopup>(header, text, &w_);
}

void TMainWindowChannels::EndScanPopup() {
    popup_.reset();
}

void TMainWindowChannels::SetOverviewText(const std::string& text) {
    w_.lbOverview->setText(ToDisplay(text));
}

void TMainWindowChannels::SetRunMode(bool offline) {
    QPalette palette = w_.lbRunMode->palette();
    palette.setColor(QPalette::WindowText,
                     offline ? QColor(255, 0, 0) : QApplication::palette().color(QPalette::WindowText));
    w_.lbRunMode->setPalette(palette);
    w_.lbRunMode->setText(offline ? QStringLiteral("Offline") : QStringLiteral("Online"));
}

void TMainWindowChannels::SetStatusPanel(int panel, const std::string& text) {
    if (panel >= 0 && panel < 3) w_.stbPanels[panel]->setText(ToQt(text));
}

void TMainWindowChannels::ShowPage(TPage page) {
    QWidget* widget = page == TPage::Control ? w_.tabControl : page == TPage::Log ? w_.tabLog : w_.tabMain;
    w_.pctMain->setCurrentWidget(widget);
}

TPage TMainWindowChannels::CurrentPage() const {
    QWidget* current = w_.pctMain->currentWidget();
    if (current == w_.tabControl) return TPage::Control;
    if (current == w_.tabLog) return TPage::Log;
    return TPage::Main;
}

void TMainWindowChannels::SetDeviceMenusVisible(bool visible) {
    w_.miDevice->menuAction()->setVisible(visible);
    w_.miChannel->menuAction()->setVisible(visible);
}

void TMainWindowChannels::ResetHistoryIcon() {
    w_.imgHistory->clear();
    w_.imgHistory->setPixmap(MainImage(75));
    w_.imgHistory->setToolTip(ToDisplay(GetText(1571)));
    w_.imgHistory->update();
}

void TMainWindowChannels::SaveBeforeSetupChange() {
    w_.SaveBeforeSetupChange();
}

bool TMainWindowChannels::RunOfflineDialog(int& devices, int& channels) {
    TOfflineForm dialog(&w_);
    dialog.seDevices->setValue(devices);
    dialog.seChannels->setValue(channels);
    if (dialog.exec() != QDialog::Accepted) return false;
    devices = dialog.seDevices->value();
    channels = dialog.seChannels->value();
    return true;
}

void TMainWindowChannels::UpdateChannelStatusWindow() {
    if (w_.ChannelStatusForm != nullptr && w_.ChannelStatusForm->isVisible())
        w_.ChannelStatusForm->UpdateChannelStatus();
}

std::string TMainWindowChannels::DefaultSetupFile() const {
    return w_.DefaultSetupFile;
}

void TMainWindowChannels::RunBusy(const std::function<void()>& fn) {
    TOndrixMain::TBusyScope scope(w_);
    fn();
}

bool TMainWindowChannels::RunLongOperation(int headerId, int textId, const std::function<bool()>& call) {
    return w_.RunLongOperation(headerId, textId, call);
}

bool TMainWindowChannels::InputQuery(const std::string& caption, const std::string& prompt,
                                     std::string& value) {
    return Messages().InputQuery(caption, prompt, value);
}

std::string TMainWindowChannels::SensorDatabaseFile() const {
    return w_.SensorDatabaseFile;
}

void TMainWindowChannels::AddLog(const std::string& text) {
    w_.AddLog(text);
}

void TMainWindowChannels::actTedsInfoExecute() {
    if (w_.Busy || !w_.Gate.IsOpen()) return;
    commands_->RunSensorDatabase(false);
}

} // namespace qrb::ui
