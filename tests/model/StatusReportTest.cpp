#include "device/Cp1252.h"
#include "device/Format.h"
#include "device/HWVocabulary.h"
#include "model/I2CTranslator.h"
#include "tests/model/SensorFixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qrb::test {
namespace {

using device::TI2CResult;

class StatusReports : public SensorFixture {
protected:
    void SetUp() override {
        TScriptedDevice a = GoodDevice("10.0.0.1", 2);
        a.Info.FanRpm = 1200;
        a.Info.ClockHz = 1234567;
        a.Info.Supply12V = 12.05f;
        a.Info.Tst = 3.3f;
        a.Info.Supply5V = 5.01f;
        a.Flash.DeviceSeries = 3;
        a.Flash.DeviceSerial = 42;
        a.Flash.HardwareSeries = 7;
        a.Flash.HardwareSerial = 123;
        a.Flash.BackboneSeries = 2;
        a.Flash.BackboneSerial = 9;
        a.Flash.ControlledDate = {5, 3, 2024};
        a.Flash.MastertestDate = {32, 1, 2024}; // no such day: date 0
        a.Flash.CalibrationDate = {31, 12, 2023};
        TScriptedDevice b = GoodDevice("10.0.0.2", 1);
        b.Flash.Magic = {};
        StartDevices({a, b}, 3);
    }

