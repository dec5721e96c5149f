#include "device/I2CHAL.h"
#include "tests/support/PlaceholderTransports.h"
#include "tests/support/ScriptedControl.h"
#include "tests/support/VirtualMainLoop.h"

#include <gtest/gtest.h>

#include <set>

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace qrb::device;
using qrb::test::CreatePlaceholderLANControl;
using qrb::test::CreatePlaceholderUSBControl;
using qrb::test::CreatePlaceholderVirtualControl;
using qrb::test::TInstalledVirtualMainLoop;
using qrb::test::TScriptedControl;

namespace {

const TInterfaceMask kAll = kMaskLAN | kMaskUSB | kMaskOffline;

// Records its destruction, to see the order TI2CHAL frees its transports in.
class TLoggedControl : public TScriptedControl {
public:
    TLoggedControl(const std::string& tag, std::vector<std::string>* log)
        : TScriptedControl(tag, log), log_(log) {
        tag_ = tag;
    }
    ~TLoggedControl() override { log_->push_back(tag_ + ".destroyed"); }

private:
    std::vector<std::string>* log_;
    std::string tag_;
};

class I2CHALTest : public ::testing::Test {
protected:
    TInstalledVirtualMainLoop loop;
    std::vector<std::string> log;
    TScriptedControl* lan = nullptr;
    TScriptedControl* usb = nullptr;
    TScriptedControl* vrt = nullptr;
    std::vector<std::string> lanNames, usbNames, vrtNames;

    TI2CTransportFactory Factory() {
        TI2CTransportFactory f;
        f.CreateLAN = [this] { return Make("LAN", lan, lanNames); };
        f.CreateUSB = [this] { return Make("USB", usb, usbNames); };
        f.CreateVirtual = [this] { return Make("VRT", vrt, vrtNames); };
        return f;
    }
    std::unique_ptr<TI2CControl> Make(const char* tag, TScriptedControl*& slot,
                                      const std::vector<std::string>& names) {
        log.push_back(std::string("create ") + tag);
        auto c = std::make_unique<TLoggedControl>(tag, &log);
        c->FoundNames = names;
        slot = c.get();
        return c;
    }
    std::unique_ptr<TI2CHAL> Make(TInterfaceMask mask = kAll) {
        auto hal = std::make_unique<TI2CHAL>(mask, false, Factory());
        log.clear();
        return hal;
    }
    static std::vector<std::string> Names(const TI2CHAL& hal) {
        std::vector<std::string> names;
        for (int32_t i = 0; i < hal.DeviceCount(); ++i)
            names.push_back(hal.GetDevice(i)->Name);
        return names;
    }
};

} // namespace

TEST_F(I2CHALTest, CreatesTransportsInOrderAndFreesThemAfterClosingAll) {
    {
        TI2CHAL hal(kAll, false, Factory());
        EXPECT_EQ(log, (std::vector<std::string>{"create LAN", "create USB", "create VRT"}));
        EXPECT_EQ(hal.LANControl(), lan);
        EXPECT_EQ(hal.USBControl(), usb);
        EXPECT_EQ(hal.VirtualControl(), vrt);
        EXPECT_EQ(hal.DeviceCount(), 0);
        log.clear();
    }
    EXPECT_EQ(log, (std::vector<std::string>{"LAN.CloseAll()", "USB.CloseAll()", "VRT.CloseAll()",
                                             "LAN.destroyed", "USB.destroyed", "VRT.destroyed"}));
}

TEST_F(I2CHALTest, CreationFailureIsWrapped) {
    TI2CTransportFactory f = Factory();
    f.CreateUSB = []() -> std::unique_ptr<TI2CControl> { throw std::runtime_error("[USB] cannot start"); };
    try {
        TI2CHAL hal(kAll, false, f);
        FAIL() << "no exception";
    } catch (const EI2CHALError& e) {
        EXPECT_STREQ(e.what(), "Error on creating I2C HAL/Fehler beim Erstellen der I2C "
                               "Abstraktionsschicht:\r\n[USB] cannot start");
    }
    EXPECT_EQ(log, (std::vector<std::string>{"create LAN", "LAN.destroyed"}));
}

