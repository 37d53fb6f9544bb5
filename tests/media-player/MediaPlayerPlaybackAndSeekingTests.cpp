#include <gtest/gtest.h>

#include "media-player/MediaPlayerTestSupport.h"
#include "media-player/decoders/common/FFmpegDecoding.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/ProcessInfoTermination.h"

namespace {

using namespace platform;
using namespace quillon;
using namespace quillon::test;

// A ten-second picture with a keyframe every second, and sound.
class MediaPlayerPlaybackTest : public MediaPlayerTest {
protected:
    void SetUp() override {
        const auto media = openMedia("gop-1s.mkv");
        makePlayer(media, videoAndAudio(*media));
        settle();
    }

    bool isPlaying() {
        return onQueue([&] { return player->isPlaying(); });
    }
    int count(const char* name) const { return notifications->count(name); }
    // Every notification posted so far has arrived.
    void flushNotifications() {
        settle();
        player->waitForPostedNotifications();
    }
    // `target` in media time; the renderers see the file's times.
    void expectFirstPictureCovers(CMTime target) {
        target = CMTimeAdd(source->startTime(), target);
        ASSERT_TRUE(eventually([&] { return !layer->record.buffersSinceLastFlush().empty(); }));
        const auto first = layer->record.buffersSinceLastFlush().front();
        EXPECT_LE(CMTimeCompare(first.presentationTime, target), 0)
            << CMTimeGetSeconds(target) << " got " << CMTimeGetSeconds(first.presentationTime);
        EXPECT_GT(CMTimeCompare(first.end(), target), 0) << CMTimeGetSeconds(target);
    }
};

TEST_F(MediaPlayerPlaybackTest, PlayPauseAndTheDesiredRatePairTerminationAndSleepControl) {
    ProcessInfoTermination::ScopedCallRecording termination;

    onQueue([&] { player->play(); });
    EXPECT_EQ(synchronizerRate(), 1.0f);
    EXPECT_TRUE(isPlaying());
    EXPECT_EQ(powerService->held.load(), 1);

    // A new desired rate applies at once while playing.
    onQueue([&] { player->setDesiredPlaybackRate(2.0f); });
    EXPECT_EQ(synchronizerRate(), 2.0f);
    clock->advanceSeconds(1.0);
    EXPECT_EQ(currentTime(), seconds(2.0));

    onQueue([&] { player->togglePlayPause(); });
    EXPECT_EQ(synchronizerRate(), 0.0f);
    EXPECT_EQ(powerService->held.load(), 0);
    // ...and only on the next play while paused.
    onQueue([&] { player->setDesiredPlaybackRate(0.5f); });
    EXPECT_EQ(synchronizerRate(), 0.0f);
    onQueue([&] { player->play(); });
    EXPECT_EQ(synchronizerRate(), 0.5f);
    onQueue([&] { player->pause(); });
    onQueue([&] { player->pause(); });

    using Kind = ProcessInfoTermination::Call::Kind;
    const std::vector<ProcessInfoTermination::Call> expected = {
        {Kind::disableAutomaticTermination, "Started playing media."},
        {Kind::enableAutomaticTermination, "Stopped playing media."},
        {Kind::disableAutomaticTermination, "Started playing media."},
        {Kind::enableAutomaticTermination, "Stopped playing media."}};
    EXPECT_EQ(termination.calls(), expected);
    ASSERT_TRUE(eventually([&] { return count(MediaPlayer::rateDidChangeNotification) >= 6; }));
    EXPECT_FALSE(notifications->arrivedOnTestThread());
}

TEST_F(MediaPlayerPlaybackTest, ARateSetFromOutsideIsKeptWhilePlayingAndDeferredWhileSeeking) {
    // Not seeking: the synchronizer keeps it and it is announced.
    player->renderSynchronizer()->setRate(1.5f);
    // The check was queued while the rate changed: once the queue is through, it has run.
    flushNotifications();
    EXPECT_EQ(count(MediaPlayer::rateDidChangeNotification), 1);
    EXPECT_EQ(synchronizerRate(), 1.5f);
    EXPECT_TRUE(isPlaying());

    // While scrubbing the clock stays stopped; the outside rate is what playback resumes at.
    onQueue([&] {
        player->pause();
        player->beginSeekingInteractively();
    });
    player->renderSynchronizer()->setRate(3.0f);
    settle();
    EXPECT_EQ(synchronizerRate(), 0.0f);
    EXPECT_TRUE(isPlaying());
    onQueue([&] { player->endSeekingInteractively(); });
    EXPECT_EQ(synchronizerRate(), 3.0f);
}

// The player's own rate changes are checked on its queue, behind whatever was queued before
// them: here a play, then a re-seek nobody asked for (as a sound device change makes), then a
// pause, all waiting while the queue is busy. Each change is recognised as the player's own, so
// the pause holds after the seek and each of play and pause is announced once.
TEST_F(MediaPlayerPlaybackTest, OwnRateChangesCheckedLateAreNotTakenForSomeoneElses) {
    for (const bool pauseLast : {true, false}) {
        SCOPED_TRACE(pauseLast ? "paused during the re-seek" : "playing through the re-seek");
        flushNotifications();
        const int rateChanges = count(MediaPlayer::rateDidChangeNotification);
        const int seeks = count(MediaPlayer::didSeekNotification);
        {
            QueueHold busy(*player->queue());
            player->queue()->async([this] { player->play(); });
            player->queue()->async([this] { player->reseekToCurrentTime(); });
            if (pauseLast) {
                player->queue()->async([this] { player->pause(); });
            }
        }
        ASSERT_TRUE(eventually([&] { return count(MediaPlayer::didSeekNotification) > seeks; }));
        flushNotifications();
        EXPECT_EQ(count(MediaPlayer::didSeekNotification), seeks + 1);
        EXPECT_EQ(isPlaying(), !pauseLast);
        EXPECT_EQ(synchronizerRate(), pauseLast ? 0.0f : 1.0f);
        EXPECT_EQ(count(MediaPlayer::rateDidChangeNotification), rateChanges + (pauseLast ? 2 : 1));
        onQueue([&] { player->pause(); });
    }
}

TEST_F(MediaPlayerPlaybackTest, ASeekLandsOnTheTargetWithTheFirstPictureAndSoundCoveringIt) {
    for (double target : {4.5, 0.96, 7.0}) {
        seekAndWait(seconds(target));
        EXPECT_EQ(currentTime(), seconds(target));
        expectFirstPictureCovers(seconds(target));
        ASSERT_TRUE(
            eventually([&] { return !audioRenderer->record.buffersSinceLastFlush().empty(); }));
        const auto sound = audioRenderer->record.buffersSinceLastFlush().front();
        const CMTime fileTime = CMTimeAdd(source->startTime(), seconds(target));
        EXPECT_LE(CMTimeCompare(sound.presentationTime, fileTime), 0) << target;
        EXPECT_GT(CMTimeCompare(sound.end(), fileTime), 0) << target;
    }
    // Before the start lands on zero.
    seekAndWait(seconds(-3));
    EXPECT_EQ(currentTime(), kCMTimeZero);
    ASSERT_TRUE(eventually([&] { return !layer->record.buffersSinceLastFlush().empty(); }));
    EXPECT_LT(CMTimeGetSeconds(layer->record.buffersSinceLastFlush().front().presentationTime),
              0.04);
}

TEST_F(MediaPlayerPlaybackTest, SeeksDuringASeekMergeIntoTheNewestAndEveryCompletionRunsInOrder) {
    onQueue([&] { player->play(); });
    std::mutex mutex;
    std::vector<int> order;
    auto handler = [&](int index) {
        return MediaPlayer::SeekOperation::CompletionHandlerInfo{completionQueue, [&, index] {
                                                                     std::lock_guard lock(mutex);
                                                                     order.push_back(index);
                                                                 }};
    };
    // The first starts at once; the next three arrive while it runs.
    onQueue([&] {
        player->seekOnQueue(seconds(2), handler(1));
        player->seekOnQueue(seconds(5), handler(2));
        player->seekOnQueue(seconds(6), handler(3));
        player->seekOnQueue(seconds(3.5), handler(4));
    });
    ASSERT_TRUE(eventually([&] {
        std::lock_guard lock(mutex);
        return order.size() == 4;
    }));
    settle();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));
    // At least: a seek too many must fail here at once, not leave the wait to time out.
    ASSERT_TRUE(eventually([&] { return count(MediaPlayer::didSeekNotification) >= 2; }));
    flushNotifications();
    EXPECT_EQ(count(MediaPlayer::didSeekNotification), 2);

    EXPECT_EQ(currentTime(), seconds(3.5));
    expectFirstPictureCovers(seconds(3.5));
    // The rate from before the burst comes back after its last seek.
    EXPECT_EQ(synchronizerRate(), 1.0f);
    clock->advanceSeconds(0.5);
    EXPECT_EQ(currentTime(), seconds(4.0));
}

