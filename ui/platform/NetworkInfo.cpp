#include "ui/platform/NetworkInfo.h"

#include "device/Cp1252.h"
#include "device/FileUtil.h"
#include "device/Format.h"
#include "device/Helpers.h"
#include "device/StringList.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <map>
#include <net/if.h>
#include <net/if_arp.h>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace qrb::ui {

using device::Format;

namespace {

// First octet in the lowest byte, whatever the host's byte order.
uint32_t AddressValue(const in_addr& a) {
    const auto* b = reinterpret_cast<const uint8_t*>(&a.s_addr);
    return uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
}

// Dotted order (first octet most significant), the order of a sorted address table.
uint32_t SortKey(uint32_t address) {
    return (address & 0xFF) << 24 | (address >> 8 & 0xFF) << 16 | (address >> 16 & 0xFF) << 8 | address >> 24;
}

std::string Trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ')
        ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ')
        --e;
    return std::string(s.substr(b, e - b));
}

// A short sysfs or proc file, trimmed; empty when it cannot be read.
std::string ReadSmallFile(const std::string& path) {
    std::string bytes, error;
    if (!device::ReadFileBytes(path, bytes, error, 4096)) return {};
    return Trim(bytes);
}

bool SafeInterfaceName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

uint32_t InterfaceTypeOf(unsigned short hatype, bool wireless) {
    switch (hatype) {
    case ARPHRD_ETHER:
        return wireless ? 71 : 6;
    case ARPHRD_IEEE802_TR:
        return 9;
    case ARPHRD_FDDI:
        return 15;
    case ARPHRD_PPP:
        return 23;
    case ARPHRD_LOOPBACK:
        return 24;
    case ARPHRD_SLIP:
    case ARPHRD_CSLIP:
        return 28;
    case ARPHRD_ATM:
        return 37;
    case ARPHRD_IEEE80211:
    case ARPHRD_IEEE80211_PRISM:
    case ARPHRD_IEEE80211_RADIOTAP:
        return 71;
    case ARPHRD_TUNNEL:
    case ARPHRD_TUNNEL6:
    case ARPHRD_SIT:
    case ARPHRD_IPGRE:
    case ARPHRD_NONE:
        return 131;
    case ARPHRD_IEEE1394:
        return 144;
    default:
        return 1;
    }
}

// Linux link state in the platform's operational status values.
uint32_t OperStatusOf(unsigned flags) {
    if (!(flags & IFF_UP)) return 0;      // disabled
    if (!(flags & IFF_RUNNING)) return 2; // no carrier
    return 5;                             // operational
}

