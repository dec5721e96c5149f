#include "device/wire/CommandSet.h"

#include "device/Format.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <vector>

using namespace qrb::device;

namespace {

using Bytes = std::vector<uint8_t>;

// An exchange that records every request and answers from a script. An answer is given as
// the bytes from PayloadLength (offset 28) on; the head is a matching answer head unless the
// script overrides it.
class ScriptedExchange : public TWireExchange {
public:
    int Masters = 1;
    bool HasEntry = true;
    bool TransferFails = false;
    bool Throws = false;
    TWireDevice Device;
    std::vector<TCommandBlock> Requests;
    std::vector<std::string> I2CLines; // "<level>:<text>"
    std::vector<std::string> Errors;
    Bytes From28;                                           // PayloadLength and payload of the answer
    std::function<void(TCommandBlock&)> Tamper;             // changes the answer head
    std::function<void(const TCommandBlock&)> BeforeAnswer; // e.g. throws

    int MasterCount() const override { return Masters; }
    void I2CLog(int level, const std::string& text) override {
        I2CLines.push_back(std::to_string(level) + ":" + text);
    }
    void Error(const std::string& text) override { Errors.push_back(text); }
    TWireDevice* FindEntry(int) override { return HasEntry ? &Device : nullptr; }
    bool Exchange(TWireDevice& device, const TCommandBlock& request, TCommandBlock& answer) override {
        EXPECT_EQ(&device, &Device);
        Requests.push_back(request);
        if (Throws) throw std::runtime_error("socket gone");
        if (TransferFails) return false;
        // Magic, Direction (answer) and the request's sequence words, written out.
        static const uint8_t head[28] = {0x00, 0x05, 0x69, 0x87, 0, 0, 0,    0,    0,    0,
                                         0,    0,    0,    0,    0, 0, 0x02, 0x04, 0x02, 0x02};
        answer.Bytes.fill(0xCC); // stale bytes beyond the answer must not matter
        std::copy(std::begin(head), std::end(head), answer.Bytes.begin());
        std::copy(request.Bytes.begin() + 20, request.Bytes.begin() + 28, answer.Bytes.begin() + 20);
        std::copy(From28.begin(), From28.end(), answer.Bytes.begin() + 28);
        if (Tamper) Tamper(answer);
        return true;
    }
    // PayloadLength and the bytes that follow it in the last request.
    Bytes SentFrom28(size_t count) const {
        const auto& b = Requests.back().Bytes;
        return Bytes(b.begin() + 28, b.begin() + 28 + count);
    }
    uint32_t SentGroup() const { return Requests.back().Group(); }
    uint32_t SentCode() const { return Requests.back().Command(); }
};

// PayloadLength 4 and the status word.
Bytes Status4(int32_t s) {
    auto u = static_cast<uint32_t>(s);
    return {4, 0, 0, 0, uint8_t(u), uint8_t(u >> 8), uint8_t(u >> 16), uint8_t(u >> 24)};
}

class CommandSetTest : public ::testing::TestWithParam<TWireTraits> {
protected:
    ScriptedExchange ex;
    TWireCommandSet set{ex, GetParam()};
    bool IsUSB() const { return GetParam().Names == TNameColumn::USB; }
    TI2CResult Fail() const { return GetParam().Failure; }
};

INSTANTIATE_TEST_SUITE_P(Transports, CommandSetTest, ::testing::Values(kUSBWireTraits, kLANWireTraits),
                         [](const auto& info) {
                             return info.param.Names == TNameColumn::USB ? "USB" : "LAN";
                         });

} // namespace

// ---- the requests, byte for byte -------------------------------------------------------------

