#pragma once
// Free-standing helpers of the model and the user interface: local addresses, folders,
// interface-mask texts, Boolean texts, the program version and command-line switches.
// None of them raises.

#include "device/I2CTypes.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qrb::device {

// One entry of the local interface table, in the order the system lists them.
struct TInterfaceAddress {
    std::string Name;
    uint32_t Flags = 0;               // IFF_* bits
    int Family = 0;                   // AF_INET, AF_INET6, ...
    std::array<uint8_t, 4> Address{}; // IPv4 bytes, most significant first (AF_INET only)
};

// The IPv4 addresses of interfaces that are up and not loopback, in table order, as dotted
// decimal joined by " , "; empty when there are none.
std::string GetLocalIPAddresses(const std::vector<TInterfaceAddress>& table);
std::string GetLocalIPAddresses(); // from getifaddrs; empty when it fails

// The system's interface table (getifaddrs order); empty when it fails.
std::vector<TInterfaceAddress> ReadInterfaceTable();

// What Windows calls the socket library's version: the kernel's name and release
// ("Linux 6.1.0-18-amd64"); "n/a" when uname fails.
std::string GetKernelVersionText();

inline constexpr int CSIDL_APPDATA = 26;
inline constexpr const char* kProgramFolderName = "QRB GmbH";

// The folder of a CSIDL: for CSIDL_APPDATA $XDG_CONFIG_HOME when it is set and absolute,
// else $HOME/.config (home from the password database when $HOME is not absolute); nothing is
// created. Empty for every other CSIDL and when no home is known.
std::string GetSpecialFolder(int csidl);

// The program's folder in the application-data folder ("<appdata>/QRB GmbH"), created with
// its missing parents. False (path empty, error set) when there is no application-data
// folder or it cannot be created.
bool GetUserFolder(std::string& path, std::string& error);

// "[USB,LAN,OFFLINE]" for the set bits 2, 4, 16 in that order; "[<n/a>]" when none is set.
std::string InterfaceMaskToText(TInterfaceMask mask);
// The settings file's form: the kinds of the enabled transports (USB 1, LAN 2, offline 4).
int InterfaceMaskToKinds(TInterfaceMask mask);
// The reverse; other bits are ignored.
TInterfaceMask KindsToInterfaceMask(int bits);

std::string BoolToText(bool value); // "true" / "false"

// Version flag bits (as a version resource's file flags).
inline constexpr uint32_t kVersionFlagDebug = 1;
inline constexpr uint32_t kVersionFlagPrerelease = 2;
inline constexpr uint32_t kVersionFlagPrivate = 8;
inline constexpr uint32_t kVersionFlagSpecial = 32;

// "a.b.c.d" followed by " debug", " beta", " private", " special" for the flags set.
std::string FormatProgramVersion(const std::array<uint32_t, 4>& components, uint32_t flags);
// The build's project version and flags (a debug build sets the debug flag); "<n/a>" when the
// build declared no version.
std::string GetProgramVersion();

// True when one parameter (the program path included) equals the switch, ignoring the case of
// ASCII letters; no prefix such as '/' or '-' is stripped.
bool HasCommandLineSwitch(std::string_view name, const std::vector<std::string>& params);
bool HasCommandLineSwitch(std::string_view name, int argc, const char* const* argv);
// The running process's parameters (from /proc/self/cmdline); False when they cannot be read.
bool HasCommandLineSwitch(std::string_view name);

} // namespace qrb::device
