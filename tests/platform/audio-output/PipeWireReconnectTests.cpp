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
#include "TonePlayback.h"
#include "platform/audio-output/PipeWireSink.h"
#include "platform/avfoundation/AVSampleBufferAudioRenderer.h"
#include "platform/avfoundation/AVSampleBufferRenderSynchronizer.h"
#include "platform/foundation/NotificationCenter.h"
#include "support/AudioBufferFactory.h"

namespace {

using namespace platform;
using quillon::test::AudioBufferFactory;
using quillon::test::PipeWireRecorder;
using quillon::test::TonePlayback;
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
    TonePlayback playback(std::make_shared<AVSampleBufferAudioRenderer>(std::move(pipeWireSink)));
    const AVSampleBufferAudioRenderer& renderer = playback.renderer();

    {
        PipeWireRecorder recorder(sinkName, TonePlayback::kRate, 2);
        ASSERT_TRUE(recorder.isRecording());
        ASSERT_TRUE(playback.waitFor([&] { return TonePlayback::heardIn(recorder.samples()); },
                                     std::chrono::seconds(10)));
    }

    server.kill();
    ASSERT_TRUE(
        playback.waitFor([&] { return renderer.sinkName() == "null"; }, std::chrono::seconds(10)))
        << "the renderer goes on without the server";
    ASSERT_EQ(server.start(), 0) << "the private PipeWire server did not start again";
    ASSERT_TRUE(playback.waitFor([&] { return renderer.sinkName() == "PipeWire"; },
                                 std::chrono::seconds(10)))
        << "the renderer plays to the server again";
    PipeWireRecorder recorder(sinkName, TonePlayback::kRate, 2);
    ASSERT_TRUE(recorder.isRecording());
    EXPECT_TRUE(playback.waitFor([&] { return TonePlayback::heardIn(recorder.samples()); },
                                 std::chrono::seconds(10)));
    EXPECT_FALSE(playback.clockStalled());
    EXPECT_EQ(playback.synchronizer().rate(), 1.0f);
    EXPECT_TRUE(
        playback.waitFor([&] { return playback.flushes() >= 2; }, std::chrono::seconds(10)));
    EXPECT_EQ(playback.flushes(), 2) << "one when the server went, one when it came back";
}

}  // namespace
