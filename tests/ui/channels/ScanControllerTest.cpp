// The scan and the interface modes: scan targets from the settings, the window after a scan,
// phase B after an error in phase A, the gate, the new-scan, online, offline and refresh
// commands, the default setup with the fan rule, the main timer and the timed re-check.

#include "ui/channels/ScanController.h"
#include "device/lan/I2CLANControl.h"
#include "tests/support/FakeLanAmplifier.h"
#include "tests/ui/channels/ChannelsTestSupport.h"
#include "ui/texts/Texts.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace qrb::test {
namespace {

namespace fs = std::filesystem;
using ui::SplitCommaText;

TEST(CommaText, SplitsAsTheClassLibrary) {
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {"", {}},
        {"   ", {}},
        {"a", {"a"}},
        {"a,b", {"a", "b"}},
        {"a, b", {"a", "b"}},
        {"a b", {"a", "b"}},
        {"  a  ,  b  ", {"a", "b"}},
        {"a,,b", {"a", "", "b"}},
        {",,", {"", "", ""}},
        {"a,", {"a", ""}},
        {"a, ", {"a"}}, // a blank after the last comma: no empty item
        {"\"a b,c\",d", {"a b,c", "d"}},
        {"\"say \"\"hi\"\"\"", {"say \"hi\""}},
        {"\"ab\"cd", {"ab", "cd"}},
        {"\"\"", {""}},
        {"\"open end", {"open end"}},
        {"10.0.0.1:15000,10.0.0.2:15000", {"10.0.0.1:15000", "10.0.0.2:15000"}},
        {"x\ty", {"x", "y"}},
        {std::string("a\0b", 3), {"a"}},
    };
    for (const auto& [text, items] : cases)
        EXPECT_EQ(SplitCommaText(text), items) << "[" << text << "]";
}

TEST(ScanTargetsOfTheSettings, LanItemsThenSimulatedDevices) {
    ui::TSettings s;
    s.Interfaces = device::kMaskOffline;
    s.VirtDevices = 2;
    s.VirtChannels = 8;
    s.LANAddresses = "10.0.0.1:15000";
    auto targets = ui::ScanTargets(s);
    ASSERT_EQ(targets.size(), 2u);
    EXPECT_EQ(targets[0].first, "Simul01-8:3");
    EXPECT_EQ(targets[1].first, "Simul02-8:3");
    EXPECT_EQ(targets[1].second, device::kMaskOffline);

    s.Interfaces = device::kMaskLAN | device::kMaskOffline;
    s.LANAddresses = "10.0.0.2:1, 10.0.0.1:2";
    targets = ui::ScanTargets(s);
    ASSERT_EQ(targets.size(), 4u);
    EXPECT_EQ(targets[0], (std::pair<std::string, device::TInterfaceMask>{"10.0.0.2:1", device::kMaskLAN}));
    EXPECT_EQ(targets[1].first, "10.0.0.1:2");
    EXPECT_EQ(targets[2].first, "Simul01-8:3");

    s.LANAddresses.clear();
    s.Interfaces = device::kMaskLAN;
    EXPECT_TRUE(ui::ScanTargets(s).empty());
    s.Interfaces = device::kMaskOffline;
    s.VirtDevices = 0;
    EXPECT_TRUE(ui::ScanTargets(s).empty());
}

TEST(OnlineMode, MaskAfterOfflineMode) {
    EXPECT_EQ(ui::OnlineInterfaces(device::TInterfaceMask(0)).Bits(), 6);
    EXPECT_EQ(ui::OnlineInterfaces(device::kMaskOffline).Bits(), 6);
    EXPECT_EQ(ui::OnlineInterfaces(device::kMaskLAN).Bits(), 4);
    EXPECT_EQ(ui::OnlineInterfaces(device::kMaskUSB | device::kMaskOffline).Bits(), 2);
}

