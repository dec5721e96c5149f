// Rescan, ScanDevice, Disconnect and CountDevices over scripted transports: the model they
// build, the device refusals with their texts, the channel-information repair, the calibration
// fallback and the event order.

#include "tests/model/TranslatorFixture.h"

#include "device/Format.h"

namespace qrb::test {
namespace {

using device::TI2CResult;
using model::TI2CTranslator;

class TranslatorScan : public TranslatorFixture {
protected:
    void SetUp() override { Create(); }

    std::vector<std::string> ScanLog() const { return Events("ScanLog: "); }
};

TEST_F(TranslatorScan, RefusesToRunWithoutConfigCompleteHandler) {
    lan->Devices = {GoodDevice("10.0.0.1", 2)};
    translator->OnConfigComplete = nullptr;
    try {
        translator->Rescan();
        FAIL() << "no exception";
    } catch (const model::ETranslatorError& e) {
        EXPECT_STREQ(e.what(), "No event assigned for config complete! Application error!");
    }
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(translator->HAL->DeviceCount(), 0);
}

TEST_F(TranslatorScan, NoDeviceFoundGivesZero) {
    EXPECT_EQ(translator->Rescan(), 0);
    EXPECT_FALSE(translator->DevicesFound);
    EXPECT_FALSE(translator->OfflineMode);
    EXPECT_EQ(translator->LastDeviceCount, 0);
    EXPECT_EQ(events, (std::vector<std::string>{"BeginUpdate", "ScanStart", "ScanEnd(0)", "EndUpdate(0)"}));
}

TEST_F(TranslatorScan, BuildsTheModelOfTwoDevices) {
    lan->Devices = {GoodDevice("10.0.0.2", 1), GoodDevice("10.0.0.1", 2)};
    lan->Device(1).Version = "SN-77";
    lan->Device(1).Valid = 3;
    lan->Device(1).Calibration[1] = UsableCalibration("2024-05-06");
    lan->Device(1).Block.Slots[1].HasCalibTable = 1;

    EXPECT_EQ(translator->Rescan(), 3);
    const TI2CTranslator& t = *translator;
    EXPECT_TRUE(t.DevicesFound);
    EXPECT_EQ(t.LastDeviceCount, 2);
    EXPECT_FALSE(t.OfflineMode);
    EXPECT_EQ(t.LastScanError, "");
    EXPECT_EQ(t.BitErrors.size(), 3u);

    // Merged order is by name: 10.0.0.1 (transport index 1) is device 0.
    ASSERT_EQ(t.MasterCount(), 2);
    EXPECT_EQ(t.Masters.Text(0), "0");
    EXPECT_EQ(t.Masters.Text(1), "1");
    EXPECT_EQ(t.GetMaster(0)->DeviceName, "10.0.0.1");
    EXPECT_EQ(t.GetMaster(0)->Kind, device::TInterfaceKind::ikLAN);
    EXPECT_TRUE(t.GetMaster(0)->MasterFlashValid);
    EXPECT_TRUE(t.GetMaster(0)->DCDCValid);
    EXPECT_EQ(t.GetMaster(0)->Translator, &t);

    ASSERT_EQ(t.ChannelCount(), 3);
    const char* names[] = {"Channel  1", "Channel  2", "Channel  3"};
    const int devices[] = {0, 0, 1};
    const int slots[] = {0, 1, 0};
    for (int i = 0; i < 3; ++i) {
        const model::TQRBRawChannel& c = *t.GetChannel(i);
        SCOPED_TRACE(i);
        EXPECT_EQ(t.Channels.Text(i), names[i]);
        EXPECT_EQ(c.Name, names[i]);
        EXPECT_EQ(c.GlobalIndex, i);
        EXPECT_EQ(c.Device, devices[i]);
        EXPECT_EQ(c.Group, 0);
        EXPECT_EQ(c.Slot, slots[i]);
        EXPECT_EQ(c.Master, t.GetMaster(devices[i]));
        EXPECT_EQ(c.Kind, device::TInterfaceKind::ikLAN);
        EXPECT_TRUE(c.Present);
        EXPECT_FALSE(c.Defect);
        EXPECT_TRUE(c.HasADC18);
        EXPECT_EQ(c.ADC8LowVal, 120);
        EXPECT_EQ(c.Current.ADC8LowVal, 120);
        EXPECT_EQ(c.Current.Image.Words[8], 2048);
        EXPECT_EQ(c.Pending, c.Current);
        EXPECT_EQ(c.HWVersion, 1); // decoded
        EXPECT_EQ(c.OffsetDAC, 2048);
        EXPECT_EQ(c.Info.Serial, 1000 + slots[i]);
    }
    // The usable table of device 0 slot 1 gives its zero.
    EXPECT_EQ(t.GetChannel(1)->Calibration, lan->Device(1).Calibration[1]);
    EXPECT_EQ(t.GetChannel(1)->OffsetZero, 2000);
    EXPECT_EQ(t.GetChannel(0)->OffsetZero, 2048);

    const std::string today = [] {
        int y, m, d;
        device::DecodeDate(device::Now(), y, m, d);
        return device::Format("%4.4d-%2.2d-%2.2d", y, m, d);
    }();
    EXPECT_EQ(t.GetChannel(0)->Calibration.CalibDate.Text(), today);

    EXPECT_EQ(
        events,
        (std::vector<std::string>{
            "BeginUpdate",
            "ScanStart",
            "ScanEnd(2)",
            "DeviceScanStart",
            "ScanLog: Scanning 10.0.0.1 [controller serial: SN-77, controller version: 3]",
            "ScanLog: Found device with 02 active of 08 available channels! Parts=($3F) Status=($81)",
            "ScanLog: Device 01 Firmware - FW: 2.6.9.0",
            "ScanLog: Found Channel: Channel  1  Serial: P#2.01000  D#730.00100 Offsetadjust: default",
            "ScanLog: Found Channel: Channel  2  Serial: P#2.01001  D#730.00101 Offsetadjust: 2024-05-06",
            "DeviceScanStart",
            "ScanLog: Scanning 10.0.0.2 [controller serial: 1.0, controller version: 1]",
            "ScanLog: Found device with 01 active of 08 available channels! Parts=($3F) Status=($81)",
            "ScanLog: Device 02 Firmware - FW: 2.6.9.0",
            "ScanLog: Found Channel: Channel  3  Serial: P#2.01000  D#730.00100 Offsetadjust: default",
            "EndUpdate(3)",
        }));
}

// A device of three fails; the other two stay in the model.
struct Refusal {
    const char* name;
    void (*script)(TScriptedDevice&);
    const char* text;
    const char* lastCall; // the last call the model made to the refused device
};

const Refusal kRefusals[] = {
    {"InfoFails", [](TScriptedDevice& d) { d.InfoResult = TI2CResult::irNoAnswer; },
     "Error while checking device 1!", "GetDeviceInfo(1)"},
    {"NotStarted", [](TScriptedDevice& d) { d.Info.State = 0; }, "Ondrix device is not started completely!",
     "GetDeviceInfo(1)"},
    {"Standby", [](TScriptedDevice& d) { d.Info.State = 1; }, "Ondrix device is in standby mode!",
     "GetDeviceInfo(1)"},
    {"I2CError", [](TScriptedDevice& d) { d.Info.Error = 1; }, "Error with I²C connection on device!",
     "GetDeviceInfo(1)"},
    {"Backbone2", [](TScriptedDevice& d) { d.Info.Error = 2; }, "Error with backbone init on device!",
     "GetDeviceInfo(1)"},
    {"Backbone4", [](TScriptedDevice& d) { d.Info.Error = 4; }, "Error with backbone init on device!",
     "GetDeviceInfo(1)"},
    {"Backbone8", [](TScriptedDevice& d) { d.Info.Error = 8; }, "Error with backbone init on device!",
     "GetDeviceInfo(1)"},
    {"UnknownError", [](TScriptedDevice& d) { d.Info.Error = 16; },
     "Unknown error (16) on startup of device!", "GetDeviceInfo(1)"},
    {"OldFirmware",
     [](TScriptedDevice& d) {
         d.Firmware = {{2, 6, 8, 0}};
     },
     "Firmware of device 02 is deprecated, please update to firmware 2.6.9 or later!", "GetFWVersion(1)"},
    {"VeryOldFirmware",
     [](TScriptedDevice& d) {
         d.Firmware = {{1, 9, 9, 0}};
     },
     "Firmware of device 02 is deprecated, please update to firmware 2.6.9 or later!", "GetFWVersion(1)"},
    {"ChannelInfoFails", [](TScriptedDevice& d) { d.BlockResult = TI2CResult::irNoAnswer; },
     "Error on getting channelinfo on device 1!", "GetChannelInfo(1)"},
};

class TranslatorRefusal : public TranslatorScan, public ::testing::WithParamInterface<Refusal> {};

TEST_P(TranslatorRefusal, LeavesTheDeviceOutAndReportsIt) {
    lan->Devices = {GoodDevice("10.0.0.1", 2), GoodDevice("10.0.0.2", 3), GoodDevice("10.0.0.3", 1)};
    GetParam().script(lan->Device(1));

    EXPECT_EQ(translator->Rescan(), 0);
    const TI2CTranslator& t = *translator;
    EXPECT_EQ(t.LastScanError, GetParam().text);
    EXPECT_EQ(Events("ScanError: "),
              (std::vector<std::string>{std::string("ScanError: ") + GetParam().text}));
    EXPECT_TRUE(t.DevicesFound);
    EXPECT_EQ(events.back(), "EndUpdate(0)");

    // Both good devices are modelled; nothing of the refused one.
    ASSERT_EQ(t.MasterCount(), 2);
    EXPECT_EQ(t.GetMaster(0)->Device, 0);
    EXPECT_EQ(t.GetMaster(1)->Device, 2);
    ASSERT_EQ(t.ChannelCount(), 3);
    EXPECT_EQ(t.GetChannel(2)->Device, 2);
    EXPECT_EQ(t.GetChannel(2)->Name, "Channel  3");

    std::vector<std::string> calls;
    for (const auto& c : lan->Calls)
        if (c.find("(1)") != std::string::npos && c.rfind("SetIRQ", 0) != 0) calls.push_back(c);
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), GetParam().lastCall);
}

