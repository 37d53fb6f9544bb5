#include "SyncAnalysis.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include <fmt/format.h>
#include <fmt/ranges.h>

namespace quillon::bench {

namespace {

// A sample this loud belongs to a click; silence in the clip is exact zero, and the faintest
// copies of a time-stretched click are some 25 dB below the click.
constexpr float kDetectionLevel = 0.02f;
// A click and its copies lie within this much of its first sample; the next click comes at
// least this much later (clicks come every second of media: every half second at rate 2).
constexpr double kClusterSeconds = 0.1;
constexpr double kClickSpacingSeconds = 0.2;
// The clicks of the clip are this long; the time stretch copies them whole.
constexpr double kClickSeconds = 0.001;
// How far from its second a heard click may lie and still count as that second's.
constexpr double kMatchWindowSeconds = 0.2;

Distribution distributionOf(const std::vector<double>& values) {
    Distribution distribution;
    distribution.count = values.size();
    if (values.empty()) {
        return distribution;
    }
    std::vector<double> sorted = values;
    std::sort(sorted.begin(), sorted.end());
    const std::size_t middle = sorted.size() / 2;
    distribution.median =
        sorted.size() % 2 == 1 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
    std::vector<double> absolute;
    absolute.reserve(values.size());
    for (const double value : values) {
        absolute.push_back(std::abs(value));
    }
    std::sort(absolute.begin(), absolute.end());
    const auto rank = std::size_t(std::ceil(0.99 * double(absolute.size())));
    distribution.p99Absolute = absolute[std::clamp<std::size_t>(rank, 1, absolute.size()) - 1];
    distribution.maxAbsolute = absolute.back();
    return distribution;
}

// Least-squares slope of y over x.
double slope(const std::vector<double>& x, const std::vector<double>& y) {
    if (x.size() < 2) {
        return 0;
    }
    double meanX = 0;
    double meanY = 0;
    for (std::size_t index = 0; index < x.size(); ++index) {
        meanX += x[index];
        meanY += y[index];
    }
    meanX /= double(x.size());
    meanY /= double(y.size());
    double covariance = 0;
    double variance = 0;
    for (std::size_t index = 0; index < x.size(); ++index) {
        covariance += (x[index] - meanX) * (y[index] - meanY);
        variance += (x[index] - meanX) * (x[index] - meanX);
    }
    return variance > 0 ? covariance / variance : 0;
}

// The median of the slopes between every two points (Theil and Sen): a trend that one second
// disturbed by the machine's load does not tilt.
double robustSlope(const std::vector<double>& x, const std::vector<double>& y) {
    std::vector<double> slopes;
    for (std::size_t first = 0; first < x.size(); ++first) {
        for (std::size_t second = first + 1; second < x.size(); ++second) {
            if (x[second] != x[first]) {
                slopes.push_back((y[second] - y[first]) / (x[second] - x[first]));
            }
        }
    }
    if (slopes.empty()) {
        return 0;
    }
    const auto middle = slopes.begin() + std::ptrdiff_t(slopes.size() / 2);
    std::nth_element(slopes.begin(), middle, slopes.end());
    return *middle;
}

// Media times are compared in whole microseconds, which the clip's millisecond times survive.
std::int64_t microseconds(double seconds) {
    return std::llround(seconds * 1e6);
}

std::string signedMilliseconds(double value) {
    return fmt::format("{:+.2f} ms", value);
}

std::string describe(const Distribution& distribution) {
    return fmt::format("median {}, p99 |·| {:.2f} ms, max |·| {:.2f} ms (n={})",
                       signedMilliseconds(distribution.median), distribution.p99Absolute,
                       distribution.maxAbsolute, distribution.count);
}

}  // namespace

std::vector<double> findClicks(const std::vector<float>& samples, int sampleRate) {
    std::vector<double> clicks;
    const auto cluster = std::size_t(kClusterSeconds * sampleRate);
    const auto spacing = std::size_t(kClickSpacingSeconds * sampleRate);
    std::size_t frame = 0;
    while (frame < samples.size()) {
        if (std::abs(samples[frame]) < kDetectionLevel) {
            ++frame;
            continue;
        }
        double energy = 0;
        double moment = 0;
        const std::size_t end = std::min(samples.size(), frame + cluster);
        for (std::size_t index = frame; index < end; ++index) {
            const double power = double(samples[index]) * double(samples[index]);
            energy += power;
            moment += power * double(index);
        }
        clicks.push_back(moment / energy - kClickSeconds / 2 * sampleRate);
        frame += spacing;
    }
    return clicks;
}

namespace {

// The last trace sample taken before the render whose first frame was heard at `heardHost`.
const PlaybackRecord::TraceSample* traceSampleBefore(const PlaybackRecord& record,
                                                     double heardHost) {
    const PlaybackRecord::TraceSample* found = nullptr;
    for (const auto& sample : record.audioTrace) {
        const double rendered = heardHost - sample.statistics.outputLatencySeconds * 1e9;
        if (double(sample.hostNanoseconds) > rendered) {
            break;
        }
        found = &sample;
    }
    return found;
}

}  // namespace

SyncReport analyse(const PlaybackRecord& record) {
    SyncReport report;
    report.rate = record.rate;
    report.mediaSeconds = record.mediaSeconds;
    report.hostSeconds = record.mediaSeconds / record.rate;
    report.recordingTiming = record.recordingTiming;
    report.audioStatistics = record.audioStatistics;
    report.endedPinned = std::abs(record.audioStatistics.compensation) >=
                         platform::AudioRenderPipeline::kMaximumCompensation * 0.999;
    report.decodeFailures = record.decodeFailures;
    report.layerDroppedFrames = record.layerDroppedFrames;
    report.framePeriodHostMilliseconds = record.framePeriod / record.rate * 1e3;

    const double anchor = double(record.anchorHostNanoseconds);
    const auto expectedHost = [&](double mediaTime) {
        return anchor + mediaTime / record.rate * 1e9;
    };
    const auto mediaTimeAt = [&](double hostNanoseconds) {
        return (hostNanoseconds - anchor) / 1e9 * record.rate;
    };

    // Sound: which second each click belongs to, and when it was heard.
    std::map<std::int64_t, double> heard;
    for (const double click : findClicks(record.recording, record.recordingSampleRate)) {
        const double host = record.recordingTiming.hostNanosecondsOfFrame(click);
        const double media = mediaTimeAt(host);
        const double second = std::round(media);
        if (std::abs(media - second) / record.rate > kMatchWindowSeconds || second < 0 ||
            second > record.mediaSeconds) {
            continue;
        }
        ++report.clicksHeard;
        heard.try_emplace(std::int64_t(second), host);
    }

    // Pictures: when each frame was first shown, and whether it is the frame it claims to be.
    std::map<std::int64_t, double> shown;
    std::vector<double> lateness;
    for (const FrameCodeSink::Entry& entry : record.shownFrames) {
        if (std::isnan(entry.presentationTime)) {
            continue;
        }
        const std::int64_t key = microseconds(entry.presentationTime);
        if (entry.presentationTime >= record.mediaSeconds ||
            !shown.try_emplace(key, double(entry.hostNanoseconds)).second) {
            continue;
        }
        const auto frameNumber = std::llround(entry.presentationTime / record.framePeriod);
        if (entry.code != frameNumber) {
            ++report.pictureCodeMismatches;
        }
        // The first picture stands in before the time line starts; it is not late then.
        if (double(entry.hostNanoseconds) >= anchor) {
            lateness.push_back(
                (double(entry.hostNanoseconds) - expectedHost(entry.presentationTime)) / 1e6);
        }
    }
    report.framesShown = shown.size();
    report.frameLateness = distributionOf(lateness);
    report.framesLateByMoreThanOnePeriod =
        std::size_t(std::count_if(lateness.begin(), lateness.end(), [&](double late) {
            return late > report.framePeriodHostMilliseconds;
        }));
    std::set<std::int64_t> enqueued;
    for (const double time : record.enqueuedFrameTimes) {
        if (time >= 0 && time < record.mediaSeconds) {
            enqueued.insert(microseconds(time));
        }
    }
    report.framesEnqueued = enqueued.size();
    for (const std::int64_t time : enqueued) {
        if (shown.count(time) == 0) {
            ++report.framesNeverShown;
        }
    }

    // The second at 0 is left out: its picture stands in before playback starts, so it is never
    // shown when its time comes.
    std::vector<double> offsets;
    std::vector<double> sound;
    std::vector<double> picture;
    std::vector<double> minutes;
    for (std::int64_t second = 1; double(second) < record.mediaSeconds; ++second) {
        ++report.expectedMarks;
        const auto click = heard.find(second);
        const auto frame = shown.find(microseconds(double(second)));
        if (click == heard.end()) {
            report.secondsWithoutClick.push_back(second);
        }
        if (frame == shown.end()) {
            report.secondsWithoutFrame.push_back(second);
        }
        if (click == heard.end() || frame == shown.end()) {
            continue;
        }
        const double expected = expectedHost(double(second));
        const double soundError = (click->second - expected) / 1e6;
        const double pictureError = (frame->second - expected) / 1e6;
        sound.push_back(soundError);
        picture.push_back(pictureError);
        offsets.push_back(soundError - pictureError);
        SyncReport::Mark mark{second, soundError, pictureError};
        // The click's render ran about one output latency before it was heard.
        if (const auto* sample = traceSampleBefore(record, click->second)) {
            mark.pipelineOffset =
                sample->statistics.lastOffsetFrames / record.recordingSampleRate * 1e3;
            mark.compensation = sample->statistics.compensation;
            mark.outputLatency = sample->statistics.outputLatencySeconds * 1e3;
            mark.placements = sample->statistics.placements;
        }
        report.marks.push_back(mark);
        minutes.push_back((expected - anchor) / 60e9);
    }
    report.markedSeconds = offsets.size();
    report.offset = distributionOf(offsets);
    report.soundAgainstTimeLine = distributionOf(sound);
    report.pictureAgainstTimeLine = distributionOf(picture);
    report.driftMillisecondsPerMinute = robustSlope(minutes, offsets);
    report.leastSquaresDriftMillisecondsPerMinute = slope(minutes, offsets);
    report.soundDriftMillisecondsPerMinute = robustSlope(minutes, sound);
    return report;
}

std::string formatReport(const SyncReport& report, bool perSecond) {
    const auto verdict = [](bool met) { return met ? "met" : "MISSED"; };
    const bool complete = report.markedSeconds == report.expectedMarks;
    const bool offsetMet = complete && report.offset.p99Absolute <= 5.0;
    const bool driftMet = complete && std::abs(report.driftMillisecondsPerMinute) <= 1.0;
    const bool framesMet = report.framesLateByMoreThanOnePeriod == 0;
    std::string text;
    text += fmt::format("rate {}: {:.1f} s of media in {:.1f} s\n", report.rate,
                        report.mediaSeconds, report.hostSeconds);
    text += fmt::format(
        "  marked seconds (click heard and its frame shown): {}/{}, clicks heard "
        "{}\n",
        report.markedSeconds, report.expectedMarks, report.clicksHeard);
    if (!report.secondsWithoutClick.empty()) {
        text += fmt::format("  seconds whose click was not heard: {}\n",
                            fmt::join(report.secondsWithoutClick, " "));
    }
    if (!report.secondsWithoutFrame.empty()) {
        text += fmt::format("  seconds whose frame was not shown: {}\n",
                            fmt::join(report.secondsWithoutFrame, " "));
    }
    if (perSecond) {
        text +=
            "  second   sound    picture  offset   | pipeline: offset  steering   latency "
            "placements (ms against the time line)\n";
        for (const SyncReport::Mark& mark : report.marks) {
            // The pipeline counts its output ahead as positive; the recording counts a sound
            // heard late as positive: the two agree when they add up to 0.
            text += fmt::format(
                "  {:6} {:+8.2f} {:+8.2f} {:+8.2f} | {:+8.2f} {:+9.6f} {:7.2f} {}\n", mark.second,
                mark.sound, mark.picture, mark.sound - mark.picture, mark.pipelineOffset,
                mark.compensation, mark.outputLatency, mark.placements);
        }
    }
    text += fmt::format("  A/V offset, heard − shown:  {}\n", describe(report.offset));
    text += fmt::format("  drift of the offset:        {:+.3f} ms/min (least squares {:+.3f})\n",
                        report.driftMillisecondsPerMinute,
                        report.leastSquaresDriftMillisecondsPerMinute);
    text +=
        fmt::format("  sound vs time line:         {}, drift {:+.3f} ms/min\n",
                    describe(report.soundAgainstTimeLine), report.soundDriftMillisecondsPerMinute);
    text +=
        fmt::format("  picture vs time line:       {}\n", describe(report.pictureAgainstTimeLine));
    text += fmt::format("  frames: {} enqueued, {} shown; lateness {}\n", report.framesEnqueued,
                        report.framesShown, describe(report.frameLateness));
    text += fmt::format(
        "  frames late by more than one frame period ({:.1f} ms): {}; dropped by "
        "the layer: {}; never shown: {}; picture/time mismatches: {}; decode "
        "failures: {}\n",
        report.framePeriodHostMilliseconds, report.framesLateByMoreThanOnePeriod,
        report.layerDroppedFrames, report.framesNeverShown, report.pictureCodeMismatches,
        report.decodeFailures);
    text += fmt::format(
        "  recording timing: {} latency estimates, off their neighbours by median {:.3f} ms, "
        "p99 {:.3f} ms\n",
        report.recordingTiming.estimateCount(), report.recordingTiming.medianResidualMilliseconds(),
        report.recordingTiming.p99ResidualMilliseconds());
    text += fmt::format(
        "  audio pipeline: {} placements, last offset {:+.1f} frames, "
        "compensation {:+.6f}{}\n",
        report.audioStatistics.placements, report.audioStatistics.lastOffsetFrames,
        report.audioStatistics.compensation, report.endedPinned ? " (PINNED at its limit)" : "");
    text += fmt::format(
        "  targets: p99 |offset| ≤ 5 ms {}; |drift| ≤ 1 ms/min {}; no frame late "
        "by more than a period {}\n",
        verdict(offsetMet), verdict(driftMet), verdict(framesMet));
    return text;
}

}  // namespace quillon::bench

