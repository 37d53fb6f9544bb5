#include <gtest/gtest.h>

#include <unistd.h>
#include <QDialog>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "media-player/MediaPlayerTestSupport.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/foundation/UserDefaults.h"
#include "player-interface/common/DefaultUserDefaults.h"
#include "player-interface/common/WindowRestorationObserver.h"
#include "player-interface/window/MediaPlayerViewController.h"
#include "player-interface/window/MediaPlayerWindow.h"
#include "player-interface/window/MediaPlayerWindowController.h"
#include "support/ScopedUserDefault.h"

namespace quillon {
namespace {

using platform::CGRect;
using platform::CGSize;
using platform::DispatchQueue;
using platform::NotificationCenter;

// Runs `work` as main-thread code: on the main queue, pumped by the test thread.
void onMain(std::function<void()> work) {
    DispatchQueue::main().async(std::move(work));
    DispatchQueue::main().drain();
}

// Records what the controller asks of the title bar; there is no title-bar view.
class RecordingTitlebar final : public MediaPlayerWindowControllerTitlebar {
public:
    struct Call {
        double alpha;
        bool animated;
        friend bool operator==(const Call&, const Call&) = default;
    };
    QWidget* titlebarContainerView(platform::NSWindow&) override { return nullptr; }
    void setTitlebarAlphaValue(platform::NSWindow&, double alpha, bool animated) override {
        calls.push_back({alpha, animated});
    }
    std::vector<Call> calls;
};

void PrintTo(const RecordingTitlebar::Call& call, std::ostream* out) {
    *out << "(" << call.alpha << (call.animated ? ", animated)" : ", at once)");
}

// A second of silence in WAV whose INFO list names it `title`.
std::string writeTitledWave(const std::string& title) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("quillon-titled-" + std::to_string(getpid()) + ".wav");
    std::string name = title + '\0';
    if (name.size() % 2 != 0) {
        name += '\0';
    }
    std::vector<char> bytes;
    const auto text = [&](const char* s) { bytes.insert(bytes.end(), s, s + 4); };
    const auto u32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
    };
    const auto u16 = [&](std::uint16_t v) {
        bytes.push_back(static_cast<char>(v & 0xff));
        bytes.push_back(static_cast<char>(v >> 8));
    };
    constexpr std::uint32_t rate = 8000;
    const std::uint32_t dataSize = rate * 2;
    const std::uint32_t listSize = 4 + 8 + static_cast<std::uint32_t>(name.size());
    text("RIFF");
    u32(4 + (8 + 16) + (8 + listSize) + (8 + dataSize));
    text("WAVE");
    text("fmt ");
    u32(16);
    u16(1);  // PCM
    u16(1);  // mono
    u32(rate);
    u32(rate * 2);  // bytes per second
    u16(2);         // block
    u16(16);        // bits
    text("LIST");
    u32(listSize);
    text("INFO");
    text("INAM");
    u32(static_cast<std::uint32_t>(name.size()));
    bytes.insert(bytes.end(), name.begin(), name.end());
    text("data");
    u32(dataSize);
    bytes.resize(bytes.size() + dataSize, 0);
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<long>(bytes.size()));
    return path.string();
}

class MediaPlayerWindowControllerTest : public test::MediaPlayerTest {
protected:
    void TearDown() override {
        onMain([&] { controller.reset(); });
        test::MediaPlayerTest::TearDown();
    }

    void openVideo(std::string_view name = "multi-2v3a1s.mkv") {
        auto mediaSource = test::openMedia(name);
        ASSERT_TRUE(mediaSource);
        makePlayer(mediaSource, test::videoAndAudio(*mediaSource));
    }
    void openAudio(const std::string& path) {
        auto mediaSource =
            MediaSource::make(platform::URL::fileURL(path), platform::kCMTimeInvalid, true);
        ASSERT_TRUE(mediaSource);
        makePlayer(mediaSource, {nullptr, mediaSource->audioTracks().at(0), nullptr, nullptr});
    }

