#include "platform/audiotoolbox/AudioConverter.h"

#include <cstddef>
#include <cstring>
#include <memory>
#include <vector>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

namespace platform {

namespace {

// The most channels libswresample takes.
constexpr int kMaximumRearrangedChannels = 64;

bool isNonInterleaved(const AudioStreamBasicDescription& description) {
    return (description.mFormatFlags & kAudioFormatFlagIsNonInterleaved) != 0;
}

// Bytes of one sample of one channel.
std::uint32_t bytesPerSample(const AudioStreamBasicDescription& description) {
    return isNonInterleaved(description)
               ? description.mBytesPerFrame
               : description.mBytesPerFrame / description.mChannelsPerFrame;
}

// FFmpeg's name for the interleaved form of the description's samples, or none.
AVSampleFormat interleavedSampleFormat(const AudioStreamBasicDescription& description) {
    const std::uint32_t size = bytesPerSample(description);
    if ((description.mFormatFlags & kAudioFormatFlagIsBigEndian) != 0) {
        return AV_SAMPLE_FMT_NONE;
    }
    if ((description.mFormatFlags & kAudioFormatFlagIsFloat) != 0) {
        return size == 4 ? AV_SAMPLE_FMT_FLT : size == 8 ? AV_SAMPLE_FMT_DBL : AV_SAMPLE_FMT_NONE;
    }
    if ((description.mFormatFlags & kAudioFormatFlagIsSignedInteger) != 0) {
        switch (size) {
            case 2:
                return AV_SAMPLE_FMT_S16;
            case 4:
                return AV_SAMPLE_FMT_S32;
            case 8:
                return AV_SAMPLE_FMT_S64;
            default:
                return AV_SAMPLE_FMT_NONE;
        }
    }
    return size == 1 ? AV_SAMPLE_FMT_U8 : AV_SAMPLE_FMT_NONE;
}

struct SwrContextDeleter {
    void operator()(SwrContext* context) const { swr_free(&context); }
};

// A libswresample context that only changes the arrangement of the samples: same layout,
// rate and sample type on both sides, so it neither mixes nor resamples and keeps nothing
// between calls. Its packing loops are the vectorised ones of FFmpeg. None when libswresample
// cannot take the format.
std::unique_ptr<SwrContext, SwrContextDeleter> makeRearranger(AVSampleFormat interleaved,
                                                              bool fromPlanar, int channels,
                                                              int sampleRate) {
    if (interleaved == AV_SAMPLE_FMT_NONE || channels > kMaximumRearrangedChannels) {
        return nullptr;
    }
    const AVSampleFormat planar = av_get_planar_sample_fmt(interleaved);
    AVChannelLayout layout{};
    av_channel_layout_default(&layout, channels);
    SwrContext* context = nullptr;
    const int allocated =
        swr_alloc_set_opts2(&context, &layout, fromPlanar ? interleaved : planar, sampleRate,
                            &layout, fromPlanar ? planar : interleaved, sampleRate, 0, nullptr);
    av_channel_layout_uninit(&layout);
    std::unique_ptr<SwrContext, SwrContextDeleter> rearranger(context);
    if (allocated < 0 || swr_init(rearranger.get()) < 0) {
        return nullptr;
    }
    return rearranger;
}

void interleaveBytes(const std::vector<const std::uint8_t*>& planes, std::uint8_t* output,
                     std::uint32_t frameCount, std::size_t sampleSize) {
    const std::size_t channels = planes.size();
    for (std::uint32_t frame = 0; frame < frameCount; ++frame) {
        for (std::size_t channel = 0; channel < channels; ++channel) {
            std::memcpy(output + (frame * channels + channel) * sampleSize,
                        planes[channel] + frame * sampleSize, sampleSize);
        }
    }
}

void deinterleaveBytes(const std::uint8_t* input, const std::vector<std::uint8_t*>& planes,
                       std::uint32_t frameCount, std::size_t sampleSize) {
    const std::size_t channels = planes.size();
    for (std::uint32_t frame = 0; frame < frameCount; ++frame) {
        for (std::size_t channel = 0; channel < channels; ++channel) {
            std::memcpy(planes[channel] + frame * sampleSize,
                        input + (frame * channels + channel) * sampleSize, sampleSize);
        }
    }
}

}  // namespace

class OpaqueAudioConverter {
public:
    OpaqueAudioConverter(const AudioStreamBasicDescription& from,
                         const AudioStreamBasicDescription& to)
        : inputNonInterleaved_(isNonInterleaved(from)),
          outputNonInterleaved_(isNonInterleaved(to)),
          channels_(from.mChannelsPerFrame),
          sampleSize_(bytesPerSample(from)) {
        if (channels_ > 1 && inputNonInterleaved_ != outputNonInterleaved_) {
            rearranger_ =
                makeRearranger(interleavedSampleFormat(from), inputNonInterleaved_,
                               static_cast<int>(channels_), static_cast<int>(from.mSampleRate));
        }
    }

