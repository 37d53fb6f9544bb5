#pragma once

#include <optional>

#include "platform/graphics/CGGeometry.h"
#include "platform/graphics/NSAttributeDictionary.h"
#include "platform/graphics/NSColor.h"
#include "platform/graphics/NSEdgeInsets.h"
#include "platform/graphics/NSFont.h"
#include "platform/graphics/NSFontTraitMask.h"

namespace quillon {

// How subtitle text looks and where it goes: the text's attributes, the box drawn behind it, its
// distance from the picture's edges, its alignment, and how it scales with the picture.
struct SubtitleTextStyle {
    struct TextAttributes {
        // Font, kern, foreground, background and stroke colours, stroke width, shadow, underline
        // and strikethrough styles.
        platform::NSAttributeDictionary underlyingTextAttributes;
        // The bold and italic traits the font must have.
        platform::NSFontTraitMask fontTraits = 0;

        // The font attribute, else "Helvetica" at 12 points, else the system font at 12 points.
        platform::NSFont font() const;
        // The foreground colour attribute, else black.
        platform::NSColor foregroundColor() const;

        // Makes `font`, with exactly the bold and italic of fontTraits, the font attribute.
        void setFont(const platform::NSFont& font);

        friend bool operator==(const TextAttributes&, const TextAttributes&) = default;
    };

    // The box behind the text.
    struct OverlayStyle {
        // Horizontal and vertical padding around the text.
        platform::CGSize insets;
        platform::CGFloat cornerRadius = 0;
        platform::NSColor backgroundColor = platform::NSColor::clearColor();

        friend bool operator==(const OverlayStyle&, const OverlayStyle&) = default;
    };

    enum class Alignment { left, center, right };
    enum class VerticalAlignment { bottom, middle, top };

    // A point of the script's canvas (canvasSize, stretched to the picture) where the box goes;
    // the alignments say which of its corners or edge midpoints sits there.
    struct Position {
        platform::CGPoint point;
        platform::CGSize canvasSize;

        friend bool operator==(const Position&, const Position&) = default;
    };

    // The text is laid out for a font size of initialBaseFontSize, then scaled so that this size
    // becomes baseFontSizePercentageRelativeToVideoHeight per cent of the picture height, times
    // additionalFontSizeMultiplier.
    struct ScalingInfo {
        platform::CGFloat initialBaseFontSize = 0;
        platform::CGFloat baseFontSizePercentageRelativeToVideoHeight = 0;
        platform::CGFloat additionalFontSizeMultiplier = 1;

        friend bool operator==(const ScalingInfo&, const ScalingInfo&) = default;
    };

    TextAttributes textAttributes;
    OverlayStyle overlayStyle;
    // Distance of the text from the picture's edges, in the style's units.
    platform::NSEdgeInsets containerInsets;
    Alignment alignmentInContainer = Alignment::center;
    // Where in the picture's height the box goes; absent, the subtitles view decides (the bottom
    // for the primary subtitles, the top for the secondary ones).
    std::optional<VerticalAlignment> verticalAlignmentInContainer;
    // Absent: the box is placed in the container by the alignments.
    std::optional<Position> position;
    // When true, overrides may change only bold, italic, underline, strikethrough and alignment.
    bool shouldRestrictOverridesToBasicAttributes = false;
    ScalingInfo scalingInfo;

    // Lets `other` override this style: only its basic attributes (traits, underline,
    // strikethrough) and its placement (alignments, position) when this style is restricted,
    // else entirely.
    void apply(const SubtitleTextStyle& other);

    friend bool operator==(const SubtitleTextStyle&, const SubtitleTextStyle&) = default;
};

// The attribute helpers shared by the style code and the formatted-text decoder.

// The foreground colour attribute if it is a colour, else black.
platform::NSColor foregroundColor(const platform::NSAttributeDictionary& attributes);
// The font attribute if it is a font, else "Helvetica" at 12 points, else the system font at 12.
platform::NSFont font(const platform::NSAttributeDictionary& attributes);

}  // namespace quillon
