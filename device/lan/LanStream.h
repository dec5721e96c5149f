#pragma once
// Splits the byte stream of a LAN data connection into whole messages: 16-byte notifications
// (head 0xFACEFACE) and 1432-byte answer blocks (head 0x87690500). A message is taken only
// once all of it has arrived; a partial head is kept, never dropped.

#include "device/Records.h"
#include "device/wire/CommandBlock.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qrb::device {

class TLanStream {
public:
    enum class TEvent {
        None,         // no whole message yet
        Notification, // a notification was taken
        Answer,       // an answer block was taken
        UnknownHead,  // the head is no message: the stream cannot be followed any further
    };

    void Append(const uint8_t* data, size_t len);
    // Takes the next whole message from the head of the stream. After UnknownHead the stream
    // stays there.
    TEvent Next(TIRQMessage& notification, TCommandBlock& answer);

    size_t Pending() const { return bytes_.size() - start_; }

private:
    void Consume(size_t n);

    std::vector<uint8_t> bytes_;
    size_t start_ = 0;
};

} // namespace qrb::device
