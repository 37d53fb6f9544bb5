#include "platform/corevideo/CVPixelBufferPool.h"

#include <fmt/format.h>

namespace platform {

// The shared-pointer control blocks of vended buffers are all of one size; keeping the freed
// ones for the next buffer makes handing out a buffer allocation-free once the pool is warm.
class ControlBlockRecycler {
public:
    ControlBlockRecycler() = default;
    ControlBlockRecycler(const ControlBlockRecycler&) = delete;
    ControlBlockRecycler& operator=(const ControlBlockRecycler&) = delete;

    ~ControlBlockRecycler() {
        for (void* block : free_) {
            ::operator delete(block);
        }
    }

    void* allocate(std::size_t size) {
        {
            std::lock_guard lock(mutex_);
            if (blockSize_ == 0) {
                blockSize_ = size;
            }
            if (size == blockSize_) {
                if (!free_.empty()) {
                    void* block = free_.back();
                    free_.pop_back();
                    return block;
                }
                // Room for every block there is, so that giving one back never allocates.
                free_.reserve(++blockCount_);
            }
        }
        return ::operator new(size);
    }

    void deallocate(void* block, std::size_t size) {
        {
            std::lock_guard lock(mutex_);
            if (size == blockSize_ && free_.size() < free_.capacity()) {
                free_.push_back(block);
                return;
            }
        }
        ::operator delete(block);
    }

private:
    std::mutex mutex_;
    std::vector<void*> free_;
    std::size_t blockSize_ = 0;
    std::size_t blockCount_ = 0;
};

namespace {

template <typename T>
struct RecyclingAllocator {
    using value_type = T;

    explicit RecyclingAllocator(std::shared_ptr<ControlBlockRecycler> recycler)
        : recycler(std::move(recycler)) {}
    template <typename U>
    RecyclingAllocator(const RecyclingAllocator<U>& other) : recycler(other.recycler) {}

    T* allocate(std::size_t n) { return static_cast<T*>(recycler->allocate(n * sizeof(T))); }
    void deallocate(T* pointer, std::size_t n) { recycler->deallocate(pointer, n * sizeof(T)); }

    template <typename U>
    bool operator==(const RecyclingAllocator<U>& other) const {
        return recycler == other.recycler;
    }

