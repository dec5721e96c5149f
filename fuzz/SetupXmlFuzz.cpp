// XML setup reader: any bytes parse or fail without fault; a load either succeeds or leaves
// every channel as it was; DAC values handed to the setters stay in 0..4095.
#include "device/Cp1252.h"
#include "model/SetupXml.h"
#include "tests/model/SetupTestSupport.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

using namespace qrb::model;

class TCheckedSetters : public testing::TRecordingSetters {
public:
    using TRecordingSetters::TRecordingSetters;
    void SetDACs(int index, uint16_t powerDAC, uint16_t offsetDAC) override {
        if (powerDAC > 4095 || offsetDAC > 4095) std::abort();
        TRecordingSetters::SetDACs(index, powerDAC, offsetDAC);
    }
};

bool SameState(const TQRBRawChannel& a, const TQRBRawChannel& b) {
    return a.Pending == b.Pending && a.SensorType == b.SensorType && a.TypeCache == b.TypeCache &&
           a.ChannelName == b.ChannelName && a.Description == b.Description &&
           a.ADC8StatVal == b.ADC8StatVal && a.ADC8LowVal == b.ADC8LowVal && a.SupplyCache == b.SupplyCache &&
           a.OffsetCache == b.OffsetCache && a.PowerDACCache == b.PowerDACCache &&
           a.OffsetDACCache == b.OffsetDACCache;
}

void Fill(testing::TTestModel& m) {
    m.Add(1, 1);
    m.Add(0, 0, stOff, false);
    m.Add(2, 2).Info.Features = 0x01;
    m.Add(2, 3).HasADC18 = true;
    for (size_t i = 0; i < m.Size(); ++i) {
        m[i].PowerZero = 2000;
        m[i].OffsetZero = 2040;
        m[i].ChannelName = "before";
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    pugi::xml_document doc;
    std::string error;
    if (!ParseSetupXml(std::string_view(reinterpret_cast<const char*>(data), size), doc, error)) {
        if (error.empty()) std::abort();
        return 0;
    }
    for (int i = -1; i < 6; ++i)
        (void)FindChannelNodeByIndex(doc, i);
    for (bool bySerial : {false, true}) {
        testing::TTestModel model, original;
        Fill(model);
        Fill(original);
        TCheckedSetters setters(model);
        error.clear();
        const bool ok = XmlLoadSetupDocument(doc, bySerial, model.Model(), setters, error);
        if (ok != error.empty()) std::abort();
        if (!SameState(model[1], original[1])) std::abort(); // never touched
        for (size_t i = 0; i < model.Size(); ++i) {
            if (qrb::device::Utf8Length(model[i].ChannelName) > kChannelNameLength) std::abort();
            if (qrb::device::Utf8Length(model[i].Description) > kDescriptionLength) std::abort();
            if (!ok && !SameState(model[i], original[i])) std::abort();
        }
    }
    return 0;
}
