// The main window with its channel list, column menus and scan: the first timer tick scans
// two simulated amplifiers into 16 rows, a range picked from the range column's menu is
// committed at once, the shortcuts and the window's controls follow.

#include "ui/MainWindowChannels.h"
#include "device/HWVocabulary.h"
#include "model/I2CTranslator.h"
#include "tests/support/FakeLanAmplifier.h"
#include "tests/support/VirtualMainLoop.h"
#include "tests/ui/LoopbackClient.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/ConfigServerControl.h"
#include "ui/platform/QtMainLoop.h"
#include "ui/MainWindow.h"
#include "ui/channels/ChannelCommands.h"
#include "ui/channels/ChannelList.h"
#include "ui/channels/ColumnMenus.h"
#include "ui/dialogs/ChannelOffsetDialog.h"
#include "ui/dialogs/MessageService.h"
#include "ui/dialogs/StatusWindows.h"
#include "ui/texts/Texts.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <set>
#include <filesystem>

namespace qrb::ui {
namespace {

namespace fs = std::filesystem;

class MainWindowChannels : public ::testing::Test, protected test::TMainWindowFixture {
protected:
    // The settings the window starts with.
    virtual void Configure(TSettings&) {}

    test::TInstalledVirtualMainLoop loop;
    TScriptedMessageService script;
    std::unique_ptr<TScopedMessageService> installed;
    std::unique_ptr<TChannelOffsetForm> offsetForm;

    void SetUp() override {
        test::EnsureApplication();
        installed = std::make_unique<TScopedMessageService>(script);
        ASSERT_NO_FATAL_FAILURE(EnterConfigHome());
        TSettings s = SimulatedSettings(2, 8);
        Configure(s);
        ASSERT_NO_FATAL_FAILURE(WriteSettings(s));
        ASSERT_NO_FATAL_FAILURE(CreateWindow());
        offsetForm = std::make_unique<TChannelOffsetForm>(window.get());
        ShowWindow(offsetForm.get());
    }

