#pragma once
// The binding of the maker's firmware library (unit ROZEZErir): librozezerir.so loaded at run
// time with every symbol bound at once, its 14 entry points resolved and wrapped. It looks for
// the library in the program's folder first, then on the loader's path; the environment
// variable QRB_FIRMWARE_LIBRARY (a file path) or SetFWLibraryPath names another file instead,
// loaded exactly as named. A file named or found in the program's folder that others may
// replace is not loaded: the file writable for everyone, its folder or one above it writable for
// everyone without the sticky bit, or any of them owned by neither root nor the user; for a link
// its own folders count too, and the file it names is judged. A file judged safe is loaded under
// its real path (every link resolved), so that its companions are found beside it through $ORIGIN,
// unless others may add names to its folder (sticky and writable for everyone).
// No entry point is called unless the library is loaded; a wrapper then returns kFWNotLoaded.

#include "ui/platform/rozezerir.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace qrb::ui {

inline constexpr const char* kFWLibraryFile = "librozezerir.so";
inline constexpr const char* kFWLibraryVariable = "QRB_FIRMWARE_LIBRARY";
inline constexpr int32_t kFWNotLoaded = -1;

// Loads the library and resolves every entry point; false with FWLibLastError set.
bool LoadFWLibrary();
// Frees the library; false with FWLibLastError set when freeing failed.
bool UnloadFWLibrary();
bool FWLibLoaded();
const std::string& FWLibLastError();
// True when the last load found no library file at all (the usual case without the maker's
// library); false when a file was found but failed to load, was refused or lacked an entry point.
bool FWLibMissing();
// Whether the error of the last failed load is to be shown now: always for a library that was
// found, once per program run for a missing one.
bool FWLibErrorToShow();

// The folder searched first (the program's folder; default: the application's folder).
void SetFWProgramFolder(const std::string& folder);
// A file that replaces the search (tests; empty: the search, or QRB_FIRMWARE_LIBRARY).
void SetFWLibraryPath(const std::string& path);
// Forgets that a missing library was reported (tests).
void ResetFWLibReport();

// Names of the entry points in resolve order, and the name an error of each names.
std::span<const char* const> FWEntryNames();

// One scan record (unused field at offset 20 left out).
struct TFWScanRecord {
    uint32_t Address = 0; // first octet in the lowest byte
    uint32_t Kind = 0;    // only kind 3 is an amplifier
    uint32_t Version = 0; // bits 28-31, 24-27, 16-23, 0-15
    uint32_t Index = 0;
    uint32_t Number = 0;
    uint32_t DeviceHandle = 0; // USB records only
};

// The records of a result area of recordSize-byte records: the count read as a signed value and
// limited to 0..256, then that many records; what lies beyond the area is never read.
std::vector<TFWScanRecord> DecodeScanArea(std::span<const uint8_t> area, size_t recordSize);

// The wrappers: each returns the entry's result.
int32_t FWNetInit(const std::string& localAddress, const std::string& subnetMask);
int32_t FWNetScan(std::vector<TFWScanRecord>& records);
int32_t FWUsbScan(std::vector<TFWScanRecord>& records);
int32_t FWNetUploadFWImg(uint32_t device, void* image, uint32_t size, QRBFWProgress progress, void* userData);
int32_t FWUsbUploadFWImg(uint32_t device, void* image, uint32_t size, QRBFWProgress progress, void* userData);
int32_t FWNetUploadIPAddrImg(uint32_t device, void* image, uint32_t size, QRBFWProgress progress,
                             void* userData);
int32_t FWUsbUploadIPAddrImg(uint32_t deviceHandle, void* image, uint32_t size, QRBFWProgress progress,
                             void* userData);
int32_t FWCreateIPAddrImage(void*& image, uint32_t& size, const std::string& address,
                            const std::string& mask);
int32_t FWLoadImage(void*& image, uint32_t& size, const std::string& fileName);
int32_t FWFreeImage(void* image);

// The path as the library takes it: every backslash doubled.
std::string DoubleBackslashes(const std::string& path);

} // namespace qrb::ui
