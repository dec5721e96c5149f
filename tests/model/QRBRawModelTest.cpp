#include "model/QRBRawCalibration.h"
#include "model/QRBRawChannel.h"
#include "model/QRBRawMaster.h"
#include "model/RegisterTables.h"

#include <gtest/gtest.h>

#include <array>
#include <stdexcept>
#include <string>
#include <vector>

namespace qrb::model {
namespace {

using device::TI2CResult;
using device::TInterfaceKind;

// ---- Master -------------------------------------------------------------------------------

class FakeMasterAccess : public TMasterDeviceAccess {
public:
    TI2CResult GetResult = TI2CResult::irOK;
    TI2CResult SetResult = TI2CResult::irOK;
    TI2CResult DCDCResult = TI2CResult::irOK;
    bool FillFlash = true; // false: leave the caller's record as passed in
    device::TMasterFlash Flash;
    device::TDCDCInfo DCDC;
    std::vector<int> Calls; // device index of every call
    std::vector<device::TMasterFlash> Written;

    FakeMasterAccess() {
        Flash.SetMagic();
        Flash.DeviceSerial = 4711;
        DCDC.Entries[2].Present = 1;
        DCDC.Entries[2].Series = 7;
    }
    TI2CResult GetMasterflash(int device, device::TMasterFlash& flash) override {
        Calls.push_back(device);
        if (FillFlash) flash = Flash;
        return GetResult;
    }
    TI2CResult SetMasterflash(int device, const device::TMasterFlash& flash) override {
        Calls.push_back(device);
        Written.push_back(flash);
        return SetResult;
    }
    TI2CResult GetDCDCInfo(int device, device::TDCDCInfo& info) override {
        Calls.push_back(device);
        info = DCDC;
        return DCDCResult;
    }
};

// The master never calls into its translator; any non-null pointer stands for one.
TI2CTranslator* SomeTranslator() {
    static int token;
    return reinterpret_cast<TI2CTranslator*>(&token);
}

TEST(QRBRawMaster, CreateReadsFlashAndDCDCInfo) {
    FakeMasterAccess access;
    TQRBRawMaster master(3, "VD 01-01", SomeTranslator(), TInterfaceKind::ikOffline, &access);
    EXPECT_EQ(master.Device, 3);
    EXPECT_EQ(master.DeviceName, "VD 01-01");
    EXPECT_EQ(master.Kind, TInterfaceKind::ikOffline);
    EXPECT_EQ(master.Translator, SomeTranslator());
    EXPECT_TRUE(master.MasterFlashValid);
    EXPECT_EQ(master.MasterFlash.DeviceSerial, 4711u);
    EXPECT_TRUE(master.DCDCValid);
    EXPECT_EQ(master.DCDCInfo.Entries[2].Series, 7);
    EXPECT_EQ(access.Calls, (std::vector<int>{3, 3}));
}

TEST(QRBRawMaster, OneDifferentMagicCharacterLeavesTheDeviceModelledButInvalid) {
    FakeMasterAccess access;
    access.Flash.Magic[15] = '1';
    TQRBRawMaster master(0, "d", SomeTranslator(), TInterfaceKind::ikLAN, &access);
    EXPECT_FALSE(master.MasterFlashValid);
    EXPECT_FALSE(master.IsMasterFlashValid());
}

TEST(QRBRawMaster, FlashIsZeroedBeforeTheRead) {
    FakeMasterAccess access;
    access.FillFlash = false;
    TQRBRawMaster master(0, "d", SomeTranslator(), TInterfaceKind::ikUSB, &access);
    EXPECT_EQ(master.MasterFlash, device::TMasterFlash{});
    EXPECT_FALSE(master.MasterFlashValid);
}

TEST(QRBRawMaster, CreateErrors) {
    FakeMasterAccess access;
    try {
        TQRBRawMaster master(0, "d", nullptr, TInterfaceKind::ikLAN, &access);
        FAIL() << "no error without translator";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Invalid or empty i2c translator class for masterdevice!");
    }
    EXPECT_TRUE(access.Calls.empty());

    access.GetResult = TI2CResult::irNoAnswer;
    try {
        TQRBRawMaster master(12, "d", SomeTranslator(), TInterfaceKind::ikLAN, &access);
        FAIL() << "no error for a failed master flash read";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Error on reading masterflash on device 12!");
    }
}

TEST(QRBRawMaster, FailingDCDCReadOnlyClearsDCDCValid) {
    FakeMasterAccess access;
    access.DCDCResult = TI2CResult::irTransferFailed;
    TQRBRawMaster master(0, "d", SomeTranslator(), TInterfaceKind::ikUSB, &access);
    EXPECT_FALSE(master.DCDCValid);
    EXPECT_TRUE(master.MasterFlashValid);
}

TEST(QRBRawMaster, WriteMasterFlashRecomputesValidityEitherWay) {
    FakeMasterAccess access;
    TQRBRawMaster master(5, "d", SomeTranslator(), TInterfaceKind::ikLAN, &access);
    master.MasterFlash.HWStartLock = 1;
    master.MasterFlash.Magic[0] = 'X';
    EXPECT_TRUE(master.WriteMasterFlash());
    EXPECT_FALSE(master.MasterFlashValid);
    ASSERT_EQ(access.Written.size(), 1u);
    EXPECT_EQ(access.Written[0].HWStartLock, 1u);

    master.MasterFlash.SetMagic();
    access.SetResult = TI2CResult::irNoAnswer;
    EXPECT_FALSE(master.WriteMasterFlash());
    EXPECT_TRUE(master.MasterFlashValid);
}

struct TDateCase {
    uint8_t Day, Month;
    uint16_t Year;
    double Expected;
};

class FlashDates : public ::testing::TestWithParam<TDateCase> {};

TEST_P(FlashDates, ReadAsDateValue) {
    const TDateCase& c = GetParam();
    FakeMasterAccess access;
    access.Flash.ControlledDate = {c.Day, c.Month, c.Year};
    access.Flash.MastertestDate = {c.Day, c.Month, c.Year};
    access.Flash.CalibrationDate = {c.Day, c.Month, c.Year};
    TQRBRawMaster master(0, "d", SomeTranslator(), TInterfaceKind::ikLAN, &access);
    EXPECT_EQ(master.GetControlledDate(), c.Expected);
    EXPECT_EQ(master.GetMastertestDate(), c.Expected);
    EXPECT_EQ(master.GetCalibrationDate(), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(Calendar, FlashDates,
                         ::testing::Values(TDateCase{15, 6, 2021, 44362.0}, // days since 1899-12-30
                                           TDateCase{1, 1, 1900, 2.0}, TDateCase{29, 2, 2024, 45351.0},
                                           TDateCase{0, 6, 2021, 0.0},  // day 0
                                           TDateCase{1, 13, 2021, 0.0}, // month 13
                                           TDateCase{32, 1, 2021, 0.0}, TDateCase{1, 0, 2021, 0.0},
                                           // Dates the calendar lacks read as 0 instead of failing.
                                           TDateCase{31, 4, 2021, 0.0}, TDateCase{29, 2, 2023, 0.0},
                                           TDateCase{1, 1, 0, 0.0}, TDateCase{255, 255, 65535, 0.0}));

// ---- Calibration --------------------------------------------------------------------------

device::TChannelCalibTable UsableTable() {
    device::TChannelCalibTable t;
    t.SetSource("QRBCAL730");
    t.AdjustMarker = 174;
    for (int c = 0; c < 7; ++c)
        for (int r = 0; r < 26; ++r)
            t.ZeroOffsets[c][r] = {static_cast<uint16_t>(1000 + c * 100 + r),
                                   static_cast<uint16_t>(3000 + c * 100 + r)};
    return t;
}

TEST(Calibration, ZeroOffsetEntryIsBounded) {
    const auto t = UsableTable();
    EXPECT_EQ(ZeroOffsetEntry(t, 6, 25, 1), 3625);
    EXPECT_EQ(ZeroOffsetEntry(t, 0, 0, 0), 1000);
    EXPECT_FALSE(ZeroOffsetEntry(t, 7, 0, 0));
    EXPECT_FALSE(ZeroOffsetEntry(t, kCouplingNotUsed, 0, 0));
    EXPECT_FALSE(ZeroOffsetEntry(t, 0, 26, 0));
    EXPECT_FALSE(ZeroOffsetEntry(t, 0, 0, 2));
    EXPECT_FALSE(ZeroOffsetEntry(t, -1, 0, 0));
}

TEST(Calibration, OnlyAUsableTableGivesZeroOffsets) {
    auto t = UsableTable();
    EXPECT_EQ(UsableZeroOffset(t, 3, 4, 1), 3304);
    EXPECT_EQ(UsableZeroOffset(t, 99, 4, 1), kNeutralOffsetZero); // outside the table

    t.AdjustMarker = 8;
    EXPECT_EQ(UsableZeroOffset(t, 3, 4, 1), kNeutralOffsetZero);
    EXPECT_EQ(UsableZeroOffset(t, 3, 4, 1, 777), 777);

    t = UsableTable();
    t.CalibSource[9] = 'X'; // no NUL after "QRBCAL730"
    EXPECT_EQ(UsableZeroOffset(t, 3, 4, 1), kNeutralOffsetZero);
    t = UsableTable();
    t.SetSource("QRBCAL73");
    EXPECT_EQ(UsableZeroOffset(t, 3, 4, 1), kNeutralOffsetZero);
}

TEST(Calibration, DefaultTableBytes) {
    device::TChannelCalibTable t = UsableTable();
    t.Reserved862 = {1, 2, 3, 4};
    FillDefaultCalibration(t, device::EncodeDate(2024, 3, 5));
    EXPECT_FALSE(t.IsUsable());
    const auto bytes = device::ToBytes(t);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data()), 10), std::string("QRBCAL730\0", 10));
    EXPECT_EQ(bytes[10], 8);
    EXPECT_EQ(bytes[11], 10);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data() + 12), 10), "2024-03-05");
    for (std::size_t i = 22; i < 750; i += 2) {
        ASSERT_EQ(bytes[i], 0x00) << i;
        ASSERT_EQ(bytes[i + 1], 0x08) << i;
    }
    EXPECT_EQ(t.RangeFactors[0], 1.0f);
    EXPECT_EQ(t.RangeFactors[1], 1.00602f);
    EXPECT_EQ(t.RangeFactors[5], 0.98496f);
    EXPECT_EQ(t.RangeFactors[11], 0.98496f);
    EXPECT_EQ(t.RangeFactors[15], 1.00087f);
    EXPECT_EQ(t.RangeFactors[17], 0.98496f);
    EXPECT_EQ(t.RangeFactors[18], 1.009f);
    EXPECT_EQ(t.RangeFactors[22], 1.00339f);
    EXPECT_EQ(t.RangeFactors[25], 1.00987f);
    EXPECT_EQ(t.CapacityFactors[0], 1.0f);
    EXPECT_EQ(t.CapacityFactors[1], 1.0f);
    EXPECT_EQ(t.Reserved862, (std::array<uint8_t, 4>{}));
}

