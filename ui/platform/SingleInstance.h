#pragma once
// The single-instance guard: an exclusive flock on a lock file named after the mutex
// "QRB Ondrix Software", in $XDG_RUNTIME_DIR or else in /tmp with the user id in its name, and
// one on the user data folder the settings live in ("QRB GmbH"), so that two instances never
// share settings whatever their runtime folders. The kernel drops both locks when the process
// dies, so a killed instance never blocks a start.

#include <string>

namespace qrb::ui {

inline constexpr const char* kInstanceMutexName = "QRB Ondrix Software";

class TSingleInstance {
public:
    // Failed: a lock could not be taken for another reason than a running instance (Error
    // says which and why); the program starts all the same.
    enum class TState { Acquired, AlreadyRunning, Failed };

    TSingleInstance() = default;
    ~TSingleInstance();
    TSingleInstance(const TSingleInstance&) = delete;
    TSingleInstance& operator=(const TSingleInstance&) = delete;

    // Opens (creates) the lock file and tries to lock it without waiting; then, unless an
    // instance holds that lock, locks the user data folder (created when missing). A refused
    // start creates no other file than the lock file.
    TState Acquire();
    // Drops the locks and closes the files (the lock file stays).
    void Release();

    bool Held() const { return fd_ >= 0; }
    bool FolderHeld() const { return folderFd_ >= 0; }
    const std::string& Path() const { return path_; }
    const std::string& FolderPath() const { return folderPath_; }
    // The failures of the last Acquire, one per lock, separated by "; ".
    const std::string& Error() const { return error_; }

    // The lock file's path for the current environment.
    static std::string LockFilePath();

private:
    enum class TLock { Taken, Busy, Failed };
    // Opens path and takes its lock; held gets the descriptor when taken.
    TLock LockPath(const std::string& path, int flags, int& held);
    TLock LockFile();
    TLock LockFolder();
    void AddError(const std::string& text);

    int fd_ = -1;
    int folderFd_ = -1;
    std::string path_;
    std::string folderPath_;
    std::string error_;
};

} // namespace qrb::ui
