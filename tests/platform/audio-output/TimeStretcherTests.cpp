#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <numbers>
#include <random>
#include <tuple>
#include <vector>

#include "AtempoReference.h"
#include "platform/audio-output/TimeStretcher.h"

namespace {

using platform::TimeStretcher;

constexpr int kRate = 48000;

// A signal on the time line: value of a channel at a frame (silence before 0).
using Signal = std::function<float(std::int64_t frame, int channel)>;

Signal tone(double frequency, double amplitude = 0.5) {
    return [=](std::int64_t frame, int) {
        return frame < 0 ? 0.0f
                         : float(amplitude * std::sin(2 * std::numbers::pi * frequency *
                                                      double(frame) / kRate));
    };
}

// From 100 Hz up to 2 kHz over 4 s.
double chirpFrequency(double seconds) {
    return 100 + (2000 - 100) / 4.0 * seconds;
}
Signal chirp() {
    return [](std::int64_t frame, int) {
        const double t = double(frame) / kRate;
        return frame < 0 ? 0.0f
                         : float(0.5 * std::sin(2 * std::numbers::pi *
                                                (100 * t + (2000 - 100) / 8.0 * t * t)));
    };
}

// 1 ms clicks at 0.8 of full scale, as the synchronisation benchmark's clip has them.
constexpr std::int64_t kClickFrames = 48;
Signal clicks(std::vector<std::int64_t> starts, Signal bed = {}) {
    return [starts = std::move(starts), bed](std::int64_t frame, int channel) {
        for (const std::int64_t start : starts) {
            if (frame >= start && frame < start + kClickFrames) {
                return 0.8f;
            }
        }
        return bed ? bed(frame, channel) : 0.0f;
    };
}

// Clicks every quarter second, each at another phase of the windows.
std::vector<std::int64_t> clickStarts(int count) {
    std::vector<std::int64_t> starts;
    for (int index = 1; index <= count; ++index) {
        starts.push_back(std::int64_t(index) * kRate / 4 + (index * 37) % 240);
    }
    return starts;
}

struct Output {
    std::vector<float> samples;  // interleaved
    // The input position each output frame stands for, as the stretcher reported it.
    std::vector<double> positions;
};

// Feeds the stretcher what it asks for from `signal` and takes `frames` frames of output (or
// until it ends), in pulls of `pullFrames`; `atFrame` may change the rate between pulls.
Output run(TimeStretcher& stretcher, const Signal& signal, std::size_t frames,
           std::size_t pullFrames = 512, std::int64_t finishAt = INT64_MAX,
           const std::function<void(std::size_t outputFrame)>& atFrame = {}) {
    const auto channels = std::size_t(stretcher.channelCount());
    Output output;
    std::vector<float> buffer(pullFrames * channels);
    std::vector<float> input;
    while (output.positions.size() < frames) {
        if (atFrame) {
            atFrame(output.positions.size());
        }
        const double position = stretcher.outputPosition();
        const std::size_t want = std::min(pullFrames, frames - output.positions.size());
        const std::size_t pulled = stretcher.pull(buffer.data(), want);
        output.samples.insert(output.samples.end(), buffer.begin(),
                              buffer.begin() + std::ptrdiff_t(pulled * channels));
        for (std::size_t frame = 0; frame < pulled; ++frame) {
            output.positions.push_back(position + double(frame) * stretcher.rate());
        }
        if (pulled == want) {
            continue;
        }
        const std::size_t needed = stretcher.inputFramesWanted();
        if (needed == 0) {
            break;  // finished
        }
        const std::int64_t first = stretcher.inputPosition();
        const std::size_t count =
            finishAt == INT64_MAX
                ? needed
                : std::min(needed, std::size_t(std::max<std::int64_t>(0, finishAt - first)));
        input.resize(count * channels);
        for (std::size_t frame = 0; frame < count; ++frame) {
            for (std::size_t channel = 0; channel < channels; ++channel) {
                input[frame * channels + channel] =
                    signal(first + std::int64_t(frame), int(channel));
            }
        }
        stretcher.push(input.data(), count);
        if (first + std::int64_t(count) >= finishAt) {
            stretcher.finish();
        }
    }
    return output;
}

// The strongest frequency over [begin, end) between low and high Hz, to 0.25 Hz: Goertzel
// filters over a Hann-weighted stretch, coarse first, then around the best.
double peakFrequency(const std::vector<float>& samples, std::size_t begin, std::size_t end,
                     double low, double high) {
    std::vector<double> weighted(end - begin);
    for (std::size_t index = 0; index < weighted.size(); ++index) {
        const double phase = 2 * std::numbers::pi * double(index) / double(weighted.size());
        weighted[index] = (0.5 - 0.5 * std::cos(phase)) * samples[begin + index];
    }
    const auto power = [&](double frequency) {
        const double coefficient = 2 * std::cos(2 * std::numbers::pi * frequency / kRate);
        double previous = 0;
        double beforePrevious = 0;
        for (const double sample : weighted) {
            const double current = sample + coefficient * previous - beforePrevious;
            beforePrevious = previous;
            previous = current;
        }
        return previous * previous + beforePrevious * beforePrevious -
               coefficient * previous * beforePrevious;
    };
    double best = low;
    for (const double step : {4.0, 0.25}) {
        double bestPower = -1;
        const double from = step == 4.0 ? low : best - 4;
        const double to = step == 4.0 ? high : best + 4;
        for (double frequency = from; frequency <= to; frequency += step) {
            const double value = power(frequency);
            if (value > bestPower) {
                bestPower = value;
                best = frequency;
            }
        }
    }
    return best;
}

// Listening-free measures of how clean a stretched tone is.
struct Cleanliness {
    // Largest second difference: a splice that breaks the waveform shows as a spike.
    double largestSecondDifference = 0;
    // The loudest and quietest 10 ms: splices out of phase dip the level.
    double lowestLevel = 1e9;
    double highestLevel = 0;
};

Cleanliness measure(const std::vector<float>& samples, std::size_t begin, std::size_t end) {
    Cleanliness result;
    for (std::size_t index = begin + 2; index < end; ++index) {
        result.largestSecondDifference = std::max(
            result.largestSecondDifference,
            std::abs(double(samples[index]) - 2 * samples[index - 1] + samples[index - 2]));
    }
    constexpr std::size_t kBlock = kRate / 100;
    for (std::size_t block = begin; block + kBlock <= end; block += kBlock) {
        double energy = 0;
        for (std::size_t index = block; index < block + kBlock; ++index) {
            energy += double(samples[index]) * samples[index];
        }
        const double level = std::sqrt(energy / kBlock);
        result.lowestLevel = std::min(result.lowestLevel, level);
        result.highestLevel = std::max(result.highestLevel, level);
    }
    return result;
}

// Where each click of a mono output lies: the energy centroid of the click and its copies, less
// half a click (the benchmark's measure), in output frames. Over a quieter sound, only what is
// louder than `level` counts.
std::vector<double> findClicks(const std::vector<float>& samples, double rate,
                               float level = 0.02f) {
    std::vector<double> found;
    const auto cluster = std::size_t(0.1 * kRate * std::min(1.0, 0.5 / rate));
    std::size_t frame = 0;
    while (frame < samples.size()) {
        if (std::abs(samples[frame]) < level) {
            ++frame;
            continue;
        }
        double energy = 0;
        double moment = 0;
        for (std::size_t index = frame; index < std::min(samples.size(), frame + cluster);
             ++index) {
            if (level > 0.02f && std::abs(samples[index]) < level) {
                continue;
            }
            energy += double(samples[index]) * samples[index];
            moment += double(samples[index]) * samples[index] * double(index);
        }
        found.push_back(moment / energy - double(kClickFrames) / 2);
        frame += cluster;
    }
    return found;
}

// The output frame at which the reported positions reach `position`.
double outputFrameOf(const std::vector<double>& positions, double position) {
    const auto at = std::lower_bound(positions.begin(), positions.end(), position);
    if (at == positions.begin() || at == positions.end()) {
        return double(at - positions.begin());
    }
    const auto index = std::size_t(at - positions.begin());
    return double(index - 1) +
           (position - positions[index - 1]) / (positions[index] - positions[index - 1]);
}

TEST(TimeStretcherTest, KeepsThePitchAndFollowsAChirpOnItsTimeLine) {
    for (const double rate : {0.5, 0.75, 1.5, 2.0}) {
        SCOPED_TRACE(rate);
        TimeStretcher toneStretcher(1, kRate, rate, 0);
        const Output toneOutput = run(toneStretcher, tone(440), kRate);
        EXPECT_NEAR(peakFrequency(toneOutput.samples, kRate / 4, kRate, 400, 480), 440, 1.0);

        // The pitch heard at an output frame is the one at the input it stands for.
        TimeStretcher chirpStretcher(1, kRate, rate, 0);
        const Output chirpOutput = run(chirpStretcher, chirp(), std::size_t(3.5 * kRate / rate));
        for (double seconds = 0.5; seconds < 3.5; seconds += 0.5) {
            const auto centre = std::size_t(seconds * kRate / rate);
            const std::size_t half = kRate / 50;
            const double expected = chirpFrequency(chirpOutput.positions[centre] / kRate);
            EXPECT_NEAR(peakFrequency(chirpOutput.samples, centre - half, centre + half,
                                      expected - 100, expected + 100),
                        expected, 0.03 * expected)
                << "at " << seconds << " s of input";
        }
    }
}

TEST(TimeStretcherTest, SoundsAtLeastAsCleanAsAtempo) {
    // A voice-like harmonic tone at 110 Hz, whose long period is the hard case for splicing.
    const Signal voice = [](std::int64_t frame, int) {
        const double t = double(frame) / kRate;
        return frame < 0 ? 0.0f
                         : float(0.3 * std::sin(2 * std::numbers::pi * 110 * t) +
                                 0.2 * std::sin(2 * std::numbers::pi * 220 * t + 1) +
                                 0.1 * std::sin(2 * std::numbers::pi * 330 * t + 2));
    };
    for (const double rate : {0.5, 2.0}) {
        // Each with its fundamental.
        for (const auto& [name, signal, pitch] :
             {std::tuple{"tone", tone(440), 440.0}, std::tuple{"voice", voice, 110.0}}) {
            SCOPED_TRACE(::testing::Message() << name << " at rate " << rate);
            const std::size_t frames = 2 * kRate;
            TimeStretcher stretcher(1, kRate, rate, 0);
            const std::vector<float> ours = run(stretcher, signal, frames).samples;

            std::vector<float> input(std::size_t(double(frames) * rate) + kRate);
            for (std::size_t frame = 0; frame < input.size(); ++frame) {
                input[frame] = signal(std::int64_t(frame), 0);
            }
            const std::vector<float> theirs = quillon::test::stretchWithAtempo(input, kRate, rate);
            ASSERT_GE(theirs.size(), frames);

            const std::size_t begin = kRate / 4;
            const Cleanliness mine = measure(ours, begin, frames);
            const Cleanliness reference = measure(theirs, begin, frames);
            const Cleanliness original = measure(input, begin, frames);
            RecordProperty(
                fmt::format("{}_{}", name, rate),
                fmt::format("second difference {:.4f} (atempo {:.4f}, input {:.4f}); "
                            "level {:.3f}..{:.3f} (atempo {:.3f}..{:.3f})",
                            mine.largestSecondDifference, reference.largestSecondDifference,
                            original.largestSecondDifference, mine.lowestLevel, mine.highestLevel,
                            reference.lowestLevel, reference.highestLevel));
            EXPECT_LE(mine.largestSecondDifference,
                      std::max(reference.largestSecondDifference,
                               original.largestSecondDifference * 1.1));
            EXPECT_GE(mine.lowestLevel, 0.9 * original.lowestLevel);
            EXPECT_LE(mine.highestLevel, 1.1 * original.highestLevel);
            EXPECT_GE(mine.lowestLevel, reference.lowestLevel * 0.95);
            EXPECT_NEAR(peakFrequency(ours, begin, frames, pitch - 40, pitch + 40), pitch, 0.5);
            EXPECT_NEAR(peakFrequency(theirs, begin, frames, pitch - 40, pitch + 40), pitch, 0.5);
        }
    }
}

TEST(TimeStretcherTest, ClicksLandWhereTheTimeLinePutsThem) {
    const std::vector<std::int64_t> starts = clickStarts(16);
    for (const bool overMusic : {false, true}) {
        for (const double rate : {0.5, 0.75, 1.5, 2.0}) {
            SCOPED_TRACE(::testing::Message()
                         << "rate " << rate << (overMusic ? " over a tone" : ""));
            TimeStretcher stretcher(1, kRate, rate, 0);
            const Output output =
                run(stretcher, clicks(starts, overMusic ? tone(220, 0.05) : Signal{}),
                    std::size_t(4.2 * kRate / rate));
            const std::vector<double> found =
                findClicks(output.samples, rate, overMusic ? 0.1f : 0.02f);
            ASSERT_EQ(found.size(), starts.size());
            for (std::size_t index = 0; index < starts.size(); ++index) {
                const double expected = double(starts[index]) / rate;
                EXPECT_NEAR(found[index], expected, 0.0015 * kRate) << "click " << index;
            }
        }
    }
}

TEST(TimeStretcherTest, ReportsExactlyWhereItsOutputStandsAndEndsWithItsInput) {
    for (const double rate : {0.5, 1.0, 1.337, 2.0}) {
        SCOPED_TRACE(rate);
        const double start = 12345.25;
        TimeStretcher stretcher(2, kRate, rate, start);
        const std::int64_t end = 3 * kRate;
        // Odd pull sizes, so that pulls straddle the blocks.
        const Output output = run(stretcher, tone(440), SIZE_MAX, 333, end);
        for (std::size_t frame = 0; frame < output.positions.size(); frame += 997) {
            ASSERT_NEAR(output.positions[frame],
                        (rate == 1.0 ? std::round(start) : start) + double(frame) * rate, 1e-6)
                << "frame " << frame;
        }
        const double expectedFrames = (double(end) - start) / rate;
        EXPECT_NEAR(double(output.positions.size()), expectedFrames, 1.0);
        float buffer[8];
        EXPECT_EQ(stretcher.pull(buffer, 4), 0u) << "nothing after the end";
    }
}

TEST(TimeStretcherTest, RateOnePlaysTheInputBitForBitAndComesBackToItAfterAChange) {
    std::mt19937 generator(7);
    std::uniform_real_distribution<float> noise(-1, 1);
    std::vector<float> table(std::size_t(6 * kRate) * 3);
    for (float& sample : table) {
        sample = noise(generator);
    }
    const Signal signal = [&](std::int64_t frame, int channel) {
        return table[std::size_t(frame + kRate) * 3 + std::size_t(channel)];
    };
    TimeStretcher stretcher(3, kRate, 1.0, 1000);
    const std::size_t changeAt = kRate / 2;
    const std::size_t backAt = kRate;
    const Output output = run(stretcher, signal, 2 * kRate, 480, INT64_MAX, [&](std::size_t at) {
        if (at == changeAt) {
            stretcher.setRate(1.7);
        } else if (at == backAt) {
            stretcher.setRate(1.0);
        }
    });
    const auto exactAt = [&](std::size_t frame) {
        const auto position = std::int64_t(output.positions[frame]);
        EXPECT_EQ(double(position), output.positions[frame]) << "whole frames at rate 1";
        for (int channel = 0; channel < 3; ++channel) {
            if (output.samples[frame * 3 + std::size_t(channel)] != signal(position, channel)) {
                return false;
            }
        }
        return true;
    };
    for (std::size_t frame = 0; frame < changeAt; ++frame) {
        ASSERT_TRUE(exactAt(frame)) << "frame " << frame;
    }
    // Once the windows made at 1.7 have played out, the input again.
    const std::size_t settled = backAt + stretcher.windowFrames();
    for (std::size_t frame = settled; frame < output.positions.size(); ++frame) {
        ASSERT_TRUE(exactAt(frame)) << "frame " << frame;
    }
}

TEST(TimeStretcherTest, RateChangesMidStreamKeepClicksOnTheReportedTimeLine) {
    const std::vector<std::int64_t> starts = clickStarts(20);
    TimeStretcher stretcher(1, kRate, 0.5, 0);
    const double rates[] = {0.5, 2.0, 0.8, 1.25};
    const Output output =
        run(stretcher, clicks(starts), 8 * kRate, 256, INT64_MAX, [&](std::size_t at) {
            // A change every 0.7 s of output, between clicks and on them alike.
            stretcher.setRate(rates[(at / (kRate * 7 / 10)) % 4]);
        });
    const std::vector<double> found = findClicks(output.samples, 2.0);
    std::size_t checked = 0;
    for (const double click : found) {
        // Match the click against the nearest one on the reported time line.
        double best = 1e18;
        for (const std::int64_t start : starts) {
            const double expected = outputFrameOf(output.positions, double(start));
            if (std::abs(click - expected) < std::abs(best)) {
                best = click - expected;
            }
        }
        // A window made before a change carries the old rate: a little more than in steady play.
        EXPECT_LT(std::abs(best), 0.003 * kRate) << "click at output frame " << click;
        ++checked;
    }
    EXPECT_GE(checked, 15u);
}

TEST(TimeStretcherTest, OutputDependsOnNeitherChunkingNorLayoutAndResetStartsAfresh) {
    for (const int channels : {1, 2, 6, 8}) {
        SCOPED_TRACE(channels);
        const Signal signal = [channels](std::int64_t frame, int channel) {
            return frame < 0 ? 0.0f
                             : float(0.4 * std::sin(double(frame) * 0.01 * (channel + 1)) +
                                     0.1 * std::sin(double(frame) * 0.173 / channels));
        };
        const std::size_t frames = kRate / 2;
        TimeStretcher reference(channels, kRate, 0.7, 500);
        const std::vector<float> expected = run(reference, signal, frames, 4096).samples;
        ASSERT_EQ(expected.size(), frames * std::size_t(channels));

        // Planar, in other chunk sizes (pushes of at least 61 frames, pulls of at most 97).
        TimeStretcher planar(channels, kRate, 0.7, 500);
        const auto planeCount = static_cast<std::size_t>(channels);
        std::vector<std::vector<float>> in(planeCount);
        std::vector<std::vector<float>> out(planeCount, std::vector<float>(97));
        std::vector<const float*> inPlanes(planeCount);
        std::vector<float*> outPlanes(planeCount);
        for (std::size_t channel = 0; channel < planeCount; ++channel) {
            outPlanes[channel] = out[channel].data();
        }
        std::vector<float> got;
        while (got.size() < expected.size()) {
            const std::size_t count = planar.pullPlanar(
                outPlanes.data(), std::min<std::size_t>(97, frames - got.size() / planeCount));
            for (std::size_t index = 0; index < count * planeCount; ++index) {
                got.push_back(out[index % planeCount][index / planeCount]);
            }
            const std::size_t push = std::max<std::size_t>(planar.inputFramesWanted(), 61);
            for (std::size_t channel = 0; count == 0 && channel < planeCount; ++channel) {
                in[channel].resize(push);
                for (std::size_t frame = 0; frame < push; ++frame) {
                    in[channel][frame] =
                        signal(planar.inputPosition() + std::int64_t(frame), int(channel));
                }
                inPlanes[channel] = in[channel].data();
            }
            if (count == 0) {
                planar.pushPlanar(inPlanes.data(), push);
            }
        }
        EXPECT_EQ(got, expected);

        // A used stretcher, reset, plays as a new one.
        reference.reset(500);
        EXPECT_EQ(run(reference, signal, frames, 1000).samples, expected);
    }
}

}  // namespace
