#pragma once
// The LAN transport: amplifiers reached over TCP, one data connection per device.

#include "device/MainLoop.h"
#include "device/lan/I2CSocket.h"
#include "device/wire/WireControl.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qrb::device {

// Receives the 76-byte info answer on the info connection fd before the deadline; false when
// fewer bytes arrive (answer untouched then).
bool ReceiveInfoAnswer(int fd, const lan::TDeadline& deadline, TInfoAnswer& answer);

// Every wait of the transport is bounded; tests may shorten them.
struct TLanDeadlines {
    uint32_t KnockMs = 750;
    uint32_t InfoConnectMs = 750;
    uint32_t InfoReceiveMs = 750;
    uint32_t DataConnectMs = 2000;
    uint32_t AnswerMs = 2000;
};

class TI2CLANControl : public TWireControl {
public:
    TI2CLANControl();
    ~TI2CLANControl() override;

    TLanDeadlines Deadlines;

    bool Scan() override;
    bool CloseAll() override;
    void GetDeviceName(int32_t index, std::string& text) override;
    void KeepAliveTimer(const void* sender) override;

    // Closes and frees every connection (each reader thread has ended when this returns).
    void CloseAllSockets();
    // The connection of a host, or null.
    TI2CSocket* FindSocket(const std::string& host);
    size_t SocketCount() const { return devices_.size(); }
    // The info exchange on host's info port (the data port plus one).
    bool RequestInfo(const std::string& host, const std::string& portText, TInfoAnswer& answer);

protected:
    TWireDevice* FindEntry(int index) override;
    bool Exchange(TWireDevice& device, const TCommandBlock& request, TCommandBlock& answer) override;

private:
    friend class TI2CSocket;

    bool ScanTargetsNow();
    bool Knock(const std::string& host, int32_t port);
    // The info exchange; knocked is the result of a knock made ahead of it (none: knock now).
    bool RequestInfo(const std::string& host, const std::string& portText, std::optional<bool> knocked,
                     TInfoAnswer& answer);
    // Connection callbacks: the connect notification (main thread) and a loss (reader thread).
    void SocketConnect(const TI2CSocket& socket);
    void PostLoss(uint64_t generation, const std::string& host);
    void ConnectionLost(uint64_t generation, const std::string& host);

    std::vector<std::pair<std::string, std::unique_ptr<TI2CSocket>>> devices_; // host -> connection
    TLifetime lifetime_; // posted losses die with the transport
};

} // namespace qrb::device
