#pragma once

#include <exception>
#include <memory>
#include <optional>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
}

#include "media-player/decoders/audio/AudioBlockPool.h"
#include "media-player/decoders/audio/AudioChannelRemixer.h"
#include "media-player/decoders/audio/AudioProperties.h"
#include "media-player/decoders/audio/AudioSampleBufferBuilder.h"
#include "media-player/decoders/common/CoreMediaCompatibleDecoder.h"
#include "media-player/decoders/common/FFmpegPointers.h"
#include "platform/coremedia/CMTime.h"

namespace quillon {

// Decodes one audio stream into interleaved linear PCM sample buffers of about one second each,
// with exact presentation times and a Core Audio channel layout. Driven through a
// CoreMediaCompatibleDecodeSession on one serial queue; it has no locks.
//
// Contiguous frames of one format are collected into one sample buffer until it holds a second
// of audio; a change of format or a jump in time starts a new one. Once the end of input was
// accepted every frame leaves at once, and what was collected before leaves as soon as no frame
// is ready. A flush (after a seek) drops everything and starts over at the next frame's time.
// A failed dequeue first hands out what was collected before it, so that the flush the session
// makes after a damaged packet costs only that packet's audio.
class FFmpegAudioDecoder final : public CoreMediaCompatibleDecoder {
public:
    // Opens a decoder for the stream. A stream whose channel layout no Core Audio layout tag
    // describes is remixed into one that is described, or, when that is impossible too, refused
    // with a log line, so that a track that can never play is never made. Throws FFmpegError.
    explicit FFmpegAudioDecoder(const AVStream& stream);
    ~FFmpegAudioDecoder() override;

    static std::shared_ptr<FFmpegAudioDecoder> make(const AVStream& stream) {
        return std::make_shared<FFmpegAudioDecoder>(stream);
    }

    MediaType mediaType() const override { return MediaType::audio; }
    bool startDecoding(const Packet& packet) override;
    platform::CMSampleBufferRef dequeueSampleBuffer() override;
    void flush() override;

    const AVCodecContext& decoderContext() const { return *decoderContext_; }
    AVRational streamTimeBase() const { return streamTimeBase_; }
    const AudioProperties& audioProperties() const { return audioProperties_; }
    const AVFrame& ffmpegSampleBuffer() const { return *ffmpegSampleBuffer_; }
    const std::optional<platform::CMTime>& guessedNextPresentationTimestamp() const {
        return guessedNextPresentationTimestamp_;
    }
    const AudioSampleBufferBuilder* sampleBufferBuilder() const {
        return sampleBufferBuilder_.get();
    }
    bool forceDequeueSampleBuffer() const { return forceDequeueSampleBuffer_; }
    // Whether frames are being remixed into another channel layout.
    bool remixesChannels() const { return remixer_ != nullptr; }

    // The steps every decoded frame goes through (after remixing), open to tests that feed
    // frames of their own. A sample buffer when one is finished, else null. Throws FFmpegError.
    platform::CMSampleBufferRef processDecodedFrame(const AVFrame& frame);
    // The frame's time, and the guess of the next frame's. Throws noPresentationTimestamp.
    platform::CMTime presentationTimestampOfDecodedFrame(const AVFrame& frame);

private:
    // The frame as it goes into a sample buffer: remixed when its layout has no description.
    const AVFrame& playableFrame(const AVFrame& frame);
    // Whether frames of this layout must be remixed; remembered for the last layout asked about.
    bool needsRemixing(const AVChannelLayout& layout);
    // Inside a catch block of a dequeue: the collected audio as a sample buffer, with the
    // failure kept for the next dequeue; rethrows when nothing was collected.
    platform::CMSampleBufferRef handOutCollectedAudioBeforeFailure();
    // Takes the builder's sample buffer and drops the builder.
    platform::CMSampleBufferRef finishSampleBufferBuilder();
    void startSampleBufferBuilder(platform::CMTime presentationTimestamp);
    // Whether the builder copies the samples of this format (and so wants pooled blocks).
    bool copiesSamples() const;
    void appendFrame(const AVFrame& frame);
    const std::shared_ptr<AudioBlockPool>& interleavingBlocks();

    AVCodecContextPointer decoderContext_;
    AVRational streamTimeBase_{0, 1};
    AudioProperties audioProperties_;
    AVFramePointer ffmpegSampleBuffer_;
    std::optional<platform::CMTime> guessedNextPresentationTimestamp_;
    std::unique_ptr<AudioSampleBufferBuilder> sampleBufferBuilder_;
    bool forceDequeueSampleBuffer_ = false;

    // A failure that came after a finished sample buffer, reported by the next dequeue once
    // that buffer was handed out.
    std::exception_ptr pendingError_;

    std::unique_ptr<AudioChannelRemixer> remixer_;
    // The last layout needsRemixing() judged, and its answer.
    AVChannelLayout judgedLayout_{};
    bool judgedLayoutNeedsRemixing_ = false;

    std::shared_ptr<AudioBlockPool> interleavingBlocks_;
};

}  // namespace quillon
