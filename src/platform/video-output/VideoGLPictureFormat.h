#pragma once

#include <array>
#include <cstddef>
#include <optional>

#include "platform/corevideo/CVPixelBuffer.h"
#include "platform/video-output/VideoColorMapping.h"

namespace platform {

// How the GL view uploads a pixel buffer's planes into textures and reads its three components
// back out of them. A plane may be uploaded twice in two shapes: a packed 4:2:2 row is read as
// two-byte texels for its luma and as four-byte texels for its chroma, so that both filter
// linearly.
struct VideoGLPictureFormat {
    enum class TexelFormat { r8, rg8, rgb8, rgba8, bgra8, r16, rg16, rgba16 };

    struct Texture {
        std::size_t plane = 0;
        TexelFormat texelFormat = TexelFormat::r8;
        int width = 0;
        int height = 0;

        int bytesPerTexel() const;
        friend bool operator==(const Texture&, const Texture&) = default;
    };

    int textureCount = 0;
    std::array<Texture, 3> textures{};
    // For Y, Cb and Cr (or R, G and B): the texture each is read from, and the weights of that
    // texel's r, g, b and a that give it.
    std::array<int, 3> componentTexture{};
    std::array<std::array<float, 4>, 3> componentSelector{};
    bool isYCbCr = false;
    // The samples' code values at `bits` bits are the texture's normalised values times this.
    float codeScale = 255;
    int bits = 8;
    bool fullRange = false;

    // None for a format the view does not draw.
    static std::optional<VideoGLPictureFormat> of(const CVPixelBuffer& buffer);
};

// From the three components read as a picture format says, to the picture's R'G'B' and on to the
// screen's: the YCbCr matrix and range as one affine map, then, for HDR and wide-gamut pictures,
// the raster path's mapping through linear light (VideoColorMapping) in the shader's terms.
struct VideoGLColorConversion {
    // Column-major, for glUniformMatrix3fv: rgb = toRGB × components + offset.
    std::array<float, 9> toRGB{1, 0, 0, 0, 1, 0, 0, 0, 1};
    std::array<float, 3> offset{0, 0, 0};

    // 0: R'G'B' straight to the screen; 1: SDR gamma; 2: PQ; 3: HLG.
    int transfer = 0;
    bool tonesDown = false;
    // The tone curve's constants, in the PQ domain.
    float blackPQ = 0;
    float rangePQ = 1;
    float maxLum = 1;
    float kneeStart = 1;
    bool convertsPrimaries = false;
    // Column-major, linear light into BT.709.
    std::array<float, 9> primaries{1, 0, 0, 0, 1, 0, 0, 0, 1};

    static VideoGLColorConversion of(const CVPixelBuffer& buffer,
                                     const VideoGLPictureFormat& format);
};

}  // namespace platform
