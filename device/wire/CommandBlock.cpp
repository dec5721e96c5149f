#include "device/wire/CommandBlock.h"

#include "device/ByteOrder.h"

#include <algorithm>
#include <cstring>

namespace qrb::device {

uint32_t TCommandBlock::Word(size_t offset) const {
    if (offset + 4 > Size) return 0;
    return GetU32(Bytes.data() + offset);
}

void TCommandBlock::SetWord(size_t offset, uint32_t value) {
    if (offset + 4 > Size) return;
    PutU32(Bytes.data() + offset, value);
}

void TCommandBlock::SetPayload(std::span<const uint8_t> payload) {
    size_t n = std::min(payload.size(), kPayloadCapacity);
    if (n > 0) std::memcpy(Payload(), payload.data(), n);
    SetWord(oPayloadLength, static_cast<uint32_t>(n));
}

void BuildRequest(TCommandBlock& request, uint32_t group, uint32_t command, uint32_t direction,
                  TSequenceNumber& entry) {
    entry.Advance();
    request.Clear();
    request.SetWord(TCommandBlock::oMagic, kBlockMagic);
    request.SetWord(TCommandBlock::oGroup, group);
    request.SetWord(TCommandBlock::oCommand, command);
    request.SetWord(TCommandBlock::oSize, static_cast<uint32_t>(TCommandBlock::Size));
    request.SetWord(TCommandBlock::oDirection, direction);
    request.SetWord(TCommandBlock::oSeqHigh, entry.SeqHigh);
    request.SetWord(TCommandBlock::oSeqLow, entry.SeqLow);
    request.SetWord(TCommandBlock::oPayloadLength, 0);
}

bool CheckResponse(const TCommandBlock& answer, uint32_t direction, const TSequenceNumber& entry) {
    return answer.Magic() == kBlockMagic && answer.Direction() == direction &&
           answer.SeqHigh() == entry.SeqHigh && answer.SeqLow() == entry.SeqLow;
}

std::array<uint8_t, TInfoRequest::Size> TInfoRequest::Encode() {
    std::array<uint8_t, Size> bytes{};
    PutU32(bytes.data(), Word0);
    PutU32(bytes.data() + 4, Word1);
    return bytes;
}

bool TInfoAnswer::Decode(const uint8_t* data, size_t len, TInfoAnswer& out) {
    if (data == nullptr || len < Size) return false;
    std::memcpy(out.HolderIP.data(), data + oHolderIP, 4);
    out.Series = GetI32(data + oSeries);
    out.Serial = GetI32(data + oSerial);
    return true;
}

std::string TInfoAnswer::HolderText() const {
    std::string text;
    for (size_t i = 0; i < HolderIP.size(); ++i) {
        if (i > 0) text += '.';
        text += std::to_string(HolderIP[i]);
    }
    return text;
}

} // namespace qrb::device