TEST_F(I2CHALTest, ScanCallsTransportsInTheExactOrder) {
    lanNames = {"10.0.0.2"};
    vrtNames = {"VD 00-08"};
    auto hal = Make();
    hal->OnScanStart = [&](const void* s) { log.push_back(s == hal.get() ? "start(hal)" : "start(?)"); };
    hal->OnScanEnd = [&](const void* s, int32_t n) {
        log.push_back((s == hal.get() ? "end(hal," : "end(?,") + std::to_string(n) + ")");
    };
    EXPECT_EQ(hal->ScanDevices(), 2);
    const std::vector<std::string> expected = {
        "start(hal)",        "LAN.CloseAll()",       "USB.CloseAll()",    "VRT.CloseAll()", // ClearDevices
        "LAN.Scan()",        "LAN.CloseAll()",       "LAN.SetIRQ(0,2)",   "LAN.GetDeviceName(0)",
        "LAN.GetModel(0)",   "LAN.GetVendor(0)",     "LAN.GetVersion(0)", "LAN.IsDeviceValid(0)",
        "USB.Scan()",        "USB.CloseAll()",       "VRT.Scan()",        "VRT.CloseAll()",
        "VRT.SetIRQ(0,2)",   "VRT.GetDeviceName(0)", "VRT.GetModel(0)",   "VRT.GetVendor(0)",
        "VRT.GetVersion(0)", "VRT.IsDeviceValid(0)", "end(hal,2)"};
    EXPECT_EQ(log, expected);
}

TEST_F(I2CHALTest, MergedListIsSortedByNameWithEveryField) {
    lanNames = {"192.168.1.20", "10.0.0.7"};
    usbNames = {"USB Device 2", "USB Device 10"};
    vrtNames = {"VD 00-08"};
    auto hal = Make();
    usb->ValidBase = 100;
    ASSERT_EQ(hal->ScanDevices(), 5);
    struct TRow {
        const char* Name;
        TInterfaceKind Kind;
        int32_t Index;
        uint16_t Valid;
    };
    const TRow rows[] = {
        {"10.0.0.7", TInterfaceKind::ikLAN, 1, 2},        {"192.168.1.20", TInterfaceKind::ikLAN, 0, 1},
        {"USB Device 10", TInterfaceKind::ikUSB, 1, 101}, // text order: 10 before 2
        {"USB Device 2", TInterfaceKind::ikUSB, 0, 100},  {"VD 00-08", TInterfaceKind::ikOffline, 0, 1},
    };
    for (int32_t i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        const TI2CDevice* d = hal->GetDevice(i);
        ASSERT_NE(d, nullptr);
        const std::string name = rows[i].Name;
        EXPECT_EQ(d->Name, name);
        EXPECT_EQ(d->Kind, rows[i].Kind);
        EXPECT_EQ(d->Index, rows[i].Index);
        EXPECT_EQ(d->DeviceName, "name:" + name);
        EXPECT_EQ(d->Vendor, "vendor:" + name);
        EXPECT_EQ(d->Model, "model:" + name);
        EXPECT_EQ(d->Version, "version:" + name);
        EXPECT_EQ(d->Valid, rows[i].Valid);
    }
    EXPECT_EQ(hal->GetDevice(-1), nullptr);
    EXPECT_EQ(hal->GetDevice(5), nullptr);
}

TEST_F(I2CHALTest, SecondDeviceOfAListedNameIsDropped) {
    lanNames = {"10.0.0.1", "10.0.0.1"}; // two ports of one host
    vrtNames = {"vd 00-08", "VD 00-08"};
    usbNames = {"10.0.0.1"};
    auto hal = Make();
    ASSERT_EQ(hal->ScanDevices(), 2);
    EXPECT_EQ(Names(*hal), (std::vector<std::string>{"10.0.0.1", "vd 00-08"}));
    EXPECT_EQ(hal->GetDevice(0)->Index, 0);
    EXPECT_EQ(hal->GetDevice(0)->Kind, TInterfaceKind::ikLAN);
    EXPECT_EQ(hal->GetDevice(1)->Index, 0);
}

TEST_F(I2CHALTest, RescanRenumbers) {
    vrtNames = {"VD 01-08"};
    auto hal = Make();
    hal->ScanDevices();
    EXPECT_EQ(Names(*hal), (std::vector<std::string>{"VD 01-08"}));
    vrt->FoundNames = {"VD 01-08", "VD 00-08"};
    hal->ScanDevices();
    EXPECT_EQ(Names(*hal), (std::vector<std::string>{"VD 00-08", "VD 01-08"}));
    EXPECT_EQ(hal->GetDevice(1)->Index, 0);
}