    void TearDown() override {
        offsetForm.reset();
        CloseWindow();
        SetLangOffset(LangEnglish);
    }
};

TEST_F(MainWindowChannels, FirstTickScansTwoSimulatedAmplifiersIntoSixteenRows) {
    ASSERT_NE(window->Channels, nullptr);
    window->timMainTimer();
    EXPECT_EQ(window->Translator->ChannelCount(), 16);
    EXPECT_EQ(window->lbDevControl->count(), 16);
    EXPECT_EQ(window->pctMain->currentWidget(), window->tabControl);
    EXPECT_EQ(window->lbRunMode->text(), QStringLiteral("Offline"));
    EXPECT_EQ(window->stbPanels[0]->text(), QStringLiteral("[OFFLINE]"));
    EXPECT_TRUE(window->Action("actOnline")->isEnabled());
    EXPECT_FALSE(window->Action("actOffline")->isEnabled());
    EXPECT_TRUE(window->miChannel->menuAction()->isVisible());
    EXPECT_TRUE(window->mnbMain->isEnabled());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("QRB Ondrix Interface Software"));
    EXPECT_TRUE(script.MessageTexts().empty());
}

TEST_F(MainWindowChannels, RangePickedFromTheRangeColumnIsCommittedAtOnce) {
    window->timMainTimer();
    ASSERT_EQ(window->lbDevControl->count(), 16);
    TMainWindowChannels& channels = *window->Channels;
    window->lbDevControl->item(2)->setSelected(true);
    EXPECT_TRUE(window->Translator->IsSelected(2));
    EXPECT_TRUE(window->Action("actRangeContext")->isEnabled());
    const model::TQRBRawChannel& c = *window->Translator->GetChannel(2);
    const QString wanted = QString::fromStdString(device::VoltageRangeToLongText(c.Info.Version, 10));
    int menus = 0;
    channels.Menus().ExecMenu = [&](QMenu& menu, const QPoint&) -> QAction* {
        ++menus;
        for (QAction* a : menu.actions())
            if (a->text() == wanted) return a;
        return nullptr;
    };
    channels.Menus().lbDevControlContextPopup(QPoint(280, 2 * kChannelRowHeight + 10));
    EXPECT_EQ(menus, 1);
    EXPECT_EQ(c.RangeCache, 10);
    EXPECT_EQ(c.Current, c.Pending);
    EXPECT_FALSE(window->ChangesPending);
    EXPECT_TRUE(window->SetupModified);

    // The shortcut opens the same menu.
    window->Action("actRangeContext")->trigger();
    EXPECT_EQ(menus, 2);

    // Setup mode: collected, then committed with the button.
    window->rbSetupMode->setChecked(true);
    channels.Menus().lbDevControlContextPopup(QPoint(280, 2 * kChannelRowHeight + 10));
    EXPECT_TRUE(window->ChangesPending);
    EXPECT_TRUE(window->btnCommit->isEnabled());
    window->btnCommit->click();
    EXPECT_FALSE(window->btnCommit->isEnabled());
    EXPECT_FALSE(window->ChangesPending);
}

TEST_F(MainWindowChannels, OffsetWindowIsTheChannelOffsetForm) {
    window->timMainTimer();
    EXPECT_EQ(window->Channels->Menus().OffsetForm, offsetForm.get());
    EXPECT_EQ(window->Channels->List().StatusWindow, channelStatus.get());
}

TEST_F(MainWindowChannels, ExtendedChannelInformationKeepsItsStateWhenTheChannelMenuOpens) {
    window->timMainTimer();
    ASSERT_EQ(window->lbDevControl->count(), 16);
    ASSERT_TRUE(window->Translator->OfflineMode);
    QAction* info = window->Action("actChInfo");
    auto focusAndSelect = [&](int row) {
        window->lbDevControl->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
        ASSERT_TRUE(window->Translator->IsSelected(row));
    };
    // A right click on the channel name of the row opens the channel menu; it is closed unpicked.
    auto openChannelMenu = [&](int row) {
        bool shownEnabled = false;
        bool opened = false;
        QTimer::singleShot(0, [&] {
            QWidget* popup = QApplication::activePopupWidget();
            opened = popup == window->popChannel;
            shownEnabled = info->isEnabled();
            if (popup != nullptr) popup->close();
        });
        window->Channels->Menus().lbDevControlContextPopup(QPoint(60, row * kChannelRowHeight + 10));
        EXPECT_TRUE(opened);
        return shownEnabled;
    };

    // Simulated channels: the window shows what the model holds.
    focusAndSelect(3);
    EXPECT_TRUE(info->isEnabled());
    EXPECT_TRUE(openChannelMenu(3));
    EXPECT_TRUE(info->isEnabled());
    EXPECT_TRUE(openChannelMenu(3));
    EXPECT_TRUE(info->isEnabled());

    // The focus row's channel decides, also when the menu opens on another selected row.
    window->Translator->GetChannel(5)->Present = false;
    window->lbDevControl->item(3)->setSelected(true);
    window->lbDevControl->setCurrentRow(5, QItemSelectionModel::Select);
    EXPECT_FALSE(info->isEnabled());
    EXPECT_FALSE(openChannelMenu(3));
    EXPECT_FALSE(info->isEnabled());
    window->lbDevControl->setCurrentRow(3, QItemSelectionModel::Select);
    EXPECT_TRUE(info->isEnabled());

    // Nothing selected: disabled.
    window->lbDevControl->clearSelection();
    EXPECT_FALSE(info->isEnabled());
}

// ---- Automatic rescans do not chain --------------------------------------------------------

constexpr uint32_t kGetChannelInfo = 0x30007;
constexpr uint32_t kSetFan = 0x20006;
constexpr uint32_t kWriteChannel = 0x30011;
constexpr uint32_t kWriteI2C = 0x10003;

// One fake LAN amplifier as the only device, its address in the settings.
class LanWindow : public MainWindowChannels {
protected:
    std::unique_ptr<test::TFakeLanAmplifier> amp = [] {
        test::TFakeAmpConfig c;
        c.Address = "127.0.0.1";
        c.Channels = 2;
        return std::make_unique<test::TFakeLanAmplifier>(c);
    }();
    int scans = 0;
    std::function<void()> duringScan;

