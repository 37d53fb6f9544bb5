#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <memory>

#include "platform/appkit/NSWindow.h"
#include "player-interface/common/SingleTopLevelObject.h"
#include "player-interface/views/AudioPlayerView.h"
#include "player-interface/views/ExternalPlaybackIndicatorView.h"
#include "support/DraggableImageView.h"
#include "support/WidgetApplicationEnvironment.h"

namespace quillon {
namespace {

// Stands in for the controls: a fixed height, any width.
class FakeControls final : public QWidget {
public:
    QSize sizeHint() const override { return {200, 40}; }
};

TEST(AudioPlayerView, ControlsStay377PointsWideBelowTheTitleBar) {
    FakeControls controls;
    {
        AudioPlayerView view(&controls);
        EXPECT_EQ(controls.parentWidget(), view.backgroundView());
        EXPECT_EQ(view.backgroundView()->blendingMode(),
                  platform::NSVisualEffectBlendingMode::behindWindow);
        EXPECT_EQ(view.backgroundView()->state(), platform::NSVisualEffectState::active);
        EXPECT_FALSE(view.contentLayoutGuideTopConstraint().has_value());
        EXPECT_EQ(view.sizeHint(), QSize(377, 40));

        view.show();
        view.resize(500, 120);
        EXPECT_EQ(view.backgroundView()->geometry(), QRect(0, 0, 500, 120));
        // Without a window only the bottom is tied.
        EXPECT_EQ(controls.geometry(), QRect(0, 80, 377, 40));
    }
    // The controls belong to their controller and outlive the view.
    EXPECT_EQ(controls.parentWidget(), nullptr);
}

TEST(AudioPlayerView, MovingToAnotherWindowReplacesTheTopConstraint) {
    FakeControls controls;
    auto view = std::make_unique<AudioPlayerView>(&controls);
    AudioPlayerView* raw = view.get();

    platform::NSWindow first(platform::CGRectMake(0, 0, 377, 40),
                             platform::NSWindowStyleMaskTitled);
    first.setCentralWidget(view.release());
    first.show();
    ASSERT_TRUE(raw->contentLayoutGuideTopConstraint().has_value());
    EXPECT_EQ(raw->contentLayoutGuideTopConstraint()->window, &first);
    raw->resize(377, 100);
    EXPECT_EQ(controls.geometry(), QRect(0, 0, 377, 100));

    platform::NSWindow second(platform::CGRectMake(0, 0, 377, 40),
                              platform::NSWindowStyleMaskTitled);
    first.takeCentralWidget();
    second.setCentralWidget(raw);
    ASSERT_TRUE(raw->contentLayoutGuideTopConstraint().has_value());
    EXPECT_EQ(raw->contentLayoutGuideTopConstraint()->window, &second);

    second.takeCentralWidget();
    raw->setParent(nullptr);
    EXPECT_FALSE(raw->contentLayoutGuideTopConstraint().has_value());
    delete raw;
}

ExternalPlaybackIndicatorView* indicatorAt(QWidget& parent, QPoint point) {
    return dynamic_cast<ExternalPlaybackIndicatorView*>(parent.childAt(point));
}

TEST(ExternalPlaybackIndicatorView, PictureInPictureIndicatorShowsOnlyATitleAt13Points) {
    const auto indicator = ExternalPlaybackIndicatorView::makePictureInPictureIndicator();
    ASSERT_NE(indicator, nullptr);
    EXPECT_EQ(indicator->titleLabel->text().toStdString(),
              "This video is playing in Picture in Picture.");
    EXPECT_TRUE(indicator->subtitleLabel->isHidden());
    EXPECT_DOUBLE_EQ(indicator->titleLabel->font().pointSizeF(), 13);
    EXPECT_EQ(indicator->indicatorImageView->accessibleName().toStdString(),
              "Picture in Picture indicator");
    ASSERT_NE(indicator->indicatorImageView->image(), nullptr);
    const auto configuration = indicator->indicatorImageView->symbolConfiguration();
    ASSERT_TRUE(configuration.has_value());
    EXPECT_DOUBLE_EQ(configuration->pointSize, 62.5);
    EXPECT_EQ(configuration->scale, platform::NSImageSymbolConfiguration::Scale::large);
    EXPECT_EQ(configuration->weight, platform::NSImageSymbolConfiguration::Weight::regular);

    // Image, 30 points, title; the hidden subtitle takes no room.
    EXPECT_DOUBLE_EQ(indicator->stackView->spacing(), 30);
    EXPECT_DOUBLE_EQ(indicator->stackView->customSpacingAfterView(indicator->titleLabel), 1.0);
    indicator->show();
    indicator->resize(600, 400);
    const QRect image = indicator->indicatorImageView->geometry();
    const QRect title = indicator->titleLabel->geometry();
    EXPECT_EQ(image.height(), 94);  // 62.5 points at the large scale, rounded up
    EXPECT_EQ(title.top() - image.bottom() - 1, 30);
    EXPECT_EQ(indicator->stackView->height(), image.height() + 30 + title.height());
    // Centred.
    EXPECT_NEAR(indicator->stackView->geometry().center().y(), 200, 1);

    // Clicks go through to what lies behind.
    QWidget parent;
    parent.resize(600, 400);
    indicator->setParent(&parent);
    indicator->setGeometry(parent.rect());
    EXPECT_EQ(indicatorAt(parent, QPoint(300, 200)), nullptr);
    EXPECT_EQ(indicator->hitTest({300, 200}), nullptr);
    indicator->setParent(nullptr);
}

TEST(ExternalPlaybackIndicatorView, ASubtitleEnlargesTheTitleAndSitsOnePointBelowIt) {
    auto indicator = ExternalPlaybackIndicatorView::makePictureInPictureIndicator();
    indicator->configure(nullptr, "Playing elsewhere", std::string("On the television"));
    EXPECT_FALSE(indicator->subtitleLabel->isHidden());
    EXPECT_EQ(indicator->subtitleLabel->text(), "On the television");
    EXPECT_DOUBLE_EQ(indicator->titleLabel->font().pointSizeF(), 17);
    EXPECT_DOUBLE_EQ(indicator->subtitleLabel->font().pointSizeF(), 13);
    indicator->show();
    indicator->resize(600, 400);
    EXPECT_EQ(
        indicator->subtitleLabel->geometry().top() - indicator->titleLabel->geometry().bottom() - 1,
        1);

    indicator->configure(nullptr, "Again", std::nullopt);
    EXPECT_TRUE(indicator->subtitleLabel->isHidden());
    EXPECT_DOUBLE_EQ(indicator->titleLabel->font().pointSizeF(), 13);
}

using ExternalPlaybackIndicatorViewDeathTest = ::testing::Test;

TEST_F(ExternalPlaybackIndicatorViewDeathTest, AnUnconnectedOutletStopsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            ExternalPlaybackIndicatorView::registerBundledNib();
            const auto broken = platform::NSNib::registerNib(
                ExternalPlaybackIndicatorView::nibName,
                [](QObject*) -> std::optional<platform::NSNib::TopLevelObjects> {
                    platform::NSNib::TopLevelObjects objects;
                    objects.push_back(std::make_unique<ExternalPlaybackIndicatorView>());
                    return objects;
                });
            ExternalPlaybackIndicatorView::makePictureInPictureIndicator();
        },
        "outlet is not connected");
}

TEST(DraggableImageView, MovesTheWindowUnlikeAPlainImageView) {
    DraggableImageView draggable;
    platform::NSImageView plain;
    EXPECT_TRUE(draggable.mouseDownCanMoveWindow());
    EXPECT_FALSE(plain.mouseDownCanMoveWindow());
}

}  // namespace
}  // namespace quillon