INSTANTIATE_TEST_SUITE_P(Devices, TranslatorRefusal, ::testing::ValuesIn(kRefusals),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TranslatorScan, FirmwareFrom269IsCurrent) {
    struct Case {
        std::array<int32_t, 4> v;
        bool current;
    };
    const Case cases[] = {
        {{2, 6, 9, 0}, true},   {{3, 0, 0, 0}, true},  {{2, 7, 0, 0}, true},   {{2, 6, 10, 0}, true},
        {{2, 6, 8, 99}, false}, {{1, 9, 9, 0}, false}, {{2, 5, 10, 0}, false}, {{0, 0, 0, 0}, false},
    };
    for (const Case& c : cases) {
        device::TFWVersion v{c.v};
        EXPECT_EQ(TI2CTranslator::IsFirmwareCurrent(v), c.current)
            << c.v[0] << "." << c.v[1] << "." << c.v[2];
    }
}

TEST_F(TranslatorScan, RepairsTheM21ChannelInformation) {
    lan->Devices = {GoodDevice("10.0.0.1", 2), GoodDevice("10.0.0.2", 2)};
    // Device 1 slot 1 is the third channel of the model.
    device::TChannelInfo& bad = lan->Device(1).Block.Slots[1].Info;
    bad.MaskI[2] = 0xC040;
    bad.MaskO[2] = 0x1234;
    // Version 1 information is never touched.
    lan->Device(0).Block.Slots[0].Info.Version = 1;
    lan->Device(0).Block.Slots[0].Info.MaskI[2] = 0xC040;

    EXPECT_EQ(translator->Rescan(), 4);
    EXPECT_TRUE(lan->Device(0).ChannelInfoWrites.empty());
    ASSERT_EQ(lan->Device(1).ChannelInfoWrites.size(), 1u);
    const auto& [slot, written] = lan->Device(1).ChannelInfoWrites[0];
    EXPECT_EQ(slot, 1);
    EXPECT_EQ(written.MaskI[2], 0xC000);
    EXPECT_EQ(written.MaskO[2], 0x00C0);
    device::TChannelInfo expected = bad;
    expected.MaskI[2] = 0xC000;
    expected.MaskO[2] = 0x00C0;
    EXPECT_EQ(written, expected);

    // The model's copy is repaired as well, so nothing can write the fault back.
    EXPECT_EQ(translator->GetChannel(3)->Info, expected);
    EXPECT_EQ(translator->GetChannel(0)->Info.MaskI[2], 0xC040);

    const auto log = ScanLog();
    const auto found = std::find(log.begin(), log.end(), "ScanLog: M21 bug found on channel 04 - fixing ...");
    ASSERT_NE(found, log.end());
    EXPECT_EQ(*(found + 1), "ScanLog: M21 bug fixed on channel 04.");
}

