#include "VideoDecoderTestSupport.h"

#include <cstring>
#include <stdexcept>

#include "media-player/decoders/common/CVPixelBufferFFmpegData.h"
#include "media-player/decoders/common/CoreMediaCompatibleDecodeSession.h"
#include "media-player/decoders/common/FFmpegPixelFormatConverter.h"
#include "media-player/decoders/video/CMSampleBufferFFmpegVideo.h"
#include "platform/corevideo/CVPixelFormatLayout.h"
#include "support/TestDemuxer.h"

namespace quillon::test {

using namespace platform;

DecodedVideo decodeWholeFile(const std::string& path) {
    TestDemuxer demuxer(path);
    DecodedVideo video;
    video.timeBase = demuxer.timeBase();
    video.decoder = std::make_shared<FFmpegVideoDecoder>(demuxer.stream());
    CoreMediaCompatibleDecodeSession session(video.decoder, [&](CMSampleBufferRef sampleBuffer) {
        video.sampleBuffers.push_back(std::move(sampleBuffer));
    });
    while (PacketRef packet = demuxer.readPacket()) {
        video.packetPresentationTimes.push_back(packet->avPacket().pts);
        session.decode(*packet);
    }
    session.drain();
    return video;
}

std::vector<AVFramePointer> referenceFrames(const std::string& path) {
    TestDemuxer demuxer(path);
    const AVStream& stream = demuxer.stream();
    const AVCodec* codec = avcodec_find_decoder(stream.codecpar->codec_id);
    if (codec == nullptr) {
        throw std::runtime_error("no decoder for " + path);
    }
    AVCodecContextPointer context(avcodec_alloc_context3(codec));
    avcodec_parameters_to_context(context.get(), stream.codecpar);
    context->pkt_timebase = stream.time_base;
    context->thread_count = 1;
    if (avcodec_open2(context.get(), codec, nullptr) < 0) {
        throw std::runtime_error("cannot open the decoder of " + path);
    }
    std::vector<AVFramePointer> frames;
    AVFramePointer frame(av_frame_alloc());
    const auto receive = [&] {
        while (avcodec_receive_frame(context.get(), frame.get()) >= 0) {
            frames.emplace_back(av_frame_clone(frame.get()));
            av_frame_unref(frame.get());
        }
    };
    while (PacketRef packet = demuxer.readPacket()) {
        avcodec_send_packet(context.get(), &packet->avPacket());
        receive();
    }
    avcodec_send_packet(context.get(), nullptr);
    receive();
    return frames;
}

CVPixelBufferRef expectedPixelBuffer(const AVFrame& frame) {
    const FFmpegPixelFormatConverter converter(static_cast<AVPixelFormat>(frame.format),
                                               frame.color_range, frame.width, frame.height);
    CVPixelBufferRef buffer;
    if (CVPixelBufferCreate(
            static_cast<std::size_t>(frame.width), static_cast<std::size_t>(frame.height),
            converter.destinationPixelFormat(), nullptr, &buffer) != kCVReturnSuccess) {
        throw std::runtime_error("cannot make the expected pixel buffer");
    }
    if (converter.isConversionNeeded()) {
        converter.convert(frame, buffer);
    } else {
        fillData(buffer, frame.data, frame.linesize, static_cast<AVPixelFormat>(frame.format));
    }
    return buffer;
}

::testing::AssertionResult samePixels(const CVPixelBufferRef& actual,
                                      const CVPixelBufferRef& expected) {
    if (!actual || !expected) {
        return ::testing::AssertionFailure() << "missing pixel buffer";
    }
    if (CVPixelBufferGetPixelFormatType(actual) != CVPixelBufferGetPixelFormatType(expected) ||
        CVPixelBufferGetWidth(actual) != CVPixelBufferGetWidth(expected) ||
        CVPixelBufferGetHeight(actual) != CVPixelBufferGetHeight(expected)) {
        return ::testing::AssertionFailure()
               << "got " << actual->description() << ", expected " << expected->description();
    }
    const CVPixelFormatLayout& layout = *actual->geometry().layout;
    const std::size_t planes =
        CVPixelBufferIsPlanar(actual) ? CVPixelBufferGetPlaneCount(actual) : 1;
    for (std::size_t plane = 0; plane < planes; ++plane) {
        const auto& a = actual->geometry().planes[plane];
        const auto& e = expected->geometry().planes[plane];
        const CVPixelFormatPlaneLayout& planeLayout = layout.planes[plane];
        const std::size_t rowBytes = (a.width + planeLayout.blockWidth - 1) /
                                     planeLayout.blockWidth * planeLayout.bytesPerBlock();
        const std::uint8_t* actualRow = actual->baseAddressOfPlane(plane);
        const std::uint8_t* expectedRow = expected->baseAddressOfPlane(plane);
        for (std::size_t row = 0; row < a.height; ++row) {
            if (std::memcmp(actualRow, expectedRow, rowBytes) != 0) {
                return ::testing::AssertionFailure()
                       << "plane " << plane << " differs in row " << row << " of " << a.height;
            }
            actualRow += a.bytesPerRow;
            expectedRow += e.bytesPerRow;
        }
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult contiguousPresentationTimes(
    const std::vector<CMSampleBufferRef>& sampleBuffers) {
    for (std::size_t index = 0; index < sampleBuffers.size(); ++index) {
        const CMTime duration = CMSampleBufferGetDuration(sampleBuffers[index]);
        if (!CMTIME_IS_NUMERIC(duration) || CMTimeCompare(duration, kCMTimeZero) <= 0) {
            return ::testing::AssertionFailure()
                   << "sample buffer " << index << " has no positive duration";
        }
        if (index == 0) {
            continue;
        }
        const CMTime expected =
            CMTimeAdd(CMSampleBufferGetPresentationTimeStamp(sampleBuffers[index - 1]),
                      CMSampleBufferGetDuration(sampleBuffers[index - 1]));
        const CMTime actual = CMSampleBufferGetPresentationTimeStamp(sampleBuffers[index]);
        if (CMTimeCompare(actual, expected) != 0) {
            return ::testing::AssertionFailure()
                   << "sample buffer " << index << " starts at " << CMTimeGetSeconds(actual)
                   << " s instead of " << CMTimeGetSeconds(expected) << " s";
        }
    }
    return ::testing::AssertionSuccess();
}

CMTime streamTime(std::int64_t timestamp, AVRational timeBase) {
    return makeTime(timestamp, timeBase).value_or(kCMTimeInvalid);
}

}  // namespace quillon::test
