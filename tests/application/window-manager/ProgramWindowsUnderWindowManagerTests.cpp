// The real program's windows as a window manager (openbox) places them: many files opened at
// once, files that cannot be opened and inputs that never arrive. Run through
// run-under-window-manager, which gives the test DISPLAY.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/ChildProcess.h"
#include "support/PrivateBus.h"
#include "support/TestMedia.h"
#include "support/X11ClientWindows.h"

namespace quillon::test {
namespace {

using namespace std::chrono_literals;

// Waits, polling, until `condition` holds; false after `timeout` or once `player` has ended.
bool waitUntil(const std::function<bool()>& condition, ChildProcess* player = nullptr,
               std::chrono::seconds timeout = 60s) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline ||
            (player != nullptr && player->waitForExit(0s).has_value())) {
            return false;
        }
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

std::string describe(const std::vector<X11ClientWindow>& windows) {
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
        return player.waitForExit(60s);
    }

    // The framed player windows whose titles are among `titles`, once there is one for each.
    std::vector<X11ClientWindow> waitForPlayerWindows(const std::set<std::string>& titles) {
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
                return seen == titles && players.size() == titles.size();
            },
            player_.get());
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

TEST_F(ProgramUnderWindowManagerTest, ThreeFilesOpenedAtOnceComeUpAtThreePlacesWithTitlesInSight) {
    auto* player =
        &startPlayer({copyOf("h264-aac.mkv", "One.mkv"), copyOf("vp9-opus.webm", "Two.webm"),
                      copyOf("h264-aac.mp4", "Three.mp4")});
    ASSERT_TRUE(player->started());
    const auto windows = waitForPlayerWindows({"One.mkv", "Two.webm", "Three.mp4"});
    ASSERT_EQ(windows.size(), 3u) << describe(x11.windows()) << "\n" << player->standardError();

    std::set<std::pair<int, int>> places;
    for (const auto& window : windows) {
        places.insert({window.frame().x, window.frame().y});
    }
    EXPECT_EQ(places.size(), 3u) << describe(windows);
    expectTitleBarsInSight(windows);
    EXPECT_TRUE(quit(*player).has_value());
}

TEST_F(ProgramUnderWindowManagerTest, TwelveFilesOpenedAtOnceAllStayOnTheScreen) {
    const std::vector<std::string> media{"h264-aac.mkv", "vp9-opus.webm", "h264-aac.mp4",
                                         "mpeg2-mp2.ts"};
    std::vector<std::string> paths;
    std::set<std::string> titles;
    for (int i = 1; i <= 12; ++i) {
        const std::string& source = media[static_cast<std::size_t>(i - 1) % media.size()];
        const std::string name = "Film " + std::to_string(i) + source.substr(source.find('.'));
        paths.push_back(copyOf(source, name));
        titles.insert(name);
    }
    auto* player = &startPlayer(paths);
    ASSERT_TRUE(player->started());
    const auto windows = waitForPlayerWindows(titles);
    ASSERT_EQ(windows.size(), 12u) << describe(x11.windows()) << "\n" << player->standardError();

    const ScreenRect workArea = x11.workArea();
    std::set<std::pair<int, int>> places;
    for (const auto& window : windows) {
        EXPECT_TRUE(workArea.contains(window.frame())) << window.title << describe(windows);
        places.insert({window.frame().x, window.frame().y});
    }
    EXPECT_EQ(places.size(), 12u) << describe(windows);
    EXPECT_TRUE(quit(*player).has_value());
}

