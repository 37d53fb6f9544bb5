#pragma once

#include <cstddef>

#include "platform/coreaudio/AudioChannelLayout.h"
#include "platform/coreaudio/AudioStreamBasicDescription.h"
#include "platform/coremedia/CMFormatDescription.h"

namespace platform {

// An audio description from a stream description, an optional channel layout and an optional
// codec cookie. layoutSize is the byte size the caller gives for the layout (as the platform's
// callers pass the size of a variable-length structure): 0 without a layout, otherwise at least
// AudioChannelLayoutByteSize(*layout). A layout must describe as many channels as the stream
// has (a tag without a channel count, such as a bare DiscreteInOrder, is not checked). The
// media subtype is the stream's format ID. Fails with kCMFormatDescriptionError_InvalidParameter.
OSStatus CMAudioFormatDescriptionCreate(const AudioStreamBasicDescription* asbd,
                                        std::size_t layoutSize, const AudioChannelLayout* layout,
                                        std::size_t magicCookieSize, const void* magicCookie,
                                        const CFDictionaryRef& extensions,
                                        CMAudioFormatDescriptionRef* formatDescriptionOut);

// Null for a description that is not audio. Valid as long as the description.
const AudioStreamBasicDescription* CMAudioFormatDescriptionGetStreamBasicDescription(
    const CMAudioFormatDescriptionRef& description);

// The layout and the size given for it at creation; null (size 0) when there is none.
const AudioChannelLayout* CMAudioFormatDescriptionGetChannelLayout(
    const CMAudioFormatDescriptionRef& description, std::size_t* sizeOut);

// The codec cookie; null (size 0) when there is none.
const void* CMAudioFormatDescriptionGetMagicCookie(const CMAudioFormatDescriptionRef& description,
                                                   std::size_t* sizeOut);

}  // namespace platform
