#include "platform/audio-output/AudioSampleQueue.h"

#include <algorithm>
#include <thread>
#include <utility>

#include "platform/foundation/FatalError.h"

namespace platform {

namespace {

// Enough for the chunks a decoder makes while the renderer fills up.
constexpr std::size_t kMaximumSpareStorage = 8;
constexpr std::size_t kMaximumSpareNodes = 64;

}  // namespace

template <typename T>
bool AudioSampleQueue::Ring<T>::push(const T& item) {
    const std::size_t tail = tail_.load(std::memory_order_relaxed);
    if (tail - head_.load(std::memory_order_acquire) == items_.size()) {
        return false;
    }
    items_[tail & (items_.size() - 1)] = item;
    // Sequentially consistent: discardFrom orders the push of its cut before its look at the
    // render state, and a render its look at the commands after the change of that state.
    tail_.store(tail + 1, std::memory_order_seq_cst);
    return true;
}

template <typename T>
bool AudioSampleQueue::Ring<T>::pop(T& item) {
    const std::size_t head = head_.load(std::memory_order_relaxed);
    if (tail_.load(std::memory_order_seq_cst) == head) {
        return false;
    }
    item = items_[head & (items_.size() - 1)];
    head_.store(head + 1, std::memory_order_release);
    return true;
}

AudioSampleQueue::AudioSampleQueue(int channelCount)
    : channelCount_(channelCount), commands_(kCommandCapacity), returned_(kChunkCapacity) {
    static_assert((kChunkCapacity & (kChunkCapacity - 1)) == 0 &&
                  (kCommandCapacity & (kCommandCapacity - 1)) == 0);
    live_.reserve(kChunkCapacity);
    spareNodes_.reserve(kMaximumSpareNodes);
}

AudioSampleQueue::~AudioSampleQueue() {
    // No render runs any more: every node is in one of these places.
    Command command;
    while (commands_.pop(command)) {
        delete command.node;
    }
    Node* node = nullptr;
    while (returned_.pop(node)) {
        delete node;
    }
    for (Node* live : live_) {
        delete live;
    }
    for (Node* spare : spareNodes_) {
        delete spare;
    }
}

// The enqueuing side.

std::vector<float> AudioSampleQueue::makeStorage(std::size_t frameCount) {
    reclaim();
    std::vector<float> storage;
    if (!spareStorage_.empty()) {
        storage = std::move(spareStorage_.back());
        spareStorage_.pop_back();
    }
    storage.resize(frameCount * std::size_t(channelCount_));
    return storage;
}

void AudioSampleQueue::reclaim() {
    Node* node = nullptr;
    while (returned_.pop(node)) {
        if (spareStorage_.size() < kMaximumSpareStorage && node->samples.capacity() > 0) {
            node->samples.clear();
            spareStorage_.push_back(std::move(node->samples));
        }
        node->samples = {};
        if (spareNodes_.size() < kMaximumSpareNodes) {
            spareNodes_.push_back(node);
        } else {
            delete node;
            --nodes_;
        }
    }
}

bool AudioSampleQueue::append(AudioChunk chunk) {
    reclaim();
    const std::int64_t frames = chunk.frameCount(channelCount_);
    if (frames == 0) {
        if (spareStorage_.size() < kMaximumSpareStorage && chunk.samples.capacity() > 0) {
            chunk.samples.clear();
            spareStorage_.push_back(std::move(chunk.samples));
        }
        return true;
    }
    Node* node = nullptr;
    if (!spareNodes_.empty()) {
        node = spareNodes_.back();
        spareNodes_.pop_back();
    } else {
        if (nodes_ == kChunkCapacity) {
            return false;
        }
        node = new Node;
        ++nodes_;
    }
    node->startFrame = chunk.startFrame;
    node->frameCount = frames;
    node->samples = std::move(chunk.samples);
    push({Command::Kind::append, node->startFrame, node, 0});
    // In order: decoders deliver so.
    const Range range{node->startFrame, node->startFrame + frames};
    auto place = enqueued_.end();
    while (place != enqueued_.begin() && std::prev(place)->begin > range.begin) {
        --place;
    }
    enqueued_.insert(place, range);
    return true;
}

void AudioSampleQueue::clear() {
    reclaim();
    push({Command::Kind::clear, 0, nullptr, 0});
    enqueued_.clear();
}

bool AudioSampleQueue::discardFrom(std::int64_t position) {
    reclaim();
    const std::uint64_t ticket = ++lastTicket_;
    push({Command::Kind::cut, position, nullptr, ticket});
    // The render side decides, when it takes the cut, by where it reads then. Until a render
    // begins that is where the last one ended, so while none runs, that decides.
    bool cut = false;
    for (;;) {
        const std::uint64_t before = renderState_.load(std::memory_order_seq_cst);
        if (answeredTicket_.load(std::memory_order_acquire) == ticket) {
            cut = answer_.load(std::memory_order_relaxed);
            break;
        }
        if ((before & 1) == 0) {
            const std::int64_t read = readPosition_.load(std::memory_order_acquire);
            if (answeredTicket_.load(std::memory_order_acquire) == ticket) {
                cut = answer_.load(std::memory_order_relaxed);
                break;
            }
            if (renderState_.load(std::memory_order_seq_cst) == before) {
                cut = read == kNoPosition || position >= read;
                break;
            }
        }
        // A render is taking commands now; it ends soon and never waits.
        std::this_thread::yield();
    }
    if (cut) {
        noteCut(position);
    }
    return cut;
}

void AudioSampleQueue::noteCut(std::int64_t position) {
    std::erase_if(enqueued_, [&](const Range& range) { return range.begin >= position; });
    for (Range& range : enqueued_) {
        range.end = std::min(range.end, position);
    }
}

std::int64_t AudioSampleQueue::framesFrom(std::int64_t position) const {
    // What lies wholly before where the render side reads is gone from its account.
    const std::int64_t read = readPosition_.load(std::memory_order_acquire);
    if (read != kNoPosition) {
        std::erase_if(enqueued_, [&](const Range& range) { return range.end <= read; });
    }
    std::int64_t frames = 0;
    for (const Range& range : enqueued_) {
        frames += std::max<std::int64_t>(0, range.end - std::max(range.begin, position));
    }
    return frames;
}

std::optional<std::int64_t> AudioSampleQueue::readPosition() const {
    const std::int64_t read = readPosition_.load(std::memory_order_acquire);
    if (read == kNoPosition) {
        return std::nullopt;
    }
    return read;
}

void AudioSampleQueue::push(const Command& command) {
    if (commands_.push(command)) {
        return;
    }
    // More commands wait than the queue holds: no render has taken them for a long while (a
    // server that stopped asking). Apply them here, with the render side kept out: a render
    // that begins meanwhile plays silence, and one in progress ends soon.
    enqueuingSideHolds_.store(true, std::memory_order_seq_cst);
    while ((renderState_.load(std::memory_order_seq_cst) & 1) != 0) {
        std::this_thread::yield();
    }
    std::optional<std::int64_t> read = readPosition();
    applyCommands(read, nullptr, nullptr);
    readPosition_.store(read.value_or(kNoPosition), std::memory_order_release);
    reclaim();
    const bool pushed = commands_.push(command);
    enqueuingSideHolds_.store(false, std::memory_order_seq_cst);
    precondition(pushed, "The audio queue lost a command.");
}

// The render side.

bool AudioSampleQueue::beginRender(std::optional<std::int64_t> readPosition,
                                   void (*cleared)(void*), void* context) {
    renderState_.fetch_add(1, std::memory_order_seq_cst);
    if (enqueuingSideHolds_.load(std::memory_order_seq_cst)) {
        renderState_.fetch_add(1, std::memory_order_seq_cst);
        return false;
    }
    if (resetOwed_) {
        // A clear applied while the enqueuing side held the queue.
        resetOwed_ = false;
        readPosition.reset();
        if (cleared != nullptr) {
            cleared(context);
        }
    }
    applyCommands(readPosition, cleared, context);
    return true;
}

void AudioSampleQueue::applyCommands(std::optional<std::int64_t>& readPosition,
                                     void (*cleared)(void*), void* context) {
    Command command;
    while (commands_.pop(command)) {
        switch (command.kind) {
            case Command::Kind::append: {
                auto place = live_.end();
                while (place != live_.begin() &&
                       (*std::prev(place))->startFrame > command.node->startFrame) {
                    --place;
                }
                // Never beyond the reserved capacity: no more nodes exist.
                live_.insert(place, command.node);
                ++chunksTaken_;
                break;
            }
            case Command::Kind::clear:
                for (Node* node : live_) {
                    hand(node);
                }
                live_.clear();
                readPosition.reset();
                if (cleared != nullptr) {
                    cleared(context);
                } else {
                    resetOwed_ = true;
                }
                break;
            case Command::Kind::cut:
                applyCut(command.position, command.ticket, readPosition);
                break;
        }
    }
}

void AudioSampleQueue::applyCut(std::int64_t position, std::uint64_t ticket,
                                const std::optional<std::int64_t>& readPosition) {
    const bool cut = !readPosition || position >= *readPosition;
    if (cut) {
        while (!live_.empty() && live_.back()->startFrame >= position) {
            hand(live_.back());
            live_.pop_back();
        }
        for (Node* node : live_) {
            node->frameCount = std::min(node->frameCount, position - node->startFrame);
        }
    }
    answer_.store(cut, std::memory_order_relaxed);
    answeredTicket_.store(ticket, std::memory_order_release);
}

void AudioSampleQueue::hand(Node* node) {
    // Never full: it holds as many as exist.
    const bool handed = returned_.push(node);
    (void)handed;
}

std::size_t AudioSampleQueue::read(std::int64_t position, float* out,
                                   std::size_t frameCount) const {
    const auto channels = std::size_t(channelCount_);
    std::size_t written = 0;
    std::size_t fromData = 0;
    auto chunk = live_.begin();
    while (written < frameCount) {
        const auto wanted = std::int64_t(frameCount - written);
        // The first chunk that still holds the position or something after it.
        while (chunk != live_.end() && (*chunk)->startFrame + (*chunk)->frameCount <= position) {
            ++chunk;
        }
        if (chunk == live_.end()) {
            std::fill_n(out + written * channels, std::size_t(wanted) * channels, 0.0f);
            break;
        }
        const Node& node = **chunk;
        if (node.startFrame > position) {
            const auto gap = std::min(node.startFrame - position, wanted);
            std::fill_n(out + written * channels, std::size_t(gap) * channels, 0.0f);
            written += std::size_t(gap);
            position += gap;
            continue;
        }
        const std::int64_t offset = position - node.startFrame;
        const std::int64_t count = std::min(node.frameCount - offset, wanted);
        std::copy_n(node.samples.data() + std::size_t(offset) * channels,
                    std::size_t(count) * channels, out + written * channels);
        written += std::size_t(count);
        fromData += std::size_t(count);
        position += count;
    }
    return fromData;
}

void AudioSampleQueue::discardBefore(std::int64_t position) {
    std::size_t passed = 0;
    while (passed < live_.size() &&
           live_[passed]->startFrame + live_[passed]->frameCount <= position) {
        hand(live_[passed]);
        ++passed;
    }
    live_.erase(live_.begin(), live_.begin() + std::ptrdiff_t(passed));
}

std::int64_t AudioSampleQueue::renderFramesFrom(std::int64_t position) const {
    std::int64_t frames = 0;
    for (const Node* node : live_) {
        frames += std::max<std::int64_t>(
            0, node->startFrame + node->frameCount - std::max(node->startFrame, position));
    }
    return frames;
}

void AudioSampleQueue::endRender(std::optional<std::int64_t> readPosition) {
    readPosition_.store(readPosition.value_or(kNoPosition), std::memory_order_release);
    renderState_.fetch_add(1, std::memory_order_seq_cst);
}

}  // namespace platform