    OSStatus convert(std::uint32_t frameCount, const AudioBufferList& input,
                     AudioBufferList& output);

private:
    // Checks that a list has the buffers of its arrangement, each with room for the frames.
    OSStatus checkList(const AudioBufferList& list, bool nonInterleaved, std::uint64_t frameCount,
                       OSStatus sizeError) const;
    void rearrange(std::uint32_t frameCount, const AudioBufferList& input, AudioBufferList& output);

    bool inputNonInterleaved_;
    bool outputNonInterleaved_;
    std::uint32_t channels_;
    std::uint32_t sampleSize_;
    std::unique_ptr<SwrContext, SwrContextDeleter> rearranger_;
    // Reused between calls so that converting allocates nothing once warm.
    std::vector<const std::uint8_t*> inputPlanes_;
    std::vector<std::uint8_t*> outputPlanes_;
};

OSStatus OpaqueAudioConverter::checkList(const AudioBufferList& list, bool nonInterleaved,
                                         std::uint64_t frameCount, OSStatus sizeError) const {
    const std::uint32_t buffers = nonInterleaved ? channels_ : 1;
    const std::uint32_t channelsPerBuffer = nonInterleaved ? 1 : channels_;
    if (list.mNumberBuffers() != buffers) {
        return kAudio_ParamError;
    }
    const std::uint64_t needed = frameCount * channelsPerBuffer * sampleSize_;
    for (const AudioBuffer& buffer : list.mBuffers) {
        if (buffer.mNumberChannels != channelsPerBuffer) {
            return kAudio_ParamError;
        }
        if (needed > 0 && buffer.mData == nullptr) {
            return kAudio_ParamError;
        }
        if (buffer.mDataByteSize < needed) {
            return sizeError;
        }
    }
    return noErr;
}

void OpaqueAudioConverter::rearrange(std::uint32_t frameCount, const AudioBufferList& input,
                                     AudioBufferList& output) {
    inputPlanes_.clear();
    for (const AudioBuffer& buffer : input.mBuffers) {
        inputPlanes_.push_back(static_cast<const std::uint8_t*>(buffer.mData));
    }
    outputPlanes_.clear();
    for (AudioBuffer& buffer : output.mBuffers) {
        outputPlanes_.push_back(static_cast<std::uint8_t*>(buffer.mData));
    }
    if (rearranger_) {
        const int converted =
            swr_convert(rearranger_.get(), outputPlanes_.data(), static_cast<int>(frameCount),
                        inputPlanes_.data(), static_cast<int>(frameCount));
        if (converted == static_cast<int>(frameCount)) {
            return;
        }
        // Neither mixing nor resampling, it cannot fall short; should it ever, the plain loops
        // below write every frame.
    }
    if (inputNonInterleaved_) {
        interleaveBytes(inputPlanes_, outputPlanes_[0], frameCount, sampleSize_);
    } else {
        deinterleaveBytes(inputPlanes_[0], outputPlanes_, frameCount, sampleSize_);
    }
}

OSStatus OpaqueAudioConverter::convert(std::uint32_t frameCount, const AudioBufferList& input,
                                       AudioBufferList& output) {
    if (OSStatus status =
            checkList(input, inputNonInterleaved_, frameCount, kAudioConverterErr_InvalidInputSize);
        status != noErr) {
        return status;
    }
    if (OSStatus status = checkList(output, outputNonInterleaved_, frameCount,
                                    kAudioConverterErr_InvalidOutputSize);
        status != noErr) {
        return status;
    }
    if (frameCount > 0) {
        // A single channel is laid out the same either way.
        if (channels_ > 1 && inputNonInterleaved_ != outputNonInterleaved_) {
            rearrange(frameCount, input, output);
        } else {
            for (std::size_t index = 0; index < input.mBuffers.size(); ++index) {
                std::memmove(
                    output.mBuffers[index].mData, input.mBuffers[index].mData,
                    std::size_t{frameCount} * input.mBuffers[index].mNumberChannels * sampleSize_);
            }
        }
    }
    for (AudioBuffer& buffer : output.mBuffers) {
        buffer.mDataByteSize = static_cast<std::uint32_t>(std::size_t{frameCount} *
                                                          buffer.mNumberChannels * sampleSize_);
    }
    return noErr;
}

OSStatus AudioConverterNew(const AudioStreamBasicDescription* inSourceFormat,
                           const AudioStreamBasicDescription* inDestinationFormat,
                           AudioConverterRef* outAudioConverter) {
    if (inSourceFormat == nullptr || inDestinationFormat == nullptr ||
        outAudioConverter == nullptr) {
        return kAudio_ParamError;
    }
    *outAudioConverter = nullptr;
    const AudioStreamBasicDescription& from = *inSourceFormat;
    const AudioStreamBasicDescription& to = *inDestinationFormat;
    if (!AudioStreamBasicDescriptionIsValid(from) || !AudioStreamBasicDescriptionIsValid(to)) {
        return kAudio_ParamError;
    }
    if (from.mFormatID != kAudioFormatLinearPCM || to.mFormatID != kAudioFormatLinearPCM) {
        return kAudioConverterErr_FormatNotSupported;
    }
    const AudioFormatFlags sampleFlagsFrom = from.mFormatFlags & ~kAudioFormatFlagIsNonInterleaved;
    const AudioFormatFlags sampleFlagsTo = to.mFormatFlags & ~kAudioFormatFlagIsNonInterleaved;
    if (from.mSampleRate != to.mSampleRate || from.mChannelsPerFrame != to.mChannelsPerFrame ||
        from.mBitsPerChannel != to.mBitsPerChannel || sampleFlagsFrom != sampleFlagsTo ||
        bytesPerSample(from) != bytesPerSample(to) || bytesPerSample(from) == 0) {
        return kAudioConverterErr_FormatNotSupported;
    }
    // The converter is handed out as a raw handle, like the platform's, and ends in
    // AudioConverterDispose.
    *outAudioConverter = std::make_unique<OpaqueAudioConverter>(from, to).release();
    return noErr;
}

OSStatus AudioConverterDispose(AudioConverterRef inAudioConverter) {
    if (inAudioConverter == nullptr) {
        return kAudio_ParamError;
    }
    std::unique_ptr<OpaqueAudioConverter> doomed(inAudioConverter);
    return noErr;
}

OSStatus AudioConverterConvertComplexBuffer(AudioConverterRef inAudioConverter,
                                            std::uint32_t inNumberPCMFrames,
                                            const AudioBufferList* inInputData,
                                            AudioBufferList* outOutputData) {
    if (inAudioConverter == nullptr || inInputData == nullptr || outOutputData == nullptr) {
        return kAudio_ParamError;
    }
    return inAudioConverter->convert(inNumberPCMFrames, *inInputData, *outOutputData);
}

}  // namespace platform
