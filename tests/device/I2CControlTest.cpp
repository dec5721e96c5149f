#include "device/I2CControl.h"
#include "tests/support/VirtualMainLoop.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

using namespace qrb::device;
using qrb::test::TInstalledVirtualMainLoop;

namespace {

// A transport whose Scan finds one device per scan target and whose operations report a bad
// index the way the wire transports do.
class TTestControl : public TI2CControl {
public:
    using TI2CControl::CheckIndex;

    int KeepAliveTicks = 0;
    const void* LastTickSender = nullptr;
    int LoseOnTick = -1; // the tick (1-based) on which device 0 stops answering

    bool Scan() override {
        SetKeepAlive(false);
        CloseAll();
        AdvanceGeneration();
        for (const std::string& t : ScanTargets)
            AddMaster(std::make_unique<TI2CMaster>(t, MasterCount()));
        if (MasterCount() > 0) SetKeepAlive(true);
        return true;
    }
    bool CloseAll() override {
        AdvanceGeneration();
        ClearMasters();
        return true;
    }
    TI2CResult GetSCL(int32_t index, int32_t& hz) override {
        if (!CheckIndex(index, TBadIndexReport::brI2CLog)) return TI2CResult::irInvalidDevice;
        hz = 100000;
        return TI2CResult::irOK;
    }
    TI2CResult SetSCL(int32_t index, int32_t) override {
        return CheckIndex(index, TBadIndexReport::brI2CLogPadded) ? TI2CResult::irOK
                                                                  : TI2CResult::irInvalidDevice;
    }
    TI2CResult ScanI2C(int32_t index, std::string&) override {
        return Result(index, TBadIndexReport::brI2CLogPadded);
    }
    TI2CResult WriteI2C(int32_t index, uint8_t, std::string_view) override {
        return Result(index, TBadIndexReport::brI2CLog);
    }
    TI2CResult WriteI2CBlock(int32_t index, uint8_t, std::span<const uint8_t>) override {
        return Result(index);
    }
    TI2CResult ReadI2C(int32_t index, uint8_t, uint16_t, std::span<uint8_t>) override {
        return Result(index);
    }
    TI2CResult WriteReadI2C(int32_t index, uint8_t, std::string_view, uint16_t, std::span<uint8_t>) override {
        return Result(index);
    }
    TI2CResult ScanI2CMux(int32_t index, std::vector<std::string>&) override { return Result(index); }
    TI2CResult WriteSeq(int32_t index, uint8_t, const TI2CBuffer&, uint8_t, TI2CBuffer&) override {
        return Result(index);
    }
    TI2CResult WriteChannel(int32_t index, uint8_t, uint8_t, const TRegisterImage&, TI2CBuffer&) override {
        return Result(index);
    }
    TI2CResult SaveAllConfig(int32_t index, uint8_t) override { return Result(index); }
    TI2CResult GetDeviceInfo(int32_t index, TDeviceInfo&) override { return Result(index); }
    TI2CResult GetChannelInfo(int32_t index, TChannelInfoBlock&) override { return Result(index); }
    TI2CResult SetChannelInfo(int32_t index, int32_t, const TChannelInfo&) override { return Result(index); }
    TI2CResult GetDCDCInfo(int32_t index, TDCDCInfo&) override { return Result(index); }
    TI2CResult SetDCDCInfo(int32_t index, const TDCDCInfo&) override { return Result(index); }
    TI2CResult SetDCDCClock(int32_t index, uint8_t, uint8_t, uint8_t, uint8_t, uint8_t) override {
        return Result(index);
    }
    TI2CResult GetChannelCalibTable(int32_t index, uint8_t, TChannelCalibTable&) override {
        return Result(index);
    }
    TI2CResult GetMasterflash(int32_t index, TMasterFlash&) override { return Result(index); }
    TI2CResult SetMasterflash(int32_t index, const TMasterFlash&) override { return Result(index); }
    TI2CResult GetDeviceADC8(int32_t index, TDeviceADC8&, bool&) override { return Result(index); }
    TI2CResult SetMux(int32_t index, uint8_t, uint8_t, uint8_t) override { return Result(index); }
    TI2CResult SetFan(int32_t index, uint8_t) override { return Result(index); }
    TI2CResult SetIRQ(int32_t index, uint8_t) override { return Result(index); }
    void GetDeviceName(int32_t index, std::string& text) override { Text(index, text, "name"); }
    void GetVendor(int32_t index, std::string& text) override { Text(index, text, "QRB GmbH"); }
    void GetModel(int32_t index, std::string& text) override { Text(index, text, "QRB-730"); }
    void GetVersion(int32_t index, std::string& text) override { Text(index, text, "1.0"); }
    uint16_t IsDeviceValid(int32_t index) override { return CheckIndex(index) ? 1 : 0; }
    bool GetDeviceLockState(int32_t index) override { return CheckIndex(index); }
    TI2CResult SetDeviceLockState(int32_t index, bool) override {
        return Result(index, TBadIndexReport::brSilent);
    }
    void GetFWVersion(int32_t index, TFWVersion& version, std::string& text) override {
        if (!CheckIndex(index, version, text)) return;
        version.Components = {1, 2, 3, 4};
        text = "FW: 1.2.3.4";
    }
    void KeepAliveTimer(const void* sender) override {
        ++KeepAliveTicks;
        LastTickSender = sender;
        if (KeepAliveTicks == LoseOnTick) {
            SetKeepAlive(false);
            DeviceLost(Masters[0].Name);
        }
    }

private:
    TI2CResult Result(int32_t index, TBadIndexReport report = TBadIndexReport::brError) {
        return CheckIndex(index, report) ? TI2CResult::irOK : TI2CResult::irInvalidDevice;
    }
    void Text(int32_t index, std::string& text, const char* value) {
        if (CheckIndex(index, text)) text = value;
    }
};

// Records every event of a transport.
struct TEventLog {
    struct TText {
        const void* Sender;
        std::string Text;
        bool operator==(const TText&) const = default;
    };
    std::vector<TText> Logs, I2CLogs, Errors, Lost;
    struct TIRQ {
        const void* Sender;
        int32_t Index;
        TIRQMessage Data;
    };
    std::vector<TIRQ> IRQs;

