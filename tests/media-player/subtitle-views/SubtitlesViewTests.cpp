#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "SubtitlesViewTestSupport.h"
#include "media-player/decoders/subtitles/SubtitleTextStyleManager.h"
#include "media-player/subtitle-views/FormattedTextSubtitleView.h"
#include "media-player/subtitle-views/ImageSubtitleView.h"
#include "media-player/subtitle-views/SubtitleTextRenderingView.h"
#include "media-player/subtitle-views/SubtitlesView.h"
#include "platform/avfoundation/AVSampleBufferRenderSynchronizer.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/UserDefaults.h"
#include "support/FakeCaptionAppearance.h"
#include "support/ManualClock.h"

namespace {

using namespace platform;
using namespace quillon;
using namespace quillon::test;

// A subtitles view on a synchronizer driven by a manual clock, with the main queue pumped by
// the test.
class SubtitlesViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(directory.isValid());
        view->resize(960, 540);
        // Shown, so that size changes reach the children at once.
        view->show();
    }
    void TearDown() override {
        view.reset();
        deliver();
    }

    // Runs what the main queue holds, including what that queues in turn.
    static void deliver() {
        for (int round = 0; round < 4; ++round) {
            DispatchQueue::main().drain();
        }
    }

    void play(double from) {
        synchronizer->setRate(1, seconds(from));
        deliver();
    }
    void advance(double by) {
        clock->advanceSeconds(by);
        deliver();
    }

    // The texts of the formatted subtitles on screen, bottom to top.
    std::vector<std::string> shownTexts() const {
        std::vector<std::string> texts;
        for (QWidget* child : view->subtitleViews()) {
            if (auto* text = dynamic_cast<FormattedTextSubtitleView*>(child)) {
                texts.push_back(text->subtitle().formattedText->string());
            }
        }
        return texts;
    }

    void enqueueFromProvider(SubtitlesFrame frame, SubtitlesView::FrameSource source = nullptr) {
        DispatchQueue::main().async(
            SubtitlesView::enqueueFrameClosure(view, std::move(frame), source));
    }

    QTemporaryDir directory;
    std::shared_ptr<UserDefaults> defaults = std::make_shared<UserDefaults>(
        directory.filePath(QStringLiteral("defaults.conf")).toStdString());
    std::shared_ptr<FakeCaptionAppearance> captionAppearance =
        std::make_shared<FakeCaptionAppearance>();
    std::shared_ptr<SubtitleTextStyleManager> styleManager =
        SubtitleTextStyleManager::make(captionAppearance, defaults);
    std::shared_ptr<ManualClock> clock = ManualClock::make();
    std::shared_ptr<AVSampleBufferRenderSynchronizer> synchronizer =
        std::make_shared<AVSampleBufferRenderSynchronizer>(clock);
    std::shared_ptr<SubtitlesView> view = SubtitlesView::make(
        true, MediaPlayerTimeObserverManager(synchronizer, kCMTimeZero), styleManager);
};

TEST_F(SubtitlesViewTest, FramesShowAtTheirTimesOverlapAndKeepTheCountOfPendingFrames) {
    play(0);
    view->enqueueFrame(textFrame(1, 3, "A"));
    view->enqueueFrame(textFrame(2, 5, "B"));
    EXPECT_EQ(view->pendingFrameCount(), 2u);

    advance(0.9);
    EXPECT_TRUE(shownTexts().empty());
    advance(0.1);
    EXPECT_EQ(shownTexts(), (std::vector<std::string>{"A"}));
    advance(1);
    EXPECT_EQ(shownTexts(), (std::vector<std::string>{"A", "B"})) << "the later one on top";
    for (QWidget* child : view->subtitleViews()) {
        EXPECT_EQ(child->geometry(), view->rect()) << "each child fills the view";
    }
    advance(1);
    EXPECT_EQ(shownTexts(), (std::vector<std::string>{"B"}));
    EXPECT_EQ(view->pendingFrameCount(), 1u);
    advance(2);
    EXPECT_TRUE(shownTexts().empty());
    EXPECT_EQ(view->pendingFrameCount(), 0u);

    // Children follow the view's size.
    view->enqueueFrame(textFrame(6, 7, "C"));
    advance(1);
    view->resize(640, 360);
    ASSERT_EQ(view->subtitleViews().size(), 1u);
    EXPECT_EQ(view->subtitleViews()[0]->geometry(), QRect(0, 0, 640, 360));
}

