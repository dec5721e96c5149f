// TI2CUSBControl against fake amplifier disks: discovery, frames, retries, answers, keep-alive.
#include "device/usb/USBTransport.h"

#include "tests/support/FakeDisk.h"
#include "tests/support/VirtualMainLoop.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace qrb::device {
namespace {

using test::FakeInquiry;
using test::TFakeDisk;
using test::TFakeDiskEnumerator;

constexpr const char* kIdentity = "QRB     QRB-730         0313";

// Answers with the request's head turned round; fill sets PayloadLength, status and data.
TFakeDisk::TResponder Answering(std::function<void(const TCommandBlock&, TCommandBlock&)> fill) {
    return [fill](std::span<const uint8_t> bytes) {
        TCommandBlock request;
        std::copy(bytes.begin(), bytes.end(), request.Bytes.begin());
        TCommandBlock answer;
        std::copy_n(request.Bytes.begin(), 28, answer.Bytes.begin());
        answer.SetWord(TCommandBlock::oDirection, kDirectionAnswer);
        fill(request, answer);
        return std::vector<uint8_t>(answer.Bytes.begin(), answer.Bytes.end());
    };
}

// GetDeviceInfo answered with a recognisable record, the fan and interrupt settings with their
// success status 1, every other command with status 0.
TFakeDisk::TResponder Amplifier() {
    return Answering([](const TCommandBlock& req, TCommandBlock& ans) {
        if (req.Command() == 0x30001) {
            TDeviceInfo info;
            info.AvailableChannels = 8;
            info.State = 2;
            info.FanRpm = 1234;
            ans.SetWord(TCommandBlock::oPayloadLength, 36);
            info.Encode(ans.Bytes.data() + 36);
        } else {
            ans.SetWord(TCommandBlock::oPayloadLength, 4);
            if (req.Command() == 0x20006 || req.Command() == 0x20003) ans.SetWord(32, 1);
        }
    });
}

uint32_t Le32(const std::array<uint8_t, 2048>& f, size_t o) {
    return f[o] | f[o + 1] << 8 | f[o + 2] << 16 | static_cast<uint32_t>(f[o + 3]) << 24;
}

class USBTransportTest : public ::testing::Test {
protected:
    USBTransportTest() {
        auto e = std::make_unique<TFakeDiskEnumerator>();
        disks = e.get();
        usb = std::make_unique<TI2CUSBControl>(std::move(e));
        usb->LogLevel = 5;
        usb->I2CLogLevel = 5;
        usb->OnLog = [this](const void*, const std::string& t) { logs.push_back(t); };
        usb->OnI2CLog = [this](const void*, const std::string& t) { i2cLogs.push_back(t); };
        usb->OnError = [this](const void*, const std::string& t) { errors.push_back(t); };
        usb->OnDeviceLost = [this](const void*, const std::string& t) { lost.push_back(t); };
    }
    ~USBTransportTest() override {
        for (const auto& s : disks->Slots) {
            if (s.Disk && !s.Disk->Violations.empty())
                ADD_FAILURE() << s.Name << ": " << s.Disk->Violations.front();
        }
    }

    std::shared_ptr<TFakeDisk> AddAmplifier(const std::string& name) {
        auto d = disks->Add(name);
        d->Responder = Amplifier();
        return d;
    }
    bool Logged(const std::string& text) const {
        return std::find(logs.begin(), logs.end(), text) != logs.end();
    }
    size_t CountLogged(const std::string& text) const { return std::count(logs.begin(), logs.end(), text); }

