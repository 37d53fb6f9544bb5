#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/audio-output/AudioSink.h"
#include "platform/clock/CMTimebase.h"

namespace platform {

// Where the render pipeline takes its audio from: the renderer's queue.
class AudioFrameSource {
public:
    virtual ~AudioFrameSource() = default;
    // Fills frameCount frames from time-line frame `position` on, with silence where nothing is
    // queued.
    virtual void readFrames(std::int64_t position, float* out, std::size_t frameCount) = 0;
    // The pipeline will not read before `position` again.
    virtual void discardFramesBefore(std::int64_t position) = 0;
};

// Turns the queued audio into what the sink plays, so that each frame is heard when the
// synchronizer's time line passes it:
// - placement: at the start of play, after a jump, after a rate change and when the sink's
//   account of when it plays steps (it played on without the pipeline), the audio is read
//   from exactly the time-line frame that the time line reaches when the sink's next frame is
//   heard: what is late is skipped, a gap or an empty queue plays silence, and rate 0 plays
//   silence without consuming.
// - rate: other rates than 1 go through a pitch-keeping time stretch.
// - drift: the sink's clock and the host clock drift apart; the pipeline measures where its
//   output stands against the time line at every render and steers it back by resampling a
//   little (at most half a percent), never by skipping, and learns how far the sink's clock
//   runs off so that it ends on the time line; an offset that steering at its limit does not
//   take out is placed afresh.
// Changes of rate or position cross-fade over a few milliseconds so that they do not click.
//
// Rendering is single-threaded (the sink's thread), and allocates nothing: everything it needs
// is made with it. readPosition() and statistics() may be read from any thread.
class AudioRenderPipeline {
public:
    struct Statistics {
        // How often the audio was placed afresh on the time line.
        std::uint64_t placements = 0;
        // Where the output stood against the time line at the last render, in frames (positive:
        // ahead of it).
        double lastOffsetFrames = 0;
        // The resampling correction in force: extra output frames per output frame.
        double compensation = 0;
        // How long after the last render its first frame was to be heard (the sink's latency).
        double outputLatencySeconds = 0;
    };

    // The steering never resamples by more than this (half a percent is below a tenth of a
    // semitone).
    static constexpr double kMaximumCompensation = 0.005;

    AudioRenderPipeline(AudioSinkFormat format, AudioFrameSource& source);
    ~AudioRenderPipeline();
    AudioRenderPipeline(const AudioRenderPipeline&) = delete;
    AudioRenderPipeline& operator=(const AudioRenderPipeline&) = delete;

    // Renders the frames heard from hostTime on. Without an anchor (no synchronizer) or at a
    // rate of 0 or below, plays silence. `gain` is reached by the end of the frames.
    void render(float* out, std::size_t frameCount, CMTime hostTime,
                const std::optional<CMTimebaseAnchor>& anchor, float gain);

    // Drops what is in flight: the next render places afresh (after a flush). On the rendering
    // thread.
    void reset();

    // The time-line frame that the next read takes, while playing: every frame before it went
    // into what is rendered (the stretcher, the resampler), none after it.
    std::optional<std::int64_t> readPosition() const;

    Statistics statistics() const;
    // What the sink said of its latency at the last render, for the statistics only.
    void noteOutputLatency(double seconds) { outputLatencySeconds_.store(seconds); }

private:
    class Compensator;
    class Segment;

    void stop(float* out, std::size_t frameCount);
    void place(double timelineFrame, double rate, std::uint64_t generation);
    // False when the output must be placed afresh instead.
    bool steer(double offsetFrames, std::size_t frameCount);
    void applyGain(float* out, std::size_t frameCount, float gain);
    void noteAudibility(const float* out, std::size_t frameCount);

    const AudioSinkFormat format_;
    AudioFrameSource& source_;
    std::unique_ptr<Segment> segments_[2];
    // One of the two, or none while nothing plays.
    Segment* segment_ = nullptr;
    // The segment being replaced, which plays out under a fade for a few milliseconds.
    Segment* fadingSegment_ = nullptr;
    std::vector<float> fadeBuffer_;
    bool lastOutputAudible_ = false;
    float lastGain_ = 1.0f;
    // When the sink's next frame is heard, had its account gone on from the last render's.
    std::optional<std::int64_t> nextHostNanoseconds_;
    double averageOffsetFrames_ = 0;
    int rendersFarOff_ = 0;
    // How far the sink's clock runs from the host clock, as the steering learnt it (extra output
    // frames per output frame); kept across placements, for it is the sink's.
    double drift_ = 0;
    // How long the steering has stood at its limit, and the offset it stood against then.
    double pinnedSeconds_ = 0;
    double pinnedFromOffsetFrames_ = 0;

    static constexpr std::int64_t kNoPosition = INT64_MIN;
    std::atomic<std::int64_t> readPosition_{kNoPosition};
    std::atomic<std::uint64_t> placements_{0};
    std::atomic<double> lastOffsetFrames_{0};
    std::atomic<double> compensation_{0};
    std::atomic<double> outputLatencySeconds_{0};
};

}  // namespace platform
