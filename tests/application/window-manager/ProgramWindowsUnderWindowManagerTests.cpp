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

#include "application/window-manager/ProgramUnderWindowManagerTest.h"
#include "support/ChildProcess.h"
#include "support/TestMedia.h"
#include "support/X11ClientWindows.h"

namespace quillon::test {
namespace {

using namespace std::chrono_literals;

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
