#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/audio-output/AudioSink.h"
#include "platform/audio-output/PipeWireSink.h"
#include "platform/foundation/Log.h"

namespace {

using namespace platform;

// Sets an environment variable for the test's life (unset with none), and puts the old value
// back after.
class ScopedEnvironment {
public:
    ScopedEnvironment(std::string name, std::optional<std::string> value) : name_(std::move(name)) {
        if (const char* old = std::getenv(name_.c_str())) {
            old_ = old;
        }
        set(value);
    }
    ~ScopedEnvironment() { set(old_); }

private:
    void set(const std::optional<std::string>& value) {
        if (value) {
            ::setenv(name_.c_str(), value->c_str(), 1);
        } else {
            ::unsetenv(name_.c_str());
        }
    }

    std::string name_;
    std::optional<std::string> old_;
};

// Where no server answers: a PipeWire runtime directory and a PulseAudio socket that do not
// exist.
struct NoServerAnswers {
    ScopedEnvironment pipeWire{"PIPEWIRE_RUNTIME_DIR", "/nonexistent/quillon-test"};
    ScopedEnvironment pulseAudio{"PULSE_SERVER", "unix:/nonexistent/quillon-test/native"};
};

// Each case says why sound goes nowhere, once, as a warning a user can act on.
TEST(AudioSinkChoiceTest, WhereNoServerAnswersTheNullSinkPlaysAndTheTerminalSaysWhy) {
    const NoServerAnswers nothing;
    {
        const ScopedEnvironment automatic{kSoundServerEnvironmentVariable, std::nullopt};
        ScopedLogCapture log;
        EXPECT_EQ(makeDefaultAudioSink()->name(), "null");
        EXPECT_EQ(log.levelOf("No sound server answers ("), LogLevel::warning);
        EXPECT_TRUE(log.contains("so audio plays to a null sink."));
    }
    {
        const ScopedEnvironment pipeWire{kSoundServerEnvironmentVariable, "pipewire"};
        ScopedLogCapture log;
        EXPECT_EQ(makeDefaultAudioSink()->name(), "null") << "a chosen server is not passed over";
        EXPECT_EQ(log.levelOf("PipeWire does not answer ("), LogLevel::warning);
    }
    {
        const ScopedEnvironment pulseAudio{kSoundServerEnvironmentVariable, "pulseaudio"};
        ScopedLogCapture log;
        EXPECT_EQ(makeDefaultAudioSink()->name(), "null");
        EXPECT_EQ(log.levelOf("PulseAudio does not answer ("), LogLevel::warning);
    }
    {
        const ScopedEnvironment unknown{kSoundServerEnvironmentVariable, "jack"};
        ScopedLogCapture log;
        EXPECT_EQ(makeDefaultAudioSink()->name(), "null");
        EXPECT_EQ(log.levelOf("names no sound server the player knows (“jack”"),
                  LogLevel::warning);
    }
}

// On a session whose sound server is PipeWire (tests/support/run-with-pipewire starts one with
// its PulseAudio server), the player plays through PipeWire's own interface, and says so only in
// the full log; the switch takes it through the PulseAudio server instead.
TEST(AudioSinkChoiceTest, OnPipeWireThePlayerPlaysThroughItsOwnInterfaceUnlessToldOtherwise) {
    std::string failure;
    if (!PipeWireSink::connect(CMClockGetHostTimeClock(), &failure)) {
        if (std::getenv("QUILLON_TEST_REQUIRE_PIPEWIRE") != nullptr) {
            FAIL() << "the PipeWire server started for the test does not answer: " << failure;
        }
        GTEST_SKIP() << "No PipeWire server plays sound here (" << failure << ").";
    }
    {
        const ScopedEnvironment automatic{kSoundServerEnvironmentVariable, std::nullopt};
        ScopedLogCapture log;
        EXPECT_EQ(makeDefaultAudioSink()->name(), "PipeWire");
        EXPECT_EQ(log.levelOf("Audio plays through PipeWire."), LogLevel::debug);
        for (const ScopedLogCapture::Line& line : log.entries()) {
            EXPECT_EQ(line.level, LogLevel::debug) << line.text;
        }
    }
    {
        const ScopedEnvironment pulseAudio{kSoundServerEnvironmentVariable, "pulseaudio"};
        ScopedLogCapture log;
        EXPECT_EQ(makeDefaultAudioSink()->name(), "PulseAudio");
        EXPECT_EQ(log.levelOf("Audio plays through PulseAudio."), LogLevel::debug);
    }
}

}  // namespace
