#include "device/sim/I2CVirtualControl.h"

#include "tests/support/ScriptedI2CPeer.h"
#include "tests/support/VirtualMainLoop.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

using namespace qrb::device;
using qrb::test::TInstalledVirtualMainLoop;
using qrb::test::TScriptedChip;
using qrb::test::TScriptedI2CPeer;

namespace {

using Bytes = std::vector<uint8_t>;

class VirtualControl : public testing::Test {
protected:
    VirtualControl() {
        ctl_.OnLog = [this](const void*, const std::string& t) { logs_.push_back(t); };
        ctl_.OnI2CLog = [this](const void*, const std::string& t) { i2cLogs_.push_back(t); };
        ctl_.OnError = [this](const void*, const std::string& t) { errors_.push_back(t); };
    }

    void ScanWith(std::initializer_list<const char*> targets) {
        ctl_.ScanTargets.Clear();
        for (const char* t : targets)
            ctl_.ScanTargets.Add(t);
        ctl_.Scan();
        loop_.ClearSleeps();
        logs_.clear();
    }

    std::vector<std::string> MasterNames() const {
        std::vector<std::string> names;
        for (const auto& m : ctl_.Masters)
            names.push_back(m.Name);
        return names;
    }

    TI2CVirtualChannel& Channel(size_t position) { return *ctl_.Channels.at(position); }
    uint8_t Output1(size_t position, uint8_t expander = 0x20) {
        return Channel(position).Expander(expander)->Register(TSimIOExpander::rOutput1);
    }

    Bytes Read(int32_t index, uint8_t addr, uint16_t len, TI2CResult expect = TI2CResult::irOK) {
        Bytes buf(len, 0xEE);
        EXPECT_EQ(ctl_.ReadI2C(index, addr, len, buf), expect);
        return buf;
    }

    TInstalledVirtualMainLoop loop_;
    TI2CVirtualControl ctl_;
    std::vector<std::string> logs_, i2cLogs_, errors_;
};

} // namespace

// --- scan targets ---

TEST_F(VirtualControl, OneTargetBuildsDeviceGroupAndChannels) {
    ctl_.ScanTargets.Add("Sim-8:3");
    EXPECT_TRUE(ctl_.Scan());
    EXPECT_EQ(MasterNames(), std::vector<std::string>{"VD 00-08"});
    EXPECT_EQ(ctl_.Masters[0].Master->Index, 0);
    ASSERT_EQ(ctl_.VirtualMasters.size(), 1u);
    EXPECT_EQ(ctl_.VirtualMasters[0].Name, "Sim");
    EXPECT_EQ(ctl_.VirtualMasters[0].Master->Version(), 3);
    ASSERT_EQ(ctl_.Groups.size(), 1u);
    EXPECT_EQ(ctl_.Groups[0]->Name(), "Sim_channelgroup_00");
    ASSERT_EQ(ctl_.Channels.size(), 8u);
    for (size_t c = 0; c < 8; ++c) {
        EXPECT_EQ(Channel(c).Name(), "Sim_channel_0" + std::to_string(c));
        EXPECT_EQ(Channel(c).Slot(), static_cast<int32_t>(c));
    }
    EXPECT_EQ(logs_, std::vector<std::string>{"[VRT] device status: 1 device(s) found"});
    EXPECT_FALSE(ctl_.KeepAlive());
}

TEST_F(VirtualControl, GroupsOfEightAndNamesOfLaterChannels) {
    ScanWith({"Big-17:2"});
    ASSERT_EQ(ctl_.Groups.size(), 3u);
    EXPECT_EQ(ctl_.Groups[2]->Name(), "Big_channelgroup_02");
    EXPECT_EQ(ctl_.Groups[2]->Group(), 2);
    EXPECT_EQ(Channel(16).Name(), "Big_channel_16");
    EXPECT_EQ(Channel(16).Group(), 2);
    EXPECT_EQ(Channel(16).Slot(), 0);
    EXPECT_EQ(Channel(9).Group(), 1);
    EXPECT_EQ(Channel(9).Slot(), 1);
}

TEST_F(VirtualControl, TargetsAreBuiltInSortedOrder) {
    ScanWith({"b-2:1", "A-3:1", "c-64:2"});
    EXPECT_EQ(MasterNames(), (std::vector<std::string>{"VD 00-03", "VD 01-02", "VD 02-64"}));
    EXPECT_EQ(ctl_.VirtualMasters[1].Name, "b");
    EXPECT_EQ(ctl_.Channels.size(), 69u);
    EXPECT_EQ(ctl_.FindChannel(2, 7, 7), 68);
    EXPECT_EQ(ctl_.FindGroup(1, 0), 1);
    EXPECT_EQ(ctl_.FindGroup(1, 1), -1);
    EXPECT_EQ(ctl_.GetVirtualMaster(2)->Channels(), 64);
    EXPECT_EQ(ctl_.GetVirtualMaster(3), nullptr);
    EXPECT_EQ(ctl_.GetVirtualMaster(-1), nullptr);
}

TEST_F(VirtualControl, NoTargetsMeansNoScan) {
    EXPECT_FALSE(ctl_.Scan());
    EXPECT_TRUE(logs_.empty());
    EXPECT_EQ(ctl_.MasterCount(), 0);
}

struct BadTarget {
    const char* Target;
    bool Syntax; // wrong syntax rather than wrong channel/version value
};

void PrintTo(const BadTarget& t, std::ostream* os) {
    *os << t.Target;
}

class VirtualControlBadTarget : public VirtualControl, public testing::WithParamInterface<BadTarget> {};

TEST_P(VirtualControlBadTarget, IsSkippedWithItsLine) {
    const std::string t = GetParam().Target;
    ctl_.ScanTargets.Add(t);
    ctl_.ScanTargets.Add("Z-1:1");
    EXPECT_TRUE(ctl_.Scan());
    const std::string line =
        GetParam().Syntax
            ? "[VRT] wrong syntax for creating virtual device (" + t + ") - skipped."
            : "[VRT] wrong channel/version value for creating virtual device (" + t + ") - skipped.";
    EXPECT_EQ(logs_, (std::vector<std::string>{line, "[VRT] device status: 1 device(s) found"}));
    EXPECT_EQ(MasterNames(), std::vector<std::string>{"VD 00-01"});
}

