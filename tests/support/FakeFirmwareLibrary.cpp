// The stand-in firmware library. Built as a shared library of its own; variants leave one entry
// point out (FAKEFW_WITHOUT_INIT, FAKEFW_WITHOUT_FREE) or need a symbol nothing defines
// (FAKEFW_UNRESOLVED: every entry point present, the network scan calls it) or answer the network
// init with a companion library's answer (FAKEFW_COMPANION).

#include "ui/platform/rozezerir.h"

#include "device/ByteOrder.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#define FAKEFW_EXPORT extern "C" __attribute__((visibility("default")))

#ifdef FAKEFW_UNRESOLVED
extern "C" __attribute__((visibility("default"))) int32_t FakeFW_DefinedNowhere(void);
#endif
#ifdef FAKEFW_COMPANION
extern "C" int32_t FakeFWDep_Answer(void);
#endif

namespace {

struct TDevice {
    std::vector<uint8_t> Record; // 24 or 28 bytes
};

struct TImage {
    int Number;
    std::string Address; // address images: the address they set
    std::vector<uint8_t> Bytes;
};

struct TState {
    bool Scripted = false; // false: the user's check defaults
    std::map<std::string, int32_t> Results;
    std::map<std::string, std::vector<TDevice>> Networks; // by local address
    std::map<std::string, int32_t> NetCounts;
    std::vector<TDevice> Usb;
    int32_t UsbCount = -1;
    std::vector<int32_t> Progress;
    bool ProgressScripted = false;
    std::string Selected; // the local network of the last QRBFWNET_Init
    std::map<void*, TImage*> Images;
    int NextImage = 1;
    std::string Log;
    std::string LogCopy;
};

TState& State() {
    static TState state;
    return state;
}

std::mutex& Lock() {
    static std::mutex mutex;
    return mutex;
}

void Note(const std::string& line) {
    State().Log += line;
    State().Log += '\n';
}

int32_t Result(const char* entry) {
    auto it = State().Results.find(entry);
    return it == State().Results.end() ? 0 : it->second;
}

// Logs the call and answers with the result scripted for entry.
int32_t Call(const std::string& line, const char* entry) {
    Note(line);
    return Result(entry);
}

uint32_t ParseAddress(const std::string& text) {
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (std::sscanf(text.c_str(), "%u.%u.%u.%u", &a, &b, &c, &d) != 4) return 0;
    return (a & 0xFF) | ((b & 0xFF) << 8) | ((c & 0xFF) << 16) | ((d & 0xFF) << 24);
}

std::vector<uint8_t> MakeRecord(size_t size, uint32_t address, uint32_t kind, uint32_t version,
                                uint32_t index, uint32_t number, uint32_t handle) {
    std::vector<uint8_t> r(size, 0);
    qrb::device::PutU32(r.data(), address);
    qrb::device::PutU32(r.data() + 4, kind);
    qrb::device::PutU32(r.data() + 8, version);
    qrb::device::PutU32(r.data() + 12, index);
    qrb::device::PutU32(r.data() + 16, number);
    if (size >= 28) qrb::device::PutU32(r.data() + 24, handle);
    return r;
}

std::vector<TDevice>& Network(const std::string& local) {
    TState& s = State();
    if (!s.Scripted && s.Networks.find(local) == s.Networks.end()) {
        const uint32_t address = (ParseAddress(local) & 0x00FFFFFFu) | (200u << 24);
        s.Networks[local].push_back({MakeRecord(24, address, 3, 0x12030004u, 0, 730, 0)});
    }
    return s.Networks[local];
}

int32_t WriteArea(void* result, const std::vector<TDevice>& devices, int32_t count, size_t recordSize) {
    auto* area = static_cast<uint8_t*>(result);
    const int32_t written = count >= 0 ? count : static_cast<int32_t>(devices.size());
    qrb::device::PutU32(area, static_cast<uint32_t>(written));
    for (size_t i = 0; i < devices.size() && i < QRBFW_MAX_RECORDS; ++i)
        std::memcpy(area + 4 + i * recordSize, devices[i].Record.data(), recordSize);
    return 0;
}

std::string ImageName(void* image) {
    auto it = State().Images.find(image);
    return it == State().Images.end() ? "unknown" : "image" + std::to_string(it->second->Number);
}

void* NewImage(const std::string& address, size_t size) {
    auto* image = new TImage{State().NextImage++, address, std::vector<uint8_t>(size, 0xA5)};
    void* key = image->Bytes.data();
    State().Images[key] = image;
    return key;
}

// The image call logged as line: unless entry is scripted to fail, a new image of bytes bytes.
int32_t MakeImage(const std::string& line, const char* entry, const std::string& address, uint32_t bytes,
                  void** image, uint32_t* size) {
    const int32_t result = Call(line, entry);
    if (result != 0) return result;
    *image = NewImage(address, bytes);
    *size = bytes;
    return 0;
}

int32_t RunProgress(QRBFWProgress progress, void* userData) {
    TState& s = State();
    std::vector<int32_t> statuses = s.Progress;
    if (!s.ProgressScripted)
        for (int phase = 1; phase <= 5; ++phase)
            for (int percent : {0, 50, 100})
                statuses.push_back((phase << 8) | percent);
    if (progress == nullptr) return 0;
    for (int32_t status : statuses) {
        // The callback may pump events; the lock is not held meanwhile. A user's check sees each
        // phase for a moment.
        Lock().unlock();
        if (!s.Scripted) std::this_thread::sleep_for(std::chrono::milliseconds(120));
        progress(userData, status);
        Lock().lock();
    }
    return 0;
}

TDevice* FindNet(uint32_t address) {
    for (auto& [local, devices] : State().Networks)
        for (TDevice& d : devices)
            if (qrb::device::GetU32(d.Record.data()) == address) return &d;
    return nullptr;
}

TDevice* FindUsb(uint32_t value, size_t offset) {
    for (TDevice& d : State().Usb)
        if (qrb::device::GetU32(d.Record.data() + offset) == value) return &d;
    return nullptr;
}

int32_t Upload(const char* name, uint32_t device, void* image, uint32_t size, QRBFWProgress progress,
               void* userData, TDevice* target, bool address) {
    std::ostringstream line;
    line << name << "(" << device << ", " << ImageName(image) << ", " << size << ")";
    const int32_t result = Call(line.str(), name);
    RunProgress(progress, userData);
    if (result != 0) return result;
    if (address && target != nullptr) {
        auto it = State().Images.find(image);
        if (it != State().Images.end())
            qrb::device::PutU32(target->Record.data(), ParseAddress(it->second->Address));
    }
    if (!address && target != nullptr) {
        const uint32_t version = qrb::device::GetU32(target->Record.data() + 8);
        qrb::device::PutU32(target->Record.data() + 8, version + 1); // a new build
    }
    return 0;
}

} // namespace