TEST_F(TranslatorScan, ReportsAFailedM21Repair) {
    lan->Devices = {GoodDevice("10.0.0.1", 1)};
    lan->Device(0).Block.Slots[0].Info.MaskI[2] = 0xC040;
    lan->Device(0).SetChannelInfoResult = TI2CResult::irNoAnswer;
    EXPECT_EQ(translator->Rescan(), 1);
    const auto log = ScanLog();
    ASSERT_GE(log.size(), 5u);
    EXPECT_EQ(log[3], "ScanLog: M21 bug found on channel 01 - fixing ...");
    EXPECT_EQ(log[4], "ScanLog: Error while fixing M21 bug on channel 01.");
}

TEST_F(TranslatorScan, ListsAFittedButAbsentSlotAsDefect) {
    lan->Devices = {GoodDevice("10.0.0.1", 3)};
    auto& slots = lan->Device(0).Block.Slots;
    slots[1].Present = 0; // fitted, not answering
    slots[5].Fitted = 1;  // fitted only
    EXPECT_EQ(translator->Rescan(), 4);
    const TI2CTranslator& t = *translator;
    const int expectedSlots[] = {0, 1, 2, 5};
    for (int i = 0; i < 4; ++i) {
        const model::TQRBRawChannel& c = *t.GetChannel(i);
        SCOPED_TRACE(i);
        EXPECT_EQ(c.Slot, expectedSlots[i]);
        EXPECT_EQ(c.Name, device::Format("Channel %2d", i + 1));
        EXPECT_EQ(t.Channels.Text(i), c.Name);
        EXPECT_EQ(c.GlobalIndex, i);
    }
    for (int i : {1, 3}) {
        const model::TQRBRawChannel& c = *t.GetChannel(i);
        EXPECT_FALSE(c.Present);
        EXPECT_TRUE(c.Defect);
        EXPECT_EQ(c.HWVersion, model::kHWVersionUndecoded);
        EXPECT_EQ(c.Info, device::TChannelInfo{});
    }
    EXPECT_TRUE(t.GetChannel(2)->Present);
    EXPECT_EQ(ScanLog().size(), 3u + 2u); // one channel line per present channel
}

