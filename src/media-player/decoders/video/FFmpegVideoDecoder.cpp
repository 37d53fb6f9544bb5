#include "media-player/decoders/video/FFmpegVideoDecoder.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>
#include <utility>

#include "media-player/decoders/common/ColorAttachments.h"
#include "media-player/decoders/common/FFmpegDecoding.h"
#include "media-player/decoders/common/FFmpegError.h"
#include "media-player/decoders/common/FrameSideData.h"
#include "media-player/decoders/common/HDRMetadata.h"
#include "media-player/decoders/common/PixelSpacingAttachment.h"
#include "media-player/decoders/common/StreamSideData.h"
#include "media-player/decoders/video/CMSampleBufferFFmpegVideo.h"
#include "media-player/decoders/video/DecoderPixelFormatChooser.h"
#include "media-player/decoders/video/DecoderThreadCount.h"
#include "media-player/decoders/video/HardwareDecoding.h"
#include "platform/corevideo/CVImageBuffer.h"
#include "platform/foundation/FatalError.h"
#include "platform/foundation/Log.h"

namespace quillon {

using namespace platform;

namespace {

constexpr const char* initFunction = "init(stream:)";
constexpr const char* makePixelBufferFunction = "makePixelBufferForSoftwareDecodedFrame()";
constexpr const char* deinterlaceFunction = "deinterlaceDecodedFrame()";

bool isEndOfInput(const AVPacket& packet) {
    return packet.data == nullptr && packet.size == 0;
}

// libavcodec picks frame or slice threading by itself (both are allowed by default). It has no
// public way to give its threads a scheduling priority, so they run at the priority of the
// process.
void configureDecoderContext(AVCodecContext& context,
                             AVPixelFormat (*chooseFormat)(AVCodecContext*, const AVPixelFormat*)) {
    context.get_format = chooseFormat;
    context.thread_count = decoderThreadCount();
}

AVCodecContextPointer makeSoftwareDecoderContext(const AVCodec& codec, const AVStream& stream,
                                                 PixelBufferFrameAllocator& frameAllocator) {
    AVCodecContextPointer context = makeDecoderContext(&codec, stream.codecpar, stream.time_base);
    configureDecoderContext(*context, chooseSoftwareDecoderPixelFormat);
    frameAllocator.install(*context);
    openDecoder(&codec, *context);
    return context;
}

CFDataRef masteringDisplayColorVolumeData(const AVStream& stream) {
    if (auto metadata = readMasteringDisplayMetadata(stream)) {
        return makeMasteringDisplayColorVolumeData(*metadata);
    }
    return nullptr;
}

CFDataRef contentLightLevelInfoData(const AVStream& stream) {
    if (auto level = readContentLightLevel(stream)) {
        return makeContentLightLevelInfoData(*level);
    }
    return nullptr;
}

}  // namespace

AVCodecContextPointer makeHardwareDecoderContext(const AVCodec& codec, const AVStream& stream) {
    AVBufferRefPointer device = makeHardwareDeviceContext(codec);
    if (!device) {
        return nullptr;
    }
    AVCodecContextPointer context = makeDecoderContext(&codec, stream.codecpar, stream.time_base);
    context->hw_device_ctx = device.release();
    configureDecoderContext(*context, chooseHardwareDecoderPixelFormat);
    openDecoder(&codec, *context);
    return context;
}

namespace {

std::mutex defaultMakerLock;
FFmpegVideoDecoder::HardwareDecoderContextMaker defaultMakerOverride;

FFmpegVideoDecoder::HardwareDecoderContextMaker defaultHardwareDecoderContextMaker() {
    const std::lock_guard lock(defaultMakerLock);
    if (defaultMakerOverride) {
        return defaultMakerOverride;
    }
    return makeHardwareDecoderContext;
}

}  // namespace

ScopedHardwareDecoderContextMaker::ScopedHardwareDecoderContextMaker(
    FFmpegVideoDecoder::HardwareDecoderContextMaker maker) {
    const std::lock_guard lock(defaultMakerLock);
    precondition(!defaultMakerOverride, "Only one hardware decoder context maker at a time.");
    defaultMakerOverride = std::move(maker);
}

ScopedHardwareDecoderContextMaker::~ScopedHardwareDecoderContextMaker() {
    const std::lock_guard lock(defaultMakerLock);
    defaultMakerOverride = nullptr;
}

FFmpegVideoDecoder::FFmpegVideoDecoder(const AVStream& stream)
    : FFmpegVideoDecoder(stream, defaultHardwareDecoderContextMaker()) {}

FFmpegVideoDecoder::FFmpegVideoDecoder(const AVStream& stream,
                                       const HardwareDecoderContextMaker& makeHardwareContext) {
    const AVCodecParameters* parameters = stream.codecpar;
    if (parameters == nullptr || parameters->codec_type != AVMEDIA_TYPE_VIDEO) {
        throw FFmpegError::unsupportedMediaType();
    }
    const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
    if (codec == nullptr) {
        throw FFmpegError::decoderNotFound(parameters->codec_id);
    }

    frameAllocator_ = std::make_shared<PixelBufferFrameAllocator>();
    softwareDecoderContext_ = makeSoftwareDecoderContext(*codec, stream, *frameAllocator_);
    if (makeHardwareContext) {
        hardwareDecoderContext_ = makeHardwareContext(*codec, stream);
    }
    decoderContext_ =
        hardwareDecoderContext_ ? hardwareDecoderContext_.get() : softwareDecoderContext_.get();

    decodedFrame_ = makeFrame(CallSite(initFunction));
    deinterlacedFrame_ = makeFrame(CallSite(initFunction));
    if (hardwareDecoderContext_) {
        transferredFrame_ = makeFrame(CallSite(initFunction));
    }
    useOutput(std::make_unique<PixelBufferOutput>(DecodedPictureFormat::of(*decoderContext_),
                                                  *decoderContext_, initFunction));
    if (!isDecodingOnHardware()) {
        decodeIntoOutputPool();
    }

    streamTimeBase_ = stream.time_base;
    streamLevelMasteringDisplayColorVolumeSEIMessageData_ = masteringDisplayColorVolumeData(stream);
    streamLevelContentLightLevelInfoSEIMessageData_ = contentLightLevelInfoData(stream);
}

// The pools' buffers that are still in use elsewhere outlive the pools; the transfer session is
// invalidated by the output that owns it.
FFmpegVideoDecoder::~FFmpegVideoDecoder() = default;

void FFmpegVideoDecoder::flush() {
    failedHardwareDecodeCount_ = 0;
    pictureWaiting_ = false;
    inputEnded_ = false;
    skipFrameOfAcceptedPacket_ = AVDISCARD_DEFAULT;
    decoderContext_->skip_frame = AVDISCARD_DEFAULT;
    av_frame_unref(decodedFrame_.get());
    deinterlacer_.reset();
    av_frame_unref(deinterlacedFrame_.get());
    avcodec_flush_buffers(decoderContext_);
    guessedNextPresentationTimestamp_.reset();
}

bool FFmpegVideoDecoder::startDecoding(const Packet& packet) {
    try {
        const bool accepted = sendPacket(packet.avPacket());
        if (accepted && isEndOfInput(packet.avPacket())) {
            inputEnded_ = true;
        }
        return accepted;
    } catch (...) {
        recordDecodeFailure();
        throw;
    }
}

bool FFmpegVideoDecoder::sendPacket(const AVPacket& packet) {
    // When the decoder refuses the packet because a picture is ready, the picture is taken out
    // and the packet sent again at once: the decoder's threads get their next input before the
    // picture is copied into a pixel buffer (at the next dequeue) rather than after. The caller
    // is refused only while a picture waits here, so a refusal always means that a picture can be
    // dequeued. A picture to be deinterlaced goes into the deinterlacer at once, which gives out
    // the picture before it (or nothing, the first time): the caller is refused only when the
    // deinterlacer has one ready.
    //
    // Decoders that run their own frame threads (libdav1d) also refuse input while those threads
    // are still busy with earlier input and have no picture ready: then wait for one or the
    // other. A decoder that stays stuck is given up on after a while; the caller then meets a
    // refusal with nothing to dequeue.
    constexpr auto longestWait = std::chrono::seconds(5);
    constexpr auto longestPause = std::chrono::milliseconds(1);
    const auto deadline = std::chrono::steady_clock::now() + longestWait;
    std::chrono::microseconds pause(20);
    const AVDiscard skipFrame = skipFrameFor(packet);
    bool triedAgainAfterEmptyDequeue = false;
    while (true) {
        decoderContext_->skip_frame = skipFrame;
        if (quillon::startDecoding(packet, *decoderContext_)) {
            skipFrameOfAcceptedPacket_ = skipFrame;
            return true;
        }
        // Refused, the packet was not taken in; the one accepted before may still be waiting,
        // and the dequeue below may take it.
        decoderContext_->skip_frame = skipFrameOfAcceptedPacket_;
        if (pictureWaiting_ || deinterlacer_.hasPictureReady()) {
            return false;
        }
        if (dequeue(*decoderContext_, *decodedFrame_)) {
            if (deinterlacer_.takes(*decodedFrame_)) {
                deinterlaceDecodedFrame();
            } else {
                pictureWaiting_ = true;
            }
            continue;
        }
        // The dequeue may have taken the waiting input in without a picture to give out (one
        // that is not to be shown, say): then the packet fits now.
        if (!triedAgainAfterEmptyDequeue) {
            triedAgainAfterEmptyDequeue = true;
            continue;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min<std::chrono::microseconds>(pause * 2, longestPause);
    }
}

// A seek marks the packets whose pictures are over before its target (AV_PKT_FLAG_DISCARD):
// libavcodec decodes them without giving them out, and of H.264 it need not decode at all the
// pictures that no other picture refers to (nal_ref_idc 0). Other codecs are left alone: a
// picture that HEVC calls non-reference may still be referred to by a higher temporal layer.
AVDiscard FFmpegVideoDecoder::skipFrameFor(const AVPacket& packet) const {
    if (packet.data == nullptr && packet.size == 0) {
        // The end of the input takes nothing in; the last packet may still be waiting.
        return skipFrameOfAcceptedPacket_;
    }
    if ((packet.flags & AV_PKT_FLAG_DISCARD) != 0 &&
        decoderContext_->codec_id == AV_CODEC_ID_H264) {
        return AVDISCARD_NONREF;
    }
    return AVDISCARD_DEFAULT;
}

CMSampleBufferRef FFmpegVideoDecoder::dequeueSampleBuffer() {
    decoderContext_->skip_frame = skipFrameOfAcceptedPacket_;
    while (true) {
        if (deinterlacer_.pull(*deinterlacedFrame_)) {
            return sampleBufferOf(*deinterlacedFrame_);
        }
        bool received = std::exchange(pictureWaiting_, false);
        try {
            received = received || dequeue(*decoderContext_, *decodedFrame_);
            if (received && deinterlacer_.takes(*decodedFrame_)) {
                // The deinterlacer may want the next picture first: take it while the decoder
                // has one, so that the caller is not sent back for a packet with one in store.
                deinterlaceDecodedFrame();
                continue;
            }
        } catch (...) {
            av_frame_unref(decodedFrame_.get());
            recordDecodeFailure();
            throw;
        }
        if (received) {
            return sampleBufferOf(*decodedFrame_);
        }
        if (inputEnded_ && deinterlacer_.holdsPictures()) {
            // No picture comes after these: bwdif makes the last without looking ahead.
            deinterlacer_.finish();
            continue;
        }
        return nullptr;
    }
}

CMSampleBufferRef FFmpegVideoDecoder::sampleBufferOf(AVFrame& frame) {
    try {
        CMSampleBufferRef sampleBuffer = makeSampleBufferFromDecodedFrame(frame);
        if (isDecodingOnHardware()) {
            failedHardwareDecodeCount_ = 0;
        }
        av_frame_unref(&frame);
        return sampleBuffer;
    } catch (...) {
        av_frame_unref(&frame);
        recordDecodeFailure();
        throw;
    }
}

// Moves the decoded picture into the deinterlacer. A hardware picture is copied into memory of
// its own first: the deinterlacer keeps pictures while later ones are decoded and copied, so the
// copy cannot reuse the buffers of the one before, as pictures shown at once do.
void FFmpegVideoDecoder::deinterlaceDecodedFrame() {
    AVFrame& frame = *decodedFrame_;
    const std::unique_ptr<AVFrame, decltype(&av_frame_unref)> unreferenceAtEnd(&frame,
                                                                               &av_frame_unref);
    if (!isHardwareFrame(frame)) {
        deinterlacer_.push(frame);
        return;
    }
    AVFramePointer pixels = makeFrame(CallSite(deinterlaceFunction));
    transferHardwareFrame(frame, *pixels);
    performFFmpegCall({}, false, CallSite(deinterlaceFunction),
                      [&] { return av_frame_copy_props(pixels.get(), &frame); });
    deinterlacer_.push(*pixels);
}

void FFmpegVideoDecoder::recordDecodeFailure() {
    guessedNextPresentationTimestamp_.reset();
    if (!isDecodingOnHardware()) {
        return;
    }
    failedHardwareDecodeCount_ += 1;
    if (failedHardwareDecodeCount_ >= failedHardwareDecodeCountForFallback) {
        logWarning("Too many hardware decode errors; falling back to software decoder.");
        fallBackToSoftwareDecoder();
    }
}

void FFmpegVideoDecoder::fallBackToSoftwareDecoder() {
    // The hardware context stays allocated until the decoder goes; it is never used again.
    decoderContext_ = softwareDecoderContext_.get();
}

CMSampleBufferRef FFmpegVideoDecoder::makeSampleBufferFromDecodedFrame(const AVFrame& frame) {
    const CVPixelBufferRef pixelBuffer = makePixelBuffer(frame);
    setColorAttachments(frame, pixelBuffer);
    attachHDRMetadata(frame, pixelBuffer);

    CMSampleBufferRef sampleBuffer =
        makeSampleBuffer(pixelBuffer, frame, streamTimeBase_, guessedNextPresentationTimestamp_);
    const CMTime duration = CMSampleBufferGetDuration(sampleBuffer);
    if (CMTIME_IS_VALID(duration)) {
        guessedNextPresentationTimestamp_ =
            CMTimeAdd(CMSampleBufferGetPresentationTimeStamp(sampleBuffer), duration);
    } else {
        guessedNextPresentationTimestamp_.reset();
    }
    return sampleBuffer;
}

CVPixelBufferRef FFmpegVideoDecoder::makePixelBuffer(const AVFrame& frame) {
    // A hardware picture is copied into system memory first and then goes the software way.
    const bool inHardwareMemory = isHardwareFrame(frame);
    const AVFrame* pixels = &frame;
    if (inHardwareMemory) {
        if (!transferredFrame_) {
            transferredFrame_ = makeFrame(CallSite(makePixelBufferFunction));
        }
        transferHardwareFrame(frame, *transferredFrame_);
        pixels = transferredFrame_.get();
    }
    // Streams may change their picture size, format or colours at any frame (a broadcast that
    // switches to HDR, files joined end to end); buffers of the old ones would be read past the
    // new frame's memory, or carry the old colours.
    if (!pixelBufferOutput_->accepts(*pixels, frame)) {
        useOutput(std::make_unique<PixelBufferOutput>(
            DecodedPictureFormat::of(*pixels, frame, *decoderContext_), *decoderContext_,
            makePixelBufferFunction));
    }
    CVPixelBufferRef decodedInto;
    if (!inHardwareMemory) {
        decodeIntoOutputPool();
        decodedInto = frameAllocator_->takePixelBuffer(frame);
    }
    CVPixelBufferRef pixelBuffer = pixelBufferOutput_->makePixelBufferForSoftwareDecodedFrame(
        *pixels, frame, std::move(decodedInto));
    if (inHardwareMemory) {
        CVBufferSetAttachment(
            pixelBuffer, kCVImageBufferPixelAspectRatioKey,
            std::make_shared<const CFDictionary>(pixelSpacingAttachment(frame.sample_aspect_ratio)),
            kCVAttachmentMode_ShouldPropagate);
    }
    return pixelBuffer;
}

void FFmpegVideoDecoder::useOutput(std::unique_ptr<PixelBufferOutput> output) {
    pixelBufferOutput_ = std::move(output);
    ++pixelBufferOutputGeneration_;
}

// Pictures decoded from now on go into the current output's pool when it can take them as they
// are; those already decoded into an older pool are copied when they come out.
void FFmpegVideoDecoder::decodeIntoOutputPool() {
    if (frameAllocatorOutputGeneration_ == pixelBufferOutputGeneration_) {
        return;
    }
    frameAllocatorOutputGeneration_ = pixelBufferOutputGeneration_;
    frameAllocator_->setTargetPool(
        pixelBufferOutput_->poolForDecodingInto(),
        pixelBufferOutput_->ffmpegPixelFormatConverter().sourcePixelFormat());
}

void FFmpegVideoDecoder::attachHDRMetadata(const AVFrame& frame,
                                           const CVPixelBufferRef& pixelBuffer) {
    if (auto metadata = readMasteringDisplayMetadata(frame)) {
        latestFrameLevelMasteringDisplayColorVolumeSEIMessageData_ =
            makeMasteringDisplayColorVolumeData(*metadata);
    }
    if (auto level = readContentLightLevel(frame)) {
        latestFrameLevelContentLightLevelInfoSEIMessageData_ =
            makeContentLightLevelInfoData(*level);
    }
    quillon::attachHDRMetadata(pixelBuffer,
                               latestFrameLevelMasteringDisplayColorVolumeSEIMessageData_.value_or(
                                   streamLevelMasteringDisplayColorVolumeSEIMessageData_),
                               latestFrameLevelContentLightLevelInfoSEIMessageData_.value_or(
                                   streamLevelContentLightLevelInfoSEIMessageData_));
}

}  // namespace quillon
