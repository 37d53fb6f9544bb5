#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "media-player/data-providers/AudioDataProvider.h"
#include "media-player/data-providers/DataProviderTestSupport.h"
#include "platform/foundation/Log.h"
#include "support/StuckDecoder.h"

namespace {

using namespace platform;
using namespace quillon;
using namespace quillon::test;

// A ten-second file with a keyframe every second and an AAC track, played by a renderer on a
// manual clock: nothing is consumed until the test moves the clock.
class AudioDataProviderTest : public ::testing::Test {
protected:
    void SetUp() override {
        synchronizer->addRenderer(renderer);
        synchronizer->setRate(0, source->startTime());
    }

    CMTime mediaTime(double value) const { return CMTimeAdd(source->startTime(), seconds(value)); }

    void select(const std::shared_ptr<AudioTrack>& track) {
        restartAndWait<AudioDataProvider>(
            *provider, [track](AudioDataProvider& provider) { provider.selectAudioTrack(track); });
    }
    // Restarts at `time` and waits for the completion.
    void provide(CMTime time, bool immediately = true) {
        const int expected = completions.count->load() + 1;
        provider->restart(
            true, [weak = std::weak_ptr(provider), time, immediately, completions = completions] {
                if (const auto strong = weak.lock()) {
                    strong->provideMediaData(time, immediately, completions.queue,
                                             completions.completion());
                }
            });
        ASSERT_TRUE(completions.reaches(expected));
    }
    // Waits until the provider's queue has run everything submitted so far.
    void settle() {
        provider->queue()->sync([] {});
    }

