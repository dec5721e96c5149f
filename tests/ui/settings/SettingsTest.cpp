#include "ui/settings/Settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace qrb::ui {
namespace {

constexpr const char* UserFolder = "/home/u/.config/QRB GmbH";

TSettings Defaults() {
    return DefaultSettings(1920, 1080, UserFolder);
}

TSettings Load(std::string_view text) {
    TIniFile ini;
    ini.LoadFromBytes(text);
    return LoadSettings(ini, Defaults());
}

std::string Saved(const TSettings& s, std::string_view existing = "") {
    TIniFile ini;
    ini.LoadFromBytes(existing);
    SaveSettings(ini, s);
    return ini.SaveToBytes();
}

TEST(SettingsTest, AFirstStartUsesTheDefaults) {
    const TSettings s = Load("");
    EXPECT_EQ(s.Width, 920);
    EXPECT_EQ(s.Height, 600);
    EXPECT_EQ(s.Top, 1080 / 2 - 300);
    EXPECT_EQ(s.Left, 1920 / 2 - 460);
    EXPECT_EQ(s.State, 0);
    EXPECT_EQ(s.LangOffset, 10000);
    EXPECT_EQ(s.Interfaces, device::kMaskLAN);
    EXPECT_EQ(s.LANAddresses, "192.168.0.50:15000");
    EXPECT_EQ(s.SetupFolder, UserFolder);
    EXPECT_EQ(s.FanSpeed, 1);
    EXPECT_EQ(s.TimedReCheckIntv, 10000);
    EXPECT_EQ(s.ZeroAverage, 3);
    EXPECT_TRUE(s.KeepADC8Quiet);
    EXPECT_TRUE(s.SWStartLock);
    EXPECT_FALSE(s.SWStopLock);
    EXPECT_EQ(s.ControlText, -16777208);
    EXPECT_EQ(s.ControlBackgroundnor, -16777211);
    EXPECT_EQ(s.ControlSelect, 15780518);
}

TEST(SettingsTest, WindowDefaultsCentreWithQuotientsTruncatedTowardZero) {
    EXPECT_EQ(DefaultSettings(1365, 767, "").Left, 682 - 460);
    EXPECT_EQ(DefaultSettings(1365, 767, "").Top, 383 - 300);
    EXPECT_EQ(DefaultSettings(800, 500, "").Left, -60);
    EXPECT_EQ(DefaultSettings(801, 501, "").Top, -50);
}

TEST(SettingsTest, SavingWritesAll54KeysInTheirSectionsAndOrder) {
    TIniFile ini;
    SaveSettings(ini, Defaults());
    const std::map<std::string, size_t> expected = {{"MainWindow", 5}, {"Global", 2},   {"Virtual", 2},
                                                    {"LAN", 1},        {"Options", 38}, {"Colors", 6}};
    EXPECT_EQ(ini.Sections(),
              (std::vector<std::string>{"MainWindow", "Global", "Virtual", "LAN", "Options", "Colors"}));
    size_t total = 0;
    for (const auto& [section, count] : expected) {
        EXPECT_EQ(ini.Keys(section).size(), count) << section;
        total += ini.Keys(section).size();
    }
    EXPECT_EQ(total, 54u);
    EXPECT_EQ(SettingsKeys().size(), 54u);
    // The file order is the key table's order.
    std::vector<std::string> keys;
    for (const std::string& section : ini.Sections())
        for (const std::string& key : ini.Keys(section))
            keys.push_back(section + "." + key);
    ASSERT_EQ(keys.size(), SettingsKeys().size());
    for (size_t i = 0; i < keys.size(); ++i)
        EXPECT_EQ(keys[i], std::string(SettingsKeys()[i].Section) + "." + SettingsKeys()[i].Key);

    const std::string bytes = ini.SaveToBytes();
    EXPECT_NE(bytes.find("[Colors]\r\nControlChannelName=8388608\r\nControlForeground=8421504\r\n"
                         "ControlText=-16777208\r\n"),
              std::string::npos);
    EXPECT_NE(bytes.find("[Global]\r\nLanguage=10000\r\nInterfaces=2\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("[LAN]\r\nDevices=192.168.0.50:15000\r\n"), std::string::npos);
}

TEST(SettingsTest, EveryValueSurvivesASaveAndALoad) {
    TSettings s = Defaults();
    s.Width = 1000;
    s.Height = 700;
    s.Top = -5;
    s.Left = 33;
    s.State = 2;
    s.LangOffset = 0;
    s.Interfaces = device::kMaskUSB | device::kMaskOffline;
    s.VirtDevices = 2;
    s.VirtChannels = 8;
    s.LANAddresses = "10.0.0.7:15000,10.0.0.8:15000";
    s.AskOnDefault = false;
    s.LogInterupts = true;
    s.SetupFolder = "/data/setups with blank/";
    s.FanSpeed = 4;
    s.DebugLevel = 1;
    s.TimedReCheck = true;
    s.TimedReCheckIntv = 500;
    s.KeepADC8Quiet = false;
    s.ICPCompVoltage = -12;
    s.RangeMode = 2;
    s.ZeroAverage = 1;
    s.UseDefaultSetup = true;
    s.ControlSelect = 0xFF0000;
    TIniFile ini;
    SaveSettings(ini, s);
    TIniFile again;
    again.LoadFromBytes(ini.SaveToBytes());
    EXPECT_EQ(LoadSettings(again, Defaults()), s);
}

TEST(SettingsTest, DebugLevelIsClampedToZeroOrOne) {
    EXPECT_EQ(Load("[Options]\nDebugLevel=7\n").DebugLevel, 1);
    EXPECT_EQ(Load("[Options]\nDebugLevel=-3\n").DebugLevel, 0);
    EXPECT_NE(Saved(Load("[Options]\nDebugLevel=7\n")).find("DebugLevel=1\r\n"), std::string::npos);
}

TEST(SettingsTest, InterfaceKindsBecomeTheMask) {
    struct Case {
        const char* value;
        uint16_t mask;
    };
    const Case cases[] = {{"5", device::TInterfaceMask::imUSB | device::TInterfaceMask::imOffline},
                          {"8", 0},
                          {"2", device::TInterfaceMask::imLAN},
                          {"7", device::TInterfaceMask::imUSB | device::TInterfaceMask::imLAN |
                                    device::TInterfaceMask::imOffline},
                          {"x", device::TInterfaceMask::imLAN}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(Load(std::string("[Global]\nInterfaces=") + c.value + "\n").Interfaces.Bits(), c.mask);
    }
    TSettings s = Defaults();
    s.Interfaces = device::kMaskUSB | device::kMaskOffline;
    EXPECT_NE(Saved(s).find("Interfaces=5\r\n"), std::string::npos);
}

TEST(SettingsTest, ValuesOutsideTheirRangeReadAndSaveAsTheDefault) {
    struct Case {
        const char* file;
        int32_t TSettings::*field;
        int32_t expected;
        const char* written;
    };
    const Case cases[] = {
        {"[Options]\nFanSpeed=5\n", &TSettings::FanSpeed, 1, "FanSpeed=1\r\n"},
        {"[Options]\nFanSpeed=-1\n", &TSettings::FanSpeed, 1, "FanSpeed=1\r\n"},
        {"[Options]\nFanSpeed=4\n", &TSettings::FanSpeed, 4, "FanSpeed=4\r\n"},
        {"[Options]\nRangeMode=3\n", &TSettings::RangeMode, 0, "RangeMode=0\r\n"},
        {"[Options]\nRangeMode=2\n", &TSettings::RangeMode, 2, "RangeMode=2\r\n"},
        {"[MainWindow]\nState=3\n", &TSettings::State, 0, "State=0\r\n"},
        {"[Virtual]\nDevices=1000000\n", &TSettings::VirtDevices, 0, "[Virtual]\r\nDevices=0\r\n"},
        {"[Virtual]\nChannels=65\n", &TSettings::VirtChannels, 0, "Channels=0\r\n"},
        {"[Options]\nTimedReCheckIntv=abc\n", &TSettings::TimedReCheckIntv, 10000,
         "TimedReCheckIntv=10000\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const TSettings s = Load(c.file);
        EXPECT_EQ(s.*c.field, c.expected);
        EXPECT_NE(Saved(s, c.file).find(c.written), std::string::npos);
    }
    EXPECT_EQ(Load("[Global]\nLanguage=5\n").LangOffset, 10000);
    EXPECT_EQ(Load("[Global]\nLanguage=0\n").LangOffset, 0);
    EXPECT_EQ(Load("[Global]\nLanguage=65536\n").LangOffset, 10000);
    // A value set out of range in the program is also written as the default.
    TSettings s = Defaults();
    s.FanSpeed = 9;
    s.LangOffset = 3;
    const std::string bytes = Saved(s);
    EXPECT_NE(bytes.find("FanSpeed=1\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("Language=10000\r\n"), std::string::npos);
}

TEST(SettingsTest, HexColoursAreReadAndWrittenBackInDecimal) {
    const TSettings s = Load("[Colors]\nControlSelect=0xFF0000\nControlText=$FF000008\n");
    EXPECT_EQ(s.ControlSelect, 0xFF0000);
    EXPECT_EQ(s.ControlText, -16777208);
    const std::string bytes = Saved(s, "[Colors]\nControlSelect=0xFF0000\n");
    EXPECT_NE(bytes.find("ControlSelect=16711680\r\n"), std::string::npos);
    EXPECT_EQ(bytes.find("0xFF0000"), std::string::npos);
}

TEST(SettingsTest, BoolsAreAnyNumberAndWrittenAsOneOrZero) {
    const TSettings s = Load("[Options]\nAskOnDefault=0\nLogInterupts=2\nConfirmRescan=yes\nPMObserve=-1\n");
    EXPECT_FALSE(s.AskOnDefault);
    EXPECT_TRUE(s.LogInterupts);
    EXPECT_TRUE(s.ConfirmRescan); // not a number: the default
    EXPECT_TRUE(s.PMObserve);
    const std::string bytes = Saved(s);
    EXPECT_NE(bytes.find("LogInterupts=1\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("AskOnDefault=0\r\n"), std::string::npos);
}

TEST(SettingsTest, StringsAreCutTo2047Characters) {
    std::string longFolder;
    for (int i = 0; i < 3000; ++i)
        longFolder += "ä";
    const TSettings s = Load("[Options]\nSetupFolder=" + longFolder + "\n");
    EXPECT_EQ(s.SetupFolder.size(), 2 * MaxSettingsStringLength);
    EXPECT_EQ(Load("[LAN]\nDevices=\n").LANAddresses, "");
}

TEST(SettingsTest, AnExistingFileKeepsItsOwnLinesAndGetsNoDuplicates) {
    const char* file = "; hand-written\n"
                       "[options]\n"
                       "fanspeed=3\n"
                       "MyOwnKey=keep\n"
                       "[Extra]\n"
                       "a=b\n";
    const TSettings s = Load(file);
    EXPECT_EQ(s.FanSpeed, 3);
    TIniFile ini;
    ini.LoadFromBytes(file);
    SaveSettings(ini, s);
    const std::string bytes = ini.SaveToBytes();
    EXPECT_EQ(bytes.rfind("; hand-written\r\n[options]\r\nFanSpeed=3\r\nMyOwnKey=keep\r\n", 0), 0u) << bytes;
    EXPECT_NE(bytes.find("[Extra]\r\na=b\r\n"), std::string::npos);
    EXPECT_EQ(ini.Keys("Options").size(), 39u); // the 38 keys and the user's own
    EXPECT_EQ(bytes.find("fanspeed"), std::string::npos);
}

TEST(SettingsTest, AMaximisedWindowIsStoredSmallerAndFurtherIn) {
    const TWindowGeometry g = GeometryToStore(2, 1928, 1048, -4, -4);
    EXPECT_EQ(g.Width, 1878);
    EXPECT_EQ(g.Height, 998);
    EXPECT_EQ(g.Top, 21);
    EXPECT_EQ(g.Left, 21);
    EXPECT_EQ(g.State, 2);
    const TWindowGeometry n = GeometryToStore(0, 920, 600, 10, 20);
    EXPECT_EQ(n.Width, 920);
    EXPECT_EQ(n.Top, 10);
}

class SettingsFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The test's own configuration folder (set per test by the build), else /var/tmp.
        const char* home = std::getenv("XDG_CONFIG_HOME");
        std::string pattern = std::string(home && *home ? home : "/var/tmp") + "/qrb-settings-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        path_ = dir_ + "/Ondrix.ini";
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    std::string ReadAll() const {
        std::ifstream in(path_, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::string dir_, path_;
};

TEST_F(SettingsFileTest, AFirstCloseWritesEveryKeyAndTheNextStartReadsThemExactly) {
    std::string error;
    TSettings s = LoadSettingsFile(path_, Defaults(), error);
    EXPECT_TRUE(error.empty());
    EXPECT_EQ(s, Defaults());
    s.FanSpeed = 3;
    s.LANAddresses = "10.1.2.3:15000";
    ASSERT_TRUE(SaveSettingsFile(path_, s, error)) << error;
    const std::string bytes = ReadAll();
    size_t lines = 0, pos = 0;
    while ((pos = bytes.find("\r\n", pos)) != std::string::npos) {
        ++lines;
        pos += 2;
    }
    EXPECT_EQ(lines, 54u + 6u + 5u); // keys, section lines, blank lines between sections
    EXPECT_EQ(bytes.find('\n', 0), bytes.find("\r\n") + 1);
    EXPECT_EQ(LoadSettingsFile(path_, Defaults(), error), s);
}

TEST_F(SettingsFileTest, AWindows1252FileStaysWindows1252) {
    { std::ofstream(path_, std::ios::binary) << "[Options]\nSetupFolder=/home/M\xFCller\n"; }
    std::string error;
    TSettings s = LoadSettingsFile(path_, Defaults(), error);
    EXPECT_EQ(s.SetupFolder, "/home/Müller");
    ASSERT_TRUE(SaveSettingsFile(path_, s, error)) << error;
    EXPECT_NE(ReadAll().find("SetupFolder=/home/M\xFCller\r\n"), std::string::npos);
}

TEST_F(SettingsFileTest, AFileThatCannotBeReadGivesDefaultsAndIsNotReplaced) {
    ASSERT_EQ(::mkdir(path_.c_str(), 0700), 0); // a folder where the file should be
    std::string error;
    EXPECT_EQ(LoadSettingsFile(path_, Defaults(), error), Defaults());
    EXPECT_FALSE(error.empty());
    error.clear();
    EXPECT_FALSE(SaveSettingsFile(path_, Defaults(), error));
    EXPECT_NE(error.find("Unable to write to " + path_), std::string::npos) << error;
}

} // namespace
} // namespace qrb::ui
