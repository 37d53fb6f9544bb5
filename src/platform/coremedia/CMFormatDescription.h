#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/coreaudio/AudioChannelLayout.h"
#include "platform/coreaudio/AudioStreamBasicDescription.h"
#include "platform/corefoundation/CFBase.h"
#include "platform/corefoundation/CFDictionary.h"

namespace platform {

inline constexpr OSStatus kCMFormatDescriptionError_InvalidParameter = -12710;
inline constexpr OSStatus kCMFormatDescriptionError_AllocationFailed = -12711;
inline constexpr OSStatus kCMFormatDescriptionError_ValueNotAvailable = -12718;

using CMMediaType = FourCharCode;
inline constexpr CMMediaType kCMMediaType_Video = fourCharCode("vide");
inline constexpr CMMediaType kCMMediaType_Audio = fourCharCode("soun");
inline constexpr CMMediaType kCMMediaType_Muxed = fourCharCode("muxx");
inline constexpr CMMediaType kCMMediaType_Text = fourCharCode("text");
inline constexpr CMMediaType kCMMediaType_ClosedCaption = fourCharCode("clcp");
inline constexpr CMMediaType kCMMediaType_Subtitle = fourCharCode("sbtl");
inline constexpr CMMediaType kCMMediaType_TimeCode = fourCharCode("tmcd");
inline constexpr CMMediaType kCMMediaType_Metadata = fourCharCode("meta");

using CMVideoCodecType = FourCharCode;

struct CMVideoDimensions {
    std::int32_t width = 0;
    std::int32_t height = 0;
    friend bool operator==(const CMVideoDimensions&, const CMVideoDimensions&) = default;
};

// What the samples of a buffer are: their media type, their format within it and the
// extensions that qualify it (colour, aspect ratio, spatial-audio wishes and so on). Immutable,
// so one description can be shared by any number of sample buffers and threads. Made by the
// Create functions, which check their arguments first.
class CMFormatDescription {
public:
    struct AudioFormat {
        AudioStreamBasicDescription streamBasicDescription;
        std::optional<AudioChannelLayout> channelLayout;
        // The size the creator gave for the layout (at least the layout's own byte size).
        std::size_t channelLayoutSize = 0;
        std::vector<std::uint8_t> magicCookie;
        friend bool operator==(const AudioFormat&, const AudioFormat&) = default;
    };
    struct VideoFormat {
        CMVideoDimensions dimensions;
        friend bool operator==(const VideoFormat&, const VideoFormat&) = default;
    };

    CMFormatDescription(CMMediaType mediaType, FourCharCode mediaSubType,
                        CFDictionaryRef extensions, std::optional<AudioFormat> audio = std::nullopt,
                        std::optional<VideoFormat> video = std::nullopt);

    CMMediaType mediaType() const { return mediaType_; }
    FourCharCode mediaSubType() const { return mediaSubType_; }
    // Null when the description has no extensions.
    const CFDictionaryRef& extensions() const { return extensions_; }
    const std::optional<AudioFormat>& audio() const { return audio_; }
    const std::optional<VideoFormat>& video() const { return video_; }

    std::string description() const;

private:
    CMMediaType mediaType_;
    FourCharCode mediaSubType_;
    CFDictionaryRef extensions_;
    std::optional<AudioFormat> audio_;
    std::optional<VideoFormat> video_;
};

using CMFormatDescriptionRef = std::shared_ptr<const CMFormatDescription>;
using CMAudioFormatDescriptionRef = CMFormatDescriptionRef;
using CMVideoFormatDescriptionRef = CMFormatDescriptionRef;

// A description of any media type that needs nothing beyond a subtype and extensions (text,
// subtitles). An empty extension dictionary counts as none.
OSStatus CMFormatDescriptionCreate(CMMediaType mediaType, FourCharCode mediaSubType,
                                   const CFDictionaryRef& extensions,
                                   CMFormatDescriptionRef* formatDescriptionOut);

// 0 for a null description.
CMMediaType CMFormatDescriptionGetMediaType(const CMFormatDescriptionRef& description);
FourCharCode CMFormatDescriptionGetMediaSubType(const CMFormatDescriptionRef& description);
// Null when there are none.
CFDictionaryRef CMFormatDescriptionGetExtensions(const CMFormatDescriptionRef& description);
// The extension's value, valid as long as the description; null when it is absent.
const CFValue* CMFormatDescriptionGetExtension(const CMFormatDescriptionRef& description,
                                               const std::string& extensionKey);

// Same media type, subtype, format and extensions (no extensions equals empty extensions).
// Two null descriptions are equal.
bool CMFormatDescriptionEqual(const CMFormatDescriptionRef& first,
                              const CMFormatDescriptionRef& second);

}  // namespace platform
