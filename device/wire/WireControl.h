#pragma once
// The abstract transport of the wire transports (LAN, USB): every device operation that is one
// command-block exchange goes to the one command set; a transport adds its device list, its way
// of moving a block and its own scan, close, keep-alive and device name.

#include "device/I2CControl.h"
#include "device/wire/CommandBlock.h"
#include "device/wire/CommandSet.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qrb::device {

class TWireControl : public TI2CControl {
public:
    TI2CResult GetSCL(int32_t index, int32_t& hz) override;
    TI2CResult SetSCL(int32_t index, int32_t hz) override;
    TI2CResult ScanI2C(int32_t index, std::string& list) override;
    TI2CResult WriteI2C(int32_t index, uint8_t addr, std::string_view hexText) override;
    TI2CResult WriteI2CBlock(int32_t index, uint8_t addr, std::span<const uint8_t> data) override;
    TI2CResult ReadI2C(int32_t index, uint8_t addr, uint16_t len, std::span<uint8_t> buf) override;
    TI2CResult WriteReadI2C(int32_t index, uint8_t addr, std::string_view hexText, uint16_t len,
                            std::span<uint8_t> buf) override;
    TI2CResult ScanI2CMux(int32_t index, std::vector<std::string>& list) override;
    TI2CResult WriteSeq(int32_t index, uint8_t seqId, const TI2CBuffer& data, uint8_t len,
                        TI2CBuffer& answer) override;
    TI2CResult WriteChannel(int32_t index, uint8_t channel, uint8_t adc8LowVal, const TRegisterImage& image,
                            TI2CBuffer& answer) override;
    TI2CResult SaveAllConfig(int32_t index, uint8_t channel) override;
    TI2CResult GetDeviceInfo(int32_t index, TDeviceInfo& info) override;
    TI2CResult GetChannelInfo(int32_t index, TChannelInfoBlock& block) override;
    TI2CResult SetChannelInfo(int32_t index, int32_t channel, const TChannelInfo& info) override;
    TI2CResult GetDCDCInfo(int32_t index, TDCDCInfo& info) override;
    TI2CResult SetDCDCInfo(int32_t index, const TDCDCInfo& info) override;
    TI2CResult SetDCDCClock(int32_t index, uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3,
                            uint8_t b4) override;
    TI2CResult GetChannelCalibTable(int32_t index, uint8_t channel, TChannelCalibTable& table) override;
    TI2CResult GetMasterflash(int32_t index, TMasterFlash& flash) override;
    TI2CResult SetMasterflash(int32_t index, const TMasterFlash& flash) override;
    TI2CResult GetDeviceADC8(int32_t index, TDeviceADC8& status, bool& changed) override;
    TI2CResult SetMux(int32_t index, uint8_t ondrixMux, uint8_t channelMux, uint8_t pathMux) override;
    TI2CResult SetFan(int32_t index, uint8_t speed) override;
    TI2CResult SetIRQ(int32_t index, uint8_t mode) override;
    void GetVendor(int32_t index, std::string& text) override;
    void GetModel(int32_t index, std::string& text) override;
    void GetVersion(int32_t index, std::string& text) override;
    uint16_t IsDeviceValid(int32_t index) override;
    bool GetDeviceLockState(int32_t index) override;
    TI2CResult SetDeviceLockState(int32_t index, bool locked) override;
    void GetFWVersion(int32_t index, TFWVersion& version, std::string& text) override;

    // The one request block, answer block and status of the transport.
    const TWireCommandSet& Commands() const { return commands_; }

protected:
    explicit TWireControl(const TWireTraits& traits) : commands_(exchange_, traits) {}

    // The device entry behind a valid index; nullptr when there is none.
    virtual TWireDevice* FindEntry(int index) = 0;
    // Sends the request and receives one answer block; false on any failure of the transfer.
    virtual bool Exchange(TWireDevice& device, const TCommandBlock& request, TCommandBlock& answer) = 0;

private:
    class TExchange : public TWireExchange {
    public:
        explicit TExchange(TWireControl& owner) : owner_(owner) {}
        int MasterCount() const override { return owner_.MasterCount(); }
        void I2CLog(int level, const std::string& text) override { owner_.I2CLog(level, text); }
        void Error(const std::string& text) override { owner_.Error(text); }
        TWireDevice* FindEntry(int index) override { return owner_.FindEntry(index); }
        bool Exchange(TWireDevice& device, const TCommandBlock& request, TCommandBlock& answer) override {
            return owner_.Exchange(device, request, answer);
        }

    private:
        TWireControl& owner_;
    };

    TExchange exchange_{*this};
    TWireCommandSet commands_;
};

} // namespace qrb::device
