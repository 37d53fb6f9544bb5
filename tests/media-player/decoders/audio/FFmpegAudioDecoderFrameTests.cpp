// The decoder's handling of frames, fed with frames made in memory and with raw PCM packets.

#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "AudioDecoderTestSupport.h"
#include "media-player/decoders/audio/FFmpegAudioDecoder.h"
#include "media-player/decoders/common/CoreMediaCompatibleDecodeSession.h"
#include "media-player/decoders/common/FFmpegError.h"
#include "platform/foundation/Log.h"

namespace quillon {
namespace {

using namespace platform;
using test::makeAudioFrame;
using test::SyntheticStream;

const AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;

// A decoder of raw 16-bit stereo whose frames the tests make themselves.
struct FrameFeeder {
    explicit FrameFeeder(AVRational timeBase, int sampleRate = 48000)
        : stream(AV_CODEC_ID_PCM_S16LE, sampleRate, stereo, timeBase), decoder(stream.stream()) {}

    CMSampleBufferRef feed(int sampleRate, int nbSamples, std::int64_t timestamp,
                           const AVChannelLayout& layout = stereo,
                           AVSampleFormat format = AV_SAMPLE_FMT_S16) {
        AVFramePointer frame = makeAudioFrame(format, sampleRate, layout, nbSamples, timestamp);
        return decoder.processDecodedFrame(*frame);
    }

