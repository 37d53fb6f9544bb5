#include "media-player/decoders/common/P010Packing.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quillon {

namespace {

constexpr int shift = 6;

std::uint16_t load(const std::uint8_t* at) {
    std::uint16_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

void store(std::uint8_t* at, std::uint16_t value) {
    std::memcpy(at, &value, sizeof value);
}

#if defined(__SSE2__)
// A whole picture is far larger than the caches and is not read again here: storing around them
// saves reading each destination line in before it is overwritten.
template <bool aligned>
void storeVector(std::uint8_t* at, __m128i value) {
    if constexpr (aligned) {
        _mm_stream_si128(reinterpret_cast<__m128i*>(at), value);
    } else {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(at), value);
    }
}

__m128i loadShifted(const std::uint8_t* at) {
    return _mm_slli_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)), shift);
}

template <bool aligned>
int shiftVectors(const std::uint8_t* source, std::uint8_t* destination, int samples) {
    int index = 0;
    for (; index + 8 <= samples; index += 8) {
        storeVector<aligned>(destination + index * 2, loadShifted(source + index * 2));
    }
    return index;
}

template <bool aligned>
int interleaveVectors(const std::uint8_t* u, const std::uint8_t* v, std::uint8_t* destination,
                      int samples) {
    int index = 0;
    for (; index + 8 <= samples; index += 8) {
        const __m128i us = loadShifted(u + index * 2);
        const __m128i vs = loadShifted(v + index * 2);
        storeVector<aligned>(destination + index * 4, _mm_unpacklo_epi16(us, vs));
        storeVector<aligned>(destination + index * 4 + 16, _mm_unpackhi_epi16(us, vs));
    }
    return index;
}

bool isVectorAligned(const std::uint8_t* at) {
    return reinterpret_cast<std::uintptr_t>(at) % 16 == 0;
}
#endif

void shiftRow(const std::uint8_t* source, std::uint8_t* destination, int samples) {
    int index = 0;
#if defined(__SSE2__)
    index = isVectorAligned(destination) ? shiftVectors<true>(source, destination, samples)
                                         : shiftVectors<false>(source, destination, samples);
#endif
    for (; index < samples; ++index) {
        store(destination + index * 2,
              static_cast<std::uint16_t>(load(source + index * 2) << shift));
    }
}

void interleaveRow(const std::uint8_t* u, const std::uint8_t* v, std::uint8_t* destination,
                   int samples) {
    int index = 0;
#if defined(__SSE2__)
    index = isVectorAligned(destination) ? interleaveVectors<true>(u, v, destination, samples)
                                         : interleaveVectors<false>(u, v, destination, samples);
#endif
    for (; index < samples; ++index) {
        store(destination + index * 4, static_cast<std::uint16_t>(load(u + index * 2) << shift));
        store(destination + index * 4 + 2,
              static_cast<std::uint16_t>(load(v + index * 2) << shift));
    }
}

}  // namespace

void packYUV420P10AsP010(const std::uint8_t* const source[3], const int sourceLinesize[3],
                         std::uint8_t* const destination[2], const int destinationLinesize[2],
                         int width, int rows) {
    for (int row = 0; row < rows; ++row) {
        shiftRow(source[0] + static_cast<std::ptrdiff_t>(row) * sourceLinesize[0],
                 destination[0] + static_cast<std::ptrdiff_t>(row) * destinationLinesize[0], width);
    }
    const int chromaWidth = (width + 1) / 2;
    for (int row = 0; row < (rows + 1) / 2; ++row) {
        interleaveRow(source[1] + static_cast<std::ptrdiff_t>(row) * sourceLinesize[1],
                      source[2] + static_cast<std::ptrdiff_t>(row) * sourceLinesize[2],
                      destination[1] + static_cast<std::ptrdiff_t>(row) * destinationLinesize[1],
                      chromaWidth);
    }
#if defined(__SSE2__)
    // The streamed stores are ordered before whatever hands the picture on.
    _mm_sfence();
#endif
}

}  // namespace quillon
