#include "platform/audio-output/AudioInputConverter.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libswresample/swresample.h>
}

#include <fmt/format.h>

#include "platform/coreaudio/AudioChannelLabel.h"
#include "platform/coremedia/CMAudioFormatDescription.h"
#include "platform/foundation/AVError.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/FatalError.h"

namespace platform {

namespace {

// Input is converted this many frames at a time, so the scratch space stays small.
constexpr std::size_t kConversionBlockFrames = 4096;
// Buffers that start this close to where the previous one ended continue its stream: containers
// with millisecond timestamps place consecutive buffers a fraction of a millisecond off.
constexpr double kContinuityToleranceSeconds = 0.002;

enum class SampleType { u8, s16, s32, s64, f32, f64 };

std::size_t bytesOf(SampleType type) {
    switch (type) {
        case SampleType::u8:
            return 1;
        case SampleType::s16:
            return 2;
        case SampleType::s32:
        case SampleType::f32:
            return 4;
        case SampleType::s64:
        case SampleType::f64:
            return 8;
    }
    return 0;
}

[[noreturn]] void throwUnsupported(const std::string& why) {
    throw NSError(AVFoundationErrorDomain, AVErrorDecodeFailed,
                  {{NSLocalizedDescriptionKey, std::string("The audio cannot be played.")},
                   {NSLocalizedFailureReasonErrorKey, why}});
}

// FFmpeg's channel of a Core Audio label; 0 for labels FFmpeg has no channel for.
std::uint64_t ffmpegChannelOfLabel(AudioChannelLabel label) {
    if (label >= kAudioChannelLabel_Left && label <= kAudioChannelLabel_TopBackRight) {
        // Front left … top back right are numbered alike on both sides.
        return std::uint64_t{1} << (label - 1);
    }
    switch (label) {
        case kAudioChannelLabel_Mono:
            return AV_CH_FRONT_CENTER;
        case kAudioChannelLabel_RearSurroundLeft:
            return AV_CH_SURROUND_DIRECT_LEFT;
        case kAudioChannelLabel_RearSurroundRight:
            return AV_CH_SURROUND_DIRECT_RIGHT;
        case kAudioChannelLabel_LeftWide:
            return AV_CH_WIDE_LEFT;
        case kAudioChannelLabel_RightWide:
            return AV_CH_WIDE_RIGHT;
        case kAudioChannelLabel_LFE2:
            return AV_CH_LOW_FREQUENCY_2;
        case kAudioChannelLabel_LeftTotal:
            return AV_CH_STEREO_LEFT;
        case kAudioChannelLabel_RightTotal:
            return AV_CH_STEREO_RIGHT;
        case kAudioChannelLabel_LeftSideSurround:
            return AV_CH_SIDE_LEFT;
        case kAudioChannelLabel_RightSideSurround:
            return AV_CH_SIDE_RIGHT;
        case kAudioChannelLabel_HeadphonesLeft:
        case kAudioChannelLabel_BinauralLeft:
            return AV_CH_FRONT_LEFT;
        case kAudioChannelLabel_HeadphonesRight:
        case kAudioChannelLabel_BinauralRight:
            return AV_CH_FRONT_RIGHT;
        default:
            return 0;
    }
}

std::uint64_t ffmpegChannelBesideRearSurround(AudioChannelLabel label) {
    switch (label) {
        case kAudioChannelLabel_LeftSurround:
            return AV_CH_SIDE_LEFT;
        case kAudioChannelLabel_RightSurround:
            return AV_CH_SIDE_RIGHT;
        case kAudioChannelLabel_RearSurroundLeft:
            return AV_CH_BACK_LEFT;
        case kAudioChannelLabel_RearSurroundRight:
            return AV_CH_BACK_RIGHT;
        default:
            return ffmpegChannelOfLabel(label);
    }
}

// The channels FFmpeg would assume for a count.
std::uint64_t defaultChannelMask(int channelCount) {
    AVChannelLayout layout{};
    av_channel_layout_default(&layout, channelCount);
    const std::uint64_t mask = layout.order == AV_CHANNEL_ORDER_NATIVE ? layout.u.mask : 0;
    av_channel_layout_uninit(&layout);
    if (mask != 0) {
        return mask;
    }
    return channelCount >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << channelCount) - 1;
}

template <typename Sample>
Sample load(const std::uint8_t* bytes) {
    Sample value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

float toFloat(const std::uint8_t* bytes, SampleType type) {
    switch (type) {
        case SampleType::u8:
            return (float(bytes[0]) - 128.0f) / 128.0f;
        case SampleType::s16:
            return float(load<std::int16_t>(bytes)) / 32768.0f;
        case SampleType::s32:
            return float(double(load<std::int32_t>(bytes)) / 2147483648.0);
        case SampleType::s64:
            return float(double(load<std::int64_t>(bytes)) / 9223372036854775808.0);
        case SampleType::f32:
            return load<float>(bytes);
        case SampleType::f64:
            return float(load<double>(bytes));
    }
    return 0;
}

struct SwrContextDeleter {
    void operator()(SwrContext* context) const { swr_free(&context); }
};

}  // namespace

struct AudioInputConverter::InputFormat {
    SampleType type = SampleType::f32;
    int channelCount = 0;
    int sampleRate = 0;
    std::uint64_t channelMask = 0;
    // Where each channel of the stream goes among the channels in FFmpeg's order.
    std::vector<int> destinationOfChannel;

