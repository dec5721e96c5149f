#include "ui/configserver/ConfigServer.h"

#include <QHostAddress>
#include <QMetaObject>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <string_view>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace qrb::ui {

// Hands each accepted descriptor to the server instead of wrapping it in a socket object: the
// connections need a half-closed state (the client has sent everything, the replies still go
// out), which the socket classes do not have.
class TConfigListener : public QTcpServer {
public:
    using QTcpServer::QTcpServer;
    std::function<void(intptr_t)> OnDescriptor;

protected:
    void incomingConnection(qintptr descriptor) override {
        if (OnDescriptor)
            OnDescriptor(descriptor);
        else
            ::close(static_cast<int>(descriptor));
    }
};

namespace {

// Read at most this much ahead of the lines taken, so that a client that sends faster than it
// is answered is held back by TCP instead of filling memory.
constexpr size_t kReadAhead = 64 * 1024;

// Bytes received without a line end that can no longer become a line of the allowed length
// (a CR may still come before the LF).
bool TooLongWithoutEnd(const std::string& input) {
    if (input.size() > kConfigMaxLineLength + 1) return true;
    return input.size() == kConfigMaxLineLength + 1 && input.back() != '\r';
}

bool WouldBlock(int error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

} // namespace

struct TConfigServer::TConnection {
    int Fd = -1;
    QSocketNotifier* Reader = nullptr; // children of the server, deleted later
    QSocketNotifier* Writer = nullptr;
    std::string Input; // received, not yet taken as lines
    std::string Output;
    size_t Sent = 0;         // of Output
    bool InFlight = false;   // a request waits at the gate or is being answered
    bool PumpPosted = false; // the next request is taken on the next pass of the event loop
    bool InputEnded = false; // the client has sent its end of stream
    bool Closing = false;    // no further request: the output goes out, then the connection closes
    bool Lingering = false;  // our end is shut; the client's rest is read and dropped
    uint64_t Serial = 0;     // order of acceptance

