#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace platform {

// A run of converted audio: interleaved float frames in the sink's format, placed on the
// synchronizer's time line at `startFrame` (time × sample rate).
struct AudioChunk {
    std::int64_t startFrame = 0;
    std::vector<float> samples;

    std::int64_t frameCount(int channelCount) const {
        return std::int64_t(samples.size()) / channelCount;
    }
};

// The audio waiting to be played, on the time line in whole frames. Reading a position gives
// what lies there: data where a chunk covers it, silence in gaps and past the end. Reading
// drops nothing: the reader says what it has passed. Where chunks overlap, the earlier one's
// frames are played. The storage of dropped chunks is kept for the next ones, so that steady
// playback does not allocate.
//
// Not synchronized: its owner guards it.
class AudioSampleQueue {
public:
    explicit AudioSampleQueue(int channelCount);

    int channelCount() const { return channelCount_; }

    // Storage for a chunk of frameCount frames (reused when one is spare).
    std::vector<float> makeStorage(std::size_t frameCount);
    void append(AudioChunk chunk);

    // Fills frameCount frames from `position` on; returns how many came from queued data.
    std::size_t read(std::int64_t position, float* out, std::size_t frameCount) const;
    // Drops every frame before `position`.
    void discardBefore(std::int64_t position);
    // Drops every frame at or after `position`.
    void discardFrom(std::int64_t position);
    void clear();

    // Queued frames at or after `position`.
    std::int64_t framesFrom(std::int64_t position) const;
    bool isEmpty() const { return chunks_.empty(); }
    // The end of the last chunk; meaningless when empty.
    std::int64_t endFrame() const;

private:
    std::int64_t endOf(const AudioChunk& chunk) const {
        return chunk.startFrame + chunk.frameCount(channelCount_);
    }
    void recycle(AudioChunk& chunk);

    const int channelCount_;
    std::deque<AudioChunk> chunks_;
    std::vector<std::vector<float>> spare_;
};

}  // namespace platform
