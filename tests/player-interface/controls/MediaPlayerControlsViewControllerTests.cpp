#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <optional>
#include <string>
#include <vector>

#include "media-player/MediaPlayerTestSupport.h"
#include "platform/appkit/NSAlert.h"
#include "platform/appkit/NSMenuItem.h"
#include "platform/foundation/UserDefaults.h"
#include "player-interface/controls/MediaPlayerControlsViewController.h"
#include "player-interface/controls/SpelledOutDuration.h"
#include "player-interface/picture-in-picture/QLPictureInPictureController.h"
#include "player-interface/views/VideoPlayerView.h"
#include "support/EventPumping.h"
#include "support/FakeAudioRouteService.h"
#include "support/WidgetApplicationEnvironment.h"

namespace {

using namespace platform;
using namespace quillon;
using namespace quillon::test;

class RecordingInteractivityDelegate final : public MediaPlayerControlsUserInteractivityDelegate {
public:
    void userInteractionDidBegin() override { events.push_back("begin"); }
    void userInteractionDidEnd() override { events.push_back("end"); }
    std::vector<std::string> events;
};

bool isNumeric(CMTime time) {
    return CMTIME_IS_VALID(time) && !CMTIME_IS_INDEFINITE(time) &&
           !CMTIME_IS_POSITIVE_INFINITY(time) && !CMTIME_IS_NEGATIVE_INFINITY(time);
}

// Puts a user default back as it was when the test ends.
class ScopedDefault {
public:
    explicit ScopedDefault(std::string key)
        : key_(std::move(key)), saved_(UserDefaults::standard().objectForKey(key_)) {}
    ~ScopedDefault() {
        if (saved_) {
            UserDefaults::standard().setObject(*saved_, key_);
        } else {
            UserDefaults::standard().removeObject(key_);
        }
    }

private:
    std::string key_;
    std::optional<UserDefaults::Value> saved_;
};

// Ten seconds of picture and sound.
class ControlsViewControllerTest : public MediaPlayerTest {
protected:
    void SetUp() override {
        const auto media = openMedia("gop-1s.mkv");
        makePlayer(media, videoAndAudio(*media));
        UserDefaults::standard().set(false, "QPShowEndTimeInsteadOfRemainingTime");
    }
    void TearDown() override {
        controller.reset();
        MediaPlayerTest::TearDown();
    }

    void makeController(AudioRouteServiceRef routes = std::make_shared<FakeAudioRouteService>()) {
        controller = MediaPlayerControlsViewController::make(player, std::move(routes));
        controller->setUserInteractivityDelegate(interactivity);
        view = controller->controlsView();
    }
    bool isPlaying() {
        return onQueue([&] { return player->isPlaying(); });
    }
    std::string text(QLabel* label) { return label->text().toStdString(); }

