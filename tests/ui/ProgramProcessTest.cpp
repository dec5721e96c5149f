// The program as a process: the single-instance guard across processes and the settings
// file written at close. Each child runs offscreen with this test's own XDG folders and
// prints its message boxes instead of showing them.

#include "device/FileUtil.h"
#include "device/StringList.h"
#include "tests/support/ExecArgs.h"
#include "tests/support/FakeLanAmplifier.h"
#include "ui/settings/IniFile.h"
#include "ui/settings/Settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <netinet/in.h>
#include <optional>
#include <string>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace qrb::ui {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Generous bounds for a child to start or end; reaching one is a failure, not a measurement.
constexpr auto kStartBound = 60s;

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class TChild {
public:
    // printBoxes: the message boxes are printed and answered at once; else they are the real
    // boxes, which wait for an answer.
    // changes: further environment variables of the child.
    TChild(const std::string& binary, const fs::path& output, const char* argument = nullptr,
           bool printBoxes = true, test::TExecArgs::TChanges changes = {}) {
        std::vector<std::string> args{binary};
        if (argument != nullptr) args.emplace_back(argument);
        changes.emplace_back("QRB_MESSAGES", printBoxes ? std::optional<std::string>("print") : std::nullopt);
        const test::TExecArgs exec(std::move(args), changes);
        // Standard output holds the printed message boxes; Qt's warnings go elsewhere.
        const int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        const std::string errors = output.string() + ".err";
        const int errFd = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        std::fflush(nullptr);
        pid_ = fork();
        if (pid_ == 0) {
            if (fd >= 0) dup2(fd, 1);
            if (errFd >= 0) dup2(errFd, 2);
            execve(exec.Argv()[0], exec.Argv(), exec.Envp());
            _exit(127);
        }
        if (fd >= 0) close(fd);
        if (errFd >= 0) close(errFd);
    }
    ~TChild() {
        if (pid_ > 0 && !done_) {
            kill(pid_, SIGKILL);
            Wait();
        }
    }
    bool Running() {
        if (done_) return false;
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            done_ = true;
            status_ = status;
            return false;
        }
        return true;
    }
    // The exit status; -1 when it did not end within the bound (it is killed then).
    int Wait(std::chrono::milliseconds bound = kStartBound) {
        const auto end = std::chrono::steady_clock::now() + bound;
        while (Running() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(20ms);
        if (!done_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status_, 0);
            done_ = true;
            return -1;
        }
        return WIFEXITED(status_) ? WEXITSTATUS(status_) : 128 + WTERMSIG(status_);
    }
    void Signal(int sig) { kill(pid_, sig); }
    bool Started() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    bool done_ = false;
    int status_ = 0;
};

// True while some process holds the lock file or folder (the guard's flock). This takes the
// lock for a moment when it is free: only for a file no program is starting on.
bool LockHeld(const fs::path& lock) {
    const int fd = open(lock.c_str(), O_RDONLY | O_CLOEXEC); // a file or a folder
    if (fd < 0) return false;
    const bool held = flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    if (!held) flock(fd, LOCK_UN);
    close(fd);
    return held;
}

