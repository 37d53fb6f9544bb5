#include "platform/video-output/VideoGLPictureFormat.h"

extern "C" {
#include <libswscale/swscale.h>
}

#include "platform/videotoolbox/SwscaleFormat.h"

namespace platform {

namespace {

using TexelFormat = VideoGLPictureFormat::TexelFormat;

constexpr std::array<float, 4> kFirst{1, 0, 0, 0};
constexpr std::array<float, 4> kSecond{0, 1, 0, 0};
constexpr std::array<float, 4> kThird{0, 0, 1, 0};
constexpr std::array<float, 4> kFourth{0, 0, 0, 1};

int planeWidth(const CVPixelBuffer& buffer, std::size_t plane) {
    return static_cast<int>(buffer.geometry().planes[plane].width);
}

int planeHeight(const CVPixelBuffer& buffer, std::size_t plane) {
    return static_cast<int>(buffer.geometry().planes[plane].height);
}

VideoGLPictureFormat::Texture texture(const CVPixelBuffer& buffer, std::size_t plane,
                                      TexelFormat format, int widthDivisor = 1) {
    return {plane, format, (planeWidth(buffer, plane) + widthDivisor - 1) / widthDivisor,
            planeHeight(buffer, plane)};
}

// Kr and Kb of the matrix that libswscale would use for the buffer, so that both paths agree on
// untagged pictures too.
std::array<double, 2> lumaWeights(const CVPixelBuffer& buffer) {
    switch (swscaleColorspace(buffer)) {
        case SWS_CS_ITU709:
            return {0.2126, 0.0722};
        case SWS_CS_FCC:
            return {0.30, 0.11};
        case SWS_CS_SMPTE240M:
            return {0.212, 0.087};
        case SWS_CS_BT2020:
            return {0.2627, 0.0593};
        default:
            return {0.299, 0.114};
    }
}

}  // namespace

int VideoGLPictureFormat::Texture::bytesPerTexel() const {
    switch (texelFormat) {
        case TexelFormat::r8:
            return 1;
        case TexelFormat::rg8:
        case TexelFormat::r16:
            return 2;
        case TexelFormat::rgb8:
            return 3;
        case TexelFormat::rgba8:
        case TexelFormat::bgra8:
        case TexelFormat::rg16:
            return 4;
        case TexelFormat::rgba16:
            return 8;
    }
    return 1;
}

std::optional<VideoGLPictureFormat> VideoGLPictureFormat::of(const CVPixelBuffer& buffer) {
    VideoGLPictureFormat format;
    const CVPixelFormatLayout* layout = buffer.geometry().layout;
    format.fullRange =
        layout == nullptr || layout->componentRange != CVPixelFormatComponentRange::video;
    auto yuv = [&format](int textures, std::array<int, 3> sources,
                         std::array<std::array<float, 4>, 3> selectors) {
        format.isYCbCr = true;
        format.textureCount = textures;
        format.componentTexture = sources;
        format.componentSelector = selectors;
    };
    auto rgb = [&format](std::array<std::array<float, 4>, 3> selectors) {
        format.textureCount = 1;
        format.componentTexture = {0, 0, 0};
        format.componentSelector = selectors;
    };
    switch (buffer.pixelFormatType()) {
        case kCVPixelFormatType_420YpCbCr8Planar:
        case kCVPixelFormatType_420YpCbCr8PlanarFullRange:
            format.textures = {texture(buffer, 0, TexelFormat::r8),
                               texture(buffer, 1, TexelFormat::r8),
                               texture(buffer, 2, TexelFormat::r8)};
            yuv(3, {0, 1, 2}, {kFirst, kFirst, kFirst});
            break;
        case kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange:
        case kCVPixelFormatType_420YpCbCr8BiPlanarFullRange:
            format.textures = {texture(buffer, 0, TexelFormat::r8),
                               texture(buffer, 1, TexelFormat::rg8)};
            yuv(2, {0, 1, 1}, {kFirst, kFirst, kSecond});
            break;
        case kCVPixelFormatType_420YpCbCr10BiPlanarVideoRange:
        case kCVPixelFormatType_420YpCbCr10BiPlanarFullRange:
        case kCVPixelFormatType_422YpCbCr10BiPlanarVideoRange:
        case kCVPixelFormatType_422YpCbCr10BiPlanarFullRange:
            // Ten bits at the top of sixteen.
            format.textures = {texture(buffer, 0, TexelFormat::r16),
                               texture(buffer, 1, TexelFormat::rg16)};
            yuv(2, {0, 1, 1}, {kFirst, kFirst, kSecond});
            format.bits = 10;
            format.codeScale = 65535.0F / 64;
            break;
        case kCVPixelFormatType_422YpCbCr8:
            // U Y V Y: every two-byte texel holds a luma sample second; every four-byte texel
            // holds the pair's Cb first and Cr third.
            format.textures = {texture(buffer, 0, TexelFormat::rg8),
                               texture(buffer, 0, TexelFormat::rgba8, 2)};
            yuv(2, {0, 1, 1}, {kSecond, kFirst, kThird});
            break;
        case kCVPixelFormatType_422YpCbCr8_yuvs:
        case kCVPixelFormatType_422YpCbCr8FullRange:
            // Y U Y V.
            format.textures = {texture(buffer, 0, TexelFormat::rg8),
                               texture(buffer, 0, TexelFormat::rgba8, 2)};
            yuv(2, {0, 1, 1}, {kFirst, kSecond, kFourth});
            break;
        case kCVPixelFormatType_4444AYpCbCr16:
            format.textures = {texture(buffer, 0, TexelFormat::rgba16)};
            yuv(1, {0, 0, 0}, {kSecond, kThird, kFourth});
            format.bits = 16;
            format.codeScale = 65535;
            break;
        case kCVPixelFormatType_32BGRA:
            format.textures = {texture(buffer, 0, TexelFormat::bgra8)};
            rgb({kFirst, kSecond, kThird});
            break;
        case kCVPixelFormatType_32ARGB:
            format.textures = {texture(buffer, 0, TexelFormat::rgba8)};
            rgb({kSecond, kThird, kFourth});
            break;
        case kCVPixelFormatType_24RGB:
            format.textures = {texture(buffer, 0, TexelFormat::rgb8)};
            rgb({kFirst, kSecond, kThird});
            break;
        case kCVPixelFormatType_OneComponent8:
            format.textures = {texture(buffer, 0, TexelFormat::r8)};
            rgb({kFirst, kFirst, kFirst});
            break;
        default:
            return std::nullopt;
    }
    return format;
}

VideoGLColorConversion VideoGLColorConversion::of(const CVPixelBuffer& buffer,
                                                  const VideoGLPictureFormat& format) {
    VideoGLColorConversion conversion;
    if (format.isYCbCr) {
        const double step = static_cast<double>(1 << (format.bits - 8));
        double lumaScale = 0;
        double lumaOffset = 0;
        double chromaScale = 0;
        double chromaOffset = 0;
        if (format.fullRange) {
            const double top = static_cast<double>((1 << format.bits) - 1);
            lumaScale = chromaScale = format.codeScale / top;
            chromaOffset = -128 * step / top;
        } else {
            lumaScale = format.codeScale / (219 * step);
            lumaOffset = -16 / 219.0;
            chromaScale = format.codeScale / (224 * step);
            chromaOffset = -128 / 224.0;
        }
        const auto [kr, kb] = lumaWeights(buffer);
        const double kg = 1 - kr - kb;
        // Rows R, G, B; columns Y', Cb, Cr.
        const std::array<double, 9> matrix = {1,
                                              0,
                                              2 * (1 - kr),
                                              1,
                                              -2 * kb * (1 - kb) / kg,
                                              -2 * kr * (1 - kr) / kg,
                                              1,
                                              2 * (1 - kb),
                                              0};
        for (int row = 0; row < 3; ++row) {
            const double* m = matrix.data() + 3 * row;
            conversion.toRGB[0 * 3 + row] = static_cast<float>(m[0] * lumaScale);
            conversion.toRGB[1 * 3 + row] = static_cast<float>(m[1] * chromaScale);
            conversion.toRGB[2 * 3 + row] = static_cast<float>(m[2] * chromaScale);
            conversion.offset[row] =
                static_cast<float>(m[0] * lumaOffset + (m[1] + m[2]) * chromaOffset);
        }
    }

    const VideoColorDescription colors = VideoColorDescription::of(buffer);
    if (!colors.needsMapping()) {
        return conversion;
    }
    using Transfer = VideoColorDescription::Transfer;
    switch (colors.transfer) {
        case Transfer::sdr:
            conversion.transfer = 1;
            break;
        case Transfer::pq:
            conversion.transfer = 2;
            break;
        case Transfer::hlg:
            conversion.transfer = 3;
            break;
    }
    const double peak = VideoColorMapping::contentPeak(colors);
    if (colors.transfer != Transfer::sdr && peak > VideoColorMapping::kSDRPeak) {
        const double black = colors.transfer == Transfer::pq ? colors.masteringBlack : 0;
        const double blackPQ = VideoColorMapping::luminanceToPQ(black);
        const double range = VideoColorMapping::luminanceToPQ(peak) - blackPQ;
        const double maxLum =
            (VideoColorMapping::luminanceToPQ(VideoColorMapping::kSDRPeak) - blackPQ) / range;
        conversion.tonesDown = true;
        conversion.blackPQ = static_cast<float>(blackPQ);
        conversion.rangePQ = static_cast<float>(range);
        conversion.maxLum = static_cast<float>(maxLum);
        conversion.kneeStart = static_cast<float>(1.5 * maxLum - 0.5);
    }
    if (colors.primaries != VideoColorDescription::Primaries::bt709) {
        conversion.convertsPrimaries = true;
        const std::array<float, 9> rows = VideoColorMapping::matrixToBT709(colors.primaries);
        for (int row = 0; row < 3; ++row) {
            for (int column = 0; column < 3; ++column) {
                conversion.primaries[column * 3 + row] = rows[row * 3 + column];
            }
        }
    }
    return conversion;
}

}  // namespace platform
