#pragma once
// The control side of the stand-in firmware library (libfakerozezerir.so): it exports the 14
// entry points of ui/platform/rozezerir.h with scripted results, scan records and progress
// reports, logs every call with its arguments, and exports these functions to script it. A
// test reaches them through TFakeFirmwareLibrary, which opens the same file.
// Without a script (a user's check) every network selected by QRBFWNET_Init holds one amplifier
// at host 200 of that network, USB holds one, and uploads report every phase.

#include <cstdint>
#include <string>
#include <vector>

extern "C" {
// Forgets every script, record and log line; no amplifier anywhere.
void FakeFW_Reset(void);
// The result of an entry point (by name) from now on; 0 by default.
void FakeFW_SetResult(const char* entry, int32_t result);
// The records QRBFWNET_Scan reports after QRBFWNET_Init with localAddress: count as written
// into the area (it may exceed what the area holds), records of 24 bytes.
void FakeFW_SetNetScan(const char* localAddress, int32_t count, const uint8_t* records, int32_t recordCount);
// The same for QRBFWUSB_Scan, records of 28 bytes.
void FakeFW_SetUsbScan(int32_t count, const uint8_t* records, int32_t recordCount);
// The statuses an upload reports through its progress callback, in order.
void FakeFW_SetProgress(const int32_t* statuses, int32_t count);
// The call log, one line per call.
const char* FakeFW_Log(void);
void FakeFW_ClearLog(void);
// Images made and not yet freed.
int32_t FakeFW_LiveImages(void);
}

namespace qrb::test {

// A record as the library writes it (little-endian fields).
std::vector<uint8_t> FakeNetRecord(uint32_t address, uint32_t kind, uint32_t version, uint32_t index = 0,
                                   uint32_t number = 0);
std::vector<uint8_t> FakeUsbRecord(uint32_t address, uint32_t kind, uint32_t version, uint32_t index,
                                   uint32_t number, uint32_t handle);

// The stand-in opened a second time by the test, to script it.
class TFakeFirmwareLibrary {
public:
    explicit TFakeFirmwareLibrary(const std::string& path);
    ~TFakeFirmwareLibrary();
    TFakeFirmwareLibrary(const TFakeFirmwareLibrary&) = delete;
    TFakeFirmwareLibrary& operator=(const TFakeFirmwareLibrary&) = delete;

    bool Loaded() const { return handle_ != nullptr; }
    void Reset();
    void SetResult(const std::string& entry, int32_t result);
    void SetNetScan(const std::string& localAddress, const std::vector<std::vector<uint8_t>>& records,
                    int32_t count = -1);
    void SetUsbScan(const std::vector<std::vector<uint8_t>>& records, int32_t count = -1);
    void SetProgress(const std::vector<int32_t>& statuses);
    std::vector<std::string> Log() const;
    void ClearLog();
    int32_t LiveImages() const;

private:
    template <typename F> F Fn(const char* name) const;
    void* handle_ = nullptr;
};

} // namespace qrb::test
