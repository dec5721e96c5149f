#pragma once
// The configuration server's request handling without any socket: one request line in, the
// reply bytes out. Wire text is Windows-1252; replies end every line with CR LF. Reads the
// translator only (the report providers may reach devices); call it on the main thread with
// the scan gate open.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace qrb::model {
class TI2CTranslator;
class TQRBRawChannel;
} // namespace qrb::model

namespace qrb::ui {

// The longest request line in characters, its line end not counted.
inline constexpr std::size_t kConfigMaxLineLength = 16384;
// The default port on 127.0.0.1.
inline constexpr unsigned kConfigServerPort = 8888;

struct TConfigReply {
    std::string Bytes;  // Windows-1252, every line ended by CR LF; empty with Close
    bool Close = false; // the connection ends without a reply
};

class TConfigRequestHandler {
public:
    explicit TConfigRequestHandler(const model::TI2CTranslator& translator) : translator_(translator) {}

    // The window's range display option (0 voltage, 1 divider, 2 gain text); 0 when unset.
    std::function<int()> RangeMode;
    // The device status report and the information report of every device (UTF-8, lines
    // ended by CR LF); an unset provider gives an empty report.
    std::function<std::string()> DeviceStatusReport;
    std::function<std::string()> DeviceInfoReport;

    // One request line as received, without its LF; a CR at its end is dropped.
    TConfigReply Answer(std::string_view line) const;

    // The channel block of channel index (UTF-8, lines ended by CR LF); empty outside the list.
    std::string GetChannelConfig(int index) const;

private:
    const model::TI2CTranslator& translator_;
};

// The translator's device status report and its information report of every device as the
// handler's providers.
void UseTranslatorReports(TConfigRequestHandler& handler, model::TI2CTranslator& translator);

// Text from outside the program's framing (a channel name, an echoed request) with every
// control character made a blank, so that it cannot end or split a reply line.
std::string ConfigLineText(std::string_view utf8);

} // namespace qrb::ui
