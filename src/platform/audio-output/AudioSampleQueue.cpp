#include "platform/audio-output/AudioSampleQueue.h"

#include <algorithm>
#include <utility>

namespace platform {

namespace {

// Enough for the few seconds the renderer queues, in the chunks the decoder makes.
constexpr std::size_t kMaximumSpareStorage = 8;

}  // namespace

AudioSampleQueue::AudioSampleQueue(int channelCount) : channelCount_(channelCount) {}

std::vector<float> AudioSampleQueue::makeStorage(std::size_t frameCount) {
    std::vector<float> storage;
    if (!spare_.empty()) {
        storage = std::move(spare_.back());
        spare_.pop_back();
    }
    storage.resize(frameCount * std::size_t(channelCount_));
    return storage;
}

void AudioSampleQueue::recycle(AudioChunk& chunk) {
    if (spare_.size() < kMaximumSpareStorage && chunk.samples.capacity() > 0) {
        chunk.samples.clear();
        spare_.push_back(std::move(chunk.samples));
    }
}

void AudioSampleQueue::append(AudioChunk chunk) {
    if (chunk.samples.empty()) {
        recycle(chunk);
        return;
    }
    // Decoders deliver in order; anything else is put in its place.
    auto place = chunks_.end();
    while (place != chunks_.begin() && std::prev(place)->startFrame > chunk.startFrame) {
        --place;
    }
    chunks_.insert(place, std::move(chunk));
}

std::size_t AudioSampleQueue::read(std::int64_t position, float* out,
                                   std::size_t frameCount) const {
    const auto channels = std::size_t(channelCount_);
    std::size_t written = 0;
    std::size_t fromData = 0;
    auto chunk = chunks_.begin();
    while (written < frameCount) {
        const auto wanted = std::int64_t(frameCount - written);
        // The first chunk that still holds the position or something after it.
        while (chunk != chunks_.end() && endOf(*chunk) <= position) {
            ++chunk;
        }
        if (chunk == chunks_.end()) {
            std::fill_n(out + written * channels, std::size_t(wanted) * channels, 0.0f);
            break;
        }
        if (chunk->startFrame > position) {
            const auto gap = std::min(chunk->startFrame - position, wanted);
            std::fill_n(out + written * channels, std::size_t(gap) * channels, 0.0f);
            written += std::size_t(gap);
            position += gap;
            continue;
        }
        const std::int64_t offset = position - chunk->startFrame;
        const std::int64_t count = std::min(chunk->frameCount(channelCount_) - offset, wanted);
        std::copy_n(chunk->samples.data() + std::size_t(offset) * channels,
                    std::size_t(count) * channels, out + written * channels);
        written += std::size_t(count);
        fromData += std::size_t(count);
        position += count;
    }
    return fromData;
}

void AudioSampleQueue::discardBefore(std::int64_t position) {
    while (!chunks_.empty() && endOf(chunks_.front()) <= position) {
        recycle(chunks_.front());
        chunks_.pop_front();
    }
}

void AudioSampleQueue::discardFrom(std::int64_t position) {
    while (!chunks_.empty() && chunks_.back().startFrame >= position) {
        recycle(chunks_.back());
        chunks_.pop_back();
    }
    for (AudioChunk& chunk : chunks_) {
        if (endOf(chunk) > position) {
            chunk.samples.resize(std::size_t(position - chunk.startFrame) *
                                 std::size_t(channelCount_));
        }
    }
}

void AudioSampleQueue::clear() {
    for (AudioChunk& chunk : chunks_) {
        recycle(chunk);
    }
    chunks_.clear();
}

std::int64_t AudioSampleQueue::framesFrom(std::int64_t position) const {
    std::int64_t frames = 0;
    for (const AudioChunk& chunk : chunks_) {
        frames += std::max<std::int64_t>(0, endOf(chunk) - std::max(chunk.startFrame, position));
    }
    return frames;
}

std::int64_t AudioSampleQueue::endFrame() const {
    std::int64_t end = 0;
    for (const AudioChunk& chunk : chunks_) {
        end = std::max(end, endOf(chunk));
    }
    return end;
}

}  // namespace platform
