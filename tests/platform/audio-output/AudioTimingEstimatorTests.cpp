#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>

#include "platform/audio-output/AudioTimingEstimator.h"

namespace {

using platform::AudioTimingEstimator;
using platform::AudioTimingReport;
using Accounts = AudioTimingEstimator::Accounts;

constexpr int kRate = 48000;
constexpr double kNanosecondsPerSecond = 1e9;

// A sound server and its card, as the tests' truth: when each frame is heard, and what the
// server says of it in its reports.
struct ServerModel {
    std::string name;
    Accounts accounts = Accounts::exact;
    // Reports come this often, each this much earlier or later at random.
    double reportIntervalSeconds = 0.037;
    double intervalJitterSeconds = 0.0;
    // Positions stated in whole periods of this many frames (0: exact), counting a period as
    // played once it has been taken.
    std::int64_t period = 0;
    // The time a report stands for is off by up to this, either way, at random.
    double stampJitterSeconds = 0.0;
    // The card plays this many frames per host second over its nominal rate.
    double clockRatio = 1.0;
    // From this host time on, frames are heard this much later (negative: earlier).
    double stepAtSeconds = -1;
    double stepSeconds = 0;
    // The reports due from this host time on stand for the moment they arrived this much later,
    // for one report or, where it is longer, for this long.
    double lateReportAtSeconds = -1;
    double lateBySeconds = 0;
    double lateForSeconds = 0;
    // From when on the estimate must hold (a few seconds after the start or the event).
    double settledFromSeconds = 4.0;
};

std::ostream& operator<<(std::ostream& stream, const ServerModel& model) {
    return stream << model.name;
}

class Simulation {
public:
    explicit Simulation(const ServerModel& model) : model_(model) {}

    // When frame `position` is heard: played from frame 0 at 0.1 s on, 40 ms after it is taken.
    double heardSeconds(double position) const {
        double seconds = 0.1 + 0.04 + position / (kRate * model_.clockRatio);
        if (model_.stepAtSeconds >= 0 && position >= stepPosition()) {
            seconds += model_.stepSeconds;
        }
        return seconds;
    }
    // The frame heard at a host time.
    double positionHeardAt(double seconds) const {
        double position = (seconds - 0.14) * kRate * model_.clockRatio;
        if (model_.stepAtSeconds >= 0 && position >= stepPosition()) {
            position = std::max(stepPosition(),
                                (seconds - 0.14 - model_.stepSeconds) * kRate * model_.clockRatio);
        }
        return position;
    }
    // The first frame taken after the step: the frames before it were already on their way.
    double stepPosition() const { return (model_.stepAtSeconds - 0.1) * kRate * model_.clockRatio; }

    // What the server says at host time `seconds`.
    AudioTimingReport reportAt(double seconds, std::mt19937& random) const {
        // The frame taken last, and when it is heard: the server's exact account of it.
        const double taken = std::floor(positionHeardAt(seconds + 0.04));
        const double heard = heardSeconds(taken);
        double stated = taken;
        if (model_.period > 0) {
            stated = std::ceil((taken + 1) / double(model_.period)) * double(model_.period);
        }
        double stamp = seconds;
        if (model_.stampJitterSeconds > 0) {
            stamp += std::uniform_real_distribution<double>(-model_.stampJitterSeconds,
                                                            model_.stampJitterSeconds)(random);
        }
        if (model_.lateReportAtSeconds >= 0 && seconds >= model_.lateReportAtSeconds &&
            seconds < model_.lateReportAtSeconds +
                          std::max(model_.reportIntervalSeconds, model_.lateForSeconds)) {
            stamp += model_.lateBySeconds;
        }
        AudioTimingReport report;
        report.position = std::int64_t(stated);
        report.hostNanoseconds = std::llround(stamp * kNanosecondsPerSecond);
        report.latencyNanoseconds = std::llround((heard - seconds) * kNanosecondsPerSecond);
        return report;
    }

