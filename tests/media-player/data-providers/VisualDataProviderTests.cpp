#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "media-player/data-providers/DataProviderTestSupport.h"
#include "media-player/data-providers/VisualDataProvider.h"
#include "media-player/decoders/common/FFmpegDecoding.h"
#include "media-player/decoders/common/StuckDecoderError.h"
#include "media-player/subtitle-views/FormattedTextSubtitleView.h"
#include "media-player/subtitle-views/SubtitlesView.h"
#include "media-player/timing/MediaPlayerTimeObserverManager.h"
#include "platform/foundation/Log.h"
#include "support/LongCueMedia.h"
#include "support/ScratchFolder.h"
#include "support/StuckDecoder.h"

namespace {

using namespace platform;
using namespace quillon;
using namespace quillon::test;

// A three-second 25 fps picture with SubRip cues at 0.2-1.2, 0.8-1.8 and 2.0-2.9 s, shown by a
// layer on a manual clock: nothing is consumed until the test moves the clock.
class VisualDataProviderTest : public ::testing::Test {
protected:
    void SetUp() override { synchronizer->addRenderer(layer); }

    void TearDown() override {
        provider.reset();
        primaryView.reset();
        secondaryView.reset();
        // The views go away on the main queue.
        DispatchQueue::main().drain();
    }

    void run(std::function<void(VisualDataProvider&)> work) {
        restartAndWait<VisualDataProvider>(*provider, std::move(work));
    }
    void selectVideo() {
        run([track = source->videoTracks().at(0)](VisualDataProvider& provider) {
            provider.selectVideoTrack(track);
        });
    }
    void selectPrimarySubtitles() {
        run([track = source->embeddedSubtitlesTracks().at(0)](VisualDataProvider& provider) {
            provider.selectPrimarySubtitlesTrack(track);
        });
    }
    // Submits a restart at `time` (the clock stands there, as after the player's seek).
    void startProviding(CMTime time, bool immediately = true) {
        if (CMTIME_IS_NUMERIC(time)) {
            synchronizer->setRate(0, time);
        }
        provider->restart(
            true, [weak = std::weak_ptr(provider), time, immediately, completions = completions] {
                if (const auto strong = weak.lock()) {
                    strong->provideMediaData(time, immediately, completions.queue,
                                             completions.completion());
                }
            });
    }
    void provide(CMTime time, bool immediately = true) {
        const int expected = completions.count->load() + 1;
        startProviding(time, immediately);
        ASSERT_TRUE(completions.reaches(expected));
    }
    // The main queue has handed the views everything submitted so far.
    void settleViews() {
        provider->queue()->sync([] {});
        DispatchQueue::main().drain();
    }