    void Hook(TI2CControl& c) {
        c.OnLog = [this](const void* s, const std::string& t) { Logs.push_back({s, t}); };
        c.OnI2CLog = [this](const void* s, const std::string& t) { I2CLogs.push_back({s, t}); };
        c.OnError = [this](const void* s, const std::string& t) { Errors.push_back({s, t}); };
        c.OnDeviceLost = [this](const void* s, const std::string& t) { Lost.push_back({s, t}); };
        c.OnIRQ = [this](const void* s, int32_t i, const TIRQMessage* d) { IRQs.push_back({s, i, *d}); };
    }
    void Clear() { *this = TEventLog{}; }
};

class I2CControlTest : public ::testing::Test {
protected:
    TInstalledVirtualMainLoop loop;
    TTestControl control;
    TEventLog events;

    void SetUp() override { events.Hook(control); }
    void ScanTwoDevices() {
        control.ScanTargets.Add("10.0.0.1:5000");
        control.ScanTargets.Add("10.0.0.2:5000");
        control.Scan();
    }
};

TIRQMessage Message(uint16_t irqWord) {
    TIRQMessage m;
    m.Magic = TIRQMessage::MagicValue;
    m.IRQWord = irqWord;
    m.ChannelStatus = {1, 2, 3, 4, 5, 6, 7, 8};
    return m;
}

} // namespace

TEST_F(I2CControlTest, StartsWithLevelsZeroNoMastersAndKeepAliveOff) {
    EXPECT_EQ(control.LogLevel, 0);
    EXPECT_EQ(control.I2CLogLevel, 0);
    EXPECT_EQ(control.MasterCount(), 0);
    EXPECT_FALSE(control.KeepAlive());
    EXPECT_EQ(loop.TimerCount(), 0u);
}