TEST_P(CommandSetTest, RequestsCarryTheirGroupCodeAndPayload) {
    std::array<uint8_t, 1024> seqData{};
    seqData[0] = 0xAB;
    seqData[1] = 0xCD;
    std::array<uint8_t, 1024> answer{};
    TRegisterImage image;
    for (size_t i = 0; i < kImageWords; ++i)
        image.Words[i] = static_cast<uint16_t>(0x0101 * (i + 1));
    const uint8_t block[3] = {0x11, 0x22, 0x33};
    std::array<uint8_t, 8> readBuf{};
    std::string text;
    int32_t hz = 0;
    TDeviceInfo info;
    TChannelInfoBlock channels;
    TDCDCInfo dcdc;
    TChannelCalibTable calib;
    TMasterFlash flash;
    TDeviceADC8 adc8;
    bool changed = false;
    std::vector<std::string> lines;
    TFWVersion fw;

    struct Case {
        const char* what;
        std::function<void()> call;
        uint32_t group, code;
        Bytes from28; // PayloadLength, then the payload start
    };
    const std::vector<Case> cases = {
        {"GetSCL", [&] { set.GetSCL(0, hz); }, 0x10000, 0x10009, {0, 0, 0, 0}},
        {"SetSCL", [&] { set.SetSCL(0, 400000); }, 0x10000, 0x10008, {4, 0, 0, 0, 0x80, 0x1A, 0x06, 0x00}},
        {"ScanI2C", [&] { set.ScanI2C(0, text); }, 0x10000, 0x10002, {0, 0, 0, 0}},
        {"WriteI2C 0700",
         [&] { set.WriteI2C(0, 0x20, "0700"); },
         0x10000,
         0x10003,
         {4, 0, 0, 0, 0x20, 0x02, 0x07, 0x00}},
        {"WriteI2C 070",
         [&] { set.WriteI2C(0, 0x20, "070"); },
         0x10000,
         0x10003,
         {3, 0, 0, 0, 0x20, 0x01, 0x07, 0}},
        {"WriteI2C aF",
         [&] { set.WriteI2C(0, 0x18, "aF"); },
         0x10000,
         0x10003,
         {3, 0, 0, 0, 0x18, 0x01, 0xAF}},
        {"WriteI2CBlock",
         [&] { set.WriteI2CBlock(0, 0x51, block); },
         0x10000,
         0x10003,
         {5, 0, 0, 0, 0x51, 0x03, 0x11, 0x22, 0x33, 0}},
        {"ReadI2C",
         [&] { set.ReadI2C(0, 0x68, 0x0102, readBuf); },
         0x10000,
         0x10004,
         {3, 0, 0, 0, 0x68, 0x02, 0x01, 0}},
        {"ScanI2CMux", [&] { set.ScanI2CMux(0, lines); }, 0x20000, 0x20005, {0, 0, 0, 0}},
        {"WriteSeq",
         [&] { set.WriteSeq(0, 7, seqData, 2, answer); },
         0x20000,
         0x20002,
         {3, 0, 0, 0, 0x07, 0xAB, 0xCD, 0}},
        {"WriteChannel",
         [&] { set.WriteChannel(0, 3, 0x42, image, answer); },
         0x30000,
         0x30011,
         {20,   0,    0,    0,    0x03, 0x42, 0x01, 0x01, 0x02, 0x02, 0x03, 0x03, 0x04,
          0x04, 0x05, 0x05, 0x06, 0x06, 0x07, 0x07, 0x08, 0x08, 0x09, 0x09, 0}},
        {"SaveAllConfig", [&] { set.SaveAllConfig(0, 1); }, 0x30000, 0x30006, {1, 0, 0, 0, 0x01, 0}},
        {"GetDeviceInfo", [&] { set.GetDeviceInfo(0, info); }, 0x30000, 0x30001, {0, 0, 0, 0}},
        {"GetChannelInfo", [&] { set.GetChannelInfo(0, channels); }, 0x30000, 0x30007, {0, 0, 0, 0}},
        {"GetDCDCInfo", [&] { set.GetDCDCInfo(0, dcdc); }, 0x30000, 0x30009, {0, 0, 0, 0}},
        {"SetDCDCClock",
         [&] { set.SetDCDCClock(0, 1, 2, 3, 4, 5); },
         0x20000,
         0x20008,
         {5, 0, 0, 0, 1, 2, 3, 4, 5, 0}},
        {"GetChannelCalibTable",
         [&] { set.GetChannelCalibTable(0, 6, calib); },
         0x30000,
         0x30015,
         {1, 0, 0, 0, 6, 0}},
        {"GetMasterflash", [&] { set.GetMasterflash(0, flash); }, 0x30000, 0x30002, {0, 0, 0, 0}},
        {"GetDeviceADC8", [&] { set.GetDeviceADC8(0, adc8, changed); }, 0x30000, 0x30017, {0, 0, 0, 0}},
        {"SetMux", [&] { set.SetMux(0, 1, 2, 6); }, 0x20000, 0x20001, {3, 0, 0, 0, 1, 2, 6, 0}},
        {"SetFan", [&] { set.SetFan(0, 4); }, 0x20000, 0x20006, {1, 0, 0, 0, 4, 0}},
        {"SetIRQ", [&] { set.SetIRQ(0, 2); }, 0x20000, 0x20003, {1, 0, 0, 0, 2, 0}},
        {"GetDeviceLockState", [&] { set.GetDeviceLockState(0); }, 0x30000, 0x30019, {0, 0, 0, 0}},
        {"SetDeviceLockState on",
         [&] { set.SetDeviceLockState(0, true); },
         0x30000,
         0x30020,
         {1, 0, 0, 0, 1}},
        {"SetDeviceLockState off",
         [&] { set.SetDeviceLockState(0, false); },
         0x30000,
         0x30020,
         {1, 0, 0, 0, 0}},
        {"GetFWVersion", [&] { set.GetFWVersion(0, fw, text); }, 0x10000, 0x10000, {0, 0, 0, 0}},
    };
    ex.From28 = Status4(0);
    for (const Case& c : cases) {
        size_t before = ex.Requests.size();
        c.call();
        ASSERT_EQ(ex.Requests.size(), before + 1) << c.what;
        EXPECT_EQ(ex.SentGroup(), c.group) << c.what;
        EXPECT_EQ(ex.SentCode(), c.code) << c.what;
        EXPECT_EQ(ex.SentFrom28(c.from28.size()), c.from28) << c.what;
        EXPECT_EQ(ex.Requests.back().Direction(), kDirectionRequest);
        EXPECT_EQ(ex.Requests.back().BlockSize(), 1432u);
    }
}

TEST_P(CommandSetTest, RecordPayloadsAreTheRecordBytes) {
    TChannelInfo info;
    info.Version = 3;
    info.Serial = 0x1234;
    info.FilterType = 9;
    TDCDCInfo dcdc;
    dcdc.Entries[7].Serial = 0xBEEF;
    TMasterFlash flash;
    flash.SetMagic();
    flash.DeviceSerial = 77;
    ex.From28 = Status4(0);

    set.SetChannelInfo(0, 0x105, info); // the channel goes out as its low byte
    Bytes expect = {125, 0, 0, 0, 0x05, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x34, 0x12};
    EXPECT_EQ(ex.SentFrom28(expect.size()), expect);
    EXPECT_EQ(ex.Requests.back().Bytes[32 + 1 + 120], 9); // FilterType at record offset 120
    EXPECT_EQ(ex.SentCode(), 0x30008u);

    set.SetDCDCInfo(0, dcdc);
    EXPECT_EQ(ex.SentFrom28(4), (Bytes{64, 0, 0, 0}));
    EXPECT_EQ(ex.Requests.back().Bytes[32 + 56 + 3], 0xEF); // entry 7, Serial at odd offset 3
    EXPECT_EQ(ex.Requests.back().Bytes[32 + 56 + 4], 0xBE);
    EXPECT_EQ(ex.SentCode(), 0x30010u);

    set.SetMasterflash(0, flash);
    Bytes head = {68, 0, 0, 0, 'Q', 'R', 'B', '2', '4'};
    EXPECT_EQ(ex.SentFrom28(head.size()), head);
    EXPECT_EQ(ex.SentCode(), 0x30003u);
}

