// The fake amplifier's own codec, against bytes written out by hand, and its answers over a
// plain socket.

#include "tests/support/FakeLanAmplifier.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

using namespace qrb::test;

namespace {

using Bytes = std::vector<uint8_t>;

// A GetDeviceInfo request with sequence 0x00000001'00000002, written out field by field.
Bytes DeviceInfoRequest() {
    Bytes b(1432, 0);
    const uint8_t head[] = {
        0x00, 0x05, 0x69, 0x87, 0x00, 0x00, 0x03, 0x00, // Magic, Group 0x30000
        0x01, 0x00, 0x03, 0x00, 0x98, 0x05, 0x00, 0x00, // Command 0x30001, Size 1432
        0x01, 0x04, 0x02, 0x02, 0x01, 0x00, 0x00, 0x00, // Direction request, SeqHigh 1
        0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, // SeqLow 2, PayloadLength 0
    };
    std::copy(std::begin(head), std::end(head), b.begin());
    return b;
}

// A plain blocking client.
class PlainClient {
public:
    PlainClient(const std::string& address, uint16_t port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        inet_pton(AF_INET, address.c_str(), &a.sin_addr);
        timeval tv{5, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~PlainClient() { ::close(fd_); }
    bool Connected() const { return connected_; }
    void Send(const Bytes& b) { ASSERT_EQ(::send(fd_, b.data(), b.size(), MSG_NOSIGNAL), ssize_t(b.size())); }
    Bytes Receive(size_t n) {
        Bytes b(n);
        size_t got = 0;
        while (got < n) {
            ssize_t r = ::recv(fd_, b.data() + got, n - got, 0);
            if (r <= 0) break;
            got += size_t(r);
        }
        b.resize(got);
        return b;
    }

private:
    int fd_ = -1;
    bool connected_ = false;
};

} // namespace

TEST(FakeWire, DecodesARequestBlock) {
    Bytes b = DeviceInfoRequest();
    b[28] = 3;
    b[32] = 0xAA;
    b[33] = 0xBB;
    b[34] = 0xCC;
    b[35] = 0xDD; // beyond PayloadLength
    auto r = fakewire::TRequest::Decode(b.data());
    EXPECT_EQ(r.Magic, 0x87690500u);
    EXPECT_EQ(r.Group, 0x30000u);
    EXPECT_EQ(r.Command, 0x30001u);
    EXPECT_EQ(r.Size, 1432u);
    EXPECT_EQ(r.Direction, 0x02020401u);
    EXPECT_EQ(r.SeqHigh, 1u);
    EXPECT_EQ(r.SeqLow, 2u);
    EXPECT_EQ(r.Payload, (Bytes{0xAA, 0xBB, 0xCC}));
}

TEST(FakeWire, EncodesAnAnswerBlock) {
    fakewire::TAnswer a;
    a.Group = 0x10000;
    a.Command = 0x10009;
    a.SeqHigh = 0x01020304;
    a.SeqLow = 0x05060708;
    a.Payload = {0x40, 0x0D, 0x03, 0x00}; // status 200000
    auto b = a.Encode();
    const Bytes expected = {
        0x00, 0x05, 0x69, 0x87, 0x00, 0x00, 0x01, 0x00, 0x09, 0x00, 0x01, 0x00, 0x98,
        0x05, 0x00, 0x00, 0x02, 0x04, 0x02, 0x02, 0x04, 0x03, 0x02, 0x01, 0x08, 0x07,
        0x06, 0x05, 0x04, 0x00, 0x00, 0x00, 0x40, 0x0D, 0x03, 0x00, 0x00,
    };
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 37), expected);

    a.PayloadLength = 0x579; // a length the data do not have
    b = a.Encode();
    EXPECT_EQ(Bytes(b.begin() + 28, b.begin() + 32), (Bytes{0x79, 0x05, 0x00, 0x00}));
}

TEST(FakeWire, EncodesTheInfoAnswer) {
    auto a = fakewire::EncodeInfoAnswer({192, 168, 0, 10}, 3, 12345);
    EXPECT_EQ(Bytes(a.begin() + 4, a.begin() + 8), (Bytes{192, 168, 0, 10}));
    EXPECT_EQ(Bytes(a.begin() + 26, a.begin() + 34), (Bytes{0x03, 0, 0, 0, 0x39, 0x30, 0, 0}));
    EXPECT_EQ(a.size(), 76u);
}

TEST(FakeLanAmplifier, AnswersOverAPlainSocket) {
    TFakeAmpConfig config;
    config.Channels = 3;
    TFakeLanAmplifier amp(config);
    EXPECT_EQ(amp.InfoPort(), amp.DataPort() + 1);

    PlainClient info(amp.Address(), amp.InfoPort());
    ASSERT_TRUE(info.Connected());
    info.Send({0xFE, 0xCA, 0xCE, 0xFA, 0x40, 0x30, 0x20, 0x10});
    Bytes answer = info.Receive(76);
    ASSERT_EQ(answer.size(), 76u);
    EXPECT_EQ(Bytes(answer.begin() + 4, answer.begin() + 8), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(answer[30], 0x67); // serial 4711 = 0x1267
    EXPECT_EQ(answer[31], 0x12);

    PlainClient data(amp.Address(), amp.DataPort());
    ASSERT_TRUE(data.Connected());
    data.Send(DeviceInfoRequest());
    Bytes block = data.Receive(1432);
    ASSERT_EQ(block.size(), 1432u);
    // Answer head: magic, the request's group and command, size, answer direction, sequence.
    const Bytes head = {0x00, 0x05, 0x69, 0x87, 0x00, 0x00, 0x03, 0x00, 0x01, 0x00, 0x03, 0x00,
                        0x98, 0x05, 0x00, 0x00, 0x02, 0x04, 0x02, 0x02, 0x01, 0x00, 0x00, 0x00,
                        0x02, 0x00, 0x00, 0x00, 0x24, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(Bytes(block.begin(), block.begin() + 36), head);
    // TDeviceInfo: Error 0, Parts 127, Status 0, 3 available, 3 active, state 2, the rest zero.
    EXPECT_EQ(Bytes(block.begin() + 36, block.begin() + 42), (Bytes{0, 127, 0, 3, 3, 2}));
    EXPECT_EQ(Bytes(block.begin() + 42, block.begin() + 68), Bytes(26, 0));

    ASSERT_TRUE(amp.WaitForRequests(1, 2000));
    auto log = amp.Requests();
    EXPECT_EQ(log[0].Command, 0x30001u);
    EXPECT_EQ(amp.InfoRequestCount(), 1u);
}

TEST(FakeLanAmplifier, ScriptedFaultsChangeTheAnswer) {
    TFakeLanAmplifier amp;
    TFakeFault f;
    f.Code = 0x30001;
    f.Status = -9;
    f.PayloadLength = 40;
    f.Direction = 0x02020401;
    f.SequenceOffset = -1;
    amp.AddFault(f);
    PlainClient data(amp.Address(), amp.DataPort());
    data.Send(DeviceInfoRequest());
    Bytes block = data.Receive(1432);
    ASSERT_EQ(block.size(), 1432u);
    EXPECT_EQ(Bytes(block.begin() + 16, block.begin() + 36),
              (Bytes{0x01, 0x04, 0x02, 0x02, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00,
                     0x00, 0x00, 0x28, 0x00, 0x00, 0x00, 0xF7, 0xFF, 0xFF, 0xFF}));
    // Once only: the next answer is whole again.
    data.Send(DeviceInfoRequest());
    block = data.Receive(1432);
    EXPECT_EQ(block[28], 0x24);
}
