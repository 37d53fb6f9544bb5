#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <fmt/format.h>

#include "SubtitleFolderTree.h"
#include "media-player/media-source/FileResourceIdentifier.h"
#include "media-player/media-source/SubtitleFileScan.h"
#include "media-player/media-source/SupportedFileExtensions.h"
#include "platform/dispatch/DispatchSemaphore.h"
#include "platform/foundation/Error.h"

using namespace quillon;
using quillon::test::SubtitleFolderTree;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;

namespace {

std::vector<std::string> scan(const SubtitleFolderTree& tree, std::string_view mediaFile) {
    return tree.relativePaths(siblingSubtitlesFiles(tree.url(mediaFile)));
}

TEST(SupportedFileExtensionsTest, HoldsTheDeclaredSubtitleFormatsAndClosedCaptions) {
    const auto& extensions = supportedFileExtensions().declared();
    for (const char* extension :
         {"srt", "ass", "ssa", "vtt", "sub", "idx", "sup", "smi", "sami", "mks", "scc"}) {
        EXPECT_TRUE(extensions.contains(extension)) << extension;
    }
    // Plain text and media are not subtitles.
    for (const char* extension : {"txt", "mkv", "mp4", "nfo"}) {
        EXPECT_FALSE(supportedFileExtensions().contains(extension)) << extension;
    }
    EXPECT_TRUE(supportedFileExtensions().contains("SRT"));
    EXPECT_TRUE(supportedFileExtensions().contains("Idx"));
    EXPECT_FALSE(supportedFileExtensions().contains(""));
}

// Declarations may spell extensions in any case; the set keeps their spelling and matching
// lower-cases both sides.
TEST(SupportedFileExtensionsTest, KeepsTheDeclaredCaseAndMatchesWithoutRegardToIt) {
    const platform::UTTypeRegistry registry({
        {"org.quillon.subtitles", "Subtitles", {"public.data"}, {}},
        {"org.example.loud",
         "Loud",
         {"org.quillon.subtitles"},
         {{"public.filename-extension", {"SRT", "Vtt"}}}},
        {"org.example.nested",
         "Nested",
         {"org.example.loud"},
         {{"public.filename-extension", {"lrc"}}}},
        {"org.example.notes", "Notes", {"public.data"}, {{"public.filename-extension", {"nfo"}}}},
        {"com.scenarist.closed-caption",
         "Captions",
         {"public.data"},
         {{"public.filename-extension", {"SCC"}}}},
    });
    platform::BundleTypeDeclarations bundle;
    bundle.imported = {*registry.declaration("org.example.loud"),
                       *registry.declaration("org.example.notes")};
    bundle.exported = {*registry.declaration("org.quillon.subtitles"),
                       *registry.declaration("org.example.nested")};

    const auto extensions = SupportedFileExtensions::make(registry, bundle);
    EXPECT_EQ(extensions.declared(), (std::unordered_set<std::string>{"SRT", "Vtt", "lrc", "SCC"}));
    EXPECT_TRUE(extensions.contains("srt"));
    EXPECT_TRUE(extensions.contains("VTT"));
    EXPECT_TRUE(extensions.contains("scc"));
    EXPECT_FALSE(extensions.contains("nfo"));

    SubtitleFolderTree tree;
    for (const char* name : {"Film.mkv", "film.srt", "Film.VTT", "Film.Scc", "Film.nfo"}) {
        tree.file(name);
    }
    EXPECT_THAT(tree.relativePaths(siblingSubtitlesFiles(tree.url("Film.mkv"), extensions)),
                ElementsAre("Film.Scc", "film.srt", "Film.VTT"));
}

TEST(SubtitleFileScanTest, FindsExactAndPrefixedNamesInTheFileBrowsersOrder) {
    SubtitleFolderTree tree;
    for (const char* name : {"Movie.mkv", "Movie.srt", "Movie.EN.SRT", "Movie.idx", "Movie.sub",
                             "Movie - English.ass", "Movie.10.srt", "Movie.2.srt", "The Movie.srt",
                             "Movie.nfo", "Movie.txt", "Other.srt", "Movie.fr.sub"}) {
        tree.file(name);
    }
    // A folder is never a subtitle file, whatever its name.
    tree.folder("Movie.extras.srt");

    EXPECT_THAT(scan(tree, "Movie.mkv"),
                ElementsAre("Movie - English.ass", "Movie.2.srt", "Movie.10.srt", "Movie.EN.SRT",
                            "Movie.fr.sub", "Movie.idx", "Movie.srt"));
}

TEST(SubtitleFileScanTest, OffersAVobSubPairThroughItsIndexWhateverTheExtensionsCase) {
    SubtitleFolderTree tree;
    for (const char* name : {"Movie.mkv", "Movie.IDX", "Movie.Sub", "Movie.en.sub"}) {
        tree.file(name);
    }
    EXPECT_THAT(scan(tree, "Movie.mkv"), ElementsAre("Movie.en.sub", "Movie.IDX"));
}

TEST(SubtitleFileScanTest, SearchesTheSubtitlesFoldersInOrderAfterTheMediaFolder) {
    SubtitleFolderTree tree;
    tree.file("Show/Movie.mkv");
    tree.file("Show/Movie.srt");
    tree.file("Show/subs/Movie.srt");
    tree.file("Show/Subs/Movie.srt");
    tree.file("Show/subtitles/Movie.srt");
    tree.file("Show/Subtitles/Movie.srt");
    tree.file("Show/Subtitles/Movie.de.srt");
    // Neither deeper folders nor other folders are searched.
    tree.file("Show/Subs/English/Movie.srt");
    tree.file("Show/Extras/Movie.srt");
    tree.file("Show/SUBS/Movie.srt");

    EXPECT_THAT(
        scan(tree, "Show/Movie.mkv"),
        ElementsAre("Show/Movie.srt", "Show/Subtitles/Movie.de.srt", "Show/Subtitles/Movie.srt",
                    "Show/subtitles/Movie.srt", "Show/Subs/Movie.srt", "Show/subs/Movie.srt"));
}

// On a case-insensitive volume "Subs" and "subs" are one folder; links make the same situation
// on any volume.
TEST(SubtitleFileScanTest, SearchesAFolderReachedThroughSeveralCandidatesOnce) {
    SubtitleFolderTree tree;
    tree.file("Show/Movie.mkv");
    tree.file("Show/Movie.srt");
    tree.file("Show/Subtitles/Movie.en.srt");
    tree.symbolicLink(".", "Show/Subs");
    tree.symbolicLink("Subtitles", "Show/subs");

    EXPECT_THAT(scan(tree, "Show/Movie.mkv"),
                ElementsAre("Show/Movie.srt", "Show/Subtitles/Movie.en.srt"));
}

TEST(SubtitleFileScanTest, MatchesNamesWithoutRegardToCaseAndDiacritics) {
    SubtitleFolderTree tree;
    for (const char* name : {"Amélie.mkv", "amelie.srt", "AMÉLIE.fr.srt", "Ame\u0301lie.de.srt",
                             "Amelia.srt", "Améli.srt"}) {
        tree.file(name);
    }
    EXPECT_THAT(scan(tree, "Amélie.mkv"),
                UnorderedElementsAre("amelie.srt", "AMÉLIE.fr.srt", "Ame\u0301lie.de.srt"));

    // White space around either name does not count.
    tree.file("  Clip .webm");
    tree.file(" clip\t.en.srt");
    EXPECT_THAT(scan(tree, "  Clip .webm"), ElementsAre(" clip\t.en.srt"));
}

// Every name begins with the empty string; a nameless media file must still find nothing.
TEST(SubtitleFileScanTest, AMediaFileWithoutABaseNameFindsNothing) {
    SubtitleFolderTree tree;
    for (const char* name : {" .mkv", "\t \n.mp4", "Movie.srt", " .srt", "x.ass"}) {
        tree.file(name);
    }
    EXPECT_THAT(scan(tree, " .mkv"), IsEmpty());
    EXPECT_THAT(scan(tree, "\t \n.mp4"), IsEmpty());
}

TEST(SubtitleFileScanTest, NeverOffersHiddenFiles) {
    SubtitleFolderTree tree;
    for (const char* name :
         {".Movie.mkv", ".Movie.srt", ".Movie.en.srt", ".Subs/.Movie.srt", "Subs/.Movie.de.srt"}) {
        tree.file(name);
    }
    EXPECT_THAT(scan(tree, ".Movie.mkv"), IsEmpty());
}

TEST(SubtitleFileScanTest, OffersLinkedFilesOnceWithTheirTargetsPath) {
    SubtitleFolderTree tree;
    tree.file("Movie.mkv");
    tree.file("Elsewhere/Original.srt");
    tree.symbolicLink("Elsewhere/Original.srt", "Movie.en.srt");
    tree.symbolicLink("Missing.srt", "Movie.gone.srt");
    tree.file("Subs/Movie.srt");
    // Every name below reaches Subs/Movie.srt; only the first in order is kept.
    tree.hardLink("Subs/Movie.srt", "Movie.de.srt");
    tree.symbolicLink("Subs/Movie.srt", "Movie.fr.srt");
    tree.symbolicLink("../Movie.de.srt", "Subs/Movie.it.srt");

    EXPECT_THAT(scan(tree, "Movie.mkv"), ElementsAre("Movie.de.srt", "Elsewhere/Original.srt"));
}

TEST(SubtitleFileScanTest, ExaminesAtMostTenThousandEntriesPerFolder) {
    SubtitleFolderTree tree;
    tree.file("Movie.mkv");
    tree.file("Movie.srt");
    tree.file("Subs/Movie.srt");
    const std::size_t count = maximumExaminedEntriesPerFolder + 3;
    for (std::size_t index = 0; index < count; ++index) {
        tree.file(fmt::format("Subtitles/Movie.{:05}.srt", index));
    }

    const auto found = scan(tree, "Movie.mkv");
    ASSERT_EQ(found.size(), maximumExaminedEntriesPerFolder + 2);
    EXPECT_EQ(found.front(), "Movie.srt");
    EXPECT_EQ(found.back(), "Subs/Movie.srt");
    // The crowded folder's files are still in order, whichever of them were examined.
    EXPECT_TRUE(std::is_sorted(found.begin() + 1, found.end() - 1));
}

TEST(SubtitleFileScanTest, SkipsFoldersThatCannotBeListed) {
    SubtitleFolderTree tree;
    tree.file("Movie.mkv");
    tree.file("Movie.srt");
    // A file where a subtitles folder would be.
    tree.file("Subtitles", "not a folder");
    tree.file("subs/Movie.en.srt");
    tree.file("Subs/Movie.de.srt");
    tree.lock("Subs");

    const auto found = scan(tree, "Movie.mkv");
    if (quillon::test::runsAsRoot()) {
        // Permissions don't stop root, so the locked folder is listed; the file in place of a
        // folder above still exercises the folder that can't be listed.
        GTEST_LOG_(INFO) << "Running as root: a folder without permissions is still readable";
        EXPECT_THAT(found, ElementsAre("Movie.srt", "Subs/Movie.de.srt", "subs/Movie.en.srt"));
    } else {
        EXPECT_THAT(found, ElementsAre("Movie.srt", "subs/Movie.en.srt"));
    }
}

TEST(SubtitleFileScanTest, FindsNothingWithoutAFolderOrAFileURL) {
    SubtitleFolderTree tree;
    EXPECT_THAT(scan(tree, "Missing/Movie.mkv"), IsEmpty());
    EXPECT_THAT(siblingSubtitlesFiles(*platform::URL::fromString("https://example.com/Movie.mkv")),
                IsEmpty());
}

TEST(SubtitleFileScanTest, ReportsOnceFromAnotherThread) {
    SubtitleFolderTree tree;
    tree.file("Movie.mkv");
    tree.file("Movie.srt");

    struct Report {
        std::atomic<int> calls = 0;
        std::vector<platform::URL> files;
        std::thread::id thread;
        platform::DispatchSemaphore done;
    };
    auto found = std::make_shared<Report>();
    auto missing = std::make_shared<Report>();
    for (auto [url, report] :
         {std::pair{tree.url("Movie.mkv"), found},
          std::pair{*platform::URL::fromString("https://example.com/Movie.mkv"), missing}}) {
        findSiblingSubtitlesFiles(url, [report](std::vector<platform::URL> files) {
            report->files = std::move(files);
            report->thread = std::this_thread::get_id();
            ++report->calls;
            report->done.signal();
        });
    }
    for (const auto& report : {found, missing}) {
        ASSERT_EQ(report->done.wait(std::chrono::seconds(20)),
                  platform::DispatchTimeoutResult::success);
        EXPECT_EQ(report->calls, 1);
        EXPECT_NE(report->thread, std::this_thread::get_id());
    }
    EXPECT_THAT(tree.relativePaths(found->files), ElementsAre("Movie.srt"));
    EXPECT_THAT(missing->files, IsEmpty());
}

TEST(FileResourceIdentifierTest, IsOneValueForEveryPathToAFile) {
    SubtitleFolderTree tree;
    tree.file("a.srt", "one");
    tree.file("copy.srt", "one");
    tree.hardLink("a.srt", "hard.srt");
    tree.symbolicLink("a.srt", "soft.srt");
    tree.folder("Folder");
    tree.symbolicLink(".", "Folder/Up");

    const auto identifier = [&](std::string_view path) {
        return *FileResourceIdentifier::make(tree.url(path));
    };
    const auto original = identifier("a.srt");
    EXPECT_EQ(identifier("hard.srt"), original);
    EXPECT_EQ(identifier("soft.srt"), original);
    EXPECT_EQ(identifier("Folder/../a.srt"), original);
    EXPECT_EQ(std::hash<FileResourceIdentifier>{}(identifier("hard.srt")),
              std::hash<FileResourceIdentifier>{}(original));
    EXPECT_NE(identifier("copy.srt"), original);
    EXPECT_EQ(identifier("Folder/Up"), identifier("Folder"));

    std::unordered_map<FileResourceIdentifier, int> attached;
    for (const char* path : {"a.srt", "hard.srt", "soft.srt", "copy.srt"}) {
        ++attached[identifier(path)];
    }
    EXPECT_EQ(attached.size(), 2U);
    EXPECT_EQ(attached[original], 3);
}

TEST(FileResourceIdentifierTest, ThrowsForAMissingFileAndHasNoneForOtherURLs) {
    SubtitleFolderTree tree;
    try {
        (void)FileResourceIdentifier::make(tree.url("missing.srt"));
        FAIL() << "a missing file has no identity to read";
    } catch (const platform::NSError& error) {
        EXPECT_EQ(error.domain(), platform::NSPOSIXErrorDomain);
        EXPECT_EQ(error.code(), ENOENT);
    }
    EXPECT_FALSE(
        FileResourceIdentifier::make(*platform::URL::fromString("https://example.com/Movie.srt"))
            .has_value());
}

}  // namespace
