#include "device/HWVocabulary.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

using namespace qrb::device;

namespace {

using CodeTextFn = std::string (*)(uint8_t);

struct CodeCase {
    const char* Function;
    CodeTextFn Fn;
    uint8_t Code;
    const char* Expected;
};

// A sample of each table plus the fallback for codes next to, between and far from the table.
const CodeCase kCodeCases[] = {
    {"InterfaceToText", InterfaceToText, 1, "USB"},
    {"InterfaceToText", InterfaceToText, 2, "LAN"},
    {"InterfaceToText", InterfaceToText, 4, "Offline"},
    {"InterfaceToText", InterfaceToText, 8, "Direct"},
    {"InterfaceToText", InterfaceToText, 0, "Unknown"},
    {"InterfaceToText", InterfaceToText, 3, "Unknown"},
    {"InterfaceToText", InterfaceToText, 16, "Unknown"},
    {"InterfaceToText", InterfaceToText, 255, "Unknown"},

    {"CouplingToText", CouplingToText, 0, "Ground"},
    {"CouplingToText", CouplingToText, 1, "SE DC+"},
    {"CouplingToText", CouplingToText, 3, "DE DC"},
    {"CouplingToText", CouplingToText, 4, "DE 3Hz AC"},
    {"CouplingToText", CouplingToText, 6, "SE 16Hz AC"},
    {"CouplingToText", CouplingToText, 99, "Not used"},
    {"CouplingToText", CouplingToText, 7, "Unknown"},
    {"CouplingToText", CouplingToText, 98, "Unknown"},
    {"CouplingToText", CouplingToText, 255, "Unknown"},
    {"CouplingToLongText", CouplingToLongText, 0, "Ground"},
    {"CouplingToLongText", CouplingToLongText, 2, "Single Ended DC-"},
    {"CouplingToLongText", CouplingToLongText, 3, "Differential Ended DC"},
    {"CouplingToLongText", CouplingToLongText, 4, "Differential Ended 3Hz High Pass Filter"},
    {"CouplingToLongText", CouplingToLongText, 5, "Single Ended 3Hz High Pass Filter"},
    {"CouplingToLongText", CouplingToLongText, 6, "Single Ended 16Hz High Pass Filter"},
    {"CouplingToLongText", CouplingToLongText, 99, "Not used"},
    {"CouplingToLongText", CouplingToLongText, 7, "Unknown"},
    {"CouplingToLongText", CouplingToLongText, 100, "Unknown"},

    {"ReferenceToText", ReferenceToText, 0, "SE BNC"},
    {"ReferenceToText", ReferenceToText, 1, "DE Dual BNC"},
    {"ReferenceToText", ReferenceToText, 2, "DE Single BNC"},
    {"ReferenceToText", ReferenceToText, 3, "ODU"},
    {"ReferenceToText", ReferenceToText, 5, "ODU on"},
    {"ReferenceToText", ReferenceToText, 99, "Not used"},
    {"ReferenceToText", ReferenceToText, 6, "<n/a>"},
    {"ReferenceToText", ReferenceToText, 7, "<n/a>"},
    {"ReferenceToText", ReferenceToText, 255, "<n/a>"},

    {"VRefPlusToText", VRefPlusToText, 0, "+AGND"},
    {"VRefPlusToText", VRefPlusToText, 2, "+HalfBridge"},
    {"VRefPlusToText", VRefPlusToText, 4, "+Analog Status"},
    {"VRefPlusToText", VRefPlusToText, 7, "+DMSPwr+"},
    {"VRefPlusToText", VRefPlusToText, 99, "Not used"},
    {"VRefPlusToText", VRefPlusToText, 8, "<n/a>"},
    {"VRefPlusToText", VRefPlusToText, 255, "<n/a>"},
    {"VRefMinusToText", VRefMinusToText, 0, "-AGND"},
    {"VRefMinusToText", VRefMinusToText, 2, "-negDelta"},
    {"VRefMinusToText", VRefMinusToText, 4, "-AnalogTemp."},
    {"VRefMinusToText", VRefMinusToText, 5, "-Temperature"},
    {"VRefMinusToText", VRefMinusToText, 6, "-Charge-"},
    {"VRefMinusToText", VRefMinusToText, 99, "Not used"},
    {"VRefMinusToText", VRefMinusToText, 8, "<n/a>"},

    {"VoltSenseToText", VoltSenseToText, 0, "no Sense no TEDS"},
    {"VoltSenseToText", VoltSenseToText, 1, "Sense no TEDS"},
    {"VoltSenseToText", VoltSenseToText, 2, "TEDS (T-@S+&-)(T+@CatT+)"},
    {"VoltSenseToText", VoltSenseToText, 3, "TEDS (T-@S+)(T+@CatT+&S-)"},
    {"VoltSenseToText", VoltSenseToText, 99, "Not used"},
    {"VoltSenseToText", VoltSenseToText, 4, "<n/a>"},
    {"VoltSenseToText", VoltSenseToText, 255, "<n/a>"},

    {"ChargeClearModeToText", ChargeClearModeToText, 0, "Manual"},
    {"ChargeClearModeToText", ChargeClearModeToText, 1, "Auto"},
    {"ChargeClearModeToText", ChargeClearModeToText, 2, "<n/a>"},
    {"ChargeClearModeToText", ChargeClearModeToText, 99, "<n/a>"},

    {"ChargeModeToText", ChargeModeToText, 0, "Ground"},
    {"ChargeModeToText", ChargeModeToText, 1, "DC"},
    {"ChargeModeToText", ChargeModeToText, 2, "AC 1Hz"},
    {"ChargeModeToText", ChargeModeToText, 3, "AC 10Hz"},
    {"ChargeModeToText", ChargeModeToText, 4, "<n/a>"},
    {"ChargeModeToText", ChargeModeToText, 99, "<n/a>"},

    {"ChargeCapacityToText", ChargeCapacityToText, 0, "0.1mV/pC (10nF)"},
    {"ChargeCapacityToText", ChargeCapacityToText, 1, "10mV/pC (100pF)"},
    {"ChargeCapacityToText", ChargeCapacityToText, 99, "Not used"},
    {"ChargeCapacityToText", ChargeCapacityToText, 2, "<n/a>"},
    {"ChargeCapacityToText", ChargeCapacityToText, 255, "<n/a>"},

    {"VoltSupplyToText", VoltSupplyToText, 0, "None"},
    {"VoltSupplyToText", VoltSupplyToText, 1, "Volt"},
    {"VoltSupplyToText", VoltSupplyToText, 2, "Current"},
    {"VoltSupplyToText", VoltSupplyToText, 3, "<n/a>"},
    {"VoltSupplyToText", VoltSupplyToText, 99, "<n/a>"},
};

} // namespace

