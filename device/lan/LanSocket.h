#pragma once
// The POSIX socket layer of the LAN transport: IPv4 TCP clients with deadlines. Sockets are
// non-blocking; every wait is a poll bounded by its deadline, and no send raises SIGPIPE.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qrb::device::lan {

using TClock = std::chrono::steady_clock;

// A point in time after which a socket wait gives up.
class TDeadline {
public:
    explicit TDeadline(uint32_t ms) : at_(TClock::now() + std::chrono::milliseconds(ms)) {}
    // Milliseconds left, 0 once passed.
    int RemainingMs() const;
    bool Passed() const { return TClock::now() >= at_; }
    TClock::time_point At() const { return at_; }

private:
    TClock::time_point at_;
};

// Owns one file descriptor.
class TFd {
public:
    TFd() = default;
    explicit TFd(int fd) : fd_(fd) {}
    ~TFd() { Close(); }
    TFd(TFd&& o) noexcept : fd_(o.Release()) {}
    TFd& operator=(TFd&& o) noexcept;
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;

    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    int Release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void Close();

private:
    int fd_ = -1;
};

// Connects to host:port (IPv4 dotted text, or a name resolved to IPv4) within timeoutMs.
// Returns an invalid TFd on failure; error receives the reason.
TFd ConnectTcp(const std::string& host, uint16_t port, uint32_t timeoutMs, std::string* error = nullptr);

// One endpoint of KnockAll and what came of it.
struct TKnock {
    std::string Host;
    uint16_t Port = 0;
    bool Answered = false; // the connection was made
};

// Connects to every endpoint at once and closes each connection as soon as it is made. A
// refused or failed connect ends at once; one not made within timeoutMs of its own start
// counts as no answer. Returns when every endpoint has its result.
void KnockAll(std::vector<TKnock>& knocks, uint32_t timeoutMs);

// Sends all bytes before the deadline; false on error, closed peer or time-out.
bool SendAll(int fd, const uint8_t* data, size_t len, const TDeadline& deadline);

// Receives until len bytes arrived, the peer closed, an error occurred or the deadline passed;
// returns the count received.
size_t ReceiveUpTo(int fd, uint8_t* data, size_t len, const TDeadline& deadline);

// Waits until fd has something to read (or has ended) or the deadline passes; false on the
// time-out or a failed poll.
bool WaitReadable(int fd, const TDeadline& deadline);

// The peer's address text and port number text ("" when unknown).
std::string PeerHost(int fd);
std::string PeerPort(int fd);

// An eventfd that wakes a poll from another thread.
class TWakeEvent {
public:
    TWakeEvent();
    int Fd() const { return fd_.Get(); }
    bool Valid() const { return fd_.Valid(); }
    void Signal();
    // Takes back every signal given so far.
    void Drain();

private:
    TFd fd_;
};

} // namespace qrb::device::lan
