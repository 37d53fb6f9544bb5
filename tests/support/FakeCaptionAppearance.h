#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/accessibility/MACaptionAppearance.h"

namespace platform {

// A caption appearance whose values a test sets. Answers the same values for every domain,
// reports kMACaptionAppearanceBehaviorUseValue and counts the calls.
class FakeCaptionAppearance final : public CaptionAppearanceProvider {
public:
    struct Values {
        std::optional<NSFontDescriptor> fontDescriptor;
        std::optional<NSColor> foregroundColor = NSColor::whiteColor();
        CGFloat foregroundOpacity = 1;
        std::optional<NSColor> backgroundColor;
        CGFloat backgroundOpacity = 1;
        std::optional<NSColor> windowColor = NSColor::blackColor();
        CGFloat windowOpacity = 0;
        CGFloat windowRoundedCornerRadius = 0;
        MACaptionAppearanceTextEdgeStyle textEdgeStyle = kMACaptionAppearanceTextEdgeStyleNone;
        CGFloat relativeCharacterSize = 1;
        MACaptionAppearanceDisplayType displayType = kMACaptionAppearanceDisplayTypeAutomatic;
        std::vector<std::string> selectedLanguages;
        std::vector<std::string> preferredCaptioningMediaCharacteristics;
        std::vector<std::string> preferredAudibleMediaCharacteristics;
    };

    FakeCaptionAppearance() = default;
    explicit FakeCaptionAppearance(Values values) : values_(std::move(values)) {}

    Values values() const;
    // Replaces the values, then posts kMACaptionAppearanceSettingsChangedNotification as the
    // system does after the user changed a setting.
    void setValues(Values values);
    // How many values were asked for so far.
    int callCount() const;
    // Called on the reader's thread before each value is read (and counted), outside the fake's
    // lock: lets a test hold a reader part-way.
    void setReadHook(std::function<void()> hook);

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
    template <typename Field>
    Field read(Field Values::*field, MACaptionAppearanceBehavior* behavior) const;

    mutable std::mutex mutex_;
    Values values_;
    mutable int callCount_ = 0;
    std::function<void()> readHook_;
};

}  // namespace platform
