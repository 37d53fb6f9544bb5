#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <fmt/format.h>

#include "media-player/data-providers/DataProviderTestSupport.h"
#include "media-player/data-providers/ExternalSubtitlesDataProvider.h"
#include "media-player/subtitle-views/FormattedTextSubtitleView.h"
#include "media-player/subtitle-views/SubtitlesView.h"
#include "media-player/timing/MediaPlayerTimeObserverManager.h"
#include "platform/foundation/Log.h"

namespace {

using namespace platform;
using namespace quillon;
using namespace quillon::test;

// A SubRip file written for the test: cue i from i to i + 0.5 seconds, i = first..first+count-1.
class SubRipFile {
public:
    SubRipFile(int first, int count, std::string_view label = "Cue") {
        path_ = std::filesystem::temp_directory_path() /
                fmt::format("quillon-provider-{}-{}.srt", ::getpid(), counter()++);
        std::ofstream file(path_);
        for (int index = 0; index < count; ++index) {
            const int second = first + index;
            file << index + 1 << "\n"
                 << fmt::format("00:00:{:02},000 --> 00:00:{:02},500\n", second, second) << label
                 << " " << second << "\n\n";
        }
    }
    ~SubRipFile() { std::filesystem::remove(path_); }
    SubRipFile(const SubRipFile&) = delete;
    SubRipFile& operator=(const SubRipFile&) = delete;

    URL url() const { return URL::fileURL(path_.string()); }

private:
    static int& counter() {
        static int value = 0;
        return value;
    }
    std::filesystem::path path_;
};

class ExternalSubtitlesDataProviderTest : public ::testing::Test {
protected:
    void TearDown() override {
        provider.reset();
        view.reset();
        DispatchQueue::main().drain();
    }

    std::shared_ptr<ExternalSubtitlesTrack> trackOf(const SubRipFile& file) {
        auto fileSource = MediaSource::make(file.url(), source->duration(), false);
        return ExternalSubtitlesTrack::make(fileSource,
                                            fileSource->embeddedSubtitlesTracks().at(0));
    }
    void run(std::function<void(ExternalSubtitlesDataProvider&)> work) {
        restartAndWait<ExternalSubtitlesDataProvider>(*provider, std::move(work));
    }
    void select(std::shared_ptr<ExternalSubtitlesTrack> track) {
        run([track](ExternalSubtitlesDataProvider& provider) {
            provider.selectSubtitlesTrack(track);
        });
    }
    void seek(CMTime time, bool immediately = false) {
        synchronizer->setRate(0, time);
        const int expected = completions.count->load() + 1;
        provider->restart(
            true, [weak = std::weak_ptr(provider), time, immediately, completions = completions] {
                if (const auto strong = weak.lock()) {
                    strong->seekAndProvide(time, immediately, completions.queue,
                                           completions.completion());
                }
            });
        ASSERT_TRUE(completions.reaches(expected));
    }
    // Everything the provider handed over has reached the view, and any run it caused is done.
    void settle() {
        for (int round = 0; round < 3; ++round) {
            provider->queue()->sync([] {});
            DispatchQueue::main().drain();
        }
    }
    std::size_t shown() const { return view->subtitleViews().size(); }
    std::size_t pending() const { return view->pendingFrameCount(); }

