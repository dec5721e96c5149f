#include "ui/platform/FirmwareLibrary.h"

#include "device/ByteOrder.h"
#include "device/FileUtil.h"

#include <QCoreApplication>
#include <QLibrary>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>

namespace qrb::ui {

namespace {

constexpr const char* kWrongVersion = "Falsche Version von / Wrong version of: \"rozezerir.dll\"\r\n\r\n";
constexpr const char* kMissingFunction = "Error on loading library function:  ";

// clang-format off
constexpr std::array<const char*, 14> kEntryNames = {
    "QRBFWNET_Init",
    "QRBFWNET_ClearFWImg",
    "QRBFWUSB_ClearFWImg",
    "QRBFWNET_RestartFWImg",
    "QRBFWUSB_RestartFWImg",
    "QRBFWNET_Scan",
    "QRBFWUSB_Scan",
    "QRBFWNET_UploadFWImg",
    "QRBFWUSB_UploadFWImg",
    "QRBFWNET_UploadIPAddrImg",
    "QRBFWUSB_UploadIPAddrImg",
    "ROZEZErir_CreateIPAddrImage",
    "ROZEZErir_LoadImage",
    "ROZEZErir_FreeImage",
};
// clang-format on

enum TEntry {
    eNetInit,
    eNetClear,
    eUsbClear,
    eNetRestart,
    eUsbRestart,
    eNetScan,
    eUsbScan,
    eNetUploadFW,
    eUsbUploadFW,
    eNetUploadIP,
    eUsbUploadIP,
    eCreateIPImage,
    eLoadImage,
    eFreeImage
};

using TInit = int32_t (*)(const char*, const char*);
using TScan = int32_t (*)(void*);
using TUpload = int32_t (*)(uint32_t, void*, uint32_t, QRBFWProgress, void*);
using TMakeImage = int32_t (*)(void**, uint32_t*, const char*, const char*);
using TLoadImage = int32_t (*)(void**, uint32_t*, const char*);
using TFreeImage = int32_t (*)(void*);

struct TBinding {
    std::unique_ptr<QLibrary> Library;
    std::array<QFunctionPointer, 14> Entries{};
    bool Loaded = false;
    bool Missing = false;
    bool MissingReported = false;
    std::string LastError;
    std::string ProgramFolder;
    std::string Path;
};

TBinding& Binding() {
    static TBinding binding;
    return binding;
}

template <typename F> F Entry(TEntry e) {
    return reinterpret_cast<F>(Binding().Entries[e]);
}

std::string ProgramFolder() {
    std::string folder = Binding().ProgramFolder;
    if (folder.empty() && QCoreApplication::instance() != nullptr)
        folder = QCoreApplication::applicationDirPath().toStdString();
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder;
}

// The file named from outside, else the program's folder when it holds the library, else the
// bare name for the loader's search.
std::string LibraryToLoad(bool& named) {
    named = true;
    if (!Binding().Path.empty()) return Binding().Path;
    if (const char* variable = std::getenv(kFWLibraryVariable); variable != nullptr && *variable != 0)
        return variable;
    named = false;
    const std::string local = ProgramFolder() + kFWLibraryFile;
    if (device::FileExists(local)) {
        named = true;
        return local;
    }
    return kFWLibraryFile;
}

int32_t Scan(TEntry e, size_t recordSize, std::vector<TFWScanRecord>& records) {
    records.clear();
    if (!Binding().Loaded) return kFWNotLoaded;
    // Zeroed, so a library that writes fewer records leaves zeros, never stale memory.
    std::vector<uint8_t> area(4 + QRBFW_MAX_RECORDS * recordSize, 0);
    const int32_t result = Entry<TScan>(e)(area.data());
    if (result == 0) records = DecodeScanArea(area, recordSize);
    return result;
}

int32_t Upload(TEntry e, uint32_t device, void* image, uint32_t size, QRBFWProgress progress,
               void* userData) {
    if (!Binding().Loaded) return kFWNotLoaded;
    return Entry<TUpload>(e)(device, image, size, progress, userData);
}

} // namespace

std::span<const char* const> FWEntryNames() {
    return kEntryNames;
}

bool LoadFWLibrary() {
    TBinding& b = Binding();
    if (b.Loaded) UnloadFWLibrary();
    b.LastError.clear();
    b.Loaded = false;
    b.Missing = false;

    bool named = false;
    const std::string file = LibraryToLoad(named);
    auto library = std::make_unique<QLibrary>(QString::fromStdString(file));
    if (!library->load()) {
        b.LastError = library->errorString().toStdString();
        // The loader names the file it could not open; anything else means it was found.
        b.Missing = !named && b.LastError.find(std::string("(") + kFWLibraryFile +
                                               ": cannot open shared object file") != std::string::npos;
        if (named && !device::FileExists(file)) b.Missing = true;
        return false;
    }
    for (size_t i = 0; i < kEntryNames.size(); ++i) {
        b.Entries[i] = library->resolve(kEntryNames[i]);
        if (b.Entries[i] == nullptr) {
            const std::string name = i == 0 ? "QRBFWInit" : kEntryNames[i];
            b.LastError = std::string(kWrongVersion) + kMissingFunction + name;
            b.Entries.fill(nullptr);
            library->unload();
            return false;
        }
    }
    b.Library = std::move(library);
    b.Loaded = true;
    return true;
}

bool UnloadFWLibrary() {
    TBinding& b = Binding();
    b.LastError.clear();
    b.Entries.fill(nullptr);
    b.Loaded = false;
    bool ok = true;
    if (b.Library) {
        if (b.Library->isLoaded() && !b.Library->unload()) {
            b.LastError = b.Library->errorString().toStdString();
            ok = false;
        }
        b.Library.reset();
    }
    return ok;
}

bool FWLibLoaded() {
    return Binding().Loaded;
}

const std::string& FWLibLastError() {
    return Binding().LastError;
}

bool FWLibMissing() {
    return Binding().Missing;
}

bool FWLibErrorToShow() {
    TBinding& b = Binding();
    if (b.Loaded || b.LastError.empty()) return false;
    if (!b.Missing) return true;
    if (b.MissingReported) return false;
    b.MissingReported = true;
    return true;
}

void SetFWProgramFolder(const std::string& folder) {
    Binding().ProgramFolder = folder;
}

void SetFWLibraryPath(const std::string& path) {
    Binding().Path = path;
}

void ResetFWLibReport() {
    Binding().MissingReported = false;
}

std::vector<TFWScanRecord> DecodeScanArea(std::span<const uint8_t> area, size_t recordSize) {
    std::vector<TFWScanRecord> records;
    if (area.size() < 4 || recordSize < 20) return records;
    const int32_t count = std::clamp<int32_t>(device::GetI32(area.data()), 0, QRBFW_MAX_RECORDS);
    const size_t fit = (area.size() - 4) / recordSize;
    const size_t n = std::min(static_cast<size_t>(count), fit);
    records.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        const uint8_t* p = area.data() + 4 + i * recordSize;
        TFWScanRecord r;
        r.Address = device::GetU32(p);
        r.Kind = device::GetU32(p + 4);
        r.Version = device::GetU32(p + 8);
        r.Index = device::GetU32(p + 12);
        r.Number = device::GetU32(p + 16);
        if (recordSize >= 28) r.DeviceHandle = device::GetU32(p + 24);
        records.push_back(r);
    }
    return records;
}

