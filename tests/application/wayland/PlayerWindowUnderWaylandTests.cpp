// The player window as a client of a real Wayland compositor (a private headless weston): its
// title, its menus, full screen, playing pictures, its shape after a resize and Picture in
// Picture. The compositor keeps window positions and stacking to itself, so nothing here waits
// on either; pixels are the window's own (QWidget::grab).
#include <gtest/gtest.h>

#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QToolButton>
#include <QWindow>
#include <QtTest/QTest>
#include <cmath>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "application/PlayerWindowTestSupport.h"
#include "media-player/MediaPlayerTestSupport.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/WindowManagerAspectHints.h"
#include "platform/appkit/WindowSystemCapabilities.h"
#include "platform/avfoundation/IOPMAssertion.h"
#include "platform/foundation/Log.h"
#include "platform/pip/PIPViewController.h"
#include "player-interface/controls/MediaPlayerControlsView.h"
#include "player-interface/controls/MediaPlayerControlsViewController.h"
#include "player-interface/picture-in-picture/QLPictureInPictureController.h"
#include "player-interface/views/ExternalPlaybackIndicatorView.h"
#include "player-interface/views/VideoPlayerView.h"
#include "player-interface/window/MediaPlayerViewController.h"
#include "player-interface/window/MediaPlayerWindowController.h"
#include "support/PrivateWaylandDisplay.h"

namespace quillon::test {

namespace {

constexpr const char* kStackingMessage =
    "The Picture in Picture window cannot be kept above other windows: the compositor decides "
    "how windows are stacked.";

// The number of distinct colours in `image`: a picture has many, a black or grey area few.
std::size_t colourCount(const QImage& image) {
    std::set<QRgb> colours;
    for (int y = 0; y < image.height(); y += 2) {
        for (int x = 0; x < image.width(); x += 2) {
            colours.insert(image.pixel(x, y));
        }
    }
    return colours.size();
}

class PlayerWindowUnderWaylandTest : public PlayerWindowTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(QGuiApplication::platformName().startsWith("wayland"))
            << "needs a Wayland compositor, got " << QGuiApplication::platformName().toStdString();
        PlayerWindowTest::SetUp();
        // The real players: the picture reaches the window, on the host clock.
        controller.setDocumentFactory(
            [](const std::string&) { return std::make_shared<MediaPlayerDocument>(); });
    }

    // The shown and exposed player window of a newly opened file, made the active window. A
    // headless compositor has no keyboard to give focus with: Qt is told, as a click would.
    MediaPlayerWindowController* openWindow(const std::string& name) {
        MediaPlayerWindowController* windowController = openShownPlayerWindow(name);
        if (windowController != nullptr) {
            QApplication::setActiveWindow(windowController->window());
        }
        return windowController;
    }

    // The item `title` of the menu `menuTitle` in `window`'s menu bar, brought up to date as
    // opening the menu does.
    static QAction* menuItem(platform::NSWindow& window, const QString& menuTitle,
                             const QString& title) {
        for (QAction* menu : window.menuBar()->actions()) {
            if (menu->menu() != nullptr && menu->text() == menuTitle) {
                emit menu->menu()->aboutToShow();
                for (QAction* item : menu->menu()->actions()) {
                    if (item->text() == title) {
                        return item;
                    }
                }
            }
        }
        return nullptr;
    }

    static VideoPlayerView* videoPlayerView(MediaPlayerWindowController& windowController) {
        return windowController.mediaPlayerViewController()->videoPlayerView();
    }

    static bool contentHasRatio(platform::NSWindow& window, platform::CGSize ratio) {
        const QSize content = window.contentView()->size();
        return std::abs(content.height() - content.width() * ratio.height / ratio.width) <= 2;
    }

    // No session bus is asked to keep the display awake.
    platform::PowerAssertionService::ScopedOverride powerAssertions_{
        std::make_shared<NullPowerAssertionService>()};
};

