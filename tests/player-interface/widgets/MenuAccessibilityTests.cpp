#include <gtest/gtest.h>

#include <QAccessible>
#include <QHBoxLayout>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QWidgetAction>
#include <memory>

#include "player-interface/widgets/MenuAccessibility.h"
#include "player-interface/widgets/PlaybackRateSlider.h"
#include "support/WidgetApplicationEnvironment.h"

namespace quillon {
namespace {

TEST(MenuAccessibilityTests, AnItemThatShowsAViewIsNamedAfterItAndLeadsToIt) {
    installMenuAccessibility();
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

TEST(MenuAccessibilityTests, AMenuSharedByTwoWindowsStaysReachableWhenTheFirstCloses) {
    installMenuAccessibility();
    QMenu controls(QStringLiteral("&Controls"));
    controls.addAction(QStringLiteral("Play/Pause"));
    auto first = std::make_unique<QMainWindow>();
    QMainWindow second;
    first->menuBar()->addMenu(&controls);
    second.menuBar()->addMenu(&controls);
    first->show();
    second.show();

    // Read first through the window that then closes.
    QAccessibleInterface* firstBar = QAccessible::queryAccessibleInterface(first->menuBar());
    ASSERT_EQ(firstBar->childCount(), 1);
    EXPECT_EQ(firstBar->child(0)->text(QAccessible::Name), "Controls");
    first.reset();

    QAccessibleInterface* secondBar = QAccessible::queryAccessibleInterface(second.menuBar());
    ASSERT_EQ(secondBar->childCount(), 1);
    QAccessibleInterface* item = secondBar->child(0);
    ASSERT_NE(item, nullptr);
    ASSERT_TRUE(item->isValid());
    EXPECT_EQ(item->role(), QAccessible::MenuItem);
    EXPECT_EQ(item->text(QAccessible::Name), "Controls");
    EXPECT_EQ(item->parent(), secondBar);
    ASSERT_EQ(item->childCount(), 1);
    EXPECT_EQ(item->child(0)->object(), &controls);
    ASSERT_NE(item->actionInterface(), nullptr);
    EXPECT_EQ(item->actionInterface()->actionNames(),
              QStringList{QAccessibleActionInterface::showMenuAction()});
}

}  // namespace
}  // namespace quillon