    test::TInstalledVirtualMainLoop loop;
    TFakeDiskEnumerator* disks = nullptr;
    std::unique_ptr<TI2CUSBControl> usb;
    std::vector<std::string> logs, i2cLogs, errors, lost;
};

// --- discovery ---------------------------------------------------------------------------------

TEST_F(USBTransportTest, FreeAmplifiersAreNumberedInOrderTakenAndForeignDisksAreNot) {
    auto other = disks->Add("sda", FakeInquiry("ATA     Samsung SSD 870 2B6Q"));
    auto first = AddAmplifier("sdb");
    auto taken = AddAmplifier("sdc");
    taken->Holder = {192, 168, 0, 7};
    auto second = AddAmplifier("sdd");
    second->Series = 7;
    second->Serial = 42;

    EXPECT_TRUE(usb->Scan());

    ASSERT_EQ(usb->MasterCount(), 2);
    EXPECT_EQ(usb->Masters[0].Name, "USB Device 1");
    EXPECT_EQ(usb->Masters[0].Master->Index, 0);
    EXPECT_EQ(usb->Masters[1].Name, "USB Device 2");
    EXPECT_EQ(usb->Masters[1].Master->Index, 1);
    ASSERT_EQ(usb->Devices().size(), 2u);
    EXPECT_EQ(usb->Devices()[1]->Name, "USB Device 2");

    // Only disks the kernel lists as amplifiers are opened; the foreign one is never touched.
    EXPECT_EQ(disks->Opened, (std::vector<std::string>{"sdb", "sdc", "sdd"}));
    EXPECT_EQ(other->WriteCalls, 0);
    EXPECT_EQ(other->OpenHandles, 0);
    EXPECT_EQ(first->OpenHandles, 1);
    EXPECT_EQ(taken->OpenHandles, 0);
    EXPECT_EQ(second->OpenHandles, 1);

    EXPECT_EQ(logs,
              (std::vector<std::string>{
                  "[USB] device \"USB Device 1\" (QRB     QRB-730         0313) found. QRB730 device (series "
                  "730), serial is 04711",
                  "[USB] device \"sdc\" found. Device is already connected to 192.168.0.7",
                  "[USB] device \"USB Device 2\" (QRB     QRB-730         0313) found. QRB730 device (series "
                  "7), serial is 00042",
                  "[USB] device status: 2 device(s) found",
              }));
    EXPECT_TRUE(usb->KeepAlive());
}

TEST_F(USBTransportTest, NothingFoundLeavesKeepAliveOff) {
    disks->Add("sda", FakeInquiry("ATA     Samsung SSD 870 2B6Q"));
    EXPECT_TRUE(usb->Scan());
    EXPECT_EQ(usb->MasterCount(), 0);
    EXPECT_FALSE(usb->KeepAlive());
    EXPECT_EQ(logs, (std::vector<std::string>{"[USB] device status: 0 device(s) found"}));
}

TEST_F(USBTransportTest, DeviceIdentityDecidesNotTheKernelCopy) {
    struct Case {
        const char* cached;
        const char* answered;
        bool opened;
    };
    const Case cases[] = {
        {kIdentity, "QRB    QRB-730          0313", true}, // vendor padded to 7: not an amplifier
        {kIdentity, "QRB     QRB-730         0312", true},
        {"QRB    QRB-730          0313", kIdentity, false}, // never opened on a mismatching copy
        {"", kIdentity, false},
    };
    for (const Case& c : cases) {
        disks->Slots.clear();
        disks->Opened.clear();
        auto d = disks->Add("sdb", FakeInquiry(c.answered));
        disks->Slot("sdb").CachedInquiry = FakeInquiry(c.cached);
        if (std::string(c.cached).empty()) disks->Slot("sdb").CachedInquiry.clear();
        usb->Scan();
        EXPECT_EQ(usb->MasterCount(), 0) << c.answered;
        EXPECT_EQ(disks->Opened.size(), c.opened ? 1u : 0u) << c.answered;
        EXPECT_EQ(d->WriteCalls, 0) << c.answered;
        EXPECT_EQ(d->OpenHandles, 0);
    }
}

TEST_F(USBTransportTest, FailedInquiryClosesTheDiskUnwritten) {
    auto d = AddAmplifier("sdb");
    d->InquiryFails = true;
    usb->Scan();
    EXPECT_EQ(usb->MasterCount(), 0);
    EXPECT_EQ(d->InquiryCalls, 1);
    EXPECT_EQ(d->WriteCalls, 0);
    EXPECT_EQ(d->OpenHandles, 0);
}

TEST_F(USBTransportTest, OpenFailuresSkipTheDiskAndTheSearchGoesOn) {
    AddAmplifier("sda");
    disks->Slot("sda").OpenError = TDiskOpenError::Permission;
    disks->Slot("sdb").CachedInquiry = FakeInquiry(kIdentity); // listed, node gone
    AddAmplifier("sdc");
    disks->Slot("sdc").OpenError = TDiskOpenError::Permission;
    AddAmplifier("sdd");
    disks->Slot("sdd").OpenError = TDiskOpenError::Other;
    auto found = AddAmplifier("sde");

    usb->Scan();
    ASSERT_EQ(usb->MasterCount(), 1);
    EXPECT_EQ(found->OpenHandles, 1);
    EXPECT_EQ(CountLogged("[USB] You need administrator privileges to control QRB-730 devices!"), 1u);
    EXPECT_EQ(logs.back(), "[USB] device status: 1 device(s) found");

    // Once per scan: the next scan says it again.
    logs.clear();
    usb->Scan();
    EXPECT_EQ(CountLogged("[USB] You need administrator privileges to control QRB-730 devices!"), 1u);
}

TEST_F(USBTransportTest, DiskWhoseBlocksDoNotFitTheFrameIsSkippedUnwritten) {
    struct Case {
        uint32_t blockSize;
        bool usable;
    };
    const Case cases[] = {{512, true}, {1024, true}, {2048, true}, {4096, false}, {0, false}, {520, false}};
    for (const Case& c : cases) {
        disks->Slots.clear();
        logs.clear();
        auto d = AddAmplifier("sdb");
        d->BlockSize = c.blockSize;
        usb->Scan();
        EXPECT_EQ(usb->MasterCount(), c.usable ? 1 : 0) << c.blockSize;
        if (!c.usable) {
            EXPECT_EQ(d->WriteCalls, 0);
            EXPECT_TRUE(Logged("[USB] device \"sdb\" skipped: logical block size " +
                               std::to_string(c.blockSize) + " does not allow the communication sector!"));
        }
    }
}

TEST_F(USBTransportTest, SilentOrMalformedInfoAnswerMeansNoDevice) {
    const std::string noAnswer = "[USB] no answer to info request at \"QRB     QRB-730         0313\".";
    const std::string badLength =
        "[USB] error while reading from info sector: invalid length of info request answer!";
    struct Case {
        const char* what;
        std::function<void(TFakeDisk&)> fault;
        std::string detail;
    };
    const Case cases[] = {
        {"echo", [](TFakeDisk& d) { d.SilentInfo = true; }, badLength},
        {"length 75", [](TFakeDisk& d) { d.ReplyPayloadLength = 75; }, badLength},
        {"length 77", [](TFakeDisk& d) { d.ReplyPayloadLength = 77; }, badLength},
        {"short read", [](TFakeDisk& d) { d.ReadCount = 1024; }, badLength},
        {"read fails", [](TFakeDisk& d) { d.FailReads = true; },
         "[USB] error while reading from info sector: " + std::string(std::strerror(EIO))},
        {"write fails", [](TFakeDisk& d) { d.FailWrites = 1; },
         "[USB] error while writing to info sector: " + std::string(std::strerror(EIO))},
        {"short write", [](TFakeDisk& d) { d.ShortWrites = 1; },
         "[USB] error while writing to info sector: no all bytes of info request were written!"},
        {"no address", [](TFakeDisk& d) { d.FailSeek = true; }, "[USB] error while addressing info sector!"},
    };
    for (const Case& c : cases) {
        disks->Slots.clear();
        logs.clear();
        auto d = AddAmplifier("sdb");
        c.fault(*d);
        usb->Scan();
        EXPECT_EQ(usb->MasterCount(), 0) << c.what;
        EXPECT_EQ(d->OpenHandles, 0) << c.what;
        EXPECT_EQ(logs,
                  (std::vector<std::string>{c.detail, noAnswer, "[USB] device status: 0 device(s) found"}))
            << c.what;
    }
}

TEST_F(USBTransportTest, InfoFrameAsTheDeviceSeesIt) {
    auto d = AddAmplifier("sdb");
    usb->Scan();
    ASSERT_EQ(d->Frames.size(), 1u);
    const auto& f = d->Frames[0];
    EXPECT_EQ(Le32(f, 0), 15001u);
    EXPECT_EQ(Le32(f, 4), 8u);
    EXPECT_EQ(Le32(f, 8), 2000000u);
    EXPECT_EQ(Le32(f, 28), 0xFACECAFEu);
    EXPECT_EQ(Le32(f, 32), 0x10203040u);
    EXPECT_EQ(d->InfoRequests, 1);
}

TEST_F(USBTransportTest, RescanClosesTheOldDisksAndRestartsNamesAndCounters) {
    auto a = AddAmplifier("sdb");
    auto b = AddAmplifier("sdc");
    usb->Scan();
    TDeviceInfo info;
    EXPECT_EQ(usb->GetDeviceInfo(1, info), TI2CResult::irOK);
    EXPECT_EQ(usb->GetDeviceInfo(1, info), TI2CResult::irOK);
    a->Holder = {10, 0, 0, 1};
    usb->Scan();
    ASSERT_EQ(usb->MasterCount(), 1);
    EXPECT_EQ(usb->Masters[0].Name, "USB Device 1");
    EXPECT_EQ(a->OpenHandles, 0);
    EXPECT_EQ(b->OpenHandles, 1);
    EXPECT_EQ(usb->GetDeviceInfo(0, info), TI2CResult::irOK);
    const auto requests = b->CommandRequests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests.back()[24], 1); // SeqLow 1 again
    EXPECT_EQ(requests.back()[20], 0);