    std::shared_ptr<MediaSource> source = openMedia("subtitles-srt.mkv");
    std::shared_ptr<ManualClock> clock = ManualClock::make();
    std::shared_ptr<QLSampleBufferRenderSynchronizer> synchronizer =
        std::make_shared<QLSampleBufferRenderSynchronizer>(clock);
    std::shared_ptr<RecordingDisplayLayer> layer = std::make_shared<RecordingDisplayLayer>();
    std::shared_ptr<SubtitlesView> primaryView =
        SubtitlesView::make(true, MediaPlayerTimeObserverManager(synchronizer, kCMTimeZero));
    std::shared_ptr<SubtitlesView> secondaryView =
        SubtitlesView::make(false, MediaPlayerTimeObserverManager(synchronizer, kCMTimeZero));
    std::shared_ptr<VisualDataProvider> provider =
        VisualDataProvider::make(source, layer, primaryView, secondaryView);
    CompletionCounter completions;
};

void expectStartsAtAndRunsOn(const std::vector<RendererRecord::Event>& buffers, CMTime target) {
    ASSERT_FALSE(buffers.empty());
    EXPECT_LE(CMTimeCompare(buffers.front().presentationTime, target), 0);
    EXPECT_GT(CMTimeCompare(buffers.front().end(), target), 0);
    for (std::size_t index = 1; index < buffers.size(); ++index) {
        EXPECT_GT(
            CMTimeCompare(buffers[index].presentationTime, buffers[index - 1].presentationTime), 0)
            << "picture " << index << " goes back";
    }
}

TEST_F(VisualDataProviderTest, SelectingVideoSizesTheLayerAndSelectingNoneClearsIt) {
    selectVideo();
    EXPECT_EQ(layer->bounds().size.width, 64);
    EXPECT_EQ(layer->bounds().size.height, 48);
    EXPECT_TRUE(layer->record.isRequesting());

    run([](VisualDataProvider& provider) { provider.selectVideoTrack(nullptr); });
    EXPECT_EQ(layer->bounds().size.width, 0);
    EXPECT_EQ(layer->bounds().size.height, 0);
    EXPECT_EQ(layer->displayedFrame(), nullptr);
    EXPECT_FALSE(layer->record.isRequesting());

    // Without video, repositioning only completes: embedded subtitles are not provided either.
    selectPrimarySubtitles();
    const auto events = layer->record.events().size();
    provide(seconds(1.0));
    settleViews();
    EXPECT_EQ(layer->record.events().size(), events);
    EXPECT_EQ(primaryView->pendingFrameCount(), 0u);
}

TEST_F(VisualDataProviderTest, ARotatedTrackGivesTheLayerItsDisplayTransform) {
    source = openMedia("rotate-90.mp4");
    provider = VisualDataProvider::make(source, layer, primaryView, secondaryView);
    selectVideo();
    const auto& dimensions = source->videoTracks().at(0)->dimensions();
    ASSERT_TRUE(dimensions.displayTransform);
    EXPECT_EQ(layer->affineTransform(), *dimensions.displayTransform);
    EXPECT_EQ(layer->bounds().size, dimensions.squarePixelSize);
}

TEST_F(VisualDataProviderTest, ASeekStartsWithTheCoveringPictureAndFeedsOnlyWhileTheLayerIsReady) {
    selectVideo();
    const CMTime target = seconds(1.23);
    provide(target);
    const auto buffers = layer->record.buffersSinceLastFlush();
    expectStartsAtAndRunsOn(buffers, target);
    EXPECT_FALSE(layer->isReadyForMoreMediaData());
    EXPECT_TRUE(layer->record.isRequesting());
    // The request registered by the reposition was queued before its completion: once the
    // provider's queue is through, that request has had its turn and found the layer full.
    settleViews();
    EXPECT_EQ(layer->record.buffersSinceLastFlush().size(), buffers.size());

    // Playing uses the queued pictures up: the layer asks again each time it is down to its
    // low-water mark, and the feed goes on. A refill may run between two clock steps or after
    // the last one, so the layer may end anywhere above that mark, not necessarily full.
    synchronizer->setRate(1, target);
    for (int step = 0; step < 10; ++step) {
        clock->advanceSeconds(0.04);
    }
    // The clock's alarms run on this thread, so every request that playing made is queued by now.
    provider->queue()->sync([] {});
    const auto fed = layer->record.buffersSinceLastFlush();
    EXPECT_GT(fed.size(), buffers.size());
    expectStartsAtAndRunsOn(fed, target);
    EXPECT_GT(layer->queuedFrameCount(), QLSampleBufferDisplayLayer::kDefaultLowWaterMark);
    EXPECT_TRUE(layer->record.isRequesting());
}

TEST_F(VisualDataProviderTest, TheCuesOnScreenAtTheTargetAndThoseAfterItAreHandedOver) {
    selectVideo();
    selectPrimarySubtitles();
    // At 1.0 s both of the first two cues are on screen: both are handed over, to stack.
    provide(seconds(1.0));
    ASSERT_TRUE(eventually([&] { return primaryView->subtitleViews().size() == 2; }));
    settleViews();
    EXPECT_EQ(primaryView->pendingFrameCount(), 2u);
    EXPECT_EQ(secondaryView->pendingFrameCount(), 0u);

    // Playing on to 2.2 s reads the third cue in file order; the second has ended by then.
    synchronizer->setRate(1, seconds(1.0));
    for (int step = 0; step < 30; ++step) {
        clock->advanceSeconds(0.04);
        settleViews();
    }
    EXPECT_TRUE(eventually([&] {
        return primaryView->pendingFrameCount() == 1 && primaryView->subtitleViews().size() == 1;
    }));
}

// A position restored, or sought to, in the middle of a long cue shows that cue at once rather
// than nothing until the next one.
TEST_F(VisualDataProviderTest, ACueBegunLongBeforeTheTargetIsShownAtTheTarget) {
    const LongCueMedia media;
    source = MediaSource::make(URL::fileURL(media.make("mkv", "srt")), kCMTimeInvalid, true);
    provider = VisualDataProvider::make(source, layer, primaryView, secondaryView);
    selectVideo();
    selectPrimarySubtitles();
    provide(seconds(14));
    ASSERT_TRUE(eventually([&] { return primaryView->subtitleViews().size() == 1; }));
    settleViews();
    EXPECT_EQ(primaryView->pendingFrameCount(), 1u);
    expectStartsAtAndRunsOn(layer->record.buffersSinceLastFlush(), seconds(14));
}

TEST_F(VisualDataProviderTest, ARestartWhileARunIsInFlightLeavesNoStalePicturesOrCues) {
    selectVideo();
    selectPrimarySubtitles();
    startProviding(seconds(2.5));
    const CMTime target = seconds(1.0);
    provide(target);
    ASSERT_TRUE(completions.reaches(2));
    settleViews();
    expectStartsAtAndRunsOn(layer->record.buffersSinceLastFlush(), target);
    EXPECT_LT(CMTimeGetSeconds(layer->record.buffersSinceLastFlush().back().presentationTime), 2.0);
    // The cue from 2.0 to 2.9 s that the first run handed over was cleared with it: only the two
    // on screen at 1.0 s remain.
    ASSERT_TRUE(eventually([&] { return primaryView->subtitleViews().size() == 2; }));
    EXPECT_EQ(primaryView->pendingFrameCount(), 2u);
}

TEST_F(VisualDataProviderTest, TheEndOfTheFileDrainsTheDecodersAndStopsTheRequests) {
    selectVideo();
    selectPrimarySubtitles();
    const CMTime target = seconds(2.9);
    provide(target);
    const auto buffers = layer->record.buffersSinceLastFlush();
    expectStartsAtAndRunsOn(buffers, target);
    // The last picture, 2.96 to 3.0 s, comes out of the drained decoder, and so does the one at
    // the target, which the layer keeps showing.
    EXPECT_NEAR(CMTimeGetSeconds(buffers.back().presentationTime), 2.96, 0.001);
    EXPECT_FALSE(layer->record.isRequesting());
    ASSERT_NE(layer->displayedFrame(), nullptr);
    EXPECT_NEAR(CMTimeGetSeconds(CMSampleBufferGetPresentationTimeStamp(layer->displayedFrame())),
                2.88, 0.001);

    // Seeking past the last picture, as restoring a film that had played to its end does: the
    // last picture is what playing there shows, and it is what the layer holds; it stops asking.
    provide(seconds(3.5));
    const auto past = layer->record.buffersSinceLastFlush();
    ASSERT_EQ(past.size(), 1u);
    EXPECT_NEAR(CMTimeGetSeconds(past.front().presentationTime), 2.96, 0.001);
    ASSERT_NE(layer->displayedFrame(), nullptr);
    EXPECT_NEAR(CMTimeGetSeconds(CMSampleBufferGetPresentationTimeStamp(layer->displayedFrame())),
                2.96, 0.001);
    EXPECT_FALSE(layer->record.isRequesting());
    settleViews();
    EXPECT_EQ(primaryView->pendingFrameCount(), 0u);
}

TEST_F(VisualDataProviderTest, AFailedSeekIsLoggedOnceAndTheCompletionStillRuns) {
    // A key frame every second, so that decoding can pick up again where the source stands.
    source = openMedia("gop-1s.mkv");
    provider = VisualDataProvider::make(source, layer, primaryView, secondaryView);
    selectVideo();
    ScopedLogCapture log;
    provide(kCMTimeInvalid);
    int seekLines = 0;
    for (const auto& line : log.lines()) {
        if (line.starts_with("Failed to seek visual tracks: ")) {
            EXPECT_TRUE(line.ends_with("."));
            ++seekLines;
        }
    }
    EXPECT_EQ(seekLines, 1);
    // The requests registered before the seek go on from wherever the source stands: the
    // pictures from its next key frame on.
    EXPECT_TRUE(eventually([&] { return !layer->isReadyForMoreMediaData(); }));
    const auto buffers = layer->record.buffersSinceLastFlush();
    ASSERT_FALSE(buffers.empty());
    EXPECT_NEAR(CMTimeGetSeconds(buffers.front().presentationTime), 1.0, 0.05);
    EXPECT_TRUE(layer->record.isRequesting());
}

TEST_F(VisualDataProviderTest, NothingIsFedOnceTheProviderHasGone) {
    selectVideo();
    selectPrimarySubtitles();
    provide(seconds(0.5));
    const std::size_t buffers = layer->record.bufferCount();
    const auto queue = provider->queue();
    provider.reset();
    queue->sync([] {});
    EXPECT_FALSE(layer->record.isRequesting());
    layer->flush();
    synchronizer->setRate(1, seconds(0.5));
    clock->advanceSeconds(0.5);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    queue->sync([] {});
    EXPECT_EQ(layer->record.bufferCount(), buffers);
}

std::size_t countLines(const ScopedLogCapture& log, const std::string& line) {
    const auto lines = log.lines();
    return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), line));
}

