// The LAN transport against fake amplifiers over TCP on loopback.

#include "device/Format.h"
#include "device/lan/I2CLANControl.h"
#include "tests/support/ChipEmulations.h"
#include "tests/support/FakeLanAmplifier.h"
#include "tests/support/SilentLanTarget.h"
#include "tests/support/VirtualMainLoop.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <dirent.h>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

using namespace qrb::device;
using namespace qrb::test;

namespace {

size_t ThreadCount() {
    size_t n = 0;
    if (DIR* d = opendir("/proc/self/task")) {
        while (dirent* e = readdir(d))
            n += e->d_name[0] != '.';
        closedir(d);
    }
    return n;
}

TIRQMessage Notification(uint16_t word, uint8_t first) {
    TIRQMessage m;
    m.Magic = TIRQMessage::MagicValue;
    m.IRQWord = word;
    m.ChannelStatus = {first, 2, 3, 4, 5, 6, 7, 8};
    return m;
}

struct IRQSeen {
    int32_t Index;
    TIRQMessage Message;
};

class LanTransportTest : public ::testing::Test {
protected:
    void SetUp() override {
        lan = std::make_unique<TI2CLANControl>();
        lan->Deadlines.KnockMs = 500;
        lan->Deadlines.InfoConnectMs = 500;
        lan->Deadlines.InfoReceiveMs = 300;
        lan->Deadlines.AnswerMs = 300;
        lan->OnLog = [this](const void*, const std::string& t) { logs.push_back(t); };
        lan->OnI2CLog = [this](const void*, const std::string& t) { i2c.push_back(t); };
        lan->OnError = [this](const void*, const std::string& t) { errors.push_back(t); };
        lan->OnDeviceLost = [this](const void*, const std::string& t) { lost.push_back(t); };
        lan->OnIRQ = [this](const void* sender, int32_t index, const TIRQMessage* m) {
            EXPECT_EQ(sender, lan.get());
            irqs.push_back({index, *m});
        };
    }
    void TearDown() override { lan.reset(); }

    // Scans the given amplifiers; returns the device count.
    int32_t ScanOf(std::initializer_list<const TFakeLanAmplifier*> amps) {
        for (auto* a : amps)
            lan->ScanTargets.Add(a->Target());
        lan->Scan();
        // The kernel completes a connect before the fake accepts it: wait for the fake's side.
        for (auto* a : amps) {
            TI2CSocket* socket = lan->FindSocket(a->Address());
            if (socket != nullptr && socket->RemotePort() == std::to_string(a->DataPort())) {
                EXPECT_TRUE(a->WaitForDataConnections(1, 5000));
            }
        }
        return lan->MasterCount();
    }
    bool WaitPosted(size_t n = 1) {
        return WaitUntil([&] { return loop.PendingCount() >= n; });
    }

    TInstalledVirtualMainLoop loop;
    std::unique_ptr<TI2CLANControl> lan;
    std::vector<std::string> logs, i2c, errors, lost;
    std::vector<IRQSeen> irqs;
};

} // namespace

// ---- scan ------------------------------------------------------------------------------------------

TEST_F(LanTransportTest, ScanFindsAndNamesAFreeDevice) {
    TFakeLanAmplifier amp;
    const std::string port = std::to_string(amp.DataPort());
    ASSERT_EQ(ScanOf({&amp}), 1);
    EXPECT_EQ(lan->Masters[0].Name, "127.0.0.1");
    EXPECT_EQ(lan->Masters[0].Master->Index, 0);
    EXPECT_EQ(logs, (std::vector<std::string>{
                        "[LAN] scanning IP 127.0.0.1 at port " + port + " ...",
                        "[LAN] connected to 127.0.0.1 at port " + port + ".",
                        "[LAN] device found at 127.0.0.1. QRB730 device (series 3), serial is 04711",
                        "[LAN] device status: 1 device(s) found",
                    }));
    EXPECT_TRUE(lan->KeepAlive());
    // The knock, then the info request.
    EXPECT_TRUE(WaitUntil([&] { return amp.InfoConnectionCount() == 2; }));
    EXPECT_EQ(amp.InfoRequestCount(), 1u);
    EXPECT_EQ(amp.DataConnectionCount(), 1u);

    std::string text;
    lan->GetDeviceName(0, text);
    EXPECT_EQ(text, "ETH on 127.0.0.1:" + port);
    lan->GetVendor(0, text);
    EXPECT_EQ(text, "QRB GmbH");
    lan->GetModel(0, text);
    EXPECT_EQ(text, "QRB-730");
    lan->GetVersion(0, text);
    EXPECT_EQ(text, "1.0");
    EXPECT_EQ(lan->IsDeviceValid(0), 1);
    lan->GetDeviceName(1, text);
    EXPECT_EQ(text, "<n/a>");
    EXPECT_EQ(errors, std::vector<std::string>{"[I2C] invalid device: 1"});
}

TEST_F(LanTransportTest, NoTargetsClosesEverythingSilently) {
    TFakeLanAmplifier amp;
    ASSERT_EQ(ScanOf({&amp}), 1);
    lan->ScanTargets.Clear();
    logs.clear();
    EXPECT_FALSE(lan->Scan());
    EXPECT_TRUE(logs.empty());
    EXPECT_EQ(lan->MasterCount(), 0);
    EXPECT_FALSE(lan->KeepAlive());
    EXPECT_TRUE(amp.WaitForDataConnections(0, 5000));
}

