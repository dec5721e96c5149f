#include "ui/configserver/ConfigRequest.h"

#include "device/Cp1252.h"
#include "device/Format.h"
#include "device/HWVocabulary.h"
#include "model/I2CTranslator.h"
#include "model/QRBRawCalibration.h"
#include "model/QRBRawChannel.h"

#include <cstdint>
#include <exception>

namespace qrb::ui {

namespace {

using device::Format;

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::size_t kRequestLength = 10;

constexpr std::string_view kReqStatus = "REQ_STATUS";
constexpr std::string_view kReqNumChn = "REQ_NUMCHN";
constexpr std::string_view kReqChnInf = "REQ_CHNINF";
constexpr std::string_view kReqAllInf = "REQ_ALLINF";
constexpr std::string_view kReqDevSta = "REQ_DEVSTA";
constexpr std::string_view kReqDevInf = "REQ_DEVINF";

constexpr std::string_view kBeginLine = "--- BEGIN QRB730 CONFIGURATION ---";
constexpr std::string_view kEndLine = "--- END QRB730 CONFIGURATION ---";

// Labels of the channel block, 16 characters each.
constexpr std::string_view kLabelIndex = "Channel Index:  ";
constexpr std::string_view kLabelName = "Channel Name:   ";
constexpr std::string_view kLabelType = "Sensor Type:    ";
constexpr std::string_view kLabelFilter = "Filter:         ";
constexpr std::string_view kLabelRange = "Input Range:    ";
constexpr std::string_view kLabelCoupling = "Input Coupling: ";
constexpr std::string_view kLabelSense = "Sense:          ";
constexpr std::string_view kLabelSupply = "Supply:         ";
constexpr std::string_view kLabelCurrentOut = "Current Out:    ";
constexpr std::string_view kLabelConnection = "Connection:     ";
constexpr std::string_view kLabelResistor = "Resistor:       ";
constexpr std::string_view kLabelShunt = "Shunt:          ";
constexpr std::string_view kLabelVoltageOut = "Voltage Out:    ";
constexpr std::string_view kLabelCapacity = "Capacity:       ";
constexpr std::string_view kLabelHighPass = "High-Pass:      ";
constexpr std::string_view kLabelClearMode = "Clear Mode:     ";
constexpr std::string_view kLabelOffset = "Channel Offset: ";

// Counts per volt and per milliampere of the supply DACs, with and without the 18-bit ADC.
constexpr double kVoltStepADC18 = 105.4583;
constexpr double kVoltStep = 102.4;
constexpr double kCurrentStepADC18 = 78.63576399;
constexpr double kCurrentStep = 30.63466666667;
// Offset DAC counts per percent of full scale.
constexpr double kOffsetStep = 10.24;

void AddLine(std::string& out, std::string_view text) {
    out += text;
    out += kLineEnd;
}

void AddValue(std::string& out, std::string_view label, std::string_view value) {
    out += label;
    out += '\t';
    out += value;
    out += kLineEnd;
}

std::string ReplaceAll(std::string text, std::string_view from, std::string_view to) {
    for (std::size_t pos = text.find(from); pos != std::string::npos; pos = text.find(from, pos + to.size()))
        text.replace(pos, from.size(), to);
    return text;
}

// A difference of two unsigned 16-bit fields as a signed number.
int Diff(uint16_t a, uint16_t b) {
    return static_cast<int>(a) - static_cast<int>(b);
}

std::string OnOff(bool on) {
    return on ? "ON" : "OFF";
}

std::string Connection(const model::TQRBRawChannel& c) {
    return c.PwrAtSignalCache != 0 ? "2-Wire" : "4-Wire";
}

// The output current of ICP and DMS-current channels in mA.
std::string CurrentOut(const model::TQRBRawChannel& c) {
    const double current =
        c.HasADC18 ? c.PowerDACCache / kCurrentStepADC18 : Diff(c.PowerDACCache, c.PowerZero) / kCurrentStep;
    return Format("%2.1f mA", current);
}

std::string VoltageOut(const model::TQRBRawChannel& c) {
    return Format("%2.1f V", Diff(c.PowerDACCache2, c.PowerZero) / (c.HasADC18 ? kVoltStepADC18 : kVoltStep));
}

std::string RangeText(const model::TQRBRawChannel& c, int rangeMode) {
    std::string text;
    if (c.TypeCache == model::stCurrent) {
        text = device::CurrentRangeToText(c.Info.Version, c.RangeCache);
    } else if (c.TypeCache == model::stCharge) {
        text = device::ChargeRangeToText(c.Info.Version, c.RangeCache, c.CapacityCache);
    } else if (rangeMode == 0) {
        text = device::VoltageRangeToText(c.Info.Version, c.RangeCache);
    } else if (rangeMode == 1) {
        text = device::VoltageRangeDividerToText(c.Info.Version, c.RangeCache);
    } else if (rangeMode == 2) {
        text = device::VoltageRangeGainToText(c.Info.Version, c.RangeCache);
    }
    return ReplaceAll(std::move(text), "\u00B1", "+/-");
}

void AddTypeLines(std::string& out, const model::TQRBRawChannel& c) {
    switch (c.TypeCache) {
    case model::stVolt:
        if (c.SupplyCache == 1) AddValue(out, kLabelSense, OnOff(c.SenseCache != 0));
        if (c.SupplyCache == 1) {
            AddValue(out, kLabelSupply, VoltageOut(c));
        } else if (c.SupplyCache == 2) {
            const double ki = c.HasADC18 ? kCurrentStepADC18 : kCurrentStep;
            AddValue(out, kLabelSupply, Format("%2.1f mA", Diff(c.PowerDACCache, c.PowerZero) / ki));
        } else {
            // Every other supply code means the supply is off (as the supply setter has it).
            AddValue(out, kLabelSupply, "OFF");
        }
        break;
    case model::stICP:
        AddValue(out, kLabelCurrentOut, CurrentOut(c));
        break;
    case model::stDMSCurrent:
        AddValue(out, kLabelConnection, Connection(c));
        AddValue(out, kLabelCurrentOut, CurrentOut(c));
        break;
    case model::stDMSFullbridge:
    case model::stDMSHalfbridge:
    case model::stDMSQuarterbridge: {
        AddValue(out, kLabelResistor, c.Is350OhmCache != 0 ? "350 Ohm" : "120 Ohm");
        AddValue(out, kLabelShunt, OnOff(c.DMSShuntCache != 0));
        static constexpr std::string_view kSenseOn[] = {"ON (5)", "ON (4)", "ON (3)"};
        static constexpr std::string_view kSenseOff[] = {"OFF (4)", "OFF (3)", "OFF (2,3)"};
        const int row = c.TypeCache - model::stDMSFullbridge;
        AddValue(out, kLabelSense, c.SenseCache != 0 ? kSenseOn[row] : kSenseOff[row]);
        AddValue(out, kLabelVoltageOut, VoltageOut(c));
        break;
    }
    case model::stRTD:
        AddValue(out, kLabelConnection, Connection(c));
        break;
    case model::stCharge:
        AddValue(out, kLabelCapacity, device::ChargeCapacityToText(c.CapacityCache));
        AddValue(out, kLabelHighPass, device::ChargeHighPassToText(c.HighpassCache, c.CapacityCache));
        AddValue(out, kLabelClearMode, device::ChargeClearModeToText(c.AutoClearCache));
        break;
    default:
        break;
    }
}

std::string OffsetText(const model::TQRBRawChannel& c) {
    if (c.OffsetCache == 0) return "OFF";
    const uint16_t zero = model::UsableZeroOffset(c.Calibration, c.CouplingCache, c.RangeCache, 1);
    return Format("%3.1f %%", Diff(c.OffsetDACCache, zero) / kOffsetStep);
}

} // namespace

void UseTranslatorReports(TConfigRequestHandler& handler, model::TI2CTranslator& translator) {
    handler.DeviceStatusReport = [&translator] {
        std::string text;
        translator.DeviceStatusReport(text);
        return text;
    };
    handler.DeviceInfoReport = [&translator] {
        std::string text;
        translator.DeviceInfoReport(true, 0, text);
        return text;
    };
}

std::string ConfigLineText(std::string_view utf8) {
    std::string out(utf8);
    for (char& ch : out) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte < 0x20 || byte == 0x7F) ch = ' ';
    }
    return out;
}