constexpr const char* stuckLine =
    "Failed to start decoding video packet: Unable to start decoding packet even though there "
    "are no more sample buffers to dequeue..";

// The process and the provider's queue go on: the provider stops, says so once, and leaves the
// stuck decoder alone from then on, so that no further packet waits for it.
TEST_F(VisualDataProviderTest, AVideoDecoderStuckInSoftwareStopsTheProviderAndIsReportedOnce) {
    StuckDecoders stuck{MediaType::video};
    {
        ScopedHardwareDecoderContextMaker noHardware{
            [](const AVCodec&, const AVStream&) { return AVCodecContextPointer(); }};
        source = openMedia("gop-1s.mkv");
    }
    provider = VisualDataProvider::make(source, layer, primaryView, secondaryView, stuck.wrapper());
    DecoderFailureRecord failures;
    provider->setDecoderFailureHandler(failures.handler());
    ScopedLogCapture log;
    // The layer's first request or the seek meets the stuck decoder.
    selectVideo();
    provide(seconds(2.5));
    ASSERT_TRUE(eventually([&] { return failures.count->load() > 0; }));
    provider->queue()->sync([] {});
    EXPECT_EQ(failures.count->load(), 1);
    EXPECT_TRUE(failures.wasStuckDecoderError->load());
    EXPECT_EQ(countLines(log, stuckLine), 1u);
    EXPECT_EQ(stuck.refusals(), 2);
    EXPECT_FALSE(layer->record.isRequesting());
    EXPECT_EQ(layer->record.bufferCount(), 0u);

    // Later seeks end at once, and the layer is not asked again.
    provide(seconds(0.5));
    provider->queue()->sync([] {});
    EXPECT_EQ(failures.count->load(), 1);
    EXPECT_EQ(stuck.refusals(), 2);
    EXPECT_FALSE(layer->record.isRequesting());
}

