#include "platform/graphics/CGColorSpace.h"

#include <array>
#include <cstdint>

#include <fmt/format.h>

namespace platform {

namespace {

constexpr std::size_t iccHeaderSize = 128;
constexpr std::size_t iccColorSpaceOffset = 16;
constexpr std::size_t iccSignatureOffset = 36;

std::uint32_t readBigEndian32(const std::uint8_t* bytes) {
    return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
           (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]};
}

constexpr std::uint32_t signature(const char (&text)[5]) {
    return (std::uint32_t(static_cast<unsigned char>(text[0])) << 24) |
           (std::uint32_t(static_cast<unsigned char>(text[1])) << 16) |
           (std::uint32_t(static_cast<unsigned char>(text[2])) << 8) |
           std::uint32_t(static_cast<unsigned char>(text[3]));
}

CGColorSpaceModel modelOfICCColorSpace(std::uint32_t colorSpace) {
    switch (colorSpace) {
        case signature("RGB "):
            return kCGColorSpaceModelRGB;
        case signature("GRAY"):
            return kCGColorSpaceModelMonochrome;
        case signature("CMYK"):
            return kCGColorSpaceModelCMYK;
        case signature("Lab "):
            return kCGColorSpaceModelLab;
        default:
            return kCGColorSpaceModelUnknown;
    }
}

std::string_view modelName(CGColorSpaceModel model) {
    switch (model) {
        case kCGColorSpaceModelMonochrome:
            return "kCGColorSpaceModelMonochrome";
        case kCGColorSpaceModelRGB:
            return "kCGColorSpaceModelRGB";
        case kCGColorSpaceModelCMYK:
            return "kCGColorSpaceModelCMYK";
        case kCGColorSpaceModelLab:
            return "kCGColorSpaceModelLab";
        case kCGColorSpaceModelUnknown:
            break;
    }
    return "kCGColorSpaceModelUnknown";
}

bool sameData(const CFDataRef& a, const CFDataRef& b) {
    if (!a || !b) {
        return a == b;
    }
    return *a == *b;
}

}  // namespace

std::size_t CGColorSpace::numberOfComponents() const {
    switch (description_.model) {
        case kCGColorSpaceModelMonochrome:
            return 1;
        case kCGColorSpaceModelRGB:
        case kCGColorSpaceModelLab:
            return 3;
        case kCGColorSpaceModelCMYK:
            return 4;
        case kCGColorSpaceModelUnknown:
            break;
    }
    return 0;
}

bool CGColorSpace::isEqual(const CFObject& other) const {
    const auto* space = dynamic_cast<const CGColorSpace*>(&other);
    if (space == nullptr) {
        return false;
    }
    const Description& a = description_;
    const Description& b = space->description_;
    return a.model == b.model && a.name == b.name && sameData(a.iccData, b.iccData) &&
           a.videoParameters == b.videoParameters;
}

std::string CGColorSpace::description() const {
    std::string text = fmt::format("<CGColorSpace {}", modelName(description_.model));
    if (description_.name) {
        text += fmt::format("; {}", *description_.name);
    }
    if (description_.iccData) {
        text += fmt::format("; ICC profile of {} bytes", description_.iccData->size());
    }
    if (const auto& video = description_.videoParameters) {
        text += fmt::format("; {}, {}", video->colorPrimaries, video->transferFunction);
        if (video->yCbCrMatrix) {
            text += fmt::format(", {}", *video->yCbCrMatrix);
        }
        if (video->gammaLevel) {
            text += fmt::format(", gamma {}", *video->gammaLevel);
        }
    }
    return text + ">";
}

CGColorSpaceRef CGColorSpaceCreateWithName(const std::string& name) {
    static const std::array rgbNames = {
        &kCGColorSpaceSRGB,          &kCGColorSpaceLinearSRGB,       &kCGColorSpaceExtendedSRGB,
        &kCGColorSpaceGenericRGB,    &kCGColorSpaceGenericRGBLinear, &kCGColorSpaceDisplayP3,
        &kCGColorSpaceDCIP3,         &kCGColorSpaceITUR_709,         &kCGColorSpaceITUR_2020,
        &kCGColorSpaceITUR_2100_PQ,  &kCGColorSpaceITUR_2100_HLG,    &kCGColorSpaceDisplayP3_PQ,
        &kCGColorSpaceDisplayP3_HLG,
    };
    static const std::array grayNames = {&kCGColorSpaceGenericGray,
                                         &kCGColorSpaceGenericGrayGamma2_2};
    for (const std::string* known : rgbNames) {
        if (*known == name) {
            return std::make_shared<const CGColorSpace>(
                CGColorSpace::Description{kCGColorSpaceModelRGB, name, nullptr, std::nullopt});
        }
    }
    for (const std::string* known : grayNames) {
        if (*known == name) {
            return std::make_shared<const CGColorSpace>(CGColorSpace::Description{
                kCGColorSpaceModelMonochrome, name, nullptr, std::nullopt});
        }
    }
    return nullptr;
}

CGColorSpaceRef CGColorSpaceCreateDeviceRGB() {
    return std::make_shared<const CGColorSpace>(
        CGColorSpace::Description{kCGColorSpaceModelRGB, std::nullopt, nullptr, std::nullopt});
}

CGColorSpaceRef CGColorSpaceCreateDeviceGray() {
    return std::make_shared<const CGColorSpace>(CGColorSpace::Description{
        kCGColorSpaceModelMonochrome, std::nullopt, nullptr, std::nullopt});
}

CGColorSpaceRef CGColorSpaceCreateWithICCData(const CFDataRef& data) {
    if (!data || data->size() < iccHeaderSize) {
        return nullptr;
    }
    const std::uint8_t* bytes = data->data();
    if (readBigEndian32(bytes) != data->size() ||
        readBigEndian32(bytes + iccSignatureOffset) != signature("acsp")) {
        return nullptr;
    }
    const CGColorSpaceModel model =
        modelOfICCColorSpace(readBigEndian32(bytes + iccColorSpaceOffset));
    return std::make_shared<const CGColorSpace>(
        CGColorSpace::Description{model, std::nullopt, data, std::nullopt});
}

CGColorSpaceRef CGColorSpaceCreateWithVideoParameters(CGColorSpaceVideoParameters parameters) {
    return std::make_shared<const CGColorSpace>(CGColorSpace::Description{
        kCGColorSpaceModelRGB, std::nullopt, nullptr, std::move(parameters)});
}

CFDataRef CGColorSpaceCopyICCData(const CGColorSpaceRef& space) {
    return space ? space->iccData() : nullptr;
}

std::optional<std::string> CGColorSpaceGetName(const CGColorSpaceRef& space) {
    return space ? space->name() : std::nullopt;
}

CGColorSpaceModel CGColorSpaceGetModel(const CGColorSpaceRef& space) {
    return space ? space->model() : kCGColorSpaceModelUnknown;
}

std::size_t CGColorSpaceGetNumberOfComponents(const CGColorSpaceRef& space) {
    return space ? space->numberOfComponents() : 0;
}

bool CGColorSpaceEqualToColorSpace(const CGColorSpaceRef& a, const CGColorSpaceRef& b) {
    if (!a || !b) {
        return a == b;
    }
    return a->isEqual(*b);
}

}  // namespace platform