TEST(EnabledStates, AfterAScan) {
    auto state = [](const std::vector<std::pair<std::string, bool>>& states, const std::string& name) {
        for (const auto& [n, e] : states)
            if (n == name) return e;
        ADD_FAILURE() << name;
        return false;
    };
    auto s = ui::ScanEnabledStates(true, true, false, false);
    EXPECT_FALSE(state(s, "actZeroAdjust"));
    EXPECT_FALSE(state(s, "actrefresh"));
    EXPECT_FALSE(state(s, "sbtdevinfo"));
    EXPECT_TRUE(state(s, "actLoadSetup"));
    EXPECT_FALSE(state(s, "actDevLock"));
    EXPECT_FALSE(state(s, "actClearDefault"));
    EXPECT_TRUE(state(s, "actTedsInfo"));
    s = ui::ScanEnabledStates(true, false, true, true);
    EXPECT_TRUE(state(s, "actZeroAdjust"));
    EXPECT_FALSE(state(s, "sbtDevLock"));
    EXPECT_TRUE(state(s, "sbtdevUnlock"));
    EXPECT_TRUE(state(s, "actClearDefault"));
    s = ui::ScanEnabledStates(false, false, false, false);
    EXPECT_FALSE(state(s, "actViewControl"));
    EXPECT_FALSE(state(s, "actDevUnlock"));
    EXPECT_TRUE(state(s, "sbtViewLog"));
}

// ---- The scan on the window ------------------------------------------------------------------

class ScanFixture : public ChannelsFixture {
protected:
    std::unique_ptr<ui::TScanController> scan;
    std::vector<std::string> gateErrors;
    uint32_t tick = 100000;
    int polls = 0;
    bool pollChanges = true;

    void SetUp() override {
        ChannelsFixture::SetUp();
        settings.Interfaces = device::kMaskOffline;
        settings.VirtDevices = 2;
        settings.VirtChannels = 8;
        settings.LANAddresses.clear();
        settings.ConfirmRescan = true;
        settings.UseDefaultSetup = false;
        MakeController();
    }
    void TearDown() override {
        scan.reset();
        ChannelsFixture::TearDown();
    }
    void MakeController() {
        scan.reset();
        scan = std::make_unique<ui::TScanController>(*translator, settings, *gate, fields.State(), host,
                                                     *list, *menus);
        scan->TickCount = [this] { return tick; };
        scan->PollChannelStatus = [this] {
            ++polls;
            return pollChanges;
        };
        gate->OnError = [this](const std::string& text) { gateErrors.push_back(text); };
        translator->OnScanError = [this](const void*, const std::string& text) {
            fields.PendingScanError = text;
        };
    }
};

TEST_F(ScanFixture, OfflineScanOfTwoSimulatedDevices) {
    scan->actRescanExecute();
    ASSERT_EQ(translator->ChannelCount(), 16);
    EXPECT_EQ(page->List->count(), 16);
    EXPECT_TRUE(translator->OfflineMode);
    EXPECT_EQ(host.Panels[0], "[OFFLINE]");
    EXPECT_EQ(host.Panels[1], "");
    EXPECT_EQ(host.Panels[2], device::Format(ui::GetText(247), {2}));
    EXPECT_EQ(host.Overview, device::Format(ui::GetText(1514), {2, 16}));
    EXPECT_TRUE(host.RunModeOffline);
    EXPECT_TRUE(host.IsEnabled("actOnline"));
    EXPECT_FALSE(host.IsEnabled("actOffline"));
    EXPECT_FALSE(host.IsEnabled("actZeroAdjust"));
    EXPECT_FALSE(host.IsEnabled("actrefresh"));
    EXPECT_TRUE(host.IsEnabled("actLoadSetup"));
    EXPECT_TRUE(host.IsEnabled("mnbMain"));
    EXPECT_TRUE(host.IsEnabled("actNewScan"));
    EXPECT_EQ(host.Page, ui::TPage::Control);
    EXPECT_TRUE(host.DeviceMenusVisible);
    EXPECT_FALSE(host.PopupShown);
    EXPECT_EQ(host.PopupTexts, (std::vector<std::string>{ui::GetText(293), ui::GetText(294)}));
    EXPECT_EQ(host.HistoryResets, 1);
    EXPECT_EQ(host.Caption, "QRB Ondrix Interface Software");
    EXPECT_FALSE(gate->RescanPending());
    EXPECT_TRUE(gate->IsOpen());
    // Every channel named after its position and reset to its defaults.
    EXPECT_EQ(Ch(0).ChannelName, "Channel  1");
    EXPECT_EQ(Ch(15).ChannelName, "Channel 16");
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(Ch(i).SensorType, model::stOff) << i;
        EXPECT_EQ(Ch(i).Current, Ch(i).Pending) << i;
        EXPECT_FALSE(translator->IsSelected(i));
    }
    EXPECT_EQ(translator->HAL->GetDevice(0)->Name.substr(0, 2), "VD");
}

