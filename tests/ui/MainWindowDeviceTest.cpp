// The main window's device commands against two fake LAN amplifiers on loopback: the exact
// device traffic of storing and clearing the configuration, locking, unlocking and turning off,
// a refused lock and unlock tried again, a turn-off refused half-way, the window after turning
// off, the device status window and the two text windows, and the window after a device fault
// inside a busy phase.

#include "device/I2CControl.h"
#include "model/I2CTranslator.h"
#include "tests/support/FakeLanAmplifier.h"
#include "tests/support/LanTestTransports.h"
#include "tests/support/VirtualMainLoop.h"
#include "tests/support/WaitUntil.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/MainWindow.h"
#include "ui/dialogs/MessageService.h"
#include "ui/dialogs/StatusWindows.h"
#include "ui/texts/QtText.h"
#include "ui/texts/Texts.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDate>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <utility>

namespace qrb::ui {
namespace {

namespace fs = std::filesystem;
using test::TFakeAmpConfig;
using test::TFakeFault;
using test::TFakeLanAmplifier;
using Commands = std::vector<std::pair<uint32_t, uint8_t>>;

constexpr uint32_t kWriteI2C = 0x10003;
constexpr uint32_t kSaveAllConfig = 0x30006;
constexpr uint32_t kSetLock = 0x30020;

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The scripted service that also lets a test act when a message box appears.
class TWatchedMessages : public TScriptedMessageService {
public:
    std::function<void(const std::string&)> OnMessage;
    void ShowMessage(const std::string& text) override {
        TScriptedMessageService::ShowMessage(text);
        if (OnMessage) OnMessage(text);
    }
    void ShowError(const std::string& text) override {
        TScriptedMessageService::ShowError(text);
        if (OnMessage) OnMessage(text);
    }
};

class MainWindowDevice : public ::testing::Test, protected test::TMainWindowFixture {
protected:
    test::TInstalledVirtualMainLoop loop;
    std::unique_ptr<TFakeLanAmplifier> amp1 = test::MakeFakeAmp("127.0.0.1", 3),
                                       amp2 = test::MakeFakeAmp("127.0.0.2", 2);
    TWatchedMessages script;
    std::unique_ptr<TScopedMessageService> installed;
    size_t from1 = 0, from2 = 0;

    void SetUp() override {
        test::EnsureApplication();
        installed = std::make_unique<TScopedMessageService>(script);
        ASSERT_NO_FATAL_FAILURE(EnterConfigHome());
        TSettings s = LanSettings(amp1->Target() + "," + amp2->Target());
        s.UseDefaultSetup = false;
        s.SWStartLock = false;
        ASSERT_NO_FATAL_FAILURE(WriteSettings(s));
        TStartOptions options = test::TestStartOptions();
        options.TransportFactory = test::DefaultTransportsWithoutUSB;
        ASSERT_NO_FATAL_FAILURE(StartWindow(options));
        window->timMainTimer();
        ASSERT_EQ(window->Translator->MasterCount(), 2);
        ASSERT_EQ(window->Translator->ChannelCount(), 5);
        ASSERT_FALSE(window->Translator->DeviceLocked);
        script.Clear();
        Mark();
    }

    void TearDown() override {
        CloseWindow();
        SetLangOffset(LangEnglish);
    }

