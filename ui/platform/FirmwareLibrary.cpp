#include "ui/platform/FirmwareLibrary.h"

#include "device/ByteOrder.h"
#include "device/FileUtil.h"
#include "device/Format.h"
#include "ui/texts/Texts.h"

#include <QCoreApplication>

#include <dlfcn.h>
#include <fcntl.h>
#include <libintl.h>
#include <link.h>
#include <locale.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace qrb::ui {

namespace {

constexpr const char* kWrongVersion = "Falsche Version von / Wrong version of: \"rozezerir.dll\"\r\n\r\n";
constexpr const char* kMissingFunction = "Error on loading library function:  ";
constexpr int kTextReplaceable = 1873;

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
    void* Handle = nullptr;
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

// The file named from outside (a name without a folder is one in the working folder), else the
// program's folder when it holds the library, else the bare name for the loader's search.
std::string LibraryToLoad(bool& named) {
    named = true;
    std::string file = Binding().Path;
    if (file.empty())
        if (const char* variable = std::getenv(kFWLibraryVariable); variable != nullptr) file = variable;
    if (!file.empty()) return file.find('/') == std::string::npos ? "./" + file : file;
    named = false;
    const std::string local = ProgramFolder() + kFWLibraryFile;
    if (device::FileExists(local)) {
        named = true;
        return local;
    }
    return kFWLibraryFile;
}

// Every symbol is bound at load: a library lacking one fails here, not at its first call.
constexpr int kOpenFlags = RTLD_NOW | RTLD_LOCAL;

// A file path is opened as it stands (the loader adds no prefix or suffix to a name with a '/').
void* OpenFile(const std::string& file, std::string& error) {
    void* handle = dlopen(file.c_str(), kOpenFlags);
    if (handle == nullptr) {
        const char* text = dlerror();
        error = text != nullptr ? text : file;
    }
    return handle;
}

// The bare name through the loader's own search. Its message is read in the C locale, so that a
// library found nowhere is told apart from one found but failing, whatever the user's language.
void* OpenBareName(std::string& error, bool& missing) {
    missing = false;
    const locale_t plain = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    const locale_t previous = plain != locale_t(nullptr) ? uselocale(plain) : locale_t(nullptr);
    void* handle = OpenFile(kFWLibraryFile, error);
    if (plain != locale_t(nullptr)) {
        uselocale(previous);
        freelocale(plain);
    }
    // A dependency that cannot be found is named in the message instead of the library.
    if (handle == nullptr)
        missing = error.rfind(std::string(kFWLibraryFile) + ": cannot open shared object file", 0) == 0;
    // The box shows the loader's words in the user's language.
    if (missing) {
        std::string own;
        handle = OpenFile(kFWLibraryFile, own);
        if (handle != nullptr)
            missing = false;
        else
            error = std::move(own);
    }
    return handle;
}

// Owned by neither root nor the user: its owner may change it.
bool OwnedByOthers(const struct stat& info) {
    return info.st_uid != 0 && info.st_uid != geteuid();
}

// Whether someone other than root and the user may change what a folder holds: one writable for
// everyone without the sticky bit, or one owned by another user. Group-writable is trusted.
bool OthersMayChangeFolder(const struct stat& info) {
    if ((info.st_mode & S_IWOTH) != 0 && (info.st_mode & S_ISVTX) == 0) return true;
    return OwnedByOthers(info);
}

// Whether others may add names to the folder (writable for everyone, sticky or not).
bool OthersMayAddNames(const struct stat& folder) {
    return (folder.st_mode & S_IWOTH) != 0;
}

bool OthersMayChangeFile(const struct stat& info) {
    return (info.st_mode & S_IWOTH) != 0 || OwnedByOthers(info);
}

// The loader's words for a file it cannot open (as dlerror() gives them, in the user's language).
std::string CannotOpen(const std::string& file, int err) {
    return file + ": " + dgettext("libc", "cannot open shared object file") + ": " + std::strerror(err);
}

// Whether the loaded object is the file judged: the device and inode of the mapping that holds
// its dynamic section.
bool LoadedFrom(void* handle, const struct stat& judged) {
    link_map* map = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) return false;
    const auto at = reinterpret_cast<uintptr_t>(map->l_ld);
    std::string maps, error;
    if (!device::ReadFileBytes("/proc/self/maps", maps, error)) return false;
    for (size_t pos = 0; pos < maps.size();) {
        size_t end = maps.find('\n', pos);
        if (end == std::string::npos) end = maps.size();
        const std::string line = maps.substr(pos, end - pos);
        pos = end + 1;
        unsigned long long from = 0, to = 0, offset = 0, inode = 0;
        unsigned int devMajor = 0, devMinor = 0;
        char mode[8] = {};
        if (std::sscanf(line.c_str(), "%llx-%llx %7s %llx %x:%x %llu", &from, &to, mode, &offset, &devMajor,
                        &devMinor, &inode) != 7)
            continue;
        if (at < from || at >= to) continue;
        return devMajor == major(judged.st_dev) && devMinor == minor(judged.st_dev) && inode == judged.st_ino;
    }
    return false;
}

