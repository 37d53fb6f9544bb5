#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QLibraryInfo>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace quillon::test {

// A Wayland compositor of the test's own: a headless weston on a private runtime folder. It is
// ready once its socket file exists; the socket is empty when no compositor could be started,
// and `whyNot` says why.
//
// The compositor ends when this object goes, or when the test process ends, however it ends: a
// watchdog shell stops it once the process's end of a pipe closes. A program that is itself the
// compositor's client lets the process's end stop it (see `keepUntilProcessEnds`): Qt ends a
// program whose compositor goes away under it.
class PrivateWaylandDisplay {
public:
    static constexpr const char* kSocketName = "wayland-quillon-test";

    PrivateWaylandDisplay() {
        if (!hasQtPlugin()) {
            whyNot_ = "Qt's wayland platform plugin is not installed (qt6-wayland)";
            return;
        }
        std::string folder =
            (std::filesystem::temp_directory_path() / "quillon-wayland-XXXXXX").string();
        if (mkdtemp(folder.data()) == nullptr) {
            whyNot_ = "no private runtime folder";
            return;
        }
        runtimeDirectory_ = folder;
        std::filesystem::permissions(runtimeDirectory_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::replace);
        int lifeline[2];
        if (pipe2(lifeline, O_CLOEXEC) != 0) {
            whyNot_ = "no pipe";
            return;
        }
        lifeline_ = lifeline[1];

        // Descriptor 3 is the read end of the lifeline: it ends when the process lets go of the
        // write end, and then so does weston, and the runtime folder goes with it.
        std::vector<std::string> arguments = {
            "sh",
            "-c",
            "folder=$1; shift; \"$@\" & server=$!; "
            "(cat <&3 >/dev/null; kill $server 2>/dev/null; rm -rf \"$folder\") & "
            "wait $server",
            "sh",
            runtimeDirectory_.string(),
            "weston",
            "--backend=headless-backend.so",
            "--use-pixman",
            std::string("--socket=") + kSocketName,
            "--width=1280",
            "--height=800",
            "--idle-time=0",
            "--no-config",
            "--log=" + logPath().string()};
        std::vector<char*> argv;
        for (std::string& argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        std::vector<std::string> environment;
        for (char** entry = environ; *entry != nullptr; ++entry) {
            const std::string text = *entry;
            if (text.rfind("XDG_RUNTIME_DIR=", 0) != 0 && text.rfind("WAYLAND_DISPLAY=", 0) != 0 &&
                text.rfind("DISPLAY=", 0) != 0) {
                environment.push_back(text);
            }
        }
        environment.push_back("XDG_RUNTIME_DIR=" + runtimeDirectory_.string());
        std::vector<char*> envp;
        for (std::string& entry : environment) {
            envp.push_back(entry.data());
        }
        envp.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, lifeline[0], 3);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, logPath().c_str(),
                                         O_WRONLY | O_CREAT | O_APPEND, 0600);
        const bool hasWeston = std::system("command -v weston >/dev/null 2>&1") == 0;
        const int spawned =
            hasWeston ? posix_spawnp(&watchdog_, "sh", &actions, nullptr, argv.data(), envp.data())
                      : -1;
        posix_spawn_file_actions_destroy(&actions);
        close(lifeline[0]);
        if (spawned != 0) {
            watchdog_ = 0;
            whyNot_ = "weston is not installed";
            return;
        }
        // The watchdog ends with weston: one that ends before the socket is there failed.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!std::filesystem::exists(runtimeDirectory_ / kSocketName)) {
            if (waitpid(watchdog_, nullptr, WNOHANG) == watchdog_) {
                watchdog_ = 0;
                std::ifstream log(logPath());
                whyNot_ = "weston ended at start:\n" +
                          std::string(std::istreambuf_iterator<char>(log), {});
                return;
            }
            if (std::chrono::steady_clock::now() > deadline) {
                whyNot_ = "weston made no socket";
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        socket_ = kSocketName;
    }

    ~PrivateWaylandDisplay() {
        if (lifeline_ >= 0) {
            close(lifeline_);
        }
        if (watchdog_ > 0) {
            waitpid(watchdog_, nullptr, 0);
        }
    }
    PrivateWaylandDisplay(const PrivateWaylandDisplay&) = delete;
    PrivateWaylandDisplay& operator=(const PrivateWaylandDisplay&) = delete;

    // Whether Qt can be a Wayland client here.
    static bool hasQtPlugin() {
        const std::filesystem::path platforms =
            std::filesystem::path(QLibraryInfo::path(QLibraryInfo::PluginsPath).toStdString()) /
            "platforms";
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(platforms, error)) {
            if (entry.path().filename().string().rfind("libqwayland-", 0) == 0) {
                return true;
            }
        }
        return false;
    }

    // The socket's name in the runtime folder, or empty.
    const std::string& socket() const { return socket_; }
    const std::string& whyNot() const { return whyNot_; }

    // What a Qt program needs in its environment to show its windows here. The socket is named
    // by its path, so that the program keeps a runtime folder of its own.
    std::vector<std::string> clientEnvironment() const {
        return {"QT_QPA_PLATFORM=wayland",
                "WAYLAND_DISPLAY=" + (runtimeDirectory_ / socket_).string()};
    }

    // Makes this process's own Qt a client of the compositor (before QGuiApplication exists).
    void becomeClient() const {
        for (const std::string& entry : clientEnvironment()) {
            const auto equals = entry.find('=');
            setenv(entry.substr(0, equals).c_str(), entry.substr(equals + 1).c_str(), 1);
        }
        unsetenv("DISPLAY");
    }

    // Leaves the compositor running until the process ends (the object must then never be
    // destroyed by the process itself).
    void keepUntilProcessEnds() {
        lifeline_ = -1;
        watchdog_ = 0;
    }

private:
    std::filesystem::path logPath() const { return runtimeDirectory_ / "weston.log"; }

    pid_t watchdog_ = 0;
    int lifeline_ = -1;
    std::filesystem::path runtimeDirectory_;
    std::string socket_;
    std::string whyNot_;
};

}  // namespace quillon::test