TEST_F(LanTransportTest, TargetsAreScannedInSortedOrder) {
    TFakeAmpConfig c2, c3, c10;
    c2.Address = "127.0.0.2";
    c3.Address = "127.0.0.3";
    c10.Address = "127.0.0.10";
    c3.Serial = 33;
    TFakeLanAmplifier a3(c3), a10(c10), a2(c2);
    ASSERT_EQ(ScanOf({&a3, &a2, &a10}), 3);
    // Sorted as text: 127.0.0.10 before 127.0.0.2.
    EXPECT_EQ(lan->Masters[0].Name, "127.0.0.10");
    EXPECT_EQ(lan->Masters[1].Name, "127.0.0.2");
    EXPECT_EQ(lan->Masters[2].Name, "127.0.0.3");
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(lan->Masters[size_t(i)].Master->Index, i);
    EXPECT_NE(std::find(logs.begin(), logs.end(),
                        "[LAN] device found at 127.0.0.3. QRB730 device (series 3), serial is 00033"),
              logs.end());

    // Each command goes to its own device.
    TDeviceInfo info;
    EXPECT_EQ(lan->GetDeviceInfo(2, info), TI2CResult::irOK);
    EXPECT_EQ(a3.RequestCount(), 1u);
    EXPECT_EQ(a2.RequestCount(), 0u);
}

TEST_F(LanTransportTest, RefusedTargetsAreLoggedAndSkipped) {
    TFakeAmpConfig held;
    held.Address = "127.0.0.2";
    held.Holder = {192, 168, 0, 10};
    TFakeAmpConfig shortInfo;
    shortInfo.Address = "127.0.0.3";
    TFakeAmpConfig silent;
    silent.Address = "127.0.0.4";
    TFakeLanAmplifier aHeld(held), aShort(shortInfo), aSilent(silent);
    aShort.SetInfoAnswerBytes(75);
    aSilent.SetInfoSilent(true);
    std::string nobody;
    uint16_t freePort;
    {
        TFakeAmpConfig gone;
        gone.Address = "127.0.0.5";
        TFakeLanAmplifier aGone(gone);
        nobody = aGone.Target();
        freePort = aGone.InfoPort();
    }
    lan->ScanTargets.Add(nobody);
    EXPECT_EQ(ScanOf({&aHeld, &aShort, &aSilent}), 0);
    auto has = [&](const std::string& line) {
        return std::find(logs.begin(), logs.end(), line) != logs.end();
    };
    EXPECT_TRUE(has("[LAN] device found at 127.0.0.2. Device is already connected to 192.168.0.10"));
    EXPECT_TRUE(has("[LAN] no answer to info request at 127.0.0.3."));
    EXPECT_TRUE(has("[LAN] no answer to info request at 127.0.0.4."));
    EXPECT_TRUE(has("[LAN] no answer at 127.0.0.5 on port " + std::to_string(freePort) + "."));
    EXPECT_TRUE(has("[LAN] device status: 0 device(s) found"));
    EXPECT_FALSE(lan->KeepAlive());
    EXPECT_EQ(aHeld.DataConnectionCount(), 0u);
    EXPECT_EQ(aShort.DataConnectionCount(), 0u);
    EXPECT_EQ(aSilent.DataConnectionCount(), 0u);
}

TEST_F(LanTransportTest, PortEdgeCases) {
    struct Case {
        std::string target;
        std::vector<std::string> lines; // after the scanning line
    };
    const std::vector<Case> cases = {
        {"127.0.0.1:65534", {"[LAN] info reqeust error: invalid port 65535."}},
        {"127.0.0.1:-1", {"[LAN] info reqeust error: invalid port 0."}},
        {"127.0.0.1:x15",
         {"[LAN] info reqeust error: invalid port x15.", "[LAN] info reqeust error: invalid port 0."}},
        {"127.0.0.1",
         {"[LAN] info reqeust error: invalid port 127.0.0.1.", "[LAN] info reqeust error: invalid port 0."}},
    };
    for (const Case& c : cases) {
        lan->ScanTargets.Clear();
        lan->ScanTargets.Add(c.target);
        logs.clear();
        EXPECT_TRUE(lan->Scan());
        std::vector<std::string> expected;
        const std::string host = c.target.substr(0, c.target.find(':'));
        const std::string port =
            c.target.find(':') == std::string::npos ? c.target : c.target.substr(c.target.find(':') + 1);
        expected.push_back("[LAN] scanning IP " + host + " at port " + port + " ...");
        expected.insert(expected.end(), c.lines.begin(), c.lines.end());
        expected.push_back("[LAN] no answer to info request at " + host + ".");
        expected.push_back("[LAN] device status: 0 device(s) found");
        EXPECT_EQ(logs, expected) << c.target;
    }
}