// True once the process holds an exclusive flock on path, as its open files show. Looking
// takes no lock, so it cannot make a starting program find the lock held.
bool HoldsLock(pid_t pid, const fs::path& path) {
    std::error_code ec;
    const fs::path wanted = fs::weakly_canonical(path, ec);
    const std::string proc = "/proc/" + std::to_string(pid);
    for (fs::directory_iterator it(proc + "/fd", ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code linkError;
        if (fs::read_symlink(it->path(), linkError) != wanted) continue;
        std::ifstream info(proc + "/fdinfo/" + it->path().filename().string());
        for (std::string line; std::getline(info, line);)
            if (line.rfind("lock:", 0) == 0 && line.find(" FLOCK ") != std::string::npos &&
                line.find(" WRITE ") != std::string::npos)
                return true;
    }
    return false;
}

// What the process is doing, for a failure message.
std::string Describe(pid_t pid) {
    const std::string proc = "/proc/" + std::to_string(pid);
    std::error_code ec;
    std::string text =
        "process " + std::to_string(pid) + ": runs " + fs::read_symlink(proc + "/exe", ec).string();
    std::ifstream status(proc + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("State:", 0) == 0) text += "; " + line;
    text += "; waits in " + ReadAll(proc + "/wchan");
    return text;
}

::testing::AssertionResult WaitForLock(TChild& child, const fs::path& lock) {
    const auto end = std::chrono::steady_clock::now() + kStartBound;
    while (std::chrono::steady_clock::now() < end) {
        if (HoldsLock(child.Pid(), lock)) return ::testing::AssertionSuccess();
        if (!child.Running()) return ::testing::AssertionFailure() << "it ended without holding " << lock;
        std::this_thread::sleep_for(20ms);
    }
    return ::testing::AssertionFailure() << lock << " not held; " << Describe(child.Pid());
}

// One request line to the configuration server on 127.0.0.1:8888 and the reply up to the
// server's CR LF; empty when nothing listens or answers.
std::string AskConfigServer(const std::string& request) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return {};
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(8888);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval timeout{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    std::string reply;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        const std::string line = request + "\n";
        if (send(fd, line.data(), line.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(line.size())) {
            char buffer[256];
            while (reply.find("\r\n") == std::string::npos) {
                const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
                if (n <= 0) break;
                reply.append(buffer, static_cast<size_t>(n));
            }
        }
    }
    close(fd);
    return reply;
}

// Each test starts the program binary from an empty settings folder, with no lock file left;
// what the program prints goes to files under outDir.
class ProgramProcess : public ::testing::Test {
protected:
    void SetUp() override {
        const char* binaryDir = std::getenv("QRB_TEST_BINARY_DIR");
        const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
        const char* config = std::getenv("XDG_CONFIG_HOME");
        ASSERT_TRUE(binaryDir != nullptr && runtimeDir != nullptr && config != nullptr);
        binary = std::string(binaryDir) + "/OndrixQRB";
        runtime = runtimeDir;
        lock = runtime / "QRB Ondrix Software.lock";
        folder = fs::path(config) / "QRB GmbH";
        fs::remove_all(folder);
        fs::remove(lock);
        fs::permissions(runtime, fs::perms::owner_all); // as a runtime folder is
        fs::create_directories(folder);
        outDir = fs::path(config) / "out"; // what the program prints
        fs::create_directories(outDir);
    }

    std::string binary;
    fs::path runtime;
    fs::path lock;
    fs::path folder;
    fs::path outDir;
};

TEST_F(ProgramProcess, ConfigServerSwitchAnswersWithTheScannedModel) {
    {
        // Two simulated amplifiers of 8 channels, nothing else.
        std::ofstream out(folder / "Ondrix.ini", std::ios::binary);
        out << "[Global]\r\nInterfaces=4\r\n[Virtual]\r\nDevices=2\r\nChannels=8\r\n[LAN]\r\nDevices=\r\n";
    }

    TChild program(binary, outDir / "server.txt", "CONFIGSERVER"); // the switch ignores case
    ASSERT_TRUE(WaitForLock(program, lock)) << ReadAll(outDir / "server.txt");
    std::string reply;
    const auto end = std::chrono::steady_clock::now() + kStartBound;
    while (program.Running() && std::chrono::steady_clock::now() < end) {
        reply = AskConfigServer("REQ_NUMCHN");
        if (reply == "16,Number of channels: 16\r\n") break;
        std::this_thread::sleep_for(100ms);
    }
    EXPECT_EQ(reply, "16,Number of channels: 16\r\n") << ReadAll(outDir / "server.txt");
    EXPECT_EQ(AskConfigServer("REQ_STATUS"), "2,Status: ON (SIMULATION)\r\n");
    program.Signal(SIGTERM);
    EXPECT_EQ(program.Wait(), 0) << ReadAll(outDir / "server.txt");
    EXPECT_EQ(AskConfigServer("REQ_STATUS"), ""); // stopped with the program
}

TEST_F(ProgramProcess, SecondStartIsRefusedFirstStartsAgainAfterAKillAndCloseWritesTheSettings) {
    ASSERT_TRUE(fs::exists(binary));
    const fs::path ini = folder / "Ondrix.ini";

    // A file with a few keys: no interface, so no start contacts anything; an own key that
    // must survive.
    {
        std::ofstream out(ini, std::ios::binary);
        out << "[MainWindow]\r\nTop=20\r\nLeft=10\r\n[Global]\r\nLanguage=0\r\nInterfaces=0\r\n"
               "[Mine]\r\nKeep=yes\r\n";
    }
    const std::string written = ReadAll(ini);
    TSettings expected = DefaultSettings(800, 600, folder.string());
    expected.Top = 20;
    expected.Left = 10;
    expected.LangOffset = 0;
    expected.Interfaces = device::TInterfaceMask(0);
    std::string error;

    TChild first(binary, outDir / "first.txt");
    ASSERT_TRUE(first.Started());
    ASSERT_TRUE(WaitForLock(first, lock)) << ReadAll(outDir / "first.txt");

    {
        TChild second(binary, outDir / "second.txt");
        EXPECT_EQ(second.Wait(), 0);
    }
    EXPECT_EQ(ReadAll(outDir / "second.txt")
                  .find("MESSAGE: Es läuft bereits eine Software für QRB "
                        "Messverstärker!\\r\\nA program for QRB measuring amplifiers is "
                        "already running!\n"),
              0u)
        << ReadAll(outDir / "second.txt");
    EXPECT_EQ(ReadAll(ini), written);
    // Only the lock file besides the program's folder.
    std::vector<std::string> runtimeFiles;
    for (const auto& entry : fs::directory_iterator(runtime))
        runtimeFiles.push_back(entry.path().filename().string());
    EXPECT_EQ(runtimeFiles, (std::vector<std::string>{"QRB Ondrix Software.lock"}));

    first.Signal(SIGKILL);
    EXPECT_EQ(first.Wait(), 128 + SIGKILL);
    EXPECT_FALSE(LockHeld(lock));
    EXPECT_EQ(ReadAll(ini), written); // killed: nothing written

    TChild third(binary, outDir / "third.txt");
    ASSERT_TRUE(WaitForLock(third, lock)) << ReadAll(outDir / "third.txt");
    third.Signal(SIGTERM); // closes the window as the exit command does
    EXPECT_EQ(third.Wait(), 0) << ReadAll(outDir / "third.txt");
    EXPECT_EQ(ReadAll(outDir / "third.txt").find("MESSAGE:"), std::string::npos)
        << ReadAll(outDir / "third.txt");

    // Written at close: every key with the values read at the start, the own key kept.
    const std::string after = ReadAll(ini);
    TIniFile file;
    ASSERT_TRUE(file.LoadFromFile(ini.string(), error)) << error;
    for (const TSettingsKey& key : SettingsKeys())
        EXPECT_TRUE(file.ValueExists(key.Section, key.Key)) << key.Section << "." << key.Key;
    EXPECT_EQ(file.ReadString("Mine", "Keep", ""), "yes");
    const TSettings reread = LoadSettingsFile(ini.string(), DefaultSettings(800, 600, "/elsewhere"), error);
    EXPECT_EQ(reread, expected);

    // Read and written again unchanged.
    TChild fourth(binary, outDir / "fourth.txt");
    ASSERT_TRUE(WaitForLock(fourth, lock)) << ReadAll(outDir / "fourth.txt");
    fourth.Signal(SIGTERM);
    EXPECT_EQ(fourth.Wait(), 0) << ReadAll(outDir / "fourth.txt");
    EXPECT_EQ(ReadAll(ini), after);
}

// Every file and folder under dir with its size, sorted.
std::vector<std::string> Tree(const fs::path& dir) {
    std::vector<std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        entries.push_back(fs::relative(entry.path(), dir).string() + " " +
                          (entry.is_regular_file() ? std::to_string(entry.file_size()) : std::string("/")));
    std::sort(entries.begin(), entries.end());
    return entries;
}

// A start with its own runtime folder (value), none (empty) or the test's (null).
std::unique_ptr<TChild> StartWithRuntime(const std::string& binary, const fs::path& output,
                                         const char* runtime) {
    test::TExecArgs::TChanges changes;
    if (runtime != nullptr) changes.emplace_back("XDG_RUNTIME_DIR", runtime);
    return std::make_unique<TChild>(binary, output, nullptr, true, std::move(changes));
}

// Two instances never run on the same settings, whatever their runtime folders: a second start
// with another runtime folder, an empty one or one naming a missing folder is refused with the
// message and writes nothing but its own lock file; alone, a start whose lock file cannot be
// made runs all the same, with the settings' folder locked.
TEST_F(ProgramProcess, SecondStartOnTheSameSettingsIsRefusedWhateverItsRuntimeFolder) {
    const fs::path ini = folder / "Ondrix.ini";
    {
        std::ofstream out(ini, std::ios::binary);
        out << "[Global]\r\nLanguage=0\r\nInterfaces=0\r\n";
    }
    const std::string written = ReadAll(ini);
    const fs::path other = runtime.parent_path() / "other-run";
    const fs::path missing = runtime.parent_path() / "missing" / "run";
    fs::remove_all(other);
    fs::remove_all(missing.parent_path());
    fs::create_directories(other);
    fs::permissions(other, fs::perms::owner_all);

    TChild first(binary, outDir / "first.txt");
    ASSERT_TRUE(WaitForLock(first, lock)) << ReadAll(outDir / "first.txt");
    EXPECT_TRUE(WaitForLock(first, folder)) << ReadAll(outDir / "first.txt");
    const std::vector<std::string> settings = Tree(folder);

    struct TCase {
        const char* Name;
        std::string Runtime;
    };
    for (const TCase& c :
         {TCase{"other", other.string()}, TCase{"empty", ""}, TCase{"missing", missing.string()}}) {
        SCOPED_TRACE(c.Name);
        const fs::path output = outDir / (std::string(c.Name) + ".txt");
        auto second = StartWithRuntime(binary, output, c.Runtime.c_str());
        EXPECT_EQ(second->Wait(20s), 0); // a refused start ends at once
        EXPECT_EQ(ReadAll(output).find("MESSAGE: Es läuft bereits eine Software für QRB "
                                       "Messverstärker!\\r\\nA program for QRB measuring amplifiers is "
                                       "already running!\n"),
                  0u)
            << ReadAll(output);
        EXPECT_EQ(ReadAll(ini), written);
        EXPECT_EQ(Tree(folder), settings);
    }
    EXPECT_EQ(Tree(other), std::vector<std::string>{"QRB Ondrix Software.lock 0"});
    EXPECT_FALSE(fs::exists(missing.parent_path()));
    EXPECT_TRUE(first.Running());
    first.Signal(SIGTERM);
    EXPECT_EQ(first.Wait(), 0) << ReadAll(outDir / "first.txt");

    auto alone = StartWithRuntime(binary, outDir / "alone.txt", missing.c_str());
    ASSERT_TRUE(WaitForLock(*alone, folder)) << ReadAll(outDir / "alone.txt");
    alone->Signal(SIGTERM);
    EXPECT_EQ(alone->Wait(), 0) << ReadAll(outDir / "alone.txt");
    EXPECT_EQ(ReadAll(outDir / "alone.txt").find("MESSAGE:"), std::string::npos)
        << ReadAll(outDir / "alone.txt");
    fs::remove_all(other);
}

TEST_F(ProgramProcess, AmplifierThatResetsInEveryScanIsShownLostOnceAndTheProgramEndsOnSigterm) {
    test::TFakeAmpConfig ampConfig;
    ampConfig.Address = "127.0.0.1";
    ampConfig.Channels = 2;
    test::TFakeLanAmplifier amp(ampConfig);
    test::TFakeFault reset;
    reset.Code = 0x20006; // the fan speed every scan sets
    reset.Times = -1;
    reset.Reset = true;
    amp.AddFault(reset);
    {
        std::ofstream out(folder / "Ondrix.ini", std::ios::binary);
        out << "[Global]\r\nLanguage=10000\r\nInterfaces=2\r\n[LAN]\r\nDevices=" << amp.Target() << "\r\n";
    }
    const fs::path output = outDir / "lost.txt";
    const std::string lost = "MESSAGE: At least one device (127.0.0.1) was disconnected!";
    auto lostCount = [&] {
        const std::string text = ReadAll(output);
        size_t n = 0;
        for (size_t at = text.find(lost); at != std::string::npos; at = text.find(lost, at + 1))
            ++n;
        return n;
    };

    TChild program(binary, output);
    ASSERT_TRUE(WaitForLock(program, lock)) << ReadAll(output);
    const auto end = std::chrono::steady_clock::now() + kStartBound;
    while (program.Running() && lostCount() == 0 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(50ms);
    // A while longer: a chain of rescans would go on meanwhile.
    std::this_thread::sleep_for(3s);
    EXPECT_EQ(lostCount(), 1u) << ReadAll(output);
    EXPECT_EQ(amp.InfoRequestCount(), 2u); // the first scan and the one rescan
    const auto signalled = std::chrono::steady_clock::now();
    program.Signal(SIGTERM);
    EXPECT_EQ(program.Wait(10s), 0) << ReadAll(output);
    EXPECT_LT(std::chrono::steady_clock::now() - signalled, 10s);
}

TEST_F(ProgramProcess, SigtermEndsTheProgramPromptlyAfterAnAlarmDuringAScanWithItsBoxWaitingForAnAnswer) {
    test::TFakeAmpConfig ampConfig;
    ampConfig.Address = "127.0.2.37";
    ampConfig.Channels = 2;
    test::TFakeLanAmplifier amp(ampConfig);
    // The first request of the scan brings the supply alarm along.
    test::TFakeFault alarm;
    alarm.Times = 1;
    device::TIRQMessage supply;
    supply.Magic = device::TIRQMessage::MagicValue;
    supply.IRQWord = 0xFEFF; // the supply bit, active low
    supply.ChannelStatus.fill(0xFF);
    alarm.NotifyBefore = supply;
    amp.AddFault(alarm);
    {
        std::ofstream out(folder / "Ondrix.ini", std::ios::binary);
        out << "[Global]\r\nLanguage=10000\r\nInterfaces=2\r\n[LAN]\r\nDevices=" << amp.Target() << "\r\n";
    }
    const fs::path output = outDir / "alarm.txt";
    TChild program(binary, output, nullptr, false);
    ASSERT_TRUE(WaitForLock(program, lock)) << ReadAll(output);
    ASSERT_TRUE(amp.WaitForRequests(1, 60000)) << ReadAll(output.string() + ".err");
    // A while longer: the scan has ended and the alarm's box is open by then.
    std::this_thread::sleep_for(2s);
    ASSERT_TRUE(program.Running());
    program.Signal(SIGTERM);
    EXPECT_EQ(program.Wait(10s), 0) << ReadAll(output.string() + ".err");
    // The scan ran to its last step, the fan speed it sets.
    const auto requests = amp.Requests();
    EXPECT_TRUE(std::any_of(requests.begin(), requests.end(), [](const test::fakewire::TRequest& request) {
        return request.Command == 0x20006;
    }));
    EXPECT_TRUE(fs::exists(folder / "Ondrix.ini"));
}

// The demo's settings script (run by scripts/run.sh at every start) on a file that Settings ›
// Apply wrote: the demo's keys are set again, every other line stays, the CR LF line ends too.
TEST_F(ProgramProcess, DemoSettingsScriptSetsOfflineModeWithTwoSimulatedAmplifiersAndKeepsTheRest) {
    const char* source = std::getenv("QRB_TEST_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    const std::string script = std::string(source) + "/scripts/demo-settings.sh";
    const fs::path ini = folder / "Ondrix.ini";
    auto run = [&] {
        const std::string command = "'" + script + "' '" + ini.string() + "'";
        return std::system(command.c_str());
    };
    struct TCase {
        const char* Name;
        std::string Before;
    };
    const TCase cases[] = {
        {"online after Apply, other case and blanks",
         "[MainWindow]\r\nTop=20\r\n[GLOBAL]\r\nLanguage=0\r\n interfaces = 3\r\n\r\n[LAN]\r\n"
         "Devices=127.0.2.38:8888\r\n[virtual]\r\nchannels=4\r\n[Mine]\r\nKeep=yes\r\n"},
        {"no virtual section, no line end at the end",
         "[MainWindow]\r\nTop=20\r\n[Global]\r\nLanguage=0\r\nInterfaces=2\r\n[LAN]\r\n"
         "Devices=127.0.2.38:8888\r\n[Mine]\r\nKeep=yes"},
        {"no global section",
         "[MainWindow]\r\nTop=20\r\n[LAN]\r\nDevices=127.0.2.38:8888\r\n[Mine]\r\nKeep=yes\r\n"},
        // The mark is no part of the first line: [Global] is that section, not a second one.
        {"a byte-order mark before the first section",
         "\xEF\xBB\xBF[Global]\r\nInterfaces=0\r\n[MainWindow]\r\nTop=20\r\n[LAN]\r\n"
         "Devices=127.0.2.38:8888\r\n[Mine]\r\nKeep=yes\r\n"},
        {"a byte-order mark before Windows-1252 text",
         "\xEF\xBB\xBF[global]\r\nInterfaces=2\r\nName=M\xFCller\r\n[MainWindow]\r\nTop=20\r\n[LAN]\r\n"
         "Devices=127.0.2.38:8888\r\n[Mine]\r\nKeep=yes\r\n"},
        // The program reads a lone CR as a line end: each is a line of its own here too.
        {"lone CR line ends, mixed with CR LF and LF",
         "\xEF\xBB\xBF[MainWindow]\rTop=20\r[Global]\rLanguage=0\rInterfaces=2\r\r\n[LAN]\n"
         "Devices=127.0.2.38:8888\r[Virtual]\rchannels=4\r[Mine]\rKeep=yes\r"},
    };
    const std::string mark = "\xEF\xBB\xBF";
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        {
            std::ofstream out(ini, std::ios::binary | std::ios::trunc);
            out << c.Before;
        }
        ASSERT_EQ(run(), 0);
        const std::string after = ReadAll(ini);
        std::string error;
        const TSettings defaults = DefaultSettings(800, 600, folder.string());
        const TSettings read = LoadSettingsFile(ini.string(), defaults, error);
        EXPECT_TRUE(error.empty()) << error;
        EXPECT_EQ(read.Interfaces, device::kMaskOffline);
        EXPECT_EQ(read.VirtDevices, 2);
        EXPECT_EQ(read.VirtChannels, 8);
        EXPECT_EQ(read.Top, 20);
        EXPECT_EQ(read.LANAddresses, "127.0.2.38:8888");
        TIniFile file;
        ASSERT_TRUE(file.LoadFromFile(ini.string(), error)) << error;
        EXPECT_EQ(file.ReadString("Mine", "Keep", ""), "yes");
        const auto sections = file.Sections();
        EXPECT_EQ(std::count_if(sections.begin(), sections.end(),
                                [](const std::string& name) { return device::SameText(name, "Global"); }),
                  1)
            << after;
        EXPECT_EQ(after.rfind(mark, 0) == 0, c.Before.rfind(mark, 0) == 0) << after;
        TIniFile original;
        original.LoadFromBytes(c.Before);
        EXPECT_EQ(file.Encoding(), original.Encoding());
        // Every line ends in CR LF; a second run changes nothing.
        size_t bare = 0;
        for (size_t at = after.find('\n'); at != std::string::npos; at = after.find('\n', at + 1))
            if (at == 0 || after[at - 1] != '\r') ++bare;
        EXPECT_EQ(bare, 0u) << after;
        EXPECT_EQ(std::count(after.begin(), after.end(), '\r'), std::count(after.begin(), after.end(), '\n'))
            << after;
        EXPECT_EQ(after.back(), '\n');
        ASSERT_EQ(run(), 0);
        EXPECT_EQ(ReadAll(ini), after);
    }

    // A first start: the file is made with an empty LAN list.
    fs::remove(ini);
    ASSERT_EQ(run(), 0);
    EXPECT_EQ(ReadAll(ini),
              "[Global]\r\nInterfaces=4\r\n[Virtual]\r\nDevices=2\r\nChannels=8\r\n[LAN]\r\nDevices=\r\n");
}

// The dependency script (run by scripts/run.sh at every start) with stand-ins for the system's
// tools that record their calls: dpkg is asked once for the whole list; a package dpkg does not
// know (its query then exits 1) and one not installed are installed, nothing else; a locale
// list the checker reads only in part does not make the locale be generated again.
TEST_F(ProgramProcess, InstallDepsScriptAsksDpkgOnceAndInstallsOnlyWhatIsMissing) {
    const char* source = std::getenv("QRB_TEST_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    const fs::path bin = outDir / "deps-bin", log = outDir / "deps.log";
    fs::remove_all(bin);
    fs::create_directories(bin);
    auto tool = [&](const std::string& name, const std::string& body) {
        std::ofstream(bin / name) << "#!/bin/bash\necho \"" << name << " $*\" >>\"$STUB_LOG\"\n" << body;
        fs::permissions(bin / name, fs::perms::owner_all);
    };
    // As dpkg-query -W: one line in the asked format for each package it knows, exit 1 when
    // one is unknown.
    tool("dpkg-query", R"(fmt='${binary:Package}\t${Version}\n'; names=(); rc=0
while [ $# -gt 0 ]; do
  case $1 in -W|--show) ;; -f|--showformat) shift; fmt=$1 ;; --showformat=*) fmt=${1#*=} ;;
    -f*) fmt=${1#-f}; fmt=${fmt#=} ;; *) names+=("$1") ;; esac
  shift
done
for n in "${names[@]}"; do
  if [[ " $STUB_UNKNOWN " == *" $n "* ]]; then echo "dpkg-query: no packages found matching $n" >&2; rc=1; continue; fi
  status="install ok installed"
  [[ " $STUB_NOT_INSTALLED " == *" $n "* ]] && status="unknown ok not-installed"
  line=${fmt//'${Package}'/$n}; line=${line//'${binary:Package}'/$n}
  line=${line//'${Status}'/$status}; line=${line//'${Version}'/1.0}
  printf '%b' "$line"
done
exit $rc
)");
    // Far more locales than a pipe holds, the German one among the first.
    tool("locale", "printf 'C\\nC.utf8\\nPOSIX\\nde_DE.utf8\\n'\nseq -f 'xx_XX%g.utf8' 40000\n");
    for (const char* name : {"apt-get", "locale-gen", "sed", "tee"})
        tool(name, "");
    tool("sudo", "exec \"$@\"\n");

    struct TCase {
        const char* Name;
        const char* Unknown;
        const char* NotInstalled;
        std::vector<std::string> AptCalls;
    };
    const TCase cases[] = {
        {"nothing missing", "", "", {}},
        {"one unknown to dpkg, one not installed",
         "libclang-rt-14-dev",
         "xvfb",
         {"apt-get update -q", "apt-get install -y -q --no-install-recommends libclang-rt-14-dev xvfb"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        fs::remove(log);
        const std::string command = "env PATH='" + bin.string() + ":/usr/bin:/bin' STUB_LOG='" +
                                    log.string() + "' STUB_UNKNOWN='" + c.Unknown + "' STUB_NOT_INSTALLED='" +
                                    c.NotInstalled + "' '" + source + "/scripts/install-deps.sh'";
        EXPECT_EQ(std::system(command.c_str()), 0) << ReadAll(log);
        std::vector<std::string> dpkg, apt, other;
        std::ifstream in(log);
        for (std::string line; std::getline(in, line);) {
            if (line.rfind("dpkg-query ", 0) == 0)
                dpkg.push_back(line);
            else if (line.rfind("apt-get ", 0) == 0)
                apt.push_back(line);
            else if (line.rfind("locale ", 0) != 0 && line.rfind("sudo ", 0) != 0)
                other.push_back(line);
        }
        EXPECT_EQ(dpkg.size(), 1u) << ReadAll(log);
        EXPECT_EQ(apt, c.AptCalls);
        EXPECT_EQ(other, std::vector<std::string>{}) << "the locale was generated again";
    }
}

} // namespace
} // namespace qrb::ui