TEST_F(MediaPlayerPlaybackTest, PauseDuringASeekAndScrubbingDecideTheRateAfterwards) {
    onQueue([&] { player->play(); });
    // Paused while the seek runs: it stays paused afterwards.
    std::atomic<bool> done{false};
    onQueue([&] {
        player->seekOnQueue(seconds(2), {{completionQueue, [&] { done = true; }}});
        player->pause();
    });
    ASSERT_TRUE(eventually([&] { return done.load(); }));
    settle();
    EXPECT_EQ(synchronizerRate(), 0.0f);
    EXPECT_FALSE(isPlaying());

    // Scrubbing: the seeks finish but the clock waits for the end of the scrub; isPlaying
    // reports what will resume, and the beginning announces nothing.
    onQueue([&] { player->play(); });
    flushNotifications();
    const int rateChanges = count(MediaPlayer::rateDidChangeNotification);
    onQueue([&] { player->beginSeekingInteractively(); });
    seekAndWait(seconds(3));
    seekAndWait(seconds(4));
    EXPECT_TRUE(isPlaying());
    EXPECT_TRUE(onQueue([&] { return player->isSeekingInteractively(); }));
    EXPECT_EQ(synchronizerRate(), 0.0f);
    flushNotifications();
    EXPECT_EQ(count(MediaPlayer::rateDidChangeNotification), rateChanges);
    onQueue([&] { player->endSeekingInteractively(); });
    EXPECT_EQ(synchronizerRate(), 1.0f);
    EXPECT_EQ(currentTime(), seconds(4));
}