    std::shared_ptr<ControlBlockRecycler> recycler;
};

std::optional<std::size_t> readDimension(const CFDictionary& attributes, const std::string& key) {
    if (auto value = attributes.integerValue(key); value && *value >= 0) {
        return static_cast<std::size_t>(*value);
    }
    if (auto value = attributes.doubleValue(key); value && *value >= 0) {
        return static_cast<std::size_t>(*value);
    }
    return std::nullopt;
}

}  // namespace

CVPixelBufferPool::CVPixelBufferPool(CFDictionaryRef poolAttributes,
                                     CFDictionaryRef pixelBufferAttributes,
                                     const CVPixelBufferGeometry& geometry)
    : poolAttributes_(std::move(poolAttributes)),
      pixelBufferAttributes_(std::move(pixelBufferAttributes)),
      geometry_(geometry),
      propagatedAttachments_(
          pixelBufferAttributes_->dictionaryValue(kCVBufferPropagatedAttachmentsKey)),
      nonPropagatedAttachments_(
          pixelBufferAttributes_->dictionaryValue(kCVBufferNonPropagatedAttachmentsKey)),
      controlBlocks_(std::make_shared<ControlBlockRecycler>()) {
    // Empty dictionaries would only cost a lookup on every attachment read.
    if (propagatedAttachments_ && propagatedAttachments_->empty()) {
        propagatedAttachments_.reset();
    }
    if (nonPropagatedAttachments_ && nonPropagatedAttachments_->empty()) {
        nonPropagatedAttachments_.reset();
    }
}

CVPixelBufferPool::~CVPixelBufferPool() = default;

void CVPixelBufferPool::ReturnToPool::operator()(CVPixelBuffer* buffer) const {
    std::unique_ptr<CVPixelBuffer> owned(buffer);
    if (auto owner = pool.lock()) {
        owner->recycle(std::move(owned));
    }
}

void CVPixelBufferPool::recycle(std::unique_ptr<CVPixelBuffer> buffer) {
    buffer->prepareForReuse(propagatedAttachments_, nonPropagatedAttachments_);
    std::lock_guard lock(mutex_);
    // Capacity was reserved when the buffer was made.
    freeBuffers_.push_back(std::move(buffer));
}

CVReturn CVPixelBufferPool::createPixelBuffer(const CFDictionary* auxAttributes,
                                              CVPixelBufferRef* pixelBufferOut) {
    if (pixelBufferOut == nullptr) {
        return kCVReturnInvalidArgument;
    }
    *pixelBufferOut = nullptr;
    std::unique_ptr<CVPixelBuffer> buffer;
    {
        std::lock_guard lock(mutex_);
        if (!freeBuffers_.empty()) {
            buffer = std::move(freeBuffers_.back());
            freeBuffers_.pop_back();
        } else {
            if (auxAttributes != nullptr) {
                if (auto threshold =
                        auxAttributes->integerValue(kCVPixelBufferPoolAllocationThresholdKey);
                    threshold && static_cast<std::int64_t>(allocatedBufferCount_) >= *threshold) {
                    return kCVReturnWouldExceedAllocationThreshold;
                }
            }
            buffer = CVPixelBuffer::make(geometry_);
            if (!buffer) {
                return kCVReturnPoolAllocationFailed;
            }
            buffer->prepareForReuse(propagatedAttachments_, nonPropagatedAttachments_);
            ++allocatedBufferCount_;
            freeBuffers_.reserve(allocatedBufferCount_);
        }
    }
    CVPixelBuffer* raw = buffer.release();
    try {
        *pixelBufferOut = CVPixelBufferRef(raw, ReturnToPool{weak_from_this()},
                                           RecyclingAllocator<CVPixelBuffer>(controlBlocks_));
    } catch (const std::bad_alloc&) {
        // The shared pointer's constructor has already disposed of the buffer.
        return kCVReturnPoolAllocationFailed;
    }
    return kCVReturnSuccess;
}

void CVPixelBufferPool::flush(CVPixelBufferPoolFlushFlags) {
    std::vector<std::unique_ptr<CVPixelBuffer>> released;
    {
        std::lock_guard lock(mutex_);
        allocatedBufferCount_ -= freeBuffers_.size();
        released.swap(freeBuffers_);
        freeBuffers_.reserve(allocatedBufferCount_);
    }
}

std::size_t CVPixelBufferPool::allocatedBufferCount() const {
    std::lock_guard lock(mutex_);
    return allocatedBufferCount_;
}

std::string CVPixelBufferPool::description() const {
    return fmt::format("<CVPixelBufferPool {}x{} '{}', {} buffer(s)>", geometry_.width,
                       geometry_.height, fourCharCodeString(geometry_.pixelFormat),
                       allocatedBufferCount());
}

CVReturn CVPixelBufferPoolCreate(const CFDictionaryRef& poolAttributes,
                                 const CFDictionaryRef& pixelBufferAttributes,
                                 CVPixelBufferPoolRef* poolOut) {
    if (poolOut == nullptr) {
        return kCVReturnInvalidArgument;
    }
    *poolOut = nullptr;
    if (!pixelBufferAttributes) {
        return kCVReturnInvalidPixelBufferAttributes;
    }
    const auto width = readDimension(*pixelBufferAttributes, kCVPixelBufferWidthKey);
    const auto height = readDimension(*pixelBufferAttributes, kCVPixelBufferHeightKey);
    const auto format = pixelBufferAttributes->integerValue(kCVPixelBufferPixelFormatTypeKey);
    if (!width || !height || !format || *format < 0 || *format > 0xFFFFFFFF) {
        return kCVReturnInvalidPixelBufferAttributes;
    }
    std::size_t minimumBufferCount = 0;
    if (poolAttributes) {
        if (const CFValue* value = poolAttributes->find(kCVPixelBufferPoolMinimumBufferCountKey)) {
            const auto* count = std::get_if<std::int64_t>(value);
            if (count == nullptr || *count < 0 || *count > 64) {
                return kCVReturnInvalidPoolAttributes;
            }
            minimumBufferCount = static_cast<std::size_t>(*count);
        }
    }
    CVPixelBufferGeometry geometry;
    if (CVReturn status = CVPixelBufferComputeGeometry(
            *width, *height, static_cast<OSType>(*format), pixelBufferAttributes.get(), &geometry);
        status != kCVReturnSuccess) {
        return status;
    }
    auto pool =
        std::make_shared<CVPixelBufferPool>(poolAttributes, pixelBufferAttributes, geometry);
    {
        // Made up front, and back in the pool when these references go at the end of the block.
        std::vector<CVPixelBufferRef> warm(minimumBufferCount);
        for (CVPixelBufferRef& buffer : warm) {
            if (CVReturn status = pool->createPixelBuffer(nullptr, &buffer);
                status != kCVReturnSuccess) {
                return status;
            }
        }
    }
    *poolOut = std::move(pool);
    return kCVReturnSuccess;
}

CVReturn CVPixelBufferPoolCreatePixelBuffer(const CVPixelBufferPoolRef& pixelBufferPool,
                                            CVPixelBufferRef* pixelBufferOut) {
    if (!pixelBufferPool) {
        if (pixelBufferOut != nullptr) {
            *pixelBufferOut = nullptr;
        }
        return kCVReturnInvalidArgument;
    }
    return pixelBufferPool->createPixelBuffer(nullptr, pixelBufferOut);
}

CVReturn CVPixelBufferPoolCreatePixelBufferWithAuxAttributes(
    const CVPixelBufferPoolRef& pixelBufferPool, const CFDictionaryRef& auxAttributes,
    CVPixelBufferRef* pixelBufferOut) {
    if (!pixelBufferPool) {
        if (pixelBufferOut != nullptr) {
            *pixelBufferOut = nullptr;
        }
        return kCVReturnInvalidArgument;
    }
    return pixelBufferPool->createPixelBuffer(auxAttributes.get(), pixelBufferOut);
}

CFDictionaryRef CVPixelBufferPoolGetAttributes(const CVPixelBufferPoolRef& pool) {
    return pool ? pool->attributes() : nullptr;
}

CFDictionaryRef CVPixelBufferPoolGetPixelBufferAttributes(const CVPixelBufferPoolRef& pool) {
    return pool ? pool->pixelBufferAttributes() : nullptr;
}

void CVPixelBufferPoolFlush(const CVPixelBufferPoolRef& pool, CVPixelBufferPoolFlushFlags options) {
    if (pool) {
        pool->flush(options);
    }
}

}  // namespace platform