TEST_F(TranslatorScan, FallsBackToTheDefaultCalibration) {
    lan->Devices = {GoodDevice("10.0.0.1", 4)};
    TScriptedDevice& d = lan->Device(0);
    // Slot 0: no table. Slot 1: usable. Slot 2: the read fails. Slot 3: a table never written.
    for (int s = 1; s < 4; ++s)
        d.Block.Slots[static_cast<size_t>(s)].HasCalibTable = 1;
    d.Calibration[1] = UsableCalibration("2023-01-31", 1999);
    d.CalibrationResult[2] = TI2CResult::irNoAnswer;
    d.Calibration[2] = UsableCalibration("2020-02-02");
    d.Calibration[3] = device::TChannelCalibTable{};

    EXPECT_EQ(translator->Rescan(), 4);
    const char* adjust[] = {"default", "2023-01-31", "default", "default"};
    const auto log = ScanLog();
    for (int s = 0; s < 4; ++s) {
        SCOPED_TRACE(s);
        const model::TQRBRawChannel& c = *translator->GetChannel(s);
        EXPECT_EQ(log[static_cast<size_t>(3 + s)],
                  device::Format("ScanLog: Found Channel: Channel %2d  Serial: P#2.%5.5d  D#730.%5.5d "
                                 "Offsetadjust: %s",
                                 s + 1, 1000 + s, 100 + s, adjust[s]));
        if (s == 1) {
            EXPECT_TRUE(c.Calibration.IsUsable());
            EXPECT_EQ(c.OffsetZero, 1999);
        } else {
            EXPECT_EQ(c.Calibration.Source(), "QRBCAL730");
            EXPECT_EQ(c.Calibration.AdjustMarker, 8);
            EXPECT_EQ(c.Calibration.ZeroOffsets[3][7][1], 2048);
            EXPECT_FALSE(c.Calibration.IsUsable());
            EXPECT_EQ(c.OffsetZero, 2048);
        }
    }
}

