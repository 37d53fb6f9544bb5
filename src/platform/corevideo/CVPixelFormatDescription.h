#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/corefoundation/CFBase.h"
#include "platform/corefoundation/CFDictionary.h"
#include "platform/corefoundation/CFObject.h"

namespace platform {

// Keys of a pixel-format description.
inline const std::string kCVPixelFormatName = "Name";
inline const std::string kCVPixelFormatConstant = "PixelFormat";
inline const std::string kCVPixelFormatFourCC = "FourCC";
inline const std::string kCVPixelFormatContainsAlpha = "ContainsAlpha";
inline const std::string kCVPixelFormatContainsYCbCr = "ContainsYCbCr";
inline const std::string kCVPixelFormatContainsRGB = "ContainsRGB";
inline const std::string kCVPixelFormatContainsGrayscale = "ContainsGrayscale";
inline const std::string kCVPixelFormatComponentRange = "ComponentRange";
inline const std::string kCVPixelFormatComponentRange_VideoRange = "VideoRange";
inline const std::string kCVPixelFormatComponentRange_FullRange = "FullRange";
// The per-plane descriptions of a planar format (a CVPixelFormatPlaneArray). A format with one
// plane carries the plane keys below at the top level instead.
inline const std::string kCVPixelFormatPlanes = "Planes";
inline const std::string kCVPixelFormatBlockWidth = "BlockWidth";
inline const std::string kCVPixelFormatBlockHeight = "BlockHeight";
inline const std::string kCVPixelFormatBitsPerBlock = "BitsPerBlock";
inline const std::string kCVPixelFormatBlockHorizontalAlignment = "BlockHorizontalAlignment";
inline const std::string kCVPixelFormatBlockVerticalAlignment = "BlockVerticalAlignment";
inline const std::string kCVPixelFormatHorizontalSubsampling = "HorizontalSubsampling";
inline const std::string kCVPixelFormatVerticalSubsampling = "VerticalSubsampling";

// An ordered list of plane descriptions, the value of kCVPixelFormatPlanes.
class CVPixelFormatPlaneArray final : public CFObject {
public:
    explicit CVPixelFormatPlaneArray(std::vector<CFDictionaryRef> planes)
        : planes_(std::move(planes)) {}

    const std::vector<CFDictionaryRef>& planes() const { return planes_; }

    bool isEqual(const CFObject& other) const override;
    std::string description() const override;

private:
    std::vector<CFDictionaryRef> planes_;
};

// The codes of every pixel format that has a description.
std::vector<OSType> CVPixelFormatDescriptionArrayCreateWithAllPixelFormatTypes();
// Null for an unknown code.
CFDictionaryRef CVPixelFormatDescriptionCreateWithPixelFormatType(OSType pixelFormat);
// The plane descriptions of a format description: those of kCVPixelFormatPlanes, or the
// description itself for a format with one plane.
std::vector<CFDictionaryRef> CVPixelFormatDescriptionGetPlanes(const CFDictionaryRef& description);

}  // namespace platform