TEST_F(SubtitlesViewTest, LateFramesAndAPausedClock) {
    // Paused at 4 s: a frame that already started shows at once and stays while paused.
    synchronizer->setRate(0, seconds(4));
    view->enqueueFrame(textFrame(3, 6, "running"));
    view->enqueueFrame(textFrame(5, 7, "later"));
    view->enqueueFrame(textFrame(1, 2, "over"));
    deliver();
    EXPECT_EQ(shownTexts(), (std::vector<std::string>{"running"}))
        << "a frame that already ended comes and goes at once";
    EXPECT_EQ(view->pendingFrameCount(), 2u);
    advance(10);
    EXPECT_EQ(shownTexts(), (std::vector<std::string>{"running"})) << "the clock is stopped";

    synchronizer->setRate(1);
    advance(1);
    EXPECT_EQ(shownTexts(), (std::vector<std::string>{"running", "later"}));
    advance(1);
    EXPECT_EQ(shownTexts(), (std::vector<std::string>{"later"}));
}

TEST_F(SubtitlesViewTest, ClearingForASeekForgetsEverythingIncludingStartsAlreadyOnTheirWay) {
    play(0);
    view->enqueueFrame(textFrame(1, 3, "shown"));
    view->enqueueFrame(textFrame(4, 6, "pending"));
    advance(1.5);
    ASSERT_EQ(shownTexts(), (std::vector<std::string>{"shown"}));

    // A provider's frame that had already started when it arrived, then the provider's flush:
    // the frame's start is queued behind the flush.
    enqueueFromProvider(textFrame(1, 9, "stale"));
    view->removeAllSubtitlesAsync();
    deliver();
    EXPECT_TRUE(shownTexts().empty());
    EXPECT_EQ(view->pendingFrameCount(), 0u);

    // Seek back: none of the old frames come back.
    synchronizer->setRate(1, seconds(0));
    advance(10);
    EXPECT_TRUE(shownTexts().empty());
}

TEST_F(SubtitlesViewTest, APositionHandedToAnotherSourceKeepsTheOldOnesLateFramesAndClearsOut) {
    // Stand-ins for two tracks: only their identity matters.
    const char tracks[2] = {};
    const auto embedded = reinterpret_cast<SubtitlesView::FrameSource>(&tracks[0]);
    const auto external = reinterpret_cast<SubtitlesView::FrameSource>(&tracks[1]);
    play(0);
    enqueueFromProvider(textFrame(0.5, 5, "old"), embedded);
    enqueueFromProvider(textFrame(4, 6, "old pending"), embedded);
    advance(1);
    ASSERT_EQ(shownTexts(), (std::vector<std::string>{"old"}));

    // The old source's frame was on its way when the position changed hands.
    enqueueFromProvider(textFrame(1, 6, "late"), embedded);
    view->acceptFramesOnlyFrom(external);
    enqueueFromProvider(textFrame(1, 6, "new"), external);
    enqueueFromProvider(clearFrame(1.2), embedded);
    advance(0.5);
    EXPECT_EQ(shownTexts(), (std::vector<std::string>{"new"}));
    EXPECT_EQ(view->pendingFrameCount(embedded), 0u);

    // The old source's clear arrives last and leaves the new one's frames.
    view->removeSubtitlesAsync(embedded);
    deliver();
    EXPECT_EQ(shownTexts(), (std::vector<std::string>{"new"}));
    EXPECT_EQ(view->pendingFrameCount(external), 1u);
    // No track for the position: nothing stays.
    view->acceptFramesOnlyFrom(nullptr);
    deliver();
    EXPECT_TRUE(shownTexts().empty());
    EXPECT_EQ(view->pendingFrameCount(), 0u);
}

