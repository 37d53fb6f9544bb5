#include <gtest/gtest.h>

#include <QToolBar>
#include <QToolButton>
#include <QWidget>
#include <memory>

#include "support/WidgetApplicationEnvironment.h"
#include "platform/appkit/NSToolbar.h"
#include "platform/appkit/NSViewController.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/NSWindowController.h"

namespace platform {
namespace {

class SizedViewController : public NSViewController {
public:
    explicit SizedViewController(QSize size) : size_(size) {}
    void loadView() override {
        auto view = std::make_unique<QWidget>();
        view->setFixedSize(size_);
        setView(std::move(view));
    }

private:
    QSize size_;
};

class ListDelegate : public NSToolbarDelegate {
public:
    std::shared_ptr<NSToolbarItem> toolbarItemForItemIdentifier(NSToolbar&,
                                                                const std::string& identifier,
                                                                bool) override {
        auto item = std::make_shared<NSToolbarItem>(identifier);
        item->setLabel("Label " + identifier);
        item->setAction([this](QObject* sender) {
            clicks.push_back(dynamic_cast<NSToolbarItem*>(sender)->itemIdentifier());
        });
        return item;
    }
    std::vector<std::string> toolbarAllowedItemIdentifiers(NSToolbar&) override { return ids; }
    std::vector<std::string> toolbarDefaultItemIdentifiers(NSToolbar&) override { return ids; }
    std::vector<std::string> toolbarSelectableItemIdentifiers(NSToolbar&) override { return ids; }

    std::vector<std::string> ids{"a", "b", "c"};
    std::vector<std::string> clicks;
};

std::vector<std::string> identifiersOf(const NSToolbar& toolbar) {
    std::vector<std::string> identifiers;
    for (const auto& item : toolbar.items()) {
        identifiers.push_back(item->itemIdentifier());
    }
    return identifiers;
}

TEST(NSWindowTests, aWindowThatCannotResizeFollowsItsContent) {
    auto content = std::make_shared<SizedViewController>(QSize(300, 120));
    NSWindow window({{0, 0}, {1, 1}}, NSWindowStyleMaskTitled);
    window.setContentViewController(content);
    window.layoutIfNeeded();
    EXPECT_EQ(window.size(), QSize(300, 120));

    auto toolbar = std::make_shared<NSToolbar>();
    ListDelegate delegate;
    toolbar->setDelegate(&delegate);
    window.setToolbar(toolbar);
    window.layoutIfNeeded();
    const int toolbarHeight = toolbar->toolBar()->sizeHint().height();
    EXPECT_GT(toolbarHeight, 0);
    EXPECT_EQ(window.size(), QSize(300, 120 + toolbarHeight));
    EXPECT_EQ(window.frameRectForContentRect({{0, 0}, {300, 50}}).size,
              (CGSize{300, 50.0 + toolbarHeight}));

    content->view()->setFixedHeight(200);
    window.layoutIfNeeded();
    EXPECT_EQ(window.height(), 200 + toolbarHeight);
    toolbar->setDelegate(nullptr);
}

TEST(NSWindowTests, givesItsContentAndToolbarBackWhenItGoes) {
    auto content = std::make_shared<SizedViewController>(QSize(100, 100));
    auto toolbar = std::make_shared<NSToolbar>();
    {
        auto window = std::make_shared<NSWindow>(CGRect{{0, 0}, {1, 1}}, NSWindowStyleMaskTitled);
        window->setContentViewController(content);
        window->setToolbar(toolbar);
        NSWindowController controller(window);
        controller.showWindow();
        EXPECT_TRUE(window->isVisible());
    }
    ASSERT_TRUE(content->isViewLoaded());
    EXPECT_EQ(content->view()->parentWidget(), nullptr);
    ASSERT_NE(toolbar->toolBar(), nullptr);
    EXPECT_EQ(toolbar->toolBar()->parentWidget(), nullptr);
}

TEST(NSToolbarTests, itemsInsertedBeforeTheDelegateArriveWithIt) {
    NSToolbar toolbar;
    toolbar.insertItemWithItemIdentifier("b", 0);
    toolbar.insertItemWithItemIdentifier("a", 0);
    EXPECT_TRUE(toolbar.items().empty());
    ListDelegate delegate;
    toolbar.setDelegate(&delegate);
    EXPECT_EQ(identifiersOf(toolbar), (std::vector<std::string>{"a", "b"}));
    toolbar.insertItemWithItemIdentifier("c", 1);
    EXPECT_EQ(identifiersOf(toolbar), (std::vector<std::string>{"a", "c", "b"}));
    ASSERT_EQ(toolbar.toolBar()->actions().size(), 3);
    EXPECT_EQ(toolbar.toolBar()->actions()[1]->text(), "Label c");
    toolbar.setDelegate(nullptr);
}

TEST(NSToolbarTests, aToolbarWithoutItemsTakesTheDelegatesDefaults) {
    NSToolbar toolbar;
    ListDelegate delegate;
    toolbar.setDelegate(&delegate);
    EXPECT_EQ(identifiersOf(toolbar), delegate.ids);
    toolbar.setDelegate(nullptr);
}

TEST(NSToolbarTests, aClickRunsTheItemsActionAndTheCheckFollowsTheSelection) {
    NSToolbar toolbar;
    ListDelegate delegate;
    toolbar.setDelegate(&delegate);
    toolbar.setSelectedItemIdentifier("a");
    const auto checked = [&] {
        std::string result;
        for (const auto& item : toolbar.items()) {
            result += item->qAction().isChecked() ? "1" : "0";
        }
        return result;
    };
    EXPECT_EQ(checked(), "100");

    // The delegate's actions do not change the selection, so the check stays where it was,
    // whatever the click did to the button.
    auto* button = qobject_cast<QToolButton*>(
        toolbar.toolBar()->widgetForAction(&toolbar.items()[1]->qAction()));
    ASSERT_NE(button, nullptr);
    button->click();
    EXPECT_EQ(delegate.clicks, std::vector<std::string>{"b"});
    EXPECT_EQ(checked(), "100");

    toolbar.setSelectedItemIdentifier("c");
    EXPECT_EQ(checked(), "001");
    toolbar.setDelegate(nullptr);
}

}  // namespace
}  // namespace platform