    const ServerModel& model() const { return model_; }

private:
    ServerModel model_;
};

class AudioTimingEstimatorTest : public ::testing::TestWithParam<ServerModel> {};

// Twelve seconds of reports; after each one, the frame about to be written (60 ms of frames
// ahead of what is heard) must be placed within a millisecond of when it is heard, from a few
// seconds after the start or the event on.
TEST_P(AudioTimingEstimatorTest, PlacesFramesWithinAMillisecondOfWhenTheyAreHeard) {
    const Simulation simulation(GetParam());
    const ServerModel& model = simulation.model();
    AudioTimingEstimator estimator(kRate, model.accounts);
    std::mt19937 random(40);
    double worst = 0;
    double worstAt = 0;
    std::size_t checked = 0;
    for (double seconds = 0.2; seconds < 12.0;) {
        estimator.addReport(simulation.reportAt(seconds, random));
        if (seconds >= model.settledFromSeconds) {
            const auto written = std::int64_t(simulation.positionHeardAt(seconds) + 0.06 * kRate);
            const auto estimate = estimator.hostNanosecondsOfFrame(written);
            ASSERT_TRUE(estimate.has_value());
            const double error = double(*estimate) / kNanosecondsPerSecond -
                                 simulation.heardSeconds(double(written));
            if (std::abs(error) > std::abs(worst)) {
                worst = error;
                worstAt = seconds;
            }
            ++checked;
        }
        seconds += model.reportIntervalSeconds;
        if (model.intervalJitterSeconds > 0) {
            seconds += std::uniform_real_distribution<double>(-model.intervalJitterSeconds,
                                                              model.intervalJitterSeconds)(random);
        }
    }
    ASSERT_GT(checked, 50u);
    EXPECT_LT(std::abs(worst) * 1e3, 1.0)
        << "worst error " << worst * 1e3 << " ms at " << worstAt << " s";
}

ServerModel model(std::string name, Accounts accounts) {
    ServerModel result;
    result.name = std::move(name);
    result.accounts = accounts;
    return result;
}

ServerModel exactServer(double interval) {
    ServerModel result =
        model(interval < 0.03 ? "ExactEveryPeriod" : "ExactOnATimer", Accounts::exact);
    result.reportIntervalSeconds = interval;
    return result;
}

ServerModel periods(std::int64_t period, double interval) {
    ServerModel result = model("Periods" + std::to_string(period), Accounts::coarse);
    result.period = period;
    result.reportIntervalSeconds = interval;
    result.intervalJitterSeconds = 0.0005;
    return result;
}

ServerModel jittering(Accounts accounts) {
    ServerModel result = model("StampsOffByUpTo2500us", accounts);
    result.stampJitterSeconds = 0.0025;
    result.intervalJitterSeconds = 0.005;
    return result;
}

ServerModel drifting(double ratio, Accounts accounts, std::int64_t period = 0) {
    ServerModel result = model(std::string(ratio > 1 ? "Fast" : "Slow") + "Clock", accounts);
    result.clockRatio = ratio;
    result.period = period;
    if (period > 0) {
        result.name += "InPeriods";
        result.intervalJitterSeconds = 0.0005;
        // Coarse accounts tell the rate less surely, so it takes them longer to learn it.
        result.settledFromSeconds = 6.0;
    }
    return result;
}

ServerModel stepping(double step, Accounts accounts, std::int64_t period = 0) {
    ServerModel result = model(std::string("Latency") + (step > 0 ? "Grows" : "Shrinks"), accounts);
    result.stepAtSeconds = 5.0;
    result.stepSeconds = step;
    // Coarse accounts agree again once they cover every phase of a period.
    result.settledFromSeconds = 5.0 + (accounts == Accounts::exact ? 1.0 : 3.0);
    result.period = period;
    if (period > 0) {
        result.name += "InPeriods";
        result.intervalJitterSeconds = 0.0005;
    }
    return result;
}

ServerModel late(Accounts accounts, std::int64_t period = 0) {
    ServerModel result = model("OneReportStampedLate", accounts);
    result.lateReportAtSeconds = 6.0;
    result.lateBySeconds = 0.04;
    result.period = period;
    if (period > 0) {
        result.name += "InPeriods";
        result.intervalJitterSeconds = 0.0005;
    }
    return result;
}

// A loaded server: for a third of a second every report comes three periods late.
ServerModel loaded(std::int64_t period) {
    ServerModel result = late(Accounts::coarse, period);
    result.name = "LoadedForAWhileInPeriods";
    result.lateBySeconds = 3.0 * double(period) / kRate;
    result.lateForSeconds = 0.33;
    result.settledFromSeconds = 7.0;
    return result;
}

// What servers send: PulseAudio's exact accounts; PipeWire's PulseAudio server in whole graph
// periods (1024 frames by default, 256 beside a low-latency client), asked for by a timer of
// 37 ms, or every period as PipeWire's own stream reports; accounts stamped a few milliseconds
// off; a latency that changes; a report held up, or a run of them; a card whose clock runs
// 0.3 % off.
INSTANTIATE_TEST_SUITE_P(
    Servers, AudioTimingEstimatorTest,
    ::testing::Values(exactServer(0.037), exactServer(1024.0 / kRate), periods(1024, 0.037),
                      periods(256, 0.037), jittering(Accounts::exact),
                      stepping(0.02, Accounts::exact), stepping(-0.02, Accounts::exact),
                      stepping(0.02, Accounts::coarse, 1024), late(Accounts::exact),
                      late(Accounts::coarse, 1024), loaded(1024), drifting(1.003, Accounts::exact),
                      drifting(0.997, Accounts::exact)),
    [](const ::testing::TestParamInfo<ServerModel>& info) {
        return info.param.name + (info.param.accounts == Accounts::coarse ? "Coarse" : "");
    });

TEST(AudioTimingEstimator, LearnsHowFastTheCardPlaysAndKeepsItAcrossAReset) {
    ServerModel fast = drifting(1.003, Accounts::exact);
    const Simulation simulation(fast);
    AudioTimingEstimator estimator(kRate, Accounts::exact);
    EXPECT_FALSE(estimator.hostNanosecondsOfFrame(0).has_value());
    std::mt19937 random(1);
    for (double seconds = 0.2; seconds < 6; seconds += 0.037) {
        estimator.addReport(simulation.reportAt(seconds, random));
    }
    EXPECT_NEAR(estimator.clockRatio(), 1.003, 0.0002);
    estimator.reset();
    EXPECT_FALSE(estimator.hostNanosecondsOfFrame(0).has_value());
    EXPECT_NEAR(estimator.clockRatio(), 1.003, 0.0002) << "the card's rate is the card's";
    // One report places frames again at once.
    estimator.addReport(simulation.reportAt(6.1, random));
    const auto frame = std::int64_t(simulation.positionHeardAt(6.1));
    EXPECT_NEAR(double(*estimator.hostNanosecondsOfFrame(frame)) / kNanosecondsPerSecond,
                simulation.heardSeconds(double(frame)), 1e-4);
}

}  // namespace
