#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <unistd.h>

#include "ClickMeasurement.h"
#include "PipeWireRecorder.h"
#include "PulseAudioRecorder.h"
#include "platform/audio-output/PipeWireSink.h"
#include "platform/avfoundation/AVSampleBufferAudioRenderer.h"
#include "platform/foundation/NotificationCenter.h"
#include "support/AudioBufferFactory.h"

namespace {

using namespace platform;
using namespace quillon::test::clicks;
using quillon::test::AudioBufferFactory;
using quillon::test::PipeWireRecorder;

// Plays through the session's PipeWire server by its own interface; skipped where none runs
// (the suite starts one for these tests: tests/support/run-with-pipewire).
class PipeWireSinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string failure;
        sink = PipeWireSink::connect(CMClockGetHostTimeClock(), &failure);
        if (!sink && std::getenv("QUILLON_TEST_REQUIRE_PIPEWIRE") != nullptr) {
            FAIL() << "the PipeWire server started for the test does not answer: " << failure;
        }
        if (!sink) {
            GTEST_SKIP() << "No PipeWire server plays sound here (" << failure << ").";
        }
    }

    std::unique_ptr<PipeWireSink> sink;
};

TEST_F(PipeWireSinkTest, PlaysInFloatAtTheGraphsRateWithTheChannelsOfItsSink) {
    EXPECT_EQ(sink->name(), "PipeWire");
    EXPECT_EQ(sink->format().sampleRate, 48000) << "the graph's rate";
    EXPECT_EQ(sink->format().channelCount, 2);
    EXPECT_EQ(sink->format().channelMask, 0x3u) << "front left and right";
    EXPECT_TRUE(sink->defaultSinkName().has_value());
}

// PipeWire says when each cycle starts and how far the device is behind it: the sink knows when
// its frames are heard to well within a millisecond (the picture's own timing adds to it when
// clicks are set beside frames).
constexpr double kToleranceMilliseconds = 1.0;

TEST_F(PipeWireSinkTest, ClicksAreHeardWhenTheSinkSaysTheyWillBe) {
    expectClicksOnTime<PipeWireRecorder>(std::move(sink), false, kToleranceMilliseconds);
}

// A click and the frame of its second, played through one synchronizer, meet: the sound server
// plays the click when the display layer shows the frame.
TEST_F(PipeWireSinkTest, ClicksAreHeardWhenTheirFramesAreShown) {
    expectClicksOnTime<PipeWireRecorder>(std::move(sink), true, 2 * kToleranceMilliseconds);
}

// A busy machine holds the sink's thread up now and then, and the graph plays on without it: what
// the sink plays after is heard later by the cycles it missed. The sink counts them at once, and
// the sound is put back beside the picture at once, not steered back over seconds.
TEST_F(PipeWireSinkTest, ClicksStayWithTheirFramesAfterTheSinkWasHeldUp) {
    expectClicksWithTheirFramesAfterAHoldUp<PipeWireRecorder>(std::move(sink),
                                                              2 * kToleranceMilliseconds);
}

// Run only against the server started for the PipeWire tests, one at a time (it moves every
// stream that plays to the default).
TEST_F(PipeWireSinkTest, FollowsTheDefaultDevice) {
    expectTheDefaultDeviceFollowed(std::move(sink));
}

// Where the session manager links a stream by default depends on the sinks it knows (a new
// sink can become the default), so the test adds two and moves to whichever it does not play on.
TEST_F(PipeWireSinkTest, MovingToAnotherDeviceFlushesTheRendererAndSaysSo) {
    quillon::test::PulseAudioModules modules;
    const std::string prefix = "quillon_test_sink_" + std::to_string(::getpid());
    const std::uint32_t first = modules.load("module-null-sink", "sink_name=" + prefix + "_a");
    const std::uint32_t second = modules.load("module-null-sink", "sink_name=" + prefix + "_b");
    ASSERT_NE(first, PA_INVALID_INDEX) << "PipeWire's PulseAudio server adds sinks";
    ASSERT_NE(second, PA_INVALID_INDEX);

    const PipeWireSink* pipeWireSink = sink.get();
    auto renderer = std::make_shared<AVSampleBufferAudioRenderer>(std::move(sink));
    std::mutex mutex;
    int flushes = 0;
    const auto token = NotificationCenter::defaultCenter().addObserver(
        AVSampleBufferAudioRendererWasFlushedAutomaticallyNotification,
        static_cast<const AVSampleBufferAudioRenderer*>(renderer.get()), [&](const Notification&) {
            std::lock_guard lock(mutex);
            ++flushes;
        });
    const auto waitFor = [&](const std::function<bool()>& condition) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!condition() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return condition();
    };
    const auto flushCount = [&] {
        std::lock_guard lock(mutex);
        return flushes;
    };
    ASSERT_TRUE(pipeWireSink->currentSinkName().has_value())
        << "linked before the renderer plays";
    const std::string target =
        pipeWireSink->currentSinkName() == prefix + "_a" ? prefix + "_b" : prefix + "_a";
    renderer->enqueueSampleBuffer(AudioBufferFactory::make(0, 48000 * 3, clicksEverySecond(48000)));
    EXPECT_FALSE(renderer->isReadyForMoreMediaData());

    renderer->setAudioOutputDeviceUniqueID(target);
    ASSERT_TRUE(waitFor([&] { return flushCount() >= 1; }));
    EXPECT_EQ(pipeWireSink->currentSinkName(), target);
    EXPECT_EQ(renderer->audioOutputDeviceUniqueID(), target);
    EXPECT_TRUE(renderer->isReadyForMoreMediaData())
        << "what was queued for the old device is gone";

    // Taking the device away moves the stream to another one.
    modules.unload(target == prefix + "_a" ? first : second);
    ASSERT_TRUE(waitFor([&] { return flushCount() >= 2; }));
    EXPECT_TRUE(waitFor([&] {
        const auto current = pipeWireSink->currentSinkName();
        return current.has_value() && *current != target;
    }));
    EXPECT_EQ(renderer->sinkName(), "PipeWire");
    EXPECT_EQ(flushCount(), 2) << "one flush per move";
}

}  // namespace