    // From here on the traffic counts.
    void Mark() {
        from1 = amp1->RequestCount();
        from2 = amp2->RequestCount();
    }
    // The commands an amplifier received since Mark, with their first payload byte.
    static Commands Since(const TFakeLanAmplifier& amp, size_t from) {
        Commands out;
        const auto requests = amp.Requests();
        for (size_t i = from; i < requests.size(); ++i)
            out.push_back(
                {requests[i].Command, requests[i].Payload.empty() ? uint8_t{0} : requests[i].Payload[0]});
        return out;
    }
    Commands Since1() const { return Since(*amp1, from1); }
    Commands Since2() const { return Since(*amp2, from2); }
    // Both amplifiers received exactly expected since Mark.
    void ExpectBoth(const Commands& expected) const {
        EXPECT_EQ(Since1(), expected);
        EXPECT_EQ(Since2(), expected);
    }
    // Neither amplifier received a command since Mark.
    void ExpectNone() const {
        EXPECT_TRUE(Since1().empty());
        EXPECT_TRUE(Since2().empty());
    }
    // The lock command and its button usable exactly while unlocked, the unlock ones while locked.
    void ExpectLockControls(bool locked) {
        EXPECT_EQ(Enabled("actDevLock"), !locked);
        EXPECT_EQ(Button("sbtDevLock")->isEnabled(), !locked);
        EXPECT_EQ(Enabled("actDevUnlock"), locked);
        EXPECT_EQ(Button("sbtdevUnlock")->isEnabled(), locked);
    }

