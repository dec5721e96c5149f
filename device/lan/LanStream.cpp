#include "device/lan/LanStream.h"

#include "device/ByteOrder.h"

#include <cstring>

namespace qrb::device {

void TLanStream::Append(const uint8_t* data, size_t len) {
    if (len == 0) return;
    // Drop what was consumed before growing, so the buffer holds at most one message more
    // than the last read.
    if (start_ > 0) {
        bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(start_));
        start_ = 0;
    }
    bytes_.insert(bytes_.end(), data, data + len);
}

void TLanStream::Consume(size_t n) {
    start_ += n;
    if (start_ == bytes_.size()) {
        bytes_.clear();
        start_ = 0;
    }
}

TLanStream::TEvent TLanStream::Next(TIRQMessage& notification, TCommandBlock& answer) {
    if (Pending() < 4) return TEvent::None;
    const uint8_t* head = bytes_.data() + start_;
    uint32_t magic = GetU32(head);
    if (magic == TIRQMessage::MagicValue) {
        if (Pending() < TIRQMessage::Size) return TEvent::None;
        TIRQMessage::Decode(head, TIRQMessage::Size, notification);
        Consume(TIRQMessage::Size);
        return TEvent::Notification;
    }
    if (magic == kBlockMagic) {
        if (Pending() < TCommandBlock::Size) return TEvent::None;
        std::memcpy(answer.Bytes.data(), head, TCommandBlock::Size);
        Consume(TCommandBlock::Size);
        return TEvent::Answer;
    }
    return TEvent::UnknownHead;
}

} // namespace qrb::device
