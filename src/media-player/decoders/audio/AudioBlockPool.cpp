#include "media-player/decoders/audio/AudioBlockPool.h"

#include "platform/foundation/FatalError.h"

namespace quillon {

AudioBlockPool::AudioBlockPool(std::size_t blockSize) : blockSize_(blockSize) {
    platform::precondition(blockSize > 0, "An audio block pool needs a block size.");
    pool_ = av_buffer_pool_init(blockSize, nullptr);
    if (pool_ == nullptr) {
        platform::fatalError("Failed to allocate memory.");
    }
}

AudioBlockPool::~AudioBlockPool() {
    // Blocks still in use keep the pool's memory until they come back.
    av_buffer_pool_uninit(&pool_);
}

AVBufferRefPointer AudioBlockPool::makeBlock() {
    AVBufferRef* block = av_buffer_pool_get(pool_);
    if (block == nullptr) {
        platform::fatalError("Failed to allocate memory.");
    }
    return AVBufferRefPointer(block);
}

}  // namespace quillon
