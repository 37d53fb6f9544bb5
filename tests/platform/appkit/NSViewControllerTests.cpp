#include <gtest/gtest.h>

#include <QWidget>
#include <memory>

#include "support/WidgetApplicationEnvironment.h"
#include "platform/appkit/NSViewController.h"
#include "platform/appkit/NSWindow.h"

namespace platform {
namespace {

class RecordingViewController : public NSViewController {
public:
    void loadView() override {
        ++loadViewCalls;
        auto view = std::make_unique<QWidget>();
        view->setFixedSize(200, 100);
        setView(std::move(view));
    }
    void viewDidLoad() override { ++viewDidLoadCalls; }
    void viewWillAppear() override { events += "willAppear "; }
    void viewDidAppear() override { events += "didAppear "; }
    void viewWillDisappear() override { events += "willDisappear "; }
    void viewDidDisappear() override { events += "didDisappear "; }

    int loadViewCalls = 0;
    int viewDidLoadCalls = 0;
    std::string events;
};

TEST(NSViewControllerTests, loadsItsViewOnceOnFirstUse) {
    RecordingViewController controller;
    EXPECT_FALSE(controller.isViewLoaded());
    QWidget* view = controller.view();
    EXPECT_EQ(controller.view(), view);
    EXPECT_EQ(controller.loadViewCalls, 1);
    EXPECT_EQ(controller.viewDidLoadCalls, 1);
    EXPECT_EQ(view->size(), QSize(200, 100));
}

TEST(NSViewControllerTests, reportsAppearingAndDisappearingWithItsWindow) {
    auto controller = std::make_shared<RecordingViewController>();
    NSWindow window({{0, 0}, {1, 1}}, NSWindowStyleMaskTitled | NSWindowStyleMaskClosable);
    window.setContentViewController(controller);
    EXPECT_EQ(controller->events, "");

    window.show();
    EXPECT_EQ(controller->events, "willAppear didAppear ");
    window.hide();
    EXPECT_EQ(controller->events, "willAppear didAppear willDisappear didDisappear ");
    window.show();
    controller->view()->hide();
    EXPECT_EQ(controller->events,
              "willAppear didAppear willDisappear didDisappear willAppear didAppear "
              "willDisappear didDisappear ");
}

TEST(NSViewControllerTests, aChildKeepsItsViewWhenItsParentGoes) {
    auto child = std::make_shared<RecordingViewController>();
    {
        NSViewController parent;
        parent.addChildViewController(child);
        child->view()->setParent(parent.view());
        EXPECT_EQ(child->parentViewController(), &parent);
    }
    EXPECT_TRUE(child->isViewLoaded());
    EXPECT_EQ(child->view()->parentWidget(), nullptr);
    EXPECT_EQ(child->parentViewController(), nullptr);
    EXPECT_EQ(child->loadViewCalls, 1);
}

TEST(NSViewControllerTests, aViewDeletedWithItsParentWidgetCountsAsNotLoaded) {
    RecordingViewController controller;
    {
        QWidget parent;
        controller.view()->setParent(&parent);
    }
    EXPECT_FALSE(controller.isViewLoaded());
    controller.view();
    EXPECT_EQ(controller.loadViewCalls, 2);
}

TEST(NSViewControllerTests, titleObserversHearEveryChangeUntilTheirTokenGoes) {
    NSViewController controller;
    controller.setTitle("General");
    std::vector<std::optional<std::string>> seen;
    auto token = controller.observeTitle([&] { seen.push_back(controller.title()); }, true);
    controller.setTitle("Advanced");
    controller.setTitle(std::nullopt);
    token.remove();
    controller.setTitle("Debug");
    EXPECT_EQ(seen, (std::vector<std::optional<std::string>>{"General", "Advanced", std::nullopt}));
}

}  // namespace
}  // namespace platform
