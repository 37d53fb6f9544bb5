#include "media-player/decoders/subtitles/SubtitleTextStyle.h"

#include "platform/graphics/NSFontManager.h"

namespace quillon {

using namespace platform;

NSColor foregroundColor(const NSAttributeDictionary& attributes) {
    if (const auto* color = attributeValue<NSColor>(attributes, NSForegroundColorAttributeName)) {
        return *color;
    }
    return NSColor::blackColor();
}

NSFont font(const NSAttributeDictionary& attributes) {
    if (const auto* font = attributeValue<NSFont>(attributes, NSFontAttributeName)) {
        return *font;
    }
    return NSFont::fontWithNameOrSystemFont("Helvetica", 12);
}

NSFont SubtitleTextStyle::TextAttributes::font() const {
    return quillon::font(underlyingTextAttributes);
}

NSColor SubtitleTextStyle::TextAttributes::foregroundColor() const {
    return quillon::foregroundColor(underlyingTextAttributes);
}

void SubtitleTextStyle::TextAttributes::setFont(const NSFont& font) {
    const NSFontManager& fontManager = NSFontManager::sharedFontManager();
    NSFont converted = font;
    if ((fontTraits & NSBoldFontMask) == 0) {
        converted = fontManager.convertFontToNotHaveTrait(converted, NSBoldFontMask);
    }
    if ((fontTraits & NSItalicFontMask) == 0) {
        converted = fontManager.convertFontToNotHaveTrait(converted, NSItalicFontMask);
    }
    converted = fontManager.convertFont(converted, fontTraits);
    underlyingTextAttributes.insert_or_assign(NSFontAttributeName, std::move(converted));
}

void SubtitleTextStyle::apply(const SubtitleTextStyle& other) {
    if (!shouldRestrictOverridesToBasicAttributes) {
        *this = other;
        return;
    }
    textAttributes.fontTraits = other.textAttributes.fontTraits;
    textAttributes.setFont(textAttributes.font());
    for (const char* key : {NSUnderlineStyleAttributeName, NSStrikethroughStyleAttributeName}) {
        const auto found = other.textAttributes.underlyingTextAttributes.find(key);
        const std::int64_t value = found == other.textAttributes.underlyingTextAttributes.end()
                                       ? 0
                                       : found->second.integerValue().value_or(0);
        textAttributes.underlyingTextAttributes.insert_or_assign(key, value);
    }
    alignmentInContainer = other.alignmentInContainer;
    verticalAlignmentInContainer = other.verticalAlignmentInContainer;
    position = other.position;
}

}  // namespace quillon
