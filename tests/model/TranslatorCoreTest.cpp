// The translator's construction, accessors, options, error reporting, forwarded events and
// device notifications.

#include "tests/model/TranslatorFixture.h"

#include <cstdlib>

namespace qrb::test {
namespace {

using model::TI2CTranslator;

class TranslatorCore : public TranslatorFixture {
protected:
    // Two devices: 10.0.0.1 with two channels, 10.0.0.2 with one.
    void ScanTwoDevices() {
        Create();
        lan->Devices = {GoodDevice("10.0.0.1", 2), GoodDevice("10.0.0.2", 1)};
        ASSERT_EQ(translator->Rescan(), 3);
        events.clear();
    }

    device::TIRQMessage Message(uint16_t word, uint8_t statusByte = 0xFF) {
        device::TIRQMessage m;
        m.Magic = device::TIRQMessage::MagicValue;
        m.IRQWord = word;
        m.ChannelStatus.fill(statusByte);
        return m;
    }

    // Hands the message to the main thread as a LAN reader thread does, then runs it there.
    void Notify(int32_t transportIndex, const device::TIRQMessage& m) {
        lan->PostIRQ(transportIndex, lan->ScanGeneration(), m);
        loop.Step();
    }
};

TEST_F(TranslatorCore, StartsEmptyWithItsDefaults) {
    Create(device::kMaskLAN | device::kMaskOffline);
    const TI2CTranslator& t = *translator;
    EXPECT_EQ(t.ChannelCount(), 0);
    EXPECT_EQ(t.MasterCount(), 0);
    EXPECT_EQ(t.Interfaces, device::kMaskLAN | device::kMaskOffline);
    EXPECT_EQ(t.HAL->Interfaces(), t.Interfaces);
    EXPECT_EQ(t.DebugLevel, 0);
    EXPECT_EQ(t.SettleTime, 250);
    EXPECT_EQ(t.ZeroAverage, 4);
    EXPECT_FALSE(t.OfflineMode);
    EXPECT_FALSE(t.DevicesFound);
    EXPECT_TRUE(t.SensorEntries.Sorted());
    for (bool s : t.Selected)
        ASSERT_FALSE(s);
    // The test's own configuration folder, as the application-data folder.
    const char* config = std::getenv("XDG_CONFIG_HOME");
    ASSERT_NE(config, nullptr);
    EXPECT_EQ(t.AppDataFolder, std::string(config) + "/");
}

TEST_F(TranslatorCore, ScanNowScansTheDevicesButLeavesTheModelEmpty) {
    initialLan = {GoodDevice("10.0.0.1", 2)};
    Create(device::kMaskLAN, true);
    EXPECT_EQ(translator->HAL->DeviceCount(), 1);
    EXPECT_EQ(translator->ChannelCount(), 0);
    EXPECT_EQ(translator->MasterCount(), 0);
}

TEST_F(TranslatorCore, AccessorsAnswerNullOutsideTheLists) {
    ScanTwoDevices();
    TI2CTranslator& t = *translator;
    EXPECT_EQ(t.GetChannel(-1), nullptr);
    EXPECT_EQ(t.GetChannel(t.ChannelCount()), nullptr);
    ASSERT_NE(t.GetChannel(2), nullptr);
    EXPECT_EQ(t.GetChannel(2)->GlobalIndex, 2);
    EXPECT_EQ(t.GetMaster(-1), nullptr);
    EXPECT_EQ(t.GetMaster(t.MasterCount()), nullptr);
    ASSERT_NE(t.GetMaster(1), nullptr);
    EXPECT_EQ(t.GetMaster(1)->Device, 1);
}

TEST_F(TranslatorCore, ClampsTheZeroAverageAndReadsTheICPOption) {
    Create();
    struct Case {
        int32_t in, out;
    };
    for (const Case c : {Case{0, 1}, Case{-7, 1}, Case{1, 1}, Case{17, 17}, Case{30, 30}, Case{31, 30}}) {
        translator->SetZeroAverage(c.in);
        EXPECT_EQ(translator->ZeroAverage, c.out) << c.in;
    }
    for (const Case c : {Case{-1, 0}, Case{0, 0}, Case{1, 1}, Case{5, 1}}) {
        translator->SetICPCompVoltage(c.in);
        EXPECT_EQ(translator->ICPCompVoltage, c.out == 1) << c.in;
    }
}

TEST_F(TranslatorCore, PassesSettingsToTheHardwareAbstraction) {
    Create(device::kMaskLAN);
    translator->SetDebugLevel(3);
    EXPECT_EQ(translator->DebugLevel, 3);
    EXPECT_EQ(lan->LogLevel, 3);
    EXPECT_EQ(lan->I2CLogLevel, 3);

    // The simulated transport is not enabled: the target goes nowhere.
    EXPECT_EQ(translator->AddScanTarget("A-8:3", device::kMaskOffline), -1);
    EXPECT_EQ(sim->ScanTargets.Count(), 0u);
    EXPECT_EQ(translator->AddScanTarget("127.0.0.2:8888", device::kMaskLAN), 0);
    EXPECT_EQ(lan->ScanTargets.Count(), 1u);
    translator->ClearScanTargets();
    EXPECT_EQ(lan->ScanTargets.Count(), 0u);

    translator->SetInterfaces(device::kMaskOffline);
    EXPECT_EQ(translator->Interfaces, device::kMaskOffline);
    EXPECT_EQ(translator->HAL->Interfaces(), device::kMaskOffline);
    EXPECT_EQ(translator->AddScanTarget("A-8:3", device::kMaskOffline), 0);
    EXPECT_EQ(sim->ScanTargets.Count(), 1u);
}

TEST_F(TranslatorCore, SelectionCoversEveryChannelIndexAndSurvivesARescan) {
    ScanTwoDevices();
    TI2CTranslator& t = *translator;
    t.SelectAll();
    EXPECT_TRUE(t.IsSelected(0));
    EXPECT_TRUE(t.IsSelected(model::kSelectionSize - 1));
    EXPECT_FALSE(t.IsSelected(model::kSelectionSize));
    EXPECT_FALSE(t.IsSelected(-1));
    t.ClearSelection();
    EXPECT_FALSE(t.IsSelected(0));
    t.Selected[1] = true;
    t.Rescan();
    EXPECT_TRUE(t.IsSelected(1));
    EXPECT_FALSE(t.IsSelected(0));
}

TEST_F(TranslatorCore, ReportErrorSendsTheTextOnceAndClearsIt) {
    Create();
    TI2CTranslator& t = *translator;
    t.LastError = "first";
    t.ReportError();
    EXPECT_EQ(events, (std::vector<std::string>{"Error: first"}));
    EXPECT_EQ(t.LastError, "");

    // Above debug level 0 the translator's error event comes first.
    events.clear();
    t.SetDebugLevel(1);
    t.LastError = "second";
    t.ReportError();
    EXPECT_EQ(events, (std::vector<std::string>{"TranslatorError: second", "Error: second"}));
    EXPECT_EQ(t.LastError, "");

    // Without OnError the text is still cleared.
    events.clear();
    t.OnError = nullptr;
    t.LastError = "third";
    t.ReportError();
    EXPECT_EQ(events, (std::vector<std::string>{"TranslatorError: third"}));
    EXPECT_EQ(t.LastError, "");
}

TEST_F(TranslatorCore, TranslatorErrorWithoutItsHandlerDoesNothing) {
    Create();
    translator->OnTranslatorError = nullptr;
    translator->DoTranslatorError(translator.get(), "lost");
    translator->DoTranslatorLog(translator.get(), "kept");
    EXPECT_EQ(events, (std::vector<std::string>{"TranslatorLog: kept"}));
}

TEST_F(TranslatorCore, ChannelIndexCheckReportsTheIndexCountedFromOne) {
    ScanTwoDevices();
    TI2CTranslator& t = *translator;
    EXPECT_TRUE(t.CheckChannelIndex(0));
    EXPECT_TRUE(t.CheckChannelIndex(2));
    EXPECT_TRUE(events.empty());
    EXPECT_FALSE(t.CheckChannelIndex(3));
    EXPECT_FALSE(t.CheckChannelIndex(-1));
    EXPECT_FALSE(t.CheckChannelIndex(4, "Invalid channel %2.2d"));
    EXPECT_EQ(events, (std::vector<std::string>{"Error: Invalid channel 4", "Error: Invalid channel 0",
                                                "Error: Invalid channel 05"}));
    EXPECT_EQ(t.LastError, "");
}

TEST_F(TranslatorCore, ForwardsTheTransportEventsUnchanged) {
    Create();
    lan->Log(0, "log line");
    lan->I2CLog(0, "i2c line");
    lan->OnDeviceChange(nullptr);
    lan->DeviceLost("10.0.0.9");
    EXPECT_EQ(events, (std::vector<std::string>{"DeviceLog: log line", "I2CLog: [I2C] i2c line",
                                                "DeviceChange", "DeviceLost: 10.0.0.9"}));

    events.clear();
    const void* scanSender = nullptr;
    translator->OnScanStart = [&](const void* s) { scanSender = s; };
    EXPECT_EQ(translator->CountDevices(), 0);
    EXPECT_EQ(scanSender, translator->HAL.get());
    EXPECT_EQ(events, (std::vector<std::string>{"ScanEnd(0)"}));
}

TEST_F(TranslatorCore, TransportErrorsReachTheErrorEventOnlyAboveDebugLevelZero) {
    Create();
    lan->Error("bad index");
    EXPECT_TRUE(events.empty());
    translator->SetDebugLevel(1);
    lan->Error("bad index");
    EXPECT_EQ(events, (std::vector<std::string>{"I2CError: [I2C] bad index"}));
}

TEST_F(TranslatorCore, NotificationRaisesTheFirstClearedAlarmOrTheInterrupt) {
    ScanTwoDevices();
    struct Case {
        uint16_t word;
        std::string event;
    };
    const Case cases[] = {
        {0x0000, "Alarm(1,256)"},  // supply and fan both out: the supply alarm only
        {0x0400, "Alarm(1,256)"},  // supply
        {0x0100, "Alarm(1,1024)"}, // fan
        {0x0500, "Interrupt(1,1280)"}, {0xFFFF, "Interrupt(1,65535)"},
    };
    for (const Case& c : cases) {
        events.clear();
        Notify(1, Message(c.word));
        EXPECT_EQ(events, (std::vector<std::string>{c.event})) << std::hex << c.word;
    }
}

TEST_F(TranslatorCore, NotificationSetsTheStatusBitsOfTheDevicesChannels) {
    ScanTwoDevices();
    TI2CTranslator& t = *translator;
    t.GetChannel(0)->dms_pwr_on = 1;
    t.GetChannel(1)->dms_pwr_on = 0;

    device::TIRQMessage m = Message(0xFFFF);
    m.ChannelStatus[0] = 0x00; // every condition, active low
    m.ChannelStatus[1] = 0x00;
    Notify(0, m);
    EXPECT_EQ(t.GetChannel(0)->ADC8Status, 0xFC); // bits 0 and 1 never count
    EXPECT_EQ(t.GetChannel(1)->ADC8Status, 0x7C); // without DMS power the fuse bit is dropped
    EXPECT_EQ(t.GetChannel(2)->ADC8Status, 0x00); // another device

    // The history keeps every bit until it is cleared.
    m.ChannelStatus[0] = static_cast<uint8_t>(~0x04);
    Notify(0, m);
    EXPECT_EQ(t.GetChannel(0)->ADC8Status, 0x04);
    EXPECT_EQ(t.GetChannel(0)->ADC8History, 0xFC);
    t.ClearErrorHistory();
    EXPECT_EQ(t.GetChannel(0)->ADC8History, 0x00);
    EXPECT_EQ(t.GetChannel(0)->ADC8Status, 0x04);
}

TEST_F(TranslatorCore, MergedNotificationsLeaveTheNewestStatusAndEveryConditionInTheHistory) {
    ScanTwoDevices();
    TI2CTranslator& t = *translator;
    constexpr uint8_t shortcut = 0x10, charge = 0x20, hot = 0x40;
    auto message = [this](uint16_t word, uint8_t condition) {
        return Message(word, static_cast<uint8_t>(~condition)); // active low
    };
    // Both devices send while the main thread is busy: alarm, interrupt, alarm again.
    const uint64_t generation = lan->ScanGeneration();
    lan->PostIRQ(0, generation, message(0x0400, 0));
    lan->PostIRQ(1, generation, message(0x0100, 0));
    lan->PostIRQ(0, generation, message(0xFFFF, shortcut));
    lan->PostIRQ(1, generation, message(0xFFFF, hot));
    lan->PostIRQ(0, generation, message(0x0400, charge));
    lan->PostIRQ(1, generation, message(0x0100, shortcut));
    loop.Step();
    EXPECT_EQ(int{t.GetChannel(0)->ADC8Status}, charge);
    EXPECT_EQ(int{t.GetChannel(1)->ADC8Status}, charge);
    EXPECT_EQ(int{t.GetChannel(2)->ADC8Status}, shortcut);
    EXPECT_EQ(int{t.GetChannel(0)->ADC8History}, shortcut | charge);
    EXPECT_EQ(int{t.GetChannel(2)->ADC8History}, hot | shortcut);
}

TEST_F(TranslatorCore, NotificationForADeviceWithoutChannelsStillFires) {
    Create();
    lan->Devices = {GoodDevice("10.0.0.1", 2), GoodDevice("10.0.0.2", 0)};
    ASSERT_EQ(translator->Rescan(), 2);
    events.clear();
    Notify(1, Message(0x0000));
    EXPECT_EQ(events, (std::vector<std::string>{"Alarm(1,256)"}));
}

TEST_F(TranslatorCore, NotificationUsesTheMergedDeviceIndex) {
    Create(device::kMaskLAN | device::kMaskOffline);
    lan->Devices = {GoodDevice("10.0.0.1", 1)};
    sim->Devices = {GoodDevice("VD 00-08", 1), GoodDevice("VD 01-08", 1)};
    ASSERT_EQ(translator->Rescan(), 3);
    ASSERT_EQ(translator->GetChannel(2)->Device, 2);
    events.clear();
    // Transport index 1 of the simulated transport is merged device 2.
    device::TIRQMessage m = Message(0xFFFF);
    m.ChannelStatus[0] = static_cast<uint8_t>(~0x10);
    sim->PostIRQ(1, sim->ScanGeneration(), m);
    loop.Step();
    EXPECT_EQ(events, (std::vector<std::string>{"Interrupt(2,65535)"}));
    EXPECT_EQ(translator->GetChannel(2)->ADC8Status, 0x10);
    EXPECT_EQ(translator->GetChannel(1)->ADC8Status, 0x00);
}

} // namespace
} // namespace qrb::test