    // Makes the controller and loads its window.
    void loadWindow() {
        onMain([&] {
            controller = MediaPlayerWindowController::make(player, titlebar);
            window = dynamic_cast<MediaPlayerWindow*>(controller->window());
        });
        ASSERT_NE(window, nullptr);
    }

    // Waits for the frame to settle at `frame` (in whole pixels; resizes may be animated).
    bool frameSettlesAt(CGRect frame) {
        const auto near = [](double a, double b) { return std::abs(a - b) <= 0.5; };
        return test::eventually([&] {
            QCoreApplication::processEvents();
            const CGRect now = window->frame();
            return near(now.origin.x, frame.origin.x) && near(now.origin.y, frame.origin.y) &&
                   near(now.size.width, frame.size.width) &&
                   near(now.size.height, frame.size.height);
        });
    }

    std::shared_ptr<RecordingTitlebar> titlebar = std::make_shared<RecordingTitlebar>();
    std::shared_ptr<MediaPlayerWindowController> controller;
    MediaPlayerWindow* window = nullptr;
};

TEST_F(MediaPlayerWindowControllerTest, VideoWindowIsResizableAndSizedFromThePreferredSize) {
    openVideo();
    loadWindow();
    onMain([&] {
        const auto& viewController = controller->mediaPlayerViewController();
        ASSERT_TRUE(viewController);
        EXPECT_EQ(window->identifier(), MediaPlayerWindowController::mediaPlayerWindowIdentifier);
        EXPECT_EQ(viewController->identifier(),
                  MediaPlayerWindowController::mediaPlayerViewControllerIdentifier);
        EXPECT_EQ(window->contentViewController(), viewController.get());
        EXPECT_TRUE(window->styleMask() & platform::NSWindowStyleMaskResizable);
        EXPECT_FALSE(window->titlebarAppearsTransparent());
        EXPECT_EQ(window->contentAspectRatio(), viewController->preferredSize());

        EXPECT_TRUE(controller->areMinimumSizeConstraintsActive());
        const CGSize minimum = viewController->minimumSize();
        EXPECT_EQ(controller->minimumContentSize(), minimum);
        EXPECT_EQ(window->contentView()->minimumSize(),
                  QSize(static_cast<int>(std::lround(minimum.width)),
                        static_cast<int>(std::lround(minimum.height))));

        const auto visible = platform::NSWindow::mainScreenVisibleFrame();
        ASSERT_TRUE(visible);
        // Window frames are whole pixels.
        const CGSize frameSize = controller->preferredWindowFrameSize(*window, *visible);
        EXPECT_NEAR(window->frame().size.width, frameSize.width, 0.5);
        EXPECT_NEAR(window->frame().size.height, frameSize.height, 0.5);

        EXPECT_EQ(controller->windowTitlebarContainerView(), nullptr);
        EXPECT_EQ(controller->desiredTitlebarAlpha(), 1.0);
        EXPECT_EQ(titlebar->calls, (std::vector<RecordingTitlebar::Call>{{1.0, false}}));
    });
}

TEST_F(MediaPlayerWindowControllerTest, AudioOnlyWindowIsFixedWithATransparentTitlebar) {
    const std::string path = writeTitledWave("Evening Rain");
    openAudio(path);
    loadWindow();
    onMain([&] {
        EXPECT_FALSE(window->styleMask() & platform::NSWindowStyleMaskResizable);
        EXPECT_TRUE(window->titlebarAppearsTransparent());
        EXPECT_FALSE(controller->mediaPlayerViewController()->isControlsViewFloating());
        // The title comes from the media's metadata when it has one.
        EXPECT_EQ(controller->windowTitleForDocumentDisplayName("rain.wav"), "Evening Rain");
    });
    std::filesystem::remove(path);
}

