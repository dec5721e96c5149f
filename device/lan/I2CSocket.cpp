#include "device/lan/I2CSocket.h"

#include "device/Format.h"
#include "device/lan/I2CLANControl.h"

#include <cerrno>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>

namespace qrb::device {

TI2CSocket::TI2CSocket(const std::string& host, const std::string& portText, uint32_t connectMs,
                       TI2CLANControl& owner, int32_t index, uint64_t generation)
    : owner_(owner), host_(host), index_(index), generation_(generation) {
    int32_t port = 0;
    if (!TryStrToInt(portText, port) || port < 1 || port > 65535)
        throw std::runtime_error("Cannot connect to " + host);
    fd_ = lan::ConnectTcp(host, static_cast<uint16_t>(port), connectMs);
    if (!fd_.Valid()) throw std::runtime_error("Cannot connect to " + host);
    if (!wake_.Valid()) throw std::runtime_error("Cannot connect to " + host);
    remoteHost_ = lan::PeerHost(fd_.Get());
    remotePort_ = lan::PeerPort(fd_.Get());
    if (remoteHost_.empty()) remoteHost_ = host;
    if (remotePort_.empty()) remotePort_ = portText;
    owner_.SocketConnect(*this);
    infoPort_ = port + 1;
    reader_ = std::thread([this] { ReaderLoop(); });
}

TI2CSocket::~TI2CSocket() {
    stop_.store(true);
    wake_.Signal();
    if (fd_.Valid()) ::shutdown(fd_.Get(), SHUT_RDWR);
    if (reader_.joinable()) reader_.join();
    fd_.Close();
}

bool TI2CSocket::Lost() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lost_;
}

bool TI2CSocket::Exchange(const TCommandBlock& request, TCommandBlock& answer, uint32_t answerMs) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (lost_) return false;
        mailbox_.reset();
    }
    lan::TDeadline deadline(answerMs);
    if (!lan::SendAll(fd_.Get(), request.Bytes.data(), TCommandBlock::Size, deadline)) return false;
    const uint64_t wanted = request.Sequence().Value();
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (!arrived_.wait_until(lock, deadline.At(), [this] { return mailbox_.has_value() || lost_; }))
            return false;
        if (mailbox_) {
            const bool stale = mailbox_->Sequence().Value() < wanted;
            if (!stale) answer = *mailbox_;
            mailbox_.reset();
            if (!stale) return true;
            continue; // an answer to an earlier request that gave up
        }
        return false; // lost
    }
}

void TI2CSocket::Deliver(const TCommandBlock& answer) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        mailbox_ = answer; // a newer answer replaces one nobody took
    }
    arrived_.notify_all();
}

void TI2CSocket::Lose() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (lost_) return;
        lost_ = true;
    }
    arrived_.notify_all();
    ::shutdown(fd_.Get(), SHUT_RDWR);
    owner_.PostLoss(generation_, host_);
}

void TI2CSocket::ReaderLoop() {
    try {
        TLanStream stream;
        TIRQMessage notification;
        TCommandBlock answer;
        uint8_t chunk[4096];
        while (!stop_.load()) {
            pollfd fds[2] = {{fd_.Get(), POLLIN, 0}, {wake_.Fd(), POLLIN, 0}};
            int rc = ::poll(fds, 2, -1);
            if (rc < 0) {
                if (errno == EINTR) continue;
                Lose();
                return;
            }
            if (stop_.load() || (fds[1].revents & POLLIN) != 0) return;
            if (fds[0].revents == 0) continue;
            ssize_t n = ::recv(fd_.Get(), chunk, sizeof chunk, 0);
            if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
            if (n <= 0) { // end of stream or reset
                if (!stop_.load()) Lose();
                return;
            }
            stream.Append(chunk, static_cast<size_t>(n));
            for (;;) {
                TLanStream::TEvent event = stream.Next(notification, answer);
                if (event == TLanStream::TEvent::None) break;
                if (event == TLanStream::TEvent::Notification) {
                    owner_.PostIRQ(index_, generation_, notification);
                } else if (event == TLanStream::TEvent::Answer) {
                    Deliver(answer);
                } else {
                    Lose();
                    return;
                }
            }
        }
    } catch (...) {
        // The thread never ends the process; what went wrong ends the connection.
        try {
            Lose();
        } catch (...) {
        }
    }
}

} // namespace qrb::device