TEST_F(ScanFixture, ScanResetsSelectionModeAndPendingChanges) {
    scan->actRescanExecute();
    page->SetupMode->setChecked(true);
    fields.ChangesPending = true;
    page->AllChannels->click();
    EXPECT_TRUE(translator->IsSelected(3));
    scan->actRescanExecute();
    EXPECT_TRUE(page->AdHocMode->isChecked());
    EXPECT_FALSE(fields.ChangesPending);
    EXPECT_FALSE(page->Commit->isEnabled());
    EXPECT_FALSE(page->AllChannels->isChecked());
    EXPECT_EQ(list->SelectedRowCount(), 0);
    EXPECT_FALSE(translator->IsSelected(3));
}

TEST_F(ScanFixture, NoInterfaceFindsNothing) {
    settings.Interfaces = device::TInterfaceMask(0);
    scan->actRescanExecute();
    EXPECT_EQ(translator->ChannelCount(), 0);
    EXPECT_EQ(host.Panels[0], "[<n/a>]");
    EXPECT_EQ(host.Panels[2], device::Format(ui::GetText(247), {0}));
    EXPECT_EQ(host.Overview, ui::GetText(1512));
    EXPECT_EQ(host.Page, ui::TPage::Main);
    EXPECT_FALSE(host.DeviceMenusVisible);
    EXPECT_FALSE(host.RunModeOffline);
    EXPECT_TRUE(host.IsEnabled("actOffline"));
    EXPECT_FALSE(host.IsEnabled("actViewControl"));
    EXPECT_EQ(page->List->count(), 0);
}

TEST_F(ScanFixture, ErrorInPhaseAStillRestoresTheWindow) {
    translator->OnConfigComplete = nullptr; // Rescan refuses to run without it
    scan->actRescanExecute();
    ASSERT_EQ(gateErrors.size(), 1u);
    EXPECT_TRUE(host.IsEnabled("mnbMain"));
    EXPECT_TRUE(host.IsEnabled("actNewScan"));
    EXPECT_FALSE(host.PopupShown);
    EXPECT_EQ(host.Overview, ui::GetText(1512));
    EXPECT_TRUE(gate->IsOpen());
}

TEST_F(ScanFixture, ScanErrorOfARefusedDeviceStaysInTheLog) {
    // A device's refusal comes while devices were found: no box after the scan.
    translator->OnScanLog = [this](const void*, const std::string&) {
        fields.PendingScanError = "Ondrix device is in standby mode!";
    };
    scan->actRescanExecute();
    EXPECT_TRUE(host.Messages.empty());
    EXPECT_TRUE(fields.PendingScanError.empty());
}

TEST_F(ScanFixture, ScanErrorTextIsShownAfterTheScan) {
    // The window's scan-error handler keeps the text of a failed device search (no device
    // counted) during the scan.
    settings.Interfaces = device::TInterfaceMask(0);
    translator->OnScanStart = [this](const void*) { fields.PendingScanError = "scan failed"; };
    scan->actRescanExecute();
    ASSERT_EQ(host.Messages, std::vector<std::string>{"scan failed"});
    EXPECT_TRUE(fields.PendingScanError.empty());
    const auto end = std::find(host.Trace.begin(), host.Trace.end(), "EndScanPopup");
    const auto message = std::find(host.Trace.begin(), host.Trace.end(), "Message");
    EXPECT_LT(end, message);
    EXPECT_FALSE(gate->IsOpen() && gate->RescanPending());
}

TEST_F(ScanFixture, RequestsWhileTheGateIsClosedAreCoalescedAndRunAfter) {
    int scans = 0;
    translator->OnBeginUpdate = [&](const void*) { ++scans; };
    {
        ui::TScanGate::TGuard closed(*gate);
        scan->actRescanExecute();
        scan->actRescanExecute();
        host.Page = ui::TPage::Control;
        scan->actrefreshExecute();
        scan->actNewScanExecute();
        EXPECT_EQ(scans, 0);
        EXPECT_EQ(polls, 0);
        EXPECT_TRUE(gate->RescanPending());
    }
    loop.Step();
    EXPECT_EQ(scans, 1);
    EXPECT_EQ(translator->ChannelCount(), 16);
}

