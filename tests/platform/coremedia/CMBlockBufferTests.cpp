#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "platform/coremedia/CMBlockBuffer.h"
#include "platform/coremedia/CMSampleBuffer.h"

using namespace platform;

namespace {

// A block owned by the test; counts how often the block buffer gives it back.
struct TrackedBlock {
    explicit TrackedBlock(std::string text) : bytes(std::move(text)) {}
    std::string bytes;
    int freeCount = 0;
    void* freedPointer = nullptr;
    std::size_t freedLength = 0;

    CMBlockBufferCustomBlockSource source() {
        CMBlockBufferCustomBlockSource source;
        source.FreeBlock = [](void* refCon, void* block, std::size_t length) {
            auto* self = static_cast<TrackedBlock*>(refCon);
            ++self->freeCount;
            self->freedPointer = block;
            self->freedLength = length;
        };
        source.refCon = this;
        return source;
    }

    OSStatus appendTo(const CMBlockBufferRef& buffer, std::size_t offset = 0,
                      std::size_t length = 0) {
        const auto custom = source();
        return CMBlockBufferAppendMemoryBlock(buffer, bytes.data(), bytes.size(), &custom, offset,
                                              length ? length : bytes.size() - offset, 0);
    }
};

CMBlockBufferRef makeEmpty() {
    CMBlockBufferRef buffer;
    EXPECT_EQ(CMBlockBufferCreateEmpty(0, 0, &buffer), noErr);
    return buffer;
}

std::string copyBytes(const CMBlockBufferRef& buffer, std::size_t offset, std::size_t length) {
    std::string out(length, '\0');
    EXPECT_EQ(CMBlockBufferCopyDataBytes(buffer, offset, length, out.data()), noErr);
    return out;
}

}  // namespace

TEST(CMBlockBuffer, CustomBlocksAreFreedOnceWhenTheLastSampleBufferGoes) {
    TrackedBlock first("0123456789abcdef");
    TrackedBlock second("ghijklmnopqrstuv");
    CMBlockBufferRef blockBuffer = makeEmpty();
    ASSERT_EQ(first.appendTo(blockBuffer), noErr);
    ASSERT_EQ(second.appendTo(blockBuffer), noErr);

    const std::size_t size = 8;
    const CMSampleTimingInfo timing{CMTimeMake(1, 100), CMTimeMake(0, 100), kCMTimeInvalid};
    CMSampleBufferRef sampleBuffer;
    ASSERT_EQ(CMSampleBufferCreate(blockBuffer, true, nullptr, nullptr, nullptr, 4, 1, &timing, 1,
                                   &size, &sampleBuffer),
              noErr);
    blockBuffer.reset();
    CMSampleBufferRef secondHolder = sampleBuffer;
    sampleBuffer.reset();
    EXPECT_EQ(first.freeCount, 0);
    EXPECT_EQ(second.freeCount, 0);
    EXPECT_EQ(copyBytes(CMSampleBufferGetDataBuffer(secondHolder), 14, 4), "efgh");

    secondHolder.reset();
    EXPECT_EQ(first.freeCount, 1);
    EXPECT_EQ(second.freeCount, 1);
    EXPECT_EQ(first.freedPointer, first.bytes.data());
    EXPECT_EQ(first.freedLength, first.bytes.size());
}

TEST(CMBlockBuffer, ReferencesShareBlocksAndKeepThemAlive) {
    TrackedBlock block("abcdefgh");
    CMBlockBufferRef original = makeEmpty();
    ASSERT_EQ(block.appendTo(original), noErr);

    CMBlockBufferRef reference;
    ASSERT_EQ(CMBlockBufferCreateWithBufferReference(original, 2, 4, 0, &reference), noErr);
    original.reset();
    EXPECT_EQ(block.freeCount, 0);
    EXPECT_EQ(copyBytes(reference, 0, 4), "cdef");
    char* pointer = nullptr;
    ASSERT_EQ(CMBlockBufferGetDataPointer(reference, 0, nullptr, nullptr, &pointer), noErr);
    EXPECT_EQ(pointer, block.bytes.data() + 2);  // shared, not copied

    reference.reset();
    EXPECT_EQ(block.freeCount, 1);
}

