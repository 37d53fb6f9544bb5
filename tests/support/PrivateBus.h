#pragma once

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include <QString>

extern char** environ;

namespace quillon::test {

// A message bus of the test's own: a dbus-daemon it starts and stops. The address is empty
// when no daemon could be started.
class PrivateBus {
public:
    PrivateBus() {
        int output[2];
        if (pipe(output) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, output[0]);
        char program[] = "dbus-daemon";
        char session[] = "--session";
        char noFork[] = "--nofork";
        char printAddress[] = "--print-address";
        char* arguments[] = {program, session, noFork, printAddress, nullptr};
        const int spawned = posix_spawnp(&daemon_, program, &actions, nullptr, arguments, environ);
        posix_spawn_file_actions_destroy(&actions);
        close(output[1]);
        if (spawned != 0) {
            daemon_ = 0;
            close(output[0]);
            return;
        }
        FILE* stream = fdopen(output[0], "r");
        char line[512] = {};
        if (stream != nullptr && fgets(line, sizeof line, stream) != nullptr) {
            address_ = line;
            while (!address_.empty() && (address_.back() == '\n' || address_.back() == '\r')) {
                address_.pop_back();
            }
        }
        if (stream != nullptr) {
            fclose(stream);
        }
    }
    ~PrivateBus() { stop(); }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    void stop() {
        if (daemon_ > 0) {
            kill(daemon_, SIGTERM);
            waitpid(daemon_, nullptr, 0);
            daemon_ = 0;
        }
    }

    const std::string& address() const { return address_; }
    QString qAddress() const { return QString::fromStdString(address_); }

private:
    pid_t daemon_ = 0;
    std::string address_;
};

}  // namespace quillon::test
