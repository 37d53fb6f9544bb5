#include "platform/coremedia/CMFormatDescription.h"

#include <fmt/format.h>

namespace platform {

namespace {
CFDictionaryRef normalizedExtensions(CFDictionaryRef extensions) {
    if (extensions && extensions->empty()) {
        return nullptr;
    }
    return extensions;
}
}  // namespace

CMFormatDescription::CMFormatDescription(CMMediaType mediaType, FourCharCode mediaSubType,
                                         CFDictionaryRef extensions,
                                         std::optional<AudioFormat> audio,
                                         std::optional<VideoFormat> video)
    : mediaType_(mediaType),
      mediaSubType_(mediaSubType),
      extensions_(normalizedExtensions(std::move(extensions))),
      audio_(std::move(audio)),
      video_(std::move(video)) {}

std::string CMFormatDescription::description() const {
    std::string text = fmt::format("<CMFormatDescription '{}' '{}'", fourCharCodeString(mediaType_),
                                   fourCharCodeString(mediaSubType_));
    if (audio_) {
        text += ", " + AudioStreamBasicDescriptionCopyDescription(audio_->streamBasicDescription);
        if (audio_->channelLayout) {
            text += ", " + AudioChannelLayoutCopyDescription(*audio_->channelLayout);
        }
    }
    if (video_) {
        text += fmt::format(", {}x{}", video_->dimensions.width, video_->dimensions.height);
    }
    if (extensions_) {
        text += ", extensions " + extensions_->description();
    }
    return text + ">";
}

OSStatus CMFormatDescriptionCreate(CMMediaType mediaType, FourCharCode mediaSubType,
                                   const CFDictionaryRef& extensions,
                                   CMFormatDescriptionRef* formatDescriptionOut) {
    if (formatDescriptionOut == nullptr || mediaType == 0) {
        return kCMFormatDescriptionError_InvalidParameter;
    }
    *formatDescriptionOut =
        std::make_shared<const CMFormatDescription>(mediaType, mediaSubType, extensions);
    return noErr;
}

CMMediaType CMFormatDescriptionGetMediaType(const CMFormatDescriptionRef& description) {
    return description ? description->mediaType() : 0;
}

FourCharCode CMFormatDescriptionGetMediaSubType(const CMFormatDescriptionRef& description) {
    return description ? description->mediaSubType() : 0;
}

CFDictionaryRef CMFormatDescriptionGetExtensions(const CMFormatDescriptionRef& description) {
    return description ? description->extensions() : nullptr;
}

const CFValue* CMFormatDescriptionGetExtension(const CMFormatDescriptionRef& description,
                                               const std::string& extensionKey) {
    if (!description || !description->extensions()) {
        return nullptr;
    }
    return description->extensions()->find(extensionKey);
}

bool CMFormatDescriptionEqual(const CMFormatDescriptionRef& first,
                              const CMFormatDescriptionRef& second) {
    if (first == second) {
        return true;
    }
    if (!first || !second) {
        return false;
    }
    if (first->mediaType() != second->mediaType() ||
        first->mediaSubType() != second->mediaSubType() || first->audio() != second->audio() ||
        first->video() != second->video()) {
        return false;
    }
    const CFDictionaryRef& a = first->extensions();
    const CFDictionaryRef& b = second->extensions();
    if (!a || !b) {
        return !a && !b;
    }
    return *a == *b;
}

}  // namespace platform
