#include "ui/platform/NetworkInfo.h"

#include "tests/support/VirtualMainLoop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

namespace qrb::ui {
namespace {

// a.b.c.d with the first octet in the lowest byte.
constexpr uint32_t Ip(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    return a | b << 8 | c << 16 | d << 24;
}

struct TFakeState {
    TNetTables Tables;
    bool TablesFail = false;
    bool ParamsFail = false;
    bool SocketFail = false;
    int TableReads = 0;
};

class TFakeSource : public TNetworkSource {
public:
    explicit TFakeSource(TFakeState& state) : state_(state) {}
    bool ReadTables(TNetTables& tables, std::string& error) override {
        ++state_.TableReads;
        if (state_.TablesFail) {
            error = "failed";
            return false;
        }
        tables = state_.Tables;
        return true;
    }
    bool ReadNetworkParams(TNetworkParams& params, std::string& error) override {
        if (state_.ParamsFail) {
            error = "The network parameters cannot be read.";
            return false;
        }
        params.HostName = "testhost";
        params.DnsServers = {"10.0.0.1", "  ", "10.0.0.2"};
        params.NodeType = 8;
        return true;
    }
    bool ReadSocketInfo(TSocketInfo& info) override {
        if (state_.SocketFail) return false;
        info.Version = "Linux 6.1.0-test";
        info.Description = "Linux 6.1.0-test #1";
        info.Status = "Running";
        return true;
    }

private:
    TFakeState& state_;
};

TIfRow Row(uint32_t index, uint32_t type, uint32_t status) {
    TIfRow r;
    r.Index = index;
    r.Type = type;
    r.OperStatus = status;
    r.Speed = 1000000000;
    r.Mtu = 1500;
    r.PhysAddress = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    r.Description = "  eth" + std::to_string(index) + "  ";
    return r;
}

TIpAddrRow Addr(uint32_t index, uint32_t address, uint32_t mask, uint16_t type = 1) {
    TIpAddrRow a;
    a.InterfaceIndex = index;
    a.Address = address;
    a.Mask = mask;
    a.Type = type;
    return a;
}

// Loopback, an Ethernet with two addresses, a Wi-Fi without address, a tunnel on 0.0.0.0.
TNetTables StandardTables() {
    TNetTables t;
    TIfRow lo = Row(1, 24, 5);
    lo.PhysAddress.clear();
    t.Interfaces = {lo, Row(2, 6, 5), Row(3, 71, 2), Row(4, 131, 5)};
    t.Addresses = {Addr(4, Ip(0, 0, 0, 0), Ip(0, 0, 0, 0)), Addr(2, Ip(10, 0, 0, 5), Ip(255, 0, 0, 0)),
                   Addr(1, Ip(127, 0, 0, 1), Ip(255, 0, 0, 0)),
                   Addr(2, Ip(192, 168, 1, 20), Ip(255, 255, 255, 0))};
    return t;
}

class NetworkInfoTest : public ::testing::Test {
protected:
    std::unique_ptr<TNetworkSource> Source() { return std::make_unique<TFakeSource>(state_); }
    std::unique_ptr<TNetworkInfo> Create(bool watch, bool onlyWithIP) {
        return TNetworkInfo::CreateWithWatch(watch, 1000, onlyWithIP, Source());
    }
    TFakeState state_{StandardTables()};
    test::TVirtualMainLoop loop_;
    device::TScopedMainLoop scoped_{loop_};
};

TEST(NetworkTextsTest, AddressesAndPhysicalAddresses) {
    EXPECT_EQ(MacAddressToStr({}), "00-00-00-00-00-00");
    const uint8_t mac[] = {0x00, 0x1a, 0x2B, 0xff, 0x09, 0xA0};
    EXPECT_EQ(MacAddressToStr(mac), "00-1A-2B-FF-09-A0");
    EXPECT_EQ(MacAddressToStr(std::span(mac, 2)), "00-1A");
    EXPECT_EQ(IpAddressToStr(Ip(127, 0, 0, 1)), "127.0.0.1");
    EXPECT_EQ(IpAddressToStr(Ip(255, 255, 255, 0)), "255.255.255.0");
    EXPECT_EQ(IpAddressToStr(0), "0.0.0.0");
}

TEST(NetworkTextsTest, CodeTexts) {
    EXPECT_EQ(AddressTypeToText(1), "Primary IP address");
    EXPECT_EQ(AddressTypeToText(4), "Dynamic IP address");
    EXPECT_EQ(AddressTypeToText(8), "Address is on disconnected interface");
    EXPECT_EQ(AddressTypeToText(64), "Address is being deleted");
    EXPECT_EQ(AddressTypeToText(128), "Transient address");
    EXPECT_EQ(AddressTypeToText(5), "unknown addresstype");
    const std::pair<uint32_t, const char*> types[] = {
        {6, "Ethernet Interface"},   {9, "Token Ring Interface"},         {15, "FDDI Interface"},
        {23, "PPP Interface"},       {24, "Software Loopback Interface"}, {28, "SLIP Interface"},
        {37, "ATM Interface"},       {71, "Wireless Interface"},          {131, "Tunneling Interface"},
        {144, "Firewire Interface"}, {1, "Other/Unknown Interface"},      {7, "Other/Unknown Interface"}};
    for (const auto& [code, text] : types)
        EXPECT_EQ(InterfaceTypeToText(code), text) << code;
    const char* status[] = {"LAN adapter has been disabled",
                            "WAN adapter is not connected",
                            "Network cable disconnected/no carrier",
                            "Connecting",
                            "Connected",
                            "Operational",
                            "n/a"};
    for (uint32_t i = 0; i < 7; ++i)
        EXPECT_EQ(OperStatusToText(i), status[i]) << i;
    const std::pair<uint32_t, const char*> nodes[] = {{0, "UNKNOWN"}, {1, "BROADCAST"}, {2, "PEER_TO_PEER"},
                                                      {3, ""},        {4, "MIXED"},     {5, ""},
                                                      {8, "HYBRID"},  {9, ""}};
    for (const auto& [code, text] : nodes)
        EXPECT_EQ(NodeTypeToText(code), text) << code;
}

TEST_F(NetworkInfoTest, WithOnlyWithIPEveryAddressGivesOneAddressMaskLine) {
    auto info = Create(false, true);
    EXPECT_TRUE(info->Valid());
    EXPECT_EQ(
        info->IpMaskList(),
        (std::vector<std::string>{"10.0.0.5/255.0.0.0", "192.168.1.20/255.255.255.0", "0.0.0.0/0.0.0.0"}));
    ASSERT_EQ(info->Interfaces().size(), 2u); // loopback and the interface without address dropped
    EXPECT_EQ(info->Interfaces()[0].Key, "2");
    EXPECT_EQ(info->Interfaces()[0].FirstAddressText, "10.0.0.5");
    EXPECT_EQ(info->Interfaces()[0].MacText, "00-1A-2B-3C-4D-5E");
    EXPECT_EQ(info->Interfaces()[0].Description, "eth2");
    EXPECT_TRUE(info->Interfaces()[0].Connected);
    EXPECT_EQ(info->Interfaces()[1].Key, "4");
    EXPECT_EQ(info->IpAddresses(), (std::vector<std::string>{"0.0.0.0", "10.0.0.5"}));
}

TEST_F(NetworkInfoTest, WithoutOnlyWithIPTheInterfacesAreListedButNoAddressMaskLines) {
    auto info = Create(false, false);
    EXPECT_TRUE(info->IpMaskList().empty());
    ASSERT_EQ(info->Interfaces().size(), 3u);
    EXPECT_EQ(info->Interfaces()[1].Key, "3");
    EXPECT_EQ(info->Interfaces()[1].FirstAddressText, "");
    EXPECT_FALSE(info->Interfaces()[1].Reachable);
    EXPECT_EQ(info->IpAddresses(), (std::vector<std::string>{"", "0.0.0.0", "10.0.0.5"}));
}

TEST_F(NetworkInfoTest, LoopbackIsListedOnlyWhenNotSkipped) {
    auto info = Create(false, true);
    info->SetSkipLoopback(false);
    info->ReadNicList(false);
    ASSERT_EQ(info->Interfaces().size(), 3u);
    EXPECT_EQ(info->Interfaces()[0].FirstAddressText, "127.0.0.1");
    EXPECT_EQ(info->Interfaces()[0].MacText, "00-00-00-00-00-00");
    EXPECT_EQ(info->IpMaskList().front(), "127.0.0.1/255.0.0.0");
}

TEST_F(NetworkInfoTest, ReadsTheSystemDescriptionAndParameters) {
    auto info = Create(false, true);
    info->Refresh();
    EXPECT_EQ(info->WinsockVersion(), "Linux 6.1.0-test");
    EXPECT_EQ(info->WinsockStatus(), "Running");
    EXPECT_EQ(info->WinsockVendor(), "n/a");
    EXPECT_EQ(info->HostName(), "testhost");
    EXPECT_EQ(info->NodeType(), "HYBRID");
    EXPECT_EQ(info->DnsServers(), (std::vector<std::string>{"10.0.0.1", "10.0.0.2"}));
}

TEST_F(NetworkInfoTest, ConstructionFailsWithTheReadError) {
    state_.SocketFail = true;
    try {
        Create(false, true);
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "No information available about WinSocket!");
    }
    state_.SocketFail = false;
    state_.ParamsFail = true;
    EXPECT_THROW(Create(false, true), std::runtime_error);
}

TEST_F(NetworkInfoTest, AFailedRefreshLeavesInvalidAndNotAvailableTexts) {
    auto info = Create(false, true);
    state_.ParamsFail = true;
    state_.TablesFail = true;
    info->Refresh();
    EXPECT_FALSE(info->Valid());
    EXPECT_EQ(info->HostName(), "n/a");
    EXPECT_EQ(info->LastError(), "The network parameters cannot be read.");
    EXPECT_TRUE(info->Interfaces().empty());
    EXPECT_TRUE(info->IpMaskList().empty());
}

TEST_F(NetworkInfoTest, TheWatchReportsAChangeWithinOneIntervalButNeverOnItsFirstPoll) {
    state_.Tables.Interfaces[2].OperStatus = 2;
    auto info = Create(true, true);
    EXPECT_TRUE(info->Watching());
    int changes = 0;
    info->OnInterfacesChanged = [&] { ++changes; };
    loop_.Advance(3000);
    EXPECT_EQ(changes, 0);

    // A cable is plugged and the interface gets an address.
    state_.Tables.Interfaces[2].OperStatus = 5;
    state_.Tables.Addresses.push_back(Addr(3, Ip(172, 16, 0, 9), Ip(255, 255, 0, 0)));
    loop_.Advance(1000);
    EXPECT_EQ(changes, 1);
    // Interfaces in table order, each with its addresses.
    EXPECT_EQ(info->IpMaskList(),
              (std::vector<std::string>{"10.0.0.5/255.0.0.0", "192.168.1.20/255.255.255.0",
                                        "172.16.0.9/255.255.0.0", "0.0.0.0/0.0.0.0"}));
    loop_.Advance(5000);
    EXPECT_EQ(changes, 1);
}

TEST_F(NetworkInfoTest, EveryPartOfTheSignatureCountsAsAChange) {
    using TChange = void (*)(TNetTables&);
    const TChange changes[] = {
        [](TNetTables& t) { t.Interfaces.pop_back(); },
        [](TNetTables& t) { t.Interfaces.push_back(Row(9, 6, 5)); },
        [](TNetTables& t) { std::swap(t.Interfaces[1], t.Interfaces[2]); },
        [](TNetTables& t) { t.Interfaces[1].Index = 12; },
        [](TNetTables& t) { t.Interfaces[1].Speed = 100000000; },
        [](TNetTables& t) { t.Addresses.pop_back(); },
        [](TNetTables& t) { t.Addresses[1].Mask = Ip(255, 255, 0, 0); },
        [](TNetTables& t) { t.Addresses[1].Type = 4; },
        [](TNetTables& t) { t.Addresses[1].Address = Ip(10, 0, 0, 6); },
    };
    for (size_t i = 0; i < std::size(changes); ++i) {
        SCOPED_TRACE(i);
        state_.Tables = StandardTables();
        auto info = Create(true, true);
        int reports = 0;
        info->OnInterfacesChanged = [&] { ++reports; };
        changes[i](state_.Tables);
        loop_.Advance(1000);
        EXPECT_EQ(reports, 1);
    }
    // What the signature leaves out is no change.
    state_.Tables = StandardTables();
    auto info = Create(true, true);
    int reports = 0;
    info->OnInterfacesChanged = [&] { ++reports; };
    state_.Tables.Interfaces[1].Mtu = 9000;
    state_.Tables.Interfaces[1].Description = "renamed";
    loop_.Advance(1000);
    EXPECT_EQ(reports, 0);
}

TEST_F(NetworkInfoTest, AnUnreadableOrEmptyTableIsNoChangeAndLeavesTheLists) {
    auto info = Create(true, true);
    int reports = 0;
    info->OnInterfacesChanged = [&] { ++reports; };
    state_.TablesFail = true;
    loop_.Advance(2000);
    state_.TablesFail = false;
    const TNetTables saved = state_.Tables;
    state_.Tables.Interfaces.clear();
    loop_.Advance(2000);
    EXPECT_EQ(reports, 0);
    EXPECT_EQ(info->IpMaskList().size(), 3u);
    state_.Tables = saved;
    loop_.Advance(1000);
    EXPECT_EQ(reports, 0); // the same table as before the gap
}

TEST_F(NetworkInfoTest, StoppingTheWatchEndsThePolls) {
    auto info = Create(true, true);
    info->SetWatching(true); // already on: nothing
    EXPECT_EQ(loop_.TimerCount(), 1u);
    info->SetWatching(false);
    EXPECT_FALSE(info->Watching());
    EXPECT_EQ(loop_.TimerCount(), 0u);
    const int reads = state_.TableReads;
    loop_.Advance(5000);
    EXPECT_EQ(state_.TableReads, reads);
    info->SetWatching(true);
    info.reset(); // destruction stops the watch
    EXPECT_EQ(loop_.TimerCount(), 0u);
}

TEST(SystemNetworkSourceTest, EveryAddressBelongsToAListedInterface) {
    // The machine's own table; only its consistency is checked.
    auto source = MakeSystemNetworkSource();
    TNetTables tables;
    std::string error;
    if (!source->ReadTables(tables, error)) GTEST_SKIP() << error;
    for (const TIpAddrRow& a : tables.Addresses) {
        const bool listed = std::any_of(tables.Interfaces.begin(), tables.Interfaces.end(),
                                        [&](const TIfRow& r) { return r.Index == a.InterfaceIndex; });
        EXPECT_TRUE(listed) << IpAddressToStr(a.Address);
    }
    for (size_t i = 1; i < tables.Addresses.size(); ++i) {
        auto key = [](uint32_t v) {
            return (v & 0xFF) << 24 | (v >> 8 & 0xFF) << 16 | (v >> 16 & 0xFF) << 8 | v >> 24;
        };
        EXPECT_LE(key(tables.Addresses[i - 1].Address), key(tables.Addresses[i].Address));
    }
    TSocketInfo socket;
    EXPECT_TRUE(source->ReadSocketInfo(socket));
    EXPECT_EQ(socket.Version.rfind("Linux ", 0), 0u) << socket.Version;
}

} // namespace
} // namespace qrb::ui
