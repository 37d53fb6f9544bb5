#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ClipDemuxer.h"
#include "media-player/decoders/common/CoreMediaCompatibleDecodeSession.h"
#include "platform/avfoundation/AVQueuedSampleBufferRendering.h"
#include "platform/dispatch/DispatchQueue.h"

namespace quillon::bench {

// Feeds one track of the clip to its renderer the way the player's data providers do: whenever
// the renderer asks for more, on a serial queue of its own, packets are demuxed and decoded
// until the renderer is full; at the end of the file the decoder is drained and the requests
// stop.
class TrackFeeder {
public:
    // The renderer takes the decoded sample buffers: video frames or linear PCM.
    TrackFeeder(const std::string& clipPath, AVMediaType type,
                platform::AVQueuedSampleBufferRenderingRef renderer);
    ~TrackFeeder();
    TrackFeeder(const TrackFeeder&) = delete;
    TrackFeeder& operator=(const TrackFeeder&) = delete;

    const AVStream& stream() const { return demuxer_.stream(); }
    double durationSeconds() const { return demuxer_.durationSeconds(); }

    void start();
    // No block runs once it returns.
    void stop();

    // The end of the file was reached and everything decoded was enqueued.
    bool finished() const { return finished_.load(); }
    std::size_t decodeFailures() const { return decodeFailures_.load(); }
    // The presentation times of every sample buffer enqueued, in seconds, in decode order.
    std::vector<double> enqueuedPresentationTimes() const;

private:
    void fill();

    platform::AVQueuedSampleBufferRenderingRef renderer_;
    std::shared_ptr<platform::DispatchQueue> queue_;
    ClipDemuxer demuxer_;
    std::shared_ptr<CoreMediaCompatibleDecodeSession> session_;
    std::atomic<bool> finished_{false};
    std::atomic<std::size_t> decodeFailures_{0};
    mutable std::mutex mutex_;
    std::vector<double> enqueued_;
};

}  // namespace quillon::bench