class TSystemNetworkSource : public TNetworkSource {
public:
    bool ReadTables(TNetTables& tables, std::string& error) override {
        tables = {};
        ifaddrs* list = nullptr;
        if (::getifaddrs(&list) != 0) {
            error = std::strerror(errno);
            return false;
        }
        struct TLink {
            TIfRow Row;
            unsigned Flags = 0;
            unsigned short HaType = 0xFFFF;
            std::string Name;
        };
        std::map<uint32_t, TLink> links;
        std::vector<TIpAddrRow> addresses;
        for (const ifaddrs* ifa = list; ifa != nullptr; ifa = ifa->ifa_next) {
            if (ifa->ifa_name == nullptr || ifa->ifa_addr == nullptr) continue;
            std::string name = ifa->ifa_name;
            // An address label ("eth0:1") belongs to its interface.
            const std::string base = name.substr(0, name.find(':'));
            if (ifa->ifa_addr->sa_family == AF_PACKET) {
                const auto* ll = reinterpret_cast<const sockaddr_ll*>(ifa->ifa_addr);
                if (ll->sll_ifindex <= 0) continue;
                TLink& link = links[static_cast<uint32_t>(ll->sll_ifindex)];
                link.Row.Index = static_cast<uint32_t>(ll->sll_ifindex);
                link.HaType = ll->sll_hatype;
                const size_t len = std::min<size_t>(ll->sll_halen, sizeof ll->sll_addr);
                link.Row.PhysAddress.assign(ll->sll_addr, ll->sll_addr + len);
                link.Flags = ifa->ifa_flags;
                link.Name = base;
            } else if (ifa->ifa_addr->sa_family == AF_INET) {
                const unsigned index = ::if_nametoindex(base.c_str());
                if (index == 0) continue;
                TLink& link = links[index];
                if (link.Name.empty()) {
                    link.Row.Index = index;
                    link.Flags = ifa->ifa_flags;
                    link.Name = base;
                }
                TIpAddrRow row;
                row.Address = AddressValue(reinterpret_cast<const sockaddr_in*>(ifa->ifa_addr)->sin_addr);
                if (ifa->ifa_netmask != nullptr && ifa->ifa_netmask->sa_family == AF_INET)
                    row.Mask = AddressValue(reinterpret_cast<const sockaddr_in*>(ifa->ifa_netmask)->sin_addr);
                if ((ifa->ifa_flags & IFF_BROADCAST) && ifa->ifa_broadaddr != nullptr &&
                    ifa->ifa_broadaddr->sa_family == AF_INET)
                    row.Broadcast =
                        AddressValue(reinterpret_cast<const sockaddr_in*>(ifa->ifa_broadaddr)->sin_addr);
                row.InterfaceIndex = index;
                row.ReasmSize = 65535;
                row.Type = (ifa->ifa_flags & IFF_RUNNING) ? 1 : 8;
                addresses.push_back(row);
            }
        }
        ::freeifaddrs(list);

        for (auto& [index, link] : links) {
            TIfRow& row = link.Row;
            row.Description = link.Name;
            row.OperStatus = OperStatusOf(link.Flags);
            bool wireless = false;
            if (SafeInterfaceName(link.Name)) {
                const std::string dir = "/sys/class/net/" + link.Name + "/";
                wireless = device::DirectoryExists(dir + "wireless");
                int32_t mtu = 0;
                if (device::TryStrToInt(ReadSmallFile(dir + "mtu"), mtu) && mtu > 0)
                    row.Mtu = static_cast<uint32_t>(mtu);
                int32_t mbits = 0;
                if (device::TryStrToInt(ReadSmallFile(dir + "speed"), mbits) && mbits > 0)
                    row.Speed = static_cast<uint32_t>(
                        std::min<uint64_t>(uint64_t{static_cast<uint32_t>(mbits)} * 1000000u, 0xFFFFFFFFu));
            }
            if (link.HaType != 0xFFFF)
                row.Type = InterfaceTypeOf(link.HaType, wireless);
            else
                row.Type = (link.Flags & IFF_LOOPBACK) ? 24 : 1;
            tables.Interfaces.push_back(row);
        }
        std::stable_sort(addresses.begin(), addresses.end(), [](const TIpAddrRow& a, const TIpAddrRow& b) {
            return SortKey(a.Address) < SortKey(b.Address);
        });
        tables.Addresses = std::move(addresses);
        return true;
    }

    bool ReadNetworkParams(TNetworkParams& params, std::string& error) override {
        params = {};
        char buffer[256] = {};
        if (::gethostname(buffer, sizeof buffer - 1) != 0) {
            error = std::strerror(errno);
            return false;
        }
        params.HostName = buffer;
        char domain[256] = {};
        if (::getdomainname(domain, sizeof domain - 1) == 0 && std::strcmp(domain, "(none)") != 0)
            params.DomainName = domain;
        std::string resolv, ignored;
        if (device::ReadFileBytes("/etc/resolv.conf", resolv, ignored, 65536)) {
            size_t start = 0;
            while (start < resolv.size()) {
                size_t end = resolv.find('\n', start);
                if (end == std::string::npos) end = resolv.size();
                const std::string line = Trim(std::string_view(resolv).substr(start, end - start));
                if (line.rfind("nameserver", 0) == 0 && line.size() > 10 &&
                    (line[10] == ' ' || line[10] == '\t'))
                    params.DnsServers.push_back(Trim(std::string_view(line).substr(10)));
                start = end + 1;
            }
        }
        params.DnsEnabled = !params.DnsServers.empty();
        params.RoutingEnabled = ReadSmallFile("/proc/sys/net/ipv4/ip_forward") == "1";
        return true;
    }

    bool ReadSocketInfo(TSocketInfo& info) override {
        struct utsname u {};
        if (::uname(&u) != 0) return false;
        info.Version = device::GetKernelVersionText();
        info.Description = std::string(u.sysname) + " " + u.release + " " + u.version;
        info.Status = "Running";
        info.Vendor.clear();
        return true;
    }
};

void AddSorted(std::vector<std::string>& list, const std::string& text) {
    auto it =
        std::lower_bound(list.begin(), list.end(), text, [](const std::string& a, const std::string& b) {
            return device::CompareText(a, b) < 0;
        });
    if (it != list.end() && device::CompareText(*it, text) == 0) return; // duplicates ignored
    list.insert(it, text);
}

} // namespace

std::unique_ptr<TNetworkSource> MakeSystemNetworkSource() {
    return std::make_unique<TSystemNetworkSource>();
}

std::string MacAddressToStr(std::span<const uint8_t> bytes) {
    if (bytes.empty()) return "00-00-00-00-00-00";
    std::string text;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0) text += '-';
        text += device::IntToHex(bytes[i], 2);
    }
    return text;
}

