#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QPalette>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>

#include "libraries/preferences-window/LastViewedPreferencePaneController.h"
#include "libraries/preferences-window/PreferencesTestSupport.h"
#include "libraries/preferences-window/PreferencesWindowController.h"
#include "libraries/preferences-window/ToolbarPreferencePaneSelectionController.h"
#include "platform/appkit/NSToolbar.h"
#include "platform/foundation/MainBundle.h"
#include "platform/foundation/UserDefaults.h"

namespace preferences_window {
namespace {

using test::makePane;
using test::runUntil;
using test::ToolbarTestPane;

constexpr const char* kKey = "PWLastViewedPreferencePaneIdentifier";

class PreferencesWindowControllerTests : public ::testing::Test {
protected:
    void SetUp() override {
        platform::setMainBundleDisplayName("Quillon Player");
        platform::UserDefaults::standard().removeObject(kKey);
        general = makePane("general", {400, 200}, "General");
        advanced = makePane("advanced", {460, 120}, "Advanced");
        debug = makePane("debug", {300, 320}, "Debug");
    }

    static platform::NSToolbar* toolbarOf(PreferencesWindowController& controller) {
        return controller.window()->toolbar();
    }

    static std::vector<std::string> itemLabels(PreferencesWindowController& controller) {
        std::vector<std::string> labels;
        for (const auto& item : toolbarOf(controller)->items()) {
            labels.push_back(item->label());
        }
        return labels;
    }

    static void click(PreferencesWindowController& controller, std::size_t index) {
        platform::NSToolbar* toolbar = toolbarOf(controller);
        auto* button = qobject_cast<QToolButton*>(
            toolbar->toolBar()->widgetForAction(&toolbar->items().at(index)->qAction()));
        ASSERT_NE(button, nullptr);
        button->click();
    }

    static bool switchFinished(PreferencesWindowController& controller) {
        return !controller.windowViewController().currentAnimationUUID().has_value();
    }

    static int toolbarHeight(PreferencesWindowController& controller) {
        return toolbarOf(controller)->toolBar()->height();
    }

