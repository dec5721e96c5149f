#pragma once
// Root reads and writes any file, so what a missing permission does cannot show in a test run as
// root (as CI runs). RerunAsNobody runs the current test once more in a child process of the
// test program as the user nobody, with a home, runtime, configuration and scratch folder of its
// own, and checks that it passed there (its output comes before this test's end).
//
//     if (qrb::test::RerunAsNobody()) return; // as root: it ran as nobody
//
// Returns false when this process is not root (also in that child): the test runs here.

#include "tests/support/ExecArgs.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <grp.h>
#include <pwd.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace qrb::test {

inline bool RerunAsNobody() {
    namespace fs = std::filesystem;
    if (::geteuid() != 0) return false;
    const passwd* nobody = ::getpwnam("nobody");
    const uid_t uid = nobody != nullptr ? nobody->pw_uid : 65534;
    const gid_t gid = nobody != nullptr ? nobody->pw_gid : 65534;

    char self[PATH_MAX] = {};
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) {
        ADD_FAILURE() << "cannot find the test program: " << std::strerror(errno);
        return true;
    }
    std::string folder = "/tmp/qrb-nobody-XXXXXX";
    if (::mkdtemp(folder.data()) == nullptr) {
        ADD_FAILURE() << "cannot make a folder for nobody: " << std::strerror(errno);
        return true;
    }
    for (const char* sub : {"home", "run", "config", "scratch"})
        fs::create_directory(fs::path(folder) / sub);
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        (void)::chown(entry.path().c_str(), uid, gid);
    (void)::chown(folder.c_str(), uid, gid);
    ::chmod((folder + "/run").c_str(), 0700);

    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const TExecArgs exec(
        {self, std::string("--gtest_filter=") + info->test_suite_name() + "." + info->name()},
        {{"HOME", folder + "/home"},
         {"XDG_RUNTIME_DIR", folder + "/run"},
         {"XDG_CONFIG_HOME", folder + "/config"},
         {"QRB_TEST_BINARY_DIR", folder + "/scratch"},
         {"TMPDIR", folder + "/scratch"}});

    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Only system calls between fork and exec: the test program may run threads.
        if (::setgroups(0, nullptr) == 0 && ::setresgid(gid, gid, gid) == 0 &&
            ::setresuid(uid, uid, uid) == 0)
            ::execve(exec.Argv()[0], exec.Argv(), exec.Envp());
        ::_exit(127);
    }
    int status = 0;
    const bool waited = pid > 0 && ::waitpid(pid, &status, 0) == pid;
    std::error_code ec;
    fs::remove_all(folder, ec);
    EXPECT_TRUE(waited && WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "the test run as nobody failed (status " << status << "; 127: it could not start)";
    return true;
}

} // namespace qrb::test