TEST_F(TranslatorScan, AScanExceptionLeavesTheModelEmpty) {
    lan->Devices = {GoodDevice("10.0.0.1", 2)};
    ASSERT_EQ(translator->Rescan(), 2);
    lan->ScanThrows = "boom";
    events.clear();

    EXPECT_EQ(translator->Rescan(), 0);
    const TI2CTranslator& t = *translator;
    EXPECT_EQ(t.ChannelCount(), 0);
    EXPECT_EQ(t.MasterCount(), 0);
    EXPECT_FALSE(t.DevicesFound);
    EXPECT_EQ(t.LastDeviceCount, 0);
    EXPECT_EQ(t.LastScanError, "Error while scanning devices:boom");
    EXPECT_EQ(events,
              (std::vector<std::string>{"BeginUpdate", "ScanStart",
                                        "ScanError: Error while scanning devices:boom", "EndUpdate(0)"}));
}

TEST_F(TranslatorScan, AFailingMasterFlashReadKeepsTheOtherDevices) {
    lan->Devices = {GoodDevice("10.0.0.1", 2), GoodDevice("10.0.0.2", 1)};
    lan->Device(0).FlashResult = TI2CResult::irNoAnswer;
    // The device object could not be built, but the device was not refused: the scan succeeds.
    EXPECT_EQ(translator->Rescan(), 1);
    EXPECT_EQ(translator->LastScanError, "Error on reading masterflash on device 0!");
    EXPECT_EQ(Events("ScanError: "),
              (std::vector<std::string>{"ScanError: Error on reading masterflash on device 0!"}));
    ASSERT_EQ(translator->MasterCount(), 1);
    EXPECT_EQ(translator->GetMaster(0)->Device, 1);
    EXPECT_EQ(translator->GetChannel(0)->Name, "Channel  1");
    EXPECT_EQ(translator->BitErrors.size(), 1u);
}

TEST_F(TranslatorScan, AFailingDCDCReadOnlyClearsItsFlag) {
    lan->Devices = {GoodDevice("10.0.0.1", 1)};
    lan->Device(0).DCDCResult = TI2CResult::irNoAnswer;
    lan->Device(0).Flash.Magic[3] = 'x';
    EXPECT_EQ(translator->Rescan(), 1);
    EXPECT_FALSE(translator->GetMaster(0)->DCDCValid);
    EXPECT_FALSE(translator->GetMaster(0)->MasterFlashValid);
    EXPECT_EQ(ScanLog().back(),
              "ScanLog: Found Channel: Channel  1  Serial: P#2.01000  D#0.00000 Offsetadjust: default");
}

TEST_F(TranslatorScan, ANewScanStartsWithoutTheLastError) {
    lan->Devices = {GoodDevice("10.0.0.1", 1)};
    lan->Device(0).Info.State = 1;
    EXPECT_EQ(translator->Rescan(), 0);
    EXPECT_EQ(translator->LastScanError, "Ondrix device is in standby mode!");
    lan->Device(0).Info.State = 2;
    EXPECT_EQ(translator->Rescan(), 1);
    EXPECT_EQ(translator->LastScanError, "");
}

