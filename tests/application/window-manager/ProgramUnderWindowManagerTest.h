// The real program under a window manager (openbox) on a private X server, as a user starts it
// with files, and its windows as a pager sees them. Run through run-under-window-manager, which
// gives the test DISPLAY.
#pragma once

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/ChildProcess.h"
#include "support/PrivateBus.h"
#include "support/TestMedia.h"
#include "support/X11ClientWindows.h"

namespace quillon::test {

// Waits, polling, until `condition` holds; false after `timeout` or once `player` has ended.
inline bool waitUntil(const std::function<bool()>& condition, ChildProcess* player = nullptr,
                      std::chrono::seconds timeout = std::chrono::seconds(60)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline ||
            (player != nullptr && player->waitForExit(std::chrono::seconds(0)).has_value())) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

// The windows' titles and frames, as failure messages show them.
inline std::string describe(const std::vector<X11ClientWindow>& windows) {
    std::ostringstream text;
    for (const auto& window : windows) {
        const ScreenRect frame = window.frame();
        text << "\n  \"" << window.title << "\" " << frame.width << "x" << frame.height << "+"
             << frame.x << "+" << frame.y
             << (window.transientFor != XCB_WINDOW_NONE ? " sheet" : "")
             << (window.keepsAspectRatio ? " player" : "");
    }
    return text.str();
}

class ProgramUnderWindowManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(x11.isConnected()) << "needs an X server with a window manager";
        ASSERT_FALSE(bus.address().empty()) << "dbus-daemon did not start";
        std::filesystem::create_directories(home / "runtime");
        std::filesystem::permissions(home / "runtime", std::filesystem::perms::owner_all);
        std::filesystem::create_directories(files);
    }
    void TearDown() override { std::filesystem::remove_all(home); }

    // A copy of a test file under a name of the test's: one document per file, however many
    // names lead to the same one.
    std::string copyOf(const std::string& media, const std::string& name) const {
        const auto path = files / name;
        std::filesystem::copy_file(mediaPath(media), path,
                                   std::filesystem::copy_options::overwrite_existing);
        return path.string();
    }

    // `count` copies of `media`, "Film 1.mkv" and on; their paths, and their names (the windows'
    // titles).
    std::pair<std::vector<std::string>, std::set<std::string>> copiesOf(const std::string& media,
                                                                        int count) const {
        std::vector<std::string> paths;
        std::set<std::string> names;
        const std::string extension = media.substr(media.rfind('.'));
        for (int i = 1; i <= count; ++i) {
            const std::string name = "Film " + std::to_string(i) + extension;
            paths.push_back(copyOf(media, name));
            names.insert(name);
        }
        return {paths, names};
    }

    ChildProcess& startPlayer(const std::vector<std::string>& paths) {
        auto environment = inheritedEnvironment();
        for (const char* name : {"DISPLAY", "XAUTHORITY"}) {
            if (const char* value = std::getenv(name)) {
                environment.push_back(std::string(name) + "=" + value);
            }
        }
        environment.insert(environment.end(),
                           {"QT_QPA_PLATFORM=xcb", "DBUS_SESSION_BUS_ADDRESS=" + bus.address(),
                            "XDG_CONFIG_HOME=" + (home / "config").string(),
                            "XDG_STATE_HOME=" + (home / "state").string(),
                            "XDG_RUNTIME_DIR=" + (home / "runtime").string(),
                            "HOME=" + home.string(), "LANG=C.UTF-8"});
        // A session quit leaves the open windows to the end of the process, which the leak
        // check would count; the X keyboard library's strndup trips the strict string checks.
        for (std::string& entry : environment) {
            if (entry.rfind("ASAN_OPTIONS=", 0) == 0) {
                entry += ":strict_string_checks=0:detect_leaks=0";
            }
        }
        player_ = std::make_unique<ChildProcess>(QUILLON_PLAYER_PROGRAM, paths, environment,
                                                 (home / "player.log").string());
        return *player_;
    }

    // Quits the player as the session does; its exit status.
    static std::optional<int> quit(ChildProcess& player) {
        ::kill(player.pid(), SIGTERM);
        return player.waitForExit(std::chrono::seconds(60));
    }

    // The framed player windows whose titles are among `titles`, as soon as there is one for
    // each and `settled` holds for them (or the last ones seen, once `timeout` has passed).
    std::vector<X11ClientWindow> waitForPlayerWindows(
        const std::set<std::string>& titles,
        const std::function<bool(const std::vector<X11ClientWindow>&)>& settled = {},
        std::chrono::seconds timeout = std::chrono::seconds(60)) {
        std::vector<X11ClientWindow> players;
        waitUntil(
            [&] {
                players.clear();
                std::set<std::string> seen;
                for (const auto& window : x11.windows()) {
                    if (window.keepsAspectRatio && window.isFramed() &&
                        titles.count(window.title)) {
                        players.push_back(window);
                        seen.insert(window.title);
                    }
                }
                return seen == titles && players.size() == titles.size() &&
                       (!settled || settled(players));
            },
            player_.get(), timeout);
        return players;
    }

    // Every title bar of `windows` is on the screen, and stays in sight when the windows are
    // stacked in the order they stepped down in: no window covers the title bar of one above it
    // on the screen. (Which one is on top is the window manager's choice: activating a launch's
    // window may raise it after the others.)
    void expectTitleBarsInSight(std::vector<X11ClientWindow> windows) {
        std::sort(windows.begin(), windows.end(),
                  [](const auto& a, const auto& b) { return a.frame().y < b.frame().y; });
        for (std::size_t i = 0; i < windows.size(); ++i) {
            EXPECT_TRUE(x11.screen().contains(windows[i].titleBar()))
                << windows[i].title << describe(windows);
            EXPECT_DOUBLE_EQ(
                X11ClientWindows::visibleFraction(
                    windows[i].titleBar(), windows[i],
                    std::vector<X11ClientWindow>(windows.begin() + static_cast<std::ptrdiff_t>(i),
                                                 windows.end())),
                1.0)
                << windows[i].title << describe(windows);
        }
    }

    X11ClientWindows x11;
    PrivateBus bus;
    std::unique_ptr<ChildProcess> player_;
    std::filesystem::path home = std::filesystem::temp_directory_path() /
                                 ("quillon-player-windows-" + std::to_string(getpid()));
    std::filesystem::path files = home / "films";
};

}  // namespace quillon::test
