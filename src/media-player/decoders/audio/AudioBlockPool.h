#pragma once

#include <cstddef>
#include <memory>

extern "C" {
#include <libavutil/buffer.h>
}

#include "media-player/decoders/common/FFmpegPointers.h"

namespace quillon {

// Reusable memory blocks of one size for interleaved audio, so that a decoder that interleaves
// planar frames allocates nothing once its blocks are warm. A block goes back to the pool when
// its last reference is released, on any thread; the pool's memory is freed once the pool and
// every block it handed out are gone.
class AudioBlockPool {
public:
    explicit AudioBlockPool(std::size_t blockSize);
    ~AudioBlockPool();
    AudioBlockPool(const AudioBlockPool&) = delete;
    AudioBlockPool& operator=(const AudioBlockPool&) = delete;

    std::size_t blockSize() const { return blockSize_; }

    // A block of blockSize() bytes with unspecified contents. Stops the process when memory
    // runs out, as the other allocations of the sample-buffer path do.
    AVBufferRefPointer makeBlock();

private:
    std::size_t blockSize_;
    AVBufferPool* pool_;
};

}  // namespace quillon
