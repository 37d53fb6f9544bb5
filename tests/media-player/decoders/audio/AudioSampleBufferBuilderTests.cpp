#include "media-player/decoders/audio/AudioSampleBufferBuilder.h"

#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "AudioDecoderTestSupport.h"

namespace quillon {
namespace {

using namespace platform;
using test::makeAudioFrame;
using test::sampleBytes;

const AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;

TEST(AudioSampleBufferBuilderTests, referencesInterleavedFramesWithoutAConverter) {
    const AudioProperties properties(AV_SAMPLE_FMT_S16, 44100, stereo, 0);
    const CMTime start = CMTimeMake(441, 44100);
    std::vector<std::uint8_t> expected;
    auto builder = std::make_unique<AudioSampleBufferBuilder>(properties, start);
    for (int index = 0; index < 3; ++index) {
        AVFramePointer frame = makeAudioFrame(AV_SAMPLE_FMT_S16, 44100, stereo, 1024, index);
        for (int byte = 0; byte < 4096; ++byte) {
            frame->data[0][byte] = static_cast<std::uint8_t>(byte * 7 + index);
        }
        expected.insert(expected.end(), frame->data[0], frame->data[0] + 4096);
        builder->setFrameCount(builder->frameCount() + frame->nb_samples);
        builder->appendInterleavedData(*frame, 4096);
        // The decoder reuses its frame at once; the appended samples must not change.
        av_frame_unref(frame.get());
    }
    const CMSampleBufferRef sampleBuffer = builder->makeSampleBuffer();
    EXPECT_FALSE(builder->hasPlanarToInterleavedConverter());
    builder.reset();

    EXPECT_EQ(CMSampleBufferGetNumSamples(sampleBuffer), 3072);
    EXPECT_EQ(CMSampleBufferGetPresentationTimeStamp(sampleBuffer), start);
    EXPECT_EQ(CMSampleBufferGetDuration(sampleBuffer), CMTimeMake(3072, 44100));
    CMSampleTimingInfo timing;
    ASSERT_EQ(CMSampleBufferGetSampleTimingInfo(sampleBuffer, 1, &timing), noErr);
    EXPECT_EQ(timing.duration, CMTimeMake(1, 44100));
    EXPECT_EQ(CMSampleBufferGetSampleSize(sampleBuffer, 0), 4u);
    EXPECT_EQ(sampleBytes({sampleBuffer}), expected);
}

TEST(AudioSampleBufferBuilderTests, appendsTheFramesDataWhereverItLiesInItsBuffer) {
    // Decoders that hand out frames inside a larger buffer (a packet's, or a pool's with a
    // header) set data[0] past the start of buf[0].
    const AudioProperties properties(AV_SAMPLE_FMT_S16, 48000, stereo, 0);
    AVFramePointer frame = makeAudioFrame(AV_SAMPLE_FMT_S16, 48000, stereo, 100, 0);
    AVBufferRef* whole = av_buffer_alloc(64 + 400);
    ASSERT_NE(whole, nullptr);
    std::memset(whole->data, 0xEE, 64);
    for (int byte = 0; byte < 400; ++byte) {
        whole->data[64 + byte] = static_cast<std::uint8_t>(byte);
    }
    av_buffer_unref(&frame->buf[0]);
    frame->buf[0] = whole;
    frame->data[0] = frame->extended_data[0] = whole->data + 64;

    AudioSampleBufferBuilder builder(properties, kCMTimeZero);
    builder.setFrameCount(100);
    builder.appendInterleavedData(*frame, 400);
    frame.reset();
    const std::vector<std::uint8_t> bytes = sampleBytes({builder.makeSampleBuffer()});
    ASSERT_EQ(bytes.size(), 400u);
    for (int byte = 0; byte < 400; ++byte) {
        ASSERT_EQ(bytes[byte], static_cast<std::uint8_t>(byte)) << byte;
    }
}

TEST(AudioSampleBufferBuilderTests, copiesFramesThatNoBufferOwns) {
    const AudioProperties properties(AV_SAMPLE_FMT_S16, 48000, stereo, 0);
    std::vector<std::uint8_t> samples(40);
    for (std::size_t byte = 0; byte < samples.size(); ++byte) {
        samples[byte] = static_cast<std::uint8_t>(byte + 1);
    }
    AVFrame frame{};
    frame.data[0] = samples.data();
    frame.nb_samples = 10;
    AudioSampleBufferBuilder builder(properties, kCMTimeZero);
    builder.setFrameCount(10);
    builder.appendInterleavedData(frame, samples.size());
    std::vector<std::uint8_t> expected = samples;
    std::fill(samples.begin(), samples.end(), 0);
    EXPECT_EQ(sampleBytes({builder.makeSampleBuffer()}), expected);
}

// Planar frames come out interleaved, with or without a pool of blocks to interleave into.
TEST(AudioSampleBufferBuilderTests, interleavesPlanarFrames) {
    const AVChannelLayout surround = AV_CHANNEL_LAYOUT_5POINT1;
    const AudioProperties properties(AV_SAMPLE_FMT_FLTP, 48000, surround, 0);
    // A pool whose blocks hold two and a half frames: a third frame needs a new block.
    auto pool = std::make_shared<AudioBlockPool>(1024 * 24 * 5 / 2);
    for (const std::shared_ptr<AudioBlockPool>& blocks :
         {std::shared_ptr<AudioBlockPool>(), pool}) {
        AudioSampleBufferBuilder builder(properties, kCMTimeZero, blocks);
        for (int index = 0; index < 5; ++index) {
            AVFramePointer frame = makeAudioFrame(AV_SAMPLE_FMT_FLTP, 48000, surround, 1024, 0);
            builder.setFrameCount(builder.frameCount() + 1024);
            builder.appendNonInterleavedData(*frame, 1024, 1024 * 24);
        }
        EXPECT_TRUE(builder.hasPlanarToInterleavedConverter());
        const CMSampleBufferRef sampleBuffer = builder.makeSampleBuffer();
        EXPECT_EQ(CMSampleBufferGetNumSamples(sampleBuffer), 5 * 1024);
        const std::vector<std::uint8_t> bytes = sampleBytes({sampleBuffer});
        ASSERT_EQ(bytes.size(), 5u * 1024 * 24);
        for (std::size_t byte = 0; byte < bytes.size(); ++byte) {
            // Every sample of channel c was filled with the byte c + 1.
            ASSERT_EQ(bytes[byte], byte % 24 / 4 + 1) << byte;
        }
        EXPECT_EQ(CMSampleBufferGetDataBuffer(sampleBuffer)->pieceCount(), blocks ? 3u : 5u);
    }
}

TEST(AudioSampleBufferBuilderTests, refusesAFormatItCannotDescribe) {
    AVChannelLayout nine{};
    nine.order = AV_CHANNEL_ORDER_UNSPEC;
    nine.nb_channels = 9;
    const AudioProperties properties(AV_SAMPLE_FMT_S16, 48000, nine, 0);
    EXPECT_THROW(AudioSampleBufferBuilder(properties, kCMTimeZero), FFmpegError);
}

}  // namespace
}  // namespace quillon
