#include "model/RegisterTables.h"

namespace qrb::model {

namespace {

constexpr TVariantMask M(uint16_t version0, uint16_t version1) {
    return {true, {version0, version1}};
}
constexpr TVariantMask kNone{};
constexpr const char* kDecodeOnly = nullptr;

using TValues = std::array<uint16_t, kMaxSettingCodes>;

constexpr TSettingTable Row(TSetting id, const char* name, const char* setter, uint8_t word,
                            TVariantMask decodeMask, TVariantMask andMask, uint8_t codeCount,
                            TValues version0, TValues version1) {
    return {id, name, setter, word, decodeMask, andMask, codeCount, {version0, version1}};
}

using S = TSetting;

} // namespace

// clang-format off
constexpr std::array<TSettingTable, kSettingCount> kSettingTables{{
//      row                    setting                    setter                    word decode mask          and-mask             codes
//          values, version 0 (code 0, 1, ...)
//          values, version 1
    Row(S::PreDivider,         "predivider",              "SetPreDivider",          1, M(0xFFFF, 0xFFFC), M(0x0000, 0x0003), 11,
        {0xAAAA, 0x9696, 0x59A6, 0x659A, 0x69AA, 0xA59A, 0xA9AA, 0x6559, 0x6969, 0xA559, 0xA969},
        {0xA9A8, 0x9594, 0x5AA4, 0x6698, 0x6AA8, 0xA698, 0xAAA8, 0x6658, 0x6A68, 0xA658, 0xAA68}),
    Row(S::OutputSelect,       "amplifier output select", "SetPreDivider",          2, kNone,             M(0xFFFF, 0xF3FF),  2,
        {0x0000, 0x0000},
        {0x0800, 0x0400}),
    Row(S::Offset,             "offset",                  "SetOffset",              1, M(0xFFFF, 0x0003), M(0xFFFF, 0xFFFC),  2,
        {0x0000, 0x0000},
        {0x0001, 0x0002}),
    Row(S::Gain,               "gain",                    "SetGain",                2, M(0x003F, 0x003F), M(0xFFC0, 0xFFC0),  6,
        {0x002A, 0x001A, 0x0026, 0x0016, 0x0005, 0x0009},
        {0x002A, 0x001A, 0x0026, 0x0016, 0x0025, 0x0029}),
    Row(S::Monitor,            "monitor",                 "SetMonitor",             2, M(0x0080, 0x0300), M(0xFF7F, 0xFCFF),  2,
        {0x0000, 0x0080},
        {0x0200, 0x0100}),
    Row(S::OutputFilter,       "outputfilter",            "SetOutputFilter",        2, M(0xFFFF, 0x3000), M(0xFFFF, 0xCFFF),  2,
        {0x0000, 0x0000},
        {0x2000, 0x1000}),
    Row(S::OffsetDACFilter,    "offsetdac_filter",        "SetOffsetDACFilter",     2, M(0xFFFF, 0x0080), M(0xFFFF, 0xFF7F),  2,
        {0x0000, 0x0000},
        {0x0000, 0x0080}),
    Row(S::ZeroInput,          "zero input",              "SetZeroInput",           2, M(0xFFFF, 0x0040), M(0xFFFF, 0xFFBF),  2,
        {0x0000, 0x0000},
        {0x0000, 0x0040}),
    Row(S::DMSShuntWord3,      "dms_shunt",               kDecodeOnly,              3, M(0x0808, 0x0000), kNone,              2,
        {0x0008, 0x0800},
        {0x0000, 0x0000}),
    Row(S::QuarterLoad,        "quarterload",             "SetQuarterLoad",         3, M(0x0000, 0x0808), M(0xFFFF, 0xF7F7),  2,
        {0x0000, 0x0000},
        {0x0008, 0x0800}),
    Row(S::PwrAtSignal,        "pwr_at_signal",           "SetPwrAtSignal",         3, M(0x0210, 0x0210), M(0xFDEF, 0xFDEF),  2,
        {0x0010, 0x0200},
        {0x0010, 0x0200}),
    Row(S::Ohm120,             "120_Ohm",                 "Set120Ohm",              3, M(0x0180, 0x0180), M(0xFE7F, 0xFE7F),  2,
        {0x0100, 0x0080},
        {0x0100, 0x0080}),
    Row(S::PwrFilter5M,        "pwrfilter5M",             "SetPwrFilter5M",         3, M(0x8000, 0x8000), M(0x7FFF, 0x7FFF),  2,
        {0x0000, 0x8000},
        {0x0000, 0x8000}),
    Row(S::CurrentWord3,       "current",                 kDecodeOnly,              3, M(0x0020, 0x0000), kNone,              2,
        {0x0000, 0x0020},
        {0x0000, 0x0000}),
    Row(S::LED1,               "led1",                    "SetLED1",                3, M(0x0004, 0x0004), M(0xFFFB, 0xFFFB),  2,
        {0x0000, 0x0004},
        {0x0000, 0x0004}),
    Row(S::LED2,               "led2",                    "SetLED2",                3, M(0x4000, 0x4000), M(0xBFFF, 0xBFFF),  2,
        {0x0000, 0x4000},
        {0x0000, 0x4000}),
    Row(S::TEDSPower,          "TEDS power",              "SetTEDSPower",           3, M(0x0040, 0x0040), M(0xFFBF, 0xFFBF),  2,
        {0x0000, 0x0000},
        {0x0040, 0x0000}),
    Row(S::GroundShield,       "ground and shield",       "SetReference",           3, kNone,             M(0xEBFF, 0xEBFF),  2,
        {0x0400, 0x1000},
        {0x0400, 0x1000}),
    Row(S::VRefPlus,           "vrefplus",                "SetVRefPlus",            3, M(0x2003, 0x2003), M(0xDFFC, 0xDFFC),  8,
        {0x2003, 0x0003, 0x2001, 0x0001, 0x2002, 0x0002, 0x2000, 0x0000},
        {0x2003, 0x0003, 0x2001, 0x0001, 0x2002, 0x0002, 0x2000, 0x0000}),
    Row(S::R25Shunt,           "r25_shunt",               "SetR25Shunt",            4, M(0x00A0, 0x0210), M(0xFF5F, 0xFDEF),  2,
        {0x0080, 0x0020},
        {0x0200, 0x0010}),
    Row(S::DMSCableRef,        "dmscableref",             "SetDMSCableRef",         4, M(0x0004, 0x0004), M(0xFFFB, 0xFFFB),  2,
        {0x0000, 0x0004},
        {0x0000, 0x0004}),
    Row(S::QtrLoadSense,       "qtrloadsense",            "SetQtrLoadSense",        4, M(0x0000, 0x0800), M(0xFFFF, 0xF7FF),  2,
        {0x0000, 0x0000},
        {0x0000, 0x0800}),
    Row(S::DMSPwrOn,           "dms_pwr_on",              "SetDMSPwrOn",            4, M(0x0000, 0x0400), M(0xFFFF, 0xFBFF),  2,
        {0x0000, 0x0000},
        {0x0000, 0x0400}),
    Row(S::CurrentWord4A,      "current",                 "SetCurrent",             4, M(0x0000, 0x1000), M(0xFFFF, 0xEFFF),  2,
        {0x0000, 0x0000},
        {0x0000, 0x1000}),
    Row(S::CurrentWord4B,      "current",                 "SetCurrent",             4, M(0x0000, 0x4000), M(0xFFFF, 0xBFFF),  2,
        {0x0000, 0x0000},
        {0x0000, 0x4000}),
    Row(S::AnalogStatusOff,    "analog_status_off",       kDecodeOnly,              4, M(0x0000, 0x2000), kNone,              2,
        {0x0000, 0x0000},
        {0x0000, 0x2000}),
    Row(S::VRefMinus,          "vrefminus",               "SetVRefMinus",           4, M(0x0043, 0x0023), M(0xFFBC, 0xFFDC),  8,
        {0x0043, 0x0042, 0x0003, 0x0002, 0x0041, 0x0040, 0x0001, 0x0000},
        {0x0023, 0x0022, 0x0003, 0x0002, 0x0021, 0x0020, 0x0001, 0x0000}),
    Row(S::VoltSense,          "volt_sense",              "SetSense",               4, M(0x0318, 0x01C8), M(0xFCE7, 0xFE37),  4,
        {0x0210, 0x0110, 0x0208, 0x0108},
        {0x0088, 0x0108, 0x00C0, 0x0140}),
    Row(S::ChargeHighpass,     "charge_highpass",         "SetChargeHighpass",      5, M(0x0000, 0x0003), M(0xFFFF, 0xFFFC),  2,
        {0x0000, 0x0000},
        {0x0002, 0x0001}),
    Row(S::ChargeCapacity,     "charge_capacity",         "SetChargeCapacity",      5, M(0x0000, 0x000C), M(0xFFFF, 0xFFF3),  2,
        {0x0000, 0x0000},
        {0x0004, 0x0008}),
    Row(S::ChargeInput,        "chargeinput",             "SetChargeInput",         5, M(0x0000, 0x0030), M(0xFFFF, 0xFFCF),  2,
        {0x0000, 0x0000},
        {0x0010, 0x0020}),
    Row(S::ChargeACOut,        "charge_ac_out",           "SetChargeACOut",         5, M(0x0000, 0x0040), M(0xFFFF, 0xFFBF),  2,
        {0x0000, 0x0000},
        {0x0000, 0x0040}),
    Row(S::ChargeClear,        "charge_clear",            "SetChargeClear",         5, M(0x0000, 0x0080), M(0xFFFF, 0xFF7F),  2,
        {0x0000, 0x0000},
        {0x0080, 0x0000}),
    Row(S::ChargeManClearMode, "charge_man_clearmode",    "SetChargeManClearMode",  5, M(0x0000, 0x0100), M(0xFFFF, 0xFEFF),  2,
        {0x0000, 0x0000},
        {0x0000, 0x0100}),
    Row(S::Coupling,           "coupling",                "SetCoupling",            6, M(0xF005, 0xD805), M(0x0FFA, 0x27FA),  7,
        {0xC004, 0x6004, 0xC001, 0x6001, 0x9004, 0x9001, 0x3001},
        {0xC800, 0x4804, 0xC001, 0x4005, 0x9800, 0x9001, 0x1005}),
    Row(S::Reference1,         "reference",               "SetReference",           6, M(0x0BEA, 0x06E8), M(0xF415, 0xF917),  6,
        {0x08C8, 0x0868, 0x028A, 0x0382, 0x08C8, 0x0382},
        {0x00C8, 0x0068, 0x0288, 0x04C0, 0x00C8, 0x04C0}),
    Row(S::Reference2,         "reference",               "SetReference",           6, M(0x0BEA, 0x06E8), M(0xF415, 0xF917),  6,
        {0x08C8, 0x0868, 0x028A, 0x0382, 0x08C8, 0x0382},
        {0x00C8, 0x0068, 0x0288, 0x0068, 0x04C0, 0x0068}),
    Row(S::CurrentWord6,       "current",                 "SetCurrent",             6, M(0x0410, 0x0110), M(0xFBEF, 0xFEEF),  2,
        {0x0400, 0x0010},
        {0x0100, 0x0010}),
    Row(S::DMSShuntWord6,      "dms_shunt",               "SetDMSShunt",            6, M(0x0000, 0x2002), M(0xFFFF, 0xDFFD),  2,
        {0x0000, 0x0000},
        {0x0002, 0x2000}),
}};

// range: pre-divider, gain
constexpr std::array<TRangePair, kRangeCount> kRangePairs{{
    {1, 0}, {0, 4}, {1, 1}, {0, 5}, {1, 2}, {1, 3}, {2, 0}, {1, 4}, {2, 1}, {1, 5},  //  0..9
    {2, 2}, {2, 3}, {3, 0}, {2, 4}, {3, 1}, {2, 5}, {3, 2}, {3, 3}, {7, 0}, {3, 4},  // 10..19
    {7, 1}, {3, 5}, {7, 2}, {7, 3}, {7, 4}, {7, 5},                                  // 20..25
}};

namespace {

// The ranges of gains 0..5 for each pre-divider that has any.
struct TDividerRanges {
    uint8_t PreDivider;
    std::array<uint8_t, 6> RangeByGain;
};

constexpr std::array<TDividerRanges, 4> kDividerRanges{{
    {1, { 0,  2,  4,  5,  7,  9}},
    {2, { 6,  8, 10, 11, 13, 15}},
    {3, {12, 14, 16, 17, 19, 21}},
    {7, {18, 20, 22, 23, 24, 25}},
}};

} // namespace

//      mode            input  vrefminus (ADC18, else)  vrefplus (ADC18, else)  ac out  clear
constexpr std::array<TChargeModeStep, kChargeModeCount> kChargeModeSteps{{
    /* 0 Ground  */ {0,     0, 0,                       0, 0,                   0,      1},
    /* 1 DC      */ {1,     6, 6,                       6, 6,                   0,      0},
    /* 2 AC 1Hz  */ {1,     4, 6,                       6, 5,                   0,      0},
    /* 3 AC 10Hz */ {1,     4, 6,                       6, 5,                   1,      0},
}};

//      supply          dms_pwr_on  current  pwr_at_signal  power DAC                      led2
constexpr std::array<TSupplyStep, 3> kSupplySteps{{
    /* other     */ {0,          0,       0,             TSupplyPower::Zero,            0},
    /* 1 voltage */ {1,          0,       0,             TSupplyPower::VoltageStep,     1},
    /* 2 current */ {1,          1,       0,             TSupplyPower::CurrentStep,     1},
}};
// clang-format on

namespace {

constexpr bool TablesAreConsistent() {
    for (std::size_t i = 0; i < kSettingTables.size(); ++i) {
        const TSettingTable& t = kSettingTables[i];
        if (static_cast<std::size_t>(t.Id) != i) return false;
        if (t.Word < 1 || t.Word > 6) return false;
        if (t.CodeCount < 2 || t.CodeCount > kMaxSettingCodes) return false;
        if (!t.DecodeMask.Present && !t.AndMask.Present) return false;
        if ((t.Setter == nullptr) == t.AndMask.Present) return false;
        for (int v = 0; v < kHWVariants; ++v) {
            for (int c = 0; c < kMaxSettingCodes; ++c) {
                const uint16_t value = t.Values[v][c];
                if (c >= t.CodeCount && value != 0) return false;
                // A setter sets only bits it has cleared; a decoded value lies within its mask.
                if (t.AndMask.Present && (value & t.AndMask.Mask[v]) != 0) return false;
                if (t.DecodeMask.Present && (value & ~t.DecodeMask.Mask[v]) != 0) return false;
            }
        }
    }
    return true;
}
static_assert(TablesAreConsistent());

constexpr bool RangesAreConsistent() {
    for (const TDividerRanges& d : kDividerRanges) {
        for (int g = 0; g < 6; ++g) {
            const TRangePair p = kRangePairs[d.RangeByGain[g]];
            if (p.PreDivider != d.PreDivider || p.Gain != g) return false;
        }
    }
    return true;
}
static_assert(RangesAreConsistent());

} // namespace

const TSettingTable& SettingTable(TSetting s) {
    return kSettingTables[static_cast<std::size_t>(s)];
}

std::optional<uint16_t> ApplySetting(TSetting s, int version, uint16_t word, int code) {
    const TSettingTable& t = SettingTable(s);
    if (!t.AndMask.Present || !IsValidHWVariant(version) || !t.IsValidCode(code)) return std::nullopt;
    return static_cast<uint16_t>((word & t.AndMask.Mask[version]) | t.Values[version][code]);
}

bool DecodeSwitch(TSetting s, int version, uint16_t word) {
    const TSettingTable& t = SettingTable(s);
    if (!t.DecodeMask.Present || !IsValidHWVariant(version)) return false;
    return (word & t.DecodeMask.Mask[version]) == t.Values[version][1];
}

uint8_t DecodeSearch(TSetting s, int version, uint16_t word, int first, int last) {
    const TSettingTable& t = SettingTable(s);
    if (!t.DecodeMask.Present || !IsValidHWVariant(version)) return 0;
    const uint16_t bits = word & t.DecodeMask.Mask[version];
    if (first < 0) first = 0;
    if (last >= t.CodeCount) last = t.CodeCount - 1;
    for (int code = first; code <= last; ++code) {
        if (bits == t.Values[version][code]) return static_cast<uint8_t>(code);
    }
    return 0;
}

uint8_t RangeFromDividerGain(int preDivider, int gain) {
    if (gain < 0 || gain >= 6) return kFallbackRange;
    for (const TDividerRanges& d : kDividerRanges) {
        if (d.PreDivider == preDivider) return d.RangeByGain[gain];
    }
    return kFallbackRange;
}

const TSupplyStep& SupplyStep(int supply) {
    return supply == 1 || supply == 2 ? kSupplySteps[supply] : kSupplySteps[0];
}

} // namespace qrb::model
