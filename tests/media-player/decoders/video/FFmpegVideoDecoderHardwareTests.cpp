#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "VideoDecoderTestSupport.h"
#include "media-player/decoders/common/FFmpegDecoding.h"
#include "media-player/decoders/common/FFmpegError.h"
#include "media-player/decoders/video/HardwareDecoding.h"
#include "platform/foundation/Log.h"
#include "support/TestDemuxer.h"
#include "support/TestMedia.h"

using namespace quillon;
using namespace quillon::test;
using namespace platform;

namespace {

constexpr const char* fallbackLine =
    "Too many hardware decode errors; falling back to software decoder.";

std::size_t countLines(const ScopedLogCapture& capture, const std::string& fragment) {
    const auto lines = capture.lines();
    return static_cast<std::size_t>(
        std::count_if(lines.begin(), lines.end(),
                      [&](const auto& line) { return line.find(fragment) != std::string::npos; }));
}

// This machine's hardware decoders: none on build machines without a GPU, where the decoder
// must say why and go on in software. It says so once per process, in one line, however many
// videos are opened: FFmpeg's reasons for each device type tried stay out of the log.
TEST(FFmpegVideoDecoderHardware, FallsBackToSoftwareWithoutADeviceAndSaysSoOnce) {
    ScopedLogCapture capture;
    std::vector<std::shared_ptr<FFmpegVideoDecoder>> decoders;
    for (const char* name : {"h264-aac.mkv", "hevc-bt2020-pq.mkv", "h264-aac.mkv"}) {
        TestDemuxer demuxer(mediaPath(name));
        decoders.push_back(std::make_shared<FFmpegVideoDecoder>(demuxer.stream()));
    }
    if (decoders.front()->hasHardwareDecoderContext()) {
        GTEST_SKIP() << "this machine has a hardware decoder";
    }
    ASSERT_GE(deviceTypesWithConfiguration(*avcodec_find_decoder(AV_CODEC_ID_H264)).size(), 1u)
        << "this FFmpeg decodes H.264 on no device type tried";
    for (const auto& decoder : decoders) {
        EXPECT_FALSE(decoder->isDecodingOnHardware());
    }
    EXPECT_EQ(countLines(capture, "makeHardwareDeviceContext()"), 0u);
    EXPECT_EQ(countLines(capture, "[ffmpeg"), 0u);
    const auto lines = capture.lines();
    // Each test runs in a process of its own under CTest, where this was the first try; run
    // after other tests in one process, the line was written before the capture began.
    EXPECT_LE(countLines(capture, "Failed to initialize VideoToolbox FFmpeg context: "), 1u);
    const auto summary = std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
        return line.starts_with("Failed to initialize VideoToolbox FFmpeg context: ");
    });
    if (summary != lines.end()) {
        EXPECT_TRUE(summary->ends_with("."));
        EXPECT_GT(summary->size(),
                  std::string("Failed to initialize VideoToolbox FFmpeg context: .").size());
    }

    const DecodedVideo video = decodeWholeFile(mediaPath("h264-aac.mkv"));
    EXPECT_EQ(video.sampleBuffers.size(), video.packetPresentationTimes.size());
}

// A codec that no device decodes is never given one: it would decode in software inside a
// context taken for a hardware one, its errors counted as hardware failures.
TEST(FFmpegVideoDecoderHardware, OpensADeviceOnlyForACodecWithAConfigurationForIt) {
    const AVCodec& h264 = *avcodec_find_decoder(AV_CODEC_ID_H264);
    const AVCodec& rawvideo = *avcodec_find_decoder(AV_CODEC_ID_RAWVIDEO);
    EXPECT_TRUE(deviceTypesWithConfiguration(rawvideo).empty());
    // The order asked for is kept, and a type the codec has no configuration for is left out.
    EXPECT_EQ(
        deviceTypesWithConfiguration(h264, {AV_HWDEVICE_TYPE_MEDIACODEC, AV_HWDEVICE_TYPE_VAAPI}),
        std::vector<AVHWDeviceType>{AV_HWDEVICE_TYPE_VAAPI});

    ScopedLogCapture capture;
    EXPECT_EQ(makeHardwareDeviceContext(rawvideo), nullptr);
    TestDemuxer demuxer(mediaPath("rawvideo-yuv420p.nut"));
    FFmpegVideoDecoder decoder(demuxer.stream());
    EXPECT_FALSE(decoder.hasHardwareDecoderContext());
    // Nothing was tried, so nothing failed.
    EXPECT_EQ(countLines(capture, "makeHardwareDeviceContext()"), 0u);
    EXPECT_EQ(countLines(capture, "Failed to initialize VideoToolbox FFmpeg context"), 0u);
}