// A stand-in for a hardware decoder: H.264 in software inside a context that the video decoder
// takes for a hardware one.
AVCodecContextPointer softwareContextTakenForHardware(const AVCodec& codec,
                                                      const AVStream& stream) {
    AVCodecContextPointer context = makeDecoderContext(&codec, stream.codecpar, stream.time_base);
    openDecoder(&codec, *context);
    return context;
}

std::function<bool()> whileOnHardware(const std::shared_ptr<CoreMediaCompatibleDecoder>& decoder) {
    return [video = std::dynamic_pointer_cast<FFmpegVideoDecoder>(decoder)] {
        return video->isDecodingOnHardware();
    };
}

TEST_F(VisualDataProviderTest, AStuckHardwareDecoderGivesWayToTheSoftwareOne) {
    StuckDecoders stuck{MediaType::video, whileOnHardware};
    {
        ScopedHardwareDecoderContextMaker hardware{softwareContextTakenForHardware};
        source = openMedia("gop-1s.mkv");
    }
    ASSERT_TRUE(source->videoTracks().at(0)->decoder()->isDecodingOnHardware());
    provider = VisualDataProvider::make(source, layer, primaryView, secondaryView, stuck.wrapper());
    DecoderFailureRecord failures;
    provider->setDecoderFailureHandler(failures.handler());
    auto restarts = std::make_shared<std::atomic<int>>(0);
    provider->setVideoDecoderRestartHandler([restarts] { ++*restarts; });
    ScopedLogCapture log;
    // The layer's first request or the seek meets the stuck decoder, and the pictures from the
    // key frame that it lost on to the next are lost with it.
    selectVideo();
    provide(seconds(0.5));
    EXPECT_EQ(countLines(log,
                         "Hardware decoder takes no packets; falling back to software "
                         "decoder."),
              1u);
    EXPECT_FALSE(source->videoTracks().at(0)->decoder()->isDecodingOnHardware());
    EXPECT_EQ(restarts->load(), 1);
    EXPECT_EQ(stuck.refusals(), 2);
    EXPECT_EQ(failures.count->load(), 0);
    EXPECT_TRUE(layer->record.isRequesting());

    // The restart that the handler asks for: a seek to where the picture stands.
    provide(seconds(0.5));
    expectStartsAtAndRunsOn(layer->record.buffersSinceLastFlush(), seconds(0.5));
    EXPECT_EQ(restarts->load(), 1);
    EXPECT_EQ(failures.count->load(), 0);
}

