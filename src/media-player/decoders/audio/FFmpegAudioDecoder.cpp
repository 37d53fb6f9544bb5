#include "media-player/decoders/audio/FFmpegAudioDecoder.h"

#include <utility>

#include "media-player/decoders/common/FFmpegDecoding.h"
#include "media-player/decoders/common/FFmpegError.h"
#include "platform/foundation/Log.h"

namespace quillon {

namespace {

using namespace platform;

// Room for a second of audio plus the largest frame that the usual planar decoders hand out, so
// that one block holds a whole sample buffer.
constexpr std::intptr_t kInterleavingBlockSlackFrames = 8192;

AVCodecContextPointer openDecoderContext(const AVStream& stream) {
    const AVCodecParameters* parameters = stream.codecpar;
    if (parameters == nullptr || parameters->codec_type != AVMEDIA_TYPE_AUDIO) {
        throw FFmpegError::unsupportedMediaType();
    }
    const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
    if (codec == nullptr) {
        throw FFmpegError::decoderNotFound(parameters->codec_id);
    }
    AVCodecContextPointer context = makeDecoderContext(codec, parameters, stream.time_base);
    openDecoder(codec, *context);
    return context;
}

// How far a frame's own time may lie from the time counted from the samples before it and still
// count as rounding; broadcast tolerances for sound against picture are about this size.
constexpr CMTime kTimestampDepartureThreshold = CMTimeMake(40, 1000);

bool departsFromGuess(CMTime frameTime, CMTime guess) {
    const CMTime difference = CMTimeAbsoluteValue(CMTimeSubtract(frameTime, guess));
    return CMTimeCompare(difference, kTimestampDepartureThreshold) > 0;
}

// Why no layout tag describes frames of this layout, or none when one does.
std::optional<FFmpegError> layoutProblem(const AVChannelLayout& layout) {
    const std::optional<std::uint64_t> mask = nativeChannelMask(layout);
    if (!mask) {
        // Channels in an order of their own, or ambisonic components.
        return FFmpegError::unsupportedChannelLayout(0);
    }
    try {
        AudioProperties::matchChannelLayout(*mask, layout.nb_channels);
    } catch (const FFmpegError& error) {
        return error;
    }
    return std::nullopt;
}

}  // namespace

FFmpegAudioDecoder::FFmpegAudioDecoder(const AVStream& stream)
    : decoderContext_(openDecoderContext(stream)),
      streamTimeBase_(stream.time_base),
      audioProperties_(*decoderContext_),
      ffmpegSampleBuffer_(makeFrame("init(stream:)")) {
    // Decided now rather than when playback starts: a track whose sound can never be described
    // would otherwise play silently.
    const AVChannelLayout& layout = decoderContext_->ch_layout;
    if (layout.nb_channels < 1) {
        // The decoder learns its channels from the first frame; each frame is judged then.
        return;
    }
    const std::optional<FFmpegError> problem = layoutProblem(layout);
    if (!problem) {
        return;
    }
    try {
        remixer_ = std::make_unique<AudioChannelRemixer>(layout, decoderContext_->sample_fmt,
                                                         decoderContext_->sample_rate);
    } catch (const FFmpegError&) {
        platform::logWarning(
            "Refusing the audio stream: its channel layout {} cannot be played ({}), and it "
            "cannot be remixed into one that can.",
            channelLayoutDescription(layout), problem->description());
        throw *problem;
    }
    platform::logInfo(
        "The audio stream's channel layout {} cannot be played ({}), so it is remixed "
        "into {}.",
        channelLayoutDescription(layout), problem->description(),
        channelLayoutDescription(remixer_->outputLayout()));
    audioProperties_ = AudioProperties(decoderContext_->sample_fmt, decoderContext_->sample_rate,
                                       remixer_->outputLayout(), 0);
}

FFmpegAudioDecoder::~FFmpegAudioDecoder() {
    av_channel_layout_uninit(&judgedLayout_);
}

bool FFmpegAudioDecoder::startDecoding(const Packet& packet) {
    if (pendingError_) {
        // The failure must reach the session (which flushes) before this packet goes in, or
        // the flush would throw away audio decoded after the failure.
        return false;
    }
    bool accepted = false;
    try {
        accepted = quillon::startDecoding(packet.avPacket(), *decoderContext_);
    } catch (...) {
        guessedNextPresentationTimestamp_.reset();
        throw;
    }
    if (!accepted) {
        return false;
    }
    if (packet.avPacket().data == nullptr && packet.avPacket().size == 0) {
        forceDequeueSampleBuffer_ = true;
    }
    return true;
}

CMSampleBufferRef FFmpegAudioDecoder::dequeueSampleBuffer() {
    if (pendingError_) {
        std::exception_ptr error = std::exchange(pendingError_, nullptr);
        guessedNextPresentationTimestamp_.reset();
        std::rethrow_exception(error);
    }
    while (true) {
        bool received = false;
        try {
            received = quillon::dequeue(*decoderContext_, *ffmpegSampleBuffer_);
        } catch (...) {
            guessedNextPresentationTimestamp_.reset();
            return handOutCollectedAudioBeforeFailure();
        }
        if (!received) {
            // After the end of input the decoder may have nothing more to give, while the
            // collected audio still waits for its second to fill.
            if (forceDequeueSampleBuffer_ && sampleBufferBuilder_) {
                return finishSampleBufferBuilder();
            }
            return nullptr;
        }
        CMSampleBufferRef sampleBuffer;
        try {
            sampleBuffer = processDecodedFrame(playableFrame(*ffmpegSampleBuffer_));
        } catch (...) {
            av_frame_unref(ffmpegSampleBuffer_.get());
            guessedNextPresentationTimestamp_.reset();
            return handOutCollectedAudioBeforeFailure();
        }
        av_frame_unref(ffmpegSampleBuffer_.get());
        if (sampleBuffer) {
            return sampleBuffer;
        }
    }
}

CMSampleBufferRef FFmpegAudioDecoder::handOutCollectedAudioBeforeFailure() {
    // A failed dequeue makes the session flush, and the flush drops the builder: up to a
    // second of good audio per damaged packet. What was collected leaves first, and the
    // failure with the next dequeue.
    if (!sampleBufferBuilder_ || sampleBufferBuilder_->frameCount() == 0) {
        throw;
    }
    pendingError_ = std::current_exception();
    return finishSampleBufferBuilder();
}

void FFmpegAudioDecoder::flush() {
    avcodec_flush_buffers(decoderContext_.get());
    guessedNextPresentationTimestamp_.reset();
    sampleBufferBuilder_.reset();
    forceDequeueSampleBuffer_ = false;
    pendingError_ = nullptr;
}

bool FFmpegAudioDecoder::needsRemixing(const AVChannelLayout& layout) {
    if (judgedLayout_.nb_channels > 0 && av_channel_layout_compare(&judgedLayout_, &layout) == 0) {
        return judgedLayoutNeedsRemixing_;
    }
    judgedLayoutNeedsRemixing_ = layoutProblem(layout).has_value();
    av_channel_layout_uninit(&judgedLayout_);
    if (av_channel_layout_copy(&judgedLayout_, &layout) < 0) {
        av_channel_layout_uninit(&judgedLayout_);
    }
    return judgedLayoutNeedsRemixing_;
}

const AVFrame& FFmpegAudioDecoder::playableFrame(const AVFrame& frame) {
    if (!needsRemixing(frame.ch_layout)) {
        return frame;
    }
    if (!remixer_) {
        remixer_ = std::make_unique<AudioChannelRemixer>(
            frame.ch_layout, static_cast<AVSampleFormat>(frame.format), frame.sample_rate);
    } else if (av_channel_layout_compare(&remixer_->inputLayout(), &frame.ch_layout) == 0) {
        return remixer_->remix(frame);
    }
    const AVFrame& remixed = remixer_->remix(frame);
    platform::logInfo(
        "The audio stream's channel layout changed to {}, which cannot be played, so it "
        "is remixed into {}.",
        channelLayoutDescription(frame.ch_layout),
        channelLayoutDescription(remixer_->outputLayout()));
    return remixed;
}

CMTime FFmpegAudioDecoder::presentationTimestampOfDecodedFrame(const AVFrame& frame) {
    // The frame's own rate: after a change of rate, the old one would misplace every later
    // frame until the next flush.
    const int sampleRate = frame.sample_rate > 0
                               ? frame.sample_rate
                               : audioProperties_.bufferLevelProperties.sampleRate;

    std::optional<CMTime> frameTime;
    const std::int64_t timestamp = frame.best_effort_timestamp;
    if (timestamp != AV_NOPTS_VALUE && streamTimeBase_.num != 0 && streamTimeBase_.den > 0) {
        std::int64_t value = 0;
        // A time that does not fit counts as no time.
        if (!__builtin_mul_overflow(timestamp, std::int64_t{streamTimeBase_.num}, &value)) {
            frameTime = CMTimeMake(value, streamTimeBase_.den);
        }
    }

    CMTime presentationTimestamp;
    const bool timeBaseCountsSamples =
        streamTimeBase_.num == 1 && streamTimeBase_.den == sampleRate;
    if (timeBaseCountsSamples && frameTime) {
        presentationTimestamp = *frameTime;
    } else if (guessedNextPresentationTimestamp_ &&
               (!frameTime || !departsFromGuess(*frameTime, *guessedNextPresentationTimestamp_))) {
        // Coarser time bases round every frame's time, so counting samples is more exact.
        presentationTimestamp = *guessedNextPresentationTimestamp_;
    } else if (frameTime) {
        // Beyond rounding, the stream says the audio is not contiguous (a lost stretch of a
        // broadcast, a cut): sound placed by the count would run early until the next seek.
        presentationTimestamp = *frameTime;
    } else {
        throw FFmpegError::noPresentationTimestamp();
    }

    if (sampleRate > 0) {
        guessedNextPresentationTimestamp_ =
            CMTimeAdd(presentationTimestamp, CMTimeMake(frame.nb_samples, sampleRate));
    } else {
        guessedNextPresentationTimestamp_.reset();
    }
    return presentationTimestamp;
}

CMSampleBufferRef FFmpegAudioDecoder::processDecodedFrame(const AVFrame& frame) {
    if (frame.nb_samples <= 0) {
        return nullptr;
    }
    const std::optional<CMTime> previousGuess = guessedNextPresentationTimestamp_;
    const CMTime presentationTimestamp = presentationTimestampOfDecodedFrame(frame);

    const AudioProperties::BufferLevelProperties frameProperties{
        frame.sample_rate, frame.ch_layout.nb_channels,
        nativeChannelMask(frame.ch_layout).value_or(0)};
    const auto frameFormat = static_cast<AVSampleFormat>(frame.format);

    CMSampleBufferRef finished;
    bool startBuilder = false;
    if (frameProperties != audioProperties_.bufferLevelProperties ||
        frameFormat != audioProperties_.sampleFormat) {
        // Describe the new format first: a format that cannot be described loses nothing of
        // what was collected.
        const int bitsPerRawSample =
            frameFormat == decoderContext_->sample_fmt ? decoderContext_->bits_per_raw_sample : 0;
        audioProperties_ =
            AudioProperties(frameFormat, frame.sample_rate, frame.ch_layout, bitsPerRawSample);
        if (sampleBufferBuilder_) {
            finished = finishSampleBufferBuilder();
        }
        startBuilder = true;
    } else if (previousGuess && *previousGuess == presentationTimestamp) {
        startBuilder = !sampleBufferBuilder_;
    } else {
        // A jump in time, or the first frame since a flush.
        if (sampleBufferBuilder_) {
            finished = finishSampleBufferBuilder();
        }
        startBuilder = true;
    }

    if (startBuilder) {
        try {
            startSampleBufferBuilder(presentationTimestamp);
        } catch (...) {
            if (!finished) {
                throw;
            }
            // The finished second of audio is good: hand it out, and the failure with the next
            // dequeue.
            pendingError_ = std::current_exception();
            return finished;
        }
    }
    appendFrame(frame);

    if (finished) {
        return finished;
    }
    if (sampleBufferBuilder_->frameCount() >= audioProperties_.bufferLevelProperties.sampleRate ||
        forceDequeueSampleBuffer_) {
        return finishSampleBufferBuilder();
    }
    return nullptr;
}

bool FFmpegAudioDecoder::copiesSamples() const {
    if (audioProperties_.needsConversionToInterleaved) {
        return true;
    }
    // Interleaved frames are copied too when their channels must be put in the tag's order.
    const AudioProperties::BufferLevelProperties& level = audioProperties_.bufferLevelProperties;
    try {
        return !AudioProperties::channelOrder(level.ffmpegChannelLayout, level.channelCount)
                    .empty();
    } catch (const FFmpegError&) {
        // The builder reports the layout that it cannot describe.
        return false;
    }
}

void FFmpegAudioDecoder::startSampleBufferBuilder(CMTime presentationTimestamp) {
    // After the end of input every frame leaves on its own, so a block sized for a second
    // would mostly stay empty.
    std::shared_ptr<AudioBlockPool> blocks;
    if (copiesSamples() && !forceDequeueSampleBuffer_) {
        blocks = interleavingBlocks();
    }
    sampleBufferBuilder_ = std::make_unique<AudioSampleBufferBuilder>(
        audioProperties_, presentationTimestamp, std::move(blocks));
}

void FFmpegAudioDecoder::appendFrame(const AVFrame& frame) {
    AudioSampleBufferBuilder& builder = *sampleBufferBuilder_;
    const std::intptr_t frameCount = frame.nb_samples;
    builder.setFrameCount(builder.frameCount() + frameCount);
    const AudioProperties& properties = builder.audioProperties();
    const std::size_t byteCount =
        static_cast<std::size_t>(frameCount) *
        static_cast<std::size_t>(properties.bufferLevelProperties.channelCount) *
        static_cast<std::size_t>(properties.bytesPerSample);
    if (properties.needsConversionToInterleaved) {
        builder.appendNonInterleavedData(frame, frameCount, byteCount);
    } else {
        builder.appendInterleavedData(frame, byteCount);
    }
}

CMSampleBufferRef FFmpegAudioDecoder::finishSampleBufferBuilder() {
    std::unique_ptr<AudioSampleBufferBuilder> builder = std::move(sampleBufferBuilder_);
    return builder->makeSampleBuffer();
}

const std::shared_ptr<AudioBlockPool>& FFmpegAudioDecoder::interleavingBlocks() {
    const AudioProperties::BufferLevelProperties& level = audioProperties_.bufferLevelProperties;
    const std::size_t blockSize =
        static_cast<std::size_t>(std::max(level.sampleRate, 1) + kInterleavingBlockSlackFrames) *
        static_cast<std::size_t>(level.channelCount) *
        static_cast<std::size_t>(audioProperties_.bytesPerSample);
    if (!interleavingBlocks_ || interleavingBlocks_->blockSize() != blockSize) {
        interleavingBlocks_ = std::make_shared<AudioBlockPool>(blockSize);
    }
    return interleavingBlocks_;
}

}  // namespace quillon