TEST_F(I2CHALTest, DisabledTransportsAreClosedButNotScanned) {
    lanNames = {"10.0.0.1"};
    usbNames = {"USB Device 1"};
    auto hal = Make(kMaskUSB);
    EXPECT_EQ(hal->ScanDevices(), 1);
    EXPECT_EQ(log, (std::vector<std::string>{"LAN.CloseAll()", "USB.CloseAll()", "VRT.CloseAll()",
                                             "USB.Scan()", "USB.CloseAll()", "USB.SetIRQ(0,2)",
                                             "USB.GetDeviceName(0)", "USB.GetModel(0)", "USB.GetVendor(0)",
                                             "USB.GetVersion(0)", "USB.IsDeviceValid(0)"}));
    hal->SetInterfaces(kMaskLAN);
    EXPECT_EQ(hal->Interfaces(), kMaskLAN);
    EXPECT_EQ(hal->ScanDevices(), 1);
    EXPECT_EQ(hal->GetDevice(0)->Name, "10.0.0.1");
}

TEST_F(I2CHALTest, ScanWithoutEnabledTransportFiresBothEvents) {
    lanNames = {"10.0.0.1"};
    auto hal = Make(TInterfaceMask{});
    int starts = 0, ends = -1;
    hal->OnScanStart = [&](const void*) { ++starts; };
    hal->OnScanEnd = [&](const void*, int32_t n) { ends = n; };
    EXPECT_EQ(hal->ScanDevices(), 0);
    EXPECT_EQ(starts, 1);
    EXPECT_EQ(ends, 0);
}

TEST_F(I2CHALTest, MissingTransportFailsTheScanWithItsText) {
    struct TCase {
        TInterfaceMask Mask;
        const char* Text;
    };
    const TCase cases[] = {
        {kMaskLAN,
         "Error while scanning devices:Unable to connect to LAN/Keine Verbindung zum Netzwerk möglich!"},
        {kMaskUSB, "Error while scanning devices:Unable to connect to USB/Keine USB Verbindung möglich!"},
        {kMaskOffline,
         "Error while scanning devices:Unable to create virtual device/Virtuelles Gerät kann nicht "
         "erstellt werden!"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Text);
        TI2CTransportFactory f; // every transport missing
        TI2CHAL hal(c.Mask, false, f);
        bool ended = false;
        hal.OnScanEnd = [&](const void*, int32_t) { ended = true; };
        try {
            hal.ScanDevices();
            ADD_FAILURE() << "no exception";
        } catch (const EI2CHALError& e) {
            EXPECT_STREQ(e.what(), c.Text);
        }
        EXPECT_FALSE(ended);
        EXPECT_EQ(hal.SetFan(0, 1), TI2CResult::irInvalidDevice); // the other calls stay safe
        hal.SetLogLevel(3);
        EXPECT_EQ(hal.AddScanTarget("x", kAll), -1);
    }
}

TEST_F(I2CHALTest, TransportScanFailureKeepsEarlierEntriesAndSkipsScanEnd) {
    lanNames = {"10.0.0.1", "10.0.0.2"};
    usbNames = {"USB Device 1", "USB Device 2"};
    vrtNames = {"VD 00-08"};
    auto hal = Make();
    usb->ScanThrows = "[USB] disk vanished";
    usb->ThrowAfter = 1;
    bool ended = false;
    hal->OnScanEnd = [&](const void*, int32_t) { ended = true; };
    try {
        hal->ScanDevices();
        FAIL() << "no exception";
    } catch (const EI2CHALError& e) {
        EXPECT_STREQ(e.what(), "Error while scanning devices:[USB] disk vanished");
    }
    EXPECT_FALSE(ended);
    EXPECT_EQ(Names(*hal), (std::vector<std::string>{"10.0.0.1", "10.0.0.2"}));
    EXPECT_EQ(std::count(log.begin(), log.end(), "VRT.Scan()"), 0);

    // A failing scan-start handler is wrapped the same way.
    hal->OnScanStart = [](const void*) { throw std::runtime_error("handler"); };
    EXPECT_THROW(
        {
            try {
                hal->ScanDevices();
            } catch (const EI2CHALError& e) {
                EXPECT_STREQ(e.what(), "Error while scanning devices:handler");
                throw;
            }
        },
        EI2CHALError);
}

