#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "media-player/decoders/subtitles/ASSOverrideCodes.h"
#include "media-player/decoders/subtitles/SubtitleTextStyle.h"
#include "platform/graphics/NSMutableAttributedString.h"

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