// ---- the request counter ---------------------------------------------------------------------

TEST_P(CommandSetTest, CounterAdvancesForEveryRequestAlsoAfterFailures) {
    TDeviceInfo info;
    ex.From28 = {36, 0, 0, 0};
    set.GetDeviceInfo(0, info);
    EXPECT_EQ(ex.Requests.back().Sequence(), (TSequenceNumber{1, 0}));
    ex.TransferFails = true;
    EXPECT_EQ(set.GetDeviceInfo(0, info), Fail());
    ex.TransferFails = false;
    set.GetDeviceInfo(0, info);
    EXPECT_EQ(ex.Requests.back().Sequence(), (TSequenceNumber{3, 0}));

    ex.Device.Sequence = {0xFFFFFFFF, 0};
    set.GetDeviceInfo(0, info);
    EXPECT_EQ(ex.Requests.back().SeqHigh(), 1u);
    EXPECT_EQ(ex.Requests.back().SeqLow(), 0u);

    // Refused by argument before the exchange: no number is used.
    set.SetFan(0, 5);
    EXPECT_EQ(ex.Device.Sequence, (TSequenceNumber{0, 1}));
}

// ---- answers refused, transfers failed ---------------------------------------------------------

TEST_P(CommandSetTest, RefusedAnswersFailSilentlyWithTheTransportsCode) {
    struct Case {
        const char* what;
        std::function<void(TCommandBlock&)> tamper;
    };
    const Case cases[] = {
        {"earlier sequence", [](TCommandBlock& a) { a.SetWord(24, a.SeqLow() - 1); }},
        {"later sequence high", [](TCommandBlock& a) { a.SetWord(20, 1); }},
        {"request direction", [](TCommandBlock& a) { a.SetWord(16, kDirectionRequest); }},
        {"magic", [](TCommandBlock& a) { a.SetWord(0, 0x87690501); }},
    };
    TDeviceInfo info;
    ex.From28 = {36, 0, 0, 0};
    for (const Case& c : cases) {
        ex.Tamper = c.tamper;
        EXPECT_EQ(set.GetDeviceInfo(0, info), Fail()) << c.what;
    }
    EXPECT_TRUE(ex.I2CLines.empty());
    EXPECT_TRUE(ex.Errors.empty());
}

TEST_P(CommandSetTest, GroupCommandAndSizeOfTheAnswerAreNotExamined) {
    ex.From28 = Status4(1);
    ex.Tamper = [](TCommandBlock& a) {
        a.SetWord(4, 0xDEAD);
        a.SetWord(8, 0xBEEF);
        a.SetWord(12, 7);
    };
    EXPECT_EQ(set.SetFan(0, 2), TI2CResult::irOK);
}

TEST_P(CommandSetTest, NoDeviceEntryAndTransferFailure) {
    TDeviceInfo info;
    ex.HasEntry = false;
    EXPECT_EQ(set.GetDeviceInfo(0, info), GetParam().NoEntry);
    EXPECT_TRUE(ex.Requests.empty());
    EXPECT_EQ(set.IsDeviceValid(0), 0);
    ex.HasEntry = true;
    EXPECT_EQ(set.IsDeviceValid(0), 1);
    ex.TransferFails = true;
    EXPECT_EQ(set.GetDeviceInfo(0, info), Fail());
    EXPECT_TRUE(ex.I2CLines.empty());
}

TEST(CommandSetExceptions, LanTurnsAnExceptionIntoNoAnswerUsbLetsItThrough) {
    ScriptedExchange ex;
    ex.Throws = true;
    TDeviceInfo info;
    TWireCommandSet lan(ex, kLANWireTraits);
    EXPECT_EQ(lan.GetDeviceInfo(0, info), TI2CResult::irNoAnswer);
    EXPECT_FALSE(lan.GetDeviceLockState(0));
    TWireCommandSet usb(ex, kUSBWireTraits);
    EXPECT_THROW(usb.GetDeviceInfo(0, info), std::runtime_error);
}

// ---- the index check --------------------------------------------------------------------------

TEST_P(CommandSetTest, IndexMessagesGoWhereTheCommandSays) {
    ex.Masters = 2;
    int32_t hz = 0;
    std::string text;
    TDeviceInfo info;
    const std::string padded = IsUSB() ? "invalid device: 02" : "invalid device: 2";

    EXPECT_EQ(set.GetSCL(2, hz), TI2CResult::irInvalidDevice);
    EXPECT_EQ(hz, -1);
    EXPECT_EQ(set.SetSCL(2, 100000), TI2CResult::irInvalidDevice);
    text = "stale";
    EXPECT_EQ(set.ScanI2C(2, text), TI2CResult::irInvalidDevice);
    EXPECT_EQ(text, "");
    EXPECT_EQ(set.WriteI2C(2, 0x20, "00"), TI2CResult::irInvalidDevice);
    EXPECT_EQ(ex.I2CLines, (std::vector<std::string>{"0:invalid device: 2", "0:" + padded, "0:" + padded,
                                                     "0:invalid device: 2"}));
    EXPECT_TRUE(ex.Errors.empty());

    ex.I2CLines.clear();
    EXPECT_EQ(set.GetDeviceInfo(-1, info), TI2CResult::irInvalidDevice);
    EXPECT_EQ(set.GetDeviceInfo(2, info), TI2CResult::irInvalidDevice);
    EXPECT_FALSE(set.GetDeviceLockState(5));
    set.GetVendor(2, text);
    EXPECT_EQ(text, "<n/a>");
    EXPECT_EQ(set.IsDeviceValid(2), 0);
    TFWVersion fw;
    fw.Components = {9, 9, 9, 9};
    set.GetFWVersion(2, fw, text);
    EXPECT_EQ(fw, TFWVersion{});
    EXPECT_EQ(text, "FW: <unknown>");
    EXPECT_EQ(ex.Errors,
              (std::vector<std::string>{"invalid device: -1", "invalid device: 2", "invalid device: 5",
                                        "invalid device: 2", "invalid device: 2", "invalid device: 2"}));
    EXPECT_TRUE(ex.I2CLines.empty());
    EXPECT_TRUE(ex.Requests.empty());

    set.GetVendor(1, text);
    EXPECT_EQ(text, "QRB GmbH");
    set.GetModel(1, text);
    EXPECT_EQ(text, "QRB-730");
    set.GetVersion(1, text);
    EXPECT_EQ(text, "1.0");
}

