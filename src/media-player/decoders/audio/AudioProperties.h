#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
}

#include "platform/coreaudio/AudioChannelLayoutTag.h"
#include "platform/coreaudio/AudioStreamBasicDescription.h"
#include "platform/coremedia/CMFormatDescription.h"

namespace quillon {

// The user default that lets the renderer spatialize multichannel audio where the system
// supports it only on request.
inline constexpr const char* QPAllowAudioSpatialization = "QPAllowAudioSpatialization";
// The format-description extension that asks for spatialization.
inline constexpr const char* QLEnableSpatialization = "QLEnableSpatialization";

// The linear PCM format that decoded audio is handed out in: FFmpeg's sample format, rate and
// channels, as Core Audio describes them (always interleaved; planar FFmpeg samples are
// interleaved on the way).
struct AudioProperties {
    // The properties whose change between frames ends the current sample buffer.
    struct BufferLevelProperties {
        std::int32_t sampleRate = 0;
        std::intptr_t channelCount = 0;
        // FFmpeg's channel mask; 0 when FFmpeg gives none.
        std::uint64_t ffmpegChannelLayout = 0;

        friend bool operator==(const BufferLevelProperties&,
                               const BufferLevelProperties&) = default;
    };

    // The properties of an opened decoder's output. Throws FFmpegError for sample formats that
    // linear PCM cannot describe.
    explicit AudioProperties(const AVCodecContext& decoderContext);

    // The properties of frames in this format; bitsPerRawSample < 1 means all bits of the
    // sample are significant.
    AudioProperties(AVSampleFormat sampleFormat, int sampleRate, const AVChannelLayout& layout,
                    int bitsPerRawSample);

    BufferLevelProperties bufferLevelProperties;
    // Core Audio flags of the interleaved output (never kAudioFormatFlagIsNonInterleaved).
    std::uint32_t audioFormatFlags = 0;
    // FFmpeg delivers one plane per channel.
    bool needsConversionToInterleaved = false;
    std::intptr_t bytesPerSample = 0;
    // Significant bits of a sample (high-aligned in its bytes).
    std::intptr_t bitsPerSample = 0;
    // The FFmpeg format the flags describe; a frame in another format needs new properties.
    AVSampleFormat sampleFormat = AV_SAMPLE_FMT_NONE;

    // The description of sample buffers in this format: the stream description, the layout tag
    // and, where the system spatializes only on request and the user allows it, the
    // spatialization extension. Throws the layout errors of channelLayout().
    platform::CMAudioFormatDescriptionRef makeAudioFormatDescription() const;

    platform::AudioStreamBasicDescription makeStreamBasicDescription(bool interleaved) const;

    // Core Audio format flags of an FFmpeg sample format, with kAudioFormatFlagIsNonInterleaved
    // for planar formats. Throws unknownSampleFormat beyond the known formats.
    static std::uint32_t makeAudioFormatFlags(AVSampleFormat sampleFormat);

    // The Core Audio layout tag for an FFmpeg channel mask and channel count; logs when it has
    // to fall back to the default layout of the count. Throws unsupportedChannelCount,
    // unexpectedChannelType, channelLayoutDoesNotMatchChannelCount or unsupportedChannelLayout.
    static platform::AudioChannelLayoutTag channelLayout(std::uint64_t ffmpegChannelLayout,
                                                         std::intptr_t channelCount);

    // The same choice without the log line, for callers that only ask whether a layout can be
    // described.
    static platform::AudioChannelLayoutTag matchChannelLayout(std::uint64_t ffmpegChannelLayout,
                                                              std::intptr_t channelCount);

    // Where each channel of the tag that matchChannelLayout chooses comes from: for each
    // channel in the tag's order, the index (in FFmpeg's order) of the FFmpeg channel that
    // belongs there. Empty when FFmpeg's order is the tag's already, or FFmpeg gives no layout
    // and so no order to go by. Throws as matchChannelLayout.
    static std::vector<int> channelOrder(std::uint64_t ffmpegChannelLayout,
                                         std::intptr_t channelCount);

    // Equal in every described property.
    friend bool operator==(const AudioProperties& a, const AudioProperties& b) {
        return a.bufferLevelProperties == b.bufferLevelProperties &&
               a.audioFormatFlags == b.audioFormatFlags &&
               a.needsConversionToInterleaved == b.needsConversionToInterleaved &&
               a.bytesPerSample == b.bytesPerSample && a.bitsPerSample == b.bitsPerSample &&
               a.sampleFormat == b.sampleFormat;
    }

    // Copies made from one set of properties share this note, so that a decoder that makes a
    // description every second says once, not every time, that it fell back to a default
    // layout. New properties start a new note.
    std::shared_ptr<bool> defaultLayoutLogged = std::make_shared<bool>(false);
};

// FFmpeg's channel mask of a layout whose channels are in FFmpeg's native order: the mask of a
// native layout, the equivalent mask of a custom layout that lists known channels in native
// order, 0 for an unspecified order. None for layouts that no mask describes (custom orders,
// ambisonics).
std::optional<std::uint64_t> nativeChannelMask(const AVChannelLayout& layout);

// The layout's FFmpeg description ("5.1(side)", "3 channels"), for logs.
std::string channelLayoutDescription(const AVChannelLayout& layout);

}  // namespace quillon