    EXPECT_TRUE(usb->CloseAll());
    EXPECT_EQ(usb->MasterCount(), 0);
    EXPECT_EQ(b->OpenHandles, 0);
}

class ThrowingDisks : public IDiskEnumerator {
public:
    std::vector<TDiskEntry> ListDisks() override { throw std::runtime_error("sysfs gone"); }
    TDiskOpenResult Open(const TDiskEntry&) override { return {}; }
};

TEST(USBTransportScan, AnUnexpectedFailureIsRaisedWithTheTransportsText) {
    test::TInstalledVirtualMainLoop loop;
    TI2CUSBControl usb(std::make_unique<ThrowingDisks>());
    try {
        usb.Scan();
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Fehler beim Scannen von USB/Error on scanning of USB:\r\nsysfs gone");
    }
}

TEST(USBTransportCreate, TheSystemTransportFindsNoDiskUnderTheTestRunner) {
    test::TInstalledVirtualMainLoop loop;
    if (std::getenv("QRB_TEST_BINARY_DIR") == nullptr) ::setenv("QRB_TEST_BINARY_DIR", "/nonexistent", 1);
    auto usb = CreateUSBControl();
    EXPECT_TRUE(usb->Scan());
    EXPECT_EQ(usb->MasterCount(), 0);
}

