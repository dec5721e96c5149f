#pragma once
// The LAN transport: amplifiers reached over TCP, one data connection per device.

#include "device/I2CControl.h"
#include "device/MainLoop.h"
#include "device/lan/I2CSocket.h"
#include "device/wire/CommandSet.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace qrb::device {

// Every wait of the transport is bounded; tests may shorten them.
struct TLanDeadlines {
    uint32_t KnockMs = 750;
    uint32_t InfoConnectMs = 750;
    uint32_t InfoReceiveMs = 750;
    uint32_t DataConnectMs = 2000;
    uint32_t AnswerMs = 2000;
};

class TI2CLANControl : public TI2CControl {
public:
    TI2CLANControl();
    ~TI2CLANControl() override;

    TLanDeadlines Deadlines;

    bool Scan() override;
    bool CloseAll() override;
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
    void GetDeviceName(int32_t index, std::string& text) override;
    void GetVendor(int32_t index, std::string& text) override;
    void GetModel(int32_t index, std::string& text) override;
    void GetVersion(int32_t index, std::string& text) override;
    uint16_t IsDeviceValid(int32_t index) override;
    bool GetDeviceLockState(int32_t index) override;
    TI2CResult SetDeviceLockState(int32_t index, bool locked) override;
    void GetFWVersion(int32_t index, TFWVersion& version, std::string& text) override;
    void KeepAliveTimer(const void* sender) override;

    // Closes and frees every connection (each reader thread has ended when this returns).
    void CloseAllSockets();
    // The connection of a host, or null.
    TI2CSocket* FindSocket(const std::string& host);
    size_t SocketCount() const { return devices_.size(); }
    // The info exchange on host's info port (the data port plus one).
    bool RequestInfo(const std::string& host, const std::string& portText, TInfoAnswer& answer);

    // The one request block, answer block and status of the transport.
    const TWireCommandSet& Commands() const { return commands_; }

private:
    friend class TI2CSocket;

    class TExchange : public TWireExchange {
    public:
        explicit TExchange(TI2CLANControl& owner) : owner_(owner) {}
        int MasterCount() const override { return owner_.MasterCount(); }
        void I2CLog(int level, const std::string& text) override { owner_.I2CLog(level, text); }
        void Error(const std::string& text) override { owner_.Error(text); }
        TWireDevice* FindEntry(int index) override;
        bool Exchange(TWireDevice& device, const TCommandBlock& request, TCommandBlock& answer) override;

    private:
        TI2CLANControl& owner_;
    };

    bool ScanTargetsNow();
    bool Knock(const std::string& host, int32_t port);
    // Connection callbacks: the connect notification (main thread) and a loss (reader thread).
    void SocketConnect(const TI2CSocket& socket);
    void PostLoss(uint64_t generation, const std::string& host);
    void ConnectionLost(uint64_t generation, const std::string& host);

    std::vector<std::pair<std::string, std::unique_ptr<TI2CSocket>>> devices_; // host -> connection
    TExchange exchange_{*this};
    TWireCommandSet commands_{exchange_, kLANWireTraits};
    TLifetime lifetime_; // posted losses die with the transport
};

} // namespace qrb::device
