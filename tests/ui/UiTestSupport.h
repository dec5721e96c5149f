#pragma once
// Shared pieces of the widget tests: the application object, a fixed network table, an
// environment variable set for a scope, and the settings home and start of a main window.

#include "ui/Application.h"
#include "ui/MainWindow.h"
#include "ui/dialogs/StatusWindows.h"
#include "ui/platform/NetworkInfo.h"
#include "ui/settings/Settings.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace qrb::test {

// The one application object of a widget test program (offscreen platform).
inline QApplication& EnsureApplication() {
    static int argc = 1;
    static char name[] = "ui_test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        // The program's own application object, so that its exception guard is tested too.
        return new ui::TOndrixApplication(argc, argv);
    }();
    return *app;
}

// One Ethernet interface 10.0.0.5/255.0.0.0 and the loopback.
class TFixedNetworkSource : public ui::TNetworkSource {
public:
    bool ReadTables(ui::TNetTables& tables, std::string&) override {
        ui::TIfRow lo;
        lo.Index = 1;
        lo.Type = 24;
        lo.OperStatus = 5;
        lo.Description = "lo";
        ui::TIfRow eth;
        eth.Index = 2;
        eth.Type = 6;
        eth.OperStatus = 5;
        eth.Description = "eth0";
        eth.PhysAddress = {0, 1, 2, 3, 4, 5};
        tables.Interfaces = {lo, eth};
        ui::TIpAddrRow loAddr;
        loAddr.Address = 0x0100007F;
        loAddr.InterfaceIndex = 1;
        loAddr.Mask = 0x000000FF;
        loAddr.Type = 1;
        ui::TIpAddrRow ethAddr;
        ethAddr.Address = 0x0500000A; // 10.0.0.5
        ethAddr.InterfaceIndex = 2;
        ethAddr.Mask = 0x000000FF; // 255.0.0.0
        ethAddr.Type = 1;
        tables.Addresses = {ethAddr, loAddr};
        return true;
    }
    bool ReadNetworkParams(ui::TNetworkParams& params, std::string&) override {
        params.HostName = "testhost";
        return true;
    }
    bool ReadSocketInfo(ui::TSocketInfo& info) override {
        info.Version = "Linux 9.9-test";
        info.Description = "Linux 9.9-test";
        info.Status = "Running";
        return true;
    }
};

class TEnvScope {
public:
    TEnvScope(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            had_ = true;
            old_ = old;
        }
        if (value != nullptr)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~TEnvScope() {
        if (had_)
            setenv(name_.c_str(), old_.c_str(), 1);
        else
            unsetenv(name_.c_str());
    }
    TEnvScope(const TEnvScope&) = delete;
    TEnvScope& operator=(const TEnvScope&) = delete;

private:
    std::string name_, old_;
    bool had_ = false;
};

// A folder of the running test's own under the run's XDG_CONFIG_HOME, emptied.
inline std::filesystem::path FreshTestFolder() {
    namespace fs = std::filesystem;
    const char* base = std::getenv("XDG_CONFIG_HOME");
    EXPECT_NE(base, nullptr) << "the tests run with XDG_CONFIG_HOME set";
    const fs::path folder = (base != nullptr ? fs::path(base) : fs::temp_directory_path()) /
                            ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

// The start options of a test window: the fixed network table, the program name the only argument.
inline ui::TStartOptions TestStartOptions() {
    ui::TStartOptions options;
    options.NetworkSource = [] { return std::make_unique<TFixedNetworkSource>(); };
    options.HaveArguments = true;
    options.Arguments = {"OndrixQRB"};
    return options;
}

// What a test that starts the main window needs besides its devices: a settings home of its own
// that XDG_CONFIG_HOME points at, the settings file in it, and the window with its status windows.
class TMainWindowFixture {
protected:
    // companyFolder: whether the program's settings folder exists before the start.
    void EnterConfigHome(bool companyFolder = true) {
        ASSERT_NE(std::getenv("XDG_CONFIG_HOME"), nullptr);
        configHome = FreshTestFolder();
        if (companyFolder) std::filesystem::create_directories(CompanyFolder());
        env = std::make_unique<TEnvScope>("XDG_CONFIG_HOME", configHome.c_str());
    }
    std::filesystem::path CompanyFolder() const { return configHome / "QRB GmbH"; }
    std::filesystem::path SettingsPath() const { return CompanyFolder() / "Ondrix.ini"; }

    // The defaults of a start on an 800 x 600 screen.
    ui::TSettings TestSettings() const { return ui::DefaultSettings(800, 600, CompanyFolder().string()); }
    // Offline, over devices simulated amplifiers of channels channels each.
    ui::TSettings SimulatedSettings(int devices, int channels) const {
        ui::TSettings s = TestSettings();
        s.Interfaces = device::kMaskOffline;
        s.VirtDevices = devices;
        s.VirtChannels = channels;
        s.LANAddresses.clear();
        return s;
    }
    // Over the LAN amplifiers at addresses (comma-separated).
    ui::TSettings LanSettings(const std::string& addresses) const {
        ui::TSettings s = TestSettings();
        s.Interfaces = device::kMaskLAN;
        s.LANAddresses = addresses;
        return s;
    }
    void WriteSettings(const ui::TSettings& settings) {
        std::filesystem::create_directories(CompanyFolder());
        std::string error;
        ASSERT_TRUE(ui::SaveSettingsFile(SettingsPath().string(), settings, error)) << error;
    }

    // A new window through FormCreate, with the two status windows if statusWindows.
    void CreateWindow(const ui::TStartOptions& options = TestStartOptions(), bool statusWindows = true) {
        window = std::make_unique<ui::TOndrixMain>();
        ASSERT_TRUE(window->FormCreate(options));
        if (!statusWindows) return;
        deviceStatus = std::make_unique<ui::TDeviceStatusForm>();
        channelStatus = std::make_unique<ui::TChannelStatusForm>();
    }
    // Hands the window its companions, if it has any, and shows it.
    void ShowWindow(QDialog* offsetForm = nullptr) {
        if (deviceStatus || channelStatus || offsetForm != nullptr)
            window->SetCompanionWindows(deviceStatus.get(), channelStatus.get(), offsetForm);
        window->show();
    }
    void StartWindow(const ui::TStartOptions& options = TestStartOptions(), bool statusWindows = true) {
        ASSERT_NO_FATAL_FAILURE(CreateWindow(options, statusWindows));
        ShowWindow();
    }
    void CloseWindow() {
        channelStatus.reset();
        deviceStatus.reset();
        window.reset();
    }

    std::filesystem::path configHome;
    std::unique_ptr<TEnvScope> env;
    std::unique_ptr<ui::TOndrixMain> window;
    std::unique_ptr<ui::TDeviceStatusForm> deviceStatus;
    std::unique_ptr<ui::TChannelStatusForm> channelStatus;
};

} // namespace qrb::test