    void Configure(TSettings& s) override {
        s.Interfaces = device::kMaskLAN;
        s.LANAddresses = amp->Target();
        s.RescanAfterDown = true;
        s.ConfirmRescan = false;
    }
    void SetUp() override {
        MainWindowChannels::SetUp();
        window->Translator->OnScanStart = [this](const void*) {
            // A chain is cut short so that a failing test ends.
            if (++scans >= 8) amp->ClearFaults();
            if (duringScan) duringScan();
        };
    }
    // Steps the loop until nothing is left, what the transport posts included.
    void Settle() {
        for (int i = 0; i < 20; ++i) {
            loop.Step();
            QCoreApplication::processEvents();
        }
    }
    // A fresh scan, the amplifier unlocked (as one that restarted): a loss's rescan must send
    // the start lock.
    void ScanAnewUnlocked() {
        loop.Advance(5000);
        window->Action("actNewScan")->trigger();
        Settle();
        if (amp->Locked()) {
            ASSERT_TRUE(window->Translator->SetDeviceLock(false));
        }
        ASSERT_FALSE(amp->Locked());
        ASSERT_TRUE(window->Options.SWStartLock);
    }
    size_t LogCount(const std::string& part) const {
        const auto lines = window->LogLines();
        return static_cast<size_t>(std::count_if(lines.begin(), lines.end(), [&](const std::string& l) {
            return l.find(part) != std::string::npos;
        }));
    }
    size_t MessageCount(const std::string& text) const {
        const auto texts = script.MessageTexts();
        return static_cast<size_t>(std::count(texts.begin(), texts.end(), text));
    }
};

TEST_F(LanWindow, ConnectionThatBreaksInEveryScanRescansOnceAndShowsTheLossOnce) {
    struct TCase {
        uint32_t Command;
        bool Reset;
    };
    for (const TCase c : {TCase{kSetFan, false}, TCase{kGetChannelInfo, true}}) {
        SCOPED_TRACE(c.Command);
        test::TFakeFault fault;
        fault.Code = c.Command;
        fault.Times = -1;
        fault.Reset = c.Reset;
        fault.Close = !c.Reset;
        amp->ClearFaults();
        amp->AddFault(fault);
        script.Clear();
        window->mmLog->clear();
        scans = 0;
        loop.Advance(5000); // past the interval of an earlier case's rescan
        if (c.Command == kSetFan)
            window->timMainTimer(); // the first scan
        else
            window->Action("actNewScan")->trigger();
        Settle();
        // The user's scan, the one rescan the loss started, then no more.
        EXPECT_EQ(scans, 2);
        const std::string message = device::Format(GetText(1060), "127.0.0.1");
        EXPECT_EQ(MessageCount(message), 1u);
        EXPECT_EQ(LogCount("was lost, rescan is necessary."), 2u);
        EXPECT_EQ(LogCount("[ERR] device 127.0.0.1 was lost right after a rescan, no rescan follows."), 1u);
        // The lost device stays as the scan left it.
        if (c.Command == kSetFan) {
            EXPECT_EQ(window->Translator->ChannelCount(), 2);
        }
        EXPECT_TRUE(window->Gate.IsOpen());
        EXPECT_FALSE(window->Gate.RescanPending());
    }
    // Once the interval has passed a loss starts a rescan again; the user's own command
    // always scans, and a loss after it starts a rescan.
    amp->ClearFaults();
    test::TFakeFault fault;
    fault.Code = kSetFan;
    fault.Times = -1;
    fault.Close = true;
    amp->AddFault(fault);
    loop.Advance(2000);
    window->TranslatorDeviceLost(nullptr, "127.0.0.1");
    Settle();
    EXPECT_EQ(scans, 3);
    window->Action("actNewScan")->trigger();
    Settle();
    EXPECT_EQ(scans, 5);
}

TEST_F(LanWindow, LossDuringAScanStartsNoRescanAndItsMessageFollowsTheScan) {
    size_t messagesDuringScan = 99;
    duringScan = [this, &messagesDuringScan] {
        if (scans != 1) return;
        window->TranslatorDeviceLost(nullptr, "127.0.0.9");
        window->TranslatorDeviceLost(nullptr, "127.0.0.9");
        messagesDuringScan = script.MessageTexts().size();
    };
    window->timMainTimer();
    Settle();
    EXPECT_EQ(scans, 1);
    EXPECT_EQ(messagesDuringScan, 0u);
    EXPECT_EQ(MessageCount(device::Format(GetText(1060), "127.0.0.9")), 1u);
    EXPECT_EQ(LogCount("[ERR] device 127.0.0.9 was lost during a scan, no rescan follows."), 2u);
}

TEST_F(LanWindow, FanAlarmInEveryScanRescansOnce) {
    device::TIRQMessage alarm;
    alarm.Magic = device::TIRQMessage::MagicValue;
    alarm.IRQWord = static_cast<uint16_t>(0xFFFF & ~0x400);
    alarm.ChannelStatus.fill(0xFF);
    test::TFakeFault fault;
    fault.Code = kSetFan;
    fault.Times = -1;
    fault.NotifyAfter = alarm;
    amp->AddFault(fault);
    window->timMainTimer();
    Settle();
    EXPECT_EQ(scans, 2);
    EXPECT_EQ(MessageCount(device::Format(GetText(1030), 1)), 2u);
    EXPECT_EQ(LogCount("[IRQ] device 1 was shut down right after a rescan, no rescan follows."), 1u);
    EXPECT_TRUE(window->DeviceShutDown);
}

// The amplifier's supply alarm before every answer, with real boxes that stay open until the
// test closes them: one box and one rescan over 300 answered requests, which are answered while
// the box is open.
TEST_F(LanWindow, AlarmBeforeEveryAnswerShowsOneBoxAndRescansOnce) {
    window->timMainTimer();
    Settle();
    ASSERT_EQ(scans, 1);
    TWidgetMessageService real;
    TScopedMessageService boxes(real);
    TQtMainLoop qtLoop;
    device::TScopedMainLoop onQt(qtLoop);
    device::TIRQMessage alarm;
    alarm.Magic = device::TIRQMessage::MagicValue;
    alarm.IRQWord = 0xFEFF;
    alarm.ChannelStatus.fill(0xFF);
    test::TFakeFault fault;
    fault.Times = -1;
    fault.NotifyBefore = alarm;
    amp->AddFault(fault);
    // The window's transports run their timers on this loop: the window ends before it.
    struct TAtEnd {
        std::function<void()> Fn;
        ~TAtEnd() { Fn(); }
    } endWindow{[this] {
        offsetForm.reset();
        CloseWindow();
    }};

    TConfigServer server(*window->Translator, ConfigRequestPath(*window));
    ASSERT_TRUE(server.Start(0));
    std::set<QWidget*> seen;
    size_t mostOpen = 0;
    test::TLoopbackClient client(server.ServerPort(), std::vector<std::string>(300, "REQ_DEVSTA"));
    // Checks the open boxes from every event loop; closes them once the client is done.
    QTimer watch;
    watch.callOnTimeout([&] {
        size_t open = 0;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (box == nullptr || !box->isVisible()) continue;
            ++open;
            seen.insert(w);
            if (client.Done()) box->accept();
        }
        mostOpen = std::max(mostOpen, open);
    });
    watch.start(5);
    ASSERT_TRUE(client.Await([] { QCoreApplication::processEvents(QEventLoop::AllEvents, 10); }));
    EXPECT_EQ(client.Answered(), 300u);
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 1500)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(seen.size(), 1u);
    EXPECT_EQ(mostOpen, 1u);
    EXPECT_EQ(scans, 2);
    // Logged once per run of repeats, with its count: a few lines for hundreds of alarms.
    EXPECT_GE(LogCount(" repeated "), 1u);
    EXPECT_LT(LogCount("Voltage supply of device 1 out of upper or lower limits!"), 20u);
}

