#include "ui/texts/Texts.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

namespace qrb::ui {
namespace {

bool IsValidUtf8(const std::string& s) {
    for (size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const size_t n = c < 0x80             ? 0
                         : (c & 0xE0) == 0xC0 ? 1
                         : (c & 0xF0) == 0xE0 ? 2
                         : (c & 0xF8) == 0xF0 ? 3
                                              : 4;
        if (n == 4 || i + n >= s.size()) return false;
        for (size_t k = 1; k <= n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += n + 1;
    }
    return true;
}

size_t CharCount(const std::string& s) {
    size_t n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

// The Format directives of a text in order: '%', flags, width and precision, then the type letter.
std::vector<std::string> Directives(const std::string& s) {
    std::vector<std::string> out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '%') continue;
        size_t j = i + 1;
        while (j < s.size() && (std::isdigit(static_cast<unsigned char>(s[j])) || s[j] == '.' || s[j] == '-'))
            ++j;
        if (j < s.size() && (std::isalpha(static_cast<unsigned char>(s[j])) || s[j] == '%')) {
            out.push_back(s.substr(i, j - i + 1));
            i = j;
        }
    }
    return out;
}

// Menu mnemonics: a single '&' (a doubled one shows the character itself).
int Mnemonics(const std::string& s) {
    int n = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '&') continue;
        if (i + 1 < s.size() && s[i + 1] == '&') {
            ++i;
            continue;
        }
        ++n;
    }
    return n;
}

class LanguageTest : public ::testing::Test {
protected:
    void SetUp() override { saved_ = LangOffset(); }
    void TearDown() override { SetLangOffset(saved_); }
    uint16_t saved_ = 0;
};

TEST(TextTableTest, EveryRowHasBothLanguagesAsUsableText) {
    ASSERT_FALSE(TextTable().empty());
    for (const TTextRow& row : TextTable()) {
        SCOPED_TRACE(row.Id);
        ASSERT_NE(row.German, nullptr);
        ASSERT_NE(row.English, nullptr);
        const std::string de = row.German, en = row.English;
        EXPECT_FALSE(de.empty());
        EXPECT_FALSE(en.empty());
        EXPECT_TRUE(IsValidUtf8(de));
        EXPECT_TRUE(IsValidUtf8(en));
        // Longer texts would be cut silently by the lookup.
        EXPECT_LE(CharCount(de), MaxTextLength);
        EXPECT_LE(CharCount(en), MaxTextLength);
        EXPECT_GT(row.Id, 0);
        EXPECT_LT(row.Id, int{LangEnglish});
    }
}

TEST(TextTableTest, TranslationsKeepFormatDirectivesAndMnemonics) {
    // A translation that drops or reorders a directive would crash or garble Format.
    for (const TTextRow& row : TextTable()) {
        SCOPED_TRACE(row.Id);
        EXPECT_EQ(Directives(row.German), Directives(row.English));
        EXPECT_EQ(Mnemonics(row.German), Mnemonics(row.English));
    }
}

TEST(TextTableTest, TextsGivenInBothLanguagesAreExact) {
    struct Case {
        int id;
        const char* de;
        const char* en;
    };
    const Case cases[] = {
        {16, "Info über ...", "About ..."},
        {1500, "Kanal %2d", "Channel %2d"},
        {1501, "Gerät%2.2d-K%2.2d", "Dev%2.2d-Ch%2.2d"},
        {1033, " Kabelbruch!", " Cable broken!"},
        {1034, " Überspannung!", " Overvoltage!"},
        {1035, " Kurzschluss!", " Shortcut!"},
        {1036, " Ladung zu hoch!", " Charge out of range!"},
        {1037, " Überhitzung!", " Too hot!"},
        {1038, " DMS Sicherung!", " DMS fuse down!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        EXPECT_EQ(LookUpText(TextTable(), c.id, LangGerman), c.de);
        EXPECT_EQ(LookUpText(TextTable(), c.id, LangEnglish), c.en);
    }
}

TEST(TextTableTest, EscapedLineBreaksAndQuotesAreRealCharacters) {
    EXPECT_EQ(LookUpText(TextTable(), 1611, LangEnglish),
              "The selected function will change device setup.\r\n\r\nDo you want to save current device "
              "setup?");
    EXPECT_EQ(LookUpText(TextTable(), 1607, LangEnglish), "Sensor \"Current\"");
}

TEST_F(LanguageTest, GetTextFollowsTheLanguageSwitch) {
    SetLangOffset(LangEnglish);
    EXPECT_EQ(GetText(16), "About ...");
    SetLangOffset(LangGerman);
    EXPECT_EQ(GetText(16), "Info über ...");
    SetLangOffset(LangEnglish);
    EXPECT_EQ(GetText(16), "About ...");
    EXPECT_EQ(GetText(9999), MissingText);
}

TEST(LookUpTextTest, FallsBackToGermanThenToMissingText) {
    const std::string longText(600, 'x');
    const std::string longUmlauts = [] {
        std::string s;
        for (int i = 0; i < 600; ++i)
            s += "ä";
        return s;
    }();
    const TTextRow table[] = {
        {1, "Nur deutsch", nullptr}, {2, "", ""},
        {3, "Deutsch", ""},          {4, longText.c_str(), longUmlauts.c_str()},
        {6, "Sechs", "Six"},         {9999, "Letzte", "Last"},
    };
    EXPECT_EQ(LookUpText(table, 1, LangEnglish), "Nur deutsch");
    EXPECT_EQ(LookUpText(table, 2, LangEnglish), MissingText);
    EXPECT_EQ(LookUpText(table, 3, LangEnglish), "Deutsch");
    EXPECT_EQ(LookUpText(table, 5, LangGerman), MissingText);
    EXPECT_EQ(LookUpText(table, -1, LangGerman), MissingText);
    EXPECT_EQ(LookUpText(table, 9999, LangEnglish), "Last");
    // An ID already in the English range finds the English text through the German fallback.
    EXPECT_EQ(LookUpText(table, 10006, LangEnglish), "Six");

    EXPECT_EQ(LookUpText(table, 4, LangGerman), std::string(MaxTextLength, 'x'));
    const std::string cut = LookUpText(table, 4, LangEnglish);
    EXPECT_EQ(CharCount(cut), MaxTextLength); // characters, not bytes
    EXPECT_EQ(cut.size(), 2 * MaxTextLength);
}

TEST(LookUpTextTest, AnOffsetOtherThanTheTwoLanguagesIsAddedAsGiven) {
    const TTextRow table[] = {{1, "Eins", "One"}, {6, "Sechs", "Six"}};
    EXPECT_EQ(LookUpText(table, 1, 5), "Sechs");
    EXPECT_EQ(LookUpText(table, 1, 10005), "Six");
    EXPECT_EQ(LookUpText(table, 1, 7), "Eins"); // resource 8 is missing
    EXPECT_EQ(LookUpText(table, 1, 65535), "Eins");
}

} // namespace
} // namespace qrb::ui
