#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/audio-output/NullAudioSink.h"
#include "platform/avfoundation/AVAudioOutputContext.h"
#include "platform/avfoundation/AVSampleBufferAudioRenderer.h"
#include "platform/clock/CMClock.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Log.h"
#include "player-interface/route-picker/QLRoutePickerButton.h"
#include "player-interface/route-picker/QLRoutePickerController.h"
#include "support/FakeAudioRouteService.h"
#include "support/WidgetApplicationEnvironment.h"

namespace {

using namespace platform;
using quillon::QLRoutePickerController;
using quillon::QLRoutePickerControllerDelegate;
using quillon::QLRoutePickerView;

const AVAudioRoute speakers{"speakers", "Built-in Speakers"};
const AVAudioRoute headphones{"headphones", "Headphones"};
const AVAudioRoute hdmi{"hdmi", "HDMI Output"};

class RecordingDelegate final : public QLRoutePickerControllerDelegate {
public:
    void routePickerControllerDidChangeShouldShowRoutePickerButton(QLRoutePickerController&,
                                                                   bool shouldShow) override {
        events.push_back(shouldShow ? "show" : "hide");
    }
    void routePickerControllerWillShowRoutePicker(QLRoutePickerController&) override {
        events.push_back("will show picker");
    }
    void routePickerControllerDidHideRoutePicker(QLRoutePickerController&) override {
        events.push_back("did hide picker");
    }
    std::vector<std::string> events;
};

void pumpMainQueue() {
    DispatchQueue::main().drain();
}

// The entry of the open picker for a device.
QAction* pickerEntry(QLRoutePickerView& view, const std::string& deviceUniqueID) {
    QMenu* menu = view.routePickerView()->presentedRoutesMenu();
    if (menu == nullptr) {
        return nullptr;
    }
    for (QAction* action : menu->actions()) {
        if (action->data().toString().toStdString() == deviceUniqueID) {
            return action;
        }
    }
    return nullptr;
}

// An output context that no picker can find.
class UnregisteredOutputContext final : public AVOutputContext {
public:
    explicit UnregisteredOutputContext(std::string id) : id_(std::move(id)) {}
    std::string contextID() const override { return id_; }

private:
    std::string id_;
};

class RoutePickerTest : public ::testing::Test {
protected:
    void SetUp() override {
        routes = std::make_shared<FakeAudioRouteService>(std::vector{speakers}, "speakers");
        renderer = std::make_shared<AVSampleBufferAudioRenderer>(
            std::make_unique<NullAudioSink>(CMClockGetHostTimeClock()));
        context = AVAudioOutputContext::make();
        context->addRenderer(renderer);
        controller = QLRoutePickerController::make(context, routes);
        ASSERT_NE(controller, nullptr);
        controller->setDelegate(delegate);
        view = controller->takeRoutePickerButtonView();
        ASSERT_NE(view, nullptr);
        view->resize(24, 24);
    }

