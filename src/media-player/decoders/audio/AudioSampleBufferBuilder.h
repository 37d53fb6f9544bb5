#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
}

#include "media-player/decoders/audio/AudioBlockPool.h"
#include "media-player/decoders/audio/AudioProperties.h"
#include "media-player/decoders/common/FFmpegPointers.h"
#include "platform/audiotoolbox/AudioConverter.h"
#include "platform/coreaudio/AudioBufferList.h"
#include "platform/coremedia/CMBlockBuffer.h"
#include "platform/coremedia/CMFormatDescription.h"
#include "platform/coremedia/CMSampleBuffer.h"
#include "platform/coremedia/CMTime.h"

namespace quillon {

// Collects consecutive decoded frames of one format into one block buffer of interleaved linear
// PCM and makes one sample buffer of them. Interleaved frames are referenced, not copied: the
// block buffer holds a reference to FFmpeg's buffer. Planar frames are interleaved once, by an
// audio converter, into memory that the block buffer then owns. Where FFmpeg's channel order is
// not the order of the layout tag, the channels are put in the tag's order on the way (planes
// by pointer; interleaved frames are then copied).
//
// Filled by one decoder on one queue, asked once for its sample buffer, then dropped; dropping
// it unasked discards what it collected.
class AudioSampleBufferBuilder {
public:
    // Throws the layout errors of AudioProperties::makeAudioFormatDescription. With a pool,
    // planar frames are interleaved into its blocks, several frames to a block; without one,
    // each frame gets a block of its own.
    AudioSampleBufferBuilder(AudioProperties audioProperties,
                             platform::CMTime presentationTimestamp,
                             std::shared_ptr<AudioBlockPool> interleavingBlocks = nullptr);
    ~AudioSampleBufferBuilder();
    AudioSampleBufferBuilder(const AudioSampleBufferBuilder&) = delete;
    AudioSampleBufferBuilder& operator=(const AudioSampleBufferBuilder&) = delete;

    // Appends the bytes of the frame's only plane, frame->data[0], without copying: the block
    // buffer keeps a reference to the FFmpeg buffer that holds them, so the frame may be reused
    // at once. Channels out of the tag's order are copied into it instead.
    void appendInterleavedData(const AVFrame& frame, std::size_t bufferByteCount);

    // Interleaves frameCount frames of the frame's planes (extended_data, one per channel) and
    // appends the result, interleavedBufferByteCount bytes.
    void appendNonInterleavedData(const AVFrame& frame, std::intptr_t frameCount,
                                  std::size_t interleavedBufferByteCount);

    // One sample buffer of every frame appended so far, starting at the first frame's time.
    platform::CMSampleBufferRef makeSampleBuffer();

    // Made on first use, disposed with the builder.
    platform::AudioConverterRef planarToInterleavedConverter();
    bool hasPlanarToInterleavedConverter() const { return planarToInterleavedConverter_; }

    // Frames appended so far; the decoder counts a frame in before it appends its data.
    std::intptr_t frameCount() const { return frameCount_; }
    void setFrameCount(std::intptr_t frameCount) { frameCount_ = frameCount; }

    const AudioProperties& audioProperties() const { return audioProperties_; }
    const platform::CMAudioFormatDescriptionRef& audioFormatDescription() const {
        return audioFormatDescription_;
    }
    platform::CMTime presentationTimestamp() const { return presentationTimestamp_; }
    const platform::CMBlockBufferRef& blockBuffer() const { return blockBuffer_; }

    // For each channel in the layout tag's order, the FFmpeg channel that fills it; empty when
    // the orders agree.
    const std::vector<int>& channelOrder() const { return channelOrder_; }

private:
    // Copies the channels of interleaved frames into the tag's order.
    void appendReorderedInterleavedData(const AVFrame& frame, std::size_t bufferByteCount);
    // Hands the interleaving block's filled part to the block buffer.
    void commitInterleavingBlock();
    // Makes sure the interleaving block has room for byteCount more bytes.
    void reserveInterleavingSpace(std::size_t byteCount);

    AudioProperties audioProperties_;
    platform::CMAudioFormatDescriptionRef audioFormatDescription_;
    std::vector<int> channelOrder_;
    platform::AudioConverterRef planarToInterleavedConverter_ = nullptr;
    platform::CMTime presentationTimestamp_;
    std::intptr_t frameCount_ = 0;
    platform::CMBlockBufferRef blockBuffer_;

    std::shared_ptr<AudioBlockPool> interleavingBlocks_;
    // The block planar frames are being interleaved into, and how much of it is filled.
    AVBufferRefPointer interleavingBlock_;
    std::size_t interleavingBlockUsed_ = 0;
    // Reused for every planar frame.
    platform::AudioBufferList planarInput_;
    platform::AudioBufferList interleavedOutput_;
};

}  // namespace quillon