TEST_F(MediaPlayerWindowControllerTest, TitleWithoutMetadataIsTheDisplayName) {
    openVideo("h264-aac.mp4");
    onMain([&] {
        controller = MediaPlayerWindowController::make(player, titlebar);
        EXPECT_EQ(controller->windowTitleForDocumentDisplayName("h264-aac.mp4"), "h264-aac.mp4");
    });
}

TEST_F(MediaPlayerWindowControllerTest, PreferredFrameIsScaledDownByOneFactorToFitOnly) {
    openVideo();
    loadWindow();
    onMain([&] {
        const CGSize preferred = controller->mediaPlayerViewController()->preferredSize();
        ASSERT_GT(preferred.width, 0);
        ASSERT_GT(preferred.height, 0);

        // Room to spare: the preferred size itself, never scaled up.
        const CGRect large{{0, 0}, {preferred.width * 4, preferred.height * 4}};
        EXPECT_EQ(controller->preferredWindowFrameSize(*window, large), preferred);

        // Too narrow by half (and tall enough): both dimensions halve.
        const CGRect narrow{{0, 0}, {preferred.width / 2, preferred.height * 4}};
        const CGSize scaled = controller->preferredWindowFrameSize(*window, narrow);
        EXPECT_DOUBLE_EQ(scaled.width, preferred.width / 2);
        EXPECT_DOUBLE_EQ(scaled.height, preferred.height / 2);

        // Too short by a quarter: the height decides.
        const CGRect shortFrame{{0, 0}, {preferred.width * 2, preferred.height / 4}};
        const CGSize shorter = controller->preferredWindowFrameSize(*window, shortFrame);
        EXPECT_DOUBLE_EQ(shorter.width, preferred.width / 4);
        EXPECT_DOUBLE_EQ(shorter.height, preferred.height / 4);
    });
}

TEST_F(MediaPlayerWindowControllerTest, VideoChangeInFullScreenWaitsForTheExitKeepingTheTopLeft) {
    openVideo();
    loadWindow();
    ASSERT_EQ(source->videoTracks().size(), 2u);
    CGRect normalFrame;
    onMain([&] {
        window->setFrame(CGRect{{40, 30}, window->frame().size}, false);
        normalFrame = window->frame();
        window->toggleFullScreen();
        EXPECT_FALSE(controller->areMinimumSizeConstraintsActive());
        EXPECT_EQ(window->contentView()->minimumSize(), QSize(0, 0));
        EXPECT_EQ(titlebar->calls.back(), (RecordingTitlebar::Call{1.0, false}));
    });
    QCoreApplication::processEvents();
    const CGRect fullScreenFrame = window->frame();
    const CGSize oldRatio = window->contentAspectRatio();

    player->setSelectedVideoTrack(source->videoTracks().at(1));
    ASSERT_TRUE(
        test::eventually([&] { return controller->needsSetWindowFrameFromPreferredSize(); }));
    onMain([&] {
        EXPECT_FALSE(controller->areMinimumSizeConstraintsActive());
        EXPECT_EQ(window->frame(), fullScreenFrame);
        // The ratio and the minimum follow at once; only the frame waits.
        EXPECT_NE(window->contentAspectRatio(), oldRatio);
        EXPECT_EQ(controller->minimumContentSize(),
                  controller->mediaPlayerViewController()->minimumSize());
    });

    CGSize expected;
    onMain([&] {
        window->toggleFullScreen();
        EXPECT_TRUE(controller->areMinimumSizeConstraintsActive());
        EXPECT_FALSE(controller->needsSetWindowFrameFromPreferredSize());
        expected = controller->preferredWindowFrameSize(*window, *window->screenVisibleFrame());
    });
    ASSERT_NE(expected, normalFrame.size);
    EXPECT_TRUE(frameSettlesAt(CGRect{normalFrame.origin, expected}));
}

