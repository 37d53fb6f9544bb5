#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
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

// The audio waiting to be played, handed from the threads that enqueue and flush it to the
// thread that renders it, without a lock: the render thread never waits for the others, nor
// allocates or frees.
//
// The enqueuing side (one thread at a time: its owner serializes append, clear, discardFrom and
// the rest) hands over chunks, clears and cuts through a queue of commands; the render side takes
// them in order at the start of each render, and hands the chunks it is done with back through a
// second queue, so that their storage is freed or reused on the enqueuing side. Each side keeps
// its own account of what is queued.
//
// On the render side, reading a position gives what lies there: data where a chunk covers it,
// silence in gaps and past the end. Reading drops nothing: the reader says what it has passed.
// Where chunks overlap, the earlier one's frames are played.
class AudioSampleQueue {
public:
    // Chunks that may wait at once (two seconds of audio come in far fewer); commands beside
    // them.
    static constexpr std::size_t kChunkCapacity = 4096;
    static constexpr std::size_t kCommandCapacity = 2 * kChunkCapacity;

    explicit AudioSampleQueue(int channelCount);
    ~AudioSampleQueue();
    AudioSampleQueue(const AudioSampleQueue&) = delete;
    AudioSampleQueue& operator=(const AudioSampleQueue&) = delete;

    int channelCount() const { return channelCount_; }

    // The enqueuing side.

    // Storage for a chunk of frameCount frames (reused when one is spare).
    std::vector<float> makeStorage(std::size_t frameCount);
    // False, dropping the chunk, when as many chunks wait as the queue holds.
    bool append(AudioChunk chunk);
    void clear();
    // Drops every frame at or after `position`, unless the render side has already taken one of
    // them (read it into what it renders from); answers whether it dropped them. May wait for a
    // render in progress to end; a render never waits for it.
    bool discardFrom(std::int64_t position);
    // Frames enqueued at or after `position`, by the enqueuing side's account.
    std::int64_t framesFrom(std::int64_t position) const;
    // Where the render side reads next, as it said at the end of its last render; none while it
    // plays nothing.
    std::optional<std::int64_t> readPosition() const;

    // The render side.

    // Takes what was handed over since the last render, in order: `readPosition` is where the
    // renderer reads next (none when it plays nothing), and `cleared` is called when a clear
    // drops what it plays from. False when the enqueuing side holds the queue for a moment (only
    // when more commands wait than the queue holds): the render then plays silence and touches
    // nothing else.
    bool beginRender(std::optional<std::int64_t> readPosition, void (*cleared)(void*),
                     void* context);
    // Fills frameCount frames from `position` on; returns how many came from queued data.
    std::size_t read(std::int64_t position, float* out, std::size_t frameCount) const;
    // Drops every frame before `position`.
    void discardBefore(std::int64_t position);
    // Queued frames at or after `position`, by the render side's account.
    std::int64_t renderFramesFrom(std::int64_t position) const;
    // How many chunks the render side has taken so far.
    std::uint64_t chunksTaken() const { return chunksTaken_; }
    // Ends a render that began: says where the renderer reads next.
    void endRender(std::optional<std::int64_t> readPosition);

private:
    struct Node {
        std::int64_t startFrame = 0;
        std::int64_t frameCount = 0;
        std::vector<float> samples;
    };
    struct Command {
        enum class Kind : std::uint8_t { append, clear, cut };
        Kind kind = Kind::append;
        std::int64_t position = 0;
        Node* node = nullptr;
        std::uint64_t ticket = 0;
    };
    // Single producer, single consumer; fixed capacity (a power of two).
    template <typename T>
    class Ring {
    public:
        explicit Ring(std::size_t capacity) : items_(capacity) {}
        bool push(const T& item);
        bool pop(T& item);

    private:
        std::vector<T> items_;
        std::atomic<std::size_t> head_{0};
        std::atomic<std::size_t> tail_{0};
    };
    struct Range {
        std::int64_t begin = 0;
        std::int64_t end = 0;
    };

    static constexpr std::int64_t kNoPosition = INT64_MIN;

    void push(const Command& command);
    void reclaim();
    // Applies what waits in the command queue; on the render side, or on the enqueuing side
    // while it holds the queue.
    void applyCommands(std::optional<std::int64_t>& readPosition, void (*cleared)(void*),
                       void* context);
    void applyCut(std::int64_t position, std::uint64_t ticket,
                  const std::optional<std::int64_t>& readPosition);
    void hand(Node* node);
    void noteCut(std::int64_t position);

    const int channelCount_;

    // The enqueuing side's.
    std::vector<Node*> spareNodes_;
    std::vector<std::vector<float>> spareStorage_;
    std::size_t nodes_ = 0;
    std::uint64_t lastTicket_ = 0;
    mutable std::vector<Range> enqueued_;

    Ring<Command> commands_;
    Ring<Node*> returned_;

    // The render side's (the enqueuing side's while it holds the queue).
    std::vector<Node*> live_;
    bool resetOwed_ = false;
    std::uint64_t chunksTaken_ = 0;

    // Between the two. The render state counts renders begun and ended: odd while one runs.
    std::atomic<std::uint64_t> renderState_{0};
    std::atomic<bool> enqueuingSideHolds_{false};
    std::atomic<std::int64_t> readPosition_{kNoPosition};
    std::atomic<std::uint64_t> answeredTicket_{0};
    std::atomic<bool> answer_{false};
};

}  // namespace platform
