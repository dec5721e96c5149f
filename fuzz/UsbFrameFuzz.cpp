// The USB transport's reading of the frame a device puts into its communication sector: any
// bytes, of any count read, decode without overread; a frame encodes again to the same head and
// payload; a reply is taken only when it is a whole frame carrying exactly one answer block,
// and then the block is the frame's payload.
//
// Input: the bytes read (a read of fewer than 2048 bytes leaves the rest of the frame zero).
#include "device/usb/SectorFrame.h"
#include "device/usb/USBTransport.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace qrb::device;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TSectorBytes reply{};
    const size_t count = std::min(size, kSectorFrameSize);
    std::copy_n(data, count, reply.begin());

    const TSectorFrame frame = TSectorFrame::Decode(reply);
    TSectorBytes again{};
    frame.Encode(again);
    const size_t used = kFramePayloadOffset + std::min<size_t>(frame.PayloadLength, kFrameMaxPayload);
    if (!std::equal(reply.begin(), reply.begin() + static_cast<std::ptrdiff_t>(used), again.begin()))
        std::abort();
    if (std::any_of(again.begin() + static_cast<std::ptrdiff_t>(used), again.end(),
                    [](uint8_t b) { return b != 0; }))
        std::abort(); // nothing behind the payload is written

    TCommandBlock answer;
    answer.Bytes.fill(0xA5);
    uint32_t length = 0x5A5A5A5A;
    const TSectorReply result = DecodeCommandReply(reply, count, answer, length);
    const bool untouched =
        std::all_of(answer.Bytes.begin(), answer.Bytes.end(), [](uint8_t b) { return b == 0xA5; });
    switch (result) {
    case TSectorReply::Ok:
        if (count != kSectorFrameSize || length != TCommandBlock::Size || frame.PayloadLength != length ||
            !std::equal(answer.Bytes.begin(), answer.Bytes.end(), reply.begin() + kFramePayloadOffset))
            std::abort();
        break;
    case TSectorReply::ShortTransfer:
        if (count == kSectorFrameSize || length != 0 || !untouched) std::abort();
        break;
    case TSectorReply::WrongLength:
        if (count != kSectorFrameSize || length != frame.PayloadLength || length == TCommandBlock::Size ||
            !untouched)
            std::abort();
        break;
    }
    return 0;
}