TEST_F(ScanFixture, NoScanInsideARunningScan) {
    int scans = 0;
    translator->OnBeginUpdate = [&](const void*) { ++scans; };
    translator->OnScanLog = [&](const void*, const std::string&) {
        // A request that arrives while the scan runs (a power resume, a lost device).
        scan->actRescanExecute();
    };
    scan->actRescanExecute();
    EXPECT_EQ(scans, 1);
    EXPECT_TRUE(gate->RescanPending());
    translator->OnScanLog = nullptr;
    loop.Step();
    EXPECT_EQ(scans, 2);
    EXPECT_FALSE(gate->RescanPending());
}

TEST_F(ScanFixture, AutomaticRescansDoNotChain) {
    using TAuto = ui::TScanController::TAutoRescan;
    int scans = 0;
    std::vector<TAuto> during;
    translator->OnBeginUpdate = [&](const void*) { ++scans; };
    translator->OnScanLog = [&](const void*, const std::string&) {
        during.push_back(scan->AutomaticRescan());
    };
    EXPECT_EQ(scan->AutomaticRescan(), TAuto::Allowed);
    scan->actAutoRescanExecute();
    EXPECT_EQ(scans, 1);
    ASSERT_FALSE(during.empty());
    EXPECT_EQ(during.front(), TAuto::ScanRunning);
    translator->OnScanLog = nullptr;
    // Within one keep-alive interval after the end of an automatic rescan.
    tick += 1999;
    EXPECT_EQ(scan->AutomaticRescan(), TAuto::JustRescanned);
    tick += 1;
    EXPECT_EQ(scan->AutomaticRescan(), TAuto::Allowed);
    // The user's scan always runs, also right after an automatic one, and ends the interval.
    scan->actAutoRescanExecute();
    EXPECT_EQ(scan->AutomaticRescan(), TAuto::JustRescanned);
    scan->actRescanExecute();
    EXPECT_EQ(scans, 3);
    EXPECT_EQ(scan->AutomaticRescan(), TAuto::Allowed);
}

TEST_F(ScanFixture, NewScanOffersTheSaveThenConfirms) {
    scan->actRescanExecute();
    fields.SetupModified = true;
    host.ConfirmAnswers = {7};
    int scans = 0;
    translator->OnBeginUpdate = [&](const void*) { ++scans; };
    scan->actNewScanExecute();
    // The window's save offer first, then the scan question; declined, no scan.
    EXPECT_EQ(host.SaveOffers, 1);
    ASSERT_EQ(host.Confirms.size(), 1u);
    EXPECT_EQ(host.Confirms[0], (std::array<int, 3>{1600, 1601, 1602}));
    EXPECT_EQ(scans, 0);
    host.ConfirmAnswers = {6};
    scan->actNewScanExecute();
    EXPECT_EQ(host.SaveOffers, 2);
    EXPECT_EQ(scans, 1);
    // With ConfirmRescan off no question; the offer still comes first.
    settings.ConfirmRescan = false;
    host.Confirms.clear();
    scan->actNewScanExecute();
    EXPECT_TRUE(host.Confirms.empty());
    EXPECT_EQ(host.SaveOffers, 3);
    EXPECT_EQ(scans, 2);
    // A closed gate: nothing, not even the offer.
    {
        ui::TScanGate::TGuard closed(*gate);
        scan->actNewScanExecute();
    }
    EXPECT_EQ(host.SaveOffers, 3);
}

