#pragma once
// The single-instance guard: an exclusive flock on a lock file named after the mutex
// "QRB Ondrix Software", in $XDG_RUNTIME_DIR or else in /tmp with the user id in its name.
// The kernel drops the lock when the process dies, so a killed instance never blocks a start.

#include <string>

namespace qrb::ui {

inline constexpr const char* kInstanceMutexName = "QRB Ondrix Software";

class TSingleInstance {
public:
    enum class TState { Acquired, AlreadyRunning, Failed };

    TSingleInstance() = default;
    ~TSingleInstance();
    TSingleInstance(const TSingleInstance&) = delete;
    TSingleInstance& operator=(const TSingleInstance&) = delete;

    // Opens (creates) the lock file and tries to lock it without waiting. Creates no other file.
    TState Acquire();
    // Drops the lock and closes the file (the file stays).
    void Release();

    bool Held() const { return fd_ >= 0; }
    const std::string& Path() const { return path_; }
    const std::string& Error() const { return error_; }

    // The lock file's path for the current environment.
    static std::string LockFilePath();

private:
    int fd_ = -1;
    std::string path_;
    std::string error_;
};

} // namespace qrb::ui
