#include <atomic>
#include <set>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/corevideo/CVPixelBufferPool.h"

using namespace platform;

namespace {

CFDictionaryRef bufferAttributes(std::size_t width, std::size_t height, OSType format,
                                 CFDictionary extra = {}) {
    CFDictionary attributes = std::move(extra);
    attributes.set(kCVPixelBufferWidthKey, static_cast<std::int64_t>(width));
    attributes.set(kCVPixelBufferHeightKey, static_cast<std::int64_t>(height));
    attributes.set(kCVPixelBufferPixelFormatTypeKey, static_cast<std::int64_t>(format));
    return std::make_shared<const CFDictionary>(std::move(attributes));
}

CVPixelBufferPoolRef makePool(CFDictionaryRef attributes,
                              CFDictionaryRef poolAttributes = nullptr) {
    CVPixelBufferPoolRef pool;
    EXPECT_EQ(CVPixelBufferPoolCreate(poolAttributes, attributes, &pool), kCVReturnSuccess);
    return pool;
}

CVPixelBufferRef take(const CVPixelBufferPoolRef& pool) {
    CVPixelBufferRef buffer;
    EXPECT_EQ(CVPixelBufferPoolCreatePixelBuffer(pool, &buffer), kCVReturnSuccess);
    return buffer;
}

CFDictionaryRef colourAttachments() {
    return std::make_shared<const CFDictionary>(
        CFDictionary{{"CVImageBufferColorPrimaries", std::string("ITU_R_709_2")},
                     {"org.quillon.didConfigureColorSpace", true}});
}

}  // namespace

TEST(CVPixelBufferPool, AReleasedBufferComesBackWithItsMemory) {
    auto pool = makePool(bufferAttributes(64, 48, kCVPixelFormatType_420YpCbCr8Planar));
    void* first = nullptr;
    {
        CVPixelBufferRef buffer = take(pool);
        first = CVPixelBufferGetBaseAddressOfPlane(buffer, 0);
        EXPECT_EQ(CVPixelBufferGetWidth(buffer), 64u);
        EXPECT_EQ(CVPixelBufferGetPlaneCount(buffer), 3u);
    }
    CVPixelBufferRef again = take(pool);
    EXPECT_EQ(CVPixelBufferGetBaseAddressOfPlane(again, 0), first);
    EXPECT_EQ(pool->allocatedBufferCount(), 1u);
}

TEST(CVPixelBufferPool, DoesNotGrowBeyondTheBuffersInUse) {
    auto pool = makePool(bufferAttributes(32, 32, kCVPixelFormatType_32BGRA));
    std::set<void*> memory;
    for (int round = 0; round < 50; ++round) {
        std::vector<CVPixelBufferRef> inUse;
        for (int i = 0; i < 3; ++i) {
            inUse.push_back(take(pool));
            memory.insert(CVPixelBufferGetBaseAddress(inUse.back()));
        }
    }
    EXPECT_EQ(pool->allocatedBufferCount(), 3u);
    EXPECT_EQ(memory.size(), 3u);

    // With every buffer out, a threshold refuses to make a fourth.
    std::vector<CVPixelBufferRef> all{take(pool), take(pool), take(pool)};
    auto threshold = std::make_shared<const CFDictionary>(
        CFDictionary{{kCVPixelBufferPoolAllocationThresholdKey, std::int64_t{3}}});
    CVPixelBufferRef fourth;
    EXPECT_EQ(CVPixelBufferPoolCreatePixelBufferWithAuxAttributes(pool, threshold, &fourth),
              kCVReturnWouldExceedAllocationThreshold);
    EXPECT_EQ(fourth, nullptr);
    all.pop_back();
    EXPECT_EQ(CVPixelBufferPoolCreatePixelBufferWithAuxAttributes(pool, threshold, &fourth),
              kCVReturnSuccess);
}

TEST(CVPixelBufferPool, BuffersCarryThePoolsAttachmentsAndOnlyThose) {
    CFDictionary extra;
    extra.set(kCVBufferPropagatedAttachmentsKey, colourAttachments());
    auto pool = makePool(bufferAttributes(16, 16, kCVPixelFormatType_32BGRA, std::move(extra)));

    CVPixelBufferRef first = take(pool);
    CVPixelBufferRef second = take(pool);
    CVAttachmentMode mode = kCVAttachmentMode_ShouldNotPropagate;
    EXPECT_TRUE(CFValueEqual(*CVBufferGetAttachment(first, "CVImageBufferColorPrimaries", &mode),
                             std::string("ITU_R_709_2")));
    EXPECT_EQ(mode, kCVAttachmentMode_ShouldPropagate);

    // Changing one buffer leaves its sibling alone…
    CVBufferRemoveAttachment(first, "CVImageBufferColorPrimaries");
    CVBufferSetAttachment(first, "Scratch", std::int64_t{1}, kCVAttachmentMode_ShouldNotPropagate);
    EXPECT_TRUE(CVBufferHasAttachment(second, "CVImageBufferColorPrimaries"));
    EXPECT_FALSE(CVBufferHasAttachment(second, "Scratch"));
    EXPECT_EQ(*CVBufferCopyAttachments(second, kCVAttachmentMode_ShouldPropagate),
              *colourAttachments());

    // …and when it comes back it has the pool's attachments again.
    void* memory = CVPixelBufferGetBaseAddress(first);
    second.reset();
    first.reset();
    CVPixelBufferRef reused = take(pool);
    CVPixelBufferRef reused2 = take(pool);
    EXPECT_TRUE(CVPixelBufferGetBaseAddress(reused) == memory ||
                CVPixelBufferGetBaseAddress(reused2) == memory);
    for (const CVPixelBufferRef& buffer : {reused, reused2}) {
        EXPECT_EQ(*CVBufferCopyAttachments(buffer, kCVAttachmentMode_ShouldPropagate),
                  *colourAttachments());
        EXPECT_EQ(CVBufferCopyAttachments(buffer, kCVAttachmentMode_ShouldNotPropagate), nullptr);
    }
}

