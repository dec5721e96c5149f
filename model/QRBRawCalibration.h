#pragma once
// Model-side rules of a channel calibration table: the zero-offset lookup and the default table.
// The byte layout and the usability test are the record's (device/Records.h).

#include "device/Format.h"
#include "device/Records.h"

#include <array>
#include <cstdint>
#include <optional>

namespace qrb::model {

// The offset DAC zero without a usable calibration.
inline constexpr uint16_t kNeutralOffsetZero = 2048;
// The marker of a table that was not adjusted (the default table).
inline constexpr uint8_t kDefaultAdjustMarker = 8;

// The ZeroOffsets entry of (coupling, range, offset relay off 0 / on 1) whether or not the table
// is usable; nullopt when an index lies outside the table.
std::optional<uint16_t> ZeroOffsetEntry(const device::TChannelCalibTable& table, int coupling, int range,
                                        int offset);

// The entry when the table is usable and the indices lie inside it, else fallback.
uint16_t UsableZeroOffset(const device::TChannelCalibTable& table, int coupling, int range, int offset,
                          uint16_t fallback = kNeutralOffsetZero);

// The default table dated `today`: source "QRBCAL730", marker 8 (so never usable for zero
// offsets), every zero offset 2048, the default range and capacity factors.
void FillDefaultCalibration(device::TChannelCalibTable& table, device::TDateTime today);

// The factors of range codes 0..25 in a default table.
extern const std::array<float, device::kRangeCount> kDefaultRangeFactors;

} // namespace qrb::model