std::string IpAddressToStr(uint32_t address) {
    return Format("%d.%d.%d.%d", address & 0xFF, address >> 8 & 0xFF, address >> 16 & 0xFF, address >> 24);
}

std::string AddressTypeToText(uint16_t type) {
    switch (type) {
    case 1:
        return "Primary IP address";
    case 4:
        return "Dynamic IP address";
    case 8:
        return "Address is on disconnected interface";
    case 64:
        return "Address is being deleted";
    case 128:
        return "Transient address";
    default:
        return "unknown addresstype";
    }
}

std::string InterfaceTypeToText(uint32_t type) {
    switch (type) {
    case 6:
        return "Ethernet Interface";
    case 9:
        return "Token Ring Interface";
    case 15:
        return "FDDI Interface";
    case 23:
        return "PPP Interface";
    case 24:
        return "Software Loopback Interface";
    case 28:
        return "SLIP Interface";
    case 37:
        return "ATM Interface";
    case 71:
        return "Wireless Interface";
    case 131:
        return "Tunneling Interface";
    case 144:
        return "Firewire Interface";
    default:
        return "Other/Unknown Interface";
    }
}

std::string OperStatusToText(uint32_t status) {
    switch (status) {
    case 0:
        return "LAN adapter has been disabled";
    case 1:
        return "WAN adapter is not connected";
    case 2:
        return "Network cable disconnected/no carrier";
    case 3:
        return "Connecting";
    case 4:
        return "Connected";
    case 5:
        return "Operational";
    default:
        return "n/a";
    }
}

std::string NodeTypeToText(uint32_t type) {
    switch (type) {
    case 0:
        return "UNKNOWN";
    case 1:
        return "BROADCAST";
    case 2:
        return "PEER_TO_PEER";
    case 4:
        return "MIXED";
    case 8:
        return "HYBRID";
    default:
        return "";
    }
}

TIPInfo TIPInfo::FromRow(const TIpAddrRow& row) {
    TIPInfo info;
    info.Address = row.Address;
    info.InterfaceIndex = row.InterfaceIndex;
    info.Mask = row.Mask;
    info.Broadcast = row.Broadcast;
    info.ReasmSize = row.ReasmSize;
    info.Type = row.Type;
    info.AddressText = IpAddressToStr(row.Address);
    info.MaskText = IpAddressToStr(row.Mask);
    info.BroadcastText = IpAddressToStr(row.Broadcast);
    info.TypeText = AddressTypeToText(row.Type);
    return info;
}

std::vector<TIPInfo> FillIpInfoList(uint32_t interfaceIndex, const std::vector<TIpAddrRow>& rows) {
    std::vector<TIPInfo> list;
    for (const TIpAddrRow& row : rows)
        if (row.InterfaceIndex == interfaceIndex) list.push_back(TIPInfo::FromRow(row));
    return list;
}

TNicInfo TNicInfo::FromRow(const TIfRow& row, const std::vector<TIpAddrRow>& addresses) {
    TNicInfo nic;
    nic.Index = row.Index;
    nic.Key = std::to_string(row.Index);
    nic.Addresses = FillIpInfoList(row.Index, addresses);
    nic.FirstAddressText = nic.Addresses.empty() ? std::string() : nic.Addresses.front().AddressText;
    nic.MacText = MacAddressToStr(row.PhysAddress);
    nic.TypeText = InterfaceTypeToText(row.Type);
    nic.Mtu = row.Mtu;
    nic.Speed = row.Speed;
    nic.OperStatus = row.OperStatus;
    nic.OperStatusText = OperStatusToText(row.OperStatus);
    nic.Reachable = row.OperStatus == 1 || row.OperStatus == 3 || row.OperStatus == 4 || row.OperStatus == 5;
    nic.Connected = row.OperStatus == 4 || row.OperStatus == 5;
    nic.Description = Trim(row.Description);
    return nic;
}

std::string BuildSignature(const TIfRow& row, const std::vector<TIpAddrRow>& addresses) {
    std::string s = Format("%d|%d|%d", static_cast<int32_t>(row.Index), static_cast<int32_t>(row.OperStatus),
                           static_cast<int32_t>(row.Speed));
    for (const TIpAddrRow& a : addresses)
        if (a.InterfaceIndex == row.Index)
            s += Format("|%d|%d|%d", static_cast<int32_t>(a.Address), static_cast<int32_t>(a.Mask),
                        static_cast<int32_t>(a.Type));
    return s;
}

TNetworkInfo::TNetworkInfo(std::unique_ptr<TNetworkSource> source) : source_(std::move(source)) {
    if (!source_) throw std::runtime_error("No network information source");
    ReadNetworkParams();
    if (!valid_) throw std::runtime_error(lastError_);
    ReadSocketInfo();
    if (!valid_) throw std::runtime_error(lastError_);
    onlyWithIP_ = false;
    skipLoopback_ = true;
    ReadNicList(false);
}

