#include "platform/corevideo/CVPixelFormatDescription.h"

#include <algorithm>

#include "platform/corevideo/CVPixelFormatLayout.h"

namespace platform {

namespace {

void addPlaneKeys(CFDictionary& dictionary, const CVPixelFormatPlaneLayout& plane,
                  std::uint32_t blockHorizontalAlignment) {
    dictionary.set(kCVPixelFormatBitsPerBlock, std::int64_t{plane.bitsPerBlock});
    dictionary.set(kCVPixelFormatBlockWidth, std::int64_t{plane.blockWidth});
    dictionary.set(kCVPixelFormatBlockHeight, std::int64_t{1});
    dictionary.set(kCVPixelFormatHorizontalSubsampling, std::int64_t{plane.horizontalSubsampling});
    dictionary.set(kCVPixelFormatVerticalSubsampling, std::int64_t{plane.verticalSubsampling});
    if (blockHorizontalAlignment > 1) {
        dictionary.set(kCVPixelFormatBlockHorizontalAlignment,
                       std::int64_t{blockHorizontalAlignment});
    }
}

CFDictionaryRef makeDescription(const CVPixelFormatLayout& layout) {
    CFDictionary description;
    description.set(kCVPixelFormatName, std::string(layout.constantName));
    description.set(kCVPixelFormatConstant, std::int64_t{layout.pixelFormat});
    description.set(kCVPixelFormatFourCC, fourCharCodeString(layout.pixelFormat));
    description.set(kCVPixelFormatContainsRGB, layout.containsRGB);
    description.set(kCVPixelFormatContainsYCbCr, layout.containsYCbCr);
    description.set(kCVPixelFormatContainsAlpha, layout.containsAlpha);
    if (layout.containsGrayscale) {
        description.set(kCVPixelFormatContainsGrayscale, true);
    }
    switch (layout.componentRange) {
        case CVPixelFormatComponentRange::video:
            description.set(kCVPixelFormatComponentRange, kCVPixelFormatComponentRange_VideoRange);
            break;
        case CVPixelFormatComponentRange::full:
            description.set(kCVPixelFormatComponentRange, kCVPixelFormatComponentRange_FullRange);
            break;
        case CVPixelFormatComponentRange::none:
            break;
    }
    if (layout.planar) {
        std::vector<CFDictionaryRef> planes;
        for (const CVPixelFormatPlaneLayout& plane : layout.planes) {
            CFDictionary planeDescription;
            addPlaneKeys(planeDescription, plane, layout.blockHorizontalAlignment);
            planes.push_back(std::make_shared<const CFDictionary>(std::move(planeDescription)));
        }
        description.set(
            kCVPixelFormatPlanes,
            CFObjectRef(std::make_shared<const CVPixelFormatPlaneArray>(std::move(planes))));
    } else {
        addPlaneKeys(description, layout.planes.front(), layout.blockHorizontalAlignment);
    }
    return std::make_shared<const CFDictionary>(std::move(description));
}

}  // namespace

bool CVPixelFormatPlaneArray::isEqual(const CFObject& other) const {
    const auto* array = dynamic_cast<const CVPixelFormatPlaneArray*>(&other);
    if (array == nullptr || array->planes_.size() != planes_.size()) {
        return false;
    }
    return std::equal(planes_.begin(), planes_.end(), array->planes_.begin(),
                      [](const CFDictionaryRef& a, const CFDictionaryRef& b) {
                          return a && b ? *a == *b : a == b;
                      });
}

std::string CVPixelFormatPlaneArray::description() const {
    std::string text = "(";
    for (std::size_t i = 0; i < planes_.size(); ++i) {
        text += (i == 0 ? "" : ", ") + (planes_[i] ? planes_[i]->description() : "null");
    }
    return text + ")";
}

std::vector<OSType> CVPixelFormatDescriptionArrayCreateWithAllPixelFormatTypes() {
    std::vector<OSType> codes;
    for (const CVPixelFormatLayout& layout : CVPixelFormatLayouts()) {
        codes.push_back(layout.pixelFormat);
    }
    return codes;
}

CFDictionaryRef CVPixelFormatDescriptionCreateWithPixelFormatType(OSType pixelFormat) {
    const CVPixelFormatLayout* layout = CVPixelFormatLayoutForType(pixelFormat);
    return layout ? makeDescription(*layout) : nullptr;
}

std::vector<CFDictionaryRef> CVPixelFormatDescriptionGetPlanes(const CFDictionaryRef& description) {
    if (!description) {
        return {};
    }
    if (auto planes = description->objectValue<CVPixelFormatPlaneArray>(kCVPixelFormatPlanes)) {
        return planes->planes();
    }
    return {description};
}

}  // namespace platform
