#include "tests/support/SilentLanTarget.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace qrb::test {

TSilentLanTarget::TSilentLanTarget(const std::string& address) : address_(address) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    if (inet_pton(AF_INET, address.c_str(), &addr.sin_addr) != 1) Fail("no IPv4 address " + address);
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0) Fail("socket");
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) Fail("bind");
    socklen_t len = sizeof addr;
    if (::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) Fail("getsockname");
    infoPort_ = ntohs(addr.sin_port); // an ephemeral port: its data port below it exists
    if (::listen(listener_, 0) != 0) Fail("listen");
    // Backlog 0 still queues one connection: this one fills the queue for good.
    filler_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (filler_ < 0) Fail("socket");
    if (::connect(filler_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) Fail("connect");
}

TSilentLanTarget::~TSilentLanTarget() {
    Close();
}

void TSilentLanTarget::Close() {
    if (filler_ >= 0) ::close(filler_);
    if (listener_ >= 0) ::close(listener_);
    filler_ = listener_ = -1;
}

void TSilentLanTarget::Fail(const std::string& what) {
    const std::string reason = std::strerror(errno);
    Close();
    throw std::runtime_error("silent LAN target: " + what + ": " + reason);
}

std::string TSilentLanTarget::Target() const {
    return address_ + ":" + std::to_string(DataPort());
}

} // namespace qrb::test
