#include <fmt/format.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "EncodingSampleTexts.h"
#include "ExternalSubtitlesTestSupport.h"
#include "SubtitleFolderTree.h"
#include "media-player/media-source/DefaultTrackSelection.h"
#include "media-player/media-source/MediaSource.h"
#include "platform/accessibility/MACaptionAppearance.h"
#include "platform/foundation/NotificationCenter.h"

namespace quillon {
namespace {

using test::loadedExternalSubtitles;
using test::loadExternalSubtitlesAndWait;
using test::makeMainSource;
using test::mediaURL;
using test::SubtitleFolderTree;

constexpr const char* invalidated = MediaSource::restorableStateWasInvalidatedNotification;

std::vector<std::string> fileNamesOf(
    const std::vector<std::shared_ptr<ExternalSubtitlesTrack>>& tracks) {
    std::vector<std::string> names;
    for (const auto& track : tracks) {
        names.push_back(track->externalMediaSource()->url().lastPathComponent());
    }
    return names;
}

// Counts the restorable-state notifications of one sender (every sender when null), with the
// threads they came on.
struct InvalidationRecorder {
    explicit InvalidationRecorder(const void* sender)
        : token(platform::NotificationCenter::defaultCenter().addObserver(
              invalidated, sender, [this](const platform::Notification& notification) {
                  std::lock_guard lock(mutex);
                  senders.push_back(notification.object);
                  threads.push_back(std::this_thread::get_id());
              })) {}

    std::size_t count() {
        std::lock_guard lock(mutex);
        return senders.size();
    }

    std::mutex mutex;
    std::vector<const void*> senders;
    std::vector<std::thread::id> threads;
    platform::ObserverToken token;
};

class ExternalSubtitlesAttaching : public ::testing::Test {
protected:
    ExternalSubtitlesAttaching() {
        tree.file("movie.en.srt", test::samples::french);
        tree.file("movie.ru.srt", test::samples::russian);
    }

    SubtitleFolderTree tree;
    std::shared_ptr<MediaSource> main = makeMainSource("subtitles-srt.mkv");
};

TEST_F(ExternalSubtitlesAttaching, TracksFollowTheEmbeddedOnesInTheOrderOfAttaching) {
    // Loaded in one order, attached in the other: attaching, not loading, decides the order.
    const auto english = loadedExternalSubtitles(*main, tree.url("movie.en.srt"));
    const auto russian = loadedExternalSubtitles(*main, tree.url("movie.ru.srt"));
    EXPECT_TRUE(main->externalSubtitlesTracks().empty()) << "loading attaches nothing";

    (void)main->addExternalSubtitles(russian);
    (void)main->addExternalSubtitles(english);

    EXPECT_EQ(fileNamesOf(main->externalSubtitlesTracks()),
              (std::vector<std::string>{"movie.ru.srt", "movie.en.srt"}));
    const auto all = main->allSubtitlesTracks();
    ASSERT_EQ(main->embeddedSubtitlesTracks().size(), 1u);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0], main->embeddedSubtitlesTracks()[0]);
    EXPECT_EQ(all[1], russian.externalSubtitlesTracks[0]);
    EXPECT_EQ(all[2], english.externalSubtitlesTracks[0]);
}

TEST_F(ExternalSubtitlesAttaching, OneFileIsAttachedOnceWhateverPathReachesIt) {
    tree.symbolicLink("../movie.en.srt", "Subs/linked.srt");
    tree.hardLink("movie.en.srt", "hard-linked.srt");

    const auto first = loadedExternalSubtitles(*main, tree.url("movie.en.srt"));
    const auto attached = main->addExternalSubtitles(first);
    EXPECT_EQ(attached.mediaSource, first.mediaSource);

    for (const char* path : {"movie.en.srt", "Subs/linked.srt", "hard-linked.srt"}) {
        SCOPED_TRACE(path);
        const auto again = loadedExternalSubtitles(*main, tree.url(path));
        ASSERT_NE(again.mediaSource, first.mediaSource);
        const auto kept = main->addExternalSubtitles(again);
        EXPECT_EQ(kept.mediaSource, first.mediaSource);
        EXPECT_EQ(kept.externalSubtitlesTracks, first.externalSubtitlesTracks);
    }
    EXPECT_EQ(main->externalSubtitlesTracks(), first.externalSubtitlesTracks);
}