TEST_F(ProgramUnderWindowManagerTest, EachFileThatCannotBeOpenedGetsASheetNamedForIt) {
    std::ofstream(files / "empty.mp4").close();
    std::filesystem::create_directory(files / "film.mkv");
    std::ofstream(files / "notes.mp4") << "Remember to buy milk.\n";
    // An MP4 whose index comes last, cut before it (an interrupted download).
    const std::string cut = copyOf("h264-aac.mp4", "cut.mp4");
    std::filesystem::resize_file(cut, std::filesystem::file_size(cut) / 2);
    const std::set<std::string> names{"empty.mp4", "film.mkv", "notes.mp4", "cut.mp4"};
    std::vector<std::string> paths;
    for (const auto& name : names) {
        paths.push_back((files / name).string());
    }
    auto* player = &startPlayer(paths);
    ASSERT_TRUE(player->started());

    // One sheet per file, once the window manager has framed them all and each has settled
    // below its window's title bar (a sheet shown before its window was framed moves there).
    std::vector<X11ClientWindow> stack;
    std::map<xcb_window_t, X11ClientWindow> byId;
    const auto hangsBelowTitleBar = [&](const X11ClientWindow& sheet) {
        const auto window = byId.find(sheet.transientFor);
        return window != byId.end() && sheet.frame().y == window->second.area.y;
    };
    ASSERT_TRUE(waitUntil(
        [&] {
            stack = x11.windows();
            byId.clear();
            for (const auto& window : stack) {
                byId[window.id] = window;
            }
            std::size_t settledSheets = 0;
            for (const auto& window : stack) {
                settledSheets += window.transientFor != XCB_WINDOW_NONE && window.isFramed() &&
                                 hangsBelowTitleBar(window);
            }
            return settledSheets == names.size();
        },
        player))
        << describe(stack) << "\n"
        << player->standardError();

    std::set<std::string> named;
    std::vector<X11ClientWindow> progressWindows;
    std::set<std::pair<int, int>> places;
    for (const auto& sheet : stack) {
        if (sheet.transientFor == XCB_WINDOW_NONE) {
            continue;
        }
        ASSERT_EQ(byId.count(sheet.transientFor), 1u) << sheet.title << describe(stack);
        const X11ClientWindow& window = byId[sheet.transientFor];
        // The sheet says which file it is about, as does the window it hangs from.
        EXPECT_EQ(sheet.title, window.title) << describe(stack);
        named.insert(sheet.title);
        // Below the window's title bar (above), across the middle, inside the window.
        EXPECT_LE(std::abs((sheet.frame().x + sheet.frame().width / 2) -
                           (window.area.x + window.area.width / 2)),
                  1)
            << sheet.title << describe(stack);
        EXPECT_TRUE(
            window.frame().contains({sheet.frame().x, sheet.frame().y, sheet.frame().width, 1}))
            << sheet.title << describe(stack);
        progressWindows.push_back(window);
        places.insert({window.frame().x, window.frame().y});
    }
    EXPECT_EQ(named, names) << describe(stack);
    // The windows step apart, so that each file's name stays readable above its sheet.
    EXPECT_EQ(places.size(), names.size()) << describe(stack);
    expectTitleBarsInSight(progressWindows);
    EXPECT_TRUE(quit(*player).has_value());
}

TEST_F(ProgramUnderWindowManagerTest,
       APipeNobodyWritesToHoldsBackNeitherAFileNorTheWindowsNorQuit) {
    for (const char* name : {"first pipe.mkv", "second pipe.mkv"}) {
        ASSERT_EQ(::mkfifo((files / name).c_str(), 0600), 0);
    }
    auto* player =
        &startPlayer({(files / "first pipe.mkv").string(), copyOf("h264-aac.mkv", "Good.mkv"),
                      (files / "second pipe.mkv").string()});
    ASSERT_TRUE(player->started());

    // The good file plays; each pipe is turned down on its own window, by name, without waiting
    // for a writer.
    ASSERT_EQ(waitForPlayerWindows({"Good.mkv"}).size(), 1u) << describe(x11.windows()) << "\n"
                                                             << player->standardError();
    const auto find = [&](const std::string& title, bool sheet) {
        for (const auto& window : x11.windows()) {
            if (window.title == title && window.isFramed() && !window.keepsAspectRatio &&
                (window.transientFor != XCB_WINDOW_NONE) == sheet) {
                return window.id;
            }
        }
        return xcb_window_t{XCB_WINDOW_NONE};
    };
    ASSERT_TRUE(waitUntil(
        [&] {
            return find("first pipe.mkv", true) != XCB_WINDOW_NONE &&
                   find("second pipe.mkv", true) != XCB_WINDOW_NONE;
        },
        player))
        << describe(x11.windows());

    // Dismissing one pipe's alert closes its window; the rest stays.
    x11.askToClose(find("first pipe.mkv", true));
    ASSERT_TRUE(waitUntil([&] { return find("first pipe.mkv", false) == XCB_WINDOW_NONE; }, player))
        << describe(x11.windows());
    EXPECT_NE(find("second pipe.mkv", true), XCB_WINDOW_NONE);
    EXPECT_EQ(waitForPlayerWindows({"Good.mkv"}).size(), 1u);

    // Quitting is not held back by the alert still up.
    const auto status = quit(*player);
    ASSERT_TRUE(status.has_value()) << "the player did not quit\n" << player->standardError();
    EXPECT_TRUE(WIFEXITED(*status)) << "ended by signal " << WTERMSIG(*status);
    EXPECT_EQ(WEXITSTATUS(*status), 0) << player->standardError();
}

}  // namespace
}  // namespace quillon::test
