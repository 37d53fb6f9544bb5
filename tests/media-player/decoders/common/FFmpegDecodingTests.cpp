#include <gtest/gtest.h>

#include <cstring>

#include "TestVideoFile.h"
#include "media-player/decoders/common/FFmpegDecoding.h"
#include "platform/foundation/Log.h"

using namespace quillon;
using quillon::testing::TestVideoFile;

namespace {

class FFmpegDecoding : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string path = quillon::testing::smallVideoFilePath();
        if (path.empty()) {
            GTEST_SKIP() << "no ffmpeg CLI to make the test video";
        }
        file = std::make_unique<TestVideoFile>(path);
        codec = avcodec_find_decoder(file->stream->codecpar->codec_id);
        ASSERT_NE(codec, nullptr);
    }

    AVCodecContextPointer makeOpenedContext() {
        auto context = makeDecoderContext(codec, file->stream->codecpar, file->stream->time_base);
        openDecoder(codec, *context);
        return context;
    }

    std::unique_ptr<TestVideoFile> file;
    const AVCodec* codec = nullptr;
};

}  // namespace

TEST_F(FFmpegDecoding, DecoderContextTakesTheStreamParametersAndTimeBase) {
    auto context = makeDecoderContext(codec, file->stream->codecpar, AVRational{1, 90000});
    EXPECT_EQ(context->pkt_timebase.num, 1);
    EXPECT_EQ(context->pkt_timebase.den, 90000);
    EXPECT_EQ(context->width, file->stream->codecpar->width);
    EXPECT_EQ(context->codec_id, file->stream->codecpar->codec_id);
    openDecoder(codec, *context);
    EXPECT_TRUE(avcodec_is_open(context.get()));
}

TEST_F(FFmpegDecoding, OpeningWithAnotherCodecIsLoggedAndThrown) {
    const AVCodec* other = avcodec_find_decoder(
        codec->id == AV_CODEC_ID_H264 ? AV_CODEC_ID_MPEG2VIDEO : AV_CODEC_ID_H264);
    ASSERT_NE(other, nullptr);
    auto context = makeDecoderContext(codec, file->stream->codecpar, file->stream->time_base);
    platform::ScopedLogCapture log;
    EXPECT_THROW(openDecoder(other, *context), FFmpegError);
    EXPECT_TRUE(log.contains(" openDecoder(_:decoderContext:), the FFmpeg function at line "));
}

TEST_F(FFmpegDecoding, EAGAINAndEndOfStreamAreNormalFlow) {
    auto context = makeOpenedContext();
    auto frame = makeFrame("test");
    platform::ScopedLogCapture log;

    // Nothing sent yet: no frame, no error.
    EXPECT_FALSE(dequeue(*context, *frame));

    for (const PacketRef& packet : file->readVideoPackets()) {
        while (!startDecoding(packet->avPacket(), *context)) {
            ASSERT_TRUE(dequeue(*context, *frame));
        }
    }
    const Packet endOfInput;
    EXPECT_TRUE(startDecoding(endOfInput.avPacket(), *context));
    while (dequeue(*context, *frame)) {
    }
    // The decoder has ended: receiving answers AVERROR_EOF and sending counts as taken.
    EXPECT_FALSE(dequeue(*context, *frame));
    EXPECT_TRUE(startDecoding(endOfInput.avPacket(), *context));
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(FFmpegDecoding, OtherSendAndReceiveFailuresAreLoggedAndThrown) {
    // A context that was never opened refuses both calls with EINVAL.
    auto context = makeDecoderContext(codec, file->stream->codecpar, file->stream->time_base);
    auto frame = makeFrame("test");
    const Packet packet;
    platform::ScopedLogCapture log;
    try {
        startDecoding(packet.avPacket(), *context);
        FAIL() << "no error thrown";
    } catch (const FFmpegError& error) {
        EXPECT_EQ(error, FFmpegError::other(AVERROR(EINVAL)));
    }
    EXPECT_THROW(dequeue(*context, *frame), FFmpegError);
    ASSERT_EQ(log.lines().size(), 2u);
    EXPECT_NE(log.lines()[0].find(" startDecoding(_:using:), "), std::string::npos);
    EXPECT_NE(log.lines()[1].find(" dequeue(from:into:), "), std::string::npos);
}

TEST(ICCProfileData, SharesTheSideDataWithoutCopying) {
    AVFramePointer frame(av_frame_alloc());
    EXPECT_EQ(makeICCProfileData(*frame), nullptr);
    ASSERT_NE(av_frame_new_side_data(frame.get(), AV_FRAME_DATA_A53_CC, 4), nullptr);
    EXPECT_EQ(makeICCProfileData(*frame), nullptr);

    AVFrameSideData* side = av_frame_new_side_data(frame.get(), AV_FRAME_DATA_ICC_PROFILE, 16);
    ASSERT_NE(side, nullptr);
    std::memset(side->data, 0xA5, side->size);
    const std::uint8_t* original = side->data;

    platform::CFDataRef data = makeICCProfileData(*frame);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->data(), original);
    EXPECT_EQ(data->size(), 16u);
    // The data keeps the bytes alive after the frame is gone.
    frame.reset();
    EXPECT_EQ(data->bytes()[15], 0xA5);
}

TEST(ICCProfileData, EmptyProfileGivesEmptyData) {
    AVFramePointer frame(av_frame_alloc());
    AVBufferRef* empty = av_buffer_alloc(0);
    ASSERT_NE(empty, nullptr);
    ASSERT_NE(av_frame_new_side_data_from_buf(frame.get(), AV_FRAME_DATA_ICC_PROFILE, empty),
              nullptr);
    platform::CFDataRef data = makeICCProfileData(*frame);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->size(), 0u);
    EXPECT_EQ(av_buffer_get_ref_count(frame->side_data[0]->buf), 1);
}