TEST(USBTransportCreate, RefusesToRunWithoutDiskAccess) {
    try {
        TI2CUSBControl usb(nullptr);
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Error on creating USB control: ", 0), 0u);
    }
}

// --- command frames ----------------------------------------------------------------------------

TEST_F(USBTransportTest, CommandTravelsInACheckedFrameAndItsAnswerIsRead) {
    auto d = AddAmplifier("sdb");
    usb->Scan();
    TDeviceInfo info;
    EXPECT_EQ(usb->GetDeviceInfo(0, info), TI2CResult::irOK);
    EXPECT_EQ(info.FanRpm, 1234);
    EXPECT_EQ(info.AvailableChannels, 8);

    ASSERT_EQ(d->Frames.size(), 2u);
    const auto& f = d->Frames[1];
    EXPECT_EQ(Le32(f, 0), 15000u);
    EXPECT_EQ(Le32(f, 4), 1432u);
    EXPECT_EQ(Le32(f, 8), 1000000u);
    EXPECT_EQ(Le32(f, 28), 0x87690500u);
    EXPECT_EQ(Le32(f, 28 + 8), 0x30001u);
    EXPECT_EQ(Le32(f, 28 + 20), 0u); // SeqHigh
    EXPECT_EQ(Le32(f, 28 + 24), 1u); // SeqLow of the first request
    EXPECT_EQ(d->SeekCalls, 2);
}

