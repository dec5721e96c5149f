#include "tests/support/ScriptedI2CPeer.h"

#include <algorithm>

namespace qrb::test {

void TScriptedChip::Write(std::span<const uint8_t> data) {
    writes_.emplace_back(data.begin(), data.end());
}

size_t TScriptedChip::Read(std::span<uint8_t> out) {
    ++readCount_;
    if (reads_.empty()) return 0;
    const std::vector<uint8_t> answer = std::move(reads_.front());
    reads_.pop_front();
    const size_t n = std::min(answer.size(), out.size());
    std::copy_n(answer.begin(), n, out.begin());
    return n;
}

TScriptedI2CPeer::TScriptedI2CPeer(device::TI2CVirtualControl& control) : control_(control) {
    control_.SetPeer(this);
}

TScriptedI2CPeer::~TScriptedI2CPeer() {
    control_.SetPeer(nullptr);
}

void TScriptedI2CPeer::Attach(uint8_t address, device::TSimChip& chip, int32_t device, int32_t group,
                              int32_t slot) {
    attachments_.push_back({address, device, group, slot, &chip});
}

std::vector<std::vector<uint8_t>> TScriptedI2CPeer::WritesTo(uint8_t address) const {
    std::vector<std::vector<uint8_t>> out;
    for (const auto& w : writes_)
        if (w.Access.Address == address) out.push_back(w.Bytes);
    return out;
}

device::TSimChip* TScriptedI2CPeer::Route(const device::TSimAccess& access) {
    auto matches = [](int32_t want, int32_t have) { return want == kAny || want == have; };
    for (const auto& a : attachments_)
        if (a.Address == access.Address && matches(a.Device, access.ChannelDevice) &&
            matches(a.Group, access.Group) && matches(a.Slot, access.Slot))
            return a.Chip;
    return nullptr;
}

void TScriptedI2CPeer::Written(const device::TSimAccess& access, std::span<const uint8_t> bytes) {
    writes_.push_back({access, std::vector<uint8_t>(bytes.begin(), bytes.end())});
}

} // namespace qrb::test
