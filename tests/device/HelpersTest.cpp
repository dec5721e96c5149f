#include "device/Helpers.h"
#include "device/Format.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <net/if.h>
#include <optional>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

using namespace qrb::device;

namespace {

// Sets an environment variable for the lifetime of the object and restores it afterwards.
class TEnvVar {
public:
    TEnvVar(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~TEnvVar() {
        if (old_)
            ::setenv(name_.c_str(), old_->c_str(), 1);
        else
            ::unsetenv(name_.c_str());
    }

private:
    std::string name_;
    std::optional<std::string> old_;
};

std::filesystem::path MakeTempDir() {
    const char* base = std::getenv("QRB_TEST_BINARY_DIR");
    std::string pattern = std::string(base ? base : "/var/tmp") + "/qrb-helpers-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) return {};
    return pattern;
}

} // namespace

TEST(Helpers, InterfaceMaskTexts) {
    struct TRow {
        uint16_t bits;
        const char* text;
        int kinds;
    };
    const TRow rows[] = {
        {0, "[<n/a>]", 0},        {2, "[USB]", 1},
        {4, "[LAN]", 2},          {16, "[OFFLINE]", 4},
        {20, "[LAN,OFFLINE]", 6}, {22, "[USB,LAN,OFFLINE]", 7},
        {1 | 8, "[<n/a>]", 0},    {2 | 16, "[USB,OFFLINE]", 5},
    };
    for (const TRow& r : rows) {
        EXPECT_EQ(InterfaceMaskToText(TInterfaceMask(r.bits)), r.text) << r.bits;
        EXPECT_EQ(InterfaceMaskToKinds(TInterfaceMask(r.bits)), r.kinds) << r.bits;
    }
}

TEST(Helpers, KindsToInterfaceMask) {
    struct TRow {
        int kinds;
        uint16_t bits;
    };
    const TRow rows[] = {{0, 0}, {1, 2}, {2, 4}, {4, 16}, {7, 22}, {8, 0}, {8 | 2, 4}, {-1, 22}, {0x100, 0}};
    for (const TRow& r : rows)
        EXPECT_EQ(KindsToInterfaceMask(r.kinds).Bits(), r.bits) << r.kinds;
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(InterfaceMaskToKinds(KindsToInterfaceMask(k)), k);
}

TEST(Helpers, BoolToText) {
    EXPECT_EQ(BoolToText(true), "true");
    EXPECT_EQ(BoolToText(false), "false");
}

TEST(Helpers, ProgramVersionTexts) {
    struct TRow {
        uint32_t flags;
        const char* text;
    };
    const TRow rows[] = {
        {0, "1.2.3.4"},
        {1, "1.2.3.4 debug"},
        {3, "1.2.3.4 debug beta"},
        {8, "1.2.3.4 private"},
        {32, "1.2.3.4 special"},
        {1 | 2 | 8 | 32, "1.2.3.4 debug beta private special"},
        {4 | 16, "1.2.3.4"}, // no text for other flags
    };
    for (const TRow& r : rows)
        EXPECT_EQ(FormatProgramVersion({1, 2, 3, 4}, r.flags), r.text) << r.flags;
    EXPECT_EQ(FormatProgramVersion({65535, 0, 10, 7}, 0), "65535.0.10.7");
}

TEST(Helpers, ProgramVersionComesFromTheBuild) {
    std::string expected =
        Format("%d.%d.%d.%d", QRB_VERSION_MAJOR, QRB_VERSION_MINOR, QRB_VERSION_PATCH, QRB_VERSION_TWEAK);
#if defined(QRB_DEBUG_BUILD) && QRB_DEBUG_BUILD
    expected += " debug";
#endif
    EXPECT_EQ(GetProgramVersion(), expected);
}

TEST(Helpers, CommandLineSwitchIsWholeParameterIgnoringCase) {
    const std::vector<std::string> params = {"/opt/qrb/OndrixQRB", "configserver", "-x"};
    struct TRow {
        const char* name;
        bool found;
    };
    const TRow rows[] = {
        {"configServer", true},
        {"CONFIGSERVER", true},
        {"configserver", true},
        {"/configServer", false},
        {"configServer2", false},
        {"config", false},
        {"x", false},
        {"-X", true},
        {"/opt/qrb/ondrixqrb", true}, // parameter 0 counts
        {"", false},
    };
    std::vector<const char*> argv;
    for (const std::string& p : params)
        argv.push_back(p.c_str());
    for (const TRow& r : rows) {
        EXPECT_EQ(HasCommandLineSwitch(r.name, params), r.found) << r.name;
        EXPECT_EQ(HasCommandLineSwitch(r.name, static_cast<int>(argv.size()), argv.data()), r.found)
            << r.name;
    }
    EXPECT_FALSE(HasCommandLineSwitch("configServer", std::vector<std::string>{}));
    EXPECT_FALSE(HasCommandLineSwitch("configServer", 0, nullptr));
    // Only ASCII letters fold: "Ä" and "ä" differ.
    EXPECT_FALSE(HasCommandLineSwitch("\xC3\x84", std::vector<std::string>{"\xC3\xA4"}));
}

TEST(Helpers, CommandLineSwitchOfTheRunningProcess) {
    const std::vector<std::string> argvs = ::testing::internal::GetArgvs();
    ASSERT_FALSE(argvs.empty());
    EXPECT_TRUE(HasCommandLineSwitch(argvs[0]));
    EXPECT_FALSE(HasCommandLineSwitch("configServer-not-given-to-this-test"));
}

TEST(Helpers, LocalIPAddressesOfUpNonLoopbackIPv4Interfaces) {
    const std::vector<TInterfaceAddress> table = {
        {"lo", IFF_UP | IFF_LOOPBACK | IFF_RUNNING, AF_INET, {127, 0, 0, 1}},
        {"eth0", IFF_UP | IFF_RUNNING, AF_PACKET, {}},
        {"eth0", IFF_UP | IFF_RUNNING, AF_INET, {192, 168, 1, 5}},
        {"eth0", IFF_UP | IFF_RUNNING, AF_INET6, {}},
        {"wlan0", IFF_BROADCAST, AF_INET, {10, 0, 0, 2}}, // down
        {"eth1", IFF_UP, AF_INET, {172, 16, 0, 1}},       // up without carrier still counts
        {"eth1", IFF_UP, AF_INET, {172, 16, 0, 2}},       // a second address of one interface
        {"tun0", IFF_UP, AF_UNSPEC, {}},                  // no address
    };
    EXPECT_EQ(GetLocalIPAddresses(table), "192.168.1.5 , 172.16.0.1 , 172.16.0.2");
    EXPECT_EQ(GetLocalIPAddresses({table[0], table[4]}), "");
    EXPECT_EQ(GetLocalIPAddresses(std::vector<TInterfaceAddress>{}), "");
}

TEST(Helpers, LocalIPAddressesOfThisMachineHoldNoLoopback) {
    const std::string text = GetLocalIPAddresses();
    EXPECT_EQ(text.find("127.0.0.1"), std::string::npos) << text;
    EXPECT_NE(GetKernelVersionText().find("Linux "), std::string::npos);
}

class SpecialFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = MakeTempDir();
        ASSERT_FALSE(dir_.empty());
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    std::filesystem::path dir_;
};