TEST_F(ExternalSubtitlesAttaching, AFileWhoseIdentityCantBeReadIsAttachedEveryTime) {
    const auto first = loadedExternalSubtitles(*main, tree.url("movie.en.srt"));
    const auto second = loadedExternalSubtitles(*main, tree.url("movie.en.srt"));
    // The sources keep the file open, but its path names nothing any more.
    std::filesystem::remove(tree.path("movie.en.srt"));

    EXPECT_EQ(main->addExternalSubtitles(first).mediaSource, first.mediaSource);
    EXPECT_EQ(main->addExternalSubtitles(second).mediaSource, second.mediaSource);
    EXPECT_EQ(main->externalSubtitlesTracks().size(), 2u);
}

TEST_F(ExternalSubtitlesAttaching, AttachingAnnouncesTheMainSourcesChangeOnTheAttachingThread) {
    InvalidationRecorder mainChanges(main.get());
    const auto loaded = loadedExternalSubtitles(*main, tree.url("movie.en.srt"));

    (void)main->addExternalSubtitles(loaded);
    ASSERT_EQ(mainChanges.count(), 1u);
    EXPECT_EQ(mainChanges.threads[0], std::this_thread::get_id());

    // Attaching a file that is already there changes nothing.
    (void)main->addExternalSubtitles(loadedExternalSubtitles(*main, tree.url("movie.en.srt")));
    EXPECT_EQ(mainChanges.count(), 1u);

    // A change of the subtitle file's own state is a change of the main source's.
    platform::NotificationCenter::defaultCenter().post(invalidated, loaded.mediaSource.get());
    ASSERT_EQ(mainChanges.count(), 2u);
    EXPECT_EQ(mainChanges.senders[1], main.get());
}

TEST_F(ExternalSubtitlesAttaching, TheObservationOfASubtitleFileDoesNotKeepTheMainSourceAlive) {
    const auto loaded = loadedExternalSubtitles(*main, tree.url("movie.en.srt"));
    (void)main->addExternalSubtitles(loaded);
    const std::weak_ptr<MediaSource> weakMain = main;
    main.reset();
    EXPECT_TRUE(weakMain.expired());

    // The subtitle file outlives the source it was attached to; its changes reach no one else.
    InvalidationRecorder anyChanges(nullptr);
    platform::NotificationCenter::defaultCenter().post(invalidated, loaded.mediaSource.get());
    EXPECT_EQ(anyChanges.count(), 1u);
}

TEST_F(ExternalSubtitlesAttaching, AFileWithoutSubtitlesOrThatDoesntOpenFailsOnce) {
    const auto noSubtitles = loadExternalSubtitlesAndWait(*main, mediaURL("h264-aac.mp4"));
    EXPECT_EQ(noSubtitles.completionCount, 1);
    ASSERT_NE(noSubtitles.error(), nullptr);
    EXPECT_EQ(noSubtitles.error()->kind(), MediaSourceLoadError::Kind::noDecodableTracks);
    EXPECT_EQ(noSubtitles.error()->mainMediaTypes(), std::set{MediaType::subtitles});
    EXPECT_NE(noSubtitles.completionThread, std::this_thread::get_id());

    tree.file("broken.srt", "this is not a subtitle file\n");
    const auto broken = loadExternalSubtitlesAndWait(*main, tree.url("broken.srt"));
    EXPECT_EQ(broken.completionCount, 1);
    ASSERT_NE(broken.error(), nullptr);
    EXPECT_EQ(broken.error()->kind(), MediaSourceLoadError::Kind::failedToOpenURL);
}

// The files found beside a media file while it loads.
class SiblingSubtitlesAttaching : public ::testing::Test {
protected:
    SubtitleFolderTree tree;
};

TEST_F(SiblingSubtitlesAttaching, FilesThatFailAreSkippedAndTheOthersKeepTheScansOrder) {
    // The first file is by far the longest, so it is the last to finish loading.
    std::string longScript;
    for (int cue = 0; cue < 5000; ++cue) {
        longScript += fmt::format("{}\n00:{:02}:{:02},000 --> 00:{:02}:{:02},500\nCue {}\n\n",
                                  cue + 1, cue / 60 % 60, cue % 60, cue / 60 % 60, cue % 60, cue);
    }
    tree.file("a.srt", longScript);
    tree.file("b.srt", "garbage that no demuxer takes\n");
    tree.file("c.srt", test::samples::french);

    struct FixedScanner final : SiblingSubtitlesScanner {
        explicit FixedScanner(std::vector<platform::URL> urls) : urls(std::move(urls)) {}
        void scan(const platform::URL&, Completion completion) const override { completion(urls); }
        std::vector<platform::URL> urls;
    };
    const auto outcome = test::loadAndWait(
        mediaURL("gop-1s.mkv"),
        std::make_shared<FixedScanner>(std::vector{tree.url("a.srt"), tree.url("b.srt"),
                                                   tree.url("missing.srt"), tree.url("c.srt")}));
    EXPECT_EQ(outcome.failureCount, 0);
    ASSERT_EQ(outcome.completionCount, 1);
    EXPECT_EQ(fileNamesOf(outcome.source->externalSubtitlesTracks()),
              (std::vector<std::string>{"a.srt", "c.srt"}));
}