int32_t FWNetInit(const std::string& localAddress, const std::string& subnetMask) {
    if (!Binding().Loaded) return kFWNotLoaded;
    return Entry<TInit>(eNetInit)(localAddress.c_str(), subnetMask.c_str());
}

int32_t FWNetScan(std::vector<TFWScanRecord>& records) {
    return Scan(eNetScan, QRBFW_NET_RECORD_SIZE, records);
}

int32_t FWUsbScan(std::vector<TFWScanRecord>& records) {
    return Scan(eUsbScan, QRBFW_USB_RECORD_SIZE, records);
}

int32_t FWNetUploadFWImg(uint32_t device, void* image, uint32_t size, QRBFWProgress progress,
                         void* userData) {
    return Upload(eNetUploadFW, device, image, size, progress, userData);
}

int32_t FWUsbUploadFWImg(uint32_t device, void* image, uint32_t size, QRBFWProgress progress,
                         void* userData) {
    return Upload(eUsbUploadFW, device, image, size, progress, userData);
}

int32_t FWNetUploadIPAddrImg(uint32_t device, void* image, uint32_t size, QRBFWProgress progress,
                             void* userData) {
    return Upload(eNetUploadIP, device, image, size, progress, userData);
}

int32_t FWUsbUploadIPAddrImg(uint32_t deviceHandle, void* image, uint32_t size, QRBFWProgress progress,
                             void* userData) {
    return Upload(eUsbUploadIP, deviceHandle, image, size, progress, userData);
}

int32_t FWCreateIPAddrImage(void*& image, uint32_t& size, const std::string& address,
                            const std::string& mask) {
    image = nullptr;
    size = 0;
    if (!Binding().Loaded) return kFWNotLoaded;
    return Entry<TMakeImage>(eCreateIPImage)(&image, &size, address.c_str(), mask.c_str());
}

int32_t FWLoadImage(void*& image, uint32_t& size, const std::string& fileName) {
    image = nullptr;
    size = 0;
    if (!Binding().Loaded) return kFWNotLoaded;
    return Entry<TLoadImage>(eLoadImage)(&image, &size, fileName.c_str());
}

int32_t FWFreeImage(void* image) {
    if (!Binding().Loaded) return kFWNotLoaded;
    return Entry<TFreeImage>(eFreeImage)(image);
}

std::string DoubleBackslashes(const std::string& path) {
    std::string out;
    out.reserve(path.size());
    for (char c : path) {
        out += c;
        if (c == '\\') out += '\\';
    }
    return out;
}

} // namespace qrb::ui
