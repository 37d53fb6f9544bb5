#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "platform/corefoundation/CFBase.h"

namespace platform {

// Errors of the block-buffer calls.
inline constexpr OSStatus kCMBlockBufferNoErr = 0;
inline constexpr OSStatus kCMBlockBufferStructureAllocationFailedErr = -12700;
inline constexpr OSStatus kCMBlockBufferBlockAllocationFailedErr = -12701;
inline constexpr OSStatus kCMBlockBufferBadCustomBlockSourceErr = -12702;
inline constexpr OSStatus kCMBlockBufferBadOffsetParameterErr = -12703;
inline constexpr OSStatus kCMBlockBufferBadLengthParameterErr = -12704;
inline constexpr OSStatus kCMBlockBufferBadPointerParameterErr = -12705;
inline constexpr OSStatus kCMBlockBufferEmptyBBufErr = -12706;
inline constexpr OSStatus kCMBlockBufferUnallocatedBlockErr = -12707;
inline constexpr OSStatus kCMBlockBufferInsufficientSpaceErr = -12708;

using CMBlockBufferFlags = std::uint32_t;
inline constexpr CMBlockBufferFlags kCMBlockBufferAssureMemoryNowFlag = 1u << 0;
inline constexpr CMBlockBufferFlags kCMBlockBufferAlwaysCopyDataFlag = 1u << 1;
inline constexpr CMBlockBufferFlags kCMBlockBufferDontOptimizeDepthFlag = 1u << 2;
inline constexpr CMBlockBufferFlags kCMBlockBufferPermitEmptyReferenceFlag = 1u << 3;

inline constexpr std::uint32_t kCMBlockBufferCustomBlockSourceVersion = 0;

// Who provides and releases a memory block. FreeBlock is called exactly once, with refCon, the
// block and its length, when the last block buffer that refers to the block goes away; a block
// buffer never frees such memory any other way. AllocateBlock is only needed when the block
// buffer is asked to allocate the block itself.
struct CMBlockBufferCustomBlockSource {
    std::uint32_t version = kCMBlockBufferCustomBlockSourceVersion;
    void* (*AllocateBlock)(void* refCon, std::size_t sizeInBytes) = nullptr;
    void (*FreeBlock)(void* refCon, void* doomedMemoryBlock, std::size_t sizeInBytes) = nullptr;
    void* refCon = nullptr;
};

// An ordered run of bytes made of pieces of memory blocks, so that data from several places can
// be handed on as one buffer without copying. Blocks are shared, not copied, when one block
// buffer refers to another; a block is released when nothing refers to it any more.
//
// A block buffer is filled by one owner; once handed to a sample buffer it is no longer changed,
// and then any number of threads may read it at once.
class CMBlockBuffer {
public:
    CMBlockBuffer() = default;
    CMBlockBuffer(const CMBlockBuffer&) = delete;
    CMBlockBuffer& operator=(const CMBlockBuffer&) = delete;

    std::size_t dataLength() const { return dataLength_; }
    bool isEmpty() const { return dataLength_ == 0; }
    // Number of separate pieces the bytes lie in.
    std::size_t pieceCount() const { return pieces_.size(); }

private:
    friend struct CMBlockBufferAccess;

    // A block of memory and whoever must release it.
    class MemoryBlock;

    struct Piece {
        std::shared_ptr<const MemoryBlock> block;
        std::size_t offsetInBlock = 0;
        std::size_t length = 0;
        std::size_t offsetInBuffer = 0;
    };