TEST(CMBlockBuffer, CopiesAcrossBlockBoundariesHonouringOffsetsIntoBlocks) {
    TrackedBlock a("xxabc");  // data starts 2 bytes into the block
    TrackedBlock b("defg");
    TrackedBlock c("hiyy");  // data ends 2 bytes before the block does
    CMBlockBufferRef buffer = makeEmpty();
    ASSERT_EQ(a.appendTo(buffer, 2), noErr);
    ASSERT_EQ(b.appendTo(buffer), noErr);
    ASSERT_EQ(c.appendTo(buffer, 0, 2), noErr);

    EXPECT_EQ(CMBlockBufferGetDataLength(buffer), 9u);
    EXPECT_EQ(copyBytes(buffer, 0, 9), "abcdefghi");
    EXPECT_EQ(copyBytes(buffer, 2, 6), "cdefgh");
    EXPECT_EQ(copyBytes(buffer, 8, 1), "i");

    const std::string replacement = "CDEFGH";
    ASSERT_EQ(CMBlockBufferReplaceDataBytes(replacement.data(), buffer, 2, 6), noErr);
    EXPECT_EQ(copyBytes(buffer, 0, 9), "abCDEFGHi");
    EXPECT_EQ(a.bytes, "xxabC");  // written through to the blocks
}

TEST(CMBlockBuffer, DataPointerAndContiguity) {
    TrackedBlock a("abc");
    TrackedBlock b("defg");
    CMBlockBufferRef buffer = makeEmpty();
    ASSERT_EQ(a.appendTo(buffer), noErr);
    ASSERT_EQ(b.appendTo(buffer), noErr);

    std::size_t lengthAtOffset = 0;
    std::size_t total = 0;
    char* pointer = nullptr;
    ASSERT_EQ(CMBlockBufferGetDataPointer(buffer, 4, &lengthAtOffset, &total, &pointer), noErr);
    EXPECT_EQ(lengthAtOffset, 3u);
    EXPECT_EQ(total, 7u);
    EXPECT_EQ(*pointer, 'e');

    EXPECT_TRUE(CMBlockBufferIsRangeContiguous(buffer, 0, 3));
    EXPECT_FALSE(CMBlockBufferIsRangeContiguous(buffer, 2, 2));
    EXPECT_TRUE(CMBlockBufferIsRangeContiguous(buffer, 3, 0));  // 0: to the end
    EXPECT_FALSE(CMBlockBufferIsRangeContiguous(buffer, 7, 1));

    char temporary[4] = {};
    char* accessed = nullptr;
    ASSERT_EQ(CMBlockBufferAccessDataBytes(buffer, 1, 4, temporary, &accessed), noErr);
    EXPECT_EQ(accessed, temporary);
    EXPECT_EQ(std::string(accessed, 4), "bcde");
    ASSERT_EQ(CMBlockBufferAccessDataBytes(buffer, 3, 2, temporary, &accessed), noErr);
    EXPECT_EQ(accessed, b.bytes.data());

    // Adjacent pieces of one block join up again when referenced in order.
    CMBlockBufferRef joined = makeEmpty();
    ASSERT_EQ(CMBlockBufferAppendBufferReference(joined, buffer, 3, 2, 0), noErr);
    ASSERT_EQ(CMBlockBufferAppendBufferReference(joined, buffer, 5, 2, 0), noErr);
    EXPECT_EQ(joined->pieceCount(), 1u);
    EXPECT_TRUE(CMBlockBufferIsRangeContiguous(joined, 0, 4));
}

TEST(CMBlockBuffer, BadLengthsOffsetsAndSourcesAreRefusedWithoutTakingTheBlock) {
    TrackedBlock block("abcd");
    CMBlockBufferRef buffer = makeEmpty();
    auto source = block.source();
    char* data = block.bytes.data();

    EXPECT_EQ(CMBlockBufferAppendMemoryBlock(buffer, data, 4, &source, 0, 0, 0),
              kCMBlockBufferBadLengthParameterErr);
    EXPECT_EQ(CMBlockBufferAppendMemoryBlock(buffer, data, 0, &source, 0, 1, 0),
              kCMBlockBufferBadLengthParameterErr);
    EXPECT_EQ(CMBlockBufferAppendMemoryBlock(buffer, data, 4, &source, 4, 1, 0),
              kCMBlockBufferBadOffsetParameterErr);
    EXPECT_EQ(CMBlockBufferAppendMemoryBlock(buffer, data, 4, &source, 1, 4, 0),
              kCMBlockBufferBadLengthParameterErr);
    source.version = 1;
    EXPECT_EQ(CMBlockBufferAppendMemoryBlock(buffer, data, 4, &source, 0, 4, 0),
              kCMBlockBufferBadCustomBlockSourceErr);
    source.version = kCMBlockBufferCustomBlockSourceVersion;
    EXPECT_EQ(CMBlockBufferAppendMemoryBlock(buffer, nullptr, 4, &source, 0, 4, 0),
              kCMBlockBufferBadCustomBlockSourceErr);  // asked to allocate, cannot
    EXPECT_EQ(CMBlockBufferAppendMemoryBlock(nullptr, data, 4, &source, 0, 4, 0),
              kCMBlockBufferBadPointerParameterErr);
    EXPECT_EQ(CMBlockBufferGetDataLength(buffer), 0u);

    buffer.reset();
    EXPECT_EQ(block.freeCount, 0);
}