TEST_F(I2CHALTest, ScanNowScansDuringCreation) {
    vrtNames = {"VD 00-08"};
    TI2CHAL hal(kAll, true, Factory());
    EXPECT_EQ(hal.DeviceCount(), 1);
}

namespace {
struct TRouteCase {
    const char* Name;
    std::function<int32_t(TI2CHAL&, int32_t)> Call; // numeric result
    const char* Expected;                           // the recorded call, with %d for the transport index
};

std::vector<TRouteCase> RouteCases() {
    auto r = [](TI2CResult x) { return ToInt(x); };
    return {
        {"SetFan", [r](TI2CHAL& h, int32_t d) { return r(h.SetFan(d, 3)); }, "SetFan(%d,3)"},
        {"SetMux", [r](TI2CHAL& h, int32_t d) { return r(h.SetMux(d, 1, 2, 6)); }, "SetMux(%d,1,2,6)"},
        {"WriteI2C", [r](TI2CHAL& h, int32_t d) { return r(h.WriteI2C(d, 0x20, "03FF")); },
         "WriteI2C:03FF(%d,32)"},
        {"WriteI2CBlock",
         [r](TI2CHAL& h, int32_t d) {
             const uint8_t data[3] = {1, 2, 3};
             return r(h.WriteI2CBlock(d, 0x21, data));
         },
         "WriteI2CBlock(%d,33,3)"},
        {"ReadI2C",
         [r](TI2CHAL& h, int32_t d) {
             uint8_t buf[4] = {};
             return r(h.ReadI2C(d, 0x68, 4, buf));
         },
         "ReadI2C(%d,104,4)"},
        {"WriteReadI2C",
         [r](TI2CHAL& h, int32_t d) {
             uint8_t buf[2] = {};
             return r(h.WriteReadI2C(d, 0x51, "00", 2, buf));
         },
         "WriteReadI2C:00(%d,81,2)"},
        {"WriteChannel",
         [r](TI2CHAL& h, int32_t d) {
             TRegisterImage image;
             image.Words[0] = 7;
             TI2CBuffer answer{};
             return r(h.WriteChannel(d, 5, 124, image, answer));
         },
         "WriteChannel(%d,5,124,7)"},
        {"SaveAllConfig", [r](TI2CHAL& h, int32_t d) { return r(h.SaveAllConfig(d, 4)); },
         "SaveAllConfig(%d,4)"},
        {"GetDeviceInfo",
         [r](TI2CHAL& h, int32_t d) {
             TDeviceInfo i;
             return r(h.GetDeviceInfo(d, i));
         },
         "GetDeviceInfo(%d)"},
        {"GetChannelInfo",
         [r](TI2CHAL& h, int32_t d) {
             TChannelInfoBlock b;
             return r(h.GetChannelInfo(d, b));
         },
         "GetChannelInfo(%d)"},
        {"SetChannelInfo",
         [r](TI2CHAL& h, int32_t d) {
             TChannelInfo i;
             i.Serial = 42;
             return r(h.SetChannelInfo(d, 6, i));
         },
         "SetChannelInfo(%d,6,42)"},
        {"GetDCDCInfo",
         [r](TI2CHAL& h, int32_t d) {
             TDCDCInfo i;
             return r(h.GetDCDCInfo(d, i));
         },
         "GetDCDCInfo(%d)"},
        {"GetChannelCalibTable",
         [r](TI2CHAL& h, int32_t d) {
             TChannelCalibTable t;
             return r(h.GetChannelCalibTable(d, 2, t));
         },
         "GetChannelCalibTable(%d,2)"},
        {"GetMasterflash",
         [r](TI2CHAL& h, int32_t d) {
             TMasterFlash f;
             return r(h.GetMasterflash(d, f));
         },
         "GetMasterflash(%d)"},
        {"SetMasterflash",
         [r](TI2CHAL& h, int32_t d) {
             TMasterFlash f;
             f.HWStartLock = 1;
             return r(h.SetMasterflash(d, f));
         },
         "SetMasterflash(%d,1)"},
        {"GetDeviceADC8",
         [r](TI2CHAL& h, int32_t d) {
             TDeviceADC8 s;
             bool changed = false;
             return r(h.GetDeviceADC8(d, s, changed));
         },
         "GetDeviceADC8(%d)"},
        {"SetDeviceLockState", [r](TI2CHAL& h, int32_t d) { return r(h.SetDeviceLockState(d, true)); },
         "SetDeviceLockState(%d,1)"},
    };
}

std::string WithIndex(const char* pattern, int32_t index) {
    std::string s = pattern;
    s.replace(s.find("%d"), 2, std::to_string(index));
    return s;
}
} // namespace