// Two amplifiers that each repeat their alarm before every answer: one box each, both open at
// once, and the configuration server answers while they are.
class TwoAlarmingLanWindow : public MainWindowChannels {
protected:
    std::vector<std::unique_ptr<test::TFakeLanAmplifier>> amps = [] {
        std::vector<std::unique_ptr<test::TFakeLanAmplifier>> made;
        for (int i = 0; i < 2; ++i) {
            test::TFakeAmpConfig c;
            c.Address = i == 0 ? "127.0.0.1" : "127.0.0.2";
            c.Channels = 2;
            c.Serial = 4711 + i;
            made.push_back(std::make_unique<test::TFakeLanAmplifier>(c));
        }
        return made;
    }();

    void Configure(TSettings& s) override {
        s.Interfaces = device::kMaskLAN;
        s.LANAddresses = amps[0]->Target() + "," + amps[1]->Target();
        s.RescanAfterDown = true;
        s.ConfirmRescan = false;
    }
};

TEST_F(TwoAlarmingLanWindow, GiveOneBoxEachAndRequestsAreAnsweredWhileTheyAreOpen) {
    window->timMainTimer();
    for (int i = 0; i < 20; ++i) {
        loop.Step();
        QCoreApplication::processEvents();
    }
    ASSERT_EQ(window->Translator->MasterCount(), 2);
    TWidgetMessageService real;
    TScopedMessageService boxes(real);
    TQtMainLoop qtLoop;
    device::TScopedMainLoop onQt(qtLoop);
    struct TAtEnd {
        std::function<void()> Fn;
        ~TAtEnd() { Fn(); }
    } endWindow{[this] {
        offsetForm.reset();
        CloseWindow();
    }};
    for (size_t i = 0; i < amps.size(); ++i) {
        device::TIRQMessage alarm;
        alarm.Magic = device::TIRQMessage::MagicValue;
        alarm.IRQWord = i == 0 ? 0xFEFF : 0xFBFF; // supply, fan
        alarm.ChannelStatus.fill(0xFF);
        test::TFakeFault fault;
        fault.Times = -1;
        fault.NotifyBefore = alarm;
        amps[i]->AddFault(fault);
    }

    TConfigServer server(*window->Translator, ConfigRequestPath(*window));
    ASSERT_TRUE(server.Start(0));
    // Device status requests make both devices answer, and alarm, again and again.
    test::TLoopbackClient devsta(server.ServerPort(), std::vector<std::string>(100, "REQ_DEVSTA"));
    std::optional<test::TLoopbackClient> numchn;
    std::set<QWidget*> seen;
    size_t mostOpen = 0;
    QTimer watch;
    watch.callOnTimeout([&] {
        std::vector<QMessageBox*> open;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w); box != nullptr && box->isVisible())
                open.push_back(box);
        seen.insert(open.begin(), open.end());
        mostOpen = std::max(mostOpen, open.size());
        // Asked only once both are open; they are closed once it has its answers.
        if (open.size() == 2 && !numchn)
            numchn.emplace(server.ServerPort(), std::vector<std::string>(20, "REQ_NUMCHN"));
        if (numchn && numchn->Done() && devsta.Done())
            for (QMessageBox* box : open)
                box->accept();
    });
    watch.start(5);
    ASSERT_TRUE(devsta.Await([] { QCoreApplication::processEvents(QEventLoop::AllEvents, 10); }));
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 15000 && (!numchn || !numchn->Done()))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_TRUE(numchn.has_value());
    ASSERT_TRUE(numchn->Done());
    EXPECT_EQ(numchn->Answered(), 20u);
    EXPECT_EQ(devsta.Answered(), 100u);
    clock.restart();
    while (clock.elapsed() < 1500)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(seen.size(), 2u);
    EXPECT_EQ(mostOpen, 2u);
}

