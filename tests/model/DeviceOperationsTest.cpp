// Device operations: the exact device traffic of configuration store, locks, keep-alive,
// switch-off, fans, multiplexers, calibration flash, disabling and blinking, over a recording
// transport, and the calibration write end to end on the simulated transport.

#include "tests/model/DeviceTestSupport.h"

#include "device/sim/I2CVirtualControl.h"
#include "model/QRBRawCalibration.h"
#include "tests/support/ScriptedI2CPeer.h"

namespace qrb::test {
namespace {

using device::TI2CResult;
using Strings = std::vector<std::string>;

class DeviceOperations : public RecordingFixture {};

// ---- Configuration kept in the devices ------------------------------------------------------

TEST_F(DeviceOperations, StoreDeviceConfigLocksSavesEveryDeviceAndRestoresTheLock) {
    struct Case {
        bool store;
        bool locked;
        std::string saveArg;
        std::string restore;
    };
    for (const Case& c :
         {Case{true, false, "0", "0"}, Case{false, false, "1", "0"}, Case{true, true, "0", "1"}}) {
        SCOPED_TRACE(c.saveArg + c.restore);
        CreateTwo();
        translator->DeviceLocked = c.locked;
        translator->LastDeviceConfigError = "old";
        EXPECT_TRUE(translator->StoreDeviceConfig(c.store));
        EXPECT_EQ(
            amp->Log,
            (Strings{"SetDeviceLockState(0,1)", "SetDeviceLockState(1,1)",
                     "SaveAllConfig(0," + c.saveArg + ")", "SaveAllConfig(1," + c.saveArg + ")",
                     "SetDeviceLockState(0," + c.restore + ")", "SetDeviceLockState(1," + c.restore + ")"}));
        EXPECT_EQ(translator->DeviceLocked, c.locked);
        EXPECT_EQ(translator->LastDeviceConfigError, "");
    }
}

TEST_F(DeviceOperations, StoreDeviceConfigGoesOnAfterARefusalAndNamesTheDevice) {
    CreateTwo();
    amp->Refuse["SaveAllConfig(0,0)"] = TI2CResult::irNoAnswer;
    EXPECT_FALSE(translator->StoreDeviceConfig(true));
    EXPECT_EQ(amp->LogOf("SaveAllConfig"), (Strings{"SaveAllConfig(0,0)", "SaveAllConfig(1,0)"}));
    EXPECT_EQ(amp->Log.back(), "SetDeviceLockState(1,0)");
    EXPECT_FALSE(translator->DeviceLocked);
    EXPECT_EQ(translator->LastDeviceConfigError, "Error 7 on storing configuration on device 01!");

    amp->Refuse["SaveAllConfig(1,1)"] = TI2CResult::irDeviceError;
    amp->Refuse["SaveAllConfig(0,1)"] = TI2CResult::irNoAnswer;
    EXPECT_FALSE(translator->StoreDeviceConfig(false));
    EXPECT_EQ(translator->LastDeviceConfigError, "Error 7 on clearing configuration on device 01!\r\nError "
                                                 "15 on clearing configuration on device 02!");
}

TEST_F(DeviceOperations, StoreDeviceConfigRestoresTheLockWhenTheTransportRaises) {
    CreateTwo();
    amp->ThrowOn = "SaveAllConfig(0,0)";
    EXPECT_THROW(translator->StoreDeviceConfig(true), std::runtime_error);
    EXPECT_EQ(amp->Log, (Strings{"SetDeviceLockState(0,1)", "SetDeviceLockState(1,1)", "SaveAllConfig(0,0)",
                                 "SetDeviceLockState(0,0)", "SetDeviceLockState(1,0)"}));
    EXPECT_FALSE(translator->DeviceLocked);
    EXPECT_EQ(amp->Device(0).Info.LockState, 0u);
}

// ---- Locks and keep-alive -------------------------------------------------------------------

TEST_F(DeviceOperations, SetDeviceLockOnAnEmptyModelDoesNothing) {
    Create({});
    translator->DeviceLocked = false;
    EXPECT_FALSE(translator->SetDeviceLock(true));
    EXPECT_FALSE(translator->DeviceLocked);
    EXPECT_TRUE(amp->Log.empty());
}

TEST_F(DeviceOperations, SetDeviceLockChangesTheStateOnlyWhenEveryDeviceTookIt) {
    CreateTwo();
    amp->Refuse["SetDeviceLockState(0,1)"] = TI2CResult::irNoAnswer;
    EXPECT_FALSE(translator->SetDeviceLock(true));
    EXPECT_FALSE(translator->DeviceLocked);
    EXPECT_EQ(amp->Log, (Strings{"SetDeviceLockState(0,1)", "SetDeviceLockState(1,1)"}));
    EXPECT_EQ(events, Strings{"Error: Error 7 on locking the front panel of device 01!"});
    EXPECT_TRUE(translator->LastError.empty());

    // Taken on the second try.
    amp->Refuse.clear();
    amp->Log.clear();
    events.clear();
    EXPECT_TRUE(translator->SetDeviceLock(true));
    EXPECT_TRUE(translator->DeviceLocked);
    EXPECT_EQ(amp->Log, (Strings{"SetDeviceLockState(0,1)", "SetDeviceLockState(1,1)"}));
    EXPECT_TRUE(events.empty());

    // A refused unlock leaves the devices counted as locked.
    amp->Refuse["SetDeviceLockState(1,0)"] = TI2CResult::irNoAnswer;
    EXPECT_FALSE(translator->SetDeviceLock(false));
    EXPECT_TRUE(translator->DeviceLocked);
    EXPECT_EQ(events, Strings{"Error: Error 7 on unlocking the front panel of device 02!"});
}

TEST_F(DeviceOperations, SetHWStartLockWritesEveryValidMasterFlash) {
    CreateTwo();
    EXPECT_TRUE(translator->SetHWStartLock(1));
    EXPECT_EQ(amp->Log, (Strings{"SetMasterflash(0,1)", "SetMasterflash(1,1)"}));
    EXPECT_EQ(translator->GetMaster(1)->MasterFlash.HWStartLock, 1u);
    EXPECT_TRUE(amp->Device(1).Flash.IsMagicValid());

    amp->Log.clear();
    amp->Refuse["SetMasterflash(0,0)"] = TI2CResult::irNoAnswer;
    EXPECT_FALSE(translator->SetHWStartLock(0));
    EXPECT_EQ(amp->Log, (Strings{"SetMasterflash(0,0)", "SetMasterflash(1,0)"}));
}

TEST_F(DeviceOperations, SetHWStartLockSkipsADeviceWhoseMasterFlashIsNotValid) {
    std::vector<TScriptedDevice> devices = {GoodDevice("10.0.0.1", 1), GoodDevice("10.0.0.2", 1)};
    devices[0].Flash.Magic[3] = 'x';
    Create(devices);
    ASSERT_FALSE(translator->GetMaster(0)->MasterFlashValid);
    EXPECT_FALSE(translator->SetHWStartLock(1));
    EXPECT_EQ(amp->Log, (Strings{"SetMasterflash(1,1)"}));
    EXPECT_EQ(amp->Device(0).Flash.HWStartLock, 0u);
}

TEST_F(DeviceOperations, SetHWStartLockOnAnEmptyModelFails) {
    Create({});
    EXPECT_FALSE(translator->SetHWStartLock(1));
    EXPECT_TRUE(amp->Log.empty());
}

TEST_F(DeviceOperations, SetKeepAliveSwitchesTheTransportsTimer) {
    CreateTwo();
    EXPECT_TRUE(translator->SetKeepAlive(true));
    EXPECT_TRUE(amp->KeepAlive());
    EXPECT_TRUE(translator->SetKeepAlive(false));
    EXPECT_FALSE(amp->KeepAlive());
}

// ---- Switching off and fans -----------------------------------------------------------------

TEST_F(DeviceOperations, TurnOffDevicesSelectsGroupZeroAndSwitchesEveryDeviceOff) {
    CreateTwo();
    translator->SetKeepAlive(true);
    EXPECT_TRUE(translator->TurnOffDevices());
    EXPECT_FALSE(amp->KeepAlive());
    EXPECT_EQ(amp->Log, (Strings{"WriteI2C(0,$72,01)", "WriteI2C(0,$2C,0300)", "WriteI2C(1,$72,01)",
                                 "WriteI2C(1,$2C,0300)"}));
}

TEST_F(DeviceOperations, TurnOffDevicesStopsAtTheFirstFailure) {
    struct Case {
        std::string refused;
        size_t calls;
        bool muxError;
        int32_t off;
        std::string lastError;
    };
    for (const Case& c : {Case{"WriteI2C(0,$72,01)", 1, true, 0,
                               "Error on selecting channel group 0 for turning off device 01!"},
                          Case{"WriteI2C(0,$2C,0300)", 2, false, 0, "Error 7 on turning off device 01!"},
                          Case{"WriteI2C(1,$72,01)", 3, true, 1,
                               "Error on selecting channel group 0 for turning off device 02!"},
                          Case{"WriteI2C(1,$2C,0300)", 4, false, 1, "Error 7 on turning off device 02!"}}) {
        SCOPED_TRACE(c.refused);
        CreateTwo();
        translator->SetKeepAlive(true);
        amp->Refuse[c.refused] = TI2CResult::irNoAnswer;
        int32_t off = -1;
        EXPECT_FALSE(translator->TurnOffDevices(&off));
        EXPECT_EQ(amp->Log.size(), c.calls);
        EXPECT_EQ(amp->Log.back(), c.refused);
        EXPECT_EQ(!events.empty() && events[0].rfind("ScanError: ", 0) == 0, c.muxError);
        // The failure waits in LastError for the caller, with the devices already off counted.
        EXPECT_EQ(off, c.off);
        EXPECT_EQ(translator->LastError, c.lastError);
        // With nothing off every device is still watched; after a partial turn-off the caller rescans.
        EXPECT_EQ(amp->KeepAlive(), c.off == 0);
    }
}

TEST_F(DeviceOperations, TurnOffDevicesRefusedAtOnceLeavesAnIdleKeepAliveIdle) {
    CreateTwo();
    translator->SetKeepAlive(false);
    amp->Refuse["WriteI2C(0,$72,01)"] = TI2CResult::irNoAnswer;
    EXPECT_FALSE(translator->TurnOffDevices());
    EXPECT_FALSE(amp->KeepAlive());
}

TEST_F(DeviceOperations, SetFanSpeedSendsTheInvertedSpeedToEveryDevice) {
    struct Case {
        int32_t speed;
        Strings calls;
    };
    for (const Case& c : {Case{0, {"SetFan(0,4)", "SetFan(1,4)"}}, Case{1, {"SetFan(0,3)", "SetFan(1,3)"}},
                          Case{4, {"SetFan(0,0)", "SetFan(1,0)"}}, Case{5, {}}, Case{-1, {}}}) {
        SCOPED_TRACE(c.speed);
        CreateTwo();
        translator->SetFanSpeed(c.speed);
        EXPECT_EQ(amp->Log, c.calls);
        EXPECT_TRUE(events.empty());
    }
}

TEST_F(DeviceOperations, SetFanSpeedLogsARefusalAndGoesOn) {
    CreateTwo();
    amp->Refuse["SetFan(1,3)"] = TI2CResult::irNoAnswer;
    translator->SetFanSpeed(1);
    EXPECT_EQ(amp->Log, (Strings{"SetFan(0,3)", "SetFan(1,3)"}));
    EXPECT_EQ(events, (Strings{"Log: Error on setting fan to speed 3 on device 01!"}));
}

// ---- Multiplexers ---------------------------------------------------------------------------

TEST_F(DeviceOperations, SelectChannelPathRoutesAndReleases) {
    CreateTwo();
    EXPECT_TRUE(translator->SelectChannelPath(1, 0, 3, 0));
    EXPECT_TRUE(translator->SelectChannelPath(1, 0, 3, 1));
    EXPECT_EQ(amp->Log, (Strings{"SetMux(1,0,3,4)", "SetMux(1,0,3,5)"}));
    amp->Refuse["SetMux(0,0,1,4)"] = TI2CResult::irNoAnswer;
    EXPECT_FALSE(translator->SelectChannelPath(0, 0, 1, 0));
    EXPECT_FALSE(translator->SelectChannelPath(7, 0, 1, 0)); // no such device
}

TEST_F(DeviceOperations, SetChannelGroupMuxWritesOneBitPerGroup) {
    CreateTwo();
    for (uint8_t group = 0; group < 8; ++group)
        EXPECT_TRUE(translator->SetChannelGroupMux(1, group));
    EXPECT_EQ(amp->Log, (Strings{"WriteI2C(1,$72,01)", "WriteI2C(1,$72,02)", "WriteI2C(1,$72,04)",
                                 "WriteI2C(1,$72,08)", "WriteI2C(1,$72,10)", "WriteI2C(1,$72,20)",
                                 "WriteI2C(1,$72,40)", "WriteI2C(1,$72,80)"}));
    EXPECT_TRUE(events.empty());
}

TEST_F(DeviceOperations, SetChannelGroupMuxReportsAFailureWithoutTouchingLastScanError) {
    CreateTwo();
    translator->LastScanError = "kept";
    amp->Refuse["WriteI2C(1,$72,08)"] = TI2CResult::irNoAnswer;
    EXPECT_FALSE(translator->SetChannelGroupMux(1, 3));
    // A group beyond the eight ways has no bit: refused before anything is written.
    EXPECT_FALSE(translator->SetChannelGroupMux(0, 8));
    EXPECT_EQ(amp->Log, (Strings{"WriteI2C(1,$72,08)"}));
    EXPECT_EQ(events, (Strings{"ScanError: Error while setting device mux to channelgroup 3 on device 1",
                               "ScanError: Error while setting device mux to channelgroup 8 on device 0"}));
    EXPECT_EQ(translator->LastScanError, "kept");
}

// ---- Calibration flash ----------------------------------------------------------------------

device::TChannelCalibTable PatternTable() {
    device::TChannelCalibTable t = UsableCalibration("2024-02-29", 2100);
    t.ZeroOffsets[6][25] = {0x1234, 0xABCD};
    t.CapacityFactors = {1.5f, 0.25f};
    t.Reserved862 = {1, 2, 3, 4};
    return t;
}

TEST_F(DeviceOperations, WriteCalibrationFlashWritesFourteenPagesOfTheTable) {
    CreateTwo();
    const device::TChannelCalibTable table = PatternTable();
    const auto bytes = device::ToBytes(table);
    EXPECT_TRUE(translator->WriteCalibrationFlash(1, table));
    ASSERT_EQ(amp->Log.size(), 14u);
    ASSERT_EQ(amp->Blocks.size(), 14u);
    for (size_t page = 0; page < 14; ++page) {
        SCOPED_TRACE(page);
        EXPECT_EQ(amp->Log[page], "WriteI2CBlock(1,$56,66)");
        const std::vector<uint8_t>& frame = amp->Blocks[page];
        ASSERT_EQ(frame.size(), 66u);
        const size_t offset = page * 64;
        EXPECT_EQ(frame[0] * 256 + frame[1], 0x1000 + static_cast<int>(offset));
        for (size_t k = 0; k < 64; ++k) {
            const uint8_t expected = offset + k < bytes.size() ? bytes[offset + k] : 0;
            ASSERT_EQ(frame[2 + k], expected) << k;
        }
    }
    EXPECT_EQ(amp->Blocks.back()[0], 0x13);
    EXPECT_EQ(amp->Blocks.back()[1], 0x40);
}

TEST_F(DeviceOperations, WriteCalibrationFlashStopsAtARefusedPage) {
    CreateTwo();
    amp->RefuseBlock = 2;
    EXPECT_FALSE(translator->WriteCalibrationFlash(0, PatternTable()));
    ASSERT_EQ(amp->Blocks.size(), 3u);
    EXPECT_EQ(amp->Blocks[2][1], 0x80);
}

TEST_F(DeviceOperations, StoreCalibrationRoutesThePathAroundTheWrite) {
    CreateTwo();
    Channel(1).Calibration = PatternTable();
    EXPECT_TRUE(translator->StoreCalibration(1));
    ASSERT_EQ(amp->Log.size(), 16u);
    EXPECT_EQ(amp->Log.front(), "SetMux(0,0,1,4)");
    EXPECT_EQ(amp->Log[1], "WriteI2CBlock(0,$56,66)");
    EXPECT_EQ(amp->Log.back(), "SetMux(0,0,1,5)");
    EXPECT_EQ(amp->Blocks[0][2], 'Q');
}

TEST_F(DeviceOperations, StoreCalibrationFailures) {
    CreateTwo();
    // The path cannot be routed: nothing is written.
    amp->Refuse["SetMux(1,0,0,4)"] = TI2CResult::irNoAnswer;
    EXPECT_FALSE(translator->StoreCalibration(2));
    EXPECT_EQ(amp->Log, (Strings{"SetMux(1,0,0,4)"}));

    // A refused write still releases the path.
    amp->Log.clear();
    amp->Refuse["WriteI2CBlock(0,$56,66)"] = TI2CResult::irNoAnswer;
    EXPECT_FALSE(translator->StoreCalibration(0));
    EXPECT_EQ(amp->Log, (Strings{"SetMux(0,0,0,4)", "WriteI2CBlock(0,$56,66)", "SetMux(0,0,0,5)"}));

    // Outside the list and a channel that is not present: the invalid-channel report.
    amp->Log.clear();
    Channel(1).Present = false;
    EXPECT_FALSE(translator->StoreCalibration(3));
    EXPECT_FALSE(translator->StoreCalibration(-1));
    EXPECT_FALSE(translator->StoreCalibration(1));
    EXPECT_TRUE(amp->Log.empty());
    EXPECT_EQ(events,
              (Strings{"Error: Invalid channel 4", "Error: Invalid channel 0", "Error: Invalid channel 2"}));
}

// A store that fails at any step leaves the model with what the flash holds (read back), or with
// the default table a scan gives when it cannot be read, and reports the failure.
TEST_F(DeviceOperations, AFailedCalibrationStoreLeavesTheModelWithWhatTheFlashHolds) {
    enum class THeld { Table, Unreadable, Empty };
    struct TCase {
        const char* Name;
        std::string Refused; // call text
        size_t RefusedBlock;
        THeld Held;
        size_t Blocks; // pages sent
    };
    const TCase cases[] = {
        {"path refused", "SetMux(0,0,1,4)", SIZE_MAX, THeld::Table, 0},
        {"first page refused", "", 0, THeld::Table, 1},
        {"seventh page refused", "", 6, THeld::Table, 7},
        {"last page refused", "", 13, THeld::Table, 14},
        {"release refused", "SetMux(0,0,1,5)", SIZE_MAX, THeld::Table, 14},
        {"path refused, flash unreadable", "SetMux(0,0,1,4)", SIZE_MAX, THeld::Unreadable, 0},
        {"page refused, flash unreadable", "", 3, THeld::Unreadable, 4},
        {"release refused, device gone", "SetMux(0,0,1,5)", SIZE_MAX, THeld::Unreadable, 14},
        {"page refused, flash never written", "", 3, THeld::Empty, 4},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        CreateTwo();
        TScriptedDevice& dev = amp->Device(0);
        const device::TChannelCalibTable held = UsableCalibration("2020-01-01", 2600);
        dev.Calibration[1] = c.Held == THeld::Empty ? device::TChannelCalibTable{} : held;
        if (c.Held == THeld::Unreadable) dev.CalibrationResult[1] = TI2CResult::irNoAnswer;
        if (!c.Refused.empty()) amp->Refuse[c.Refused] = TI2CResult::irNoAnswer;
        amp->RefuseBlock = c.RefusedBlock;
        // The adjusted table the store was meant to write.
        const device::TChannelCalibTable adjusted = UsableCalibration("2026-12-10", 2900);
        Channel(1).Calibration = adjusted;

        EXPECT_FALSE(translator->StoreCalibration(1));
        EXPECT_EQ(amp->Blocks.size(), c.Blocks);
        const device::TChannelCalibTable& model = Channel(1).Calibration;
        if (c.Held == THeld::Table) {
            EXPECT_EQ(model, held);
        } else {
            device::TChannelCalibTable defaults;
            model::FillDefaultCalibration(defaults, device::Now());
            defaults.CalibDate = model.CalibDate; // the day the store ran
            EXPECT_EQ(model, defaults);
            EXPECT_FALSE(model.IsUsable());
        }
    }
}

// ---- Disabling channels ---------------------------------------------------------------------

TEST_F(DeviceOperations, DisableSelectedChannelsCommitsDefaultsThenInvertsEachSlotsEnableBit) {
    CreateTwo(2, 1);
    for (int i = 0; i < 3; ++i) {
        Channel(i).Info.Defaults.Words = {5, 0x9595, 0x062A, 0x2513, 0x0290, 0x0116, 0xC9CA, 1000, 0x0700};
        Channel(i).Info.ADC8LowVal = 252;
        Channel(i).SensorType = model::stVolt;
        Channel(i).Current.Image.Words[0] = Channel(i).Pending.Image.Words[0] =
            model::stVolt; // committed as VOLT
    }
    translator->Selected[1] = true;
    translator->Selected[2] = true;
    amp->ReadBytes = {0xFF, 0x0F};
    EXPECT_TRUE(translator->DisableSelectedChannels());
    EXPECT_EQ(amp->Log, (Strings{"WriteChannel(0,1)", "WriteChannel(1,0)", "WriteI2C(0,$72,01)",
                                 "WriteReadI2C(0,$2B,02,1)", "WriteI2C(0,$2B,02FD)", "WriteI2C(1,$72,01)",
                                 "WriteReadI2C(1,$2B,02,1)", "WriteI2C(1,$2B,020E)"}));
    EXPECT_EQ(events, (Strings{"ConfigComplete"}));
    EXPECT_TRUE(Channel(0).Present);
    EXPECT_EQ(Channel(0).SensorType, model::stVolt);
    for (int i = 1; i < 3; ++i) {
        SCOPED_TRACE(i);
        const model::TQRBRawChannel& c = Channel(i);
        EXPECT_FALSE(c.Present);
        EXPECT_EQ(c.SensorType, model::stOff);
        EXPECT_EQ(c.Current.Image.Words[1], 0x9595);
        EXPECT_EQ(c.Current.Image.Words[0], 0);
        EXPECT_EQ(c.ADC8LowVal, 252);
    }
    // Gone from the model: a second call finds nothing to do.
    amp->Log.clear();
    EXPECT_TRUE(translator->DisableSelectedChannels());
    EXPECT_TRUE(amp->Log.empty());
}

TEST_F(DeviceOperations, DisableSelectedChannelsWritesTheInvertedBitOfSlotFive) {
    Create({GoodDevice("10.0.0.1", 6)});
    translator->Selected[5] = true;
    amp->ReadBytes = {0xFF};
    EXPECT_TRUE(translator->DisableSelectedChannels());
    EXPECT_EQ(amp->Log.back(), "WriteI2C(0,$2B,02DF)");
}

TEST_F(DeviceOperations, DisableSelectedChannelsStopsAtTheFirstFailure) {
    struct Case {
        std::string refused;
        Strings i2c;
    };
    for (const Case& c :
         {Case{"WriteI2C(0,$72,01)", {"WriteI2C(0,$72,01)"}},
          Case{"WriteReadI2C(0,$2B,02,1)", {"WriteI2C(0,$72,01)", "WriteReadI2C(0,$2B,02,1)"}},
          Case{"WriteI2C(0,$2B,02FE)",
               {"WriteI2C(0,$72,01)", "WriteReadI2C(0,$2B,02,1)", "WriteI2C(0,$2B,02FE)"}}}) {
        SCOPED_TRACE(c.refused);
        CreateTwo(2, 1);
        translator->Selected[0] = true;
        translator->Selected[2] = true;
        amp->ReadBytes = {0xFF, 0xFF};
        amp->Refuse[c.refused] = TI2CResult::irNoAnswer;
        EXPECT_FALSE(translator->DisableSelectedChannels());
        Strings i2c;
        for (const auto& e : amp->Log)
            if (e.rfind("WriteChannel", 0) != 0) i2c.push_back(e);
        EXPECT_EQ(i2c, c.i2c);
        EXPECT_TRUE(Channel(0).Present);
        EXPECT_TRUE(Channel(2).Present);
    }
}

TEST_F(DeviceOperations, DisableSelectedChannelsSwitchesNothingOffAfterAFailedCommit) {
    CreateTwo(2, 1);
    Channel(0).Info.Defaults.Words[1] = 0x9595;
    translator->Selected[0] = true;
    amp->Device(0).WriteChannelResult = TI2CResult::irDeviceError;
    EXPECT_FALSE(translator->DisableSelectedChannels());
    EXPECT_TRUE(amp->LogOf("WriteI2C").empty());
    EXPECT_TRUE(amp->LogOf("WriteReadI2C").empty());
    EXPECT_TRUE(Channel(0).Present);
}

// ---- Blinking -------------------------------------------------------------------------------

TEST_F(DeviceOperations, BlinkChannelTogglesTheLEDsFiveTimesAndRestoresThem) {
    CreateTwo();
    ASSERT_TRUE(translator->SetLED1(1, 1));
    ASSERT_TRUE(translator->NewConfig(0, true));
    const device::TRegisterImage before = Channel(1).Current.Image;
    amp->Log.clear();
    events.clear();
    std::vector<std::pair<int, int>> leds;
    translator->OnConfigComplete = [&](const void*) { leds.emplace_back(Channel(1).led1, Channel(1).led2); };
    EXPECT_TRUE(translator->BlinkChannel(1));
    // The first step equals the committed LEDs: only ten of the eleven commits write.
    EXPECT_EQ(amp->Log, Strings(10, "WriteChannel(0,1)"));
    std::vector<std::pair<int, int>> expected;
    for (int n = 0; n < 5; ++n) {
        expected.emplace_back(1, 0);
        expected.emplace_back(0, 1);
    }
    expected.emplace_back(1, 0);
    EXPECT_EQ(leds, expected);
    EXPECT_EQ(Channel(1).Current.Image, before);
}

TEST_F(DeviceOperations, BlinkChannelFailsWhenACommitFails) {
    CreateTwo();
    amp->Device(0).WriteChannelResult = TI2CResult::irDeviceError;
    EXPECT_FALSE(translator->BlinkChannel(0));
}

TEST_F(DeviceOperations, BlinkChannelRefusesAChannelOutsideTheModel) {
    CreateTwo();
    Channel(2).Present = false;
    EXPECT_FALSE(translator->BlinkChannel(2));
    EXPECT_FALSE(translator->BlinkChannel(3));
    EXPECT_TRUE(amp->Log.empty());
    EXPECT_EQ(events, (Strings{"Error: Invalid channel 3", "Error: Invalid channel 4"}));
}

// ---- On the simulated transport -------------------------------------------------------------

class SimulatedDeviceOperations : public ::testing::Test {
protected:
    void SetUp() override {
        translator.OnConfigComplete = [](const void*) {};
        translator.OnScanError = [this](const void*, const std::string& s) { errors.push_back(s); };
        translator.OnError = [this](const void*, const std::string& s) { errors.push_back(s); };
        ASSERT_EQ(translator.AddScanTarget("A-8:1", device::kMaskOffline), 0);
        ASSERT_EQ(translator.Rescan(), 8);
        sim = dynamic_cast<device::TI2CVirtualControl*>(translator.HAL->VirtualControl());
        ASSERT_NE(sim, nullptr);
    }

