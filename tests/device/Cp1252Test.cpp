#include "device/Cp1252.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace qrb::device;

TEST(Cp1252, AllBytesRoundTrip) {
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    const std::string utf8 = Cp1252ToUtf8(all);
    EXPECT_TRUE(IsValidUtf8(utf8));
    EXPECT_EQ(Utf8Length(utf8), 256u);
    EXPECT_EQ(Utf8ToCp1252(utf8), all);
    EXPECT_EQ(ToModelText(utf8), utf8);
}

TEST(Cp1252, CodePointsOfTheHighBytes) {
    struct TRow {
        uint8_t byte;
        char32_t cp;
        const char* utf8;
    };
    const TRow rows[] = {
        {0x80, 0x20AC, "\xE2\x82\xAC"}, // euro sign
        {0x81, 0x0081, "\xC2\x81"},     // the five undefined bytes keep their value
        {0x8D, 0x008D, "\xC2\x8D"},     {0x8F, 0x008F, "\xC2\x8F"}, {0x90, 0x0090, "\xC2\x90"},
        {0x9D, 0x009D, "\xC2\x9D"},     {0x8A, 0x0160, "\xC5\xA0"},                             // S caron
        {0x99, 0x2122, "\xE2\x84\xA2"},                                                         // trade mark
        {0x9F, 0x0178, "\xC5\xB8"},     {0xA0, 0x00A0, "\xC2\xA0"}, {0xB5, 0x00B5, "\xC2\xB5"}, // micro
        {0xE4, 0x00E4, "\xC3\xA4"},     {0xFF, 0x00FF, "\xC3\xBF"}, {0x41, 0x0041, "A"},
    };
    for (const TRow& r : rows) {
        EXPECT_EQ(Cp1252ToUnicode(r.byte), r.cp) << int(r.byte);
        uint8_t back = 0;
        EXPECT_TRUE(UnicodeToCp1252(r.cp, back));
        EXPECT_EQ(back, r.byte);
        EXPECT_EQ(Cp1252ToUtf8(std::string(1, static_cast<char>(r.byte))), r.utf8);
        EXPECT_EQ(Utf8ToCp1252(r.utf8), std::string(1, static_cast<char>(r.byte)));
    }
}

TEST(Cp1252, CharactersOutsideBecomeQuestionMarks) {
    struct TRow {
        std::string utf8;
        std::string bytes;
    };
    const std::vector<TRow> rows = {
        {"\xC2\x80", "?"},                  // U+0080 has no byte (0x80 is the euro sign)
        {"\xC2\x9E", "?"},                  // U+009E likewise
        {"\xE2\x82\xAC 5", "\x80 5"},       // "€ 5"
        {"\xCE\xA9", "?"},                  // Greek Omega
        {"a\xF0\x9F\x98\x80z", "a?z"},      // emoji
        {"\xE4\xB8\xAD\xE6\x96\x87", "??"}, // two CJK characters, one '?' each
        {"\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F", "\xE4\xF6\xFC\xDF"},
    };
    for (const TRow& r : rows)
        EXPECT_EQ(Utf8ToCp1252(r.utf8), r.bytes) << r.utf8;
    EXPECT_EQ(ToModelText("\xCE\xA9 \xE2\x82\xAC"), "? \xE2\x82\xAC");
}

TEST(Utf8, InvalidSequences) {
    struct TRow {
        std::string text;
        bool valid;
        size_t length;     // characters, an invalid byte counting as one
        std::string bytes; // Windows-1252 form
    };
    const std::vector<TRow> rows = {
        {"", true, 0, ""},
        {"abc", true, 3, "abc"},
        {"\xC3\xA4", true, 1, "\xE4"},
        {"\xC3", false, 1, "?"},                // truncated
        {"\xE2\x82", false, 2, "??"},           // truncated three-byte sequence
        {"\x80", false, 1, "?"},                // lone continuation byte
        {"\xC0\xAF", false, 2, "??"},           // overlong '/'
        {"\xE0\x80\xAF", false, 3, "???"},      // overlong
        {"\xED\xA0\x80", false, 3, "???"},      // surrogate
        {"\xF4\x90\x80\x80", false, 4, "????"}, // above U+10FFFF
        {"\xFF", false, 1, "?"},
        {"a\xC3(b", false, 4, "a?(b"}, // a bad continuation is not swallowed
        {"\xF0\x9F\x98\x80", true, 1, "?"},
        {std::string("a\0b", 3), true, 3, std::string("a\0b", 3)},
    };
    for (const TRow& r : rows) {
        EXPECT_EQ(IsValidUtf8(r.text), r.valid) << r.text;
        EXPECT_EQ(Utf8Length(r.text), r.length) << r.text;
        EXPECT_EQ(Utf8ToCp1252(r.text), r.bytes) << r.text;
        EXPECT_TRUE(IsValidUtf8(ToModelText(r.text))) << r.text;
    }
}

TEST(Utf8, CutCountsCharacters) {
    const std::string s = "\xE2\x82\xAC"
                          "a\xC3\xA4"
                          "b"; // "€aäb"
    EXPECT_EQ(Utf8Cut(s, 0), "");
    EXPECT_EQ(Utf8Cut(s, 1), "\xE2\x82\xAC");
    EXPECT_EQ(Utf8Cut(s, 3), "\xE2\x82\xAC"
                             "a\xC3\xA4");
    EXPECT_EQ(Utf8Cut(s, 4), s);
    EXPECT_EQ(Utf8Cut(s, 100), s);
    EXPECT_EQ(Utf8Cut("\xE2\x82", 1), "\xE2"); // invalid bytes are cut one by one
}

TEST(Utf8, AppendRejectsNonCharacters) {
    std::string out;
    AppendUtf8(out, 0xD800);
    AppendUtf8(out, 0x110000);
    AppendUtf8(out, 0x10FFFF);
    EXPECT_EQ(out, "??\xF4\x8F\xBF\xBF");
}
