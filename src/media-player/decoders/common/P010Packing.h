#pragma once

#include <cstdint>

namespace quillon {

// Rows of a 10-bit 4:2:0 planar picture (yuv420p10le) written as P010 (little endian): each
// sample moved to the high ten bits of its 16, the two chroma planes interleaved into one. This
// is what libswscale's conversion between the two formats gives, at a fraction of its cost; the
// decoder converts every high-bit-depth picture this way.
//
// source: the Y, U and V planes' first rows; destination: the Y and CbCr planes' first rows.
// rows counts luma rows from an even row; chroma rows are half as many, rounded up.
void packYUV420P10AsP010(const std::uint8_t* const source[3], const int sourceLinesize[3],
                         std::uint8_t* const destination[2], const int destinationLinesize[2],
                         int width, int rows);

}  // namespace quillon