TEST_F(ScanFixture, OfflineSwitchDeclinedRescanKeepsTheModel) {
    settings.Interfaces = device::kMaskOffline;
    scan->actRescanExecute();
    SetType(0, model::stVolt);
    host.OfflineAnswer = true;
    host.OfflineDevices = 1;
    host.OfflineChannels = 4;
    host.ConfirmAnswers = {7};
    scan->actOfflineExecute();
    EXPECT_EQ(host.OfflineDialogs, 1);
    EXPECT_EQ(settings.VirtDevices, 1);
    EXPECT_EQ(settings.VirtChannels, 4);
    EXPECT_EQ(settings.Interfaces, device::kMaskOffline);
    EXPECT_EQ(fields.SavedInterfaces, device::kMaskOffline);
    EXPECT_EQ(translator->ChannelCount(), 16);
    EXPECT_EQ(Ch(0).SensorType, model::stVolt);
    // The next scan runs with the new settings.
    host.ConfirmAnswers = {6};
    scan->actNewScanExecute();
    EXPECT_EQ(translator->ChannelCount(), 4);
}

TEST_F(ScanFixture, OnlineAfterAnOfflineStartUsesUSBAndLAN) {
    fields.SavedInterfaces = device::TInterfaceMask(0);
    scan->actRescanExecute();
    host.ConfirmAnswers = {6, 7}; // switch: yes; rescan: no
    scan->actOnlineExecute();
    EXPECT_EQ(host.Confirms[0], (std::array<int, 3>{1615, 1616, 1617}));
    EXPECT_EQ(settings.Interfaces.Bits(), 6);
    host.ConfirmAnswers = {7};
    settings.Interfaces = device::kMaskOffline;
    scan->actOnlineExecute();
    EXPECT_EQ(settings.Interfaces, device::kMaskOffline);
}

TEST_F(ScanFixture, FirstTickScansAndOffersOfflineModeWhenNothingWasFound) {
    settings.Interfaces = device::TInterfaceMask(0);
    settings.OfflineCheck = true;
    host.OfflineAnswer = false; // Cancel keeps online mode
    scan->timMainTimer();
    EXPECT_FALSE(fields.FirstScanPending);
    EXPECT_EQ(host.OfflineDialogs, 1);
    EXPECT_EQ(settings.Interfaces.Bits(), 0);
    scan->timMainTimer();
    EXPECT_EQ(host.OfflineDialogs, 1);

    fields.FirstScanPending = true;
    host.OfflineAnswer = true;
    host.OfflineDevices = 2;
    host.OfflineChannels = 8;
    scan->timMainTimer();
    EXPECT_EQ(settings.Interfaces, device::kMaskOffline);
    EXPECT_EQ(translator->ChannelCount(), 16);
}

TEST_F(ScanFixture, TimedReCheckPollsAtMostOncePerInterval) {
    fields.FirstScanPending = false;
    scan->actRescanExecute();
    settings.TimedReCheck = true;
    settings.TimedReCheckIntv = 10000;
    fields.LastReCheck = tick;
    scan->timMainTimer();
    EXPECT_FALSE(fields.ReCheckRequest);
    tick += 10001;
    scan->timMainTimer();
    ASSERT_TRUE(fields.ReCheckRequest);
    EXPECT_EQ(fields.ReCheckBase, tick - 1000);
    // The idle pass of the same millisecond waits; one later polls.
    EXPECT_FALSE(scan->FormIdle());
    EXPECT_EQ(polls, 0);
    tick += 1;
    EXPECT_TRUE(scan->FormIdle());
    EXPECT_EQ(polls, 1);
    EXPECT_FALSE(fields.ReCheckRequest);
    EXPECT_EQ(host.StatusWindowUpdates, 1);
    EXPECT_FALSE(scan->FormIdle());
    tick += 500;
    scan->timMainTimer();
    EXPECT_FALSE(fields.ReCheckRequest);

    // While busy the poll is skipped but the request is cleared.
    tick += 10000;
    scan->timMainTimer();
    ASSERT_TRUE(fields.ReCheckRequest);
    fields.Busy = true;
    tick += 2;
    EXPECT_TRUE(scan->FormIdle());
    EXPECT_EQ(polls, 1);
    EXPECT_FALSE(fields.ReCheckRequest);
}

TEST_F(ScanFixture, ReCheckAcrossTheTickCounterWrap) {
    fields.FirstScanPending = false;
    scan->actRescanExecute();
    settings.TimedReCheck = true;
    settings.TimedReCheckIntv = 10000;
    fields.LastReCheck = 0xFFFFF000u;
    tick = 0x00001000u; // 8192 ms later
    scan->timMainTimer();
    EXPECT_FALSE(fields.ReCheckRequest);
    tick = 0x00002000u; // 12288 ms later
    scan->timMainTimer();
    EXPECT_TRUE(fields.ReCheckRequest);
}