// ---- Entry points ------------------------------------------------------------------------------

#ifndef FAKEFW_WITHOUT_INIT
FAKEFW_EXPORT int32_t QRBFWNET_Init(const char* localAddress, const char* subnetMask) {
    std::lock_guard lock(Lock());
    const int32_t result =
        Call(std::string("QRBFWNET_Init(") + localAddress + ", " + subnetMask + ")", "QRBFWNET_Init");
    State().Selected = result == 0 ? localAddress : "";
#ifdef FAKEFW_COMPANION
    if (result == 0) return FakeFWDep_Answer();
#endif
    return result;
}
#endif

FAKEFW_EXPORT int32_t QRBFWNET_ClearFWImg(void) {
    return 0;
}
FAKEFW_EXPORT int32_t QRBFWUSB_ClearFWImg(void) {
    return 0;
}
FAKEFW_EXPORT int32_t QRBFWNET_RestartFWImg(void) {
    return 0;
}
FAKEFW_EXPORT int32_t QRBFWUSB_RestartFWImg(void) {
    return 0;
}

FAKEFW_EXPORT int32_t QRBFWNET_Scan(void* result) {
#ifdef FAKEFW_UNRESOLVED
    if (FakeFW_DefinedNowhere() != 0) return 1;
#endif
    std::lock_guard lock(Lock());
    const int32_t code = Call("QRBFWNET_Scan(" + State().Selected + ")", "QRBFWNET_Scan");
    if (code != 0) return code;
    auto count = State().NetCounts.find(State().Selected);
    return WriteArea(result, Network(State().Selected), count == State().NetCounts.end() ? -1 : count->second,
                     QRBFW_NET_RECORD_SIZE);
}

FAKEFW_EXPORT int32_t QRBFWUSB_Scan(void* result) {
    std::lock_guard lock(Lock());
    const int32_t code = Call("QRBFWUSB_Scan", "QRBFWUSB_Scan");
    if (code != 0) return code;
    TState& s = State();
    if (!s.Scripted && s.Usb.empty()) s.Usb.push_back({MakeRecord(28, 0, 3, 0x11020003u, 0, 730, 4711)});
    return WriteArea(result, s.Usb, s.UsbCount, QRBFW_USB_RECORD_SIZE);
}

FAKEFW_EXPORT int32_t QRBFWNET_UploadFWImg(uint32_t device, void* image, uint32_t size,
                                           QRBFWProgress progress, void* userData) {
    std::lock_guard lock(Lock());
    return Upload("QRBFWNET_UploadFWImg", device, image, size, progress, userData, FindNet(device), false);
}

