#include <gtest/gtest.h>

#include <QAccessible>
#include <QToolButton>
#include <memory>

#include "player-interface/controls/MediaPlayerControlsView.h"
#include "support/WidgetApplicationEnvironment.h"

namespace quillon {
namespace {

TEST(MediaPlayerControlsViewTests, ReplacingTheRoutePickerButtonKeepsOnlyTheNewOneLast) {
    MediaPlayerControlsView view;
    auto first = std::make_unique<QToolButton>();
    QToolButton* firstButton = first.get();
    EXPECT_EQ(view.setRoutePickerButtonView(std::move(first)), nullptr);
    QHBoxLayout& stack = *view.mainStackView();
    EXPECT_EQ(stack.itemAt(stack.count() - 1)->widget(), firstButton);

    auto second = std::make_unique<QToolButton>();
    QToolButton* secondButton = second.get();
    const auto previous = view.setRoutePickerButtonView(std::move(second));
    EXPECT_EQ(previous.get(), firstButton);
    EXPECT_EQ(previous->parentWidget(), nullptr);
    EXPECT_EQ(stack.indexOf(firstButton), -1);
    EXPECT_EQ(stack.itemAt(stack.count() - 1)->widget(), secondButton);
    EXPECT_EQ(secondButton->sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
    EXPECT_TRUE(secondButton->autoRaise());

    const int countWithButton = stack.count();
    EXPECT_EQ(view.setRoutePickerButtonView(nullptr).get(), secondButton);
    EXPECT_EQ(stack.count(), countWithButton - 1);
    EXPECT_EQ(view.routePickerButtonView(), nullptr);
}

TEST(MediaPlayerControlsViewTests, PictureInPictureButtonFollowsTheState) {
    MediaPlayerControlsView view;
    QToolButton& button = *view.pictureInPictureButton();
    EXPECT_EQ(button.accessibleName(), "Enter Picture in Picture");
    const qint64 enterIcon = button.icon().cacheKey();
    view.setPictureInPictureActive(true);
    EXPECT_EQ(button.accessibleName(), "Exit Picture in Picture");
    const qint64 exitIcon = button.icon().cacheKey();
    EXPECT_NE(exitIcon, enterIcon);
    // Setting the same state again does not rebuild the button.
    view.setPictureInPictureActive(true);
    EXPECT_EQ(button.icon().cacheKey(), exitIcon);
}

TEST(MediaPlayerControlsViewTests, PlayPauseShowsPauseWhilePlaying) {
    MediaPlayerControlsView view;
    QToolButton& button = *view.playPauseButton();
    ASSERT_NE(view.playPauseImage(), nullptr);
    ASSERT_NE(view.playPauseAlternateImage(), nullptr);
    const qint64 playIcon = button.icon().cacheKey();
    EXPECT_EQ(QAccessible::queryAccessibleInterface(&button)->text(QAccessible::Name), "Play");
    button.setChecked(true);
    EXPECT_NE(button.icon().cacheKey(), playIcon);
    EXPECT_EQ(QAccessible::queryAccessibleInterface(&button)->text(QAccessible::Name), "Pause");
    EXPECT_EQ(view.currentTimeLabel()->font().pointSizeF(), 13);
    EXPECT_EQ(view.scrubber()->accessibleName(), "Scrubber");

    // Everything draws: the tinted symbols, the bar and the knob.
    view.resize(400, 30);
    view.scrubber()->setValue(0.5);
    const QImage image = view.grab().toImage();
    ASSERT_FALSE(image.isNull());
    const QRect knob = view.scrubber()->knobRect().toAlignedRect().translated(
        view.scrubber()->mapTo(&view, QPoint(0, 0)));
    EXPECT_GT(qAlpha(image.pixel(knob.center())), 0);
}

}  // namespace
}  // namespace quillon
