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
    lan::TDeadline deadline(answerMs);
    {
        std::unique_lock<std::mutex> lock(mutex_);
        if (lost_) return false;
        // A notification the reader thread is taking right now is finished first.
        requesting_ = true;
        readerDone_.wait_until(lock, deadline.At(), [this] { return !readerReading_ || lost_; });
        if (lost_ || readerReading_) {
            requesting_ = false;
            return false;
        }
    }
    struct TEnd {
        TI2CSocket& Socket;
        ~TEnd() { Socket.EndRequest(); }
    } end{*this};

    if (!lan::SendAll(fd_.Get(), request.Bytes.data(), TCommandBlock::Size, deadline)) return false;
    const uint64_t wanted = request.Sequence().Value();
    // What the stream already holds is older than the request and is only passed on.
    if (TakeMessages(0, nullptr) == TRead::Ended) {
        Lose();
        return false;
    }
    for (;;) {
        if (!lan::WaitReadable(fd_.Get(), deadline)) return false;
        TRead read = ReadAvailable(wanted, &answer);
        if (read == TRead::Answer) {
            // What came with the answer is taken now: the reader thread waits for new bytes.
            if (TakeMessages(0, nullptr) == TRead::Ended) Lose();
            return true;
        }
        if (read == TRead::Ended) {
            Lose();
            return false;
        }
    }
}

void TI2CSocket::EndRequest() {
    bool parked;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requesting_ = false;
        parked = readerParked_;
    }
    if (parked) wake_.Signal();
}

TI2CSocket::TRead TI2CSocket::TakeMessages(uint64_t wanted, TCommandBlock* answer) {
    for (;;) {
        switch (stream_.Next(notification_, block_)) {
        case TLanStream::TEvent::None:
            return TRead::Nothing;
        case TLanStream::TEvent::Notification:
            owner_.PostIRQ(index_, generation_, notification_);
            break;
        case TLanStream::TEvent::Answer:
            // An older answer belongs to a request that gave up.
            if (answer != nullptr && block_.Sequence().Value() >= wanted) {
                *answer = block_;
                return TRead::Answer;
            }
            break;
        case TLanStream::TEvent::UnknownHead:
            return TRead::Ended;
        }
    }
}

TI2CSocket::TRead TI2CSocket::ReadAvailable(uint64_t wanted, TCommandBlock* answer) {
    uint8_t chunk[4096];
    for (;;) {
        TRead taken = TakeMessages(wanted, answer);
        if (taken != TRead::Nothing) return taken;
        ssize_t n = ::recv(fd_.Get(), chunk, sizeof chunk, MSG_DONTWAIT);
        if (n > 0) {
            stream_.Append(chunk, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return TRead::Nothing;
        return TRead::Ended; // end of stream, reset or error
    }
}

void TI2CSocket::Lose() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (lost_) return;
        lost_ = true;
    }
    readerDone_.notify_all();
    ::shutdown(fd_.Get(), SHUT_RDWR);
    owner_.PostLoss(generation_, host_);
}

void TI2CSocket::ReaderLoop() {
    try {
        while (!stop_.load()) {
            bool watch;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                watch = !requesting_;
                readerParked_ = !watch;
            }
            // While a request reads its own answer only the wake event is watched; the end of
            // the request signals it when the reader was parked, so no change is missed.
            pollfd fds[2] = {{watch ? fd_.Get() : -1, POLLIN, 0}, {wake_.Fd(), POLLIN, 0}};
            int rc = ::poll(fds, 2, -1);
            if (rc < 0) {
                if (errno == EINTR) continue;
                Lose();
                return;
            }
            if (stop_.load()) return;
            if ((fds[1].revents & POLLIN) != 0) wake_.Drain();
            if (fds[0].revents == 0) continue;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (requesting_) continue; // the request takes what arrived
                readerReading_ = true;
            }
            TRead read = ReadAvailable(0, nullptr);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                readerReading_ = false;
            }
            readerDone_.notify_all();
            if (read == TRead::Ended) {
                if (!stop_.load()) Lose();
                return;
            }
        }
    } catch (...) {
        // The thread never ends the process; what went wrong ends the connection.
        try {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                readerReading_ = false;
            }
            readerDone_.notify_all();
            Lose();
        } catch (...) {
        }
    }
}

} // namespace qrb::device
