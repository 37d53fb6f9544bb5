#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "platform/avfoundation/AVSampleBufferAudioRenderer.h"
#include "platform/avfoundation/AVSampleBufferRenderSynchronizer.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/NotificationCenter.h"
#include "support/AudioBufferFactory.h"
#include "support/ManualClock.h"
#include "support/RecordingAudioSink.h"

namespace {

using namespace platform;
using quillon::test::AudioBufferFactory;

constexpr int kRate = 48000;

CMTime frames(std::int64_t count) {
    return CMTimeMake(count, kRate);
}

// Waits, with a generous limit that only catches hangs, for something another thread does.
class Flag {
public:
    // Notifies under the lock: the waiter may destroy the flag as soon as it sees it set.
    void set() {
        std::lock_guard lock(mutex_);
        set_ = true;
        condition_.notify_all();
    }
    bool wait() {
        std::unique_lock lock(mutex_);
        return condition_.wait_for(lock, std::chrono::seconds(10), [&] { return set_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable condition_;
    bool set_ = false;
};

// A renderer on a manual clock that plays into a recording sink: moving the clock plays, and
// the recording tells which time-line frame was heard at which host time.
class AudioRendererTest : public ::testing::Test {
protected:
    explicit AudioRendererTest(double deviceClockRatio = 1.0) {
        auto recording = std::make_unique<RecordingAudioSink>(
            clock, AudioSinkFormat{kRate, 2, 0x3}, CMTimeMake(10, 1000), deviceClockRatio);
        sink = recording.get();
        renderer = std::make_shared<AVSampleBufferAudioRenderer>(std::move(recording));
        synchronizer.addRenderer(renderer);
    }

    // One-second buffers of a signal from `first` to `last` (time-line frames).
    void enqueue(std::int64_t first, std::int64_t last,
                 const AudioBufferFactory::Signal& signal = AudioBufferFactory::frameIndex()) {
        for (std::int64_t start = first; start < last; start += kRate) {
            renderer->enqueueSampleBuffer(AudioBufferFactory::make(
                start, std::min<std::int64_t>(kRate, last - start), signal));
        }
    }

    // The time-line frame heard at a recorded frame, read back from a frame-index signal.
    std::int64_t heardFrame(std::int64_t recordedFrame) const {
        return std::llround(sink->sample(recordedFrame) / AudioBufferFactory::kIndexScale);
    }

    // Where the time line stands, in frames, when recorded frame k is heard.
    std::int64_t timelineFrameAt(std::int64_t recordedFrame) const {
        const CMTimebaseAnchor anchor = synchronizer.timebase()->anchor();
        return CMTimeConvertScale(anchor.timeAtHostTime(sink->hostTimeOfFrame(recordedFrame)),
                                  kRate, kCMTimeRoundingMethod_RoundHalfAwayFromZero)
            .value;
    }

    std::shared_ptr<ManualClock> clock = ManualClock::make();
    AVSampleBufferRenderSynchronizer synchronizer{clock};
    RecordingAudioSink* sink = nullptr;
    std::shared_ptr<AVSampleBufferAudioRenderer> renderer;
};

TEST_F(AudioRendererTest, PlacesEveryFrameOnTheTimeLineAfterASeek) {
    // Ten seconds in, a second and a half of audio; the seek lands between two buffers' starts.
    enqueue(10 * kRate, 14 * kRate);
    const std::int64_t target = 11 * kRate + 11256;
    synchronizer.setRate(0, frames(target));
    clock->advanceSeconds(0.1);
    for (std::int64_t frame = 0; frame < sink->frameCount(); ++frame) {
        ASSERT_EQ(sink->sample(frame), 0.0f) << "rate 0 plays silence";
    }

    const std::int64_t firstAfterStart = sink->frameCount();
    synchronizer.setRate(1);
    clock->advanceSeconds(1);
    ASSERT_GE(sink->frameCount(), firstAfterStart + kRate);
    // What was late (everything before the target) is skipped; from the first frame rendered
    // after the start every frame is exactly the one the time line reaches as it is heard.
    EXPECT_GE(heardFrame(firstAfterStart), target);
    for (std::int64_t frame = firstAfterStart; frame < sink->frameCount(); ++frame) {
        ASSERT_EQ(heardFrame(frame), timelineFrameAt(frame)) << "recorded frame " << frame;
    }
    EXPECT_EQ(renderer->renderStatistics().placements, 1u);
    EXPECT_EQ(renderer->renderStatistics().compensation, 0.0);
}

TEST_F(AudioRendererTest, ASeekWhilePlayingPlaysOnlyTheNewAudioFromTheTarget) {
    enqueue(0, 3 * kRate);
    synchronizer.setRate(1, kCMTimeZero);
    clock->advanceSeconds(0.5);

    // As the player seeks: stop at the target, flush, enqueue from before it, play.
    const std::int64_t target = 20 * kRate + 333;
    synchronizer.setRate(0, frames(target));
    renderer->flush();
    EXPECT_TRUE(renderer->isReadyForMoreMediaData());
    // The new audio is told apart from the old one by an offset in its values.
    const std::int64_t marker = 300'000;
    enqueue(19 * kRate, 22 * kRate, AudioBufferFactory::frameIndex(marker));
    clock->advanceSeconds(0.05);
    const std::int64_t firstAfterStart = sink->frameCount();
    synchronizer.setRate(1);
    clock->advanceSeconds(1);

    for (std::int64_t frame = firstAfterStart; frame < sink->frameCount(); ++frame) {
        ASSERT_EQ(heardFrame(frame) - marker, timelineFrameAt(frame)) << "recorded frame " << frame;
    }
}

TEST_F(AudioRendererTest, PlaysSilenceInGapsAndTheTimeLineRunsOnWhenTheAudioRunsOut) {
    // Half a second of audio, half a second missing, half a second more, then nothing.
    enqueue(0, kRate / 2);
    enqueue(kRate, kRate + kRate / 2);
    std::atomic<bool> endReached{false};
    Flag endFlag;
    const auto observerQueue = DispatchQueue::makeSerial("Boundary Observer Test Queue");
    const auto observer =
        synchronizer.addBoundaryTimeObserver({CMTimeMake(5, 2)}, observerQueue, [&] {
            endReached = true;
            endFlag.set();
        });
    synchronizer.setRate(1, kCMTimeZero);
    clock->advanceSeconds(3);

    EXPECT_EQ(synchronizer.currentTime(), CMTimeMake(3, 1));
    EXPECT_TRUE(endFlag.wait()) << "the end boundary fires although the audio starved";
    EXPECT_TRUE(endReached);
    for (std::int64_t frame = 0; frame < sink->frameCount(); ++frame) {
        const std::int64_t expected = timelineFrameAt(frame);
        const bool hasAudio = (expected >= 0 && expected < kRate / 2) ||
                              (expected >= kRate && expected < kRate + kRate / 2);
        ASSERT_EQ(heardFrame(frame), hasAudio ? expected : 0) << "recorded frame " << frame;
    }
    EXPECT_TRUE(renderer->isReadyForMoreMediaData());
    synchronizer.removeTimeObserver(observer);
}

TEST_F(AudioRendererTest, AudioThatArrivesLateIsPlayedFromWhereTheTimeLineStands) {
    synchronizer.setRate(1, kCMTimeZero);
    clock->advanceSeconds(0.5);
    // The data source was slow: the first half second is already gone.
    enqueue(0, 2 * kRate);
    const std::int64_t firstWithData = sink->frameCount();
    clock->advanceSeconds(0.5);
    for (std::int64_t frame = firstWithData; frame < sink->frameCount(); ++frame) {
        ASSERT_EQ(heardFrame(frame), timelineFrameAt(frame)) << "recorded frame " << frame;
    }
}

TEST_F(AudioRendererTest, DoubleSpeedConsumesTwoSecondsPerSecondAndKeepsThePitch) {
    // A 1 kHz tone for three and a half seconds from ten seconds on: more than the renderer
    // wants to hold.
    enqueue(10 * kRate, 13 * kRate + kRate / 2, AudioBufferFactory::sine(1000));
    EXPECT_FALSE(renderer->isReadyForMoreMediaData());
    synchronizer.setRate(2, CMTimeMake(10, 1));
    const std::int64_t first = sink->frameCount();
    clock->advanceSeconds(0.5);
    EXPECT_FALSE(renderer->isReadyForMoreMediaData()) << "2.5 s left";
    clock->advanceSeconds(0.5);
    EXPECT_EQ(synchronizer.currentTime(), CMTimeMake(12, 1));
    // One second of host time used two seconds of audio.
    EXPECT_TRUE(renderer->isReadyForMoreMediaData()) << "1.5 s left";

    // Count zero crossings over the half second in the middle: the tone is still 1 kHz.
    const std::int64_t begin = first + kRate / 4;
    const std::int64_t end = begin + kRate / 2;
    int crossings = 0;
    for (std::int64_t frame = begin + 1; frame < end; ++frame) {
        if ((sink->sample(frame - 1) < 0) != (sink->sample(frame) < 0)) {
            ++crossings;
        }
    }
    EXPECT_NEAR(crossings, 1000, 20);
}

TEST_F(AudioRendererTest, StretchedRatesPlaceTheAudioWhereTheTimeLineStands) {
    for (const double rate : {2.0, 0.5}) {
        SCOPED_TRACE(rate);
        enqueue(100 * kRate, 106 * kRate);
        synchronizer.setRate(rate, CMTimeMake(100, 1));
        const std::int64_t first = sink->frameCount();
        clock->advanceSeconds(2);
        // A frame heard is a blend of the frames around its place, spliced from windows whose
        // centres play what the time line reaches there: on average it is the right one. (The
        // first windows also blend in the silence before the queued audio.)
        for (std::int64_t frame = first + kRate / 40; frame < sink->frameCount(); frame += 480) {
            ASSERT_NEAR(double(heardFrame(frame)), double(timelineFrameAt(frame)), 0.001 * kRate)
                << "recorded frame " << frame;
        }
        synchronizer.setRate(0);
        renderer->flush();
        clock->advanceSeconds(0.1);
    }
}

TEST_F(AudioRendererTest, ClicksAtStretchedRatesAreHeardWhenTheTimeLinePassesThem) {
    // A 1 ms click every quarter second (as the synchronisation benchmark plays them).
    const auto click = [](std::int64_t frame, int) {
        return frame % (kRate / 4) < kRate / 1000 ? 0.8 : 0.0;
    };
    for (const double rate : {0.5, 2.0}) {
        SCOPED_TRACE(rate);
        enqueue(0, 4 * kRate, click);
        synchronizer.setRate(rate, CMTimeMake(1, 10));
        const std::int64_t first = sink->frameCount();
        clock->advanceSeconds(1.5);
        // The energy centroid of each click and its copies, against where the time line put
        // the middle of the click.
        int heard = 0;
        for (std::int64_t frame = first; frame < sink->frameCount(); ++frame) {
            if (std::abs(sink->sample(frame)) < 0.02f) {
                continue;
            }
            double energy = 0;
            double moment = 0;
            const std::int64_t end = std::min(sink->frameCount(), frame + kRate / 20);
            for (std::int64_t index = frame; index < end; ++index) {
                const double power = double(sink->sample(index)) * sink->sample(index);
                energy += power;
                moment += power * double(index);
            }
            const auto centroid = std::int64_t(std::llround(moment / energy));
            // Each copy of the click lasts 1 ms of output: its middle is half of that in.
            const std::int64_t timeline =
                timelineFrameAt(centroid) - std::llround(rate * kRate / 2000);
            const std::int64_t nearestClick = (timeline + kRate / 8) / (kRate / 4) * (kRate / 4);
            EXPECT_NEAR(double(timeline), double(nearestClick), 0.002 * kRate * rate)
                << "recorded frame " << centroid;
            ++heard;
            frame = end;
        }
        EXPECT_GE(heard, int(1.5 * rate * 4) - 1);
        synchronizer.setRate(0);
        renderer->flush();
        clock->advanceSeconds(0.1);
    }
}

TEST_F(AudioRendererTest, RateChangesWhilePlayingFollowTheTimeLine) {
    enqueue(0, 8 * kRate);
    synchronizer.setRate(1, kCMTimeZero);
    clock->advanceSeconds(1);
    synchronizer.setRate(0.5);
    clock->advanceSeconds(1);
    synchronizer.setRate(1);
    const std::int64_t backToOne = sink->frameCount();
    clock->advanceSeconds(1);
    EXPECT_EQ(synchronizer.currentTime(), CMTimeMake(5, 2));
    // Back at rate 1 (after the cross-fade) every frame is exact again.
    for (std::int64_t frame = backToOne + kRate / 100; frame < sink->frameCount(); ++frame) {
        ASSERT_EQ(heardFrame(frame), timelineFrameAt(frame)) << "recorded frame " << frame;
    }
    EXPECT_EQ(renderer->renderStatistics().placements, 3u);
}

TEST_F(AudioRendererTest, PausingStopsConsumingAndResumesAtTheSameFrame) {
    enqueue(0, 4 * kRate);
    synchronizer.setRate(1, kCMTimeZero);
    clock->advanceSeconds(1);
    synchronizer.setRate(0);
    clock->advanceSeconds(0.1);
    const std::int64_t paused = sink->frameCount();
    clock->advanceSeconds(2);
    for (std::int64_t frame = paused; frame < sink->frameCount(); ++frame) {
        ASSERT_EQ(sink->sample(frame), 0.0f);
    }
    synchronizer.setRate(1);
    const std::int64_t resumed = sink->frameCount();
    clock->advanceSeconds(0.5);
    for (std::int64_t frame = resumed; frame < sink->frameCount(); ++frame) {
        ASSERT_EQ(heardFrame(frame), timelineFrameAt(frame)) << "recorded frame " << frame;
    }
}

class DriftingAudioRendererTest : public AudioRendererTest {
protected:
    // A sound card whose clock runs 300 parts per million fast.
    DriftingAudioRendererTest() : AudioRendererTest(1.0003) {}
};

TEST_F(DriftingAudioRendererTest, SteersAFastSoundCardBackToTheTimeLine) {
    enqueue(0, 20 * kRate);
    synchronizer.setRate(1, kCMTimeZero);
    for (int second = 0; second < 18; ++second) {
        clock->advanceSeconds(1);
        if (second < 3) {
            continue;
        }
        // Left alone, the card would be 5 ms ahead by now; steered, it stays within 1 ms.
        for (std::int64_t frame = sink->frameCount() - kRate; frame < sink->frameCount();
             frame += 4800) {
            ASSERT_NEAR(double(heardFrame(frame)), double(timelineFrameAt(frame)), 0.001 * kRate)
                << "after " << second << " s";
        }
    }
    const auto statistics = renderer->renderStatistics();
    EXPECT_EQ(statistics.placements, 1u) << "steered, never placed afresh";
    EXPECT_NEAR(statistics.compensation, 0.0003, 0.0002);
}

TEST_F(AudioRendererTest, ConvertsSampleTypesRatesAndChannelLayouts) {
    // 44.1 kHz mono 16-bit, a 440 Hz tone from half a second on.
    const int sourceRate = 44100;
    renderer->enqueueSampleBuffer(AudioBufferFactory::make(
        sourceRate / 2, sourceRate * 2, AudioBufferFactory::sine(440, 0.5, sourceRate), sourceRate,
        1, kAudioChannelLayoutTag_Mono, AudioBufferFactory::SampleType::int16));
    synchronizer.setRate(1, kCMTimeZero);
    clock->advanceSeconds(2);
    const std::int64_t onset = [&] {
        for (std::int64_t frame = 0; frame < sink->frameCount(); ++frame) {
            if (sink->sample(frame) != 0.0f) {
                return frame;
            }
        }
        return std::int64_t{-1};
    }();
    // The tone starts at half a second on the time line.
    EXPECT_NEAR(double(timelineFrameAt(onset)), kRate / 2.0, 2.0);
    // Mono plays on both channels, at the same loudness, still at 440 Hz.
    double peak = 0;
    int crossings = 0;
    for (std::int64_t frame = onset + kRate / 10; frame < onset + kRate / 10 + kRate; ++frame) {
        ASSERT_EQ(sink->sample(frame, 0), sink->sample(frame, 1));
        peak = std::max(peak, double(std::abs(sink->sample(frame))));
        if ((sink->sample(frame - 1) < 0) != (sink->sample(frame) < 0)) {
            ++crossings;
        }
    }
    EXPECT_NEAR(crossings, 880, 4);
    EXPECT_NEAR(peak, 0.5 * M_SQRT1_2, 0.02) << "a centre channel goes to both sides at -3 dB";
}

TEST_F(AudioRendererTest, DownmixesSurroundSoundForStereoOutput) {
    // 5.1 with a tone only on the centre channel (the third, in this layout's order).
    renderer->enqueueSampleBuffer(AudioBufferFactory::make(
        0, kRate,
        [](std::int64_t frame, int channel) {
            return channel == 2 ? 0.5 * std::sin(2 * M_PI * 1000 * double(frame) / kRate) : 0.0;
        },
        kRate, 6, kAudioChannelLayoutTag_MPEG_5_1_A));
    synchronizer.setRate(1, kCMTimeZero);
    clock->advanceSeconds(0.5);
    double left = 0;
    double right = 0;
    for (std::int64_t frame = kRate / 10; frame < kRate / 5; ++frame) {
        left = std::max(left, double(std::abs(sink->sample(frame, 0))));
        right = std::max(right, double(std::abs(sink->sample(frame, 1))));
    }
    EXPECT_GT(left, 0.2);
    EXPECT_NEAR(left, right, 1e-6);
}

TEST_F(AudioRendererTest, VolumeAndMuteScaleWhatIsPlayed) {
    enqueue(0, 2 * kRate, [](std::int64_t, int) { return 0.5; });
    renderer->setVolume(0.5f);
    synchronizer.setRate(1, kCMTimeZero);
    clock->advanceSeconds(0.2);
    EXPECT_FLOAT_EQ(sink->sample(sink->frameCount() - 1), 0.25f);
    renderer->setMuted(true);
    clock->advanceSeconds(0.2);
    EXPECT_EQ(sink->sample(sink->frameCount() - 1), 0.0f);
    EXPECT_TRUE(renderer->isMuted());
    EXPECT_EQ(renderer->volume(), 0.5f);
}

TEST_F(AudioRendererTest, AsksForDataBelowTheWaterMarkOnTheGivenQueue) {
    const auto queue = DispatchQueue::makeSerial("Audio Request Test Queue");
    std::atomic<int> requests{0};
    Flag asked;
    EXPECT_TRUE(renderer->isReadyForMoreMediaData());
    enqueue(0, 3 * kRate);
    EXPECT_FALSE(renderer->isReadyForMoreMediaData()) << "three seconds wait: full";
    renderer->requestMediaDataWhenReadyOnQueue(queue, [&] {
        EXPECT_TRUE(queue->isCurrent());
        ++requests;
        asked.set();
    });
    synchronizer.setRate(1, kCMTimeZero);
    clock->advanceSeconds(0.5);
    EXPECT_EQ(requests, 0);
    clock->advanceSeconds(0.6);
    EXPECT_TRUE(renderer->isReadyForMoreMediaData());
    EXPECT_TRUE(asked.wait());
    renderer->stopRequestingMediaData();
    queue->sync([] {});
}

TEST_F(AudioRendererTest, FlushesFromASourceTimeNotYetPlayed) {
    enqueue(0, 3 * kRate, [](std::int64_t, int) { return 0.5; });
    synchronizer.setRate(1, kCMTimeZero);
    clock->advanceSeconds(0.5);

    Flag done;
    std::atomic<bool> result{false};
    renderer->flushFromSourceTime(CMTimeMake(1, 1), [&](bool flushed) {
        result = flushed;
        done.set();
    });
    ASSERT_TRUE(done.wait());
    EXPECT_TRUE(result);
    clock->advanceSeconds(1);
    EXPECT_EQ(sink->sample(sink->frameAtHostTime(
                  synchronizer.timebase()->anchor().hostTimeForTime(CMTimeMake(3, 4)))),
              0.5f);
    EXPECT_EQ(sink->sample(sink->frameCount() - 1), 0.0f) << "nothing after 1 s any more";

    Flag refused;
    renderer->flushFromSourceTime(CMTimeMake(1, 2), [&](bool flushed) {
        result = flushed;
        refused.set();
    });
    ASSERT_TRUE(refused.wait());
    EXPECT_FALSE(result) << "that time has been played";
}

TEST_F(AudioRendererTest, BuffersItCannotPlayFailTheRendererUntilAFlush) {
    EXPECT_EQ(renderer->status(), AVQueuedSampleBufferRenderingStatus::unknown);
    enqueue(0, kRate);
    EXPECT_EQ(renderer->status(), AVQueuedSampleBufferRenderingStatus::rendering);

    // Big-endian samples are not what a decoder hands out.
    AudioStreamBasicDescription asbd;
    asbd.mSampleRate = kRate;
    asbd.mFormatID = kAudioFormatLinearPCM;
    asbd.mFormatFlags = kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsBigEndian;
    asbd.mFramesPerPacket = 1;
    asbd.mChannelsPerFrame = 1;
    asbd.mBitsPerChannel = 16;
    asbd.mBytesPerFrame = asbd.mBytesPerPacket = 2;
    CMAudioFormatDescriptionRef description;
    ASSERT_EQ(CMAudioFormatDescriptionCreate(&asbd, 0, nullptr, 0, nullptr, nullptr, &description),
              0);
    CMBlockBufferRef block;
    ASSERT_EQ(CMBlockBufferCreateWithMemoryBlock(nullptr, 200, nullptr, 0, 200,
                                                 kCMBlockBufferAssureMemoryNowFlag, &block),
              0);
    const CMSampleTimingInfo timing{CMTimeMake(1, kRate), kCMTimeZero, kCMTimeInvalid};
    CMSampleBufferRef sampleBuffer;
    ASSERT_EQ(
        CMSampleBufferCreateReady(block, description, 100, 1, &timing, 0, nullptr, &sampleBuffer),
        0);
    renderer->enqueueSampleBuffer(sampleBuffer);
    EXPECT_EQ(renderer->status(), AVQueuedSampleBufferRenderingStatus::failed);
    ASSERT_NE(renderer->error(), nullptr);
    EXPECT_EQ(renderer->error()->domain(), AVFoundationErrorDomain);
    EXPECT_FALSE(renderer->isReadyForMoreMediaData());

    renderer->flush();
    EXPECT_EQ(renderer->status(), AVQueuedSampleBufferRenderingStatus::unknown);
    EXPECT_EQ(renderer->error(), nullptr);
    EXPECT_TRUE(renderer->isReadyForMoreMediaData());
}

TEST_F(AudioRendererTest, FlushesItselfAndSaysSoWhenTheOutputDeviceChangesOrGoesAway) {
    std::mutex mutex;
    std::vector<CMTime> flushTimes;
    Flag flushed;
    const auto token = NotificationCenter::defaultCenter().addObserver(
        AVSampleBufferAudioRendererWasFlushedAutomaticallyNotification,
        static_cast<const AVSampleBufferAudioRenderer*>(renderer.get()),
        [&](const Notification& notification) {
            std::lock_guard lock(mutex);
            const auto found = notification.userInfo.find(AVSampleBufferAudioRendererFlushTimeKey);
            flushTimes.push_back(found == notification.userInfo.end()
                                     ? kCMTimeInvalid
                                     : std::any_cast<CMTime>(found->second));
            flushed.set();
        });
    enqueue(0, 3 * kRate);
    synchronizer.setRate(1, kCMTimeZero);
    clock->advanceSeconds(0.5);
    synchronizer.setRate(0);
    EXPECT_FALSE(renderer->isReadyForMoreMediaData());

    sink->simulate(AudioSink::Event::deviceChanged);
    ASSERT_TRUE(flushed.wait());
    {
        std::lock_guard lock(mutex);
        ASSERT_EQ(flushTimes.size(), 1u);
        EXPECT_EQ(flushTimes[0], CMTimeMake(1, 2));
    }
    EXPECT_TRUE(renderer->isReadyForMoreMediaData()) << "what was queued is gone";
    EXPECT_EQ(renderer->sinkName(), "recording");
}

TEST_F(AudioRendererTest, GoesOnWithANullSinkWhenTheOutputDeviceGoesAway) {
    Flag flushed;
    const auto token = NotificationCenter::defaultCenter().addObserver(
        AVSampleBufferAudioRendererWasFlushedAutomaticallyNotification,
        static_cast<const AVSampleBufferAudioRenderer*>(renderer.get()),
        [&](const Notification&) { flushed.set(); });
    enqueue(0, 3 * kRate);
    sink->simulate(AudioSink::Event::deviceLost);
    ASSERT_TRUE(flushed.wait());
    EXPECT_EQ(renderer->sinkName(), "null");
    sink = nullptr;  // gone with the old output
    // The null sink plays on the same clock: the renderer still consumes in step with it.
    enqueue(0, 3 * kRate);
    synchronizer.setRate(1, kCMTimeZero);
    clock->advanceSeconds(1.5);
    EXPECT_TRUE(renderer->isReadyForMoreMediaData());
}

}  // namespace
