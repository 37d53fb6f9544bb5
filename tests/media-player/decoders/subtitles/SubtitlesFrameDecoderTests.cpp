#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "SubtitlesTestSupport.h"
#include "media-player/decoders/common/FFmpegError.h"
#include "media-player/decoders/subtitles/FFmpegImageSubtitlesDecoder.h"
#include "media-player/decoders/subtitles/FFmpegSubtitlesFrameDecoder.h"
#include "media-player/decoders/subtitles/FFmpegTextSubtitlesDecoder.h"
#include "platform/foundation/Log.h"

namespace quillon {
namespace {

using namespace subtitlestest;

FFmpegError creationError(const AVStream& stream) {
    try {
        FFmpegSubtitlesFrameDecoder decoder(stream);
    } catch (const FFmpegError& error) {
        return error;
    }
    ADD_FAILURE() << "the decoder was made";
    return FFmpegError::eof();
}

TEST(SubtitlesFrameDecoderTests, CreationRefusesStreamsItCannotDecode) {
    HandMadeStream video(AV_CODEC_ID_H264);
    EXPECT_EQ(creationError(*video.stream), FFmpegError::unsupportedMediaType());

    // libavcodec only encodes TTML.
    HandMadeStream ttml(AV_CODEC_ID_TTML);
    EXPECT_EQ(creationError(*ttml.stream), FFmpegError::decoderNotFound(AV_CODEC_ID_TTML));

    AVCodecContextPointer bare(avcodec_alloc_context3(nullptr));
    try {
        makeSubtitlesDecoder(*bare);
        FAIL() << "expected unknownSubtitleType";
    } catch (const FFmpegError& error) {
        EXPECT_EQ(error, FFmpegError::unknownSubtitleType());
    }
}

TEST(SubtitlesFrameDecoderTests, PicksTheInnerDecoderByCodec) {
    HandMadeStream assWithoutHeader(AV_CODEC_ID_ASS);
    FFmpegSubtitlesFrameDecoder text(*assWithoutHeader.stream);
    EXPECT_NE(dynamic_cast<const FFmpegTextSubtitlesDecoder*>(&text.subtitlesDecoder()), nullptr);
    EXPECT_EQ(text.mediaType(), MediaType::subtitles);

    HandMadeStream dvd(AV_CODEC_ID_DVD_SUBTITLE, {}, 0, 0);
    FFmpegSubtitlesFrameDecoder image(*dvd.stream);
    const auto* imageDecoder =
        dynamic_cast<const FFmpegImageSubtitlesDecoder*>(&image.subtitlesDecoder());
    ASSERT_NE(imageDecoder, nullptr);
    // No canvas size in the stream: images without dimensions.
    EXPECT_FALSE(imageDecoder->videoDimensions().has_value());
}

// The ASS decoder without a script header hands its packets' events through unparsed, as
// SUBTITLE_ASS rectangles: the plain-text path.
class ASSWithoutHeaderTests : public ::testing::Test {
protected:
    HandMadeStream stream{AV_CODEC_ID_ASS};
    FFmpegSubtitlesFrameDecoder decoder{*stream.stream};
};

TEST_F(ASSWithoutHeaderTests, TimesComeFromPtsAndDisplayTimes) {
    // pts 10 s (10000000 µs) with a display time of 0 to 2500 ms.
    auto packet = makePacket("0,0,Default,,0,0,0,,{\\b1}Hello{\\b0}\\Nworld", 10000, 2500);
    std::vector<SubtitlesFrame> frames = decoder.decode(*packet);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(CMTimeCompare(frames[0].startTime, platform::CMTimeMake(10, 1)), 0);
    EXPECT_EQ(CMTimeCompare(frames[0].endTime, platform::CMTimeMake(125, 10)), 0);
    EXPECT_EQ(plainText(frames[0].subtitles), "Hello\nworld");
}

TEST_F(ASSWithoutHeaderTests, SubtitleWithoutPresentationTimeIsSkipped) {
    platform::ScopedLogCapture log;
    auto untimed = makePacket("0,0,Default,,0,0,0,,lost", AV_NOPTS_VALUE, 1000);
    EXPECT_FALSE(decoder.dequeueFrame(*untimed).has_value());
    EXPECT_TRUE(log.contains("without presentation timestamp"));

    // The decoder goes on with the next packet.
    auto timed = makePacket("0,0,Default,,0,0,0,,found", 500, 1000);
    std::optional<SubtitlesFrame> frame = decoder.dequeueFrame(*timed);
    ASSERT_TRUE(frame.has_value());
    EXPECT_EQ(plainText(frame->subtitles), "found");
}

TEST_F(ASSWithoutHeaderTests, DrainAtTheEndOfTheTrackLeavesTheDecoderUsable) {
    auto packet = makePacket("0,0,Default,,0,0,0,,one", 0, 1000);
    ASSERT_EQ(decoder.decode(*packet).size(), 1u);
    EXPECT_TRUE(drainSubtitlesFrameDecoder(decoder).empty());
    EXPECT_TRUE(drainSubtitlesFrameDecoder(decoder).empty());

    decoder.flush();
    auto after = makePacket("0,0,Default,,0,0,0,,two", 2000, 1000);
    ASSERT_EQ(decoder.decode(*after).size(), 1u);
}

// SubRip in a legacy single-byte encoding: "café" in Windows-1252.
class CharacterEncodingTests : public ::testing::Test {
protected:
    PacketRef latin1Packet() { return makePacket("caf\xE9", 1000, 1000); }