TEST_F(I2CHALTest, RoutesByKindAndTransportIndex) {
    lanNames = {"10.0.0.2", "10.0.0.1"}; // merged 0 = LAN index 1
    usbNames = {"USB Device 1"};         // merged 2 = USB index 0
    vrtNames = {"VD 01-08", "VD 00-08"}; // merged 3 = VRT index 1, 4 = VRT index 0
    auto hal = Make();
    hal->ScanDevices();
    struct TTarget {
        int32_t Device;
        TScriptedControl* Control;
        const char* Tag;
        int32_t Index;
    };
    const TTarget targets[] = {
        {0, lan, "LAN", 1}, {1, lan, "LAN", 0}, {2, usb, "USB", 0}, {3, vrt, "VRT", 1}, {4, vrt, "VRT", 0}};
    for (const TRouteCase& c : RouteCases()) {
        for (const TTarget& t : targets) {
            SCOPED_TRACE(std::string(c.Name) + " device " + std::to_string(t.Device));
            log.clear();
            t.Control->Result = TI2CResult::irDeviceError; // the transport's result comes back unchanged
            EXPECT_EQ(c.Call(*hal, t.Device), 15);
            t.Control->Result = TI2CResult::irOK;
            EXPECT_EQ(log,
                      (std::vector<std::string>{std::string(t.Tag) + "." + WithIndex(c.Expected, t.Index)}));
        }
    }
}

TEST_F(I2CHALTest, AfterTheProgramsEndWritesAreRefusedButInsideAnAllowanceReadsPass) {
    lanNames = {"10.0.0.1"};
    auto hal = Make();
    hal->ScanDevices();
    std::vector<std::string> logLines;
    hal->OnLog = [&](const void*, const std::string& text) { logLines.push_back(text); };
    int noAnswers = 0;
    hal->OnNoAnswer = [&](int32_t) { ++noAnswers; };
    hal->RefuseWrites();
    const std::set<std::string> writes = {
        "SetFan",       "SetMux",        "WriteI2C",       "WriteI2CBlock",  "WriteReadI2C",
        "WriteChannel", "SaveAllConfig", "SetChannelInfo", "SetMasterflash", "SetDeviceLockState"};
    for (const TRouteCase& c : RouteCases()) {
        SCOPED_TRACE(c.Name);
        const bool write = writes.count(c.Name) != 0;
        log.clear();
        logLines.clear();
        lan->Result = TI2CResult::irOK;
        EXPECT_EQ(c.Call(*hal, 0), write ? 1 : 0);
        // A refused write reaches no transport and says why, once.
        EXPECT_EQ(log.empty(), write);
        ASSERT_EQ(logLines.size(), write ? 1u : 0u);
        if (write) {
            EXPECT_EQ(logLines[0],
                      std::string("[ERR] ") + c.Name + " to device 01 refused: the program ends");
        }
        log.clear();
        {
            TI2CHAL::TWriteAllowance allowed(*hal);
            EXPECT_EQ(c.Call(*hal, 0), 0);
        }
        EXPECT_EQ(log, (std::vector<std::string>{"LAN." + WithIndex(c.Expected, 0)}));
    }
    EXPECT_EQ(noAnswers, 0);
}

TEST_F(I2CHALTest, RoutingOutsideTheListReachesNoTransport) {
    vrtNames = {"VD 00-08"};
    auto hal = Make();
    hal->ScanDevices();
    for (const TRouteCase& c : RouteCases()) {
        for (int32_t device : {int32_t{-1}, int32_t{1}, int32_t{1000}}) {
            SCOPED_TRACE(std::string(c.Name) + " device " + std::to_string(device));
            log.clear();
            const bool lock = std::string(c.Name) == "SetDeviceLockState";
            EXPECT_EQ(c.Call(*hal, device), lock ? 100 : 10);
            EXPECT_TRUE(log.empty());
        }
    }
}

