#include "media-player/decoders/audio/AudioSampleBufferBuilder.h"

#include <cstring>
#include <limits>
#include <string_view>

#include "media-player/decoders/common/DarwinCall.h"
#include "platform/coremedia/CMAudioFormatDescription.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/FatalError.h"

namespace quillon {

namespace {

using namespace platform;

// The platform calls of the sample-buffer path cannot fail short of a broken assumption, so a
// failure (already logged with its call site) stops the process.
template <typename Call>
void performEssentialDarwinCall(const CallSite& site, std::string_view failure, Call&& call,
                                std::source_location location = std::source_location::current()) {
    try {
        performDarwinCall({}, site, call);
    } catch (const platform::Error&) {
        fatalError(failure, location);
    }
}

void releaseBufferReference(void* refCon, void*, std::size_t) {
    auto* reference = static_cast<AVBufferRef*>(refCon);
    av_buffer_unref(&reference);
}

std::uint32_t checkedUInt32(std::uint64_t value, std::string_view what) {
    precondition(value <= std::numeric_limits<std::uint32_t>::max(), what);
    return static_cast<std::uint32_t>(value);
}

// Appends size bytes at data, kept alive by the reference, which the block buffer releases
// when it is done with them.
void appendReferencedBytes(const CMBlockBufferRef& blockBuffer, AVBufferRefPointer reference,
                           std::uint8_t* data, std::size_t size, const CallSite& site) {
    CMBlockBufferCustomBlockSource source;
    source.version = kCMBlockBufferCustomBlockSourceVersion;
    source.AllocateBlock = nullptr;
    source.FreeBlock = releaseBufferReference;
    source.refCon = reference.get();
    performEssentialDarwinCall(site, "Failed to append a memory block to a block buffer.", [&] {
        return CMBlockBufferAppendMemoryBlock(blockBuffer, data, size, &source, 0, size, 0);
    });
    // The block buffer owns the reference now.
    static_cast<void>(reference.release());
}

}  // namespace

AudioSampleBufferBuilder::AudioSampleBufferBuilder(AudioProperties audioProperties,
                                                   CMTime presentationTimestamp,
                                                   std::shared_ptr<AudioBlockPool> pool)
    : audioProperties_(std::move(audioProperties)),
      audioFormatDescription_(audioProperties_.makeAudioFormatDescription()),
      channelOrder_(
          AudioProperties::channelOrder(audioProperties_.bufferLevelProperties.ffmpegChannelLayout,
                                        audioProperties_.bufferLevelProperties.channelCount)),
      presentationTimestamp_(presentationTimestamp),
      interleavingBlocks_(std::move(pool)) {
    performEssentialDarwinCall("init(audioProperties:presentationTimestamp:)",
                               "Failed to create an empty block buffer.",
                               [&] { return CMBlockBufferCreateEmpty(0, 0, &blockBuffer_); });
}

AudioSampleBufferBuilder::~AudioSampleBufferBuilder() {
    if (planarToInterleavedConverter_ != nullptr) {
        performEssentialDarwinCall("deinit", "Failed to dispose of an audio converter.", [&] {
            return AudioConverterDispose(planarToInterleavedConverter_);
        });
    }
}

AudioConverterRef AudioSampleBufferBuilder::planarToInterleavedConverter() {
    if (planarToInterleavedConverter_ == nullptr) {
        const AudioStreamBasicDescription from = audioProperties_.makeStreamBasicDescription(false);
        const AudioStreamBasicDescription to = audioProperties_.makeStreamBasicDescription(true);
        performEssentialDarwinCall(
            "planarToInterleavedConverter",
            "Failed to create the planar-to-interleaved audio converter.",
            [&] { return AudioConverterNew(&from, &to, &planarToInterleavedConverter_); });
    }
    return planarToInterleavedConverter_;
}

void AudioSampleBufferBuilder::appendInterleavedData(const AVFrame& frame,
                                                     std::size_t bufferByteCount) {
    if (!channelOrder_.empty()) {
        appendReorderedInterleavedData(frame, bufferByteCount);
        return;
    }
    commitInterleavingBlock();
    // The plane's bytes may start anywhere inside the buffer that owns them, so the data
    // pointer is the frame's, and the buffer only keeps them alive.
    AVBufferRef* owner = av_frame_get_plane_buffer(const_cast<AVFrame*>(&frame), 0);
    if (owner == nullptr) {
        // A frame whose memory nobody counts references to is only valid until it is reused.
        precondition(frame.data[0] != nullptr || bufferByteCount == 0,
                     "An interleaved frame must have data.");
        AVBufferRefPointer copy(av_buffer_alloc(bufferByteCount));
        precondition(copy != nullptr, "Failed to allocate memory.");
        if (bufferByteCount > 0) {
            std::memcpy(copy->data, frame.data[0], bufferByteCount);
        }
        std::uint8_t* data = copy->data;
        appendReferencedBytes(blockBuffer_, std::move(copy), data, bufferByteCount,
                              "appendInterleavedData(from:bufferByteCount:)");
        return;
    }
    precondition(
        frame.data[0] >= owner->data &&
            bufferByteCount <= static_cast<std::size_t>(owner->data + owner->size - frame.data[0]),
        "An interleaved frame's bytes must lie inside its buffer.");
    AVBufferRefPointer reference(av_buffer_ref(owner));
    precondition(reference != nullptr, "Failed to allocate memory.");
    appendReferencedBytes(blockBuffer_, std::move(reference), frame.data[0], bufferByteCount,
                          "appendInterleavedData(from:bufferByteCount:)");
}

void AudioSampleBufferBuilder::appendReorderedInterleavedData(const AVFrame& frame,
                                                              std::size_t bufferByteCount) {
    const auto channels = static_cast<std::size_t>(channelOrder_.size());
    const auto sampleBytes = static_cast<std::size_t>(audioProperties_.bytesPerSample);
    const std::size_t frameBytes = channels * sampleBytes;
    precondition(frameBytes > 0 && bufferByteCount % frameBytes == 0,
                 "Interleaved data must hold whole frames.");
    precondition(frame.data[0] != nullptr || bufferByteCount == 0,
                 "An interleaved frame must have data.");
    reserveInterleavingSpace(bufferByteCount);
    const std::uint8_t* source = frame.data[0];
    std::uint8_t* destination = interleavingBlock_->data + interleavingBlockUsed_;
    for (std::size_t offset = 0; offset < bufferByteCount; offset += frameBytes) {
        for (std::size_t channel = 0; channel < channels; ++channel) {
            std::memcpy(
                destination + offset + channel * sampleBytes,
                source + offset + static_cast<std::size_t>(channelOrder_[channel]) * sampleBytes,
                sampleBytes);
        }
    }
    interleavingBlockUsed_ += bufferByteCount;
    if (!interleavingBlocks_) {
        commitInterleavingBlock();
    }
}

void AudioSampleBufferBuilder::reserveInterleavingSpace(std::size_t byteCount) {
    if (interleavingBlock_ &&
        static_cast<std::size_t>(interleavingBlock_->size) - interleavingBlockUsed_ >= byteCount) {
        return;
    }
    commitInterleavingBlock();
    if (interleavingBlocks_ && interleavingBlocks_->blockSize() >= byteCount) {
        interleavingBlock_ = interleavingBlocks_->makeBlock();
    } else {
        interleavingBlock_.reset(av_buffer_alloc(byteCount));
        precondition(interleavingBlock_ != nullptr, "Failed to allocate memory.");
    }
    interleavingBlockUsed_ = 0;
}

void AudioSampleBufferBuilder::commitInterleavingBlock() {
    if (!interleavingBlock_) {
        return;
    }
    if (interleavingBlockUsed_ == 0) {
        interleavingBlock_.reset();
        return;
    }
    std::uint8_t* data = interleavingBlock_->data;
    appendReferencedBytes(blockBuffer_, std::move(interleavingBlock_), data, interleavingBlockUsed_,
                          "appendNonInterleavedData(from:frameCount:interleavedBufferByteCount:)");
    interleavingBlockUsed_ = 0;
}

void AudioSampleBufferBuilder::appendNonInterleavedData(const AVFrame& frame,
                                                        std::intptr_t frameCount,
                                                        std::size_t interleavedBufferByteCount) {
    precondition(frameCount >= 0, "A frame count cannot be negative.");
    const std::intptr_t channels = audioProperties_.bufferLevelProperties.channelCount;
    const std::uint32_t channelByteCount =
        checkedUInt32(static_cast<std::uint64_t>(audioProperties_.bytesPerSample) *
                          static_cast<std::uint64_t>(frameCount),
                      "A channel's byte count must fit 32 bits.");
    const std::uint32_t outputByteCount =
        checkedUInt32(interleavedBufferByteCount, "The interleaved byte count must fit 32 bits.");
    precondition(frame.extended_data != nullptr && channels <= frame.ch_layout.nb_channels,
                 "A planar frame must have one plane per channel.");

    if (planarInput_.mNumberBuffers() != static_cast<std::uint32_t>(channels)) {
        planarInput_ = AudioBufferList::make(static_cast<std::uint32_t>(channels));
        interleavedOutput_ = AudioBufferList::make(1);
    }
    for (std::intptr_t channel = 0; channel < channels; ++channel) {
        const std::intptr_t source =
            channelOrder_.empty() ? channel : channelOrder_[static_cast<std::size_t>(channel)];
        precondition(frame.extended_data[source] != nullptr,
                     "A planar frame must have one plane per channel.");
        planarInput_.mBuffers[channel] = {1, channelByteCount, frame.extended_data[source]};
    }

    reserveInterleavingSpace(interleavedBufferByteCount);
    interleavedOutput_.mBuffers[0] = {static_cast<std::uint32_t>(channels), outputByteCount,
                                      interleavingBlock_->data + interleavingBlockUsed_};
    AudioConverterRef converter = planarToInterleavedConverter();
    performEssentialDarwinCall(
        "appendNonInterleavedData(from:frameCount:interleavedBufferByteCount:)",
        "Failed to interleave planar audio.", [&] {
            return AudioConverterConvertComplexBuffer(converter,
                                                      static_cast<std::uint32_t>(frameCount),
                                                      &planarInput_, &interleavedOutput_);
        });
    interleavingBlockUsed_ += interleavedBufferByteCount;
    if (!interleavingBlocks_) {
        // Without a pool every frame keeps a block of its own.
        commitInterleavingBlock();
    }
}

CMSampleBufferRef AudioSampleBufferBuilder::makeSampleBuffer() {
    commitInterleavingBlock();
    const CMSampleTimingInfo timing{
        CMTimeMake(1, audioProperties_.bufferLevelProperties.sampleRate), presentationTimestamp_,
        kCMTimeInvalid};
    const AudioStreamBasicDescription* description =
        CMAudioFormatDescriptionGetStreamBasicDescription(audioFormatDescription_);
    precondition(description != nullptr, "An audio format description must describe a stream.");
    const std::size_t sampleSize = description->mBytesPerFrame;
    CMSampleBufferRef sampleBuffer;
    performEssentialDarwinCall(
        "makeSampleBuffer()", "Failed to create an audio sample buffer.", [&] {
            return CMSampleBufferCreate(blockBuffer_, true, nullptr, nullptr,
                                        audioFormatDescription_, frameCount_, 1, &timing, 1,
                                        &sampleSize, &sampleBuffer);
        });
    return sampleBuffer;
}

}  // namespace quillon