TEST(Calibration, DefaultDateIgnoresRegionalSettings) {
    device::TFormatSettings settings;
    settings.ShortDateFormat = "dd/mm/yyyy";
    settings.DateSeparator = ".";
    device::TFormatSettingsScope scope(settings);
    device::TChannelCalibTable t;
    FillDefaultCalibration(t, device::EncodeDate(999, 12, 31));
    EXPECT_EQ(t.CalibDate.Text(), "0999-12-31");
}

// ---- Channel ------------------------------------------------------------------------------

using TWords = std::array<uint16_t, 9>;

// Default register images of the two hardware rows.
constexpr TWords kRow0 = {0x0000, 0xAAAA, 0x2A2A, 0x251B, 0x02D3, 0x0000, 0xCCCC, 0x0800, 0x0800};
constexpr TWords kRow1 = {0x0000, 0x9595, 0x2A6A, 0x255B, 0x0AAB, 0x0116, 0xC9CA, 0x0000, 0x0800};

class ChannelFixture : public ::testing::Test {
protected:
    TQRBRawChannel Channel{2, 0, 5, 13, TInterfaceKind::ikOffline, nullptr};

    void Setup(uint8_t infoVersion, uint8_t features, const TWords& current, const TWords& defaults) {
        Channel.Info.Version = infoVersion;
        Channel.Info.Features = features;
        Channel.Current.Image.Words = current;
        Channel.Info.Defaults.Words = defaults;
        Channel.Present = true;
    }
    // Applies a setting to the current image of the channel's variant.
    void Set(TSetting s, int code) {
        const int version = Channel.Info.Version == 0 ? 0 : 1;
        uint16_t& word = Channel.Current.Image.Words[SettingTable(s).Word];
        word = ApplySetting(s, version, word, code).value();
    }
};

