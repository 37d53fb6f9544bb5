#include "media-player/decoders/subtitles/SubtitleTextStyleManager.h"

#include "platform/foundation/FatalError.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NeverDestroyed.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/graphics/NSFontManager.h"
#include "platform/graphics/NSShadow.h"

namespace quillon {

using namespace platform;

namespace {

// The user's caption style is built for this font size; the views scale it with the picture.
constexpr CGFloat baseFontSize = 12;
// The edge styles' shadow offset, relative to the font size.
constexpr CGFloat edgeOffsetRatio = 0.0882353;
constexpr CGFloat edgeShadowBlurRadius = 4;
constexpr CGFloat edgeShadowAlpha = 0.6;
constexpr CGFloat uniformStrokeWidth = -19.44444;
constexpr CGFloat dropShadowStrokeWidth = -5.55556;

NSShadow edgeShadow(CGSize offset) {
    return NSShadow{offset, edgeShadowBlurRadius,
                    NSColor::blackColor().colorWithAlphaComponent(edgeShadowAlpha)};
}

}  // namespace

const std::shared_ptr<SubtitleTextStyleManager>& SubtitleTextStyleManager::shared() {
    static NeverDestroyed<std::shared_ptr<SubtitleTextStyleManager>> manager(make());
    return manager.get();
}

std::shared_ptr<SubtitleTextStyleManager> SubtitleTextStyleManager::make(
    std::shared_ptr<CaptionAppearanceProvider> captionAppearance,
    std::shared_ptr<UserDefaults> userDefaults) {
    if (!userDefaults) {
        // The standard defaults live for the process: nothing to own.
        userDefaults =
            std::shared_ptr<UserDefaults>(std::shared_ptr<void>(), &UserDefaults::standard());
    }
    auto manager = std::make_shared<SubtitleTextStyleManager>(
        Passkey{}, std::move(captionAppearance), std::move(userDefaults));
    // Queued before anyone can read, so that every read finds a style.
    manager->queueRebuild();
    std::weak_ptr<SubtitleTextStyleManager> weakManager = manager;
    manager->captionSettingsObservation_ = NotificationCenter::defaultCenter().addObserver(
        kMACaptionAppearanceSettingsChangedNotification, nullptr,
        [weakManager](const Notification& notification) {
            if (auto manager = weakManager.lock()) {
                manager->mediaAccessibilityCaptionAppearanceSettingsDidChange(notification);
            }
        });
    return manager;
}

SubtitleTextStyleManager::SubtitleTextStyleManager(
    Passkey, std::shared_ptr<CaptionAppearanceProvider> captionAppearance,
    std::shared_ptr<UserDefaults> userDefaults)
    : captionAppearance_(std::move(captionAppearance)),
      userDefaults_(std::move(userDefaults)),
      queue_(DispatchQueue::makeSerial("Subtitle Text Style Manager Queue", DispatchQoS::utility)) {
}

SubtitleTextStyleManager::~SubtitleTextStyleManager() {
    captionSettingsObservation_.remove();
    closing_ = true;
    // The queue's blocks use this manager without owning it: once every block queued so far has
    // finished or been skipped, nothing on the queue reads it any more. Waiting here also means
    // the last release never happens on the queue itself, which would leave its thread detached
    // and still running after main() returned.
    queue_->sync([] {});
}

SubtitleTextStyle SubtitleTextStyleManager::userSpecifiedStyle() const {
    return queue_->sync([this] {
        precondition(userSpecifiedStyle_.has_value(),
                     "The user-specified subtitle text style is read before it was built.");
        return *userSpecifiedStyle_;
    });
}

SubtitleTextStyle SubtitleTextStyleManager::resolvedStyle(const SubtitleTextStyle& style) const {
    if (!userDefaults_->boolForKey(QPUseUserSpecifiedSubtitleTextStyle)) {
        return style;
    }
    SubtitleTextStyle resolved = userSpecifiedStyle();
    resolved.apply(style);
    return resolved;
}

void SubtitleTextStyleManager::updateUserSpecifiedStyle() {
    DispatchQueue::global(DispatchQoS::utility).async([weakManager = weak_from_this()] {
        if (auto manager = weakManager.lock()) {
            NotificationCenter::defaultCenter().post(
                SubtitleTextStyleManagerUserSpecifiedTextStyleDidChangeNotification, manager.get());
        }
    });
}

void SubtitleTextStyleManager::mediaAccessibilityCaptionAppearanceSettingsDidChange(
    const Notification&) {
    queueRebuild();
}

void SubtitleTextStyleManager::queueRebuild() {
    // `this` outlives the block: the destructor waits for the queue.
    queue_->async([this] {
        if (!closing_) {
            rebuildUserSpecifiedStyle();
        }
    });
}

void SubtitleTextStyleManager::rebuildUserSpecifiedStyle() {
    const std::shared_ptr<CaptionAppearanceProvider> appearance =
        captionAppearance_ ? captionAppearance_ : currentCaptionAppearanceProvider();
    constexpr MACaptionAppearanceDomain domain = kMACaptionAppearanceDomainUser;

    SubtitleTextStyle style;
    SubtitleTextStyle::TextAttributes& textAttributes = style.textAttributes;
    NSAttributeDictionary& attributes = textAttributes.underlyingTextAttributes;

    if (const auto descriptor = appearance->copyFontDescriptorForStyle(
            nullptr, domain, kMACaptionAppearanceFontStyleDefault)) {
        if (auto font = NSFont::fontWithDescriptor(*descriptor, baseFontSize)) {
            textAttributes.fontTraits = NSFontManager::sharedFontManager().traitsOfFont(*font);
            attributes.insert_or_assign(NSFontAttributeName, std::move(*font));
        }
    }

    const NSColor foreground =
        appearance->copyForegroundColor(domain, nullptr).value_or(NSColor::whiteColor());
    attributes.insert_or_assign(
        NSForegroundColorAttributeName,
        foreground.colorWithAlphaComponent(appearance->getForegroundOpacity(domain, nullptr)));

    if (const auto background = appearance->copyBackgroundColor(domain, nullptr)) {
        attributes.insert_or_assign(
            NSBackgroundColorAttributeName,
            background->colorWithAlphaComponent(appearance->getBackgroundOpacity(domain, nullptr)));
    }

    const CGFloat d = baseFontSize * edgeOffsetRatio;
    const MACaptionAppearanceTextEdgeStyle edgeStyle =
        appearance->getTextEdgeStyle(domain, nullptr);
    switch (edgeStyle) {
        case kMACaptionAppearanceTextEdgeStyleUndefined:
        case kMACaptionAppearanceTextEdgeStyleNone:
            break;
        case kMACaptionAppearanceTextEdgeStyleRaised:
            attributes.insert_or_assign(NSShadowAttributeName, edgeShadow({-d, d}));
            break;
        case kMACaptionAppearanceTextEdgeStyleDepressed:
            attributes.insert_or_assign(NSShadowAttributeName, edgeShadow({d, -d}));
            break;
        case kMACaptionAppearanceTextEdgeStyleUniform:
            attributes.insert_or_assign(NSStrokeWidthAttributeName, uniformStrokeWidth);
            attributes.insert_or_assign(NSStrokeColorAttributeName, NSColor::blackColor());
            break;
        case kMACaptionAppearanceTextEdgeStyleDropShadow:
            attributes.insert_or_assign(NSStrokeWidthAttributeName, dropShadowStrokeWidth);
            attributes.insert_or_assign(NSStrokeColorAttributeName, NSColor::blackColor());
            attributes.insert_or_assign(NSShadowAttributeName, edgeShadow({0, 0}));
            break;
        default:
            logWarning("Unhandled caption text edge style: {}.", static_cast<long>(edgeStyle));
            break;
    }

    const NSColor window =
        appearance->copyWindowColor(domain, nullptr).value_or(NSColor::blackColor());
    style.overlayStyle.backgroundColor =
        window.colorWithAlphaComponent(appearance->getWindowOpacity(domain, nullptr));
    style.overlayStyle.insets = {2, 2};
    style.overlayStyle.cornerRadius = appearance->getWindowRoundedCornerRadius(domain, nullptr);

    style.containerInsets = {12, 12, 12, 12};
    style.alignmentInContainer = SubtitleTextStyle::Alignment::center;
    style.shouldRestrictOverridesToBasicAttributes = true;

    style.scalingInfo.initialBaseFontSize = baseFontSize;
    style.scalingInfo.baseFontSizePercentageRelativeToVideoHeight = 5;
    style.scalingInfo.additionalFontSizeMultiplier =
        appearance->getRelativeCharacterSize(domain, nullptr);

    // The first build gives the style its first value: nothing changed for anyone, and an
    // announcement would have every player re-lay out (and re-seek) for nothing.
    const bool isFirstBuild = !userSpecifiedStyle_;
    userSpecifiedStyle_ = std::move(style);
    if (!isFirstBuild) {
        updateUserSpecifiedStyle();
    }
}

}  // namespace quillon
