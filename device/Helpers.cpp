#include "device/Helpers.h"

#include "device/FileUtil.h"

#include <charconv>
#include <cstdlib>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace qrb::device {

namespace {

std::string DottedDecimal(const std::array<uint8_t, 4>& a) {
    return std::to_string(a[0]) + "." + std::to_string(a[1]) + "." + std::to_string(a[2]) + "." +
           std::to_string(a[3]);
}

bool IsAbsolute(const char* path) {
    return path != nullptr && path[0] == '/';
}

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    if (IsAbsolute(home)) return home;
    std::string buf(16384, '\0');
    passwd pw{};
    passwd* result = nullptr;
    if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &result) == 0 && result != nullptr &&
        IsAbsolute(result->pw_dir))
        return result->pw_dir;
    return {};
}

std::string WithoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    }
    return true;
}

// A version component as the build declared it: empty counts as 0, anything else must be a
// decimal number.
bool ParseComponent(std::string_view text, uint32_t& value) {
    if (text.empty()) {
        value = 0;
        return true;
    }
    const auto res = std::from_chars(text.data(), text.data() + text.size(), value);
    return res.ec == std::errc() && res.ptr == text.data() + text.size();
}

#define QRB_HELPERS_STR2(x) #x
#define QRB_HELPERS_STR(x) QRB_HELPERS_STR2(x)

} // namespace

std::string GetLocalIPAddresses(const std::vector<TInterfaceAddress>& table) {
    std::string text;
    for (const TInterfaceAddress& entry : table) {
        if (entry.Family != AF_INET) continue;
        if ((entry.Flags & IFF_UP) == 0 || (entry.Flags & IFF_LOOPBACK) != 0) continue;
        if (!text.empty()) text += " , ";
        text += DottedDecimal(entry.Address);
    }
    return text;
}

std::string GetLocalIPAddresses() {
    return GetLocalIPAddresses(ReadInterfaceTable());
}

std::vector<TInterfaceAddress> ReadInterfaceTable() {
    std::vector<TInterfaceAddress> table;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return table;
    for (const ifaddrs* it = list; it != nullptr; it = it->ifa_next) {
        TInterfaceAddress entry;
        entry.Name = it->ifa_name != nullptr ? it->ifa_name : "";
        entry.Flags = it->ifa_flags;
        entry.Family = it->ifa_addr != nullptr ? it->ifa_addr->sa_family : AF_UNSPEC;
        if (entry.Family == AF_INET) {
            const auto* sin = reinterpret_cast<const sockaddr_in*>(it->ifa_addr);
            const auto* bytes = reinterpret_cast<const uint8_t*>(&sin->sin_addr.s_addr);
            for (size_t i = 0; i < 4; ++i)
                entry.Address[i] = bytes[i];
        }
        table.push_back(std::move(entry));
    }
    ::freeifaddrs(list);
    return table;
}

std::string GetKernelVersionText() {
    utsname u{};
    if (::uname(&u) != 0) return "n/a";
    return std::string(u.sysname) + " " + u.release;
}

std::string GetSpecialFolder(int csidl) {
    if (csidl != CSIDL_APPDATA) return {};
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (IsAbsolute(xdg)) return WithoutTrailingSlashes(xdg);
    const std::string home = HomeFolder();
    if (home.empty()) return {};
    return WithoutTrailingSlashes(home) + (home == "/" ? ".config" : "/.config");
}

bool GetUserFolder(std::string& path, std::string& error) {
    path.clear();
    error.clear();
    const std::string base = GetSpecialFolder(CSIDL_APPDATA);
    if (base.empty()) {
        error = "no application-data folder (neither XDG_CONFIG_HOME nor a home folder is set)";
        return false;
    }
    const std::string folder = (base == "/" ? "" : base) + "/" + kProgramFolderName;
    if (!ForceDirectories(folder, error)) return false;
    path = folder;
    return true;
}

