#pragma once
// Shared pieces of the widget tests: the application object, a fixed network table and an
// environment variable set for a scope.

#include "ui/Application.h"
#include "ui/platform/NetworkInfo.h"

#include <QApplication>

#include <cstdlib>
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

} // namespace qrb::test
