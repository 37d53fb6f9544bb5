#include "platform/accessibility/CaptionAppearanceSettings.h"

#include <algorithm>
#include <cctype>

#include <fmt/format.h>
#include <QLocale>
#include <QStringList>

#include "platform/foundation/Locale.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/graphics/NSFont.h"

namespace platform {
namespace {

void reportUseValue(MACaptionAppearanceBehavior* behavior) {
    if (behavior) {
        *behavior = kMACaptionAppearanceBehaviorUseValue;
    }
}

std::string trimmed(std::string_view text) {
    const auto isSpace = [](unsigned char c) { return std::isspace(c) != 0; };
    while (!text.empty() && isSpace(static_cast<unsigned char>(text.front()))) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isSpace(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    return std::string(text);
}

bool isMonospacedStyle(MACaptionAppearanceFontStyle style) {
    return style == kMACaptionAppearanceFontStyleMonospacedWithSerif ||
           style == kMACaptionAppearanceFontStyleMonospacedWithoutSerif;
}

}  // namespace

CaptionAppearanceSettings::CaptionAppearanceSettings(UserDefaults& defaults) : defaults_(defaults) {
    for (const char* key :
         {fontFamilyKey, fontBoldKey, fontItalicKey, foregroundColorKey, foregroundOpacityKey,
          backgroundColorKey, backgroundOpacityKey, windowColorKey, windowOpacityKey,
          windowRoundedCornerRadiusKey, textEdgeStyleKey, relativeCharacterSizeKey, displayTypeKey,
          selectedLanguagesKey, preferredCaptioningMediaCharacteristicsKey,
          preferredAudibleMediaCharacteristicsKey}) {
        observations_.push_back(defaults_.observe(key, [](const auto&) {
            NotificationCenter::defaultCenter().post(
                kMACaptionAppearanceSettingsChangedNotification);
        }));
    }
}

std::optional<NSColor> CaptionAppearanceSettings::parseColor(const std::string& text) {
    std::string hex = trimmed(text);
    if (!hex.empty() && hex.front() == '#') {
        hex.erase(0, 1);
    }
    if ((hex.size() != 6 && hex.size() != 8) ||
        !std::all_of(hex.begin(), hex.end(), [](unsigned char c) { return std::isxdigit(c); })) {
        return std::nullopt;
    }
    const auto component = [&](std::size_t index) {
        return static_cast<CGFloat>(std::stoi(hex.substr(index * 2, 2), nullptr, 16)) / 255.0;
    };
    return NSColor::colorWithSRGBRed(component(0), component(1), component(2),
                                     hex.size() == 8 ? component(3) : 1.0);
}

std::string CaptionAppearanceSettings::formatColor(const NSColor& color) {
    const auto byte = [](CGFloat value) {
        return static_cast<int>(std::clamp(value, 0.0, 1.0) * 255.0 + 0.5);
    };
    return fmt::format("#{:02X}{:02X}{:02X}{:02X}", byte(color.redComponent()),
                       byte(color.greenComponent()), byte(color.blueComponent()),
                       byte(color.alphaComponent()));
}

std::vector<std::string> CaptionAppearanceSettings::systemLanguages() {
    std::vector<std::string> languages;
    const auto add = [&](const std::string& language) {
        if (std::find(languages.begin(), languages.end(), language) == languages.end()) {
            languages.push_back(language);
        }
    };
    for (const QString& uiLanguage : QLocale::system().uiLanguages()) {
        const auto identifier = canonicalLanguageIdentifier(uiLanguage.toStdString());
        if (!identifier) {
            continue;
        }
        add(*identifier);
        if (const auto language = languageCode(*identifier)) {
            add(*language);
        }
    }
    return languages;
}

std::optional<UserDefaults::Value> CaptionAppearanceSettings::userValue(
    MACaptionAppearanceDomain domain, const char* key) const {
    if (domain != kMACaptionAppearanceDomainUser) {
        return std::nullopt;
    }
    return defaults_.objectForKey(key);
}

double CaptionAppearanceSettings::number(MACaptionAppearanceDomain domain, const char* key,
                                         double fallback) const {
    return userValue(domain, key) ? defaults_.doubleForKey(key) : fallback;
}

std::optional<NSColor> CaptionAppearanceSettings::color(MACaptionAppearanceDomain domain,
                                                        const char* key,
                                                        std::optional<NSColor> fallback) const {
    if (!userValue(domain, key)) {
        return fallback;
    }
    const auto text = defaults_.stringForKey(key);
    // An empty value turns an optional colour off; an unreadable one is ignored.
    if (!text || trimmed(*text).empty()) {
        return std::nullopt;
    }
    if (auto parsed = parseColor(*text)) {
        return parsed;
    }
    return fallback;
}

std::vector<std::string> CaptionAppearanceSettings::list(MACaptionAppearanceDomain domain,
                                                         const char* key) const {
    std::vector<std::string> items;
    if (!userValue(domain, key)) {
        return items;
    }
    const std::string text = defaults_.stringForKey(key).value_or("");
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        std::string item = trimmed(std::string_view(text).substr(start, comma - start));
        if (!item.empty()) {
            items.push_back(std::move(item));
        }
        start = comma + 1;
    }
    return items;
}

std::optional<NSFontDescriptor> CaptionAppearanceSettings::copyFontDescriptorForStyle(
    MACaptionAppearanceBehavior* behavior, MACaptionAppearanceDomain domain,
    MACaptionAppearanceFontStyle fontStyle) {
    reportUseValue(behavior);
    NSFontDescriptor descriptor;
    // The user's family applies to the default style; the others keep the desktop's choice.
    const bool userStyle = fontStyle == kMACaptionAppearanceFontStyleDefault;
    if (userStyle && userValue(domain, fontFamilyKey)) {
        descriptor.name = trimmed(defaults_.stringForKey(fontFamilyKey).value_or(""));
    }
    if (descriptor.name.empty()) {
        const NSFont font = isMonospacedStyle(fontStyle) ? NSFont::userFixedPitchFontOfSize(0)
                                                         : NSFont::systemFontOfSize(0);
        descriptor = font.fontDescriptor();
        descriptor.pointSize = 0;
    }
    if (userStyle && userValue(domain, fontBoldKey) && defaults_.boolForKey(fontBoldKey)) {
        descriptor.symbolicTraits |= NSFontDescriptorTraitBold;
    }
    if (userStyle && userValue(domain, fontItalicKey) && defaults_.boolForKey(fontItalicKey)) {
        descriptor.symbolicTraits |= NSFontDescriptorTraitItalic;
    }
    return descriptor;
}

std::optional<NSColor> CaptionAppearanceSettings::copyForegroundColor(
    MACaptionAppearanceDomain domain, MACaptionAppearanceBehavior* behavior) {
    reportUseValue(behavior);
    return color(domain, foregroundColorKey, NSColor::whiteColor());
}

CGFloat CaptionAppearanceSettings::getForegroundOpacity(MACaptionAppearanceDomain domain,
                                                        MACaptionAppearanceBehavior* behavior) {
    reportUseValue(behavior);
    return number(domain, foregroundOpacityKey, 1);
}

std::optional<NSColor> CaptionAppearanceSettings::copyBackgroundColor(
    MACaptionAppearanceDomain domain, MACaptionAppearanceBehavior* behavior) {
    reportUseValue(behavior);
    return color(domain, backgroundColorKey, std::nullopt);
}

CGFloat CaptionAppearanceSettings::getBackgroundOpacity(MACaptionAppearanceDomain domain,
                                                        MACaptionAppearanceBehavior* behavior) {
    reportUseValue(behavior);
    return number(domain, backgroundOpacityKey, 1);
}

std::optional<NSColor> CaptionAppearanceSettings::copyWindowColor(
    MACaptionAppearanceDomain domain, MACaptionAppearanceBehavior* behavior) {
    reportUseValue(behavior);
    return color(domain, windowColorKey, NSColor::blackColor());
}

CGFloat CaptionAppearanceSettings::getWindowOpacity(MACaptionAppearanceDomain domain,
                                                    MACaptionAppearanceBehavior* behavior) {
    reportUseValue(behavior);
    return number(domain, windowOpacityKey, 0);
}

CGFloat CaptionAppearanceSettings::getWindowRoundedCornerRadius(
    MACaptionAppearanceDomain domain, MACaptionAppearanceBehavior* behavior) {
    reportUseValue(behavior);
    return number(domain, windowRoundedCornerRadiusKey, 0);
}

MACaptionAppearanceTextEdgeStyle CaptionAppearanceSettings::getTextEdgeStyle(
    MACaptionAppearanceDomain domain, MACaptionAppearanceBehavior* behavior) {
    reportUseValue(behavior);
    if (!userValue(domain, textEdgeStyleKey)) {
        return kMACaptionAppearanceTextEdgeStyleNone;
    }
    return static_cast<MACaptionAppearanceTextEdgeStyle>(defaults_.integerForKey(textEdgeStyleKey));
}

CGFloat CaptionAppearanceSettings::getRelativeCharacterSize(MACaptionAppearanceDomain domain,
                                                            MACaptionAppearanceBehavior* behavior) {
    reportUseValue(behavior);
    return number(domain, relativeCharacterSizeKey, 1);
}

MACaptionAppearanceDisplayType CaptionAppearanceSettings::getDisplayType(
    MACaptionAppearanceDomain domain) {
    if (!userValue(domain, displayTypeKey)) {
        return kMACaptionAppearanceDisplayTypeAutomatic;
    }
    return static_cast<MACaptionAppearanceDisplayType>(defaults_.integerForKey(displayTypeKey));
}

std::vector<std::string> CaptionAppearanceSettings::copySelectedLanguages(
    MACaptionAppearanceDomain domain) {
    if (userValue(domain, selectedLanguagesKey)) {
        return list(domain, selectedLanguagesKey);
    }
    return systemLanguages();
}

std::vector<std::string> CaptionAppearanceSettings::copyPreferredCaptioningMediaCharacteristics(
    MACaptionAppearanceDomain domain) {
    return list(domain, preferredCaptioningMediaCharacteristicsKey);
}

std::vector<std::string> CaptionAppearanceSettings::copyPreferredAudibleMediaCharacteristics() {
    return list(kMACaptionAppearanceDomainUser, preferredAudibleMediaCharacteristicsKey);
}

}  // namespace platform
