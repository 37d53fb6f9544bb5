#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/graphics/CGGeometry.h"
#include "platform/graphics/NSColor.h"
#include "platform/graphics/NSFontDescriptor.h"

namespace platform {

// The user's caption and language preferences for media: how captions look, which caption
// languages and accessibility characteristics the user prefers. The values come from a
// CaptionAppearanceProvider: by default the user's settings (CaptionAppearanceSettings), in tests
// a fake.

enum MACaptionAppearanceDomain : long {
    // The system's built-in values.
    kMACaptionAppearanceDomainDefault = 0,
    // The user's values, falling back to the built-in ones.
    kMACaptionAppearanceDomainUser = 1,
};

// Whether the user's value should win over the content's own. Reported through the optional
// out-argument of each call; our settings always ask for their value to be used.
enum MACaptionAppearanceBehavior : long {
    kMACaptionAppearanceBehaviorUseValue = 0,
    kMACaptionAppearanceBehaviorUseContentIfAvailable = 1,
};

enum MACaptionAppearanceDisplayType : long {
    kMACaptionAppearanceDisplayTypeForcedOnly = 0,
    kMACaptionAppearanceDisplayTypeAutomatic = 1,
    kMACaptionAppearanceDisplayTypeAlwaysOn = 2,
};

enum MACaptionAppearanceTextEdgeStyle : long {
    kMACaptionAppearanceTextEdgeStyleUndefined = 0,
    kMACaptionAppearanceTextEdgeStyleNone = 1,
    kMACaptionAppearanceTextEdgeStyleRaised = 2,
    kMACaptionAppearanceTextEdgeStyleDepressed = 3,
    kMACaptionAppearanceTextEdgeStyleUniform = 4,
    kMACaptionAppearanceTextEdgeStyleDropShadow = 5,
};

enum MACaptionAppearanceFontStyle : long {
    kMACaptionAppearanceFontStyleDefault = 0,
    kMACaptionAppearanceFontStyleMonospacedWithSerif = 1,
    kMACaptionAppearanceFontStyleProportionalWithSerif = 2,
    kMACaptionAppearanceFontStyleMonospacedWithoutSerif = 3,
    kMACaptionAppearanceFontStyleProportionalWithoutSerif = 4,
    kMACaptionAppearanceFontStyleCasual = 5,
    kMACaptionAppearanceFontStyleCursive = 6,
    kMACaptionAppearanceFontStyleSmallCapital = 7,
};

// Media characteristics that the preferences list.
inline constexpr const char* MAMediaCharacteristicDescribesMusicAndSoundForAccessibility =
    "public.accessibility.describes-music-and-sound";
inline constexpr const char* MAMediaCharacteristicTranscribesSpokenDialogForAccessibility =
    "public.accessibility.transcribes-spoken-dialog";
inline constexpr const char* MAMediaCharacteristicDescribesVideoForAccessibility =
    "public.accessibility.describes-video";

// Posted on NotificationCenter::defaultCenter(), without an object, after any caption or
// language preference changed.
inline constexpr const char* kMACaptionAppearanceSettingsChangedNotification =
    "kMACaptionAppearanceSettingsChangedNotification";

// Where the preferences come from. Implementations are thread-safe and post
// kMACaptionAppearanceSettingsChangedNotification when their values change.
class CaptionAppearanceProvider {
public:
    virtual ~CaptionAppearanceProvider() = default;

