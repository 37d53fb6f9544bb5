#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include <unistd.h>

#include <fmt/format.h>

#include "ClickMeasurement.h"
#include "PulseAudioRecorder.h"
#include "platform/audio-output/NullAudioSink.h"
#include "platform/audio-output/PulseAudioSink.h"
#include "platform/avfoundation/AVSampleBufferAudioRenderer.h"
#include "platform/avfoundation/AVSampleBufferDisplayLayer.h"
#include "platform/avfoundation/AVSampleBufferRenderSynchronizer.h"
#include "platform/foundation/NotificationCenter.h"
#include "support/AVVideoRecordingSink.h"
#include "support/AudioBufferFactory.h"
#include "support/VideoFrameFactory.h"

namespace {

using namespace platform;
using namespace quillon::test::clicks;
using quillon::test::AudioBufferFactory;
using quillon::test::PulseAudioRecorder;

// Records what a sink of the session's PulseAudio server played, from its monitor source.
class PulseAudioMonitorRecorder : public PulseAudioRecorder {
public:
    PulseAudioMonitorRecorder(const std::string& sinkName, int sampleRate, int channelCount)
        : PulseAudioRecorder(sinkName + ".monitor", sampleRate, channelCount) {}
};

// Plays through the sound server of this session; skipped when none answers (outside CI nothing
// starts one).
class PulseAudioSinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string failure;
        pulseSink = PulseAudioSink::connect(CMClockGetHostTimeClock(), &failure);
        // Run against a server started for the test, a fallback would pass for the wrong reason.
        if (!pulseSink && std::getenv("QUILLON_TEST_REQUIRE_SOUND_SERVER") != nullptr) {
            FAIL() << "the sound server started for the test does not answer: " << failure;
        }
        if (!pulseSink) {
            GTEST_SKIP() << "No PulseAudio server answers (" << failure << ").";
        }
    }

    std::unique_ptr<PulseAudioSink> pulseSink;
};

TEST_F(PulseAudioSinkTest, ClicksAreHeardWhenTheSinkSaysTheyWillBe) {
    expectClicksOnTime<PulseAudioMonitorRecorder>(std::move(pulseSink), false);
}

// A click and the frame of its second, played through one synchronizer, meet: the sound server
// plays the click when the display layer shows the frame.
TEST_F(PulseAudioSinkTest, ClicksAreHeardWhenTheirFramesAreShown) {
    expectClicksOnTime<PulseAudioMonitorRecorder>(std::move(pulseSink), true);
}

TEST_F(PulseAudioSinkTest, ClicksStayWithTheirFramesAfterTheSinkWasHeldUp) {
    expectClicksWithTheirFramesAfterAHoldUp<PulseAudioMonitorRecorder>(std::move(pulseSink), 2.0);
}

TEST_F(PulseAudioSinkTest, MovingToAnotherDeviceFlushesTheRendererAndSaysSo) {
    quillon::test::PulseAudioModules modules;
    const std::string secondSink = "quillon_test_second_sink_" + std::to_string(::getpid());
    const std::uint32_t module = modules.load("module-null-sink", "sink_name=" + secondSink);
    ASSERT_NE(module, PA_INVALID_INDEX);

    const PulseAudioSink* sink = pulseSink.get();
    auto renderer = std::make_shared<AVSampleBufferAudioRenderer>(std::move(pulseSink));
    const std::optional<std::string> firstSink = sink->currentSinkName();
    std::mutex mutex;
    std::condition_variable condition;
    int flushes = 0;
    const auto token = NotificationCenter::defaultCenter().addObserver(
        AVSampleBufferAudioRendererWasFlushedAutomaticallyNotification,
        static_cast<const AVSampleBufferAudioRenderer*>(renderer.get()), [&](const Notification&) {
            std::lock_guard lock(mutex);
            ++flushes;
            condition.notify_all();
        });
    const auto waitForFlushes = [&](int count) {
        std::unique_lock lock(mutex);
        return condition.wait_for(lock, std::chrono::seconds(10), [&] { return flushes >= count; });
    };
    renderer->enqueueSampleBuffer(AudioBufferFactory::make(0, 48000 * 3, clicksEverySecond(48000)));
    EXPECT_FALSE(renderer->isReadyForMoreMediaData());

    renderer->setAudioOutputDeviceUniqueID(secondSink);
    ASSERT_TRUE(waitForFlushes(1));
    EXPECT_EQ(sink->currentSinkName(), secondSink);
    EXPECT_EQ(renderer->audioOutputDeviceUniqueID(), secondSink);
    EXPECT_TRUE(renderer->isReadyForMoreMediaData())
        << "what was queued for the old device is gone";

    // Taking the device away moves the stream back to the default one.
    modules.unload(module);
    ASSERT_TRUE(waitForFlushes(2));
    EXPECT_EQ(sink->currentSinkName(), firstSink);
    EXPECT_EQ(renderer->sinkName(), "PulseAudio");
}

}  // namespace
