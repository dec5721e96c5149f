#pragma once
// The arguments and environment of a child program, made before the fork: the test program may
// run threads (a fake amplifier), so between fork and exec the child makes system calls only.

#include <optional>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

extern char** environ;

namespace qrb::test {

class TExecArgs {
public:
    // This process's environment with the named variables set (or removed, without a value).
    using TChanges = std::vector<std::pair<std::string, std::optional<std::string>>>;

    TExecArgs(std::vector<std::string> args, const TChanges& changes) : args_(std::move(args)) {
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry = *e;
            const std::string name = entry.substr(0, entry.find('='));
            bool changed = false;
            for (const auto& change : changes)
                changed = changed || change.first == name;
            if (!changed) env_.push_back(entry);
        }
        for (const auto& [name, value] : changes)
            if (value) env_.push_back(name + "=" + *value);
        for (std::string& a : args_)
            argv_.push_back(a.data());
        argv_.push_back(nullptr);
        for (std::string& e : env_)
            envp_.push_back(e.data());
        envp_.push_back(nullptr);
    }
    TExecArgs(const TExecArgs&) = delete;
    TExecArgs& operator=(const TExecArgs&) = delete;

    char* const* Argv() const { return argv_.data(); }
    char* const* Envp() const { return envp_.data(); }

private:
    std::vector<std::string> args_;
    std::vector<std::string> env_;
    std::vector<char*> argv_;
    std::vector<char*> envp_;
};

} // namespace qrb::test