TEST_F(I2CHALTest, FirmwareVersionTexts) {
    usbNames = {"USB Device 1"};
    auto hal = Make();
    hal->ScanDevices();
    TFWVersion v;
    v.Components = {9, 8, 7, 6};
    std::string text = "before";
    hal->GetFWVersion(1, v, text);
    EXPECT_EQ(text, "FW: <invalid>");
    EXPECT_EQ(v.Components, (std::array<int32_t, 4>{9, 8, 7, 6})); // untouched
    hal->GetFWVersion(-1, v, text);
    EXPECT_EQ(text, "FW: <invalid>");
    hal->GetFWVersion(0, v, text);
    EXPECT_EQ(text, "FW: USB 0");
    EXPECT_EQ(v.Components, (std::array<int32_t, 4>{0, 2, 3, 4}));
}

TEST_F(I2CHALTest, ScanTargetsFollowMaskAndInterfaces) {
    auto hal = Make(kMaskUSB);
    EXPECT_EQ(hal->AddScanTarget("VD-8:3", kMaskOffline), -1);
    EXPECT_TRUE(vrt->ScanTargets.Empty());

    hal->SetInterfaces(kAll);
    EXPECT_EQ(hal->AddScanTarget("b:5000", kMaskLAN), 0);
    EXPECT_EQ(hal->AddScanTarget("a:5000", kMaskLAN), 0);
    vrt->ScanTargets.Add("0");
    vrt->ScanTargets.Add("1");
    // Both LAN and simulated take it; the simulated position (last add) is the result.
    EXPECT_EQ(hal->AddScanTarget("c", kMaskLAN | kMaskOffline), 2);
    EXPECT_EQ(lan->ScanTargets.Strings(), (std::vector<std::string>{"a:5000", "b:5000", "c"}));
    EXPECT_EQ(hal->AddScanTarget("A:5000", kMaskLAN), 0); // duplicate: position of the listed one
    EXPECT_TRUE(usb->ScanTargets.Empty());

    lan->ScanTargets2.Add("x");
    vrt->ScanTargets2.Add("y");
    hal->ClearScanTargets();
    EXPECT_TRUE(lan->ScanTargets.Empty() && vrt->ScanTargets.Empty());
    EXPECT_FALSE(lan->ScanTargets2.Empty());
    hal->ClearScanTargets2();
    EXPECT_TRUE(lan->ScanTargets2.Empty() && vrt->ScanTargets2.Empty());
}

TEST_F(I2CHALTest, LevelsReachAllTransportsAndKeepAliveOnlyEnabledOnes) {
    auto hal = Make(kMaskLAN | kMaskOffline);
    hal->SetLogLevel(4);
    hal->SetI2CLogLevel(5);
    for (TScriptedControl* c : {lan, usb, vrt}) {
        EXPECT_EQ(c->LogLevel, 4);
        EXPECT_EQ(c->I2CLogLevel, 5);
    }
    EXPECT_EQ(hal->SetKeepAlive(true), 0);
    EXPECT_TRUE(lan->KeepAlive());
    EXPECT_FALSE(usb->KeepAlive());
    EXPECT_TRUE(vrt->KeepAlive());
    loop.Advance(2000);
    EXPECT_EQ(lan->KeepAliveTicks, 1);
    EXPECT_EQ(usb->KeepAliveTicks, 0);
    hal->SetKeepAlive(false);
    EXPECT_FALSE(lan->KeepAlive());
    EXPECT_FALSE(vrt->KeepAlive());
}

