#include <gtest/gtest.h>

#include <QMenu>
#include <algorithm>
#include <atomic>
#include <functional>
#include <limits>

#include "platform/appkit/NSWindow.h"
#include "platform/coremedia/CMTimeCoding.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "player-interface/views/VideoPlayerView.h"
#include "player-interface/window/MediaPlayerViewControllerTestSupport.h"

namespace {

using namespace platform;
using namespace quillon;
using namespace quillon::test;
using Controller = MediaPlayerViewController;

// Writes what `write` encodes into an archive and hands back a reader of it.
template <typename Write>
std::unique_ptr<NSKeyedUnarchiver> archive(Write write) {
    NSKeyedArchiver coder;
    write(coder);
    return std::make_unique<NSKeyedUnarchiver>(coder.encodedData());
}

TEST_F(MediaPlayerViewControllerTest, AudioOnlyMediaGetNoPictureMachineryAndKeepTheirFittingSize) {
    open("aac-stereo.m4a");

    EXPECT_FALSE(controller->hasVideo());
    EXPECT_FALSE(controller->isResizable());
    EXPECT_FALSE(controller->isControlsViewFloating());
    EXPECT_EQ(controller->videoPlayerView(), nullptr);
    EXPECT_EQ(controller->floatingControlsVisibilityController(), nullptr);
    EXPECT_EQ(controller->pictureInPictureController(), nullptr);

    const QSize fitting = controller->view()->minimumSizeHint();
    const CGSize expected{static_cast<double>(fitting.width()),
                          static_cast<double>(fitting.height())};
    EXPECT_EQ(controller->minimumSize(), expected);
    EXPECT_EQ(controller->preferredSize(), expected);

    // Subtitles need a picture: the Tracks menu lists the sound only.
    QMenu menu;
    menu.addAction("stale");
    EXPECT_TRUE(controller->tryToPerform("updateTracksMenu:", &menu));
    ASSERT_EQ(menu.actions().size(), 2);
    EXPECT_EQ(menu.actions().at(0)->text(), "Audio Tracks");
    EXPECT_TRUE(menu.actions().at(1)->isChecked());

    // What the controller does not handle goes on to the controls.
    EXPECT_TRUE(controller->tryToPerform("togglePlayPauseState:", nullptr));
    EXPECT_TRUE(onQueue([&] { return player->isPlaying(); }));
    EXPECT_FALSE(controller->tryToPerform("noSuchAction:", nullptr));
}

TEST(MediaPlayerViewControllerSizes, MinimumSizeTakesThePicturesShapeAndPreferredSizeMustBeLarger) {
    // Tall fitting size: widened to the ratio; wide one: heightened.
    const CGSize widened = Controller::minimumSize({400, 300}, true, 16.0 / 9.0);
    EXPECT_NEAR(widened.width, 533.333, 1e-3);
    EXPECT_EQ(widened.height, 300);
    EXPECT_EQ(Controller::minimumSize({400, 100}, true, 2.0), (CGSize{400, 200}));
    EXPECT_EQ(Controller::minimumSize({400, 100}, true, std::nullopt), (CGSize{400, 100}));
    EXPECT_EQ(Controller::minimumSize({400, 100}, false, 2.0), (CGSize{400, 100}));

    // Without a picture: 640 × 480 only when the minimum is smaller both ways.
    EXPECT_EQ(Controller::preferredSize({419, 300}, true, std::nullopt), (CGSize{640, 480}));
    EXPECT_EQ(Controller::preferredSize({700, 300}, true, std::nullopt), (CGSize{700, 300}));
    EXPECT_EQ(Controller::preferredSize({419, 500}, true, std::nullopt), (CGSize{419, 500}));
    // A picture wider but shorter than the minimum keeps the minimum.
    EXPECT_EQ(Controller::preferredSize({419, 300}, true, CGSize{1920, 200}), (CGSize{419, 300}));
    EXPECT_EQ(Controller::preferredSize({419, 300}, true, CGSize{1920, 1080}),
              (CGSize{1920, 1080}));
    EXPECT_EQ(Controller::preferredSize({419, 300}, false, CGSize{1920, 1080}), (CGSize{419, 300}));
}

TEST_F(MediaPlayerViewControllerTest, VideoWindowsHaveFloatingControlsAndAtLeastTheDefaultSize) {
    open("multi-2v3a1s.mkv", false);
    ASSERT_TRUE(controller->hasVideo());
    ASSERT_NE(controller->videoPlayerView(), nullptr);
    EXPECT_NE(controller->floatingControlsVisibilityController(), nullptr);
    EXPECT_EQ(controller->videoPlayerView()->effectiveVideoSize(), std::nullopt);

    // No picture selected: the default size, as the view fits in it.
    EXPECT_EQ(controller->preferredSize(), (CGSize{640, 480}));

    // A 160 × 90 picture is smaller than the controls need: the minimum in its shape.
    player->setSelectedVideoTrack(source->videoTracks().at(0));
    deliverNotifications();
    const CGSize minimum = controller->minimumSize();
    EXPECT_NEAR(minimum.width / minimum.height, 16.0 / 9.0, 1e-9);
    EXPECT_EQ(controller->preferredSize(), minimum);
    EXPECT_EQ(controller->videoPlayerView()->effectiveVideoSize(), (CGSize{160, 90}));
}

TEST_F(MediaPlayerViewControllerTest, EveryVideoSelectionChangeAnnouncesThePreferredSize) {
    open("multi-2v3a1s.mkv", false);
    int posts = 0;
    const auto token = NotificationCenter::defaultCenter().addObserver(
        Controller::preferredSizeDidChangeNotification, controller.get(),
        [&](const Notification&) { ++posts; });

    player->setSelectedVideoTrack(source->videoTracks().at(1));
    deliverNotifications();
    EXPECT_EQ(posts, 1);
    EXPECT_EQ(controller->videoPlayerView()->effectiveVideoSize(), (CGSize{64, 48}));

    player->setSelectedVideoTrack(nullptr);
    player->setSelectedVideoTrack(source->videoTracks().at(1));
    deliverNotifications();
    EXPECT_EQ(posts, 3);
    // Choosing what is selected changes nothing, so nothing is announced.
    player->setSelectedVideoTrack(source->videoTracks().at(1));
    deliverNotifications();
    EXPECT_EQ(posts, 3);
}

TEST_F(MediaPlayerViewControllerTest, RestorableStateComesBackThroughTheArchive) {
    open("multi-2v3a1s.mkv", false);
    const auto& subtitles = source->embeddedSubtitlesTracks().at(0);
    player->setSelectedVideoTrack(source->videoTracks().at(1));
    player->setSelectedAudioTrack(source->audioTracks().at(2));
    player->setSelectedSecondarySubtitlesTrack(subtitles);
    seekAndWait(CMTimeMake(1500, 1000));
    onQueue([&] { player->setDesiredPlaybackRate(1.1f); });

    auto coder = archive([&](NSKeyedArchiver& c) { controller->encodeRestorableState(c); });
    EXPECT_FALSE(coder->containsValue(Controller::selectedPrimarySubtitlesTrackIdKey));

    player->setSelectedVideoTrack(source->videoTracks().at(0));
    player->setSelectedAudioTrack(source->audioTracks().at(0));
    player->setSelectedSecondarySubtitlesTrack(nullptr);
    seekAndWait(kCMTimeZero);
    onQueue([&] { player->setDesiredPlaybackRate(2.0f); });

    controller->restoreState(*coder);
    settle();
    EXPECT_TRUE(controller->isRestoredFromPersistedState());
    EXPECT_EQ(player->selectedVideoTrack(), source->videoTracks().at(1));
    EXPECT_EQ(player->selectedAudioTrack(), source->audioTracks().at(2));
    // A secondary track without a primary one comes back as the primary.
    EXPECT_EQ(player->selectedPrimarySubtitlesTrack(), subtitles);
    EXPECT_EQ(player->selectedSecondarySubtitlesTrack(), nullptr);
    EXPECT_EQ(CMTimeCompare(currentTime(), CMTimeMake(1500, 1000)), 0);
    EXPECT_EQ(desiredRate(), 1.1f);
}

TEST_F(MediaPlayerViewControllerTest, RestoringUnknownOrMissingIdentifiers) {
    open("multi-2v3a1s.mkv");
    const auto& subtitles = source->embeddedSubtitlesTracks().at(0);
    player->setSelectedVideoTrack(source->videoTracks().at(0));
    player->setSelectedAudioTrack(source->audioTracks().at(0));
    player->setSelectedPrimarySubtitlesTrack(subtitles);
    onQueue([&] { player->setDesiredPlaybackRate(1.5f); });

    // Gone tracks: the picture stays, the sound and the subtitles go. No time, no rate.
    auto gone = archive([&](NSKeyedArchiver& c) {
        c.encodeString("gone.0", Controller::selectedVideoTrackIdKey);
        c.encodeString("gone.2", Controller::selectedAudioTrackIdKey);
        c.encodeString(subtitles->id() + " ", Controller::selectedPrimarySubtitlesTrackIdKey);
    });
    controller->restoreState(*gone);
    settle();
    EXPECT_EQ(player->selectedVideoTrack(), source->videoTracks().at(0));
    EXPECT_EQ(player->selectedAudioTrack(), nullptr);
    EXPECT_EQ(player->selectedPrimarySubtitlesTrack(), nullptr);
    EXPECT_EQ(desiredRate(), 1.5f);

    // The same track stored in both places is shown once, as the primary.
    auto twice = archive([&](NSKeyedArchiver& c) {
        c.encodeString(subtitles->id(), Controller::selectedPrimarySubtitlesTrackIdKey);
        c.encodeString(subtitles->id(), Controller::selectedSecondarySubtitlesTrackIdKey);
    });
    controller->restoreState(*twice);
    EXPECT_EQ(player->selectedPrimarySubtitlesTrack(), subtitles);
    EXPECT_EQ(player->selectedSecondarySubtitlesTrack(), nullptr);
}

TEST_F(MediaPlayerViewControllerTest, FirstAppearanceAppliesStartUpPreferencesOnlyToNewWindows) {
    ScopedUserDefault rateDefault("QPDefaultPlaybackRate");
    ScopedUserDefault playDefault("QPPlayAutomaticallyOnOpen");
    UserDefaults::standard().set(1.25, "QPDefaultPlaybackRate");
    UserDefaults::standard().set(true, "QPPlayAutomaticallyOnOpen");
    open("gop-1s.mkv");
    const auto isPlaying = [&] { return onQueue([&] { return player->isPlaying(); }); };

    // A restored window keeps the rate it had and does not start playing.
    const auto restored = MediaPlayerViewController::make(player);
    restored->restoreState(*archive(
        [&](NSKeyedArchiver& c) { encodeFloat(c, 0.75f, Controller::desiredPlaybackRateKey); }));
    restored->handleFirstAppearance();
    EXPECT_EQ(desiredRate(), 0.75f);
    EXPECT_FALSE(isPlaying());

    controller->handleFirstAppearance();
    EXPECT_EQ(desiredRate(), 1.25f);
    EXPECT_TRUE(isPlaying());

    // Only the first appearance counts.
    onQueue([&] {
        player->pause();
        player->setDesiredPlaybackRate(1.0f);
    });
    controller->handleFirstAppearance();
    EXPECT_EQ(desiredRate(), 1.0f);
    EXPECT_FALSE(isPlaying());
}

TEST_F(MediaPlayerViewControllerTest, ADefaultRateThatIsNoNumberPlaysAtTheRegisteredRate) {
    ScopedUserDefault rateDefault("QPDefaultPlaybackRate");
    ScopedUserDefault playDefault("QPPlayAutomaticallyOnOpen");
    // What a settings file holding "nan" reads as.
    UserDefaults::standard().set(std::numeric_limits<double>::quiet_NaN(), "QPDefaultPlaybackRate");
    UserDefaults::standard().set(true, "QPPlayAutomaticallyOnOpen");
    open("gop-1s.mkv");

    ScopedLogCapture log;
    controller->handleFirstAppearance();
    EXPECT_EQ(desiredRate(), 1.0f);
    EXPECT_TRUE(onQueue([&] { return player->isPlaying(); }));
    EXPECT_EQ(onQueue([&] { return synchronizerRate(); }), 1.0f);
    EXPECT_TRUE(log.contains("Ignoring the user default QPDefaultPlaybackRate (nan)"));
}

TEST_F(MediaPlayerViewControllerTest, RestoredRatesAndTimesThatCannotBeUsedAreLeftOut) {
    open("gop-1s.mkv");
    const auto restore = [&](const std::function<void(NSKeyedArchiver&)>& write) {
        ScopedLogCapture log;
        MediaPlayerViewController::make(player)->restoreState(*archive(write));
        return log.lines();
    };
    // One line names the key.
    const auto mentions = [](const std::vector<std::string>& lines, const char* key) {
        return std::count_if(lines.begin(), lines.end(), [key](const std::string& line) {
                   return line.find(key) != std::string::npos;
               }) == 1;
    };

    for (const double rate : {std::numeric_limits<double>::quiet_NaN(),
                              std::numeric_limits<double>::infinity(), 1e99, -1.0, 0.0, 2.5}) {
        SCOPED_TRACE(rate);
        const auto lines = restore(
            [&](NSKeyedArchiver& c) { c.encodeDouble(rate, Controller::desiredPlaybackRateKey); });
        EXPECT_EQ(desiredRate(), 1.0f);
        EXPECT_TRUE(mentions(lines, Controller::desiredPlaybackRateKey));
    }
    // Text where the rate belongs reads as no rate at all.
    EXPECT_TRUE(mentions(restore([](NSKeyedArchiver& c) {
                             c.encodeString("abc", Controller::desiredPlaybackRateKey);
                         }),
                         Controller::desiredPlaybackRateKey));
    EXPECT_EQ(desiredRate(), 1.0f);

    const CMTime times[] = {kCMTimePositiveInfinity,
                            kCMTimeIndefinite,
                            kCMTimeNegativeInfinity,
                            CMTimeMake(-5, 1),
                            CMTime{5, 0, kCMTimeFlags_Valid, 0},
                            CMTime{5, 1, kCMTimeFlags_Valid, 3}};
    for (const CMTime time : times) {
        SCOPED_TRACE(testing::Message() << time.value << "/" << time.timescale << " flags "
                                        << time.flags << " epoch " << time.epoch);
        const auto lines =
            restore([&](NSKeyedArchiver& c) { encodeCMTime(c, time, Controller::currentTimeKey); });
        EXPECT_EQ(currentTime(), kCMTimeZero);
        EXPECT_TRUE(mentions(lines, Controller::currentTimeKey));
    }
    // A time that is no time at all leaves the rate beside it alone.
    const auto lines = restore([](NSKeyedArchiver& c) {
        c.encodeString("abc", Controller::currentTimeKey);
        encodeFloat(c, 1.5f, Controller::desiredPlaybackRateKey);
    });
    EXPECT_TRUE(mentions(lines, Controller::currentTimeKey));
    EXPECT_EQ(currentTime(), kCMTimeZero);
    EXPECT_EQ(desiredRate(), 1.5f);
}

TEST_F(MediaPlayerViewControllerTest, RestorableStateIsInvalidatedBySelectionChangesAndTime) {
    open("gop-1s.mkv");
    NSWindow window(CGRect{{0, 0}, {640, 480}}, NSWindowStyleMaskTitled);
    window.setContentViewController(controller);
    std::atomic<int> invalidations{0};
    const auto token = NotificationCenter::defaultCenter().addObserver(
        NSWindowRestorableStateDidInvalidateNotification, &window,
        [&](const Notification&) { ++invalidations; });

    player->setSelectedAudioTrack(nullptr);
    deliverNotifications();
    EXPECT_GE(invalidations.load(), 1);

    invalidations = 0;
    onQueue([&] { player->play(); });
    clock->advanceSeconds(2.5);
    EXPECT_TRUE(eventually([&] { return invalidations.load() >= 2; }));
    window.setContentViewController(nullptr);
}

TEST(CMTimeCoding, TimesAndFloatsReadBackExactly) {
    const CMTime times[] = {CMTimeMake(1500, 1000), CMTimeMake(-7, 3), kCMTimeZero,
                            kCMTimePositiveInfinity, kCMTimeIndefinite};
    NSKeyedArchiver coder;
    for (std::size_t i = 0; i < std::size(times); ++i) {
        encodeCMTime(coder, times[i], std::to_string(i));
    }
    encodeFloat(coder, 1.1f, "rate");
    NSKeyedUnarchiver reader(coder.encodedData());
    for (std::size_t i = 0; i < std::size(times); ++i) {
        const CMTime time = decodeCMTime(reader, std::to_string(i));
        EXPECT_EQ(time.value, times[i].value);
        EXPECT_EQ(time.timescale, times[i].timescale);
        EXPECT_EQ(time.flags, times[i].flags);
    }
    EXPECT_EQ(decodeFloat(reader, "rate"), 1.1f);
    EXPECT_FALSE(CMTIME_IS_VALID(decodeCMTime(reader, "missing")));
}

}  // namespace
