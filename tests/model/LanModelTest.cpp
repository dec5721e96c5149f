// The model over the LAN transport of the default factory, against two fake amplifiers over
// TCP on loopback: the scan, a commit that one device refuses, and device operations.

#include "model/I2CTranslator.h"
#include "tests/support/FakeLanAmplifier.h"
#include "tests/support/LanTestTransports.h"
#include "tests/support/VirtualMainLoop.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace qrb::test {
namespace {

constexpr uint32_t kWriteChannel = 0x30011;
constexpr uint32_t kSaveAllConfig = 0x30006;
constexpr uint32_t kSetFan = 0x20006;
constexpr uint32_t kSetLock = 0x30020;

class LanModel : public ::testing::Test {
protected:
    void SetUp() override {
        t = std::make_unique<model::TI2CTranslator>(device::kMaskLAN, false, DefaultTransportsWithoutUSB());
        t->OnConfigComplete = [this](const void*) { events.push_back("ConfigComplete"); };
        t->OnError = [this](const void*, const std::string& s) { events.push_back("Error: " + s); };
        t->OnTranslatorLog = [this](const void*, const std::string& s) { events.push_back("Log: " + s); };
        // Two amplifiers of 3 and 2 channels: channels 0..2 are device 0, 3..4 device 1.
        t->AddScanTarget(amp2->Target(), device::kMaskLAN);
        t->AddScanTarget(amp1->Target(), device::kMaskLAN);
        ASSERT_EQ(t->Rescan(), 5);
        events.clear();
    }
    void TearDown() override { t.reset(); }

    model::TQRBRawChannel& Ch(int i) { return *t->GetChannel(i); }
    // The commands an amplifier received from request number from on, with their first
    // payload byte.
    static std::vector<std::pair<uint32_t, uint8_t>> Commands(const TFakeLanAmplifier& amp, size_t from) {
        std::vector<std::pair<uint32_t, uint8_t>> out;
        auto requests = amp.Requests();
        for (size_t i = from; i < requests.size(); ++i)
            out.push_back(
                {requests[i].Command, requests[i].Payload.empty() ? uint8_t{0} : requests[i].Payload[0]});
        return out;
    }
    static uint8_t OtherGain(uint8_t gain) { return gain == 3 ? 4 : 3; }

    TInstalledVirtualMainLoop loop;
    std::unique_ptr<TFakeLanAmplifier> amp1 = MakeFakeAmp("127.0.0.1", 3), amp2 = MakeFakeAmp("127.0.0.2", 2);
    std::unique_ptr<model::TI2CTranslator> t;
    std::vector<std::string> events;
};

TEST_F(LanModel, ScanBuildsTheChannelsFromWhatTheDevicesHold) {
    EXPECT_EQ(t->MasterCount(), 2);
    ASSERT_EQ(t->ChannelCount(), 5);
    const int devices[] = {0, 0, 0, 1, 1};
    const int slots[] = {0, 1, 2, 0, 1};
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(Ch(i).Device, devices[i]);
        EXPECT_EQ(Ch(i).Slot, slots[i]);
        EXPECT_TRUE(Ch(i).Present);
        EXPECT_EQ(Ch(i).Kind, device::TInterfaceKind::ikLAN);
        const TFakeLanAmplifier& amp = devices[i] == 0 ? *amp1 : *amp2;
        EXPECT_EQ(Ch(i).Current.Image, amp.StoredImage(slots[i]));
    }
    EXPECT_EQ(t->HAL->GetDevice(1)->DeviceName, "ETH on 127.0.0.2:" + std::to_string(amp2->DataPort()));
}

TEST_F(LanModel, RefusedChannelIsRestoredInTheDeviceAndItsBitsReported) {
    const device::TChannelImage before0 = Ch(0).Current;
    const uint8_t gain3 = OtherGain(Ch(3).gain);
    ASSERT_TRUE(t->SetGain(0, OtherGain(Ch(0).gain)));
    ASSERT_TRUE(t->SetGain(3, gain3));
    TFakeFault refuse;
    refuse.Code = kWriteChannel;
    refuse.Status = -5;
    refuse.VerifyWords = {0, 0, 0, 0, 0, 0, 0, 0x0010};
    amp1->AddFault(refuse);
    const size_t from1 = amp1->RequestCount(), from2 = amp2->RequestCount();

    EXPECT_FALSE(t->NewConfig(0, true));
    // The refused image and then the previous one went to slot 0 of the first device.
    EXPECT_EQ(Commands(*amp1, from1),
              (std::vector<std::pair<uint32_t, uint8_t>>{{kWriteChannel, 0}, {kWriteChannel, 0}}));
    EXPECT_EQ(amp1->StoredImage(0), before0.Image);
    EXPECT_EQ(Ch(0).Current, before0);
    EXPECT_EQ(Ch(0).Pending, before0);
    // The other device took its change.
    EXPECT_EQ(Commands(*amp2, from2), (std::vector<std::pair<uint32_t, uint8_t>>{{kWriteChannel, 0}}));
    EXPECT_EQ(Ch(3).gain, gain3);
    EXPECT_EQ(amp2->StoredImage(0), Ch(3).Current.Image);
    EXPECT_EQ(events, (std::vector<std::string>{
                          "Error: Biterror(s) detected:\r\n  Ch00: $24->$0010    -> power dac: 16",
                          "ConfigComplete"}));

    // A restore the device does not take either is reported before the bits.
    events.clear();
    ASSERT_TRUE(t->SetGain(1, OtherGain(Ch(1).gain)));
    refuse.VerifyWords = {0, 0, 0, 0, 0, 0, 0, 0x0001};
    amp1->AddFault(refuse);
    const TFakeFault noRestore = Refusal(kWriteChannel, 1);
    amp1->AddFault(noRestore);
    EXPECT_FALSE(t->NewConfig(0, true));
    EXPECT_EQ(events, (std::vector<std::string>{
                          "Error: Error 7 while restoring channel 01",
                          "Error: Biterror(s) detected:\r\n  Ch01: $24->$0001    -> power dac: 1",
                          "ConfigComplete"}));
}

