#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ClickMeasurement.h"
#include "PulseAudioRecorder.h"
#include "platform/audio-output/PulseAudioSink.h"
#include "platform/avfoundation/AVSampleBufferAudioRenderer.h"
#include "platform/avfoundation/AVSampleBufferRenderSynchronizer.h"
#include "platform/foundation/NotificationCenter.h"
#include "support/AudioBufferFactory.h"

extern char** environ;

namespace {

using namespace platform;
using quillon::test::AudioBufferFactory;
using quillon::test::PulseAudioRecorder;
using Clock = std::chrono::steady_clock;

// A PulseAudio server of the test's own, in a runtime directory of its own, with one null sink;
// the test process's clients reach it (PULSE_SERVER) and nothing else does. Killing it is what
// a crash of the user's sound server looks like to the player.
class PrivateSoundServer {
public:
    PrivateSoundServer()
        : directory_(std::filesystem::temp_directory_path() /
                     ("quillon-pulse-" + std::to_string(::getpid()))) {
        std::filesystem::create_directories(directory_);
        std::filesystem::permissions(directory_, std::filesystem::perms::owner_all);
        socket_ = (directory_ / "native").string();
        ::setenv("PULSE_SERVER", ("unix:" + socket_).c_str(), 1);
    }
    ~PrivateSoundServer() {
        kill();
        ::unsetenv("PULSE_SERVER");
        std::filesystem::remove_all(directory_);
    }

    // False when no pulseaudio could be started.
    bool start() {
        const std::string runtime = "PULSE_RUNTIME_PATH=" + directory_.string();
        const std::string xdg = "XDG_RUNTIME_DIR=" + directory_.string();
        const std::string state = "PULSE_STATE_PATH=" + (directory_ / "state").string();
        std::vector<std::string> environment{runtime, xdg, state};
        for (char** entry = environ; *entry != nullptr; ++entry) {
            const std::string_view text(*entry);
            if (!text.starts_with("PULSE_") && !text.starts_with("XDG_RUNTIME_DIR=")) {
                environment.emplace_back(text);
            }
        }
        std::vector<std::string> arguments{
            "pulseaudio",
            "-n",
            "--daemonize=no",
            "--exit-idle-time=-1",
            "--use-pid-file=no",
            "--disable-shm=yes",
            "--load=module-null-sink sink_name=private rate=48000 channels=2",
            "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socket_};
        std::vector<char*> argv;
        for (auto& argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (auto& entry : environment) {
            envp.push_back(entry.data());
        }
        envp.push_back(nullptr);
        if (::posix_spawnp(&server_, "pulseaudio", nullptr, nullptr, argv.data(), envp.data()) !=
            0) {
            server_ = 0;
            return false;
        }
        // Answering means: a client gets a sink to play to.
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        while (Clock::now() < deadline) {
            if (PulseAudioSink::connect(CMClockGetHostTimeClock())) {
                return true;
            }
            if (::waitpid(server_, nullptr, WNOHANG) == server_) {
                server_ = 0;
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    void kill() {
        if (server_ > 0) {
            ::kill(server_, SIGKILL);
            ::waitpid(server_, nullptr, 0);
            server_ = 0;
        }
    }

private:
    std::filesystem::path directory_;
    std::string socket_;
    pid_t server_ = 0;
};

constexpr int kRate = 48000;

AudioBufferFactory::Signal tone() {
    return [](std::int64_t frame, int) {
        return 0.5 * std::sin(2 * M_PI * 440.0 * double(frame) / kRate);
    };
}

// Whether the last tenth of a second that was recorded holds the tone.
bool hearsTone(const PulseAudioRecorder& recorder) {
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

TEST(PulseAudioReconnect, SoundComesBackSoonAfterTheServerRestartsAndTheClockNeverStops) {
    PrivateSoundServer server;
    if (!server.start()) {
        GTEST_SKIP() << "pulseaudio cannot be started here";
    }
    auto pulseSink = PulseAudioSink::connect(CMClockGetHostTimeClock());
    ASSERT_TRUE(pulseSink);
    ASSERT_EQ(pulseSink->format().sampleRate, kRate);
    auto renderer = std::make_shared<AVSampleBufferAudioRenderer>(std::move(pulseSink));
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
        PulseAudioRecorder recorder("private.monitor", kRate, 2);
        ASSERT_TRUE(recorder.isRecording());
        ASSERT_TRUE(waitFor([&] { return hearsTone(recorder); }, std::chrono::seconds(10)));
    }

    server.kill();
    ASSERT_TRUE(waitFor([&] { return renderer->sinkName() == "null"; }, std::chrono::seconds(10)));
    ASSERT_TRUE(server.start());
    const std::int64_t answering =
        CMClockConvertHostTimeToNanoseconds(CMClockGetHostTimeClock()->time());
    PulseAudioRecorder recorder("private.monitor", kRate, 2);
    ASSERT_TRUE(recorder.isRecording());
    ASSERT_TRUE(waitFor([&] { return hearsTone(recorder); }, std::chrono::seconds(10)));
    // When the tone was played, not when the recording got it: a fresh null sink hands its
    // monitor's first block over late.
    const std::vector<float> samples = recorder.samples();
    std::size_t onset = 0;
    while (onset < samples.size() && std::fabs(samples[onset]) < 0.1f) {
        ++onset;
    }
    const std::int64_t played =
        recorder.firstFrameHostNanoseconds() + std::int64_t(onset / 2) * 1'000'000'000 / kRate;
    const double seconds = double(played - answering) / 1e9;
    // A figure to read, not to assert: how soon depends on how loaded the machine is.
    std::cout << "Sound came back " << seconds << " s after the server answered again.\n";
    EXPECT_EQ(renderer->sinkName(), "PulseAudio");
    EXPECT_FALSE(clockStalled);
    EXPECT_EQ(synchronizer.rate(), 1.0f);
    // The tone heard may still be the one queued before the server went: the observer counts a
    // flush only once it has queued the sound that follows it, so its count is awaited.
    const auto flushCount = [&] {
        std::lock_guard lock(flushMutex);
        return flushes;
    };
    EXPECT_TRUE(waitFor([&] { return flushCount() >= 2; }, std::chrono::seconds(10)));
    EXPECT_EQ(flushCount(), 2) << "one when the server went, one when it came back";
    synchronizer.setRate(0);
}

}  // namespace

namespace {

// On a server of the test's own, as changing the default device would move every other test's
// stream on the session's server.
TEST(PulseAudioDefaultDevice, TheSinkFollowsTheDefaultDevice) {
    PrivateSoundServer server;
    if (!server.start()) {
        GTEST_SKIP() << "pulseaudio cannot be started here";
    }
    auto pulseSink = PulseAudioSink::connect(CMClockGetHostTimeClock());
    ASSERT_TRUE(pulseSink);
    quillon::test::clicks::expectTheDefaultDeviceFollowed(std::move(pulseSink));
}

}  // namespace
