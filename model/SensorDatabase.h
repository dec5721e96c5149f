#pragma once
// The sensor database: the 1323-byte TSensorRecord with its byte codec, the entry object
// TTEDSBlock, the sorted entry list and the file "TEDSinfo.bin" (records without header or
// trailer). A file is read into a new list, so a failed read never touches the list in use.

#include "device/Cp1252.h"
#include "device/Records.h"
#include "model/ObjectList.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace qrb::model {

inline constexpr uint8_t kSensorRecordMarker = 184;
inline constexpr const char* kSensorDatabaseFileName = "TEDSinfo.bin";

struct TSensorRecord {
    static constexpr size_t Size = 1323;

    uint8_t Marker = kSensorRecordMarker;    // 0
    uint8_t NewFlag = 0;                     // 1: added since the last load or save (memory only)
    device::TShortString<16> SensorID;       // 2: 16 upper-case hex digits, the key
    device::TShortString<30> SensorName;     // 19
    device::TShortString<30> DisplayName;    // 50: the channel's user name when applied
    device::TShortString<200> Description;   // 81: the channel's description when applied
    uint16_t SensorType = 0;                 // 282
    uint8_t Range = 0;                       // 284
    uint8_t Coupling = 0;                    // 285
    uint16_t OffsetDAC = 2048;               // 286: 2048 = 0 %, 10.24 counts per percent
    uint16_t PowerDAC = 0;                   // 288: ICP, DMS current and RTD sensors
    uint8_t Reserved290 = 0;                 // 290
    uint8_t Offset = 0;                      // 291
    uint8_t OutputFilter = 0;                // 292
    uint8_t Is350Ohm = 0;                    // 293: 1 = 350 Ohm, 0 = 120 Ohm completion
    uint8_t Sense = 0;                       // 294
    uint16_t BridgeSupplyDAC = 0;            // 295: DMS bridge sensors
    uint8_t Shunt = 0;                       // 297
    uint8_t TwoWire = 0;                     // 298: power at the signal connector
    uint8_t SupplyMode = 0;                  // 299: VOLT sensors, a TSupplyCode
    uint16_t SupplyDAC = 0;                  // 300: counts above the channel's PowerZero
    std::array<uint8_t, 1021> Reserved302{}; // 302

    // Reads the first Size bytes; false (out untouched) when len < Size.
    static bool Decode(const uint8_t* data, size_t len, TSensorRecord& out);
    void Encode(uint8_t* out) const;
    bool operator==(const TSensorRecord&) const = default;

    // The key as the list holds it (UTF-8 of the stored characters).
    std::string ID() const;
};

// A short-string field as UTF-8 (the stored bytes are Windows-1252; the length byte is bounded
// by the field).
template <size_t N> std::string RecordText(const device::TShortString<N>& field) {
    return device::Cp1252ToUtf8(field.Text());
}
// Stores UTF-8 text as Windows-1252 ('?' for what it cannot hold), cut to N characters.
template <size_t N> void SetRecordText(device::TShortString<N>& field, std::string_view utf8) {
    field.SetText(device::Utf8ToCp1252(utf8));
}

// One entry of the database.
class TTEDSBlock {
public:
    TTEDSBlock() = default;
    explicit TTEDSBlock(const TSensorRecord& rec) : Rec(rec) {}

    TSensorRecord Rec;
};

// Sorted by sensor ID without regard to ASCII case; a second entry of a listed ID is dropped.
using TSensorBlockList = TObjectList<TTEDSBlock>;

// An entry-by-entry copy of list (the list owns its entries, so it has no copy of its own): what
// a command that changes the list in place puts back when it is cancelled.
TSensorBlockList CopySensorBlocks(const TSensorBlockList& list);

// What reading a database file found.
enum class TSensorFileRead {
    Loaded,  // every whole record was read
    Missing, // no file of that name: an empty database
    Failed,  // not readable, or it ends in a partial record; error says why
};

// The records of bytes whose marker is 184, new flag cleared, first of each ID kept, into out
// (which is emptied first). False when bytes end in a partial record.
bool DecodeSensorRecords(std::span<const uint8_t> bytes, TSensorBlockList& out);
// Every entry's record with marker 184 and new flag 0, in list order.
std::string EncodeSensorRecords(const TSensorBlockList& list);

// Reads the file at path into out (a new list; emptied first).
TSensorFileRead ReadSensorFile(const std::string& path, TSensorBlockList& out, std::string& error);
// Replaces the file at path atomically with the list's records; the list is not changed.
bool WriteSensorFile(const std::string& path, const TSensorBlockList& list, std::string& error);

} // namespace qrb::model