    int64_t Unsent() const { return static_cast<int64_t>(Output.size() - Sent); }
};

TConfigServer::TConfigServer(model::TI2CTranslator& translator, TRunWhenOpen runWhenOpen, QObject* parent)
    : QObject(parent), handler_(translator), runWhenOpen_(std::move(runWhenOpen)),
      listener_(new TConfigListener(this)) {
    UseTranslatorReports(handler_, translator);
    listener_->OnDescriptor = [this](intptr_t descriptor) { Accept(descriptor); };
}

TConfigServer::~TConfigServer() {
    Stop();
}

bool TConfigServer::Start(uint16_t port, QString* error) {
    Stop();
    // The listener sets address reuse on Unix before it binds.
    if (!listener_->listen(QHostAddress(QHostAddress::LocalHost), port)) {
        if (error != nullptr) *error = listener_->errorString();
        return false;
    }
    return true;
}

void TConfigServer::Stop() {
    listener_->close();
    std::map<int, TConnectionPtr> all = std::move(connections_);
    connections_.clear();
    all.merge(ending_);
    ending_.clear();
    all.merge(closing_);
    closing_.clear();
    for (auto& [fd, c] : all)
        Destroy(c);
}

bool TConfigServer::IsActive() const {
    return listener_->isListening();
}

uint16_t TConfigServer::ServerPort() const {
    return listener_->isListening() ? listener_->serverPort() : 0;
}

int64_t TConfigServer::PendingReplyBytes() const {
    int64_t bytes = 0;
    for (const auto* map : {&connections_, &ending_})
        for (const auto& [fd, c] : *map)
            bytes += c->Unsent();
    return bytes;
}

void TConfigServer::Accept(intptr_t descriptor) {
    const int fd = static_cast<int>(descriptor);
    if (connections_.size() >= static_cast<size_t>(kMaxConnections)) FindEnded();
    if (connections_.size() >= static_cast<size_t>(kMaxConnections)) {
        ::close(fd);
        return;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);

    auto c = std::make_shared<TConnection>();
    c->Fd = fd;
    c->Serial = ++serial_;
    c->Reader = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    c->Writer = new QSocketNotifier(fd, QSocketNotifier::Write, this);
    c->Writer->setEnabled(false);
    connections_[fd] = c;

    const std::weak_ptr<TConnection> weak = c;
    connect(c->Reader, &QSocketNotifier::activated, this, [this, weak] {
        if (auto locked = weak.lock()) Readable(locked);
    });
    connect(c->Writer, &QSocketNotifier::activated, this, [this, weak] {
        if (auto locked = weak.lock()) Flush(locked);
    });
}

void TConfigServer::Readable(const TConnectionPtr& c) {
    // Reading goes on while a request waits, so that a client that ends or resets is noticed;
    // only the read-ahead bounds it.
    char buffer[kReadAhead];
    const size_t room = c->Lingering ? sizeof buffer : kReadAhead - std::min(kReadAhead, c->Input.size());
    if (room == 0) {
        c->Reader->setEnabled(false);
        return;
    }
    const ssize_t got = ::recv(c->Fd, buffer, room, MSG_DONTWAIT);
    if (got < 0 && WouldBlock(errno)) return;
    if (got <= 0) {
        if (c->Lingering || got < 0) {
            // The client has gone (or reset the connection): nothing more can reach it.
            Destroy(c);
            return;
        }
        c->InputEnded = true;
        c->Reader->setEnabled(false);
        Ended(c);
        Pump(c);
        return;
    }
    if (c->Lingering) return; // dropped
    c->Input.append(buffer, static_cast<size_t>(got));
    if (c->Input.size() >= kReadAhead) c->Reader->setEnabled(false);
    Pump(c);
}

void TConfigServer::Ended(const TConnectionPtr& c) {
    // Its place is free; the replies to the lines it sent still go out.
    if (connections_.erase(c->Fd) == 0) return;
    ending_[c->Fd] = c;
    BoundEnding();
}

void TConfigServer::FindEnded() {
    // Their ends may not have been read yet: an end of stream shows behind lines still unread,
    // as does a reset. Reading goes on as before, so those lines are still answered.
    std::vector<pollfd> polled;
    for (const auto& [fd, c] : connections_)
        polled.push_back({fd, POLLRDHUP, 0});
    if (::poll(polled.data(), polled.size(), 0) <= 0) return;
    for (const pollfd& p : polled) {
        if ((p.revents & (POLLRDHUP | POLLHUP | POLLERR)) == 0) continue;
        if (const auto it = connections_.find(p.fd); it != connections_.end())
            Ended(TConnectionPtr(it->second));
    }
}

void TConfigServer::BoundEnding() {
    while (ending_.size() + closing_.size() > static_cast<size_t>(kMaxEnding)) {
        TConnectionPtr oldest;
        for (auto* map : {&ending_, &closing_})
            for (const auto& [fd, c] : *map)
                if (!oldest || c->Serial < oldest->Serial) oldest = c;
        Destroy(oldest);
    }
}

void TConfigServer::Pump(const TConnectionPtr& c) {
    if (c->Closing || c->InFlight) return;
    // Resumed by Flush once the client has read enough.
    if (c->Unsent() > kMaxPendingReply) return;

    const size_t lf = c->Input.find('\n');
    if (lf == std::string::npos) {
        if (TooLongWithoutEnd(c->Input)) {
            Close(c);
        } else if (c->InputEnded) {
            Close(c); // every line was answered; an unended rest is no request
        } else {
            c->Reader->setEnabled(true);
        }
        return;
    }
    size_t length = lf;
    if (length > 0 && c->Input[lf - 1] == '\r') --length;
    if (length > kConfigMaxLineLength) {
        Close(c);
        return;
    }
    std::string line = c->Input.substr(0, lf);
    c->Input.erase(0, lf + 1);
    if (!c->InputEnded && c->Input.size() < kReadAhead) c->Reader->setEnabled(true);

    c->InFlight = true;
    std::weak_ptr<TConnection> weak = c;
    // A connection lives no longer than its server: a live one means a live server. One that
    // ended (or a server that stopped) while the request waited gets no answer.
    auto work = [this, weak, line = std::move(line)] {
        if (auto locked = weak.lock()) Answer(locked, line);
    };
    if (runWhenOpen_)
        runWhenOpen_(std::move(work));
    else
        work();
}

void TConfigServer::PostPump(const TConnectionPtr& c) {
    if (c->PumpPosted) return;
    c->PumpPosted = true;
    const std::weak_ptr<TConnection> weak = c;
    // One request per pass of the event loop, so that a client with many lines queued shares the
    // main thread with everything else.
    QMetaObject::invokeMethod(
        this,
        [this, weak] {
            if (auto locked = weak.lock()) {
                locked->PumpPosted = false;
                Pump(locked);
            }
        },
        Qt::QueuedConnection);
}

void TConfigServer::Answer(const TConnectionPtr& c, const std::string& line) {
    if (c->Closing) return;

    const TConfigReply reply = handler_.Answer(line);
    c->InFlight = false;
    if (reply.Close) {
        Close(c);
        return;
    }
    c->Output += reply.Bytes;
    Flush(c);
    if (!c->Closing) PostPump(c);
}

void TConfigServer::Flush(const TConnectionPtr& c) {
    if (c->Fd < 0) return;
    const bool wasHeld = c->Unsent() > kMaxPendingReply;
    while (c->Sent < c->Output.size()) {
        const ssize_t n = ::send(c->Fd, c->Output.data() + c->Sent, c->Output.size() - c->Sent,
                                 MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && WouldBlock(errno)) break;
        if (n <= 0) {
            Destroy(c); // the client has gone
            return;
        }
        c->Sent += static_cast<size_t>(n);
    }
    if (c->Sent == c->Output.size()) {
        c->Output.clear();
        c->Sent = 0;
    } else if (c->Sent >= static_cast<size_t>(kMaxPendingReply)) {
        c->Output.erase(0, c->Sent);
        c->Sent = 0;
    }
    c->Writer->setEnabled(c->Unsent() > 0);
    if (c->Unsent() == 0 && c->Closing) {
        Linger(c);
        return;
    }
    if (wasHeld && c->Unsent() <= kMaxPendingReply) PostPump(c);
}

void TConfigServer::Close(const TConnectionPtr& c) {
    if (c->Closing) return;
    c->Closing = true;
    c->Input.clear();
    c->Reader->setEnabled(false);
    // Its place is free at once; the replies already given still go out.
    if (connections_.erase(c->Fd) != 0 || ending_.erase(c->Fd) != 0) {
        closing_[c->Fd] = c;
        BoundEnding();
        if (c->Fd < 0) return;
    }
    QTimer::singleShot(kCloseGraceMs, this, [this, weak = std::weak_ptr<TConnection>(c)] {
        if (auto locked = weak.lock()) Destroy(locked);
    });
    Flush(c);
}

void TConfigServer::Linger(const TConnectionPtr& c) {
    if (c->Lingering) return;
    c->Lingering = true;
    // The end of stream follows the last reply; reading on until the client ends keeps the close
    // from resetting the connection while replies may still be on their way.
    ::shutdown(c->Fd, SHUT_WR);
    if (c->InputEnded) {
        Destroy(c);
        return;
    }
    c->Reader->setEnabled(true);
}

void TConfigServer::Destroy(const TConnectionPtr& c) {
    if (c->Fd < 0) return;
    // Notifiers may be inside their own signal: disabled now, deleted later.
    for (QSocketNotifier* notifier : {c->Reader, c->Writer}) {
        notifier->setEnabled(false);
        notifier->deleteLater();
    }
    connections_.erase(c->Fd);
    ending_.erase(c->Fd);
    closing_.erase(c->Fd);
    ::close(c->Fd);
    c->Fd = -1;
    c->Closing = true;
}

} // namespace qrb::ui
