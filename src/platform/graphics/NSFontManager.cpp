#include "platform/graphics/NSFontManager.h"

#include "platform/graphics/FontDatabase.h"

namespace platform {

NSFontManager& NSFontManager::sharedFontManager() {
    static NSFontManager manager;
    return manager;
}

NSFontTraitMask NSFontManager::traitsOfFont(const NSFont& font) const {
    NSFontTraitMask traits = 0;
    if (font.isBold()) {
        traits |= NSBoldFontMask;
    }
    if (font.isItalic()) {
        traits |= NSItalicFontMask;
    }
    return traits;
}

NSFont NSFontManager::convertFont(const NSFont& font, NSFontTraitMask toHaveTrait) const {
    NSFont converted = font;
    if (toHaveTrait & NSBoldFontMask) {
        converted.bold_ = true;
    }
    if (toHaveTrait & NSUnboldFontMask) {
        converted.bold_ = false;
    }
    if (toHaveTrait & NSItalicFontMask) {
        converted.italic_ = true;
    }
    if (toHaveTrait & NSUnitalicFontMask) {
        converted.italic_ = false;
    }
    return converted;
}

NSFont NSFontManager::convertFontToNotHaveTrait(const NSFont& font, NSFontTraitMask trait) const {
    NSFont converted = font;
    if (trait & NSBoldFontMask) {
        converted.bold_ = false;
    }
    if (trait & NSItalicFontMask) {
        converted.italic_ = false;
    }
    return converted;
}

NSFont NSFontManager::convertFontToSize(const NSFont& font, CGFloat size) const {
    NSFont converted = font;
    converted.pointSize_ = size;
    return converted;
}

NSFont NSFontManager::convertFontToFace(const NSFont& font, std::string_view family) const {
    auto installed = detail::installedFamilyName(family);
    if (!installed) {
        return font;
    }
    NSFont converted = font;
    converted.familyName_ = std::move(*installed);
    return converted;
}

}  // namespace platform
