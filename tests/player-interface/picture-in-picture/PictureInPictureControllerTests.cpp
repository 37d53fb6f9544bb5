#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "media-player/timing/MediaPlayerTimeObserverManager.h"
#include "platform/appkit/NSViewController.h"
#include "platform/appkit/NSWindow.h"
#include "platform/avfoundation/AVSampleBufferRenderSynchronizer.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Log.h"
#include "platform/private-interfaces/QLSafelyUsePrivateAPI.h"
#include "player-interface/picture-in-picture/QLPictureInPictureController.h"
#include "player-interface/views/VideoPlayerView.h"
#include "support/EventPumping.h"
#include "support/ManualClock.h"
#include "support/WidgetApplicationEnvironment.h"

namespace quillon {
namespace {

using platform::PIPViewController;

using test::pumpUntil;

class FakePlayback final : public QLPictureInPicturePlaybackDelegate {
public:
    void pictureInPictureControllerSetPlaying(QLPictureInPictureController&, bool value) override {
        playing = value;
        setPlayingCalls.push_back(value);
    }
    bool pictureInPictureControllerIsPlaybackPaused(QLPictureInPictureController&) override {
        return !playing;
    }

    bool playing = true;
    std::vector<bool> setPlayingCalls;
};

class RecordingDelegate final : public QLPictureInPictureControllerDelegate {
public:
    void pictureInPictureControllerWillStartPictureInPicture(
        QLPictureInPictureController&) override {
        events.push_back("willStart");
    }
    void pictureInPictureControllerFailedToStartPictureInPicture(
        QLPictureInPictureController&, const platform::NSError& error) override {
        events.push_back("failed");
        failure = error;
    }
    void pictureInPictureControllerWillStopPictureInPicture(
        QLPictureInPictureController&) override {
        events.push_back("willStop");
    }
    void pictureInPictureControllerDidStopPictureInPicture(QLPictureInPictureController&) override {
        events.push_back("didStop");
    }

    std::vector<std::string> events;
    std::optional<platform::NSError> failure;
};

class FakeControls final : public QWidget {
public:
    QSize sizeHint() const override { return {300, 50}; }
};

// A player window whose content is a video player view, shown, with a picture of 16:9.
class PictureInPictureControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto made = std::make_unique<VideoPlayerView>(displayLayer, makeSubtitlesView(true),
                                                      makeSubtitlesView(false), controls.get());
        view = made.get();
        view->setEffectiveVideoSize(platform::CGSize{1920, 1080});
        content->setView(std::move(made));
        window->setContentViewController(content);
        window->resize(800, 600);
        window->show();
        pip = QLPictureInPictureController::make(view, playback);
        ASSERT_NE(pip, nullptr);
        pip->setDelegate(delegate);
        activeObservation = pip->observePictureInPictureActive(
            [this] { activeChanges.push_back(pip->isPictureInPictureActive()); });
    }

    void TearDown() override {
        activeObservation.remove();
        pip.reset();
        pumpUntil([] { return true; });
    }

    std::shared_ptr<SubtitlesView> makeSubtitlesView(bool primary) {
        return SubtitlesView::make(
            primary, MediaPlayerTimeObserverManager(synchronizer, platform::kCMTimeZero));
    }

    QWidget* videoContainer() const { return view->videoViewForPictureInPicture(); }
    platform::PIPWindow* floatingWindow() const {
        return pip->pipViewController() ? pip->pipViewController()->pictureInPictureWindow()
                                        : nullptr;
    }
    bool stopped() const {
        return !delegate->events.empty() && delegate->events.back() == "didStop";
    }

    std::shared_ptr<platform::ManualClock> clock = platform::ManualClock::make();
    std::shared_ptr<platform::AVSampleBufferRenderSynchronizer> synchronizer =
        std::make_shared<platform::AVSampleBufferRenderSynchronizer>(clock);
    std::shared_ptr<platform::AVSampleBufferDisplayLayer> displayLayer =
        std::make_shared<platform::AVSampleBufferDisplayLayer>();
    std::unique_ptr<FakeControls> controls = std::make_unique<FakeControls>();
    std::shared_ptr<platform::NSViewController> content =
        std::make_shared<platform::NSViewController>();
    std::unique_ptr<platform::NSWindow> window = std::make_unique<platform::NSWindow>(
        platform::CGRectMake(0, 0, 800, 600), platform::NSWindowStyleMaskTitled |
                                                  platform::NSWindowStyleMaskClosable |
                                                  platform::NSWindowStyleMaskResizable);
    VideoPlayerView* view = nullptr;
    std::shared_ptr<FakePlayback> playback = std::make_shared<FakePlayback>();
    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
    std::shared_ptr<QLPictureInPictureController> pip;
    platform::ObserverToken activeObservation;
    std::vector<bool> activeChanges;
};

