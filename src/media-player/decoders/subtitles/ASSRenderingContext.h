#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "media-player/decoders/subtitles/ASSOverrideCodes.h"
#include "media-player/decoders/subtitles/SubtitleDrawing.h"
#include "media-player/decoders/subtitles/SubtitleTextStyle.h"
#include "platform/graphics/NSMutableAttributedString.h"

namespace platform {
class FontCollection;
}

namespace quillon {

// The running state of one ASS event while its override codes are read: the text built so far
// and the style that the codes have made current. It is the context of the override-code
// callbacks, which turn each code into a change of the current style or an append to the text.
struct ASSRenderingContext {
    using StyleMap = std::map<std::string, SubtitleTextStyle, std::less<>>;

    ASSRenderingContext(SubtitleTextStyle baseStyle, StyleMap styleMap);

    // The callbacks that fill a context passed as their priv.
    static const ASSOverrideCallbacks& callbacks();

    platform::NSMutableAttributedString output;
    SubtitleTextStyle baseStyle;
    // A snapshot of the decoder's style map, for "\r" with a style name.
    StyleMap styleMap;
    SubtitleTextStyle currentStyle;
    // The script's canvas, which positions and drawings are given in.
    platform::CGSize canvasSize{384, 288};
    // The fonts of the subtitles' document, which "\fn" names first; not owned.
    const platform::FontCollection* documentFonts = nullptr;
    // Placement belongs to the whole event: the first alignment and the first position win.
    std::optional<std::int32_t> eventAlignment;
    std::optional<platform::CGPoint> eventPosition;
    // The shapes drawn so far, and the commands of the one being read (level 0: not drawing).
    std::vector<SubtitleDrawing> drawings;
    std::int32_t drawingLevel = 0;
    std::string drawingCommands;

    // The base style with the event's alignment and position.
    SubtitleTextStyle placedStyle() const;

    // What each code does to the state.
    void appendText(const char* characters, std::int32_t length);
    void appendNewLine();
    void setStyle(char letter, std::int32_t close);
    void setColor(std::uint32_t colour, std::uint32_t index);
    void setAlpha(std::int32_t alpha, std::int32_t index);
    void setFontName(const char* name);
    void setFontSize(std::int32_t size);
    void setAlignment(std::int32_t alignment);
    void cancelOverrides(const char* styleName);
    void setPosition(std::int32_t x, std::int32_t y);
    void setDrawingMode(std::int32_t level);
    // Turns the pending drawing commands into a shape.
    void finishDrawing();

private:
    bool isRestricted() const { return currentStyle.shouldRestrictOverridesToBasicAttributes; }
    platform::NSAttributeDictionary& currentAttributes() {
        return currentStyle.textAttributes.underlyingTextAttributes;
    }
    const platform::NSAttributeDictionary& baseAttributes() const {
        return baseStyle.textAttributes.underlyingTextAttributes;
    }
    // Whether the current stroke width is a non-zero number.
    bool hasStroke() const;
    void setTrait(platform::NSFontTraitMask trait, std::int32_t close);
    void setLineStyle(const std::string& attributeName, std::int32_t close);
};

}  // namespace quillon