    TInstalledVirtualMainLoop loop;
    model::TI2CTranslator translator{device::kMaskOffline, false, device::DefaultTransportFactory()};
    device::TI2CVirtualControl* sim = nullptr;
    Strings errors;
};

TEST_F(SimulatedDeviceOperations, StoreCalibrationLandsInTheChannelsFlash) {
    translator.GetChannel(5)->Calibration = PatternTable();
    EXPECT_TRUE(translator.StoreCalibration(5));
    EXPECT_TRUE(errors.empty());
    for (const auto& channel : sim->Channels) {
        SCOPED_TRACE(channel->Slot());
        const auto flash = channel->Flash().subspan(0x1000, device::TChannelCalibTable::Size);
        device::TChannelCalibTable stored;
        ASSERT_TRUE(device::TChannelCalibTable::Decode(flash.data(), flash.size(), stored));
        EXPECT_EQ(stored == PatternTable(), channel->Slot() == 5);
    }
    // The path is released afterwards.
    EXPECT_EQ(sim->PathMux, 1);
}

TEST_F(SimulatedDeviceOperations, GroupMuxWriteReachesTheSimulatedMultiplexer) {
    TScriptedI2CPeer peer(*sim);
    EXPECT_TRUE(translator.SetChannelGroupMux(0, 0));
    EXPECT_EQ(sim->GroupMux, 0);
    EXPECT_EQ(peer.WritesTo(0x72), (std::vector<std::vector<uint8_t>>{{0x01}}));
}

TEST_F(SimulatedDeviceOperations, DisableSelectedChannelsReadsAndWritesTheEnableExpander) {
    TScriptedI2CPeer peer(*sim);
    TScriptedChip expander;
    expander.QueueRead({0xFF});
    peer.Attach(0x2B, expander);
    translator.Selected[5] = true;
    EXPECT_TRUE(translator.DisableSelectedChannels());
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(peer.WritesTo(0x72), (std::vector<std::vector<uint8_t>>{{0x01}}));
    EXPECT_EQ(expander.Writes(), (std::vector<std::vector<uint8_t>>{{0x02}, {0x02, 0xDF}}));
    EXPECT_EQ(expander.ReadCount(), 1u);
    EXPECT_FALSE(translator.GetChannel(5)->Present);
    EXPECT_TRUE(translator.GetChannel(4)->Present);
}

} // namespace
} // namespace qrb::test