    std::shared_ptr<MediaSource> source = openMedia("gop-1s.mkv");
    std::shared_ptr<ManualClock> clock = ManualClock::make();
    std::shared_ptr<QLSampleBufferRenderSynchronizer> synchronizer =
        std::make_shared<QLSampleBufferRenderSynchronizer>(clock);
    std::shared_ptr<SubtitlesView> view =
        SubtitlesView::make(true, MediaPlayerTimeObserverManager(synchronizer, kCMTimeZero));
    std::shared_ptr<ExternalSubtitlesDataProvider> provider =
        ExternalSubtitlesDataProvider::make(source, view);
    CompletionCounter completions;
};

TEST_F(ExternalSubtitlesDataProviderTest, SelectingFillsTheViewToTheHighWaterMarkThenRefillsAtLow) {
    const SubRipFile file(0, 40);
    select(trackOf(file));
    ASSERT_TRUE(eventually([&] { return pending() >= 10; }));
    settle();
    // The run stopped once the view held enough: far from the whole file.
    const std::size_t filled = pending();
    EXPECT_LT(filled, 40u);

    // A view that holds enough is not fed: the loop returns without reading.
    run([](ExternalSubtitlesDataProvider& provider) { provider.provideMediaData(); });
    settle();
    EXPECT_EQ(pending(), filled);

    // Playing lets the cues end one by one; at two left a new run fills up again from where the
    // last one stopped.
    synchronizer->setRate(1, kCMTimeZero);
    for (std::size_t second = 0; second + 2 < filled; ++second) {
        clock->advanceSeconds(1.0);
        settle();
    }
    ASSERT_TRUE(eventually([&] { return pending() >= 10; }));
}

TEST_F(ExternalSubtitlesDataProviderTest, ASeekHandsOverTheCueOnScreenAndThoseAfterIt) {
    const SubRipFile file(0, 20);
    select(trackOf(file));
    ASSERT_TRUE(eventually([&] { return pending() >= 10; }));
    // At 7.25 s cue 7 is on screen: it and the cues after it, none before.
    seek(seconds(7.25));
    ASSERT_TRUE(eventually([&] { return shown() == 1; }));
    settle();
    // Cues 7 to 19 at most.
    EXPECT_LE(pending(), 13u);
    EXPECT_GE(pending(), 1u);

    // Between cues (12.75 s), nothing is on screen; the next cue waits for its time.
    seek(seconds(12.75));
    settle();
    EXPECT_EQ(shown(), 0u);
    EXPECT_GE(pending(), 1u);
    EXPECT_LE(pending(), 7u);

    // A cue that starts exactly at the target is on screen at once.
    seek(seconds(15.0), true);
    ASSERT_TRUE(eventually([&] { return shown() == 1; }));
}

TEST_F(ExternalSubtitlesDataProviderTest, CuesThatAllEndBeforeTheTargetShowNothingAndEndTheFile) {
    const SubRipFile file(0, 5);
    select(trackOf(file));
    seek(seconds(8.0), true);
    settle();
    EXPECT_EQ(pending(), 0u);
    EXPECT_EQ(shown(), 0u);
    // The producer removed itself at the end of the file: an empty view starts no run.
    run([](ExternalSubtitlesDataProvider&) {});
    view->mediaDataRequester()->setBufferCount(0);
    settle();
    EXPECT_EQ(pending(), 0u);

    // Seeking back installs it again.
    seek(seconds(1.0));
    ASSERT_TRUE(eventually([&] { return pending() == 4; }));
}

TEST_F(ExternalSubtitlesDataProviderTest, ARestartWhileARunIsInFlightLeavesNoStaleCues) {
    const SubRipFile file(0, 60);
    select(trackOf(file));
    // The run from the start has not necessarily ended when the seek clears the view.
    seek(seconds(40.25), true);
    settle();
    ASSERT_EQ(shown(), 1u);
    // Only cue 40 and later: at most the twenty cues from 40 to 59.
    EXPECT_LE(pending(), 20u);
    EXPECT_GE(pending(), 10u);
}

TEST_F(ExternalSubtitlesDataProviderTest, SelectingNoTrackClearsTheViewAndRemovesTheProducer) {
    const SubRipFile file(0, 30);
    select(trackOf(file));
    ASSERT_TRUE(eventually([&] { return pending() >= 10; }));
    select(nullptr);
    settle();
    EXPECT_EQ(pending(), 0u);
    // No producer: an empty view asks nobody.
    view->mediaDataRequester()->setBufferCount(0);
    settle();
    EXPECT_EQ(pending(), 0u);
    // Repositioning without a track only completes.
    seek(seconds(3.0), true);
    settle();
    EXPECT_EQ(pending(), 0u);
}

TEST_F(ExternalSubtitlesDataProviderTest, AFailedSeekIsLoggedOnceAndTheProducerStays) {
    const SubRipFile file(0, 30);
    select(trackOf(file));
    ASSERT_TRUE(eventually([&] { return pending() >= 10; }));
    ScopedLogCapture log;
    const int expected = completions.count->load() + 1;
    provider->restart(true, [weak = std::weak_ptr(provider), completions = completions] {
        if (const auto strong = weak.lock()) {
            strong->seekAndProvide(kCMTimeInvalid, false, completions.queue,
                                   completions.completion());
        }
    });
    ASSERT_TRUE(completions.reaches(expected));
    int lines = 0;
    for (const auto& line : log.lines()) {
        lines += line.starts_with("Failed to seek external subtitles track: ") ? 1 : 0;
    }
    EXPECT_EQ(lines, 1);
    // The view was cleared; the producer stays and fills it again from where the file stands.
    ASSERT_TRUE(eventually([&] { return pending() >= 10; }));
}

TEST_F(ExternalSubtitlesDataProviderTest, NothingIsHandedOverOnceTheProviderHasGone) {
    const SubRipFile file(0, 30);
    select(trackOf(file));
    ASSERT_TRUE(eventually([&] { return pending() >= 10; }));
    settle();
    const auto queue = provider->queue();
    provider.reset();
    queue->sync([] {});
    view->removeAllSubtitlesAsync();
    DispatchQueue::main().drain();
    // The requester lost its producer with the provider: the empty view is not refilled.
    view->mediaDataRequester()->setBufferCount(0);
    queue->sync([] {});
    DispatchQueue::main().drain();
    EXPECT_EQ(pending(), 0u);
}

// A Matroska subtitle file with two SubRip tracks, English ("A n") and French ("B n"), whose cues
// n run from n to n + 0.5 seconds for n = 0..39: their packets interleave.
class TwoTrackSubtitleFile {
public:
    TwoTrackSubtitleFile() : english_(0, 40, "A"), french_(0, 40, "B") {
        path_ = std::filesystem::temp_directory_path() /
                fmt::format("quillon-two-tracks-{}.mks", ::getpid());
        const std::string command = fmt::format(
            "ffmpeg -nostdin -loglevel error -y -i '{}' -i '{}' -map 0 -map 1 -c copy "
            "-metadata:s:s:0 language=eng -metadata:s:s:1 language=fre -f matroska '{}'",
            english_.url().path(), french_.url().path(), path_.string());
        if (std::system(command.c_str()) != 0) {
            throw std::runtime_error("ffmpeg could not make " + path_.string());
        }
    }
    ~TwoTrackSubtitleFile() { std::filesystem::remove(path_); }
    TwoTrackSubtitleFile(const TwoTrackSubtitleFile&) = delete;
    TwoTrackSubtitleFile& operator=(const TwoTrackSubtitleFile&) = delete;