    std::shared_ptr<MediaSource> source = openMedia("gop-1s.mkv");
    std::shared_ptr<ManualClock> clock = ManualClock::make();
    std::shared_ptr<QLSampleBufferRenderSynchronizer> synchronizer =
        std::make_shared<QLSampleBufferRenderSynchronizer>(clock);
    std::shared_ptr<RecordingAudioRenderer> renderer =
        std::make_shared<RecordingAudioRenderer>(clock);
    std::shared_ptr<AudioDataProvider> provider = AudioDataProvider::make(source, renderer);
    CompletionCounter completions;
};

void expectStartsAtAndRunsOn(const std::vector<RendererRecord::Event>& buffers, CMTime target) {
    ASSERT_FALSE(buffers.empty());
    EXPECT_LE(CMTimeCompare(buffers.front().presentationTime, target), 0);
    EXPECT_GT(CMTimeCompare(buffers.front().end(), target), 0);
    for (std::size_t index = 1; index < buffers.size(); ++index) {
        EXPECT_GE(CMTimeCompare(buffers[index].presentationTime, buffers[index - 1].end()), 0)
            << "buffer " << index << " overlaps or goes back";
    }
}

TEST_F(AudioDataProviderTest, ASeekStartsWithTheCoveringBufferAndFeedsOnlyWhileTheRendererIsReady) {
    select(source->audioTracks().at(0));
    const CMTime target = mediaTime(3.5);
    provide(target);

    const auto buffers = renderer->record.buffersSinceLastFlush();
    expectStartsAtAndRunsOn(buffers, target);
    // Filled to the renderer's two seconds, and then no more while it stays full.
    EXPECT_FALSE(renderer->isReadyForMoreMediaData());
    EXPECT_GE(CMTimeGetSeconds(buffers.back().end()) - CMTimeGetSeconds(target), 1.9);
    EXPECT_TRUE(renderer->record.isRequesting());
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    settle();
    EXPECT_EQ(renderer->record.buffersSinceLastFlush().size(), buffers.size());

    // Playing uses the queue up: the renderer asks again and the feed goes on where it stopped.
    synchronizer->setRate(1, target);
    clock->advanceSeconds(1.0);
    ASSERT_TRUE(eventually([&] { return !renderer->isReadyForMoreMediaData(); }));
    settle();
    const auto fed = renderer->record.buffersSinceLastFlush();
    ASSERT_GT(fed.size(), buffers.size());
    expectStartsAtAndRunsOn(fed, target);
    EXPECT_GE(CMTimeGetSeconds(fed.back().end()) - CMTimeGetSeconds(target), 2.9);
}

TEST_F(AudioDataProviderTest, WithoutImmediateProvidingTheFirstRequestFeedsFromTheTarget) {
    select(source->audioTracks().at(0));
    const CMTime target = mediaTime(7.02);
    provide(target, false);
    // The seek hands over the covering buffer only; the renderer's request does the rest.
    ASSERT_TRUE(eventually([&] { return !renderer->isReadyForMoreMediaData(); }));
    expectStartsAtAndRunsOn(renderer->record.buffersSinceLastFlush(), target);
}

TEST_F(AudioDataProviderTest, ARestartWhileARunIsInFlightLeavesNoStaleBuffers) {
    select(source->audioTracks().at(0));
    // The first run is cancelled before or while it feeds; whatever it managed to give precedes
    // the second run's flush.
    provider->restart(true, [weak = std::weak_ptr(provider), q = completions.queue,
                             time = mediaTime(8.0), done = completions.completion()] {
        if (const auto strong = weak.lock()) {
            strong->provideMediaData(time, true, q, done);
        }
    });
    const CMTime target = mediaTime(1.25);
    provide(target);
    ASSERT_TRUE(completions.reaches(2));
    settle();
    const auto buffers = renderer->record.buffersSinceLastFlush();
    expectStartsAtAndRunsOn(buffers, target);
    EXPECT_LT(CMTimeGetSeconds(buffers.back().end()), 4.0);

    // Back again, later in the file, the other way round.
    provide(mediaTime(6.0));
    expectStartsAtAndRunsOn(renderer->record.buffersSinceLastFlush(), mediaTime(6.0));
}

// Dragging the scrubber sends seeks faster than the provider's queue runs them. Each one that a
// later one superseded before it ran only repositions: it does not fill the renderer for nothing.
TEST_F(AudioDataProviderTest, ABurstOfSeeksFillsTheRendererOnlyForTheLastOne) {
    select(source->audioTracks().at(0));
    constexpr int seeks = 6;
    std::promise<void> release;
    provider->queue()->async([released = release.get_future().share()] { released.wait(); });
    const int expected = completions.count->load() + seeks;
    for (int seek = 0; seek < seeks; ++seek) {
        provider->restart(true, [weak = std::weak_ptr(provider), time = mediaTime(1.0 + seek),
                                 q = completions.queue, done = completions.completion()] {
            if (const auto strong = weak.lock()) {
                strong->provideMediaData(time, true, q, done);
            }
        });
    }
    release.set_value();
    ASSERT_TRUE(completions.reaches(expected));
    settle();

    // What the renderer was given after each seek's flush.
    std::vector<std::vector<RendererRecord::Event>> perSeek;
    for (const auto& event : renderer->record.events()) {
        if (event.isFlush) {
            perSeek.emplace_back();
        } else if (!perSeek.empty()) {
            perSeek.back().push_back(event);
        }
    }
    ASSERT_GE(perSeek.size(), static_cast<std::size_t>(seeks));
    const std::vector<std::vector<RendererRecord::Event>> burst(perSeek.end() - seeks,
                                                                perSeek.end());
    for (int seek = 0; seek + 1 < seeks; ++seek) {
        SCOPED_TRACE(seek);
        // The buffer that covers its target, found by the seek itself, and no fill after it.
        const auto& buffers = burst[static_cast<std::size_t>(seek)];
        const CMTime target = mediaTime(1.0 + seek);
        expectStartsAtAndRunsOn(buffers, target);
        EXPECT_LT(CMTimeGetSeconds(buffers.back().end()) - CMTimeGetSeconds(target), 1.9);
    }
    const CMTime lastTarget = mediaTime(1.0 + (seeks - 1));
    expectStartsAtAndRunsOn(burst.back(), lastTarget);
    EXPECT_GE(CMTimeGetSeconds(burst.back().back().end()) - CMTimeGetSeconds(lastTarget), 1.9);
}

TEST_F(AudioDataProviderTest, TheEndOfTheFileDrainsTheDecoderAndStopsTheRequests) {
    select(source->audioTracks().at(0));
    const CMTime target = mediaTime(9.5);
    provide(target);
    const auto buffers = renderer->record.buffersSinceLastFlush();
    expectStartsAtAndRunsOn(buffers, target);
    // Everything up to the end of the track, the decoder's last output included.
    EXPECT_GE(CMTimeGetSeconds(buffers.back().end()), CMTimeGetSeconds(mediaTime(9.97)));
    EXPECT_TRUE(renderer->isReadyForMoreMediaData());
    EXPECT_FALSE(renderer->record.isRequesting());

    // A seek again restarts the requests (the drained decoder is flushed first).
    provide(mediaTime(2.0));
    expectStartsAtAndRunsOn(renderer->record.buffersSinceLastFlush(), mediaTime(2.0));
    EXPECT_TRUE(renderer->record.isRequesting());
}

TEST_F(AudioDataProviderTest, ASeekBeyondTheLastBufferStopsTheRequestsWithoutAFlushOfItsOwn) {
    select(source->audioTracks().at(0));
    provide(mediaTime(2.0));
    const std::size_t flushes = renderer->record.flushCount();
    provide(mediaTime(30.0));
    // Only the repositioning's own flush; nothing is handed over and the requests stop.
    EXPECT_EQ(renderer->record.flushCount(), flushes + 1);
    EXPECT_TRUE(renderer->record.buffersSinceLastFlush().empty());
    EXPECT_FALSE(renderer->record.isRequesting());
}

TEST_F(AudioDataProviderTest, WithoutATrackOnlyTheCompletionRunsAndDeselectingStopsTheRequests) {
    provide(mediaTime(1.0));
    EXPECT_TRUE(renderer->record.events().empty());
    EXPECT_FALSE(renderer->record.isRequesting());

    select(source->audioTracks().at(0));
    EXPECT_TRUE(renderer->record.isRequesting());
    select(nullptr);
    EXPECT_FALSE(renderer->record.isRequesting());
    const auto events = renderer->record.events().size();
    provide(mediaTime(1.0));
    EXPECT_EQ(renderer->record.events().size(), events);
}

TEST_F(AudioDataProviderTest, AFailedSeekIsLoggedOnceAndPlayGoesOnFromWhereTheSourceStands) {
    select(source->audioTracks().at(0));
    ScopedLogCapture log;
    provide(kCMTimeInvalid);
    std::vector<std::string> seekLines;
    for (const auto& line : log.lines()) {
        if (line.starts_with("Failed to seek audio track: ")) {
            seekLines.push_back(line);
        }
    }
    ASSERT_EQ(seekLines.size(), 1u);
    EXPECT_TRUE(seekLines[0].ends_with("."));
    // The requests registered before the seek still feed the renderer.
    EXPECT_TRUE(renderer->record.isRequesting());
    ASSERT_TRUE(eventually([&] { return !renderer->isReadyForMoreMediaData(); }));
}

TEST_F(AudioDataProviderTest, NothingIsFedOnceTheProviderHasGone) {
    select(source->audioTracks().at(0));
    provide(mediaTime(4.0));
    auto ran = std::make_shared<std::atomic<bool>>(false);
    provider->restart(true, [weak = std::weak_ptr(provider), ran] {
        *ran = true;
        if (const auto strong = weak.lock()) {
            strong->provideMediaData(kCMTimeZero, true, DispatchQueue::main().shared_from_this(),
                                     [] {});
        }
    });
    const auto queue = provider->queue();
    provider.reset();
    // A request block that was running may have held the provider until it ended; once the
    // queue is through, nothing holds it and nothing is running.
    queue->sync([] {});
    EXPECT_TRUE(ran->load());
    EXPECT_FALSE(renderer->record.isRequesting());
    const std::size_t buffers = renderer->record.bufferCount();

    // The renderer wants more, and nobody answers.
    renderer->flush();
    synchronizer->setRate(1, mediaTime(4.0));
    clock->advanceSeconds(0.5);
    queue->sync([] {});
    EXPECT_EQ(renderer->record.bufferCount(), buffers);
}

// Playing uses up the queued audio; the renderer's next request meets the stuck decoder. The
// provider stops, says so once, and leaves the decoder alone from then on.
TEST_F(AudioDataProviderTest, AnAudioDecoderThatGetsStuckStopsTheProviderAndIsReportedOnce) {
    auto stuckNow = std::make_shared<std::atomic<bool>>(false);
    StuckDecoders stuck{MediaType::audio, [stuckNow](const auto&) {
                            return [stuckNow] { return stuckNow->load(); };
                        }};
    provider = AudioDataProvider::make(source, renderer, stuck.wrapper());
    DecoderFailureRecord failures;
    provider->setDecoderFailureHandler(failures.handler());
    select(source->audioTracks().at(0));
    provide(mediaTime(2.0));
    ASSERT_FALSE(renderer->isReadyForMoreMediaData());
    const std::size_t buffers = renderer->record.bufferCount();

    *stuckNow = true;
    ScopedLogCapture log;
    synchronizer->setRate(1, mediaTime(2.0));
    ASSERT_TRUE(eventually([&] {
        if (failures.count->load() > 0) {
            return true;
        }
        clock->advanceSeconds(0.1);
        return false;
    }));
    settle();
    EXPECT_TRUE(failures.wasStuckDecoderError->load());
    EXPECT_EQ(stuck.refusals(), 2);
    const auto lines = log.lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(),
                         "Failed to start decoding audio packet: Unable to start decoding packet "
                         "even though there are no more sample buffers to dequeue.."),
              1);
    EXPECT_FALSE(renderer->record.isRequesting());
    EXPECT_EQ(renderer->record.bufferCount(), buffers);

    // Later seeks end at once, and the renderer is not asked again.
    provide(mediaTime(5.0));
    settle();
    EXPECT_EQ(failures.count->load(), 1);
    EXPECT_EQ(stuck.refusals(), 2);
    EXPECT_FALSE(renderer->record.isRequesting());
}

}  // namespace