INSTANTIATE_TEST_SUITE_P(Targets, VirtualControlBadTarget,
                         testing::Values(BadTarget{"A-0:1", false}, BadTarget{"A-65:1", false},
                                         BadTarget{"A-8:0", false}, BadTarget{"A-8:4", false},
                                         BadTarget{"A--1:2", false}, BadTarget{"A8:1", true},
                                         BadTarget{"A-8", true}, BadTarget{"A-x:1", true},
                                         BadTarget{"A-8:y", true}, BadTarget{"A-8:", true},
                                         BadTarget{"A-:3", true}, BadTarget{"A:3-8", true},
                                         BadTarget{"A-8:1:2", true}, BadTarget{"A-99999999999:1", true}));

TEST_F(VirtualControl, AtMostEightPositionsOfTheSortedList) {
    // The bad target takes a position: only seven devices, and the ninth position is refused.
    for (const char* t : {"A-1:1", "B-1:1", "C-1:1", "D-bad", "E-1:1", "F-1:1", "G-1:1", "H-1:1", "I-1:1"})
        ctl_.ScanTargets.Add(t);
    ctl_.Scan();
    EXPECT_EQ(ctl_.MasterCount(), 7);
    EXPECT_EQ(ctl_.VirtualMasters.back().Name, "H");
    EXPECT_EQ(MasterNames().back(), "VD 06-01");
    ASSERT_EQ(logs_.size(), 3u);
    EXPECT_EQ(logs_[1], "[VRT] maximum number of virtual devices (8) reached.");
    EXPECT_EQ(logs_[2], "[VRT] device status: 7 device(s) found");
}

TEST_F(VirtualControl, EightTargetsNeedNoLimitLine) {
    for (const char* t : {"A-1:1", "B-1:1", "C-1:1", "D-1:1", "E-1:1", "F-1:1", "G-1:1", "H-1:1"})
        ctl_.ScanTargets.Add(t);
    ctl_.Scan();
    EXPECT_EQ(ctl_.MasterCount(), 8);
    EXPECT_EQ(logs_, std::vector<std::string>{"[VRT] device status: 8 device(s) found"});
}

// --- fixed answers ---

TEST_F(VirtualControl, DeviceInfoLeavesOtherFieldsAsPassedIn) {
    ScanWith({"Sim-12:1"});
    TDeviceInfo info;
    std::array<uint8_t, TDeviceInfo::Size> pattern;
    for (size_t i = 0; i < pattern.size(); ++i)
        pattern[i] = static_cast<uint8_t>(0xA0 + i);
    ASSERT_TRUE(TDeviceInfo::Decode(pattern.data(), pattern.size(), info));
    EXPECT_EQ(ctl_.GetDeviceInfo(0, info), TI2CResult::irOK);
    auto expected = pattern;
    expected[0] = 0;
    expected[1] = 127;
    expected[2] = 0;
    expected[3] = 12;
    expected[4] = 12;
    expected[5] = 2;
    EXPECT_EQ(ToBytes(info), expected);
}

TEST_F(VirtualControl, ChannelInfoFillsSlotsOfTheFirstEightChannels) {
    ScanWith({"A-5:3", "B-12:1"});
    TChannelInfoBlock block;
    std::array<uint8_t, TChannelInfoBlock::Size> pattern;
    pattern.fill(0x5A);
    ASSERT_TRUE(TChannelInfoBlock::Decode(pattern.data(), pattern.size(), block));
    ASSERT_EQ(ctl_.GetChannelInfo(1, block), TI2CResult::irOK);

    // One filled slot, written by hand from the simulated answer (device 1, slot 3).
    const uint16_t image[9] = {0x0000, 0x9595, 0x2A6A, 0x255B, 0x0AAB, 0x0116, 0xC9CA, 0x0000, 0x0800};
    const uint16_t masks[5][7] = {
        {0x0000, 0x0000, 0xC000, 0x0020, 0x8000, 0xFE00, 0x0000},
        {0x0000, 0x0000, 0x00C0, 0xE047, 0x7C27, 0x01C0, 0x0000},
        {0, 0, 0, 0, 0, 0, 0},
        {0x0000, 0xFFFF, 0x3F3F, 0x1F98, 0x03D8, 0x003F, 0xFFFF},
        {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF},
    };
    auto put16 = [](uint8_t* p, uint16_t v) {
        p[0] = static_cast<uint8_t>(v);
        p[1] = static_cast<uint8_t>(v >> 8);
    };
    std::array<uint8_t, TChannelInfoSlot::Size> slot;
    slot.fill(0x5A);
    const uint8_t head[6] = {1, 1, 0, 124, 0, 1};
    std::memcpy(slot.data(), head, 6);
    for (int w = 0; w < 9; ++w)
        put16(&slot[6 + 2 * w], image[w]);
    slot[24] = 1;
    slot[25] = slot[26] = slot[27] = 0;
    uint8_t* info = &slot[28];
    const uint8_t infoHead[8] = {3, 0, 1, 184, 0, 0, 0, 0};
    std::memcpy(info, infoHead, 8);
    info[8] = 0;
    info[9] = 0;
    put16(&info[10], 0xFF00 + 8 * 1 + 3);
    info[12] = 5;
    info[13] = 0;
    for (int w = 0; w < 9; ++w)
        put16(&info[14 + 2 * w], image[w]);
    for (int w = 0; w < 9; ++w)
        put16(&info[32 + 2 * w], image[w]);
    for (int m = 0; m < 5; ++m)
        for (int w = 0; w < 7; ++w)
            put16(&info[50 + 14 * m + 2 * w], masks[m][w]);
    info[120] = 2; // bytes 121..123 stay as passed in

    EXPECT_EQ(ToBytes(block.Slots[3]), slot);
    EXPECT_EQ(block.Slots[7].Info.Serial, 0xFF00 + 8 + 7);

    // A device of five channels fills slots 0..4 only.
    ASSERT_TRUE(TChannelInfoBlock::Decode(pattern.data(), pattern.size(), block));
    ASSERT_EQ(ctl_.GetChannelInfo(0, block), TI2CResult::irOK);
    EXPECT_EQ(block.Slots[4].Present, 1);
    std::array<uint8_t, TChannelInfoSlot::Size> untouched;
    untouched.fill(0x5A);
    for (size_t s = 5; s < 8; ++s)
        EXPECT_EQ(ToBytes(block.Slots[s]), untouched) << s;
}