    ScopedDefault endTimeDefault{"QPShowEndTimeInsteadOfRemainingTime"};
    ScopedDefault jumpDefault{"QPJumpIntervalInSeconds"};
    std::shared_ptr<RecordingInteractivityDelegate> interactivity =
        std::make_shared<RecordingInteractivityDelegate>();
    std::shared_ptr<MediaPlayerControlsViewController> controller;
    MediaPlayerControlsView* view = nullptr;
};

TEST_F(ControlsViewControllerTest, TimeLabelsReadMinusZeroAtTheEndAndTheChoiceOfLabelIsKept) {
    seekAndWait(source->duration());
    makeController();

    EXPECT_EQ(text(view->currentTimeLabel()), "00:10");
    EXPECT_EQ(text(view->remainingTimeLabel()), "-00:00");
    EXPECT_EQ(text(view->endTimeLabel()), "00:10");
    EXPECT_FALSE(controller->timeFormatter().alwaysIncludeHours);
    EXPECT_TRUE(view->endTimeLabel()->isHidden());
    EXPECT_FALSE(view->remainingTimeLabel()->isHidden());

    EXPECT_TRUE(controller->tryToPerform("toggleEndAndRemainingTimeLabelVisibility:", nullptr));
    EXPECT_FALSE(view->endTimeLabel()->isHidden());
    EXPECT_TRUE(view->remainingTimeLabel()->isHidden());
    // The next window starts with the user's choice.
    const auto next = MediaPlayerControlsViewController::make(player);
    EXPECT_FALSE(next->controlsView()->endTimeLabel()->isHidden());
    EXPECT_TRUE(next->controlsView()->remainingTimeLabel()->isHidden());
}

TEST_F(ControlsViewControllerTest, JumpIntervalIsClampedBetweenOneSecondAndFiveMinutes) {
    EXPECT_EQ(MediaPlayerControlsViewController::clampedJumpInterval(0), 1);
    EXPECT_EQ(MediaPlayerControlsViewController::clampedJumpInterval(-20), 1);
    EXPECT_EQ(MediaPlayerControlsViewController::clampedJumpInterval(2.5), 2.5);
    EXPECT_EQ(MediaPlayerControlsViewController::clampedJumpInterval(1000), 300);

    makeController();
    seekAndWait(seconds(5));
    UserDefaults::standard().set(0.5, "QPJumpIntervalInSeconds");
    controller->tryToPerform("jumpForward:", nullptr);
    settle();
    EXPECT_EQ(currentTime(), seconds(6));
    // A stored interval that is no positive number is not the shortest jump but the registered
    // 15 s (here as far as the beginning).
    UserDefaults::standard().set(-3.0, "QPJumpIntervalInSeconds");
    controller->tryToPerform("jumpBackward:", nullptr);
    settle();
    EXPECT_EQ(currentTime(), seconds(0));
    seekAndWait(seconds(5));

    // Jumping does not pause.
    UserDefaults::standard().set(2.5, "QPJumpIntervalInSeconds");
    onQueue([&] { player->play(); });
    controller->jumpBackward();
    settle();
    EXPECT_TRUE(isPlaying());
    EXPECT_EQ(currentTime(), seconds(2.5));
}

TEST_F(ControlsViewControllerTest, SteppingAndJumpingToTheEndsPauseFirst) {
    makeController();
    onQueue([&] { player->play(); });
    clock->advanceSeconds(2.0);

    controller->tryToPerform("stepForward:", nullptr);
    settle();
    EXPECT_FALSE(isPlaying());
    const double afterStep = CMTimeGetSeconds(currentTime());
    EXPECT_GT(afterStep, 2.0);
    EXPECT_LT(afterStep, 2.1);

    onQueue([&] { player->play(); });
    controller->tryToPerform("jumpToBeginning:", nullptr);
    settle();
    EXPECT_FALSE(isPlaying());
    EXPECT_EQ(currentTime(), seconds(0));

    onQueue([&] { player->play(); });
    controller->tryToPerform("jumpToEnd:", nullptr);
    settle();
    EXPECT_FALSE(isPlaying());
    EXPECT_EQ(currentTime(), source->duration());
}

TEST_F(ControlsViewControllerTest, PlayPauseButtonFollowsTheRateNotification) {
    makeController();
    QToolButton* button = view->playPauseButton();
    EXPECT_FALSE(button->isChecked());

    // Changed behind the controller's back: only the notification can tell it.
    onQueue([&] { player->play(); });
    EXPECT_TRUE(eventually([&] { return button->isChecked(); }));
    onQueue([&] { player->pause(); });
    EXPECT_TRUE(eventually([&] { return !button->isChecked(); }));

    button->click();
    EXPECT_TRUE(isPlaying());
    EXPECT_TRUE(button->isChecked());
    button->click();
    EXPECT_FALSE(isPlaying());
    EXPECT_FALSE(button->isChecked());
}

TEST(ScrubberTimeObserverIntervalTests, OneUpdatePerDevicePixelNeverBelowAMillisecond) {
    using Controller = MediaPlayerControlsViewController;
    EXPECT_EQ(Controller::scrubberTimeObserverInterval(10, 500, 1), CMTimeMake(20, 1000));
    EXPECT_EQ(Controller::scrubberTimeObserverInterval(10, 250, 2), CMTimeMake(20, 1000));
    EXPECT_EQ(Controller::scrubberTimeObserverInterval(0.2, 500, 1), CMTimeMake(1, 1000));
    EXPECT_EQ(Controller::scrubberTimeObserverInterval(0, 500, 1), CMTimeMake(1, 1000));
    // No width yet, or no known duration: still an interval an observer can take.
    const CMTime beforeLayout = Controller::scrubberTimeObserverInterval(10, 0, 1);
    EXPECT_TRUE(isNumeric(beforeLayout));
    EXPECT_GT(CMTimeGetSeconds(beforeLayout), 0);
    EXPECT_TRUE(isNumeric(
        Controller::scrubberTimeObserverInterval(std::numeric_limits<double>::infinity(), 500, 1)));
}

TEST_F(ControlsViewControllerTest, ScrubberObserverFollowsTheLayoutAndScrubbingSeeks) {
    makeController();
    controller->viewDidLayout();
    EXPECT_TRUE(isNumeric(controller->currentScrubberTimeObserverInterval()));

    view->resize(600, 30);
    view->show();
    DispatchQueue::main().drain();
    QApplication::processEvents();
    Scrubber* scrubber = view->scrubber();
    ASSERT_GT(scrubber->width(), 0);
    const double duration = CMTimeGetSeconds(source->duration());
    EXPECT_EQ(controller->currentScrubberTimeObserverInterval(),
              MediaPlayerControlsViewController::scrubberTimeObserverInterval(
                  duration, scrubber->width(), scrubber->devicePixelRatioF()));
    EXPECT_EQ(scrubber->maxValue(), duration);
    EXPECT_EQ(scrubber->accessibilityValueDescription(), "0 seconds");

    scrubber->setValueAndSendAction(4.5);
    settle();
    EXPECT_EQ(currentTime(), seconds(4.5));
    view->hide();
}

TEST_F(ControlsViewControllerTest, RoutePickerAndScrubbingEachBeginAndEndInteractionOnce) {
    makeController(std::make_shared<FakeAudioRouteService>(
        std::vector<AVAudioRoute>{{"speakers", "Speakers"}, {"hdmi", "HDMI"}}, "speakers"));
    const auto& routePicker = controller->routePickerController();
    ASSERT_NE(routePicker, nullptr);
    // The renderer had no output context: the controls made one for it.
    ASSERT_NE(view->routePickerButtonView(), nullptr);
    EXPECT_FALSE(view->routePickerButtonView()->isHidden());
    auto& picker = *routePicker->routePickerView()->routePickerView();

    routePicker->routePickerViewWillBeginPresentingRoutes(picker);
    EXPECT_TRUE(controller->isUserInteracting());
    controller->scrubberDidBeginTracking();
    EXPECT_TRUE(onQueue([&] { return player->isSeekingInteractively(); }));
    controller->scrubberDidEndTracking();
    EXPECT_TRUE(controller->isUserInteracting());
    routePicker->routePickerViewDidEndPresentingRoutes(picker);
    EXPECT_FALSE(controller->isUserInteracting());
    EXPECT_EQ(interactivity->events, (std::vector<std::string>{"begin", "end"}));

    interactivity->events.clear();
    controller->scrubberDidBeginTracking();
    routePicker->routePickerViewWillBeginPresentingRoutes(picker);
    routePicker->routePickerViewDidEndPresentingRoutes(picker);
    EXPECT_TRUE(controller->isUserInteracting());
    controller->scrubberDidEndTracking();
    EXPECT_EQ(interactivity->events, (std::vector<std::string>{"begin", "end"}));

    // One device left: the button goes.
    controller->routePickerControllerDidChangeShouldShowRoutePickerButton(*routePicker, false);
    EXPECT_TRUE(view->routePickerButtonView()->isHidden());
}

TEST_F(ControlsViewControllerTest, TabbingIntoTheControlsIsAMomentaryInteraction) {
    makeController();
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* field = new QLineEdit(&window);
    layout->addWidget(field);
    layout->addWidget(view);
    window.show();
    QApplication::setActiveWindow(&window);
    QApplication::processEvents();

    field->setFocus();
    QApplication::processEvents();
    interactivity->events.clear();

    view->playPauseButton()->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    EXPECT_EQ(interactivity->events, (std::vector<std::string>{"begin", "end"}));
    EXPECT_FALSE(controller->isUserInteracting());

    // Nothing extra while the user scrubs.
    field->setFocus();
    controller->scrubberDidBeginTracking();
    interactivity->events.clear();
    view->playPauseButton()->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    EXPECT_TRUE(interactivity->events.empty());
    controller->scrubberDidEndTracking();

    layout->removeWidget(view);
    view->setParent(nullptr);
}

TEST_F(ControlsViewControllerTest, WheelOverTheRowScrubs) {
    makeController();
    view->resize(600, 30);
    view->show();
    QApplication::processEvents();
    seekAndWait(seconds(5));
    controller->viewDidLayout();

    QWheelEvent wheel(QPointF(5, 5), view->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(-120, 0),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    // Qt hands the row what its children leave (only for events from the window system, so
    // the test gives it to the row itself).
    QApplication::sendEvent(view, &wheel);
    settle();
    EXPECT_GT(CMTimeGetSeconds(currentTime()), 5.0);
    view->hide();
}

// A raw stream whose duration is guessed at about half of what it is until its end is read.
class ControlsWithAGuessedDurationTest : public ControlsViewControllerTest {
protected:
    void SetUp() override {
        const auto media = openRawStreamWithAShortGuess();
        makePlayer(media, {media->videoTracks().at(0), nullptr, nullptr, nullptr});
        UserDefaults::standard().set(false, "QPShowEndTimeInsteadOfRemainingTime");
    }
};

TEST_F(ControlsWithAGuessedDurationTest, TheEndLabelAndScrubberFollowTheDurationAsItIsRead) {
    makeController();
    const double guess = CMTimeGetSeconds(player->duration());
    ASSERT_LT(guess, 6.0);
    EXPECT_EQ(view->scrubber()->maxValue(), guess);
    EXPECT_EQ(text(view->endTimeLabel()), controller->timeFormatter().stringFromSeconds(guess));

    onQueue([&] { player->play(); });
    playOnUntil(10);
    ASSERT_TRUE(eventually([&] { return view->scrubber()->maxValue() == 8.0; }))
        << view->scrubber()->maxValue();
    EXPECT_EQ(text(view->endTimeLabel()), "00:08");
    EXPECT_TRUE(eventually([&] { return text(view->remainingTimeLabel()) == "-00:00"; }))
        << text(view->remainingTimeLabel());
}

class ControlsPictureInPictureTest : public ControlsViewControllerTest {
protected:
    void SetUp() override {
        ControlsViewControllerTest::SetUp();
        makeController();
        videoPlayerView = std::make_unique<VideoPlayerView>(*player, view);
        pictureInPicture = QLPictureInPictureController::make(videoPlayerView.get(), player);
        ASSERT_NE(pictureInPicture, nullptr);
    }
    void TearDown() override {
        if (pictureInPicture) {
            pictureInPicture->stopPictureInPictureIfNeeded();
        }
        pictureInPicture.reset();
        // Takes the controls view with it; the controller copes with that.
        videoPlayerView.reset();
        ControlsViewControllerTest::TearDown();
    }
    QLPictureInPictureControllerDelegate* asDelegate() { return controller.get(); }

    std::unique_ptr<VideoPlayerView> videoPlayerView;
    std::shared_ptr<QLPictureInPictureController> pictureInPicture;
};

TEST_F(ControlsPictureInPictureTest, SettingTheSameControllerTwiceChangesNothing) {
    EXPECT_TRUE(view->pictureInPictureButton()->isHidden());
    controller->setPictureInPictureController(pictureInPicture);
    controller->setPictureInPictureController(pictureInPicture);
    EXPECT_EQ(pictureInPicture->delegate().get(), asDelegate());
    EXPECT_FALSE(view->pictureInPictureButton()->isHidden());

    controller->setPictureInPictureController(nullptr);
    EXPECT_EQ(pictureInPicture->delegate(), nullptr);
    EXPECT_TRUE(view->pictureInPictureButton()->isHidden());
}

TEST_F(ControlsPictureInPictureTest, MenuItemAndButtonFollowTheControllersState) {
    NSMenuItem item("Picture in Picture");
    EXPECT_TRUE(controller->tryToPerform("updatePictureInPictureMenuItem:", &item));
    EXPECT_FALSE(item.isVisible());

    controller->setPictureInPictureController(pictureInPicture);
    controller->tryToPerform("updatePictureInPictureMenuItem:", &item);
    EXPECT_TRUE(item.isVisible());
    EXPECT_EQ(item.title(), QLPictureInPictureController::pictureInPictureControlTitleStart());
    EXPECT_EQ(item.action(), "startPictureInPicture:");

    view->pictureInPictureButton()->click();
    ASSERT_TRUE(pumpUntil([&] { return pictureInPicture->isPictureInPictureActive(); }));
    EXPECT_TRUE(view->isPictureInPictureActive());
    controller->tryToPerform("updatePictureInPictureMenuItem:", &item);
    EXPECT_EQ(item.title(), QLPictureInPictureController::pictureInPictureControlTitleStop());
    EXPECT_EQ(item.action(), "stopPictureInPicture:");

    view->pictureInPictureButton()->click();
    ASSERT_TRUE(pumpUntil([&] { return !pictureInPicture->isPictureInPictureActive(); }));
    EXPECT_FALSE(view->isPictureInPictureActive());
}

TEST_F(ControlsPictureInPictureTest, AFailureToStartIsAnAlertOnTheWindowOnly) {
    const NSError error("org.quillon.test", 7);
    // Not in a window: nobody to tell.
    controller->pictureInPictureControllerFailedToStartPictureInPicture(*pictureInPicture, error);

    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(view);
    window.show();
    controller->pictureInPictureControllerFailedToStartPictureInPicture(*pictureInPicture, error);
    const auto alerts = window.findChildren<NSAlert*>();
    ASSERT_EQ(alerts.size(), 1);
    EXPECT_EQ(alerts.front()->messageText(), "Failed to start Picture in Picture.");
    alerts.front()->done(0);
    layout->removeWidget(view);
    view->setParent(nullptr);
}

TEST(SpelledOutDurationTests, NamesTheUnitsThatAreNotZero) {
    EXPECT_EQ(spelledOutDuration(0), "0 seconds");
    EXPECT_EQ(spelledOutDuration(0.9), "0 seconds");
    EXPECT_EQ(spelledOutDuration(65.7), "1 minute, 5 seconds");
    EXPECT_EQ(spelledOutDuration(3600), "1 hour");
    EXPECT_EQ(spelledOutDuration(3661), "1 hour, 1 minute, 1 second");
    EXPECT_EQ(spelledOutDuration(7202), "2 hours, 2 seconds");
    EXPECT_EQ(spelledOutDuration(360000), "100 hours");
    EXPECT_EQ(spelledOutDuration(-65), "minus 1 minute, 5 seconds");
    EXPECT_EQ(spelledOutDuration(std::numeric_limits<double>::quiet_NaN()), std::nullopt);
    EXPECT_EQ(spelledOutDuration(std::numeric_limits<double>::infinity()), std::nullopt);
}

}  // namespace
