#include "media-player/decoders/subtitles/ASSRenderingContext.h"

#include <QPainterPath>

#include <cmath>
#include <optional>
#include <string_view>
#include <utility>

#include "media-player/decoders/subtitles/ASSColor.h"
#include "media-player/decoders/subtitles/ASSDrawing.h"
#include "media-player/decoders/subtitles/ASSTextBytes.h"
#include "platform/foundation/Log.h"
#include "platform/graphics/NSFontManager.h"
#include "platform/graphics/NSUnderlineStyle.h"

namespace quillon {

using namespace platform;

namespace {

constexpr std::uint32_t noColour = 0xFFFFFFFF;
// The alpha the text system gives a shadow without a colour.
constexpr CGFloat defaultShadowAlpha = 1.0 / 3.0;

ASSRenderingContext& contextOf(void* priv) {
    return *static_cast<ASSRenderingContext*>(priv);
}

std::optional<NSColor> colorAttribute(const NSAttributeDictionary& attributes,
                                      const NSAttributedStringKey& key) {
    if (const auto* color = attributeValue<NSColor>(attributes, key)) {
        return *color;
    }
    return std::nullopt;
}

// The stroke colour, else the foreground colour (else black): the colour an outline is drawn in.
NSColor strokeColor(const NSAttributeDictionary& attributes) {
    return colorAttribute(attributes, NSStrokeColorAttributeName)
        .value_or(foregroundColor(attributes));
}

const NSShadow* shadowAttribute(const NSAttributeDictionary& attributes) {
    return attributeValue<NSShadow>(attributes, NSShadowAttributeName);
}

// "\h" is a space that never breaks a line.
std::string withHardSpaces(std::string text) {
    constexpr std::string_view hardSpace = "\\h";
    constexpr std::string_view noBreakSpace = "\u00A0";
    std::size_t at = 0;
    while ((at = text.find(hardSpace, at)) != std::string::npos) {
        text.replace(at, hardSpace.size(), noBreakSpace);
        at += noBreakSpace.size();
    }
    return text;
}

ASSOverrideCallbacks makeCallbacks() {
    ASSOverrideCallbacks callbacks;
    callbacks.text = [](void* priv, const char* characters, std::int32_t length) {
        contextOf(priv).appendText(characters, length);
    };
    callbacks.newLine = [](void* priv, std::int32_t) { contextOf(priv).appendNewLine(); };
    callbacks.style = [](void* priv, char letter, std::int32_t close) {
        contextOf(priv).setStyle(letter, close);
    };
    callbacks.color = [](void* priv, std::uint32_t colour, std::uint32_t index) {
        contextOf(priv).setColor(colour, index);
    };
    callbacks.alpha = [](void* priv, std::int32_t alpha, std::int32_t index) {
        contextOf(priv).setAlpha(alpha, index);
    };
    callbacks.fontName = [](void* priv, const char* name) { contextOf(priv).setFontName(name); };
    callbacks.fontSize = [](void* priv, std::int32_t size) { contextOf(priv).setFontSize(size); };
    callbacks.alignment = [](void* priv, std::int32_t alignment) {
        contextOf(priv).setAlignment(alignment);
    };
    callbacks.cancelOverrides = [](void* priv, const char* styleName) {
        contextOf(priv).cancelOverrides(styleName);
    };
    // A movement is shown at its start point.
    callbacks.move = [](void* priv, std::int32_t x1, std::int32_t y1, std::int32_t, std::int32_t,
                        std::int32_t, std::int32_t) { contextOf(priv).setPosition(x1, y1); };
    callbacks.drawingMode = [](void* priv, std::int32_t level) {
        contextOf(priv).setDrawingMode(level);
    };
    callbacks.end = [](void* priv) { contextOf(priv).finishDrawing(); };
    return callbacks;
}

}  // namespace

ASSRenderingContext::ASSRenderingContext(SubtitleTextStyle baseStyle, StyleMap styleMap)
    : baseStyle(std::move(baseStyle)),
      styleMap(std::move(styleMap)),
      currentStyle(this->baseStyle) {}

const ASSOverrideCallbacks& ASSRenderingContext::callbacks() {
    static const ASSOverrideCallbacks callbacks = makeCallbacks();
    return callbacks;
}

void ASSRenderingContext::appendText(const char* characters, std::int32_t length) {
    std::string_view bytes(characters, static_cast<std::size_t>(length));
    if (drawingLevel > 0) {
        drawingCommands.append(bytes);
        drawingCommands += ' ';
        return;
    }
    std::optional<std::string> text = assTextFromBytes(bytes);
    if (!text) {
        logWarning("ASS text bytes could not be interpreted as a string: {}.",
                   assBytesDescription(bytes));
        return;
    }
    output.append(withHardSpaces(std::move(*text)), currentAttributes());
}

void ASSRenderingContext::appendNewLine() {
    if (drawingLevel > 0) {
        return;
    }
    output.append(std::string_view("\n"), currentAttributes());
}

void ASSRenderingContext::setTrait(NSFontTraitMask trait, std::int32_t close) {
    SubtitleTextStyle::TextAttributes& attributes = currentStyle.textAttributes;
    if (close == 1) {
        attributes.fontTraits &= ~trait;
    } else if (close == 0) {
        attributes.fontTraits |= trait;
    } else {
        attributes.fontTraits =
            (attributes.fontTraits & ~trait) | (baseStyle.textAttributes.fontTraits & trait);
    }
    attributes.setFont(attributes.font());
}

void ASSRenderingContext::setLineStyle(const std::string& attributeName, std::int32_t close) {
    std::int64_t value = 0;
    if (close == 0) {
        value = NSUnderlineStyleSingle;
    } else if (close == -1) {
        const auto found = baseAttributes().find(attributeName);
        if (found != baseAttributes().end()) {
            value = found->second.integerValue().value_or(0);
        }
    }
    currentAttributes().insert_or_assign(attributeName, value);
}

void ASSRenderingContext::setStyle(char letter, std::int32_t close) {
    // Basic attributes: the user's own style lets scripts change these.
    switch (letter) {
        case 'b':
            setTrait(NSBoldFontMask, close);
            break;
        case 'i':
            setTrait(NSItalicFontMask, close);
            break;
        case 'u':
            setLineStyle(NSUnderlineStyleAttributeName, close);
            break;
        case 's':
            setLineStyle(NSStrikethroughStyleAttributeName, close);
            break;
        default:
            break;
    }
}

bool ASSRenderingContext::hasStroke() const {
    const auto& attributes = currentStyle.textAttributes.underlyingTextAttributes;
    const auto found = attributes.find(NSStrokeWidthAttributeName);
    if (found == attributes.end()) {
        return false;
    }
    std::optional<double> width = found->second.numberValue();
    return width && *width != 0;
}

void ASSRenderingContext::setColor(std::uint32_t colour, std::uint32_t index) {
    if (isRestricted()) {
        return;
    }
    NSAttributeDictionary& attributes = currentAttributes();
    switch (index) {
        case 0:
        case 1: {
            NSColor chosen =
                colour == noColour ? foregroundColor(baseAttributes()) : assColor(colour);
            // The colour codes carry no alpha; the alpha codes set it.
            CGFloat alpha = foregroundColor(attributes).alphaComponent();
            attributes.insert_or_assign(NSForegroundColorAttributeName,
                                        chosen.colorWithAlphaComponent(alpha));
            break;
        }
        case 3: {
            if (!hasStroke()) {
                break;
            }
            NSColor chosen = colour == noColour ? strokeColor(baseAttributes()) : assColor(colour);
            CGFloat alpha = strokeColor(attributes).alphaComponent();
            attributes.insert_or_assign(NSStrokeColorAttributeName,
                                        chosen.colorWithAlphaComponent(alpha));
            break;
        }
        case 4: {
            const NSShadow* current = shadowAttribute(attributes);
            if (!current) {
                break;
            }
            NSShadow shadow = *current;
            if (colour == noColour) {
                const NSShadow* base = shadowAttribute(baseAttributes());
                shadow.shadowColor = base ? base->shadowColor : std::nullopt;
            } else {
                CGFloat alpha = current->shadowColor ? current->shadowColor->alphaComponent()
                                                     : defaultShadowAlpha;
                shadow.shadowColor = assColor(colour).colorWithAlphaComponent(alpha);
            }
            attributes.insert_or_assign(NSShadowAttributeName, std::move(shadow));
            break;
        }
        default:  // the secondary (karaoke) colour is not drawn
            break;
    }
}

void ASSRenderingContext::setAlpha(std::int32_t alpha, std::int32_t index) {
    if (isRestricted()) {
        return;
    }
    std::optional<CGFloat> given;
    if (alpha >= 0 && alpha <= 255) {
        given = assAlpha(static_cast<std::uint32_t>(alpha));
    }
    NSAttributeDictionary& attributes = currentAttributes();
    switch (index) {
        case 0:
        case 1: {
            CGFloat value = given.value_or(foregroundColor(baseAttributes()).alphaComponent());
            attributes.insert_or_assign(NSForegroundColorAttributeName,
                                        foregroundColor(attributes).colorWithAlphaComponent(value));
            break;
        }
        case 3: {
            if (!hasStroke()) {
                break;
            }
            CGFloat value = given.value_or(strokeColor(baseAttributes()).alphaComponent());
            attributes.insert_or_assign(NSStrokeColorAttributeName,
                                        strokeColor(attributes).colorWithAlphaComponent(value));
            break;
        }
        case 4: {
            const NSShadow* current = shadowAttribute(attributes);
            if (!current) {
                break;
            }
            CGFloat value = defaultShadowAlpha;
            if (given) {
                value = *given;
            } else if (const NSShadow* base = shadowAttribute(baseAttributes());
                       base && base->shadowColor) {
                value = base->shadowColor->alphaComponent();
            }
            NSShadow shadow = *current;
            shadow.shadowColor =
                shadow.shadowColor.value_or(NSColor::blackColor()).colorWithAlphaComponent(value);
            attributes.insert_or_assign(NSShadowAttributeName, std::move(shadow));
            break;
        }
        default:
            break;
    }
}

void ASSRenderingContext::setFontName(const char* name) {
    if (isRestricted()) {
        return;
    }
    SubtitleTextStyle::TextAttributes& attributes = currentStyle.textAttributes;
    CGFloat size = attributes.font().pointSize();
    if (name && *name) {
        if (std::optional<NSFont> font = NSFont::fontWithName(name, size, documentFonts)) {
            attributes.setFont(*font);
        }
        return;
    }
    attributes.setFont(NSFontManager::sharedFontManager().convertFontToSize(
        baseStyle.textAttributes.font(), size));
}

void ASSRenderingContext::setFontSize(std::int32_t size) {
    if (isRestricted()) {
        return;
    }
    SubtitleTextStyle::TextAttributes& attributes = currentStyle.textAttributes;
    CGFloat points = size == 0 || size == -1 ? baseStyle.textAttributes.font().pointSize()
                                             : static_cast<CGFloat>(size);
    attributes.setFont(
        NSFontManager::sharedFontManager().convertFontToSize(attributes.font(), points));
}

void ASSRenderingContext::setAlignment(std::int32_t alignment) {
    if (!eventAlignment && alignment >= 1 && alignment <= 9) {
        eventAlignment = alignment;
    }
    switch (alignment) {
        case 1:
        case 4:
        case 7:
            currentStyle.alignmentInContainer = SubtitleTextStyle::Alignment::left;
            break;
        case 2:
        case 5:
        case 8:
            currentStyle.alignmentInContainer = SubtitleTextStyle::Alignment::center;
            break;
        case 3:
        case 6:
        case 9:
            currentStyle.alignmentInContainer = SubtitleTextStyle::Alignment::right;
            break;
        default:
            currentStyle.alignmentInContainer = baseStyle.alignmentInContainer;
            break;
    }
}

void ASSRenderingContext::cancelOverrides(const char* styleName) {
    if (styleName && *styleName) {
        if (auto found = styleMap.find(std::string_view(styleName)); found != styleMap.end()) {
            currentStyle.apply(found->second);
            return;
        }
    }
    currentStyle = baseStyle;
}

void ASSRenderingContext::setPosition(std::int32_t x, std::int32_t y) {
    if (!eventPosition) {
        eventPosition = CGPoint{static_cast<CGFloat>(x), static_cast<CGFloat>(y)};
    }
}

void ASSRenderingContext::setDrawingMode(std::int32_t level) {
    finishDrawing();
    drawingLevel = level;
}

void ASSRenderingContext::finishDrawing() {
    const std::string commands = std::exchange(drawingCommands, {});
    if (drawingLevel <= 0 || commands.empty()) {
        return;
    }
    SubtitleDrawing drawing;
    QPainterPath path = assDrawingPath(commands, drawingLevel);
    if (path.isEmpty()) {
        return;
    }
    drawing.path = std::make_shared<const QPainterPath>(std::move(path));
    drawing.canvasSize = canvasSize;
    const NSAttributeDictionary& attributes = currentAttributes();
    drawing.fillColor = foregroundColor(attributes);
    if (hasStroke()) {
        // The stroke width is a percentage of the font size, negative for filled text, and
        // counts both sides of the outline.
        const CGFloat width = attributes.at(NSStrokeWidthAttributeName).numberValue().value_or(0);
        drawing.outlineWidth =
            std::abs(width) * currentStyle.textAttributes.font().pointSize() / 200;
        drawing.outlineColor = strokeColor(attributes);
    }
    drawings.push_back(std::move(drawing));
}

SubtitleTextStyle ASSRenderingContext::placedStyle() const {
    SubtitleTextStyle style = baseStyle;
    if (eventAlignment) {
        const std::int32_t alignment = *eventAlignment;
        style.alignmentInContainer = alignment % 3 == 1   ? SubtitleTextStyle::Alignment::left
                                     : alignment % 3 == 2 ? SubtitleTextStyle::Alignment::center
                                                          : SubtitleTextStyle::Alignment::right;
        style.verticalAlignmentInContainer =
            alignment <= 3   ? SubtitleTextStyle::VerticalAlignment::bottom
            : alignment <= 6 ? SubtitleTextStyle::VerticalAlignment::middle
                             : SubtitleTextStyle::VerticalAlignment::top;
    }
    if (eventPosition) {
        style.position = SubtitleTextStyle::Position{*eventPosition, canvasSize};
    }
    return style;
}

}  // namespace quillon