    std::shared_ptr<ToolbarTestPane> general;
    std::shared_ptr<ToolbarTestPane> advanced;
    std::shared_ptr<ToolbarTestPane> debug;
};

TEST_F(PreferencesWindowControllerTests, onePaneHasNoToolbarAndTheGenericTitle) {
    PreferencesWindowController controller(std::vector<PreferencePaneViewController>{general});
    EXPECT_EQ(controller.window()->toolbar(), nullptr);
    EXPECT_TRUE(controller.window()->findChildren<QToolBar*>().isEmpty());
    EXPECT_EQ(controller.window()->title(), "Quillon Player Preferences");
    EXPECT_EQ(controller.window()->identifier(), "PreferencesWindowKit.window");

    controller.showWindow();
    EXPECT_TRUE(controller.window()->isVisible());
    EXPECT_EQ(controller.window()->size(), QSize(400, 200));
    general->setTitle("Renamed");
    EXPECT_EQ(controller.window()->title(), "Quillon Player Preferences");
}

TEST_F(PreferencesWindowControllerTests, severalPanesHaveOneToolbarItemEachInOrder) {
    advanced->setTitle(std::nullopt);
    PreferencesWindowController controller({general, advanced, debug});
    platform::NSToolbar* toolbar = toolbarOf(controller);
    ASSERT_NE(toolbar, nullptr);
    ASSERT_EQ(toolbar->items().size(), 3u);
    EXPECT_EQ(toolbar->items()[0]->itemIdentifier(), "general");
    EXPECT_EQ(toolbar->items()[1]->itemIdentifier(), "advanced");
    EXPECT_EQ(toolbar->items()[2]->itemIdentifier(), "debug");
    EXPECT_EQ(toolbar->toolBar()->actions().size(), 3);
    EXPECT_NE(toolbar->items()[0]->image(), nullptr);
    EXPECT_EQ(itemLabels(controller),
              (std::vector<std::string>{"General", "Preferences", "Debug"}));

    // Labels follow the panes' titles.
    advanced->setTitle("Advanced");
    debug->setTitle(std::nullopt);
    EXPECT_EQ(itemLabels(controller),
              (std::vector<std::string>{"General", "Advanced", "Preferences"}));
}

TEST_F(PreferencesWindowControllerTests, aOnePixelLineSeparatesTheToolbarFromThePane) {
    PreferencesWindowController controller({general, advanced});
    controller.showWindow();
    QToolBar* toolBar = toolbarOf(controller)->toolBar();
    ASSERT_GT(toolBar->height(), 2);
    const QImage image = toolBar->grab().toImage();
    const QColor line = toolBar->palette().color(QPalette::Mid);
    ASSERT_NE(line.rgb(), toolBar->palette().color(QPalette::Window).rgb());
    const int bottom = image.height() - 1;
    for (int x = 0; x < image.width(); x += std::max(1, image.width() / 16)) {
        EXPECT_EQ(image.pixelColor(x, bottom).rgb(), line.rgb()) << "x " << x;
    }
    // One pixel: the row above is the toolbar again.
    EXPECT_NE(image.pixelColor(0, bottom - 1).rgb(), line.rgb());
}

TEST_F(PreferencesWindowControllerTests, opensOnTheLastViewedPane) {
    platform::UserDefaults::standard().set("advanced", kKey);
    PreferencesWindowController controller({general, advanced, debug});
    EXPECT_EQ(toolbarOf(controller)->selectedItemIdentifier(), "advanced");
    EXPECT_TRUE(toolbarOf(controller)->items()[1]->qAction().isChecked());
    EXPECT_EQ(controller.window()->title(), "Advanced");

    controller.showWindow();
    EXPECT_EQ(advanced->view()->parentWidget(), controller.windowViewController().view());
    EXPECT_TRUE(advanced->view()->isVisible());
    EXPECT_FALSE(general->isViewLoaded() && general->view()->isVisible());
    // As wide as the widest pane, as high as the shown one.
    EXPECT_EQ(controller.window()->size(), QSize(460, 120 + toolbarHeight(controller)));
}

TEST_F(PreferencesWindowControllerTests, aPaneNoLongerOfferedFallsBackToTheFirst) {
    platform::UserDefaults::standard().set("castlink", kKey);
    PreferencesWindowController controller({general, advanced});
    EXPECT_EQ(controller.windowViewController().visiblePreferencePaneIdentifier(),
              PreferencePaneIdentifier("general"));
    EXPECT_EQ(platform::UserDefaults::standard().stringForKey(kKey), "general");
}

TEST_F(PreferencesWindowControllerTests, aClickSwitchesResizesRetitlesAndIsRemembered) {
    {
        PreferencesWindowController controller({general, advanced, debug});
        controller.showWindow();
        const QPoint topLeft = controller.window()->pos();
        const int toolbar = toolbarHeight(controller);
        EXPECT_EQ(controller.window()->size(), QSize(460, 200 + toolbar));

        click(controller, 2);
        EXPECT_EQ(controller.selectionController().selectedPreferencePaneIdentifier(),
                  PreferencePaneIdentifier("debug"));
        EXPECT_EQ(controller.window()->title(), "Debug");
        EXPECT_EQ(platform::UserDefaults::standard().stringForKey(kKey), "debug");
        // The new pane shows once the window has its new height.
        EXPECT_FALSE(debug->view()->isVisible());
        ASSERT_TRUE(runUntil([&] { return switchFinished(controller); }));
        EXPECT_TRUE(runUntil([&] { return controller.window()->height() == 320 + toolbar; }));
        EXPECT_TRUE(debug->view()->isVisible());
        EXPECT_EQ(controller.window()->width(), 460);
        EXPECT_EQ(controller.window()->pos(), topLeft);
        EXPECT_EQ(general->view()->parentWidget(), nullptr);

        // A pane's title change retitles the window; without a title it takes the generic one.
        debug->setTitle("Diagnostics");
        EXPECT_EQ(controller.window()->title(), "Diagnostics");
        debug->setTitle(std::nullopt);
        EXPECT_EQ(controller.window()->title(), "Quillon Player Preferences");
    }
    PreferencesWindowController reopened({general, advanced, debug});
    EXPECT_EQ(reopened.windowViewController().visiblePreferencePaneIdentifier(),
              PreferencePaneIdentifier("debug"));
    EXPECT_EQ(toolbarOf(reopened)->selectedItemIdentifier(), "debug");
}

TEST_F(PreferencesWindowControllerTests, aNewerSwitchTakesOverFromOneStillRunning) {
    PreferencesWindowController controller({general, advanced, debug});
    controller.showWindow();
    click(controller, 1);
    const auto firstSwitch = controller.windowViewController().currentAnimationUUID();
    ASSERT_TRUE(firstSwitch.has_value());
    click(controller, 2);
    EXPECT_NE(controller.windowViewController().currentAnimationUUID(), firstSwitch);
    EXPECT_EQ(advanced->view()->parentWidget(), nullptr);
    ASSERT_TRUE(runUntil([&] { return switchFinished(controller); }));
    EXPECT_TRUE(debug->view()->isVisible());
    EXPECT_EQ(controller.window()->title(), "Debug");
    EXPECT_TRUE(
        runUntil([&] { return controller.window()->height() == 320 + toolbarHeight(controller); }));
}

TEST_F(PreferencesWindowControllerTests, clickingTheShownPaneTellsTheDelegateAgain) {
    PreferencesWindowController controller({general, advanced});
    controller.showWindow();
    platform::UserDefaults::standard().removeObject(kKey);
    click(controller, 0);
    // Nothing to switch, but the choice is remembered again.
    EXPECT_FALSE(controller.windowViewController().currentAnimationUUID().has_value());
    EXPECT_EQ(platform::UserDefaults::standard().stringForKey(kKey), "general");
    EXPECT_TRUE(toolbarOf(controller)->items()[0]->qAction().isChecked());
    EXPECT_FALSE(toolbarOf(controller)->items()[1]->qAction().isChecked());
}

TEST_F(PreferencesWindowControllerTests, onlyTheFirstShowingCentresTheWindow) {
    PreferencesWindowController controller({general, advanced});
    controller.showWindow();
    EXPECT_TRUE(controller.hasBeenShown());
    controller.window()->move(5, 7);
    controller.showWindow();
    EXPECT_EQ(controller.window()->pos(), QPoint(5, 7));
}

TEST_F(PreferencesWindowControllerTests, showPreferencePaneSelectsAndShows) {
    PreferencesWindowController controller({general, advanced});
    // Before the window was ever shown, the pane is only recorded.
    controller.showPreferencePane(PreferencePaneIdentifier("advanced"));
    EXPECT_TRUE(controller.window()->isVisible());
    EXPECT_EQ(toolbarOf(controller)->selectedItemIdentifier(), "advanced");
    EXPECT_TRUE(advanced->view()->isVisible());
    EXPECT_EQ(controller.window()->title(), "Advanced");
    EXPECT_EQ(platform::UserDefaults::standard().stringForKey(kKey), "advanced");
}

TEST_F(PreferencesWindowControllerTests, aPerformedActionFromSomethingElseChangesNothing) {
    PreferencesWindowController controller({general, advanced});
    auto& selection =
        dynamic_cast<ToolbarPreferencePaneSelectionController&>(controller.selectionController());
    QObject notAnItem;
    selection.performToolbarItemAction(&notAnItem);
    selection.performToolbarItemAction(nullptr);
    EXPECT_EQ(selection.selectedPreferencePaneIdentifier(), PreferencePaneIdentifier("general"));
}

TEST(PreferencesWindowViewControllerTests, withoutAWindowASwitchShowsAtOnce) {
    auto first = makePane("first", {200, 100}, "First");
    auto second = makePane("second", {250, 150}, "Second");
    PreferencesWindowViewController controller(PreferencePaneViewControllers({first, second}));
    QWidget* view = controller.view();
    EXPECT_EQ(controller.width(), 250);
    EXPECT_EQ(first->view()->parentWidget(), view);
    controller.showPreferencePane(PreferencePaneIdentifier("second"));
    EXPECT_FALSE(controller.currentAnimationUUID().has_value());
    EXPECT_EQ(first->view()->parentWidget(), nullptr);
    EXPECT_EQ(second->view()->parentWidget(), view);
    EXPECT_FALSE(second->view()->isHidden());
}

}  // namespace
}  // namespace preferences_window
