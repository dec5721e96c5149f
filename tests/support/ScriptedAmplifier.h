#pragma once
// A transport for model tests: each device it finds answers with the records the test scripts
// (device state, firmware, channel information, calibration, master flash, DC/DC information)
// and records what the model writes to it (channel information, channel images, I2C writes).

#include "device/I2CControl.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qrb::test {

struct TChannelWrite {
    uint8_t Slot = 0;
    uint8_t ADC8LowVal = 0;
    device::TRegisterImage Image;
};

struct TScriptedDevice {
    std::string Name; // the master name the scan reports
    std::string Version = "1.0";
    uint16_t Valid = 1;

    device::TDeviceInfo Info;
    device::TI2CResult InfoResult = device::TI2CResult::irOK;
    device::TFWVersion Firmware{{2, 6, 9, 0}};
    device::TChannelInfoBlock Block;
    device::TI2CResult BlockResult = device::TI2CResult::irOK;
    device::TMasterFlash Flash;
    device::TI2CResult FlashResult = device::TI2CResult::irOK;
    device::TDCDCInfo DCDC;
    device::TI2CResult DCDCResult = device::TI2CResult::irOK;
    std::array<device::TChannelCalibTable, device::kSlotCount> Calibration{};
    std::array<device::TI2CResult, device::kSlotCount> CalibrationResult{};
    device::TI2CResult SetChannelInfoResult = device::TI2CResult::irOK;
    device::TI2CResult WriteChannelResult = device::TI2CResult::irOK;
    std::array<uint8_t, 16> WriteChannelAnswer{}; // verify data of a refused write
    device::TDeviceADC8 ADC8;
    bool ADC8Changed = false;

    // What the model wrote.
    std::vector<std::pair<int32_t, device::TChannelInfo>> ChannelInfoWrites;
    std::vector<TChannelWrite> ChannelWrites;
};

// A slot holding a channel: present and fitted, information version and serial as given,
// BNC fitted, a 12-bit DAC image with the offset DAC at 2048.
device::TChannelInfoSlot PresentSlot(uint16_t serial, uint8_t infoVersion = 2);
// A device in the running state without errors, valid master flash, DC/DC entries with series
// 730 and serial 100 + slot, and `channels` present slots from slot 0.
TScriptedDevice GoodDevice(std::string name, int channels);
// A usable calibration table (source "QRBCAL730", marker 174) dated date, every zero offset
// equal to zero.
device::TChannelCalibTable UsableCalibration(const std::string& date, uint16_t zero = 2000);

class TScriptedAmplifier : public device::TI2CControl {
public:
    TScriptedAmplifier() = default;

    std::vector<TScriptedDevice> Devices; // what Scan finds, in order
    std::string ScanThrows;               // non-empty: Scan throws this text after finding nothing
    std::vector<std::string> Calls;       // "GetDeviceInfo(0)", ...

    TScriptedDevice& Device(int32_t index) { return Devices.at(static_cast<size_t>(index)); }

    bool Scan() override;
    bool CloseAll() override;
    device::TI2CResult GetSCL(int32_t index, int32_t& hz) override;
    device::TI2CResult SetSCL(int32_t index, int32_t hz) override;
    device::TI2CResult ScanI2C(int32_t index, std::string& list) override;
    device::TI2CResult WriteI2C(int32_t index, uint8_t addr, std::string_view hexText) override;
    device::TI2CResult WriteI2CBlock(int32_t index, uint8_t addr, std::span<const uint8_t> data) override;
    device::TI2CResult ReadI2C(int32_t index, uint8_t addr, uint16_t len, std::span<uint8_t> buf) override;
    device::TI2CResult WriteReadI2C(int32_t index, uint8_t addr, std::string_view hexText, uint16_t len,
                                    std::span<uint8_t> buf) override;
    device::TI2CResult ScanI2CMux(int32_t index, std::vector<std::string>& list) override;
    device::TI2CResult WriteSeq(int32_t index, uint8_t seqId, const device::TI2CBuffer& data, uint8_t len,
                                device::TI2CBuffer& answer) override;
    device::TI2CResult WriteChannel(int32_t index, uint8_t channel, uint8_t adc8LowVal,
                                    const device::TRegisterImage& image, device::TI2CBuffer& answer) override;
    device::TI2CResult SaveAllConfig(int32_t index, uint8_t channel) override;
    device::TI2CResult GetDeviceInfo(int32_t index, device::TDeviceInfo& info) override;
    device::TI2CResult GetChannelInfo(int32_t index, device::TChannelInfoBlock& block) override;
    device::TI2CResult SetChannelInfo(int32_t index, int32_t channel,
                                      const device::TChannelInfo& info) override;
    device::TI2CResult GetDCDCInfo(int32_t index, device::TDCDCInfo& info) override;
    device::TI2CResult SetDCDCInfo(int32_t index, const device::TDCDCInfo& info) override;
    device::TI2CResult SetDCDCClock(int32_t index, uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3,
                                    uint8_t b4) override;
    device::TI2CResult GetChannelCalibTable(int32_t index, uint8_t channel,
                                            device::TChannelCalibTable& table) override;
    device::TI2CResult GetMasterflash(int32_t index, device::TMasterFlash& flash) override;
    device::TI2CResult SetMasterflash(int32_t index, const device::TMasterFlash& flash) override;
    device::TI2CResult GetDeviceADC8(int32_t index, device::TDeviceADC8& status, bool& changed) override;
    device::TI2CResult SetMux(int32_t index, uint8_t ondrixMux, uint8_t channelMux, uint8_t pathMux) override;
    device::TI2CResult SetFan(int32_t index, uint8_t speed) override;
    device::TI2CResult SetIRQ(int32_t index, uint8_t mode) override;
    void GetDeviceName(int32_t index, std::string& text) override;
    void GetVendor(int32_t index, std::string& text) override;
    void GetModel(int32_t index, std::string& text) override;
    void GetVersion(int32_t index, std::string& text) override;
    uint16_t IsDeviceValid(int32_t index) override;
    bool GetDeviceLockState(int32_t index) override;
    device::TI2CResult SetDeviceLockState(int32_t index, bool locked) override;
    void GetFWVersion(int32_t index, device::TFWVersion& version, std::string& text) override;
    void KeepAliveTimer(const void* sender) override;

private:
    // The scripted device of a valid index (recording the call), else null.
    TScriptedDevice* Find(int32_t index, const std::string& call);
};

} // namespace qrb::test