TEST(CMBlockBuffer, ReadsOutsideTheDataAreRefused) {
    TrackedBlock block("abcd");
    CMBlockBufferRef buffer = makeEmpty();
    char out[8];
    EXPECT_EQ(CMBlockBufferGetDataPointer(buffer, 0, nullptr, nullptr, nullptr),
              kCMBlockBufferEmptyBBufErr);
    ASSERT_EQ(block.appendTo(buffer), noErr);

    EXPECT_EQ(CMBlockBufferCopyDataBytes(buffer, 2, 3, out), kCMBlockBufferBadLengthParameterErr);
    EXPECT_EQ(CMBlockBufferCopyDataBytes(buffer, 5, 1, out), kCMBlockBufferBadOffsetParameterErr);
    EXPECT_EQ(CMBlockBufferCopyDataBytes(buffer, 4, 0, out), noErr);
    EXPECT_EQ(CMBlockBufferGetDataPointer(buffer, 4, nullptr, nullptr, nullptr),
              kCMBlockBufferBadOffsetParameterErr);
    EXPECT_EQ(CMBlockBufferAppendBufferReference(makeEmpty(), buffer, 4, 0, 0),
              kCMBlockBufferBadOffsetParameterErr);
    EXPECT_EQ(CMBlockBufferAppendBufferReference(makeEmpty(), buffer, 1, 4, 0),
              kCMBlockBufferBadLengthParameterErr);
    EXPECT_EQ(CMBlockBufferAppendBufferReference(makeEmpty(), makeEmpty(), 0, 0, 0),
              kCMBlockBufferEmptyBBufErr);
    EXPECT_EQ(CMBlockBufferAppendBufferReference(makeEmpty(), makeEmpty(), 0, 0,
                                                 kCMBlockBufferPermitEmptyReferenceFlag),
              noErr);
}

TEST(CMBlockBuffer, BlocksItAllocatesOrAdoptsAreFreedWithIt) {
    // Run under the address sanitizer, a missing free shows up as a leak.
    void* adopted = std::malloc(32);
    std::memset(adopted, 'z', 32);
    CMBlockBufferRef buffer;
    ASSERT_EQ(CMBlockBufferCreateWithMemoryBlock(adopted, 32, nullptr, 0, 32, 0, &buffer), noErr);
    ASSERT_EQ(CMBlockBufferAppendMemoryBlock(buffer, nullptr, 16, nullptr, 0, 16, 0), noErr);
    const std::string bytes = "0123456789abcdef";
    ASSERT_EQ(CMBlockBufferReplaceDataBytes(bytes.data(), buffer, 32, 16), noErr);
    EXPECT_EQ(copyBytes(buffer, 30, 4), "zz01");

    CMBlockBufferRef copied = makeEmpty();
    ASSERT_EQ(
        CMBlockBufferAppendBufferReference(copied, buffer, 0, 0, kCMBlockBufferAlwaysCopyDataFlag),
        noErr);
    ASSERT_EQ(CMBlockBufferReplaceDataBytes("!", buffer, 0, 1), noErr);
    EXPECT_EQ(copyBytes(copied, 0, 1), "z");
}

TEST(CMBlockBuffer, SharedBytesReleaseTheirKeeperWithTheLastReference) {
    auto storage = std::make_shared<std::string>("shared bytes");
    std::weak_ptr<std::string> watch = storage;
    CMBlockBufferRef buffer = makeEmpty();
    const std::span<const std::uint8_t> bytes(
        reinterpret_cast<const std::uint8_t*>(storage->data()), storage->size());
    ASSERT_EQ(CMBlockBufferAppendSharedBytes(buffer, bytes, storage), noErr);
    storage.reset();
    EXPECT_FALSE(watch.expired());
    EXPECT_EQ(copyBytes(buffer, 7, 5), "bytes");
    buffer.reset();
    EXPECT_TRUE(watch.expired());
}
