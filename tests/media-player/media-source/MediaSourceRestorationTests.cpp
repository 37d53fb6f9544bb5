#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "ExternalSubtitlesTestSupport.h"
#include "SubtitleFolderTree.h"
#include "media-player/media-source/MediaSource.h"
#include "media-player/media-source/MediaSourceRestorationParameters.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/foundation/NotificationCenter.h"

using namespace quillon;
using quillon::test::mediaURL;
using quillon::test::SubtitleFolderTree;
using ::testing::ElementsAreArray;

namespace {

using Bytes = std::vector<std::uint8_t>;
using Records = std::vector<std::shared_ptr<MediaSourceRestorationParameters>>;

constexpr const char* kIdentifierKey = "org.quillon.MediaSource.id";
constexpr const char* kRecordsKey =
    "org.quillon.MediaSource.externalSubtitlesMediaSourceRestorationParametersArray";

// A SubRip file of `cues` cues of a millisecond each.
std::string srt(std::string_view text, int cues = 1) {
    std::string contents;
    for (int i = 0; i < cues; ++i) {
        contents += fmt::format("{}\n00:00:{:02},{:03} --> 00:00:{:02},{:03}\n{}\n\n", i + 1,
                                i / 1000, i % 1000, i / 1000, i % 1000 + 1, text);
    }
    return contents;
}

std::shared_ptr<MediaSource> makeSource(std::string_view name = "gop-1s.mkv") {
    return MediaSource::make(mediaURL(name), platform::kCMTimeInvalid, true);
}

// Loads a subtitle file for `source` and attaches it, as the player's open-subtitles action does.
MediaSource::ExternalSubtitles attach(MediaSource& source, const platform::URL& url) {
    return source.addExternalSubtitles(test::loadedExternalSubtitles(source, url));
}

Bytes archive(const MediaSource& source) {
    platform::NSKeyedArchiver archiver(true);
    source.encodeRestorableState(archiver);
    return archiver.encodedData();
}

Records storedRecords(const Bytes& data) {
    platform::NSKeyedUnarchiver unarchiver(data);
    return unarchiver.decodeDecodable<Records>(kRecordsKey).value_or(Records{});
}

// Restores `source` like a document does, pumping the main queue until the completion has run;
// checks that it ran once, later, on the main queue.
void restore(const std::shared_ptr<MediaSource>& source, const Bytes& data) {
    auto coder = std::make_shared<platform::NSKeyedUnarchiver>(data);
    auto completions = std::make_shared<std::atomic<int>>(0);
    auto onMainQueue = std::make_shared<std::atomic<bool>>(false);
    source->restoreState(coder, [completions, onMainQueue] {
        *onMainQueue = platform::DispatchQueue::main().isCurrent();
        ++*completions;
    });
    EXPECT_EQ(*completions, 0) << "completed before returning to the main queue";
    ASSERT_TRUE(
        platform::runMainQueueUntil([&] { return *completions > 0; }, std::chrono::seconds(120)))
        << "restoring never completed";
    platform::DispatchQueue::main().drain();
    EXPECT_EQ(*completions, 1);
    EXPECT_TRUE(*onMainQueue);
    EXPECT_TRUE(coder->hasFinishedDecoding());
}

std::vector<std::string> trackIdentifiers(const MediaSource& source) {
    std::vector<std::string> identifiers;
    for (const auto& track : source.externalSubtitlesTracks()) {
        identifiers.push_back(track->id());
    }
    return identifiers;
}

std::vector<std::string> subtitleFileNames(const MediaSource& source) {
    std::vector<std::string> names;
    for (const auto& track : source.externalSubtitlesTracks()) {
        names.push_back(track->externalMediaSource()->url().lastPathComponent());
    }
    return names;
}

// The external track identifiers of a source each time it announces a change of its state.
struct StateChanges {
    explicit StateChanges(const MediaSource& source)
        : token(platform::NotificationCenter::defaultCenter().addObserver(
              MediaSource::restorableStateWasInvalidatedNotification, &source,
              [this, &source](const platform::Notification&) {
                  std::lock_guard lock(mutex);
                  snapshots.push_back(trackIdentifiers(source));
              })) {}

