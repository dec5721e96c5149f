#pragma once
// Shared pieces of the channel list, column menu, offset window and scan tests: the application
// object, the main window's fields, a recording host, and a translator scanned over the
// simulated transport with the list widgets around it.

#include "device/I2CHAL.h"
#include "model/I2CTranslator.h"
#include "tests/support/VirtualMainLoop.h"
#include "ui/channels/ChannelList.h"
#include "ui/channels/ChannelsHost.h"
#include "ui/channels/ColumnMenus.h"
#include "ui/platform/ScanGate.h"
#include "ui/settings/Settings.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <QWidget>

#include <gtest/gtest.h>

#include <array>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace qrb::test {

inline QApplication& ChannelsApplication() {
    static int argc = 1;
    static char name[] = "ui_channels_test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance())) return existing;
        return new QApplication(argc, argv);
    }();
    return *app;
}

// The main window's fields the channel classes share.
struct TWindowFields {
    bool Busy = false;
    bool ChangesPending = false;
    bool SetupModified = false;
    uint16_t PopupSensorType = 0;
    int SupplyColumnLeft = 656;
    int OffsetColumnLeft = 720;
    int OffsetColumnRight = 783;
    bool SelectionSyncing = false;
    bool FirstScanPending = true;
    bool ReCheckRequest = false;
    uint32_t ReCheckBase = 0;
    uint32_t LastReCheck = 0;
    bool DeviceShutDown = false;
    device::TInterfaceMask SavedInterfaces;
    std::string PendingScanError;
    std::vector<std::string> HistoryList;

    ui::TMainWindowState State() {
        return {Busy,
                ChangesPending,
                SetupModified,
                PopupSensorType,
                SupplyColumnLeft,
                OffsetColumnLeft,
                OffsetColumnRight,
                SelectionSyncing,
                FirstScanPending,
                ReCheckRequest,
                ReCheckBase,
                LastReCheck,
                DeviceShutDown,
                SavedInterfaces,
                PendingScanError,
                HistoryList};
    }
};

// Records what the channel classes ask of the window.
class TFakeHost : public ui::TChannelsHost {
public:
    std::vector<std::string> Messages;
    std::vector<std::string> Errors;
    std::vector<std::array<int, 3>> Confirms;
    std::deque<int> ConfirmAnswers; // then DefaultConfirm
    int DefaultConfirm = 6;
    std::map<std::string, bool> Enabled;
    std::string Caption;
    int UpdateActionsCount = 0;
    int UpdateErrorHistoryCount = 0;
    std::vector<std::vector<ui::TChannelMenuItemState>> ChannelMenus;
    std::vector<QPoint> ChannelMenuPositions;
    // The scan.
    std::vector<std::string> Trace;
    std::string Overview;
    bool RunModeOffline = false;
    bool RunModeSet = false;
    std::array<std::string, 3> Panels;
    ui::TPage Page = ui::TPage::Main;
    bool DeviceMenusVisible = false;
    int HistoryResets = 0;
    bool PopupShown = false;
    std::vector<std::string> PopupTexts;
    int SaveOffers = 0;
    int OfflineDialogs = 0;
    bool OfflineAnswer = false;
    int OfflineDevices = 2;
    int OfflineChannels = 8;
    int StatusWindowUpdates = 0;
    std::string DefaultSetup = "/nonexistent/DefaultSetup.xml";
    std::vector<std::string> Logged;

    void ShowMessage(const std::string& text) override {
        Messages.push_back(text);
        Trace.push_back("Message");
    }
    void ShowError(const std::string& text) override { Errors.push_back(text); }
    int Confirm(int captionId, int headerId, int textId) override {
        Confirms.push_back({captionId, headerId, textId});
        if (ConfirmAnswers.empty()) return DefaultConfirm;
        const int answer = ConfirmAnswers.front();
        ConfirmAnswers.pop_front();
        return answer;
    }
    void SetEnabled(const std::string& name, bool enabled) override { Enabled[name] = enabled; }
    void SetCaption(const std::string& caption) override { Caption = caption; }
    void UpdateActions() override { ++UpdateActionsCount; }
    void UpdateErrorHistory() override { ++UpdateErrorHistoryCount; }
    void ShowChannelMenu(const std::vector<ui::TChannelMenuItemState>& items, const QPoint& pos) override {
        ChannelMenus.push_back(items);
        ChannelMenuPositions.push_back(pos);
    }
    void ProcessPendingMessages() override { Trace.push_back("ProcessPendingMessages"); }
    void ApplyLanguage() override { Trace.push_back("ApplyLanguage"); }
    void BeginScanPopup(const std::string& header, const std::string& text) override {
        PopupShown = true;
        PopupTexts = {header, text};
        Trace.push_back("BeginScanPopup");
    }
    void EndScanPopup() override {
        PopupShown = false;
        Trace.push_back("EndScanPopup");
    }
    void SetOverviewText(const std::string& text) override { Overview = text; }
    void SetRunMode(bool offline) override {
        RunModeSet = true;
        RunModeOffline = offline;
    }
    void SetStatusPanel(int panel, const std::string& text) override {
        if (panel >= 0 && panel < 3) Panels[static_cast<size_t>(panel)] = text;
    }
    void ShowPage(ui::TPage page) override { Page = page; }
    ui::TPage CurrentPage() const override { return Page; }
    void SetDeviceMenusVisible(bool visible) override { DeviceMenusVisible = visible; }
    void ResetHistoryIcon() override { ++HistoryResets; }
    void SaveBeforeSetupChange() override {
        ++SaveOffers;
        Trace.push_back("SaveBeforeSetupChange");
    }
    bool RunOfflineDialog(int& devices, int& channels) override {
        ++OfflineDialogs;
        EXPECT_EQ(devices, 1);
        EXPECT_EQ(channels, 8);
        devices = OfflineDevices;
        channels = OfflineChannels;
        return OfflineAnswer;
    }
    void UpdateChannelStatusWindow() override { ++StatusWindowUpdates; }
    std::string DefaultSetupFile() const override { return DefaultSetup; }
    void AddLog(const std::string& text) override { Logged.push_back(text); }