TEST_F(PlayerWindowUnderWaylandTest, TheWindowIsTitledWithTheFileAndItsMenusWork) {
    MediaPlayerWindowController* windowController = openWindow("h264-bt709.mkv");
    ASSERT_NE(windowController, nullptr);
    platform::NSWindow& window = *windowController->window();
    // What the compositor is told: the name alone.
    EXPECT_EQ(window.windowHandle()->title(), "h264-bt709.mkv");

    QStringList menus;
    for (QAction* menu : window.menuBar()->actions()) {
        menus << menu->text();
    }
    EXPECT_EQ(menus.join(' '), "&File &View &Tracks &Controls &Window &Help");
    ASSERT_TRUE(window.menuWidget()->isVisible());

    // Full screen is the compositor's to grant: the window takes the output's size.
    const QSize windowed = window.size();
    QAction* enter = menuItem(window, "&View", "Enter Full Screen");
    ASSERT_NE(enter, nullptr);
    enter->trigger();
    ASSERT_TRUE(pumpUntil([&] {
        return window.isInFullScreen() && window.screen() != nullptr &&
               window.size() == window.screen()->size();
    })) << window.width()
        << "x" << window.height();
    EXPECT_FALSE(window.menuWidget()->isVisible());
    EXPECT_EQ(window.contentView()->geometry(), window.rect());

    QTest::keyClick(&window, Qt::Key_Escape);
    ASSERT_TRUE(pumpUntil([&] {
        return !window.isInFullScreen() && std::abs(window.width() - windowed.width()) <= 2 &&
               std::abs(window.height() - windowed.height()) <= 2;
    })) << window.width()
        << "x" << window.height() << " was " << windowed.width() << "x" << windowed.height();
    EXPECT_TRUE(window.menuWidget()->isVisible());
}

TEST_F(PlayerWindowUnderWaylandTest, PlayingFromTheMenuShowsMovingPicturesInTheWindow) {
    MediaPlayerWindowController* windowController = openWindow("h264-aac.mkv");
    ASSERT_NE(windowController, nullptr);
    platform::NSWindow& window = *windowController->window();
    VideoPlayerView* view = videoPlayerView(*windowController);
    ASSERT_NE(view, nullptr);
    const auto picture = [&] {
        return view->grab(VideoPlayerView::aspectFitRect(view->rect(), 16.0 / 9.0)).toImage();
    };
    // The first picture is there before playing.
    ASSERT_TRUE(pumpUntil([&] { return colourCount(picture()) > 50; }))
        << colourCount(picture()) << " colours";
    const QImage paused = picture();

    QAction* playPause = menuItem(window, "&Controls", "Play/Pause");
    ASSERT_NE(playPause, nullptr);
    playPause->trigger();
    QToolButton& button = *windowController->mediaPlayerViewController()
                               ->controlsViewController()
                               ->controlsView()
                               ->playPauseButton();
    EXPECT_TRUE(pumpUntil([&] { return button.isChecked(); }));
    EXPECT_TRUE(pumpUntil([&] {
        const QImage now = picture();
        return now != paused && colourCount(now) > 50;
    })) << "the picture did not move";
}

TEST_F(PlayerWindowUnderWaylandTest, AResizeKeepsThePicturesShapeWithoutHintsToTheCompositor) {
    MediaPlayerWindowController* windowController = openWindow("h264-bt709.mkv");
    ASSERT_NE(windowController, nullptr);
    platform::NSWindow& window = *windowController->window();
    // There is no window manager to hint: the window keeps its shape itself.
    EXPECT_FALSE(platform::WindowManagerAspectHints::isAvailable());
    const platform::CGSize ratio = window.contentAspectRatio();
    ASSERT_GT(ratio.width, 0);
    EXPECT_TRUE(contentHasRatio(window, ratio))
        << window.contentView()->width() << "x" << window.contentView()->height();

    // Wider only, then taller only: each time the height follows the width.
    const QSize before = window.size();
    window.resize(before.width() + 160, before.height());
    EXPECT_TRUE(pumpUntil([&] {
        return window.width() == before.width() + 160 && contentHasRatio(window, ratio);
    })) << window.width()
        << "x" << window.height();
    window.resize(window.width(), window.height() + 120);
    EXPECT_TRUE(pumpUntil([&] {
        return window.width() == before.width() + 160 && contentHasRatio(window, ratio);
    })) << window.width()
        << "x" << window.height();
}