TEST_F(I2CControlTest, LogLevelsFilterLogAndI2CLogButNotError) {
    control.LogLevel = 2;
    control.I2CLogLevel = 3;
    for (int level = 0; level <= 5; ++level) {
        control.Log(level, "log " + std::to_string(level));
        control.I2CLog(level, "i2c " + std::to_string(level));
    }
    control.Error("bad");
    std::vector<TEventLog::TText> logs = {{nullptr, "log 0"}, {nullptr, "log 1"}, {nullptr, "log 2"}};
    std::vector<TEventLog::TText> i2c = {{nullptr, "[I2C] i2c 0"},
                                         {nullptr, "[I2C] i2c 1"},
                                         {nullptr, "[I2C] i2c 2"},
                                         {nullptr, "[I2C] i2c 3"}};
    EXPECT_EQ(events.Logs, logs);
    EXPECT_EQ(events.I2CLogs, i2c);
    EXPECT_EQ(events.Errors, (std::vector<TEventLog::TText>{{nullptr, "[I2C] bad"}}));

    // Negative levels pass; level 0 with LogLevel 0 always fires.
    events.Clear();
    control.LogLevel = 0;
    control.Log(0, "zero");
    control.Log(1, "one");
    control.Log(-1, "minus");
    EXPECT_EQ(events.Logs, (std::vector<TEventLog::TText>{{nullptr, "zero"}, {nullptr, "minus"}}));
}

TEST_F(I2CControlTest, PrefixOnlyOnI2CLogAndErrorAndOnlyOnce) {
    control.I2CLog(0, "[I2C] x");
    control.Error("y");
    control.Log(0, "z");
    control.DeviceLost("192.168.0.7");
    EXPECT_EQ(events.I2CLogs[0].Text, "[I2C] [I2C] x"); // the caller's text is not inspected
    EXPECT_EQ(events.Errors[0].Text, "[I2C] y");
    EXPECT_EQ(events.Logs[0].Text, "z");
    EXPECT_EQ(events.Lost, (std::vector<TEventLog::TText>{{nullptr, "192.168.0.7"}}));
}

TEST_F(I2CControlTest, UnassignedEventsAreSkipped) {
    TTestControl bare;
    bare.Log(0, "a");
    bare.I2CLog(0, "b");
    bare.Error("c");
    bare.DeviceLost("d");
    TIRQMessage m;
    bare.DoIRQ(0, &m);
    EXPECT_EQ(bare.IsDeviceValid(0), 0); // reports through an unassigned OnError
}

TEST_F(I2CControlTest, AddMasterReturnsPositionsAndClearEmpties) {
    EXPECT_EQ(control.AddMaster(std::make_unique<TI2CMaster>("VD 00-08", 0)), 0);
    EXPECT_EQ(control.AddMaster(std::make_unique<TI2CMaster>("VD 01-08", 1)), 1);
    EXPECT_EQ(control.AddMaster(std::make_unique<TI2CMaster>("VD 00-08", 2)), 2); // unsorted, no dedup
    ASSERT_EQ(control.MasterCount(), 3);
    EXPECT_EQ(control.Masters[1].Name, "VD 01-08");
    EXPECT_EQ(control.Masters[2].Master->Index, 2);
    control.ClearMasters();
    EXPECT_EQ(control.MasterCount(), 0);
}