TEST_F(USBTransportTest, WriteIsTriedThreeTimesWithoutPause) {
    const std::string eio = std::strerror(EIO);
    struct Case {
        const char* what;
        int fails, shorts;
        bool ok;
        std::vector<std::string> logs;
    };
    const Case cases[] = {
        {"two failures", 2, 0, true, {"[USB] write error (1)!", "[USB] write error (2)!"}},
        {"three failures",
         3,
         0,
         false,
         {"[USB] write error (1)!", "[USB] write error (2)!", "[USB] write error (3)!",
          "[USB] write error while writing to communication sector: " + eio}},
        {"one short write",
         0,
         1,
         true,
         {"[USB] write error (1): not all bytes of command structure were written!"}},
        {"three short writes",
         0,
         3,
         false,
         {"[USB] write error (1): not all bytes of command structure were written!",
          "[USB] write error (2): not all bytes of command structure were written!",
          "[USB] write error (3): not all bytes of command structure were written!",
          "[USB] write error while writing to communication sector: " + eio}},
    };
    for (const Case& c : cases) {
        disks->Slots.clear();
        auto d = AddAmplifier("sdb");
        usb->Scan();
        logs.clear();
        d->FailWrites = c.fails;
        d->ShortWrites = c.shorts;
        const int readsBefore = d->ReadCalls;
        TDeviceInfo info;
        EXPECT_EQ(usb->GetDeviceInfo(0, info), c.ok ? TI2CResult::irOK : TI2CResult::irTransferFailed)
            << c.what;
        EXPECT_EQ(logs, c.logs) << c.what;
        EXPECT_EQ(d->ReadCalls - readsBefore, c.ok ? 1 : 0) << c.what;
        EXPECT_EQ(loop.TotalSleptMs(), 0u);
    }
}

TEST_F(USBTransportTest, WriteMessagesAreLevelOneReadMessagesLevelZero) {
    auto d = AddAmplifier("sdb");
    usb->Scan();
    usb->LogLevel = 0;
    logs.clear();
    d->FailWrites = 3;
    TDeviceInfo info;
    EXPECT_EQ(usb->GetDeviceInfo(0, info), TI2CResult::irTransferFailed);
    EXPECT_TRUE(logs.empty());
    d->FailReads = true;
    EXPECT_EQ(usb->GetDeviceInfo(0, info), TI2CResult::irTransferFailed);
    EXPECT_EQ(logs, (std::vector<std::string>{"[USB] error while reading from communication sector: " +
                                              std::string(std::strerror(EIO))}));
}

TEST_F(USBTransportTest, RefusedReplyFramesFailWithOne) {
    struct Case {
        const char* what;
        std::function<void(TFakeDisk&)> fault;
        std::vector<std::string> logs;
    };
    const Case cases[] = {
        {"length 1431",
         [](TFakeDisk& d) { d.ReplyPayloadLength = 1431; },
         {"[USB] read error: invalid length of command packet (is 1431, should be 1432)!"}},
        {"length 76",
         [](TFakeDisk& d) { d.ReplyPayloadLength = 76; },
         {"[USB] read error: invalid length of command packet (is 76, should be 1432)!"}},
        {"huge length",
         [](TFakeDisk& d) { d.ReplyPayloadLength = 0xFFFFFFF0u; },
         {"[USB] read error: invalid length of command packet (is -16, should be 1432)!"}},
        {"short read",
         [](TFakeDisk& d) { d.ReadCount = 2000; },
         {"[USB] read error: invalid length of transfer block (is 2000, should be 2048)!"}},
        {"no address",
         [](TFakeDisk& d) { d.FailSeek = true; },
         {"[USB] write error while addressing communication sector!"}},
        // The device did not answer: the request comes back and is refused without a message.
        {"echo", [](TFakeDisk& d) { d.Echo = true; }, {}},
    };
    for (const Case& c : cases) {
        disks->Slots.clear();
        auto d = AddAmplifier("sdb");
        usb->Scan();
        logs.clear();
        i2cLogs.clear();
        c.fault(*d);
        TDeviceInfo info;
        info.FanRpm = 77;
        EXPECT_EQ(usb->GetDeviceInfo(0, info), TI2CResult::irTransferFailed) << c.what;
        EXPECT_EQ(info.FanRpm, 77) << c.what;
        EXPECT_EQ(logs, c.logs) << c.what;
        EXPECT_TRUE(i2cLogs.empty()) << c.what;
    }
}

