#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/audio-output/AudioRenderPipeline.h"
#include "platform/audio-output/AudioSink.h"
#include "platform/avfoundation/AVQueuedSampleBufferRendering.h"
#include "platform/foundation/AVError.h"

namespace platform {

// Posted on the default notification centre, with the renderer (as a pointer to
// AVSampleBufferAudioRenderer) as object, when the renderer flushed itself because its output
// device went away or changed; the user information holds the time line's time at the flush
// (a CMTime) under AVSampleBufferAudioRendererFlushTimeKey. Posted from a global queue.
inline const std::string AVSampleBufferAudioRendererWasFlushedAutomaticallyNotification =
    "AVSampleBufferAudioRendererWasFlushedAutomaticallyNotification";
inline const std::string AVSampleBufferAudioRendererFlushTimeKey =
    "AVSampleBufferAudioRendererFlushTimeKey";

// How rates other than 1 are played. Every algorithm keeps the pitch here (TimeStretcher, which
// keeps each sound where the time line puts it); the name is kept for the callers that choose
// one.
using AVAudioTimePitchAlgorithm = std::string;
inline const AVAudioTimePitchAlgorithm AVAudioTimePitchAlgorithmTimeDomain = "TimeDomain";
inline const AVAudioTimePitchAlgorithm AVAudioTimePitchAlgorithmSpectral = "Spectral";
inline const AVAudioTimePitchAlgorithm AVAudioTimePitchAlgorithmVarispeed = "Varispeed";

// Plays linear PCM sample buffers on its synchronizer's time line, through an audio sink.
//
// Each frame is heard when the time line passes its presentation time: what is late is skipped,
// gaps and an empty queue play silence while the time line runs on, and rate 0 plays silence.
// Rates other than 1 keep the pitch. The sink's clock is steered to the host clock (see
// AudioRenderPipeline), so the sound never drifts from the time line.
//
// Readiness: ready for more data while less than two seconds of audio wait to be played.
//
// When the output device goes away the renderer goes on with a null sink; when it goes away or
// changes, what was queued is flushed and
// AVSampleBufferAudioRendererWasFlushedAutomaticallyNotification is posted, so that the data
// source enqueues again from the current time.
//
// Every member is safe from any thread; enqueueSampleBuffer never waits for playback.
class AVSampleBufferAudioRenderer : public AVQueuedSampleBufferRendering {
public:
    static constexpr double kHighWaterMarkSeconds = 2.0;

    using FlushCompletionHandler = std::function<void(bool flushSucceeded)>;

    // Plays to the user's sound server, or to a null sink when none answers.
    AVSampleBufferAudioRenderer();
    explicit AVSampleBufferAudioRenderer(std::unique_ptr<AudioSink> sink);
    ~AVSampleBufferAudioRenderer() override;

    void enqueueSampleBuffer(const CMSampleBufferRef& sampleBuffer) override;
    void flush() override;
    // Drops what is queued from `time` on and calls the handler on a global queue: false, with
    // nothing dropped, when the renderer has already begun playing what lies at that time.
    void flushFromSourceTime(CMTime time, FlushCompletionHandler completionHandler);
    bool isReadyForMoreMediaData() const override;
    void requestMediaDataWhenReadyOnQueue(std::shared_ptr<DispatchQueue> queue,
                                          MediaDataRequestBlock block) override;
    void stopRequestingMediaData() override;

    // Rendering once a buffer was queued; failed (with an AVFoundationErrorDomain error) when a
    // buffer could not be played, after which further buffers are ignored until a flush.
    AVQueuedSampleBufferRenderingStatus status() const override;
    std::shared_ptr<const Error> error() const override;

    float volume() const;
    void setVolume(float volume);
    bool isMuted() const;
    void setMuted(bool muted);

    // The device the sound plays on; empty for the system's default output.
    virtual std::optional<std::string> audioOutputDeviceUniqueID() const;
    virtual void setAudioOutputDeviceUniqueID(std::optional<std::string> deviceUniqueID);

    AVAudioTimePitchAlgorithm audioTimePitchAlgorithm() const;
    void setAudioTimePitchAlgorithm(AVAudioTimePitchAlgorithm algorithm);
    // Which formats may be spatialized (a bit set); kept for the callers, nothing spatializes.
    std::uint64_t allowedAudioSpatializationFormats() const;
    void setAllowedAudioSpatializationFormats(std::uint64_t formats);

    // For logs: "<AVSampleBufferAudioRenderer: 0x…>" with the class the object reports.
    virtual std::string description() const;

    // The sink playing now (for diagnostics and tests), its format, and how playback is placed.
    std::string sinkName() const;
    AudioSinkFormat sinkFormat() const;
    AudioRenderPipeline::Statistics renderStatistics() const;

protected:
    // Subclasses that describe themselves otherwise call it from their constructor, so that
    // the renderer's log lines name them.
    void adoptDescription();

    void timebaseWasAttached(const CMReadOnlyTimebaseRef& timebase) override;
    void timebaseWasDetached() override;

private:
    struct State;
    std::shared_ptr<State> state_;
};

using AVSampleBufferAudioRendererRef = std::shared_ptr<AVSampleBufferAudioRenderer>;

}  // namespace platform