std::string InterfaceMaskToText(TInterfaceMask mask) {
    std::string text;
    const auto add = [&](const char* name) {
        if (!text.empty()) text += ",";
        text += name;
    };
    if (mask.HasUSB()) add("USB");
    if (mask.HasLAN()) add("LAN");
    if (mask.HasOffline()) add("OFFLINE");
    if (text.empty()) text = "<n/a>";
    return "[" + text + "]";
}

int InterfaceMaskToKinds(TInterfaceMask mask) {
    int kinds = 0;
    if (mask.HasUSB()) kinds |= ToByte(TInterfaceKind::ikUSB);
    if (mask.HasLAN()) kinds |= ToByte(TInterfaceKind::ikLAN);
    if (mask.HasOffline()) kinds |= ToByte(TInterfaceKind::ikOffline);
    return kinds;
}

TInterfaceMask KindsToInterfaceMask(int bits) {
    uint16_t mask = 0;
    if (bits & ToByte(TInterfaceKind::ikUSB)) mask |= TInterfaceMask::imUSB;
    if (bits & ToByte(TInterfaceKind::ikLAN)) mask |= TInterfaceMask::imLAN;
    if (bits & ToByte(TInterfaceKind::ikOffline)) mask |= TInterfaceMask::imOffline;
    return TInterfaceMask(mask);
}

std::string BoolToText(bool value) {
    return value ? "true" : "false";
}

std::string FormatProgramVersion(const std::array<uint32_t, 4>& components, uint32_t flags) {
    std::string text = std::to_string(components[0]) + "." + std::to_string(components[1]) + "." +
                       std::to_string(components[2]) + "." + std::to_string(components[3]);
    if (flags & kVersionFlagDebug) text += " debug";
    if (flags & kVersionFlagPrerelease) text += " beta";
    if (flags & kVersionFlagPrivate) text += " private";
    if (flags & kVersionFlagSpecial) text += " special";
    return text;
}

std::string GetProgramVersion() {
    const std::string_view texts[4] = {QRB_HELPERS_STR(QRB_VERSION_MAJOR), QRB_HELPERS_STR(QRB_VERSION_MINOR),
                                       QRB_HELPERS_STR(QRB_VERSION_PATCH),
                                       QRB_HELPERS_STR(QRB_VERSION_TWEAK)};
    std::array<uint32_t, 4> components{};
    for (size_t i = 0; i < 4; ++i) {
        // An undeclared version leaves the macro's own name here.
        if (!ParseComponent(texts[i], components[i])) return "<n/a>";
    }
    uint32_t flags = 0;
#if defined(QRB_DEBUG_BUILD) && QRB_DEBUG_BUILD
    flags |= kVersionFlagDebug;
#endif
#if defined(QRB_PRERELEASE_BUILD) && QRB_PRERELEASE_BUILD
    flags |= kVersionFlagPrerelease;
#endif
#if defined(QRB_PRIVATE_BUILD) && QRB_PRIVATE_BUILD
    flags |= kVersionFlagPrivate;
#endif
#if defined(QRB_SPECIAL_BUILD) && QRB_SPECIAL_BUILD
    flags |= kVersionFlagSpecial;
#endif
    return FormatProgramVersion(components, flags);
}

bool HasCommandLineSwitch(std::string_view name, const std::vector<std::string>& params) {
    for (const std::string& p : params) {
        if (EqualsNoCase(p, name)) return true;
    }
    return false;
}

bool HasCommandLineSwitch(std::string_view name, int argc, const char* const* argv) {
    if (argv == nullptr) return false;
    for (int i = 0; i < argc; ++i) {
        if (argv[i] != nullptr && EqualsNoCase(argv[i], name)) return true;
    }
    return false;
}

bool HasCommandLineSwitch(std::string_view name) {
    std::string raw;
    std::string error;
    if (!ReadFileBytes("/proc/self/cmdline", raw, error, 1u << 20)) return false;
    std::vector<std::string> params;
    size_t start = 0;
    while (start < raw.size()) {
        size_t end = raw.find('\0', start);
        if (end == std::string::npos) end = raw.size();
        params.emplace_back(raw, start, end - start);
        start = end + 1;
    }
    return HasCommandLineSwitch(name, params);
}

} // namespace qrb::device
