#include "ui/platform/SingleInstance.h"

#include "device/Helpers.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qrb::ui {

namespace {

// An exclusive lock without waiting; errno tells a held lock (EWOULDBLOCK) from a failure.
int TryLock(int fd) {
    int rc;
    do {
        rc = flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    return rc;
}

} // namespace

TSingleInstance::~TSingleInstance() {
    Release();
}

std::string TSingleInstance::LockFilePath() {
    const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
    if (runtimeDir != nullptr && runtimeDir[0] == '/') {
        std::string dir = runtimeDir;
        while (dir.size() > 1 && dir.back() == '/')
            dir.pop_back();
        return dir + "/" + kInstanceMutexName + ".lock";
    }
    // /tmp is shared by every user: the user id keeps the instances of two users apart.
    return std::string("/tmp/") + kInstanceMutexName + "-" + std::to_string(getuid()) + ".lock";
}

void TSingleInstance::AddError(const std::string& text) {
    if (!error_.empty()) error_ += "; ";
    error_ += text;
}

TSingleInstance::TLock TSingleInstance::LockPath(const std::string& path, int flags, int& held) {
    const int fd = open(path.c_str(), flags | O_CLOEXEC, 0600);
    if (fd < 0) {
        AddError(path + ": " + std::strerror(errno));
        return TLock::Failed;
    }
    if (TryLock(fd) != 0) {
        const int err = errno;
        close(fd);
        if (err == EWOULDBLOCK) return TLock::Busy;
        AddError(path + ": " + std::strerror(err));
        return TLock::Failed;
    }
    held = fd;
    return TLock::Taken;
}

TSingleInstance::TLock TSingleInstance::LockFile() {
    path_ = LockFilePath();
    // No link is followed, so a link planted in a shared folder cannot redirect the file.
    return LockPath(path_, O_RDWR | O_CREAT | O_NOFOLLOW, fd_);
}

TSingleInstance::TLock TSingleInstance::LockFolder() {
    // The settings' own folder, as the window finds it; a missing one is created as the window
    // would, so that it is locked before the window reads anything from it.
    std::string error;
    if (!device::GetUserFolder(folderPath_, error)) {
        AddError(error);
        return TLock::Failed;
    }
    return LockPath(folderPath_, O_RDONLY | O_DIRECTORY, folderFd_);
}

TSingleInstance::TState TSingleInstance::Acquire() {
    if (fd_ >= 0 && folderFd_ >= 0) return TState::Acquired;
    Release();
    error_.clear();
    folderPath_.clear();
    const TLock file = LockFile();
    // Refused at the lock file: nothing else is touched.
    if (file == TLock::Busy) return TState::AlreadyRunning;
    const TLock folder = LockFolder();
    if (folder == TLock::Busy) {
        Release();
        return TState::AlreadyRunning;
    }
    return file == TLock::Taken && folder == TLock::Taken ? TState::Acquired : TState::Failed;
}

void TSingleInstance::Release() {
    for (int* fd : {&fd_, &folderFd_}) {
        if (*fd < 0) continue;
        flock(*fd, LOCK_UN);
        close(*fd);
        *fd = -1;
    }
}

} // namespace qrb::ui
