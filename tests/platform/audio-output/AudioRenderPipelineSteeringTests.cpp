#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include <fmt/format.h>

extern "C" {
#include <libavutil/channel_layout.h>
}

#include "platform/audio-output/AudioRenderPipeline.h"
#include "platform/clock/CMClock.h"

namespace {

using namespace platform;

constexpr int kSampleRate = 48000;
constexpr std::size_t kRenderFrames = 480;
// A click of 1 ms at every quarter second of the time line.
constexpr std::int64_t kClickPeriodFrames = kSampleRate / 4;
constexpr std::int64_t kClickFrames = kSampleRate / 1000;

class ClickSource final : public AudioFrameSource {
public:
    void readFrames(std::int64_t position, float* out, std::size_t frameCount) override {
        for (std::size_t index = 0; index < frameCount; ++index) {
            const std::int64_t frame = position + std::int64_t(index);
            out[index] = frame >= 0 && frame % kClickPeriodFrames < kClickFrames ? 0.8f : 0.0f;
        }
    }
    void discardFramesBefore(std::int64_t) override {}
};

// A sink that is not the host clock's: it plays `1 + clockDrift` frames per host second, and its
// latency grows by `latencyJumpSeconds` once it has played `jumpAfterSeconds` (as when its
// server played on without it for that long). It says truly when each block will be heard, as a
// sound server does once its timing has caught up.
struct SinkBehaviour {
    std::string name;
    double clockDrift = 0;
    double latencyJumpSeconds = 0;
    double jumpAfterSeconds = 0;
    double seconds = 12;
};

struct Click {
    double hostSeconds = 0;
    // Heard minus when the time line reached it, in host milliseconds.
    double errorMilliseconds = 0;
};

struct Playback {
    std::vector<Click> clicks;
    std::uint64_t placements = 0;
};

// Plays the clicks at `rate` through the pipeline to such a sink, and says when each click was
// heard against the time line.
Playback play(double rate, const SinkBehaviour& sink) {
    const AudioSinkFormat format{kSampleRate, 1, AV_CH_FRONT_CENTER};
    ClickSource source;
    AudioRenderPipeline pipeline(format, source);
    constexpr double kAnchorHostSeconds = 10;
    const CMTimebaseAnchor anchor{rate, kCMTimeZero,
                                  CMClockMakeHostTime(std::int64_t(kAnchorHostSeconds * 1e9)), 1};
    const double framesPerHostSecond = kSampleRate * (1 + sink.clockDrift);
    const auto heardAt = [&](std::int64_t frame) {
        const double played = double(frame) / framesPerHostSecond;
        return kAnchorHostSeconds + 0.04 + played +
               (played >= sink.jumpAfterSeconds ? sink.latencyJumpSeconds : 0.0);
    };

    std::vector<float> block(kRenderFrames);
    std::vector<Click> clicks;
    std::int64_t played = 0;
    std::int64_t quietFrames = kSampleRate;
    while (double(played) / framesPerHostSecond < sink.seconds) {
        const double host = heardAt(played);
        pipeline.render(block.data(), kRenderFrames,
                        CMClockMakeHostTime(std::int64_t(std::llround(host * 1e9))), anchor, 1.0f);
        for (std::size_t index = 0; index < kRenderFrames; ++index) {
            const float sample = std::abs(block[index]);
            if (sample > 0.4f && quietFrames > kSampleRate / 20) {
                const double heard = heardAt(played + std::int64_t(index));
                const double timeline = (heard - kAnchorHostSeconds) * rate;
                const double click = std::round(timeline * 4) / 4;
                clicks.push_back({heard, (heard - (kAnchorHostSeconds + click / rate)) * 1e3});
            }
            quietFrames = sample > 0.4f ? 0 : quietFrames + 1;
        }
        played += std::int64_t(kRenderFrames);
    }
    EXPECT_LT(std::abs(pipeline.statistics().compensation),
              AudioRenderPipeline::kMaximumCompensation)
        << "the steering ends below its limit";
    return {clicks, pipeline.statistics().placements};
}

std::string describe(const std::vector<Click>& clicks) {
    std::string text;
    for (const Click& click : clicks) {
        text += fmt::format(" {:.2f}s:{:+.2f}", click.hostSeconds - 10, click.errorMilliseconds);
    }
    return text;
}

// Worst |error| of the clicks heard in [from, to) seconds after the time line started.
double worstBetween(const std::vector<Click>& clicks, double from, double to) {
    double worst = 0;
    for (const Click& click : clicks) {
        const double at = click.hostSeconds - 10;
        if (at >= from && at < to) {
            worst = std::max(worst, std::abs(click.errorMilliseconds));
        }
    }
    return worst;
}

struct Case {
    double rate;
    SinkBehaviour sink;
};

void PrintTo(const Case& testCase, std::ostream* out) {
    *out << testCase.sink.name << " at rate " << testCase.rate;
}

class AudioRenderPipelineSteeringTest : public ::testing::TestWithParam<Case> {};

// What the sink plays comes back to the time line once the disturbance has been taken out, and
// on the way never grows away from it again.
TEST_P(AudioRenderPipelineSteeringTest, WhatTheSinkPlaysComesBackToTheTimeLine) {
    const Case& testCase = GetParam();
    const std::vector<Click> clicks = play(testCase.rate, testCase.sink).clicks;
    const double end = testCase.sink.seconds;
    ASSERT_GT(clicks.size(), std::size_t(end * 4 * testCase.rate) - 4) << describe(clicks);

    constexpr double kSettledMilliseconds = 1.5;
    EXPECT_LE(worstBetween(clicks, end - 3, end), kSettledMilliseconds)
        << "settled on the time line at the end:" << describe(clicks);

    // Past the worst moment of the disturbance, each two seconds are no further off than the
    // two before them (by more than the clicks' own scatter).
    const double disturbed =
        testCase.sink.latencyJumpSeconds != 0 ? testCase.sink.jumpAfterSeconds + 0.2 : 0.0;
    double peakAt = disturbed;
    double peak = 0;
    for (const Click& click : clicks) {
        const double at = click.hostSeconds - 10;
        if (at >= disturbed && at < disturbed + 4 && std::abs(click.errorMilliseconds) > peak) {
            peak = std::abs(click.errorMilliseconds);
            peakAt = at;
        }
    }
    double previous = worstBetween(clicks, peakAt, peakAt + 2);
    for (double from = peakAt + 2; from + 2 <= end; from += 2) {
        const double worst = worstBetween(clicks, from, from + 2);
        EXPECT_LE(worst, previous + 0.5)
            << "grew away from the time line after " << from << " s:" << describe(clicks);
        previous = std::max(worst, kSettledMilliseconds);
    }
}

// A sink whose account of when it plays steps (its server played on without it for a period or
// more, its latency changed) is off the time line by that step at once: the output is placed
// afresh there and then, at every rate, not steered back over seconds. A step too small to hear
// is steered out.
TEST(AudioRenderPipelineTest, AStepInWhenTheSinkPlaysIsTakenOutAtOnce) {
    constexpr double kPeriodSeconds = 1024.0 / kSampleRate;
    for (const double rate : {0.5, 1.0, 2.0}) {
        for (const int periods : {1, 4}) {
            const SinkBehaviour sink{"", 0, periods * kPeriodSeconds, 3.1, 6};
            const Playback playback = play(rate, sink);
            EXPECT_EQ(playback.placements, 2u) << periods << " periods at rate " << rate;
            EXPECT_LE(worstBetween(playback.clicks, 3.1 + sink.latencyJumpSeconds, 6), 0.1)
                << periods << " periods at rate " << rate << ":" << describe(playback.clicks);
        }
        const SinkBehaviour slight{"", 0, 0.0008, 3.1, 6};
        EXPECT_EQ(play(rate, slight).placements, 1u) << "at rate " << rate;
    }
}

std::vector<Case> cases() {
    const std::vector<SinkBehaviour> sinks{
        {"ClockFast", 0.003, 0, 0, 12},
        {"ClockSlow", -0.003, 0, 0, 12},
        {"LatencyJumps", 0, 0.030, 3, 16},
    };
    std::vector<Case> all;
    for (const double rate : {0.5, 1.0, 2.0}) {
        for (const SinkBehaviour& sink : sinks) {
            all.push_back({rate, sink});
        }
    }
    return all;
}

INSTANTIATE_TEST_SUITE_P(Sinks, AudioRenderPipelineSteeringTest, ::testing::ValuesIn(cases()),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             const double rate = info.param.rate;
                             return info.param.sink.name + "AtRate" +
                                    (rate == 0.5 ? std::string("Half")
                                                 : fmt::format("{}", int(rate)));
                         });

}  // namespace