TEST_F(SubtitlesViewTest, AClearFrameRemovesOnlyWhatIsOnScreen) {
    play(0);
    view->enqueueFrame(clearFrame(0.5));
    view->enqueueFrame(textFrame(1, 10, "A"));
    view->enqueueFrame(textFrame(5, 8, "B"));
    view->enqueueFrame(clearFrame(3));
    EXPECT_EQ(view->pendingFrameCount(), 2u) << "clear frames are not counted";
    advance(0.5);
    EXPECT_EQ(view->pendingFrameCount(), 2u) << "nothing was on screen to clear";
    advance(1.5);
    ASSERT_EQ(shownTexts(), (std::vector<std::string>{"A"}));
    advance(1);
    EXPECT_TRUE(shownTexts().empty());
    EXPECT_EQ(view->pendingFrameCount(), 1u);
    advance(2);
    EXPECT_EQ(shownTexts(), (std::vector<std::string>{"B"})) << "a waiting frame survives";
}

TEST_F(SubtitlesViewTest, EmptyFramesShowNothingButStillCount) {
    play(0);
    view->enqueueFrame({seconds(1), seconds(2), Subtitles::formattedText({})});
    view->enqueueFrame({seconds(1), seconds(3), Subtitles::images({})});
    EXPECT_EQ(view->pendingFrameCount(), 2u);
    advance(1.5);
    EXPECT_TRUE(view->subtitleViews().empty());
    advance(1);
    EXPECT_EQ(view->pendingFrameCount(), 1u);
}

TEST_F(SubtitlesViewTest, PlainTextTakesTheUserStyleAtItsStartTime) {
    play(0);
    view->enqueueFrame({seconds(1), seconds(2), Subtitles::text({"plain"})});
    FakeCaptionAppearance::Values values;
    values.foregroundColor = NSColor::colorWithSRGBRed(1, 1, 0, 1);
    captionAppearance->setValues(values);
    const SubtitleTextStyle changed = styleManager->userSpecifiedStyle();
    advance(1);
    ASSERT_EQ(view->subtitleViews().size(), 1u);
    const auto* shown = dynamic_cast<FormattedTextSubtitleView*>(view->subtitleViews()[0]);
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->subtitle().style, changed);
    EXPECT_EQ(shown->subtitle().style.textAttributes.foregroundColor(),
              NSColor::colorWithSRGBRed(1, 1, 0, 1));
    EXPECT_EQ(shown->subtitle().formattedText->attributesAtIndex(0),
              changed.textAttributes.underlyingTextAttributes);
    EXPECT_EQ(shown->subtitle().formattedText->string(), "plain");
}

TEST_F(SubtitlesViewTest, TheSecondaryViewDrawsItsTextAtTheTop) {
    auto secondary = SubtitlesView::make(
        false, MediaPlayerTimeObserverManager(synchronizer, kCMTimeZero), styleManager);
    play(0);
    secondary->enqueueFrame(textFrame(1, 2, "top"));
    advance(1);
    ASSERT_EQ(secondary->subtitleViews().size(), 1u);
    auto* top = dynamic_cast<FormattedTextSubtitleView*>(secondary->subtitleViews()[0]);
    ASSERT_NE(top, nullptr);
    EXPECT_FALSE(top->renderingView().drawsAtBottom());
}