namespace quillon::bench {

RunSummary summarise(const SyncReport& report) {
    RunSummary summary;
    summary.completed = report.markedSeconds == report.expectedMarks && report.markedSeconds > 0;
    summary.p99Offset = report.offset.p99Absolute;
    summary.drift = report.driftMillisecondsPerMinute;
    summary.p99Sound = report.soundAgainstTimeLine.p99Absolute;
    summary.p99Picture = report.pictureAgainstTimeLine.p99Absolute;
    summary.placements = report.audioStatistics.placements;
    summary.endedPinned = report.endedPinned;
    return summary;
}

std::string formatSummary(const std::map<double, std::vector<RunSummary>>& runs) {
    const auto median = [](std::vector<double> values) {
        std::sort(values.begin(), values.end());
        return values.empty() ? 0.0 : values[(values.size() - 1) / 2];
    };
    std::string text = "summary of the runs\n";
    for (const auto& [rate, summaries] : runs) {
        std::vector<double> p99s;
        std::vector<double> drifts;
        std::size_t failed = 0;
        std::size_t pinned = 0;
        std::size_t replaced = 0;
        std::string line;
        std::string split;
        for (const RunSummary& run : summaries) {
            if (!run.completed) {
                ++failed;
                line += " failed";
                split += " failed";
                continue;
            }
            split += fmt::format(" {:.2f}/{:.2f}/{:.1f}", run.p99Sound, run.p99Picture,
                                 run.worstWakeUp);
            p99s.push_back(run.p99Offset);
            drifts.push_back(std::abs(run.drift));
            pinned += run.endedPinned ? 1 : 0;
            replaced += run.placements > 1 ? 1 : 0;
            line += fmt::format(" {:.2f}/{:+.1f}{}{}", run.p99Offset, run.drift,
                                run.placements > 1 ? fmt::format("/{}p", run.placements) : "",
                                run.endedPinned ? "/PINNED" : "");
        }
        text += fmt::format("rate {}: p99 |offset| ms / drift ms/min per run:{}\n", rate, line);
        text += fmt::format(
            "  p99 ms of sound / picture against the time line / worst wake-up of a sleeping "
            "thread, per run:{}\n",
            split);
        if (p99s.empty()) {
            text += "  no run completed\n";
            continue;
        }
        const double worstP99 = *std::max_element(p99s.begin(), p99s.end());
        const double worstDrift = *std::max_element(drifts.begin(), drifts.end());
        text += fmt::format(
            "  worst run: p99 |offset| {:.2f} ms, |drift| {:.2f} ms/min; median run: p99 "
            "|offset| {:.2f} ms, |drift| {:.2f} ms/min\n",
            worstP99, worstDrift, median(p99s), median(drifts));
        text += fmt::format(
            "  runs: {} completed, {} failed, {} placed afresh, {} ended pinned; targets: worst "
            "p99 ≤ 5 ms {}, median |drift| ≤ 1 ms/min {}\n",
            p99s.size(), failed, replaced, pinned,
            worstP99 <= 5.0 && failed == 0 ? "met" : "MISSED",
            median(drifts) <= 1.0 ? "met" : "MISSED");
    }
    return text;
}

}  // namespace quillon::bench
