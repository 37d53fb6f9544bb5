#include "media-player/decoders/common/PixelFormats.h"

#include <array>

extern "C" {
#include <libavutil/pixdesc.h>
}

#include "platform/corevideo/CVPixelFormatDescription.h"
#include "platform/corevideo/CVPixelFormatType.h"
#include "platform/foundation/NeverDestroyed.h"

namespace quillon {

using namespace platform;

namespace {

// The tables are read by decoder threads that may still run while the process exits, so they
// are never destroyed.
template <typename Make>
const auto& neverDestroyedTable(Make make) {
    static platform::NeverDestroyed<decltype(make())> table(make());
    return table.get();
}

constexpr std::array<PixelFormatRow, 13> rows{{
    {kCVPixelFormatType_24RGB, AV_PIX_FMT_RGB24, AVCOL_RANGE_UNSPECIFIED},
    {kCVPixelFormatType_32ARGB, AV_PIX_FMT_ARGB, AVCOL_RANGE_UNSPECIFIED},
    {kCVPixelFormatType_32BGRA, AV_PIX_FMT_BGRA, AVCOL_RANGE_UNSPECIFIED},
    {kCVPixelFormatType_422YpCbCr8, AV_PIX_FMT_UYVY422, AVCOL_RANGE_MPEG},
    {kCVPixelFormatType_4444AYpCbCr16, AV_PIX_FMT_AYUV64LE, AVCOL_RANGE_MPEG},
    {kCVPixelFormatType_420YpCbCr8Planar, AV_PIX_FMT_YUV420P, AVCOL_RANGE_MPEG},
    {kCVPixelFormatType_420YpCbCr8PlanarFullRange, AV_PIX_FMT_YUV420P, AVCOL_RANGE_JPEG},
    {kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange, AV_PIX_FMT_NV12, AVCOL_RANGE_MPEG},
    {kCVPixelFormatType_420YpCbCr8BiPlanarFullRange, AV_PIX_FMT_NV12, AVCOL_RANGE_JPEG},
    {kCVPixelFormatType_422YpCbCr8_yuvs, AV_PIX_FMT_YUYV422, AVCOL_RANGE_MPEG},
    {kCVPixelFormatType_422YpCbCr8FullRange, AV_PIX_FMT_YUYV422, AVCOL_RANGE_JPEG},
    {kCVPixelFormatType_420YpCbCr10BiPlanarVideoRange, AV_PIX_FMT_P010LE, AVCOL_RANGE_MPEG},
    {kCVPixelFormatType_420YpCbCr10BiPlanarFullRange, AV_PIX_FMT_P010LE, AVCOL_RANGE_JPEG},
}};

// In this order; the order decides only which FFmpeg formats the preference list adds after
// its fixed head.
constexpr std::array<OSType, 29> supportedFormatsInOrder{
    kCVPixelFormatType_24RGB,
    kCVPixelFormatType_32ARGB,
    kCVPixelFormatType_32BGRA,
    kCVPixelFormatType_64ARGB,
    kCVPixelFormatType_30RGB,
    kCVPixelFormatType_422YpCbCr8,
    kCVPixelFormatType_4444YpCbCrA8,
    kCVPixelFormatType_4444YpCbCrA8R,
    kCVPixelFormatType_4444AYpCbCr8,
    kCVPixelFormatType_422YpCbCr16,
    kCVPixelFormatType_422YpCbCr10,
    kCVPixelFormatType_444YpCbCr10,
    kCVPixelFormatType_420YpCbCr8Planar,
    kCVPixelFormatType_420YpCbCr8PlanarFullRange,
    kCVPixelFormatType_422YpCbCr_4A_8BiPlanar,
    kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange,
    kCVPixelFormatType_420YpCbCr8BiPlanarFullRange,
    kCVPixelFormatType_422YpCbCr8_yuvs,
    kCVPixelFormatType_422YpCbCr8FullRange,
    kCVPixelFormatType_OneComponent8,
    kCVPixelFormatType_OneComponent16Half,
    kCVPixelFormatType_OneComponent32Float,
    kCVPixelFormatType_64RGBAHalf,
    kCVPixelFormatType_128RGBAFloat,
    kCVPixelFormatType_420YpCbCr10BiPlanarVideoRange,
    kCVPixelFormatType_422YpCbCr10BiPlanarVideoRange,
    kCVPixelFormatType_420YpCbCr10BiPlanarFullRange,
    kCVPixelFormatType_422YpCbCr10BiPlanarFullRange,
    kCVPixelFormatType_420YpCbCr8VideoRange_8A_TriPlanar,
};

}  // namespace

std::span<const PixelFormatRow> pixelFormatRows() {
    return rows;
}

const std::map<OSType, std::pair<AVPixelFormat, AVColorRange>>& coreVideoToFFmpegPixelFormatMap() {
    static const auto& map = neverDestroyedTable([] {
        std::map<OSType, std::pair<AVPixelFormat, AVColorRange>> result;
        for (const PixelFormatRow& row : rows) {
            result[row.coreVideoPixelFormat] = {row.ffmpegPixelFormat, row.colorRange};
        }
        return result;
    });
    return map;
}

const std::map<AVPixelFormat, std::map<AVColorRange, OSType>>& ffmpegToCoreVideoPixelFormatMap() {
    static const auto& map = neverDestroyedTable([] {
        std::map<AVPixelFormat, std::map<AVColorRange, OSType>> result;
        for (const PixelFormatRow& row : rows) {
            auto& ranges = result[row.ffmpegPixelFormat];
            ranges[row.colorRange] = row.coreVideoPixelFormat;
            if (row.colorRange == AVCOL_RANGE_MPEG) {
                ranges[AVCOL_RANGE_UNSPECIFIED] = row.coreVideoPixelFormat;
            }
        }
        return result;
    });
    return map;
}

const std::set<OSType>& supportedCoreVideoPixelFormats() {
    static const auto& set = neverDestroyedTable([] {
        return std::set<OSType>(supportedFormatsInOrder.begin(), supportedFormatsInOrder.end());
    });
    return set;
}

const std::set<OSType>& blacklistedPixelFormats() {
    static const auto& set = neverDestroyedTable([] {
        return std::set<OSType>{kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange,
                                kCVPixelFormatType_420YpCbCr8BiPlanarFullRange};
    });
    return set;
}

OSType replacementPixelFormatForBlacklistedPixelFormats() {
    return kCVPixelFormatType_32BGRA;
}

const std::vector<AVPixelFormat>& preferredFFmpegPixelFormats() {
    static const auto& list = neverDestroyedTable([] {
        std::vector<AVPixelFormat> result;
        std::set<AVPixelFormat> seen;
        const auto& map = coreVideoToFFmpegPixelFormatMap();
        auto add = [&](OSType code) {
            if (auto it = map.find(code); it != map.end() && seen.insert(it->second.first).second) {
                result.push_back(it->second.first);
            }
        };
        for (OSType code :
             {kCVPixelFormatType_420YpCbCr10BiPlanarVideoRange,
              kCVPixelFormatType_420YpCbCr10BiPlanarFullRange, kCVPixelFormatType_32BGRA,
              kCVPixelFormatType_422YpCbCr8, kCVPixelFormatType_422YpCbCr8FullRange}) {
            add(code);
        }
        for (OSType code : supportedFormatsInOrder) {
            if (blacklistedPixelFormats().count(code) == 0) {
                add(code);
            }
        }
        for (OSType code : blacklistedPixelFormats()) {
            add(code);
        }
        return result;
    });
    return list;
}

const std::map<OSType, PixelFormatDescriptor>& pixelFormatDescriptors() {
    static const auto& table = neverDestroyedTable([] {
        std::map<OSType, PixelFormatDescriptor> result;
        for (OSType code : CVPixelFormatDescriptionArrayCreateWithAllPixelFormatTypes()) {
            if (CFDictionaryRef description =
                    CVPixelFormatDescriptionCreateWithPixelFormatType(code)) {
                if (auto isYCbCr = description->boolValue(kCVPixelFormatContainsYCbCr)) {
                    result[code] = PixelFormatDescriptor{*isYCbCr};
                }
            }
        }
        return result;
    });
    return table;
}

std::optional<OSType> coreVideoPixelFormat(AVPixelFormat format, AVColorRange colorRange) {
    const auto& map = ffmpegToCoreVideoPixelFormatMap();
    const auto ranges = map.find(format);
    if (ranges == map.end()) {
        return std::nullopt;
    }
    const auto code = ranges->second.find(colorRange);
    if (code == ranges->second.end() || supportedCoreVideoPixelFormats().count(code->second) == 0) {
        return std::nullopt;
    }
    return code->second;
}

std::pair<OSType, AVPixelFormat> fallbackPixelFormat(AVPixelFormat format,
                                                     AVColorRange colorRange) {
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    const bool fullRange = colorRange == AVCOL_RANGE_JPEG;
    const bool isYCbCr = descriptor != nullptr && descriptor->nb_components > 1 &&
                         (descriptor->flags & AV_PIX_FMT_FLAG_RGB) == 0;
    if (!isYCbCr) {
        return {kCVPixelFormatType_32BGRA, AV_PIX_FMT_BGRA};
    }
    if (descriptor->comp[0].depth < 9) {
        return fullRange ? std::pair{kCVPixelFormatType_422YpCbCr8FullRange, AV_PIX_FMT_YUYV422}
                         : std::pair{kCVPixelFormatType_422YpCbCr8, AV_PIX_FMT_UYVY422};
    }
    return {fullRange ? kCVPixelFormatType_420YpCbCr10BiPlanarFullRange
                      : kCVPixelFormatType_420YpCbCr10BiPlanarVideoRange,
            AV_PIX_FMT_P010LE};
}

}  // namespace quillon
