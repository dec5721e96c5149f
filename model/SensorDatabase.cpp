#include "model/SensorDatabase.h"

#include "device/ByteOrder.h"
#include "device/FileUtil.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <sys/stat.h>

namespace qrb::model {

namespace {

template <size_t N> void GetShort(const uint8_t* p, device::TShortString<N>& s) {
    s.Length = p[0];
    std::memcpy(s.Chars.data(), p + 1, N);
}

template <size_t N> void PutShort(uint8_t* p, const device::TShortString<N>& s) {
    p[0] = s.Length;
    std::memcpy(p + 1, s.Chars.data(), N);
}

} // namespace

bool TSensorRecord::Decode(const uint8_t* data, size_t len, TSensorRecord& out) {
    if (data == nullptr || len < Size) return false;
    TSensorRecord r;
    r.Marker = data[0];
    r.NewFlag = data[1];
    GetShort(data + 2, r.SensorID);
    GetShort(data + 19, r.SensorName);
    GetShort(data + 50, r.DisplayName);
    GetShort(data + 81, r.Description);
    r.SensorType = device::GetU16(data + 282);
    r.Range = data[284];
    r.Coupling = data[285];
    r.OffsetDAC = device::GetU16(data + 286);
    r.PowerDAC = device::GetU16(data + 288);
    r.Reserved290 = data[290];
    r.Offset = data[291];
    r.OutputFilter = data[292];
    r.Is350Ohm = data[293];
    r.Sense = data[294];
    r.BridgeSupplyDAC = device::GetU16(data + 295);
    r.Shunt = data[297];
    r.TwoWire = data[298];
    r.SupplyMode = data[299];
    r.SupplyDAC = device::GetU16(data + 300);
    std::memcpy(r.Reserved302.data(), data + 302, r.Reserved302.size());
    out = r;
    return true;
}

void TSensorRecord::Encode(uint8_t* out) const {
    out[0] = Marker;
    out[1] = NewFlag;
    PutShort(out + 2, SensorID);
    PutShort(out + 19, SensorName);
    PutShort(out + 50, DisplayName);
    PutShort(out + 81, Description);
    device::PutU16(out + 282, SensorType);
    out[284] = Range;
    out[285] = Coupling;
    device::PutU16(out + 286, OffsetDAC);
    device::PutU16(out + 288, PowerDAC);
    out[290] = Reserved290;
    out[291] = Offset;
    out[292] = OutputFilter;
    out[293] = Is350Ohm;
    out[294] = Sense;
    device::PutU16(out + 295, BridgeSupplyDAC);
    out[297] = Shunt;
    out[298] = TwoWire;
    out[299] = SupplyMode;
    device::PutU16(out + 300, SupplyDAC);
    std::memcpy(out + 302, Reserved302.data(), Reserved302.size());
}

std::string TSensorRecord::ID() const {
    return RecordText(SensorID);
}

TSensorBlockList CopySensorBlocks(const TSensorBlockList& list) {
    TSensorBlockList copy(list.Sorted());
    for (const auto& entry : list)
        copy.Add(entry.Text, entry.Object ? std::make_unique<TTEDSBlock>(*entry.Object) : nullptr);
    return copy;
}

bool DecodeSensorRecords(std::span<const uint8_t> bytes, TSensorBlockList& out) {
    out.Clear();
    const size_t whole = bytes.size() / TSensorRecord::Size;
    for (size_t i = 0; i < whole; ++i) {
        TSensorRecord rec;
        TSensorRecord::Decode(bytes.data() + i * TSensorRecord::Size, TSensorRecord::Size, rec);
        if (rec.Marker != kSensorRecordMarker) continue;
        rec.NewFlag = 0;
        auto block = std::make_unique<TTEDSBlock>(rec);
        out.Add(rec.ID(), std::move(block));
    }
    return bytes.size() % TSensorRecord::Size == 0;
}

std::string EncodeSensorRecords(const TSensorBlockList& list) {
    std::string bytes(static_cast<size_t>(list.Count()) * TSensorRecord::Size, '\0');
    size_t at = 0;
    for (const auto& entry : list) {
        TSensorRecord rec = entry.Object ? entry.Object->Rec : TSensorRecord{};
        rec.Marker = kSensorRecordMarker;
        rec.NewFlag = 0;
        rec.Encode(reinterpret_cast<uint8_t*>(bytes.data() + at));
        at += TSensorRecord::Size;
    }
    return bytes;
}

TSensorFileRead ReadSensorFile(const std::string& path, TSensorBlockList& out, std::string& error) {
    out.Clear();
    error.clear();
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 && errno == ENOENT) return TSensorFileRead::Missing;
    std::vector<uint8_t> bytes;
    if (!device::ReadFileBytes(path, bytes, error)) return TSensorFileRead::Failed;
    if (!DecodeSensorRecords(bytes, out)) {
        out.Clear();
        error = "the file ends in an incomplete record";
        return TSensorFileRead::Failed;
    }
    return TSensorFileRead::Loaded;
}

bool WriteSensorFile(const std::string& path, const TSensorBlockList& list, std::string& error) {
    return device::WriteFileAtomic(path, EncodeSensorRecords(list), error);
}

} // namespace qrb::model
