#pragma once
// A configuration-server client on a thread of its own: it sends its lines one at a time and
// reads each reply line while the test's main thread runs the program's event loops.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace qrb::test {

class TLoopbackClient {
public:
    // Sends each line (CR LF added) after the reply to the one before; every wait ends after
    // 10 s so that a fault fails instead of hanging.
    TLoopbackClient(uint16_t port, std::vector<std::string> lines) {
        thread_ = std::thread([this, port, lines = std::move(lines)] {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            timeval timeout{10, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
            sockaddr_in sa{};
            sa.sin_family = AF_INET;
            sa.sin_port = htons(port);
            ::inet_pton(AF_INET, "127.0.0.1", &sa.sin_addr);
            if (::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0) {
                for (const std::string& line : lines) {
                    const std::string out = line + "\r\n";
                    if (::send(fd, out.data(), out.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(out.size())) break;
                    std::string reply;
                    char c = 0;
                    while (::recv(fd, &c, 1, 0) == 1) {
                        reply += c;
                        if (c == '\n') break;
                    }
                    if (reply.empty() || reply.back() != '\n') break;
                    replies_.push_back(reply);
                    answered_.fetch_add(1);
                }
            }
            ::close(fd);
            done_ = true;
        });
    }
    ~TLoopbackClient() { thread_.join(); }
    TLoopbackClient(const TLoopbackClient&) = delete;
    TLoopbackClient& operator=(const TLoopbackClient&) = delete;

    bool Done() const { return done_; }
    size_t Answered() const { return answered_.load(); }
    // Only once Done().
    const std::vector<std::string>& Replies() const { return replies_; }

    // Runs pass (one pass of the caller's event processing) until the client is done; false
    // after 20 s.
    bool Await(const std::function<void()>& pass) const {
        QElapsedTimer clock;
        clock.start();
        while (!done_) {
            if (clock.elapsed() > 20000) return false;
            pass();
        }
        return true;
    }

private:
    std::thread thread_;
    std::atomic<bool> done_{false};
    std::atomic<size_t> answered_{0};
    std::vector<std::string> replies_;
};

} // namespace qrb::test
