#include "platform/coremedia/CMAudioFormatDescription.h"

#include <cstdint>

namespace platform {

namespace {

bool layoutMatchesStream(const AudioChannelLayout& layout, std::size_t layoutSize,
                         const AudioStreamBasicDescription& asbd) {
    if (layoutSize < AudioChannelLayoutByteSize(layout)) {
        return false;
    }
    const std::uint32_t channels = AudioChannelLayoutGetNumberOfChannels(layout);
    const bool countIsExplicit =
        layout.mChannelLayoutTag == kAudioChannelLayoutTag_UseChannelDescriptions ||
        layout.mChannelLayoutTag == kAudioChannelLayoutTag_UseChannelBitmap || channels != 0;
    return !countIsExplicit || channels == asbd.mChannelsPerFrame;
}

}  // namespace

OSStatus CMAudioFormatDescriptionCreate(const AudioStreamBasicDescription* asbd,
                                        std::size_t layoutSize, const AudioChannelLayout* layout,
                                        std::size_t magicCookieSize, const void* magicCookie,
                                        const CFDictionaryRef& extensions,
                                        CMAudioFormatDescriptionRef* formatDescriptionOut) {
    if (formatDescriptionOut == nullptr || asbd == nullptr ||
        !AudioStreamBasicDescriptionIsValid(*asbd)) {
        return kCMFormatDescriptionError_InvalidParameter;
    }
    if (layout == nullptr ? layoutSize != 0 : !layoutMatchesStream(*layout, layoutSize, *asbd)) {
        return kCMFormatDescriptionError_InvalidParameter;
    }
    if (magicCookieSize != 0 && magicCookie == nullptr) {
        return kCMFormatDescriptionError_InvalidParameter;
    }
    CMFormatDescription::AudioFormat audio;
    audio.streamBasicDescription = *asbd;
    if (layout != nullptr) {
        audio.channelLayout = *layout;
        audio.channelLayoutSize = layoutSize;
    }
    if (magicCookieSize != 0) {
        const auto* cookie = static_cast<const std::uint8_t*>(magicCookie);
        audio.magicCookie.assign(cookie, cookie + magicCookieSize);
    }
    *formatDescriptionOut = std::make_shared<const CMFormatDescription>(
        kCMMediaType_Audio, asbd->mFormatID, extensions, std::move(audio));
    return noErr;
}

const AudioStreamBasicDescription* CMAudioFormatDescriptionGetStreamBasicDescription(
    const CMAudioFormatDescriptionRef& description) {
    if (!description || !description->audio()) {
        return nullptr;
    }
    return &description->audio()->streamBasicDescription;
}

const AudioChannelLayout* CMAudioFormatDescriptionGetChannelLayout(
    const CMAudioFormatDescriptionRef& description, std::size_t* sizeOut) {
    const bool hasLayout =
        description && description->audio() && description->audio()->channelLayout;
    if (sizeOut != nullptr) {
        *sizeOut = hasLayout ? description->audio()->channelLayoutSize : 0;
    }
    return hasLayout ? &*description->audio()->channelLayout : nullptr;
}

const void* CMAudioFormatDescriptionGetMagicCookie(const CMAudioFormatDescriptionRef& description,
                                                   std::size_t* sizeOut) {
    const bool hasCookie =
        description && description->audio() && !description->audio()->magicCookie.empty();
    if (sizeOut != nullptr) {
        *sizeOut = hasCookie ? description->audio()->magicCookie.size() : 0;
    }
    return hasCookie ? description->audio()->magicCookie.data() : nullptr;
}

}  // namespace platform