    std::mutex mutex;
    std::vector<std::vector<std::string>> snapshots;
    platform::ObserverToken token;
};

// The URL's coded form must read back exactly; a record without its URL or state is refused.
TEST(MediaSourceRestorationParameters, RoundTripAsAPropertyListAndRefuseIncompleteRecords) {
    const auto url =
        *platform::URL::fromString("file:///Films/A%20film%20100%25/d%C3%A9j%C3%A0.srt");
    const QCborMap map =
        MediaSourceRestorationParameters(std::nullopt, url, Bytes{3}).propertyListValue().toMap();
    EXPECT_FALSE(map.contains(QStringLiteral("urlBookmarkData")));
    const auto decoded = MediaSourceRestorationParameters::fromPropertyListValue(map);
    ASSERT_NE(decoded, nullptr);
    EXPECT_EQ(decoded->url(), url);
    EXPECT_EQ(decoded->restorableState(), Bytes{3});

    for (const char* key : {"url", "restorableState"}) {
        QCborMap incomplete = map;
        incomplete.remove(QString::fromLatin1(key));
        EXPECT_EQ(MediaSourceRestorationParameters::fromPropertyListValue(incomplete), nullptr);
    }
}

TEST(MediaSourceRestoration, TheIdentifierNamesEveryTrackAndAFileIsOneRecordWhateverItsTracks) {
    auto original = makeSource("multi-2v3a1s.mkv");
    {
        platform::NSKeyedUnarchiver unarchiver(archive(*original));
        EXPECT_EQ(unarchiver.decodeString(kIdentifierKey), original->id());
        EXPECT_FALSE(unarchiver.containsValue(kRecordsKey));
    }

    auto restored = makeSource("multi-2v3a1s.mkv");
    StateChanges changes(*restored);
    platform::NSKeyedArchiver archiver(true);
    archiver.encodeString("A1", kIdentifierKey);
    restore(restored, archiver.encodedData());
    EXPECT_EQ(restored->id(), "A1");
    std::vector<std::shared_ptr<MediaTrack>> tracks(restored->videoTracks().begin(),
                                                    restored->videoTracks().end());
    tracks.insert(tracks.end(), restored->audioTracks().begin(), restored->audioTracks().end());
    tracks.insert(tracks.end(), restored->embeddedSubtitlesTracks().begin(),
                  restored->embeddedSubtitlesTracks().end());
    ASSERT_EQ(tracks.size(), 6u);
    EXPECT_EQ(tracks[0]->id(), "A1.0");
    for (const auto& track : tracks) {
        EXPECT_EQ(track->id(), fmt::format("A1.{}", track->streamIndex()));
    }

    // Archives without a usable identifier or records change nothing and still complete.
    platform::NSKeyedArchiver wrongKinds(true);
    wrongKinds.encodeInt64(7, kIdentifierKey);
    platform::NSKeyedArchiver brokenRecords(true);
    brokenRecords.encodePropertyList(QCborArray{QCborMap{}}, kRecordsKey);
    restore(restored, wrongKinds.encodedData());
    restore(restored, brokenRecords.encodedData());
    EXPECT_EQ(tracks[5]->id(), fmt::format("A1.{}", tracks[5]->streamIndex()));
    EXPECT_EQ(changes.snapshots.size(), 1u);

    // Several tracks standing for one subtitle file's source make one record.
    auto subtitles = MediaSource::make(mediaURL("subtitles.srt"), original->duration(), false);
    const auto& track = subtitles->embeddedSubtitlesTracks().at(0);
    original->addExternalSubtitles({subtitles,
                                    {ExternalSubtitlesTrack::make(subtitles, track),
                                     ExternalSubtitlesTrack::make(subtitles, track)}});
    EXPECT_EQ(storedRecords(archive(*original)).size(), 1u);
}

// A large first file must not be overtaken by the small ones after it, and each file is renamed
// before the next one is attached.
TEST(MediaSourceRestoration, SubtitleFilesComeBackInOrderOneAfterAnotherWithTheirIdentifiers) {
    SubtitleFolderTree tree;
    tree.file("Large.srt", srt("Large", 3000));
    tree.file("Small.srt", srt("Small"));
    tree.file("Smaller.srt", srt("Tiny"));
    auto original = makeSource();
    for (const char* name : {"Large.srt", "Small.srt", "Smaller.srt"}) {
        attach(*original, tree.url(name));
    }
    const auto identifiers = trackIdentifiers(*original);

    auto restored = makeSource();
    StateChanges changes(*restored);
    restore(restored, archive(*original));
    EXPECT_EQ(restored->id(), original->id());
    EXPECT_THAT(subtitleFileNames(*restored),
                ElementsAreArray({"Large.srt", "Small.srt", "Smaller.srt"}));
    EXPECT_THAT(trackIdentifiers(*restored), ElementsAreArray(identifiers));

    // The source's own renaming, then per file: attached (a fresh name), renamed (the stored one).
    ASSERT_EQ(changes.snapshots.size(), 7u);
    for (std::size_t file = 0; file < 3; ++file) {
        const std::vector<std::string> stored(identifiers.begin(), identifiers.begin() + file + 1);
        EXPECT_NE(changes.snapshots[1 + 2 * file], stored) << file;
        EXPECT_EQ(changes.snapshots[1 + 2 * file].size(), file + 1);
        EXPECT_EQ(changes.snapshots[2 + 2 * file], stored) << file;
    }
}

TEST(MediaSourceRestoration, ASourceThatGoesAwayWhileItsFilesReloadStillCompletesOnce) {
    SubtitleFolderTree tree;
    tree.file("First.srt", srt("First"));
    tree.file("Second.srt", srt("Second"));
    auto original = makeSource();
    attach(*original, tree.url("First.srt"));
    attach(*original, tree.url("Second.srt"));

    auto restored = makeSource();
    auto coder = std::make_shared<platform::NSKeyedUnarchiver>(archive(*original));
    auto completions = std::make_shared<std::atomic<int>>(0);
    restored->restoreState(coder, [completions] { ++*completions; });
    // The window closes while the first file is loading.
    restored.reset();
    ASSERT_TRUE(
        platform::runMainQueueUntil([&] { return *completions > 0; }, std::chrono::seconds(120)))
        << "restoring never completed";
    platform::DispatchQueue::main().drain();
    EXPECT_EQ(*completions, 1);
    EXPECT_TRUE(coder->hasFinishedDecoding());
}

// A renamed file is found through its bookmark; a file replaced by another at its path falls
// back to the path; a deleted file, a file that no longer opens and a record whose own state is
// unreadable lose only themselves.
TEST(MediaSourceRestoration, MovedFilesAreFoundAndBrokenRecordsSkipOnlyThemselves) {
    SubtitleFolderTree tree;
    const std::vector<std::string> names{"Renamed.srt",  "Deleted.srt", "Damaged.srt",
                                         "Replaced.srt", "State.srt",   "Last.srt"};
    auto original = makeSource();
    for (const auto& name : names) {
        tree.file(name, srt(name));
        attach(*original, tree.url(name));
    }
    const auto identifiers = trackIdentifiers(*original);
    Records records = storedRecords(archive(*original));
    ASSERT_EQ(records.size(), 6u);
    records[4] = std::make_shared<MediaSourceRestorationParameters>(
        records[4]->urlBookmarkData(), records[4]->url(), Bytes{1, 2, 3});
    platform::NSKeyedArchiver archiver(true);
    archiver.encodeString(original->id(), kIdentifierKey);
    archiver.encodeEncodable(records, kRecordsKey);

    std::filesystem::rename(tree.path("Renamed.srt"), tree.path("Renamed later.srt"));
    std::filesystem::remove(tree.path("Deleted.srt"));
    tree.file("Damaged.srt", "");
    tree.folder("Elsewhere");
    std::filesystem::rename(tree.path("Replaced.srt"), tree.path("Elsewhere/Replaced.srt"));
    tree.file("Replaced.srt", srt("The new one"));

    auto restored = makeSource();
    restore(restored, archiver.encodedData());
    EXPECT_THAT(subtitleFileNames(*restored),
                ElementsAreArray({"Renamed later.srt", "Replaced.srt", "State.srt", "Last.srt"}));
    const auto restoredIdentifiers = trackIdentifiers(*restored);
    ASSERT_EQ(restoredIdentifiers.size(), 4u);
    EXPECT_EQ(restoredIdentifiers[0], identifiers[0]);
    EXPECT_EQ(restoredIdentifiers[1], identifiers[3]);
    EXPECT_NE(restoredIdentifiers[2], identifiers[4]);  // attached under its name from opening
    EXPECT_EQ(restoredIdentifiers[3], identifiers[5]);
}

// A file found beside the media and also stored is attached once, and takes the stored
// identifiers so that the restored track selections still name its tracks.
TEST(MediaSourceRestoration, AFileFoundBesideTheMediaIsNotAttachedTwice) {
    SubtitleFolderTree tree;
    tree.file("Film.srt", srt("Hello"));
    tree.file("Added.srt", srt("Added"));
    struct FixedScanner final : SiblingSubtitlesScanner {
        explicit FixedScanner(platform::URL url) : url(std::move(url)) {}
        void scan(const platform::URL&, Completion completion) const override { completion({url}); }
        platform::URL url;
    };
    const auto scanner = std::make_shared<FixedScanner>(tree.url("Film.srt"));

    auto original = test::loadAndWait(mediaURL("gop-1s.mkv"), scanner).source;
    ASSERT_NE(original, nullptr);
    attach(*original, tree.url("Added.srt"));
    const auto identifiers = trackIdentifiers(*original);

    auto restored = test::loadAndWait(mediaURL("gop-1s.mkv"), scanner).source;
    ASSERT_NE(restored, nullptr);
    const auto found = restored->externalSubtitlesTracks();
    ASSERT_EQ(found.size(), 1u);
    restore(restored, archive(*original));
    const auto tracks = restored->externalSubtitlesTracks();
    ASSERT_EQ(tracks.size(), 2u);
    EXPECT_EQ(tracks[0], found[0]);
    EXPECT_THAT(trackIdentifiers(*restored), ElementsAreArray(identifiers));
}

}  // namespace
