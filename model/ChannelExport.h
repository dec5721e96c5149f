#pragma once
// The channel table for people: a comma-separated text file (a field with a comma, a quote or a
// line break quoted) and a bare BIFF5 record stream that names its code page, both
// Windows-1252, one row per channel object.

#include "device/Format.h"
#include "model/QRBRawChannel.h"
#include "model/SetupCommon.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace qrb::model {

inline constexpr const char* kCompanyName = "QRB GmbH";
inline constexpr size_t kChannelTableColumns = 16;

extern const std::array<const char*, kChannelTableColumns> kChannelTableHeaders;

// The two heading lines of both exports.
struct TExportHeadings {
    std::string Line1; // "OndrixQRB Version: <version>, <company>"
    std::string Line2; // the date and time of the export

    static TExportHeadings Make(const std::string& programVersion, device::TDateTime now);
    static TExportHeadings FromSystem();
};

// Sixteen display texts (UTF-8); Device and Slot as plain decimal numbers.
std::array<std::string, kChannelTableColumns> ChannelTableRow(const TQRBRawChannel& channel);

// Whole files, already in Windows-1252.
std::string BuildTextExport(const TSetupModel& model, const TExportHeadings& headings);
std::string BuildXlsExport(const TSetupModel& model, const TExportHeadings& headings);

// One LABEL record: row, column, format 0, the text as Windows-1252 (at most 255 characters).
void WriteXlsLabel(std::string& stream, uint16_t col, uint16_t row, std::string_view text);

// Write atomically. A failure's error is "Error while writing setup info txt file (<code>)"
// (ExportXls: "xls file"), then ": <fileName> (<the system's reason>)".
bool ExportText(const std::string& fileName, const TSetupModel& model, const TExportHeadings& headings,
                std::string& error);
bool ExportXls(const std::string& fileName, const TSetupModel& model, const TExportHeadings& headings,
               std::string& error);

} // namespace qrb::model
