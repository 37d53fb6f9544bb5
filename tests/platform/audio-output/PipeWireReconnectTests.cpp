#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "PipeWireRecorder.h"
#include "platform/audio-output/PipeWireSink.h"
#include "platform/avfoundation/AVSampleBufferAudioRenderer.h"
#include "platform/avfoundation/AVSampleBufferRenderSynchronizer.h"
#include "platform/foundation/NotificationCenter.h"
#include "support/AudioBufferFactory.h"

namespace {

using namespace platform;
using quillon::test::AudioBufferFactory;
using quillon::test::PipeWireRecorder;
using Clock = std::chrono::steady_clock;

// A PipeWire server of the test's own (with its session manager), in a runtime directory of its
// own that the test process's clients reach (PIPEWIRE_RUNTIME_DIR) and nothing else does, started
// by the script the suite and the benchmark use. Killing its server is what a crash of the
// user's sound server looks like to the player.
class PrivatePipeWireServer {
public:
    PrivatePipeWireServer()
        : directory_(std::filesystem::temp_directory_path() /
                     ("quillon-pipewire-" + std::to_string(::getpid()))) {
        ::setenv("PIPEWIRE_RUNTIME_DIR", directory_.c_str(), 1);
    }
    ~PrivatePipeWireServer() {
        script("--stop");
        ::unsetenv("PIPEWIRE_RUNTIME_DIR");
        std::filesystem::remove_all(directory_);
    }

    // 0 when it answers, 3 when PipeWire is not installed.
    int start() { return script(""); }

    // Kills the server itself, as a crash would; its session manager and PulseAudio server
    // lose it too.
    void kill() {
        std::ifstream pids(directory_ / "pids");
        std::string bus;
        std::string server;
        std::getline(pids, bus);
        std::getline(pids, server);
        ASSERT_FALSE(server.empty());
        ::kill(pid_t(std::stol(server)), SIGKILL);
    }

private:
    int script(const std::string& option) {
        const std::string command = std::string(QUILLON_SOURCE_DIR) +
                                    "/scripts/start-pipewire-server " + option + " " +
                                    directory_.string() + " >/dev/null 2>&1";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::filesystem::path directory_;
};

constexpr int kRate = 48000;

AudioBufferFactory::Signal tone() {
    return [](std::int64_t frame, int) {
        return 0.5 * std::sin(2 * M_PI * 440.0 * double(frame) / kRate);
    };
}

// Whether the last tenth of a second that was recorded holds the tone.
bool hearsTone(const PipeWireRecorder& recorder) {
    const std::vector<float> samples = recorder.samples();
    const std::size_t window = kRate / 10 * 2;
    if (samples.size() < window) {
        return false;
    }
    double energy = 0;
    for (std::size_t index = samples.size() - window; index < samples.size(); ++index) {
        energy += double(samples[index]) * samples[index];
    }
    return std::sqrt(energy / double(window)) > 0.2;
}

TEST(PipeWireReconnect, SoundComesBackAfterTheServerRestartsAndTheClockNeverStops) {
    PrivatePipeWireServer server;
    const int started = server.start();
    if (started == 3) {
        GTEST_SKIP() << "PipeWire is not installed";
    }
    ASSERT_EQ(started, 0) << "the private PipeWire server did not start";
    std::string failure;
    auto pipeWireSink = PipeWireSink::connect(CMClockGetHostTimeClock(), &failure);
    ASSERT_TRUE(pipeWireSink) << failure;
    const std::string sinkName = pipeWireSink->defaultSinkName().value_or("");
    auto renderer = std::make_shared<AVSampleBufferAudioRenderer>(std::move(pipeWireSink));
    AVSampleBufferRenderSynchronizer synchronizer;
    synchronizer.addRenderer(renderer);

    // The data source's part: after every automatic flush, the tone again from the flush on.
    const auto enqueueFrom = [&](CMTime time) {
        const std::int64_t first =
            CMTimeConvertScale(time, kRate, kCMTimeRoundingMethod_RoundHalfAwayFromZero).value;
        for (std::int64_t start = first; start < first + 20 * kRate; start += kRate / 2) {
            renderer->enqueueSampleBuffer(AudioBufferFactory::make(start, kRate / 2, tone()));
        }
    };
    std::mutex flushMutex;
    int flushes = 0;
    const auto token = NotificationCenter::defaultCenter().addObserver(
        AVSampleBufferAudioRendererWasFlushedAutomaticallyNotification,
        static_cast<const AVSampleBufferAudioRenderer*>(renderer.get()),
        [&](const Notification& notification) {
            const auto found = notification.userInfo.find(AVSampleBufferAudioRendererFlushTimeKey);
            ASSERT_NE(found, notification.userInfo.end());
            enqueueFrom(std::any_cast<CMTime>(found->second));
            std::lock_guard lock(flushMutex);
            ++flushes;
        });
    enqueueFrom(kCMTimeZero);
    synchronizer.setRate(1, kCMTimeZero);

    // The time line must keep running, whatever happens to the sound server.
    double lastTime = -1;
    bool clockStalled = false;
    const auto waitFor = [&](const std::function<bool()>& condition,
                             std::chrono::milliseconds limit) {
        const auto deadline = Clock::now() + limit;
        while (!condition()) {
            if (Clock::now() > deadline) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            const double now = CMTimeGetSeconds(synchronizer.currentTime());
            clockStalled = clockStalled || !(now > lastTime);
            lastTime = now;
        }
        return true;
    };

    {
        PipeWireRecorder recorder(sinkName, kRate, 2);
        ASSERT_TRUE(recorder.isRecording());
        ASSERT_TRUE(waitFor([&] { return hearsTone(recorder); }, std::chrono::seconds(10)));
    }

    server.kill();
    ASSERT_TRUE(waitFor([&] { return renderer->sinkName() == "null"; }, std::chrono::seconds(10)))
        << "the renderer goes on without the server";
    ASSERT_EQ(server.start(), 0) << "the private PipeWire server did not start again";
    ASSERT_TRUE(waitFor([&] { return renderer->sinkName() == "PipeWire"; },
                        std::chrono::seconds(10)))
        << "the renderer plays to the server again";
    PipeWireRecorder recorder(sinkName, kRate, 2);
    ASSERT_TRUE(recorder.isRecording());
    EXPECT_TRUE(waitFor([&] { return hearsTone(recorder); }, std::chrono::seconds(10)));
    EXPECT_FALSE(clockStalled);
    EXPECT_EQ(synchronizer.rate(), 1.0f);
    const auto flushCount = [&] {
        std::lock_guard lock(flushMutex);
        return flushes;
    };
    EXPECT_TRUE(waitFor([&] { return flushCount() >= 2; }, std::chrono::seconds(10)));
    EXPECT_EQ(flushCount(), 2) << "one when the server went, one when it came back";
    synchronizer.setRate(0);
}

}  // namespace