TEST_F(LanWindow, CloseDuringAScanEndsTheProgramBeforeAnythingQueued) {
    duringScan = [this] {
        if (scans != 1) return;
        window->WMPowerBroadcast(7); // a resume asks for a rescan
        window->close();
        EXPECT_TRUE(window->isVisible());
    };
    window->timMainTimer();
    Settle();
    EXPECT_EQ(scans, 1);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->Gate.PendingCount(), 0u);
    window->actRescanExecute();
    Settle();
    EXPECT_EQ(scans, 1);
}

// ---- A loss while a commit's box is open ----------------------------------------------------

// Records as the scripted service does; the box with text BlockOn stays open in its own event
// loop until WhileOpen, run from that loop, has returned.
class TBlockingMessages : public TScriptedMessageService {
public:
    std::string BlockOn;
    std::function<void()> WhileOpen;

    void ShowMessage(const std::string& text) override {
        TScriptedMessageService::ShowMessage(text);
        if (text != BlockOn || !WhileOpen) return;
        QEventLoop box;
        QTimer::singleShot(0, &box, [&] {
            WhileOpen();
            box.quit();
        });
        box.exec();
    }
};

TEST_F(LanWindow, LossWhileTheCommitFailedBoxIsOpenRescansAfterItWithTheStartLock) {
    TBlockingMessages boxes;
    TScopedMessageService installedBoxes(boxes);
    boxes.BlockOn = GetText(1053);
    window->timMainTimer();
    Settle();
    ASSERT_EQ(window->Translator->ChannelCount(), 2);

    enum class TPath { AdHocApply, SetupCommit };
    for (const TPath path : {TPath::AdHocApply, TPath::SetupCommit}) {
        SCOPED_TRACE(path == TPath::AdHocApply ? "ad-hoc apply" : "setup commit");
        ASSERT_NO_FATAL_FAILURE(ScanAnewUnlocked());
        boxes.Clear();

        TColumnMenus& menus = window->Channels->Menus();
        window->lbDevControl->item(0)->setSelected(true);
        test::TFakeFault refuse;
        refuse.Code = kWriteChannel;
        refuse.Status = -5;
        refuse.VerifyWords = {0, 0, 0, 0, 0, 0, 0, 0x0010};
        if (path == TPath::SetupCommit) {
            window->rbSetupMode->setChecked(true);
            menus.RunHandler(TMenuHandler::Sensor, model::stVolt);
            ASSERT_TRUE(window->ChangesPending);
        }
        amp->AddFault(refuse);

        const int before = scans;
        int scansInBox = -1;
        bool busyInBox = false;
        boxes.WhileOpen = [&] {
            busyInBox = window->Busy;
            window->TranslatorDeviceLost(nullptr, "127.0.0.1");
            Settle();
            scansInBox = scans - before;
        };
        if (path == TPath::AdHocApply)
            menus.RunHandler(TMenuHandler::Sensor, model::stVolt);
        else
            window->btnCommit->click();
        boxes.WhileOpen = nullptr;
        Settle();

        EXPECT_EQ(boxes.MessageTexts().front(), GetText(1053));
        EXPECT_TRUE(busyInBox);
        EXPECT_EQ(scansInBox, 0);     // nothing scans inside the box
        EXPECT_EQ(scans, before + 1); // the rescan followed it
        EXPECT_TRUE(amp->Locked());
        EXPECT_TRUE(window->Translator->DeviceLocked);
        EXPECT_FALSE(window->SetupModified);
        EXPECT_FALSE(window->Busy);
        EXPECT_TRUE(window->Gate.IsOpen());
        EXPECT_EQ(boxes.MessageTexts().back(), device::Format(GetText(1060), "127.0.0.1"));
    }
}