TEST_F(LanTransportTest, SecondTargetOnAConnectedHostIsSkipped) {
    TFakeLanAmplifier first, second;
    ASSERT_EQ(ScanOf({&first, &second}), 1);
    const TFakeLanAmplifier& skipped = first.Target() < second.Target() ? second : first;
    EXPECT_NE(std::find(logs.begin(), logs.end(),
                        "[LAN] target " + skipped.Target() + " skipped: 127.0.0.1 is already connected."),
              logs.end());
    EXPECT_LE(skipped.InfoConnectionCount(), 1u); // at most the knock ahead of the walk
    EXPECT_EQ(skipped.InfoRequestCount(), 0u);
    EXPECT_EQ(skipped.DataConnectionCount(), 0u);
}

// Ports of one address that do not answer share one knock window with the live port behind
// them: every port is knocked before the first target is asked.
TEST_F(LanTransportTest, EveryPortOfAnAddressIsKnockedAhead) {
    TSilentLanTarget silent1("127.0.4.30"), silent2("127.0.4.30");
    TFakeAmpConfig c;
    c.Address = "127.0.4.30";
    c.DataPort = 65000; // sorts after the silent targets' ephemeral ports
    TFakeLanAmplifier live(c);
    ASSERT_LT(silent1.Target(), live.Target());
    ASSERT_LT(silent2.Target(), live.Target());
    bool knockedAhead = false;
    lan->OnLog = [&](const void*, const std::string& t) {
        if (logs.empty()) knockedAhead = WaitUntil([&] { return live.InfoConnectionCount() == 1; }, 2000);
        logs.push_back(t);
    };
    lan->ScanTargets.Add(silent1.Target());
    lan->ScanTargets.Add(silent2.Target());
    ASSERT_EQ(ScanOf({&live}), 1);
    EXPECT_TRUE(knockedAhead);

    const TSilentLanTarget& a = silent1.Target() < silent2.Target() ? silent1 : silent2;
    const TSilentLanTarget& b = &a == &silent1 ? silent2 : silent1;
    std::vector<std::string> expected;
    for (const TSilentLanTarget* s : {&a, &b}) {
        expected.push_back("[LAN] scanning IP 127.0.4.30 at port " + std::to_string(s->DataPort()) + " ...");
        expected.push_back("[LAN] no answer at 127.0.4.30 on port " + std::to_string(s->InfoPort()) + ".");
        expected.push_back("[LAN] no answer to info request at 127.0.4.30.");
    }
    expected.push_back("[LAN] scanning IP 127.0.4.30 at port 65000 ...");
    expected.push_back("[LAN] connected to 127.0.4.30 at port 65000.");
    expected.push_back("[LAN] device found at 127.0.4.30. QRB730 device (series 3), serial is 04711");
    expected.push_back("[LAN] device status: 1 device(s) found");
    EXPECT_EQ(logs, expected);
    EXPECT_EQ(live.InfoConnectionCount(), 2u); // the knock and the info request
}

TEST_F(LanTransportTest, DataConnectionRefusedAfterTheInfoAnswer) {
    TFakeLanAmplifier amp;
    amp.SetDataListening(false);
    EXPECT_EQ(ScanOf({&amp}), 0);
    EXPECT_NE(std::find(logs.begin(), logs.end(), "[LAN] no device found at 127.0.0.1."), logs.end());
    EXPECT_EQ(amp.InfoRequestCount(), 1u);
    EXPECT_EQ(lan->SocketCount(), 0u);
    EXPECT_FALSE(lan->KeepAlive());
}

