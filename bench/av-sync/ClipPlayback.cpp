#include "ClipPlayback.h"

#include <chrono>
#include <stdexcept>
#include <thread>

#include <fmt/format.h>

#include "FrameCodeSink.h"
#include "MonitorRecorder.h"
#include "PipeWireMonitorRecorder.h"
#include "TrackFeeder.h"
#include "media-player/renderers/QLAirPlayAudioRenderer.h"
#include "media-player/renderers/QLSampleBufferDisplayLayer.h"
#include "media-player/renderers/QLSampleBufferRenderSynchronizer.h"
#include "platform/audio-output/PipeWireSink.h"
#include "platform/audio-output/PulseAudioSink.h"

namespace quillon::bench {

namespace {

using namespace std::chrono_literals;

// Before the time line starts: how long the recording's timing may take to settle, and how
// long after the call the time line starts, as a player's synchronized start does.
constexpr auto kRecordingSettlingTimeout = 10s;
constexpr std::int64_t kStartDelayNanoseconds = 300'000'000;
// After the last second of media: the sink's latency and the recorder's fragments.
constexpr std::int64_t kTailNanoseconds = 600'000'000;
constexpr auto kPrerollTimeout = 20s;

std::int64_t nowNanoseconds() {
    return platform::CMClockConvertHostTimeToNanoseconds(
        platform::CMClockGetHostTimeClock()->time());
}

}  // namespace

PlaybackRecord playClip(const ClipPlaybackOptions& options) {
    const platform::CMClockRef& clock = platform::CMClockGetHostTimeClock();
    std::string failure;
    std::unique_ptr<platform::AudioSink> serverSink;
    if (options.player == SoundInterface::pipeWire) {
        serverSink = platform::PipeWireSink::connect(clock, &failure);
    } else {
        serverSink = platform::PulseAudioSink::connect(clock, &failure);
    }
    if (!serverSink) {
        throw std::runtime_error("no sound server answers: " + failure);
    }
    const std::string serverName = serverSink->name();
    serverSink->setDeviceUniqueID(options.sinkName);
    const platform::AudioSinkFormat format = serverSink->format();

    // The renderer's stream first: when it connects, the sink takes the lower latency it asks
    // for, and the monitor's timing runs through a transient of as long as the old latency. The
    // recording's timing must have settled before the time line starts.
    const auto audioRenderer = std::make_shared<QLAirPlayAudioRenderer>(std::move(serverSink));
    if (audioRenderer->sinkName() != serverName) {
        throw std::runtime_error("the audio renderer does not play to " + serverName);
    }
    std::unique_ptr<MonitorRecorder> recording;
    if (options.recorder == SoundInterface::pipeWire) {
        recording = std::make_unique<PipeWireMonitorRecorder>(options.sinkName, format.sampleRate,
                                                              format.channelCount);
    } else {
        recording = std::make_unique<PulseAudioMonitorRecorder>(
            options.sinkName, format.sampleRate, format.channelCount);
    }
    MonitorRecorder& recorder = *recording;
    if (!recorder.isRecording()) {
        throw std::runtime_error("cannot record what " + options.sinkName + " plays");
    }
    if (!recorder.waitUntilTimingSettles(kRecordingSettlingTimeout)) {
        throw std::runtime_error("the recording's timing did not settle");
    }

    const auto synchronizer = std::make_shared<QLSampleBufferRenderSynchronizer>(clock);
    const auto layer = std::make_shared<QLSampleBufferDisplayLayer>();
    const auto sink = std::make_shared<FrameCodeSink>();
    layer->setVideoSink(sink);
    synchronizer->addRenderer(layer);
    synchronizer->addRenderer(audioRenderer);

    TrackFeeder video(options.clipPath, AVMEDIA_TYPE_VIDEO, layer);
    TrackFeeder audio(options.clipPath, AVMEDIA_TYPE_AUDIO, audioRenderer);
    PlaybackRecord record;
    record.rate = options.rate;
    const AVRational frameRate = video.stream().avg_frame_rate.num > 0
                                     ? video.stream().avg_frame_rate
                                     : video.stream().r_frame_rate;
    if (frameRate.num <= 0 || frameRate.den <= 0) {
        throw std::runtime_error("the clip's video has no frame rate");
    }
    record.framePeriod = av_q2d(av_inv_q(frameRate));
    const double clipSeconds = video.durationSeconds();
    record.mediaSeconds = options.mediaSeconds > 0 && options.mediaSeconds < clipSeconds
                              ? options.mediaSeconds
                              : clipSeconds;
    if (!(record.mediaSeconds > 0)) {
        throw std::runtime_error("the clip's duration is unknown");
    }

    video.start();
    audio.start();
    // Both renderers full, as a player waits before it starts its clock.
    const auto prerollDeadline = std::chrono::steady_clock::now() + kPrerollTimeout;
    while ((layer->isReadyForMoreMediaData() && !video.finished()) ||
           (audioRenderer->isReadyForMoreMediaData() && !audio.finished())) {
        if (std::chrono::steady_clock::now() > prerollDeadline) {
            throw std::runtime_error("the renderers did not fill up");
        }
        std::this_thread::sleep_for(5ms);
    }

    record.anchorHostNanoseconds = nowNanoseconds() + kStartDelayNanoseconds;
    synchronizer->setRate(float(options.rate), platform::kCMTimeZero,
                          platform::CMClockMakeHostTime(record.anchorHostNanoseconds));
    const auto end = record.anchorHostNanoseconds +
                     std::int64_t(record.mediaSeconds / options.rate * 1e9) + kTailNanoseconds;
    record.audioTrace.reserve(std::size_t((end - nowNanoseconds()) / 5'000'000) + 16);
    while (nowNanoseconds() < end) {
        record.audioTrace.push_back({nowNanoseconds(), audioRenderer->renderStatistics()});
        std::this_thread::sleep_for(5ms);
    }
    record.audioStatistics = audioRenderer->renderStatistics();
    synchronizer->setRate(0);
    video.stop();
    audio.stop();

    record.shownFrames = sink->entries();
    record.enqueuedFrameTimes = video.enqueuedPresentationTimes();
    record.layerDroppedFrames = layer->droppedFrameCount();
    record.recording = recorder.samples();
    record.recordingSampleRate = recorder.sampleRate();
    record.recordingTiming = recorder.timing();
    record.decodeFailures = video.decodeFailures() + audio.decodeFailures();
    return record;
}

}  // namespace quillon::bench
