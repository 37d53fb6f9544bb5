#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/accessibility/MACaptionAppearance.h"
#include "platform/foundation/ObserverToken.h"
#include "platform/foundation/UserDefaults.h"

namespace platform {

// The user's caption preferences, kept in user defaults under the keys below. A key that is not
// set answers its built-in value:
//   font: the desktop's font for the default and proportional styles, its monospaced font for
//   the monospaced ones; text white at opacity 1; no background behind the glyphs (its opacity
//   1); window black at opacity 0 with corner radius 0; no edge style; relative size 1; captions
//   shown automatically; the desktop's user-interface languages; no preferred characteristics.
// Colours are stored as "#RRGGBB" or "#RRGGBBAA" (the opacity keys, not the colour's alpha, are
// what caption drawing applies); lists as comma-separated text.
//
// Posts kMACaptionAppearanceSettingsChangedNotification whenever one of its keys changes.
class CaptionAppearanceSettings final : public CaptionAppearanceProvider {
public:
    static constexpr const char* fontFamilyKey = "MACaptionAppearanceFontFamily";
    static constexpr const char* fontBoldKey = "MACaptionAppearanceFontBold";
    static constexpr const char* fontItalicKey = "MACaptionAppearanceFontItalic";
    static constexpr const char* foregroundColorKey = "MACaptionAppearanceForegroundColor";
    static constexpr const char* foregroundOpacityKey = "MACaptionAppearanceForegroundOpacity";
    static constexpr const char* backgroundColorKey = "MACaptionAppearanceBackgroundColor";
    static constexpr const char* backgroundOpacityKey = "MACaptionAppearanceBackgroundOpacity";
    static constexpr const char* windowColorKey = "MACaptionAppearanceWindowColor";
    static constexpr const char* windowOpacityKey = "MACaptionAppearanceWindowOpacity";
    static constexpr const char* windowRoundedCornerRadiusKey =
        "MACaptionAppearanceWindowRoundedCornerRadius";
    static constexpr const char* textEdgeStyleKey = "MACaptionAppearanceTextEdgeStyle";
    static constexpr const char* relativeCharacterSizeKey =
        "MACaptionAppearanceRelativeCharacterSize";
    static constexpr const char* displayTypeKey = "MACaptionAppearanceDisplayType";
    static constexpr const char* selectedLanguagesKey = "MACaptionAppearanceSelectedLanguages";
    static constexpr const char* preferredCaptioningMediaCharacteristicsKey =
        "MACaptionAppearancePreferredCaptioningMediaCharacteristics";
    static constexpr const char* preferredAudibleMediaCharacteristicsKey =
        "MAAudibleMediaPreferredCharacteristics";

    explicit CaptionAppearanceSettings(UserDefaults& defaults = UserDefaults::standard());

    // "#RRGGBB" / "#RRGGBBAA" (case-insensitive, '#' optional); nullopt for anything else.
    static std::optional<NSColor> parseColor(const std::string& text);
    static std::string formatColor(const NSColor& color);
    // The desktop's user-interface languages as canonical identifiers, each region-specific one
    // followed by its language alone unless the list has that already: "fr-FR", "fr", "en".
    static std::vector<std::string> systemLanguages();

    std::optional<NSFontDescriptor> copyFontDescriptorForStyle(
        MACaptionAppearanceBehavior* behavior, MACaptionAppearanceDomain domain,
        MACaptionAppearanceFontStyle fontStyle) override;
    std::optional<NSColor> copyForegroundColor(MACaptionAppearanceDomain domain,
                                               MACaptionAppearanceBehavior* behavior) override;
    CGFloat getForegroundOpacity(MACaptionAppearanceDomain domain,
                                 MACaptionAppearanceBehavior* behavior) override;
    std::optional<NSColor> copyBackgroundColor(MACaptionAppearanceDomain domain,
                                               MACaptionAppearanceBehavior* behavior) override;
    CGFloat getBackgroundOpacity(MACaptionAppearanceDomain domain,
                                 MACaptionAppearanceBehavior* behavior) override;
    std::optional<NSColor> copyWindowColor(MACaptionAppearanceDomain domain,
                                           MACaptionAppearanceBehavior* behavior) override;
    CGFloat getWindowOpacity(MACaptionAppearanceDomain domain,
                             MACaptionAppearanceBehavior* behavior) override;
    CGFloat getWindowRoundedCornerRadius(MACaptionAppearanceDomain domain,
                                         MACaptionAppearanceBehavior* behavior) override;
    MACaptionAppearanceTextEdgeStyle getTextEdgeStyle(
        MACaptionAppearanceDomain domain, MACaptionAppearanceBehavior* behavior) override;
    CGFloat getRelativeCharacterSize(MACaptionAppearanceDomain domain,
                                     MACaptionAppearanceBehavior* behavior) override;
    MACaptionAppearanceDisplayType getDisplayType(MACaptionAppearanceDomain domain) override;
    std::vector<std::string> copySelectedLanguages(MACaptionAppearanceDomain domain) override;
    std::vector<std::string> copyPreferredCaptioningMediaCharacteristics(
        MACaptionAppearanceDomain domain) override;
    std::vector<std::string> copyPreferredAudibleMediaCharacteristics() override;

private:
    std::optional<UserDefaults::Value> userValue(MACaptionAppearanceDomain domain,
                                                 const char* key) const;
    double number(MACaptionAppearanceDomain domain, const char* key, double fallback) const;
    std::optional<NSColor> color(MACaptionAppearanceDomain domain, const char* key,
                                 std::optional<NSColor> fallback) const;
    std::vector<std::string> list(MACaptionAppearanceDomain domain, const char* key) const;

    UserDefaults& defaults_;
    std::vector<ObserverToken> observations_;
};

}  // namespace platform