    std::size_t bytesPerFrame() const { return bytesOf(type) * std::size_t(channelCount); }

    bool operator==(const InputFormat&) const = default;

    static InputFormat of(const CMSampleBufferRef& sampleBuffer) {
        const CMFormatDescriptionRef description = CMSampleBufferGetFormatDescription(sampleBuffer);
        const AudioStreamBasicDescription* asbd =
            description ? CMAudioFormatDescriptionGetStreamBasicDescription(description) : nullptr;
        if (asbd == nullptr) {
            throwUnsupported("The sample buffer has no audio format.");
        }
        if (asbd->mFormatID != kAudioFormatLinearPCM) {
            throwUnsupported("Only linear PCM audio can be played.");
        }
        if ((asbd->mFormatFlags & kAudioFormatFlagIsBigEndian) != 0) {
            throwUnsupported("Big-endian audio cannot be played.");
        }
        const std::uint32_t channels = asbd->mChannelsPerFrame;
        if ((asbd->mFormatFlags & kAudioFormatFlagIsNonInterleaved) != 0 && channels > 1) {
            throwUnsupported("Non-interleaved audio cannot be played.");
        }
        if (channels == 0 || channels > 64 || !(asbd->mSampleRate >= 1) ||
            asbd->mSampleRate > 1'000'000 ||
            std::nearbyint(asbd->mSampleRate) != asbd->mSampleRate) {
            throwUnsupported(fmt::format("Unsupported audio format: {}.",
                                         AudioStreamBasicDescriptionCopyDescription(*asbd)));
        }
        InputFormat format;
        format.channelCount = int(channels);
        format.sampleRate = int(asbd->mSampleRate);
        const std::uint32_t sampleBytes = asbd->mBytesPerFrame / channels;
        const bool isFloat = (asbd->mFormatFlags & kAudioFormatFlagIsFloat) != 0;
        const bool isSigned = (asbd->mFormatFlags & kAudioFormatFlagIsSignedInteger) != 0;
        if (isFloat && sampleBytes == 4) {
            format.type = SampleType::f32;
        } else if (isFloat && sampleBytes == 8) {
            format.type = SampleType::f64;
        } else if (!isFloat && !isSigned && sampleBytes == 1) {
            format.type = SampleType::u8;
        } else if (!isFloat && isSigned && sampleBytes == 2) {
            format.type = SampleType::s16;
        } else if (!isFloat && isSigned && sampleBytes == 4) {
            // Fewer significant bits sit high in the word, so the word's scale still holds.
            format.type = SampleType::s32;
        } else if (!isFloat && isSigned && sampleBytes == 8) {
            format.type = SampleType::s64;
        } else {
            throwUnsupported(fmt::format("Unsupported audio sample type: {}.",
                                         AudioStreamBasicDescriptionCopyDescription(*asbd)));
        }
        if (asbd->mBytesPerFrame != sampleBytes * channels) {
            throwUnsupported("The audio frames are not packed.");
        }
        format.placeChannels(description);
        return format;
    }