std::unique_ptr<TNetworkInfo> TNetworkInfo::CreateWithWatch(bool watch, uint32_t interval, bool onlyWithIP,
                                                            std::unique_ptr<TNetworkSource> source) {
    auto info = std::make_unique<TNetworkInfo>(std::move(source));
    info->onlyWithIP_ = onlyWithIP;
    info->ReadNicList(false);
    info->interval_ = interval;
    info->SetWatching(watch);
    return info;
}

TNetworkInfo::~TNetworkInfo() {
    SetWatching(false);
}

void TNetworkInfo::Refresh() {
    ReadSocketInfo();
    ReadNetworkParams();
    ReadNicList(true);
}

void TNetworkInfo::ReadSocketInfo() {
    winsockVersion_ = winsockDescription_ = winsockStatus_ = winsockVendor_ = "n/a";
    TSocketInfo info;
    valid_ = source_->ReadSocketInfo(info);
    if (!valid_) {
        lastError_ = "No information available about WinSocket!";
        return;
    }
    winsockVersion_ = info.Version;
    winsockDescription_ = info.Description;
    winsockStatus_ = info.Status;
    winsockVendor_ = info.Vendor.empty() ? "n/a" : info.Vendor;
}

void TNetworkInfo::ReadNetworkParams() {
    valid_ = false;
    dnsServers_.clear();
    TNetworkParams params;
    std::string error;
    if (!source_->ReadNetworkParams(params, error)) {
        hostName_ = domainName_ = nodeType_ = scopeId_ = "n/a";
        routingEnabled_ = proxyEnabled_ = dnsEnabled_ = false;
        lastError_ = error;
        return;
    }
    hostName_ = device::Utf8Cut(params.HostName, 132);
    domainName_ = device::Utf8Cut(params.DomainName, 132);
    nodeType_ = NodeTypeToText(params.NodeType);
    scopeId_ = device::Utf8Cut(params.ScopeId, 260);
    for (const std::string& server : params.DnsServers)
        if (!Trim(server).empty()) dnsServers_.push_back(server);
    routingEnabled_ = params.RoutingEnabled;
    proxyEnabled_ = params.ProxyEnabled;
    dnsEnabled_ = params.DnsEnabled;
    valid_ = true;
}

void TNetworkInfo::ReadNicList(bool notify) {
    interfaces_.clear();
    ipMaskList_.clear();
    ipAddresses_.clear();
    TNetTables tables;
    std::string error;
    if (source_->ReadTables(tables, error)) {
        for (const TIfRow& row : tables.Interfaces) {
            TNicInfo nic = TNicInfo::FromRow(row, tables.Addresses);
            if (nic.FirstAddressText == "127.0.0.1" && skipLoopback_) continue;
            if (onlyWithIP_) {
                if (nic.Addresses.empty()) continue;
                AddSorted(ipAddresses_, nic.FirstAddressText);
                for (const TIPInfo& ip : nic.Addresses)
                    ipMaskList_.push_back(Format("%s/%s", ip.AddressText, ip.MaskText));
            } else {
                AddSorted(ipAddresses_, nic.FirstAddressText);
            }
            interfaces_.push_back(std::move(nic));
        }
    }
    if (notify && OnInterfacesChanged) OnInterfacesChanged();
}

void TNetworkInfo::SetWatching(bool on) {
    if (on == Watching()) return;
    if (!on) {
        watchLoop_->StopTimer(watchTimer_);
        watchTimer_ = 0;
        watchLoop_ = nullptr;
        return;
    }
    firstRun_ = true;
    previousSignatures_.clear();
    watchLoop_ = &device::MainLoop();
    watchTimer_ = watchLoop_->StartTimer(std::max<uint32_t>(interval_, 1), [this] { Poll(); });
    Poll();
}

void TNetworkInfo::NetworkChanged() {
    ReadNicList(true);
}

void TNetworkInfo::Poll() {
    TNetTables tables;
    std::string error;
    if (!source_->ReadTables(tables, error) || tables.Interfaces.empty()) return;
    std::vector<std::string> signatures;
    signatures.reserve(tables.Interfaces.size());
    for (const TIfRow& row : tables.Interfaces)
        signatures.push_back(BuildSignature(row, tables.Addresses));
    if (firstRun_) {
        firstRun_ = false;
        previousSignatures_ = std::move(signatures);
        return;
    }
    if (signatures != previousSignatures_) {
        previousSignatures_ = std::move(signatures);
        NetworkChanged();
    }
}

} // namespace qrb::ui
