#include "support/FakeCaptionAppearance.h"

#include "platform/foundation/NotificationCenter.h"

namespace platform {

template <typename Field>
Field FakeCaptionAppearance::read(Field Values::*field,
                                  MACaptionAppearanceBehavior* behavior) const {
    if (behavior) {
        *behavior = kMACaptionAppearanceBehaviorUseValue;
    }
    std::function<void()> hook;
    {
        std::lock_guard lock(mutex_);
        hook = readHook_;
    }
    if (hook) {
        hook();
    }
    std::lock_guard lock(mutex_);
    ++callCount_;
    return values_.*field;
}

FakeCaptionAppearance::Values FakeCaptionAppearance::values() const {
    std::lock_guard lock(mutex_);
    return values_;
}

void FakeCaptionAppearance::setValues(Values values) {
    {
        std::lock_guard lock(mutex_);
        values_ = std::move(values);
    }
    NotificationCenter::defaultCenter().post(kMACaptionAppearanceSettingsChangedNotification);
}

int FakeCaptionAppearance::callCount() const {
    std::lock_guard lock(mutex_);
    return callCount_;
}

void FakeCaptionAppearance::setReadHook(std::function<void()> hook) {
    std::lock_guard lock(mutex_);
    readHook_ = std::move(hook);
}

std::optional<NSFontDescriptor> FakeCaptionAppearance::copyFontDescriptorForStyle(
    MACaptionAppearanceBehavior* behavior, MACaptionAppearanceDomain,
    MACaptionAppearanceFontStyle) {
    return read(&Values::fontDescriptor, behavior);
}

std::optional<NSColor> FakeCaptionAppearance::copyForegroundColor(
    MACaptionAppearanceDomain, MACaptionAppearanceBehavior* behavior) {
    return read(&Values::foregroundColor, behavior);
}

CGFloat FakeCaptionAppearance::getForegroundOpacity(MACaptionAppearanceDomain,
                                                    MACaptionAppearanceBehavior* behavior) {
    return read(&Values::foregroundOpacity, behavior);
}

std::optional<NSColor> FakeCaptionAppearance::copyBackgroundColor(
    MACaptionAppearanceDomain, MACaptionAppearanceBehavior* behavior) {
    return read(&Values::backgroundColor, behavior);
}

CGFloat FakeCaptionAppearance::getBackgroundOpacity(MACaptionAppearanceDomain,
                                                    MACaptionAppearanceBehavior* behavior) {
    return read(&Values::backgroundOpacity, behavior);
}

std::optional<NSColor> FakeCaptionAppearance::copyWindowColor(
    MACaptionAppearanceDomain, MACaptionAppearanceBehavior* behavior) {
    return read(&Values::windowColor, behavior);
}

CGFloat FakeCaptionAppearance::getWindowOpacity(MACaptionAppearanceDomain,
                                                MACaptionAppearanceBehavior* behavior) {
    return read(&Values::windowOpacity, behavior);
}

CGFloat FakeCaptionAppearance::getWindowRoundedCornerRadius(MACaptionAppearanceDomain,
                                                            MACaptionAppearanceBehavior* behavior) {
    return read(&Values::windowRoundedCornerRadius, behavior);
}

MACaptionAppearanceTextEdgeStyle FakeCaptionAppearance::getTextEdgeStyle(
    MACaptionAppearanceDomain, MACaptionAppearanceBehavior* behavior) {
    return read(&Values::textEdgeStyle, behavior);
}

CGFloat FakeCaptionAppearance::getRelativeCharacterSize(MACaptionAppearanceDomain,
                                                        MACaptionAppearanceBehavior* behavior) {
    return read(&Values::relativeCharacterSize, behavior);
}

MACaptionAppearanceDisplayType FakeCaptionAppearance::getDisplayType(MACaptionAppearanceDomain) {
    return read(&Values::displayType, nullptr);
}

std::vector<std::string> FakeCaptionAppearance::copySelectedLanguages(MACaptionAppearanceDomain) {
    return read(&Values::selectedLanguages, nullptr);
}

std::vector<std::string> FakeCaptionAppearance::copyPreferredCaptioningMediaCharacteristics(
    MACaptionAppearanceDomain) {
    return read(&Values::preferredCaptioningMediaCharacteristics, nullptr);
}

std::vector<std::string> FakeCaptionAppearance::copyPreferredAudibleMediaCharacteristics() {
    return read(&Values::preferredAudibleMediaCharacteristics, nullptr);
}

}  // namespace platform