    URL url() const { return URL::fileURL(path_.string()); }

private:
    SubRipFile english_;
    SubRipFile french_;
    std::filesystem::path path_;
};

std::string describe(const std::vector<std::string>& texts) {
    return texts.empty() ? "nothing" : texts.front();
}

TEST_F(ExternalSubtitlesDataProviderTest, TwoTracksOfOneFileShowEveryCueInBothPositions) {
    const TwoTrackSubtitleFile file;
    const auto fileSource = MediaSource::make(file.url(), source->duration(), false);
    ASSERT_EQ(fileSource->embeddedSubtitlesTracks().size(), 2u);
    const auto english =
        ExternalSubtitlesTrack::make(fileSource, fileSource->embeddedSubtitlesTracks().at(0));
    const auto french =
        ExternalSubtitlesTrack::make(fileSource, fileSource->embeddedSubtitlesTracks().at(1));

    const auto topView =
        SubtitlesView::make(false, MediaPlayerTimeObserverManager(synchronizer, kCMTimeZero));
    auto topProvider = ExternalSubtitlesDataProvider::make(source, topView);
    select(english);
    restartAndWait<ExternalSubtitlesDataProvider>(
        *topProvider, [french](ExternalSubtitlesDataProvider& provider) {
            provider.selectSubtitlesTrack(french);
        });

    // Both seek, one after the other; then both fill their views as their cues end.
    const CMTime target = seconds(20.25);
    seek(target);
    const int expected = completions.count->load() + 1;
    topProvider->restart(
        true, [weak = std::weak_ptr(topProvider), target, completions = completions] {
            if (const auto strong = weak.lock()) {
                strong->seekAndProvide(target, false, completions.queue, completions.completion());
            }
        });
    ASSERT_TRUE(completions.reaches(expected));

    synchronizer->setRate(1, target);
    for (int cue = 20; cue < 36; ++cue) {
        SCOPED_TRACE(cue);
        const std::vector<std::string> english = {fmt::format("A {}", cue)};
        const std::vector<std::string> french = {fmt::format("B {}", cue)};
        ASSERT_TRUE(eventually([&] {
            provider->queue()->sync([] {});
            topProvider->queue()->sync([] {});
            DispatchQueue::main().drain();
            return shownTexts(*view) == english && shownTexts(*topView) == french;
        })) << describe(shownTexts(*view))
            << " / " << describe(shownTexts(*topView));
        clock->advanceSeconds(1.0);
    }
    topProvider.reset();
    DispatchQueue::main().drain();
}

}  // namespace