// Every kind of target in one scan: the lines and the devices come in the sorted order of the
// targets, though every info port is knocked before the first target is asked.
TEST_F(LanTransportTest, AMixOfTargetsKeepsItsLinesAndOrder) {
    auto config = [](const char* address, int32_t serial) {
        TFakeAmpConfig c;
        c.Address = address;
        c.Serial = serial;
        return c;
    };
    TFakeLanAmplifier live2(config("127.0.0.2", 2)), live6(config("127.0.0.6", 6));
    TFakeLanAmplifier second6(config("127.0.0.6", 66)), shortInfo(config("127.0.0.8", 8));
    TFakeLanAmplifier live9(config("127.0.0.9", 9));
    TFakeAmpConfig takenConfig = config("127.0.0.5", 5);
    takenConfig.Holder = {192, 168, 0, 10};
    TFakeLanAmplifier taken(takenConfig);
    TFakeAmpConfig invalidConfig = config("127.0.0.7", 7);
    invalidConfig.DataPort = 65534; // info port 65535
    TFakeLanAmplifier invalid(invalidConfig);
    shortInfo.SetInfoAnswerBytes(75);
    TSilentLanTarget silent("127.0.0.3");
    std::string refused;
    {
        TFakeLanAmplifier gone(config("127.0.0.4", 4));
        refused = gone.Target();
    }
    // Port 1 sorts before live9's port: refused; live9 on the same host is knocked ahead as well.
    const std::string refused9 = "127.0.0.9:1";
    const TFakeLanAmplifier& first6 = live6.Target() < second6.Target() ? live6 : second6;
    const TFakeLanAmplifier& skipped6 = &first6 == &live6 ? second6 : live6;

    // When the first target is logged, a later live target has been knocked already.
    bool knockedAhead = false;
    lan->OnLog = [&](const void*, const std::string& t) {
        if (logs.empty())
            knockedAhead = WaitUntil([&] { return live9.InfoConnectionCount() == 1; }, 2000) &&
                           WaitUntil([&] { return first6.InfoConnectionCount() == 1; }, 2000);
        logs.push_back(t);
    };
    for (const std::string& target : {silent.Target(), refused, refused9, invalid.Target()})
        lan->ScanTargets.Add(target);
    ASSERT_EQ(ScanOf({&live2, &live6, &second6, &shortInfo, &live9, &taken}), 3);
    EXPECT_TRUE(knockedAhead);

    auto port = [](const std::string& target) { return target.substr(target.find(':') + 1); };
    auto found = [](const TFakeLanAmplifier& a, int32_t serial) {
        return std::vector<std::string>{
            "[LAN] connected to " + a.Address() + " at port " + std::to_string(a.DataPort()) + ".",
            "[LAN] device found at " + a.Address() + ". QRB730 device (series 3), serial is " +
                Format("%5.5d", serial)};
    };
    std::vector<std::string> expected;
    auto add = [&](std::vector<std::string> lines) {
        expected.insert(expected.end(), lines.begin(), lines.end());
    };
    auto scanning = [](const std::string& host, const std::string& port) {
        return "[LAN] scanning IP " + host + " at port " + port + " ...";
    };
    add({scanning("127.0.0.2", port(live2.Target()))});
    add(found(live2, 2));
    add({scanning("127.0.0.3", port(silent.Target())),
         "[LAN] no answer at 127.0.0.3 on port " + std::to_string(silent.InfoPort()) + ".",
         "[LAN] no answer to info request at 127.0.0.3."});
    add({scanning("127.0.0.4", port(refused)),
         "[LAN] no answer at 127.0.0.4 on port " + std::to_string(std::stoi(port(refused)) + 1) + ".",
         "[LAN] no answer to info request at 127.0.0.4."});
    add({scanning("127.0.0.5", port(taken.Target())),
         "[LAN] device found at 127.0.0.5. Device is already connected to 192.168.0.10"});
    add({scanning("127.0.0.6", port(first6.Target()))});
    add(found(first6, &first6 == &live6 ? 6 : 66));
    add({scanning("127.0.0.6", port(skipped6.Target())),
         "[LAN] target " + skipped6.Target() + " skipped: 127.0.0.6 is already connected."});
    add({scanning("127.0.0.7", "65534"), "[LAN] info reqeust error: invalid port 65535.",
         "[LAN] no answer to info request at 127.0.0.7."});
    add({scanning("127.0.0.8", port(shortInfo.Target())), "[LAN] no answer to info request at 127.0.0.8."});
    add({scanning("127.0.0.9", "1"), "[LAN] no answer at 127.0.0.9 on port 2.",
         "[LAN] no answer to info request at 127.0.0.9."});
    add({scanning("127.0.0.9", port(live9.Target()))});
    add(found(live9, 9));
    add({"[LAN] device status: 3 device(s) found"});
    EXPECT_EQ(logs, expected);

    ASSERT_EQ(lan->MasterCount(), 3);
    const std::vector<std::string> names = {"127.0.0.2", "127.0.0.6", "127.0.0.9"};
    for (size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(lan->Masters[i].Name, names[i]);
        EXPECT_EQ(lan->Masters[i].Master->Index, int32_t(i));
    }
    EXPECT_EQ(invalid.InfoConnectionCount(), 0u);  // never knocked
    EXPECT_LE(skipped6.InfoConnectionCount(), 1u); // the knock ahead, no info request
    EXPECT_EQ(skipped6.InfoRequestCount(), 0u);
    EXPECT_EQ(live2.InfoConnectionCount(), 2u); // the knock and the info request
    EXPECT_EQ(live9.InfoConnectionCount(), 2u);
    EXPECT_EQ(taken.DataConnectionCount() + shortInfo.DataConnectionCount(), 0u);
    EXPECT_TRUE(lan->KeepAlive());
}

// ---- commands ------------------------------------------------------------------------------------