TEST_F(PictureInPictureControllerTest, StartingInAWindowFloatsThePictureAndHidesTheWindow) {
    pip->startPictureInPicture();

    EXPECT_TRUE(pip->isPictureInPictureActive());
    EXPECT_EQ(activeChanges, std::vector<bool>{true});
    EXPECT_EQ(delegate->events, std::vector<std::string>{"willStart"});
    EXPECT_FALSE(window->isVisible());
    platform::PIPWindow* floating = floatingWindow();
    ASSERT_NE(floating, nullptr);
    EXPECT_TRUE(floating->isVisible());
    EXPECT_TRUE(floating->isAncestorOf(videoContainer()));
    EXPECT_TRUE(videoContainer()->isVisible());
    // The indicator stands in for the picture meanwhile.
    EXPECT_NE(view->pictureInPictureIndicatorView(), nullptr);
    // Shape and playing state went to the floating window.
    EXPECT_EQ(pip->pipViewController()->aspectRatio(), (platform::CGSize{1920, 1080}));
    EXPECT_TRUE(pip->pipViewController()->isPlaying());
    playback->playing = false;
    pip->invalidatePlaybackState();
    EXPECT_FALSE(pip->pipViewController()->isPlaying());

    // Stopping brings everything back without touching playback.
    pip->stopPictureInPicture();
    EXPECT_TRUE(window->isVisible());
    ASSERT_TRUE(pumpUntil([&] { return stopped(); }));
    EXPECT_EQ(delegate->events, (std::vector<std::string>{"willStart", "willStop", "didStop"}));
    EXPECT_FALSE(pip->isPictureInPictureActive());
    EXPECT_EQ(activeChanges, (std::vector<bool>{true, false}));
    EXPECT_EQ(pip->pipViewController(), nullptr);
    EXPECT_EQ(videoContainer()->parentWidget(), view);
    EXPECT_TRUE(videoContainer()->isVisible());
    EXPECT_EQ(view->pictureInPictureIndicatorView(), nullptr);
    EXPECT_TRUE(playback->setPlayingCalls.empty());

    // And it can start again.
    pip->startPictureInPicture();
    EXPECT_TRUE(pip->isPictureInPictureActive());
    pip->stopPictureInPicture();
    ASSERT_TRUE(pumpUntil([&] { return !pip->isPictureInPictureActive(); }));
}

TEST_F(PictureInPictureControllerTest, StartingInFullScreenLeavesTheWindowInPlace) {
    window->toggleFullScreen();
    pip->startPictureInPicture();
    EXPECT_TRUE(pip->isPictureInPictureActive());
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(floatingWindow()->isAncestorOf(videoContainer()));
    pip->stopPictureInPicture();
    ASSERT_TRUE(pumpUntil([&] { return stopped(); }));
    EXPECT_TRUE(window->isVisible());
}

TEST_F(PictureInPictureControllerTest, ReturnControlKeepsPlayingAndBringsTheWindowBackAsKey) {
    pip->startPictureInPicture();
    const auto pipViewController = pip->pipViewController();
    floatingWindow()->returnButton()->click();

    EXPECT_TRUE(window->isVisible());
    // The picture flies back to where it is shown in the window.
    EXPECT_EQ(pipViewController->replacementWindow(), window.get());
    const QRect target =
        pip->videoRectInVideoContainerView().translated(view->mapTo(window.get(), QPoint(0, 0)));
    EXPECT_EQ(pipViewController->replacementRect(),
              platform::CGRectMake(target.x(), target.y(), target.width(), target.height()));
    ASSERT_TRUE(pumpUntil([&] { return stopped(); }));
    EXPECT_TRUE(playback->setPlayingCalls.empty());
    EXPECT_TRUE(playback->playing);
    EXPECT_TRUE(pumpUntil([&] { return window->isActiveWindow(); }));
    EXPECT_EQ(videoContainer()->parentWidget(), view);
}

TEST_F(PictureInPictureControllerTest, FloatingWindowCloseControlPausesAndBringsTheWindowBack) {
    pip->startPictureInPicture();
    platform::PIPWindow* floating = floatingWindow();

    // The play/pause control drives the playback delegate.
    floating->playPauseButton()->click();
    EXPECT_EQ(playback->setPlayingCalls, std::vector<bool>{false});

    playback->playing = true;
    playback->setPlayingCalls.clear();
    floating->closeButton()->click();
    ASSERT_TRUE(pumpUntil([&] { return stopped(); }));
    EXPECT_EQ(playback->setPlayingCalls, std::vector<bool>{false});
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(pip->isPictureInPictureActive());
    EXPECT_EQ(videoContainer()->parentWidget(), view);
}

