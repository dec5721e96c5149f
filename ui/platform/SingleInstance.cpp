#include "ui/platform/SingleInstance.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qrb::ui {

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

TSingleInstance::TState TSingleInstance::Acquire() {
    if (fd_ >= 0) return TState::Acquired;
    path_ = LockFilePath();
    error_.clear();
    // No link is followed, so a link planted in a shared folder cannot redirect the file.
    const int fd = open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        error_ = path_ + ": " + std::strerror(errno);
        return TState::Failed;
    }
    int rc;
    do {
        rc = flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int err = errno;
        close(fd);
        if (err == EWOULDBLOCK) return TState::AlreadyRunning;
        error_ = path_ + ": " + std::strerror(err);
        return TState::Failed;
    }
    fd_ = fd;
    return TState::Acquired;
}

void TSingleInstance::Release() {
    if (fd_ < 0) return;
    flock(fd_, LOCK_UN);
    close(fd_);
    fd_ = -1;
}

} // namespace qrb::ui