TEST(CVPixelBufferPool, ABufferReturnedLockedComesBackUnlocked) {
    auto pool = makePool(bufferAttributes(16, 16, kCVPixelFormatType_32BGRA));
    {
        CVPixelBufferRef buffer = take(pool);
        ASSERT_EQ(CVPixelBufferLockBaseAddress(buffer, 0), kCVReturnSuccess);
    }
    CVPixelBufferRef buffer = take(pool);
    EXPECT_EQ(CVPixelBufferUnlockBaseAddress(buffer, 0), kCVReturnError);
}

TEST(CVPixelBufferPool, BuffersOutliveTheirPool) {
    auto pool = makePool(bufferAttributes(16, 16, kCVPixelFormatType_32BGRA));
    CVPixelBufferRef buffer = take(pool);
    pool.reset();
    auto* bytes = static_cast<std::uint8_t*>(CVPixelBufferGetBaseAddress(buffer));
    bytes[0] = 42;
    EXPECT_EQ(bytes[0], 42);
    buffer.reset();
}

TEST(CVPixelBufferPool, MinimumBufferCountAndFlush) {
    auto pool = makePool(bufferAttributes(16, 16, kCVPixelFormatType_32BGRA),
                         std::make_shared<const CFDictionary>(CFDictionary{
                             {kCVPixelBufferPoolMinimumBufferCountKey, std::int64_t{4}}}));
    EXPECT_EQ(pool->allocatedBufferCount(), 4u);
    CVPixelBufferRef held = take(pool);
    CVPixelBufferPoolFlush(pool, kCVPixelBufferPoolFlushExcessBuffers);
    EXPECT_EQ(pool->allocatedBufferCount(), 1u);
    held.reset();
    EXPECT_EQ(pool->allocatedBufferCount(), 1u);
    take(pool);
    EXPECT_EQ(pool->allocatedBufferCount(), 1u);
}

TEST(CVPixelBufferPool, RefusesIncompleteAttributes) {
    CVPixelBufferPoolRef pool;
    EXPECT_EQ(CVPixelBufferPoolCreate(nullptr, nullptr, &pool),
              kCVReturnInvalidPixelBufferAttributes);
    auto noFormat = std::make_shared<const CFDictionary>(CFDictionary{
        {kCVPixelBufferWidthKey, std::int64_t{16}}, {kCVPixelBufferHeightKey, std::int64_t{16}}});
    EXPECT_EQ(CVPixelBufferPoolCreate(nullptr, noFormat, &pool),
              kCVReturnInvalidPixelBufferAttributes);
    EXPECT_EQ(
        CVPixelBufferPoolCreate(nullptr, bufferAttributes(16, 16, fourCharCode("none")), &pool),
        kCVReturnInvalidPixelFormat);
    EXPECT_EQ(pool, nullptr);
    CVPixelBufferRef buffer;
    EXPECT_EQ(CVPixelBufferPoolCreatePixelBuffer(nullptr, &buffer), kCVReturnInvalidArgument);
}

TEST(CVPixelBufferPool, ServesSeveralThreadsAtOnce) {
    CFDictionary extra;
    extra.set(kCVBufferPropagatedAttachmentsKey, colourAttachments());
    auto pool = makePool(bufferAttributes(64, 64, kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange,
                                          std::move(extra)));
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 500; ++i) {
                CVPixelBufferRef buffer;
                if (CVPixelBufferPoolCreatePixelBuffer(pool, &buffer) != kCVReturnSuccess ||
                    !CVBufferHasAttachment(buffer, "CVImageBufferColorPrimaries") ||
                    CVBufferHasAttachment(buffer, "Thread")) {
                    ++failures;
                    continue;
                }
                auto* luma =
                    static_cast<std::uint8_t*>(CVPixelBufferGetBaseAddressOfPlane(buffer, 0));
                luma[0] = static_cast<std::uint8_t>(t);
                CVBufferSetAttachment(buffer, "Thread", std::int64_t{t},
                                      kCVAttachmentMode_ShouldPropagate);
                if (luma[0] != t) {
                    ++failures;
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures.load(), 0);
    EXPECT_LE(pool->allocatedBufferCount(), 4u);
}
