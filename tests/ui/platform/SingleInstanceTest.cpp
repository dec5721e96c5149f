#include "ui/platform/SingleInstance.h"

#include "tests/ui/UiTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

using qrb::ui::TSingleInstance;

namespace {

using qrb::test::TEnvScope;

std::string RuntimeDir() {
    const char* dir = std::getenv("XDG_RUNTIME_DIR");
    return dir != nullptr ? dir : "";
}

TEST(SingleInstance, LockFileLivesInTheRuntimeFolderElseInTmpWithTheUserId) {
    {
        TEnvScope env("XDG_RUNTIME_DIR", "/run/user/1234/");
        EXPECT_EQ(TSingleInstance::LockFilePath(), "/run/user/1234/QRB Ondrix Software.lock");
    }
    {
        TEnvScope env("XDG_RUNTIME_DIR", "relative/dir");
        EXPECT_EQ(TSingleInstance::LockFilePath(),
                  "/tmp/QRB Ondrix Software-" + std::to_string(getuid()) + ".lock");
    }
    {
        TEnvScope env("XDG_RUNTIME_DIR", nullptr);
        EXPECT_EQ(TSingleInstance::LockFilePath(),
                  "/tmp/QRB Ondrix Software-" + std::to_string(getuid()) + ".lock");
    }
}

TEST(SingleInstance, SecondGuardIsRefusedWhileTheFirstHoldsTheLockAndTakesItAfterwards) {
    ASSERT_FALSE(RuntimeDir().empty());
    TSingleInstance first;
    ASSERT_EQ(first.Acquire(), TSingleInstance::TState::Acquired) << first.Error();
    EXPECT_EQ(first.Path(), RuntimeDir() + "/QRB Ondrix Software.lock");
    {
        TSingleInstance second;
        EXPECT_EQ(second.Acquire(), TSingleInstance::TState::AlreadyRunning);
        EXPECT_FALSE(second.Held());
    }
    first.Release();
    TSingleInstance third;
    EXPECT_EQ(third.Acquire(), TSingleInstance::TState::Acquired);
}

TEST(SingleInstance, LinkPlantedAtTheLockPathIsNotFollowed) {
    const std::filesystem::path dir = std::filesystem::path(RuntimeDir()) / "linked";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::filesystem::path target = dir / "target";
    std::filesystem::create_symlink(target, dir / "QRB Ondrix Software.lock");
    TEnvScope env("XDG_RUNTIME_DIR", dir.c_str());
    TSingleInstance guard;
    EXPECT_EQ(guard.Acquire(), TSingleInstance::TState::Failed);
    EXPECT_FALSE(guard.Error().empty());
    EXPECT_FALSE(std::filesystem::exists(target));
    std::filesystem::remove_all(dir);
}

} // namespace
