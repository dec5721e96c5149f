#include "model/QRBRawCalibration.h"

namespace qrb::model {

// clang-format off
const std::array<float, device::kRangeCount> kDefaultRangeFactors = {
    1.0f,   1.00602f, 1.0f,   1.00087f, 0.99444f, 0.98496f, //  0..5
    1.0f,   1.00602f, 1.0f,   1.00087f, 0.99444f, 0.98496f, //  6..11
    1.0f,   1.00602f, 1.0f,   1.00087f, 0.99444f, 0.98496f, // 12..17
    1.009f, 1.00602f, 1.009f, 1.00087f, 1.00339f, 0.99382f, 1.01507f, 1.00987f, // 18..25
};
// clang-format on

std::optional<uint16_t> ZeroOffsetEntry(const device::TChannelCalibTable& table, int coupling, int range,
                                        int offset) {
    if (coupling < 0 || coupling >= static_cast<int>(device::kCouplingCount)) return std::nullopt;
    if (range < 0 || range >= static_cast<int>(device::kRangeCount)) return std::nullopt;
    if (offset < 0 || offset > 1) return std::nullopt;
    return table.ZeroOffsets[coupling][range][offset];
}

uint16_t UsableZeroOffset(const device::TChannelCalibTable& table, int coupling, int range, int offset,
                          uint16_t fallback) {
    if (!table.IsUsable()) return fallback;
    return ZeroOffsetEntry(table, coupling, range, offset).value_or(fallback);
}

void FillDefaultCalibration(device::TChannelCalibTable& table, device::TDateTime today) {
    table = device::TChannelCalibTable{};
    table.SetSource(device::TChannelCalibTable::UsableSource);
    table.AdjustMarker = kDefaultAdjustMarker;
    int year = 0, month = 0, day = 0;
    device::DecodeDate(today, year, month, day);
    // A fixed form, whatever the regional date settings.
    table.CalibDate.SetText(device::Format("%4.4d-%2.2d-%2.2d", year, month, day));
    for (auto& coupling : table.ZeroOffsets) {
        for (auto& pair : coupling)
            pair = {kNeutralOffsetZero, kNeutralOffsetZero};
    }
    table.RangeFactors = kDefaultRangeFactors;
    table.CapacityFactors = {1.0f, 1.0f};
}

} // namespace qrb::model