TEST_F(ScanFixture, RefreshOnlyOnTheControlPage) {
    scan->actRescanExecute();
    host.Page = ui::TPage::Main;
    scan->actrefreshExecute();
    EXPECT_EQ(polls, 0);
    host.Page = ui::TPage::Control;
    scan->actrefreshExecute();
    EXPECT_EQ(polls, 1);
}

TEST_F(ScanFixture, LockAfterTheScanFollowsTheOption) {
    settings.SWStartLock = true;
    scan->actRescanExecute();
    EXPECT_TRUE(translator->DeviceLocked);
    EXPECT_FALSE(host.IsEnabled("actDevLock"));
    settings.SWStartLock = false;
    scan->actRescanExecute();
    EXPECT_FALSE(translator->DeviceLocked);
}

TEST(FanRule, LimitsBySensorType) {
    TInstalledVirtualMainLoop loop;
    model::TI2CTranslator t(device::kMaskOffline, false, device::DefaultTransportFactory());
    t.OnConfigComplete = [](const void*) {};
    t.AddScanTarget("A-3:3", device::kMaskOffline);
    ASSERT_EQ(t.Rescan(), 3);
    EXPECT_EQ(ui::FanLimit(t), 5);
    t.GetChannel(1)->SensorType = model::stICP;
    t.GetChannel(1)->OffsetDAC = 123;
    EXPECT_EQ(ui::FanLimit(t), 5);
    t.GetChannel(1)->OffsetDAC = 124;
    EXPECT_EQ(ui::FanLimit(t), 2);
    t.GetChannel(2)->SensorType = model::stRTD;
    EXPECT_EQ(ui::FanLimit(t), 1);
    t.GetChannel(2)->SensorType = model::stDMSHalfbridge;
    EXPECT_EQ(ui::FanLimit(t), 1);
}

class DefaultSetup : public ScanFixture {
protected:
    fs::path folder;
    void SetUp() override {
        ScanFixture::SetUp();
        const char* base = std::getenv("XDG_CONFIG_HOME");
        folder = fs::path(base != nullptr ? base : "/var/tmp") /
                 ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(folder);
        fs::create_directories(folder);
        host.DefaultSetup = (folder / "DefaultSetup.xml").string();
    }
    // A default setup with a bridge channel (or ICP channels only).
    void WriteSetup(bool bridge) {
        scan->actRescanExecute();
        for (int i = 0; i < translator->ChannelCount(); ++i)
            SetType(i, bridge && i == 3 ? model::stDMSFullbridge : model::stICP);
        if (!bridge) {
            for (int i = 0; i < translator->ChannelCount(); ++i)
                ASSERT_GT(Ch(i).OffsetDAC, 123);
        }
        ASSERT_TRUE(translator->SaveSetup(host.DefaultSetup, 2, 0)) << translator->LastFileError;
    }
};

TEST_F(DefaultSetup, BridgeLowersTheFanToNormal) {
    WriteSetup(true);
    settings.UseDefaultSetup = true;
    settings.FanSpeed = 3;
    fields.SetupModified = true;
    scan->actRescanExecute();
    EXPECT_EQ(Ch(3).SensorType, model::stDMSFullbridge);
    EXPECT_EQ(Ch(3).Current, Ch(3).Pending);
    EXPECT_EQ(settings.FanSpeed, 1);
    EXPECT_EQ(host.Caption, "QRB Ondrix Interface Software - DefaultSetup.xml");
    EXPECT_FALSE(fields.SetupModified);
    EXPECT_TRUE(host.IsEnabled("actClearDefault"));
}

TEST_F(DefaultSetup, IcpChannelsLowerTheFanToReduced) {
    WriteSetup(false);
    settings.UseDefaultSetup = true;
    settings.FanSpeed = 3;
    scan->actRescanExecute();
    EXPECT_EQ(settings.FanSpeed, 2);
    settings.FanSpeed = 0;
    scan->actRescanExecute();
    EXPECT_EQ(settings.FanSpeed, 0);
}