TEST_F(LanTransportTest, CommandsRoundTripThroughTheFake) {
    TFakeAmpConfig c;
    c.Channels = 4;
    TFakeLanAmplifier amp(c);
    ASSERT_EQ(ScanOf({&amp}), 1);

    TDeviceInfo info;
    ASSERT_EQ(lan->GetDeviceInfo(0, info), TI2CResult::irOK);
    EXPECT_EQ(info.AvailableChannels, 4);
    EXPECT_EQ(info.State, 2);

    TRegisterImage image;
    for (size_t i = 0; i < kImageWords; ++i)
        image.Words[i] = uint16_t(0x1111 * (i + 1));
    TI2CBuffer answer{};
    ASSERT_EQ(lan->WriteChannel(0, 2, 99, image, answer), TI2CResult::irOK);
    EXPECT_EQ(amp.StoredImage(2), image);
    EXPECT_EQ(amp.StoredADC8LowVal(2), 99);
    TChannelInfoBlock block;
    ASSERT_EQ(lan->GetChannelInfo(0, block), TI2CResult::irOK);
    EXPECT_EQ(block.Slots[2].Current, image);
    EXPECT_EQ(block.Slots[2].ADC8LowVal, 99);
    EXPECT_EQ(block.Slots[3].Present, 1);
    EXPECT_EQ(block.Slots[4].Present, 0);

    EXPECT_EQ(lan->SetDeviceLockState(0, true), TI2CResult::irOK);
    EXPECT_TRUE(lan->GetDeviceLockState(0));
    EXPECT_TRUE(amp.Locked());
    EXPECT_EQ(lan->SetFan(0, 3), TI2CResult::irOK);
    EXPECT_EQ(amp.FanSpeed(), 3);
    EXPECT_EQ(lan->SetIRQ(0, 2), TI2CResult::irOK);
    EXPECT_EQ(amp.IRQMode(), 2);
    int32_t hz = 0;
    EXPECT_EQ(lan->SetSCL(0, 100000), TI2CResult::irOK);
    EXPECT_EQ(lan->GetSCL(0, hz), TI2CResult::irOK);
    EXPECT_EQ(hz, 100000);
    std::string list;
    EXPECT_EQ(lan->ScanI2C(0, list), TI2CResult::irOK);
    EXPECT_EQ(list, "24,32,33,34,37,42,36,43,44,35,84,81,86,87,88,112,113,114");
    std::vector<std::string> lines;
    EXPECT_EQ(lan->ScanI2CMux(0, lines), TI2CResult::irOK);
    EXPECT_EQ(lines, (std::vector<std::string>{"00", "01", "02", "03"}));
    TFWVersion fw;
    lan->GetFWVersion(0, fw, list);
    EXPECT_EQ(list, "FW: 2.6.9.666");

    // I2C through the multiplexers to slot 1's expander at 0x20 and back.
    EXPECT_EQ(lan->SetMux(0, 0, 1, 4), TI2CResult::irOK);
    EXPECT_EQ(lan->WriteI2C(0, 0x20, "02A55A"), TI2CResult::irOK);
    std::array<uint8_t, 2> in{};
    EXPECT_EQ(lan->WriteReadI2C(0, 0x20, "00", 2, in), TI2CResult::irOK);
    EXPECT_EQ(in, (std::array<uint8_t, 2>{0x5A, 0xA5})); // input port 2 first
    auto writes = amp.ChipWrites();
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(writes[0].Slot, 1);
    EXPECT_EQ(writes[0].Address, 0x20);
    EXPECT_EQ(writes[0].Bytes, (std::vector<uint8_t>{0x02, 0xA5, 0x5A}));
    EXPECT_TRUE(errors.empty());
}

// A chip of a slot that follows the channel's image; it only records what it is handed.
class TImageRecorder : public TSimChip, public TChannelImageSink {
public:
    void Write(std::span<const uint8_t>) override {}
    size_t Read(std::span<uint8_t>) override { return 0; }
    void ImageStored(const TRegisterImage& image) override {
        std::lock_guard<std::mutex> lock(mutex_);
        images_.push_back(image);
    }
    std::vector<TRegisterImage> Images() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return images_;
    }

private:
    mutable std::mutex mutex_; // the fake's server thread hands the images
    std::vector<TRegisterImage> images_;
};

TEST_F(LanTransportTest, ChipsOfASlotFollowTheImageItStores) {
    TFakeAmpConfig c;
    c.Channels = 4;
    TFakeLanAmplifier amp(c);
    TImageRecorder slot2, otherSlot, deviceLevel;
    amp.SetChip(2, 0x68, &slot2);
    amp.SetChip(1, 0x68, &otherSlot);
    amp.SetChip(-1, 0x50, &deviceLevel);
    ASSERT_EQ(ScanOf({&amp}), 1);

    TRegisterImage image;
    for (size_t i = 0; i < kImageWords; ++i)
        image.Words[i] = uint16_t(0x0101 * (i + 3));
    TI2CBuffer answer{};
    ASSERT_EQ(lan->WriteChannel(0, 2, 99, image, answer), TI2CResult::irOK);
    // A refused write (no such slot) stores nothing and hands nothing on.
    EXPECT_NE(lan->WriteChannel(0, 6, 99, image, answer), TI2CResult::irOK);
    EXPECT_EQ(slot2.Images(), (std::vector<TRegisterImage>{image}));
    EXPECT_TRUE(otherSlot.Images().empty());
    EXPECT_TRUE(deviceLevel.Images().empty());

    amp.SetChip(2, 0x68, nullptr);
    ASSERT_EQ(lan->WriteChannel(0, 2, 99, TRegisterImage{}, answer), TI2CResult::irOK);
    EXPECT_EQ(slot2.Images().size(), 1u);
}

TEST_F(LanTransportTest, WriteChannelVerifyFailureCarriesTheDevicesWords) {
    TFakeLanAmplifier amp;
    ASSERT_EQ(ScanOf({&amp}), 1);
    TFakeFault f;
    f.Code = 0x30011;
    f.Status = -6;
    f.VerifyWords = {0x0001, 0x8000, 0, 0, 0, 0, 0, 0x0FFF};
    amp.AddFault(f);
    TRegisterImage image;
    TI2CBuffer answer{};
    EXPECT_EQ(lan->WriteChannel(0, 0, 124, image, answer), TI2CResult::irDeviceError);
    EXPECT_TRUE(i2c.empty()); // the device's text is at level 2
    lan->I2CLogLevel = 2;
    answer.fill(0);
    amp.AddFault(f);
    EXPECT_EQ(lan->WriteChannel(0, 0, 124, image, answer), TI2CResult::irDeviceError);
    EXPECT_EQ(i2c, std::vector<std::string>{"[I2C] Biterror on init relay sequence on channel!"});
    EXPECT_EQ(answer[0], 0x01);
    EXPECT_EQ(answer[3], 0x80);
    EXPECT_EQ(answer[14], 0xFF);
    EXPECT_EQ(answer[15], 0x0F);
    EXPECT_EQ(answer[16], 0x00);
}

