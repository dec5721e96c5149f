#pragma once
// A LAN target on loopback whose info port never answers a knock, as an amplifier that is
// switched off: a listening socket with backlog 0 that never accepts, filled with one
// connection, so that the kernel drops the SYN of every further connect and it stays pending.
// Nothing listens on its data port.

#include <cstdint>
#include <string>

namespace qrb::test {

class TSilentLanTarget {
public:
    // Raises std::runtime_error when the socket cannot be set up.
    explicit TSilentLanTarget(const std::string& address = "127.0.0.1");
    ~TSilentLanTarget();
    TSilentLanTarget(const TSilentLanTarget&) = delete;
    TSilentLanTarget& operator=(const TSilentLanTarget&) = delete;

    const std::string& Address() const { return address_; }
    uint16_t InfoPort() const { return infoPort_; }
    uint16_t DataPort() const { return static_cast<uint16_t>(infoPort_ - 1); }
    // "address:data port" as a scan target.
    std::string Target() const;

private:
    void Close();
    [[noreturn]] void Fail(const std::string& what);

    std::string address_;
    uint16_t infoPort_ = 0;
    int listener_ = -1;
    int filler_ = -1;
};

} // namespace qrb::test
