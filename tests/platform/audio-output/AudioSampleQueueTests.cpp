#include <gtest/gtest.h>

#include <vector>

#include "platform/audio-output/AudioSampleQueue.h"

namespace {

using platform::AudioChunk;
using platform::AudioSampleQueue;

// Mono chunks whose samples are their own time-line frames plus a tag.
AudioChunk chunk(AudioSampleQueue& queue, std::int64_t start, std::size_t frames, float tag = 0) {
    AudioChunk result{start, queue.makeStorage(frames)};
    for (std::size_t index = 0; index < frames; ++index) {
        result.samples[index] = float(start + std::int64_t(index)) + tag;
    }
    return result;
}

std::vector<float> read(const AudioSampleQueue& queue, std::int64_t position, std::size_t frames) {
    std::vector<float> out(frames, -1.0f);
    queue.read(position, out.data(), frames);
    return out;
}

TEST(AudioSampleQueueTest, ReadsDataWhereItLiesAndSilenceAroundIt) {
    AudioSampleQueue queue(1);
    queue.append(chunk(queue, 10, 5));
    queue.append(chunk(queue, 20, 5));
    EXPECT_EQ(read(queue, 8, 20), (std::vector<float>{0, 0, 10, 11, 12, 13, 14, 0, 0, 0,
                                                      0, 0, 20, 21, 22, 23, 24, 0, 0, 0}));
    // Reading drops nothing: the same place can be read again.
    EXPECT_EQ(read(queue, 12, 2), (std::vector<float>{12, 13}));
    EXPECT_EQ(queue.framesFrom(12), 8);
    queue.discardBefore(15);
    EXPECT_EQ(queue.framesFrom(0), 5);
    EXPECT_EQ(read(queue, 10, 2), (std::vector<float>{0, 0}));
}

TEST(AudioSampleQueueTest, OverlapsPlayTheEarlierChunkAndLateChunksTakeTheirPlace) {
    AudioSampleQueue queue(1);
    queue.append(chunk(queue, 10, 5));
    // Delivered out of order, and overlapping the first by two frames.
    queue.append(chunk(queue, 13, 4, 0.5f));
    queue.append(chunk(queue, 0, 3));
    EXPECT_EQ(read(queue, 0, 18), (std::vector<float>{0, 1, 2, 0, 0, 0, 0, 0, 0, 0, 10, 11, 12, 13,
                                                      14, 15.5f, 16.5f, 0}));
    EXPECT_EQ(queue.endFrame(), 17);
}

TEST(AudioSampleQueueTest, DiscardsFromATimeOn) {
    AudioSampleQueue queue(1);
    queue.append(chunk(queue, 0, 10));
    queue.append(chunk(queue, 10, 10));
    queue.discardFrom(5);
    EXPECT_EQ(queue.framesFrom(0), 5);
    EXPECT_EQ(read(queue, 3, 4), (std::vector<float>{3, 4, 0, 0}));
    queue.clear();
    EXPECT_TRUE(queue.isEmpty());
}

}  // namespace
