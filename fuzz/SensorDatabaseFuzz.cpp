// Sensor database loader: any bytes decode without fault; what was loaded saves and loads again
// to the same entries.
#include "model/SensorDatabase.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace qrb::model;
    TSensorBlockList list(true);
    const bool whole = DecodeSensorRecords(std::span<const uint8_t>(data, size), list);
    if (whole != (size % TSensorRecord::Size == 0)) std::abort();

    const std::string bytes = EncodeSensorRecords(list);
    TSensorBlockList again(true);
    if (!DecodeSensorRecords(
            std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), again))
        std::abort();
    if (again.Count() != list.Count()) std::abort();
    for (int i = 0; i < list.Count(); ++i) {
        if (again.Text(i) != list.Text(i)) std::abort();
        if (!(again.Object(i)->Rec == list.Object(i)->Rec)) std::abort();
        if (qrb::device::Utf8Length(list.Object(i)->Rec.ID()) > 16) std::abort(); // bounded by the field
    }
    return 0;
}
