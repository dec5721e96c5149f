#include "ui/settings/IniFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace qrb::ui {
namespace {

namespace fs = std::filesystem;

std::string Bytes(const TIniFile& ini) {
    return ini.SaveToBytes();
}

TIniFile FromText(std::string_view text) {
    TIniFile ini;
    ini.LoadFromBytes(text);
    return ini;
}

TEST(IniFileTest, KeepsCommentsUnknownKeysAndOrderAndChangesOnlyWrittenLines) {
    TIniFile ini = FromText("; settings of the program\n"
                            "[Options]\n"
                            "Unknown = kept as it is \n"
                            "FanSpeed=3\n"
                            "\n"
                            "# not a comment for the parser, but kept\n"
                            "[Other]\n"
                            "x=1\n");
    ini.WriteInteger("Options", "FanSpeed", 2);
    EXPECT_EQ(Bytes(ini), "; settings of the program\r\n"
                          "[Options]\r\n"
                          "Unknown = kept as it is \r\n"
                          "FanSpeed=2\r\n"
                          "\r\n"
                          "# not a comment for the parser, but kept\r\n"
                          "[Other]\r\n"
                          "x=1\r\n");
}

TEST(IniFileTest, ReadsEveryKindOfLineEnd) {
    TIniFile ini = FromText("[A]\r\na=1\rb=2\nc=3");
    EXPECT_EQ(ini.ReadInteger("A", "a", 0), 1);
    EXPECT_EQ(ini.ReadInteger("A", "b", 0), 2);
    EXPECT_EQ(ini.ReadInteger("A", "c", 0), 3);
    EXPECT_EQ(Bytes(ini), "[A]\r\na=1\r\nb=2\r\nc=3\r\n");
}

TEST(IniFileTest, FindsSectionsAndKeysWithoutRegardToCaseFirstMatchWins) {
    TIniFile ini = FromText("[options]\nfanspeed=3\nFANSPEED=4\n[OPTIONS]\nFanSpeed=0\n");
    EXPECT_EQ(ini.ReadInteger("Options", "FanSpeed", 1), 3);
    ini.WriteInteger("Options", "FanSpeed", 2);
    EXPECT_EQ(Bytes(ini), "[options]\r\nFanSpeed=2\r\nFANSPEED=4\r\n[OPTIONS]\r\nFanSpeed=0\r\n");
    EXPECT_TRUE(ini.SectionExists("OpTiOnS"));
    EXPECT_TRUE(ini.ValueExists("options", "fanSPEED"));
    EXPECT_FALSE(ini.ValueExists("options", "Fan"));
}

TEST(IniFileTest, ValuesAreTrimmedAndLoseOnePairOfQuotes) {
    struct Case {
        const char* line;
        const char* value;
    };
    const Case cases[] = {
        {"k=  a b  ", "a b"},     {"k = \t1\t", "1"}, {"k=\"a b\"", "a b"}, {"k='x'", "x"},
        {"k=\"a'", "\"a'"},       {"k=\"\"", ""},     {"k=\"", "\""},       {"k=\"a\"b\"", "a\"b"},
        {"k=\"\"x\"\"", "\"x\""}, {"k=a=b", "a=b"},   {"k=", ""},           {"  k  =v", "v"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        TIniFile ini = FromText(std::string("[S]\n") + c.line + "\n");
        EXPECT_EQ(ini.ReadString("S", "k", "default"), c.value);
    }
}

TEST(IniFileTest, CommentsSectionLinesAndLinesWithoutKeyAreNoKeys) {
    TIniFile ini = FromText("[S]\n;k=1\n=2\nk\n[ T ] trailing\nk=3\n");
    EXPECT_EQ(ini.ReadString("S", "k", "none"), "none");
    EXPECT_EQ(ini.ReadString("T", "k", "none"), "3");
    EXPECT_EQ(ini.Sections(), (std::vector<std::string>{"S", "T"}));
    EXPECT_EQ(ini.Keys("T"), (std::vector<std::string>{"k"}));
}

TEST(IniFileTest, WrittenValuesReadBackAsWritten) {
    const char* values[] = {" lead and trail ", "\"quoted\"", "'single'", "plain", "", "a\"b", "ümlaut"};
    for (const char* v : values) {
        SCOPED_TRACE(v);
        TIniFile ini;
        ini.WriteString("S", "k", v);
        TIniFile again = FromText(Bytes(ini));
        EXPECT_EQ(again.ReadString("S", "k", "default"), v);
    }
}

TEST(IniFileTest, LineBreaksInAValueCannotAddLines) {
    TIniFile ini;
    ini.WriteString("S", "k", "a\r\n[Evil]\nx=1");
    TIniFile again = FromText(Bytes(ini));
    EXPECT_EQ(again.ReadString("S", "k", ""), "a  [Evil] x=1");
    EXPECT_FALSE(again.SectionExists("Evil"));
}

TEST(IniFileTest, NewKeysGoToTheEndOfTheirSectionNewSectionsToTheEnd) {
    TIniFile ini = FromText("[A]\na=1\n\n[B]\nb=1\n");
    ini.WriteString("A", "new", "2");
    ini.WriteString("C", "c", "3");
    EXPECT_EQ(Bytes(ini), "[A]\r\na=1\r\nnew=2\r\n\r\n[B]\r\nb=1\r\n\r\n[C]\r\nc=3\r\n");
    TIniFile empty;
    empty.WriteBool("X", "y", true);
    EXPECT_EQ(Bytes(empty), "[X]\r\ny=1\r\n");
}

TEST(IniFileTest, IntegersAndBoolsFollowTheClassLibrary) {
    struct Case {
        const char* value;
        int32_t expected;
    };
    const Case cases[] = {
        {"12", 12},
        {"-7", -7},
        {"+5", 5},
        {"$FF", 255},
        {"0xFF0000", 16711680},
        {"0XFFFFFFFF", -1},
        {"abc", 99},
        {"12abc", 99},
        {"", 99},
        {"2147483648", 99},
        {"-2147483648", INT32_MIN},
        {"0x100000000", 99},
        {"\"42\"", 42},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        TIniFile ini = FromText(std::string("[S]\nk=") + c.value + "\n");
        EXPECT_EQ(ini.ReadInteger("S", "k", 99), c.expected);
    }
    TIniFile b = FromText("[S]\nzero=0\nseven=7\nword=yes\n");
    EXPECT_FALSE(b.ReadBool("S", "zero", true));
    EXPECT_TRUE(b.ReadBool("S", "seven", false));
    EXPECT_TRUE(b.ReadBool("S", "word", true));
    EXPECT_FALSE(b.ReadBool("S", "word", false));
    EXPECT_TRUE(b.ReadBool("S", "missing", true));
}

TEST(IniFileTest, Utf8FilesStayUtf8OtherFilesAreWindows1252) {
    TIniFile utf8 = FromText("[S]\nk=M\xC3\xBCller\n");
    EXPECT_EQ(utf8.Encoding(), TIniEncoding::Utf8);
    EXPECT_EQ(utf8.ReadString("S", "k", ""), "Müller");
    utf8.WriteString("S", "n", "Gerät");
    EXPECT_EQ(Bytes(utf8), "[S]\r\nk=M\xC3\xBCller\r\nn=Ger\xC3\xA4t\r\n");

    TIniFile ansi = FromText("[S]\nk=M\xFCller\n");
    EXPECT_EQ(ansi.Encoding(), TIniEncoding::Cp1252);
    EXPECT_EQ(ansi.ReadString("S", "k", ""), "Müller");
    ansi.WriteString("S", "n", "Gerät \xE2\x82\xAC");
    EXPECT_EQ(Bytes(ansi), "[S]\r\nk=M\xFCller\r\nn=Ger\xE4t \x80\r\n");
    // U+0101 has no Windows-1252 byte: the whole file becomes UTF-8.
    ansi.WriteString("S", "n", "Gerät \xC4\x81");
    EXPECT_EQ(Bytes(ansi), "[S]\r\nk=M\xC3\xBCller\r\nn=Ger\xC3\xA4t \xC4\x81\r\n");

    EXPECT_EQ(TIniFile().Encoding(), TIniEncoding::Utf8);
}

TEST(IniFileTest, AByteOrderMarkIsNoPartOfTheFirstSectionAndIsKept) {
    TIniFile ini = FromText("\xEF\xBB\xBF[S]\nk=1\n");
    EXPECT_EQ(ini.ReadInteger("S", "k", 0), 1);
    EXPECT_EQ(Bytes(ini), "\xEF\xBB\xBF[S]\r\nk=1\r\n");

    // Also before text that is no UTF-8: the section is found, and stays the one section after
    // a write that leaves the rest valid UTF-8.
    TIniFile ansi = FromText("\xEF\xBB\xBF[S]\nk=1\nn=M\xFCller\n");
    EXPECT_EQ(ansi.Encoding(), TIniEncoding::Cp1252);
    EXPECT_EQ(ansi.ReadInteger("S", "k", 0), 1);
    ansi.WriteString("S", "n", "plain");
    ansi.WriteInteger("S", "k", 2);
    TIniFile again = FromText(Bytes(ansi));
    EXPECT_EQ(again.ReadInteger("S", "k", 0), 2);
    EXPECT_EQ(Bytes(again), "\xEF\xBB\xBF[S]\r\nk=2\r\nn=plain\r\n");
}

// A write that removes the only bytes that were not UTF-8 must not change what the other keys
// read after a save: the save writes UTF-8 where the Windows-1252 bytes would read as UTF-8, and
// keeps Windows-1252 where those bytes still read as Windows-1252.
TEST(IniFileTest, ASaveKeepsTheTextOfEveryKeyItDoesNotRewrite) {
    struct Case {
        const char* name;
        std::string file;
        std::string saved; // after Top=1 is written over the bad byte
        TIniEncoding savedEncoding;
    };
    const Case cases[] = {
        {"Windows-1252 bytes that form UTF-8 are written as UTF-8",
         "[MainWindow]\r\nTop=1\xFF\r\n[Options]\r\nSetupFolder=/data/\xC3\xBC\r\n",
         "[MainWindow]\r\nTop=1\r\n[Options]\r\nSetupFolder=/data/\xC3\x83\xC2\xBC\r\n", TIniEncoding::Utf8},
        {"three-byte form, euro sign", "[MainWindow]\nTop=\x81\x90\n[X]\nk=\xE2\x82\xAC 5\n",
         "[MainWindow]\r\nTop=1\r\n[X]\r\nk=\xC3\xA2\xE2\x80\x9A\xC2\xAC 5\r\n", TIniEncoding::Utf8},
        {"with a byte-order mark", "\xEF\xBB\xBF[MainWindow]\nTop=\xFF\n;\xC3\xBC\n",
         "\xEF\xBB\xBF[MainWindow]\r\nTop=1\r\n;\xC3\x83\xC2\xBC\r\n", TIniEncoding::Utf8},
        {"umlauts keep Windows-1252", "[MainWindow]\nTop=\xFF\n[Options]\nSetupFolder=/data/M\xFCller\n",
         "[MainWindow]\r\nTop=1\r\n[Options]\r\nSetupFolder=/data/M\xFCller\r\n", TIniEncoding::Cp1252},
        {"UTF-8 look-alike beside an umlaut keeps Windows-1252",
         "[MainWindow]\nTop=\xFF\n[Options]\nSetupFolder=/data/\xC3\xBC\nName=\xE4\n",
         "[MainWindow]\r\nTop=1\r\n[Options]\r\nSetupFolder=/data/\xC3\xBC\r\nName=\xE4\r\n",
         TIniEncoding::Cp1252},
        {"plain ASCII is the same either way", "[MainWindow]\nTop=\xFF\n[Options]\nSetupFolder=/data\n",
         "[MainWindow]\r\nTop=1\r\n[Options]\r\nSetupFolder=/data\r\n", TIniEncoding::Utf8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TIniFile ini = FromText(c.file);
        ASSERT_EQ(ini.Encoding(), TIniEncoding::Cp1252);
        const std::vector<std::string> before = ini.Lines();
        ini.WriteInteger("MainWindow", "Top", 1);
        EXPECT_EQ(Bytes(ini), c.saved);
        TIniFile again = FromText(Bytes(ini));
        EXPECT_EQ(again.Encoding(), c.savedEncoding);
        EXPECT_EQ(again.Lines(), ini.Lines());
        ASSERT_EQ(again.Lines().size(), before.size());
        for (size_t i = 0; i < before.size(); ++i) {
            if (before[i].rfind("Top=", 0) != 0) {
                EXPECT_EQ(again.Lines()[i], before[i]);
            }
        }
        // Saved again, the file stays as it is.
        EXPECT_EQ(Bytes(again), c.saved);
    }
}

// Every key's text, by section and key.
std::vector<std::string> Texts(const TIniFile& ini) {
    std::vector<std::string> out;
    for (const std::string& section : ini.Sections())
        for (const std::string& key : ini.Keys(section))
            out.push_back(section + "/" + key + "=" + ini.ReadString(section, key, "(missing)"));
    return out;
}

// A value with a character Windows-1252 lacks, written into a Windows-1252 file, reads back
// after a save, and so does every other key.
TEST(IniFileTest, AValueWindows1252LacksMakesTheFileUtf8AndEveryKeyKeepsItsText) {
    const std::string file = "; Einstellungen f\xFCr M\xFCller\r\n"
                             "[Global]\r\nOwner=M\xFCller\r\nPrice=5 \x80\r\nOdd=\x81\x8D\x8F\x90\x9D\r\n"
                             "[LAN]\r\nDevices=192.168.0.50:15000\r\n"
                             "[Options]\r\nSetupFolder=/home/m\xFCller/\r\nName=Gr\xFC\xDF"
                             "e\r\n";
    struct Case {
        const char* section;
        const char* key;
        const char* value;
    };
    const Case cases[] = {
        {"Options", "SetupFolder", "/home/müller/Měření/"},
        {"LAN", "Devices", "192.168.0.50:15000,Αθήνα:15000,Москва:15001"},
        {"Options", "Name", "Łódź"},
        {"Options", "NewName", "東京"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        TIniFile ini = FromText(file);
        ASSERT_EQ(ini.Encoding(), TIniEncoding::Cp1252);
        ini.WriteString(c.section, c.key, c.value);
        const std::vector<std::string> texts = Texts(ini);
        TIniFile again = FromText(Bytes(ini));
        EXPECT_EQ(again.Encoding(), TIniEncoding::Utf8);
        EXPECT_EQ(again.ReadString(c.section, c.key, ""), c.value);
        EXPECT_EQ(again.ReadString("Global", "Owner", ""), "Müller");
        EXPECT_EQ(Texts(again), texts);
        EXPECT_EQ(again.Lines(), ini.Lines());
        // Saved again, the file stays as it is.
        EXPECT_EQ(Bytes(again), Bytes(ini));
    }
}

// Written bytes that are no UTF-8 become '?', so the file does not turn into Windows-1252 and
// change the text of the other keys.
TEST(IniFileTest, WrittenBytesThatAreNoUtf8BecomeQuestionMarksInEitherEncoding) {
    struct Case {
        const char* name;
        std::string file;
        TIniEncoding saved;
    };
    const Case cases[] = {
        {"UTF-8", "[S]\nk=M\xC3\xBCller\n", TIniEncoding::Utf8},
        {"Windows-1252", "[S]\nk=M\xFCller\n", TIniEncoding::Cp1252},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TIniFile ini = FromText(c.file);
        ini.WriteString("S", "n", "a\xFF\xC3 \xE2\x82 ä");
        EXPECT_EQ(ini.ReadString("S", "n", ""), "a?? ?? ä");
        TIniFile again = FromText(Bytes(ini));
        EXPECT_EQ(again.Encoding(), c.saved);
        EXPECT_EQ(again.ReadString("S", "k", ""), "Müller");
        EXPECT_EQ(again.ReadString("S", "n", ""), "a?? ?? ä");

        for (int i = 0; i < 2; ++i) {
            ini.WriteString("S", "key\xFF", "1");
            ini.WriteString("New\xC3", "k", "2");
        }
        TIniFile third = FromText(Bytes(ini));
        EXPECT_EQ(third.Encoding(), c.saved);
        EXPECT_EQ(third.ReadString("S", "k", ""), "Müller");
        EXPECT_EQ(third.ReadString("S", "key?", ""), "1");
        EXPECT_EQ(third.ReadString("New?", "k", ""), "2");
        EXPECT_EQ(third.Keys("S"), (std::vector<std::string>{"k", "n", "key?"}));
        EXPECT_EQ(third.Sections(), (std::vector<std::string>{"S", "New?"}));
    }
}

class IniFileOnDiskTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/var/tmp/qrb-ini-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    static std::string ReadAll(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    fs::path dir_;
};

TEST_F(IniFileOnDiskTest, MissingFileIsEmptyAndSavingCreatesIt) {
    TIniFile ini;
    std::string error;
    ASSERT_TRUE(ini.LoadFromFile(Path("Ondrix.ini"), error));
    EXPECT_TRUE(ini.Lines().empty());
    ini.WriteInteger("S", "k", 1);
    ASSERT_TRUE(ini.SaveToFile(Path("Ondrix.ini"), error)) << error;
    EXPECT_EQ(ReadAll(Path("Ondrix.ini")), "[S]\r\nk=1\r\n");
    TIniFile again;
    ASSERT_TRUE(again.LoadFromFile(Path("Ondrix.ini"), error));
    EXPECT_EQ(again.ReadInteger("S", "k", 0), 1);
}

TEST_F(IniFileOnDiskTest, SavingKeepsTheModeAndWritesThroughALink) {
    const std::string target = Path("real.ini"), link = Path("link.ini");
    { std::ofstream(target) << "[S]\nk=1\n"; }
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    fs::create_symlink("real.ini", link);
    TIniFile ini;
    std::string error;
    ASSERT_TRUE(ini.LoadFromFile(link, error));
    ini.WriteInteger("S", "k", 2);
    ASSERT_TRUE(ini.SaveToFile(link, error)) << error;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadAll(target), "[S]\r\nk=2\r\n");
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    // Nothing but the two names is left in the folder (no temporary file).
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 2);
}

TEST_F(IniFileOnDiskTest, FailuresNameTheFileAndLeaveTheOldContent) {
    TIniFile ini;
    std::string error;
    ini.WriteInteger("S", "k", 1);
    const std::string folder = Path("sub");
    fs::create_directory(folder);
    EXPECT_FALSE(ini.SaveToFile(folder, error));
    EXPECT_NE(error.find("Unable to write to " + folder), std::string::npos) << error;
    EXPECT_FALSE(ini.LoadFromFile(folder, error));
    EXPECT_TRUE(ini.Lines().empty());

    const std::string missingFolder = Path("no/such/Ondrix.ini");
    EXPECT_FALSE(TIniFile().SaveToFile(missingFolder, error));
}

TEST_F(IniFileOnDiskTest, AFileTooLargeIsRefused) {
    const std::string path = Path("huge.ini");
    { std::ofstream(path) << "[S]\n"; }
    fs::resize_file(path, TIniFile::MaxFileSize + 1); // sparse: no real data
    TIniFile ini;
    std::string error;
    EXPECT_FALSE(ini.LoadFromFile(path, error));
    EXPECT_FALSE(error.empty());
}

} // namespace
} // namespace qrb::ui