TEST_F(LanModel, DeviceOperationsReachEveryDevice) {
    t->SetFanSpeed(1);
    EXPECT_EQ(amp1->FanSpeed(), 3);
    EXPECT_EQ(amp2->FanSpeed(), 3);
    const TFakeFault refuse = Refusal(kSetFan, 0);
    amp2->AddFault(refuse);
    t->SetFanSpeed(0);
    EXPECT_EQ(amp1->FanSpeed(), 4);
    EXPECT_EQ(events, std::vector<std::string>{"Log: Error on setting fan to speed 4 on device 01!"});

    EXPECT_TRUE(t->SetDeviceLock(true));
    EXPECT_TRUE(t->DeviceLocked);
    EXPECT_TRUE(amp1->Locked());
    EXPECT_TRUE(amp2->Locked());
    EXPECT_TRUE(t->SetDeviceLock(false));
    EXPECT_FALSE(amp1->Locked() || amp2->Locked());

    // Storing the configuration locks the front panels meanwhile; a refusal is named.
    amp2->AddFault(Refusal(kSaveAllConfig, 1));
    const size_t from1 = amp1->RequestCount(), from2 = amp2->RequestCount();
    EXPECT_FALSE(t->StoreDeviceConfig(true));
    EXPECT_EQ(t->LastDeviceConfigError, "Error 15 on storing configuration on device 02!");
    const std::vector<std::pair<uint32_t, uint8_t>> expected = {
        {kSetLock, 1}, {kSaveAllConfig, 0}, {kSetLock, 0}};
    // Each device: locked, stored, unlocked again.
    auto c1 = Commands(*amp1, from1), c2 = Commands(*amp2, from2);
    EXPECT_EQ(c1, expected);
    EXPECT_EQ(c2, expected);
    EXPECT_FALSE(amp1->Locked() || amp2->Locked());
    EXPECT_FALSE(t->DeviceLocked);
}

TEST_F(LanModel, ConnectionThatBreaksOnEveryRequestOfOneCommandIsLostOncePerScan) {
    constexpr uint32_t kGetChannelInfo = 0x30007;
    std::vector<std::string> lost;
    t->OnDeviceLost = [&](const void*, const std::string& host) { lost.push_back(host); };
    // amp1 closes on every fan request, amp2 resets on every channel info request.
    TFakeFault close;
    close.Code = kSetFan;
    close.Times = -1;
    close.Close = true;
    amp1->AddFault(close);
    TFakeFault reset;
    reset.Code = kGetChannelInfo;
    reset.Times = -1;
    reset.Reset = true;
    amp2->AddFault(reset);
    for (int scan = 0; scan < 2; ++scan) {
        SCOPED_TRACE(scan);
        lost.clear();
        t->Rescan();
        loop.Step();
        // Lost in the scan: the scan leaves it out of the model.
        EXPECT_EQ(lost, std::vector<std::string>{"127.0.0.2"});
        EXPECT_EQ(t->MasterCount(), 1);
        EXPECT_EQ(t->ChannelCount(), 3);
        t->SetFanSpeed(1);
        loop.Step();
        EXPECT_EQ(lost, (std::vector<std::string>{"127.0.0.2", "127.0.0.1"}));
        // A device lost after the scan stays listed until the next one; its commands fail
        // at once.
        EXPECT_EQ(t->MasterCount(), 1);
        EXPECT_EQ(t->ChannelCount(), 3);
        const size_t requests = amp1->RequestCount();
        t->SetFanSpeed(2);
        loop.Step();
        EXPECT_EQ(amp1->RequestCount(), requests);
        EXPECT_EQ(lost.size(), 2u);
    }
}

} // namespace
} // namespace qrb::test
