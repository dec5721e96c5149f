#include "ui/platform/SingleInstance.h"

#include "tests/ui/UiTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

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

std::vector<std::string> Names(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The settings' folder is locked too: a guard with another runtime folder, or one that names a
// missing folder, is refused while the first one holds it; without a lock file the settings'
// folder still keeps a second guard out, and the failure is told.
TEST(SingleInstance, SettingsFolderIsLockedWhateverTheRuntimeFolder) {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    ASSERT_TRUE(config != nullptr && !RuntimeDir().empty());
    const std::filesystem::path folder = std::filesystem::path(config) / "QRB GmbH";
    const std::filesystem::path other = std::filesystem::path(RuntimeDir()) / "other";
    const std::filesystem::path missing = std::filesystem::path(RuntimeDir()) / "missing" / "run";
    std::filesystem::remove_all(other);
    std::filesystem::remove_all(missing.parent_path());
    std::filesystem::create_directories(other);

    TSingleInstance first;
    ASSERT_EQ(first.Acquire(), TSingleInstance::TState::Acquired) << first.Error();
    EXPECT_TRUE(first.FolderHeld());
    EXPECT_EQ(first.FolderPath(), folder.string());
    const std::vector<std::string> settingsFiles = Names(folder);
    for (const std::filesystem::path& runtime : {other, missing}) {
        SCOPED_TRACE(runtime);
        TEnvScope env("XDG_RUNTIME_DIR", runtime.c_str());
        TSingleInstance second;
        EXPECT_EQ(second.Acquire(), TSingleInstance::TState::AlreadyRunning);
        EXPECT_FALSE(second.Held());
        EXPECT_FALSE(second.FolderHeld());
    }
    // The refused guards made their lock file and nothing else.
    EXPECT_EQ(Names(other), std::vector<std::string>{"QRB Ondrix Software.lock"});
    EXPECT_FALSE(std::filesystem::exists(missing.parent_path()));
    EXPECT_EQ(Names(folder), settingsFiles);
    first.Release();

    TEnvScope env("XDG_RUNTIME_DIR", missing.c_str());
    TSingleInstance alone;
    EXPECT_EQ(alone.Acquire(), TSingleInstance::TState::Failed);
    EXPECT_FALSE(alone.Held());
    EXPECT_TRUE(alone.FolderHeld());
    EXPECT_NE(alone.Error().find(missing.string()), std::string::npos) << alone.Error();
    TSingleInstance next;
    EXPECT_EQ(next.Acquire(), TSingleInstance::TState::AlreadyRunning);
    std::filesystem::remove_all(other);
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
