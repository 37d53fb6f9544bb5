#pragma once

#include <optional>
#include <string_view>

#include "platform/graphics/NSFont.h"
#include "platform/graphics/NSFontTraitMask.h"

namespace platform {

// Converts fonts between faces, sizes and families. Stateless and thread-safe.
class NSFontManager {
public:
    static NSFontManager& sharedFontManager();

    // NSBoldFontMask and NSItalicFontMask as the font has them.
    NSFontTraitMask traitsOfFont(const NSFont& font) const;
    // Adds NSBoldFontMask / NSItalicFontMask, removes bold for NSUnboldFontMask and italic for
    // NSUnitalicFontMask; other bits are ignored.
    NSFont convertFont(const NSFont& font, NSFontTraitMask toHaveTrait) const;
    NSFont convertFontToHaveTrait(const NSFont& font, NSFontTraitMask trait) const {
        return convertFont(font, trait);
    }
    // Removes NSBoldFontMask / NSItalicFontMask; other bits are ignored.
    NSFont convertFontToNotHaveTrait(const NSFont& font, NSFontTraitMask trait) const;
    NSFont convertFontToSize(const NSFont& font, CGFloat size) const;
    // The same face and size in another family, or the font unchanged when the family is not
    // installed.
    NSFont convertFontToFace(const NSFont& font, std::string_view family) const;
};

}  // namespace platform