    bool IsEnabled(const std::string& name) const {
        auto it = Enabled.find(name);
        return it != Enabled.end() && it->second;
    }
};

// The list widgets of the control page in a window of the design width.
struct TControlPage {
    QWidget Window;
    QListWidget* List;
    QCheckBox* AllChannels;
    QRadioButton* AdHocMode;
    QRadioButton* SetupMode;
    QPushButton* Commit;
    QPushButton* Rollback;

    TControlPage() {
        auto* layout = new QVBoxLayout(&Window);
        layout->setContentsMargins(0, 0, 0, 0);
        List = new QListWidget(&Window);
        List->setFrameShape(QFrame::NoFrame);
        List->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        List->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        List->setFixedSize(ui::kChannelListDesignWidth, 16 * ui::kChannelRowHeight);
        AllChannels = new QCheckBox(&Window);
        AdHocMode = new QRadioButton(&Window);
        SetupMode = new QRadioButton(&Window);
        AdHocMode->setChecked(true);
        Commit = new QPushButton(&Window);
        Rollback = new QPushButton(&Window);
        Commit->setEnabled(false);
        Rollback->setEnabled(false);
        for (QWidget* w :
             std::initializer_list<QWidget*>{List, AllChannels, AdHocMode, SetupMode, Commit, Rollback})
            layout->addWidget(w);
    }
    ui::TModeControls Controls() { return {AdHocMode, SetupMode, Commit, Rollback}; }
};

// A translator scanned over the simulated transport, with the list and the menus on it.
class ChannelsFixture : public ::testing::Test {
protected:
    TInstalledVirtualMainLoop loop;
    ui::TSettings settings;
    TWindowFields fields;
    TFakeHost host;
    std::unique_ptr<model::TI2CTranslator> translator;
    std::unique_ptr<TControlPage> page;
    std::unique_ptr<ui::TScanGate> gate;
    std::unique_ptr<ui::TChannelList> list;
    std::unique_ptr<ui::TColumnMenus> menus;
    // The captions of the items of every settings menu opened, and the caption to pick.
    std::vector<std::vector<QString>> opened;
    QString pick;

    void SetUp() override {
        ChannelsApplication();
        translator = MakeTranslator(device::kMaskOffline);
        page = std::make_unique<TControlPage>();
        gate = std::make_unique<ui::TScanGate>(&loop);
        list = std::make_unique<ui::TChannelList>(*page->List, *page->AllChannels, *translator, settings,
                                                  fields.State(), host);
        menus = std::make_unique<ui::TColumnMenus>(*translator, settings, *gate, fields.State(), host, *list,
                                                   page->Controls());
        menus->ExecMenu = [this](QMenu& menu, const QPoint&) -> QAction* {
            std::vector<QString> captions;
            QAction* chosen = nullptr;
            for (QAction* a : menu.actions()) {
                captions.push_back(a->isSeparator() ? QStringLiteral("-") : a->text());
                if (!a->isSeparator() && a->text() == pick && chosen == nullptr) chosen = a;
            }
            opened.push_back(captions);
            return chosen;
        };
    }

    void TearDown() override {
        menus.reset();
        list.reset();
        gate.reset();
        page.reset();
        translator.reset();
    }

    static std::unique_ptr<model::TI2CTranslator>
    MakeTranslator(device::TInterfaceMask mask,
                   device::TI2CTransportFactory factory = device::DefaultTransportFactory()) {
        auto t = std::make_unique<model::TI2CTranslator>(mask, false, factory);
        t->OnConfigComplete = [](const void*) {};
        return t;
    }

    // Scans the simulated targets ("A-8:3" ...) and fills the list.
    void Scan(std::initializer_list<const char*> targets) {
        translator->ClearScanTargets();
        for (const char* target : targets)
            translator->AddScanTarget(target, device::kMaskOffline);
        ASSERT_GT(translator->Rescan(), 0);
        list->FillRows(translator->ChannelCount());
    }

    // Selects rows as a user does (the list's click).
    void SelectRows(std::initializer_list<int> rows) {
        page->List->clearSelection();
        for (int row : rows)
            page->List->item(row)->setSelected(true);
    }

    // The channel's sensor type set and committed.
    void SetType(int index, model::TSensorType type) {
        ASSERT_TRUE(translator->SetSensorType(index, type));
        ASSERT_TRUE(translator->NewConfig(0, true));
    }

    model::TQRBRawChannel& Ch(int index) { return *translator->GetChannel(index); }

    // Right click at (x, middle of row).
    void RightClick(int x, int row) {
        menus->lbDevControlContextPopup(QPoint(x, row * ui::kChannelRowHeight + ui::kChannelRowHeight / 2));
    }
};

} // namespace qrb::test
