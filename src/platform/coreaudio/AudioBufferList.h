#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace platform {

// One buffer of audio: interleaved frames of mNumberChannels channels, or one channel of
// non-interleaved audio.
struct AudioBuffer {
    std::uint32_t mNumberChannels = 0;
    std::uint32_t mDataByteSize = 0;
    void* mData = nullptr;
};

// The buffers that together hold one stretch of audio: one buffer for interleaved audio, one
// per channel for non-interleaved audio.
//
// A list either views memory owned elsewhere (make(), then point mData at it) or owns its
// buffers (allocate()). Copies of an owning list own copies of the bytes; moves keep every
// buffer where it is, so data pointers taken before a move stay valid.
class AudioBufferList {
public:
    // numberBuffers buffers with no data attached.
    static AudioBufferList make(std::uint32_t numberBuffers);
    // numberBuffers zero-filled buffers of bytesPerBuffer bytes and channelsPerBuffer channels,
    // owned by the list.
    static AudioBufferList allocate(std::uint32_t numberBuffers, std::uint32_t channelsPerBuffer,
                                    std::uint32_t bytesPerBuffer);

    AudioBufferList() = default;
    AudioBufferList(const AudioBufferList& other);
    AudioBufferList& operator=(const AudioBufferList& other);
    AudioBufferList(AudioBufferList&&) noexcept = default;
    AudioBufferList& operator=(AudioBufferList&&) noexcept = default;
    ~AudioBufferList() = default;

    std::uint32_t mNumberBuffers() const { return static_cast<std::uint32_t>(mBuffers.size()); }
    bool ownsData() const { return !storage_.empty(); }

    std::vector<AudioBuffer> mBuffers;

private:
    // One block per buffer of an owning list; mBuffers[i].mData points into storage_[i].
    std::vector<std::unique_ptr<std::byte[]>> storage_;
};

}  // namespace platform
