// The translator's sensor database: the sorted entry list and the file "TEDSinfo.bin".

#include "device/FileUtil.h"
#include "device/Format.h"
#include "model/I2CTranslator.h"
#include "model/SensorDatabase.h"

#include <cctype>

namespace qrb::model {

namespace {

constexpr const char* kInvalidFileName = "Invalid or empty filename!";

bool IsBlankName(const std::string& name) {
    for (char c : name)
        if (!std::isspace(static_cast<unsigned char>(c))) return false;
    return true;
}

// The file a name stands for, every link and ".." resolved, so that a link to the file or to a
// folder above it and its target count as one file.
std::string FileKey(const std::string& name) {
    device::TPathWalk walk;
    std::string error;
    return walk.Walk(name, error) ? walk.PhysicalPath() : name;
}

} // namespace

bool TI2CTranslator::LoadSensorDatabase(const std::string& fileName) {
    LastFileError.clear();
    if (IsBlankName(fileName)) {
        LastFileError = kInvalidFileName;
        return false;
    }
    TSensorBlockList loaded(true);
    std::string error;
    switch (ReadSensorFile(fileName, loaded, error)) {
    case TSensorFileRead::Missing:
        ClearSensorEntries();
        SensorDatabaseLoadFailed.clear();
        return true;
    case TSensorFileRead::Loaded:
        ClearSensorEntries();
        SensorEntries = std::move(loaded);
        SensorDatabaseLoadFailed.clear();
        return true;
    case TSensorFileRead::Failed:
        break;
    }
    // The entries in use stay, and the unread file is protected from being overwritten.
    SensorDatabaseLoadFailed = FileKey(fileName);
    LastFileError = device::Format("Error while reading the sensor database %s: %s", fileName, error);
    return false;
}

bool TI2CTranslator::SaveSensorDatabase(const std::string& fileName) {
    LastFileError.clear();
    if (IsBlankName(fileName)) {
        LastFileError = kInvalidFileName;
        return false;
    }
    if (!SensorDatabaseLoadFailed.empty() && FileKey(fileName) == SensorDatabaseLoadFailed) {
        LastFileError = device::Format(
            "The sensor database %s could not be read and is not overwritten. Repair or remove it first!",
            fileName);
        return false;
    }
    std::string error;
    if (!WriteSensorFile(fileName, SensorEntries, error)) {
        LastFileError = device::Format("Error while writing the sensor database %s: %s", fileName, error);
        return false;
    }
    for (const auto& e : SensorEntries) {
        if (!e.Object) continue;
        e.Object->Rec.Marker = kSensorRecordMarker;
        e.Object->Rec.NewFlag = 0;
    }
    return true;
}

int32_t TI2CTranslator::AddSensorEntry(std::unique_ptr<TTEDSBlock>& entry) {
    if (!entry) return -1;
    entry->Rec.Marker = kSensorRecordMarker;
    const std::string id = entry->Rec.ID();
    const int32_t listed = SensorEntries.IndexOf(id);
    if (listed >= 0) return listed; // the caller keeps its entry
    return SensorEntries.Add(id, std::move(entry));
}

int32_t TI2CTranslator::FindSensorEntry(std::string_view id) const {
    return SensorEntries.IndexOf(id);
}

int32_t TI2CTranslator::DeleteSensorEntry(std::string_view id) {
    const int32_t index = SensorEntries.IndexOf(id);
    if (index >= 0) SensorEntries.Delete(index);
    return index;
}

TTEDSBlock* TI2CTranslator::GetSensorEntry(int32_t index) const {
    return SensorEntries.Object(index);
}

int32_t TI2CTranslator::SensorEntryCount() const {
    return SensorEntries.Count();
}

void TI2CTranslator::ClearSensorEntries() {
    SensorEntries.Clear();
}

} // namespace qrb::model