// Stands in for a hardware decoder: a software context that tests make fail by feeding it
// packets cut short (the raw video decoder refuses a packet smaller than a picture).
class InjectedHardwareContext : public ::testing::Test {
protected:
    void SetUp() override {
        demuxer = std::make_unique<TestDemuxer>(mediaPath("rawvideo-yuv420p.nut"));
        decoder = std::make_shared<FFmpegVideoDecoder>(
            demuxer->stream(), [this](const AVCodec& codec, const AVStream& stream) {
                ++madeHardwareContexts;
                AVCodecContextPointer context =
                    makeDecoderContext(&codec, stream.codecpar, stream.time_base);
                openDecoder(&codec, *context);
                return context;
            });
        packets = demuxer->readPackets();
        ASSERT_GE(packets.size(), 10u);
    }

    PacketRef truncated(std::size_t index) const {
        AVPacket* copy = av_packet_clone(&packets[index]->avPacket());
        copy->size /= 2;
        PacketRef packet = Packet::make(*copy);
        av_packet_free(&copy);
        return packet;
    }

    // Sends a packet and dequeues its picture; false when either step failed.
    bool decodeOne(const PacketRef& packet) {
        try {
            return decoder->startDecoding(*packet) && decoder->dequeueSampleBuffer() != nullptr;
        } catch (const FFmpegError&) {
            return false;
        }
    }

    std::unique_ptr<TestDemuxer> demuxer;
    std::shared_ptr<FFmpegVideoDecoder> decoder;
    std::vector<PacketRef> packets;
    int madeHardwareContexts = 0;
};

TEST_F(InjectedHardwareContext, GivesUpTheHardwareDecoderAtTheEleventhFailureInARow) {
    ScopedLogCapture capture;
    ASSERT_EQ(madeHardwareContexts, 1);
    ASSERT_TRUE(decoder->isDecodingOnHardware());

    for (int failure = 1; failure <= 10; ++failure) {
        EXPECT_FALSE(decodeOne(truncated(0)));
        EXPECT_EQ(decoder->failedHardwareDecodeCount(), failure);
    }
    EXPECT_TRUE(decoder->isDecodingOnHardware());

    // A picture in between starts the count again.
    EXPECT_TRUE(decodeOne(packets[1]));
    EXPECT_EQ(decoder->failedHardwareDecodeCount(), 0);
    EXPECT_TRUE(decoder->isDecodingOnHardware());

    for (int failure = 1; failure <= 10; ++failure) {
        EXPECT_FALSE(decodeOne(truncated(2)));
    }
    EXPECT_TRUE(decoder->isDecodingOnHardware());
    EXPECT_EQ(countLines(capture, fallbackLine), 0u);
    EXPECT_FALSE(decodeOne(truncated(2)));
    EXPECT_FALSE(decoder->isDecodingOnHardware());
    EXPECT_EQ(countLines(capture, fallbackLine), 1u);

    // Software failures count nothing and never log the fallback again.
    EXPECT_FALSE(decodeOne(truncated(3)));
    EXPECT_EQ(countLines(capture, fallbackLine), 1u);
    EXPECT_TRUE(decodeOne(packets[4]));
    EXPECT_FALSE(decoder->isDecodingOnHardware());
    EXPECT_TRUE(decoder->hasHardwareDecoderContext());
}

TEST_F(InjectedHardwareContext, AFlushStartsTheCountAgain) {
    for (int failure = 0; failure < 10; ++failure) {
        EXPECT_FALSE(decodeOne(truncated(0)));
    }
    decoder->flush();
    EXPECT_EQ(decoder->failedHardwareDecodeCount(), 0);
    for (int failure = 0; failure < 10; ++failure) {
        EXPECT_FALSE(decodeOne(truncated(0)));
    }
    EXPECT_TRUE(decoder->isDecodingOnHardware());
}

// Failures after a picture was received count too: here a picture without any time.
TEST_F(InjectedHardwareContext, CountsPicturesThatCannotBeGivenOut) {
    decoder->flush();
    AVPacket* copy = av_packet_clone(&packets[0]->avPacket());
    copy->pts = copy->dts = AV_NOPTS_VALUE;
    const PacketRef untimed = Packet::make(*copy);
    av_packet_free(&copy);
    EXPECT_FALSE(decodeOne(untimed));
    EXPECT_EQ(decoder->failedHardwareDecodeCount(), 1);
}

}  // namespace