// ---- arguments refused before any exchange ------------------------------------------------------

TEST_P(CommandSetTest, ArgumentsRefusedBeforeAnyExchange) {
    std::array<uint8_t, 4> buf{};
    const uint8_t data[1] = {0};
    const std::vector<uint8_t> big(256, 0);
    struct Case {
        const char* what;
        std::function<TI2CResult()> call;
        TI2CResult result;
        std::string i2cLine; // or
        std::string error;
    };
    const std::vector<Case> cases = {
        {"SetSCL 999", [&] { return set.SetSCL(0, 999); }, TI2CResult::irInvalidValue, "0:invalid SCL: 999",
         ""},
        {"SetSCL 400001", [&] { return set.SetSCL(0, 400001); }, TI2CResult::irInvalidValue,
         "0:invalid SCL: 400001", ""},
        {"WriteI2C empty", [&] { return set.WriteI2C(0, 1, ""); }, TI2CResult::irInvalidWriteLength,
         "0:invalid write length: 0", ""},
        {"WriteI2C one digit", [&] { return set.WriteI2C(0, 1, "7"); }, TI2CResult::irInvalidWriteLength,
         "0:invalid write length: 0", ""},
        {"WriteI2C 256 bytes", [&] { return set.WriteI2C(0, 1, std::string(512, 'A')); },
         TI2CResult::irInvalidWriteLength, "0:invalid write length: 256", ""},
        {"WriteI2C 0G", [&] { return set.WriteI2C(0, 1, "0G"); }, TI2CResult::irInvalidWriteValue,
         "0:invalid write value: 0G", ""},
        {"WriteI2C 00 0x", [&] { return set.WriteI2C(0, 1, "000x"); }, TI2CResult::irInvalidWriteValue,
         "0:invalid write value: 000x", ""},
        {"WriteI2CBlock 0", [&] { return set.WriteI2CBlock(0, 1, std::span<const uint8_t>(data, 0)); },
         TI2CResult::irInvalidWriteLength, "", "invalid write length: 0"},
        {"WriteI2CBlock 256", [&] { return set.WriteI2CBlock(0, 1, big); }, TI2CResult::irInvalidWriteLength,
         "", "invalid write length: 256"},
        {"ReadI2C 1025", [&] { return set.ReadI2C(0, 1, 1025, buf); }, TI2CResult::irInvalidReadLength, "",
         "invalid read length: 1025"},
        {"SetFan 5", [&] { return set.SetFan(0, 5); }, TI2CResult::irInvalidDevice, "", "invalid speed: 5"},
        {"SetIRQ 3", [&] { return set.SetIRQ(0, 3); }, TI2CResult::irInvalidDevice, "",
         "invalid interuptmode: 3"},
    };
    for (const Case& c : cases) {
        ex.I2CLines.clear();
        ex.Errors.clear();
        EXPECT_EQ(c.call(), c.result) << c.what;
        EXPECT_EQ(ex.I2CLines, c.i2cLine.empty() ? std::vector<std::string>{} : std::vector{c.i2cLine})
            << c.what;
        EXPECT_EQ(ex.Errors, c.error.empty() ? std::vector<std::string>{} : std::vector{c.error}) << c.what;
    }
    EXPECT_TRUE(ex.Requests.empty());
}

// ---- answer length and status mapping -------------------------------------------------------------

