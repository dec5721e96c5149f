#pragma once
// A translator over scripted transports, with every translator event recorded in firing order.

#include "device/I2CHAL.h"
#include "model/I2CTranslator.h"
#include "tests/support/PlaceholderTransports.h"
#include "tests/support/ScriptedAmplifier.h"
#include "tests/support/VirtualMainLoop.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace qrb::test {

class TranslatorFixture : public ::testing::Test {
protected:
    // The LAN and the simulated transport are scripted; USB finds nothing.
    device::TI2CTransportFactory Factory() {
        device::TI2CTransportFactory f;
        f.CreateLAN = [this] {
            auto t = std::make_unique<TScriptedAmplifier>();
            t->Devices = initialLan;
            lan = t.get();
            return std::unique_ptr<device::TI2CControl>(std::move(t));
        };
        f.CreateUSB = test::CreatePlaceholderUSBControl;
        f.CreateVirtual = [this] {
            auto t = std::make_unique<TScriptedAmplifier>();
            sim = t.get();
            return std::unique_ptr<device::TI2CControl>(std::move(t));
        };
        return f;
    }

    void Create(device::TInterfaceMask mask = device::kMaskLAN, bool scanNow = false) {
        translator = std::make_unique<model::TI2CTranslator>(mask, scanNow, Factory());
        Hook();
    }

    // Records every event as "Name" or "Name(args)"; texts as "Name: text".
    void Hook() {
        auto& t = *translator;
        t.OnScanStart = [this](const void*) { events.push_back("ScanStart"); };
        t.OnScanEnd = [this](const void*, int32_t n) {
            events.push_back("ScanEnd(" + std::to_string(n) + ")");
        };
        t.OnDeviceLog = [this](const void*, const std::string& s) { events.push_back("DeviceLog: " + s); };
        t.OnDeviceChange = [this](const void*) { events.push_back("DeviceChange"); };
        t.OnI2CLog = [this](const void*, const std::string& s) { events.push_back("I2CLog: " + s); };
        t.OnI2CError = [this](const void*, const std::string& s) { events.push_back("I2CError: " + s); };
        t.OnScanError = [this](const void* sender, const std::string& s) {
            EXPECT_EQ(sender, translator.get());
            events.push_back("ScanError: " + s);
        };
        t.OnBeginUpdate = [this](const void*) { events.push_back("BeginUpdate"); };
        t.OnEndUpdate = [this](const void*, int32_t n) {
            events.push_back("EndUpdate(" + std::to_string(n) + ")");
        };
        t.OnScanLog = [this](const void*, const std::string& s) { events.push_back("ScanLog: " + s); };
        t.OnDeviceScanStart = [this](const void*) { events.push_back("DeviceScanStart"); };
        t.OnError = [this](const void*, const std::string& s) { events.push_back("Error: " + s); };
        t.OnConfigComplete = [this](const void*) { events.push_back("ConfigComplete"); };
        t.OnDeviceAlarm = [this](const void*, int32_t d, int32_t code) {
            events.push_back("Alarm(" + std::to_string(d) + "," + std::to_string(code) + ")");
        };
        t.OnTranslatorLog = [this](const void*, const std::string& s) {
            events.push_back("TranslatorLog: " + s);
        };
        t.OnTranslatorError = [this](const void*, const std::string& s) {
            events.push_back("TranslatorError: " + s);
        };
        t.OnDeviceInterrupt = [this](const void*, int32_t d, int32_t code) {
            events.push_back("Interrupt(" + std::to_string(d) + "," + std::to_string(code) + ")");
        };
        t.OnDeviceLost = [this](const void*, const std::string& s) { events.push_back("DeviceLost: " + s); };
    }

    // The recorded events that start with prefix.
    std::vector<std::string> Events(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const auto& e : events)
            if (e.rfind(prefix, 0) == 0) out.push_back(e);
        return out;
    }

    TInstalledVirtualMainLoop loop;
    std::vector<TScriptedDevice> initialLan; // what the LAN transport finds from its creation
    TScriptedAmplifier* lan = nullptr;
    TScriptedAmplifier* sim = nullptr;
    std::unique_ptr<model::TI2CTranslator> translator;
    std::vector<std::string> events;
};

} // namespace qrb::test