TEST_F(SpecialFolderTest, ApplicationDataFolder) {
    const std::string home = (dir_ / "home").string();
    TEnvVar homeVar("HOME", home.c_str());
    {
        TEnvVar xdg("XDG_CONFIG_HOME", (dir_ / "cfg/").c_str());
        EXPECT_EQ(GetSpecialFolder(CSIDL_APPDATA), (dir_ / "cfg").string());
        EXPECT_EQ(GetSpecialFolder(5), ""); // other folders are not known
    }
    {
        TEnvVar xdg("XDG_CONFIG_HOME", "relative/cfg"); // not absolute: ignored
        EXPECT_EQ(GetSpecialFolder(CSIDL_APPDATA), home + "/.config");
    }
    {
        TEnvVar xdg("XDG_CONFIG_HOME", "");
        EXPECT_EQ(GetSpecialFolder(CSIDL_APPDATA), home + "/.config");
    }
    {
        TEnvVar xdg("XDG_CONFIG_HOME", nullptr);
        EXPECT_EQ(GetSpecialFolder(CSIDL_APPDATA), home + "/.config");
        EXPECT_FALSE(std::filesystem::exists(home)); // asking creates nothing
    }
}

TEST_F(SpecialFolderTest, UserFolderIsCreatedWithItsParents) {
    const std::string cfg = (dir_ / "a/b/c").string();
    TEnvVar xdg("XDG_CONFIG_HOME", cfg.c_str());
    std::string path, error;
    ASSERT_TRUE(GetUserFolder(path, error)) << error;
    EXPECT_EQ(path, cfg + "/QRB GmbH");
    EXPECT_TRUE(std::filesystem::is_directory(path));
    ASSERT_TRUE(GetUserFolder(path, error)) << error; // existing is fine
    EXPECT_EQ(path, cfg + "/QRB GmbH");
}

TEST_F(SpecialFolderTest, UserFolderFailsBelowAFile) {
    std::ofstream(dir_ / "file") << "x";
    const std::string cfg = (dir_ / "file/cfg").string();
    TEnvVar xdg("XDG_CONFIG_HOME", cfg.c_str());
    std::string path = "old", error;
    EXPECT_FALSE(GetUserFolder(path, error));
    EXPECT_EQ(path, "");
    EXPECT_FALSE(error.empty());
}
