// The USB transport's reading of the info answer a device puts into its communication sector:
// it is taken only from a whole frame whose payload is exactly one info answer, with the
// holder, series and serial from their places in it; otherwise the answer stays untouched.
//
// Input: the bytes read (a read of fewer than 2048 bytes leaves the rest of the frame zero).
#include "device/ByteOrder.h"
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

    TInfoAnswer answer;
    answer.HolderIP = {1, 2, 3, 4};
    answer.Series = -7;
    answer.Serial = -8;
    const TSectorReply result = DecodeInfoReply(reply, count, answer);
    const uint32_t length = TSectorFrame::Decode(reply).PayloadLength;
    const bool whole = count == kSectorFrameSize && length == TInfoAnswer::Size;
    if ((result == TSectorReply::Ok) != whole) std::abort();
    if (result == TSectorReply::ShortTransfer && count == kSectorFrameSize) std::abort();
    const uint8_t* payload = reply.data() + kFramePayloadOffset;
    if (result == TSectorReply::Ok) {
        if (!std::equal(answer.HolderIP.begin(), answer.HolderIP.end(), payload + TInfoAnswer::oHolderIP) ||
            answer.Series != GetI32(payload + TInfoAnswer::oSeries) ||
            answer.Serial != GetI32(payload + TInfoAnswer::oSerial))
            std::abort();
    } else if (!answer.HolderIs(1, 2, 3, 4) || answer.Series != -7 || answer.Serial != -8) {
        std::abort();
    }
    return 0;
}