    // Nullopt when no font is set for the style.
    virtual std::optional<NSFontDescriptor> copyFontDescriptorForStyle(
        MACaptionAppearanceBehavior* behavior, MACaptionAppearanceDomain domain,
        MACaptionAppearanceFontStyle fontStyle) = 0;
    virtual std::optional<NSColor> copyForegroundColor(MACaptionAppearanceDomain domain,
                                                       MACaptionAppearanceBehavior* behavior) = 0;
    virtual CGFloat getForegroundOpacity(MACaptionAppearanceDomain domain,
                                         MACaptionAppearanceBehavior* behavior) = 0;
    // Nullopt: no background behind the glyphs.
    virtual std::optional<NSColor> copyBackgroundColor(MACaptionAppearanceDomain domain,
                                                       MACaptionAppearanceBehavior* behavior) = 0;
    virtual CGFloat getBackgroundOpacity(MACaptionAppearanceDomain domain,
                                         MACaptionAppearanceBehavior* behavior) = 0;
    virtual std::optional<NSColor> copyWindowColor(MACaptionAppearanceDomain domain,
                                                   MACaptionAppearanceBehavior* behavior) = 0;
    virtual CGFloat getWindowOpacity(MACaptionAppearanceDomain domain,
                                     MACaptionAppearanceBehavior* behavior) = 0;
    virtual CGFloat getWindowRoundedCornerRadius(MACaptionAppearanceDomain domain,
                                                 MACaptionAppearanceBehavior* behavior) = 0;
    virtual MACaptionAppearanceTextEdgeStyle getTextEdgeStyle(
        MACaptionAppearanceDomain domain, MACaptionAppearanceBehavior* behavior) = 0;
    virtual CGFloat getRelativeCharacterSize(MACaptionAppearanceDomain domain,
                                             MACaptionAppearanceBehavior* behavior) = 0;
    virtual MACaptionAppearanceDisplayType getDisplayType(MACaptionAppearanceDomain domain) = 0;
    // Language identifiers in the user's order of preference.
    virtual std::vector<std::string> copySelectedLanguages(MACaptionAppearanceDomain domain) = 0;
    virtual std::vector<std::string> copyPreferredCaptioningMediaCharacteristics(
        MACaptionAppearanceDomain domain) = 0;
    virtual std::vector<std::string> copyPreferredAudibleMediaCharacteristics() = 0;
};

// The provider the MACaptionAppearance... functions ask: the user's settings unless a test set
// another.
std::shared_ptr<CaptionAppearanceProvider> currentCaptionAppearanceProvider();
// Replaces the provider (null restores the user's settings); posts
// kMACaptionAppearanceSettingsChangedNotification, since every value may have changed.
void setCurrentCaptionAppearanceProvider(std::shared_ptr<CaptionAppearanceProvider> provider);

std::optional<NSFontDescriptor> MACaptionAppearanceCopyFontDescriptorForStyle(
    MACaptionAppearanceBehavior* behavior, MACaptionAppearanceDomain domain,
    MACaptionAppearanceFontStyle fontStyle);
std::optional<NSColor> MACaptionAppearanceCopyForegroundColor(
    MACaptionAppearanceDomain domain, MACaptionAppearanceBehavior* behavior);
CGFloat MACaptionAppearanceGetForegroundOpacity(MACaptionAppearanceDomain domain,
                                                MACaptionAppearanceBehavior* behavior);
std::optional<NSColor> MACaptionAppearanceCopyBackgroundColor(
    MACaptionAppearanceDomain domain, MACaptionAppearanceBehavior* behavior);
CGFloat MACaptionAppearanceGetBackgroundOpacity(MACaptionAppearanceDomain domain,
                                                MACaptionAppearanceBehavior* behavior);
std::optional<NSColor> MACaptionAppearanceCopyWindowColor(MACaptionAppearanceDomain domain,
                                                          MACaptionAppearanceBehavior* behavior);
CGFloat MACaptionAppearanceGetWindowOpacity(MACaptionAppearanceDomain domain,
                                            MACaptionAppearanceBehavior* behavior);
CGFloat MACaptionAppearanceGetWindowRoundedCornerRadius(MACaptionAppearanceDomain domain,
                                                        MACaptionAppearanceBehavior* behavior);
MACaptionAppearanceTextEdgeStyle MACaptionAppearanceGetTextEdgeStyle(
    MACaptionAppearanceDomain domain, MACaptionAppearanceBehavior* behavior);
CGFloat MACaptionAppearanceGetRelativeCharacterSize(MACaptionAppearanceDomain domain,
                                                    MACaptionAppearanceBehavior* behavior);
MACaptionAppearanceDisplayType MACaptionAppearanceGetDisplayType(MACaptionAppearanceDomain domain);
std::vector<std::string> MACaptionAppearanceCopySelectedLanguages(MACaptionAppearanceDomain domain);
std::vector<std::string> MACaptionAppearanceCopyPreferredCaptioningMediaCharacteristics(
    MACaptionAppearanceDomain domain);
std::vector<std::string> MAAudibleMediaCopyPreferredCharacteristics();

}  // namespace platform
