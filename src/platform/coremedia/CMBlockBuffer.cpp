#include "platform/coremedia/CMBlockBuffer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace platform {

class CMBlockBuffer::MemoryBlock {
public:
    // How the block is given back when the last piece referring to it goes.
    enum class Release { ThroughSource, WithFree, WithKeeper };

    MemoryBlock(void* bytes, std::size_t length, const CMBlockBufferCustomBlockSource& source)
        : bytes_(static_cast<std::uint8_t*>(bytes)),
          length_(length),
          release_(Release::ThroughSource),
          source_(source) {}
    MemoryBlock(void* bytes, std::size_t length)
        : bytes_(static_cast<std::uint8_t*>(bytes)), length_(length), release_(Release::WithFree) {}
    MemoryBlock(const void* bytes, std::size_t length, std::shared_ptr<const void> keeper)
        : bytes_(static_cast<std::uint8_t*>(const_cast<void*>(bytes))),
          length_(length),
          release_(Release::WithKeeper),
          keeper_(std::move(keeper)) {}

    MemoryBlock(const MemoryBlock&) = delete;
    MemoryBlock& operator=(const MemoryBlock&) = delete;

    ~MemoryBlock() {
        switch (release_) {
            case Release::ThroughSource:
                if (source_.FreeBlock != nullptr) {
                    source_.FreeBlock(source_.refCon, bytes_, length_);
                }
                break;
            case Release::WithFree:
                std::free(bytes_);
                break;
            case Release::WithKeeper:
                break;  // keeper_ goes with the block
        }
    }

    std::uint8_t* bytes() const { return bytes_; }

private:
    std::uint8_t* bytes_;
    std::size_t length_;
    Release release_;
    CMBlockBufferCustomBlockSource source_{};
    std::shared_ptr<const void> keeper_;
};

// The free functions below are the block buffer's interface; this gives them its insides.
struct CMBlockBufferAccess {
    using Piece = CMBlockBuffer::Piece;
    using MemoryBlock = CMBlockBuffer::MemoryBlock;

    static void append(CMBlockBuffer& buffer, std::shared_ptr<const MemoryBlock> block,
                       std::size_t offsetInBlock, std::size_t length) {
        // A piece that continues the last one in the same block extends it, so that bytes
        // adjacent in memory stay one contiguous range.
        if (!buffer.pieces_.empty()) {
            Piece& last = buffer.pieces_.back();
            if (last.block == block && last.offsetInBlock + last.length == offsetInBlock) {
                last.length += length;
                buffer.dataLength_ += length;
                return;
            }
        }
        buffer.pieces_.push_back({std::move(block), offsetInBlock, length, buffer.dataLength_});
        buffer.dataLength_ += length;
    }

    static const std::vector<Piece>& pieces(const CMBlockBuffer& buffer) { return buffer.pieces_; }
    static void reserve(CMBlockBuffer& buffer, std::size_t count) { buffer.pieces_.reserve(count); }

    // The piece holding the byte at offset (offset < data length).
    static std::vector<Piece>::const_iterator pieceAt(const CMBlockBuffer& buffer,
                                                      std::size_t offset) {
        auto after = std::upper_bound(
            buffer.pieces_.begin(), buffer.pieces_.end(), offset,
            [](std::size_t value, const Piece& piece) { return value < piece.offsetInBuffer; });
        return std::prev(after);
    }

    static std::uint8_t* pointerAt(const Piece& piece, std::size_t offset) {
        return piece.block->bytes() + piece.offsetInBlock + (offset - piece.offsetInBuffer);
    }

    // Visits the pieces of [offset, offset + length) as (pointer, length, offset in range).
    template <typename Visit>
    static void forEachRange(const CMBlockBuffer& buffer, std::size_t offset, std::size_t length,
                             Visit visit) {
        std::size_t done = 0;
        for (auto piece = pieceAt(buffer, offset); done < length; ++piece) {
            const std::size_t start = offset + done;
            const std::size_t available = piece->offsetInBuffer + piece->length - start;
            const std::size_t count = std::min(available, length - done);
            visit(pointerAt(*piece, start), count, done);
            done += count;
        }
    }
};

