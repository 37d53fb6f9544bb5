#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>
#include <memory>
#include <thread>

#include "media-player/timing/MediaPlayerTimeObserverManager.h"
#include "platform/appkit/NSWindow.h"
#include "platform/avfoundation/AVSampleBufferRenderSynchronizer.h"
#include "player-interface/views/VideoPlayerView.h"
#include "support/ManualClock.h"
#include "support/WidgetApplicationEnvironment.h"

namespace quillon {
namespace {

using platform::CGAffineTransform;

class FakeControls final : public QWidget {
public:
    QSize sizeHint() const override { return {300, 50}; }
};

TEST(VideoContainerLayer, FitsThePictureRoundingUpToWholePointsWithinTheContainer) {
    // No frame yet: nothing to divide by.
    const CGAffineTransform empty = VideoContainerLayer::scalingTransform({0, 800}, {1000, 1000});
    EXPECT_TRUE(platform::CGAffineTransformIsIdentity(empty));

    const CGAffineTransform wide = VideoContainerLayer::scalingTransform({1920, 800}, {1000, 1000});
    EXPECT_DOUBLE_EQ(wide.a, 1000.0 / 1920);
    EXPECT_DOUBLE_EQ(wide.d, 417.0 / 800);

    // Rounding up never passes the container.
    const CGAffineTransform exact = VideoContainerLayer::scalingTransform({3, 3}, {10, 10});
    EXPECT_DOUBLE_EQ(exact.a * 3, 10);
    EXPECT_DOUBLE_EQ(exact.d * 3, 10);
}

class VideoPlayerViewTest : public ::testing::Test {
protected:
    std::shared_ptr<SubtitlesView> makeSubtitlesView(bool primary) {
        return SubtitlesView::make(
            primary, MediaPlayerTimeObserverManager(synchronizer, platform::kCMTimeZero));
    }

    QRect pictureRect() const { return view->videoView()->layer()->scalingLayer()->geometry(); }

