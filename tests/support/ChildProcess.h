#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace quillon::test {

// A program the test starts with an environment of its own, its standard error in a file.
// Ended (SIGKILL) when the object goes without having been waited for.
class ChildProcess {
public:
    ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                 const std::vector<std::string>& environment, std::string standardErrorPath)
        : standardErrorPath_(std::move(standardErrorPath)) {
        std::vector<std::string> argumentStrings{program};
        argumentStrings.insert(argumentStrings.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (auto& argument : argumentStrings) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        std::vector<std::string> environmentStrings = environment;
        std::vector<char*> envp;
        for (auto& entry : environmentStrings) {
            envp.push_back(entry.data());
        }
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, standardErrorPath_.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) {
            pid_ = 0;
        }
        posix_spawn_file_actions_destroy(&actions);
    }
    ~ChildProcess() {
        if (pid_ > 0 && !status_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    bool started() const { return pid_ > 0; }

    // The wait status once the child has ended; none while it runs. `whileWaiting` runs between
    // looks (a test that serves the child pumps its events there).
    std::optional<int> waitForExit(std::chrono::seconds timeout,
                                   const std::function<void()>& whileWaiting = {}) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!status_ && std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                status_ = status;
                break;
            }
            if (whileWaiting) {
                whileWaiting();
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        }
        return status_;
    }

    // Whether the child has a handler of its own for `signalNumber` (its SigCgt mask): the
    // player installs its SIGTERM handler once it runs.
    bool catchesSignal(int signalNumber) const {
        std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("SigCgt:", 0) == 0) {
                const unsigned long long mask = std::stoull(line.substr(7), nullptr, 16);
                return (mask >> (signalNumber - 1)) & 1u;
            }
        }
        return false;
    }

    std::string standardError() const {
        std::ifstream file(standardErrorPath_);
        return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    }

private:
    pid_t pid_ = 0;
    std::string standardErrorPath_;
    std::optional<int> status_;
};

// The variables a child player gets from the test's environment: the search path and the
// sanitizers' options; the rest the test gives it.
inline std::vector<std::string> inheritedEnvironment() {
    std::vector<std::string> environment;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        const std::string entry = *variable;
        for (const char* prefix :
             {"PATH=", "LSAN_OPTIONS=", "ASAN_OPTIONS=", "UBSAN_OPTIONS=", "TSAN_OPTIONS="}) {
            if (entry.rfind(prefix, 0) == 0) {
                environment.push_back(entry);
            }
        }
    }
    return environment;
}

}  // namespace quillon::test