// Four seconds of picture with closed captions in roll-up mode: "Hello" from about 0.3 s to 1 s,
// when "World" starts the next row. A caption decoder keeps its rows between packets, so a packet
// decoded twice writes its letters twice.
class ClosedCaptionMedia {
public:
    ClosedCaptionMedia() {
        // Roll-up with two rows, carriage return, row 15, then the letters with odd parity.
        std::ofstream(folder_.path() / "captions.scc")
            << "Scenarist_SCC V1.0\n\n"
            << "00:00:00:10\t9425 9425 94ad 94ad 9470 9470 c8e5 ecec ef80\n\n"
            << "00:00:01:00\t94ad 94ad 9470 9470 57ef f2ec 6480\n\n"
            << "00:00:03:00\t942c 942c\n\n";
        const std::string command =
            "ffmpeg -nostdin -hide_banner -loglevel error -y "
            "-f lavfi -i testsrc=size=64x48:rate=25:duration=4 -i '" +
            (folder_.path() / "captions.scc").string() +
            "' -map 0:v -map 1 -c:v libx264 -pix_fmt yuv420p -c:s copy -f mov '" + path().string() +
            "'";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
    }
    std::filesystem::path path() const { return folder_.path() / "captions.mov"; }

private:
    ScratchFolder folder_{"quillon-captions"};
};

// Three seconds of sound from 0 s, and picture and SubRip cues that begin 0.3 s later, as when
// an encoder's priming delay shifts the other streams behind the sound: the first cue starts with
// the first picture, after the start of the file.
class LatePictureMedia {
public:
    static constexpr const char* firstCueText = "With the first picture";

