#pragma once

#include <cstdint>
#include <string>

#include "platform/graphics/CGGeometry.h"

namespace platform {

using NSFontDescriptorSymbolicTraits = std::uint32_t;

inline constexpr NSFontDescriptorSymbolicTraits NSFontDescriptorTraitItalic = 1u << 0;
inline constexpr NSFontDescriptorSymbolicTraits NSFontDescriptorTraitBold = 1u << 1;

// What describes a font before it is looked up: a family (or a font name as NSFont::fontWithName
// takes it), a size (0: let the user of the descriptor choose) and the bold and italic traits.
struct NSFontDescriptor {
    std::string name;
    CGFloat pointSize = 0;
    NSFontDescriptorSymbolicTraits symbolicTraits = 0;

    static NSFontDescriptor fontDescriptorWithName(std::string name, CGFloat size) {
        return {std::move(name), size, 0};
    }

    friend bool operator==(const NSFontDescriptor&, const NSFontDescriptor&) = default;
};

}  // namespace platform