TEST_F(VirtualControl, DCDCInfoKeepsReservedBytes) {
    ScanWith({"A-1:1", "B-1:1", "C-1:1"});
    TDCDCInfo info;
    std::array<uint8_t, TDCDCInfo::Size> pattern;
    pattern.fill(0x77);
    ASSERT_TRUE(TDCDCInfo::Decode(pattern.data(), pattern.size(), info));
    ASSERT_EQ(ctl_.GetDCDCInfo(2, info), TI2CResult::irOK);
    const auto bytes = ToBytes(info);
    for (size_t s = 0; s < 8; ++s) {
        const uint16_t serial = static_cast<uint16_t>(0xFF00 + 16 + s);
        const uint8_t entry[8] = {
            1, 3, 0, static_cast<uint8_t>(serial), static_cast<uint8_t>(serial >> 8), 0x77, 0x77, 0x77};
        EXPECT_EQ(0, std::memcmp(&bytes[8 * s], entry, 8)) << s;
    }
}

TEST_F(VirtualControl, RecordsTheSimulatorDoesNotFillStayAsPassedIn) {
    ScanWith({"Sim-8:3"});
    TChannelCalibTable table;
    table.SetSource("xyz");
    table.AdjustMarker = 9;
    const TChannelCalibTable before = table;
    EXPECT_EQ(ctl_.GetChannelCalibTable(0, 2, table), TI2CResult::irOK);
    EXPECT_EQ(table, before);

    TI2CBuffer answer;
    answer.fill(0x33);
    TRegisterImage image;
    image.Words[0] = 0x1234;
    EXPECT_EQ(ctl_.WriteChannel(0, 1, 124, image, answer), TI2CResult::irOK);
    EXPECT_TRUE(std::all_of(answer.begin(), answer.end(), [](uint8_t b) { return b == 0x33; }));
    EXPECT_EQ(Output1(1), 0); // no chip changes

    TDeviceADC8 status;
    bool changed = true;
    EXPECT_EQ(ctl_.GetDeviceADC8(0, status, changed), TI2CResult::irOK);
    EXPECT_TRUE(changed);
    changed = false;
    EXPECT_EQ(ctl_.GetDeviceADC8(0, status, changed), TI2CResult::irOK);
    EXPECT_FALSE(changed);
    EXPECT_EQ(status.Status, (std::array<uint8_t, 8>{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));

    EXPECT_EQ(ctl_.SaveAllConfig(0, 0), TI2CResult::irOK);
    EXPECT_EQ(ctl_.SetChannelInfo(0, 0, TChannelInfo{}), TI2CResult::irOK);
    EXPECT_EQ(ctl_.SetDCDCInfo(0, TDCDCInfo{}), TI2CResult::irOK);
    EXPECT_EQ(ctl_.SetDCDCClock(0, 1, 2, 3, 4, 5), TI2CResult::irOK);
    EXPECT_EQ(ctl_.SetIRQ(0, 2), TI2CResult::irOK);
    EXPECT_TRUE(errors_.empty());
    EXPECT_TRUE(loop_.Sleeps().empty());
}

TEST_F(VirtualControl, MasterflashImageAndReplacement) {
    ScanWith({"A-1:1", "B-8:2"});
    TMasterFlash flash;
    ASSERT_EQ(ctl_.GetMasterflash(1, flash), TI2CResult::irOK);
    EXPECT_TRUE(flash.IsMagicValid());
    EXPECT_EQ(ToBytes(flash), ctl_.GetVirtualMaster(1)->Image);
    EXPECT_EQ(flash.HardwareSerial, 0xFF08u);
    EXPECT_EQ(flash.DeviceSerial, 991u);
    EXPECT_EQ(flash.CalibrationDate.Year, 2010);

    std::array<uint8_t, 68> written;
    for (size_t i = 0; i < written.size(); ++i)
        written[i] = static_cast<uint8_t>(i * 7);
    ASSERT_TRUE(TMasterFlash::Decode(written.data(), written.size(), flash));
    ASSERT_EQ(ctl_.SetMasterflash(1, flash), TI2CResult::irOK);
    TMasterFlash back;
    ASSERT_EQ(ctl_.GetMasterflash(1, back), TI2CResult::irOK);
    EXPECT_EQ(ToBytes(back), written);
    // The other device keeps its own image.
    ASSERT_EQ(ctl_.GetMasterflash(0, back), TI2CResult::irOK);
    EXPECT_TRUE(back.IsMagicValid());
}

TEST_F(VirtualControl, TextsFanClockAndFirmware) {
    ScanWith({"A-1:1", "B-1:1"});
    std::string text;
    ctl_.GetDeviceName(1, text);
    EXPECT_EQ(text, "Virtual Controler #1");
    ctl_.GetVendor(1, text);
    EXPECT_EQ(text, "QRB GmbH");
    ctl_.GetModel(1, text);
    EXPECT_EQ(text, "VC");
    ctl_.GetVersion(1, text);
    EXPECT_EQ(text, "2201");
    EXPECT_EQ(ctl_.IsDeviceValid(1), 1);
    TFWVersion fw;
    ctl_.GetFWVersion(0, fw, text);
    EXPECT_EQ(fw.Components, (std::array<int32_t, 4>{2, 6, 9, 666}));
    EXPECT_EQ(text, "FW: <simulator>");

    EXPECT_EQ(ctl_.SetFan(0, 5), TI2CResult::irInvalidSpeed);
    EXPECT_EQ(errors_, std::vector<std::string>{"[I2C] invalid speed: 5"});
    EXPECT_EQ(ctl_.SetFan(0, 4), TI2CResult::irOK);
    EXPECT_EQ(ctl_.GetVirtualMaster(0)->FanSpeed, 4);

    int32_t hz = 0;
    EXPECT_EQ(ctl_.GetSCL(0, hz), TI2CResult::irOK);
    EXPECT_EQ(hz, 200000);
    errors_.clear();
    for (int32_t bad : {999, 400001, -5}) {
        EXPECT_EQ(ctl_.SetSCL(0, bad), TI2CResult::irInvalidValue);
        EXPECT_EQ(errors_.back(), "[I2C] invalid SCL: " + std::to_string(bad));
    }
    for (int32_t good : {1000, 400000}) {
        EXPECT_EQ(ctl_.SetSCL(1, good), TI2CResult::irOK);
        ctl_.GetSCL(1, hz);
        EXPECT_EQ(hz, good);
    }
    ctl_.GetSCL(0, hz);
    EXPECT_EQ(hz, 200000);
}

TEST_F(VirtualControl, ScanI2CMuxListsGroupAndSlotOfEveryChannel) {
    ScanWith({"Sim-10:1"});
    std::vector<std::string> list{"old"};
    EXPECT_EQ(ctl_.ScanI2CMux(0, list), TI2CResult::irOK);
    EXPECT_EQ(list, (std::vector<std::string>{"00", "01", "02", "03", "04", "05", "06", "07", "10", "11"}));
}

TEST_F(VirtualControl, ScanI2CAnswersTheAddressListWhileAChannelIsSelected) {
    ScanWith({"Sim-12:1"});
    std::string list = "old";
    EXPECT_EQ(ctl_.ScanI2C(0, list), TI2CResult::irOK);
    EXPECT_EQ(list, "24,32,33,34,37,42,36,43,44,35,84,81,86,87,88,112,113,114");
    ctl_.SetMux(0, 5, 0, 4); // no group 5
    EXPECT_EQ(ctl_.ScanI2C(0, list), TI2CResult::irOK);
    EXPECT_EQ(list, "");
}

// --- bad device index ---

TEST_F(VirtualControl, EveryOperationChecksTheIndex) {
    ScanWith({"Sim-8:3"});
    const int32_t bad = 1;
    int32_t hz = 5;
    std::string s;
    std::vector<std::string> l;
    TI2CBuffer buf{};
    Bytes b(4);
    TDeviceInfo di;
    TChannelInfoBlock cib;
    TDCDCInfo dc;
    TChannelCalibTable ct;
    TMasterFlash mf;
    TDeviceADC8 adc;
    bool changed = false;
    const std::vector<std::pair<const char*, std::function<TI2CResult()>>> ops = {
        {"GetSCL", [&] { return ctl_.GetSCL(bad, hz); }},
        {"SetSCL", [&] { return ctl_.SetSCL(bad, 100000); }},
        {"ScanI2C", [&] { return ctl_.ScanI2C(bad, s); }},
        {"WriteI2C", [&] { return ctl_.WriteI2C(bad, 0x20, "0200"); }},
        {"WriteI2CBlock",
         [&] {
             return ctl_.WriteI2CBlock(bad, 0x20, Bytes{2, 0});
         }},
        {"ReadI2C", [&] { return ctl_.ReadI2C(bad, 0x20, 2, b); }},
        {"WriteReadI2C", [&] { return ctl_.WriteReadI2C(bad, 0x20, "02", 2, b); }},
        {"ScanI2CMux", [&] { return ctl_.ScanI2CMux(bad, l); }},
        {"WriteSeq", [&] { return ctl_.WriteSeq(bad, 'E', buf, 0, buf); }},
        {"WriteChannel", [&] { return ctl_.WriteChannel(bad, 0, 0, TRegisterImage{}, buf); }},
        {"SaveAllConfig", [&] { return ctl_.SaveAllConfig(bad, 0); }},
        {"GetDeviceInfo", [&] { return ctl_.GetDeviceInfo(bad, di); }},
        {"GetChannelInfo", [&] { return ctl_.GetChannelInfo(bad, cib); }},
        {"SetChannelInfo", [&] { return ctl_.SetChannelInfo(bad, 0, TChannelInfo{}); }},
        {"GetDCDCInfo", [&] { return ctl_.GetDCDCInfo(bad, dc); }},
        {"SetDCDCInfo", [&] { return ctl_.SetDCDCInfo(bad, dc); }},
        {"SetDCDCClock", [&] { return ctl_.SetDCDCClock(bad, 0, 0, 0, 0, 0); }},
        {"GetChannelCalibTable", [&] { return ctl_.GetChannelCalibTable(bad, 0, ct); }},
        {"GetMasterflash", [&] { return ctl_.GetMasterflash(bad, mf); }},
        {"SetMasterflash", [&] { return ctl_.SetMasterflash(bad, mf); }},
        {"GetDeviceADC8", [&] { return ctl_.GetDeviceADC8(bad, adc, changed); }},
        {"SetMux", [&] { return ctl_.SetMux(bad, 0, 0, 4); }},
        {"SetFan", [&] { return ctl_.SetFan(bad, 1); }},
        {"SetIRQ", [&] { return ctl_.SetIRQ(bad, 2); }},
    };
    for (const auto& [name, op] : ops) {
        errors_.clear();
        EXPECT_EQ(op(), TI2CResult::irInvalidDevice) << name;
        EXPECT_EQ(errors_, std::vector<std::string>{"[I2C] invalid device: 1"}) << name;
    }
    EXPECT_EQ(hz, -1);
    EXPECT_EQ(di, TDeviceInfo{});
    EXPECT_EQ(adc, TDeviceADC8{});
    EXPECT_EQ(b, Bytes(4));
    EXPECT_TRUE(loop_.Sleeps().empty());

    for (auto op : {&TI2CControl::GetDeviceName, &TI2CControl::GetVendor, &TI2CControl::GetModel,
                    &TI2CControl::GetVersion}) {
        s = "x";
        (ctl_.*op)(-1, s);
        EXPECT_EQ(s, "<n/a>");
    }
    errors_.clear();
    EXPECT_EQ(ctl_.IsDeviceValid(bad), 0);
    TFWVersion fw;
    fw.Components = {1, 2, 3, 4};
    ctl_.GetFWVersion(bad, fw, s);
    EXPECT_EQ(fw, TFWVersion{});
    EXPECT_EQ(s, "FW: <unknown>");
    EXPECT_EQ(errors_.size(), 2u);
}

TEST_F(VirtualControl, OneLockStateForAllDevices) {
    ScanWith({"A-1:1", "B-1:1"});
    EXPECT_FALSE(ctl_.GetDeviceLockState(1));
    EXPECT_EQ(ctl_.SetDeviceLockState(0, true), TI2CResult::irOK);
    EXPECT_TRUE(ctl_.GetDeviceLockState(0));
    EXPECT_TRUE(ctl_.GetDeviceLockState(1));
    // A bad index still answers the shared state, with the error.
    EXPECT_TRUE(ctl_.GetDeviceLockState(7));
    EXPECT_EQ(errors_, std::vector<std::string>{"[I2C] invalid device: 7"});
    errors_.clear();
    EXPECT_EQ(ctl_.SetDeviceLockState(7, false), TI2CResult::irInvalidDevice);
    EXPECT_TRUE(errors_.empty());
    EXPECT_TRUE(ctl_.GetDeviceLockState(1));
    // The lock belongs to the transport and survives a rescan.
    ctl_.Scan();
    EXPECT_TRUE(ctl_.GetDeviceLockState(0));
}

// --- I2C accesses and their limits ---

TEST_F(VirtualControl, RightAfterAScanAccessesReachTheFirstChannel) {
    ScanWith({"A-8:3", "B-8:3"});
    EXPECT_EQ(ctl_.CurrentChannel, 0);
    EXPECT_EQ(ctl_.WriteI2C(1, 0x20, "021234"), TI2CResult::irOK);
    EXPECT_EQ(Output1(0), 0x12);
    EXPECT_EQ(Read(1, 0x20, 2), (Bytes{0x34, 0x12}));
}

TEST_F(VirtualControl, LengthLimits) {
    ScanWith({"Sim-8:3"});
    EXPECT_EQ(ctl_.WriteI2CBlock(0, 0x20, Bytes(1, 2)), TI2CResult::irInvalidWriteLength);
    EXPECT_EQ(ctl_.WriteI2CBlock(0, 0x20, Bytes(132, 2)), TI2CResult::irInvalidWriteLength);
    EXPECT_EQ(errors_,
              (std::vector<std::string>{"[I2C] invalid write length: 1", "[I2C] invalid write length: 132"}));
    EXPECT_EQ(ctl_.WriteI2CBlock(0, 0x20, Bytes{2, 9}), TI2CResult::irOK);
    Bytes longest(131, 0);
    longest[1] = 0x10;
    EXPECT_EQ(ctl_.WriteI2CBlock(0, 0x56, longest), TI2CResult::irOK);
    errors_.clear();
    Bytes buf(200);
    EXPECT_EQ(ctl_.ReadI2C(0, 0x20, 129, buf), TI2CResult::irInvalidReadLength);
    EXPECT_EQ(errors_, std::vector<std::string>{"[I2C] invalid read length: 129"});
    EXPECT_EQ(ctl_.ReadI2C(0, 0x20, 128, buf), TI2CResult::irOK);
    TI2CBuffer data{}, answer{};
    EXPECT_EQ(ctl_.WriteSeq(0, 'E', data, 129, answer), TI2CResult::irInvalidReadLength);
    EXPECT_EQ(ctl_.WriteSeq(0, 'E', data, 128, answer), TI2CResult::irOK);
}

TEST_F(VirtualControl, WriteTextWithANonHexPairIsRefused) {
    ScanWith({"Sim-8:3"});
    EXPECT_EQ(ctl_.WriteI2C(0, 0x20, "0212ZZ"), TI2CResult::irInvalidWriteValue);
    EXPECT_EQ(errors_, std::vector<std::string>{"[I2C] invalid write value: 0212ZZ"});
    EXPECT_EQ(Output1(0), 0);
    EXPECT_TRUE(loop_.Sleeps().empty());
    Bytes buf(2, 0xEE);
    EXPECT_EQ(ctl_.WriteReadI2C(0, 0x20, "02 1", 2, buf), TI2CResult::irInvalidWriteValue);
    EXPECT_EQ(buf, (Bytes{0xEE, 0xEE}));
}

TEST_F(VirtualControl, WriteTextLongerThanTheBufferIsCut) {
    ScanWith({"Sim-8:3"});
    std::string text = "0000" + std::string(2 * 1022, 'A') + "BBCC";
    EXPECT_EQ(ctl_.WriteI2C(0, 0x56, text), TI2CResult::irOK);
    const auto flash = Channel(0).Flash();
    EXPECT_EQ(flash[1021], 0xAA);
    EXPECT_EQ(flash[1022], 0);
}

TEST_F(VirtualControl, ReadsStartFromZeros) {
    ScanWith({"Sim-8:3"});
    // No chip at 0x68; the DAC with nothing selected delivers nothing.
    EXPECT_EQ(Read(0, 0x68, 3), Bytes(3, 0));
    EXPECT_EQ(Read(0, 0x24, 2), Bytes(2, 0));
    // A buffer shorter than the read gets what fits; the flash pointer still moves by the read.
    ctl_.WriteI2C(0, 0x50, "0000112233");
    ctl_.WriteI2C(0, 0x50, "0000");
    Bytes small(1);
    EXPECT_EQ(ctl_.ReadI2C(0, 0x50, 2, small), TI2CResult::irOK);
    EXPECT_EQ(small, Bytes{0x11});
    EXPECT_EQ(Read(0, 0x50, 1), Bytes{0x33});
    EXPECT_EQ(ctl_.ReadI2C(0, 0x20, 0, small), TI2CResult::irOK);
}

TEST_F(VirtualControl, ChipsBehindTheirAddresses) {
    ScanWith({"Sim-16:3"});
    ASSERT_EQ(ctl_.SetMux(0, 1, 2, 4), TI2CResult::irOK); // channel 10
    // Expander and the DAC behind 0x24.
    EXPECT_EQ(ctl_.WriteI2C(0, 0x2C, "06F00F"), TI2CResult::irOK);
    EXPECT_EQ(Channel(10).Expander(0x2C)->Register(TSimIOExpander::rConfig1), 0xF0);
    EXPECT_EQ(ctl_.WriteI2C(0, 0x24, "034567"), TI2CResult::irOK);
    EXPECT_EQ(ctl_.WriteI2C(0, 0x24, "032000"), TI2CResult::irOK);
    EXPECT_EQ(Read(0, 0x24, 2), (Bytes{0x05, 0x67}));
    EXPECT_EQ(Channel(10).DAC().DACA(), 0x567);
    // Channel flash halves share one pointer.
    EXPECT_EQ(ctl_.WriteI2C(0, 0x57, "0010AABB"), TI2CResult::irOK);
    EXPECT_EQ(Read(0, 0x57, 2), (Bytes{0xAA, 0xBB}));
    EXPECT_EQ(Read(0, 0x57, 1), (Bytes{0xAA}));
    EXPECT_EQ(Read(0, 0x56, 1), (Bytes{0x00}));
    // Group chips: the fan controller and the regulator of the channel's group.
    EXPECT_EQ(Read(0, 0x1B, 1), (Bytes{10}));
    EXPECT_EQ(ctl_.WriteI2CBlock(0, 0x1B, Bytes{0x00, 0x80}), TI2CResult::irOK);
    EXPECT_EQ(ctl_.Groups[1]->Fan().Register(0x00), 0x80);
    EXPECT_EQ(ctl_.Groups[0]->Fan().Register(0x00), 0);
    EXPECT_EQ(ctl_.WriteI2C(0, 0x58, "0D"), TI2CResult::irOK);
    EXPECT_EQ(Read(0, 0x58, 1), (Bytes{0xF0}));
    // An address no chip answers is accepted.
    EXPECT_EQ(ctl_.WriteI2C(0, 0x68, "8C"), TI2CResult::irOK);
    // The master flash is the named device's, its pointer advances.
    EXPECT_EQ(ctl_.WriteI2C(0, 0x50, "0010AABB"), TI2CResult::irOK);
    EXPECT_EQ(ctl_.WriteI2C(0, 0x50, "0010"), TI2CResult::irOK);
    EXPECT_EQ(Read(0, 0x50, 1), (Bytes{0xAA}));
    EXPECT_EQ(Read(0, 0x50, 1), (Bytes{0xBB}));
    EXPECT_TRUE(errors_.empty());
}

TEST_F(VirtualControl, SequencesRunOnTheSelectedChannel) {
    ScanWith({"Sim-8:3"});
    ctl_.SetMux(0, 0, 3, 4);
    TI2CBuffer data{}, answer;
    answer.fill(0x99);
    data[0] = 0x05;
    data[1] = 0x67;
    data[36] = 7;
    data[37] = 9;
    EXPECT_EQ(ctl_.WriteSeq(0, 'D', data, 40, answer), TI2CResult::irOK);
    EXPECT_EQ(Channel(3).DAC().DACA(), 0x567);
    EXPECT_EQ(answer[16], 0x05);
    EXPECT_EQ(answer[40], 0); // zero-filled before the sequence
    EXPECT_EQ(loop_.Sleeps(), std::vector<uint32_t>{1});
    loop_.ClearSleeps();
    EXPECT_EQ(ctl_.WriteSeq(0, 'B', data, 40, answer), TI2CResult::irOK);
    EXPECT_EQ(loop_.Sleeps(), (std::vector<uint32_t>{7, 9, 1}));
    answer.fill(0x99);
    EXPECT_EQ(ctl_.WriteSeq(0, 'Q', data, 0, answer), TI2CResult::irOK);
    EXPECT_TRUE(std::all_of(answer.begin(), answer.end(), [](uint8_t b) { return b == 0; }));
}

// --- multiplexer selection ---

TEST_F(VirtualControl, SetMuxSelectsGroupAndSlotAsNumbers) {
    ScanWith({"Sim-32:3"});
    ASSERT_EQ(ctl_.SetMux(0, 3, 5, 4 + 1), TI2CResult::irOK);
    EXPECT_EQ(ctl_.GroupMux, 3);
    EXPECT_EQ(ctl_.SlotMux, 5);
    EXPECT_EQ(ctl_.PathMux, 1);
    EXPECT_EQ(ctl_.CurrentChannel, 29);
    EXPECT_EQ(ctl_.CurrentGroup, 3);
    ctl_.WriteI2C(0, 0x20, "0255");
    EXPECT_EQ(Output1(29), 0x55);
    EXPECT_EQ(Output1(0), 0);
}

struct MuxWriteCase {
    const char* Name;
    uint8_t Address;
    const char* Text;
    int32_t Group, Slot, Path;
    int32_t Channel; // expected CurrentChannel
};

void PrintTo(const MuxWriteCase& c, std::ostream* os) {
    *os << c.Name;
}

class VirtualControlMuxWrite : public VirtualControl, public testing::WithParamInterface<MuxWriteCase> {};

TEST_P(VirtualControlMuxWrite, StoresTheSelection) {
    ScanWith({"Sim-32:3"});
    ctl_.SetMux(0, 1, 1, 4); // start from group 1, slot 1, path 0
    const auto& p = GetParam();
    EXPECT_EQ(ctl_.WriteI2C(0, p.Address, p.Text), TI2CResult::irOK);
    EXPECT_EQ(ctl_.GroupMux, p.Group);
    EXPECT_EQ(ctl_.SlotMux, p.Slot);
    EXPECT_EQ(ctl_.PathMux, p.Path);
    EXPECT_EQ(ctl_.CurrentChannel, p.Channel);
}

INSTANTIATE_TEST_SUITE_P(Writes, VirtualControlMuxWrite,
                         testing::Values(MuxWriteCase{"GroupMaskBit3", 0x72, "08", 3, 1, 0, 25},
                                         MuxWriteCase{"GroupMaskBit0", 0x72, "01", 0, 1, 0, 1},
                                         MuxWriteCase{"GroupMaskLowestBitWins", 0x72, "0C", 2, 1, 0, 17},
                                         MuxWriteCase{"GroupMaskNone", 0x72, "00", -1, 1, 0, -1},
                                         MuxWriteCase{"GroupMaskNoSuchGroup", 0x72, "80", 7, 1, 0, -1},
                                         MuxWriteCase{"SlotControlByte", 0x71, "0E", 1, 6, 0, 14},
                                         MuxWriteCase{"SlotBelowControlBase", 0x71, "02", 1, -6, 0, -1},
                                         MuxWriteCase{"PathControlByte", 0x70, "05", 1, 1, 1, 9},
                                         MuxWriteCase{"FirstByteCarriesTheValue", 0x71, "0AFF", 1, 2, 0, 10},
                                         MuxWriteCase{"EmptyWriteCountsAsZero", 0x72, "", -1, 1, 0, -1}),
                         [](const auto& info) { return info.param.Name; });

TEST_F(VirtualControl, ModelChannelPathReachesTheChannel) {
    // The model's way: group mask to 0x72, then SetMux with group, slot and 4 + path.
    ScanWith({"Sim-32:3"});
    EXPECT_EQ(ctl_.WriteI2C(0, 0x72, "04"), TI2CResult::irOK);
    EXPECT_EQ(ctl_.SetMux(0, 2, 6, 4), TI2CResult::irOK);
    EXPECT_EQ(ctl_.WriteI2C(0, 0x2B, "02DF"), TI2CResult::irOK);
    EXPECT_EQ(Output1(22, 0x2B), 0xDF);
    EXPECT_TRUE(errors_.empty());
}

TEST_F(VirtualControl, NoSelectedChannelRefusesChannelAccessesOnly) {
    ScanWith({"Sim-8:3"});
    ctl_.SetMux(0, 1, 0, 4); // no group 1
    EXPECT_EQ(ctl_.CurrentChannel, -1);
    EXPECT_EQ(ctl_.CurrentGroup, -1);
    EXPECT_EQ(ctl_.WriteI2C(0, 0x20, "0200"), TI2CResult::irInvalidDevice);
    EXPECT_EQ(errors_, std::vector<std::string>{"[I2C] invalid channel: -1"});
    Bytes buf(2);
    EXPECT_EQ(ctl_.ReadI2C(0, 0x1B, 1, buf), TI2CResult::irInvalidDevice);
    TI2CBuffer data{}, answer{};
    EXPECT_EQ(ctl_.WriteSeq(0, 'E', data, 0, answer), TI2CResult::irInvalidDevice);
    EXPECT_EQ(errors_.size(), 3u);
    EXPECT_TRUE(loop_.Sleeps().empty());
    errors_.clear();
    for (uint8_t a : {0x50, 0x70, 0x71})
        EXPECT_EQ(ctl_.WriteI2C(0, a, "0000"), TI2CResult::irOK) << int(a);
    EXPECT_EQ(ctl_.ReadI2C(0, 0x50, 2, buf), TI2CResult::irOK);
    EXPECT_EQ(ctl_.WriteI2C(0, 0x72, "01"), TI2CResult::irOK); // selects again
    EXPECT_TRUE(errors_.empty());
    EXPECT_EQ(ctl_.CurrentChannel, -1); // slot -8 from the 0x71 write
    EXPECT_EQ(ctl_.WriteI2C(0, 0x71, "08"), TI2CResult::irOK);
    EXPECT_EQ(ctl_.CurrentChannel, 0);
}

TEST_F(VirtualControl, SelectionIsGlobalAcrossDevices) {
    ScanWith({"A-8:3", "B-8:3"});
    ASSERT_EQ(ctl_.SetMux(1, 0, 4, 4), TI2CResult::irOK);
    EXPECT_EQ(ctl_.CurrentChannel, 12); // device 1, slot 4
    // An access naming device 0 still reaches the selected channel of device 1 ...
    EXPECT_EQ(ctl_.WriteI2C(0, 0x20, "0277"), TI2CResult::irOK);
    EXPECT_EQ(Output1(12), 0x77);
    EXPECT_EQ(Output1(4), 0);
    // ... but the master flash is the named device's.
    ctl_.WriteI2C(0, 0x50, "000001");
    EXPECT_EQ(ctl_.GetVirtualMaster(0)->Flash()[0], 1);
    EXPECT_EQ(ctl_.GetVirtualMaster(1)->Flash()[0], 0);
    // A selection store looks up the channel on the device the write names.
    ctl_.WriteI2C(0, 0x71, "0C");
    EXPECT_EQ(ctl_.CurrentChannel, 4);
}

TEST_F(VirtualControl, RescanKeepsMultiplexersAndResetsChipsAndChannel) {
    ScanWith({"Sim-16:3"});
    ctl_.SetMux(0, 1, 3, 6);
    ctl_.WriteI2C(0, 0x20, "0242");
    EXPECT_EQ(Output1(11), 0x42);
    ctl_.GetVirtualMaster(0)->FanSpeed = 3;
    ctl_.Scan();
    EXPECT_EQ(ctl_.GroupMux, 1);
    EXPECT_EQ(ctl_.SlotMux, 3);
    EXPECT_EQ(ctl_.PathMux, 2);
    EXPECT_EQ(ctl_.CurrentChannel, 0);
    EXPECT_EQ(ctl_.CurrentGroup, 1);
    EXPECT_EQ(Output1(11), 0);
    EXPECT_EQ(ctl_.GetVirtualMaster(0)->FanSpeed, 0);
    ctl_.WriteI2C(0, 0x20, "0243");
    EXPECT_EQ(Output1(0), 0x43);
}

TEST_F(VirtualControl, CloseAllFreesEverything) {
    ScanWith({"Sim-16:3"});
    EXPECT_TRUE(ctl_.CloseAll());
    EXPECT_EQ(ctl_.MasterCount(), 0);
    EXPECT_TRUE(ctl_.Channels.empty());
    EXPECT_TRUE(ctl_.Groups.empty());
    EXPECT_TRUE(ctl_.VirtualMasters.empty());
    EXPECT_EQ(ctl_.WriteI2C(0, 0x20, "02"), TI2CResult::irInvalidDevice);
}

TEST_F(VirtualControl, MultiplexerReadsReturnTheirControlBytes) {
    ScanWith({"Sim-32:3"});
    ctl_.SetMux(0, 2, 5, 5);
    EXPECT_EQ(Read(0, 0x70, 1), Bytes{5});
    EXPECT_EQ(Read(0, 0x71, 1), Bytes{13});
    EXPECT_EQ(Read(0, 0x72, 2), (Bytes{0x04, 0x00}));
    ctl_.WriteI2C(0, 0x72, "00");
    EXPECT_EQ(Read(0, 0x72, 1), Bytes{0});
    ctl_.SetMux(0, 200, 0, 4); // a group no mask can carry
    EXPECT_EQ(Read(0, 0x72, 1), Bytes{0});
}

// --- pauses and log texts ---

TEST_F(VirtualControl, EverySuccessfulAccessPausesOneMillisecond) {
    ScanWith({"Sim-8:3"});
    Bytes buf(2);
    ctl_.WriteI2C(0, 0x20, "0200");
    EXPECT_EQ(loop_.Sleeps(), std::vector<uint32_t>{1});
    ctl_.WriteI2CBlock(0, 0x72, Bytes{1, 0});
    ctl_.ReadI2C(0, 0x50, 2, buf);
    EXPECT_EQ(loop_.Sleeps(), (std::vector<uint32_t>{1, 1, 1}));
    loop_.ClearSleeps();
    ctl_.WriteReadI2C(0, 0x20, "02", 2, buf);
    EXPECT_EQ(loop_.Sleeps(), (std::vector<uint32_t>{1, 1, 1}));
    loop_.ClearSleeps();
    std::string list;
    ctl_.ScanI2C(0, list);
    ctl_.SetSCL(0, 100000);
    EXPECT_EQ(loop_.Sleeps(), (std::vector<uint32_t>{1, 1}));
    loop_.ClearSleeps();
    ctl_.SetMux(0, 0, 0, 4);
    ctl_.SetFan(0, 1);
    std::vector<std::string> mux;
    ctl_.ScanI2CMux(0, mux);
    ctl_.SetSCL(0, 5);
    EXPECT_TRUE(loop_.Sleeps().empty());
}

TEST_F(VirtualControl, TransmittedCommandsAtLevelFiveReceivedValuesAtThree) {
    ScanWith({"Sim-8:1"});
    ctl_.I2CLogLevel = 5;
    ctl_.WriteI2C(0, 0x2B, "0200");
    ctl_.WriteI2CBlock(0, 0x72, Bytes{1, 0});
    Bytes buf(2);
    ctl_.ReadI2C(0, 0x20, 2, buf);
    ctl_.SetMux(0, 0, 0, 4);
    ctl_.SetSCL(0, 100000);
    std::string list;
    ctl_.ScanI2C(0, list);
    std::vector<std::string> mux;
    ctl_.ScanI2CMux(0, mux);
    EXPECT_EQ(i2cLogs_,
              (std::vector<std::string>{
                  "[I2C] transmitted WRITEI2C to SlvAdr 43 [$2B] ...",
                  "[I2C] transmitted WRITEI2CBlock to SlvAdr 114 [$72] ...",
                  "[I2C] transmitted SETMUX ...",
                  "[I2C] transmitted SETSCLHL ...",
                  "[I2C] received new SCL: 100000 Hz",
                  "[I2C] transmitted SCANI2C ...",
                  "[I2C] received I2CScan results: 24,32,33,34,37,42,36,43,44,35,84,81,86,87,88,112,113,114",
                  "[I2C] transmitted ScanI2CMux ...",
              }));
    i2cLogs_.clear();
    ctl_.I2CLogLevel = 3;
    ctl_.WriteI2C(0, 0x2B, "0200");
    ctl_.SetSCL(0, 200000);
    EXPECT_EQ(i2cLogs_, std::vector<std::string>{"[I2C] received new SCL: 200000 Hz"});
}

// --- scripted peer ---

TEST_F(VirtualControl, ScriptedPeerAnswersChosenAddressesAndRecordsWrites) {
    ScanWith({"A-8:3", "B-16:3"});
    TScriptedI2CPeer peer(ctl_);
    TScriptedChip bridge;
    peer.Attach(0x18, bridge, 1, 1, 2); // device 1, group 1, slot 2
    bridge.QueueRead({0x18, 0x00});

    ctl_.SetMux(1, 1, 2, 4);
    EXPECT_EQ(ctl_.WriteI2C(1, 0x18, "F0"), TI2CResult::irOK);
    EXPECT_EQ(bridge.Writes(), std::vector<Bytes>{Bytes{0xF0}});
    EXPECT_EQ(Read(1, 0x18, 2), (Bytes{0x18, 0x00}));
    EXPECT_EQ(Read(1, 0x18, 2), (Bytes{0x00, 0x00})); // script used up: zeros
    EXPECT_EQ(bridge.ReadCount(), 2u);

    // Another slot has no bridge; the simulated chips still answer their addresses.
    ctl_.SetMux(1, 1, 3, 4);
    EXPECT_EQ(ctl_.WriteI2C(1, 0x18, "E1"), TI2CResult::irOK);
    EXPECT_EQ(bridge.Writes().size(), 1u);
    EXPECT_EQ(ctl_.WriteI2C(1, 0x20, "0211"), TI2CResult::irOK);
    EXPECT_EQ(Output1(8 + 11), 0x11);

    // Every applied write is recorded with the selection it went to.
    ctl_.WriteI2C(1, 0x72, "01");
    ASSERT_EQ(peer.Writes().size(), 4u);
    EXPECT_EQ(peer.Writes()[0].Access.Address, 0x18);
    EXPECT_EQ(peer.Writes()[0].Access.ChannelDevice, 1);
    EXPECT_EQ(peer.Writes()[0].Access.Group, 1);
    EXPECT_EQ(peer.Writes()[0].Access.Slot, 2);
    EXPECT_EQ(peer.Writes()[1].Bytes, Bytes{0xE1});
    EXPECT_EQ(peer.Writes()[1].Access.Slot, 3);
    EXPECT_EQ(peer.WritesTo(0x72), std::vector<Bytes>{Bytes{0x01}});
    // A refused write is not recorded.
    ctl_.WriteI2C(1, 0x71, "00");
    peer.ClearWrites();
    EXPECT_EQ(ctl_.WriteI2C(1, 0x18, "F0"), TI2CResult::irInvalidDevice);
    EXPECT_TRUE(peer.Writes().empty());
}

TEST_F(VirtualControl, UnexpectedScanFailureCarriesThePrefix) {
    ctl_.ScanTargets.Add("Sim-8:3");
    ctl_.OnLog = [](const void*, const std::string&) { throw std::runtime_error("boom"); };
    try {
        ctl_.Scan();
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Error on adding virtual device:\r\nboom");
    }
}