TEST_F(USBTransportTest, AnswerOfAnEarlierRequestIsRefused) {
    auto d = AddAmplifier("sdb");
    std::vector<uint8_t> previous;
    d->Responder = [&previous, inner = Amplifier()](std::span<const uint8_t> request) {
        std::vector<uint8_t> answer = inner(request);
        std::swap(answer, previous);
        return answer.empty() ? previous : answer;
    };
    usb->Scan();
    TDeviceInfo info;
    EXPECT_EQ(usb->GetDeviceInfo(0, info), TI2CResult::irOK);
    EXPECT_EQ(usb->GetDeviceInfo(0, info), TI2CResult::irTransferFailed);
    // The counter went on all the same.
    EXPECT_EQ(d->CommandRequests().back()[24], 2);
}

TEST_F(USBTransportTest, VanishedDeviceFailsEveryCommand) {
    auto d = AddAmplifier("sdb");
    usb->Scan();
    d->Vanished = true;
    TDeviceInfo info;
    EXPECT_EQ(usb->GetDeviceInfo(0, info), TI2CResult::irTransferFailed);
    EXPECT_EQ(usb->SetFan(0, 1), TI2CResult::irTransferFailed);
}

TEST_F(USBTransportTest, BadIndexTextsOfTheUSBVariant) {
    AddAmplifier("sdb");
    usb->Scan();
    int32_t hz = 0;
    std::string list;
    TDeviceInfo info;
    EXPECT_EQ(usb->SetSCL(3, 100000), TI2CResult::irInvalidDevice);
    EXPECT_EQ(usb->ScanI2C(3, list), TI2CResult::irInvalidDevice);
    EXPECT_EQ(usb->GetSCL(3, hz), TI2CResult::irInvalidDevice);
    EXPECT_EQ(usb->WriteI2C(3, 0x20, "00"), TI2CResult::irInvalidDevice);
    EXPECT_EQ(i2cLogs, (std::vector<std::string>{"[I2C] invalid device: 03", "[I2C] invalid device: 03",
                                                 "[I2C] invalid device: 3", "[I2C] invalid device: 3"}));
    EXPECT_EQ(usb->GetDeviceInfo(-1, info), TI2CResult::irInvalidDevice);
    EXPECT_EQ(errors, (std::vector<std::string>{"[I2C] invalid device: -1"}));
}

TEST_F(USBTransportTest, DescriptiveTexts) {
    AddAmplifier("sdb");
    AddAmplifier("sdc");
    usb->Scan();
    std::string text;
    usb->GetDeviceName(1, text);
    EXPECT_EQ(text, "USB Device 2 (1)");
    usb->GetDeviceName(0, text);
    EXPECT_EQ(text, "USB Device 1 (0)");
    usb->GetVendor(0, text);
    EXPECT_EQ(text, "QRB GmbH");
    usb->GetModel(0, text);
    EXPECT_EQ(text, "QRB-730");
    usb->GetVersion(0, text);
    EXPECT_EQ(text, "1.0");
    EXPECT_EQ(usb->IsDeviceValid(1), 1);
    EXPECT_TRUE(errors.empty());
    usb->GetDeviceName(2, text);
    EXPECT_EQ(text, "<n/a>");
    EXPECT_EQ(usb->IsDeviceValid(2), 0);
    EXPECT_EQ(errors.size(), 2u);
    EXPECT_EQ(TI2CUSBControl::Kind, TInterfaceKind::ikUSB);
}

