#pragma once
// Transports that reach nothing, for tests that need a transport slot filled but no device in it:
// the scan finds no device and every device operation answers as for an index out of range.

#include "device/I2CControl.h"

#include <memory>
#include <string>

namespace qrb::test {

class TPlaceholderControl : public device::TI2CControl {
public:
    // How the transport it stands in for reports a bad index.
    enum class TStyle {
        psLAN,       // GetSCL, SetSCL, ScanI2C, WriteI2C through the I2C log
        psUSB,       // the same, SetSCL and ScanI2C with a two-digit index
        psSimulated, // everything through Error; the lock setter silently
    };
    // prefix: the transport's log prefix, e.g. "[LAN] ".
    TPlaceholderControl(std::string prefix, TStyle style);

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
    device::TI2CResult Refuse(int32_t index,
                              device::TBadIndexReport report = device::TBadIndexReport::brError);

    std::string prefix_;
    TStyle style_;
};

std::unique_ptr<device::TI2CControl> CreatePlaceholderLANControl();
std::unique_ptr<device::TI2CControl> CreatePlaceholderUSBControl();
std::unique_ptr<device::TI2CControl> CreatePlaceholderVirtualControl();

} // namespace qrb::test