TEST_F(SubtitlesViewTest, ImagesUseTheDimensionsCurrentWhenTheyStart) {
    play(0);
    view->updateVideoDimensions(VideoDimensions(1920, 1080, std::nullopt, 1));
    deliver();
    ImageSubtitle image{solidImage(4, 4, 0, 0, 255), CGRectMake(0, 0, 4, 4), std::nullopt};
    view->enqueueFrame({seconds(1), seconds(10), Subtitles::images({image})});
    view->enqueueFrame({seconds(2), seconds(10), Subtitles::images({image})});
    advance(1);
    view->updateVideoDimensions(VideoDimensions(1280, 720, std::nullopt, 1));
    deliver();
    advance(1);
    const auto children = view->subtitleViews();
    ASSERT_EQ(children.size(), 2u);
    auto* first = dynamic_cast<ImageSubtitleView*>(children[0]);
    auto* second = dynamic_cast<ImageSubtitleView*>(children[1]);
    ASSERT_TRUE(first != nullptr && second != nullptr);
    EXPECT_EQ(first->videoDimensions(), CGSizeMake(1920, 1080));
    EXPECT_EQ(second->videoDimensions(), CGSizeMake(1280, 720));
}

TEST_F(SubtitlesViewTest, TheViewTakesNoMouseEventsAndOutlivesItsParent) {
    EXPECT_EQ(view->hitTest(CGPointMake(10, 10)), nullptr);
    EXPECT_TRUE(view->testAttribute(Qt::WA_TransparentForMouseEvents));

    auto parent = std::make_unique<QWidget>();
    view->setParent(parent.get());
    play(0);
    view->enqueueFrame(textFrame(1, 2, "still here"));
    parent.reset();
    EXPECT_EQ(view->parentWidget(), nullptr);
    advance(1);
    EXPECT_EQ(shownTexts(), (std::vector<std::string>{"still here"}));
}

TEST_F(SubtitlesViewTest, FramesAndObserversForAViewThatIsGoneDoNothing) {
    play(0);
    view->enqueueFrame(textFrame(1, 2, "pending"));
    std::weak_ptr<SubtitlesView> weakView = view;
    enqueueFromProvider(textFrame(1, 2, "in flight"));
    view->updateVideoDimensions(VideoDimensions(640, 480, std::nullopt, 1));
    view->removeAllSubtitlesAsync();

    // The last reference goes on a provider's thread: the widget goes on the main queue.
    std::thread([owned = std::move(view)]() mutable { owned.reset(); }).join();
    deliver();
    EXPECT_TRUE(weakView.expired());
    advance(2);
}

// --- Subtitles on screen together ----------------------------------------------------------------

SubtitlesFrame colouredFrame(double start, double end, const std::string& text,
                             const NSColor& colour) {
    SubtitleTextStyle style = plainStyle();
    style.textAttributes.underlyingTextAttributes.insert_or_assign(NSForegroundColorAttributeName,
                                                                   colour);
    return {seconds(start), seconds(end), Subtitles::formattedText({formatted(text, style)})};
}

const NSColor red = NSColor::colorWithSRGBRed(1, 0, 0, 1);
const NSColor green = NSColor::colorWithSRGBRed(0, 1, 0, 1);
const NSColor blue = NSColor::colorWithSRGBRed(0, 0, 1, 1);

TEST_F(SubtitlesViewTest, OverlappingCuesStackAndKeepTheirPlacesUntilTheNextOneStarts) {
    play(0);
    view->enqueueFrame(colouredFrame(1, 4, "HHHH", red));
    view->enqueueFrame(colouredFrame(2, 6, "HHHH", green));
    view->enqueueFrame(colouredFrame(5, 7, "HHHH", blue));
    advance(1);
    const std::vector<int> alone = rowsWith(picture(*view), isRed);
    ASSERT_FALSE(alone.empty());
    auto* first = dynamic_cast<FormattedTextSubtitleView*>(view->subtitleViews().at(0));
    ASSERT_NE(first, nullptr);
    const std::size_t renderings = first->renderingView().renderingCount();

    advance(1);
    QImage both = picture(*view);
    EXPECT_EQ(first->renderingView().renderingCount(), renderings)
        << "a cue that stays where it is is not drawn again";
    const std::vector<int> earlier = rowsWith(both, isRed);
    const std::vector<int> later = rowsWith(both, isGreen);
    ASSERT_FALSE(later.empty());
    ASSERT_EQ(earlier, alone) << "the cue on screen does not move";
    EXPECT_LT(later.back(), earlier.front()) << "the later cue goes above, clear of the earlier";

    advance(2);  // the earlier one ends
    EXPECT_TRUE(rowsWith(picture(*view), isRed).empty());
    EXPECT_EQ(rowsWith(picture(*view), isGreen), later) << "no jump while it is read";

    advance(1);  // the next one starts: the stack closes up
    QImage next = picture(*view);
    EXPECT_EQ(rowsWith(next, isGreen), alone);
    ASSERT_FALSE(rowsWith(next, isBlue).empty());
    EXPECT_LT(rowsWith(next, isBlue).back(), alone.front());
}