TEST_F(ChannelFixture, CreateSetsTheStartValues) {
    TQRBRawMaster* master = nullptr;
    TQRBRawChannel c(4, 1, 7, 20, TInterfaceKind::ikLAN, master);
    EXPECT_EQ(c.Device, 4);
    EXPECT_EQ(c.Group, 1);
    EXPECT_EQ(c.Slot, 7);
    EXPECT_EQ(c.GlobalIndex, 20);
    EXPECT_EQ(c.Kind, TInterfaceKind::ikLAN);
    EXPECT_EQ(c.HWVersion, 255);
    EXPECT_EQ(c.SensorType, 0);
    EXPECT_EQ(c.Range, 0);
    EXPECT_EQ(c.ADC8StatVal, 236);
    EXPECT_EQ(c.ADC8LowVal, 124);
    EXPECT_FALSE(c.Present);
    EXPECT_FALSE(c.Defect);
    EXPECT_FALSE(c.SnapshotValid);
    EXPECT_FALSE(c.CopySource);
    EXPECT_EQ(c.open_gnd_shield, 0);
    EXPECT_EQ(c.Pending, device::TChannelImage{});
    EXPECT_EQ(c.Calibration, device::TChannelCalibTable{});
    EXPECT_TRUE(c.AllowedCouplings.none());
}