TEST_F(LanTransportTest, FragmentedAnswersAreTakenWhole) {
    TFakeLanAmplifier amp;
    ASSERT_EQ(ScanOf({&amp}), 1);
    const std::vector<std::vector<size_t>> splits = {{1}, {3, 1}, {4, 700}, {1431}, {16, 16}};
    for (const auto& split : splits) {
        TFakeFault f;
        f.Split = split;
        f.SplitGapMs = 15;
        amp.AddFault(f);
        TDeviceInfo info;
        EXPECT_EQ(lan->GetDeviceInfo(0, info), TI2CResult::irOK) << split[0];
        EXPECT_EQ(info.Parts, 127);
    }
}

TEST_F(LanTransportTest, SilentDeviceTimesOutAndALateAnswerIsDropped) {
    TFakeLanAmplifier amp;
    ASSERT_EQ(ScanOf({&amp}), 1);
    TDeviceInfo info;
    TFakeFault drop;
    drop.Drop = true;
    amp.AddFault(drop);
    EXPECT_EQ(lan->GetDeviceInfo(0, info), TI2CResult::irNoAnswer);

    TFakeFault late;
    late.DelayMs = 500; // after the 300 ms wait
    amp.AddFault(late);
    EXPECT_EQ(lan->GetDeviceInfo(0, info), TI2CResult::irNoAnswer);
    // The next request meets the late answer first, drops it and takes its own.
    EXPECT_EQ(lan->GetDeviceInfo(0, info), TI2CResult::irOK);
    auto requests = amp.Requests();
    ASSERT_EQ(requests.size(), 3u);
    for (uint32_t i = 0; i < 3; ++i)
        EXPECT_EQ(requests[i].SeqLow, i + 1);
    EXPECT_EQ(lan->Commands().Answer().SeqLow(), 3u);
    EXPECT_TRUE(i2c.empty());
}

TEST_F(LanTransportTest, RefusedAnswersGiveNoAnswer) {
    TFakeLanAmplifier amp;
    ASSERT_EQ(ScanOf({&amp}), 1);
    TFakeFault direction;
    direction.Direction = 0x02020401;
    TFakeFault newer;
    newer.SequenceOffset = 1;
    TFakeFault length;
    length.PayloadLength = 40;
    amp.AddFault(direction);
    amp.AddFault(newer);
    amp.AddFault(length);
    TDeviceInfo info;
    EXPECT_EQ(lan->GetDeviceInfo(0, info), TI2CResult::irNoAnswer);
    EXPECT_EQ(lan->GetDeviceInfo(0, info), TI2CResult::irNoAnswer);
    EXPECT_EQ(lan->GetDeviceInfo(0, info), TI2CResult::irUnknownAnswer);
    EXPECT_EQ(i2c, std::vector<std::string>{"[I2C] Unknown answer to GetDeviceInfo command!"});
    EXPECT_EQ(lan->GetDeviceInfo(0, info), TI2CResult::irOK);
}

TEST_F(LanTransportTest, CounterStartsAgainAfterARescan) {
    TFakeLanAmplifier amp;
    ASSERT_EQ(ScanOf({&amp}), 1);
    TDeviceInfo info;
    lan->GetDeviceInfo(0, info);
    lan->GetDeviceInfo(0, info);
    lan->Scan();
    lan->GetDeviceInfo(0, info);
    auto requests = amp.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[1].SeqLow, 2u);
    EXPECT_EQ(requests[2].SeqLow, 1u);
    EXPECT_EQ(requests[2].SeqHigh, 0u);
    EXPECT_EQ(amp.DataConnectionCount(), 2u);
}

TEST_F(LanTransportTest, NoDeviceEntryAndBadIndex) {
    TDeviceInfo info;
    EXPECT_EQ(lan->GetDeviceInfo(0, info), TI2CResult::irInvalidDevice);
    EXPECT_EQ(errors, std::vector<std::string>{"[I2C] invalid device: 0"});
    EXPECT_EQ(lan->IsDeviceValid(0), 0);
}

// ---- notifications ----------------------------------------------------------------------------------

