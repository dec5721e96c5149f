#pragma once
// The computer's own network: every interface with its IPv4 addresses and, above all, the list
// of local address/mask pairs on which the LAN setup searches for amplifiers. A watch polls the
// interface table on the main loop and re-reads the lists when it changes.

#include "device/MainLoop.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace qrb::ui {

// One IPv4 address row. Addresses hold the first octet in the lowest byte.
struct TIpAddrRow {
    uint32_t Address = 0;
    uint32_t InterfaceIndex = 0;
    uint32_t Mask = 0;
    uint32_t Broadcast = 0;
    uint32_t ReasmSize = 0;
    uint16_t Type = 0; // 1 primary, 4 dynamic, 8 on a disconnected interface, 64 deleted, 128 transient
};

// One interface row.
struct TIfRow {
    uint32_t Index = 0;
    uint32_t Type = 1; // 6 Ethernet, 24 loopback, 71 wireless ... (1 other)
    uint32_t Mtu = 0;
    uint32_t Speed = 0; // bits per second
    std::vector<uint8_t> PhysAddress;
    uint32_t OperStatus = 0; // 0 disabled .. 5 operational
    std::string Description;
};

// The interface and address tables of one read.
struct TNetTables {
    std::vector<TIfRow> Interfaces;    // table order
    std::vector<TIpAddrRow> Addresses; // sorted by address
};

struct TNetworkParams {
    std::string HostName;
    std::string DomainName;
    std::vector<std::string> DnsServers;
    uint32_t NodeType = 0;
    std::string ScopeId;
    bool RoutingEnabled = false;
    bool ProxyEnabled = false;
    bool DnsEnabled = false;
};

// What stands in for the socket library's description on this system.
struct TSocketInfo {
    std::string Version;
    std::string Description;
    std::string Status;
    std::string Vendor; // empty when there is none
};

// Where the information comes from: the system, or a fixed table in tests.
class TNetworkSource {
public:
    virtual ~TNetworkSource() = default;
    // False (error set) when the tables cannot be read.
    virtual bool ReadTables(TNetTables& tables, std::string& error) = 0;
    virtual bool ReadNetworkParams(TNetworkParams& params, std::string& error) = 0;
    virtual bool ReadSocketInfo(TSocketInfo& info) = 0;
};

// The Linux source: getifaddrs for interfaces and IPv4 addresses, sysfs for MTU, speed and
// wireless, uname for the kernel, resolv.conf for the DNS servers.
std::unique_ptr<TNetworkSource> MakeSystemNetworkSource();

// Texts of the values above.
std::string MacAddressToStr(std::span<const uint8_t> bytes); // "00-00-00-00-00-00" when empty
std::string IpAddressToStr(uint32_t address);                // lowest byte first, "a.b.c.d"
std::string AddressTypeToText(uint16_t type);
std::string InterfaceTypeToText(uint32_t type);
std::string OperStatusToText(uint32_t status);
std::string NodeTypeToText(uint32_t type);

// One IPv4 address of an interface.
struct TIPInfo {
    uint32_t Address = 0, InterfaceIndex = 0, Mask = 0, Broadcast = 0, ReasmSize = 0;
    uint16_t Type = 0;
    std::string AddressText, MaskText, BroadcastText, TypeText;

    static TIPInfo FromRow(const TIpAddrRow& row);
};

// The addresses of one interface, in the table's order.
std::vector<TIPInfo> FillIpInfoList(uint32_t interfaceIndex, const std::vector<TIpAddrRow>& rows);

// One interface.
struct TNicInfo {
    std::string Key; // the decimal interface index
    std::string FirstAddressText;
    std::vector<TIPInfo> Addresses;
    std::string MacText;
    std::string TypeText;
    uint32_t Index = 0, Mtu = 0, Speed = 0;
    uint32_t OperStatus = 0;
    std::string OperStatusText;
    bool Reachable = false; // status 1, 3, 4 or 5
    bool Connected = false; // status 4 or 5
    std::string Description;
    // Adapter details that Linux does not have; always empty or False.
    std::string AdapterName, PrimaryWins, SecondaryWins;
    bool DhcpEnabled = false, HasWins = false;

    static TNicInfo FromRow(const TIfRow& row, const std::vector<TIpAddrRow>& addresses);
};

