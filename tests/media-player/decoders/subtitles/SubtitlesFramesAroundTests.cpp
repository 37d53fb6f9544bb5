#include <optional>
#include <span>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "media-player/decoders/subtitles/FFmpegSubtitlesFrameDecoder.h"

namespace quillon {
namespace {

using platform::CMTimeMake;

SubtitlesFrame frame(int startTenths, int endTenths, std::string text = "x") {
    return SubtitlesFrame{CMTimeMake(startTenths, 10), CMTimeMake(endTenths, 10),
                          Subtitles::text(TextSubtitle{std::move(text)})};
}

SubtitlesFrame clearFrame(int atTenths) {
    return SubtitlesFrame{CMTimeMake(atTenths, 10), CMTimeMake(atTenths, 10),
                          Subtitles::clearPreviousSubtitles()};
}

// The index where the chosen slice starts, or -1 for none; the slice must run to the end.
int sliceStart(const std::vector<SubtitlesFrame>& frames, int tenths) {
    std::optional<std::span<const SubtitlesFrame>> slice =
        subtitlesFrames(CMTimeMake(tenths, 10), frames);
    if (!slice) {
        return -1;
    }
    EXPECT_EQ(slice->data() + slice->size(), frames.data() + frames.size());
    return static_cast<int>(slice->data() - frames.data());
}

TEST(SubtitlesFramesAroundTests, EmptyListGivesNothing) {
    EXPECT_EQ(sliceStart({}, 0), -1);
}

TEST(SubtitlesFramesAroundTests, TheLastFrameOnScreenWinsThenTheFirstThatStartsLater) {
    const std::vector<SubtitlesFrame> frames{frame(0, 20), frame(10, 30), frame(50, 60)};
    EXPECT_EQ(sliceStart(frames, 15), 1);  // on screen in the first two
    EXPECT_EQ(sliceStart(frames, 5), 0);
    EXPECT_EQ(sliceStart(frames, 40), 2);  // in a gap: the next one
    EXPECT_EQ(sliceStart(frames, 70), -1);
}

TEST(SubtitlesFramesAroundTests, StartIsInsideAFrameAndEndIsNot) {
    const std::vector<SubtitlesFrame> frames{frame(10, 20), frame(20, 30)};
    EXPECT_EQ(sliceStart(frames, 10), 0);
    EXPECT_EQ(sliceStart(frames, 20), 1);
    EXPECT_EQ(sliceStart(frames, 30), -1);
}

TEST(SubtitlesFramesAroundTests, ATargetBeforeEverythingKeepsTheWholeList) {
    const std::vector<SubtitlesFrame> frames{frame(10, 20), frame(30, 40)};
    EXPECT_EQ(sliceStart(frames, 0), 0);
}

TEST(SubtitlesFramesAroundTests, ClearFramesAreNeverOnScreenButDoFollowTheTarget) {
    // A clear frame has no duration; what follows the target still includes it, so that the view
    // removes the subtitle it ends.
    const std::vector<SubtitlesFrame> frames{frame(0, 100), clearFrame(20), frame(30, 40)};
    EXPECT_EQ(sliceStart(frames, 20), 0);
    EXPECT_EQ(sliceStart(frames, 10), 0);
    const std::vector<SubtitlesFrame> onlyClears{clearFrame(10), clearFrame(20)};
    EXPECT_EQ(sliceStart(onlyClears, 10), 1);
    EXPECT_EQ(sliceStart(onlyClears, 20), -1);
}

TEST(SubtitlesFramesAroundTests, AFrameThatEndsBeforeItStartsIsNeverOnScreen) {
    // The decoder never hands one out; a list built elsewhere must not stop the process.
    const std::vector<SubtitlesFrame> frames{frame(0, 100), frame(30, 10), frame(50, 60)};
    EXPECT_EQ(sliceStart(frames, 20), 0);
}

// What a seek to `tenths` hands the view: each frame's text, or "clear".
std::vector<std::string> shownAfterSeek(const std::vector<SubtitlesFrame>& frames, int tenths) {
    std::vector<std::string> texts;
    for (const SubtitlesFrame& frame : subtitlesFramesToShow(CMTimeMake(tenths, 10), frames)) {
        const TextSubtitle* text = frame.subtitles.textSubtitle();
        texts.push_back(text != nullptr ? text->text : "clear");
    }
    return texts;
}

TEST(SubtitlesFramesAroundTests, ASeekKeepsEveryOverlappingCueOnScreenThatNoClearEnded) {
    using Texts = std::vector<std::string>;
    // Two speakers: the earlier cue stays with the later one; one that ended stays away.
    const std::vector<SubtitlesFrame> speakers{frame(0, 20, "a"), frame(2, 4, "gone"),
                                               frame(10, 30, "b"), frame(50, 60, "c")};
    EXPECT_EQ(shownAfterSeek(speakers, 15), (Texts{"a", "b", "c"}));
    EXPECT_EQ(shownAfterSeek(speakers, 40), (Texts{"c"}));
    EXPECT_EQ(shownAfterSeek(speakers, 70), Texts{});

    // Pages that last until the next replaces them: a clear before the target ended the first.
    const std::vector<SubtitlesFrame> pages{frame(0, 1000, "first"), clearFrame(20),
                                            frame(20, 1000, "second")};
    EXPECT_EQ(shownAfterSeek(pages, 30), (Texts{"second"}));
    EXPECT_EQ(shownAfterSeek(pages, 10), (Texts{"first", "clear", "second"}));
    // A clear still to come leaves the earlier cue on screen until its time.
    const std::vector<SubtitlesFrame> clearLater{frame(0, 100, "a"), frame(10, 100, "b"),
                                                 clearFrame(50)};
    EXPECT_EQ(shownAfterSeek(clearLater, 20), (Texts{"a", "b", "clear"}));
}

}  // namespace
}  // namespace quillon