TEST_F(SiblingSubtitlesAttaching, LoadingAMediaFileAttachesTheSubtitleFilesBesideIt) {
    tree.symbolicLink(test::mediaPath("gop-1s.mkv"), "Movie.mkv");
    tree.file("Movie.srt", test::samples::french);
    tree.file("Subs/Movie.ru.srt", test::samples::russian);
    tree.file("Other.srt", test::samples::czech);

    const auto outcome = test::loadAndWait(tree.url("Movie.mkv"));
    ASSERT_EQ(outcome.completionCount, 1);
    std::vector<platform::URL> urls;
    for (const auto& track : outcome.source->externalSubtitlesTracks()) {
        urls.push_back(track->externalMediaSource()->url());
    }
    EXPECT_EQ(tree.relativePaths(urls),
              (std::vector<std::string>{"Movie.srt", "Subs/Movie.ru.srt"}));
}

TEST_F(SiblingSubtitlesAttaching, TheNamesTagsGiveLanguageAndFlagsWhereTheFileHasNone) {
    tree.symbolicLink(test::mediaPath("gop-1s.mkv"), "Movie.mkv");
    tree.file("Movie.en.srt", test::samples::french);
    tree.file("Movie.pt-BR.forced.srt", test::samples::french);
    tree.file("Subs/Movie.eng.sdh.srt", test::samples::french);
    // A Matroska subtitle file says "eng" itself; its name may still add a flag.
    std::filesystem::copy_file(test::mediaPath("subtitles-srt.mkv"),
                               tree.path("Movie.fr.forced.mks"));

    const auto outcome = test::loadAndWait(tree.url("Movie.mkv"));
    ASSERT_EQ(outcome.completionCount, 1);
    const auto tracks = outcome.source->externalSubtitlesTracks();
    ASSERT_EQ(fileNamesOf(tracks),
              (std::vector<std::string>{"Movie.en.srt", "Movie.fr.forced.mks",
                                        "Movie.pt-BR.forced.srt", "Movie.eng.sdh.srt"}));
    using Codes = std::vector<std::string>;
    EXPECT_EQ(tracks[0]->languageCodes(), Codes{"en"});
    EXPECT_FALSE(tracks[0]->isForced());
    EXPECT_FALSE(tracks[0]->title());
    EXPECT_EQ(tracks[1]->languageCodes(), Codes{"en"});
    EXPECT_TRUE(tracks[1]->isForced());
    EXPECT_EQ(tracks[2]->languageCodes(), Codes{"pt-BR"});
    EXPECT_TRUE(tracks[2]->isForced());
    EXPECT_EQ(tracks[3]->languageCodes(), Codes{"en"});
    EXPECT_EQ(tracks[3]->mediaCharacteristics(),
              MediaCharacteristics::hearingImpairedWithCleanEffects());

    // The media's own audio names no language, so subtitles in the user's language are shown.
    const auto select = [&](std::vector<std::string> languages,
                            std::vector<std::string> captioning = {}) {
        return selectDefaultTracks(*outcome.source,
                                   {.languages = std::move(languages),
                                    .captioningCharacteristics = std::move(captioning),
                                    .audibleCharacteristics = {}});
    };
    EXPECT_EQ(select({"pt-BR", "en"}).primarySubtitles, tracks[2]);
    // Of the English ones, the forced file first.
    EXPECT_EQ(select({"de", "en"}).primarySubtitles, tracks[1]);
    EXPECT_EQ(
        select({"en"}, {platform::MAMediaCharacteristicDescribesMusicAndSoundForAccessibility})
            .primarySubtitles,
        tracks[3]);
    EXPECT_EQ(select({"it"}).primarySubtitles, nullptr);
}

}  // namespace
}  // namespace quillon