    std::shared_ptr<platform::ManualClock> clock = platform::ManualClock::make();
    std::shared_ptr<platform::AVSampleBufferRenderSynchronizer> synchronizer =
        std::make_shared<platform::AVSampleBufferRenderSynchronizer>(clock);
    std::shared_ptr<platform::AVSampleBufferDisplayLayer> displayLayer =
        std::make_shared<platform::AVSampleBufferDisplayLayer>();
    std::shared_ptr<SubtitlesView> primary = makeSubtitlesView(true);
    std::shared_ptr<SubtitlesView> secondary = makeSubtitlesView(false);
    FakeControls controls;
    std::unique_ptr<VideoPlayerView> view = [this] {
        auto made = std::make_unique<VideoPlayerView>(displayLayer, primary, secondary, &controls);
        // Hidden widgets put off their resize events until they are shown.
        made->show();
        return made;
    }();
};

TEST_F(VideoPlayerViewTest, StacksPictureSubtitlesAndPanelFromBackToFront) {
    QWidget* container = view->videoViewForPictureInPicture();
    ASSERT_EQ(container->parentWidget(), view.get());
    const QObjectList layers = container->children();
    ASSERT_EQ(layers.size(), 3);
    EXPECT_EQ(layers[0], view->videoView());
    EXPECT_EQ(layers[1], secondary.get());
    EXPECT_EQ(layers[2], primary.get());
    const QObjectList top = view->children();
    EXPECT_LT(top.indexOf(container), top.indexOf(view->floatingControlsView()));
    EXPECT_EQ(controls.parentWidget(), view->floatingControlsView());
    EXPECT_EQ(view->floatingControlsView()->material(),
              platform::NSVisualEffectMaterial::hudWindow);
    EXPECT_DOUBLE_EQ(view->floatingControlsView()->cornerRadius(), 10);
    EXPECT_EQ(view->backgroundColor(), platform::NSColor::colorWithWhite(0, 1));
}

TEST_F(VideoPlayerViewTest, PanelIsCentredNearTheBottomBetween377And611PointsWide) {
    view->resize(1000, 700);
    EXPECT_EQ(view->floatingControlsView()->geometry(), QRect(195, 700 - 21 - 50, 611, 50));
    EXPECT_EQ(controls.geometry(), QRect(0, 0, 611, 50));
    view->resize(500, 700);
    EXPECT_EQ(view->floatingControlsView()->geometry(), QRect(21, 629, 458, 50));
    // Narrower than the panel's least width with its insets: the view is too small.
    EXPECT_EQ(view->minimumSizeHint().width(), 377 + 42);
    EXPECT_EQ(VideoPlayerView::floatingControlsFrame({300, 700}, 50, std::nullopt).width(), 377);
    // The title bar's limit wins over the bottom inset when the view is short.
    EXPECT_EQ(VideoPlayerView::floatingControlsFrame({1000, 60}, 50, 21.0).top(), 21);
}

TEST_F(VideoPlayerViewTest, PictureKeepsItsAspectAndFollowsResizesAndGeometryChanges) {
    view->resize(1000, 1000);
    EXPECT_EQ(pictureRect().size(), QSize(0, 0));  // no frame decoded yet

    // The provider sets the layer's geometry from its own queue.
    std::thread([&] { displayLayer->setBounds(platform::CGRectMake(0, 0, 1920, 800)); }).join();
    QApplication::processEvents();
    EXPECT_EQ(pictureRect(), QRect(0, 292, 1000, 417));  // centred: (1000 - 417) / 2

    view->resize(400, 1000);
    EXPECT_EQ(pictureRect(), QRect(0, 417, 400, 167));  // 166.67 rounded up

    // A picture turned a quarter fits by its turned size.
    view->resize(1000, 1000);
    displayLayer->setAffineTransform(platform::CGAffineTransformMakeRotation(M_PI / 2));
    QApplication::processEvents();
    EXPECT_EQ(pictureRect(), QRect(292, 0, 417, 1000));
}

TEST_F(VideoPlayerViewTest, SubtitlesCoverThePictureRectangleOrTheWholeContainer) {
    view->resize(1000, 1000);
    EXPECT_EQ(primary->geometry(), QRect(0, 0, 1000, 1000));
    view->setEffectiveVideoSize(platform::CGSize{1920, 800});
    ASSERT_TRUE(view->primarySubtitlesViewAspectRatioConstraint().has_value());
    EXPECT_DOUBLE_EQ(view->primarySubtitlesViewAspectRatioConstraint()->ratio, 2.4);
    // The picture's rectangle, with the edges rounded to whole points.
    EXPECT_EQ(primary->geometry(), QRect(0, 292, 1000, 416));
    EXPECT_EQ(secondary->geometry(), primary->geometry());

    view->resize(500, 1000);
    EXPECT_EQ(primary->geometry(), QRect(0, 396, 500, 208));

    // A tall picture in a wide view: full height, centred across.
    view->setEffectiveVideoSize(platform::CGSize{600, 800});
    EXPECT_EQ(secondary->geometry(), QRect(0, 167, 500, 666));
    view->resize(1000, 400);
    EXPECT_EQ(secondary->geometry(), QRect(350, 0, 300, 400));

    view->setEffectiveVideoSize(std::nullopt);
    EXPECT_FALSE(view->primarySubtitlesViewAspectRatioConstraint().has_value());
    EXPECT_FALSE(view->secondarySubtitlesViewAspectRatioConstraint().has_value());
    EXPECT_EQ(primary->geometry(), QRect(0, 0, 1000, 400));
    view->setEffectiveVideoSize(platform::CGSize{1000, 400});
    EXPECT_DOUBLE_EQ(view->secondarySubtitlesViewAspectRatioConstraint()->ratio, 2.5);
    // A size with no height has no ratio.
    view->setEffectiveVideoSize(platform::CGSize{1000, 0});
    EXPECT_FALSE(view->primarySubtitlesViewAspectRatioConstraint().has_value());
}

TEST_F(VideoPlayerViewTest, ClicksOnThePictureAndSubtitlesReachTheViewBehind) {
    view->resize(800, 600);
    view->setEffectiveVideoSize(platform::CGSize{16, 9});
    const QPoint middle(400, 200);
    QWidget* hit = view->childAt(middle);
    // Nothing of the picture takes it; only the plain container may, which passes clicks on.
    EXPECT_TRUE(hit == nullptr || hit == view->videoViewForPictureInPicture());
    EXPECT_EQ(view->videoView()->hitTest({400, 200}), nullptr);
    // The panel does take clicks.
    EXPECT_EQ(view->childAt(QPoint(400, 600 - 21 - 10)), &controls);
}

TEST_F(VideoPlayerViewTest, IndicatorStandsInWhileTheContainerIsAway) {
    view->resize(800, 600);
    QWidget pictureInPictureWindow;
    pictureInPictureWindow.show();
    view->pictureInPictureWillStart();
    ExternalPlaybackIndicatorView* indicator = view->pictureInPictureIndicatorView();
    ASSERT_NE(indicator, nullptr);
    EXPECT_EQ(indicator->parentWidget(), view.get());
    EXPECT_EQ(indicator->geometry(), view->rect());
    QObjectList order = view->children();
    EXPECT_LT(order.indexOf(indicator), order.indexOf(view->videoViewForPictureInPicture()));

    QWidget* container = view->videoViewForPictureInPicture();
    container->setParent(&pictureInPictureWindow);
    container->setGeometry(0, 0, 320, 180);
    view->setEffectiveVideoSize(platform::CGSize{4, 3});
    // The container keeps its own layout in the other window.
    EXPECT_EQ(primary->geometry(), QRect(40, 0, 240, 180));
    view->resize(900, 600);
    EXPECT_EQ(container->geometry(), QRect(0, 0, 320, 180));
    EXPECT_EQ(indicator->geometry(), view->rect());

    view->pictureInPictureDidStop();
    EXPECT_EQ(view->pictureInPictureIndicatorView(), nullptr);
    EXPECT_EQ(container->parentWidget(), view.get());
    EXPECT_EQ(container->geometry(), view->rect());
    order = view->children();
    EXPECT_EQ(order.indexOf(container) + 1, order.indexOf(view->floatingControlsView()));

    // Stopping without a start only puts the container back.
    view->pictureInPictureDidStop();
    EXPECT_EQ(container->parentWidget(), view.get());
}

TEST_F(VideoPlayerViewTest, DestroyingTheViewWhileTheContainerIsAwayLeavesPlayerPartsAlive) {
    QWidget pictureInPictureWindow;
    view->pictureInPictureWillStart();
    QPointer<QWidget> container = view->videoViewForPictureInPicture();
    container->setParent(&pictureInPictureWindow);
    view.reset();
    EXPECT_TRUE(container.isNull());
    EXPECT_EQ(primary->parentWidget(), nullptr);
    EXPECT_EQ(controls.parentWidget(), nullptr);
}

TEST_F(VideoPlayerViewTest, MovingToAnotherWindowReplacesThePanelsTopLimit) {
    VideoPlayerView* raw = view.release();
    platform::NSWindow first(platform::CGRectMake(0, 0, 800, 600),
                             platform::NSWindowStyleMaskTitled);
    first.setCentralWidget(raw);
    ASSERT_TRUE(raw->contentLayoutGuideTopConstraint().has_value());
    EXPECT_EQ(raw->contentLayoutGuideTopConstraint()->window, &first);
    EXPECT_DOUBLE_EQ(raw->contentLayoutGuideTopConstraint()->constant, 21);
    EXPECT_EQ(raw->minimumSizeHint(), QSize(419, 21 + 50 + 21));

    platform::NSWindow second(platform::CGRectMake(0, 0, 800, 600),
                              platform::NSWindowStyleMaskTitled);
    first.takeCentralWidget();
    second.setCentralWidget(raw);
    second.show();
    ASSERT_TRUE(raw->contentLayoutGuideTopConstraint().has_value());
    EXPECT_EQ(raw->contentLayoutGuideTopConstraint()->window, &second);
    raw->resize(500, 60);
    // Too short: the panel keeps below the title bar.
    EXPECT_EQ(raw->floatingControlsView()->geometry().top(), 21);
    second.takeCentralWidget();
    raw->setParent(nullptr);
    EXPECT_FALSE(raw->contentLayoutGuideTopConstraint().has_value());
    view.reset(raw);
}

}  // namespace
}  // namespace quillon