TEST_F(TranslatorScan, TakesTheLockStateOfTheDevices) {
    lan->Devices = {GoodDevice("10.0.0.1", 1)};
    struct Case {
        uint32_t lock;
        bool locked;
    };
    for (const Case c : {Case{1, true}, Case{0, false}, Case{2, false}}) {
        lan->Device(0).Info.LockState = c.lock;
        translator->Rescan();
        EXPECT_EQ(translator->DeviceLocked, c.locked) << c.lock;
    }
}

TEST_F(TranslatorScan, OfflineModeFollowsTheSimulatedInterface) {
    Create(device::kMaskOffline);
    sim->Devices = {GoodDevice("VD 00-08", 2)};
    EXPECT_EQ(translator->Rescan(), 2);
    EXPECT_TRUE(translator->OfflineMode);
    EXPECT_EQ(translator->GetChannel(0)->Kind, device::TInterfaceKind::ikOffline);
    EXPECT_EQ(translator->GetMaster(0)->Kind, device::TInterfaceKind::ikOffline);
    sim->Devices.clear();
    EXPECT_EQ(translator->Rescan(), 0);
    EXPECT_FALSE(translator->OfflineMode);
}

TEST_F(TranslatorScan, DeviceArraysGrowWithTheDeviceCount) {
    for (int i = 0; i < 40; ++i) {
        lan->Devices.push_back(GoodDevice(device::Format("10.0.%d.1", 100 + i), i == 39 ? 1 : 0));
        lan->Devices.back().Info.FanRpm = static_cast<uint16_t>(i);
    }
    EXPECT_EQ(translator->Rescan(), 1);
    ASSERT_GE(translator->DeviceInfos.size(), 40u);
    ASSERT_GE(translator->DeviceADC8.size(), 40u);
    EXPECT_EQ(translator->DeviceInfos[39].FanRpm, 39);
    EXPECT_EQ(translator->GetChannel(0)->Device, 39);

    // A failed read keeps what the last scan read.
    lan->Device(39).InfoResult = TI2CResult::irNoAnswer;
    lan->Device(39).Info.FanRpm = 7;
    EXPECT_EQ(translator->Rescan(), 0);
    EXPECT_EQ(translator->DeviceInfos[39].FanRpm, 39);
}

TEST_F(TranslatorScan, ScanDeviceOutsideTheListFails) {
    lan->Devices = {GoodDevice("10.0.0.1", 1)};
    translator->CountDevices();
    EXPECT_EQ(translator->ScanDevice(1), -1);
    EXPECT_EQ(translator->ScanDevice(-1), -1);
    EXPECT_EQ(translator->LastScanError, "Error while checking device -1!");
    EXPECT_EQ(translator->ChannelCount(), 0);
    EXPECT_EQ(translator->ScanDevice(0), 1);
}

TEST_F(TranslatorScan, ARescanReplacesTheModel) {
    lan->Devices = {GoodDevice("10.0.0.1", 3)};
    ASSERT_EQ(translator->Rescan(), 3);
    translator->GetChannel(0)->ADC8History = 0x10;
    lan->Devices = {GoodDevice("10.0.0.1", 1)};
    ASSERT_EQ(translator->Rescan(), 1);
    EXPECT_EQ(translator->ChannelCount(), 1);
    EXPECT_EQ(translator->MasterCount(), 1);
    EXPECT_EQ(translator->GetChannel(0)->ADC8History, 0);
    EXPECT_EQ(translator->BitErrors.size(), 1u);
}

TEST_F(TranslatorScan, CountDevicesLeavesTheModel) {
    lan->Devices = {GoodDevice("10.0.0.1", 2)};
    ASSERT_EQ(translator->Rescan(), 2);
    lan->Devices.push_back(GoodDevice("10.0.0.2", 2));
    EXPECT_EQ(translator->CountDevices(), 2);
    EXPECT_EQ(translator->ChannelCount(), 2);
}

