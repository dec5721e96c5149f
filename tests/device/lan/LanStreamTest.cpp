#include "device/lan/LanStream.h"

#include <gtest/gtest.h>

#include <vector>

using namespace qrb::device;

namespace {

// A notification: magic 0xFACEFACE, IRQ word 0xFBFF (fan bit cleared), status bytes 1..8.
const std::vector<uint8_t> kNotification = {0xCE, 0xFA, 0xCE, 0xFA, 0xFF, 0xFB, 1, 2, 3, 4, 5, 6, 7, 8, 0, 0};

std::vector<uint8_t> AnswerBytes(uint8_t seqLow) {
    std::vector<uint8_t> b(1432, 0);
    const uint8_t head[] = {0x00, 0x05, 0x69, 0x87};
    std::copy(std::begin(head), std::end(head), b.begin());
    b[24] = seqLow;
    b[1431] = 0x5A;
    return b;
}

struct Taken {
    std::vector<TLanStream::TEvent> events;
    std::vector<TIRQMessage> notifications;
    std::vector<TCommandBlock> answers;
};

// Feeds the bytes in pieces of the given sizes and collects what comes out after each piece.
Taken Feed(TLanStream& s, const std::vector<uint8_t>& bytes, const std::vector<size_t>& pieces) {
    Taken t;
    size_t pos = 0;
    auto drain = [&] {
        TIRQMessage n;
        TCommandBlock a;
        for (;;) {
            auto e = s.Next(n, a);
            if (e == TLanStream::TEvent::None) return;
            t.events.push_back(e);
            if (e == TLanStream::TEvent::Notification) t.notifications.push_back(n);
            if (e == TLanStream::TEvent::Answer) t.answers.push_back(a);
            if (e == TLanStream::TEvent::UnknownHead) return;
        }
    };
    for (size_t piece : pieces) {
        size_t n = std::min(piece, bytes.size() - pos);
        s.Append(bytes.data() + pos, n);
        pos += n;
        drain();
    }
    s.Append(bytes.data() + pos, bytes.size() - pos);
    drain();
    return t;
}

} // namespace

TEST(LanStream, NotificationInAnyPiecesComesOutWhole) {
    const std::vector<std::vector<size_t>> splits = {{},      {4},  {1, 1, 1},
                                                     {3, 12}, {15}, {2, 2, 2, 2, 2, 2, 2}};
    for (const auto& split : splits) {
        TLanStream s;
        Taken t = Feed(s, kNotification, split);
        ASSERT_EQ(t.notifications.size(), 1u) << split.size();
        EXPECT_EQ(t.notifications[0].Magic, 0xFACEFACEu);
        EXPECT_EQ(t.notifications[0].IRQWord, 0xFBFF);
        EXPECT_EQ(t.notifications[0].ChannelStatus[7], 8);
        EXPECT_EQ(s.Pending(), 0u);
    }
}

TEST(LanStream, MixedMessagesInOneSegmentKeepTheirOrder) {
    std::vector<uint8_t> bytes = kNotification;
    auto answer = AnswerBytes(7);
    bytes.insert(bytes.end(), answer.begin(), answer.end());
    bytes.insert(bytes.end(), kNotification.begin(), kNotification.end());
    bytes.insert(bytes.end(), kNotification.begin(), kNotification.begin() + 5); // a head for later

    TLanStream s;
    Taken t = Feed(s, bytes, {});
    using E = TLanStream::TEvent;
    EXPECT_EQ(t.events, (std::vector<E>{E::Notification, E::Answer, E::Notification}));
    ASSERT_EQ(t.answers.size(), 1u);
    EXPECT_EQ(t.answers[0].SeqLow(), 7u);
    EXPECT_EQ(t.answers[0].Bytes[1431], 0x5A);
    EXPECT_EQ(s.Pending(), 5u); // the partial head stays
    s.Append(kNotification.data() + 5, 11);
    TIRQMessage n;
    TCommandBlock a;
    EXPECT_EQ(s.Next(n, a), E::Notification);
}

TEST(LanStream, AnswerWaitsForItsLastByte) {
    auto answer = AnswerBytes(1);
    TLanStream s;
    s.Append(answer.data(), 1431);
    TIRQMessage n;
    TCommandBlock a;
    EXPECT_EQ(s.Next(n, a), TLanStream::TEvent::None);
    s.Append(answer.data() + 1431, 1);
    EXPECT_EQ(s.Next(n, a), TLanStream::TEvent::Answer);
}

TEST(LanStream, UnknownHeadStopsTheStream) {
    TLanStream s;
    const uint8_t junk[] = {0x01, 0x02, 0x03, 0x04, 0xCE, 0xFA, 0xCE, 0xFA};
    s.Append(junk, sizeof junk);
    TIRQMessage n;
    TCommandBlock a;
    EXPECT_EQ(s.Next(n, a), TLanStream::TEvent::UnknownHead);
    EXPECT_EQ(s.Next(n, a), TLanStream::TEvent::UnknownHead);

    TLanStream shortHead; // fewer than four bytes are no verdict yet
    shortHead.Append(junk, 3);
    EXPECT_EQ(shortHead.Next(n, a), TLanStream::TEvent::None);
}