TEST_P(CommandSetTest, StatusMappingOfTheSimpleCommands) {
    const TI2CResult fail = Fail();
    const TI2CResult ok = TI2CResult::irOK;
    const TI2CResult dev = TI2CResult::irInvalidDevice;
    const TI2CResult unknown = TI2CResult::irUnknownAnswer;
    const std::string notAddressed = "0:I²C master device could not be addressed!";
    int32_t hz = 0;
    std::array<uint8_t, 8> buf{};
    const uint8_t block[2] = {1, 2};
    TChannelInfo chInfo;
    TDCDCInfo dcdc;
    TMasterFlash flash;
    auto name = [&](const char* usb, const char* lan) { return std::string(IsUSB() ? usb : lan); };

    struct Case {
        const char* what;
        std::function<TI2CResult()> call;
        Bytes from28;
        TI2CResult result;
        std::vector<std::string> i2c;
        std::vector<std::string> errors;
    };
    const std::vector<Case> cases = {
        {"GetSCL 100 kHz",
         [&] { return set.GetSCL(0, hz); },
         Status4(100000),
         ok,
         {"0:I2C-Clock read as 100.00 KHz."},
         {}},
        {"GetSCL -1", [&] { return set.GetSCL(0, hz); }, Status4(-1), dev, {notAddressed}, {}},
        {"GetSCL 0", [&] { return set.GetSCL(0, hz); }, Status4(0), fail, {}, {}},
        {"GetSCL length 8",
         [&] { return set.GetSCL(0, hz); },
         {8, 0, 0, 0, 1},
         unknown,
         {"0:Unknown answer to GETSCL command!"},
         {}},
        {"SetSCL done",
         [&] { return set.SetSCL(0, 400000); },
         Status4(400000),
         ok,
         {"0:I2C-Clock set to 400.00 KHz."},
         {}},
        {"SetSCL 1000",
         [&] { return set.SetSCL(0, 1000); },
         Status4(1000),
         ok,
         {"0:I2C-Clock set to 1.00 KHz."},
         {}},
        {"SetSCL -2",
         [&] { return set.SetSCL(0, 5000); },
         Status4(-2),
         TI2CResult::irInvalidValue,
         {"0:I2C clock value out of possible range (1000-400000)!"},
         {}},
        {"SetSCL -1", [&] { return set.SetSCL(0, 5000); }, Status4(-1), dev, {notAddressed}, {}},
        {"SetSCL other clock", [&] { return set.SetSCL(0, 5000); }, Status4(4000), fail, {}, {}},
        {"WriteI2C done", [&] { return set.WriteI2C(0, 1, "0102"); }, Status4(2), ok, {}, {}},
        {"WriteI2C short", [&] { return set.WriteI2C(0, 1, "0102"); }, Status4(1), fail, {}, {}},
        {"WriteI2C -1", [&] { return set.WriteI2C(0, 1, "0102"); }, Status4(-1), dev, {notAddressed}, {}},
        {"WriteI2CBlock done", [&] { return set.WriteI2CBlock(0, 1, block); }, Status4(2), ok, {}, {}},
        {"WriteI2CBlock -1", [&] { return set.WriteI2CBlock(0, 1, block); }, Status4(-1), dev, {}, {}},
        {"WriteI2CBlock length 5",
         [&] { return set.WriteI2CBlock(0, 1, block); },
         {5, 0, 0, 0, 2},
         unknown,
         {"0:Unknown answer to " + name("WRITEI2CBLOCK", "WRITEI2C") + " command!"},
         {}},
        {"ReadI2C -1", [&] { return set.ReadI2C(0, 1, 2, buf); }, Status4(-1), dev, {}, {}},
        {"ReadI2C count differs",
         [&] { return set.ReadI2C(0, 1, 2, buf); },
         {6, 0, 0, 0, 1, 0, 0, 0, 9, 9},
         fail,
         {},
         {}},
        {"ReadI2C length 3",
         [&] { return set.ReadI2C(0, 1, 2, buf); },
         {3, 0, 0, 0},
         unknown,
         {"0:Unknown answer to READI2C command!"},
         {}},
        {"SaveAllConfig 0", [&] { return set.SaveAllConfig(0, 0); }, Status4(0), ok, {}, {}},
        {"SaveAllConfig 3",
         [&] { return set.SaveAllConfig(0, 0); },
         Status4(3),
         TI2CResult::irDeviceError,
         {},
         {"Error on writing config to channel flash!"}},
        {"SaveAllConfig length 0",
         [&] { return set.SaveAllConfig(0, 0); },
         {0, 0, 0, 0},
         unknown,
         {"0:Unknown answer to " + name("SAVEALLFLASH", "SaveAllConfig") + " command!"},
         {}},
        {"SetChannelInfo status passed",
         [&] { return set.SetChannelInfo(0, 0, chInfo); },
         Status4(-77),
         static_cast<TI2CResult>(-77),
         {},
         {}},
        {"SetDCDCInfo status passed",
         [&] { return set.SetDCDCInfo(0, dcdc); },
         Status4(3),
         static_cast<TI2CResult>(3),
         {},
         {}},
        {"SetDCDCClock status passed",
         [&] { return set.SetDCDCClock(0, 0, 0, 0, 0, 0); },
         Status4(12345),
         static_cast<TI2CResult>(12345),
         {},
         {}},
        {"SetDCDCClock length 5",
         [&] { return set.SetDCDCClock(0, 0, 0, 0, 0, 0); },
         {5, 0, 0, 0},
         unknown,
         {"0:Unknown answer to SetDCDCClock command!"},
         {}},
        {"SetMasterflash 0", [&] { return set.SetMasterflash(0, flash); }, Status4(0), ok, {}, {}},
        {"SetMasterflash 1", [&] { return set.SetMasterflash(0, flash); }, Status4(1), unknown, {}, {}},
        {"SetMux 0", [&] { return set.SetMux(0, 1, 2, 3); }, Status4(0), ok, {}, {}},
        {"SetMux -1", [&] { return set.SetMux(0, 1, 2, 3); }, Status4(-1), dev, {notAddressed}, {}},
        {"SetMux 0x201",
         [&] { return set.SetMux(0, 1, 2, 3); },
         Status4(0x201),
         fail,
         {"0:ONDRIXMUX not present! No I²C master found! "},
         {}},
        {"SetMux 0x124",
         [&] { return set.SetMux(0, 1, 2, 3); },
         Status4(0x124),
         fail,
         {"0:PATHMUX not present! PATHMUX could not be set! PATHMUX: invalid value! "},
         {}},
        {"SetMux length 8",
         [&] { return set.SetMux(0, 1, 2, 3); },
         {8, 0, 0, 0},
         unknown,
         {"0:Unknown anser to SETMUX command!"},
         {}},
        {"SetFan 1", [&] { return set.SetFan(0, 1); }, Status4(1), ok, {}, {}},
        {"SetFan 0", [&] { return set.SetFan(0, 1); }, Status4(0), dev, {"0:Invalid FAN setting!"}, {}},
        {"SetFan 2", [&] { return set.SetFan(0, 1); }, Status4(2), fail, {}, {}},
        {"SetIRQ 1", [&] { return set.SetIRQ(0, 2); }, Status4(1), ok, {}, {}},
        {"SetIRQ 0", [&] { return set.SetIRQ(0, 2); }, Status4(0), dev, {"0:Invalid IRQ setting!"}, {}},
        {"SetIRQ -1", [&] { return set.SetIRQ(0, 2); }, Status4(-1), fail, {}, {}},
        {"SetIRQ length 3",
         [&] { return set.SetIRQ(0, 2); },
         {3, 0, 0, 0},
         unknown,
         {"0:Unknown answer to SETIRQ command!"},
         {}},
        {"SetDeviceLockState 0", [&] { return set.SetDeviceLockState(0, true); }, Status4(0), ok, {}, {}},
        {"SetDeviceLockState 1",
         [&] { return set.SetDeviceLockState(0, true); },
         Status4(1),
         fail,
         {"0:Error on SETDEVICELOCKSTATE!"},
         {}},
        {"SetDeviceLockState length 8",
         [&] { return set.SetDeviceLockState(0, true); },
         {8, 0, 0, 0},
         fail,
         {"0:Unknown answer to SETDEVICELOCKSTATE command!"},
         {}},
        {"length beyond the payload",
         [&] { return set.SetFan(0, 1); },
         {0x79, 0x05, 0, 0, 1, 0, 0, 0},
         unknown,
         {"0:Unknown answer to SETFAN command!"},
         {}},
    };
    for (const Case& c : cases) {
        ex.I2CLines.clear();
        ex.Errors.clear();
        ex.From28 = c.from28;
        EXPECT_EQ(c.call(), c.result) << c.what;
        EXPECT_EQ(ex.I2CLines, c.i2c) << c.what;
        EXPECT_EQ(ex.Errors, c.errors) << c.what;
    }
}

