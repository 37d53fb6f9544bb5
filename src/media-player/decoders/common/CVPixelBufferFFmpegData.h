#pragma once

#include <array>
#include <cstdint>
#include <utility>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include "platform/corevideo/CVPixelBuffer.h"

namespace quillon {

// A pixel buffer's planes as FFmpeg's data and line-size arrays: one entry per plane of a planar
// buffer, the base address as plane 0 of a packed one; unused entries null and 0.
struct FFmpegPlanePointers {
    std::array<std::uint8_t*, 4> data{};
    std::array<int, 4> linesize{};
};

// Locks the buffer's base address and gathers its planes; throws DataMismatchError
// unexpectedPixelBufferPlaneCount (after unlocking) for a planar buffer of 0 or more than 4
// planes, or the Core Video error of the lock.
FFmpegPlanePointers lockPlanePointersForFFmpeg(const platform::CVPixelBufferRef& pixelBuffer);
// Unlocks what lockPlanePointersForFFmpeg locked; a failure here is a broken invariant.
void unlockPlanePointersForFFmpeg(const platform::CVPixelBufferRef& pixelBuffer);

// Hands the buffer's plane pointers and bytes per row to body while its base address is locked.
template <typename Body>
decltype(auto) withUnsafePointersForFFmpeg(const platform::CVPixelBufferRef& pixelBuffer,
                                           Body&& body) {
    FFmpegPlanePointers planes = lockPlanePointersForFFmpeg(pixelBuffer);
    struct Unlock {
        const platform::CVPixelBufferRef& pixelBuffer;
        ~Unlock() { unlockPlanePointersForFFmpeg(pixelBuffer); }
    } unlock{pixelBuffer};
    return std::forward<Body>(body)(planes.data.data(), planes.linesize.data());
}

// Copies a decoded picture's planes into the buffer, which must have the picture's size and the
// Core Video format of its FFmpeg format (see frameMatchesPixelBuffer). Rows are copied in one
// block when the FFmpeg line size equals the buffer's bytes per row, else one by one (decoders
// that hand out their own memory, like rawvideo, have other line sizes). Throws
// DataMismatchError: unexpectedPixelBufferPlaneCount, noFFmpegData, mismatchedRowByteCount when
// a line is shorter than the plane's pixels, unexpectedPixelBufferPlaneHeight; or the Core Video
// error of the lock. The buffer is unlocked before an error leaves.
void fillData(const platform::CVPixelBufferRef& pixelBuffer, const std::uint8_t* const* ffmpegData,
              const int* ffmpegDataLinesize, AVPixelFormat ffmpegPixelFormat);

// Whether the frame can be copied into the buffer as it is: the same width and height, and a
// frame format that is the buffer's Core Video format in FFmpeg terms. A decoder whose frames
// stop matching makes a new pool (and converter) before it copies.
bool frameMatchesPixelBuffer(const AVFrame& frame, const platform::CVPixelBufferRef& pixelBuffer);

}  // namespace quillon
