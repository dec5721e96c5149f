#pragma once
// A translator over a recording amplifier transport: every device call of the operations under
// test is logged with its arguments ("WriteI2C(0,$72,01)"), chosen calls are refused or raise.

#include "device/Format.h"
#include "device/I2CHAL.h"
#include "model/I2CTranslator.h"
#include "tests/support/PlaceholderTransports.h"
#include "tests/support/ScriptedAmplifier.h"
#include "tests/support/VirtualMainLoop.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace qrb::test {

class TRecordingAmplifier : public TScriptedAmplifier {
public:
    std::vector<std::string> Log;
    std::map<std::string, device::TI2CResult> Refuse; // call text -> its result
    std::string ThrowOn;                              // call text that raises
    std::vector<std::vector<uint8_t>> Blocks;         // data of every WriteI2CBlock
    size_t RefuseBlock = SIZE_MAX;                    // the block (counted from 0) answered with 7
    std::deque<uint8_t> ReadBytes;                    // first byte of each WriteReadI2C answer

    device::TI2CResult WriteI2C(int32_t index, uint8_t addr, std::string_view hexText) override {
        if (!CheckIndex(index)) return device::TI2CResult::irInvalidDevice;
        return Note(device::Format("WriteI2C(%d,$%2.2x,%s)", index, addr, std::string(hexText)));
    }
    device::TI2CResult WriteI2CBlock(int32_t index, uint8_t addr, std::span<const uint8_t> data) override {
        if (!CheckIndex(index)) return device::TI2CResult::irInvalidDevice;
        Blocks.emplace_back(data.begin(), data.end());
        const device::TI2CResult r = Note(
            device::Format("WriteI2CBlock(%d,$%2.2x,%d)", index, addr, static_cast<int64_t>(data.size())));
        return Blocks.size() == RefuseBlock + 1 ? device::TI2CResult::irNoAnswer : r;
    }
    device::TI2CResult WriteReadI2C(int32_t index, uint8_t addr, std::string_view hexText, uint16_t len,
                                    std::span<uint8_t> buf) override {
        if (!CheckIndex(index)) return device::TI2CResult::irInvalidDevice;
        const device::TI2CResult r =
            Note(device::Format("WriteReadI2C(%d,$%2.2x,%s,%d)", index, addr, std::string(hexText), len));
        std::fill(buf.begin(), buf.end(), uint8_t{0});
        if (device::IsOK(r) && !ReadBytes.empty() && !buf.empty()) {
            buf[0] = ReadBytes.front();
            ReadBytes.pop_front();
        }
        return r;
    }
    device::TI2CResult SetMux(int32_t index, uint8_t group, uint8_t slot, uint8_t path) override {
        if (!CheckIndex(index)) return device::TI2CResult::irInvalidDevice;
        return Note(device::Format("SetMux(%d,%d,%d,%d)", index, group, slot, path));
    }
    device::TI2CResult SetFan(int32_t index, uint8_t speed) override {
        if (!CheckIndex(index)) return device::TI2CResult::irInvalidDevice;
        return Note(device::Format("SetFan(%d,%d)", index, speed));
    }
    device::TI2CResult SaveAllConfig(int32_t index, uint8_t channel) override {
        if (!CheckIndex(index)) return device::TI2CResult::irInvalidDevice;
        return Note(device::Format("SaveAllConfig(%d,%d)", index, channel));
    }
    device::TI2CResult SetDeviceLockState(int32_t index, bool locked) override {
        if (!CheckIndex(index)) return device::TI2CResult::irInvalidDevice;
        const device::TI2CResult r = Note(device::Format("SetDeviceLockState(%d,%d)", index, locked ? 1 : 0));
        if (device::IsOK(r)) Device(index).Info.LockState = locked ? 1 : 0;
        return r;
    }
    device::TI2CResult SetMasterflash(int32_t index, const device::TMasterFlash& flash) override {
        if (!CheckIndex(index)) return device::TI2CResult::irInvalidDevice;
        const device::TI2CResult r =
            Note(device::Format("SetMasterflash(%d,%d)", index, static_cast<int64_t>(flash.HWStartLock)));
        if (device::IsOK(r)) Device(index).Flash = flash;
        return r;
    }
    device::TI2CResult SetChannelInfo(int32_t index, int32_t channel,
                                      const device::TChannelInfo& info) override {
        if (!CheckIndex(index)) return device::TI2CResult::irInvalidDevice;
        const device::TI2CResult r = Note(device::Format("SetChannelInfo(%d,%d)", index, channel));
        if (device::IsOK(r)) Device(index).ChannelInfoWrites.emplace_back(channel, info);
        return r;
    }
    device::TI2CResult WriteChannel(int32_t index, uint8_t channel, uint8_t adc8LowVal,
                                    const device::TRegisterImage& image,
                                    device::TI2CBuffer& answer) override {
        if (!CheckIndex(index)) return device::TI2CResult::irInvalidDevice;
        const device::TI2CResult r = Note(device::Format("WriteChannel(%d,%d)", index, channel));
        const device::TI2CResult scripted =
            TScriptedAmplifier::WriteChannel(index, channel, adc8LowVal, image, answer);
        return device::IsOK(r) ? scripted : r;
    }

    // The log entries that start with prefix.
    std::vector<std::string> LogOf(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const auto& e : Log)
            if (e.rfind(prefix, 0) == 0) out.push_back(e);
        return out;
    }

private:
    device::TI2CResult Note(const std::string& call) {
        Log.push_back(call);
        if (call == ThrowOn) throw std::runtime_error("transport failure");
        const auto it = Refuse.find(call);
        return it == Refuse.end() ? device::TI2CResult::irOK : it->second;
    }
};

// Devices on the LAN transport named so that the transport's order is the merged order.
class RecordingFixture : public ::testing::Test {
protected:
    void Create(std::vector<TScriptedDevice> devices) {
        device::TI2CTransportFactory f;
        f.CreateLAN = [this, devices] {
            auto t = std::make_unique<TRecordingAmplifier>();
            t->Devices = devices;
            amp = t.get();
            return std::unique_ptr<device::TI2CControl>(std::move(t));
        };
        f.CreateUSB = test::CreatePlaceholderUSBControl;
        f.CreateVirtual = test::CreatePlaceholderVirtualControl;
        translator = std::make_unique<model::TI2CTranslator>(device::kMaskLAN, false, f);
        auto& t = *translator;
        t.OnConfigComplete = [this](const void*) { events.push_back("ConfigComplete"); };
        t.OnError = [this](const void*, const std::string& s) { events.push_back("Error: " + s); };
        t.OnScanError = [this](const void*, const std::string& s) { events.push_back("ScanError: " + s); };
        t.OnTranslatorLog = [this](const void*, const std::string& s) { events.push_back("Log: " + s); };
        t.OnRegisterDump = [this](const void*, const std::string& s) { events.push_back("Dump: " + s); };
        if (!devices.empty()) t.Rescan();
        amp->Log.clear();
        events.clear();
    }

    // Two devices with the given channel counts ("10.0.0.1" is device 0).
    void CreateTwo(int first = 2, int second = 1) {
        Create({GoodDevice("10.0.0.1", first), GoodDevice("10.0.0.2", second)});
    }

    model::TQRBRawChannel& Channel(int index) { return *translator->GetChannel(index); }

    TInstalledVirtualMainLoop loop;
    TRecordingAmplifier* amp = nullptr;
    std::unique_ptr<model::TI2CTranslator> translator;
    std::vector<std::string> events;
};

} // namespace qrb::test
