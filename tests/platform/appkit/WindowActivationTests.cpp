#include <gtest/gtest.h>

#include <QApplication>
#include <memory>
#include <utility>
#include <vector>

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/WindowActivation.h"
#include "support/WidgetApplicationEnvironment.h"

namespace platform {
namespace {

struct Activation {
    QWidget* window;
    LaunchActivation launch;
};

class RecordingActivator final : public WindowActivator {
public:
    explicit RecordingActivator(std::vector<Activation>& record) : record_(record) {}
    void activate(QWidget& window, const LaunchActivation& launch) override {
        window.show();
        record_.push_back({&window, launch});
    }

private:
    std::vector<Activation>& record_;
};

TEST(DesktopWindowActivatorTest, OnWaylandTheTokenIsInTheEnvironmentOnlyWhileActivationIsAsked) {
    QWidget window;
    std::vector<QString> seen;
    const auto recordToken = [&](QWidget&) {
        seen.push_back(qEnvironmentVariable("XDG_ACTIVATION_TOKEN", QStringLiteral("(none)")));
    };
    DesktopWindowActivator wayland(true, recordToken);
    wayland.activate(window, {"token-1", "id-1"});
    EXPECT_FALSE(qEnvironmentVariableIsSet("XDG_ACTIVATION_TOKEN")) << "a token is used once";
    wayland.activate(window, {});
    // Elsewhere the token means nothing to the window system.
    DesktopWindowActivator x11(false, recordToken);
    x11.activate(window, {"token-2", "id-2"});
    EXPECT_EQ(seen, (std::vector<QString>{"token-1", "(none)", "(none)"}));
    EXPECT_TRUE(window.isVisible());
}

TEST(DesktopWindowActivatorTest, TheRemoveMessageEscapesSpacesQuotesAndBackslashes) {
    using namespace std::string_literals;
    EXPECT_EQ(startupNotificationRemoveMessage("kde-launch-1_TIME42"),
              "remove: ID=kde-launch-1_TIME42\0"s);
    EXPECT_EQ(startupNotificationRemoveMessage(R"(a b"c\d)"), "remove: ID=a\\ b\\\"c\\\\d\0"s);
}

class LaunchActivationTest : public ::testing::Test {
protected:
    LaunchActivationTest() : application_(*qApp) {
        application_.setWindowActivator(std::make_unique<RecordingActivator>(activations_));
    }

    NSApplication application_;
    std::vector<Activation> activations_;
};

TEST_F(LaunchActivationTest, ALaunchsTokenGoesWithTheWindowItBringsForwardOnce) {
    NSWindow window({{0, 0}, {320, 180}}, NSWindowStyleMaskTitled);
    window.makeKeyAndOrderFront();
    ASSERT_EQ(activations_.size(), 1u);
    EXPECT_TRUE(activations_[0].launch.isEmpty());

    application_.activate({"token-1", "id-1"});
    ASSERT_EQ(activations_.size(), 2u);
    EXPECT_EQ(activations_[1].window, &window);
    EXPECT_EQ(activations_[1].launch, (LaunchActivation{"token-1", "id-1"}));
    EXPECT_TRUE(application_.pendingLaunchActivation().isEmpty());

    window.makeKeyAndOrderFront();
    EXPECT_TRUE(activations_.back().launch.isEmpty());
}

TEST_F(LaunchActivationTest, WithoutAWindowTheLaunchWaitsForTheNextOneShown) {
    // No window yet (the file is still loading, or the Open panel is up): the next window that
    // comes forward takes the launch; a launch without anything to hand over keeps it waiting.
    application_.openURLs({}, {"token-1", ""});
    application_.activate({});
    EXPECT_TRUE(activations_.empty());
    EXPECT_EQ(application_.pendingLaunchActivation(), (LaunchActivation{"token-1", ""}));

    // A newer launch replaces it.
    application_.openURLs({}, {"token-2", "id-2"});
    NSWindow window({{0, 0}, {320, 180}}, NSWindowStyleMaskTitled);
    window.makeKeyAndOrderFront();
    ASSERT_EQ(activations_.size(), 1u);
    EXPECT_EQ(activations_[0].launch, (LaunchActivation{"token-2", "id-2"}));
}

}  // namespace
}  // namespace platform
