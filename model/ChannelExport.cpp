#include "model/ChannelExport.h"

#include "device/Cp1252.h"
#include "device/FileUtil.h"
#include "device/HWVocabulary.h"
#include "device/Helpers.h"

#include <algorithm>
#include <cerrno>

namespace qrb::model {

const std::array<const char*, kChannelTableColumns> kChannelTableHeaders = {
    "Device",   "Channel", "Name",  "Sensor", "Range",     "Coupling",   "Supply",         "Connect",
    "Resistor", "Shunt",   "Sense", "Offset", "LP Filter", "ChargeGain", "ChargeCapacity", "ChargeHighPass",
};

namespace {

using device::Format;

constexpr const char* kNA = "<n/a>";

// DAC counts per mA and per V, the steps SetSupply uses.
constexpr float kCurrentStepV1 = 30.634666f;
constexpr float kVoltageStepV1 = 102.4f;
constexpr float kCurrentStepV2 = 78.635765f;
constexpr float kVoltageStepV2 = 105.4583f;

constexpr uint16_t kXlsBOF = 0x0809;
constexpr uint16_t kXlsCodePage = 0x0042;
constexpr uint16_t kWindows1252 = 1252;
constexpr uint16_t kXlsLabel = 0x0204;
constexpr uint16_t kXlsEOF = 0x000A;
constexpr size_t kXlsMaxText = 255;

bool IsBridge(TSensorType t) {
    return t == stDMSFullbridge || t == stDMSHalfbridge || t == stDMSQuarterbridge;
}

std::string RangeText(const TQRBRawChannel& ch) {
    using namespace device;
    const uint8_t v = ch.Info.Version;
    if (ch.TypeCache == stCurrent) return CurrentRangeToText(v, ch.RangeCache);
    if (ch.TypeCache == stCharge) return ChargeRangeToText(v, ch.RangeCache, ch.CapacityCache);
    return VoltageRangeToText(v, ch.RangeCache) + "[" + VoltageRangeDividerToText(v, ch.RangeCache) + ";" +
           VoltageRangeGainToText(v, ch.RangeCache) + "]";
}

std::string SupplyText(const TQRBRawChannel& ch) {
    const bool v1 = ch.Info.Version < 2;
    if (ch.SensorType == stICP || ch.SensorType == stDMSCurrent) {
        const int counts = static_cast<int>(ch.PowerDACCache) - static_cast<int>(ch.PowerZero);
        return Format("%2.1f mA", counts / static_cast<double>(v1 ? kCurrentStepV1 : kCurrentStepV2));
    }
    if (IsBridge(ch.SensorType)) {
        const int counts = static_cast<int>(ch.PowerDACCache2) - static_cast<int>(ch.PowerZero);
        return Format("%2.1f V", counts / static_cast<double>(v1 ? kVoltageStepV1 : kVoltageStepV2));
    }
    return kNA;
}

std::string SenseText(const TQRBRawChannel& ch) {
    if (!IsBridge(ch.SensorType)) return kNA;
    switch (ch.TypeCache) {
    case stDMSFullbridge:
        return ch.SenseCache ? "ON (5)" : "OFF (4)";
    case stDMSHalfbridge:
        return ch.SenseCache ? "ON (4)" : "OFF (3)";
    case stDMSQuarterbridge:
        return ch.SenseCache ? "ON (3)" : "OFF (2,3)";
    default:
        return kNA;
    }
}

std::string ResistorText(const TQRBRawChannel& ch) {
    if (!IsBridge(ch.SensorType)) return kNA;
    if (ch.Is350OhmCache == 0) return "120 Ohm";
    if (ch.Is350OhmCache == 1) return "350 Ohm";
    return kNA;
}

void PutU16(std::string& s, uint16_t v) {
    s.push_back(static_cast<char>(v & 0xFF));
    s.push_back(static_cast<char>(v >> 8));
}

// A field holding a comma, a quote or a line break is quoted with its quotes doubled, so that a
// decimal comma or a comma in a name does not split it.
std::string TextField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string Cp1252Line(const std::string& utf8) {
    return device::Utf8ToCp1252(utf8) + "\r\n";
}

} // namespace

TExportHeadings TExportHeadings::Make(const std::string& programVersion, device::TDateTime now) {
    TExportHeadings h;
    h.Line1 = "OndrixQRB Version: " + programVersion + ", " + kCompanyName;
    h.Line2 = device::DateToStr(now) + " " + device::TimeToStr(now);
    return h;
}

TExportHeadings TExportHeadings::FromSystem() {
    return Make(device::GetProgramVersion(), device::Now());
}

std::array<std::string, kChannelTableColumns> ChannelTableRow(const TQRBRawChannel& ch) {
    using namespace device;
    const bool charge = ch.SensorType == stCharge;
    const bool wired = ch.SensorType == stDMSCurrent || ch.SensorType == stRTD;
    return {
        IntToStr(ch.Device),
        IntToStr(ch.Slot),
        ch.ChannelName,
        SensorTypeToText(ch.SensorType),
        RangeText(ch),
        CouplingToText(ch.coupling),
        SupplyText(ch),
        wired ? (ch.PwrAtSignalCache ? "2-Wire" : "4-Wire") : kNA,
        ResistorText(ch),
        IsBridge(ch.SensorType) ? (ch.DMSShuntCache ? "ON" : "OFF") : kNA,
        SenseText(ch),
        ch.OffsetCache ? Format("%3.1f %%", (static_cast<int>(ch.OffsetDACCache) - 2048) / 10.24) : "OFF",
        OutputFilterToText(ch.Info.FilterType, ch.OutputFilterCache != 0),
        charge ? ChargeModeToText(ch.ChargeModeCache) : kNA,
        charge ? ChargeCapacityToText(ch.CapacityCache) : kNA,
        charge ? ChargeHighPassToText(ch.HighpassCache, ch.CapacityCache) : kNA,
    };
}

std::string BuildTextExport(const TSetupModel& model, const TExportHeadings& headings) {
    std::string out = Cp1252Line(headings.Line1) + Cp1252Line(headings.Line2);
    std::string header;
    for (size_t c = 0; c < kChannelTableColumns; ++c)
        header += (c ? "," : "") + TextField(kChannelTableHeaders[c]);
    out += Cp1252Line(header);
    for (const TQRBRawChannel* ch : model.Channels) {
        if (ch == nullptr) continue;
        auto row = ChannelTableRow(*ch);
        row[0] = Format("%2.2d", ch->Device);
        row[1] = Format("%2.2d", ch->Slot);
        std::string line;
        for (const std::string& field : row)
            line += TextField(field) + ",";
        out += Cp1252Line(line);
    }
    return out;
}

void WriteXlsLabel(std::string& stream, uint16_t col, uint16_t row, std::string_view text) {
    std::string bytes = device::Utf8ToCp1252(text);
    if (bytes.size() > kXlsMaxText) bytes.resize(kXlsMaxText);
    const auto n = static_cast<uint16_t>(bytes.size());
    PutU16(stream, kXlsLabel);
    PutU16(stream, static_cast<uint16_t>(n + 8));
    PutU16(stream, row);
    PutU16(stream, col);
    PutU16(stream, 0);
    PutU16(stream, n);
    stream += bytes;
}

std::string BuildXlsExport(const TSetupModel& model, const TExportHeadings& headings) {
    std::string s;
    PutU16(s, kXlsBOF);
    PutU16(s, 8);
    PutU16(s, 0x0000); // version
    PutU16(s, 0x0010); // worksheet
    PutU16(s, 0x0000); // build
    PutU16(s, 0x0000); // year
    // The code page of the LABEL texts, so that a reader need not guess it.
    PutU16(s, kXlsCodePage);
    PutU16(s, 2);
    PutU16(s, kWindows1252);
    WriteXlsLabel(s, 0, 0, headings.Line1);
    WriteXlsLabel(s, 0, 1, headings.Line2);
    for (size_t c = 0; c < kChannelTableColumns; ++c)
        WriteXlsLabel(s, static_cast<uint16_t>(c), 3, kChannelTableHeaders[c]);
    // Rows beyond the format's 65536 cannot be addressed; the model never has that many channels.
    const size_t rows = std::min<size_t>(model.Channels.size(), 65536 - 4);
    for (size_t i = 0; i < rows; ++i) {
        if (model.Channels[i] == nullptr) continue;
        const auto row = ChannelTableRow(*model.Channels[i]);
        for (size_t c = 0; c < kChannelTableColumns; ++c)
            WriteXlsLabel(s, static_cast<uint16_t>(c), static_cast<uint16_t>(4 + i), row[c]);
    }
    PutU16(s, kXlsEOF);
    PutU16(s, 0);
    return s;
}

namespace {

// Writes bytes; a failure's text is the export's own with its error code, then the file and
// why the system refused it, so that one box can tell two failed exports apart.
bool WriteExport(const char* kind, const std::string& fileName, const std::string& bytes,
                 std::string& error) {
    std::string reason;
    errno = 0;
    if (device::WriteFileAtomic(fileName, bytes, reason)) return true;
    const int code = LastErrorCode();
    error = Format("Error while writing setup info %s file (%d): %s", kind, code, fileName);
    if (!reason.empty()) error += " (" + reason + ")";
    return false;
}

} // namespace

bool ExportText(const std::string& fileName, const TSetupModel& model, const TExportHeadings& headings,
                std::string& error) {
    return WriteExport("txt", fileName, BuildTextExport(model, headings), error);
}

bool ExportXls(const std::string& fileName, const TSetupModel& model, const TExportHeadings& headings,
               std::string& error) {
    return WriteExport("xls", fileName, BuildXlsExport(model, headings), error);
}

} // namespace qrb::model
