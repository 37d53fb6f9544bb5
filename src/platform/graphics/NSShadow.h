#pragma once

#include <optional>
#include <string>

#include "platform/graphics/CGGeometry.h"
#include "platform/graphics/NSColor.h"

namespace platform {

// The shadow drawn under text: displaced by shadowOffset (in the text's unflipped coordinates:
// positive height is up), blurred over shadowBlurRadius. Without a colour the text system uses
// black with alpha 1/3.
struct NSShadow {
    CGSize shadowOffset;
    CGFloat shadowBlurRadius = 0;
    std::optional<NSColor> shadowColor;

    std::string description() const;

    friend bool operator==(const NSShadow&, const NSShadow&) = default;
};

}  // namespace platform
