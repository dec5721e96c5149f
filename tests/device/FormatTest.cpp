#include "device/Format.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <string>
#include <vector>

using namespace qrb::device;

namespace {

struct TCase {
    std::string actual;
    std::string expected;
};

void ExpectAll(const std::vector<TCase>& cases) {
    for (size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(cases[i].actual, cases[i].expected) << "case " << i;
}

// Every test starts from the default regional settings and leaves them so.
class FormatTest : public ::testing::Test {
protected:
    TFormatSettingsScope scope_{TFormatSettings{}};
};

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

enum class TCode : int32_t { Fifteen = 15 };

} // namespace

TEST_F(FormatTest, Integers) {
    ExpectAll({
        {Format("%d", 7), "7"},
        {Format("%d", -7), "-7"},
        {Format("%2d", 7), " 7"},
        {Format("%2d", 123), "123"},
        {Format("%2.2d", 7), "07"},
        {Format("%3.3d", -5), "-005"},
        {Format("%5.5d", 42), "00042"},
        {Format("%5.3d", 7), "  007"},
        {Format("%-3d|", 7), "7  |"},
        {Format("%6d", -42), "   -42"},
        {Format("VD %2.2d-%2.2d", 1, 3), "VD 01-03"},
        {Format("%d", std::numeric_limits<int64_t>::min()), "-9223372036854775808"},
        {Format("%d", std::numeric_limits<uint64_t>::max()), "18446744073709551615"},
        {Format("%u", -1), "4294967295"},
        {Format("%u", int64_t{-1}), "18446744073709551615"},
        {Format("%d", uint8_t{200}), "200"},
        {Format("%d", int8_t{-3}), "-3"},
        {Format("%d", TCode::Fifteen), "15"},
        {Format("%D", 5), "5"},
    });
}

TEST_F(FormatTest, HexIsUpperCaseWithMinimumDigits) {
    ExpectAll({
        {Format("%x", 255), "FF"},
        {Format("%4.4x", 0xAF), "00AF"},
        {Format("%2.2X", 5), "05"},
        {Format("%2.2x", 0x1234), "1234"},
        {Format("$%2.2x:$%4.4x", 0x20, 0xBEEF), "$20:$BEEF"},
        {Format("%x", -1), "FFFFFFFF"},
        {Format("%x", int64_t{-1}), "FFFFFFFFFFFFFFFF"},
        {Format("%x", uint16_t{0xFFFF}), "FFFF"},
        {Format("%6x", 0xAB), "    AB"},
    });
}

TEST_F(FormatTest, TextsCountCharacters) {
    ExpectAll({
        {Format("%s", "abc"), "abc"},
        {Format("%5s", "abc"), "  abc"},
        {Format("%-5s|", "abc"), "abc  |"},
        {Format("%.2s", "abc"), "ab"},
        {Format("%5.2s", "abc"), "   ab"},
        {Format("%.0s|", "abc"), "|"},
        {Format("%5s", "\xC3\xA4\xC3\xB6"), "   \xC3\xA4\xC3\xB6"}, // "äö" takes two places
        {Format("%.1s", "\xE2\x82\xAC\xC3\xA4"), "\xE2\x82\xAC"},   // the cut keeps "€" whole
        {Format("%s", std::string("std")), "std"},
        {Format("%s", std::string_view("view")), "view"},
        {Format("%s", 'c'), "c"},
        {Format("%s", static_cast<const char*>(nullptr)), ""},
        {Format("ETH on %s:%s", "127.0.0.1", "15000"), "ETH on 127.0.0.1:15000"},
    });
}

TEST_F(FormatTest, FixedRoundsHalfAwayFromZero) {
    ExpectAll({
        {Format("%2.1f", 3.14159), "3.1"},
        {Format("%.3f", 2.0), "2.000"},
        {Format("%f", 2.0), "2.00"},
        {Format("%5.2f", 3.14159), " 3.14"},
        {Format("%4.6f", 0.5), "0.500000"},
        {Format("%.2f", 0.125), "0.13"},
        {Format("%.1f", 0.25), "0.3"},
        {Format("%.1f", -0.25), "-0.3"},
        {Format("%.0f", 2.5), "3"},
        {Format("%.2f", 1.005), "1.00"}, // 1.00499999999999989...
        {Format("%.2f", 9.999), "10.00"},
        {Format("%.2f", 0.006), "0.01"},
        {Format("%.2f", 0.004), "0.00"},
        {Format("%.1f", -0.04), "0.0"}, // no "-0.0"
        {Format("%.2f", 1e20), "100000000000000000000.00"},
        {Format("%3.1f%%", 99.95), "100.0%"},
        {Format("%f", 3), "3.00"}, // integers are taken by the float types
        {Format("%n", 1234567.891), "1,234,567.89"},
        {Format("%.0n", 999.0), "999"},
    });
}

TEST_F(FormatTest, GeneralFormat) {
    ExpectAll({
        {Format("%g", 0.0), "0"},
        {Format("%g", 1.0), "1"},
        {Format("%g", 1.5), "1.5"},
        {Format("%g", -1.5), "-1.5"},
        {Format("%g", 0.1), "0.1"},
        {Format("%g", 1.0 / 3.0), "0.333333333333333"},
        {Format("%g", 123456789012345.0), "123456789012345"},
        {Format("%g", 1e15), "1E+15"},
        {Format("%g", 1234567890123456.0), "1.23456789012346E+15"},
        {Format("%g", 0.00001), "0.00001"},
        {Format("%g", 0.000012345), "0.000012345"},
        {Format("%g", 0.000001), "1E-6"},
        {Format("%g", 1.5e-7), "1.5E-7"},
        {Format("%g", -2.5e-10), "-2.5E-10"},
        {Format("%g", 1e100), "1E+100"},
        {Format("%6.6g", 2.0), "     2"},
        {Format("%6.6g", 0.5), "   0.5"},
        {Format("%6.6g", 1234567.0), "1.23457E+6"},
        {Format("%6.6g", 999999.5), "  1E+6"}, // rounding adds an integer digit
        {Format("%6.6g V", 0.002), " 0.002 V"},
    });
}

TEST_F(FormatTest, ScientificFormat) {
    ExpectAll({
        {Format("%e", 1234.5), "1.23450000000000E+003"},
        {Format("%.3e", 1234.5), "1.23E+003"},
        {Format("%.3e", -0.00012345), "-1.23E-004"},
        {Format("%.2e", 9.96), "1.0E+001"},
        {Format("%.1e", 5.0), "5E+000"},
        {Format("%.3e", 0.0), "0.00E+000"},
    });
}

TEST_F(FormatTest, NonFiniteValues) {
    ExpectAll({
        {Format("%f", kNaN), "NAN"},
        {Format("%g", kNaN), "NAN"},
        {Format("%e", kNaN), "NAN"},
        {Format("%2.1f", kInf), "INF"},
        {Format("%g", -kInf), "-INF"},
        {Format("%5.1f", kNaN), "  NAN"},
        {FloatToStr(kNaN), "NAN"},
    });
}

TEST_F(FormatTest, DecimalSeparatorIsProcessWide) {
    SetDecimalSeparator(",");
    EXPECT_EQ(GetDecimalSeparator(), ",");
    ExpectAll({
        {Format("%2.1f", 3.14), "3,1"},
        {Format("%g", 1.5), "1,5"},
        {Format("%.2e", 1.5), "1,5E+000"},
        {FloatToStr(0.25), "0,25"},
        {Format("%d", 1000), "1000"},
    });
    TFormatSettings fixed;
    EXPECT_EQ(Format(fixed, "%.1f", {2.5}), "2.5"); // a fixed form ignores the regional one
}

TEST_F(FormatTest, PercentIndexAndStar) {
    ExpectAll({
        {Format("%%"), "%"},
        {Format("100%%"), "100%"},
        {Format("%1:s %0:s %s", "a", "b"), "b a b"},
        {Format("%*d", 5, 42), "   42"},
        {Format("%-*d|", 4, 1), "1   |"},
        {Format("%.*f", 1, 2.25), "2.3"},
        {Format("%d %d", {1, 2}), "1 2"},
        {Format("%d", 1, 2), "1"}, // extra arguments are ignored
        {Format("no args"), "no args"},
    });
}

TEST_F(FormatTest, MismatchesGiveDefinedTexts) {
    ExpectAll({
        {Format("%d", "abc"), "%!d(string=abc)"},
        {Format("%d"), "%!d(MISSING)"},
        {Format("%d %s", 1), "1 %!s(MISSING)"},
        {Format("%s", 5), "%!s(int=5)"},
        {Format("%x", 1.5), "%!x(float=1.5)"},
        {Format("%f", "x"), "%!f(string=x)"},
        {Format("%q", 1), "%!q(BADVERB)"},
        {Format("abc%"), "abc%!(NOVERB)"},
        {Format("%5"), "%!(NOVERB)"},
        {Format("%*d", "w", 1), "%!d(BADWIDTH)"},
        {Format("%9:d", 1), "%!d(MISSING)"},
    });
    // Huge widths from the format or an argument are bounded.
    EXPECT_LE(Format("%999999999d", 1).size(), 5000u);
    EXPECT_LE(Format("%*d", std::numeric_limits<int64_t>::max(), 1).size(), 5000u);
    EXPECT_LE(Format("%.999999999d", 1).size(), 5000u);
}

TEST_F(FormatTest, FloatToStrIsGeneralWith15Digits) {
    ExpectAll({
        {FloatToStr(0.1), "0.1"},
        {FloatToStr(0.1 + 0.2), "0.3"},
        {FloatToStr(2.5), "2.5"},
        {FloatToStr(100.0), "100"},
        {FloatToStr(-0.0), "0"},
        {FloatToStr(1e15), "1E+15"},
        {FloatToStr(0.00001), "0.00001"},
        {FloatToStr(5e-324), "4.94065645841247E-324"},
        {FloatToStr(1.7976931348623157e308), "1.79769313486232E+308"},
    });
}

TEST_F(FormatTest, IntegerTexts) {
    ExpectAll({
        {IntToStr(-42), "-42"},
        {IntToStr(std::numeric_limits<int64_t>::min()), "-9223372036854775808"},
        {UIntToStr(std::numeric_limits<uint64_t>::max()), "18446744073709551615"},
        {IntToHex(255, 4), "00FF"},
        {IntToHex(0, 0), "0"},
        {IntToHex(-1, 2), "FFFFFFFF"},
        {IntToHex(int64_t{-1}, 2), "FFFFFFFFFFFFFFFF"},
        {IntToHex(uint8_t{0xAB}, 1), "AB"},
        {IntToHex(0xABCDu, 8), "0000ABCD"},
        {IntToHex(1, 1000), std::string(31, '0') + "1"},
    });
}

TEST(StrToInt, DelphiRules) {
    struct TRow {
        const char* text;
        bool ok;
        int32_t value;
    };
    const TRow rows[] = {
        {"12", true, 12},
        {"  12", true, 12},
        {"12 ", false, 0},
        {"-12", true, -12},
        {"+7", true, 7},
        {"$1F", true, 31},
        {"$1f", true, 31},
        {"0x1f", true, 31},
        {"0X1F", true, 31},
        {"-$10", true, -16},
        {"$FFFFFFFF", true, -1},
        {"$7FFFFFFF", true, 2147483647},
        {"$100000000", false, 0},
        {"2147483647", true, 2147483647},
        {"2147483648", false, 0},
        {"-2147483648", true, -2147483647 - 1},
        {"-2147483649", false, 0},
        {"99999999999999999999999", false, 0},
        {"", false, 0},
        {" ", false, 0},
        {"$", false, 0},
        {"0x", false, 0},
        {"-", false, 0},
        {"- 5", false, 0},
        {"abc", false, 0},
        {"1.5", false, 0},
        {"12a", false, 0},
        {"007", true, 7},
    };
    for (const TRow& r : rows) {
        int32_t v = 12345;
        EXPECT_EQ(TryStrToInt(r.text, v), r.ok) << r.text;
        if (r.ok) {
            EXPECT_EQ(v, r.value) << r.text;
        }
        EXPECT_EQ(StrToIntDef(r.text, -99), r.ok ? r.value : -99) << r.text;
    }
    int64_t big = 0;
    EXPECT_TRUE(TryStrToInt64("-9223372036854775808", big));
    EXPECT_EQ(big, std::numeric_limits<int64_t>::min());
    EXPECT_FALSE(TryStrToInt64("9223372036854775808", big));
}

TEST_F(FormatTest, TryStrToFloatUsesTheSeparator) {
    struct TRow {
        const char* text;
        bool ok;
        double value;
    };
    const TRow dotRows[] = {
        {"1.5", true, 1.5},   {" -2.5e3 ", true, -2500}, {"+.5", true, 0.5},  {"1.", true, 1.0},
        {"1E-2", true, 0.01}, {"1e-400", true, 0.0},     {"1e400", false, 0}, {"", false, 0},
        {".", false, 0},      {"1e", false, 0},          {"1e+", false, 0},   {"1,5", false, 0},
        {"1.5.2", false, 0},  {"NAN", false, 0},         {"INF", false, 0},   {"0x10", false, 0},
        {"1 5", false, 0},    {"--1", false, 0},
    };
    for (const TRow& r : dotRows) {
        double v = 123;
        EXPECT_EQ(TryStrToFloat(r.text, v), r.ok) << r.text;
        if (r.ok) {
            EXPECT_DOUBLE_EQ(v, r.value) << r.text;
        }
    }
    SetDecimalSeparator(",");
    double v = 0;
    EXPECT_TRUE(TryStrToFloat("1,25", v));
    EXPECT_DOUBLE_EQ(v, 1.25);
    EXPECT_FALSE(TryStrToFloat("1.25", v));
}

TEST_F(FormatTest, DatesEncodeAsDaysSince18991230) {
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
    EXPECT_EQ(EncodeDate(1970, 1, 1), 25569.0);
    EXPECT_EQ(EncodeDate(2000, 1, 1), 36526.0);
    EXPECT_EQ(EncodeDate(1899, 12, 29), -1.0);
    EXPECT_EQ(EncodeTime(12, 0, 0, 0), 0.5);
    EXPECT_EQ(EncodeDateTime(1899, 12, 29, 6, 0, 0, 0), -1.25);

    TDateTime t = 0;
    EXPECT_TRUE(TryEncodeDate(2024, 2, 29, t));
    EXPECT_FALSE(TryEncodeDate(2023, 2, 29, t));
    EXPECT_FALSE(TryEncodeDate(1900, 2, 29, t));
    EXPECT_FALSE(TryEncodeDate(0, 1, 1, t));
    EXPECT_FALSE(TryEncodeDate(2024, 13, 1, t));
    EXPECT_FALSE(TryEncodeTime(24, 0, 0, 0, t));
    EXPECT_FALSE(TryEncodeTime(0, 60, 0, 0, t));
    EXPECT_EQ(EncodeDate(2023, 2, 29), 0.0);

    int y = 0, m = 0, d = 0, h = 0, n = 0, s = 0, ms = 0;
    DecodeDateTime(-1.25, y, m, d, h, n, s, ms);
    EXPECT_EQ((std::vector<int>{y, m, d, h, n, s, ms}), (std::vector<int>{1899, 12, 29, 6, 0, 0, 0}));
    DecodeDateTime(EncodeDateTime(2024, 3, 5, 23, 59, 58, 999), y, m, d, h, n, s, ms);
    EXPECT_EQ((std::vector<int>{y, m, d, h, n, s, ms}), (std::vector<int>{2024, 3, 5, 23, 59, 58, 999}));
    // A fraction that rounds to midnight belongs to the next day.
    DecodeDateTime(EncodeDate(2024, 3, 5) + 0.9999999999, y, m, d, h, n, s, ms);
    EXPECT_EQ((std::vector<int>{y, m, d, h, n, s, ms}), (std::vector<int>{2024, 3, 6, 0, 0, 0, 0}));
    for (double bad : {kNaN, kInf, 1e10, -1e10}) {
        DecodeDateTime(bad, y, m, d, h, n, s, ms);
        EXPECT_EQ((std::vector<int>{y, m, d, h, n, s, ms}), (std::vector<int>(7, 0))) << bad;
    }
    EXPECT_EQ(DayOfWeek(0), 7); // a Saturday
    EXPECT_EQ(DayOfWeek(EncodeDate(2024, 1, 1)), 2);
    EXPECT_EQ(DayOfWeek(-1), 6);

    const TDateTime now = Now();
    EXPECT_GT(now, EncodeDate(2020, 1, 1));
    EXPECT_LT(now, EncodeDate(2200, 1, 1));
}

TEST_F(FormatTest, FormatDateTimePatterns) {
    const TDateTime t = EncodeDateTime(2024, 3, 5, 7, 9, 4, 45);
    const TDateTime pm = EncodeDateTime(2024, 3, 5, 13, 5, 0, 0);
    ExpectAll({
        {FormatDateTime("yyyy_mm_dd_hh_nn", t), "2024_03_05_07_09"},
        {FormatDateTime("yyyy_mm_dd", t), "2024_03_05"},
        {FormatDateTime("hh:mm:ss", t), "07:09:04"}, // m after h is the minute
        {FormatDateTime("h:n:s.zzz", t), "7:9:4.045"},
        {FormatDateTime("d/m/yy", t), "5-3-24"},
        {FormatDateTime("YYYY-MM-DD", t), "2024-03-05"},
        {FormatDateTime("ddd dddd mmm mmmm", t), "Tue Tuesday Mar March"},
        {FormatDateTime("h:nn am/pm", pm), "1:05 pm"},
        {FormatDateTime("h:nn AM/PM", t), "7:09 AM"},
        {FormatDateTime("hh a/p", EncodeTime(0, 30, 0, 0)), "12 a"},
        {FormatDateTime("\"hh\" 'nn' hh", t), "hh nn 07"},
        {FormatDateTime("c", t), "2024-03-05 07:09:04"},
        {FormatDateTime("c", EncodeDate(2024, 3, 5)), "2024-03-05"},
        {FormatDateTime("ddddd tt", t), "2024-03-05 07:09:04"},
        {DateToStr(0), "1899-12-30"},
        {TimeToStr(0.5), "12:00:00"},
        {DateTimeToStr(t), "2024-03-05 07:09:04"},
    });
}

TEST_F(FormatTest, DateSettingsAreProcessWide) {
    const TDateTime t = EncodeDateTime(2024, 3, 5, 7, 9, 4, 0);
    TFormatSettings german;
    german.ShortDateFormat = "dd/mm/yyyy";
    german.DateSeparator = ".";
    german.LongTimeFormat = "hh:nn";
    SetFormatSettings(german);
    EXPECT_EQ(DateToStr(t), "05.03.2024");
    EXPECT_EQ(TimeToStr(t), "07:09");
    SetShortDateFormat("yyyy");
    SetLongTimeFormat("ss");
    EXPECT_EQ(GetShortDateFormat(), "yyyy");
    EXPECT_EQ(GetLongTimeFormat(), "ss");
    EXPECT_EQ(DateTimeToStr(t), "2024 04");
    // Patterns that name each other end instead of recursing forever.
    SetShortDateFormat("ddddd");
    EXPECT_EQ(DateToStr(t), "");
}

TEST(FormatSettings, DefaultsAndScopeRestores) {
    const TFormatSettings d;
    EXPECT_EQ(d.DecimalSeparator, ".");
    EXPECT_EQ(d.ShortDateFormat, "yyyy-mm-dd");
    EXPECT_EQ(d.LongTimeFormat, "hh:nn:ss");
    {
        TFormatSettingsScope scope;
        SetDecimalSeparator("#");
        EXPECT_EQ(Format("%.1f", 1.5), "1#5");
    }
    EXPECT_EQ(GetDecimalSeparator(), ".");
}
