#pragma once

#include <memory>

#include "platform/appkit/NSImage.h"
#include "platform/graphics/NSColor.h"

namespace quillon {

// The image with every painted pixel in `tintColor`, keeping the image's own coverage (alpha
// times the tint's alpha). Made through the guarded private-interface path; when that fails the
// failure is logged and null is returned, and callers use the image as it is.
std::shared_ptr<platform::NSImage> ql_imageByApplyingTintColor(
    const std::shared_ptr<const platform::NSImage>& image, const platform::NSColor& tintColor);

}  // namespace quillon