// Hardware row 1 image on a version 3 channel with charge input and ODU connector, as the
// simulated devices report it; the expected values are worked out bit by bit.
TEST_F(ChannelFixture, DecodeVersion1DefaultImage) {
    Setup(3, 0x05, kRow1, kRow1);
    Channel.HasADC18 = true;
    Channel.ADC8Status = 0x42;
    Channel.InitDefaultCalibration(device::EncodeDate(2024, 1, 1));
    Channel.DecodeRegisters();

    EXPECT_EQ(Channel.HWVersion, 1);
    EXPECT_EQ(Channel.predivider, 1);
    EXPECT_EQ(Channel.gain, 0);
    EXPECT_EQ(Channel.Range, 0);
    EXPECT_EQ(Channel.offset, 0);
    EXPECT_EQ(Channel.monitor, 0);
    EXPECT_EQ(Channel.offsetdac_filter, 0);
    EXPECT_EQ(Channel.outputfilter, 0);
    EXPECT_EQ(Channel.vrefplus, 0);
    EXPECT_EQ(Channel.quarterload, 0);
    EXPECT_EQ(Channel.pwr_at_signal, 0);
    EXPECT_EQ(Channel._120_Ohm, 0);
    EXPECT_EQ(Channel.pwrfilter5M, 0);
    EXPECT_EQ(Channel.led1, 0);
    EXPECT_EQ(Channel.led2, 0);
    EXPECT_EQ(Channel.volt_sense, 0);
    EXPECT_EQ(Channel.vrefminus, 0);
    EXPECT_EQ(Channel.r25_shunt, 0);
    EXPECT_EQ(Channel.dmscableref, 0);
    EXPECT_EQ(Channel.qtrloadsense, 1);
    EXPECT_EQ(Channel.dms_pwr_on, 0);
    EXPECT_EQ(Channel.analog_status_off, 0);
    EXPECT_EQ(Channel.charge_highpass, 0);
    EXPECT_EQ(Channel.charge_capacity, 0);
    EXPECT_EQ(Channel.chargeinput, 0);
    EXPECT_EQ(Channel.charge_ac_out, 0);
    EXPECT_EQ(Channel.charge_clear, 1); // active low bit clear
    EXPECT_EQ(Channel.charge_man_clearmode, 1);
    EXPECT_EQ(Channel.coupling, 0);
    EXPECT_EQ(Channel.reference, 4); // no BNC: codes 4 and 5 of the first table, which matches code 4
    EXPECT_EQ(Channel.current, 0);
    EXPECT_EQ(Channel.dms_shunt, 0);
    EXPECT_EQ(Channel.SensorType, 0);
    EXPECT_EQ(Channel.PowerDAC, 0);
    EXPECT_EQ(Channel.OffsetDAC, 0x0800);
    EXPECT_EQ(Channel.PowerZero, 0); // 18-bit ADC
    EXPECT_EQ(Channel.OffsetZero, 0x0800);
    EXPECT_EQ(Channel.ADC8StatVal, 236);
    EXPECT_EQ(Channel.ADC8Status, 0);

    EXPECT_EQ(Channel.TypeCache, 0);
    EXPECT_EQ(Channel.RangeCache, 0);
    EXPECT_EQ(Channel.GainCache, 0);
    EXPECT_EQ(Channel.CouplingCache, 0);
    EXPECT_EQ(Channel.PowerDACCache, 0);
    EXPECT_EQ(Channel.PowerDACCache2, 0);
    EXPECT_EQ(Channel.OffsetDACCache, 0x0800);
    EXPECT_EQ(Channel.Is350OhmCache, 1);
    EXPECT_EQ(Channel.SenseCache, 0);
    EXPECT_EQ(Channel.AutoClearCache, 0);
    EXPECT_EQ(Channel.MonitorCache, 0);
    EXPECT_EQ(Channel.SupplyCache, 0);
    EXPECT_TRUE(Channel.IsCouplingAllowed(kCouplingNotUsed));
    EXPECT_EQ(Channel.AllowedCouplings.count(), 1u);
}

