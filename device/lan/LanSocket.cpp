#include "device/lan/LanSocket.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace qrb::device::lan {

int TDeadline::RemainingMs() const {
    auto left = std::chrono::duration_cast<std::chrono::microseconds>(at_ - TClock::now()).count();
    if (left <= 0) return 0;
    // Rounded up, so that a wait never ends before the deadline.
    return static_cast<int>((left + 999) / 1000);
}

TFd& TFd::operator=(TFd&& o) noexcept {
    if (this != &o) {
        Close();
        fd_ = o.Release();
    }
    return *this;
}

void TFd::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

namespace {

bool ResolveIPv4(const std::string& host, uint16_t port, sockaddr_in& out, std::string* error) {
    std::memset(&out, 0, sizeof out);
    out.sin_family = AF_INET;
    out.sin_port = htons(port);
    if (inet_pton(AF_INET, host.c_str(), &out.sin_addr) == 1) return true;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    int rc = getaddrinfo(host.c_str(), nullptr, &hints, &list);
    if (rc != 0 || list == nullptr) {
        if (error) *error = gai_strerror(rc);
        return false;
    }
    out.sin_addr = reinterpret_cast<const sockaddr_in*>(list->ai_addr)->sin_addr;
    freeaddrinfo(list);
    return true;
}

// Waits for the events on fd until the deadline; false on time-out or poll failure.
bool WaitFor(int fd, short events, const TDeadline& deadline) {
    for (;;) {
        pollfd p{fd, events, 0};
        int rc = ::poll(&p, 1, deadline.RemainingMs());
        if (rc > 0) return true;
        if (rc == 0) return false;
        if (errno != EINTR) return false;
    }
}

// Starts a non-blocking connect; connected tells whether it is made already. Invalid on an
// immediate failure.
TFd BeginConnect(const std::string& host, uint16_t port, bool& connected, std::string* error) {
    connected = false;
    sockaddr_in addr;
    if (!ResolveIPv4(host, port, addr, error)) return TFd();
    TFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.Valid()) {
        if (error) *error = std::strerror(errno);
        return TFd();
    }
    int one = 1;
    ::setsockopt(fd.Get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    int rc = ::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    if (rc != 0 && errno != EINPROGRESS) {
        if (error) *error = std::strerror(errno);
        return TFd();
    }
    connected = rc == 0;
    return fd;
}

// The outcome of a connect that was under way once its socket polled writable or failed.
bool ConnectSucceeded(int fd, std::string* error) {
    int soError = 0;
    socklen_t len = sizeof soError;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len) != 0 || soError != 0) {
        if (error) *error = std::strerror(soError != 0 ? soError : errno);
        return false;
    }
    return true;
}

} // namespace

TFd ConnectTcp(const std::string& host, uint16_t port, uint32_t timeoutMs, std::string* error) {
    TDeadline deadline(timeoutMs);
    bool connected = false;
    TFd fd = BeginConnect(host, port, connected, error);
    if (!fd.Valid() || connected) return fd;
    if (!WaitFor(fd.Get(), POLLOUT, deadline)) {
        if (error) *error = "connection timed out";
        return TFd();
    }
    if (!ConnectSucceeded(fd.Get(), error)) return TFd();
    return fd;
}

void KnockAll(std::vector<TKnock>& knocks, uint32_t timeoutMs) {
    struct TPending {
        size_t Index;
        TFd Fd;
        TDeadline Deadline;
    };
    std::vector<TPending> pending;
    for (size_t i = 0; i < knocks.size(); ++i) {
        knocks[i].Answered = false;
        TDeadline deadline(timeoutMs);
        bool connected = false;
        TFd fd = BeginConnect(knocks[i].Host, knocks[i].Port, connected, nullptr);
        if (!fd.Valid()) continue;
        if (connected) {
            knocks[i].Answered = true; // and closed at once
            continue;
        }
        pending.push_back(TPending{i, std::move(fd), deadline});
    }
    std::vector<pollfd> polled;
    while (!pending.empty()) {
        int waitMs = pending.front().Deadline.RemainingMs();
        polled.clear();
        for (const TPending& p : pending) {
            waitMs = std::min(waitMs, p.Deadline.RemainingMs());
            polled.push_back(pollfd{p.Fd.Get(), POLLOUT, 0});
        }
        int rc = ::poll(polled.data(), polled.size(), waitMs);
        if (rc < 0 && errno != EINTR) break; // what is still under way counts as no answer
        std::vector<TPending> still;
        for (size_t k = 0; k < pending.size(); ++k) {
            TPending& p = pending[k];
            if (rc > 0 && polled[k].revents != 0) {
                knocks[p.Index].Answered = ConnectSucceeded(p.Fd.Get(), nullptr);
            } else if (!p.Deadline.Passed()) {
                still.push_back(std::move(p));
            }
        }
        pending = std::move(still);
    }
}

bool SendAll(int fd, const uint8_t* data, size_t len, const TDeadline& deadline) {
    size_t sent = 0;
    while (sent < len) {
        ssize_t n = ::send(fd, data + sent, len - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!WaitFor(fd, POLLOUT, deadline)) return false;
            continue;
        }
        return false;
    }
    return true;
}

size_t ReceiveUpTo(int fd, uint8_t* data, size_t len, const TDeadline& deadline) {
    size_t got = 0;
    while (got < len) {
        ssize_t n = ::recv(fd, data + got, len - got, 0);
        if (n > 0) {
            got += static_cast<size_t>(n);
            continue;
        }
        if (n == 0) break; // peer closed
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (!WaitFor(fd, POLLIN, deadline)) break;
            continue;
        }
        break;
    }
    return got;
}

bool WaitReadable(int fd, const TDeadline& deadline) {
    return WaitFor(fd, POLLIN, deadline);
}

std::string PeerHost(int fd) {
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0 || addr.sin_family != AF_INET)
        return "";
    char text[INET_ADDRSTRLEN] = {};
    if (inet_ntop(AF_INET, &addr.sin_addr, text, sizeof text) == nullptr) return "";
    return text;
}

std::string PeerPort(int fd) {
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0 || addr.sin_family != AF_INET)
        return "";
    return std::to_string(ntohs(addr.sin_port));
}

TWakeEvent::TWakeEvent() : fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

void TWakeEvent::Signal() {
    uint64_t one = 1;
    // A full counter already wakes every poll; nothing to report.
    [[maybe_unused]] ssize_t n = ::write(fd_.Get(), &one, sizeof one);
}

void TWakeEvent::Drain() {
    uint64_t count = 0;
    // Non-blocking: nothing to take is no error.
    [[maybe_unused]] ssize_t n = ::read(fd_.Get(), &count, sizeof count);
}

} // namespace qrb::device::lan