    LatePictureMedia() {
        std::ofstream(folder_.path() / "cues.srt")
            << "1\n00:00:00,300 --> 00:00:02,000\n"
            << firstCueText << "\n\n2\n00:00:02,500 --> 00:00:03,000\nLater\n";
        const std::string command =
            "ffmpeg -nostdin -hide_banner -loglevel error -y "
            "-f lavfi -i sine=duration=3 -itsoffset 0.3 "
            "-f lavfi -i testsrc=size=64x48:rate=25:duration=3 -i '" +
            (folder_.path() / "cues.srt").string() +
            "' -map 0:a -map 1:v -map 2:s -c:a pcm_s16le -c:v libx264 -pix_fmt yuv420p "
            "-c:s srt '" +
            path().string() + "'";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
    }
    std::filesystem::path path() const { return folder_.path() / "late-picture.mkv"; }

private:
    ScratchFolder folder_{"quillon-late-picture"};
};

TEST_F(VisualDataProviderTest, OneStreamInBothPositionsIsDecodedOnceForBoth) {
    const ClosedCaptionMedia media;
    source = MediaSource::make(URL::fileURL(media.path().string()), kCMTimeInvalid, true);
    ASSERT_EQ(source->embeddedSubtitlesTracks().size(), 1u);
    provider = VisualDataProvider::make(source, layer, primaryView, secondaryView);
    selectVideo();
    selectPrimarySubtitles();
    run([track = source->embeddedSubtitlesTracks().at(0)](VisualDataProvider& provider) {
        provider.selectSecondarySubtitlesTrack(track);
    });

    provide(seconds(0.0));
    synchronizer->setRate(1, seconds(0.0));
    // What each view showed, in order.
    std::vector<std::string> primarySeen;
    std::vector<std::string> secondarySeen;
    const auto record = [](const SubtitlesView& view, std::vector<std::string>& seen) {
        for (auto& text : shownTexts(view)) {
            if (std::find(seen.begin(), seen.end(), text) == seen.end()) {
                seen.push_back(std::move(text));
            }
        }
    };
    for (int step = 0; step < 30; ++step) {
        clock->advanceSeconds(0.1);
        settleViews();
        record(*primaryView, primarySeen);
        record(*secondaryView, secondarySeen);
    }
    // The row as captioned; a second decoding of its packet would have rolled up a copy.
    const std::vector<std::string> captions = {"Hello"};
    EXPECT_EQ(primarySeen, captions);
    EXPECT_EQ(secondarySeen, captions);
}

// Paused at the start of the file, the layer shows the first picture, which comes a little later:
// the cue that starts with that picture belongs on screen with it, as when the file is played.
TEST_F(VisualDataProviderTest, ACueStartingWithThePictureShownAtTheTargetShowsWhilePaused) {
    const LatePictureMedia media;
    source = MediaSource::make(URL::fileURL(media.path().string()), kCMTimeInvalid, true);
    ASSERT_EQ(source->embeddedSubtitlesTracks().size(), 1u);
    provider = VisualDataProvider::make(source, layer, primaryView, secondaryView);
    selectVideo();
    selectPrimarySubtitles();
    provide(seconds(0.0));
    const auto buffers = layer->record.buffersSinceLastFlush();
    ASSERT_FALSE(buffers.empty());
    ASSERT_GT(CMTimeCompare(buffers.front().presentationTime, seconds(0.0)), 0);

    ASSERT_TRUE(eventually([&] {
        settleViews();
        return shownTexts(*primaryView) == std::vector<std::string>{LatePictureMedia::firstCueText};
    }));

    // Played on, the cue keeps its own end, and the next one its own start.
    synchronizer->setRate(1, seconds(0.0));
    for (int step = 0; step < 22; ++step) {
        clock->advanceSeconds(0.1);
        settleViews();
    }
    EXPECT_TRUE(shownTexts(*primaryView).empty());
    for (int step = 0; step < 4; ++step) {
        clock->advanceSeconds(0.1);
        settleViews();
    }
    EXPECT_EQ(shownTexts(*primaryView), std::vector<std::string>{"Later"});
}

}  // namespace