// Hardware row 0 image on a version 0 channel with BNC connector.
TEST_F(ChannelFixture, DecodeVersion0DefaultImage) {
    Setup(0, 0x02, kRow0, kRow0);
    Channel.DecodeRegisters();

    EXPECT_EQ(Channel.HWVersion, 0);
    EXPECT_EQ(Channel.predivider, 0); // 0xAAAA is pre-divider code 0
    EXPECT_EQ(Channel.Range, 4);      // pre-divider 0 is not a listed pair
    EXPECT_EQ(Channel.offset, 0);
    EXPECT_EQ(Channel.gain, 0);
    EXPECT_EQ(Channel.monitor, 0);
    EXPECT_EQ(Channel.vrefplus, 0);
    EXPECT_EQ(Channel.dms_shunt, 0);
    EXPECT_EQ(Channel._120_Ohm, 0);
    EXPECT_EQ(Channel.volt_sense, 0);
    EXPECT_EQ(Channel.vrefminus, 0);
    EXPECT_EQ(Channel.r25_shunt, 0);
    EXPECT_EQ(Channel.coupling, 0);
    EXPECT_EQ(Channel.reference, 0);
    EXPECT_EQ(Channel.current, 0);
    // Version 1 only settings stay off although their version 0 tables match anything.
    EXPECT_EQ(Channel.offsetdac_filter, 0);
    EXPECT_EQ(Channel.outputfilter, 0);
    EXPECT_EQ(Channel.quarterload, 0);
    EXPECT_EQ(Channel.qtrloadsense, 0);
    EXPECT_EQ(Channel.dms_pwr_on, 0);
    EXPECT_EQ(Channel.analog_status_off, 0);
    EXPECT_EQ(Channel.chargeinput, 0);
    EXPECT_EQ(Channel.charge_ac_out, 0);
    EXPECT_EQ(Channel.charge_clear, 0);
    EXPECT_EQ(Channel.charge_man_clearmode, 0);
    EXPECT_EQ(Channel.AutoClearCache, 1);
    EXPECT_EQ(Channel.PowerZero, 0x0800); // no 18-bit ADC: the default power DAC
    EXPECT_EQ(Channel.OffsetZero, 0x0800);
    EXPECT_EQ(Channel.PowerDAC, 0x0800);
}

TEST_F(ChannelFixture, SettingsSetThroughTheTablesDecodeBack) {
    for (uint8_t version : {uint8_t{0}, uint8_t{3}}) {
        SCOPED_TRACE(version);
        Setup(version, 0x02, version == 0 ? kRow0 : kRow1, kRow1);
        Set(TSetting::Coupling, 5);
        Set(TSetting::Gain, 3);
        Set(TSetting::PreDivider, 2);
        Set(TSetting::VRefPlus, 6);
        Set(TSetting::VRefMinus, 7);
        Set(TSetting::VoltSense, 3);
        Set(TSetting::Monitor, 1);
        Set(TSetting::Ohm120, 1);
        Set(TSetting::PwrAtSignal, 1);
        Set(TSetting::LED1, 1);
        Set(TSetting::LED2, 1);
        Set(TSetting::R25Shunt, 1);
        Set(TSetting::Reference1, 2);
        Channel.DecodeRegisters();
        EXPECT_EQ(Channel.coupling, 5);
        EXPECT_EQ(Channel.gain, 3);
        EXPECT_EQ(Channel.predivider, 2);
        EXPECT_EQ(Channel.Range, 11);
        EXPECT_EQ(Channel.vrefplus, 6);
        EXPECT_EQ(Channel.vrefminus, 7);
        EXPECT_EQ(Channel.volt_sense, 3);
        EXPECT_EQ(Channel.SenseCache, 1);
        EXPECT_EQ(Channel.monitor, 1);
        EXPECT_EQ(Channel._120_Ohm, 1);
        EXPECT_EQ(Channel.Is350OhmCache, 0);
        EXPECT_EQ(Channel.pwr_at_signal, 1);
        EXPECT_EQ(Channel.led1, 1);
        EXPECT_EQ(Channel.led2, 1);
        EXPECT_EQ(Channel.r25_shunt, 1);
        EXPECT_EQ(Channel.reference, 2);
        EXPECT_EQ(Channel.ReferenceCache, 2);
    }
}

TEST_F(ChannelFixture, Version1OnlySwitchesDecodeOnVersion1) {
    Setup(1, 0x00, kRow1, kRow1);
    Set(TSetting::OutputFilter, 1);
    Set(TSetting::OffsetDACFilter, 1);
    Set(TSetting::QuarterLoad, 1);
    Set(TSetting::DMSPwrOn, 1);
    Set(TSetting::ChargeInput, 1);
    Set(TSetting::ChargeACOut, 1);
    Set(TSetting::ChargeManClearMode, 0);
    Set(TSetting::ChargeHighpass, 1);
    Set(TSetting::ChargeCapacity, 1);
    Set(TSetting::DMSShuntWord6, 1);
    Set(TSetting::Offset, 1);
    Channel.Current.Image.Words[4] |= 0x2000; // analog status off
    Channel.DecodeRegisters();
    EXPECT_EQ(Channel.outputfilter, 1);
    EXPECT_EQ(Channel.OutputFilterCache, 1);
    EXPECT_EQ(Channel.offsetdac_filter, 1);
    EXPECT_EQ(Channel.quarterload, 1);
    EXPECT_EQ(Channel.dms_pwr_on, 1);
    EXPECT_EQ(Channel.chargeinput, 1);
    EXPECT_EQ(Channel.charge_ac_out, 1);
    EXPECT_EQ(Channel.charge_man_clearmode, 0);
    EXPECT_EQ(Channel.AutoClearCache, 1);
    EXPECT_EQ(Channel.charge_highpass, 1);
    EXPECT_EQ(Channel.HighpassCache, 1);
    EXPECT_EQ(Channel.charge_capacity, 1);
    EXPECT_EQ(Channel.CapacityCache, 1);
    EXPECT_EQ(Channel.dms_shunt, 1);
    EXPECT_EQ(Channel.DMSShuntCache, 1);
    EXPECT_EQ(Channel.offset, 1);
    EXPECT_EQ(Channel.OffsetCache, 1);
    EXPECT_EQ(Channel.analog_status_off, 1);
    EXPECT_EQ(Channel.ADC8StatVal, 0);
}

