#include "platform/accessibility/MACaptionAppearance.h"

#include <mutex>
#include <utility>

#include "platform/accessibility/CaptionAppearanceSettings.h"
#include "platform/foundation/NeverDestroyed.h"
#include "platform/foundation/NotificationCenter.h"

namespace platform {
namespace {

// Never destroyed: detached dispatch threads may still ask for caption settings while the
// process exits.
struct ProviderSlot {
    std::mutex mutex;
    std::shared_ptr<CaptionAppearanceProvider> provider;
};

ProviderSlot& slot() {
    static NeverDestroyed<ProviderSlot> slot;
    return slot.get();
}

}  // namespace

std::shared_ptr<CaptionAppearanceProvider> currentCaptionAppearanceProvider() {
    ProviderSlot& current = slot();
    std::lock_guard lock(current.mutex);
    if (!current.provider) {
        current.provider = std::make_shared<CaptionAppearanceSettings>();
    }
    return current.provider;
}

void setCurrentCaptionAppearanceProvider(std::shared_ptr<CaptionAppearanceProvider> newProvider) {
    ProviderSlot& current = slot();
    std::shared_ptr<CaptionAppearanceProvider> previous;
    {
        std::lock_guard lock(current.mutex);
        previous = std::exchange(current.provider, std::move(newProvider));
    }
    // The previous provider may stop observing its settings here: outside the lock.
    previous.reset();
    NotificationCenter::defaultCenter().post(kMACaptionAppearanceSettingsChangedNotification);
}

// Each call holds the provider (a temporary) while it answers, even if a test replaces it.

std::optional<NSFontDescriptor> MACaptionAppearanceCopyFontDescriptorForStyle(
    MACaptionAppearanceBehavior* behavior, MACaptionAppearanceDomain domain,
    MACaptionAppearanceFontStyle fontStyle) {
    return currentCaptionAppearanceProvider()->copyFontDescriptorForStyle(behavior, domain,
                                                                          fontStyle);
}

std::optional<NSColor> MACaptionAppearanceCopyForegroundColor(
    MACaptionAppearanceDomain domain, MACaptionAppearanceBehavior* behavior) {
    return currentCaptionAppearanceProvider()->copyForegroundColor(domain, behavior);
}

CGFloat MACaptionAppearanceGetForegroundOpacity(MACaptionAppearanceDomain domain,
                                                MACaptionAppearanceBehavior* behavior) {
    return currentCaptionAppearanceProvider()->getForegroundOpacity(domain, behavior);
}

std::optional<NSColor> MACaptionAppearanceCopyBackgroundColor(
    MACaptionAppearanceDomain domain, MACaptionAppearanceBehavior* behavior) {
    return currentCaptionAppearanceProvider()->copyBackgroundColor(domain, behavior);
}

CGFloat MACaptionAppearanceGetBackgroundOpacity(MACaptionAppearanceDomain domain,
                                                MACaptionAppearanceBehavior* behavior) {
    return currentCaptionAppearanceProvider()->getBackgroundOpacity(domain, behavior);
}

std::optional<NSColor> MACaptionAppearanceCopyWindowColor(MACaptionAppearanceDomain domain,
                                                          MACaptionAppearanceBehavior* behavior) {
    return currentCaptionAppearanceProvider()->copyWindowColor(domain, behavior);
}

CGFloat MACaptionAppearanceGetWindowOpacity(MACaptionAppearanceDomain domain,
                                            MACaptionAppearanceBehavior* behavior) {
    return currentCaptionAppearanceProvider()->getWindowOpacity(domain, behavior);
}

CGFloat MACaptionAppearanceGetWindowRoundedCornerRadius(MACaptionAppearanceDomain domain,
                                                        MACaptionAppearanceBehavior* behavior) {
    return currentCaptionAppearanceProvider()->getWindowRoundedCornerRadius(domain, behavior);
}

MACaptionAppearanceTextEdgeStyle MACaptionAppearanceGetTextEdgeStyle(
    MACaptionAppearanceDomain domain, MACaptionAppearanceBehavior* behavior) {
    return currentCaptionAppearanceProvider()->getTextEdgeStyle(domain, behavior);
}

CGFloat MACaptionAppearanceGetRelativeCharacterSize(MACaptionAppearanceDomain domain,
                                                    MACaptionAppearanceBehavior* behavior) {
    return currentCaptionAppearanceProvider()->getRelativeCharacterSize(domain, behavior);
}

MACaptionAppearanceDisplayType MACaptionAppearanceGetDisplayType(MACaptionAppearanceDomain domain) {
    return currentCaptionAppearanceProvider()->getDisplayType(domain);
}

std::vector<std::string> MACaptionAppearanceCopySelectedLanguages(
    MACaptionAppearanceDomain domain) {
    return currentCaptionAppearanceProvider()->copySelectedLanguages(domain);
}

std::vector<std::string> MACaptionAppearanceCopyPreferredCaptioningMediaCharacteristics(
    MACaptionAppearanceDomain domain) {
    return currentCaptionAppearanceProvider()->copyPreferredCaptioningMediaCharacteristics(domain);
}

std::vector<std::string> MAAudibleMediaCopyPreferredCharacteristics() {
    return currentCaptionAppearanceProvider()->copyPreferredAudibleMediaCharacteristics();
}

}  // namespace platform