TEST(SortedStringList, SortsIgnoringCaseAndDropsDuplicates) {
    TSortedStringList list;
    EXPECT_EQ(list.Add("VD-8:3"), 0u);
    EXPECT_EQ(list.Add("127.0.0.1:5000"), 0u);
    EXPECT_EQ(list.Add("USB Device 2"), 1u);
    EXPECT_EQ(list.Add("USB Device 10"), 1u); // text order, not numeric
    EXPECT_EQ(list.Add("usb device 2"), 2u);  // duplicate regardless of case: position of the listed one
    EXPECT_EQ(list.Add("127.0.0.1:5000"), 0u);
    EXPECT_EQ(list.Strings(),
              (std::vector<std::string>{"127.0.0.1:5000", "USB Device 10", "USB Device 2", "VD-8:3"}));
    EXPECT_EQ(list.IndexOf("vd-8:3"), 3);
    EXPECT_EQ(list.IndexOf("VD-8:4"), -1);
    list.Delete(0);
    list.Delete(99);
    EXPECT_EQ(list.Count(), 3u);
    list.Clear();
    EXPECT_TRUE(list.Empty());
}

TEST(SortedStringList, CompareFoldsAsciiLettersOnly) {
    // Letters fold to upper case, so '_' (0x5F) sorts after every letter.
    EXPECT_LT(CompareText("AZ", "a_"), 0);
    EXPECT_EQ(CompareText("abc", "ABC"), 0);
    EXPECT_LT(CompareText("ab", "abc"), 0);
    EXPECT_GT(CompareText("b", "ABC"), 0);
    EXPECT_NE(CompareText("\xE4", "\xC4"), 0); // bytes outside ASCII compare by value
    EXPECT_LT(CompareText("\x7F", "\x80"), 0); // unsigned
}

TEST_F(I2CControlTest, ScanTargetsAreSortedWithoutDuplicates) {
    control.ScanTargets.Add("VD-B-8:3");
    control.ScanTargets.Add("VD-A-8:3");
    control.ScanTargets.Add("vd-a-8:3");
    EXPECT_EQ(control.ScanTargets.Strings(), (std::vector<std::string>{"VD-A-8:3", "VD-B-8:3"}));
    EXPECT_TRUE(control.ScanTargets2.Empty());
    control.Scan();
    ASSERT_EQ(control.MasterCount(), 2);
    EXPECT_EQ(control.Masters[0].Name, "VD-A-8:3"); // searched in sorted order
}

TEST_F(I2CControlTest, KeepAliveTicksEvery2000msOnTheMainLoop) {
    control.SetKeepAlive(true);
    EXPECT_TRUE(control.KeepAlive());
    loop.Advance(1000);
    control.SetKeepAlive(true); // already on: the interval is not restarted
    loop.Advance(999);
    EXPECT_EQ(control.KeepAliveTicks, 0);
    loop.Advance(1);
    EXPECT_EQ(control.KeepAliveTicks, 1);
    EXPECT_EQ(control.LastTickSender, &control);
    loop.Advance(4000);
    EXPECT_EQ(control.KeepAliveTicks, 3);
    control.SetKeepAlive(false);
    EXPECT_FALSE(control.KeepAlive());
    loop.Advance(10000);
    EXPECT_EQ(control.KeepAliveTicks, 3);
    EXPECT_EQ(loop.TimerCount(), 0u);
}

TEST_F(I2CControlTest, KeepAliveLossSwitchesOffOnceFromTheTick) {
    ScanTwoDevices();
    ASSERT_TRUE(control.KeepAlive());
    control.LoseOnTick = 2;
    loop.Advance(20000);
    EXPECT_EQ(control.KeepAliveTicks, 2);
    EXPECT_FALSE(control.KeepAlive());
    EXPECT_EQ(events.Lost, (std::vector<TEventLog::TText>{{nullptr, "10.0.0.1:5000"}}));
    EXPECT_EQ(control.MasterCount(), 2); // the masters stay until the next scan
}

TEST_F(I2CControlTest, DestroyingATransportStopsItsTimer) {
    {
        TTestControl other;
        other.SetKeepAlive(true);
        EXPECT_EQ(loop.TimerCount(), 1u);
    }
    EXPECT_EQ(loop.TimerCount(), 0u);
    loop.Advance(5000); // nothing left to tick into a destroyed object
}