    SyntheticStream stream;
    FFmpegAudioDecoder decoder;
};

TEST(FFmpegAudioDecoderFrameTests, countsSamplesWhenTheTimeBaseIsCoarse) {
    FrameFeeder feeder({1, 1000});
    std::vector<CMSampleBufferRef> buffers;
    for (int index = 0; index < 100; ++index) {
        // Milliseconds, rounded: 21, 43, 64, ... instead of 21.33, 42.67, 64.
        const auto milliseconds = std::llround(index * 1024 / 48.0);
        if (CMSampleBufferRef buffer = feeder.feed(48000, 1024, milliseconds)) {
            buffers.push_back(buffer);
        }
    }
    // 47 frames make the first second; the rounded times do not split it.
    ASSERT_EQ(buffers.size(), 2u);
    EXPECT_EQ(CMSampleBufferGetNumSamples(buffers[0]), 47 * 1024);
    EXPECT_EQ(CMSampleBufferGetPresentationTimeStamp(buffers[0]), kCMTimeZero);
    EXPECT_EQ(CMSampleBufferGetPresentationTimeStamp(buffers[1]), CMTimeMake(47 * 1024, 48000));
    EXPECT_EQ(feeder.decoder.guessedNextPresentationTimestamp(), CMTimeMake(100 * 1024, 48000));
}

TEST(FFmpegAudioDecoderFrameTests, timesFramesAfterARateChangeWithTheirOwnRate) {
    FrameFeeder feeder({1, 1000}, 44100);
    for (int index = 0; index < 10; ++index) {
        EXPECT_EQ(feeder.feed(44100, 1152, std::llround(index * 1152 / 44.1)), nullptr);
    }
    const CMTime change = CMTimeMake(10 * 1152, 44100);
    // The first frame at the new rate ends the buffer of the old rate.
    const CMSampleBufferRef before = feeder.feed(48000, 1152, std::llround(change.value / 44.1));
    ASSERT_NE(before, nullptr);
    EXPECT_EQ(CMSampleBufferGetNumSamples(before), 10 * 1152);
    EXPECT_EQ(CMSampleBufferGetDuration(before), change);
    for (int index = 1; index < 10; ++index) {
        // Rounded stream times, within rounding of what the samples count.
        EXPECT_EQ(feeder.feed(48000, 1152, std::llround(change.value / 44.1 + index * 1152 / 48.0)),
                  nullptr);
    }
    ASSERT_NE(feeder.decoder.sampleBufferBuilder(), nullptr);
    EXPECT_EQ(feeder.decoder.sampleBufferBuilder()->presentationTimestamp(), change);
    EXPECT_EQ(feeder.decoder.sampleBufferBuilder()->frameCount(), 10 * 1152);
    EXPECT_EQ(feeder.decoder.guessedNextPresentationTimestamp(),
              change + CMTimeMake(10 * 1152, 48000));
    EXPECT_EQ(feeder.decoder.audioProperties().bufferLevelProperties.sampleRate, 48000);
}

TEST(FFmpegAudioDecoderFrameTests, startsANewBufferAtAJumpInTime) {
    FrameFeeder feeder({1, 48000});
    EXPECT_EQ(feeder.feed(48000, 1024, 0), nullptr);
    EXPECT_EQ(feeder.feed(48000, 1024, 1024), nullptr);
    // With a time base that counts samples the frame's own time wins over the guess.
    const CMSampleBufferRef beforeGap = feeder.feed(48000, 1024, 9000);
    ASSERT_NE(beforeGap, nullptr);
    EXPECT_EQ(CMSampleBufferGetNumSamples(beforeGap), 2048);
    EXPECT_EQ(feeder.decoder.sampleBufferBuilder()->presentationTimestamp(),
              CMTimeMake(9000, 48000));

    // A frame without a time follows the guess; without a guess it cannot be placed.
    EXPECT_EQ(feeder.feed(48000, 1024, AV_NOPTS_VALUE), nullptr);
    EXPECT_EQ(feeder.decoder.sampleBufferBuilder()->frameCount(), 2048);
    feeder.decoder.flush();
    EXPECT_EQ(feeder.decoder.sampleBufferBuilder(), nullptr);
    EXPECT_FALSE(feeder.decoder.guessedNextPresentationTimestamp());
    EXPECT_THROW(feeder.feed(48000, 1024, AV_NOPTS_VALUE), FFmpegError);
    // After a flush the next frame starts over at its own time.
    EXPECT_EQ(feeder.feed(48000, 1024, 480000), nullptr);
    EXPECT_EQ(feeder.decoder.sampleBufferBuilder()->presentationTimestamp(), CMTimeMake(10, 1));
}

TEST(FFmpegAudioDecoderFrameTests, handsOutTheFinishedBufferBeforeReportingAFormatItCannotUse) {
    FrameFeeder feeder({1, 48000});
    for (int index = 0; index < 30; ++index) {
        ASSERT_EQ(feeder.feed(48000, 1000, index * 1000), nullptr);
    }
    // Nine channels without a layout: no builder can describe them.
    AVChannelLayout nine{};
    nine.order = AV_CHANNEL_ORDER_UNSPEC;
    nine.nb_channels = 9;
    const CMSampleBufferRef finished = feeder.feed(48000, 1000, 30000, nine);
    ASSERT_NE(finished, nullptr);
    EXPECT_EQ(CMSampleBufferGetNumSamples(finished), 30000);
    EXPECT_EQ(CMSampleBufferGetPresentationTimeStamp(finished), kCMTimeZero);

    // The failure comes with the next dequeue, once.
    try {
        feeder.decoder.dequeueSampleBuffer();
        ADD_FAILURE() << "the failure was not reported";
    } catch (const FFmpegError& error) {
        EXPECT_EQ(error, FFmpegError::unsupportedChannelCount(9));
    }
    EXPECT_FALSE(feeder.decoder.guessedNextPresentationTimestamp());
    EXPECT_EQ(feeder.decoder.dequeueSampleBuffer(), nullptr);
    // Without a finished buffer to hand out, the failure is reported at once.
    EXPECT_THROW(feeder.feed(48000, 1000, 31000, nine), FFmpegError);
    // Back to a usable format, decoding goes on.
    EXPECT_EQ(feeder.feed(48000, 1000, 32000), nullptr);
    EXPECT_EQ(feeder.decoder.sampleBufferBuilder()->presentationTimestamp(),
              CMTimeMake(32000, 48000));
}

TEST(FFmpegAudioDecoderFrameTests, endsTheBufferWhenTheSampleFormatChanges) {
    FrameFeeder feeder({1, 48000});
    EXPECT_EQ(feeder.feed(48000, 1000, 0), nullptr);
    const CMSampleBufferRef shortSamples =
        feeder.feed(48000, 1000, 1000, stereo, AV_SAMPLE_FMT_S32);
    ASSERT_NE(shortSamples, nullptr);
    EXPECT_EQ(CMSampleBufferGetTotalSampleSize(shortSamples), 4000u);
    EXPECT_EQ(feeder.decoder.audioProperties().bytesPerSample, 4);
    EXPECT_EQ(feeder.decoder.sampleBufferBuilder()->presentationTimestamp(),
              CMTimeMake(1000, 48000));
}

TEST(FFmpegAudioDecoderFrameTests, letsEveryFrameLeaveOnceTheInputHasEnded) {
    FrameFeeder feeder({1, 48000});
    const Packet endOfInput;
    ASSERT_TRUE(feeder.decoder.startDecoding(endOfInput));
    EXPECT_TRUE(feeder.decoder.forceDequeueSampleBuffer());
    for (int index = 0; index < 3; ++index) {
        const CMSampleBufferRef buffer = feeder.feed(48000, 512, index * 512);
        ASSERT_NE(buffer, nullptr);
        EXPECT_EQ(CMSampleBufferGetNumSamples(buffer), 512);
        EXPECT_EQ(CMSampleBufferGetPresentationTimeStamp(buffer), CMTimeMake(index * 512, 48000));
    }
    feeder.decoder.flush();
    EXPECT_FALSE(feeder.decoder.forceDequeueSampleBuffer());
}

// Raw PCM through a real decoder and a decode session.
std::vector<std::uint8_t> pcmBytes(int frames, int channels, int seed) {
    std::vector<std::uint8_t> bytes(std::size_t(frames) * channels * 2);
    for (std::size_t index = 0; index < bytes.size(); ++index) {
        bytes[index] = static_cast<std::uint8_t>(index * 31 + seed);
    }
    return bytes;
}

TEST(FFmpegAudioDecoderFrameTests, drainHandsOutTheLastPartOfASecond) {
    SyntheticStream stream(AV_CODEC_ID_PCM_S16LE, 48000, stereo, {1, 48000});
    auto decoder = FFmpegAudioDecoder::make(stream.stream());
    std::vector<CMSampleBufferRef> buffers;
    CoreMediaCompatibleDecodeSession session(
        decoder, [&](CMSampleBufferRef buffer) { buffers.push_back(std::move(buffer)); });
    std::vector<std::uint8_t> expected;
    for (int index = 0; index < 30; ++index) {
        const std::vector<std::uint8_t> bytes = pcmBytes(1000, 2, index);
        expected.insert(expected.end(), bytes.begin(), bytes.end());
        session.decode(*stream.packet(bytes, index * 1000));
    }
    EXPECT_TRUE(buffers.empty()) << "less than a second must wait for more";
    session.drain();
    ASSERT_EQ(buffers.size(), 1u);
    EXPECT_EQ(CMSampleBufferGetNumSamples(buffers[0]), 30000);
    EXPECT_EQ(test::sampleBytes(buffers), expected);
    EXPECT_EQ(decoder->sampleBufferBuilder(), nullptr);
}

// The frame-level checks above use frames made in memory; this one makes sure the decoder's
// own frames, reused after every dequeue, leave their samples intact in the buffers.
TEST(FFmpegAudioDecoderFrameTests, keepsSamplesOfReusedDecoderFrames) {
    SyntheticStream stream(AV_CODEC_ID_PCM_S16LE, 8000, stereo, {1, 8000});
    auto decoder = FFmpegAudioDecoder::make(stream.stream());
    std::vector<CMSampleBufferRef> buffers;
    CoreMediaCompatibleDecodeSession session(
        decoder, [&](CMSampleBufferRef buffer) { buffers.push_back(std::move(buffer)); });
    std::vector<std::uint8_t> expected;
    for (int index = 0; index < 25; ++index) {
        const std::vector<std::uint8_t> bytes = pcmBytes(800, 2, index);
        expected.insert(expected.end(), bytes.begin(), bytes.end());
        session.decode(*stream.packet(bytes, index * 800));
    }
    session.drain();
    ASSERT_EQ(buffers.size(), 3u);
    EXPECT_EQ(CMSampleBufferGetNumSamples(buffers[0]), 8000);
    EXPECT_EQ(test::totalFrameCount(buffers), 20000);
    EXPECT_TRUE(test::contiguousPresentationTimes(buffers));
    EXPECT_EQ(test::sampleBytes(buffers), expected);
}

}  // namespace
}  // namespace quillon
