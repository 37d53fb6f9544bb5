#pragma once

#include <cstdint>

#include "platform/graphics/NSColor.h"

namespace quillon {

// An ASS colour &HAABBGGRR as an sRGB colour; ASS alpha counts transparency (0 is opaque).
platform::NSColor assColor(std::uint32_t colour);

// An ASS alpha value 0...255 (0 opaque) as a colour alpha 0...1.
platform::CGFloat assAlpha(std::uint32_t alpha);

}  // namespace quillon