    void Trigger(const char* name) {
        QAction* action = window->Action(name);
        ASSERT_NE(action, nullptr) << name;
        action->trigger();
    }
    bool Enabled(const char* name) const { return window->Action(name)->isEnabled(); }
    QToolButton* Button(const char* name) const {
        return window->findChild<QToolButton*>(QString::fromLatin1(name));
    }
    std::vector<std::string> Confirmations() const {
        std::vector<std::string> headers;
        for (const auto& r : script.Records)
            if (r.Kind == TMessageKind::Confirm) headers.push_back(r.Header);
        return headers;
    }
    bool LogHas(const std::string& part) const {
        for (const auto& line : window->LogLines())
            if (line.find(part) != std::string::npos) return true;
        return false;
    }
    // The window as EndBusy leaves it with channels.
    void ExpectWindowUsable() {
        EXPECT_TRUE(window->mnbMain->isEnabled());
        EXPECT_TRUE(window->atbMain->isEnabled());
        EXPECT_TRUE(window->pctMain->isEnabled());
        EXPECT_TRUE(window->Gate.IsOpen());
        EXPECT_FALSE(window->Busy);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(TBusyPopup::Current(), nullptr);
        for (const char* name : {"actNewScan", "actSaveDevConfig", "actClearDevConfig", "actTurnOff",
                                 "actDevInformation", "actDevStatus", "actrefresh"})
            EXPECT_TRUE(Enabled(name)) << name;
    }
};

// ---- Configuration kept in the devices ---------------------------------------------------------

TEST_F(MainWindowDevice, StoreAsksLocksStoresAndUnlocksEveryDeviceUnderTheBusyPopup) {
    ASSERT_TRUE(Enabled("actSaveDevConfig"));
    // What the pop-up and the window show while the call runs: the command lets pending
    // events run once before the blocking call.
    std::string popupHeader;
    bool menuEnabledMeanwhile = true;
    QTimer::singleShot(0, window.get(), [&] {
        if (TStatusWinForm* popup = TBusyPopup::Current())
            popupHeader = popup->lbStatHeader->text().toStdString();
        menuEnabledMeanwhile = window->mnbMain->isEnabled();
    });
    script.Answers = {"6"};
    Trigger("actSaveDevConfig");
    EXPECT_EQ(Confirmations(), std::vector<std::string>{"Transmit configuration"});
    EXPECT_EQ(script.Records[0].Caption, "Confirmation");
    EXPECT_EQ(popupHeader, "Transmit configuration");
    EXPECT_FALSE(menuEnabledMeanwhile);
    const Commands expected = {{kSetLock, 1}, {kSaveAllConfig, 0}, {kSetLock, 0}};
    ExpectBoth(expected);
    EXPECT_EQ(script.MessageTexts(), std::vector<std::string>{GetText(390)});
    ExpectWindowUsable();
}

TEST_F(MainWindowDevice, ClearAsksUnlessTheOptionIsOffAndANoSendsNothing) {
    script.Answers = {"7"};
    Trigger("actClearDevConfig");
    EXPECT_EQ(Confirmations(), std::vector<std::string>{"Clear configuration"});
    ExpectNone();
    EXPECT_TRUE(script.MessageTexts().empty());

    script.Clear();
    window->Options.AskOnInitDevConfig = false;
    Trigger("actClearDevConfig");
    EXPECT_TRUE(Confirmations().empty());
    const Commands expected = {{kSetLock, 1}, {kSaveAllConfig, 1}, {kSetLock, 0}};
    ExpectBoth(expected);
    EXPECT_EQ(script.MessageTexts(), std::vector<std::string>{GetText(406)});
}

TEST_F(MainWindowDevice, RefusedStoreNamesTheDeviceAndTheWindowIsUsableAgain) {
    window->Options.AskOnSaveDevConfig = false;
    const TFakeFault refuse = test::Refusal(kSaveAllConfig, 1);
    amp2->AddFault(refuse);
    Trigger("actSaveDevConfig");
    EXPECT_EQ(script.MessageTexts(),
              std::vector<std::string>{device::Format(
                  GetText(391), {std::string("Error 15 on storing configuration on device 02!")})});
    ExpectWindowUsable();
}

TEST_F(MainWindowDevice, ConnectionLostInsideTheBusyPhaseNeverLeavesTheWindowDisabled) {
    window->Options.AskOnSaveDevConfig = false;
    TFakeFault reset;
    reset.Code = kSaveAllConfig;
    reset.Reset = true;
    amp1->AddFault(reset);
    Trigger("actSaveDevConfig");
    ASSERT_EQ(script.MessageTexts().size(), 1u);
    EXPECT_EQ(script.MessageTexts()[0].rfind("Error on writing INIT- and IRQsequence", 0), 0u);
    EXPECT_TRUE(window->mnbMain->isEnabled());
    EXPECT_TRUE(window->atbMain->isEnabled());
    EXPECT_TRUE(window->pctMain->isEnabled());
    EXPECT_TRUE(window->Gate.IsOpen());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(TBusyPopup::Current(), nullptr);
    // Whatever the lost device queued runs now; the window ends usable.
    loop.Step();
    EXPECT_TRUE(window->mnbMain->isEnabled());
    EXPECT_TRUE(window->Gate.IsOpen());
}

TEST_F(MainWindowDevice, ExceptionInsideTheBusyPhaseIsShownAfterTheWindowIsUsableAgain) {
    window->Options.AskOnSaveDevConfig = false;
    // The refused lock is reported, and the report raises.
    const TFakeFault refuse = test::Refusal(kSetLock, 1);
    amp1->AddFault(refuse);
    window->Translator->OnError = [](const void*, const std::string&) { throw std::runtime_error("lost"); };
    bool usableWhenShown = false;
    script.OnMessage = [&](const std::string&) {
        usableWhenShown =
            window->mnbMain->isEnabled() && window->Gate.IsOpen() && TBusyPopup::Current() == nullptr;
    };
    Trigger("actSaveDevConfig");
    EXPECT_TRUE(usableWhenShown);
    EXPECT_EQ(script.MessageTexts(), std::vector<std::string>{"lost"});
    // The lock was put back before the exception left the translator.
    EXPECT_EQ(Since1(), (Commands{{kSetLock, 1}, {kSetLock, 0}}));
    EXPECT_FALSE(amp1->Locked() || amp2->Locked());
    ExpectWindowUsable();
}

// ---- Front-panel lock ---------------------------------------------------------------------------

TEST_F(MainWindowDevice, RefusedLockAndUnlockReachTheDevicesAgainOnTheNextTry) {
    EXPECT_TRUE(Enabled("actDevLock"));
    EXPECT_FALSE(Enabled("actDevUnlock"));
    const TFakeFault refuse = test::Refusal(kSetLock, 1);
    amp1->AddFault(refuse);
    Trigger("actDevLock");
    ExpectBoth(Commands{{kSetLock, 1}});
    EXPECT_FALSE(window->Translator->DeviceLocked);
    EXPECT_TRUE(Enabled("actDevLock"));
    EXPECT_FALSE(Enabled("actDevUnlock"));
    EXPECT_TRUE(LogHas("[CNF] Error 7 on locking the front panel of device 01!"));
    EXPECT_TRUE(script.Records.empty());

    Mark();
    Trigger("actDevLock");
    ExpectBoth(Commands{{kSetLock, 1}});
    EXPECT_TRUE(amp1->Locked() && amp2->Locked());
    EXPECT_TRUE(window->Translator->DeviceLocked);
    ExpectLockControls(true);

    // Locked already: no request.
    Mark();
    window->actDevLockExecute();
    ExpectNone();

    amp2->AddFault(refuse);
    Trigger("actDevUnlock");
    ExpectBoth(Commands{{kSetLock, 0}});
    EXPECT_TRUE(window->Translator->DeviceLocked);
    EXPECT_TRUE(Enabled("actDevUnlock"));
    EXPECT_TRUE(LogHas("[CNF] Error 7 on unlocking the front panel of device 02!"));

    Mark();
    Trigger("actDevUnlock");
    ExpectBoth(Commands{{kSetLock, 0}});
    EXPECT_FALSE(amp1->Locked() || amp2->Locked());
    EXPECT_FALSE(window->Translator->DeviceLocked);
    ExpectLockControls(false);
}

TEST_F(MainWindowDevice, DeviceCommandsDoNothingWhileBusy) {
    window->Busy = true;
    window->Options.AskOnSaveDevConfig = false;
    window->Options.ConfirmTurnOff = false;
    window->actSaveDevConfigExecute();
    window->actClearDevConfigExecute();
    window->actDevLockExecute();
    window->actDevStatusExecute();
    window->actTurnOffExecute();
    window->Busy = false;
    window->Translator->DeviceLocked = true;
    {
        // Nor while the gate is closed (a scan or another device operation runs).
        TScanGate::TGuard closed(window->Gate);
        window->actDevUnlockExecute();
    }
    ExpectNone();
    EXPECT_TRUE(script.Records.empty());
    EXPECT_FALSE(deviceStatus->isVisible());
    EXPECT_EQ(window->Translator->ChannelCount(), 5);
}

// ---- Turning off ------------------------------------------------------------------------------

TEST_F(MainWindowDevice, TurnOffSelectsGroupZeroSwitchesEveryDeviceOffAndEmptiesTheWindow) {
    window->cbDevConAllCh->setChecked(true);
    window->setWindowTitle(QStringLiteral("QRB Ondrix Interface Software - a.xml"));
    loop.ClearSleeps();
    script.Answers = {"6"};
    Trigger("actTurnOff");
    EXPECT_EQ(Confirmations(), std::vector<std::string>{"Turn off device(s)"});
    for (TFakeLanAmplifier* amp : {amp1.get(), amp2.get()}) {
        const auto writes = amp->ChipWrites();
        ASSERT_GE(writes.size(), 2u);
        EXPECT_EQ(writes[writes.size() - 2].Address, 0x72);
        EXPECT_EQ(writes[writes.size() - 2].Bytes, std::vector<uint8_t>{0x01});
        EXPECT_EQ(writes.back().Address, 0x2C);
        EXPECT_EQ(writes.back().Bytes, (std::vector<uint8_t>{0x03, 0x00}));
    }
    ExpectBoth(Commands{{kWriteI2C, 0x72}, {kWriteI2C, 0x2C}});
    EXPECT_TRUE(script.MessageTexts().empty());

    // The model is empty and the window says so.
    EXPECT_EQ(window->Translator->ChannelCount(), 0);
    EXPECT_TRUE(window->DeviceShutDown);
    EXPECT_EQ(loop.Sleeps(), std::vector<uint32_t>{1000});
    EXPECT_EQ(window->windowTitle(), QStringLiteral("QRB Ondrix Interface Software"));
    EXPECT_EQ(window->stbPanels[2]->text(), QStringLiteral("Devices: 0"));
    EXPECT_EQ(window->lbOverview->text().toStdString(), GetText(1512));
    EXPECT_EQ(window->pctMain->currentWidget(), window->tabMain);
    for (const char* name : {"actViewControl", "actSaveDevConfig", "actClearDevConfig", "actTurnOff",
                             "actDevInformation", "actDevStatus", "actrefresh", "actDevLock", "actDevUnlock"})
        EXPECT_FALSE(Enabled(name)) << name;
    for (const char* name : {"sbtdevinfo", "sbtdevstatus", "sbtViewControl", "sbtDevLock", "sbtdevUnlock"})
        EXPECT_FALSE(Button(name)->isEnabled()) << name;
    EXPECT_TRUE(Button("sbtViewLog")->isEnabled());
    EXPECT_FALSE(window->cbDevConAllCh->isChecked());
    EXPECT_FALSE(window->SelectionSyncing);
    EXPECT_FALSE(window->miDevice->menuAction()->isVisible());
    EXPECT_FALSE(window->miChannel->menuAction()->isVisible());
    EXPECT_TRUE(window->Gate.IsOpen());

    // Without channels turning off does nothing.
    script.Clear();
    Mark();
    window->actTurnOffExecute();
    EXPECT_TRUE(script.Records.empty());
    ExpectNone();
}

TEST_F(MainWindowDevice, AfterTurnOffNothingSavesOrOffersToSaveTheEmptyModel) {
    // The user's default setup.
    Trigger("actSaveAsDefault");
    ASSERT_EQ(script.MessageTexts(), std::vector<std::string>{GetText(1650)});
    const std::string userDefault = ReadAll(window->DefaultSetupFile);
    ASSERT_FALSE(userDefault.empty());
    for (const char* name : {"actSaveAsDefault", "actChannelOffsets", "actZeroAdjust"})
        ASSERT_TRUE(Enabled(name)) << name;

    window->Options.ConfirmTurnOff = false;
    window->Options.AskSaveonChange = true;
    window->SetupModified = true;
    script.Clear();
    script.Answers = {"7"}; // not saved before turning off
    Trigger("actTurnOff");
    ASSERT_EQ(Confirmations(), std::vector<std::string>{"Save setup?"});
    ASSERT_EQ(window->Translator->ChannelCount(), 0);
    for (const char* name : {"actSaveAsDefault", "actChannelOffsets", "actZeroAdjust"})
        EXPECT_FALSE(Enabled(name)) << name;

    // Neither the command nor an offer before the next scan writes the empty model.
    script.Clear();
    script.DefaultConfirm = kResultYes;
    window->actSaveAsDefaultExecute();
    window->actSaveSetupExecute();
    Trigger("actNewScan");
    EXPECT_TRUE(Confirmations().empty());
    for (const auto& r : script.Records)
        EXPECT_NE(r.Kind, TMessageKind::SaveFile);
    EXPECT_TRUE(script.MessageTexts().empty());
    EXPECT_EQ(ReadAll(window->DefaultSetupFile), userDefault);
    EXPECT_EQ(window->Translator->ChannelCount(), 5);
}

TEST_F(MainWindowDevice, TurnOffRefusedByTheSecondDeviceReportsItAndRescans) {
    window->Options.ConfirmTurnOff = false;
    const TFakeFault refuse = test::Refusal(kWriteI2C, -1);
    amp2->AddFault(refuse);
    const size_t scans = amp2->InfoRequestCount();
    // The first device went off while the report is up: it drops its connection and no longer
    // answers. The report's box is modal: the loss posted meanwhile runs inside it.
    bool lossPosted = false;
    script.OnMessage = [&](const std::string&) {
        if (std::exchange(lossPosted, true)) return;
        amp1->SetDataListening(false);
        amp1->SetInfoListening(false);
        amp1->CloseConnections();
        lossPosted = test::WaitUntil([&] { return loop.PendingCount() > 0; });
        loop.Step();
    };
    Trigger("actTurnOff");
    EXPECT_TRUE(lossPosted);
    EXPECT_EQ(Since1(), (Commands{{kWriteI2C, 0x72}, {kWriteI2C, 0x2C}}));
    ASSERT_FALSE(Since2().empty());
    EXPECT_EQ(Since2()[0], (std::pair<uint32_t, uint8_t>{kWriteI2C, 0x72}));
    // One report, no box of the loss on top of it, one rescan.
    EXPECT_EQ(
        script.MessageTexts(),
        std::vector<std::string>{device::Format(
            GetText(1625), {std::string("Error on selecting channel group 0 for turning off device 02!")})});
    loop.Step();
    EXPECT_EQ(script.MessageTexts().size(), 1u);
    EXPECT_EQ(amp2->InfoRequestCount() - scans, 1u);
    EXPECT_TRUE(LogHas("[ERR] device " + amp1->Address() + " was lost, rescan is necessary."));
    EXPECT_TRUE(window->Translator->LastError.empty());
    EXPECT_TRUE(LogHas("[CNF] Error on selecting channel group 0 for turning off device 02!"));
    // The rescan shows what is left.
    EXPECT_EQ(window->Translator->MasterCount(), 1);
    EXPECT_EQ(window->Translator->ChannelCount(), 2);
    EXPECT_EQ(window->stbPanels[2]->text(), QStringLiteral("Devices: 1"));
    EXPECT_FALSE(window->DeviceShutDown);
    EXPECT_TRUE(window->Gate.IsOpen());
}

TEST_F(MainWindowDevice, TurnOffRefusedByTheFirstDeviceChangesNothing) {
    window->Options.ConfirmTurnOff = false;
    const TFakeFault refuse = test::Refusal(kWriteI2C, -1);
    amp1->AddFault(refuse);
    Trigger("actTurnOff");
    EXPECT_EQ(Since1(), (Commands{{kWriteI2C, 0x72}}));
    EXPECT_TRUE(Since2().empty());
    EXPECT_TRUE(script.MessageTexts().empty());
    EXPECT_TRUE(LogHas("[CNF] Error on selecting channel group 0 for turning off device 01!"));
    EXPECT_EQ(window->Translator->ChannelCount(), 5);
    EXPECT_FALSE(window->DeviceShutDown);
    EXPECT_TRUE(window->miDevice->menuAction()->isVisible());
    EXPECT_TRUE(window->PendingScanError.empty());
}

TEST_F(MainWindowDevice, AfterATurnOffRefusedByTheFirstDeviceEveryDeviceIsStillWatched) {
    window->Options.ConfirmTurnOff = false;
    const TFakeFault refuse = test::Refusal(kWriteI2C, -1);
    amp1->AddFault(refuse);
    Trigger("actTurnOff");
    ASSERT_EQ(window->Translator->ChannelCount(), 5);

    // The keep-alive probes go on.
    const size_t probes1 = amp1->InfoConnectionCount(), probes2 = amp2->InfoConnectionCount();
    loop.Advance(device::TI2CControl::KeepAliveIntervalMs);
    EXPECT_TRUE(test::WaitUntil([&] { return amp1->InfoConnectionCount() > probes1; }));
    EXPECT_TRUE(test::WaitUntil([&] { return amp2->InfoConnectionCount() > probes2; }));
    EXPECT_TRUE(script.MessageTexts().empty());

    // The second amplifier is unplugged: the next probe finds it gone, and the window says so.
    amp2->SetInfoListening(false);
    loop.Advance(device::TI2CControl::KeepAliveIntervalMs);
    EXPECT_TRUE(LogHas("[ERR] device " + amp2->Address() + " was lost, rescan is necessary."));
    EXPECT_EQ(script.MessageTexts(),
              std::vector<std::string>{device::Format(GetText(1060), amp2->Address())});
    EXPECT_EQ(window->Translator->MasterCount(), 1);
}

// ---- Status and text windows -------------------------------------------------------------------

TEST_F(MainWindowDevice, StatusWindowIsFilledOnceAndOnlyRaisedWhileVisible) {
    deviceStatus->mmStatus->setPlainText(QStringLiteral("old"));
    Trigger("actDevStatus");
    EXPECT_TRUE(deviceStatus->isVisible());
    const QString report = deviceStatus->mmStatus->toPlainText();
    EXPECT_FALSE(report.isEmpty());
    EXPECT_FALSE(report.contains(QStringLiteral("old")));
    EXPECT_FALSE(Since1().empty());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    Mark();
    deviceStatus->mmStatus->setPlainText(QStringLiteral("kept"));
    Trigger("actDevStatus");
    ExpectNone();
    EXPECT_EQ(deviceStatus->mmStatus->toPlainText(), QStringLiteral("kept"));

    // An empty report asks to try again.
    deviceStatus->hide();
    window->Translator->Disconnect();
    window->actDevStatusExecute();
    EXPECT_TRUE(deviceStatus->isVisible());
    EXPECT_EQ(deviceStatus->mmStatus->toPlainText(), ToDisplay(GetText(1050)));
}

struct TShownInfo {
    std::string Title, Prefix, Proposal;
    std::vector<std::string> Lines;
};

// Runs command and reads the text window it shows, proposing a file name once, then closes it.
TShownInfo ShowInfoWindow(TScriptedMessageService& script, const std::function<void()>& command) {
    TShownInfo shown;
    QTimer::singleShot(0, [&] {
        auto* form = qobject_cast<TDeviceInfoForm*>(QApplication::activeModalWidget());
        if (form == nullptr) return;
        shown.Title = form->windowTitle().toStdString();
        shown.Lines = form->Lines();
        form->btnSaveClick(); // cancelled by the script: nothing is written
        shown.Prefix = form->FilePrefix;
        for (const auto& r : script.Records)
            if (r.Kind == TMessageKind::SaveFile) shown.Proposal = r.Dialog.FileName;
        form->accept();
    });
    command();
    return shown;
}

TEST_F(MainWindowDevice, InformationAndOffsetTableInTheTextWindowWithTheirSaveNames) {
    const std::string today = QDate::currentDate().toString(QStringLiteral("yyyy_MM_dd")).toStdString();
    // Neither asks a device, so both also run while busy.
    window->Busy = true;
    TShownInfo info = ShowInfoWindow(script, [this] { Trigger("actDevInformation"); });
    EXPECT_EQ(info.Title, "Device information ...");
    EXPECT_FALSE(info.Lines.empty());
    EXPECT_EQ(info.Prefix, "info");
    EXPECT_EQ(info.Proposal, "info_" + today + ".log");

    script.Clear();
    TShownInfo offsets = ShowInfoWindow(script, [this] { window->actChannelOffsetsExecute(); });
    window->Busy = false;
    EXPECT_EQ(offsets.Title, "Channel offsettable ...");
    ASSERT_GE(offsets.Lines.size(), 3u);
    EXPECT_EQ(offsets.Lines[0], "Channel offsettable ...");
    EXPECT_EQ(offsets.Lines[1], "");
    EXPECT_EQ(offsets.Prefix, "OffsetTable");
    EXPECT_EQ(offsets.Proposal, "OffsetTable_" + today + ".log");
    ExpectNone();
}

} // namespace
} // namespace qrb::ui
