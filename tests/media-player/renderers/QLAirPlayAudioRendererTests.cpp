#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

#include "media-player/renderers/QLAirPlayAudioRenderer.h"
#include "platform/audio-output/NullAudioSink.h"
#include "platform/avfoundation/AVPrivateInterfaces.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/private-interfaces/DynamicSymbols.h"
#include "support/ManualClock.h"

namespace {

using namespace quillon;
using namespace platform;

class RoutingContext final : public CMBaseObject {};
class UnderlyingRenderer final : public CMBaseObject {};

class TestOutputContext final : public AVOutputContext {
public:
    std::string contextID() const override { return "test"; }
};

// What the stand-ins of the private interfaces were asked, in order.
std::vector<std::string> calls;
CFValue lastPropertyValue;

OSStatus recordingSetProperty(const CMBaseObjectRef&, const std::string& key,
                              const CFValue& value) {
    calls.push_back("setProperty " + key);
    lastPropertyValue = value;
    return 0;
}

OSStatus failingSetProperty(const CMBaseObjectRef&, const std::string&, const CFValue&) {
    calls.push_back("setProperty");
    return -12345;
}

// The private interfaces as a system that has them would answer.
class PrivateInterfaces {
public:
    explicit PrivateInterfaces(bool withRoutingContextKey = true,
                               CMBaseObjectSetPropertyFunction setProperty = &recordingSetProperty)
        : context(std::make_shared<TestOutputContext>()),
          routingContext(std::make_shared<RoutingContext>()),
          underlying(std::make_shared<UnderlyingRenderer>()) {
        calls.clear();
        baseClass.setProperty = setProperty;
        table.baseClass = &baseClass;
        add(AVOutputContextITunesAudioContextSymbol,
            AVOutputContextITunesAudioContextMethod([this] {
                calls.push_back("iTunesAudioContext");
                return context;
            }));
        add(AVOutputContextSetApplicationProcessIDSymbol,
            AVOutputContextSetApplicationProcessIDMethod([](AVOutputContext&, std::int32_t pid) {
                calls.push_back("setApplicationProcessID " + std::to_string(pid));
            }));
        add(AVOutputContextFigRoutingContextSymbol,
            AVOutputContextFigRoutingContextMethod([this](AVOutputContext&) {
                calls.push_back("figRoutingContext");
                return routingContext;
            }));
        add(AVSampleBufferAudioRendererCopyFigSampleBufferAudioRendererSymbol,
            AVSampleBufferAudioRendererCopyFigSampleBufferAudioRendererMethod(
                [this](AVSampleBufferAudioRenderer&, CMBaseObjectRef* out) {
                    calls.push_back("copyFigSampleBufferAudioRenderer");
                    *out = underlying;
                }));
        add(AVSampleBufferAudioRendererUninstallNotificationHandlersSymbol,
            AVSampleBufferAudioRendererNotificationHandlersMethod(
                [](AVSampleBufferAudioRenderer&) { calls.push_back("uninstall"); }));
        add(AVSampleBufferAudioRendererInstallNotificationHandlersSymbol,
            AVSampleBufferAudioRendererNotificationHandlersMethod(
                [](AVSampleBufferAudioRenderer&) { calls.push_back("install"); }));
        add("CMBaseObjectGetVTable",
            CMBaseObjectGetVTableFunction([this](const CMBaseObjectRef&) { return &table; }));
        if (withRoutingContextKey) {
            add(kFigSampleBufferAudioRendererProperty_RoutingContextSymbol,
                std::string("RoutingContext"));
        }
    }

    template <typename T>
    void add(const char* name, T value) {
        symbols.push_back(std::make_unique<DynamicSymbols::ScopedSymbol>(name, std::any(value)));
    }

    std::shared_ptr<TestOutputContext> context;
    std::shared_ptr<RoutingContext> routingContext;
    std::shared_ptr<UnderlyingRenderer> underlying;
    CMBaseClass baseClass;
    CMBaseVTable table;
    std::vector<std::unique_ptr<DynamicSymbols::ScopedSymbol>> symbols;