// "index|status|speed" then "|address|mask|type" per address, as signed decimals.
std::string BuildSignature(const TIfRow& row, const std::vector<TIpAddrRow>& addresses);

class TNetworkInfo {
public:
    static constexpr uint32_t DefaultInterval = 1000;

    // The plain construction: reads the network parameters, the socket information and the
    // interfaces; throws std::runtime_error with LastError when the first two fail.
    explicit TNetworkInfo(std::unique_ptr<TNetworkSource> source);
    // The construction the main window uses (it passes true, 1000, true).
    static std::unique_ptr<TNetworkInfo> CreateWithWatch(bool watch, uint32_t interval, bool onlyWithIP,
                                                         std::unique_ptr<TNetworkSource> source);
    ~TNetworkInfo();
    TNetworkInfo(const TNetworkInfo&) = delete;
    TNetworkInfo& operator=(const TNetworkInfo&) = delete;

    // Reads everything again; never fails (a failed read leaves Valid false and "n/a" texts).
    void Refresh();
    void ReadSocketInfo();
    void ReadNetworkParams();
    // Reads the interfaces into Interfaces, IpAddresses and IpMaskList; the interface-list
    // notification follows when notify is set.
    void ReadNicList(bool notify);

    // Starts or stops the watch (a periodic poll on the main loop; the first poll runs at once
    // and only records the table). Asking for the state already held does nothing.
    void SetWatching(bool on);
    // Called by the watch when the table changed: the interfaces are read again.
    void NetworkChanged();

    bool Valid() const { return valid_; }
    bool Watching() const { return watchTimer_ != 0; }
    uint32_t Interval() const { return interval_; }
    void SetInterval(uint32_t ms) { interval_ = ms; }
    const std::string& LastError() const { return lastError_; }
    // The socket library's texts in the original; here the kernel's name and release.
    const std::string& WinsockVersion() const { return winsockVersion_; }
    const std::string& WinsockDescription() const { return winsockDescription_; }
    const std::string& WinsockStatus() const { return winsockStatus_; }
    const std::string& WinsockVendor() const { return winsockVendor_; }
    const std::string& HostName() const { return hostName_; }
    const std::string& DomainName() const { return domainName_; }
    const std::string& NodeType() const { return nodeType_; }
    const std::string& ScopeId() const { return scopeId_; }
    bool RoutingEnabled() const { return routingEnabled_; }
    bool ProxyEnabled() const { return proxyEnabled_; }
    bool DnsEnabled() const { return dnsEnabled_; }
    const std::vector<std::string>& DnsServers() const { return dnsServers_; }
    const std::vector<std::string>& IpAddresses() const { return ipAddresses_; } // sorted
    const std::vector<TNicInfo>& Interfaces() const { return interfaces_; }
    const std::vector<std::string>& IpMaskList() const { return ipMaskList_; } // "address/mask"
    bool OnlyWithIP() const { return onlyWithIP_; }
    void SetOnlyWithIP(bool on) { onlyWithIP_ = on; }
    bool SkipLoopback() const { return skipLoopback_; }
    void SetSkipLoopback(bool on) { skipLoopback_ = on; }

    // The interface-list notification (after a read with notification and after a change).
    std::function<void()> OnInterfacesChanged;

private:
    void Poll();

    std::unique_ptr<TNetworkSource> source_;
    bool valid_ = false;
    uint32_t interval_ = DefaultInterval;
    std::string lastError_;
    std::string winsockVersion_ = "n/a", winsockDescription_ = "n/a", winsockStatus_ = "n/a",
                winsockVendor_ = "n/a";
    std::string hostName_ = "n/a", domainName_ = "n/a", nodeType_ = "n/a", scopeId_ = "n/a";
    bool routingEnabled_ = false, proxyEnabled_ = false, dnsEnabled_ = false;
    std::vector<std::string> dnsServers_;
    std::vector<std::string> ipAddresses_;
    std::vector<TNicInfo> interfaces_;
    std::vector<std::string> ipMaskList_;
    bool onlyWithIP_ = false;
    bool skipLoopback_ = true;

    // Watch state.
    device::TMainLoop* watchLoop_ = nullptr;
    device::TTimerId watchTimer_ = 0;
    bool firstRun_ = true;
    std::vector<std::string> previousSignatures_;
};

} // namespace qrb::ui
