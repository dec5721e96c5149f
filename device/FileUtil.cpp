#include "device/FileUtil.h"

#include "device/Format.h"

#include <atomic>
#include <cerrno>
#include <csignal>
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

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
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
// that is no regular file.
void RemoveLeftoverTempFiles(const std::string& dir, const std::string& targetName) {
    DIR* d = ::opendir(dir.c_str());
    if (d == nullptr) return;
    while (const dirent* e = ::readdir(d)) {
        const pid_t owner = TempFileOwner(e->d_name, targetName);
        if (owner == 0 || ProcessRuns(owner)) continue;
        const std::string path = dir + "/" + e->d_name;
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::unlink(path.c_str());
    }
    ::closedir(d);
}

// Anyone may put a link into a sticky folder everyone can write to, so one there is trusted only
// when it is the user's own or that of the folder's owner (the kernel's protected_symlinks rule,
// applied whatever the machine's setting).
bool MayFollow(const std::string& link, const struct stat& linkStat) {
    struct stat folder {};
    if (::stat(DirName(link).c_str(), &folder) != 0) return false;
    const bool shared = (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0;
    return !shared || linkStat.st_uid == ::geteuid() || linkStat.st_uid == folder.st_uid;
}

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

bool ResolveSymlinks(const std::string& path, std::string& resolved, std::string& error) {
    error.clear();
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            resolved = current;
            return true;
        }
        if (!MayFollow(current, st)) {
            error =
                Format("cannot write %s: the link %s lies in a folder everyone can write to and belongs to "
                       "another user",
                       path, current);
            errno = EACCES;
            return false;
        }
        std::string target(4096, '\0');
        const ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
        if (n < 0) {
            error = Fail("cannot read link", current, errno);
            return false;
        }
        if (static_cast<size_t>(n) >= target.size()) {
            error = Fail("cannot read link", current, ENAMETOOLONG);
            return false;
        }
        target.resize(static_cast<size_t>(n));
        current = !target.empty() && target[0] == '/' ? target : DirName(current) + "/" + target;
    }
    error = Fail("cannot resolve", path, ELOOP);
    return false;
}

bool WriteFileAtomic(const std::string& path, std::string_view bytes, std::string& error) {
    error.clear();
    if (path.empty()) {
        error = "cannot write a file without a name";
        return false;
    }
    std::string target;
    if (!ResolveSymlinks(path, target, error)) return false;

    struct stat st {};
    bool keepMode = false;
    if (::stat(target.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            error = Format("cannot write %s: not a regular file", target);
            return false;
        }
        keepMode = true;
    } else if (errno != ENOENT) {
        error = Fail("cannot write", target, errno);
        return false;
    }

    static std::atomic<unsigned> counter{0};
    static thread_local std::mt19937 rng{std::random_device{}()};
    const std::string dir = DirName(target);
    RemoveLeftoverTempFiles(dir, BaseName(target));
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temp = Format("%s/.%s.%d.%d.%x.tmp", dir, BaseName(target), static_cast<int64_t>(::getpid()),
                      counter.fetch_add(1), static_cast<uint32_t>(rng()));
        // 0666 so that a new file gets the mode the umask gives any new file.
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        error = Fail("cannot create a temporary file in", dir, errno);
        return false;
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
    if (ok && ::rename(temp.c_str(), target.c_str()) != 0) {
        ::unlink(temp.c_str());
        error = Fail("cannot replace", target, errno);
        return false;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        error = Fail("cannot write", target, err);
        return false;
    }
    // The rename itself reaches the disk with the folder; when that fails the new content is in
    // place but may not survive a crash, so the save is not reported as done.
    const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        const bool failed = FlushFailed(dirFd, err);
        ::close(dirFd);
        if (failed) {
            error = Fail("cannot write", target, err);
            return false;
        }
    }
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
