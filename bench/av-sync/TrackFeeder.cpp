#include "TrackFeeder.h"

#include <fmt/format.h>

#include "media-player/decoders/audio/FFmpegAudioDecoder.h"
#include "media-player/decoders/video/FFmpegVideoDecoder.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/Log.h"

namespace quillon::bench {

namespace {

std::shared_ptr<CoreMediaCompatibleDecoder> makeDecoder(const AVStream& stream) {
    if (stream.codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
        return std::make_shared<FFmpegVideoDecoder>(stream);
    }
    return FFmpegAudioDecoder::make(stream);
}

}  // namespace

TrackFeeder::TrackFeeder(const std::string& clipPath, AVMediaType type,
                         platform::AVQueuedSampleBufferRenderingRef renderer)
    : renderer_(std::move(renderer)),
      queue_(platform::DispatchQueue::makeSerial(
          type == AVMEDIA_TYPE_VIDEO ? "Benchmark Video Feeder" : "Benchmark Audio Feeder",
          platform::DispatchQoS::userInitiated)),
      demuxer_(clipPath, type) {
    enqueued_.reserve(4096);
    session_ = CoreMediaCompatibleDecodeSession::make(
        makeDecoder(demuxer_.stream()), [this](platform::CMSampleBufferRef sampleBuffer) {
            const platform::CMTime time =
                platform::CMSampleBufferGetPresentationTimeStamp(sampleBuffer);
            {
                std::lock_guard lock(mutex_);
                enqueued_.push_back(platform::CMTimeGetSeconds(time));
            }
            renderer_->enqueueSampleBuffer(sampleBuffer);
        });
}

TrackFeeder::~TrackFeeder() {
    stop();
}

void TrackFeeder::start() {
    renderer_->requestMediaDataWhenReadyOnQueue(queue_, [this] { fill(); });
}

void TrackFeeder::stop() {
    renderer_->stopRequestingMediaData();
    // A fill that was already running ends before the feeder goes.
    queue_->sync([] {});
}

std::vector<double> TrackFeeder::enqueuedPresentationTimes() const {
    std::lock_guard lock(mutex_);
    return enqueued_;
}

void TrackFeeder::fill() {
    while (!finished_.load() && renderer_->isReadyForMoreMediaData()) {
        const PacketRef packet = demuxer_.readPacket();
        if (!packet) {
            finished_.store(true);
            renderer_->stopRequestingMediaData();
        }
        try {
            if (packet) {
                session_->decode(*packet);
            } else {
                session_->drain();
            }
        } catch (const platform::Error& error) {
            // A broken packet costs its frames, which the figures then show; playback goes on.
            decodeFailures_.fetch_add(1);
            platform::logWarning("av-sync: decoding failed: {}", error.debugDescription());
        }
    }
}

}  // namespace quillon::bench
