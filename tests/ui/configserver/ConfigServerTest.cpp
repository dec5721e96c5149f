// The configuration server: the request handling on channels of a simulated scan, and the line
// server with real loopback clients (blocking sockets on a thread of their own while the test's
// main thread runs the Qt event loop).

#include "ui/configserver/ConfigServer.h"
#include "device/Format.h"
#include "device/I2CHAL.h"
#include "model/I2CTranslator.h"
#include "tests/support/VirtualMainLoop.h"
#include "ui/configserver/ConfigRequest.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMetaObject>
#include <QTimer>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <deque>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace qrb::test {
namespace {

// Lines ended by CR LF.
std::string Crlf(std::initializer_list<std::string_view> lines) {
    std::string out;
    for (std::string_view line : lines) {
        out += line;
        out += "\r\n";
    }
    return out;
}

// ---- Request handling ------------------------------------------------------------------------

class ConfigRequest : public ::testing::Test {
protected:
    TInstalledVirtualMainLoop loop;
    model::TI2CTranslator translator{device::kMaskOffline, false, device::DefaultTransportFactory()};
    ui::TConfigRequestHandler handler{translator};

    void SetUp() override {
        translator.OnConfigComplete = [](const void*) {};
    }

    void Scan(std::initializer_list<const char*> targets) {
        translator.ClearScanTargets();
        for (const char* target : targets)
            translator.AddScanTarget(target, device::kMaskOffline);
        translator.Rescan();
    }

    std::string Reply(std::string_view line) {
        const ui::TConfigReply reply = handler.Answer(line);
        EXPECT_FALSE(reply.Close) << line;
        return reply.Bytes;
    }

