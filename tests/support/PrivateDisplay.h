#pragma once

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

extern char** environ;

namespace quillon::test {

// An X server of the test's own: an Xvfb that picks a free display number and tells it. The
// display is empty when no server could be started.
class PrivateDisplay {
public:
    PrivateDisplay() {
        int output[2];
        if (pipe(output) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addclose(&actions, output[0]);
        const std::string descriptor = std::to_string(output[1]);
        std::string program = "Xvfb";
        std::string displayFD = "-displayfd";
        std::string noTCP = "-nolisten";
        std::string tcp = "tcp";
        std::string screen = "-screen";
        std::string screenNumber = "0";
        std::string geometry = "1280x800x24";
        std::string fd = descriptor;
        char* arguments[] = {program.data(),      displayFD.data(), fd.data(),
                             noTCP.data(),        tcp.data(),       screen.data(),
                             screenNumber.data(), geometry.data(),  nullptr};
        const int spawned =
            posix_spawnp(&server_, program.c_str(), &actions, nullptr, arguments, environ);
        posix_spawn_file_actions_destroy(&actions);
        close(output[1]);
        if (spawned != 0) {
            server_ = 0;
            close(output[0]);
            return;
        }
        FILE* stream = fdopen(output[0], "r");
        char line[64] = {};
        if (stream != nullptr && fgets(line, sizeof line, stream) != nullptr) {
            std::string number = line;
            while (!number.empty() && (number.back() == '\n' || number.back() == '\r')) {
                number.pop_back();
            }
            if (!number.empty()) {
                display_ = ":" + number;
            }
        }
        if (stream != nullptr) {
            fclose(stream);
        }
    }
    ~PrivateDisplay() {
        if (server_ > 0) {
            kill(server_, SIGTERM);
            waitpid(server_, nullptr, 0);
        }
    }
    PrivateDisplay(const PrivateDisplay&) = delete;
    PrivateDisplay& operator=(const PrivateDisplay&) = delete;

    // ":<number>", or empty.
    const std::string& display() const { return display_; }

private:
    pid_t server_ = 0;
    std::string display_;
};

}  // namespace quillon::test