TEST_F(I2CHALTest, TransportEventsAreForwardedWithTheirSender) {
    auto hal = Make();
    std::vector<std::string> seen;
    auto text = [&](const char* what) {
        return [&, what](const void* s, const std::string& t) {
            seen.push_back(std::string(what) +
                           (s == nullptr ? "(null)"
                            : s == usb   ? "(usb)"
                                         : "(?)") +
                           ":" + t);
        };
    };
    hal->OnLog = text("log");
    hal->OnI2CLog = text("i2c");
    hal->OnError = text("error");
    hal->OnDeviceLost = text("lost");
    hal->OnDeviceChange = [&](const void* s) { seen.push_back(s == usb ? "change(usb)" : "change(?)"); };
    usb->Log(0, "a");
    usb->I2CLog(0, "b");
    usb->Error("c");
    usb->DeviceLost("USB Device 1");
    usb->OnDeviceChange(usb);
    EXPECT_EQ(seen, (std::vector<std::string>{"log(null):a", "i2c(null):[I2C] b", "error(null):[I2C] c",
                                              "lost(null):USB Device 1", "change(usb)"}));
    // Unassigned events of TI2CHAL are skipped.
    hal->OnLog = nullptr;
    usb->Log(0, "dropped");
    EXPECT_EQ(seen.size(), 5u);
}

TEST_F(I2CHALTest, NotificationIsMappedToTheMergedIndexOnTheMainThread) {
    usbNames = {"A0", "A1"}; // USB transport index 1 is merged index 1
    lanNames = {"B0", "B1"}; // LAN transport index 1 is merged index 3
    auto hal = Make();
    hal->ScanDevices();
    std::vector<std::pair<const void*, int32_t>> irqs;
    std::vector<uint16_t> words;
    hal->OnIRQ = [&](const void* s, int32_t i, const TIRQMessage* m) {
        irqs.emplace_back(s, i);
        words.push_back(m->IRQWord);
    };
    TIRQMessage m;
    m.Magic = TIRQMessage::MagicValue;
    m.IRQWord = 0xFEFF;
    std::thread reader([&] { lan->PostIRQ(1, lan->ScanGeneration(), m); });
    reader.join();
    EXPECT_TRUE(irqs.empty());
    loop.Step();
    ASSERT_EQ(irqs.size(), 1u);
    EXPECT_EQ(irqs[0].first, lan);
    EXPECT_EQ(irqs[0].second, 3);
    EXPECT_EQ(words[0], 0xFEFF);

    // A transport index with no merged entry (dropped duplicate, other transport) fires nothing.
    irqs.clear();
    vrt->AddMaster(std::make_unique<TI2CMaster>("unlisted", 0));
    vrt->DoIRQ(0, &m);
    EXPECT_TRUE(irqs.empty());
}

TEST_F(I2CHALTest, NotificationFromBeforeAClearOrRescanIsDropped) {
    lanNames = {"B0", "B1"};
    auto hal = Make();
    hal->ScanDevices();
    int fired = 0;
    hal->OnIRQ = [&](const void*, int32_t, const TIRQMessage*) { ++fired; };
    TIRQMessage m;
    lan->PostIRQ(0, lan->ScanGeneration(), m);
    hal->ClearDevices();
    loop.Step();
    EXPECT_EQ(fired, 0);

    hal->ScanDevices();
    lan->PostIRQ(0, lan->ScanGeneration(), m);
    hal->ScanDevices(); // same devices, new scan
    loop.Step();
    EXPECT_EQ(fired, 0);

    lan->PostIRQ(0, lan->ScanGeneration(), m);
    loop.Step();
    EXPECT_EQ(fired, 1);
}

TEST(I2CHALDefault, PlaceholderTransportsFindNothing) {
    TInstalledVirtualMainLoop loop;
    TI2CTransportFactory f = DefaultTransportFactory();
    f.CreateLAN = CreatePlaceholderLANControl; // the default one is the real transport now
    f.CreateUSB = CreatePlaceholderUSBControl;
    TI2CHAL hal(kMaskLAN | kMaskUSB, false, f);
    std::vector<std::string> logs;
    hal.OnLog = [&](const void*, const std::string& t) { logs.push_back(t); };
    EXPECT_EQ(hal.AddScanTarget("127.0.0.1:5000", kMaskLAN), 0);
    EXPECT_EQ(hal.ScanDevices(), 0);
    EXPECT_EQ(logs, (std::vector<std::string>{"[LAN] device status: 0 device(s) found",
                                              "[USB] device status: 0 device(s) found"}));
    EXPECT_FALSE(hal.LANControl()->KeepAlive());
    EXPECT_EQ(hal.SetFan(0, 1), TI2CResult::irInvalidDevice);
}