namespace {

using MemoryBlock = CMBlockBufferAccess::MemoryBlock;

// Checks the arguments shared by creating with and appending a memory block, and makes the
// block. Nothing is taken over unless the result is noErr.
OSStatus makeMemoryBlock(void* memoryBlock, std::size_t blockLength,
                         const CMBlockBufferCustomBlockSource* customBlockSource,
                         std::size_t offsetToData, std::size_t dataLength,
                         std::shared_ptr<const MemoryBlock>* blockOut) {
    if (customBlockSource != nullptr &&
        customBlockSource->version != kCMBlockBufferCustomBlockSourceVersion) {
        return kCMBlockBufferBadCustomBlockSourceErr;
    }
    if (blockLength == 0 || dataLength == 0) {
        return kCMBlockBufferBadLengthParameterErr;
    }
    if (offsetToData >= blockLength) {
        return kCMBlockBufferBadOffsetParameterErr;
    }
    if (dataLength > blockLength - offsetToData) {
        return kCMBlockBufferBadLengthParameterErr;
    }
    if (customBlockSource != nullptr) {
        if (memoryBlock == nullptr) {
            if (customBlockSource->AllocateBlock == nullptr) {
                return kCMBlockBufferBadCustomBlockSourceErr;
            }
            memoryBlock = customBlockSource->AllocateBlock(customBlockSource->refCon, blockLength);
            if (memoryBlock == nullptr) {
                return kCMBlockBufferBlockAllocationFailedErr;
            }
        }
        *blockOut =
            std::make_shared<const MemoryBlock>(memoryBlock, blockLength, *customBlockSource);
        return noErr;
    }
    if (memoryBlock == nullptr) {
        memoryBlock = std::malloc(blockLength);
        if (memoryBlock == nullptr) {
            return kCMBlockBufferBlockAllocationFailedErr;
        }
    }
    *blockOut = std::make_shared<const MemoryBlock>(memoryBlock, blockLength);
    return noErr;
}

// Resolves a reference's range: a dataLength of 0 means the rest of the target.
OSStatus referenceRange(const CMBlockBuffer& target, std::size_t offsetToData,
                        std::size_t* dataLength, CMBlockBufferFlags flags) {
    const std::size_t targetLength = target.dataLength();
    if (targetLength == 0) {
        if ((flags & kCMBlockBufferPermitEmptyReferenceFlag) != 0 && offsetToData == 0 &&
            *dataLength == 0) {
            return noErr;
        }
        return kCMBlockBufferEmptyBBufErr;
    }
    if (offsetToData >= targetLength) {
        return kCMBlockBufferBadOffsetParameterErr;
    }
    if (*dataLength == 0) {
        *dataLength = targetLength - offsetToData;
    }
    if (*dataLength > targetLength - offsetToData) {
        return kCMBlockBufferBadLengthParameterErr;
    }
    return noErr;
}

// Checks that [offset, offset + length) lies inside the buffer.
OSStatus checkRange(const CMBlockBuffer& buffer, std::size_t offset, std::size_t length) {
    const std::size_t total = buffer.dataLength();
    if (offset > total || (offset == total && length > 0)) {
        return kCMBlockBufferBadOffsetParameterErr;
    }
    if (length > total - offset) {
        return kCMBlockBufferBadLengthParameterErr;
    }
    return noErr;
}

}  // namespace

OSStatus CMBlockBufferCreateEmpty(std::uint32_t subBlockCapacity, CMBlockBufferFlags /*flags*/,
                                  CMBlockBufferRef* blockBufferOut) {
    if (blockBufferOut == nullptr) {
        return kCMBlockBufferBadPointerParameterErr;
    }
    auto buffer = std::make_shared<CMBlockBuffer>();
    CMBlockBufferAccess::reserve(*buffer, subBlockCapacity);
    *blockBufferOut = std::move(buffer);
    return noErr;
}

OSStatus CMBlockBufferCreateWithMemoryBlock(void* memoryBlock, std::size_t blockLength,
                                            const CMBlockBufferCustomBlockSource* customBlockSource,
                                            std::size_t offsetToData, std::size_t dataLength,
                                            CMBlockBufferFlags /*flags*/,
                                            CMBlockBufferRef* blockBufferOut) {
    if (blockBufferOut == nullptr) {
        return kCMBlockBufferBadPointerParameterErr;
    }
    std::shared_ptr<const MemoryBlock> block;
    const OSStatus status = makeMemoryBlock(memoryBlock, blockLength, customBlockSource,
                                            offsetToData, dataLength, &block);
    if (status != noErr) {
        return status;
    }
    auto buffer = std::make_shared<CMBlockBuffer>();
    CMBlockBufferAccess::append(*buffer, std::move(block), offsetToData, dataLength);
    *blockBufferOut = std::move(buffer);
    return noErr;
}