TEST_P(CommandSetTest, ScanI2CListsDecimalAddresses) {
    std::string list = "stale";
    ex.From28 = {7, 0, 0, 0, 3, 0, 0, 0, 0x18, 0x20, 0x21};
    EXPECT_EQ(set.ScanI2C(0, list), TI2CResult::irOK);
    EXPECT_EQ(list, "24,32,33");

    ex.From28 = Status4(0);
    EXPECT_EQ(set.ScanI2C(0, list), Fail());
    EXPECT_EQ(list, "");
    ex.From28 = Status4(-1);
    EXPECT_EQ(set.ScanI2C(0, list), TI2CResult::irInvalidDevice);

    // A count beyond what the answer holds is refused, not read past.
    ex.From28 = {5, 0, 0, 0, 0xFF, 0, 0, 0, 0x18};
    ex.I2CLines.clear();
    EXPECT_EQ(set.ScanI2C(0, list), TI2CResult::irUnknownAnswer);
    EXPECT_EQ(ex.I2CLines, std::vector<std::string>{"0:Unknown answer to SCANI2C command!"});
    EXPECT_EQ(list, "");
}

TEST_P(CommandSetTest, ScanI2CMuxListsHexLines) {
    std::vector<std::string> lines{"stale"};
    ex.From28 = {6, 0, 0, 0, 2, 0, 0, 0, 0x18, 0xA0};
    EXPECT_EQ(set.ScanI2CMux(0, lines), TI2CResult::irOK);
    EXPECT_EQ(lines, (std::vector<std::string>{"18", "A0"}));

    ex.From28 = Status4(0);
    EXPECT_EQ(set.ScanI2CMux(0, lines), TI2CResult::irOK);
    EXPECT_TRUE(lines.empty());

    ex.From28 = Status4(-1);
    ex.I2CLines.clear();
    EXPECT_EQ(set.ScanI2CMux(0, lines), Fail());
    EXPECT_EQ(ex.I2CLines, std::vector<std::string>{"0:I²C master device could not be addressed!"});

    ex.From28 = {4, 0, 0, 0, 0x00, 0x10, 0, 0}; // count 4096 in a 4-byte answer
    EXPECT_EQ(set.ScanI2CMux(0, lines), TI2CResult::irUnknownAnswer);
    EXPECT_EQ(ex.I2CLines.back(),
              std::string("0:Unknown answer to ") + (IsUSB() ? "SCANI2CMUX" : "SCANMUX") + " command!");
}

TEST_P(CommandSetTest, ReadI2CCopiesExactlyTheRequestedBytes) {
    std::array<uint8_t, 4> buf{0xEE, 0xEE, 0xEE, 0xEE};
    ex.From28 = {7, 0, 0, 0, 3, 0, 0, 0, 0x0A, 0x0B, 0x0C};
    EXPECT_EQ(set.ReadI2C(0, 0x50, 3, buf), TI2CResult::irOK);
    EXPECT_EQ(buf, (std::array<uint8_t, 4>{0x0A, 0x0B, 0x0C, 0xEE}));

    // The device claims three bytes but sends one.
    buf.fill(0xEE);
    ex.From28 = {5, 0, 0, 0, 3, 0, 0, 0, 0x0A};
    EXPECT_EQ(set.ReadI2C(0, 0x50, 3, buf), TI2CResult::irUnknownAnswer);
    EXPECT_EQ(buf[0], 0xEE);
}

TEST_P(CommandSetTest, WriteReadRunsTheReadOnlyAfterASuccessfulWrite) {
    std::array<uint8_t, 2> buf{};
    ex.From28 = Status4(0); // the write wants 1
    EXPECT_EQ(set.WriteReadI2C(0, 0x50, "00", 2, buf), Fail());
    EXPECT_EQ(ex.Requests.size(), 1u);
    EXPECT_EQ(set.WriteReadI2C(0, 0x50, "0", 2, buf), TI2CResult::irInvalidWriteLength);
    EXPECT_EQ(ex.Requests.size(), 1u);
}

