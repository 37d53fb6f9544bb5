#include <gtest/gtest.h>

#include <climits>

extern "C" {
#include <libavutil/display.h>
}

#include "MediaSourceTestSupport.h"
#include "media-player/decoders/common/FFmpegError.h"
#include "media-player/media-source/MediaCharacteristics.h"
#include "media-player/media-source/StreamTimestamp.h"
#include "media-player/media-source/SubtitlesTrack.h"
#include "media-player/media-source/VideoTrack.h"

using namespace quillon;

namespace {

// One stream of a format context that was never opened: its codec parameters, metadata,
// disposition and side data are whatever a test sets.
class SyntheticStream {
public:
    SyntheticStream(AVMediaType type, AVCodecID codecID) : context_(avformat_alloc_context()) {
        stream_ = avformat_new_stream(context_.get(), nullptr);
        stream_->codecpar->codec_type = type;
        stream_->codecpar->codec_id = codecID;
        stream_->time_base = {1, 1000};
    }

    AVStream& operator*() const { return *stream_; }
    AVStream* operator->() const { return stream_; }

    void setMetadata(const char* key, const char* value) {
        av_dict_set(&stream_->metadata, key, value, 0);
    }

    void setDisplayRotation(double degrees) {
        auto* matrix = reinterpret_cast<std::int32_t*>(
            av_stream_new_side_data(stream_, AV_PKT_DATA_DISPLAYMATRIX, 9 * sizeof(std::int32_t)));
        av_display_rotation_set(matrix, degrees);
    }

private:
    AVFormatContextPointer context_;
    AVStream* stream_;
};

SyntheticStream videoStream(int width, int height, AVRational sampleAspectRatio = {0, 1}) {
    SyntheticStream stream(AVMEDIA_TYPE_VIDEO, AV_CODEC_ID_H264);
    stream->codecpar->width = width;
    stream->codecpar->height = height;
    stream->codecpar->sample_aspect_ratio = sampleAspectRatio;
    stream->codecpar->format = AV_PIX_FMT_YUV420P;
    return stream;
}

FFmpegError::Kind refusal(const std::function<void()>& make) {
    try {
        make();
    } catch (const FFmpegError& error) {
        return error.kind();
    }
    ADD_FAILURE() << "the stream was accepted";
    return FFmpegError::Kind::other;
}

}  // namespace

TEST(MediaTrack, LanguageTagsBecomeCanonicalIdentifiersWithoutUndetermined) {
    using Codes = std::vector<std::string>;
    EXPECT_EQ(parseLanguageCodes("eng, und ,fre"), (Codes{"en", "fr"}));
    EXPECT_EQ(parseLanguageCodes(",ger,,\n jpn ,"), (Codes{"de", "ja"}));
    EXPECT_EQ(parseLanguageCodes("und"), Codes{});
    EXPECT_EQ(parseLanguageCodes("  "), Codes{});
    EXPECT_EQ(parseLanguageCodes(nullptr), Codes{});
    // Only the exact "und" means undetermined.
    EXPECT_EQ(parseLanguageCodes("UND").size(), 1u);
}

TEST(MediaTrack, CommonFieldsComeFromTheStream) {
    SyntheticStream stream(AVMEDIA_TYPE_SUBTITLE, AV_CODEC_ID_SUBRIP);
    stream->index = 3;
    stream->time_base = {1, 90000};
    stream->disposition =
        AV_DISPOSITION_FORCED | AV_DISPOSITION_HEARING_IMPAIRED | AV_DISPOSITION_CLEAN_EFFECTS;
    stream.setMetadata("language", "fre,eng");
    stream.setMetadata("title", " \tDialogue only\n");

    auto track = SubtitlesTrack::make("SOURCE", *stream);
    EXPECT_EQ(track->id(), "SOURCE.3");
    EXPECT_EQ(track->streamIndex(), 3u);
    EXPECT_EQ(av_cmp_q(track->streamTimeBase(), AVRational{1, 90000}), 0);
    EXPECT_EQ(track->languageCodes(), (std::vector<std::string>{"fr", "en"}));
    EXPECT_EQ(track->title(), "Dialogue only");
    EXPECT_TRUE(track->isForced());
    EXPECT_FALSE(track->isDefault());
    EXPECT_EQ(track->mediaCharacteristics(),
              MediaCharacteristics::hearingImpairedWithCleanEffects());
    EXPECT_TRUE(track->decoder());

    track->setId("RESTORED.3");
    EXPECT_EQ(track->id(), "RESTORED.3");

    SyntheticStream blank(AVMEDIA_TYPE_SUBTITLE, AV_CODEC_ID_SUBRIP);
    blank.setMetadata("title", "   ");
    blank->disposition = AV_DISPOSITION_DEFAULT;
    auto untitled = SubtitlesTrack::make("SOURCE", *blank);
    EXPECT_EQ(untitled->title(), std::nullopt);
    EXPECT_TRUE(untitled->languageCodes().empty());
    EXPECT_TRUE(untitled->isDefault());
}