OSStatus CMBlockBufferAppendMemoryBlock(const CMBlockBufferRef& theBuffer, void* memoryBlock,
                                        std::size_t blockLength,
                                        const CMBlockBufferCustomBlockSource* customBlockSource,
                                        std::size_t offsetToData, std::size_t dataLength,
                                        CMBlockBufferFlags /*flags*/) {
    if (!theBuffer) {
        return kCMBlockBufferBadPointerParameterErr;
    }
    std::shared_ptr<const MemoryBlock> block;
    const OSStatus status = makeMemoryBlock(memoryBlock, blockLength, customBlockSource,
                                            offsetToData, dataLength, &block);
    if (status != noErr) {
        return status;
    }
    CMBlockBufferAccess::append(*theBuffer, std::move(block), offsetToData, dataLength);
    return noErr;
}

OSStatus CMBlockBufferAppendBufferReference(const CMBlockBufferRef& theBuffer,
                                            const CMBlockBufferRef& targetBuffer,
                                            std::size_t offsetToData, std::size_t dataLength,
                                            CMBlockBufferFlags flags) {
    if (!theBuffer || !targetBuffer) {
        return kCMBlockBufferBadPointerParameterErr;
    }
    const OSStatus status = referenceRange(*targetBuffer, offsetToData, &dataLength, flags);
    if (status != noErr || dataLength == 0) {
        return status;
    }
    if ((flags & kCMBlockBufferAlwaysCopyDataFlag) != 0) {
        void* copy = std::malloc(dataLength);
        if (copy == nullptr) {
            return kCMBlockBufferBlockAllocationFailedErr;
        }
        CMBlockBufferCopyDataBytes(targetBuffer, offsetToData, dataLength, copy);
        CMBlockBufferAccess::append(
            *theBuffer, std::make_shared<const MemoryBlock>(copy, dataLength), 0, dataLength);
        return noErr;
    }
    // Collect first: the target may be the buffer being appended to.
    std::vector<CMBlockBufferAccess::Piece> referenced;
    CMBlockBufferAccess::forEachRange(
        *targetBuffer, offsetToData, dataLength,
        [&](std::uint8_t*, std::size_t count, std::size_t done) {
            const auto piece = CMBlockBufferAccess::pieceAt(*targetBuffer, offsetToData + done);
            const std::size_t intoPiece = offsetToData + done - piece->offsetInBuffer;
            referenced.push_back({piece->block, piece->offsetInBlock + intoPiece, count, 0});
        });
    for (auto& piece : referenced) {
        CMBlockBufferAccess::append(*theBuffer, std::move(piece.block), piece.offsetInBlock,
                                    piece.length);
    }
    return noErr;
}

OSStatus CMBlockBufferCreateWithBufferReference(const CMBlockBufferRef& referenceBuffer,
                                                std::size_t offsetToData, std::size_t dataLength,
                                                CMBlockBufferFlags flags,
                                                CMBlockBufferRef* blockBufferOut) {
    if (blockBufferOut == nullptr) {
        return kCMBlockBufferBadPointerParameterErr;
    }
    auto buffer = std::make_shared<CMBlockBuffer>();
    const OSStatus status = CMBlockBufferAppendBufferReference(buffer, referenceBuffer,
                                                               offsetToData, dataLength, flags);
    if (status != noErr) {
        return status;
    }
    *blockBufferOut = std::move(buffer);
    return noErr;
}

OSStatus CMBlockBufferAppendSharedBytes(const CMBlockBufferRef& theBuffer,
                                        std::span<const std::uint8_t> bytes,
                                        std::shared_ptr<const void> keeper) {
    if (!theBuffer || bytes.data() == nullptr) {
        return kCMBlockBufferBadPointerParameterErr;
    }
    if (bytes.empty()) {
        return kCMBlockBufferBadLengthParameterErr;
    }
    CMBlockBufferAccess::append(
        *theBuffer,
        std::make_shared<const MemoryBlock>(bytes.data(), bytes.size(), std::move(keeper)), 0,
        bytes.size());
    return noErr;
}

std::size_t CMBlockBufferGetDataLength(const CMBlockBufferRef& theBuffer) {
    return theBuffer ? theBuffer->dataLength() : 0;
}

bool CMBlockBufferIsEmpty(const CMBlockBufferRef& theBuffer) {
    return !theBuffer || theBuffer->isEmpty();
}

