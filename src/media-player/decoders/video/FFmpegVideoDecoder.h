#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libavutil/rational.h>
}

#include "media-player/decoders/common/CoreMediaCompatibleDecoder.h"
#include "media-player/decoders/common/FFmpegPointers.h"
#include "media-player/decoders/video/Deinterlacer.h"
#include "media-player/decoders/video/PixelBufferFrameAllocator.h"
#include "media-player/decoders/video/PixelBufferOutput.h"
#include "media-player/media-types/MediaType.h"
#include "media-player/media-types/Packet.h"
#include "platform/corefoundation/CFData.h"
#include "platform/coremedia/CMSampleBuffer.h"
#include "platform/coremedia/CMTime.h"

namespace quillon {

// Decodes the packets of one video stream into sample buffers of colour-tagged pixel buffers,
// on a hardware decoder when this machine has one and on libavcodec's software decoder
// otherwise, or for good once the hardware decoder has failed too often in a row.
//
// Used from one serial queue at a time (its decode session's); it has no lock. libavcodec
// decodes on its own threads and calls the pixel-format chooser and the frame allocator from
// them. Software-decoded pictures are decoded straight into the output pool's buffers when the
// pool can take them as they are, and copied or converted otherwise. Pictures that FFmpeg marks
// interlaced are deinterlaced first, each into one picture of its own time (Deinterlacer), so
// they come out one picture later than they are decoded, and the last at the end of the input.
class FFmpegVideoDecoder final : public CoreMediaCompatibleDecoder {
public:
    // The context that decodes the stream on hardware, opened, or null when this machine has no
    // hardware decoder. Errors thrown while making or opening it end the decoder's construction.
    using HardwareDecoderContextMaker =
        std::function<AVCodecContextPointer(const AVCodec& codec, const AVStream& stream)>;

    // The failure, counted in a row without a sample buffer or a flush in between, at which the
    // hardware decoder is given up for good.
    static constexpr std::int64_t failedHardwareDecodeCountForFallback = 11;

    // Throws FFmpegError unsupportedMediaType for a stream that is not video, decoderNotFound
    // when libavcodec has no decoder for it, or the logged error of a failed context, frame,
    // pool or transfer-session creation.
    explicit FFmpegVideoDecoder(const AVStream& stream);
    FFmpegVideoDecoder(const AVStream& stream,
                       const HardwareDecoderContextMaker& makeHardwareDecoderContext);
    ~FFmpegVideoDecoder() override;

    MediaType mediaType() const override { return mediaType_; }

    // Drops what the decoder holds (after a seek), pictures waiting to be deinterlaced included.
    // The frame-level HDR metadata is kept.
    void flush() override;

    // A failure counts against the hardware decoder and is rethrown.
    bool startDecoding(const Packet& packet) override;

    // The next picture as a sample buffer, or null when none is ready. A failure (of the decoder,
    // of the copy into a pixel buffer, or a picture without any time) counts against the hardware
    // decoder and is rethrown.
    platform::CMSampleBufferRef dequeueSampleBuffer() override;

    // Gives the hardware decoder up for good, as too many failures in a row do: the software
    // decoder takes the next packet, and what the hardware decoder still holds is lost. Does
    // nothing while decoding in software.
    void fallBackToSoftwareDecoder();

    AVRational streamTimeBase() const { return streamTimeBase_; }
    bool hasHardwareDecoderContext() const { return hardwareDecoderContext_ != nullptr; }
    bool isDecodingOnHardware() const {
        return hardwareDecoderContext_ && decoderContext_ == hardwareDecoderContext_.get();
    }
    std::int64_t failedHardwareDecodeCount() const { return failedHardwareDecodeCount_; }
    const AVCodecContext& decoderContext() const { return *decoderContext_; }
    // The converter, pools and transfer session of the pictures decoded last (of the stream's
    // announced format before the first one).
    const PixelBufferOutput& pixelBufferOutput() const { return *pixelBufferOutput_; }
    // Lends the output pool's buffers to the software decoder.
    const PixelBufferFrameAllocator& frameAllocator() const { return *frameAllocator_; }
    const Deinterlacer& deinterlacer() const { return deinterlacer_; }
    std::optional<platform::CMTime> guessedNextPresentationTimestamp() const {
        return guessedNextPresentationTimestamp_;
    }

private:
    bool sendPacket(const AVPacket& packet);
    AVDiscard skipFrameFor(const AVPacket& packet) const;
    void recordDecodeFailure();
    void deinterlaceDecodedFrame();
    platform::CMSampleBufferRef sampleBufferOf(AVFrame& frame);
    platform::CMSampleBufferRef makeSampleBufferFromDecodedFrame(const AVFrame& frame);
    platform::CVPixelBufferRef makePixelBuffer(const AVFrame& frame);
    void useOutput(std::unique_ptr<PixelBufferOutput> output);
    void decodeIntoOutputPool();
    void attachHDRMetadata(const AVFrame& frame, const platform::CVPixelBufferRef& pixelBuffer);

