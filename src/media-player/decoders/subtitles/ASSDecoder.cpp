#include "media-player/decoders/subtitles/ASSDecoder.h"

#include <cmath>
#include <utility>

#include "media-player/decoders/common/FFmpegCall.h"
#include "media-player/decoders/subtitles/ASSColor.h"
#include "media-player/decoders/subtitles/ASSOverrideCodes.h"
#include "platform/foundation/Log.h"
#include "platform/graphics/NSFontManager.h"
#include "platform/graphics/NSUnderlineStyle.h"

namespace quillon {

using namespace platform;

namespace {

constexpr std::string_view defaultStyleName = "Default";
constexpr std::string_view dialogueKey = "Dialogue:";

// Scripts that say nothing else are laid out for this canvas.
constexpr std::int32_t defaultPlayResX = 384;
constexpr std::int32_t defaultPlayResY = 288;

std::optional<SubtitleTextStyle::Alignment> alignmentFromASS(std::int32_t alignment) {
    switch (alignment) {
        case 1:
        case 4:
        case 7:
            return SubtitleTextStyle::Alignment::left;
        case 2:
        case 5:
        case 8:
            return SubtitleTextStyle::Alignment::center;
        case 3:
        case 6:
        case 9:
            return SubtitleTextStyle::Alignment::right;
        default:
            return std::nullopt;
    }
}

}  // namespace

std::shared_ptr<ASSDecoder> ASSDecoder::make(
    const std::uint8_t* headerBytes, std::int32_t headerSize,
    std::shared_ptr<const platform::FontCollection> documentFonts) {
    return make(headerBytes, headerSize, SubtitleTextStyleManager::shared(),
                SubtitleTextStyleUpdateNotifier::shared(), std::move(documentFonts));
}

std::shared_ptr<ASSDecoder> ASSDecoder::make(
    const std::uint8_t* headerBytes, std::int32_t headerSize,
    std::shared_ptr<SubtitleTextStyleManager> styleManager,
    const std::shared_ptr<SubtitleTextStyleUpdateNotifier>& updateNotifier,
    std::shared_ptr<const platform::FontCollection> documentFonts) {
    // The splitter reads NUL-terminated text; FFmpeg's header bytes need not be.
    std::string header;
    if (headerBytes && headerSize > 0) {
        header.assign(reinterpret_cast<const char*>(headerBytes),
                      static_cast<std::size_t>(headerSize));
    }
    ASSSplitContextPointer context = assSplit(header.c_str());
    if (!context) {
        throw DecodingError::invalidASSHeaderBytes();
    }
    auto decoder = std::make_shared<ASSDecoder>(Passkey{}, std::move(context),
                                                std::move(styleManager), std::move(documentFonts));
    {
        std::lock_guard lock(decoder->decoderContextMutex_);
        decoder->styleNameToStyleMap_ = decoder->makeStyleMap();
    }
    std::weak_ptr<ASSDecoder> weakDecoder = decoder;
    decoder->userSpecifiedStyleObserverToken_ = updateNotifier->addDecoderObserver([weakDecoder] {
        if (auto decoder = weakDecoder.lock()) {
            decoder->updateStyleMap();
        }
    });
    return decoder;
}

ASSDecoder::ASSDecoder(Passkey, ASSSplitContextPointer decoderContext,
                       std::shared_ptr<SubtitleTextStyleManager> styleManager,
                       std::shared_ptr<const platform::FontCollection> documentFonts)
    : decoderContext_(std::move(decoderContext)),
      styleNameToStyleMapQueue_(DispatchQueue::makeSerial("ASS Decoder Style Map Queue")),
      styleManager_(std::move(styleManager)),
      documentFonts_(std::move(documentFonts)) {
    const ASSScriptInfo& info = assSplitScript(decoderContext_.get())->info;
    if (info.PlayResX != defaultPlayResX || info.PlayResY != defaultPlayResY) {
        originalContainerSize_ =
            CGSize{static_cast<CGFloat>(info.PlayResX), static_cast<CGFloat>(info.PlayResY)};
    }
    CGFloat width = info.PlayResX;
    CGFloat height = info.PlayResY;
    if (width <= 0 && height <= 0) {
        width = defaultPlayResX;
        height = defaultPlayResY;
    } else if (width <= 0) {
        width = height * 4 / 3;
    } else if (height <= 0) {
        height = width * 3 / 4;
    }
    canvasSize_ = CGSize{width, height};
}

void ASSDecoder::updateStyleMap() {
    std::lock_guard lock(decoderContextMutex_);
    styleNameToStyleMapQueue_->sync([this] {
        try {
            StyleMap styleMap = makeStyleMap();
            styleNameToStyleMap_ = std::move(styleMap);
        } catch (...) {
            // Runs for the notifier: a failure keeps the map that worked so far.
            logWarning("Failed to update style map: {}.", currentError()->debugDescription());
        }
    });
}

SubtitleTextStyle ASSDecoder::style(std::string_view named) const {
    return styleNameToStyleMapQueue_->sync([&] {
        auto found = styleNameToStyleMap_.find(named);
        if (found == styleNameToStyleMap_.end()) {
            found = styleNameToStyleMap_.find(defaultStyleName);
        }
        return found->second;
    });
}

ASSDecoder::StyleMap ASSDecoder::styleMap() const {
    return styleNameToStyleMapQueue_->sync([&] { return styleNameToStyleMap_; });
}

ASSDecoder::StyleMap ASSDecoder::makeStyleMap() const {
    // Read once: every style of the map is resolved against the same user style.
    const SubtitleTextStyle userSpecifiedStyle = styleManager_->userSpecifiedStyle();
    StyleMap styleMap;
    std::int32_t count = 0;
    const ASSStyle* styles = assSplitStyles(decoderContext_.get(), &count);
    for (std::int32_t i = 0; styles && i < count; ++i) {
        const ASSStyle& style = styles[i];
        // One bad style line must not cost the whole track its subtitles.
        if (!style.Name) {
            logWarning("Skipped an ASS style without a name.");
            continue;
        }
        if (styleMap.contains(std::string_view(style.Name))) {
            logWarning("Skipped a second ASS style of the same name, the first one is used: {}.",
                       DecodingError::duplicateStyleName(style.Name).description());
            continue;
        }
        styleMap.emplace(style.Name, makeStyle(style, userSpecifiedStyle));
    }
    if (!styleMap.contains(defaultStyleName)) {
        styleMap.emplace(defaultStyleName, userSpecifiedStyle);
    }
    return styleMap;
}

SubtitleTextStyle ASSDecoder::makeStyle(const ASSStyle& style,
                                        const SubtitleTextStyle& userSpecifiedStyle) const {
    const NSFontManager& fontManager = NSFontManager::sharedFontManager();
    const CGFloat size = static_cast<CGFloat>(style.Fontsize);

    // "Arial" is what tools write when nobody chose a font; the platform's sans serif reads
    // better than whatever a font database substitutes for it.
    std::optional<NSFont> font;
    std::string_view fontName = style.Fontname ? std::string_view(style.Fontname) : "";
    if (!fontName.empty() && fontName != "Arial") {
        font = NSFont::fontWithName(fontName, size, documentFonts_.get());
    }
    if (!font) {
        font = NSFont::fontWithNameOrSystemFont("Helvetica", size);
    }
    NSFontTraitMask traits = 0;
    if (style.Bold == -1) {
        traits |= NSBoldFontMask;
    }
    if (style.Italic == -1) {
        traits |= NSItalicFontMask;
    }
    if (traits != 0) {
        font = fontManager.convertFont(*font, traits);
    }

    SubtitleTextStyle result;
    result.textAttributes.fontTraits = traits;
    NSAttributeDictionary& attributes = result.textAttributes.underlyingTextAttributes;
    attributes.insert_or_assign(NSFontAttributeName, *font);
    attributes.insert_or_assign(NSKernAttributeName, style.Spacing);
    attributes.insert_or_assign(NSForegroundColorAttributeName, assColor(style.PrimaryColour));
    if (style.Underline == -1) {
        attributes.insert_or_assign(NSUnderlineStyleAttributeName,
                                    std::int64_t{NSUnderlineStyleSingle});
    }
    if (style.StrikeOut == -1) {
        attributes.insert_or_assign(NSStrikethroughStyleAttributeName,
                                    std::int64_t{NSUnderlineStyleSingle});
    }

    result.overlayStyle.backgroundColor = NSColor::blackColor().colorWithAlphaComponent(0);
    result.overlayStyle.insets = CGSize{0, 0};
    result.overlayStyle.cornerRadius = 0;
    switch (style.BorderStyle) {
        case 1: {  // outline and drop shadow
            CGFloat outlineWidth = style.Outline;
            if (style.Shadow != 0) {
                attributes.insert_or_assign(
                    NSShadowAttributeName,
                    NSShadow{CGSize{style.Shadow, -style.Shadow}, 0, assColor(style.BackColour)});
                if (style.Outline == 0) {
                    outlineWidth = 1;
                }
            }
            // The stroke width is a percentage of the font size; negative strokes and fills.
            // A font without size has no outline to speak of.
            if (font->pointSize() > 0) {
                attributes.insert_or_assign(NSStrokeWidthAttributeName,
                                            2 * (-100 * outlineWidth / font->pointSize()));
                attributes.insert_or_assign(NSStrokeColorAttributeName,
                                            assColor(style.OutlineColour));
            }
            break;
        }
        case 3:  // opaque box
            result.overlayStyle.backgroundColor = assColor(style.OutlineColour);
            result.overlayStyle.insets = CGSize{style.Outline, style.Outline};
            break;
        default:
            break;
    }

    if (std::optional<SubtitleTextStyle::Alignment> alignment = alignmentFromASS(style.Alignment)) {
        result.alignmentInContainer = *alignment;
        // Bottom is where each subtitles view puts text anyway: every text track gets a default
        // style aligned there, and the secondary view's text must stay at the top.
        if (style.Alignment >= 7) {
            result.verticalAlignmentInContainer = SubtitleTextStyle::VerticalAlignment::top;
        } else if (style.Alignment >= 4) {
            result.verticalAlignmentInContainer = SubtitleTextStyle::VerticalAlignment::middle;
        }
    } else {
        logWarning("ASS style \"{}\" has no valid alignment and is centred: {}.", style.Name,
                   DecodingError::invalidTextAlignmentValue(style.Alignment).description());
        result.alignmentInContainer = SubtitleTextStyle::Alignment::center;
    }

    result.containerInsets =
        NSEdgeInsetsMake(style.MarginV, style.MarginL, style.MarginV, style.MarginR);

    result.scalingInfo.initialBaseFontSize = size;
    result.scalingInfo.baseFontSizePercentageRelativeToVideoHeight =
        userSpecifiedStyle.scalingInfo.baseFontSizePercentageRelativeToVideoHeight;
    if (originalContainerSize_) {
        CGFloat percentage = size / originalContainerSize_->height * 100;
        if (percentage > 0 && std::isfinite(percentage)) {
            result.scalingInfo.baseFontSizePercentageRelativeToVideoHeight = percentage;
        }
    }
    result.scalingInfo.additionalFontSizeMultiplier = 1;
    result.shouldRestrictOverridesToBasicAttributes = false;

    return styleManager_->resolvedStyle(result);
}

FormattedTextSubtitle ASSDecoder::formattedTextSubtitle(const ASSDialog& dialog) const {
    // The event's style and the map it may switch to with "\r" come from the same version of the
    // map. An event without a style takes the default one.
    auto [style, styleMap] = styleNameToStyleMapQueue_->sync([&] {
        std::string_view name = dialog.Style ? std::string_view(dialog.Style) : defaultStyleName;
        auto found = styleNameToStyleMap_.find(name);
        if (found == styleNameToStyleMap_.end()) {
            found = styleNameToStyleMap_.find(defaultStyleName);
        }
        return std::pair(found->second, styleNameToStyleMap_);
    });

    SubtitleTextStyle baseStyle = std::move(style);
    if (dialog.MarginV != 0) {
        baseStyle.containerInsets.top = dialog.MarginV;
        baseStyle.containerInsets.bottom = dialog.MarginV;
    }
    if (dialog.MarginL != 0) {
        baseStyle.containerInsets.left = dialog.MarginL;
    }
    if (dialog.MarginR != 0) {
        baseStyle.containerInsets.right = dialog.MarginR;
    }

    ASSRenderingContext context(std::move(baseStyle), std::move(styleMap));
    context.canvasSize = canvasSize_;
    context.documentFonts = documentFonts_.get();
    performFFmpegCall({}, true, CallSite("formattedTextSubtitle(from:)"), [&] {
        return assSplitOverrideCodes(ASSRenderingContext::callbacks(), &context, dialog.Text);
    });
    return FormattedTextSubtitle{context.output.copy(), context.placedStyle(),
                                 std::move(context.drawings)};
}

std::vector<FormattedTextSubtitle> ASSDecoder::formattedTextSubtitles(const char* eventText) {
    if (!eventText) {
        throw DecodingError::invalidDialogBytes();
    }
    std::vector<FormattedTextSubtitle> subtitles;
    if (std::string_view(eventText).starts_with(dialogueKey)) {
        // Complete lines are split in the header's context, for its Events column order.
        std::lock_guard lock(decoderContextMutex_);
        std::int32_t count = 0;
        const ASSDialog* dialogs = assSplitDialog(decoderContext_.get(), eventText, 0, &count);
        if (!dialogs) {
            throw DecodingError::invalidDialogBytes();
        }
        for (std::int32_t i = 0; i < count; ++i) {
            subtitles.push_back(formattedTextSubtitle(dialogs[i]));
        }
        return subtitles;
    }
    ASSDialogPointer dialog = assSplitDialogFields(eventText);
    if (!dialog) {
        throw DecodingError::invalidDialogBytes();
    }
    subtitles.push_back(formattedTextSubtitle(*dialog));
    return subtitles;
}

}  // namespace quillon