    // The FFmpeg channels of the layout's labels; FFmpeg's default for the count when the
    // layout is missing or names a channel FFmpeg has not, or one twice.
    void placeChannels(const CMFormatDescriptionRef& description) {
        std::vector<std::uint64_t> channelBits;
        if (const AudioChannelLayout* layout =
                CMAudioFormatDescriptionGetChannelLayout(description, nullptr)) {
            if (const auto labels = AudioChannelLayoutCopyChannelLabels(*layout);
                labels && int(labels->size()) == channelCount) {
                // Beside a rear surround pair, the surround pair is the side one (7.1 with
                // both), and the rear pair takes FFmpeg's back channels.
                const bool hasRearSurround =
                    std::find(labels->begin(), labels->end(),
                              kAudioChannelLabel_RearSurroundLeft) != labels->end();
                std::uint64_t seen = 0;
                for (const AudioChannelLabel label : *labels) {
                    const std::uint64_t bit = hasRearSurround
                                                  ? ffmpegChannelBesideRearSurround(label)
                                                  : ffmpegChannelOfLabel(label);
                    if (bit == 0 || (seen & bit) != 0) {
                        channelBits.clear();
                        break;
                    }
                    seen |= bit;
                    channelBits.push_back(bit);
                }
            }
        }
        if (channelBits.empty()) {
            const std::uint64_t mask = defaultChannelMask(channelCount);
            for (int bit = 0; bit < 64 && int(channelBits.size()) < channelCount; ++bit) {
                if ((mask & (std::uint64_t{1} << bit)) != 0) {
                    channelBits.push_back(std::uint64_t{1} << bit);
                }
            }
        }
        channelMask = 0;
        for (const std::uint64_t bit : channelBits) {
            channelMask |= bit;
        }
        destinationOfChannel.clear();
        for (const std::uint64_t bit : channelBits) {
            destinationOfChannel.push_back(std::popcount(channelMask & (bit - 1)));
        }
    }
};

struct AudioInputConverter::Stream {
    InputFormat format;
    std::unique_ptr<SwrContext, SwrContextDeleter> resampler;
    // Output frames on the time line: where the stream began and how many it has given.
    std::int64_t startFrame = 0;
    std::int64_t producedFrames = 0;
    // Where the next buffer of this stream should begin, in seconds.
    double expectedSeconds = 0;
};

AudioInputConverter::AudioInputConverter(AudioSinkFormat output) : output_(output) {}

AudioInputConverter::~AudioInputConverter() = default;

void AudioInputConverter::reset() {
    stream_.reset();
}

void AudioInputConverter::startStream(const InputFormat& format, CMTime presentationTime) {
    auto stream = std::make_unique<Stream>();
    stream->format = format;
    AVChannelLayout inputLayout{};
    AVChannelLayout outputLayout{};
    av_channel_layout_from_mask(&inputLayout, format.channelMask);
    av_channel_layout_from_mask(&outputLayout, output_.channelMask);
    SwrContext* context = nullptr;
    int status =
        swr_alloc_set_opts2(&context, &outputLayout, AV_SAMPLE_FMT_FLT, output_.sampleRate,
                            &inputLayout, AV_SAMPLE_FMT_FLT, format.sampleRate, 0, nullptr);
    stream->resampler.reset(context);
    if (status >= 0) {
        status = swr_init(context);
    }
    av_channel_layout_uninit(&inputLayout);
    av_channel_layout_uninit(&outputLayout);
    if (status < 0) {
        char text[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(status, text, sizeof text);
        throwUnsupported(fmt::format("The audio cannot be converted for the output: {}.", text));
    }
    stream->startFrame = CMTimeConvertScale(presentationTime, output_.sampleRate,
                                            kCMTimeRoundingMethod_RoundHalfAwayFromZero)
                             .value;
    stream->expectedSeconds = CMTimeGetSeconds(presentationTime);
    stream_ = std::move(stream);
}

std::optional<AudioChunk> AudioInputConverter::convert(const CMSampleBufferRef& sampleBuffer,
                                                       std::vector<float> storage) {
    const InputFormat format = InputFormat::of(sampleBuffer);
    const CMTime presentationTime = CMSampleBufferGetPresentationTimeStamp(sampleBuffer);
    if (!CMTIME_IS_NUMERIC(presentationTime)) {
        throwUnsupported("The sample buffer has no presentation time.");
    }
    const CMBlockBufferRef data = CMSampleBufferGetDataBuffer(sampleBuffer);
    const auto frameCount = std::size_t(CMSampleBufferGetNumSamples(sampleBuffer));
    if (frameCount == 0 || !data) {
        return std::nullopt;
    }
    const std::size_t bytesPerFrame = format.bytesPerFrame();
    if (CMBlockBufferGetDataLength(data) < frameCount * bytesPerFrame) {
        throwUnsupported("The sample buffer holds fewer bytes than its frames need.");
    }

    const double seconds = CMTimeGetSeconds(presentationTime);
    if (!stream_ || !(stream_->format == format) ||
        std::abs(seconds - stream_->expectedSeconds) > kContinuityToleranceSeconds) {
        startStream(format, presentationTime);
    }
    Stream& stream = *stream_;
    stream.expectedSeconds = seconds + double(frameCount) / format.sampleRate;

    AudioChunk chunk;
    chunk.startFrame = stream.startFrame + stream.producedFrames;
    const auto outputChannels = std::size_t(output_.channelCount);
    const int capacity = swr_get_out_samples(stream.resampler.get(), int(frameCount));
    storage.resize(std::size_t(std::max(capacity, 0)) * outputChannels);
    std::size_t produced = 0;

    scratch_.resize(kConversionBlockFrames * std::size_t(format.channelCount));
    gatherBuffer_.resize(kConversionBlockFrames * bytesPerFrame);
    const std::size_t sampleBytes = bytesOf(format.type);
    for (std::size_t first = 0; first < frameCount; first += kConversionBlockFrames) {
        const std::size_t count = std::min(kConversionBlockFrames, frameCount - first);
        char* bytes = nullptr;
        if (CMBlockBufferAccessDataBytes(data, first * bytesPerFrame, count * bytesPerFrame,
                                         gatherBuffer_.data(), &bytes) != 0) {
            throwUnsupported("The sample buffer's data cannot be read.");
        }
        const auto* input = reinterpret_cast<const std::uint8_t*>(bytes);
        const auto channels = std::size_t(format.channelCount);
        for (std::size_t frame = 0; frame < count; ++frame) {
            for (std::size_t channel = 0; channel < channels; ++channel) {
                scratch_[frame * channels + std::size_t(format.destinationOfChannel[channel])] =
                    toFloat(input + (frame * channels + channel) * sampleBytes, format.type);
            }
        }
        const auto* in = reinterpret_cast<const std::uint8_t*>(scratch_.data());
        auto* out = reinterpret_cast<std::uint8_t*>(storage.data() + produced * outputChannels);
        const int converted =
            swr_convert(stream.resampler.get(), &out,
                        int(storage.size() / outputChannels - produced), &in, int(count));
        if (converted < 0) {
            throwUnsupported("The audio cannot be converted for the output.");
        }
        produced += std::size_t(converted);
    }
    storage.resize(produced * outputChannels);
    stream.producedFrames += std::int64_t(produced);
    if (produced == 0) {
        return std::nullopt;
    }
    chunk.samples = std::move(storage);
    return chunk;
}

}  // namespace platform