std::string TConfigRequestHandler::GetChannelConfig(int index) const {
    const model::TQRBRawChannel* channel = translator_.GetChannel(index);
    if (channel == nullptr) return {};
    const model::TQRBRawChannel& c = *channel;
    const int rangeMode = RangeMode ? RangeMode() : 0;

    std::string out;
    AddValue(out, kLabelIndex, device::IntToStr(index));
    AddValue(out, kLabelName, ConfigLineText(c.ChannelName));
    AddValue(out, kLabelType, device::SensorTypeToText(c.TypeCache));
    AddValue(out, kLabelFilter, device::OutputFilterToText(c.Info.FilterType, c.OutputFilterCache != 0));
    AddValue(out, kLabelRange, RangeText(c, rangeMode));
    AddValue(out, kLabelCoupling, device::CouplingToText(c.CouplingCache));
    AddTypeLines(out, c);
    AddValue(out, kLabelOffset, OffsetText(c));
    return out;
}

TConfigReply TConfigRequestHandler::Answer(std::string_view line) const {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    TConfigReply reply;
    std::string text; // UTF-8 until it goes on the wire
    try {
        const std::string_view request = line.substr(0, kRequestLength);
        const int32_t count = translator_.ChannelCount();
        if (line.size() < kRequestLength) {
            // Too short for any request: the invalid-command reply below.
        } else if (request == kReqStatus) {
            if (count == 0)
                AddLine(text, "0,Status: OFF");
            else if (translator_.OfflineMode)
                AddLine(text, "2,Status: ON (SIMULATION)");
            else
                AddLine(text, "1,Status: ON");
        } else if (request == kReqNumChn) {
            AddLine(text, Format("%d,Number of channels: %d", count, count));
        } else if (request == kReqChnInf) {
            int32_t index = 0;
            if (!device::TryStrToInt(line.substr(kRequestLength), index)) {
                reply.Close = true;
                return reply;
            }
            if (index < 0 || index >= count || translator_.GetChannel(index) == nullptr) {
                AddLine(text, Format("-1,ERROR - INVALID CHANNEL INDEX: %d", index));
            } else {
                text = GetChannelConfig(index);
                text += kLineEnd;
            }
        } else if (request == kReqAllInf) {
            AddLine(text, kBeginLine);
            text += kLineEnd;
            for (int32_t i = 0; i < count; ++i) {
                text += GetChannelConfig(i);
                text += kLineEnd;
            }
            text += kLineEnd;
            AddLine(text, kEndLine);
        } else if (request == kReqDevSta) {
            text = "1,";
            if (DeviceStatusReport) text += DeviceStatusReport();
            text += kLineEnd;
        } else if (request == kReqDevInf) {
            text = "1,";
            if (DeviceInfoReport) text += DeviceInfoReport();
            text += kLineEnd;
        }
        if (text.empty())
            AddLine(text,
                    "-1,Invalid Config Server Command: 0x" + ConfigLineText(device::Cp1252ToUtf8(line)));
        reply.Bytes = device::Utf8ToCp1252(text);
    } catch (...) {
        // Whatever failed while answering ends this connection only.
        reply = TConfigReply{{}, true};
    }
    return reply;
}

} // namespace qrb::ui