// The only test of the program that starts Picture in Picture: the stacking message is said
// once per process.
TEST_F(PlayerWindowUnderWaylandTest, PictureInPictureFloatsInThePicturesShapeBeforeThePlaceholder) {
    platform::ScopedLogCapture log;
    EXPECT_FALSE(platform::WindowSystemCapabilities::keepsWindowsOnTop());
    MediaPlayerWindowController* windowController = openWindow("h264-bt709.mkv");
    ASSERT_NE(windowController, nullptr);
    platform::NSWindow& window = *windowController->window();
    VideoPlayerView* view = videoPlayerView(*windowController);
    ASSERT_NE(view, nullptr);
    const auto pictureInPicture =
        windowController->mediaPlayerViewController()->pictureInPictureController();
    ASSERT_NE(pictureInPicture, nullptr);
    const platform::CGSize ratio = *view->effectiveVideoSize();

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        QAction* enter = menuItem(window, "&View", "Enter Picture in Picture");
        ASSERT_NE(enter, nullptr);
        enter->trigger();
        ASSERT_TRUE(pumpUntil([&] { return pictureInPicture->isPictureInPictureActive(); }));
        platform::PIPViewController* floating = pictureInPicture->pipViewController().get();
        ASSERT_NE(floating, nullptr);
        platform::PIPWindow* pip = floating->pictureInPictureWindow();
        ASSERT_NE(pip, nullptr);
        const auto hasRatio = [&] {
            return std::abs(pip->height() - pip->width() * ratio.height / ratio.width) <= 1;
        };
        // The compositor may configure the window's size after it first shows it.
        ASSERT_TRUE(pumpUntil([&] {
            return pip->isVisible() && pip->windowHandle()->isExposed() && hasRatio();
        })) << pip->width()
            << "x" << pip->height();

        // The player window stays, the placeholder where the picture was.
        EXPECT_TRUE(window.isVisible());
        ExternalPlaybackIndicatorView* placeholder = view->pictureInPictureIndicatorView();
        ASSERT_NE(placeholder, nullptr);
        EXPECT_TRUE(placeholder->isVisible());
        EXPECT_NE(view->videoViewForPictureInPicture()->window(), &window);

        // Resizable, and it takes its shape back after a resize that loses it.
        pip->resize(pip->width() + 90, pip->height());
        EXPECT_TRUE(pumpUntil([&] { return pip->width() > 300 && hasRatio(); }))
            << pip->width() << "x" << pip->height();

        QAction* exit = menuItem(window, "&View", "Exit Picture in Picture");
        ASSERT_NE(exit, nullptr);
        exit->trigger();
        ASSERT_TRUE(pumpUntil([&] { return !pictureInPicture->isPictureInPictureActive(); }));
        EXPECT_EQ(view->pictureInPictureIndicatorView(), nullptr);
        EXPECT_EQ(view->videoViewForPictureInPicture()->window(), &window);
        EXPECT_TRUE(window.isVisible());
    }
    int said = 0;
    for (const std::string& line : log.lines()) {
        said += line == kStackingMessage;
    }
    EXPECT_EQ(said, 1);
}

}  // namespace
}  // namespace quillon::test

// The compositor first: the application object that the tests share connects to it, and it
// stays until the process has ended (Qt ends a client whose compositor goes).
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    quillon::test::PrivateWaylandDisplay compositor;
    if (compositor.socket().empty()) {
        std::fprintf(stderr, "Skipped: %s\n", compositor.whyNot().c_str());
        // CTest's sign for a skipped test.
        return 77;
    }
    compositor.becomeClient();
    compositor.keepUntilProcessEnds();
    return RUN_ALL_TESTS();
}