TEST(MediaTrack, CharacteristicsFollowTheDisposition) {
    using C = MediaCharacteristics;
    EXPECT_EQ(C::fromDisposition(0x80), C::hearingImpaired());
    EXPECT_EQ(C::fromDisposition(0x280), C::hearingImpairedWithCleanEffects());
    EXPECT_EQ(C::fromDisposition(0x180),
              C::describesVideoForAccessibility() | C::hearingImpaired());
    EXPECT_TRUE(C::fromDisposition(0x200).isEmpty());
    EXPECT_TRUE(C::fromDisposition(AV_DISPOSITION_DEFAULT | AV_DISPOSITION_FORCED).isEmpty());
}

TEST(VideoTrack, RefusesCoverPicturesBeforeMakingADecoder) {
    // No decoder exists for this stream: a decoder attempt would answer decoderNotFound.
    SyntheticStream cover(AVMEDIA_TYPE_VIDEO, AV_CODEC_ID_NONE);
    cover->disposition = AV_DISPOSITION_ATTACHED_PIC;
    EXPECT_EQ(refusal([&] { VideoTrack::make("S", *cover); }),
              FFmpegError::Kind::unsupportedMediaType);
}

TEST(VideoTrack, RefusesPicturesWithoutASizeAndStreamsOfOtherKinds) {
    // Refused by the decoder or by the track, whichever notices first: the opening sequence
    // then skips the stream instead of stopping on an impossible picture size.
    auto sizeless = videoStream(0, 0);
    EXPECT_THROW(VideoTrack::make("S", *sizeless), FFmpegError);
    auto flat = videoStream(320, 0);
    EXPECT_THROW(VideoTrack::make("S", *flat), FFmpegError);

    SyntheticStream subtitles(AVMEDIA_TYPE_SUBTITLE, AV_CODEC_ID_SUBRIP);
    EXPECT_EQ(refusal([&] { VideoTrack::make("S", *subtitles); }),
              FFmpegError::Kind::unsupportedMediaType);
}

TEST(VideoTrack, DimensionsApplyThePixelShapeAndTheDisplayMatrix) {
    auto anamorphic = videoStream(1440, 1080, {4, 3});
    const VideoDimensions wide = VideoTrack::make("S", *anamorphic)->dimensions();
    EXPECT_DOUBLE_EQ(wide.squarePixelSize.width, 1920);
    EXPECT_DOUBLE_EQ(wide.squarePixelSize.height, 1080);
    EXPECT_DOUBLE_EQ(wide.aspectRatio, 16.0 / 9.0);

    auto dvd = videoStream(720, 480, {8, 9});
    const VideoDimensions narrow = VideoTrack::make("S", *dvd)->dimensions();
    EXPECT_DOUBLE_EQ(narrow.squarePixelSize.width, 720);
    EXPECT_DOUBLE_EQ(narrow.squarePixelSize.height, 540);

    auto turned = videoStream(1920, 1080);
    turned.setDisplayRotation(90);
    const VideoDimensions portrait = VideoTrack::make("S", *turned)->dimensions();
    ASSERT_TRUE(portrait.displayTransform);
    EXPECT_DOUBLE_EQ(portrait.pixelAspectRatio, 1);
    EXPECT_DOUBLE_EQ(portrait.effectiveSize.width, 1080);
    EXPECT_DOUBLE_EQ(portrait.effectiveSize.height, 1920);
    EXPECT_DOUBLE_EQ(portrait.aspectRatio, 0.5625);
}

TEST(VideoTrack, UnusableSampleAspectRatiosCountAsSquarePixels) {
    EXPECT_EQ(pixelAspectRatio({0, 1}), 1.0);
    EXPECT_EQ(pixelAspectRatio({0, 0}), 1.0);
    EXPECT_EQ(pixelAspectRatio({4, 0}), 1.0);
    EXPECT_EQ(pixelAspectRatio({-4, 3}), 1.0);
    EXPECT_EQ(pixelAspectRatio({3, 2}), 1.5);
}

TEST(StreamTimestamp, MissingOrOverflowingTimesAreNone) {
    EXPECT_EQ(cmTimeFromTimestamp(1500000, {1, 1000000}), platform::CMTimeMake(1500000, 1000000));
    EXPECT_EQ(cmTimeFromTimestamp(90, {1001, 30000}), platform::CMTimeMake(90090, 30000));
    EXPECT_EQ(cmTimeFromTimestamp(AV_NOPTS_VALUE, {1, 1000}), std::nullopt);
    EXPECT_EQ(cmTimeFromTimestamp(10, {0, 1000}), std::nullopt);
    EXPECT_EQ(cmTimeFromTimestamp(10, {1, 0}), std::nullopt);
    // A product beyond 64 bits would wrap to a time anywhere on the time line.
    EXPECT_EQ(cmTimeFromTimestamp(INT64_MAX / 2, {3, 1000}), std::nullopt);
    EXPECT_EQ(cmTimeFromTimestamp(INT64_MIN / 2 - 1, {2, 1000}), std::nullopt);
    EXPECT_EQ(cmTimeFromTimestamp(INT64_MAX / 3, {3, 1000}),
              platform::CMTimeMake(INT64_MAX / 3 * 3, 1000));
}
