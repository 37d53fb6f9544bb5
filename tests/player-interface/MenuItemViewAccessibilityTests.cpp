#include <gtest/gtest.h>

#include <QAccessible>
#include <QHBoxLayout>
#include <QMenu>
#include <QWidgetAction>

#include "player-interface/MenuItemViewAccessibility.h"
#include "player-interface/PlaybackRateSlider.h"
#include "support/WidgetApplicationEnvironment.h"

namespace quillon {
namespace {

TEST(MenuItemViewAccessibilityTests, AnItemThatShowsAViewIsNamedAfterItAndLeadsToIt) {
    installMenuItemViewAccessibility();
    QMenu menu(QStringLiteral("&Controls"));
    menu.addAction(QStringLiteral("Play/Pause"));
    auto* view = new QWidget;
    auto* layout = new QHBoxLayout(view);
    PlaybackRateSlider* slider = makePlaybackRateSlider().release();
    layout->addWidget(slider);
    auto* item = new QWidgetAction(&menu);
    item->setDefaultWidget(view);
    menu.addAction(item);

    QAccessibleInterface* accessibleMenu = QAccessible::queryAccessibleInterface(&menu);
    ASSERT_NE(accessibleMenu, nullptr);
    ASSERT_EQ(accessibleMenu->childCount(), 2);
    QAccessibleInterface* accessibleItem = accessibleMenu->child(1);
    ASSERT_NE(accessibleItem, nullptr);
    EXPECT_EQ(accessibleItem->role(), QAccessible::MenuItem);
    EXPECT_EQ(accessibleItem->text(QAccessible::Name), "Playback rate");
    EXPECT_EQ(accessibleItem->parent(), accessibleMenu);

    // Down from the item to the slider, and back up the same way.
    ASSERT_EQ(accessibleItem->childCount(), 1);
    QAccessibleInterface* accessibleView = accessibleItem->child(0);
    ASSERT_NE(accessibleView, nullptr);
    EXPECT_EQ(accessibleView->object(), view);
    EXPECT_EQ(accessibleView->parent(), accessibleItem);
    EXPECT_EQ(accessibleItem->indexOfChild(accessibleView), 0);
    QAccessibleInterface* accessibleSlider = QAccessible::queryAccessibleInterface(slider);
    EXPECT_EQ(accessibleSlider->parent(), accessibleView);
    EXPECT_GE(accessibleView->indexOfChild(accessibleSlider), 0);

    // An item's own text wins over its view's name; a disabled item reads as disabled.
    item->setText(QStringLiteral("&Speed"));
    EXPECT_EQ(accessibleItem->text(QAccessible::Name), "Speed");
    item->setEnabled(false);
    EXPECT_TRUE(accessibleItem->state().disabled);
}

}  // namespace
}  // namespace quillon
