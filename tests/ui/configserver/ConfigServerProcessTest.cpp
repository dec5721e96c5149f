// The configuration server in a process of its own on port 8888, reached with nc: the switch
// starts it, the replies are byte for byte those of the request handling over the same
// simulated devices, and the program ends cleanly with the server stopped first.

#include "device/I2CHAL.h"
#include "model/I2CTranslator.h"
#include "tests/support/VirtualMainLoop.h"
#include "ui/configserver/ConfigRequest.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstdio>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

namespace qrb::test {
namespace {

// The probe program with its standard input and output on pipes.
class TProbe {
public:
    explicit TProbe(std::vector<std::string> args) {
        int in[2], out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        args.insert(args.begin(), QRB_CONFIG_SERVER_PROBE);
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        input_ = in[1];
        output_ = out[0];
    }
    ~TProbe() {
        CloseInput();
        if (output_ >= 0) ::close(output_);
        if (pid_ > 0) Wait();
    }

    // The first line it prints (empty when it ends or says nothing for 10 s).
    std::string ReadLine() {
        std::string line;
        char ch;
        pollfd p{output_, POLLIN, 0};
        while (::poll(&p, 1, 10000) == 1 && ::read(output_, &ch, 1) == 1 && ch != '\n')
            line += ch;
        return line;
    }

    void CloseInput() {
        if (input_ >= 0) ::close(input_);
        input_ = -1;
    }

    // Its exit status, -1 when it did not exit normally.
    int Wait() {
        int status = 0;
        const pid_t pid = pid_;
        pid_ = -1;
        if (pid <= 0 || ::waitpid(pid, &status, 0) != pid) return -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    int input_ = -1;
    int output_ = -1;
};

// The whole output of a shell command.
std::string Shell(const std::string& command) {
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return out;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    ::pclose(pipe);
    return out;
}

bool CanConnect(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
    ::close(fd);
    return ok;
}

class ConfigServerProcess : public ::testing::Test {
protected:
    void SetUp() override {
        if (::access("/usr/bin/nc", X_OK) != 0 && Shell("command -v nc").empty()) GTEST_SKIP() << "no nc";
    }

    // What the handler answers over the same simulated devices.
    static std::string Expected(const std::vector<const char*>& targets,
                                const std::vector<std::string>& lines) {
        TInstalledVirtualMainLoop loop;
        model::TI2CTranslator translator(device::kMaskOffline, false, device::DefaultTransportFactory());
        translator.OnConfigComplete = [](const void*) {};
        for (const char* target : targets)
            translator.AddScanTarget(target, device::kMaskOffline);
        translator.Rescan();
        ui::TConfigRequestHandler handler(translator);
        ui::UseTranslatorReports(handler, translator);
        std::string out;
        for (const std::string& line : lines)
            out += handler.Answer(line).Bytes;
        return out;
    }
};

TEST_F(ConfigServerProcess, NothingListensWithoutTheSwitch) {
    TProbe probe({"/configServer", "configServer2", "A-8:3"});
    EXPECT_EQ(probe.ReadLine(), "INACTIVE");
    EXPECT_FALSE(CanConnect(ui::kConfigServerPort));
    probe.CloseInput();
    EXPECT_EQ(probe.Wait(), 0);
}

TEST_F(ConfigServerProcess, AnswersNcOnPort8888) {
    TProbe probe({"A-8:3", "CONFIGSERVER", "B-2:1"});
    ASSERT_EQ(probe.ReadLine(), "LISTENING 8888");

    // The bad index at the end makes the server close, which ends nc.
    const std::string got = Shell("printf 'REQ_STATUS\\r\\nREQ_NUMCHN\\nREQ_CHNINF9\\r\\nREQ_CHNINF10\\r\\n"
                                  "Gr\\374\\337e\\r\\nREQ_ALLINF\\r\\nREQ_DEVINF\\r\\nREQ_CHNINFx\\r\\n' | "
                                  "timeout 20 nc 127.0.0.1 8888");
    const std::string expected =
        Expected({"A-8:3", "B-2:1"}, {"REQ_STATUS", "REQ_NUMCHN", "REQ_CHNINF9", "REQ_CHNINF10",
                                      "Gr\xfc\xdf"
                                      "e",
                                      "REQ_ALLINF", "REQ_DEVINF"});
    EXPECT_EQ(
        got.rfind("2,Status: ON (SIMULATION)\r\n10,Number of channels: 10\r\nChannel Index:  \t9\r\n", 0),
        0u);
    EXPECT_NE(
        got.find("-1,ERROR - INVALID CHANNEL INDEX: 10\r\n-1,Invalid Config Server Command: 0xGr\xfc\xdf"
                 "e\r\n"),
        std::string::npos);
    EXPECT_TRUE(got == expected) << got;

    // A client that ends its sending side gets its replies, then the end of stream.
    EXPECT_EQ(Shell("printf 'REQ_NUMCHN\\r\\n' | timeout 20 nc -N 127.0.0.1 8888"),
              "10,Number of channels: 10\r\n");

    probe.CloseInput();
    EXPECT_EQ(probe.Wait(), 0);
    EXPECT_FALSE(CanConnect(ui::kConfigServerPort));
}

} // namespace
} // namespace qrb::test
