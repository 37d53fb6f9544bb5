#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace quillon::test {
namespace {

using namespace std::chrono_literals;

std::filesystem::path playerProgramPath() {
    return QUILLON_PLAYER_PROGRAM;
}

// Whether `pid` has a handler of its own for `signalNumber` (its SigCgt mask).
bool catchesSignal(pid_t pid, int signalNumber) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("SigCgt:", 0) == 0) {
            const unsigned long long mask = std::stoull(line.substr(7), nullptr, 16);
            return (mask >> (signalNumber - 1)) & 1u;
        }
    }
    return false;
}

// Waits for the child to end; none when it is still running after `timeout`.
std::optional<int> waitForExit(pid_t pid, std::chrono::seconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            return status;
        }
        std::this_thread::sleep_for(20ms);
    }
    return std::nullopt;
}

TEST(AppDelegateProgramTest, ThePlayerStartsAndQuitsWhenTheSessionAsksItTo) {
    const auto program = playerProgramPath();
    ASSERT_TRUE(std::filesystem::exists(program))
        << program << " is missing: build the quillon-player target";

    const auto home = std::filesystem::temp_directory_path() /
                      ("quillon-player-program-" + std::to_string(getpid()));
    std::filesystem::create_directories(home / "runtime");
    std::filesystem::permissions(home / "runtime", std::filesystem::perms::owner_all);

    std::vector<std::string> environment{
        "QT_QPA_PLATFORM=offscreen",
        "XDG_CONFIG_HOME=" + (home / "config").string(),
        "XDG_STATE_HOME=" + (home / "state").string(),
        "XDG_RUNTIME_DIR=" + (home / "runtime").string(),
        "HOME=" + home.string(),
    };
    for (char** variable = environ; *variable != nullptr; ++variable) {
        const std::string entry = *variable;
        if (entry.rfind("PATH=", 0) == 0 || entry.rfind("LSAN_OPTIONS=", 0) == 0 ||
            entry.rfind("ASAN_OPTIONS=", 0) == 0 || entry.rfind("TSAN_OPTIONS=", 0) == 0) {
            environment.push_back(entry);
        }
    }
    std::vector<char*> environmentPointers;
    for (auto& entry : environment) {
        environmentPointers.push_back(entry.data());
    }
    environmentPointers.push_back(nullptr);
    std::string programString = program.string();
    std::vector<char*> arguments{programString.data(), nullptr};

    pid_t pid = 0;
    ASSERT_EQ(::posix_spawn(&pid, programString.c_str(), nullptr, nullptr, arguments.data(),
                            environmentPointers.data()),
              0);

    // Up once it listens for the session's request to quit.
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (!catchesSignal(pid, SIGTERM) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(20ms);
    }
    ASSERT_TRUE(catchesSignal(pid, SIGTERM));
    ::kill(pid, SIGTERM);

    const auto status = waitForExit(pid, 60s);
    if (!status) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    ASSERT_TRUE(status.has_value()) << "the player did not quit";
    EXPECT_TRUE(WIFEXITED(*status)) << "ended by signal " << WTERMSIG(*status);
    EXPECT_EQ(WEXITSTATUS(*status), 0);
    // Quitting writes the window restoration state.
    EXPECT_TRUE(std::filesystem::exists(home / "state" / "quillon-player" / "windows.cbor"));

    std::filesystem::remove_all(home);
}

}  // namespace
}  // namespace quillon::test