TEST_P(CommandSetTest, WriteSeqCopiesTheAnswerAlwaysAndBounded) {
    std::array<uint8_t, 1024> data{};
    std::array<uint8_t, 1024> answer{};
    answer.fill(0xEE);
    ex.From28 = {4, 0, 0, 0, 0x02, 0x31, 0x32, 0x33};
    EXPECT_EQ(set.WriteSeq(0, 1, data, 0, answer), Fail()); // status byte 2
    EXPECT_EQ(answer[0], 0x31);
    EXPECT_EQ(answer[2], 0x33);
    EXPECT_EQ(answer[3], 0xEE);
    EXPECT_EQ(set.LastStatus(), 2);

    ex.From28 = {2, 0, 0, 0, 0x01, 0x55};
    ex.I2CLines.clear();
    EXPECT_EQ(set.WriteSeq(0, 1, data, 0, answer), TI2CResult::irInvalidDevice);
    EXPECT_EQ(ex.I2CLines, std::vector<std::string>{"0:I²C master device could not be addressed!"});

    ex.From28 = {2, 0, 0, 0, 0x00, 0x55};
    EXPECT_EQ(set.WriteSeq(0, 1, data, 0, answer), TI2CResult::irOK);
    ex.From28 = {1, 0, 0, 0, 0x00};
    EXPECT_EQ(set.WriteSeq(0, 1, data, 0, answer), TI2CResult::irUnknownAnswer);

    // A full 1400-byte answer is cut to the caller's 1024 bytes.
    Bytes full(4 + 1400, 0x77);
    full[0] = 0x78;
    full[1] = 0x05;
    full[2] = full[3] = 0;
    full[4] = 0;
    ex.From28 = full;
    std::array<uint8_t, 1025> guarded{};
    guarded[1024] = 0x99;
    EXPECT_EQ(set.WriteSeq(0, 1, data, 0, std::span<uint8_t>(guarded.data(), 1024)), TI2CResult::irOK);
    EXPECT_EQ(guarded[1023], 0x77);
    EXPECT_EQ(guarded[1024], 0x99);
}

TEST_P(CommandSetTest, WriteChannelStatusAndVerifyData) {
    TRegisterImage image;
    std::array<uint8_t, 1024> answer{};
    struct Case {
        int32_t status;
        TI2CResult result;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {0, TI2CResult::irOK, {}},
        {-1, TI2CResult::irDeviceError, {"2:Invalid channel for new channel config!"}},
        {-2, TI2CResult::irDeviceError, {"2:Cannot set ADC path for channel!"}},
        {-3, TI2CResult::irDeviceError, {"2:Cannot set ADC8 value to channel!"}},
        {-4, TI2CResult::irDeviceError, {"2:Cannot set I/O path for channel!"}},
        {-5, TI2CResult::irDeviceError, {"2:Cannot set init relay sequence to channel!"}},
        {-6, TI2CResult::irDeviceError, {"2:Biterror on init relay sequence on channel!"}},
        {-7, TI2CResult::irDeviceError, {"2:Cannot set pulse relay sequence to channel!"}},
        {-8, TI2CResult::irDeviceError, {"2:Biterror on pulse relay sequence on channel!"}},
        {-9, TI2CResult::irDeviceError, {"2:Cannot set dac sequence to channel!"}},
        {-10, TI2CResult::irDeviceError, {"2:Error on setting dac values to channel!"}},
        {-11, TI2CResult::irDeviceError, {}},
        {1, Fail(), {}},
    };
    for (const Case& c : cases) {
        ex.I2CLines.clear();
        Bytes from28 = Status4(c.status);
        from28[0] = 8;
        from28.insert(from28.end(), {0xA1, 0xA2, 0xA3, 0xA4});
        ex.From28 = from28;
        answer.fill(0);
        EXPECT_EQ(set.WriteChannel(0, 0, 0, image, answer), c.result) << c.status;
        EXPECT_EQ(ex.I2CLines, c.lines) << c.status;
        EXPECT_EQ(answer[0], 0xA1) << c.status;
        EXPECT_EQ(answer[3], 0xA4) << c.status;
        EXPECT_EQ(answer[4], 0x00) << c.status; // nothing beyond the answer
    }
    ex.From28 = {3, 0, 0, 0};
    EXPECT_EQ(set.WriteChannel(0, 0, 0, image, answer), TI2CResult::irUnknownAnswer);
    EXPECT_EQ(ex.I2CLines.back(),
              std::string("0:Unknown answer to ") + (IsUSB() ? "WRITECHANNEL" : "WRITEChanel") + " command!");

    // Verify data as long as the block allows, into a small buffer.
    Bytes full(4 + 1400, 0x5A);
    full[0] = 0x78;
    full[1] = 0x05;
    full[2] = full[3] = 0;
    ex.From28 = full;
    std::array<uint8_t, 17> small{};
    small[16] = 0x99;
    set.WriteChannel(0, 0, 0, image, std::span<uint8_t>(small.data(), 16));
    EXPECT_EQ(small[15], 0x5A);
    EXPECT_EQ(small[16], 0x99);
}

TEST_P(CommandSetTest, GetDeviceInfoAcceptsBothLengths) {
    Bytes record = {0x00, 0x1F, 0x02, 0x08, 0x06, 0x02, 0, 0, 0xD0, 0x07, 0, 0, 0x40, 0x42, 0x0F, 0x00};
    for (uint8_t len : {36, 32}) {
        Bytes from28 = {len, 0, 0, 0, 0, 0, 0, 0};
        from28.insert(from28.end(), record.begin(), record.end());
        ex.From28 = from28;
        TDeviceInfo info;
        EXPECT_EQ(set.GetDeviceInfo(0, info), TI2CResult::irOK) << int(len);
        EXPECT_EQ(info.Parts, 0x1F);
        EXPECT_EQ(info.AvailableChannels, 8);
        EXPECT_EQ(info.FanRpm, 2000);
        EXPECT_EQ(info.ClockHz, 1000000u);
    }
    ex.From28 = {40, 0, 0, 0};
    ex.I2CLines.clear();
    TDeviceInfo untouched;
    untouched.Parts = 0x55;
    EXPECT_EQ(set.GetDeviceInfo(0, untouched), TI2CResult::irUnknownAnswer);
    EXPECT_EQ(ex.I2CLines, std::vector<std::string>{"0:Unknown answer to GetDeviceInfo command!"});
    EXPECT_EQ(untouched.Parts, 0x55);
}