    std::shared_ptr<FakeAudioRouteService> routes;
    std::shared_ptr<AVSampleBufferAudioRenderer> renderer;
    AVAudioOutputContextRef context;
    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
    std::shared_ptr<QLRoutePickerController> controller;
    std::unique_ptr<QLRoutePickerView> view;
};

TEST_F(RoutePickerTest, ButtonShowsOnlyWhileSeveralRoutesExistAndTellsEachChangeOnce) {
    EXPECT_FALSE(controller->shouldShowRoutePickerButton());
    EXPECT_TRUE(controller->routeDetector()->isRouteDetectionEnabled());

    routes->addRoute(headphones);
    // The news is taken to the main queue first.
    EXPECT_FALSE(controller->shouldShowRoutePickerButton());
    pumpMainQueue();
    EXPECT_TRUE(controller->shouldShowRoutePickerButton());

    routes->addRoute(hdmi);
    routes->setDefaultRouteID("hdmi");
    pumpMainQueue();
    EXPECT_TRUE(controller->shouldShowRoutePickerButton());

    routes->removeRoute("hdmi");
    routes->removeRoute("headphones");
    pumpMainQueue();
    EXPECT_FALSE(controller->shouldShowRoutePickerButton());
    EXPECT_EQ(delegate->events, (std::vector<std::string>{"show", "hide"}));
}

TEST_F(RoutePickerTest, ControllerStartsWithTheDetectorsAnswerAndSurvivesItsOwnRelease) {
    routes->addRoute(headphones);
    auto second = QLRoutePickerController::make(context, routes);
    ASSERT_NE(second, nullptr);
    // Taken at creation, before any delegate could hear it.
    EXPECT_TRUE(second->shouldShowRoutePickerButton());

    // A change whose hop to the main queue is still pending when the controller goes.
    routes->removeRoute("headphones");
    second.reset();
    pumpMainQueue();
    EXPECT_FALSE(controller->shouldShowRoutePickerButton());
}

TEST_F(RoutePickerTest, PickingARouteMovesTheRendererAndTintsTheButtonUntilBackOnTheDefault) {
    routes->addRoute(headphones);
    pumpMainQueue();
    EXPECT_FALSE(view->routePickerView()->airPlayActive());
    EXPECT_EQ(view->contentTintColor(), std::nullopt);

    view->click();
    ASSERT_NE(view->routePickerView()->presentedRoutesMenu(), nullptr);
    EXPECT_TRUE(controller->isShowingRoutePicker());
    // The route playing now is the checked one.
    ASSERT_NE(pickerEntry(*view, "speakers"), nullptr);
    EXPECT_TRUE(pickerEntry(*view, "speakers")->isChecked());
    EXPECT_FALSE(pickerEntry(*view, "headphones")->isChecked());
    // A second press while it is open opens nothing more.
    QMenu* open = view->routePickerView()->presentedRoutesMenu();
    view->click();
    EXPECT_EQ(view->routePickerView()->presentedRoutesMenu(), open);

    pickerEntry(*view, "headphones")->trigger();
    EXPECT_EQ(renderer->audioOutputDeviceUniqueID(), "headphones");
    EXPECT_EQ(context->outputDeviceUniqueID(), "headphones");
    EXPECT_EQ(view->routePickerView()->presentedRoutesMenu(), nullptr);
    EXPECT_FALSE(controller->isShowingRoutePicker());
    pumpMainQueue();
    EXPECT_TRUE(view->routePickerView()->airPlayActive());
    EXPECT_EQ(view->contentTintColor(), quillon::controlAccentColor());

    // The default device sends the sound back to wherever the server plays.
    view->click();
    EXPECT_TRUE(pickerEntry(*view, "headphones")->isChecked());
    pickerEntry(*view, "speakers")->trigger();
    EXPECT_EQ(renderer->audioOutputDeviceUniqueID(), std::nullopt);
    pumpMainQueue();
    EXPECT_FALSE(view->routePickerView()->airPlayActive());
    EXPECT_EQ(view->contentTintColor(), std::nullopt);

    EXPECT_EQ(delegate->events,
              (std::vector<std::string>{"show", "will show picker", "did hide picker",
                                        "will show picker", "did hide picker"}));
}

TEST_F(RoutePickerTest, ActiveStateFollowsTheServerWhenTheChosenDeviceGoesOrBecomesDefault) {
    routes->addRoute(headphones);
    routes->addRoute(hdmi);
    context->setOutputDeviceUniqueID("hdmi");
    pumpMainQueue();
    ASSERT_TRUE(view->routePickerView()->airPlayActive());

    // The user made it the server's default: the sound plays where it would anyway.
    routes->setDefaultRouteID("hdmi");
    pumpMainQueue();
    EXPECT_FALSE(view->routePickerView()->airPlayActive());

    routes->setDefaultRouteID("speakers");
    pumpMainQueue();
    EXPECT_TRUE(view->routePickerView()->airPlayActive());

    routes->removeRoute("hdmi");
    pumpMainQueue();
    EXPECT_FALSE(view->routePickerView()->airPlayActive());
    EXPECT_EQ(view->contentTintColor(), std::nullopt);
}

TEST_F(RoutePickerTest, RenderersAddedLaterJoinTheChosenDeviceAndGoneRenderersAreSkipped) {
    context->setOutputDeviceUniqueID("headphones");
    auto later = std::make_shared<AVSampleBufferAudioRenderer>(
        std::make_unique<NullAudioSink>(CMClockGetHostTimeClock()));
    context->addRenderer(later);
    EXPECT_EQ(later->audioOutputDeviceUniqueID(), "headphones");
    renderer.reset();
    context->setOutputDeviceUniqueID("hdmi");
    EXPECT_EQ(later->audioOutputDeviceUniqueID(), "hdmi");
}

TEST_F(RoutePickerTest, NoButtonWithoutAContextThePickerCanBindTo) {
    ScopedLogCapture log;
    EXPECT_EQ(QLRoutePickerController::make(nullptr, routes), nullptr);
    EXPECT_EQ(
        QLRoutePickerController::make(std::make_shared<UnregisteredOutputContext>(""), routes),
        nullptr);
    EXPECT_EQ(
        QLRoutePickerView::make(std::make_shared<UnregisteredOutputContext>("elsewhere"), routes),
        nullptr);
    EXPECT_TRUE(log.contains("Failed to use private API"));
    EXPECT_TRUE(log.contains("elsewhere"));
}

TEST_F(RoutePickerTest, ButtonIsLabelledAndObservesUntilItGoes) {
    EXPECT_EQ(view->accessibleName().toStdString(), "Show AirPlay 2 audio device picker");
    EXPECT_FALSE(view->icon().isNull());
    EXPECT_TRUE(view->observingAirPlayActiveProperty());
    EXPECT_TRUE(view->routePickerView()->isHidden());
    view->show();
    view->resize(30, 20);
    EXPECT_EQ(view->routePickerView()->geometry(), view->rect());

    // Going while the picker is open closes it; changes that arrive afterwards are dropped.
    view->click();
    ASSERT_TRUE(controller->isShowingRoutePicker());
    routes->addRoute(headphones);
    context->setOutputDeviceUniqueID("headphones");
    view.reset();
    EXPECT_FALSE(controller->isShowingRoutePicker());
    EXPECT_EQ(controller->routePickerButtonView(), nullptr);
    pumpMainQueue();
}

TEST(RouteDetectorTest, DetectsNothingWhileDisabled) {
    auto routes =
        std::make_shared<FakeAudioRouteService>(std::vector{speakers, headphones}, "speakers");
    AVRouteDetector detector(routes);
    EXPECT_FALSE(detector.multipleRoutesDetected());
    detector.setRouteDetectionEnabled(true);
    EXPECT_TRUE(detector.multipleRoutesDetected());
    detector.setRouteDetectionEnabled(false);
    EXPECT_FALSE(detector.multipleRoutesDetected());
    routes->addRoute(hdmi);
    EXPECT_FALSE(detector.multipleRoutesDetected());
}

}  // namespace