// Targets are searched in sorted order, so A is numbered before B.
TEST(I2CHALDefault, SimulatedDevicesAreNamedInTargetOrder) {
    TInstalledVirtualMainLoop loop;
    TI2CHAL hal(kMaskOffline);
    EXPECT_EQ(hal.AddScanTarget("B-8:3", kMaskOffline), 0);
    EXPECT_EQ(hal.AddScanTarget("A-8:3", kMaskOffline), 0);
    ASSERT_EQ(hal.ScanDevices(), 2);
    EXPECT_EQ(hal.GetDevice(0)->Name, "VD 00-08");
    EXPECT_EQ(hal.GetDevice(1)->Name, "VD 01-08");
    for (int32_t i = 0; i < 2; ++i) {
        EXPECT_EQ(hal.GetDevice(i)->Kind, TInterfaceKind::ikOffline);
        EXPECT_EQ(hal.GetDevice(i)->Index, i);
        EXPECT_EQ(hal.GetDevice(i)->Valid, 1);
    }
    TDeviceInfo info;
    EXPECT_EQ(hal.GetDeviceInfo(1, info), TI2CResult::irOK);
    EXPECT_EQ(hal.GetDeviceInfo(2, info), TI2CResult::irInvalidDevice);
}

// LAN names begin with digits and come first; the simulated ones follow.
TEST(I2CHALDefault, LANDevicesComeBeforeSimulatedOnes) {
    TInstalledVirtualMainLoop loop;
    TI2CTransportFactory f = DefaultTransportFactory();
    f.CreateLAN = [] {
        auto c = std::make_unique<TScriptedControl>("LAN");
        c->FoundNames = {"127.0.0.5"};
        return std::unique_ptr<TI2CControl>(std::move(c));
    };
    TI2CHAL hal(kMaskLAN | kMaskOffline, false, f);
    hal.AddScanTarget("A-4:3", kMaskOffline);
    ASSERT_EQ(hal.ScanDevices(), 2);
    EXPECT_EQ(hal.GetDevice(0)->Name, "127.0.0.5");
    EXPECT_EQ(hal.GetDevice(0)->Kind, TInterfaceKind::ikLAN);
    EXPECT_EQ(hal.GetDevice(1)->Name, "VD 00-04");
}

TEST(PlaceholderTransports, BadIndexReportsFollowTheTransport) {
    struct TCase {
        std::unique_ptr<TI2CControl> (*Make)();
        const char* SetSCLText; // I2C log
        const char* GetSCLText; // I2C log
        bool WireStyle;         // GetSCL etc. through the I2C log
        bool LockSetterReports;
    };
    const TCase cases[] = {
        {CreatePlaceholderLANControl, "[I2C] invalid device: 3", "[I2C] invalid device: 3", true, true},
        {CreatePlaceholderUSBControl, "[I2C] invalid device: 03", "[I2C] invalid device: 3", true, true},
        {CreatePlaceholderVirtualControl, nullptr, nullptr, false, false},
    };
    for (const TCase& c : cases) {
        auto t = c.Make();
        std::vector<std::string> errors, i2c;
        t->OnError = [&](const void*, const std::string& s) { errors.push_back(s); };
        t->OnI2CLog = [&](const void*, const std::string& s) { i2c.push_back(s); };
        int32_t hz = 0;
        EXPECT_EQ(t->SetSCL(3, 1000), TI2CResult::irInvalidDevice);
        EXPECT_EQ(t->GetSCL(3, hz), TI2CResult::irInvalidDevice);
        if (c.WireStyle) {
            EXPECT_EQ(i2c, (std::vector<std::string>{c.SetSCLText, c.GetSCLText}));
            EXPECT_TRUE(errors.empty());
        } else {
            EXPECT_EQ(errors.size(), 2u);
            EXPECT_TRUE(i2c.empty());
        }
        errors.clear();
        EXPECT_EQ(t->SetDeviceLockState(0, true), TI2CResult::irInvalidDevice);
        EXPECT_EQ(errors.size(), c.LockSetterReports ? 1u : 0u);
        std::string text;
        t->GetModel(0, text);
        EXPECT_EQ(text, "<n/a>");
        EXPECT_EQ(t->IsDeviceValid(0), 0);
        TFWVersion v;
        v.Components = {1, 1, 1, 1};
        t->GetFWVersion(0, v, text);
        EXPECT_EQ(text, "FW: <unknown>");
        EXPECT_EQ(v.Components, (std::array<int32_t, 4>{0, 0, 0, 0}));
    }
}