TEST_P(CommandSetTest, RecordAnswersNeedTheirExactLength) {
    TChannelInfoBlock block;
    TDCDCInfo dcdc;
    TMasterFlash flash;
    TDeviceADC8 adc8;
    bool changed = false;
    struct Case {
        const char* name;
        std::function<TI2CResult()> call;
        uint32_t length;
    };
    const Case cases[] = {
        {"GetChannelInfo", [&] { return set.GetChannelInfo(0, block); }, 1220},
        {"GetDCDCInfo", [&] { return set.GetDCDCInfo(0, dcdc); }, 68},
        {"GetMasterflash", [&] { return set.GetMasterflash(0, flash); }, 72},
        {"GetDeviceADC8", [&] { return set.GetDeviceADC8(0, adc8, changed); }, 12},
    };
    for (const Case& c : cases) {
        for (uint32_t len : {c.length - 1, c.length, c.length + 1}) {
            ex.From28 = {uint8_t(len), uint8_t(len >> 8), 0, 0, 1, 0, 0, 0, 0x11, 0x22, 0x33};
            ex.I2CLines.clear();
            TI2CResult want = len == c.length ? TI2CResult::irOK : TI2CResult::irUnknownAnswer;
            EXPECT_EQ(c.call(), want) << c.name << " " << len;
            std::vector<std::string> lines;
            if (len != c.length) lines.push_back("0:Unknown answer to " + std::string(c.name) + " command!");
            EXPECT_EQ(ex.I2CLines, lines);
        }
    }
    EXPECT_EQ(block.Slots[0].Present, 0x11);
    EXPECT_EQ(dcdc.Entries[0].Series, 0x3322);
    EXPECT_EQ(flash.Magic[1], 0x22);
    EXPECT_EQ(adc8.Status[2], 0x33);
}

TEST_P(CommandSetTest, GetDeviceADC8ChangedFollowsTheStatus) {
    TDeviceADC8 adc8;
    bool changed = true;
    ex.From28 = {12, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(set.GetDeviceADC8(0, adc8, changed), TI2CResult::irOK);
    EXPECT_FALSE(changed);
    EXPECT_EQ(adc8.Status, (std::array<uint8_t, 8>{1, 2, 3, 4, 5, 6, 7, 8}));
    ex.From28[4] = 5;
    set.GetDeviceADC8(0, adc8, changed);
    EXPECT_TRUE(changed);
}

TEST_P(CommandSetTest, CalibTableTakesAnyLengthAboveFour) {
    Bytes from28 = {5, 0, 0, 0, 0, 0, 0, 0};
    const char source[] = "QRBCAL730";
    from28.insert(from28.end(), source, source + 10);
    from28.push_back(174);
    ex.From28 = from28;
    TChannelCalibTable table;
    EXPECT_EQ(set.GetChannelCalibTable(0, 2, table), TI2CResult::irOK);
    EXPECT_TRUE(table.IsUsable()); // all 866 bytes were taken
    ex.From28 = {4, 0, 0, 0};
    EXPECT_EQ(set.GetChannelCalibTable(0, 2, table), TI2CResult::irUnknownAnswer);
}

TEST_P(CommandSetTest, LockStateIsTrueOnlyForStatusZeroAndValueOne) {
    struct Case {
        Bytes from28;
        bool locked;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {{8, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}, true, {}},
        {{8, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0}, false, {}},
        {{8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, false, {}},
        {{8, 0, 0, 0, 3, 0, 0, 0, 1, 0, 0, 0}, false, {"0:Error on GETDEVICELOCKSTATE!"}},
        {{4, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}, false, {"0:Unknown answer to GETDEVICELOCKSTATE command!"}},
    };
    for (const Case& c : cases) {
        ex.I2CLines.clear();
        ex.From28 = c.from28;
        EXPECT_EQ(set.GetDeviceLockState(0), c.locked);
        EXPECT_EQ(ex.I2CLines, c.lines);
    }
}

TEST_P(CommandSetTest, FirmwareVersionComponentsWhateverTheStatus) {
    TFWVersion fw;
    std::string text;
    ex.From28 = {20, 0, 0, 0, 5, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 4, 0, 0, 0};
    set.GetFWVersion(0, fw, text);
    EXPECT_EQ(fw.Components, (std::array<int32_t, 4>{1, 2, 3, 4}));
    EXPECT_EQ(text, "FW: <unknown>");
    EXPECT_EQ(ex.I2CLines, std::vector<std::string>{"0:Error on GETFWVERSION!"});

    ex.From28[4] = 0;
    ex.From28[20] = 0xFF; // -1 as last component
    ex.From28[21] = ex.From28[22] = ex.From28[23] = 0xFF;
    set.GetFWVersion(0, fw, text);
    EXPECT_EQ(text, "FW: 1.2.3.-1");

    ex.From28 = {16, 0, 0, 0};
    ex.I2CLines.clear();
    set.GetFWVersion(0, fw, text);
    EXPECT_EQ(fw, TFWVersion{});
    EXPECT_EQ(text, "FW: <unknown>");
    EXPECT_EQ(ex.I2CLines, std::vector<std::string>{"0:Unknown answer to GETFWVERSION command!"});
}

TEST_P(CommandSetTest, ClockTextsUseTheRegionalDecimalSeparator) {
    TFormatSettings comma;
    comma.DecimalSeparator = ",";
    TFormatSettingsScope scope(comma);
    int32_t hz = 0;
    ex.From28 = Status4(12345);
    EXPECT_EQ(set.GetSCL(0, hz), TI2CResult::irOK);
    EXPECT_EQ(hz, 12345);
    EXPECT_EQ(ex.I2CLines, std::vector<std::string>{"0:I2C-Clock read as 12,35 KHz."});
}

TEST(CommandSetIndexText, UsbPadsNegativeIndexToTwoDigits) {
    ScriptedExchange ex;
    TWireCommandSet usb(ex, kUSBWireTraits);
    EXPECT_EQ(usb.SetSCL(-1, 100000), TI2CResult::irInvalidDevice);
    EXPECT_EQ(ex.I2CLines, std::vector<std::string>{"0:invalid device: -01"});
}