    ~PrivateInterfaces() {
        while (!symbols.empty()) {
            symbols.pop_back();
        }
    }
};

std::shared_ptr<QLAirPlayAudioRenderer> makeRenderer() {
    return std::make_shared<QLAirPlayAudioRenderer>(
        std::make_unique<NullAudioSink>(ManualClock::make()));
}

TEST(QLAirPlayAudioRendererTest, WithoutThePrivateInterfacesItPlaysWithoutAnOutputContext) {
    ScopedLogCapture log;
    const auto renderer = makeRenderer();
    EXPECT_EQ(renderer->ql_outputContext(), nullptr);
    EXPECT_EQ(renderer->ql_audioOutputDeviceUniqueIDQueue(), nullptr);
    EXPECT_TRUE(log.contains("Failed to use private API: "));
    EXPECT_TRUE(renderer->isReadyForMoreMediaData());
    // Without a queue, serialized work runs at once.
    bool ran = false;
    renderer->executeSerializingWithAudioOutputDeviceUniqueID([&] { ran = true; });
    EXPECT_TRUE(ran);
    renderer->setAudioOutputDeviceUniqueID("elsewhere");
    EXPECT_EQ(renderer->audioOutputDeviceUniqueID(), "elsewhere");
}

TEST(QLAirPlayAudioRendererTest, BindsToTheAirPlayContextThroughTheRoutingContext) {
    PrivateInterfaces interfaces;
    const auto renderer = makeRenderer();
    EXPECT_EQ(renderer->ql_outputContext(), interfaces.context);
    EXPECT_EQ(calls, (std::vector<std::string>{
                         "iTunesAudioContext",
                         "setApplicationProcessID " + std::to_string(::getpid()),
                         "figRoutingContext",
                         "copyFigSampleBufferAudioRenderer",
                         "uninstall",
                         "setProperty RoutingContext",
                         "install",
                     }));
    const auto* value = std::get_if<CFObjectRef>(&lastPropertyValue);
    ASSERT_NE(value, nullptr);
    const auto* wrapped = dynamic_cast<const CMBaseObjectValue*>(value->get());
    ASSERT_NE(wrapped, nullptr);
    EXPECT_EQ(wrapped->object(), interfaces.routingContext);
    EXPECT_EQ(renderer->ql_audioOutputDeviceUniqueIDQueue(), nullptr)
        << "the device-ID queue is only for systems before macOS 11";
    EXPECT_EQ(interfaces.underlying.use_count(), 1) << "the underlying renderer was let go";
}

TEST(QLAirPlayAudioRendererTest, AContextThatIsMissingTouchesNoRoutingContext) {
    PrivateInterfaces interfaces;
    interfaces.context = nullptr;
    ScopedLogCapture log;
    const auto renderer = makeRenderer();
    EXPECT_EQ(renderer->ql_outputContext(), nullptr);
    EXPECT_EQ(calls, std::vector<std::string>{"iTunesAudioContext"});
    EXPECT_TRUE(log.contains("org.quillon.player.mac.PrivateAPIUsage"));
}

TEST(QLAirPlayAudioRendererTest, AMissingRoutingContextKeyLeavesTheHandlersUninstalled) {
    PrivateInterfaces interfaces(/*withRoutingContextKey=*/false);
    ScopedLogCapture log;
    const auto renderer = makeRenderer();
    EXPECT_EQ(renderer->ql_outputContext(), nullptr);
    EXPECT_TRUE(
        log.contains("Private API symbol kFigSampleBufferAudioRendererProperty_RoutingContext is "
                     "unavailable."));
    EXPECT_EQ(calls.back(), "uninstall");
    calls.clear();
    EXPECT_FALSE(renderer->ql_setFigRoutingContext(interfaces.routingContext));
}

TEST(QLAirPlayAudioRendererTest, ARefusedRoutingContextFailsWithItsStatus) {
    PrivateInterfaces interfaces(true, &failingSetProperty);
    ScopedLogCapture log;
    const auto renderer = makeRenderer();
    EXPECT_EQ(renderer->ql_outputContext(), nullptr);
    EXPECT_EQ(calls.back(), "setProperty") << "no handlers installed after a failure";
    EXPECT_TRUE(log.contains("NSOSStatusErrorDomain"));
    EXPECT_TRUE(log.contains("-12345"));
}

TEST(QLAirPlayAudioRendererTest, BeforeMacOS11DeviceChangesAndRateChangesTakeTurnsOnOneQueue) {
    ProcessInfo::ScopedOverride system(
        {OperatingSystem::macOS, {10, 15, 7}, "macOS 10.15.7", false});
    PrivateInterfaces interfaces;
    const auto renderer = makeRenderer();
    ASSERT_NE(renderer->ql_outputContext(), nullptr);
    const auto queue = renderer->ql_audioOutputDeviceUniqueIDQueue();
    ASSERT_NE(queue, nullptr);
    EXPECT_EQ(queue->label(), "QLAirPlayAudioRenderer.audioOutputDeviceUniqueID Queue");

    renderer->setAudioOutputDeviceUniqueID("airplay-device");
    EXPECT_EQ(renderer->audioOutputDeviceUniqueID(), "airplay-device");

    // Serialized work runs on the queue, and serialized work inside it runs at once.
    bool outerOnQueue = false;
    bool innerRan = false;
    renderer->executeSerializingWithAudioOutputDeviceUniqueID([&] {
        outerOnQueue = queue->isCurrent();
        renderer->executeSerializingWithAudioOutputDeviceUniqueID([&] { innerRan = true; });
    });
    EXPECT_TRUE(outerOnQueue);
    EXPECT_TRUE(innerRan);
}

TEST(QLAirPlayAudioRendererTest, LogsUnderItsOwnName) {
    const auto renderer = makeRenderer();
    EXPECT_EQ(renderer->description().rfind("<QLAirPlayAudioRenderer: 0x", 0), 0u);
}

}  // namespace