namespace {
struct TBadIndexCase {
    const char* Operation;
    std::function<int32_t(TTestControl&, int32_t)> Call; // the numeric result
    int32_t Result;
    bool ViaError; // else through I2CLog at level 0 (or silent when Text is empty)
    bool Padded;   // index written with at least two digits
    bool Silent;
};

std::vector<TBadIndexCase> BadIndexCases() {
    auto r = [](TI2CResult x) { return ToInt(x); };
    TI2CBuffer buf{};
    uint8_t bytes[4] = {};
    return {
        {"GetSCL",
         [r](TTestControl& c, int32_t i) {
             int32_t hz = 0;
             return r(c.GetSCL(i, hz));
         },
         10, false, false, false},
        {"SetSCL", [r](TTestControl& c, int32_t i) { return r(c.SetSCL(i, 1000)); }, 10, false, true, false},
        {"ScanI2C",
         [r](TTestControl& c, int32_t i) {
             std::string s;
             return r(c.ScanI2C(i, s));
         },
         10, false, true, false},
        {"WriteI2C", [r](TTestControl& c, int32_t i) { return r(c.WriteI2C(i, 0x20, "0102")); }, 10, false,
         false, false},
        {"ReadI2C",
         [r, bytes](TTestControl& c, int32_t i) mutable { return r(c.ReadI2C(i, 0x20, 4, bytes)); }, 10, true,
         false, false},
        {"WriteChannel",
         [r, buf](TTestControl& c, int32_t i) mutable {
             return r(c.WriteChannel(i, 0, 124, TRegisterImage{}, buf));
         },
         10, true, false, false},
        {"GetDeviceInfo",
         [r](TTestControl& c, int32_t i) {
             TDeviceInfo d;
             return r(c.GetDeviceInfo(i, d));
         },
         10, true, false, false},
        {"SetFan", [r](TTestControl& c, int32_t i) { return r(c.SetFan(i, 1)); }, 10, true, false, false},
        {"IsDeviceValid", [](TTestControl& c, int32_t i) { return int32_t{c.IsDeviceValid(i)}; }, 0, true,
         false, false},
        {"GetDeviceLockState", [](TTestControl& c, int32_t i) { return int32_t{c.GetDeviceLockState(i)}; }, 0,
         true, false, false},
        {"SetDeviceLockState", [r](TTestControl& c, int32_t i) { return r(c.SetDeviceLockState(i, true)); },
         10, false, false, true},
    };
}
} // namespace

TEST_F(I2CControlTest, BadIndexResultsAndTexts) {
    ScanTwoDevices();
    for (const TBadIndexCase& c : BadIndexCases()) {
        for (int32_t index : {int32_t{-1}, int32_t{2}, int32_t{7}}) {
            SCOPED_TRACE(std::string(c.Operation) + " index " + std::to_string(index));
            events.Clear();
            EXPECT_EQ(c.Call(control, index), c.Result);
            char padded[16];
            std::snprintf(padded, sizeof padded, "%2.2d", index);
            std::string text =
                "[I2C] invalid device: " + (c.Padded ? std::string(padded) : std::to_string(index));
            std::vector<TEventLog::TText> expected = {{nullptr, text}};
            if (c.Silent) {
                EXPECT_TRUE(events.Errors.empty());
                EXPECT_TRUE(events.I2CLogs.empty());
            } else if (c.ViaError) {
                EXPECT_EQ(events.Errors, expected);
                EXPECT_TRUE(events.I2CLogs.empty());
            } else {
                EXPECT_EQ(events.I2CLogs, expected);
                EXPECT_TRUE(events.Errors.empty());
            }
        }
        events.Clear();
        EXPECT_NE(c.Call(control, 1), c.Result) << c.Operation; // last valid index
        EXPECT_TRUE(events.Errors.empty() && events.I2CLogs.empty()) << c.Operation;
    }
}

