#include <gtest/gtest.h>

#include "media-player/decoders/common/FFmpegCall.h"
#include "media-player/decoders/common/FFmpegError.h"

using quillon::FFmpegError;
using quillon::ffmpegErrorString;

TEST(FFmpegError, ReturnCodesMapToTheirCases) {
    EXPECT_EQ(FFmpegError(AVERROR_EOF), FFmpegError::eof());
    EXPECT_EQ(FFmpegError(AVERROR(EAGAIN)), FFmpegError::posixEAGAIN());
    EXPECT_EQ(FFmpegError(AVERROR(ERANGE)), FFmpegError::posixERANGE());
    EXPECT_EQ(FFmpegError(AVERROR(EINVAL)), FFmpegError::other(AVERROR(EINVAL)));
    EXPECT_EQ(FFmpegError(AVERROR_INVALIDDATA).errorCode(), AVERROR_INVALIDDATA);
}

TEST(FFmpegError, EqualityComparesCaseAndEveryPayload) {
    EXPECT_NE(FFmpegError::other(-1), FFmpegError::other(-2));
    EXPECT_NE(FFmpegError::unknownAudioSampleSize(AV_SAMPLE_FMT_S16),
              FFmpegError::unknownSampleFormat(AV_SAMPLE_FMT_S16));
    EXPECT_EQ(FFmpegError::channelLayoutDoesNotMatchChannelCount(3, 2),
              FFmpegError::channelLayoutDoesNotMatchChannelCount(3, 2));
    EXPECT_NE(FFmpegError::channelLayoutDoesNotMatchChannelCount(3, 2),
              FFmpegError::channelLayoutDoesNotMatchChannelCount(3, 1));
    EXPECT_NE(FFmpegError::channelLayoutDoesNotMatchChannelCount(3, 2),
              FFmpegError::channelLayoutDoesNotMatchChannelCount(7, 2));
    EXPECT_NE(FFmpegError::unexpectedChannelType(4), FFmpegError::unsupportedChannelLayout(4));
    EXPECT_NE(FFmpegError::eof(), FFmpegError::posixEAGAIN());
}

TEST(FFmpegError, DescriptionsAreTheFixedTexts) {
    const std::pair<FFmpegError, std::string> cases[] = {
        {FFmpegError::other(AVERROR(EINVAL)), "Invalid argument"},
        {FFmpegError::decoderNotFound(AV_CODEC_ID_H264),
         "Failed to find decoder for codec ID AVCodecID(rawValue: 27)."},
        {FFmpegError::unknownAudioSampleSize(AV_SAMPLE_FMT_FLT),
         "Unknown sample size for sample format AVSampleFormat(rawValue: 3)."},
        {FFmpegError::unknownSampleFormat(AV_SAMPLE_FMT_NONE),
         "Unknown sample format AVSampleFormat(rawValue: -1)."},
        {FFmpegError::unsupportedChannelCount(9), "9 is not a supported channel count."},
        {FFmpegError::channelLayoutDoesNotMatchChannelCount(1551, 2),
         "Channel layout `1551` does not match channel count of 2."},
        {FFmpegError::unexpectedChannelType(0x80000000ULL),
         "Unexpectedly encountered channel type `2147483648`."},
        {FFmpegError::unsupportedChannelLayout(18446744073709551615ULL),
         "Unsupported channel layout 18446744073709551615."},
        {FFmpegError::eof(), "End of file"},
        {FFmpegError::posixEAGAIN(), ffmpegErrorString(AVERROR(EAGAIN))},
        {FFmpegError::posixERANGE(), ffmpegErrorString(AVERROR(ERANGE))},
        {FFmpegError::allocationFailure(), "Failed to allocate memory."},
        {FFmpegError::unsupportedMediaType(), "The media type is not supported."},
        {FFmpegError::noPresentationTimestamp(), "Frame does not contain presentation timestamp."},
        {FFmpegError::unknownSubtitleType(), "Subtitle type is unknown."},
    };
    for (const auto& [error, text] : cases) {
        EXPECT_EQ(error.description(), text);
        // The description is the error's default textual form.
        EXPECT_EQ(error.debugDescription(), text);
    }
    EXPECT_EQ(ffmpegErrorString(AVERROR(EAGAIN)), "Resource temporarily unavailable");
}

TEST(FFmpegError, BridgesWithItsCaseIndexAsCodeAndSurvivesCloning) {
    EXPECT_EQ(FFmpegError::other(-1).code(), 0);
    EXPECT_EQ(FFmpegError::eof().code(), 8);
    EXPECT_EQ(FFmpegError::unknownSubtitleType().code(), 14);
    EXPECT_EQ(FFmpegError::eof().domain(), "QuillonPlayer.FFmpegError");

    try {
        throw FFmpegError::unsupportedChannelCount(9);
    } catch (const platform::Error&) {
        auto copy = platform::currentError();
        const auto* error = dynamic_cast<const FFmpegError*>(copy.get());
        ASSERT_NE(error, nullptr);
        EXPECT_EQ(*error, FFmpegError::unsupportedChannelCount(9));
        EXPECT_EQ(error->channelCount(), 9);
    }
}
