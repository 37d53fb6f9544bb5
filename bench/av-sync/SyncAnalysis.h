#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "FrameCodeSink.h"
#include "MonitorRecorder.h"
#include "platform/audio-output/AudioRenderPipeline.h"

namespace quillon::bench {

// What one playback of the clip left behind.
struct PlaybackRecord {
    double rate = 1;
    // The host time at which the time line read 0; it then moved at `rate`.
    std::int64_t anchorHostNanoseconds = 0;
    // How much of the clip's media was played, and its frame period, in media seconds.
    double mediaSeconds = 0;
    double framePeriod = 0;
    std::vector<FrameCodeSink::Entry> shownFrames;
    std::vector<double> enqueuedFrameTimes;
    std::size_t layerDroppedFrames = 0;
    std::vector<float> recording;
    int recordingSampleRate = 0;
    MonitorRecorder::Timing recordingTiming;
    platform::AudioRenderPipeline::Statistics audioStatistics;
    // The pipeline's statistics as they stood through the run, sampled every few milliseconds.
    struct TraceSample {
        std::int64_t hostNanoseconds = 0;
        platform::AudioRenderPipeline::Statistics statistics;
    };
    std::vector<TraceSample> audioTrace;
    std::size_t decodeFailures = 0;
};

struct Distribution {
    std::size_t count = 0;
    double median = 0;
    // Of the absolute values, nearest rank.
    double p99Absolute = 0;
    double maxAbsolute = 0;
};

struct SyncReport {
    double rate = 1;
    double mediaSeconds = 0;
    double hostSeconds = 0;
    // Whole seconds of media that have both a click heard and their frame shown.
    std::size_t markedSeconds = 0;
    // Whether the steering stood at its limit at the end of the run.
    bool endedPinned = false;
    std::size_t expectedMarks = 0;
    std::size_t clicksHeard = 0;
    // Whole seconds whose click was not heard, or whose frame was not shown.
    std::vector<std::int64_t> secondsWithoutClick;
    std::vector<std::int64_t> secondsWithoutFrame;
    struct Mark {
        std::int64_t second = 0;
        double sound = 0;
        double picture = 0;
        // The pipeline's own account as its click was rendered: where it believed its output
        // stood against the time line (ms), its steering, and the sink's latency (ms).
        double pipelineOffset = 0;
        double compensation = 0;
        double outputLatency = 0;
        std::uint64_t placements = 0;
    };
    // Every marked second: when its click was heard and its frame shown against the time line,
    // in milliseconds.
    std::vector<Mark> marks;
    // Per marked second, in milliseconds: heard minus shown, and each against the time line.
    Distribution offset;
    Distribution soundAgainstTimeLine;
    Distribution pictureAgainstTimeLine;
    // Slope of the offset over host time, milliseconds per minute: the median of the slopes
    // between every two marked seconds, and the least-squares slope, which one disturbed second
    // can tilt.
    double driftMillisecondsPerMinute = 0;
    double leastSquaresDriftMillisecondsPerMinute = 0;
    double soundDriftMillisecondsPerMinute = 0;

    std::size_t framesEnqueued = 0;
    std::size_t framesShown = 0;
    // Host time from when a frame's time came to when it was shown, milliseconds.
    Distribution frameLateness;
    double framePeriodHostMilliseconds = 0;
    std::size_t framesLateByMoreThanOnePeriod = 0;
    std::size_t layerDroppedFrames = 0;
    std::size_t framesNeverShown = 0;
    // Pictures whose frame number disagrees with their presentation time (or was unreadable).
    std::size_t pictureCodeMismatches = 0;
    std::size_t decodeFailures = 0;

    MonitorRecorder::Timing recordingTiming;
    platform::AudioRenderPipeline::Statistics audioStatistics;
};

// Where every click of a recording was heard, in frames: the energy centroid of the click and
// of the copies that a time stretch makes of it (at rates other than 1 it plays a click several
// times over a few tens of milliseconds, or weakens it), less half a click. At rate 1 that is
// the click's first frame.
std::vector<double> findClicks(const std::vector<float>& samples, int sampleRate);

SyncReport analyse(const PlaybackRecord& record);

// One run at one rate, in the figures that the summary of repeated runs compares.
struct RunSummary {
    bool completed = false;
    // |heard − shown|: 99th percentile, ms; drift of the offset, ms per minute.
    double p99Offset = 0;
    double drift = 0;
    // Each against the time line: which of them made the offset.
    double p99Sound = 0;
    double p99Picture = 0;
    // The run's machine: its worst wake-up of a sleeping thread, ms (see WakeLatencyProbe).
    double worstWakeUp = 0;
    std::uint64_t placements = 0;
    bool endedPinned = false;
};

RunSummary summarise(const SyncReport& report);

// Per rate: every run in one line, then the worst run's p99 |offset| and |drift| beside the
// median run's, and how many runs failed, were placed afresh or ended pinned; then per run the
// sound's and the picture's p99 against the time line, and the machine's worst wake-up.
std::string formatSummary(const std::map<double, std::vector<RunSummary>>& runs);

// The report's lines, ready to print; with `perSecond`, a line for every marked second too.
std::string formatReport(const SyncReport& report, bool perSecond = false);

}  // namespace quillon::bench