TEST_F(I2CControlTest, BadIndexPaddingKeepsTwoDigits) {
    ScanTwoDevices();
    std::string list;
    control.ScanI2C(5, list);
    control.SetSCL(123, 1000);
    control.SetSCL(-3, 1000);
    ASSERT_EQ(events.I2CLogs.size(), 3u);
    EXPECT_EQ(events.I2CLogs[0].Text, "[I2C] invalid device: 05");
    EXPECT_EQ(events.I2CLogs[1].Text, "[I2C] invalid device: 123");
    EXPECT_EQ(events.I2CLogs[2].Text, "[I2C] invalid device: -03");
}

TEST_F(I2CControlTest, BadIndexOnTextOperationsAndFirmwareVersion) {
    ScanTwoDevices();
    using TTextOp = void (TTestControl::*)(int32_t, std::string&);
    for (TTextOp op : {&TTestControl::GetDeviceName, &TTestControl::GetVendor, &TTestControl::GetModel,
                       &TTestControl::GetVersion}) {
        std::string text = "before";
        (control.*op)(2, text);
        EXPECT_EQ(text, "<n/a>");
        (control.*op)(1, text);
        EXPECT_NE(text, "<n/a>");
    }
    EXPECT_EQ(events.Errors.size(), 4u);

    TFWVersion v;
    v.Components = {9, 9, 9, 9};
    std::string text;
    control.GetFWVersion(2, v, text);
    EXPECT_EQ(v.Components, (std::array<int32_t, 4>{0, 0, 0, 0}));
    EXPECT_EQ(text, "FW: <unknown>");
    EXPECT_EQ(events.Errors.back().Text, "[I2C] invalid device: 2");
    control.GetFWVersion(0, v, text);
    EXPECT_EQ(text, "FW: 1.2.3.4");
}

TEST_F(I2CControlTest, IRQFromAnotherThreadRunsOnTheMainLoopInArrivalOrder) {
    ScanTwoDevices();
    const uint64_t generation = control.ScanGeneration();
    std::thread reader([&] {
        control.PostIRQ(1, generation, Message(0xFEFF));
        control.PostIRQ(0, generation, Message(0xFBFF));
    });
    reader.join();
    EXPECT_TRUE(events.IRQs.empty()); // nothing runs on the reader thread
    loop.Step();
    ASSERT_EQ(events.IRQs.size(), 2u);
    EXPECT_EQ(events.IRQs[0].Sender, &control);
    EXPECT_EQ(events.IRQs[0].Index, 1);
    EXPECT_EQ(events.IRQs[0].Data, Message(0xFEFF)); // a copy, the poster's message is gone
    EXPECT_EQ(events.IRQs[1].Index, 0);
}

TEST_F(I2CControlTest, IRQFromBeforeTheLastScanOrCloseIsDropped) {
    ScanTwoDevices();
    uint64_t before = control.ScanGeneration();
    control.PostIRQ(0, before, Message(1));
    control.Scan(); // same devices again, but a new generation
    control.PostIRQ(0, before, Message(2));
    control.PostIRQ(1, control.ScanGeneration(), Message(3));
    uint64_t current = control.ScanGeneration();
    control.PostIRQ(0, current, Message(4));
    control.CloseAll();
    loop.Step();
    EXPECT_TRUE(events.IRQs.empty());

    control.Scan();
    control.PostIRQ(5, control.ScanGeneration(), Message(5)); // no such device
    control.PostIRQ(-1, control.ScanGeneration(), Message(6));
    control.PostIRQ(1, control.ScanGeneration(), Message(7));
    loop.Step();
    ASSERT_EQ(events.IRQs.size(), 1u);
    EXPECT_EQ(events.IRQs[0].Data.IRQWord, 7);
}

