#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include <unistd.h>

#include <fmt/format.h>

#include "platform/audio-output/PulseAudioRouteService.h"
#include "platform/avfoundation/AVAudioOutputContext.h"
#include "platform/avfoundation/AVSampleBufferAudioRenderer.h"
#include "platform/dispatch/DispatchQueue.h"
#include "player-interface/route-picker/QLRoutePickerController.h"
#include "support/WidgetApplicationEnvironment.h"

namespace {

using namespace platform;

// The standard output of a command, or none when it failed.
std::optional<std::string> run(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    if (!pipe) {
        return std::nullopt;
    }
    std::string output;
    std::array<char, 256> chunk{};
    while (std::fgets(chunk.data(), int(chunk.size()), pipe.get()) != nullptr) {
        output += chunk.data();
    }
    if (::pclose(pipe.release()) != 0) {
        return std::nullopt;
    }
    return output;
}

// A null sink loaded with pactl for the test's duration.
class LoadedNullSink {
public:
    explicit LoadedNullSink(const std::string& sinkName) {
        const auto index =
            run(fmt::format("pactl load-module module-null-sink sink_name={} "
                            "sink_properties=device.description=QuillonRouteTest 2>/dev/null",
                            sinkName));
        if (index) {
            index_ = std::atoi(index->c_str());
        }
    }
    ~LoadedNullSink() { unload(); }
    bool isLoaded() const { return index_ >= 0; }
    void unload() {
        if (index_ >= 0) {
            run(fmt::format("pactl unload-module {} 2>/dev/null", index_));
            index_ = -1;
        }
    }

private:
    int index_ = -1;
};

bool lists(const AudioRouteService& routes, const std::string& deviceUniqueID) {
    const auto all = routes.routes();
    return std::any_of(all.begin(), all.end(), [&](const AVAudioRoute& route) {
        return route.deviceUniqueID == deviceUniqueID;
    });
}

TEST(RoutePickingOnTheSoundServerTest, AnAddedSinkIsListedCanBeChosenAndGoesAwayAgain) {
    std::string failure;
    const auto routes = PulseAudioRouteService::connect(&failure);
    if (!routes) {
        GTEST_SKIP() << "no sound server answers: " << failure;
    }
    if (!run("command -v pactl")) {
        GTEST_SKIP() << "pactl is not installed";
    }
    const std::string sinkName = fmt::format("quillon_route_test_{}", ::getpid());
    ASSERT_FALSE(lists(*routes, sinkName));

    auto renderer = std::make_shared<AVSampleBufferAudioRenderer>();
    auto context = AVAudioOutputContext::make();
    context->addRenderer(renderer);
    const auto controller = quillon::QLRoutePickerController::make(context, routes);
    ASSERT_NE(controller, nullptr);
    const auto view = controller->takeRoutePickerButtonView();

    LoadedNullSink sink(sinkName);
    ASSERT_TRUE(sink.isLoaded()) << "pactl could not load a null sink";
    ASSERT_TRUE(runMainQueueUntil([&] { return lists(*routes, sinkName); }));
    const auto all = routes->routes();
    const auto added = std::find_if(all.begin(), all.end(), [&](const AVAudioRoute& route) {
        return route.deviceUniqueID == sinkName;
    });
    EXPECT_EQ(added->localizedName, "QuillonRouteTest");
    // The server's own sink and ours.
    EXPECT_TRUE(runMainQueueUntil([&] { return controller->shouldShowRoutePickerButton(); }));

    view->click();
    QMenu* menu = view->routePickerView()->presentedRoutesMenu();
    ASSERT_NE(menu, nullptr);
    QAction* entry = nullptr;
    for (QAction* action : menu->actions()) {
        if (action->data().toString().toStdString() == sinkName) {
            entry = action;
        }
    }
    ASSERT_NE(entry, nullptr);
    entry->trigger();
    EXPECT_EQ(renderer->audioOutputDeviceUniqueID(), sinkName);
    if (routes->defaultRouteID() != sinkName) {
        EXPECT_TRUE(runMainQueueUntil([&] { return view->routePickerView()->airPlayActive(); }));
    }

    sink.unload();
    EXPECT_TRUE(runMainQueueUntil([&] { return !lists(*routes, sinkName); }));
    EXPECT_TRUE(runMainQueueUntil([&] { return !view->routePickerView()->airPlayActive(); }));
}

}  // namespace