TEST_F(LanTransportTest, NotificationsReachTheMainThreadInOrder) {
    TFakeAmpConfig c2;
    c2.Address = "127.0.0.2";
    TFakeLanAmplifier a1, a2(c2);
    ASSERT_EQ(ScanOf({&a1, &a2}), 2);

    a2.SendNotification(Notification(0xFEFF, 1));
    ASSERT_TRUE(WaitPosted(1));
    EXPECT_TRUE(irqs.empty()); // nothing runs on the reader thread
    loop.Step();
    ASSERT_EQ(irqs.size(), 1u);
    EXPECT_EQ(irqs[0].Index, 1);
    EXPECT_EQ(irqs[0].Message.IRQWord, 0xFEFF);
    EXPECT_EQ(irqs[0].Message.ChannelStatus[0], 1);

    // Three interrupts of distinct codes (no alarm bit clear), so none is merged into another.
    a1.SendNotification(Notification(0x1511, 9), {4}, 30); // 4 + 12
    ASSERT_TRUE(WaitPosted(1));
    a1.SendTwoNotifications(Notification(0x2522, 10), Notification(0x3533, 11));
    ASSERT_TRUE(WaitPosted(3));
    loop.Step();
    ASSERT_EQ(irqs.size(), 4u);
    EXPECT_EQ(irqs[1].Index, 0);
    EXPECT_EQ(irqs[1].Message.IRQWord, 0x1511);
    EXPECT_EQ(irqs[2].Message.IRQWord, 0x2522);
    EXPECT_EQ(irqs[3].Message.IRQWord, 0x3533);
}

TEST_F(LanTransportTest, NotificationDuringACommandComesAfterIt) {
    TFakeLanAmplifier amp;
    ASSERT_EQ(ScanOf({&amp}), 1);
    TFakeFault f;
    f.NotifyBefore = Notification(0x4444, 1);
    f.Split = {2};
    amp.AddFault(f);
    TDeviceInfo info;
    EXPECT_EQ(lan->GetDeviceInfo(0, info), TI2CResult::irOK);
    EXPECT_TRUE(irqs.empty());
    ASSERT_TRUE(WaitPosted(1));
    loop.Step();
    ASSERT_EQ(irqs.size(), 1u);
    EXPECT_EQ(irqs[0].Message.IRQWord, 0x4444);
}

// The requesting thread reads its own answer; what arrives with it is passed on at once, and
// the reader thread watches again once the request is over.
TEST_F(LanTransportTest, NotificationsAroundARequestAreNotHeldBack) {
    TFakeLanAmplifier amp;
    ASSERT_EQ(ScanOf({&amp}), 1);
    TFakeFault f;
    f.NotifyAfter = Notification(0x4545, 1);
    amp.AddFault(f);
    TDeviceInfo info;
    EXPECT_EQ(lan->GetDeviceInfo(0, info), TI2CResult::irOK);
    ASSERT_TRUE(WaitPosted(1)); // no further bytes come to push it out
    loop.Step();
    // The first piece wakes the reader thread during the request.
    TFakeFault split;
    split.Split = {16};
    amp.AddFault(split);
    ASSERT_EQ(lan->GetDeviceInfo(0, info), TI2CResult::irOK);
    amp.SendNotification(Notification(0x4646, 2));
    ASSERT_TRUE(WaitPosted(1));
    loop.Step();
    ASSERT_EQ(irqs.size(), 2u);
    EXPECT_EQ(irqs[0].Message.IRQWord, 0x4545);
    EXPECT_EQ(irqs[1].Message.IRQWord, 0x4646);
}

TEST_F(LanTransportTest, PartialHeadIsKeptUntilTheRestArrives) {
    TFakeLanAmplifier amp;
    ASSERT_EQ(ScanOf({&amp}), 1);
    std::vector<uint8_t> bytes(16);
    Notification(0x5555, 1).Encode(bytes.data());
    amp.SendRaw({bytes.begin(), bytes.begin() + 2});
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    amp.SendRaw({bytes.begin() + 2, bytes.end()});
    ASSERT_TRUE(WaitPosted(1));
    loop.Step();
    ASSERT_EQ(irqs.size(), 1u);
    EXPECT_EQ(irqs[0].Message.IRQWord, 0x5555);
    TDeviceInfo info;
    EXPECT_EQ(lan->GetDeviceInfo(0, info), TI2CResult::irOK); // the stream is still in step
}

TEST_F(LanTransportTest, NotificationFromBeforeARescanIsDropped) {
    TFakeLanAmplifier amp;
    ASSERT_EQ(ScanOf({&amp}), 1);
    amp.SendNotification(Notification(0x6666, 1));
    ASSERT_TRUE(WaitPosted(1));
    lan->Scan();
    loop.Step();
    EXPECT_TRUE(irqs.empty());
}

// ---- loss ---------------------------------------------------------------------------------------------

TEST_F(LanTransportTest, KeepAliveKnocksOnTheMainLoopAndReportsALossOnce) {
    TFakeAmpConfig c2;
    c2.Address = "127.0.0.2";
    TFakeLanAmplifier a1, a2(c2);
    ASSERT_EQ(ScanOf({&a1, &a2}), 2);
    ASSERT_TRUE(WaitUntil([&] { return a1.InfoConnectionCount() == 2 && a2.InfoConnectionCount() == 2; }));
    const size_t knocks = a1.InfoConnectionCount();
    loop.Advance(2000);
    EXPECT_TRUE(WaitUntil([&] { return a1.InfoConnectionCount() == knocks + 1; }));
    EXPECT_TRUE(lost.empty());

    a1.SetInfoListening(false);
    ASSERT_TRUE(WaitUntil([&] { return a2.InfoConnectionCount() == 3; }));
    const size_t knocks2 = a2.InfoConnectionCount();
    loop.Advance(2000);
    EXPECT_EQ(lost, std::vector<std::string>{"127.0.0.1"});
    EXPECT_FALSE(lan->KeepAlive());
    EXPECT_EQ(a2.InfoConnectionCount(), knocks2); // no further knock in that tick
    EXPECT_EQ(lan->MasterCount(), 2);             // listed until the next scan
    loop.Advance(4000);
    EXPECT_EQ(lost.size(), 1u);
}