    std::vector<Piece> pieces_;
    std::size_t dataLength_ = 0;
};

using CMBlockBufferRef = std::shared_ptr<CMBlockBuffer>;

// An empty block buffer, to append blocks to. subBlockCapacity is a hint for how many blocks
// will be appended.
OSStatus CMBlockBufferCreateEmpty(std::uint32_t subBlockCapacity, CMBlockBufferFlags flags,
                                  CMBlockBufferRef* blockBufferOut);

// A block buffer over dataLength bytes at offsetToData of a memory block of blockLength bytes.
// With memoryBlock null, the block is allocated (by the source's AllocateBlock when a source is
// given). A memory block given without a source becomes the block buffer's and is released with
// std::free, as the platform's default allocator would: it must come from malloc. On failure
// nothing is taken over and no free callback runs.
OSStatus CMBlockBufferCreateWithMemoryBlock(void* memoryBlock, std::size_t blockLength,
                                            const CMBlockBufferCustomBlockSource* customBlockSource,
                                            std::size_t offsetToData, std::size_t dataLength,
                                            CMBlockBufferFlags flags,
                                            CMBlockBufferRef* blockBufferOut);

// Appends a memory block as CMBlockBufferCreateWithMemoryBlock takes one.
OSStatus CMBlockBufferAppendMemoryBlock(const CMBlockBufferRef& theBuffer, void* memoryBlock,
                                        std::size_t blockLength,
                                        const CMBlockBufferCustomBlockSource* customBlockSource,
                                        std::size_t offsetToData, std::size_t dataLength,
                                        CMBlockBufferFlags flags);

// Appends dataLength bytes of targetBuffer from offsetToData, sharing its blocks. A dataLength
// of 0 means everything from the offset on.
OSStatus CMBlockBufferAppendBufferReference(const CMBlockBufferRef& theBuffer,
                                            const CMBlockBufferRef& targetBuffer,
                                            std::size_t offsetToData, std::size_t dataLength,
                                            CMBlockBufferFlags flags);

OSStatus CMBlockBufferCreateWithBufferReference(const CMBlockBufferRef& referenceBuffer,
                                                std::size_t offsetToData, std::size_t dataLength,
                                                CMBlockBufferFlags flags,
                                                CMBlockBufferRef* blockBufferOut);

// C++ convenience: appends bytes kept alive by keeper, which is released (its deleter run) when
// the last block buffer referring to them goes away. Nothing is copied.
OSStatus CMBlockBufferAppendSharedBytes(const CMBlockBufferRef& theBuffer,
                                        std::span<const std::uint8_t> bytes,
                                        std::shared_ptr<const void> keeper);

// 0 for a null buffer.
std::size_t CMBlockBufferGetDataLength(const CMBlockBufferRef& theBuffer);
bool CMBlockBufferIsEmpty(const CMBlockBufferRef& theBuffer);

// Copies dataLength bytes from offsetToData into destination, across block boundaries.
OSStatus CMBlockBufferCopyDataBytes(const CMBlockBufferRef& theSourceBuffer,
                                    std::size_t offsetToData, std::size_t dataLength,
                                    void* destination);

// Overwrites dataLength bytes from offsetIntoDestination with the bytes at sourceBytes.
OSStatus CMBlockBufferReplaceDataBytes(const void* sourceBytes,
                                       const CMBlockBufferRef& destinationBuffer,
                                       std::size_t offsetIntoDestination, std::size_t dataLength);

// Where the byte at offset lies: a pointer to it, how many bytes follow it contiguously in its
// block (lengthAtOffsetOut) and the buffer's whole length (totalLengthOut). Any out pointer may
// be null.
OSStatus CMBlockBufferGetDataPointer(const CMBlockBufferRef& theBuffer, std::size_t offset,
                                     std::size_t* lengthAtOffsetOut, std::size_t* totalLengthOut,
                                     char** dataPointerOut);

// A pointer to length bytes from offset: into the block when they lie in one piece, otherwise
// to temporaryBlock after copying them there (it must have room for length bytes).
OSStatus CMBlockBufferAccessDataBytes(const CMBlockBufferRef& theBuffer, std::size_t offset,
                                      std::size_t length, void* temporaryBlock,
                                      char** returnedPointerOut);

// Whether length bytes from offset lie in one piece of memory; a length of 0 means the rest of
// the buffer. False for ranges outside the buffer.
bool CMBlockBufferIsRangeContiguous(const CMBlockBufferRef& theBuffer, std::size_t offset,
                                    std::size_t length);

}  // namespace platform