TEST_F(USBTransportTest, CommandsReachTheRightDisk) {
    auto a = AddAmplifier("sdb");
    auto b = AddAmplifier("sdc");
    usb->Scan();
    EXPECT_EQ(usb->SetFan(1, 2), TI2CResult::irOK);
    EXPECT_EQ(a->Commands, 0);
    ASSERT_EQ(b->Commands, 1);
    const auto r = b->CommandRequests().back();
    EXPECT_EQ(r[8], 0x06); // 0x20006
    EXPECT_EQ(r[10], 0x02);
    EXPECT_EQ(r[32], 2);
}

// Every operation reaches the device with its own command code.
TEST_F(USBTransportTest, EachOperationSendsItsCommand) {
    auto d = AddAmplifier("sdb");
    usb->Scan();
    TI2CBuffer buffer{};
    std::vector<uint8_t> bytes(4, 0);
    std::string text;
    std::vector<std::string> list;
    int32_t hz = 0;
    bool changed = false;
    TDeviceInfo info;
    TChannelInfoBlock block;
    TChannelInfo channelInfo;
    TDCDCInfo dcdc;
    TChannelCalibTable table;
    TMasterFlash flash;
    TDeviceADC8 adc8;
    TRegisterImage image;
    TFWVersion version;
    struct Case {
        const char* op;
        uint32_t command;
        std::function<void()> call;
    };
    const Case cases[] = {
        {"GetSCL", 0x10009, [&] { usb->GetSCL(0, hz); }},
        {"SetSCL", 0x10008, [&] { usb->SetSCL(0, 100000); }},
        {"ScanI2C", 0x10002, [&] { usb->ScanI2C(0, text); }},
        {"WriteI2C", 0x10003, [&] { usb->WriteI2C(0, 0x20, "0700"); }},
        {"WriteI2CBlock", 0x10003, [&] { usb->WriteI2CBlock(0, 0x20, bytes); }},
        {"ReadI2C", 0x10004, [&] { usb->ReadI2C(0, 0x20, 4, bytes); }},
        {"WriteReadI2C", 0x10003, [&] { usb->WriteReadI2C(0, 0x20, "07", 4, bytes); }},
        {"ScanI2CMux", 0x20005, [&] { usb->ScanI2CMux(0, list); }},
        {"WriteSeq", 0x20002, [&] { usb->WriteSeq(0, 1, buffer, 2, buffer); }},
        {"WriteChannel", 0x30011, [&] { usb->WriteChannel(0, 1, 2, image, buffer); }},
        {"SaveAllConfig", 0x30006, [&] { usb->SaveAllConfig(0, 0); }},
        {"GetDeviceInfo", 0x30001, [&] { usb->GetDeviceInfo(0, info); }},
        {"GetChannelInfo", 0x30007, [&] { usb->GetChannelInfo(0, block); }},
        {"SetChannelInfo", 0x30008, [&] { usb->SetChannelInfo(0, 1, channelInfo); }},
        {"GetDCDCInfo", 0x30009, [&] { usb->GetDCDCInfo(0, dcdc); }},
        {"SetDCDCInfo", 0x30010, [&] { usb->SetDCDCInfo(0, dcdc); }},
        {"SetDCDCClock", 0x20008, [&] { usb->SetDCDCClock(0, 1, 2, 3, 4, 5); }},
        {"GetChannelCalibTable", 0x30015, [&] { usb->GetChannelCalibTable(0, 1, table); }},
        {"GetMasterflash", 0x30002, [&] { usb->GetMasterflash(0, flash); }},
        {"SetMasterflash", 0x30003, [&] { usb->SetMasterflash(0, flash); }},
        {"GetDeviceADC8", 0x30017, [&] { usb->GetDeviceADC8(0, adc8, changed); }},
        {"SetMux", 0x20001, [&] { usb->SetMux(0, 1, 2, 5); }},
        {"SetFan", 0x20006, [&] { usb->SetFan(0, 1); }},
        {"SetIRQ", 0x20003, [&] { usb->SetIRQ(0, 2); }},
        {"GetDeviceLockState", 0x30019, [&] { usb->GetDeviceLockState(0); }},
        {"SetDeviceLockState", 0x30020, [&] { usb->SetDeviceLockState(0, true); }},
        {"GetFWVersion", 0x10000, [&] { usb->GetFWVersion(0, version, text); }},
    };
    for (const Case& c : cases) {
        const size_t before = d->CommandRequests().size();
        c.call();
        const auto requests = d->CommandRequests();
        ASSERT_EQ(requests.size(), before + 1) << c.op;
        const auto& r = requests.back();
        const uint32_t command = r[8] | r[9] << 8 | r[10] << 16 | static_cast<uint32_t>(r[11]) << 24;
        EXPECT_EQ(command, c.command) << c.op;
    }
}