TEST_F(SubtitlesViewTest, AtTheTopTheLaterCueGoesBelow) {
    auto secondary = SubtitlesView::make(
        false, MediaPlayerTimeObserverManager(synchronizer, kCMTimeZero), styleManager);
    secondary->resize(960, 540);
    secondary->show();
    play(0);
    secondary->enqueueFrame(colouredFrame(1, 4, "HHHH", red));
    secondary->enqueueFrame(colouredFrame(2, 4, "HHHH", green));
    advance(2);
    const QImage image = picture(*secondary);
    const std::vector<int> earlier = rowsWith(image, isRed);
    const std::vector<int> later = rowsWith(image, isGreen);
    ASSERT_FALSE(earlier.empty());
    ASSERT_FALSE(later.empty());
    EXPECT_LT(earlier.back(), later.front());
    EXPECT_LT(earlier.front(), 540 / 6) << "the first one stays at the top";
}

TEST_F(SubtitlesViewTest, AnAlignmentOverrideInASubRipCuePutsItAtTheTop) {
    ASSEvents events;
    play(0);
    view->enqueueFrame(
        {seconds(1), seconds(3), Subtitles::formattedText({events.decodeSubRip("{\\an8}Sign")})});
    view->enqueueFrame(
        {seconds(1), seconds(3), Subtitles::formattedText({events.decodeSubRip("Dialogue")})});
    advance(1);
    const QImage image = picture(*view);
    const int third = 540 / 3;
    EXPECT_FALSE(rowsWith(image, isWhite, QRect(0, 0, 960, third)).empty()) << "the sign";
    EXPECT_TRUE(rowsWith(image, isWhite, QRect(0, third, 960, third)).empty());
    EXPECT_FALSE(rowsWith(image, isWhite, QRect(0, 2 * third, 960, third)).empty())
        << "the dialogue";

    // The secondary view keeps plain cues at the top, and one aligned to the bottom goes there.
    auto secondary = SubtitlesView::make(
        false, MediaPlayerTimeObserverManager(synchronizer, kCMTimeZero), styleManager);
    secondary->resize(960, 540);
    secondary->show();
    secondary->enqueueFrame(
        {seconds(3), seconds(5), Subtitles::formattedText({events.decodeSubRip("{\\an2}Low")})});
    advance(2);
    const QImage low = picture(*secondary);
    EXPECT_TRUE(rowsWith(low, isWhite, QRect(0, 0, 960, 2 * third)).empty());
    EXPECT_FALSE(rowsWith(low, isWhite, QRect(0, 2 * third, 960, third)).empty());
    secondary->enqueueFrame(
        {seconds(5), seconds(7), Subtitles::formattedText({events.decodeSubRip("High")})});
    advance(2);
    const QImage high = picture(*secondary);
    EXPECT_FALSE(rowsWith(high, isWhite, QRect(0, 0, 960, third)).empty());
    EXPECT_TRUE(rowsWith(high, isWhite, QRect(0, third, 960, 2 * third)).empty());
}

}  // namespace