TEST_F(I2CControlTest, WaitingIRQsAreMergedPerDeviceAndCodeAndStayBounded) {
    ScanTwoDevices();
    const uint64_t generation = control.ScanGeneration();
    auto status = [](uint16_t word, uint8_t slot0) {
        TIRQMessage m = Message(word);
        m.ChannelStatus.fill(0xFF);
        m.ChannelStatus[0] = slot0; // active low
        return m;
    };
    std::thread reader([&] {
        control.PostIRQ(0, generation, status(0xFEFF, 0xFF)); // supply alarm
        control.PostIRQ(1, generation, status(0xFBFF, 0xFF)); // the other device's fan alarm
        control.PostIRQ(0, generation, status(0xFEFF, 0xEF)); // a condition that comes ...
        for (int i = 0; i < 10000; ++i)                       // ... and goes in a flood
            control.PostIRQ(0, generation, status(0xFEFF, 0xFF));
        for (uint16_t word = 0xFF00; word < 0xFF40; ++word) // interrupts of many codes
            control.PostIRQ(0, generation, status(word | 0x0500, 0xFF));
    });
    reader.join();
    EXPECT_EQ(control.WaitingIRQs(), 2u + TI2CControl::kMaxWaitingCodes);
    loop.Step();
    EXPECT_EQ(control.WaitingIRQs(), 0u);
    // The supply alarm first, with every condition it reported (the device's interrupts that
    // still wait bring the status now); the other device's alarm keeps its place.
    ASSERT_GE(events.IRQs.size(), 3u);
    EXPECT_EQ(events.IRQs[0].Index, 0);
    EXPECT_EQ(events.IRQs[0].Data.ChannelStatus[0], 0xEF);
    EXPECT_EQ(events.IRQs[1].Index, 1);
    EXPECT_EQ(events.IRQs[1].Data.IRQWord, 0xFBFF);
    EXPECT_EQ(events.IRQs.size(), 2u + TI2CControl::kMaxWaitingCodes);
    // The last interrupt entry carries the newest word and the status now.
    EXPECT_EQ(events.IRQs.back().Data.IRQWord, 0xFF3F | 0x0500);
    EXPECT_EQ(events.IRQs.back().Data.ChannelStatus[0], 0xFF);
}

TEST_F(I2CControlTest, IRQPostedForADestroyedTransportIsDropped) {
    auto other = std::make_unique<TTestControl>();
    other->AddMaster(std::make_unique<TI2CMaster>("x", 0));
    int fired = 0;
    other->OnIRQ = [&](const void*, int32_t, const TIRQMessage*) { ++fired; };
    other->PostIRQ(0, other->ScanGeneration(), Message(1));
    other.reset();
    EXPECT_EQ(loop.Step(), 1u);
    EXPECT_EQ(fired, 0);
}