    model::TQRBRawChannel& Channel(int index) { return *translator.GetChannel(index); }
};

TEST_F(ConfigRequest, StatusAndCountFollowTheModel) {
    EXPECT_EQ(Reply("REQ_STATUS"), "0,Status: OFF\r\n");
    EXPECT_EQ(Reply("REQ_NUMCHN"), "0,Number of channels: 0\r\n");
    EXPECT_EQ(Reply("REQ_ALLINF"),
              Crlf({"--- BEGIN QRB730 CONFIGURATION ---", "", "", "--- END QRB730 CONFIGURATION ---"}));

    Scan({"A-8:3", "B-8:3"});
    ASSERT_EQ(translator.ChannelCount(), 16);
    EXPECT_EQ(Reply("REQ_STATUS"), "2,Status: ON (SIMULATION)\r\n");
    EXPECT_EQ(Reply("REQ_NUMCHN"), "16,Number of channels: 16\r\n");
    translator.OfflineMode = false;
    EXPECT_EQ(Reply("REQ_STATUS"), "1,Status: ON\r\n");
}

TEST_F(ConfigRequest, SelectsByTheFirstTenCharactersExactly) {
    Scan({"A-8:3"});
    struct Case {
        std::string line;
        std::string reply;
    };
    const Case cases[] = {
        {"REQ_STATUS and more", "2,Status: ON (SIMULATION)\r\n"},
        {"REQ_NUMCHN?", "8,Number of channels: 8\r\n"},
        {"REQ_NUMCHN\r", "8,Number of channels: 8\r\n"}, // the CR of a CR LF line end
        {"req_status", "-1,Invalid Config Server Command: 0xreq_status\r\n"},
        {"REQ_STATU", "-1,Invalid Config Server Command: 0xREQ_STATU\r\n"},
        {"", "-1,Invalid Config Server Command: 0x\r\n"},
        {" REQ_STATUS", "-1,Invalid Config Server Command: 0x REQ_STATUS\r\n"},
        {"HELLO WORLD", "-1,Invalid Config Server Command: 0xHELLO WORLD\r\n"},
        {"REQ_STATUS\r\r", "2,Status: ON (SIMULATION)\r\n"},
        // Control characters of a request never reach the reply as line breaks.
        {"BAD\rLINE\nX\t\x7f", "-1,Invalid Config Server Command: 0xBAD LINE X  \r\n"},
        {std::string("NUL\0BYTE", 8), "-1,Invalid Config Server Command: 0xNUL BYTE\r\n"},
        // Windows-1252 bytes come back as they were sent.
        {"Gr\xfc\xdf \x80 \xb1 \x81\xff",
         "-1,Invalid Config Server Command: 0xGr\xfc\xdf \x80 \xb1 \x81\xff\r\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Reply(c.line), c.reply) << c.line;
}

TEST_F(ConfigRequest, ChannelIndexCases) {
    Scan({"A-8:3"});
    const std::string block3 = handler.GetChannelConfig(3) + "\r\n";
    ASSERT_EQ(block3.rfind("Channel Index:  \t3\r\n", 0), 0u);
    for (const char* line :
         {"REQ_CHNINF3", "REQ_CHNINF 3", "REQ_CHNINF+3", "REQ_CHNINF$3", "REQ_CHNINF0x3", "REQ_CHNINF03\r"})
        EXPECT_EQ(Reply(line), block3) << line;

    struct Case {
        const char* line;
        const char* reply;
    };
    const Case invalid[] = {
        {"REQ_CHNINF8", "-1,ERROR - INVALID CHANNEL INDEX: 8\r\n"},
        {"REQ_CHNINF-1", "-1,ERROR - INVALID CHANNEL INDEX: -1\r\n"},
        {"REQ_CHNINF$10", "-1,ERROR - INVALID CHANNEL INDEX: 16\r\n"},
        {"REQ_CHNINF2147483647", "-1,ERROR - INVALID CHANNEL INDEX: 2147483647\r\n"},
        {"REQ_CHNINF-2147483648", "-1,ERROR - INVALID CHANNEL INDEX: -2147483648\r\n"},
    };
    for (const Case& c : invalid)
        EXPECT_EQ(Reply(c.line), c.reply) << c.line;

    // Not an integer: no reply, the connection ends.
    for (const char* line : {"REQ_CHNINF", "REQ_CHNINFx", "REQ_CHNINF3 ", "REQ_CHNINF3x", "REQ_CHNINF1.5",
                             "REQ_CHNINF2147483648", "REQ_CHNINF99999999999999999999", "REQ_CHNINF--1"}) {
        const ui::TConfigReply reply = handler.Answer(line);
        EXPECT_TRUE(reply.Close) << line;
        EXPECT_EQ(reply.Bytes, "") << line;
    }
}

TEST_F(ConfigRequest, TheWholeConfigurationIsFramed) {
    Scan({"A-3:3"});
    // A channel that is not present is listed like the others.
    Channel(1).Present = false;
    Channel(1).Defect = true;
    const std::string all = Reply("REQ_ALLINF");
    EXPECT_EQ(all, "--- BEGIN QRB730 CONFIGURATION ---\r\n\r\n" + handler.GetChannelConfig(0) + "\r\n" +
                       handler.GetChannelConfig(1) + "\r\n" + handler.GetChannelConfig(2) + "\r\n" +
                       "\r\n--- END QRB730 CONFIGURATION ---\r\n");
    // The channel of a simulated scan as the wire shows it.
    EXPECT_EQ(Reply("REQ_CHNINF1"),
              Crlf({"Channel Index:  \t1", "Channel Name:   \t", "Sensor Type:    \tOFF",
                    "Filter:         \t1.5MHz", "Input Range:    \t+/- 500V", "Input Coupling: \tGround",
                    "Channel Offset: \tOFF", ""}));
}

TEST_F(ConfigRequest, ReportsAreAnsweredThroughTheirProviders) {
    EXPECT_EQ(Reply("REQ_DEVSTA"), "1,\r\n");
    EXPECT_EQ(Reply("REQ_DEVINF"), "1,\r\n");
    handler.DeviceStatusReport = [] { return std::string("Device 01:\r\n\r\n  Fan:  1200.00 rpm\r\n\r\n"); };
    handler.DeviceInfoReport = [] {
        return std::string("Device 01:\r\n\r\n=> INVALID MASTERFLASH CONTENT!!!\r\n\r\n");
    };
    EXPECT_EQ(Reply("REQ_DEVSTA"), "1,Device 01:\r\n\r\n  Fan:  1200.00 rpm\r\n\r\n\r\n");
    EXPECT_EQ(Reply("REQ_DEVINF"), "1,Device 01:\r\n\r\n=> INVALID MASTERFLASH CONTENT!!!\r\n\r\n\r\n");

    // The translator's own reports over the simulated devices.
    Scan({"A-2:3", "B-1:1"});
    ui::UseTranslatorReports(handler, translator);
    const std::string status = Reply("REQ_DEVSTA");
    EXPECT_EQ(status.rfind("1,Device 01:\r\n\r\n  Fan:  ", 0), 0u) << status;
    EXPECT_NE(status.find("\r\n\r\nDevice 02:\r\n\r\n"), std::string::npos) << status;
    EXPECT_EQ(status.substr(status.size() - 6), "\r\n\r\n\r\n");
    std::string info;
    translator.DeviceInfoReport(true, 0, info);
    EXPECT_NE(info.find("Device 02:"), std::string::npos);
    EXPECT_EQ(Reply("REQ_DEVINF"), "1," + info + "\r\n");

    // A failing report ends the connection instead of leaving the client waiting.
    handler.DeviceStatusReport = []() -> std::string { throw std::runtime_error("device gone"); };
    const ui::TConfigReply reply = handler.Answer("REQ_DEVSTA");
    EXPECT_TRUE(reply.Close);
    EXPECT_EQ(reply.Bytes, "");
}

// One channel per sensor type, with the lines its type adds before the offset line.
struct TypeCase {
    const char* name;
    std::function<void(model::TQRBRawChannel&)> setup;
    std::string range;
    std::vector<std::string> lines; // between "Input Coupling" and "Channel Offset"
};

TEST_F(ConfigRequest, ChannelBlockBySensorType) {
    Scan({"A-1:3"});
    using C = model::TQRBRawChannel;
    const TypeCase cases[] = {
        {"OFF", [](C& c) { c.TypeCache = 0; }, "+/- 500V", {}},
        {"VOLT voltage supply, ADC18",
         [](C& c) {
             c.TypeCache = 1;
             c.SupplyCache = 1;
             c.SenseCache = 1;
             c.PowerZero = 100;
             c.PowerDACCache2 = 627; // 527 / 105.4583
         },
         "+/- 500V",
         {"Sense:          \tON", "Supply:         \t5.0 V"}},
        {"VOLT voltage supply",
         [](C& c) {
             c.TypeCache = 1;
             c.SupplyCache = 1;
             c.HasADC18 = false;
             c.PowerZero = 100;
             c.PowerDACCache2 = 612; // 512 / 102.4
         },
         "+/- 500V",
         {"Sense:          \tOFF", "Supply:         \t5.0 V"}},
        {"VOLT current supply, ADC18",
         [](C& c) {
             c.TypeCache = 1;
             c.SupplyCache = 2;
             c.SenseCache = 1;
             c.PowerZero = 100;
             c.PowerDACCache = 886; // 786 / 78.63576399
         },
         "+/- 500V",
         {"Supply:         \t10.0 mA"}},
        {"VOLT current supply below zero",
         [](C& c) {
             c.TypeCache = 1;
             c.SupplyCache = 2;
             c.HasADC18 = false;
             c.PowerZero = 100;
             c.PowerDACCache = 50; // -50 / 30.63466666667
         },
         "+/- 500V",
         {"Supply:         \t-1.6 mA"}},
        {"VOLT supply off",
         [](C& c) {
             c.TypeCache = 1;
             c.SupplyCache = 0;
             c.SenseCache = 1;
         },
         "+/- 500V",
         {"Supply:         \tOFF"}},
        {"ICP, ADC18: no zero subtracted",
         [](C& c) {
             c.TypeCache = 2;
             c.PowerZero = 100;
             c.PowerDACCache = 315; // 315 / 78.63576399
         },
         "+/- 500V",
         {"Current Out:    \t4.0 mA"}},
        {"ICP",
         [](C& c) {
             c.TypeCache = 2;
             c.HasADC18 = false;
             c.PowerZero = 100;
             c.PowerDACCache = 315; // 215 / 30.63466666667
         },
         "+/- 500V",
         {"Current Out:    \t7.0 mA"}},
        {"DMS Current 2-wire",
         [](C& c) {
             c.TypeCache = 3;
             c.PwrAtSignalCache = 1;
             c.PowerDACCache = 786;
         },
         "+/- 500V",
         {"Connection:     \t2-Wire", "Current Out:    \t10.0 mA"}},
        {"Fullbridge 350 Ohm, shunt, sense",
         [](C& c) {
             c.TypeCache = 4;
             c.Is350OhmCache = 1;
             c.DMSShuntCache = 1;
             c.SenseCache = 1;
             c.PowerZero = 10;
             c.PowerDACCache2 = 537; // 527 / 105.4583
         },
         "+/- 500V",
         {"Resistor:       \t350 Ohm", "Shunt:          \tON", "Sense:          \tON (5)",
          "Voltage Out:    \t5.0 V"}},
        {"Fullbridge",
         [](C& c) {
             c.TypeCache = 4;
             c.Is350OhmCache = 0;
             c.PowerZero = 10;
             c.PowerDACCache2 = 0; // below the zero
         },
         "+/- 500V",
         {"Resistor:       \t120 Ohm", "Shunt:          \tOFF", "Sense:          \tOFF (4)",
          "Voltage Out:    \t-0.1 V"}},
        {"Halfbridge",
         [](C& c) {
             c.TypeCache = 5;
             c.Is350OhmCache = 0;
             c.SenseCache = 1;
         },
         "+/- 500V",
         {"Resistor:       \t120 Ohm", "Shunt:          \tOFF", "Sense:          \tON (4)",
          "Voltage Out:    \t0.0 V"}},
        {"Halfbridge sense off",
         [](C& c) {
             c.TypeCache = 5;
             c.Is350OhmCache = 0;
             c.SenseCache = 0;
         },
         "+/- 500V",
         {"Resistor:       \t120 Ohm", "Shunt:          \tOFF", "Sense:          \tOFF (3)",
          "Voltage Out:    \t0.0 V"}},
        {"Quarterbridge",
         [](C& c) {
             c.TypeCache = 6;
             c.Is350OhmCache = 0;
             c.SenseCache = 1;
         },
         "+/- 500V",
         {"Resistor:       \t120 Ohm", "Shunt:          \tOFF", "Sense:          \tON (3)",
          "Voltage Out:    \t0.0 V"}},
        {"Quarterbridge sense off",
         [](C& c) {
             c.TypeCache = 6;
             c.Is350OhmCache = 0;
             c.SenseCache = 0;
         },
         "+/- 500V",
         {"Resistor:       \t120 Ohm", "Shunt:          \tOFF", "Sense:          \tOFF (2,3)",
          "Voltage Out:    \t0.0 V"}},
        {"CURRENT",
         [](C& c) {
             c.TypeCache = 7;
             c.RangeCache = 12;
         },
         "+/- 200mA",
         {}},
        {"RTD", [](C& c) { c.TypeCache = 8; }, "+/- 500V", {"Connection:     \t4-Wire"}},
        {"CHARGE 10 nF",
         [](C& c) {
             c.TypeCache = 9;
             c.RangeCache = 1;
             c.CapacityCache = 0;
             c.HighpassCache = 1;
             c.AutoClearCache = 1;
         },
         "+/- 2.5\xb5"
         "C",
         {"Capacity:       \t0.1mV/pC (10nF)", "High-Pass:      \t0.1Hz", "Clear Mode:     \tAuto"}},
        {"CHARGE 100 pF",
         [](C& c) {
             c.TypeCache = 9;
             c.RangeCache = 5;
             c.CapacityCache = 1;
             c.HighpassCache = 1;
         },
         "+/- 5nC",
         {"Capacity:       \t10mV/pC (100pF)", "High-Pass:      \t15Hz", "Clear Mode:     \tManual"}},
        {"Debug", [](C& c) { c.TypeCache = 10; }, "+/- 500V", {}},
        {"beyond the types", [](C& c) { c.TypeCache = 15; }, "+/- 500V", {}},
    };
    const std::string typeNames[] = {
        "OFF",     "VOLT", "ICP",    "DMS Current", "DMS Fullbridge", "DMS Halfbridge", "DMS Quarterbridge",
        "CURRENT", "RTD",  "CHARGE", "Debug"};
    for (const TypeCase& tc : cases) {
        SCOPED_TRACE(tc.name);
        Scan({"A-1:3"});
        model::TQRBRawChannel& c = Channel(0);
        c.SetChannelName("Kanal 1");
        tc.setup(c);
        std::string expected = Crlf({"Channel Index:  \t0", "Channel Name:   \tKanal 1"});
        expected += "Sensor Type:    \t" + (c.TypeCache < 11 ? typeNames[c.TypeCache] : "Custom") + "\r\n";
        expected += Crlf({"Filter:         \t1.5MHz"});
        expected += "Input Range:    \t" + tc.range + "\r\n";
        expected += Crlf({"Input Coupling: \tGround"});
        for (const std::string& line : tc.lines)
            expected += line + "\r\n";
        expected += Crlf({"Channel Offset: \tOFF", ""});
        EXPECT_EQ(Reply("REQ_CHNINF0"), expected);
    }
}

TEST_F(ConfigRequest, RangeTextFollowsTheRangeMode) {
    Scan({"A-1:3"});
    model::TQRBRawChannel& c = Channel(0);
    c.TypeCache = 1;
    c.RangeCache = 17;
    int mode = 0;
    handler.RangeMode = [&mode] { return mode; };
    const std::pair<int, std::string> cases[] = {
        {0, "+/- 500mV*"}, {1, "(10:1)"}, {2, "20.0 dB"}, {3, ""}, {-1, ""}};
    for (const auto& [m, text] : cases) {
        mode = m;
        EXPECT_NE(Reply("REQ_CHNINF0").find("Input Range:    \t" + text + "\r\n"), std::string::npos) << m;
    }
    // CURRENT and CHARGE channels ignore it.
    mode = 2;
    c.TypeCache = 7;
    c.RangeCache = 3;
    EXPECT_NE(Reply("REQ_CHNINF0").find("Input Range:    \t+/- 4A\r\n"), std::string::npos);
    // A range code beyond the table.
    c.TypeCache = 1;
    c.RangeCache = 200;
    mode = 0;
    EXPECT_NE(Reply("REQ_CHNINF0").find("Input Range:    \tn/a\r\n"), std::string::npos);
}

TEST_F(ConfigRequest, OffsetAgainstTheCalibrationZero) {
    Scan({"A-1:3"});
    model::TQRBRawChannel& c = Channel(0);
    auto offsetLine = [this] {
        const std::string block = Reply("REQ_CHNINF0");
        const std::string label = "Channel Offset: \t";
        const size_t at = block.find(label);
        return block.substr(at + label.size(), block.find("\r\n", at) - at - label.size());
    };
    c.OffsetCache = 1;
    c.OffsetDACCache = 2560;
    EXPECT_EQ(offsetLine(), "50.0 %"); // the simulator's table is not usable: zero 2048
    c.OffsetDACCache = 1536;
    EXPECT_EQ(offsetLine(), "-50.0 %");

    c.Calibration.SetSource("QRBCAL730");
    c.Calibration.AdjustMarker = 174;
    c.CouplingCache = 1;
    c.RangeCache = 4;
    c.Calibration.ZeroOffsets[1][4] = {1000, 2000}; // offset off, on
    c.OffsetDACCache = 2560;
    EXPECT_EQ(offsetLine(), "54.7 %"); // (2560 - 2000) / 10.24
    c.OffsetDACCache = 0;
    EXPECT_EQ(offsetLine(), "-195.3 %");
    // Codes outside the table fall back to 2048.
    c.CouplingCache = 200;
    c.OffsetDACCache = 2560;
    EXPECT_EQ(offsetLine(), "50.0 %");
    c.Calibration.AdjustMarker = 8;
    c.CouplingCache = 1;
    EXPECT_EQ(offsetLine(), "50.0 %");

    {
        device::TFormatSettings settings;
        settings.DecimalSeparator = ",";
        device::TFormatSettingsScope scope(settings);
        EXPECT_EQ(offsetLine(), "50,0 %");
    }
    c.OffsetCache = 0;
    EXPECT_EQ(offsetLine(), "OFF");
}

TEST_F(ConfigRequest, ChannelNamesKeepTheLineFraming) {
    Scan({"A-2:3"});
    Channel(0).ChannelName = "evil\r\n--- END QRB730 CONFIGURATION ---\r\n";
    static constexpr char kControls[] = "tab\there\0nul\x7f\x1b";
    Channel(1).ChannelName = std::string(kControls, sizeof kControls - 1);
    EXPECT_NE(Reply("REQ_CHNINF0").find("Channel Name:   \tevil  --- END QRB730 CONFIGURATION ---  \r\n"),
              std::string::npos);
    EXPECT_NE(Reply("REQ_CHNINF1").find("Channel Name:   \ttab here nul  \r\n"), std::string::npos);

    // Every line of the whole configuration ends in CR LF, and the end line comes once, last.
    const std::string all = Reply("REQ_ALLINF");
    for (size_t i = 0; i < all.size(); ++i) {
        if (all[i] == '\r') {
            EXPECT_EQ(all.at(i + 1), '\n') << i;
        }
        if (all[i] == '\n') {
            EXPECT_EQ(all.at(i - 1), '\r') << i;
        }
    }
    const std::string end = "--- END QRB730 CONFIGURATION ---\r\n";
    EXPECT_EQ(all.find(end), all.size() - end.size());
}

TEST_F(ConfigRequest, NamesGoOutAsWindows1252) {
    Scan({"A-1:3"});
    Channel(0).SetChannelName("Kanal \u00e4 \u00b1 \u20ac"); // the name keeps its "±"
    EXPECT_NE(Reply("REQ_CHNINF0").find("Channel Name:   \tKanal \xe4 \xb1 \x80\r\n"), std::string::npos);
}

// ---- The line server ---------------------------------------------------------------------------

class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override { app_ = std::make_unique<QCoreApplication>(argc_, argv_); }
    void TearDown() override { app_.reset(); }

private:
    int argc_ = 1;
    char name_[16] = "configserver";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QCoreApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const qtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

// A blocking loopback client; every wait ends after 10 s so that a fault fails instead of hanging.
class TClient {
public:
    explicit TClient(uint16_t port, const char* address = "127.0.0.1") {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        timeval timeout{10, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        ::setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(port);
        ::inet_pton(AF_INET, address, &sa.sin_addr);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
    }
    ~TClient() { Close(); }
    TClient(const TClient&) = delete;
    TClient& operator=(const TClient&) = delete;

    bool Connected() const { return connected_; }
    void Close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

    bool Send(std::string_view bytes) {
        while (!bytes.empty()) {
            const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n <= 0) return false;
            bytes.remove_prefix(static_cast<size_t>(n));
        }
        return true;
    }

    // Exactly n bytes, or fewer when the connection ends or the wait runs out.
    std::string Read(size_t n) {
        std::string out;
        char buffer[65536];
        while (out.size() < n) {
            const ssize_t got = ::recv(fd_, buffer, std::min(sizeof buffer, n - out.size()), 0);
            if (got <= 0) break;
            out.append(buffer, static_cast<size_t>(got));
        }
        return out;
    }

    // Everything until the end of stream; false when the connection was reset or the wait ran out.
    bool ReadToEnd(std::string& out) {
        char buffer[65536];
        for (;;) {
            const ssize_t got = ::recv(fd_, buffer, sizeof buffer, 0);
            if (got == 0) return true;
            if (got < 0) return false;
            out.append(buffer, static_cast<size_t>(got));
        }
    }

    void ShutdownSend() { ::shutdown(fd_, SHUT_WR); }
    // Ends the connection with a reset instead of an end of stream.
    void Reset() {
        linger off{1, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &off, sizeof off);
        Close();
    }

    // True when the server ended the connection (end of stream or reset) without sending more.
    bool SeesClose() { return EndSeen(0); }
    // The server has ended the connection (without waiting; what arrived before stays).
    bool Ended() { return EndSeen(MSG_DONTWAIT | MSG_PEEK); }

    // Nothing has arrived (without waiting).
    bool NothingArrived() {
        char byte;
        const ssize_t got = ::recv(fd_, &byte, 1, MSG_DONTWAIT);
        return got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }

private:
    bool EndSeen(int flags) {
        char byte;
        const ssize_t got = ::recv(fd_, &byte, 1, flags);
        return got == 0 || (got < 0 && errno == ECONNRESET);
    }

    int fd_ = -1;
    bool connected_ = false;
};

// Runs work on a thread of its own while the event loop runs here, until it returns.
void RunClient(const std::function<void()>& work) {
    QEventLoop loop;
    std::thread thread([&] {
        work();
        QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
    });
    loop.exec();
    thread.join();
}

// Runs the event loop until done() holds (or 10 s have passed).
bool ProcessUntil(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    QTimer wake;
    wake.start(20);
    while (!done()) {
        if (clock.elapsed() > 10000) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// A stand-in for the scan gate: open, it runs work at once; closed, it queues it in order.
struct TTestGate {
    bool open = true;
    std::deque<std::function<void()>> queue;

    ui::TConfigServer::TRunWhenOpen RunWhenOpen() {
        return [this](std::function<void()> fn) {
            if (open && queue.empty())
                fn();
            else
                queue.push_back(std::move(fn));
        };
    }
    void Open() {
        open = true;
        while (!queue.empty()) {
            auto fn = std::move(queue.front());
            queue.pop_front();
            fn();
        }
    }
};

class ConfigServer : public ConfigRequest {
protected:
    TTestGate gate;
    std::unique_ptr<ui::TConfigServer> server;
    uint16_t port = 0;

    void SetUp() override {
        ConfigRequest::SetUp();
        Scan({"A-8:3"});
        ui::UseTranslatorReports(handler, translator); // as the server does
        server = std::make_unique<ui::TConfigServer>(translator, gate.RunWhenOpen());
        QString error;
        ASSERT_TRUE(server->Start(0, &error)) << error.toStdString();
        port = server->ServerPort();
        ASSERT_NE(port, 0);
    }

    std::string Expected(std::string_view line) { return handler.Answer(line).Bytes; }
};

TEST_F(ConfigServer, AnswersPipelinedRequestsByteForByte) {
    const std::string requests = "REQ_STATUS\r\nREQ_NUMCHN\nREQ_CHNINF7\r\nREQ_CHNINF8\r\nREQ_ALLINF\r\n"
                                 "REQ_DEVSTA\r\nREQ_DEVINF\nreq_numchn\r\n";
    const std::string expected = Crlf({"2,Status: ON (SIMULATION)", "8,Number of channels: 8"}) +
                                 Expected("REQ_CHNINF7") + "-1,ERROR - INVALID CHANNEL INDEX: 8\r\n" +
                                 Expected("REQ_ALLINF") + Expected("REQ_DEVSTA") + Expected("REQ_DEVINF") +
                                 "-1,Invalid Config Server Command: 0xreq_numchn\r\n";
    std::string got;
    RunClient([&] {
        TClient client(port);
        ASSERT_TRUE(client.Connected());
        client.Send(requests);
        got = client.Read(expected.size());
        EXPECT_TRUE(client.NothingArrived());
    });
    EXPECT_EQ(got, expected);
}

TEST_F(ConfigServer, RequestsSplitAcrossWritesAndWindows1252Bytes) {
    translator.GetChannel(0)->SetChannelName("\u00c4nderung \u00b1");
    translator.GetChannel(0)->TypeCache = 9;
    const std::string expected =
        "-1,Invalid Config Server Command: 0x\xe4\xf6\xfc \x80\xff\r\n" + Expected("REQ_CHNINF0");
    ASSERT_NE(expected.find("Channel Name:   \t\xc4nderung \xb1\r\n"), std::string::npos);
    ASSERT_NE(expected.find("Input Range:    \t+/- 5\xb5"
                            "C\r\n"),
              std::string::npos);
    std::string got;
    RunClient([&] {
        TClient client(port);
        for (std::string_view piece : {"\xe4\xf6", "\xfc \x80\xff\r", "\nREQ_CHN", "INF0", "\r\n"}) {
            client.Send(piece);
            std::this_thread::yield();
        }
        got = client.Read(expected.size());
    });
    EXPECT_EQ(got, expected);
}

TEST_F(ConfigServer, AtMostTwoConnections) {
    const std::string numchn = "8,Number of channels: 8\r\n";
    RunClient([&] {
        TClient a(port), b(port);
        a.Send("REQ_NUMCHN\r\n");
        EXPECT_EQ(a.Read(numchn.size()), numchn);
        b.Send("REQ_NUMCHN\r\n");
        EXPECT_EQ(b.Read(numchn.size()), numchn);

        TClient third(port); // taken by the kernel, then closed by the server at once
        third.Send("REQ_NUMCHN\r\n");
        EXPECT_TRUE(third.SeesClose());

        a.Send("REQ_NUMCHN\r\n");
        EXPECT_EQ(a.Read(numchn.size()), numchn);
    });
    // a and b have gone: their places take new clients.
    ASSERT_TRUE(ProcessUntil([&] { return server->ConnectionCount() == 0; }));
    RunClient([&] {
        TClient c(port), d(port);
        c.Send("REQ_NUMCHN\r\n");
        EXPECT_EQ(c.Read(numchn.size()), numchn);
        d.Send("REQ_NUMCHN\r\n");
        EXPECT_EQ(d.Read(numchn.size()), numchn);
    });
}

TEST_F(ConfigServer, ListensOnTheLoopbackAddressOnly) {
    RunClient([&] {
        TClient other(port, "127.0.0.2");
        EXPECT_FALSE(other.Connected());
    });
}

TEST_F(ConfigServer, OverlongLineClosesOnlyItsConnection) {
    const std::string numchn = "8,Number of channels: 8\r\n";
    const std::string longest(ui::kConfigMaxLineLength, 'L');
    RunClient([&] {
        std::string rest;
        TClient a(port), b(port);
        // The longest line allowed is answered (quoted back) ...
        a.Send(longest + "\r\n");
        const std::string echo = "-1,Invalid Config Server Command: 0x" + longest + "\r\n";
        EXPECT_EQ(a.Read(echo.size()), echo);
        // ... one more character ends the connection after the replies before it.
        a.Send("REQ_NUMCHN\r\n" + longest + "L\r\nREQ_NUMCHN\r\n");
        EXPECT_EQ(a.Read(numchn.size()), numchn);
        EXPECT_TRUE(a.ReadToEnd(rest)); // an orderly end after the replies
        EXPECT_EQ(rest, "");
        // b went unharmed; a's place is free at once.
        b.Send("REQ_NUMCHN\n");
        EXPECT_EQ(b.Read(numchn.size()), numchn);
        TClient c(port);

        // A line that never ends closes its connection too.
        c.Send("REQ_NUMCHN\r\n");
        EXPECT_EQ(c.Read(numchn.size()), numchn);
        c.Send(std::string(40000, 'x'));
        EXPECT_TRUE(c.ReadToEnd(rest)); // an orderly end after the replies
        EXPECT_EQ(rest, "");
        b.Send("REQ_NUMCHN\n");
        EXPECT_EQ(b.Read(numchn.size()), numchn);
    });
}

TEST_F(ConfigServer, BadIndexClosesOnlyItsConnection) {
    const std::string numchn = "8,Number of channels: 8\r\n";
    RunClient([&] {
        std::string rest;
        TClient a(port), b(port);
        a.Send("REQ_NUMCHN\r\nREQ_CHNINFx\r\nREQ_NUMCHN\r\n");
        EXPECT_EQ(a.Read(numchn.size()), numchn);
        EXPECT_TRUE(a.ReadToEnd(rest)); // an orderly end after the replies
        EXPECT_EQ(rest, "");
        b.Send("REQ_NUMCHN\r\n");
        EXPECT_EQ(b.Read(numchn.size()), numchn);
    });
}

TEST_F(ConfigServer, GarbageIsAnsweredAndTheServerGoesOn) {
    // Every byte value, in lines of all lengths, with NULs and bare CRs.
    std::string garbage;
    int lines = 0;
    for (int i = 0; i < 256; ++i) {
        for (int j = 0; j < i % 23; ++j)
            garbage += static_cast<char>((i * 7 + j * 13) % 256 == '\n' ? 0 : (i * 7 + j * 13) % 256);
        garbage += '\n';
        ++lines;
    }
    std::string expected;
    size_t pos = 0;
    for (int i = 0; i < lines; ++i) {
        const size_t lf = garbage.find('\n', pos);
        expected += Expected(std::string_view(garbage).substr(pos, lf - pos));
        pos = lf + 1;
    }
    const std::string numchn = "8,Number of channels: 8\r\n";
    RunClient([&] {
        TClient a(port);
        a.Send(garbage);
        EXPECT_EQ(a.Read(expected.size()), expected);
        a.Send("REQ_NUMCHN\r\n");
        EXPECT_EQ(a.Read(numchn.size()), numchn);
    });
}

TEST_F(ConfigServer, ClientThatDoesNotReadGetsEveryReplyInOrder) {
    Scan({"A-8:3", "B-8:3", "C-8:3", "D-8:3", "E-8:3", "F-8:3", "G-8:3", "H-8:3"});
    ASSERT_EQ(translator.ChannelCount(), 64);
    // Far more reply bytes than the kernel's buffers take.
    const int count = 2000;
    std::string requests;
    std::string expected;
    size_t largest = 0;
    for (int i = 0; i < count; ++i) {
        const std::string line = i % 4 ? "REQ_ALLINF" : "REQ_CHNINF" + std::to_string(i % 64);
        requests += line + "\r\n";
        const std::string reply = Expected(line);
        largest = std::max(largest, reply.size());
        expected += reply;
    }
    TClient a(port);
    RunClient([&] { EXPECT_TRUE(a.Send(requests)); });
    // The server stops taking requests while one connection's unsent replies pass the bound.
    ASSERT_TRUE(
        ProcessUntil([&] { return server->PendingReplyBytes() > ui::TConfigServer::kMaxPendingReply; }));
    for (int i = 0; i < 200; ++i) {
        QCoreApplication::processEvents();
        ASSERT_LE(server->PendingReplyBytes(),
                  ui::TConfigServer::kMaxPendingReply + static_cast<int64_t>(largest));
    }
    std::string got;
    RunClient([&] { got = a.Read(expected.size()); });
    EXPECT_TRUE(got == expected) << got.size() << " of " << expected.size() << " bytes";
}

TEST_F(ConfigServer, RequestsWaitWhileTheGateIsClosed) {
    TClient a(port), b(port);
    ASSERT_TRUE(a.Connected() && b.Connected());
    gate.open = false;
    a.Send("REQ_NUMCHN\r\nREQ_STATUS\r\n");
    b.Send("REQ_NUMCHN\r\n");
    // One request per connection waits at the gate; nothing is answered meanwhile.
    ASSERT_TRUE(ProcessUntil([&] { return gate.queue.size() == 2; }));
    EXPECT_TRUE(a.NothingArrived());
    EXPECT_TRUE(b.NothingArrived());

    // The scan the gate was closed for changes the model before the requests see it.
    Scan({"A-8:3", "B-4:3"});
    gate.Open();
    const std::string numchn = "12,Number of channels: 12\r\n";
    const std::string status = "2,Status: ON (SIMULATION)\r\n";
    RunClient([&] {
        EXPECT_EQ(a.Read(numchn.size() + status.size()), numchn + status);
        EXPECT_EQ(b.Read(numchn.size()), numchn);
    });
}

TEST_F(ConfigServer, ClientThatEndsSendingStillGetsItsReplies) {
    const std::string expected = Expected("REQ_STATUS") + Expected("REQ_ALLINF");
    std::string got;
    RunClient([&] {
        TClient a(port);
        a.Send("REQ_STATUS\r\nREQ_ALLINF\r\nREQ_NUMCHN"); // the unended rest is no request
        a.ShutdownSend();
        EXPECT_TRUE(a.ReadToEnd(got));
    });
    EXPECT_EQ(got, expected);

    // Also when the requests wait at the gate meanwhile.
    TClient b(port);
    gate.open = false;
    b.Send("REQ_NUMCHN\r\nREQ_STATUS\n");
    b.ShutdownSend();
    ASSERT_TRUE(ProcessUntil([&] { return gate.queue.size() == 1; }));
    gate.Open();
    got.clear();
    RunClient([&] { EXPECT_TRUE(b.ReadToEnd(got)); });
    EXPECT_EQ(got, Expected("REQ_NUMCHN") + Expected("REQ_STATUS"));
    ASSERT_TRUE(ProcessUntil([&] { return server->ConnectionCount() == 0; }));
}

TEST_F(ConfigServer, ClientsThatEndOrResetWhileTheirRequestsWaitGiveUpTheirPlaces) {
    gate.open = false;
    TClient resetting(port), ending(port);
    ASSERT_TRUE(resetting.Connected() && ending.Connected());
    resetting.Send("REQ_NUMCHN\r\n");
    ending.Send("REQ_STATUS\r\n");
    ASSERT_TRUE(ProcessUntil([&] { return gate.queue.size() == 2; }));
    resetting.Reset();
    ending.ShutdownSend();
    ASSERT_TRUE(ProcessUntil([&] { return server->ConnectionCount() == 0; }));

    // Their places take new clients while the requests still wait; the half-closed client still
    // gets its reply once they may run.
    TClient third(port), fourth(port);
    third.Send("REQ_NUMCHN\r\n");
    fourth.Send("REQ_NUMCHN\r\n");
    ASSERT_TRUE(ProcessUntil([&] { return gate.queue.size() == 4; }));
    EXPECT_EQ(server->ConnectionCount(), 2);
    gate.Open();
    const std::string numchn = Expected("REQ_NUMCHN");
    std::string got;
    RunClient([&] {
        EXPECT_EQ(third.Read(numchn.size()), numchn);
        EXPECT_EQ(fourth.Read(numchn.size()), numchn);
        EXPECT_TRUE(ending.ReadToEnd(got));
    });
    EXPECT_EQ(got, Expected("REQ_STATUS"));
}

// Clients that have just ended, their ends not yet read by the server when the next one comes:
// their places are free for it, and what they sent before their end is still answered.
TEST_F(ConfigServer, PlacesOfClientsThatJustEndedAreFreeAtOnce) {
    const std::string status = Expected("REQ_STATUS");
    const std::string numchn = Expected("REQ_NUMCHN");
    struct Case {
        const char* name;
        bool gateClosed; // a's last request waits behind the closed gate when the next client comes
        std::function<void(TClient& a, TClient& b)> end;
        std::string aGets; // after its status reply, until its end of stream
        bool bStays;
    };
    const Case cases[] = {
        {"both close", false, [](TClient& a, TClient& b) { a.Close(), b.Close(); }, "", false},
        {"one half-closes after lines not yet read", false,
         [](TClient& a, TClient&) {
             a.Send("REQ_NUMCHN\r\nREQ_STATUS\r\nREQ_NUMCHN");
             a.ShutdownSend();
         },
         numchn + status, true},
        {"one resets", false, [](TClient& a, TClient&) { a.Reset(); }, "", true},
        {"a request waits behind the closed gate, its client half-closes", true,
         [](TClient& a, TClient&) { a.ShutdownSend(); }, numchn, true},
        {"a request waits behind the closed gate, both close", true,
         [](TClient& a, TClient& b) {
             a.ShutdownSend();
             b.Close();
         },
         numchn, false},
    };
    for (const Case& tc : cases) {
        SCOPED_TRACE(tc.name);
        gate.Open();
        ASSERT_TRUE(ProcessUntil([&] { return server->ConnectionCount() == 0; }));
        TClient a(port), b(port);
        RunClient([&] {
            for (TClient* c : {&a, &b}) {
                c->Send("REQ_STATUS\r\n");
                EXPECT_EQ(c->Read(status.size()), status);
            }
        });
        ASSERT_EQ(server->ConnectionCount(), 2);
        if (tc.gateClosed) {
            gate.open = false;
            a.Send("REQ_NUMCHN\r\n");
            ASSERT_TRUE(ProcessUntil([&] { return gate.queue.size() == 1; }));
        }
        // No event is handled between the ends and the next connection.
        tc.end(a, b);
        TClient next(port);
        ASSERT_TRUE(next.Connected());
        next.Send("REQ_STATUS\r\n");
        if (tc.gateClosed) {
            ASSERT_TRUE(ProcessUntil([&] { return gate.queue.size() == 2 || next.Ended(); }));
            gate.Open();
        }
        std::string aRest;
        RunClient([&] {
            EXPECT_EQ(next.Read(status.size()), status);
            if (!tc.aGets.empty()) {
                EXPECT_TRUE(a.ReadToEnd(aRest));
            }
            next.Send("REQ_NUMCHN\r\n");
            EXPECT_EQ(next.Read(numchn.size()), numchn);
            if (tc.bStays) {
                b.Send("REQ_NUMCHN\r\n");
                EXPECT_EQ(b.Read(numchn.size()), numchn);
            }
        });
        EXPECT_EQ(aRest, tc.aGets);
    }
}

TEST_F(ConfigServer, EndingConnectionsAreBounded) {
    gate.open = false;
    std::vector<std::unique_ptr<TClient>> clients;
    for (int i = 0; i < 3 * ui::TConfigServer::kMaxEnding; ++i) {
        auto c = std::make_unique<TClient>(port);
        ASSERT_TRUE(c->Connected());
        c->Send("REQ_STATUS\r\n");
        c->ShutdownSend();
        const size_t queued = static_cast<size_t>(i) + 1;
        ASSERT_TRUE(
            ProcessUntil([&] { return gate.queue.size() == queued && server->ConnectionCount() == 0; }));
        EXPECT_LE(server->EndingCount(), ui::TConfigServer::kMaxEnding);
        clients.push_back(std::move(c));
    }
    gate.Open();
    // The newest ones still get their replies; the oldest were dropped.
    std::string got;
    RunClient([&] { EXPECT_TRUE(clients.back()->ReadToEnd(got)); });
    EXPECT_EQ(got, Expected("REQ_STATUS"));
}

TEST_F(ConfigServer, StopClosesEverythingAndDropsWaitingRequests) {
    TClient a(port);
    gate.open = false;
    a.Send("REQ_NUMCHN\r\n");
    ASSERT_TRUE(ProcessUntil([&] { return gate.queue.size() == 1; }));
    server->Stop();
    EXPECT_FALSE(server->IsActive());
    EXPECT_EQ(server->ServerPort(), 0);
    gate.Open(); // the waiting request finds its connection gone
    RunClient([&] {
        EXPECT_TRUE(a.SeesClose());
        TClient late(port);
        EXPECT_FALSE(late.Connected());
    });

    // Started again it serves; destroyed with a request waiting, the request is dropped.
    ASSERT_TRUE(server->Start(0));
    TClient b(server->ServerPort());
    gate.open = false;
    b.Send("REQ_NUMCHN\r\n");
    ASSERT_TRUE(ProcessUntil([&] { return gate.queue.size() == 1; }));
    server.reset();
    gate.Open();
    RunClient([&] { EXPECT_TRUE(b.SeesClose()); });
}

TEST_F(ConfigServer, StartFailsWithTheListenerText) {
    ui::TConfigServer second(translator, {});
    QString error;
    EXPECT_FALSE(second.Start(port, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(second.IsActive());
}

} // namespace
} // namespace qrb::test