    device::TFormatSettingsScope formats{device::TFormatSettings{}};
};

// ---- Polling -------------------------------------------------------------------------------------

TEST_F(StatusReports, NoDevicesNoReportsNoChange) {
    Create(); // a translator without devices
    std::string text = "old";
    EXPECT_FALSE(translator->PollChannelStatus());
    translator->DeviceStatusReport(text);
    EXPECT_EQ(text, "");
    text = "old";
    translator->OffsetReport(text);
    EXPECT_EQ(text, "");
    text = "old";
    translator->DeviceInfoReport(true, 0, text);
    EXPECT_EQ(text, "");
}

TEST_F(StatusReports, ChannelsFollowTheStoredBytesOnlyWhenSomeDeviceChanged) {
    amp->Device(0).ADC8.Status = {0x84, 0x04};
    amp->Device(1).ADC8.Status = {0x10};
    Ch(0).dms_pwr_on = 1;
    Ch(1).dms_pwr_on = 0;
    EXPECT_FALSE(translator->PollChannelStatus());
    EXPECT_EQ(translator->DeviceADC8[0].Status[0], 0x84); // stored as received
    EXPECT_EQ(translator->DeviceADC8[1].Status[0], 0x10);
    EXPECT_EQ(Ch(0).ADC8Status, 0);

    // A change on the second device updates every present channel from the stored bytes.
    amp->Device(1).ADC8Changed = true;
    EXPECT_TRUE(translator->PollChannelStatus());
    EXPECT_EQ(Ch(0).ADC8Status, 0x84);
    EXPECT_EQ(Ch(1).ADC8Status, 0x04);
    EXPECT_EQ(Ch(2).ADC8Status, 0x10);

    // The history keeps what was seen; without DMS power the fuse bit does not count.
    amp->Device(0).ADC8.Status = {0x20, 0x80};
    EXPECT_TRUE(translator->PollChannelStatus());
    EXPECT_EQ(Ch(0).ADC8Status, 0x20);
    EXPECT_EQ(Ch(0).ADC8History, 0xA4);
    EXPECT_EQ(Ch(1).ADC8Status, 0x00);
    EXPECT_EQ(Ch(1).ADC8History, 0x04);
}

TEST_F(StatusReports, FailedPollKeepsTheBytesAndAbsentChannelsStay) {
    amp->Device(0).ADC8.Status = {0x08, 0x08};
    amp->Device(0).ADC8Changed = true;
    EXPECT_TRUE(translator->PollChannelStatus());
    amp->Device(0).ADC8.Status = {0x40, 0x40};
    amp->Refuse["GetDeviceADC8(0)"] = TI2CResult::irNoAnswer;
    amp->Device(1).ADC8Changed = true;
    Ch(1).Present = false;
    EXPECT_TRUE(translator->PollChannelStatus());
    EXPECT_EQ(translator->DeviceADC8[0].Status[0], 0x08);
    EXPECT_EQ(Ch(0).ADC8Status, 0x08);
    Ch(1).Present = true;
    EXPECT_EQ(Ch(1).ADC8History, 0x08); // from the first poll only
}

// ---- Device status ---------------------------------------------------------------------------------

TEST_F(StatusReports, DeviceStatusReportLines) {
    std::string text = "old";
    translator->DeviceStatusReport(text);
    EXPECT_EQ(text, "Device 01:\r\n\r\n"
                    "  Fan:  1200.00 rpm\r\n"
                    "  Clk:   1234.57 KHz\r\n"
                    "  12V:    12.05 V\r\n"
                    "  Tst:     3.30 V\r\n"
                    "  +5V:     5.01 V\r\n"
                    "\r\n"
                    "Device 02:\r\n\r\n"
                    "  Fan:  0.00 rpm\r\n"
                    "  Clk:    0.00 KHz\r\n"
                    "  12V:     0.00 V\r\n"
                    "  Tst:     0.00 V\r\n"
                    "  +5V:     0.00 V\r\n"
                    "\r\n");
    // Every device's report polls the status of all devices.
    EXPECT_EQ(amp->LogOf("GetDeviceADC8").size(), 4u);

    // A failed query shows the values of the last one.
    amp->Device(0).InfoResult = TI2CResult::irNoAnswer;
    amp->Device(0).Info.FanRpm = 1;
    std::string again;
    translator->DeviceStatusReport(again);
    EXPECT_EQ(again, text);
}

TEST_F(StatusReports, DecimalSeparatorOfTheRegionalSettings) {
    device::SetDecimalSeparator(",");
    std::string text;
    translator->DeviceStatusReport(text);
    EXPECT_EQ(text.substr(0, 40), "Device 01:\r\n\r\n  Fan:  1200,00 rpm\r\n  Clk");
}

// ---- Offsets -------------------------------------------------------------------------------------------

std::string RangeLine(uint8_t range, const std::string& cells) {
    std::string text = device::VoltageRangeToText(2, range);
    text.append(11 - device::Utf8Length(text), ' ');
    return text + cells + "\r\n";
}

std::string Defaults(int n) {
    std::string out;
    for (int i = 0; i < n; ++i)
        out += "   default ";
    return out;
}

TEST_F(StatusReports, OffsetReportInMillivolts) {
    auto& cal = Ch(0).Calibration;
    cal = UsableCalibration("2024-01-01", 2048);
    cal.ZeroOffsets[0][0] = {2048, 2098}; // the offset-on word alone: 1.6 mV a step
    cal.ZeroOffsets[1][0] = {2058, 2048}; // 0.05 mV a step
    cal.ZeroOffsets[2][0] = {2058, 2098}; // the first word wins
    cal.ZeroOffsets[4][0] = {2028, 2048};
    cal.ZeroOffsets[6][25] = {4095, 2048};
    std::string text = "old";
    translator->OffsetReport(text);

    std::string want = "Device 01:\r\n\r\n\r\nChannel 01\r\n\r\n";
    want += "Range             GND     SE DC+     SE DC-      DE DC   DE 3HzAC   SE 3HzAC   SE16HzAC\r\n\r\n";
    want += RangeLine(0, "  80.00 mV    0.50 mV    0.50 mV " + Defaults(1) + "  -1.00 mV " + Defaults(2));
    for (uint8_t r = 1; r < 25; ++r)
        want += RangeLine(r, Defaults(7));
    want += RangeLine(25, Defaults(6) + " 102.35 mV ");
    want += "\r\n";
    want += "\r\nChannel 02\r\n\r\n----- not adjusted -----\r\n\r\n";
    want += "\r\n\r\n";
    want += "Device 02:\r\n\r\n\r\nChannel 03\r\n\r\n----- not adjusted -----\r\n\r\n\r\n\r\n";
    EXPECT_EQ(text, want);
    // The range texts count characters: "± 500V" is six of them.
    EXPECT_NE(text.find("± 500V       80.00 mV "), std::string::npos);
}

// ---- Device information ------------------------------------------------------------------------------

TEST_F(StatusReports, DeviceInformationOfOneDevice) {
    auto& c = Ch(0);
    for (uint16_t i = 0; i < 9; ++i) {
        c.Current.Image.Words[i] = static_cast<uint16_t>(i + 1);
        c.Info.Defaults.Words[i] = static_cast<uint16_t>(0x10 + i);
        c.Info.Stored.Words[i] = static_cast<uint16_t>(0xA000 + i);
    }
    for (uint16_t i = 0; i < 7; ++i) {
        c.Info.MaskI[i] = static_cast<uint16_t>(0x100 + i);
        c.Info.MaskO[i] = static_cast<uint16_t>(0x200 + i);
        c.Info.MaskIO[i] = static_cast<uint16_t>(0x300 + i);
        c.Info.MaskP[i] = static_cast<uint16_t>(0x400 + i);
        c.Info.MaskDirty[i] = static_cast<uint16_t>(0xFFF0 + i);
    }
    Ch(1).Defect = true;
    std::string text = "old";
    translator->DeviceInfoReport(false, 0, text);
    EXPECT_EQ(text, "Device 01:\r\n\r\n"
                    "  Device Serial:   03-0042\r\n"
                    "\r\n"
                    "  Hardware Series: 7\r\n"
                    "  Hardware Serial: 0123\r\n"
                    "\r\n"
                    "  Backbone Series: 2\r\n"
                    "  Backbone Serial: 0009\r\n"
                    "\r\n"
                    "  Controlled:      2024-03-05\r\n"
                    "  Mastertest:      1899-12-30\r\n"
                    "  Calibration:     2023-12-31\r\n"
                    "\r\n"
                    "\r\n\r\n"
                    "\r\nChannel Information:\r\n\r\n"
                    "  Channel 01\r\n"
                    "\r\n"
                    "  Device:        0\r\n"
                    "  Group:         0\r\n"
                    "  Channel:       0\r\n"
                    "  Status:        ok \r\n"
                    "  Serial:        1000\r\n"
                    "  Version:       2\r\n"
                    "  DC-Series:     730\r\n"
                    "  DC-Serial:     0100\r\n"
                    "\r\n"
                    "  Current:       $0001 $0002 $0003 $0004 $0005 $0006 $0007 $0008 $0009\r\n"
                    "  Defaults:      $0010 $0011 $0012 $0013 $0014 $0015 $0016 $0017 $0018\r\n"
                    "  Stored:        $A000 $A001 $A002 $A003 $A004 $A005 $A006 $A007 $A008\r\n"
                    "  MaskI:         $0100 $0101 $0102 $0103 $0104 $0105 $0106\r\n"
                    "  MaskO:         $0200 $0201 $0202 $0203 $0204 $0205 $0206\r\n"
                    "  MaskIO:        $0300 $0301 $0302 $0303 $0304 $0305 $0306\r\n"
                    "  MaskP:         $0400 $0401 $0402 $0403 $0404 $0405 $0406\r\n"
                    "  MaskDirty:     $FFF0 $FFF1 $FFF2 $FFF3 $FFF4 $FFF5 $FFF6\r\n"
                    "\r\n"
                    "  Charge:        false\r\n"
                    "  BNC:           true\r\n"
                    "  ODU:           false\r\n"
                    "\r\n"
                    "\r\nChannel Information:\r\n\r\n"
                    "  Channel 02\r\n"
                    "\r\n"
                    "  Device:        0\r\n"
                    "  Group:         0\r\n"
                    "  Channel:       1\r\n"
                    "  Status:        defect \r\n"
                    "\r\n\r\n");
}

TEST_F(StatusReports, DeviceInformationWithInvalidFlashAndDeviceSelection) {
    std::string second;
    translator->DeviceInfoReport(false, 1, second);
    EXPECT_EQ(second.rfind("Device 02:\r\n\r\n=> INVALID MASTERFLASH CONTENT!!!\r\n\r\n"
                           "\r\nChannel Information:\r\n\r\n  Channel 03\r\n\r\n  Device:        1\r\n",
                           0),
              0u)
        << second;
    std::string first, all;
    translator->DeviceInfoReport(false, 0, first);
    translator->DeviceInfoReport(true, 7, all);
    EXPECT_EQ(all, first + second);
    std::string none = "old";
    translator->DeviceInfoReport(false, 2, none);
    EXPECT_EQ(none, "");
}

} // namespace
} // namespace qrb::test