namespace {
// Active low channel statuses of slot 0 (bits 0 and 1 stay set).
constexpr uint8_t kNone = 0xFF, kShortcut = 0xEF, kCharge = 0xDF, kHot = 0xBF, kFuse = 0x7F;
constexpr uint16_t kSupplyAlarm = 0xFEFF, kFanAlarm = 0xFBFF, kInterrupt = 0xFFFF, kOtherInterrupt = 0xFFFE;

struct TPost {
    int32_t Index;
    bool Stale; // from before the last scan or clear
    uint16_t Word;
    uint8_t Slot0;
};
struct TDelivered {
    int32_t Index;
    uint16_t Word;
    uint8_t Slot0;
    bool operator==(const TDelivered&) const = default;
};
void PrintTo(const TDelivered& d, std::ostream* os) {
    *os << "{" << d.Index << ", 0x" << std::hex << d.Word << ", 0x" << int{d.Slot0} << std::dec << "}";
}
struct TNewestCase {
    const char* Name;
    std::function<void(TTestControl&)> Renew; // the scan or clear between stale and current posts
    std::vector<TPost> Posts;
    std::vector<TDelivered> Delivered;
};

std::vector<TNewestCase> NewestStatusCases() {
    auto scan = [](TTestControl& c) { c.Scan(); };
    auto clear = [](TTestControl& c) {
        c.CloseAll();
        c.Scan();
    };
    return {
        {"alarm, interrupt, alarm",
         scan,
         {{0, false, kSupplyAlarm, kNone},
          {0, false, kInterrupt, kShortcut},
          {0, false, kSupplyAlarm, kCharge}},
         // The interrupt's shortcut has gone: the first one delivered takes it to the history, the
         // last brings the status now; each is delivered once, so nothing counts as repeated.
         {{0, kSupplyAlarm, kShortcut & kCharge}, {0, kInterrupt, kCharge}}},
        {"interrupt, alarm, interrupt",
         scan,
         {{0, false, kInterrupt, kShortcut},
          {0, false, kSupplyAlarm, kNone},
          {0, false, kInterrupt, kCharge}},
         {{0, kInterrupt, kShortcut & kCharge}, {0, kSupplyAlarm, kCharge}}},
        {"two devices interleaved",
         scan,
         {{0, false, kSupplyAlarm, kNone},
          {1, false, kFanAlarm, kNone},
          {0, false, kInterrupt, kShortcut},
          {1, false, kInterrupt, kHot},
          {0, false, kSupplyAlarm, kCharge},
          {1, false, kFanAlarm, kFuse}},
         {{0, kSupplyAlarm, kShortcut & kCharge},
          {1, kFanAlarm, kHot & kFuse},
          {0, kInterrupt, kCharge},
          {1, kInterrupt, kFuse}}},
        {"a condition that came and went in the device's only entry",
         scan,
         {{0, false, kSupplyAlarm, kNone},
          {0, false, kSupplyAlarm, kShortcut},
          {0, false, kSupplyAlarm, kNone}},
         // Nothing else of the device waits: the history first, then the status now.
         {{0, kSupplyAlarm, kShortcut}, {0, kSupplyAlarm, kNone}}},
        {"bits 0 and 1 report no condition",
         scan,
         {{0, false, kInterrupt, 0xFC}, {0, false, kOtherInterrupt, kNone}},
         {{0, kInterrupt, kNone}, {0, kOtherInterrupt, kNone}}},
        {"a late one from before the scan",
         scan,
         {{0, false, kSupplyAlarm, kShortcut},
          {0, true, kInterrupt, kCharge},
          {0, true, kSupplyAlarm, kHot},
          {1, false, kInterrupt, kNone}},
         {{0, kSupplyAlarm, kShortcut}, {1, kInterrupt, kNone}}},
        {"a late one from before the clear",
         clear,
         {{1, false, kInterrupt, kShortcut}, {1, true, kInterrupt, kCharge}, {1, true, kFanAlarm, kHot}},
         {{1, kInterrupt, kShortcut}}},
    };
}
} // namespace

TEST_F(I2CControlTest, EveryDeliveredNotificationCarriesItsDevicesNewestStatus) {
    for (const TNewestCase& c : NewestStatusCases()) {
        SCOPED_TRACE(c.Name);
        TTestControl transport;
        TEventLog log;
        log.Hook(transport);
        transport.ScanTargets.Add("10.0.0.1:5000");
        transport.ScanTargets.Add("10.0.0.2:5000");
        transport.Scan();
        const uint64_t stale = transport.ScanGeneration();
        c.Renew(transport);
        const uint64_t current = transport.ScanGeneration();
        std::thread reader([&] {
            for (const TPost& p : c.Posts) {
                TIRQMessage m = Message(p.Word);
                m.ChannelStatus.fill(kNone);
                m.ChannelStatus[0] = p.Slot0;
                transport.PostIRQ(p.Index, p.Stale ? stale : current, m);
            }
        });
        reader.join();
        loop.Step();
        std::vector<TDelivered> delivered;
        for (const TEventLog::TIRQ& irq : log.IRQs) {
            delivered.push_back({irq.Index, irq.Data.IRQWord, irq.Data.ChannelStatus[0]});
            for (size_t slot = 1; slot < kSlotCount; ++slot)
                EXPECT_EQ(irq.Data.ChannelStatus[slot], kNone);
        }
        EXPECT_EQ(delivered, c.Delivered);
    }
}