// Loads a named file unless others may replace it. The walk judges every folder it holds on the
// file's way (the root, every folder above the file and every link's folder) and every link it
// follows, then the file itself; judged safe, the file is loaded under its real path, so that the
// loader's $ORIGIN is its own folder (unless others may add names there). No other account can
// change a name on that path, so the loader opens the file judged; the loaded file's identity is
// checked once more. The loader's messages name the file as given.
void* OpenJudgedFile(const std::string& file, std::string& error, bool& missing) {
    missing = false;
    std::string path = file;
    if (path[0] != '/') {
        // From the root, so that the folders above the working folder are judged too.
        char* cwd = getcwd(nullptr, 0);
        if (cwd == nullptr) {
            error = CannotOpen(file, errno);
            return nullptr;
        }
        path = std::string(cwd) + "/" + path;
        std::free(cwd);
    }
    bool replaceable = false;
    device::TPathWalk walk;
    std::string reason;
    const bool walked = walk.Walk(path, reason, [&replaceable](const struct stat& info) {
        replaceable =
            replaceable || (S_ISLNK(info.st_mode) ? OwnedByOthers(info) : OthersMayChangeFolder(info));
    });
    int err = walked ? 0 : errno;
    struct stat info {};
    if (walked && walk.Name().empty())
        err = EISDIR;
    else if (walked && fstatat(walk.Folder(), walk.Name().c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        err = errno;
    const std::string replaceableText = device::Format(GetText(kTextReplaceable), {file});
    if (!walked && walk.LinkRefused()) {
        error = replaceableText;
        return nullptr;
    }
    if (err != 0) {
        error = CannotOpen(file, err);
        missing = !device::FileExists(file);
        return nullptr;
    }
    if (replaceable || OthersMayChangeFile(info)) {
        error = replaceableText;
        return nullptr;
    }
    // Where others may add names beside the file (a sticky folder everyone can write to), the
    // loader would take companions it looks for through $ORIGIN from them: the file is loaded
    // through its descriptor there, so that $ORIGIN names no folder.
    std::string loadAs = walk.PhysicalPath();
    int descriptor = -1;
    if (OthersMayAddNames(walk.FolderStatus())) {
        descriptor = openat(walk.Folder(), walk.Name().c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (descriptor < 0) {
            error = CannotOpen(file, errno);
            return nullptr;
        }
        loadAs = "/proc/self/fd/" + std::to_string(descriptor);
    }
    void* handle = OpenFile(loadAs, error);
    if (descriptor >= 0) close(descriptor);
    if (handle == nullptr) {
        for (size_t at = error.find(loadAs + ":"); at != std::string::npos;
             at = error.find(loadAs + ":", at + file.size()))
            error.replace(at, loadAs.size(), file);
        return nullptr;
    }
    if (!LoadedFrom(handle, info)) {
        dlclose(handle);
        error = replaceableText;
        return nullptr;
    }
    return handle;
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
    void* handle = nullptr;
    if (!named) {
        handle = OpenBareName(b.LastError, b.Missing);
    } else {
        handle = OpenJudgedFile(file, b.LastError, b.Missing);
    }
    if (handle == nullptr) return false;
    for (size_t i = 0; i < kEntryNames.size(); ++i) {
        b.Entries[i] = reinterpret_cast<QFunctionPointer>(dlsym(handle, kEntryNames[i]));
        if (b.Entries[i] == nullptr) {
            const std::string name = i == 0 ? "QRBFWInit" : kEntryNames[i];
            b.LastError = std::string(kWrongVersion) + kMissingFunction + name;
            b.Entries.fill(nullptr);
            dlclose(handle);
            return false;
        }
    }
    b.Handle = handle;
    b.Loaded = true;
    return true;
}

bool UnloadFWLibrary() {
    TBinding& b = Binding();
    b.LastError.clear();
    b.Entries.fill(nullptr);
    b.Loaded = false;
    bool ok = true;
    if (b.Handle != nullptr) {
        if (dlclose(b.Handle) != 0) {
            const char* text = dlerror();
            b.LastError = text != nullptr ? text : kFWLibraryFile;
            ok = false;
        }
        b.Handle = nullptr;
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
