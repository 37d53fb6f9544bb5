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
#include "TonePlayback.h"
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
using quillon::test::TonePlayback;
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

TEST(PulseAudioReconnect, SoundComesBackSoonAfterTheServerRestartsAndTheClockNeverStops) {
    PrivateSoundServer server;
    if (!server.start()) {
        GTEST_SKIP() << "pulseaudio cannot be started here";
    }
    auto pulseSink = PulseAudioSink::connect(CMClockGetHostTimeClock());
    ASSERT_TRUE(pulseSink);
    ASSERT_EQ(pulseSink->format().sampleRate, TonePlayback::kRate);
    TonePlayback playback(std::make_shared<AVSampleBufferAudioRenderer>(std::move(pulseSink)));
    const AVSampleBufferAudioRenderer& renderer = playback.renderer();

    {
        PulseAudioRecorder recorder("private.monitor", TonePlayback::kRate, 2);
        ASSERT_TRUE(recorder.isRecording());
        ASSERT_TRUE(playback.waitFor([&] { return TonePlayback::heardIn(recorder.samples()); },
                                     std::chrono::seconds(10)));
    }

    server.kill();
    ASSERT_TRUE(
        playback.waitFor([&] { return renderer.sinkName() == "null"; }, std::chrono::seconds(10)));
    ASSERT_TRUE(server.start());
    const std::int64_t answering =
        CMClockConvertHostTimeToNanoseconds(CMClockGetHostTimeClock()->time());
    PulseAudioRecorder recorder("private.monitor", TonePlayback::kRate, 2);
    ASSERT_TRUE(recorder.isRecording());
    ASSERT_TRUE(playback.waitFor([&] { return TonePlayback::heardIn(recorder.samples()); },
                                 std::chrono::seconds(10)));
    // When the tone was played, not when the recording got it: a fresh null sink hands its
    // monitor's first block over late.
    const std::vector<float> samples = recorder.samples();
    std::size_t onset = 0;
    while (onset < samples.size() && std::fabs(samples[onset]) < 0.1f) {
        ++onset;
    }
    const std::int64_t played = recorder.firstFrameHostNanoseconds() +
                                std::int64_t(onset / 2) * 1'000'000'000 / TonePlayback::kRate;
    const double seconds = double(played - answering) / 1e9;
    // A figure to read, not to assert: how soon depends on how loaded the machine is.
    std::cout << "Sound came back " << seconds << " s after the server answered again.\n";
    EXPECT_EQ(renderer.sinkName(), "PulseAudio");
    EXPECT_FALSE(playback.clockStalled());
    EXPECT_EQ(playback.synchronizer().rate(), 1.0f);
    // The tone heard may still be the one queued before the server went: a flush counts once the
    // sound that follows it is queued, so its count is awaited.
    EXPECT_TRUE(
        playback.waitFor([&] { return playback.flushes() >= 2; }, std::chrono::seconds(10)));
    EXPECT_EQ(playback.flushes(), 2) << "one when the server went, one when it came back";
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