    // Before the contexts, so that it outlives them: libavcodec calls it until they are freed.
    std::shared_ptr<PixelBufferFrameAllocator> frameAllocator_;
    MediaType mediaType_ = MediaType::video;
    AVRational streamTimeBase_{0, 1};
    AVCodecContext* decoderContext_ = nullptr;
    AVCodecContextPointer softwareDecoderContext_;
    AVCodecContextPointer hardwareDecoderContext_;
    std::int64_t failedHardwareDecodeCount_ = 0;
    AVFramePointer decodedFrame_;
    // A picture received while making room for a packet, given out by the next dequeue.
    bool pictureWaiting_ = false;
    // Whether the end of the input was sent: the decoder then has no more pictures to come, and
    // the deinterlacer gives out the ones it holds back.
    bool inputEnded_ = false;
    Deinterlacer deinterlacer_;
    // The deinterlacer's picture being made into a sample buffer.
    AVFramePointer deinterlacedFrame_;
    // What libavcodec may skip of the packet accepted last. libavcodec reads the context's
    // skip_frame when it takes a packet into decoding, which may be at a later send or receive
    // than the one that accepted it: every call puts back the value of the packet it may take.
    AVDiscard skipFrameOfAcceptedPacket_ = AVDISCARD_DEFAULT;
    // Hardware pictures copied into system memory; its buffers are reused from frame to frame.
    AVFramePointer transferredFrame_;
    std::unique_ptr<PixelBufferOutput> pixelBufferOutput_;
    // Counts the outputs made; the frame allocator decodes into the pool of the one it names.
    std::uint64_t pixelBufferOutputGeneration_ = 0;
    std::uint64_t frameAllocatorOutputGeneration_ = 0;
    platform::CFDataRef streamLevelMasteringDisplayColorVolumeSEIMessageData_;
    platform::CFDataRef streamLevelContentLightLevelInfoSEIMessageData_;
    // Absent until a frame carries the metadata; a null block is metadata that could not be
    // encoded, which leaves the attachment off.
    std::optional<platform::CFDataRef> latestFrameLevelMasteringDisplayColorVolumeSEIMessageData_;
    std::optional<platform::CFDataRef> latestFrameLevelContentLightLevelInfoSEIMessageData_;
    std::optional<platform::CMTime> guessedNextPresentationTimestamp_;
};

// The default hardware decoder context: a device from makeHardwareDeviceContext and an opened
// context that decodes on it into the device's own frames; null when there is no device.
AVCodecContextPointer makeHardwareDecoderContext(const AVCodec& codec, const AVStream& stream);

// While it lives, decoders made without a maker of their own (those of the tracks that a source
// makes) take their hardware context from `maker` instead of makeHardwareDecoderContext: tests
// stand a context of their choosing in for a hardware decoder this machine does not have. One
// at a time; made and destroyed while no decoder is being made.
class ScopedHardwareDecoderContextMaker {
public:
    explicit ScopedHardwareDecoderContextMaker(
        FFmpegVideoDecoder::HardwareDecoderContextMaker maker);
    ~ScopedHardwareDecoderContextMaker();
    ScopedHardwareDecoderContextMaker(const ScopedHardwareDecoderContextMaker&) = delete;
    ScopedHardwareDecoderContextMaker& operator=(const ScopedHardwareDecoderContextMaker&) = delete;
};

}  // namespace quillon