// Reset and discharge do not set Busy, but no rescan runs inside their failure boxes either.
TEST_F(LanWindow, LossWhileTheResetOrDischargeFailedBoxIsOpenRescansAfterItWithTheStartLock) {
    TBlockingMessages boxes;
    TScopedMessageService installedBoxes(boxes);
    window->timMainTimer();
    Settle();
    ASSERT_EQ(window->Translator->ChannelCount(), 2);

    enum class TPath { Reset, Discharge };
    for (const TPath path : {TPath::Reset, TPath::Discharge}) {
        SCOPED_TRACE(path == TPath::Reset ? "reset" : "discharge");
        const std::string text = GetText(path == TPath::Reset ? 1059 : 1056);
        ASSERT_NO_FATAL_FAILURE(ScanAnewUnlocked());
        boxes.Clear();

        window->lbDevControl->item(0)->setSelected(true);
        test::TFakeFault refuse;
        if (path == TPath::Reset) {
            // The device refuses the defaults' image.
            refuse.Code = kWriteChannel;
            refuse.VerifyWords = {0, 0, 0, 0, 0, 0, 0, 0x0010};
        } else {
            // A CHARGE channel whose clear line the device refuses to pulse.
            ASSERT_TRUE(window->Translator->SetSensorType(0, model::stCharge));
            ASSERT_TRUE(window->Translator->NewConfig(0, true));
            refuse.Code = kWriteI2C;
            refuse.Times = -1;
        }
        refuse.Status = -5;
        amp->AddFault(refuse);

        const int before = scans;
        int scansInBox = -1;
        bool busyInBox = true;
        boxes.BlockOn = text;
        boxes.WhileOpen = [&] {
            busyInBox = window->Busy;
            window->TranslatorDeviceLost(nullptr, "127.0.0.1");
            Settle();
            scansInBox = scans - before;
        };
        if (path == TPath::Reset)
            window->Channels->Commands().miResetChannelClick();
        else
            window->Channels->Commands().miClearChargeClick();
        boxes.WhileOpen = nullptr;
        amp->ClearFaults();
        Settle();

        ASSERT_FALSE(boxes.MessageTexts().empty());
        EXPECT_EQ(boxes.MessageTexts().front(), text);
        EXPECT_FALSE(busyInBox);      // neither command sets Busy
        EXPECT_EQ(scansInBox, 0);     // nothing scans inside the box
        EXPECT_EQ(scans, before + 1); // the rescan followed it
        EXPECT_TRUE(amp->Locked());
        EXPECT_TRUE(window->Translator->DeviceLocked);
        EXPECT_FALSE(window->Busy);
        EXPECT_TRUE(window->Gate.IsOpen());
        EXPECT_EQ(boxes.MessageTexts().back(), device::Format(GetText(1060), "127.0.0.1"));
    }
}

} // namespace
} // namespace qrb::ui
