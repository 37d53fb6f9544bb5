#pragma once

#include <cstdint>

namespace platform {

// Traits a font manager reports of a font, or is asked to add or remove.
using NSFontTraitMask = std::uint32_t;

inline constexpr NSFontTraitMask NSItalicFontMask = 0x00000001;
inline constexpr NSFontTraitMask NSBoldFontMask = 0x00000002;
// Only as the trait to convert to: remove bold.
inline constexpr NSFontTraitMask NSUnboldFontMask = 0x00000004;
inline constexpr NSFontTraitMask NSFixedPitchFontMask = 0x00000400;
// Only as the trait to convert to: remove italic.
inline constexpr NSFontTraitMask NSUnitalicFontMask = 0x01000000;

}  // namespace platform
