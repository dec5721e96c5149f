#include "device/FileUtil.h"

#include "device/Format.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace qrb::device {

namespace {

std::string ErrnoText(int err) {
    return std::system_category().message(err);
}

std::string Fail(std::string_view what, const std::string& path, int err) {
    return Format("%s %s: %s", what, path, ErrnoText(err));
}

std::string DirName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

bool WriteAll(int fd, const char* data, size_t size, int& err) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            err = errno;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// A file system that cannot flush (some special ones) is no failure of the write.
bool FlushFailed(int fd, int& err) {
    if (::fsync(fd) == 0) return false;
    err = errno;
    return err != EINVAL && err != ENOTSUP && err != EROFS;
}

// The id of the process whose temporary file for target this is (see WriteFileAtomic:
// ".<name>.<pid>.<counter>.<hex>.tmp"); 0 when the name is no such file.
pid_t TempFileOwner(std::string_view name, std::string_view targetName) {
    const std::string prefix = "." + std::string(targetName) + ".";
    constexpr std::string_view suffix = ".tmp";
    if (name.size() <= prefix.size() + suffix.size() || !name.starts_with(prefix) || !name.ends_with(suffix))
        return 0;
    std::string_view rest = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    const auto field = [&rest](bool hex) {
        const size_t dot = rest.find('.');
        const std::string_view f = rest.substr(0, dot);
        rest = dot == std::string_view::npos ? std::string_view() : rest.substr(dot + 1);
        if (f.empty() || f.size() > 10) return std::string_view();
        for (char c : f) {
            const bool digit = c >= '0' && c <= '9';
            if (!digit && !(hex && ((c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'))))
                return std::string_view();
        }
        return f;
    };
    const std::string_view pid = field(false);
    const std::string_view counter = field(false);
    const std::string_view random = field(true);
    if (pid.empty() || counter.empty() || random.empty() || !rest.empty()) return 0;
    long long value = 0;
    for (char c : pid)
        value = value * 10 + (c - '0');
    return value > 0 && value <= 0x7FFFFFFF ? static_cast<pid_t>(value) : 0;
}

bool ProcessRuns(pid_t pid) {
    // EPERM: it runs under another user.
    return ::kill(pid, 0) == 0 || errno != ESRCH;
}

// Removes temporary files of earlier saves of target whose process no longer runs (a program
// killed between creating and renaming one). Others' files are left alone; so is anything
// that is no regular file. folder: the folder opened for reading.
void RemoveLeftoverTempFiles(int folder, const std::string& targetName) {
    const int listed = ::dup(folder);
    if (listed < 0) return;
    DIR* d = ::fdopendir(listed);
    if (d == nullptr) {
        ::close(listed);
        return;
    }
    while (const dirent* e = ::readdir(d)) {
        const pid_t owner = TempFileOwner(e->d_name, targetName);
        if (owner == 0 || ProcessRuns(owner)) continue;
        struct stat st {};
        if (::fstatat(folder, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
            ::unlinkat(folder, e->d_name, 0);
    }
    ::closedir(d);
}

// Anyone may put a link into a sticky folder everyone can write to, so one there is trusted only
// when it is the user's own or that of the folder's owner (the kernel's protected_symlinks rule,
// applied whatever the machine's setting).
bool MayFollow(const struct stat& folder, const struct stat& link) {
    const bool shared = (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0;
    return !shared || link.st_uid == ::geteuid() || link.st_uid == folder.st_uid;
}

// The names of a path in order; a path that ends in '/' ends in "." (its last name is a folder).
std::vector<std::string> PathNames(std::string_view path) {
    std::vector<std::string> names;
    for (size_t pos = 0; pos < path.size();) {
        size_t slash = path.find('/', pos);
        if (slash == std::string_view::npos) slash = path.size();
        if (slash > pos) names.emplace_back(path.substr(pos, slash - pos));
        pos = slash + 1;
    }
    if (!names.empty() && path.back() == '/') names.emplace_back(".");
    return names;
}

bool ReadLinkAt(int folder, const std::string& name, std::string& target) {
    for (size_t size = 256; size <= 65536; size *= 4) {
        target.assign(size, '\0');
        const ssize_t n = ::readlinkat(folder, name.c_str(), target.data(), target.size());
        if (n < 0) return false;
        if (static_cast<size_t>(n) < target.size()) {
            target.resize(static_cast<size_t>(n));
            return true;
        }
    }
    errno = ENAMETOOLONG;
    return false;
}

constexpr int kHoldFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;

template <typename TBuffer>
bool ReadInto(const std::string& path, TBuffer& bytes, std::string& error, size_t maxBytes) {
    bytes.clear();
    error.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        error = Fail("cannot open", path, errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        error = Fail("cannot read", path, errno);
        ::close(fd);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = Format("cannot read %s: not a regular file", path);
        ::close(fd);
        return false;
    }
    if (st.st_size > 0 && static_cast<uint64_t>(st.st_size) <= maxBytes)
        bytes.reserve(static_cast<size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            error = Fail("cannot read", path, errno);
            ::close(fd);
            bytes.clear();
            return false;
        }
        if (n == 0) break;
        if (bytes.size() + static_cast<size_t>(n) > maxBytes) {
            error = Format("cannot read %s: file is larger than %d bytes", path, maxBytes);
            ::close(fd);
            bytes.clear();
            return false;
        }
        bytes.insert(bytes.end(), buf, buf + n);
    }
    ::close(fd);
    return true;
}

} // namespace

TPathWalk::~TPathWalk() {
    Reset();
}

void TPathWalk::Reset() {
    if (folder_ >= 0) ::close(folder_);
    folder_ = -1;
    folderStatus_ = {};
    folders_.clear();
    name_.clear();
    linkRefused_ = false;
}

void TPathWalk::Hold(int fd) {
    if (folder_ >= 0) ::close(folder_);
    folder_ = fd;
}

std::string TPathWalk::FolderPath() const {
    std::string path;
    for (const std::string& f : folders_)
        path += "/" + f;
    return path.empty() ? "/" : path;
}

std::string TPathWalk::InFolder(const std::string& name) const {
    return folders_.empty() ? "/" + name : FolderPath() + "/" + name;
}

std::string TPathWalk::PhysicalPath() const {
    return name_.empty() ? FolderPath() : InFolder(name_);
}

bool TPathWalk::Walk(const std::string& path, std::string& error, const TObserver& observer) {
    Reset();
    error.clear();
    const auto fail = [&](int err, const std::string& why, bool linkRefused = false) {
        Reset();
        linkRefused_ = linkRefused;
        error = Format("%s: %s", path, why);
        errno = err;
        return false;
    };
    const auto failErrno = [&](int err) { return fail(err, ErrnoText(err)); };
    // The folder now held, seen by the observer.
    const auto enter = [&](int fd) {
        Hold(fd);
        if (::fstat(fd, &folderStatus_) != 0) return false;
        if (observer) observer(folderStatus_);
        return true;
    };
    if (path.empty()) return failErrno(ENOENT);
    if (path[0] != '/') {
        char* cwd = ::getcwd(nullptr, 0);
        if (cwd == nullptr) return failErrno(errno);
        for (std::string& name : PathNames(cwd))
            folders_.push_back(std::move(name));
        ::free(cwd);
    }
    int fd = ::open(path[0] == '/' ? "/" : ".", kHoldFlags);
    if (fd < 0 || !enter(fd)) return failErrno(errno);

    std::vector<std::string> pending = PathNames(path);
    std::reverse(pending.begin(), pending.end());
    int links = 0;
    while (!pending.empty()) {
        std::string name = std::move(pending.back());
        pending.pop_back();
        if (name == ".") continue;
        if (name == "..") {
            // The parent of the folder held, so ".." after a link leaves the link's target.
            fd = ::openat(folder_, "..", kHoldFlags);
            if (fd < 0) return failErrno(errno);
            if (!folders_.empty()) folders_.pop_back();
            if (!enter(fd)) return failErrno(errno);
            continue;
        }
        struct stat st {};
        if (::fstatat(folder_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            const int err = errno;
            if (err == ENOENT && pending.empty()) {
                name_ = std::move(name);
                return true;
            }
            return failErrno(err);
        }
        if (S_ISLNK(st.st_mode)) {
            if (++links > 40) return failErrno(ELOOP);
            if (!MayFollow(folderStatus_, st))
                return fail(EACCES,
                            Format("the link %s lies in a folder everyone can write to and belongs to "
                                   "another user",
                                   InFolder(name)),
                            true);
            if (observer) observer(st);
            std::string target;
            if (!ReadLinkAt(folder_, name, target)) return failErrno(errno);
            if (target.empty()) return failErrno(ENOENT);
            if (target[0] == '/') {
                folders_.clear();
                fd = ::open("/", kHoldFlags);
                if (fd < 0 || !enter(fd)) return failErrno(errno);
            }
            const std::vector<std::string> names = PathNames(target);
            pending.insert(pending.end(), names.rbegin(), names.rend());
            continue;
        }
        if (pending.empty()) {
            name_ = std::move(name);
            return true;
        }
        if (!S_ISDIR(st.st_mode)) return failErrno(ENOTDIR);
        // A name swapped for a link since fstatat is not taken: O_NOFOLLOW opens the link itself,
        // which O_DIRECTORY refuses.
        fd = ::openat(folder_, name.c_str(), kHoldFlags | O_NOFOLLOW);
        if (fd < 0) return failErrno(errno);
        folders_.push_back(std::move(name));
        if (!enter(fd)) return failErrno(errno);
    }
    return true;
}

bool WriteFileAtomic(const std::string& path, std::string_view bytes, std::string& error) {
    error.clear();
    // Every failure leaves its reason in errno for callers that report only the code.
    const auto fail = [&](int err, std::string text) {
        error = std::move(text);
        errno = err;
        return false;
    };
    if (path.empty()) return fail(ENOENT, "cannot write a file without a name");
    TPathWalk walk;
    std::string reason;
    if (!walk.Walk(path, reason)) {
        const int err = errno;
        return fail(err, "cannot write " + reason);
    }
    const int dir = walk.Folder();
    const std::string& name = walk.Name();
    if (name.empty()) return fail(EISDIR, Format("cannot write %s: not a regular file", path));

    struct stat st {};
    bool keepMode = false;
    if (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (!S_ISREG(st.st_mode))
            return fail(S_ISDIR(st.st_mode) ? EISDIR : EINVAL,
                        Format("cannot write %s: not a regular file", path));
        keepMode = true;
    } else if (errno != ENOENT) {
        const int err = errno;
        return fail(err, Fail("cannot write", path, err));
    }

    // The folder once more, for reading: for the sweep and its flush (a folder the user may only
    // search or write has neither).
    const int listed = ::openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listed >= 0) RemoveLeftoverTempFiles(listed, name);
    const auto closeListed = [&] {
        if (listed >= 0) ::close(listed);
    };

    static std::atomic<unsigned> counter{0};
    static thread_local std::mt19937 rng{std::random_device{}()};
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temp = Format(".%s.%d.%d.%x.tmp", name, static_cast<int64_t>(::getpid()), counter.fetch_add(1),
                      static_cast<uint32_t>(rng()));
        // 0666 so that a new file gets the mode the umask gives any new file.
        fd = ::openat(dir, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY,
                      0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        const int err = errno;
        closeListed();
        return fail(err, Fail("cannot create a temporary file in", walk.FolderPath(), err));
    }

    int err = 0;
    bool ok = WriteAll(fd, bytes.data(), bytes.size(), err);
    if (ok && keepMode && ::fchmod(fd, st.st_mode & 07777) != 0) {
        err = errno;
        ok = false;
    }
    // On disk before the rename, so a crash leaves the old content or the new, never a hole.
    if (ok && FlushFailed(fd, err)) ok = false;
    if (::close(fd) != 0 && ok) {
        err = errno;
        ok = false;
    }
    if (ok && ::renameat(dir, temp.c_str(), dir, name.c_str()) != 0) {
        err = errno;
        ::unlinkat(dir, temp.c_str(), 0);
        closeListed();
        return fail(err, Fail("cannot replace", path, err));
    }
    if (!ok) {
        ::unlinkat(dir, temp.c_str(), 0);
        closeListed();
        return fail(err, Fail("cannot write", path, err));
    }
    // The rename itself reaches the disk with the folder; when that fails the new content is in
    // place but may not survive a crash, so the save is not reported as done.
    const bool failed = listed >= 0 && FlushFailed(listed, err);
    closeListed();
    if (failed) return fail(err, Fail("cannot write", path, err));
    return true;
}

bool WriteFileAtomic(const std::string& path, std::span<const uint8_t> bytes, std::string& error) {
    return WriteFileAtomic(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                           error);
}

bool ReadFileBytes(const std::string& path, std::string& bytes, std::string& error, size_t maxBytes) {
    return ReadInto(path, bytes, error, maxBytes);
}

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& bytes, std::string& error,
                   size_t maxBytes) {
    return ReadInto(path, bytes, error, maxBytes);
}

bool ForceDirectories(const std::string& path, std::string& error) {
    error.clear();
    if (path.empty()) {
        error = "cannot create a folder without a name";
        return false;
    }
    if (DirectoryExists(path)) return true;
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/')
        trimmed.pop_back();
    const std::string parent = DirName(trimmed);
    if (parent != trimmed && !DirectoryExists(parent) && !ForceDirectories(parent, error)) return false;
    if (::mkdir(trimmed.c_str(), 0777) != 0) {
        const int err = errno;
        if (err == EEXIST && DirectoryExists(trimmed)) return true; // created meanwhile
        error = Fail("cannot create folder", trimmed, err);
        return false;
    }
    return true;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace qrb::device