TEST_F(MediaPlayerWindowControllerTest, TitlebarIsOpaqueWithASheetAndFollowsTheControlsAfter) {
    openVideo();
    loadWindow();
    QDialog sheet;
    onMain([&] {
        titlebar->calls.clear();
        controller->hideTitlebar(true);
        EXPECT_EQ(controller->desiredTitlebarAlpha(), 0.0);

        window->beginSheet(&sheet);
        EXPECT_TRUE(controller->isTitlebarAlwaysShown());
        // While the sheet is up the controls only change the wish.
        controller->showTitlebar(true);
        controller->hideTitlebar(true);
        window->endSheet(&sheet);
        EXPECT_FALSE(controller->isTitlebarAlwaysShown());
        EXPECT_EQ(titlebar->calls,
                  (std::vector<RecordingTitlebar::Call>{{0.0, true}, {1.0, true}, {0.0, true}}));
    });

    // Full screen keeps the title bar up, also when a sheet ends there; leaving it with a sheet
    // still up changes nothing until the sheet ends.
    onMain([&] {
        window->toggleFullScreen();
        titlebar->calls.clear();
        controller->showTitlebar(false);
        controller->hideTitlebar(false);
        window->beginSheet(&sheet);
        window->endSheet(&sheet);
        window->beginSheet(&sheet);
        window->toggleFullScreen();
        EXPECT_EQ(titlebar->calls,
                  (std::vector<RecordingTitlebar::Call>{{1.0, true}, {1.0, true}}));
        window->endSheet(&sheet);
        EXPECT_EQ(titlebar->calls.back(), (RecordingTitlebar::Call{0.0, true}));
    });

    // Before 11 the sheet's title bar comes at once.
    platform::ProcessInfo::System before11;
    before11.operatingSystem = platform::OperatingSystem::macOS;
    before11.version = {10, 15, 0};
    platform::ProcessInfo::ScopedOverride system(before11);
    onMain([&] {
        window->beginSheet(&sheet);
        EXPECT_EQ(titlebar->calls.back(), (RecordingTitlebar::Call{1.0, false}));
        window->endSheet(&sheet);
    });
}

TEST_F(MediaPlayerWindowControllerTest, EntersFullScreenAutomaticallyOnceAndNeverWhenRestored) {
    test::ScopedUserDefault saved(QPEnterFullScreenAutomaticallyOnOpen);
    platform::UserDefaults::standard().set(true, QPEnterFullScreenAutomaticallyOnOpen);
    openVideo("h264-aac.mp4");
    onMain([] {
        // The application makes the observer before restoration can end.
        quillon::WindowRestorationObserver::shared();
        NotificationCenter::defaultCenter().post(
            platform::NSApplicationDidFinishRestoringWindowsNotification);
    });
    loadWindow();
    int entries = 0;
    auto observation = NotificationCenter::defaultCenter().addObserver(
        platform::NSWindowWillEnterFullScreenNotification, window,
        [&](const platform::Notification&) { ++entries; });

    onMain([&] { controller->handleWindowShown(); });
    EXPECT_EQ(entries, 1);
    onMain([&] {
        window->toggleFullScreen();  // the user leaves full screen
        controller->handleWindowShown();
    });
    EXPECT_EQ(entries, 1);

    // A restored window keeps the state it was restored with.
    std::shared_ptr<MediaPlayerWindowController> restored;
    onMain([&] {
        restored = MediaPlayerWindowController::make(player, titlebar);
        ASSERT_NE(restored->window(), nullptr);
        platform::NSKeyedArchiver archiver;
        archiver.finishEncoding();
        platform::NSKeyedUnarchiver coder(archiver.encodedData());
        restored->restoreState(coder);
        EXPECT_TRUE(restored->isRestoredFromPersistedState());
        restored->handleWindowShown();
        EXPECT_FALSE(restored->window()->isInFullScreen());
        restored.reset();
    });
}

}  // namespace
}  // namespace quillon