TEST_F(LanTransportTest, ResetEndOfStreamAndUnknownHeadEndTheConnection) {
    struct Case {
        const char* what;
        std::function<void(TFakeLanAmplifier&)> act;
    };
    const Case cases[] = {
        {"reset", [](TFakeLanAmplifier& a) { a.ResetConnections(); }},
        {"end of stream", [](TFakeLanAmplifier& a) { a.CloseConnections(); }},
        {"unknown head",
         [](TFakeLanAmplifier& a) {
             a.SendRaw({0x01, 0x02, 0x03, 0x04, 0x05});
         }},
    };
    for (const Case& c : cases) {
        TFakeLanAmplifier amp;
        lan->ScanTargets.Clear();
        lost.clear();
        ASSERT_EQ(ScanOf({&amp}), 1) << c.what;
        c.act(amp);
        ASSERT_TRUE(WaitPosted(1)) << c.what;
        loop.Step();
        EXPECT_EQ(lost, std::vector<std::string>{"127.0.0.1"}) << c.what;
        EXPECT_FALSE(lan->KeepAlive()) << c.what;
        EXPECT_EQ(lan->MasterCount(), 1) << c.what;
        const size_t before = amp.RequestCount();
        TDeviceInfo info;
        EXPECT_EQ(lan->GetDeviceInfo(0, info), TI2CResult::irNoAnswer) << c.what;
        EXPECT_EQ(amp.RequestCount(), before) << c.what; // nothing was sent
        loop.Advance(2000);
        EXPECT_EQ(lost.size(), 1u) << c.what;
    }
}

// The model rescans from its loss handler: the name it is handed outlives the connection.
TEST_F(LanTransportTest, LossHandlerMayRescan) {
    struct Case {
        const char* what;
        std::function<void(TFakeLanAmplifier&)> lose;
    };
    const Case cases[] = {
        {"reader's loss",
         [this](TFakeLanAmplifier& a) {
             a.ResetConnections();
             ASSERT_TRUE(WaitPosted(1));
             loop.Step();
         }},
        {"failed knock",
         [this](TFakeLanAmplifier& a) {
             a.SetInfoListening(false);
             loop.Advance(2000);
         }},
    };
    for (const Case& c : cases) {
        TFakeLanAmplifier amp;
        lan->ScanTargets.Clear();
        lost.clear();
        ASSERT_EQ(ScanOf({&amp}), 1) << c.what;
        lan->OnDeviceLost = [this](const void*, const std::string& name) {
            lan->Scan();
            lost.push_back(name);
        };
        c.lose(amp);
        EXPECT_EQ(lost, std::vector<std::string>{"127.0.0.1"}) << c.what;
        lan->OnDeviceLost = [this](const void*, const std::string& t) { lost.push_back(t); };
        lan->CloseAll();
    }
}

TEST_F(LanTransportTest, SendingToAClosedPeerNeverRaisesSigpipe) {
    auto previous = std::signal(SIGPIPE, SIG_DFL); // a SIGPIPE would end the test process
    {
        TFakeLanAmplifier amp;
        ASSERT_EQ(ScanOf({&amp}), 1);
        amp.ResetConnections();
        ASSERT_TRUE(amp.WaitForDataConnections(0, 5000));
        TDeviceInfo info;
        for (int i = 0; i < 20; ++i)
            EXPECT_EQ(lan->GetDeviceInfo(0, info), TI2CResult::irNoAnswer);
    }
    std::signal(SIGPIPE, previous);
}

// ---- closing -------------------------------------------------------------------------------------------

TEST_F(LanTransportTest, CloseAllAndDestructionLeaveNoThread) {
    const size_t threadsBefore = ThreadCount();
    {
        TFakeAmpConfig c2;
        c2.Address = "127.0.0.2";
        TFakeLanAmplifier a1, a2(c2);
        const size_t withFakes = ThreadCount();
        ASSERT_EQ(ScanOf({&a1, &a2}), 2);
        EXPECT_EQ(ThreadCount(), withFakes + 2); // one reader per connection
        EXPECT_TRUE(lan->CloseAll());
        EXPECT_EQ(ThreadCount(), withFakes);
        EXPECT_EQ(lan->MasterCount(), 0);
        EXPECT_TRUE(a1.WaitForDataConnections(0, 5000));
        EXPECT_TRUE(a2.WaitForDataConnections(0, 5000));

        ASSERT_EQ(ScanOf({&a1, &a2}), 2);
        a1.SendNotification(Notification(0x7777, 1));
        ASSERT_TRUE(WaitPosted(1));
        lan.reset(); // with connections open and a notification queued
        EXPECT_EQ(ThreadCount(), withFakes);
        loop.Step(); // the queued notification dies with the transport
        EXPECT_TRUE(a1.WaitForDataConnections(0, 5000));
    }
    EXPECT_EQ(ThreadCount(), threadsBefore);
    EXPECT_TRUE(irqs.empty());
}
