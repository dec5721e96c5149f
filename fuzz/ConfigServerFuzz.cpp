// The configuration server's line taking on its socket: any bytes a client sends, in pieces of
// any size, then its end of stream, get exactly the replies the request handling gives to the
// lines in them, in order, up to the first close (a request that closes, a line longer than
// allowed, or an unended rest), and then the end of the connection; never a hang.
//
// Input: the first byte sets the size of the pieces sent (0: all at once, else 1..255 bytes),
// the rest is what the client sends.

#include "device/I2CHAL.h"
#include "model/I2CTranslator.h"
#include "tests/support/VirtualMainLoop.h"
#include "ui/configserver/ConfigRequest.h"
#include "ui/configserver/ConfigServer.h"

#include <QCoreApplication>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <unistd.h>

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "configuration server: %s\n", what);
    std::abort();
}

// Fixed reports: the replies depend on the request alone.
void FixReports(qrb::ui::TConfigRequestHandler& handler) {
    handler.RangeMode = [] { return 0; };
    handler.DeviceStatusReport = [] { return std::string("Device 01:\r\n\r\n  Fan:  0.00 rpm\r\n\r\n"); };
    handler.DeviceInfoReport = [] { return std::string("Device 01:\r\n\r\n"); };
}

struct TWorld {
    int argc = 1;
    char name[8] = "fuzzer";
    char* argv[2] = {name, nullptr};
    QCoreApplication app{argc, argv};
    qrb::test::TInstalledVirtualMainLoop loop;
    qrb::model::TI2CTranslator translator{qrb::device::kMaskOffline, false,
                                          qrb::device::DefaultTransportFactory()};
    qrb::ui::TConfigServer server{translator, nullptr};
    qrb::ui::TConfigRequestHandler handler{translator};

    TWorld() {
        translator.OnConfigComplete = [](const void*) {};
        translator.AddScanTarget("A-8:3", qrb::device::kMaskOffline);
        translator.Rescan();
        FixReports(server.Handler());
        FixReports(handler);
        if (!server.Start(0)) Fail("cannot listen");
    }
};

TWorld& World() {
    static TWorld* world = new TWorld; // lives for the process
    return *world;
}

// What the server must send for these bytes followed by the end of stream.
std::string Expected(const qrb::ui::TConfigRequestHandler& handler, std::string_view rest) {
    std::string out;
    for (;;) {
        const size_t lf = rest.find('\n');
        if (lf == std::string_view::npos) return out;
        size_t length = lf;
        if (length > 0 && rest[lf - 1] == '\r') --length;
        if (length > qrb::ui::kConfigMaxLineLength) return out;
        const qrb::ui::TConfigReply reply = handler.Answer(rest.substr(0, lf));
        if (reply.Close) return out;
        out += reply.Bytes;
        rest.remove_prefix(lf + 1);
    }
}

int Connect(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) Fail("socket");
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 && errno != EINPROGRESS)
        Fail("connect");
    return fd;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    TWorld& w = World();
    const size_t piece = data[0] == 0 ? size : data[0];
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string expected = Expected(w.handler, bytes);

    const int fd = Connect(w.server.ServerPort());
    std::string received;
    size_t sent = 0;
    bool ended = false, shut = false;
    int idle = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!ended) {
        if (std::chrono::steady_clock::now() > deadline) Fail("the connection never ended");
        if (sent < bytes.size()) {
            const size_t n = std::min(piece, bytes.size() - sent);
            const ssize_t k = ::send(fd, bytes.data() + sent, n, MSG_NOSIGNAL);
            if (k > 0) {
                sent += static_cast<size_t>(k);
                idle = 0;
            } else if (k < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != ENOTCONN) {
                sent = bytes.size(); // the server has closed its side: the rest is not taken
            }
        } else if (!shut) {
            ::shutdown(fd, SHUT_WR);
            shut = true;
        }
        QCoreApplication::processEvents();
        // The server works on the passes of the event loop: waiting is for when it has nothing
        // left to do.
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, idle > 100 ? 1 : 0) <= 0) {
            ++idle;
            continue;
        }
        idle = 0;
        char buffer[65536];
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        // Acknowledged at once: the server's next small reply does not wait for a delayed ACK.
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
        if (got > 0) {
            received.append(buffer, static_cast<size_t>(got));
        } else if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
            ended = true;
        }
    }
    ::close(fd);
    if (received != expected) Fail("the replies differ from the requests' answers");
    // The server lets the connection go.
    for (int i = 0; i < 1000 && w.server.ConnectionCount() > 0; ++i)
        QCoreApplication::processEvents();
    if (w.server.ConnectionCount() != 0) Fail("a connection stays after its end");
    return 0;
}