TEST_F(ChannelFixture, Version0AnalogStatusBitIsIgnored) {
    Setup(0, 0x00, kRow0, kRow0);
    Channel.Current.Image.Words[4] |= 0x2000;
    Channel.ADC8StatVal = 0;
    Channel.DecodeRegisters();
    EXPECT_EQ(Channel.analog_status_off, 0);
    EXPECT_EQ(Channel.ADC8StatVal, 236);
}

TEST_F(ChannelFixture, Version0DMSShuntIsInWord3) {
    Setup(0, 0x00, kRow0, kRow0);
    Channel.Current.Image.Words[3] = (Channel.Current.Image.Words[3] & ~0x0808) | 0x0800;
    Channel.DecodeRegisters();
    EXPECT_EQ(Channel.dms_shunt, 1);
}

TEST_F(ChannelFixture, CurrentNeedsAllItsBits) {
    Setup(2, 0x00, kRow1, kRow1);
    Set(TSetting::CurrentWord6, 1);
    Channel.DecodeRegisters();
    EXPECT_EQ(Channel.current, 0);
    Set(TSetting::CurrentWord4A, 1);
    Set(TSetting::CurrentWord4B, 1);
    Channel.DecodeRegisters();
    EXPECT_EQ(Channel.current, 1);
    EXPECT_EQ(Channel.CurrentCache, 1);

    Setup(0, 0x00, kRow0, kRow0);
    Set(TSetting::CurrentWord6, 1);
    Channel.DecodeRegisters();
    EXPECT_EQ(Channel.current, 0);
    Channel.Current.Image.Words[3] |= 0x0020;
    Channel.DecodeRegisters();
    EXPECT_EQ(Channel.current, 1);
}

TEST_F(ChannelFixture, UnmatchedPatternsDecodeAsZeroAndRangeFour) {
    Setup(1, 0x00, kRow1, kRow1);
    Channel.Current.Image.Words[1] = 0x0000; // no pre-divider pattern
    Channel.Current.Image.Words[6] = 0x0000; // no coupling pattern
    Channel.Current.Image.Words[2] = (Channel.Current.Image.Words[2] & 0xFFC0) | 0x0025; // gain 4
    Channel.DecodeRegisters();
    EXPECT_EQ(Channel.predivider, 0);
    EXPECT_EQ(Channel.gain, 4);
    EXPECT_EQ(Channel.Range, 4);
    EXPECT_EQ(Channel.coupling, 0);
}

TEST_F(ChannelFixture, EveryRangeDecodesBackButOneAndThree) {
    for (uint8_t version : {uint8_t{0}, uint8_t{1}}) {
        for (int r = 0; r < kRangeCount; ++r) {
            Setup(version, 0, version == 0 ? kRow0 : kRow1, kRow1);
            Set(TSetting::PreDivider, kRangePairs[r].PreDivider);
            Set(TSetting::Gain, kRangePairs[r].Gain);
            Channel.DecodeRegisters();
            EXPECT_EQ(Channel.Range, (r == 1 || r == 3) ? 4 : r)
                << "version " << int(version) << " range " << r;
        }
    }
}

TEST_F(ChannelFixture, ReferenceWithoutBNCIsFourOrFive) {
    Setup(1, 0x00, kRow1, kRow1);
    Set(TSetting::Reference1, 1);
    Channel.DecodeRegisters();
    EXPECT_EQ(Channel.reference, 0);
    Channel.Info.Features = 0x02;
    Channel.DecodeRegisters();
    EXPECT_EQ(Channel.reference, 1);

    // Charge input and ODU connector: the second table, where code 4 has its own pattern.
    Setup(1, 0x05, kRow1, kRow1);
    Set(TSetting::Reference2, 4);
    Channel.DecodeRegisters();
    EXPECT_EQ(Channel.reference, 4);
    Channel.Info.Features = 0x04; // no charge input: the first table lacks 0x04C0 as code 4
    Channel.DecodeRegisters();
    EXPECT_EQ(Channel.reference, 5);
}

