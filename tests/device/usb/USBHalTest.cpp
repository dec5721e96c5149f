// The USB transport behind the hardware abstraction, over fake amplifier disks.
#include "device/I2CHAL.h"
#include "device/usb/USBTransport.h"

#include "tests/support/FakeDisk.h"
#include "tests/support/VirtualMainLoop.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace qrb::device {
namespace {

using test::TFakeDisk;
using test::TFakeDiskEnumerator;

// Status 1 for SetIRQ (its success), an empty device-info record for GetDeviceInfo, else status 0.
std::vector<uint8_t> Answer(std::span<const uint8_t> request) {
    std::vector<uint8_t> a(1432, 0);
    std::copy_n(request.begin(), 28, a.begin());
    a[16] = 0x02; // answer direction
    const uint32_t command = request[8] | request[9] << 8 | request[10] << 16;
    a[28] = 4;
    if (command == 0x20003) a[32] = 1;
    if (command == 0x30001) {
        a[28] = 36;
    }
    return a;
}

TEST(USBBehindHAL, MergedListRoutingAndLoss) {
    test::TInstalledVirtualMainLoop loop;
    auto enumerator = std::make_unique<TFakeDiskEnumerator>();
    TFakeDiskEnumerator* disks = enumerator.get();
    auto a = disks->Add("sdb");
    auto b = disks->Add("sdc");
    a->Responder = b->Responder = Answer;

    TI2CTransportFactory factory = DefaultTransportFactory();
    auto holder = std::make_shared<std::unique_ptr<IDiskEnumerator>>(std::move(enumerator));
    factory.CreateUSB = [holder]() -> std::unique_ptr<TI2CControl> {
        return std::make_unique<TI2CUSBControl>(std::move(*holder));
    };
    TI2CHAL hal(kMaskUSB, false, factory);
    std::vector<std::string> lost;
    hal.OnDeviceLost = [&](const void*, const std::string& name) { lost.push_back(name); };

    ASSERT_EQ(hal.ScanDevices(), 2);
    for (int32_t i = 0; i < 2; ++i) {
        const TI2CDevice* d = hal.GetDevice(i);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->Name, "USB Device " + std::to_string(i + 1));
        EXPECT_EQ(d->Kind, TInterfaceKind::ikUSB);
        EXPECT_EQ(d->Index, i);
        EXPECT_EQ(d->DeviceName, "USB Device " + std::to_string(i + 1) + " (" + std::to_string(i) + ")");
        EXPECT_EQ(d->Vendor, "QRB GmbH");
        EXPECT_EQ(d->Valid, 1);
    }
    // The scan set interrupt mode 2 on both.
    for (const auto& disk : {a, b}) {
        bool irqSet = false;
        for (const auto& r : disk->CommandRequests())
            if (r[8] == 0x03 && r[10] == 0x02 && r[32] == 2) irqSet = true;
        EXPECT_TRUE(irqSet);
    }

    const int before = b->Commands;
    TDeviceInfo info;
    EXPECT_EQ(hal.GetDeviceInfo(1, info), TI2CResult::irOK);
    EXPECT_EQ(b->Commands, before + 1);

    b->Holder = {10, 1, 2, 3};
    loop.Advance(2000);
    EXPECT_EQ(lost, (std::vector<std::string>{"USB Device 2"}));
    for (const auto& s : disks->Slots)
        EXPECT_TRUE(s.Disk->Violations.empty()) << s.Name;

    hal.ClearDevices();
    EXPECT_EQ(a->OpenHandles, 0);
    EXPECT_EQ(b->OpenHandles, 0);
}

// The program's factory brings the USB transport; under the test runner it sees no disk.
TEST(USBBehindHAL, DefaultFactoryScansTheSystemDisksAsNone) {
    test::TInstalledVirtualMainLoop loop;
    if (std::getenv("QRB_TEST_BINARY_DIR") == nullptr) ::setenv("QRB_TEST_BINARY_DIR", "/nonexistent", 1);
    TI2CHAL hal(kMaskUSB);
    ASSERT_NE(dynamic_cast<TI2CUSBControl*>(hal.USBControl()), nullptr);
    std::vector<std::string> logs;
    hal.OnLog = [&](const void*, const std::string& t) { logs.push_back(t); };
    EXPECT_EQ(hal.ScanDevices(), 0);
    EXPECT_EQ(logs, (std::vector<std::string>{"[USB] device status: 0 device(s) found"}));
    EXPECT_FALSE(hal.USBControl()->KeepAlive());
}

} // namespace
} // namespace qrb::device