FAKEFW_EXPORT int32_t QRBFWUSB_UploadFWImg(uint32_t device, void* image, uint32_t size,
                                           QRBFWProgress progress, void* userData) {
    std::lock_guard lock(Lock());
    return Upload("QRBFWUSB_UploadFWImg", device, image, size, progress, userData, FindUsb(device, 0), false);
}

FAKEFW_EXPORT int32_t QRBFWNET_UploadIPAddrImg(uint32_t device, void* image, uint32_t size,
                                               QRBFWProgress progress, void* userData) {
    std::lock_guard lock(Lock());
    return Upload("QRBFWNET_UploadIPAddrImg", device, image, size, progress, userData, FindNet(device), true);
}

FAKEFW_EXPORT int32_t QRBFWUSB_UploadIPAddrImg(uint32_t deviceHandle, void* image, uint32_t size,
                                               QRBFWProgress progress, void* userData) {
    std::lock_guard lock(Lock());
    return Upload("QRBFWUSB_UploadIPAddrImg", deviceHandle, image, size, progress, userData,
                  FindUsb(deviceHandle, 24), true);
}

FAKEFW_EXPORT int32_t ROZEZErir_CreateIPAddrImage(void** image, uint32_t* size, const char* address,
                                                  const char* mask) {
    std::lock_guard lock(Lock());
    return MakeImage(std::string("ROZEZErir_CreateIPAddrImage(") + address + ", " + mask + ")",
                     "ROZEZErir_CreateIPAddrImage", address, 64, image, size);
}

FAKEFW_EXPORT int32_t ROZEZErir_LoadImage(void** image, uint32_t* size, const char* fileName) {
    std::lock_guard lock(Lock());
    return MakeImage(std::string("ROZEZErir_LoadImage(") + fileName + ")", "ROZEZErir_LoadImage", "", 4096,
                     image, size);
}

#ifndef FAKEFW_WITHOUT_FREE
FAKEFW_EXPORT int32_t ROZEZErir_FreeImage(void* image) {
    std::lock_guard lock(Lock());
    Note("ROZEZErir_FreeImage(" + ImageName(image) + ")");
    auto it = State().Images.find(image);
    if (it != State().Images.end()) {
        delete it->second;
        State().Images.erase(it);
    }
    return Result("ROZEZErir_FreeImage");
}
#endif

// ---- Control -----------------------------------------------------------------------------------

FAKEFW_EXPORT void FakeFW_Reset(void) {
    std::lock_guard lock(Lock());
    TState& s = State();
    for (auto& [key, image] : s.Images)
        delete image;
    s = TState();
    s.Scripted = true;
}

FAKEFW_EXPORT void FakeFW_SetResult(const char* entry, int32_t result) {
    std::lock_guard lock(Lock());
    State().Results[entry] = result;
}

FAKEFW_EXPORT void FakeFW_SetNetScan(const char* localAddress, int32_t count, const uint8_t* records,
                                     int32_t recordCount) {
    std::lock_guard lock(Lock());
    auto& devices = State().Networks[localAddress];
    devices.clear();
    for (int32_t i = 0; i < recordCount; ++i)
        devices.push_back({std::vector<uint8_t>(records + i * 24, records + (i + 1) * 24)});
    if (count >= 0)
        State().NetCounts[localAddress] = count;
    else
        State().NetCounts.erase(localAddress);
}

FAKEFW_EXPORT void FakeFW_SetUsbScan(int32_t count, const uint8_t* records, int32_t recordCount) {
    std::lock_guard lock(Lock());
    auto& devices = State().Usb;
    devices.clear();
    for (int32_t i = 0; i < recordCount; ++i)
        devices.push_back({std::vector<uint8_t>(records + i * 28, records + (i + 1) * 28)});
    State().UsbCount = count;
}

FAKEFW_EXPORT void FakeFW_SetProgress(const int32_t* statuses, int32_t count) {
    std::lock_guard lock(Lock());
    State().Progress.assign(statuses, statuses + count);
    State().ProgressScripted = true;
}

FAKEFW_EXPORT const char* FakeFW_Log(void) {
    std::lock_guard lock(Lock());
    State().LogCopy = State().Log;
    return State().LogCopy.c_str();
}

FAKEFW_EXPORT void FakeFW_ClearLog(void) {
    std::lock_guard lock(Lock());
    State().Log.clear();
}

FAKEFW_EXPORT int32_t FakeFW_LiveImages(void) {
    std::lock_guard lock(Lock());
    return static_cast<int32_t>(State().Images.size());
}