TEST_F(ChannelFixture, ZerosFromCalibrationOrDefaults) {
    Setup(1, 0x00, kRow1, kRow1);
    Set(TSetting::Coupling, 3);
    Set(TSetting::PreDivider, 2);
    Set(TSetting::Gain, 3); // range 11
    Set(TSetting::Offset, 1);
    Channel.Info.Defaults.Words[7] = 0xF123;
    Channel.Info.Defaults.Words[8] = 0x1801;
    Channel.Calibration = UsableTable();
    Channel.Calibration.ZeroOffsets[3][11][1] = 0x1234;
    Channel.DecodeRegisters();
    EXPECT_EQ(Channel.OffsetZero, 0x0234); // 12 bits
    EXPECT_EQ(Channel.PowerZero, 0x0123);

    // "QRBCAL730" with marker 8 is not usable.
    Channel.Calibration.AdjustMarker = 8;
    Channel.DecodeRegisters();
    EXPECT_EQ(Channel.OffsetZero, 0x0801);

    Channel.HasADC18 = true;
    Channel.DecodeRegisters();
    EXPECT_EQ(Channel.PowerZero, 0);
}

TEST_F(ChannelFixture, ChargeModeFromTheReferenceMultiplexers) {
    struct TCase {
        uint8_t InfoVersion;
        int VRefPlus, VRefMinus;
        bool ACOut;
        uint8_t Before, Expected;
    };
    const TCase cases[] = {
        {3, 0, 0, false, 3, 0}, {3, 6, 4, false, 0, 2}, {3, 6, 6, false, 0, 1},
        {3, 6, 2, false, 3, 3}, // unlisted: unchanged
        {3, 0, 0, true, 0, 3},  {1, 0, 6, false, 3, 0}, {1, 5, 6, false, 0, 2},
        {1, 6, 6, false, 0, 1}, {1, 1, 0, false, 2, 2},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.InfoVersion) << " " << c.VRefPlus << " " << c.VRefMinus);
        Setup(c.InfoVersion, 0x05, kRow1, kRow1);
        Channel.Current.Image.Words[0] = stCharge;
        Set(TSetting::VRefPlus, c.VRefPlus);
        Set(TSetting::VRefMinus, c.VRefMinus);
        Set(TSetting::ChargeACOut, c.ACOut ? 1 : 0);
        Channel.ChargeModeCache = c.Before;
        Channel.DecodeRegisters();
        EXPECT_EQ(Channel.ChargeModeCache, c.Expected);
        EXPECT_EQ(Channel.charge_mode, c.Expected);
    }
}

TEST_F(ChannelFixture, ChargeModeKeptForOtherSensorTypes) {
    Setup(3, 0x05, kRow1, kRow1);
    Channel.Current.Image.Words[0] = stVolt;
    Set(TSetting::ChargeACOut, 1);
    Channel.ChargeModeCache = 2;
    Channel.DecodeRegisters();
    EXPECT_EQ(Channel.ChargeModeCache, 2);
    EXPECT_EQ(Channel.charge_mode, 2);
}

TEST_F(ChannelFixture, SupplyOnlyForVolt) {
    struct TCase {
        TSensorType Type;
        bool PowerOn, Current;
        uint8_t Expected;
    };
    const TCase cases[] = {
        {stVolt, false, false, 0}, {stVolt, true, false, 1},         {stVolt, true, true, 2},
        {stICP, true, false, 0},   {stDMSFullbridge, true, true, 0}, {stCurrent, true, true, 0},
    };
    for (const TCase& c : cases) {
        Setup(2, 0x00, kRow1, kRow1);
        Channel.Current.Image.Words[0] = c.Type;
        Set(TSetting::DMSPwrOn, c.PowerOn ? 1 : 0);
        for (TSetting s : {TSetting::CurrentWord4A, TSetting::CurrentWord4B, TSetting::CurrentWord6})
            Set(s, c.Current ? 1 : 0);
        Channel.DecodeRegisters();
        EXPECT_EQ(Channel.volt_supply, c.Expected) << c.Type;
        EXPECT_EQ(Channel.SupplyCache, c.Expected) << c.Type;
    }
}

