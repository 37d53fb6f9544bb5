#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <optional>
#include <thread>
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

// One render that only reads, as the render thread would: what lies at the position.
std::vector<float> render(AudioSampleQueue& queue, std::int64_t position, std::size_t frames,
                          std::optional<std::int64_t> readPosition = std::nullopt) {
    std::vector<float> out(frames, -1.0f);
    EXPECT_TRUE(queue.beginRender(readPosition, nullptr, nullptr));
    queue.read(position, out.data(), frames);
    queue.endRender(readPosition);
    return out;
}

TEST(AudioSampleQueueTest, ReadsDataWhereItLiesAndSilenceAroundIt) {
    AudioSampleQueue queue(1);
    queue.append(chunk(queue, 10, 5));
    queue.append(chunk(queue, 20, 5));
    EXPECT_EQ(render(queue, 8, 20), (std::vector<float>{0, 0, 10, 11, 12, 13, 14, 0, 0, 0,
                                                        0, 0, 20, 21, 22, 23, 24, 0, 0, 0}));
    // Reading drops nothing: the same place can be read again.
    EXPECT_EQ(render(queue, 12, 2), (std::vector<float>{12, 13}));
    EXPECT_EQ(queue.renderFramesFrom(12), 8);
    EXPECT_EQ(queue.framesFrom(12), 8) << "both sides count alike";
    queue.beginRender(std::nullopt, nullptr, nullptr);
    queue.discardBefore(15);
    queue.endRender(15);
    EXPECT_EQ(queue.renderFramesFrom(0), 5);
    EXPECT_EQ(queue.framesFrom(0), 5) << "what the render side passed leaves both accounts";
    EXPECT_EQ(render(queue, 10, 2, 15), (std::vector<float>{0, 0}));
}

TEST(AudioSampleQueueTest, OverlapsPlayTheEarlierChunkAndLateChunksTakeTheirPlace) {
    AudioSampleQueue queue(1);
    queue.append(chunk(queue, 10, 5));
    // Delivered out of order, and overlapping the first by two frames.
    queue.append(chunk(queue, 13, 4, 0.5f));
    queue.append(chunk(queue, 0, 3));
    EXPECT_EQ(render(queue, 0, 18), (std::vector<float>{0, 1, 2, 0, 0, 0, 0, 0, 0, 0, 10, 11, 12,
                                                        13, 14, 15.5f, 16.5f, 0}));
}

TEST(AudioSampleQueueTest, ClearsAndCutsReachTheRenderSideInTheirOrder) {
    AudioSampleQueue queue(1);
    queue.append(chunk(queue, 0, 10));
    queue.append(chunk(queue, 10, 10));
    EXPECT_TRUE(queue.discardFrom(5)) << "nothing was taken yet";
    EXPECT_EQ(queue.framesFrom(0), 5);
    EXPECT_EQ(render(queue, 3, 4), (std::vector<float>{3, 4, 0, 0}));

    // A clear, then new audio: the render side drops what it plays from once, and plays the
    // new audio, not the old.
    queue.append(chunk(queue, 20, 10));
    queue.clear();
    queue.append(chunk(queue, 20, 10, 0.25f));
    EXPECT_EQ(queue.framesFrom(0), 10);
    int clears = 0;
    std::vector<float> out(3);
    ASSERT_TRUE(queue.beginRender(7, [](void* count) { ++*static_cast<int*>(count); }, &clears));
    queue.read(20, out.data(), 3);
    queue.endRender(std::nullopt);
    EXPECT_EQ(clears, 1);
    EXPECT_EQ(out, (std::vector<float>{20.25f, 21.25f, 22.25f}));
}

// A render takes frames past where the last one ended (a stretcher reads a block ahead) and says
// so only when it ends: a cut that lands while it runs must be decided by what it took, not by
// where the last render ended.
TEST(AudioSampleQueueTest, ACutNeverDropsWhatARenderInProgressHasTaken) {
    AudioSampleQueue queue(1);
    queue.append(chunk(queue, 0, 4096));
    render(queue, 0, 0, 0);
    ASSERT_EQ(queue.readPosition(), 0);

    ASSERT_TRUE(queue.beginRender(0, nullptr, nullptr));
    std::vector<float> taken(1024);
    queue.read(0, taken.data(), taken.size());
    // From another thread, as the player's queue flushes: it must wait for this render's end.
    std::atomic<bool> decided{false};
    auto cut = std::async(std::launch::async, [&] {
        const bool result = queue.discardFrom(512);
        decided = true;
        return result;
    });
    // The cut cannot be decided while the render runs; give it every chance to be wrong.
    for (int spin = 0; spin < 1000 && !decided; ++spin) {
        std::this_thread::yield();
    }
    EXPECT_FALSE(decided) << "decided before the render that took the frames ended";
    queue.endRender(1024);
    EXPECT_FALSE(cut.get()) << "frames 512 to 1023 were already taken";
    EXPECT_EQ(queue.framesFrom(1024), 4096 - 1024) << "nothing dropped";
    EXPECT_EQ(render(queue, 2048, 1, 1024), (std::vector<float>{2048}));

    // Past what was taken, the cut holds, whether a render runs meanwhile or not.
    EXPECT_TRUE(queue.discardFrom(2000));
    EXPECT_EQ(render(queue, 2048, 1, 1024), (std::vector<float>{0}));
}

// A server that stops asking leaves commands waiting: the enqueuing side then applies them
// itself rather than lose one, and the render side plays on from them.
TEST(AudioSampleQueueTest, CommandsThatNoRenderTakesAreAppliedAllTheSame) {
    AudioSampleQueue queue(1);
    for (std::size_t round = 0; round < AudioSampleQueue::kCommandCapacity + 10; ++round) {
        queue.clear();
    }
    queue.append(chunk(queue, 0, 4));
    EXPECT_EQ(render(queue, 0, 4), (std::vector<float>{0, 1, 2, 3}));
}

}  // namespace