TEST_F(MediaPlayerPlaybackTest, TheEndOfMediaPausesThereAndPlayStartsAgainFromZero) {
    // Seeking past the end lands at the end, paused, and says so.
    onQueue([&] { player->play(); });
    flushNotifications();
    const int rateChanges = count(MediaPlayer::rateDidChangeNotification);
    seekAndWait(seconds(60));
    EXPECT_EQ(currentTime(), player->duration());
    EXPECT_EQ(synchronizerRate(), 0.0f);
    EXPECT_FALSE(isPlaying());
    ASSERT_TRUE(
        eventually([&] { return count(MediaPlayer::rateDidChangeNotification) > rateChanges; }));

    // Play at the end starts from the beginning at the desired rate.
    onQueue([&] { player->play(); });
    EXPECT_TRUE(isPlaying());
    ASSERT_TRUE(eventually([&] { return count(MediaPlayer::didSeekNotification) >= 2; }));
    flushNotifications();
    EXPECT_EQ(count(MediaPlayer::didSeekNotification), 2);
    EXPECT_EQ(synchronizerRate(), 1.0f);
    EXPECT_EQ(currentTime(), kCMTimeZero);

    // Playing across the end stops the clock exactly at the end.
    seekAndWait(CMTimeSubtract(player->duration(), seconds(0.5)));
    EXPECT_EQ(synchronizerRate(), 1.0f);
    clock->advanceSeconds(2.0);
    settle();
    EXPECT_EQ(synchronizerRate(), 0.0f);
    EXPECT_EQ(currentTime(), player->duration());
    EXPECT_FALSE(isPlaying());
}

// Skipping back just as playback crosses the end: the crossing is reported on the queue behind
// the seek, and the seek decides where playback stands.
TEST_F(MediaPlayerPlaybackTest, AnEndCrossedAsASeekBeginsLeavesPlaybackAtTheSeekTarget) {
    seekAndWait(CMTimeSubtract(player->duration(), seconds(0.5)));
    onQueue([&] { player->play(); });
    auto done = std::make_shared<std::atomic<bool>>(false);
    {
        QueueHold busy(*player->queue());
        player->queue()->async([this, done] {
            player->seekOnQueue(seconds(2), {{completionQueue, [done] { *done = true; }}});
        });
        clock->advanceSeconds(1.0);
    }
    ASSERT_TRUE(eventually([&] { return done->load(); }));
    settle();
    EXPECT_EQ(currentTime(), seconds(2));
    EXPECT_TRUE(isPlaying());
    EXPECT_EQ(synchronizerRate(), 1.0f);
    expectFirstPictureCovers(seconds(2));
}