TEST(HWVocabularyCodes, EveryCodeTableAndItsFallback) {
    for (const CodeCase& c : kCodeCases)
        EXPECT_EQ(c.Fn(c.Code), c.Expected) << c.Function << "(" << int(c.Code) << ")";
}

TEST(HWVocabularyCodes, InterfaceKindEnumGivesTheSameTexts) {
    EXPECT_EQ(InterfaceToText(TInterfaceKind::ikUSB), "USB");
    EXPECT_EQ(InterfaceToText(TInterfaceKind::ikLAN), "LAN");
    EXPECT_EQ(InterfaceToText(TInterfaceKind::ikOffline), "Offline");
    EXPECT_EQ(InterfaceToText(TInterfaceKind::ikDirect), "Direct");
    EXPECT_EQ(InterfaceToText(TInterfaceKind::ikNone), "Unknown");
}

TEST(HWVocabularyCodes, ChargeHighPassDependsOnCapacityOnlyForCode1) {
    struct Case {
        uint8_t Value, Capacity;
        const char* Expected;
    };
    const Case cases[] = {
        {0, 0, "1Hz"},   {0, 1, "1Hz"},    {1, 0, "0.1Hz"},     {1, 1, "15Hz"},
        {1, 99, "15Hz"}, {1, 255, "15Hz"}, {99, 0, "Not used"}, {99, 1, "Not used"},
        {2, 0, "<n/a>"}, {2, 1, "<n/a>"},  {255, 0, "<n/a>"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ChargeHighPassToText(c.Value, c.Capacity), c.Expected)
            << int(c.Value) << ", " << int(c.Capacity);
}

TEST(HWVocabularyCodes, SensorTypes) {
    struct Case {
        uint16_t Type;
        const char* Expected;
    };
    const Case cases[] = {
        {0, "OFF"},
        {1, "VOLT"},
        {2, "ICP"},
        {3, "DMS Current"},
        {4, "DMS Fullbridge"},
        {5, "DMS Halfbridge"},
        {6, "DMS Quarterbridge"},
        {7, "CURRENT"},
        {8, "RTD"},
        {9, "CHARGE"},
        {10, "Debug"},
        {11, "<n/a>"},
        {14, "<n/a>"},
        {15, "Custom"},
        {255, "Custom"},
        {256, "Custom"}, // above a byte: the sensor type is 16 bits wide
        {1000, "Custom"},
        {65535, "Custom"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SensorTypeToText(c.Type), c.Expected) << c.Type;
}

namespace {

struct VoltageCase {
    uint8_t Version, Range;
    const char* Text;
    const char* Divider;
    const char* Gain;
    float FullScale;
};

const VoltageCase kVoltageCases[] = {
    {2, 0, "± 500V", "(1:100)", "-40.0 dB", 500.0f},  {2, 3, "± 100V*", "(1:20)", "-26.0 dB", 100.0f},
    {2, 9, "± 10V*", "(1:2)", "-6.0 dB", 10.0f},      {2, 12, "± 5V", "(1:1)", "0 dB", 5.0f},
    {2, 16, "± 1.0V", "(5:1)", "14.0 dB", 1.0f},      {2, 21, "± 100mV*", "(50:1)", "34.0 dB", 0.1f},
    {2, 25, "± 10mV", "(500:1)", "54.0 dB", 0.01f},   {3, 3, "± 100V*", "(1:20)", "-26.0 dB", 100.0f},
    {255, 25, "± 10mV", "(500:1)", "54.0 dB", 0.01f}, {1, 3, "± 150V*", "(1:30)", "-29.5 dB", 150.0f},
    {1, 10, "± 15V", "(1:3)", "-9.5 dB", 15.0f},      {1, 15, "± 1.5V*", "(3.3:1)", "10.5 dB", 1.5f},
    {1, 21, "± 150mV*", "(33:1)", "30.5 dB", 0.15f},  {1, 22, "± 150mV", "(33:1)", "30.5 dB", 0.15f},
    {1, 25, "± 15mV", "(333:1)", "50.5 dB", 0.015f},  {0, 3, "± 150V*", "(1:30)", "-29.5 dB", 150.0f},
    {0, 25, "± 15mV", "(333:1)", "50.5 dB", 0.015f},  {3, 5, "± 50V*", "(1:10)", "-20.0 dB", 50.0f},
    {3, 6, "± 50V", "(1:10)", "-20.0 dB", 50.0f},
};

} // namespace

TEST(HWVocabularyVoltage, ShortDividerGainAndFullScaleByFamily) {
    for (const VoltageCase& c : kVoltageCases) {
        SCOPED_TRACE(testing::Message() << "version " << int(c.Version) << ", range " << int(c.Range));
        EXPECT_EQ(VoltageRangeToText(c.Version, c.Range), c.Text);
        EXPECT_EQ(VoltageRangeDividerToText(c.Version, c.Range), c.Divider);
        EXPECT_EQ(VoltageRangeGainToText(c.Version, c.Range), c.Gain);
        EXPECT_EQ(VoltageRangeFullScale(c.Version, c.Range), c.FullScale); // exact float
    }
}

TEST(HWVocabularyVoltage, FullScaleIsSinglePrecision) {
    static_assert(std::is_same_v<decltype(VoltageRangeFullScale(1, 21)), float>);
    EXPECT_EQ(VoltageRangeFullScale(1, 21), 0.15f);
    EXPECT_NE(static_cast<double>(VoltageRangeFullScale(1, 21)), 0.15);
}

TEST(HWVocabularyVoltage, StarredCodesShareTheNextEvenCodesDividerGainAndFullScale) {
    for (uint8_t version : {uint8_t{1}, uint8_t{2}}) {
        for (uint8_t code = 0; code <= kMaxRangeCode; ++code) {
            SCOPED_TRACE(testing::Message() << "version " << int(version) << ", range " << int(code));
            const std::string text = VoltageRangeToText(version, code);
            const bool starred = code % 2 == 1 && code <= 21;
            EXPECT_EQ(!text.empty() && text.back() == '*', starred);
            if (!starred) continue;
            EXPECT_EQ(text, VoltageRangeToText(version, code + 1) + "*");
            EXPECT_EQ(VoltageRangeDividerToText(version, code), VoltageRangeDividerToText(version, code + 1));
            EXPECT_EQ(VoltageRangeGainToText(version, code), VoltageRangeGainToText(version, code + 1));
            EXPECT_EQ(VoltageRangeFullScale(version, code), VoltageRangeFullScale(version, code + 1));
        }
    }
}

TEST(HWVocabularyVoltage, LongTextKeepsTheBlankRuns) {
    struct Case {
        uint8_t Version, Range;
        std::string Expected;
    };
    auto blanks = [](int n) { return std::string(n, ' '); };
    const Case cases[] = {
        {3, 12, "± 5V" + blanks(17) + "(1:1)" + blanks(22) + "0 dB"},
        {2, 0, "± 500V" + blanks(13) + "(1:100)" + blanks(13) + "-40.0 dB"},
        {2, 1, "± 250V*" + blanks(12) + "(1:50)" + blanks(14) + "-34.0 dB"},
        {1, 1, "± 250V*" + blanks(11) + "(1:50)" + blanks(14) + "-34.0 dB"},
        {2, 11, "± 5V*" + blanks(16) + "(1:1)" + blanks(22) + "0 dB"},
        {1, 11, "± 5V*" + blanks(15) + "(1:1)" + blanks(22) + "0 dB"},
        {1, 16, "± 1.5V" + blanks(14) + "(3.3:1)" + blanks(14) + "10.5 dB"},
        {2, 17, "± 500mV*" + blanks(8) + "(10:1)" + blanks(15) + "20.0 dB"},
        {0, 17, "± 500mV*" + blanks(7) + "(10:1)" + blanks(15) + "20.0 dB"},
        {1, 25, "± 15mV" + blanks(11) + "(333:1)" + blanks(13) + "50.5 dB"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(VoltageRangeToLongText(c.Version, c.Range), c.Expected)
            << int(c.Version) << ", " << int(c.Range);
}

TEST(HWVocabularyRanges, EveryRangeFunctionAnswersNaAboveCode25) {
    for (uint8_t version : {uint8_t{0}, uint8_t{1}, uint8_t{2}, uint8_t{255}}) {
        for (uint8_t range : {uint8_t{26}, uint8_t{27}, uint8_t{99}, uint8_t{255}}) {
            SCOPED_TRACE(testing::Message() << "version " << int(version) << ", range " << int(range));
            EXPECT_EQ(VoltageRangeToText(version, range), "n/a");
            EXPECT_EQ(VoltageRangeDividerToText(version, range), "n/a");
            EXPECT_EQ(VoltageRangeGainToText(version, range), "n/a");
            EXPECT_EQ(VoltageRangeToLongText(version, range), "n/a");
            EXPECT_EQ(VoltageRangeFullScale(version, range), 0.0f);
            EXPECT_EQ(CurrentRangeToText(version, range), "n/a");
            EXPECT_EQ(CommonModeRangeToText(version, range), "n/a");
            for (uint8_t capacity : {uint8_t{0}, uint8_t{1}}) {
                EXPECT_EQ(ChargeRangeToText(version, range, capacity), "n/a");
                EXPECT_EQ(ChargeRangeToLongText(version, range, capacity), "n/a");
                EXPECT_EQ(ChargeRangeFullScale(range, capacity), 0.0f);
            }
        }
    }
}

TEST(HWVocabularyCurrent, RangesByFamily) {
    struct Case {
        uint8_t Range;
        const char* Text100V;
        const char* Text150V;
    };
    const Case cases[] = {
        {0, "± 20A", "± 20A"},     {3, "± 4A", "± 6A"},      {8, "± 1A", "± 1A"},
        {9, "± 400mA", "± 600mA"}, {16, "± 40mA", "± 60mA"}, {21, "± 4mA", "± 6mA"},
        {23, "± 2mA", "± 2mA"},    {24, "± 1mA", "± 1mA"},   {25, "± 400µA", "± 600µA"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CurrentRangeToText(2, c.Range), c.Text100V) << int(c.Range);
        EXPECT_EQ(CurrentRangeToText(1, c.Range), c.Text150V) << int(c.Range);
        EXPECT_EQ(CurrentRangeToText(0, c.Range), c.Text150V) << int(c.Range);
    }
    // Starred codes 1..21 show the same current as the next even code.
    for (uint8_t code = 1; code <= 21; code += 2)
        for (uint8_t version : {uint8_t{1}, uint8_t{2}})
            EXPECT_EQ(CurrentRangeToText(version, code), CurrentRangeToText(version, code + 1)) << int(code);
}

TEST(HWVocabularyCharge, ShortTextsByCapacityAndFamily) {
    struct Case {
        uint8_t Range;
        const char* nF100V;
        const char* nF150V;
        const char* pF100V;
        const char* pF150V;
    };
    const Case cases[] = {
        {0, "± 5µC", "± 5µC", "± 50nC", "± 50nC"},        {3, "± 1.0µC", "± 1.5µC", "± 10nC", "± 15nC"},
        {9, "± 100nC", "± 150nC", "± 1.0nC", "± 1.5nC"},  {12, "± 50nC", "± 50nC", "± 500pC", "± 500pC"},
        {17, "± 5nC", "± 5nC", "± 50pC", "± 50pC"},       {22, "± 1.0nC", "± 1.5nC", "± 10pC", "± 15pC"},
        {24, "± 250pC", "± 250pC", "± 2.5pC", "± 2.5pC"}, {25, "± 100pC", "± 150pC", "± 1.0pC", "± 1.5pC"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "range " << int(c.Range));
        EXPECT_EQ(ChargeRangeToText(2, c.Range, 0), c.nF100V);
        EXPECT_EQ(ChargeRangeToText(1, c.Range, 0), c.nF150V);
        EXPECT_EQ(ChargeRangeToText(0, c.Range, 0), c.nF150V);
        EXPECT_EQ(ChargeRangeToText(2, c.Range, 1), c.pF100V);
        EXPECT_EQ(ChargeRangeToText(1, c.Range, 1), c.pF150V);
        // Any capacity code but 0 is the 100 pF column, as for the full scale.
        EXPECT_EQ(ChargeRangeToText(2, c.Range, 99), c.pF100V);
    }
}

TEST(HWVocabularyCharge, LongTextsWithTheirOddities) {
    struct Case {
        uint8_t Version, Range, Capacity;
        const char* Expected;
    };
    const Case cases[] = {
        {2, 0, 0, "± 5µC     (1mV/nC)"},
        {2, 0, 1, "± 50nC"},
        {2, 1, 0, "± 2.5µC"},
        {2, 2, 0, "± 2.5µC   (2mV/nC"}, // no closing bracket
        {1, 2, 0, "± 2.5µC   (2mV/nC"},
        {2, 4, 0, "± 1.0µC   (5.0mV/nC)"},
        {1, 4, 0, "± 1.5µC   (3.3mV/nC)"},
        {2, 6, 1, "± 5nC    (1.0mV/pC)"},
        {1, 10, 1, "± 1.5nC  (3.3mV/pC)"},
        {2, 12, 0, "± 50nC    (0.10mV/pC)"},
        {1, 16, 0, "± 15nC    (0.33mV/pC)"},
        {2, 17, 0, "± 5.0nC"}, // "± 5nC" in the short text
        {1, 18, 0, "± 5.0nC   (1.0mV/pC)"},
        {2, 18, 1, "± 50pC    (100mV/pC)"},
        {1, 22, 1, "± 15pC    (333mV/pC)"},
        {2, 23, 1, "± 5pC      (1000mV/pC)"},
        {2, 23, 0, "± 500pC  (10mV/pC)"},
        {1, 25, 0, "± 150pC  (33mV/pC)"},
        {1, 25, 1, "± 1.5pC   (3300mV/pC)"},
        {0, 25, 1, "± 1.5pC   (3300mV/pC)"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ChargeRangeToLongText(c.Version, c.Range, c.Capacity), c.Expected)
            << int(c.Version) << ", " << int(c.Range) << ", " << int(c.Capacity);
    EXPECT_EQ(ChargeRangeToText(2, 17, 0), "± 5nC");
}

TEST(HWVocabularyCharge, FullScaleIsThe150VFamilyScaledByCapacity) {
    static_assert(std::is_same_v<decltype(ChargeRangeFullScale(0, 0)), float>);
    EXPECT_EQ(ChargeRangeFullScale(0, 0), 5e-6f);
    EXPECT_EQ(ChargeRangeFullScale(0, 1), 5e-8f);
    EXPECT_EQ(ChargeRangeFullScale(3, 0), 1.5e-6f);
    EXPECT_EQ(ChargeRangeFullScale(3, 1), 1.5e-8f);
    EXPECT_EQ(ChargeRangeFullScale(25, 0), 1.5e-10f);
    EXPECT_EQ(ChargeRangeFullScale(25, 1), 1.5e-12f);
    EXPECT_FLOAT_EQ(ChargeRangeFullScale(22, 1), 1.5e-11f);
    EXPECT_EQ(ChargeRangeFullScale(25, 99), ChargeRangeFullScale(25, 1));
    for (uint8_t code = 0; code <= kMaxRangeCode; ++code)
        EXPECT_FLOAT_EQ(ChargeRangeFullScale(code, 0), VoltageRangeFullScale(1, code) * 1e-8f) << int(code);
}

TEST(HWVocabularyCommonMode, GroupsAreTheSameForBothFamilies) {
    struct Group {
        const char* Text;
        std::vector<uint8_t> Codes;
    };
    const Group groups[] = {
        {"± 100V", {0, 2, 4}},
        {"± 5KV", {1, 3}},
        {"± 500V", {5, 7, 9}},
        {"± 50V", {6, 8, 10, 11, 13, 15}},
        {"± 5V", {12, 14, 16, 18, 20, 22, 23, 24, 25}},
        {"± 10V", {17, 19, 21}},
    };
    std::set<uint8_t> seen;
    for (const Group& g : groups) {
        for (uint8_t code : g.Codes) {
            seen.insert(code);
            for (uint8_t version : {uint8_t{0}, uint8_t{1}, uint8_t{2}, uint8_t{3}})
                EXPECT_EQ(CommonModeRangeToText(version, code), g.Text) << int(version) << ", " << int(code);
        }
    }
    EXPECT_EQ(seen.size(), size_t{kMaxRangeCode} + 1);
}

TEST(HWVocabularyFilter, ShortAndLongTextsByFilterType) {
    struct Case {
        uint8_t FilterType;
        bool Filter;
        const char* Text;
        const char* LongText;
    };
    const Case cases[] = {
        {1, true, "20KHz", "Filter: Lowpass - 20 KHz"},
        {1, false, "40KHz", "Filter: Lowpass - 40 KHz"},
        {2, true, "100KHz", "Filter: Lowpass - 100 KHz"},
        {2, false, "1.5MHz", "Filter: Lowpass - 1.5 MHz"},
        {3, true, "(5KHz)", "Filter: Lowpass - extreme (5 KHz)"},
        {3, false, "100KHz", "Filter: Lowpass - 100 KHz"},
        {0, true, "1 MHz", "Filter: Lowpass - 1 MHz"},
        {0, false, "OFF", "Filter: Lowpass - Off"},
        {4, true, "1 MHz", "Filter: Lowpass - 1 MHz"},
        {255, false, "OFF", "Filter: Lowpass - Off"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(OutputFilterToText(c.FilterType, c.Filter), c.Text) << int(c.FilterType) << c.Filter;
        EXPECT_EQ(OutputFilterToLongText(c.FilterType, c.Filter), c.LongText)
            << int(c.FilterType) << c.Filter;
    }
}

TEST(HWTables, MasterFlashMagicHasNoTerminator) {
    EXPECT_EQ(kMasterFlashMagic.size(), 16u);
    EXPECT_EQ(kMasterFlashMagic, std::string_view("QRB24_ONDRIX_V20"));
}

TEST(HWTables, ChipAddressesByName) {
    struct Case {
        TChipIndex Index;
        uint8_t Address;
    };
    const Case cases[] = {
        {TChipIndex::OneWire, 0x18},
        {TChipIndex::Expander0, 0x20},
        {TChipIndex::Expander5, 0x2A},
        {TChipIndex::DACExpander, 0x24},
        {TChipIndex::Expander8, 0x2B},
        {TChipIndex::ADC18, 0x68},
        {TChipIndex::ADC8Status, 0x54},
        {TChipIndex::ADC12, 0x51},
        {TChipIndex::ChannelFlashLow, 0x56},
        {TChipIndex::ChannelFlashHigh, 0x57},
        {TChipIndex::DCDC, 0x58},
        {TChipIndex::Mux2, 0x70},
        {TChipIndex::Mux8B, 0x72},
        {TChipIndex::Fan, 0x1B},
        {TChipIndex::MasterFlash, 0x50},
        {TChipIndex::Backbone, 0x36},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ChipAddress(c.Index), c.Address) << int(c.Index);
}

TEST(HWTables, ChipAddressesOfTheRegisterWordsAreEntries0To6) {
    const uint8_t wordChips[] = {0x18, 0x20, 0x21, 0x22, 0x25, 0x26, 0x2A};
    for (size_t w = 0; w < std::size(wordChips); ++w)
        EXPECT_EQ(kChipAddresses[w], wordChips[w]) << w;
    std::set<uint8_t> distinct(kChipAddresses.begin(), kChipAddresses.end());
    EXPECT_EQ(distinct.size(), kChipCount);
    for (uint8_t a : kChipAddresses)
        EXPECT_LT(a, 0x80) << "not a 7-bit address";
}

TEST(HWTables, DefaultChannelInfoRows) {
    const std::array<uint16_t, 9> simulatedImage = {0x0000, 0x9595, 0x2A6A, 0x255B, 0x0AAB,
                                                    0x0116, 0xC9CA, 0x0000, 0x0800};
    EXPECT_EQ(kDefaultChannelInfo[1].Defaults, simulatedImage);
    EXPECT_EQ(kDefaultChannelInfo[0].Defaults[1], 0xAAAA);
    EXPECT_EQ(kDefaultChannelInfo[0].Defaults[6], 0xCCCC);
    EXPECT_EQ(kDefaultChannelInfo[0].Defaults[7], 0x0800);
    // Row 0 carries the MaskI/MaskO word 2 that the scan corrects to row 1's values.
    EXPECT_EQ(kDefaultChannelInfo[0].MaskI[2], 0xC040);
    EXPECT_EQ(kDefaultChannelInfo[1].MaskI[2], 0xC000);
    EXPECT_EQ(kDefaultChannelInfo[0].MaskO[2], 0x0080);
    EXPECT_EQ(kDefaultChannelInfo[1].MaskO[2], 0x00C0);
    EXPECT_EQ(kDefaultChannelInfo[0].MaskO[3], 0xE067);
    EXPECT_EQ(kDefaultChannelInfo[1].MaskO[4], 0x7C27);
    EXPECT_EQ(kDefaultChannelInfo[0].MaskP[6], 0xF7FD);
    EXPECT_EQ(kDefaultChannelInfo[1].MaskP[4], 0x03D8);
    for (const TDefaultChannelInfo& row : kDefaultChannelInfo) {
        for (uint16_t w : row.MaskIO)
            EXPECT_EQ(w, 0x0000);
        for (uint16_t w : row.MaskDirty)
            EXPECT_EQ(w, 0xFFFF);
    }
}

TEST(HWTables, RegisterBitNamesWithTheirOddities) {
    struct Case {
        unsigned Word, Bit;
        const char* Name;
    };
    const Case cases[] = {
        {0, 0, "TEDS0"},
        {0, 7, "TEDS7"},
        {0, 8, "TEDS9"}, // bits 8 and 9 share a name
        {0, 9, "TEDS9"},
        {0, 15, "TEDSF"},
        {1, 0, "Offset Off [RL24-P1]"},
        {1, 4, "PreDivGNDP[RL19-P0]"},
        {1, 10, "PreDivGNDN [RL14-P0]"},
        {1, 11, "PreDivGNDN[RL14-P1]"},
        {2, 6, "[nc]"},
        {2, 12, "OutputFilterB (8MHz) [RL27-P0]"},
        {3, 6, "TEDS Power Off [T1 U4-O1]"},
        {3, 12, "ODU Gnd&Shield connected [RL5(9N)-P0]"},
        {3, 15, "PwrFilter [U28-O0]"},
        {4, 4, "Shunt 25R [RL8(4N)-P0"}, // the three unclosed brackets of word 4
        {4, 7, "Sense off [RL6(16P)-P1"},
        {4, 9, "Shunt off [RL8(4P)-P1"},
        {4, 14, "Pwr=10V(for Current out)[U27-O0]"},
        {5, 0, "Charge HP 0.1Hz [RL31P-P0]"},
        {5, 8, "Charge Clearmode [U74-O1]"},
        {6, 1, "Shunt 100K off [RL7(14P-P1]"},
        {6, 12, "Coupling P loAC hiAC N loAC RefN2 [RL13(6N)-P0]"},
        {6, 13, "Shunt 100K on [RL7(14N-P0]"},
        {6, 15, "Coupling P loAC RefP [RL11(5P)-P1]"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RegisterBitName(c.Word, c.Bit), c.Name) << c.Word << "." << c.Bit;

    for (unsigned bit = 0; bit < 16; ++bit)
        EXPECT_NE(RegisterBitName(0, bit), "TEDS8");
    const unsigned unconnected[kBitNameWords] = {0, 0, 3, 1, 1, 7, 0};
    for (unsigned w = 0; w < kBitNameWords; ++w) {
        unsigned count = 0;
        for (std::string_view name : kRegisterBitNames[w]) {
            EXPECT_FALSE(name.empty()) << w;
            count += name == "[nc]";
        }
        EXPECT_EQ(count, unconnected[w]) << "word " << w;
    }
}

TEST(HWTables, RegisterBitNameOutOfRangeIsEmpty) {
    EXPECT_EQ(RegisterBitName(7, 0), "");
    EXPECT_EQ(RegisterBitName(0, 16), "");
    EXPECT_EQ(RegisterBitName(~0u, ~0u), "");
}

TEST(HWTables, OneWireCRC8TableIsTheReflectedPolynomial) {
    for (unsigned i = 0; i < 256; ++i) {
        uint8_t crc = static_cast<uint8_t>(i);
        for (int b = 0; b < 8; ++b)
            crc = (crc & 1) ? static_cast<uint8_t>((crc >> 1) ^ 0x8C) : crc >> 1;
        EXPECT_EQ(kOneWireCRC8Table[i], crc) << i;
    }
}

TEST(HWTables, OneWireCRC8ChecksRomNumbers) {
    // Family 0x02, serial 00 00 00 01 B8 1C: CRC 0xA2.
    const uint8_t rom[8] = {0x02, 0x1C, 0xB8, 0x01, 0x00, 0x00, 0x00, 0xA2};
    EXPECT_EQ(OneWireCRC8(std::span(rom, 7)), 0xA2);
    EXPECT_EQ(OneWireCRC8(rom), 0x00);
    uint8_t corrupted[8];
    std::copy(std::begin(rom), std::end(rom), corrupted);
    corrupted[3] ^= 0x10;
    EXPECT_NE(OneWireCRC8(corrupted), 0x00);
    EXPECT_EQ(OneWireCRC8({}), 0x00);
    EXPECT_EQ(OneWireCRC8Step(0, 1), 0x5E);
}

TEST(HWTables, DefaultRowsFillChannelInfoRecords) {
    TChannelInfo info;
    info.Version = 3;
    info.Serial = 0x1234;
    info.FilterType = 2;
    info.Stored.Words[1] = 0x5555;
    ASSERT_TRUE(ApplyDefaultChannelInfo(info, 1));
    EXPECT_EQ(info.Defaults, DefaultRegisterImage(1));
    EXPECT_EQ(info.Defaults.Words[6], 0xC9CA);
    EXPECT_EQ(info.MaskO[4], 0x7C27);
    EXPECT_EQ(info.MaskP[5], 0x003F);
    EXPECT_EQ(info.MaskDirty[0], 0xFFFF);
    // Fields outside the default rows stay as they were.
    EXPECT_EQ(info.Version, 3);
    EXPECT_EQ(info.Serial, 0x1234);
    EXPECT_EQ(info.FilterType, 2);
    EXPECT_EQ(info.Stored.Words[1], 0x5555);

    ASSERT_TRUE(ApplyDefaultChannelInfo(info, 0));
    EXPECT_EQ(info.Defaults.Words[1], 0xAAAA);
    EXPECT_EQ(info.MaskI[2], 0xC040);

    const TChannelInfo before = info;
    EXPECT_FALSE(ApplyDefaultChannelInfo(info, 2));
    EXPECT_EQ(info, before);
    EXPECT_EQ(DefaultRegisterImage(2), TRegisterImage{});
}

TEST(HWTables, MagicMatchesTheMasterFlashRecord) {
    TMasterFlash flash;
    std::copy(kMasterFlashMagic.begin(), kMasterFlashMagic.end(), flash.Magic.begin());
    EXPECT_TRUE(flash.IsMagicValid());
}