TEST_F(TranslatorScan, DisconnectEmptiesTheModelAndClosesTheDevices) {
    lan->Devices = {GoodDevice("10.0.0.1", 2)};
    ASSERT_EQ(translator->Rescan(), 2);
    events.clear();
    translator->Disconnect();
    EXPECT_EQ(translator->ChannelCount(), 0);
    EXPECT_EQ(translator->MasterCount(), 0);
    EXPECT_EQ(translator->HAL->DeviceCount(), 0);
    EXPECT_EQ(lan->MasterCount(), 0);
    EXPECT_EQ(events, (std::vector<std::string>{"BeginUpdate", "EndUpdate(0)"}));
}

} // namespace
} // namespace qrb::test

namespace qrb::test {
namespace {

// The whole scan over the simulated transport of offline mode.
class TranslatorOffline : public ::testing::Test {
protected:
    TInstalledVirtualMainLoop loop;
    model::TI2CTranslator translator{device::kMaskOffline, false, device::DefaultTransportFactory()};
    std::vector<std::string> log;

    void SetUp() override {
        translator.OnConfigComplete = [](const void*) {};
        translator.OnScanLog = [this](const void*, const std::string& s) { log.push_back(s); };
        translator.OnDeviceLog = [this](const void*, const std::string& s) { log.push_back("device: " + s); };
    }
};

TEST_F(TranslatorOffline, ScansSimulatedDevices) {
    EXPECT_EQ(translator.AddScanTarget("B-3:1", device::kMaskOffline), 0);
    EXPECT_EQ(translator.AddScanTarget("A-8:3", device::kMaskOffline), 0);
    EXPECT_EQ(translator.Rescan(), 11);
    EXPECT_TRUE(translator.OfflineMode);
    EXPECT_TRUE(translator.DevicesFound);
    EXPECT_EQ(translator.LastScanError, "");

    ASSERT_EQ(translator.MasterCount(), 2);
    EXPECT_EQ(translator.GetMaster(0)->DeviceName, "VD 00-08");
    EXPECT_EQ(translator.GetMaster(1)->DeviceName, "VD 01-03");
    EXPECT_TRUE(translator.GetMaster(0)->MasterFlashValid);
    EXPECT_TRUE(translator.GetMaster(0)->DCDCValid);

    ASSERT_EQ(translator.ChannelCount(), 11);
    for (int i = 0; i < 11; ++i) {
        const model::TQRBRawChannel& c = *translator.GetChannel(i);
        SCOPED_TRACE(i);
        EXPECT_EQ(c.Device, i < 8 ? 0 : 1);
        EXPECT_EQ(c.Slot, i < 8 ? i : i - 8);
        EXPECT_EQ(c.Kind, device::TInterfaceKind::ikOffline);
        EXPECT_TRUE(c.Present);
        EXPECT_EQ(c.HWVersion, 1);
        EXPECT_EQ(c.Pending, c.Current);
        EXPECT_EQ(c.Current.Image.Words[1], 0x9595);
        EXPECT_EQ(c.OffsetDAC, 0x0800);
        EXPECT_EQ(c.ADC8LowVal, 124);
        // The simulator leaves its tables unwritten: the default table, never usable.
        EXPECT_EQ(c.Calibration.Source(), "QRBCAL730");
        EXPECT_EQ(c.Calibration.AdjustMarker, 8);
    }

    const std::vector<std::string> head(log.begin(), log.begin() + 5);
    EXPECT_EQ(head, (std::vector<std::string>{
                        "device: [VRT] device status: 2 device(s) found",
                        "Scanning VD 00-08 [controller serial: 2200, controller version: 1]",
                        "Found device with 08 active of 08 available channels! Parts=($7F) Status=($00)",
                        "Device 01 Firmware - FW: <simulator>",
                        "Found Channel: Channel  1  Serial: P#3.65280  D#3.65280 Offsetadjust: default",
                    }));
    EXPECT_EQ(log.back(), "Found Channel: Channel 11  Serial: P#3.65290  D#3.65290 Offsetadjust: default");

    translator.Disconnect();
    EXPECT_EQ(translator.ChannelCount(), 0);
    EXPECT_EQ(translator.HAL->DeviceCount(), 0);
}

} // namespace
} // namespace qrb::test