// --- keep-alive --------------------------------------------------------------------------------

TEST_F(USBTransportTest, KeepAliveReportsTheFirstLostDeviceAndStops) {
    auto a = AddAmplifier("sdb");
    auto b = AddAmplifier("sdc");
    auto c = AddAmplifier("sdd");
    usb->Scan();
    logs.clear();

    loop.Advance(2000);
    EXPECT_EQ(a->InfoRequests, 2);
    EXPECT_EQ(b->InfoRequests, 2);
    EXPECT_EQ(c->InfoRequests, 2);
    EXPECT_TRUE(lost.empty());

    b->Holder = {192, 168, 0, 9}; // taken by another computer meanwhile
    loop.Advance(2000);
    EXPECT_EQ(a->InfoRequests, 3);
    EXPECT_EQ(b->InfoRequests, 3);
    EXPECT_EQ(c->InfoRequests, 2); // not checked in that tick
    EXPECT_EQ(lost, (std::vector<std::string>{"USB Device 2"}));
    EXPECT_EQ(logs, (std::vector<std::string>{"[USB] USB Device 2 is lost."}));
    EXPECT_FALSE(usb->KeepAlive());
    EXPECT_EQ(usb->MasterCount(), 3); // stays listed until the next scan

    loop.Advance(10000);
    EXPECT_EQ(a->InfoRequests, 3);
    EXPECT_EQ(lost.size(), 1u);
}

TEST_F(USBTransportTest, KeepAliveLosesAVanishedOrSilentDevice) {
    for (int fault = 0; fault < 2; ++fault) {
        disks->Slots.clear();
        lost.clear();
        auto d = AddAmplifier("sdb");
        usb->Scan();
        ASSERT_TRUE(usb->KeepAlive());
        if (fault == 0)
            d->Vanished = true;
        else
            d->SilentInfo = true;
        loop.Advance(2000);
        EXPECT_EQ(lost, (std::vector<std::string>{"USB Device 1"})) << fault;
        EXPECT_FALSE(usb->KeepAlive());
    }
}

TEST_F(USBTransportTest, LostHandlerMayCloseEverything) {
    auto a = AddAmplifier("sdb");
    AddAmplifier("sdc");
    usb->Scan();
    usb->OnDeviceLost = [this](const void*, const std::string& name) {
        lost.push_back(name);
        usb->CloseAll();
    };
    a->Vanished = true;
    loop.Advance(2000);
    EXPECT_EQ(lost, (std::vector<std::string>{"USB Device 1"}));
    EXPECT_EQ(usb->MasterCount(), 0);
}

TEST_F(USBTransportTest, KeepAliveRunsOnlyOnTheLoopsTicks) {
    auto d = AddAmplifier("sdb");
    usb->Scan();
    loop.Step();
    EXPECT_EQ(d->InfoRequests, 1);
    loop.Advance(1999);
    EXPECT_EQ(d->InfoRequests, 1);
    loop.Advance(1);
    EXPECT_EQ(d->InfoRequests, 2);
    usb->CloseAll();
    EXPECT_FALSE(usb->KeepAlive());
}

} // namespace
} // namespace qrb::device