    HandMadeStream stream{AV_CODEC_ID_SUBRIP};
    FFmpegSubtitlesFrameDecoder decoder{*stream.stream};
};

TEST_F(CharacterEncodingTests, WithoutAnEncodingTextThatIsNotUTF8IsRefused) {
    EXPECT_FALSE(decoder.characterEncoding().has_value());
    EXPECT_THROW(decoder.decode(*latin1Packet()), FFmpegError);
    // The failure does not break the decoder.
    auto utf8 = makePacket("caf\xC3\xA9", 3000, 1000);
    ASSERT_EQ(decoder.decode(*utf8).size(), 1u);
}

TEST_F(CharacterEncodingTests, AKnownEncodingIsConvertedFromTheNextPacketOn) {
    decoder.setCharacterEncoding("WINDOWS-1252");
    EXPECT_EQ(decoder.characterEncoding(), std::optional<std::string>("WINDOWS-1252"));
    ASSERT_NE(decoder.decoderContext()->sub_charenc, nullptr);
    EXPECT_STREQ(decoder.decoderContext()->sub_charenc, "WINDOWS-1252");
    EXPECT_EQ(decoder.decoderContext()->sub_charenc_mode, FF_SUB_CHARENC_MODE_PRE_DECODER);

    std::vector<SubtitlesFrame> frames = decoder.decode(*latin1Packet());
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(plainText(frames[0].subtitles), "caf\xC3\xA9");

    decoder.setCharacterEncoding(std::nullopt);
    EXPECT_FALSE(decoder.characterEncoding().has_value());
    EXPECT_EQ(decoder.decoderContext()->sub_charenc, nullptr);
    EXPECT_EQ(decoder.decoderContext()->sub_charenc_mode, FF_SUB_CHARENC_MODE_DO_NOTHING);
}

TEST_F(CharacterEncodingTests, AnEncodingIconvDoesNotKnowCountsAsNone) {
    decoder.setCharacterEncoding("WINDOWS-1252");
    platform::ScopedLogCapture log;
    // uchardet reports this name; iconv has no converter for it.
    decoder.setCharacterEncoding("HZ-GB-2312");
    EXPECT_TRUE(log.contains("HZ-GB-2312"));
    EXPECT_FALSE(decoder.characterEncoding().has_value());
    EXPECT_EQ(decoder.decoderContext()->sub_charenc, nullptr);
    EXPECT_EQ(decoder.decoderContext()->sub_charenc_mode, FF_SUB_CHARENC_MODE_DO_NOTHING);

    // libavcodec would stop the process here had it been given the name.
    auto ascii = makePacket("plain", 1000, 1000);
    std::vector<SubtitlesFrame> frames = decoder.decode(*ascii);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(plainText(frames[0].subtitles), "plain");
}

TEST(CharacterEncodingBitmapTests, BitmapCodecsKeepTheNameButNeverConvert) {
    HandMadeStream dvd(AV_CODEC_ID_DVD_SUBTITLE);
    FFmpegSubtitlesFrameDecoder decoder(*dvd.stream);
    decoder.setCharacterEncoding("WINDOWS-1252");
    EXPECT_EQ(decoder.characterEncoding(), std::optional<std::string>("WINDOWS-1252"));
    EXPECT_EQ(decoder.decoderContext()->sub_charenc_mode, FF_SUB_CHARENC_MODE_DO_NOTHING);
}

}  // namespace
}  // namespace quillon
