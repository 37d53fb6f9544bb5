#include "media-player/decoders/audio/AudioProperties.h"

#include <limits>

#include <fmt/format.h>

#include "media-player/decoders/common/DarwinCall.h"
#include "media-player/decoders/common/FFmpegError.h"
#include "platform/coremedia/CMAudioFormatDescription.h"
#include "platform/foundation/FatalError.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/foundation/UserDefaults.h"

namespace quillon {

namespace {

using namespace platform;

template <typename Value>
std::uint32_t checkedUInt32(Value value, const char* what) {
    precondition(value >= 0 &&
                     static_cast<std::uint64_t>(value) <= std::numeric_limits<std::uint32_t>::max(),
                 what);
    return static_cast<std::uint32_t>(value);
}

// Whether the format description asks for spatialization: only where the system spatializes
// multichannel audio on request (macOS 11.4 up to 12), when the user allows it, for layouts of
// at least three channels that are not already binaural.
bool wantsSpatialization(AudioChannelLayoutTag tag) {
    if (!ProcessInfo::processInfo()->isMacOSInRange({11, 4, 0}, {12, 0, 0})) {
        return false;
    }
    return UserDefaults::standard().boolForKey(QPAllowAudioSpatialization) &&
           tag != kAudioChannelLayoutTag_Binaural &&
           AudioChannelLayoutTag_GetNumberOfChannels(tag) >= 3;
}

}  // namespace

AudioProperties::AudioProperties(const AVCodecContext& decoderContext)
    : AudioProperties(decoderContext.sample_fmt, decoderContext.sample_rate,
                      decoderContext.ch_layout, decoderContext.bits_per_raw_sample) {}

AudioProperties::AudioProperties(AVSampleFormat format, int sampleRate,
                                 const AVChannelLayout& layout, int bitsPerRawSample) {
    const int bytes = av_get_bytes_per_sample(format);
    if (bytes < 1) {
        const FFmpegError error = FFmpegError::unknownAudioSampleSize(format);
        platform::logWarning("av_get_bytes_per_sample returned error: {}.", error.description());
        throw error;
    }
    const std::uint32_t flags = makeAudioFormatFlags(format);
    bufferLevelProperties = {sampleRate, layout.nb_channels, nativeChannelMask(layout).value_or(0)};
    audioFormatFlags = flags & ~kAudioFormatFlagIsNonInterleaved;
    needsConversionToInterleaved = (flags & kAudioFormatFlagIsNonInterleaved) != 0;
    bytesPerSample = bytes;
    bitsPerSample = bitsPerRawSample >= 1 ? bitsPerRawSample : bytes * 8;
    sampleFormat = format;
}

std::uint32_t AudioProperties::makeAudioFormatFlags(AVSampleFormat format) {
    constexpr std::uint32_t isFloat = kAudioFormatFlagIsFloat;
    constexpr std::uint32_t isSigned = kAudioFormatFlagIsSignedInteger;
    constexpr std::uint32_t alignedHigh = kAudioFormatFlagIsAlignedHigh;
    constexpr std::uint32_t nonInterleaved = kAudioFormatFlagIsNonInterleaved;
    switch (format) {
        case AV_SAMPLE_FMT_U8:
            return alignedHigh;
        case AV_SAMPLE_FMT_S16:
        case AV_SAMPLE_FMT_S32:
        case AV_SAMPLE_FMT_S64:
            return isSigned | alignedHigh;
        case AV_SAMPLE_FMT_FLT:
        case AV_SAMPLE_FMT_DBL:
            return isFloat | alignedHigh;
        case AV_SAMPLE_FMT_U8P:
            return alignedHigh | nonInterleaved;
        case AV_SAMPLE_FMT_S16P:
        case AV_SAMPLE_FMT_S32P:
        case AV_SAMPLE_FMT_S64P:
            return isSigned | alignedHigh | nonInterleaved;
        case AV_SAMPLE_FMT_FLTP:
        case AV_SAMPLE_FMT_DBLP:
            return isFloat | alignedHigh | nonInterleaved;
        default:
            break;
    }
    const FFmpegError error = FFmpegError::unknownSampleFormat(format);
    platform::logWarning("Could not initialize AudioFormatFlags: {}.", error.description());
    throw error;
}

AudioStreamBasicDescription AudioProperties::makeStreamBasicDescription(bool interleaved) const {
    const std::uint32_t channels =
        checkedUInt32(bufferLevelProperties.channelCount, "The channel count must fit 32 bits.");
    const std::uint32_t sampleBytes =
        checkedUInt32(bytesPerSample, "The sample size must fit 32 bits.");
    const std::uint32_t frameBytes =
        checkedUInt32(std::uint64_t{channels} * sampleBytes, "The frame size must fit 32 bits.");
    const std::uint32_t bits = checkedUInt32(bitsPerSample, "The sample bits must fit 32 bits.");
    AudioStreamBasicDescription description;
    description.mSampleRate = bufferLevelProperties.sampleRate;
    description.mFormatID = kAudioFormatLinearPCM;
    description.mFramesPerPacket = 1;
    description.mChannelsPerFrame = channels;
    description.mBitsPerChannel = bits;
    description.mReserved = 0;
    if (interleaved) {
        description.mFormatFlags = audioFormatFlags & ~kAudioFormatFlagIsNonInterleaved;
        description.mBytesPerPacket = description.mBytesPerFrame = frameBytes;
    } else {
        description.mFormatFlags = audioFormatFlags | kAudioFormatFlagIsNonInterleaved;
        description.mBytesPerPacket = description.mBytesPerFrame = sampleBytes;
    }
    return description;
}

CMAudioFormatDescriptionRef AudioProperties::makeAudioFormatDescription() const {
    const AudioChannelLayoutTag tag = matchChannelLayout(bufferLevelProperties.ffmpegChannelLayout,
                                                         bufferLevelProperties.channelCount);
    if (bufferLevelProperties.ffmpegChannelLayout == 0 && !*defaultLayoutLogged) {
        *defaultLayoutLogged = true;
        platform::logInfo(
            "FFmpeg did not provide a channel layout, so using the default standard layout for "
            "{} channels: {}.",
            bufferLevelProperties.channelCount, tag);
    }

    CFDictionaryRef extensions;
    if (wantsSpatialization(tag)) {
        extensions = std::make_shared<const CFDictionary>(
            CFDictionary{{QLEnableSpatialization, CFValue(true)}});
    }
    const AudioStreamBasicDescription description = makeStreamBasicDescription(true);
    const AudioChannelLayout layout = AudioChannelLayout::withTag(tag);
    CMAudioFormatDescriptionRef formatDescription;
    try {
        performDarwinCall({}, "makeAudioFormatDescription()", [&] {
            return CMAudioFormatDescriptionCreate(&description, kAudioChannelLayoutStructByteSize,
                                                  &layout, 0, nullptr, extensions,
                                                  &formatDescription);
        });
    } catch (const platform::Error&) {
        platform::fatalError("Unable to create the audio format description.");
    }
    return formatDescription;
}

std::optional<std::uint64_t> nativeChannelMask(const AVChannelLayout& layout) {
    switch (layout.order) {
        case AV_CHANNEL_ORDER_UNSPEC:
            return 0;
        case AV_CHANNEL_ORDER_NATIVE:
            return layout.u.mask;
        case AV_CHANNEL_ORDER_CUSTOM: {
            std::uint64_t mask = 0;
            int previous = -1;
            for (int index = 0; index < layout.nb_channels; ++index) {
                const int channel = layout.u.map[index].id;
                if (channel <= previous || channel >= 64) {
                    return std::nullopt;
                }
                mask |= std::uint64_t{1} << channel;
                previous = channel;
            }
            return mask;
        }
        default:
            return std::nullopt;
    }
}

std::string channelLayoutDescription(const AVChannelLayout& layout) {
    char text[128] = {};
    if (av_channel_layout_describe(&layout, text, sizeof text) < 0) {
        return fmt::format("{} channels", layout.nb_channels);
    }
    return text;
}

}  // namespace quillon