TEST_F(MediaPlayerPlaybackTest, SkippingBySecondsAndFramesStaysInsideTheMedia) {
    seekAndWait(seconds(5));
    onQueue([&] { player->skip(2.25, MediaPlayer::SkipUnit::seconds); });
    settle();
    EXPECT_EQ(currentTime(), seconds(7.25));
    // One frame of the 25 fps track back.
    onQueue([&] { player->skip(-1, MediaPlayer::SkipUnit::frames); });
    settle();
    EXPECT_EQ(currentTime(), seconds(7.21));
    onQueue([&] { player->skip(-60, MediaPlayer::SkipUnit::seconds); });
    settle();
    EXPECT_EQ(currentTime(), kCMTimeZero);

    // Without a video track a frame lasts 1000/23976 s.
    player->setSelectedVideoTrack(nullptr);
    settle();
    onQueue([&] { player->skip(1, MediaPlayer::SkipUnit::frames); });
    settle();
    EXPECT_NEAR(CMTimeGetSeconds(currentTime()), 1000.0 / 23976, 1e-6);
}

// A hardware decoder that works until the test breaks it: H.264 in software inside a context
// that the video decoder takes for a hardware one, whose picture memory runs out on demand.
std::atomic<bool> injectedHardwareFails{false};

int failingWhenAskedGetBuffer(AVCodecContext* context, AVFrame* frame, int flags) {
    if (injectedHardwareFails.load()) {
        return AVERROR(ENOMEM);
    }
    return avcodec_default_get_buffer2(context, frame, flags);
}

class MediaPlayerHardwareFallbackTest : public MediaPlayerTest {
protected:
    void SetUp() override {
        injectedHardwareFails = false;
        const auto media = openMedia("gop-1s.mkv");
        makePlayer(media, videoAndAudio(*media));
        settle();
    }
    void TearDown() override {
        MediaPlayerTest::TearDown();
        injectedHardwareFails = false;
    }

    ScopedHardwareDecoderContextMaker hardware{[](const AVCodec& codec, const AVStream& stream) {
        AVCodecContextPointer context =
            makeDecoderContext(&codec, stream.codecpar, stream.time_base);
        context->thread_count = 1;
        context->get_buffer2 = failingWhenAskedGetBuffer;
        openDecoder(&codec, *context);
        return context;
    }};
};

// The software decoder takes over in the middle of a group of pictures; the player seeks to
// where it stands, so that the first picture after the switch covers that time instead of
// showing up only at the next key frame.
TEST_F(MediaPlayerHardwareFallbackTest, TheSwitchToSoftwareRestartsFromTheLastKeyFrame) {
    ASSERT_TRUE(source->videoTracks().at(0)->decoder()->hasHardwareDecoderContext());
    seekAndWait(seconds(2.4));
    ScopedLogCapture log;
    const auto fallbacks = [&] {
        const auto lines = log.lines();
        return std::count(lines.begin(), lines.end(),
                          "Too many hardware decode errors; falling back to software decoder.");
    };
    const auto flushes = [&] {
        const auto events = layer->record.events();
        return std::count_if(events.begin(), events.end(), [](const auto& e) { return e.isFlush; });
    };
    const auto flushesBefore = flushes();

    injectedHardwareFails = true;
    onQueue([&] { player->play(); });
    // Playing uses the queued pictures up, and every picture decoded after them fails.
    ASSERT_TRUE(eventually([&] {
        if (fallbacks() > 0) {
            return true;
        }
        clock->advanceSeconds(0.04);
        return false;
    }));
    onQueue([&] { player->pause(); });
    // The clock stands still from here; a seek that was already under way may land first, and
    // the restart after it.
    CMTime now = kCMTimeInvalid;
    ASSERT_TRUE(eventually([&] {
        const auto buffers = layer->record.buffersSinceLastFlush();
        now = CMTimeAdd(source->startTime(), currentTime());
        return flushes() > flushesBefore && !buffers.empty() &&
               CMTimeCompare(buffers.front().presentationTime, now) <= 0 &&
               CMTimeCompare(buffers.front().end(), now) > 0;
    })) << "no picture covers "
        << CMTimeGetSeconds(now) << " after the switch";
    EXPECT_GT(CMTimeGetSeconds(now), 2.4);
    EXPECT_EQ(fallbacks(), 1);
}

}  // namespace
