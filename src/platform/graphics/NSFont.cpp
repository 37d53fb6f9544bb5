#include "platform/graphics/NSFont.h"

#include <fmt/format.h>

#include "platform/graphics/FontDatabase.h"

namespace platform {

std::optional<NSFont> NSFont::fontWithName(std::string_view name, CGFloat size,
                                           const FontCollection* documentFonts) {
    auto face = detail::resolveFontName(name, documentFonts);
    if (!face) {
        return std::nullopt;
    }
    return NSFont(std::move(face->family), size, face->bold, face->italic);
}

std::optional<NSFont> NSFont::fontWithDescriptor(const NSFontDescriptor& descriptor, CGFloat size) {
    auto font = fontWithName(descriptor.name, size != 0 ? size : descriptor.pointSize);
    if (font) {
        font->bold_ = font->bold_ || (descriptor.symbolicTraits & NSFontDescriptorTraitBold) != 0;
        font->italic_ =
            font->italic_ || (descriptor.symbolicTraits & NSFontDescriptorTraitItalic) != 0;
    }
    return font;
}

NSFont NSFont::systemFontOfSize(CGFloat size) {
    auto face = detail::systemFontFace();
    return NSFont(std::move(face.family), size, face.bold, face.italic);
}

NSFont NSFont::boldSystemFontOfSize(CGFloat size) {
    auto face = detail::systemFontFace();
    return NSFont(std::move(face.family), size, true, face.italic);
}

NSFont NSFont::userFixedPitchFontOfSize(CGFloat size) {
    auto face = detail::fixedPitchFontFace();
    return NSFont(std::move(face.family), size, face.bold, face.italic);
}

NSFont NSFont::fontWithNameOrSystemFont(std::string_view name, CGFloat size) {
    if (auto font = fontWithName(name, size)) {
        return std::move(*font);
    }
    return systemFontOfSize(size);
}

std::string NSFont::fontName() const {
    if (bold_ && italic_) {
        return familyName_ + " Bold Italic";
    }
    if (bold_) {
        return familyName_ + " Bold";
    }
    if (italic_) {
        return familyName_ + " Italic";
    }
    return familyName_;
}

NSFontDescriptor NSFont::fontDescriptor() const {
    NSFontDescriptorSymbolicTraits traits = 0;
    if (bold_) {
        traits |= NSFontDescriptorTraitBold;
    }
    if (italic_) {
        traits |= NSFontDescriptorTraitItalic;
    }
    return {familyName_, pointSize_, traits};
}

std::string NSFont::description() const {
    return fmt::format("\"{}\" {:g}pt", fontName(), pointSize_);
}

}  // namespace platform