TEST_F(ChannelFixture, DecodeTakesSensorTypeAndDACs) {
    Setup(2, 0x00, kRow1, kRow1);
    Channel.Current.Image.Words[0] = stDMSHalfbridge;
    Channel.Current.Image.Words[7] = 1234;
    Channel.Current.Image.Words[8] = 3210;
    Channel.DecodeRegisters();
    EXPECT_EQ(Channel.SensorType, stDMSHalfbridge);
    EXPECT_EQ(Channel.TypeCache, stDMSHalfbridge);
    EXPECT_EQ(Channel.PowerDAC, 1234);
    EXPECT_EQ(Channel.PowerDACCache, 1234);
    EXPECT_EQ(Channel.PowerDACCache2, 1234);
    EXPECT_EQ(Channel.OffsetDAC, 3210);
    EXPECT_EQ(Channel.OffsetDACCache, 3210);
    EXPECT_TRUE(Channel.IsCouplingAllowed(5));
    EXPECT_FALSE(Channel.IsCouplingAllowed(3));
}

struct TAllowedCase {
    TSensorType Type;
    std::vector<int> Codes;
};

class AllowedCouplings : public ::testing::TestWithParam<TAllowedCase> {};

TEST_P(AllowedCouplings, BySensorType) {
    TQRBRawChannel c(0, 0, 0, 0, TInterfaceKind::ikOffline, nullptr);
    c.AllowedCouplings.set(50); // a stale entry must go
    c.SensorType = GetParam().Type;
    c.UpdateAllowedOptions();
    TCouplingSet expected;
    for (int code : GetParam().Codes)
        expected.set(code);
    EXPECT_EQ(c.AllowedCouplings, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Types, AllowedCouplings,
    ::testing::Values(TAllowedCase{stOff, {99}}, TAllowedCase{stCharge, {99}},
                      TAllowedCase{stVolt, {0, 1, 2, 3, 4, 5, 6}},
                      TAllowedCase{stDebug, {0, 1, 2, 3, 4, 5, 6}}, TAllowedCase{stICP, {1, 3, 4, 5, 6}},
                      TAllowedCase{stDMSCurrent, {1, 3, 4, 5, 6}}, TAllowedCase{stDMSFullbridge, {0, 3, 4}},
                      TAllowedCase{stRTD, {0, 3, 4}}, TAllowedCase{stDMSHalfbridge, {0, 1, 5, 6}},
                      TAllowedCase{stDMSQuarterbridge, {0, 1, 5, 6}}, TAllowedCase{stCurrent, {3, 4}}));

TEST(AllowedCouplingsOther, UnknownTypesKeepTheSet) {
    TQRBRawChannel c(0, 0, 0, 0, TInterfaceKind::ikOffline, nullptr);
    c.SensorType = stICP;
    c.UpdateAllowedOptions();
    const TCouplingSet before = c.AllowedCouplings;
    for (TSensorType t : {TSensorType{11}, TSensorType{14}, TSensorType{15}, TSensorType{1000}}) {
        c.SensorType = t;
        c.UpdateAllowedOptions();
        EXPECT_EQ(c.AllowedCouplings, before) << t;
    }
    EXPECT_FALSE(c.IsCouplingAllowed(104));
    EXPECT_FALSE(c.IsCouplingAllowed(-1));
}

TEST(QRBRawChannel, Features) {
    TQRBRawChannel c(0, 0, 0, 0, TInterfaceKind::ikOffline, nullptr);
    c.Info.Features = 0x05;
    EXPECT_TRUE(c.HasCharge());
    EXPECT_FALSE(c.HasBNC());
    EXPECT_TRUE(c.HasODU());
    c.Info.Features = 0xFA;
    EXPECT_FALSE(c.HasCharge());
    EXPECT_TRUE(c.HasBNC());
    EXPECT_FALSE(c.HasODU());
}

TEST(QRBRawChannel, InitDefaultCalibrationDatesTheTable) {
    TQRBRawChannel c(0, 0, 0, 0, TInterfaceKind::ikOffline, nullptr);
    c.InitDefaultCalibration(device::EncodeDate(2025, 11, 30));
    EXPECT_EQ(c.Calibration.Source(), "QRBCAL730");
    EXPECT_EQ(c.Calibration.AdjustMarker, 8);
    EXPECT_EQ(c.Calibration.CalibDate.Text(), "2025-11-30");
    EXPECT_FALSE(c.Calibration.IsUsable());

    c.InitDefaultCalibration();
    EXPECT_EQ(c.Calibration.CalibDate.Text().size(), 10u);
}

TEST(QRBRawChannel, NamesAreCutInCharacters) {
    TQRBRawChannel c(0, 0, 0, 0, TInterfaceKind::ikOffline, nullptr);
    std::string name;
    for (int i = 0; i < 31; ++i)
        name += "\xC2\xB5"; // µ, two bytes each
    c.SetChannelName(name);
    EXPECT_EQ(c.ChannelName, name.substr(0, 60));
    c.SetDescription(std::string(250, 'd'));
    EXPECT_EQ(c.Description, std::string(200, 'd'));
}

} // namespace
} // namespace qrb::model
