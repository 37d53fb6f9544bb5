#include "media-player/decoders/common/HDRMetadata.h"

#include <array>
#include <limits>
#include <optional>
#include <vector>

#include "platform/corevideo/CVImageBuffer.h"
#include "platform/foundation/Log.h"

namespace quillon {

namespace {

constexpr double chromaticityScale = 50000;
constexpr double luminanceScale = 10000;

// num/den × scale, truncated toward zero, when it fits in T; none otherwise.
template <typename T>
std::optional<T> scaled(AVRational value, double scale) {
    if (value.den == 0) {
        return std::nullopt;
    }
    const double result = scale / value.den * value.num;
    // The negated comparison also turns away NaN.
    if (!(result >= 0.0) || result >= static_cast<double>(std::numeric_limits<T>::max()) + 1.0) {
        return std::nullopt;
    }
    return static_cast<T>(result);
}

template <typename T>
void putBigEndian(std::vector<std::uint8_t>& bytes, std::size_t offset, T value) {
    for (std::size_t index = 0; index < sizeof(T); ++index) {
        bytes[offset + index] = static_cast<std::uint8_t>(value >> (8 * (sizeof(T) - 1 - index)));
    }
}

void logUnencodable(const char* block, const char* field, AVRational value) {
    platform::logInfo("The {} is not attached: its {} ({}/{}) cannot be encoded.", block, field,
                      value.num, value.den);
}

constexpr const char* masteringBlockName = "mastering display colour volume";

}  // namespace

platform::CFDataRef makeMasteringDisplayColorVolumeData(
    const AVMasteringDisplayMetadata& metadata) {
    std::vector<std::uint8_t> bytes(masteringDisplayColorVolumeSize, 0);
    if (metadata.has_primaries) {
        // The block lists green, blue, red; FFmpeg keeps red, green, blue.
        struct Chromaticity {
            AVRational value;
            const char* name;
        };
        const std::array<Chromaticity, 8> chromaticities = {{
            {metadata.display_primaries[1][0], "green primary x"},
            {metadata.display_primaries[1][1], "green primary y"},
            {metadata.display_primaries[2][0], "blue primary x"},
            {metadata.display_primaries[2][1], "blue primary y"},
            {metadata.display_primaries[0][0], "red primary x"},
            {metadata.display_primaries[0][1], "red primary y"},
            {metadata.white_point[0], "white point x"},
            {metadata.white_point[1], "white point y"},
        }};
        for (std::size_t index = 0; index < chromaticities.size(); ++index) {
            const auto value =
                scaled<std::uint16_t>(chromaticities[index].value, chromaticityScale);
            if (!value) {
                logUnencodable(masteringBlockName, chromaticities[index].name,
                               chromaticities[index].value);
                return nullptr;
            }
            putBigEndian(bytes, 2 * index, *value);
        }
    }
    if (metadata.has_luminance) {
        const auto maximum = scaled<std::uint32_t>(metadata.max_luminance, luminanceScale);
        if (!maximum) {
            logUnencodable(masteringBlockName, "maximum luminance", metadata.max_luminance);
            return nullptr;
        }
        const auto minimum = scaled<std::uint32_t>(metadata.min_luminance, luminanceScale);
        if (!minimum) {
            logUnencodable(masteringBlockName, "minimum luminance", metadata.min_luminance);
            return nullptr;
        }
        putBigEndian(bytes, 16, *maximum);
        putBigEndian(bytes, 20, *minimum);
    }
    return platform::CFDataCreate(bytes);
}

platform::CFDataRef makeContentLightLevelInfoData(unsigned maxCLL, unsigned maxFALL) {
    constexpr unsigned limit = std::numeric_limits<std::uint16_t>::max();
    if (maxCLL > limit || maxFALL > limit) {
        platform::logInfo(
            "The content light level is not attached: MaxCLL {} or MaxFALL {} cannot be encoded.",
            maxCLL, maxFALL);
        return nullptr;
    }
    std::vector<std::uint8_t> bytes(contentLightLevelInfoSize, 0);
    putBigEndian(bytes, 0, static_cast<std::uint16_t>(maxCLL));
    putBigEndian(bytes, 2, static_cast<std::uint16_t>(maxFALL));
    return platform::CFDataCreate(bytes);
}

void attachHDRMetadata(const platform::CVBufferRef& buffer,
                       const platform::CFDataRef& masteringDisplayColorVolume,
                       const platform::CFDataRef& contentLightLevelInfo) {
    const auto attach = [&buffer](const std::string& key, const platform::CFDataRef& data) {
        if (data) {
            platform::CVBufferSetAttachment(buffer, key, data,
                                            platform::kCVAttachmentMode_ShouldPropagate);
        } else {
            platform::CVBufferRemoveAttachment(buffer, key);
        }
    };
    attach(platform::kCVImageBufferMasteringDisplayColorVolumeKey, masteringDisplayColorVolume);
    attach(platform::kCVImageBufferContentLightLevelInfoKey, contentLightLevelInfo);
}

}  // namespace quillon