TEST_F(PictureInPictureControllerTest, ClosingThePlayerWindowStopsWithoutPausing) {
    pip->startPictureInPicture();
    window->show();  // as the window menu would bring a hidden window back
    window->close();

    ASSERT_TRUE(pumpUntil([&] { return stopped(); }));
    EXPECT_FALSE(pip->isPictureInPictureActive());
    EXPECT_TRUE(playback->setPlayingCalls.empty());
    // The closed window stays closed, with its picture back inside.
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(videoContainer()->parentWidget(), view);

    // The observation ended with Picture in Picture: a later close is not heard.
    delegate->events.clear();
    window->show();
    window->close();
    QCoreApplication::processEvents();
    EXPECT_TRUE(delegate->events.empty());
}

TEST_F(PictureInPictureControllerTest, WithoutAVideoSizeTheShapeIsZeroAndTheRectangleEmpty) {
    view->setEffectiveVideoSize(std::nullopt);
    EXPECT_EQ(pip->effectiveVideoSize(), platform::CGSizeZero);
    EXPECT_TRUE(pip->videoRectInVideoContainerView().isEmpty());
    pip->startPictureInPicture();
    ASSERT_TRUE(pip->isPictureInPictureActive());
    EXPECT_EQ(pip->pipViewController()->aspectRatio(), platform::CGSizeZero);
    EXPECT_FALSE(floatingWindow()->size().isEmpty());
}

TEST_F(PictureInPictureControllerTest, StoppingWhileInactiveDoesNothing) {
    pip->stopPictureInPicture();
    pip->stopPictureInPictureIfNeeded();
    QCoreApplication::processEvents();
    EXPECT_TRUE(delegate->events.empty());
    EXPECT_TRUE(activeChanges.empty());
    EXPECT_TRUE(window->isVisible());
}

TEST_F(PictureInPictureControllerTest, AFailedStartResetsAndTellsTheDelegate) {
    platform::ScopedLogCapture log;
    {
        PIPViewController::ScopedPresentationFailure failure("No screen");
        pip->startPictureInPicture();
    }
    EXPECT_FALSE(pip->isPictureInPictureActive());
    EXPECT_EQ(activeChanges, std::vector<bool>{false});
    EXPECT_EQ(pip->pipViewController(), nullptr);
    EXPECT_EQ(delegate->events, (std::vector<std::string>{"willStart", "failed"}));
    ASSERT_TRUE(delegate->failure.has_value());
    EXPECT_EQ(delegate->failure->domain(), QLPrivateAPIUsageErrorDomain);
    EXPECT_TRUE(log.contains("Failed to use private API"));
    // The window and the picture stay where they were.
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(videoContainer()->parentWidget(), view);

    // The next attempt works.
    pip->startPictureInPicture();
    EXPECT_TRUE(pip->isPictureInPictureActive());
}

TEST_F(PictureInPictureControllerTest, AControllerThatGoesWhileActiveGivesThePictureBack) {
    pip->startPictureInPicture();
    QPointer<platform::PIPWindow> floating = floatingWindow();
    activeObservation.remove();
    pip.reset();
    QCoreApplication::processEvents();
    EXPECT_TRUE(floating.isNull() || !floating->isVisible());
    EXPECT_EQ(videoContainer()->parentWidget(), view);
    EXPECT_EQ(view->pictureInPictureIndicatorView(), nullptr);
}

TEST_F(PictureInPictureControllerTest, IsNotMadeWhereTheFloatingWindowIsMissing) {
    PIPViewController::ScopedClassAbsence absence;
    EXPECT_FALSE(QLPictureInPictureController::isPictureInPictureSupported());
    EXPECT_EQ(QLPictureInPictureController::make(view, playback), nullptr);
    EXPECT_EQ(QLPictureInPictureController::make(view, std::shared_ptr<MediaPlayer>()), nullptr);
}

TEST(PictureInPictureControllerClassTest, OffersTitlesAndImages) {
    EXPECT_EQ(QLPictureInPictureController::pictureInPictureControlTitleStart(),
              "Enter Picture in Picture");
    EXPECT_EQ(QLPictureInPictureController::pictureInPictureControlTitleStop(),
              "Exit Picture in Picture");
    EXPECT_NE(QLPictureInPictureController::pictureInPictureButtonStartImage(), nullptr);
    EXPECT_NE(QLPictureInPictureController::pictureInPictureButtonStopImage(), nullptr);
    EXPECT_NE(QLPictureInPictureController::pictureInPictureButtonStartImage(),
              QLPictureInPictureController::pictureInPictureButtonStopImage());
}

}  // namespace
}  // namespace quillon
