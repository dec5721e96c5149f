#include "device/HWVocabulary.h"

#include <iterator>

namespace qrb::device {
namespace {

// One row of a table keyed by sparse codes.
struct TCodeText {
    uint8_t Code;
    const char* Text;
};

template <std::size_t N> std::string Lookup(const TCodeText (&table)[N], unsigned code, const char* other) {
    for (const TCodeText& row : table)
        if (row.Code == code) return row.Text;
    return other;
}

// clang-format off
const TCodeText kInterfaceKinds[] = {
    {1, "USB"},
    {2, "LAN"},
    {4, "Offline"},
    {8, "Direct"},
};

struct TCouplingRow {
    uint8_t Code;
    const char* Text;
    const char* LongText;
};

const TCouplingRow kCouplings[] = {
    {0,  "Ground",     "Ground"},
    {1,  "SE DC+",     "Single Ended DC+"},
    {2,  "SE DC-",     "Single Ended DC-"},
    {3,  "DE DC",      "Differential Ended DC"},
    {4,  "DE 3Hz AC",  "Differential Ended 3Hz High Pass Filter"},
    {5,  "SE 3Hz AC",  "Single Ended 3Hz High Pass Filter"},
    {6,  "SE 16Hz AC", "Single Ended 16Hz High Pass Filter"},
    {99, "Not used",   "Not used"},
};

const TCodeText kReferences[] = {
    {0,  "SE BNC"},
    {1,  "DE Dual BNC"},
    {2,  "DE Single BNC"},
    {3,  "ODU"},
    {4,  "ODU off"},
    {5,  "ODU on"},
    {99, "Not used"},
};

struct TVRefRow {
    uint8_t Code;
    const char* Plus;
    const char* Minus;
};

const TVRefRow kVRefs[] = {
    {0,  "+AGND",          "-AGND"},
    {1,  "+Offset",        "-Offset"},
    {2,  "+HalfBridge",    "-negDelta"},
    {3,  "+AuxIn+",        "-AuxIn-"},
    {4,  "+Analog Status", "-AnalogTemp."},
    {5,  "+ChargeAC+",     "-Temperature"},
    {6,  "+ChargeDC+",     "-Charge-"},
    {7,  "+DMSPwr+",       "-DMSPwr-"},
    {99, "Not used",       "Not used"},
};

const TCodeText kSenses[] = {
    {0,  "no Sense no TEDS"},
    {1,  "Sense no TEDS"},
    {2,  "TEDS (T-@S+&-)(T+@CatT+)"},
    {3,  "TEDS (T-@S+)(T+@CatT+&S-)"},
    {99, "Not used"},
};

// Code 1 names the 0.1 Hz high pass with the 10 nF capacity, 15 Hz with any other.
struct THighPassRow {
    uint8_t Code;
    const char* Text10nF;
    const char* Text100pF;
};

const THighPassRow kChargeHighPasses[] = {
    {0,  "1Hz",      "1Hz"},
    {1,  "0.1Hz",    "15Hz"},
    {99, "Not used", "Not used"},
};

const TCodeText kChargeClearModes[] = {
    {0, "Manual"},
    {1, "Auto"},
};

const TCodeText kChargeModes[] = {
    {0, "Ground"},
    {1, "DC"},
    {2, "AC 1Hz"},
    {3, "AC 10Hz"},
};

const TCodeText kChargeCapacities[] = {
    {0,  "0.1mV/pC (10nF)"},
    {1,  "10mV/pC (100pF)"},
    {99, "Not used"},
};

// Codes 0..10; 11..14 are unnamed, 15 and above custom.
const char* const kSensorTypes[] = {
    "OFF", "VOLT", "ICP", "DMS Current", "DMS Fullbridge", "DMS Halfbridge", "DMS Quarterbridge",
    "CURRENT", "RTD", "CHARGE", "Debug",
};

const TCodeText kVoltSupplies[] = {
    {0, "None"},
    {1, "Volt"},
    {2, "Current"},
};

// The long text is Text, Blanks1 blanks, Divider, Blanks2 blanks, Gain.
struct TVoltageRangeRow {
    const char* Text;
    const char* Divider;
    const char* Gain;
    float FullScale; // volts
    uint8_t Blanks1;
    uint8_t Blanks2;
};

const TVoltageRangeRow kVoltageRanges100V[kMaxRangeCode + 1] = {
    {"± 500V", "(1:100)", "-40.0 dB", 500.0f, 13, 13}, // 0
    {"± 250V*", "(1:50)", "-34.0 dB", 250.0f, 12, 14}, // 1
    {"± 250V", "(1:50)", "-34.0 dB", 250.0f, 13, 14}, // 2
    {"± 100V*", "(1:20)", "-26.0 dB", 100.0f, 12, 14}, // 3
    {"± 100V", "(1:20)", "-26.0 dB", 100.0f, 13, 14}, // 4
    {"± 50V*", "(1:10)", "-20.0 dB", 50.0f, 14, 14}, // 5
    {"± 50V", "(1:10)", "-20.0 dB", 50.0f, 15, 14}, // 6
    {"± 25V*", "(1:5)", "-14.0 dB", 25.0f, 14, 16}, // 7
    {"± 25V", "(1:5)", "-14.0 dB", 25.0f, 15, 16}, // 8
    {"± 10V*", "(1:2)", "-6.0 dB", 10.0f, 14, 18}, // 9
    {"± 10V", "(1:2)", "-6.0 dB", 10.0f, 15, 18}, // 10
    {"± 5V*", "(1:1)", "0 dB", 5.0f, 16, 22}, // 11
    {"± 5V", "(1:1)", "0 dB", 5.0f, 17, 22}, // 12
    {"± 2.5V*", "(2:1)", "6.0 dB", 2.5f, 13, 19}, // 13
    {"± 2.5V", "(2:1)", "6.0 dB", 2.5f, 14, 19}, // 14
    {"± 1.0V*", "(5:1)", "14.0 dB", 1.0f, 13, 17}, // 15
    {"± 1.0V", "(5:1)", "14.0 dB", 1.0f, 14, 17}, // 16
    {"± 500mV*", "(10:1)", "20.0 dB", 0.5f, 8, 15}, // 17
    {"± 500mV", "(10:1)", "20.0 dB", 0.5f, 9, 15}, // 18
    {"± 250mV*", "(20:1)", "26.0 dB", 0.25f, 8, 15}, // 19
    {"± 250mV", "(20:1)", "26.0 dB", 0.25f, 9, 15}, // 20
    {"± 100mV*", "(50:1)", "34.0 dB", 0.1f, 8, 15}, // 21
    {"± 100mV", "(50:1)", "34.0 dB", 0.1f, 9, 15}, // 22
    {"± 50mV", "(100:1)", "40.0 dB", 0.05f, 11, 13}, // 23
    {"± 25mV", "(200:1)", "46.0 dB", 0.025f, 11, 13}, // 24
    {"± 10mV", "(500:1)", "54.0 dB", 0.01f, 11, 13}, // 25
};

const TVoltageRangeRow kVoltageRanges150V[kMaxRangeCode + 1] = {
    {"± 500V", "(1:100)", "-40.0 dB", 500.0f, 13, 13}, // 0
    {"± 250V*", "(1:50)", "-34.0 dB", 250.0f, 11, 14}, // 1
    {"± 250V", "(1:50)", "-34.0 dB", 250.0f, 13, 14}, // 2
    {"± 150V*", "(1:30)", "-29.5 dB", 150.0f, 11, 14}, // 3
    {"± 150V", "(1:30)", "-29.5 dB", 150.0f, 13, 14}, // 4
    {"± 50V*", "(1:10)", "-20.0 dB", 50.0f, 13, 14}, // 5
    {"± 50V", "(1:10)", "-20.0 dB", 50.0f, 15, 14}, // 6
    {"± 25V*", "(1:5)", "-14.0 dB", 25.0f, 13, 16}, // 7
    {"± 25V", "(1:5)", "-14.0 dB", 25.0f, 15, 16}, // 8
    {"± 15V*", "(1:3)", "-9.5 dB", 15.0f, 13, 18}, // 9
    {"± 15V", "(1:3)", "-9.5 dB", 15.0f, 15, 18}, // 10
    {"± 5V*", "(1:1)", "0 dB", 5.0f, 15, 22}, // 11
    {"± 5V", "(1:1)", "0 dB", 5.0f, 17, 22}, // 12
    {"± 2.5V*", "(2:1)", "6.0 dB", 2.5f, 12, 19}, // 13
    {"± 2.5V", "(2:1)", "6.0 dB", 2.5f, 14, 19}, // 14
    {"± 1.5V*", "(3.3:1)", "10.5 dB", 1.5f, 12, 14}, // 15
    {"± 1.5V", "(3.3:1)", "10.5 dB", 1.5f, 14, 14}, // 16
    {"± 500mV*", "(10:1)", "20.0 dB", 0.5f, 7, 15}, // 17
    {"± 500mV", "(10:1)", "20.0 dB", 0.5f, 9, 15}, // 18
    {"± 250mV*", "(20:1)", "26.0 dB", 0.25f, 7, 15}, // 19
    {"± 250mV", "(20:1)", "26.0 dB", 0.25f, 9, 15}, // 20
    {"± 150mV*", "(33:1)", "30.5 dB", 0.15f, 7, 15}, // 21
    {"± 150mV", "(33:1)", "30.5 dB", 0.15f, 9, 15}, // 22
    {"± 50mV", "(100:1)", "40.0 dB", 0.05f, 11, 13}, // 23
    {"± 25mV", "(200:1)", "46.0 dB", 0.025f, 11, 13}, // 24
    {"± 15mV", "(333:1)", "50.5 dB", 0.015f, 11, 13}, // 25
};

struct TCurrentRangeRow {
    const char* Text100V;
    const char* Text150V;
};

const TCurrentRangeRow kCurrentRanges[kMaxRangeCode + 1] = {
    {"± 20A", "± 20A"}, // 0
    {"± 10A", "± 10A"}, // 1
    {"± 10A", "± 10A"}, // 2
    {"± 4A", "± 6A"}, // 3
    {"± 4A", "± 6A"}, // 4
    {"± 2A", "± 2A"}, // 5
    {"± 2A", "± 2A"}, // 6
    {"± 1A", "± 1A"}, // 7
    {"± 1A", "± 1A"}, // 8
    {"± 400mA", "± 600mA"}, // 9
    {"± 400mA", "± 600mA"}, // 10
    {"± 200mA", "± 200mA"}, // 11
    {"± 200mA", "± 200mA"}, // 12
    {"± 100mA", "± 100mA"}, // 13
    {"± 100mA", "± 100mA"}, // 14
    {"± 40mA", "± 60mA"}, // 15
    {"± 40mA", "± 60mA"}, // 16
    {"± 20mA", "± 20mA"}, // 17
    {"± 20mA", "± 20mA"}, // 18
    {"± 10mA", "± 10mA"}, // 19
    {"± 10mA", "± 10mA"}, // 20
    {"± 4mA", "± 6mA"}, // 21
    {"± 4mA", "± 6mA"}, // 22
    {"± 2mA", "± 2mA"}, // 23
    {"± 1mA", "± 1mA"}, // 24
    {"± 400µA", "± 600µA"}, // 25
};

struct TChargeRangeRow {
    const char* Text10nF100V;
    const char* Text10nF150V;
    const char* Text100pF100V;
    const char* Text100pF150V;
};

const TChargeRangeRow kChargeRanges[kMaxRangeCode + 1] = {
    {"± 5µC", "± 5µC", "± 50nC", "± 50nC"}, // 0
    {"± 2.5µC", "± 2.5µC", "± 25nC", "± 25nC"}, // 1
    {"± 2.5µC", "± 2.5µC", "± 25nC", "± 25nC"}, // 2
    {"± 1.0µC", "± 1.5µC", "± 10nC", "± 15nC"}, // 3
    {"± 1.0µC", "± 1.5µC", "± 10nC", "± 15nC"}, // 4
    {"± 500nC", "± 500nC", "± 5nC", "± 5nC"}, // 5
    {"± 500nC", "± 500nC", "± 5nC", "± 5nC"}, // 6
    {"± 250nC", "± 250nC", "± 2.5nC", "± 2.5nC"}, // 7
    {"± 250nC", "± 250nC", "± 2.5nC", "± 2.5nC"}, // 8
    {"± 100nC", "± 150nC", "± 1.0nC", "± 1.5nC"}, // 9
    {"± 100nC", "± 150nC", "± 1.0nC", "± 1.5nC"}, // 10
    {"± 50nC", "± 50nC", "± 500pC", "± 500pC"}, // 11
    {"± 50nC", "± 50nC", "± 500pC", "± 500pC"}, // 12
    {"± 25nC", "± 25nC", "± 250pC", "± 250pC"}, // 13
    {"± 25nC", "± 25nC", "± 250pC", "± 250pC"}, // 14
    {"± 10nC", "± 15nC", "± 100pC", "± 150pC"}, // 15
    {"± 10nC", "± 15nC", "± 100pC", "± 150pC"}, // 16
    {"± 5nC", "± 5nC", "± 50pC", "± 50pC"}, // 17
    {"± 5nC", "± 5nC", "± 50pC", "± 50pC"}, // 18
    {"± 2.5nC", "± 2.5nC", "± 25pC", "± 25pC"}, // 19
    {"± 2.5nC", "± 2.5nC", "± 25pC", "± 25pC"}, // 20
    {"± 1.0nC", "± 1.5nC", "± 10pC", "± 15pC"}, // 21
    {"± 1.0nC", "± 1.5nC", "± 10pC", "± 15pC"}, // 22
    {"± 500pC", "± 500pC", "± 5pC", "± 5pC"}, // 23
    {"± 250pC", "± 250pC", "± 2.5pC", "± 2.5pC"}, // 24
    {"± 100pC", "± 150pC", "± 1.0pC", "± 1.5pC"}, // 25
};

// Range and, for most codes, the sensitivity.
const TChargeRangeRow kChargeLongRanges[kMaxRangeCode + 1] = {
    {"± 5µC     (1mV/nC)", "± 5µC     (1mV/nC)", "± 50nC", "± 50nC"}, // 0
    {"± 2.5µC", "± 2.5µC", "± 25nC", "± 25nC"}, // 1
    {"± 2.5µC   (2mV/nC", "± 2.5µC   (2mV/nC", "± 25nC", "± 25nC"}, // 2
    {"± 1.0µC", "± 1.5µC", "± 10nC", "± 15nC"}, // 3
    {"± 1.0µC   (5.0mV/nC)", "± 1.5µC   (3.3mV/nC)", "± 10nC", "± 15nC"}, // 4
    {"± 500nC", "± 500nC", "± 5nC", "± 5nC"}, // 5
    {"± 500nC   (10mV/nC)", "± 500nC   (10mV/nC)", "± 5nC    (1.0mV/pC)", "± 5nC    (1.0mV/pC)"}, // 6
    {"± 250nC", "± 250nC", "± 2.5nC", "± 2.5nC"}, // 7
    {"± 250nC   (20mV/nC)", "± 250nC   (20mV/nC)", "± 2.5nC  (2.0mV/pC)", "± 2.5nC  (2.0mV/pC)"}, // 8
    {"± 100nC", "± 150nC", "± 1.0nC", "± 1.5nC"}, // 9
    {"± 100nC   (50mV/nC)", "± 150nC   (33mV/nC)", "± 1.0nC  (5.0mV/pC)", "± 1.5nC  (3.3mV/pC)"}, // 10
    {"± 50nC", "± 50nC", "± 500pC", "± 500pC"}, // 11
    {"± 50nC    (0.10mV/pC)", "± 50nC    (0.10mV/pC)", "± 500pC  (10mV/pC)", "± 500pC  (10mV/pC)"}, // 12
    {"± 25nC", "± 25nC", "± 250pC", "± 250pC"}, // 13
    {"± 25nC    (0.20mV/pC)", "± 25nC    (0.20mV/pC)", "± 250pC  (20mV/pC)", "± 250pC  (20mV/pC)"}, // 14
    {"± 10nC", "± 15nC", "± 100pC", "± 150pC"}, // 15
    {"± 10nC    (0.50mV/pC)", "± 15nC    (0.33mV/pC)", "± 100pC  (50mV/pC)", "± 150pC  (33mV/pC)"}, // 16
    {"± 5.0nC", "± 5.0nC", "± 50pC", "± 50pC"}, // 17
    {"± 5.0nC   (1.0mV/pC)", "± 5.0nC   (1.0mV/pC)", "± 50pC    (100mV/pC)", "± 50pC    (100mV/pC)"}, // 18
    {"± 2.5nC", "± 2.5nC", "± 25pC", "± 25pC"}, // 19
    {"± 2.5nC   (2.0mV/pC)", "± 2.5nC   (2.0mV/pC)", "± 25pC    (200mV/pC)", "± 25pC    (200mV/pC)"}, // 20
    {"± 1.0nC", "± 1.5nC", "± 10pC", "± 15pC"}, // 21
    {"± 1.0nC   (5.0mV/pC)", "± 1.5nC   (3.3mV/pC)", "± 10pC    (500mV/pC)", "± 15pC    (333mV/pC)"}, // 22
    {"± 500pC  (10mV/pC)", "± 500pC  (10mV/pC)", "± 5pC      (1000mV/pC)", "± 5pC      (1000mV/pC)"}, // 23
    {"± 250pC  (20mV/pC)", "± 250pC  (20mV/pC)", "± 2.5pC   (2000mV/pC)", "± 2.5pC   (2000mV/pC)"}, // 24
    {"± 100pC  (50mV/pC)", "± 150pC  (33mV/pC)", "± 1.0pC   (5000mV/pC)", "± 1.5pC   (3300mV/pC)"}, // 25
};

// The same for both families.
const char* const kCommonModeRanges[kMaxRangeCode + 1] = {
    "± 100V", // 0
    "± 5KV",  // 1
    "± 100V", // 2
    "± 5KV",  // 3
    "± 100V", // 4
    "± 500V", // 5
    "± 50V",  // 6
    "± 500V", // 7
    "± 50V",  // 8
    "± 500V", // 9
    "± 50V",  // 10
    "± 50V",  // 11
    "± 5V",   // 12
    "± 50V",  // 13
    "± 5V",   // 14
    "± 50V",  // 15
    "± 5V",   // 16
    "± 10V",  // 17
    "± 5V",   // 18
    "± 10V",  // 19
    "± 5V",   // 20
    "± 10V",  // 21
    "± 5V",   // 22
    "± 5V",   // 23
    "± 5V",   // 24
    "± 5V",   // 25
};

struct TOutputFilterRow {
    uint8_t FilterType;
    const char* TextOn;
    const char* TextOff;
    const char* LongTextOn;
    const char* LongTextOff;
};

const TOutputFilterRow kOutputFilters[] = {
    {1, "20KHz",  "40KHz",  "Filter: Lowpass - 20 KHz",          "Filter: Lowpass - 40 KHz"},
    {2, "100KHz", "1.5MHz", "Filter: Lowpass - 100 KHz",         "Filter: Lowpass - 1.5 MHz"},
    {3, "(5KHz)", "100KHz", "Filter: Lowpass - extreme (5 KHz)", "Filter: Lowpass - 100 KHz"},
};

// Any other filter type.
const TOutputFilterRow kOutputFilterOther =
    {0, "1 MHz",  "OFF",    "Filter: Lowpass - 1 MHz",           "Filter: Lowpass - Off"};
// clang-format on

const char kNotAvailable[] = "<n/a>";
const char kRangeNotAvailable[] = "n/a";

const TVoltageRangeRow* VoltageRow(uint8_t version, uint8_t range) {
    if (range > kMaxRangeCode) return nullptr;
    return Is150VFamily(version) ? &kVoltageRanges150V[range] : &kVoltageRanges100V[range];
}

const char* ChargeText(const TChargeRangeRow& row, uint8_t version, uint8_t capacity) {
    if (capacity == 0) return Is150VFamily(version) ? row.Text10nF150V : row.Text10nF100V;
    return Is150VFamily(version) ? row.Text100pF150V : row.Text100pF100V;
}

const TOutputFilterRow& OutputFilterRow(uint8_t filterType) {
    for (const TOutputFilterRow& row : kOutputFilters)
        if (row.FilterType == filterType) return row;
    return kOutputFilterOther;
}

} // namespace

std::string InterfaceToText(uint8_t kind) {
    return Lookup(kInterfaceKinds, kind, "Unknown");
}

std::string InterfaceToText(TInterfaceKind kind) {
    return InterfaceToText(ToByte(kind));
}

std::string CouplingToText(uint8_t coupling) {
    for (const TCouplingRow& row : kCouplings)
        if (row.Code == coupling) return row.Text;
    return "Unknown";
}

std::string CouplingToLongText(uint8_t coupling) {
    for (const TCouplingRow& row : kCouplings)
        if (row.Code == coupling) return row.LongText;
    return "Unknown";
}

std::string ReferenceToText(uint8_t reference) {
    return Lookup(kReferences, reference, kNotAvailable);
}

std::string VRefPlusToText(uint8_t value) {
    for (const TVRefRow& row : kVRefs)
        if (row.Code == value) return row.Plus;
    return kNotAvailable;
}

std::string VRefMinusToText(uint8_t value) {
    for (const TVRefRow& row : kVRefs)
        if (row.Code == value) return row.Minus;
    return kNotAvailable;
}

std::string VoltSenseToText(uint8_t value) {
    return Lookup(kSenses, value, kNotAvailable);
}

std::string ChargeHighPassToText(uint8_t value, uint8_t capacity) {
    for (const THighPassRow& row : kChargeHighPasses)
        if (row.Code == value) return capacity == 0 ? row.Text10nF : row.Text100pF;
    return kNotAvailable;
}

std::string ChargeClearModeToText(uint8_t value) {
    return Lookup(kChargeClearModes, value, kNotAvailable);
}

std::string ChargeModeToText(uint8_t value) {
    return Lookup(kChargeModes, value, kNotAvailable);
}

std::string ChargeCapacityToText(uint8_t value) {
    return Lookup(kChargeCapacities, value, kNotAvailable);
}

std::string SensorTypeToText(uint16_t sensorType) {
    if (sensorType < std::size(kSensorTypes)) return kSensorTypes[sensorType];
    if (sensorType < 15) return kNotAvailable;
    return "Custom";
}

std::string VoltSupplyToText(uint8_t value) {
    return Lookup(kVoltSupplies, value, kNotAvailable);
}

std::string VoltageRangeToText(uint8_t version, uint8_t range) {
    const TVoltageRangeRow* row = VoltageRow(version, range);
    return row ? row->Text : kRangeNotAvailable;
}

std::string VoltageRangeDividerToText(uint8_t version, uint8_t range) {
    const TVoltageRangeRow* row = VoltageRow(version, range);
    return row ? row->Divider : kRangeNotAvailable;
}

std::string VoltageRangeGainToText(uint8_t version, uint8_t range) {
    const TVoltageRangeRow* row = VoltageRow(version, range);
    return row ? row->Gain : kRangeNotAvailable;
}

std::string VoltageRangeToLongText(uint8_t version, uint8_t range) {
    const TVoltageRangeRow* row = VoltageRow(version, range);
    if (!row) return kRangeNotAvailable;
    std::string text = row->Text;
    text.append(row->Blanks1, ' ');
    text += row->Divider;
    text.append(row->Blanks2, ' ');
    text += row->Gain;
    return text;
}

float VoltageRangeFullScale(uint8_t version, uint8_t range) {
    const TVoltageRangeRow* row = VoltageRow(version, range);
    return row ? row->FullScale : 0.0f;
}

std::string CurrentRangeToText(uint8_t version, uint8_t range) {
    if (range > kMaxRangeCode) return kRangeNotAvailable;
    return Is150VFamily(version) ? kCurrentRanges[range].Text150V : kCurrentRanges[range].Text100V;
}

std::string ChargeRangeToText(uint8_t version, uint8_t range, uint8_t capacity) {
    if (range > kMaxRangeCode) return kRangeNotAvailable;
    return ChargeText(kChargeRanges[range], version, capacity);
}

std::string ChargeRangeToLongText(uint8_t version, uint8_t range, uint8_t capacity) {
    if (range > kMaxRangeCode) return kRangeNotAvailable;
    return ChargeText(kChargeLongRanges[range], version, capacity);
}

float ChargeRangeFullScale(uint8_t range, uint8_t capacity) {
    if (range > kMaxRangeCode) return 0.0f;
    // The charge amplifier maps the 150 V family's voltage ranges onto charge.
    const double factor = capacity == 0 ? 1e-8 : 1e-10;
    return static_cast<float>(static_cast<double>(kVoltageRanges150V[range].FullScale) * factor);
}

std::string CommonModeRangeToText(uint8_t /*version*/, uint8_t range) {
    if (range > kMaxRangeCode) return kRangeNotAvailable;
    return kCommonModeRanges[range];
}

std::string OutputFilterToText(uint8_t filterType, bool filter) {
    const TOutputFilterRow& row = OutputFilterRow(filterType);
    return filter ? row.TextOn : row.TextOff;
}

std::string OutputFilterToLongText(uint8_t filterType, bool filter) {
    const TOutputFilterRow& row = OutputFilterRow(filterType);
    return filter ? row.LongTextOn : row.LongTextOff;
}

} // namespace qrb::device
