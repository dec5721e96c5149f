// The LAN transport behind the hardware abstraction and the translator, against fake
// amplifiers over TCP on loopback.

#include "device/I2CHAL.h"
#include "device/lan/I2CLANControl.h"
#include "model/I2CTranslator.h"
#include "tests/support/FakeLanAmplifier.h"
#include "tests/support/VirtualMainLoop.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

#include <memory>

using namespace qrb::device;
using namespace qrb::test;

namespace {

TI2CTransportFactory LanFactory() {
    TI2CTransportFactory f = DefaultTransportFactory();
    f.CreateLAN = []() -> std::unique_ptr<TI2CControl> { return std::make_unique<TI2CLANControl>(); };
    return f;
}

std::unique_ptr<TFakeLanAmplifier> Amp(const std::string& address, int32_t channels = 8) {
    TFakeAmpConfig c;
    c.Address = address;
    c.Channels = channels;
    return std::make_unique<TFakeLanAmplifier>(c);
}

} // namespace

TEST(LanBehindHAL, MergedListNamesAndNotifications) {
    TInstalledVirtualMainLoop loop;
    auto a1 = Amp("127.0.0.1"), a2 = Amp("127.0.0.2"), a3 = Amp("127.0.0.3");
    TI2CHAL hal(kMaskLAN, false, LanFactory());
    std::vector<std::pair<int32_t, uint16_t>> irqs;
    std::vector<std::string> lost;
    hal.OnIRQ = [&](const void*, int32_t index, const TIRQMessage* m) {
        irqs.push_back({index, m->IRQWord});
    };
    hal.OnDeviceLost = [&](const void*, const std::string& name) { lost.push_back(name); };
    for (auto* a : {a3.get(), a1.get(), a2.get()})
        hal.AddScanTarget(a->Target(), kMaskLAN);
    ASSERT_EQ(hal.ScanDevices(), 3);
    for (int32_t i = 0; i < 3; ++i) {
        const TI2CDevice* d = hal.GetDevice(i);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->Name, "127.0.0." + std::to_string(i + 1));
        EXPECT_EQ(d->Kind, TInterfaceKind::ikLAN);
        EXPECT_EQ(d->Index, i);
        EXPECT_EQ(d->Valid, 1);
        EXPECT_EQ(d->Vendor, "QRB GmbH");
        EXPECT_EQ(d->Model, "QRB-730");
    }
    EXPECT_EQ(hal.GetDevice(1)->DeviceName, "ETH on 127.0.0.2:" + std::to_string(a2->DataPort()));
    EXPECT_EQ(a1->IRQMode(), 2); // the scan sets interrupt mode 2 on every device

    ASSERT_TRUE(a1->WaitForDataConnections(1, 5000) && a3->WaitForDataConnections(1, 5000));
    TIRQMessage m;
    m.Magic = TIRQMessage::MagicValue;
    m.IRQWord = 0xABCD;
    a3->SendNotification(m);
    ASSERT_TRUE(WaitUntil([&] { return loop.PendingCount() > 0; }));
    loop.Step();
    EXPECT_EQ(irqs, (std::vector<std::pair<int32_t, uint16_t>>{{2, 0xABCD}}));

    a2->ResetConnections();
    ASSERT_TRUE(WaitUntil([&] { return loop.PendingCount() > 0; }));
    loop.Step();
    EXPECT_EQ(lost, std::vector<std::string>{"127.0.0.2"});
}

TEST(LanBehindTranslator, RescanBuildsTheChannelsOfFakeAmplifiers) {
    TInstalledVirtualMainLoop loop;
    auto a1 = Amp("127.0.0.1", 3), a2 = Amp("127.0.0.2", 5);
    qrb::model::TI2CTranslator translator(kMaskLAN, false, LanFactory());
    int configComplete = 0;
    translator.OnConfigComplete = [&](const void*) { ++configComplete; };
    std::vector<std::string> scanErrors;
    translator.OnScanError = [&](const void*, const std::string& t) { scanErrors.push_back(t); };
    translator.AddScanTarget(a1->Target(), kMaskLAN);
    translator.AddScanTarget(a2->Target(), kMaskLAN);
    EXPECT_EQ(translator.Rescan(), 8); // the channel count
    EXPECT_TRUE(scanErrors.empty());
    EXPECT_EQ(translator.ChannelCount(), 8);
    EXPECT_EQ(translator.HAL->DeviceCount(), 2);
    EXPECT_GT(a1->RequestCount(), 3u);
}