OSStatus CMBlockBufferCopyDataBytes(const CMBlockBufferRef& theSourceBuffer,
                                    std::size_t offsetToData, std::size_t dataLength,
                                    void* destination) {
    if (!theSourceBuffer || destination == nullptr) {
        return kCMBlockBufferBadPointerParameterErr;
    }
    const OSStatus status = checkRange(*theSourceBuffer, offsetToData, dataLength);
    if (status != noErr || dataLength == 0) {
        return status;
    }
    auto* out = static_cast<std::uint8_t*>(destination);
    CMBlockBufferAccess::forEachRange(
        *theSourceBuffer, offsetToData, dataLength,
        [&](const std::uint8_t* bytes, std::size_t count, std::size_t done) {
            std::memcpy(out + done, bytes, count);
        });
    return noErr;
}

OSStatus CMBlockBufferReplaceDataBytes(const void* sourceBytes,
                                       const CMBlockBufferRef& destinationBuffer,
                                       std::size_t offsetIntoDestination, std::size_t dataLength) {
    if (sourceBytes == nullptr || !destinationBuffer) {
        return kCMBlockBufferBadPointerParameterErr;
    }
    const OSStatus status = checkRange(*destinationBuffer, offsetIntoDestination, dataLength);
    if (status != noErr || dataLength == 0) {
        return status;
    }
    const auto* in = static_cast<const std::uint8_t*>(sourceBytes);
    CMBlockBufferAccess::forEachRange(
        *destinationBuffer, offsetIntoDestination, dataLength,
        [&](std::uint8_t* bytes, std::size_t count, std::size_t done) {
            std::memcpy(bytes, in + done, count);
        });
    return noErr;
}

OSStatus CMBlockBufferGetDataPointer(const CMBlockBufferRef& theBuffer, std::size_t offset,
                                     std::size_t* lengthAtOffsetOut, std::size_t* totalLengthOut,
                                     char** dataPointerOut) {
    if (!theBuffer) {
        return kCMBlockBufferBadPointerParameterErr;
    }
    if (theBuffer->isEmpty()) {
        return kCMBlockBufferEmptyBBufErr;
    }
    if (offset >= theBuffer->dataLength()) {
        return kCMBlockBufferBadOffsetParameterErr;
    }
    const auto piece = CMBlockBufferAccess::pieceAt(*theBuffer, offset);
    if (lengthAtOffsetOut != nullptr) {
        *lengthAtOffsetOut = piece->offsetInBuffer + piece->length - offset;
    }
    if (totalLengthOut != nullptr) {
        *totalLengthOut = theBuffer->dataLength();
    }
    if (dataPointerOut != nullptr) {
        *dataPointerOut = reinterpret_cast<char*>(CMBlockBufferAccess::pointerAt(*piece, offset));
    }
    return noErr;
}

OSStatus CMBlockBufferAccessDataBytes(const CMBlockBufferRef& theBuffer, std::size_t offset,
                                      std::size_t length, void* temporaryBlock,
                                      char** returnedPointerOut) {
    if (!theBuffer || returnedPointerOut == nullptr) {
        return kCMBlockBufferBadPointerParameterErr;
    }
    const OSStatus status = checkRange(*theBuffer, offset, length);
    if (status != noErr) {
        return status;
    }
    if (length == 0) {
        return kCMBlockBufferBadLengthParameterErr;
    }
    if (CMBlockBufferIsRangeContiguous(theBuffer, offset, length)) {
        const auto piece = CMBlockBufferAccess::pieceAt(*theBuffer, offset);
        *returnedPointerOut =
            reinterpret_cast<char*>(CMBlockBufferAccess::pointerAt(*piece, offset));
        return noErr;
    }
    if (temporaryBlock == nullptr) {
        return kCMBlockBufferBadPointerParameterErr;
    }
    CMBlockBufferCopyDataBytes(theBuffer, offset, length, temporaryBlock);
    *returnedPointerOut = static_cast<char*>(temporaryBlock);
    return noErr;
}

bool CMBlockBufferIsRangeContiguous(const CMBlockBufferRef& theBuffer, std::size_t offset,
                                    std::size_t length) {
    if (!theBuffer || offset >= theBuffer->dataLength()) {
        return false;
    }
    if (length == 0) {
        length = theBuffer->dataLength() - offset;
    }
    if (length > theBuffer->dataLength() - offset) {
        return false;
    }
    const auto piece = CMBlockBufferAccess::pieceAt(*theBuffer, offset);
    return offset + length <= piece->offsetInBuffer + piece->length;
}

}  // namespace platform