TEST_F(DefaultSetup, OffOrUnreadableSetupChangesNothing) {
    WriteSetup(true);
    settings.FanSpeed = 3;
    scan->actRescanExecute(); // the option is off
    EXPECT_EQ(Ch(3).SensorType, model::stOff);
    EXPECT_EQ(settings.FanSpeed, 3);
    settings.UseDefaultSetup = true;
    {
        std::ofstream broken(host.DefaultSetup, std::ios::trunc);
        broken << "<not a setup";
    }
    scan->actRescanExecute();
    EXPECT_EQ(Ch(3).SensorType, model::stOff);
    EXPECT_TRUE(host.Messages.empty());
    EXPECT_EQ(host.Caption, "QRB Ondrix Interface Software");
}

TEST_F(DefaultSetup, SetupThatFailsToLoadIsLoggedWithTheFileAndTheLoadsError) {
    WriteSetup(true);
    settings.UseDefaultSetup = true;
    settings.FanSpeed = 3;
    const std::vector<std::string> damaged = {
        "<not a setup",
        "<?xml version=\"1.0\"?><other/>",
        "",
    };
    for (const std::string& text : damaged) {
        SCOPED_TRACE(text);
        {
            std::ofstream broken(host.DefaultSetup, std::ios::trunc | std::ios::binary);
            broken << text;
        }
        ASSERT_FALSE(translator->LoadSetup(host.DefaultSetup, false));
        const std::string error = translator->LastFileError;
        ASSERT_FALSE(error.empty());
        host.Logged.clear();
        host.Messages.clear();
        host.Errors.clear();
        scan->actRescanExecute();
        ASSERT_EQ(host.Logged.size(), 1u);
        EXPECT_EQ(host.Logged[0],
                  "[ERR] the default setup " + host.DefaultSetup + " could not be loaded: " + error);
        // No box, and the window stays as the scan left it.
        EXPECT_TRUE(host.Messages.empty());
        EXPECT_TRUE(host.Errors.empty());
        EXPECT_EQ(Ch(3).SensorType, model::stOff);
        EXPECT_EQ(settings.FanSpeed, 3);
        EXPECT_EQ(host.Caption, "QRB Ondrix Interface Software");
    }
    // A setup that loads logs nothing.
    WriteSetup(true);
    host.Logged.clear();
    scan->actRescanExecute();
    EXPECT_TRUE(host.Logged.empty());
    EXPECT_EQ(Ch(3).SensorType, model::stDMSFullbridge);
}

// ---- A fake LAN amplifier beside the simulated devices ---------------------------------------

TEST_F(ScanFixture, FakeLanAmplifierChannelsBesideTheSimulatedOnes) {
    TFakeAmpConfig config;
    config.Address = "127.0.0.1";
    config.Channels = 4;
    TFakeLanAmplifier amp(config);
    device::TI2CTransportFactory factory = device::DefaultTransportFactory();
    factory.CreateLAN = []() -> std::unique_ptr<device::TI2CControl> {
        return std::make_unique<device::TI2CLANControl>();
    };
    scan.reset();
    menus.reset();
    list.reset();
    translator = MakeTranslator(device::kMaskOffline, factory);
    list = std::make_unique<ui::TChannelList>(*page->List, *page->AllChannels, *translator, settings,
                                              fields.State(), host);
    menus = std::make_unique<ui::TColumnMenus>(*translator, settings, *gate, fields.State(), host, *list,
                                               page->Controls());
    MakeController();
    settings.Interfaces = device::kMaskLAN | device::kMaskOffline;
    settings.LANAddresses = amp.Target();
    settings.VirtDevices = 2;
    scan->actRescanExecute();
    ASSERT_EQ(translator->ChannelCount(), 20);
    EXPECT_EQ(page->List->count(), 20);
    // LAN devices first in the merged list.
    EXPECT_EQ(Ch(0).Kind, device::TInterfaceKind::ikLAN);
    EXPECT_EQ(Ch(4).Kind, device::TInterfaceKind::ikOffline);
    EXPECT_EQ(host.Panels[0], "[LAN,OFFLINE]");
    EXPECT_EQ(host.Overview, device::Format(ui::GetText(1514), {3, 20}));
}

} // namespace
} // namespace qrb::test
