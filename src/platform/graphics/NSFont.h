#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/graphics/CGGeometry.h"
#include "platform/graphics/NSFontDescriptor.h"

namespace platform {

class FontCollection;

// A font: an installed family at a point size, regular or with the bold and/or italic trait.
// A plain value, equal when family, size and traits are.
//
// Fonts are looked up in Qt's font database, which exists only while a QGuiApplication does:
// the application creates one before anything asks for a font (tests create one on the
// offscreen platform). Asking without one stops the process. Safe to use from any thread.
//
// The bold and italic traits are kept even when a family has no such face: the text system
// then synthesizes them, as Qt does, rather than silently dropping the user's choice.
class NSFont {
public:
    // The font of an installed family, or nullopt when the system has no such family. The name
    // is a family ("DejaVu Sans", any case), or a family followed by a style after a space or a
    // hyphen ("DejaVu Sans Bold", "DejaVu Sans-BoldOblique"), as fontName() spells it. The
    // fonts a document brings are found only through its `documentFonts`, which come first;
    // there a face's full or PostScript name names a font too.
    static std::optional<NSFont> fontWithName(std::string_view name, CGFloat size,
                                              const FontCollection* documentFonts = nullptr);
    // The descriptor's font at `size`, or at the descriptor's size when `size` is 0; nullopt
    // when its family is not installed.
    static std::optional<NSFont> fontWithDescriptor(const NSFontDescriptor& descriptor,
                                                    CGFloat size);
    // The desktop's user-interface font.
    static NSFont systemFontOfSize(CGFloat size);
    static NSFont boldSystemFontOfSize(CGFloat size);
    // The desktop's monospaced font.
    static NSFont userFixedPitchFontOfSize(CGFloat size);
    // The font of that name, else the system font: the fallback every subtitle style uses
    // ("Helvetica" is usually not installed on Linux, so the system font answers).
    static NSFont fontWithNameOrSystemFont(std::string_view name, CGFloat size);

    const std::string& familyName() const { return familyName_; }
    // The family followed by the face: "DejaVu Sans", "DejaVu Sans Bold Italic".
    std::string fontName() const;
    CGFloat pointSize() const { return pointSize_; }
    bool isBold() const { return bold_; }
    bool isItalic() const { return italic_; }
    NSFontDescriptor fontDescriptor() const;

    std::string description() const;

    friend bool operator==(const NSFont&, const NSFont&) = default;

private:
    friend class NSFontManager;
    NSFont(std::string familyName, CGFloat pointSize, bool bold, bool italic)
        : familyName_(std::move(familyName)), pointSize_(pointSize), bold_(bold), italic_(italic) {}

    std::string familyName_;
    CGFloat pointSize_ = 0;
    bool bold_ = false;
    bool italic_ = false;
};

}  // namespace platform
