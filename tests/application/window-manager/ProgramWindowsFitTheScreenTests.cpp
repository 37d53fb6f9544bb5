// The real program's player windows on a screen no bigger than its films (1600x900, as
// run-under-window-manager sets it up for this test): each window whole on the screen, title
// bar and all, and several windows cascaded apart.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "application/window-manager/ProgramUnderWindowManagerTest.h"

namespace quillon::test {
namespace {

using namespace std::chrono_literals;

class ProgramWindowsFitTheScreenTest : public ProgramUnderWindowManagerTest {
protected:
    void SetUp() override {
        ProgramUnderWindowManagerTest::SetUp();
        ASSERT_EQ(x11.screen().width, 1600) << "run-under-window-manager sets the screen up";
        ASSERT_EQ(x11.screen().height, 900);
    }

    // `windows` in the order the window manager first mapped them: the order they were shown.
    std::vector<X11ClientWindow> inOrderShown(std::vector<X11ClientWindow> windows) {
        const std::vector<xcb_window_t> order = x11.mappingOrder();
        const auto rank = [&](const X11ClientWindow& window) {
            return std::find(order.begin(), order.end(), window.id) - order.begin();
        };
        std::sort(windows.begin(), windows.end(),
                  [&](const auto& a, const auto& b) { return rank(a) < rank(b); });
        return windows;
    }

    // What is wrong with `windows` as a cascade: frames off the free area, two on one place, a
    // first window off the middle (`centred`), a later one not one title bar below and right of
    // the one shown before it (`stepped`). Empty when nothing is.
    std::string cascadeFaults(const std::vector<X11ClientWindow>& shown, bool centred,
                              bool stepped) {
        const std::vector<X11ClientWindow> windows = inOrderShown(shown);
        const ScreenRect workArea = x11.workArea();
        std::ostringstream faults;
        std::set<std::pair<int, int>> places;
        for (std::size_t i = 0; i < windows.size(); ++i) {
            const ScreenRect frame = windows[i].frame();
            if (!workArea.contains(frame)) {
                faults << "\n  " << windows[i].title << " leaves the screen";
            }
            if (!places.insert({frame.x, frame.y}).second) {
                faults << "\n  " << windows[i].title << " is on another window's place";
            }
            if (i == 0 && centred &&
                (std::abs(2 * (frame.x - workArea.x) + frame.width - workArea.width) > 2 ||
                 std::abs(2 * (frame.y - workArea.y) + frame.height - workArea.height) > 2)) {
                faults << "\n  " << windows[i].title << ", the first, is not centred";
            }
            if (i > 0 && stepped) {
                const X11ClientWindow& before = windows[i - 1];
                const int step = before.frameTop;
                if (frame.x != before.frame().x + step || frame.y != before.frame().y + step) {
                    faults << "\n  " << windows[i].title << " is not one title bar (" << step
                           << ") below and right of " << before.title;
                }
            }
        }
        const std::string text = faults.str();
        return text.empty() ? text : text + "\nwindows in the order shown:" + describe(windows);
    }
};

TEST_F(ProgramWindowsFitTheScreenTest, AFilmAsBigAsTheScreenComesUpWholeInTheMiddle) {
    auto* player = &startPlayer({copyOf("h264-1920x1080.mkv", "Big.mkv")});
    ASSERT_TRUE(player->started());
    // As big as it can be: its frame as tall as the screen (the film is wider than the screen
    // is, in shape).
    const auto fits = [&](const std::vector<X11ClientWindow>& windows) {
        return cascadeFaults(windows, true, false).empty() &&
               windows[0].frame().height >= x11.workArea().height - 2;
    };
    const auto windows = waitForPlayerWindows({"Big.mkv"}, fits, 30s);
    ASSERT_EQ(windows.size(), 1u) << describe(x11.windows()) << "\n" << player->standardError();
    EXPECT_EQ(cascadeFaults(windows, true, false), "");
    EXPECT_GE(windows[0].frame().height, x11.workArea().height - 2) << describe(windows);
    EXPECT_TRUE(quit(*player).has_value());
}

TEST_F(ProgramWindowsFitTheScreenTest, ThreeBigFilmsStepApartEachScaledToFitBelowTheStep) {
    const auto [paths, titles] = copiesOf("h264-1920x1080.mkv", 3);
    auto* player = &startPlayer(paths);
    ASSERT_TRUE(player->started());
    // Each later window as big as the room below and right of its step allows.
    const auto fillsItsRoom = [&](const X11ClientWindow& window) {
        const ScreenRect workArea = x11.workArea();
        return window.frame().y + window.frame().height >= workArea.y + workArea.height - 2;
    };
    const auto settled = [&](const std::vector<X11ClientWindow>& windows) {
        return cascadeFaults(windows, true, true).empty() &&
               std::all_of(windows.begin(), windows.end(), fillsItsRoom);
    };
    const auto windows = waitForPlayerWindows(titles, settled, 30s);
    ASSERT_EQ(windows.size(), 3u) << describe(x11.windows()) << "\n" << player->standardError();
    EXPECT_EQ(cascadeFaults(windows, true, true), "");
    for (const auto& window : windows) {
        EXPECT_TRUE(fillsItsRoom(window)) << window.title << describe(windows);
    }
    expectTitleBarsInSight(windows);
    EXPECT_TRUE(quit(*player).has_value());
}

TEST_F(ProgramWindowsFitTheScreenTest, TwelveBigFilmsComeUpAtTwelvePlacesOnTheScreen) {
    const auto [paths, titles] = copiesOf("h264-1920x1080.mkv", 12);
    auto* player = &startPlayer(paths);
    ASSERT_TRUE(player->started());
    const auto settled = [&](const std::vector<X11ClientWindow>& windows) {
        return cascadeFaults(windows, false, false).empty();
    };
    const auto windows = waitForPlayerWindows(titles, settled, 60s);
    ASSERT_EQ(windows.size(), 12u) << describe(x11.windows()) << "\n" << player->standardError();
    EXPECT_EQ(cascadeFaults(windows, false, false), "");
    expectTitleBarsInSight(windows);
    EXPECT_TRUE(quit(*player).has_value());
}

TEST_F(ProgramWindowsFitTheScreenTest, OfSmallFilmsOpenedTogetherTheFirstIsCentred) {
    // Each file's progress window comes up first, and the players take their places one by
    // one: the first player is still centred by its own size.
    const auto [paths, titles] = copiesOf("h264-640x360.mkv", 3);
    auto* player = &startPlayer(paths);
    ASSERT_TRUE(player->started());
    const auto settled = [&](const std::vector<X11ClientWindow>& windows) {
        return cascadeFaults(windows, true, true).empty();
    };
    const auto windows = waitForPlayerWindows(titles, settled, 30s);
    ASSERT_EQ(windows.size(), 3u) << describe(x11.windows()) << "\n" << player->standardError();
    EXPECT_EQ(cascadeFaults(windows, true, true), "");
    // Shown at the film's own size: nothing to fit.
    for (const auto& window : windows) {
        EXPECT_EQ(window.area.width, 640) << window.title << describe(windows);
    }
    EXPECT_TRUE(quit(*player).has_value());
}

}  // namespace
}  // namespace quillon::test
