#pragma once

#include "platform/foundation/NeverDestroyed.h"

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/corefoundation/CFDictionary.h"
#include "platform/corevideo/CVPixelBuffer.h"
#include "platform/corevideo/CVReturn.h"

namespace platform {

// Pool attribute keys.
inline const std::string& kCVPixelBufferPoolMinimumBufferCountKey =
    platform::neverDestroyedString("MinimumBufferCount");
// Accepted; buffers are kept until the pool goes or is flushed.
inline const std::string& kCVPixelBufferPoolMaximumBufferAgeKey =
    platform::neverDestroyedString("MaximumBufferAge");
// Auxiliary attribute of CVPixelBufferPoolCreatePixelBufferWithAuxAttributes: the most buffers
// the pool may have made when it would need a new one.
inline const std::string& kCVPixelBufferPoolAllocationThresholdKey =
    platform::neverDestroyedString("kCVPixelBufferPoolAllocationThresholdKey");

using CVPixelBufferPoolFlushFlags = CVOptionFlags;
inline constexpr CVPixelBufferPoolFlushFlags kCVPixelBufferPoolFlushExcessBuffers = 1;

class ControlBlockRecycler;

// Buffers of one geometry that are used over and over: a buffer whose last reference goes
// returns to its pool (as long as the pool lives), and comes out again with the pool's
// attachments only. Once the pool has made as many buffers as are in use at the same time, handing
// one out allocates nothing.
class CVPixelBufferPool final : public CFObject,
                                public std::enable_shared_from_this<CVPixelBufferPool> {
public:
    CVPixelBufferPool(CFDictionaryRef poolAttributes, CFDictionaryRef pixelBufferAttributes,
                      const CVPixelBufferGeometry& geometry);
    ~CVPixelBufferPool() override;

    CVReturn createPixelBuffer(const CFDictionary* auxAttributes, CVPixelBufferRef* pixelBufferOut);
    void flush(CVPixelBufferPoolFlushFlags options);

    const CFDictionaryRef& attributes() const { return poolAttributes_; }
    const CFDictionaryRef& pixelBufferAttributes() const { return pixelBufferAttributes_; }
    const CVPixelBufferGeometry& geometry() const { return geometry_; }
    // How many buffers the pool has made that still exist (in use or waiting in the pool).
    std::size_t allocatedBufferCount() const;

    std::string description() const override;

private:
    struct ReturnToPool {
        std::weak_ptr<CVPixelBufferPool> pool;
        void operator()(CVPixelBuffer* buffer) const;
    };

    void recycle(std::unique_ptr<CVPixelBuffer> buffer);

    CFDictionaryRef poolAttributes_;
    CFDictionaryRef pixelBufferAttributes_;
    CVPixelBufferGeometry geometry_;
    CFDictionaryRef propagatedAttachments_;
    CFDictionaryRef nonPropagatedAttachments_;
    std::shared_ptr<ControlBlockRecycler> controlBlocks_;

    mutable std::mutex mutex_;
    std::vector<std::unique_ptr<CVPixelBuffer>> freeBuffers_;
    std::size_t allocatedBufferCount_ = 0;
};

using CVPixelBufferPoolRef = std::shared_ptr<CVPixelBufferPool>;

// The pixel-buffer attributes must give kCVPixelBufferWidthKey, kCVPixelBufferHeightKey and
// kCVPixelBufferPixelFormatTypeKey; the other keys are those of CVPixelBufferCreate.
CVReturn CVPixelBufferPoolCreate(const CFDictionaryRef& poolAttributes,
                                 const CFDictionaryRef& pixelBufferAttributes,
                                 CVPixelBufferPoolRef* poolOut);
CVReturn CVPixelBufferPoolCreatePixelBuffer(const CVPixelBufferPoolRef& pixelBufferPool,
                                            CVPixelBufferRef* pixelBufferOut);
CVReturn CVPixelBufferPoolCreatePixelBufferWithAuxAttributes(
    const CVPixelBufferPoolRef& pixelBufferPool, const CFDictionaryRef& auxAttributes,
    CVPixelBufferRef* pixelBufferOut);
CFDictionaryRef CVPixelBufferPoolGetAttributes(const CVPixelBufferPoolRef& pool);
CFDictionaryRef CVPixelBufferPoolGetPixelBufferAttributes(const CVPixelBufferPoolRef& pool);
// Releases the buffers waiting in the pool.
void CVPixelBufferPoolFlush(const CVPixelBufferPoolRef& pool, CVPixelBufferPoolFlushFlags options);

}  // namespace platform
