// Device notifications as the model decodes them: any 16 bytes for any device index give each
// channel of that device its status bits (active low, bits 0 and 1 never, the fuse bit only with
// DMS power), add them to the history, and raise exactly one alarm or interrupt; a notification
// for an index without a device or from before the last scan changes nothing and raises nothing.
//
// Input: records of 17 bytes. The first byte: bits 0-1 the simulated transport's device index
// (2 and 3 have no device), bit 2 the DMS power of that device's channels, bit 3 a notification
// from before the last scan, bit 4 the error history cleared first. Then the 16 message bytes.

#include "device/I2CHAL.h"
#include "model/I2CTranslator.h"
#include "tests/support/PlaceholderTransports.h"
#include "tests/support/VirtualMainLoop.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

using qrb::model::TQRBRawChannel;

struct TEvent {
    bool Alarm;
    int32_t Device;
    int32_t Code;
};

struct TWorld {
    qrb::test::TInstalledVirtualMainLoop loop;
    std::unique_ptr<qrb::model::TI2CTranslator> translator;
    std::vector<TEvent> events;

    TWorld() {
        qrb::device::TI2CTransportFactory f = qrb::device::DefaultTransportFactory();
        f.CreateLAN = qrb::test::CreatePlaceholderLANControl;
        f.CreateUSB = qrb::test::CreatePlaceholderUSBControl;
        translator = std::make_unique<qrb::model::TI2CTranslator>(qrb::device::kMaskOffline, false, f);
        translator->OnConfigComplete = [](const void*) {};
        translator->OnDeviceAlarm = [this](const void*, int32_t d, int32_t code) {
            events.push_back({true, d, code});
        };
        translator->OnDeviceInterrupt = [this](const void*, int32_t d, int32_t code) {
            events.push_back({false, d, code});
        };
        translator->AddScanTarget("A-8:3", qrb::device::kMaskOffline);
        translator->AddScanTarget("B-2:1", qrb::device::kMaskOffline);
        if (translator->Rescan() != 10) std::abort();
    }
};

TWorld& World() {
    static TWorld* world = new TWorld; // lives for the process
    return *world;
}

// The merged device index of the simulated transport's device, or -1.
int32_t MergedIndex(const qrb::device::TI2CHAL& hal, int32_t transportIndex) {
    for (int32_t d = 0; d < hal.DeviceCount(); ++d) {
        const qrb::device::TI2CDevice* device = hal.GetDevice(d);
        if (device && device->Kind == qrb::device::TInterfaceKind::ikOffline &&
            device->Index == transportIndex)
            return d;
    }
    return -1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TWorld& w = World();
    qrb::model::TI2CTranslator& t = *w.translator;
    qrb::device::TI2CControl& sim = *t.HAL->VirtualControl();
    t.ClearErrorHistory();
    for (int i = 0; i < t.ChannelCount(); ++i)
        t.GetChannel(i)->ADC8Status = 0;

    constexpr size_t kRecord = 1 + qrb::device::TIRQMessage::Size;
    for (size_t pos = 0; pos + kRecord <= size; pos += kRecord) {
        const uint8_t control = data[pos];
        const int32_t index = control & 3;
        const bool stale = (control & 8) != 0;
        qrb::device::TIRQMessage m;
        if (!qrb::device::TIRQMessage::Decode(data + pos + 1, qrb::device::TIRQMessage::Size, m))
            std::abort();
        if (control & 16) t.ClearErrorHistory();
        const int32_t device = MergedIndex(*t.HAL, index);
        std::vector<std::pair<uint8_t, uint8_t>> before; // status, history
        for (int i = 0; i < t.ChannelCount(); ++i) {
            TQRBRawChannel& c = *t.GetChannel(i);
            if (c.Device == device) c.dms_pwr_on = (control & 4) ? 1 : 0;
            before.emplace_back(c.ADC8Status, c.ADC8History);
        }

        w.events.clear();
        sim.PostIRQ(index, sim.ScanGeneration() - (stale ? 1 : 0), m);
        w.loop.Step();

        const bool delivered = device >= 0 && !stale;
        for (int i = 0; i < t.ChannelCount(); ++i) {
            const TQRBRawChannel& c = *t.GetChannel(i);
            const auto [status, history] = before[static_cast<size_t>(i)];
            if (!delivered || c.Device != device) {
                if (c.ADC8Status != status || c.ADC8History != history) std::abort();
                continue;
            }
            uint8_t expected = static_cast<uint8_t>(~m.ChannelStatus[static_cast<size_t>(c.Slot)] & 0xFC);
            if (!c.dms_pwr_on) expected &= 0x7C;
            if (c.ADC8Status != expected || c.ADC8History != (history | expected)) std::abort();
        }
        if (!delivered) {
            if (!w.events.empty()) std::abort();
            continue;
        }
        if (w.events.size() != 1 || w.events[0].Device != device) std::abort();
        const TEvent& e = w.events[0];
        if ((m.IRQWord & 0x100) == 0) {
            if (!e.Alarm || e.Code != 256) std::abort();
        } else if ((m.IRQWord & 0x400) == 0) {
            if (!e.Alarm || e.Code != 1024) std::abort();
        } else if (e.Alarm || e.Code != m.IRQWord) {
            std::abort();
        }
    }
    return 0;
}
