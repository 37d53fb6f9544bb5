#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTranslator>

#include "MediaSourceTestSupport.h"
#include "media-player/decoders/common/FFmpegError.h"
#include "media-player/media-source/MediaSourceLoadError.h"
#include "platform/foundation/Localization.h"

using namespace quillon;
using platform::URL;

namespace {

struct Texts {
    std::optional<std::string> description, reason, suggestion;
};

Texts textsOf(const MediaSourceLoadError& error) {
    return {error.errorDescription(), error.failureReason(), error.recoverySuggestion()};
}

// Answers every lookup of the application's texts with the English text in guillemets.
class GuillemetTranslator : public QTranslator {
public:
    QString translate(const char* context, const char* sourceText, const char*,
                      int) const override {
        if (QByteArray(context) != platform::kApplicationLocalizationContext) {
            return {};
        }
        return QStringLiteral("«%1»").arg(QString::fromUtf8(sourceText));
    }
    bool isEmpty() const override { return false; }
};

class UserInfoError final : public platform::Error {
public:
    explicit UserInfoError(std::string domain) : domain_(std::move(domain)) {}
    std::string domain() const override { return domain_; }
    std::int64_t code() const override { return 7; }
    std::shared_ptr<const platform::Error> clone() const override {
        return std::make_shared<UserInfoError>(*this);
    }
    std::string debugDescription() const override { return "UserInfoError.seven"; }

private:
    std::string domain_;
};

class SilentLocalizedError final : public platform::LocalizedError {
public:
    std::optional<std::string> errorDescription() const override { return std::nullopt; }
    std::string domain() const override { return "Silent"; }
    std::int64_t code() const override { return 0; }
    std::shared_ptr<const platform::Error> clone() const override {
        return std::make_shared<SilentLocalizedError>(*this);
    }
};

}  // namespace

TEST(MediaSourceLoadError, UnsupportedSchemesNameTheSchemeAndAskForAFeatureRequest) {
    const auto texts = textsOf(MediaSourceLoadError::unsupportedURLScheme("https"));
    EXPECT_EQ(texts.description, "Unable to load the media.");
    EXPECT_EQ(texts.reason, "The URL scheme `https` is currently unsupported.");
    EXPECT_EQ(texts.suggestion, "Please submit a feature request.");

    EXPECT_EQ(MediaSourceLoadError::unsupportedURLScheme("").failureReason(),
              "The URL scheme `` is currently unsupported.");
}

TEST(MediaSourceLoadError, FailedOpensSayWhatFailedToOpenAndWhy) {
    const FFmpegError cause = FFmpegError::other(AVERROR_INVALIDDATA);
    const auto file = MediaSourceLoadError::failedToOpenURL(URL::fileURL("/tmp/a.mkv"), cause);
    const auto texts = textsOf(file);
    EXPECT_EQ(texts.description, "Unable to open the file.");
    EXPECT_EQ(texts.reason, cause.description());
    EXPECT_EQ(texts.suggestion, std::nullopt);

    const auto remote =
        MediaSourceLoadError::failedToOpenURL(*URL::fromString("https://example.com/a"), cause);
    EXPECT_EQ(remote.errorDescription(), "Unable to open the URL.");

    // A wrapped localized error contributes all three of its texts.
    const auto nested = MediaSourceLoadError::failedToOpenURL(
        URL::fileURL("/tmp/a.mkv"), MediaSourceLoadError::inconsistentReads());
    EXPECT_EQ(nested.failureReason(),
              "Unable to load the media. The file was modified while trying to read it. "
              "Please try again.");
}

TEST(MediaSourceLoadError, NoDecodableTracksNamesTheKindsInDeclarationOrder) {
    EXPECT_EQ(MediaSourceLoadError::noDecodableTracks(
                  {MediaType::subtitles, MediaType::audio, MediaType::video})
                  .failureReason(),
              "The media does not contain any decodable video/audio/subtitle tracks.");
    EXPECT_EQ(MediaSourceLoadError::noDecodableTracks({MediaType::audio, MediaType::video})
                  .failureReason(),
              "The media does not contain any decodable video/audio tracks.");
    const auto subtitles = textsOf(MediaSourceLoadError::noDecodableTracks({MediaType::subtitles}));
    EXPECT_EQ(subtitles.description, "Unable to load the media.");
    EXPECT_EQ(subtitles.reason, "The media does not contain any decodable subtitle tracks.");
    EXPECT_EQ(subtitles.suggestion, std::nullopt);
    EXPECT_EQ(trackKindPhrase({}), "");
}

TEST(MediaSourceLoadError, TheRemainingCasesShowTheirOwnTexts) {
    const auto seek = textsOf(MediaSourceLoadError::failedToSeek(FFmpegError::posixERANGE()));
    EXPECT_EQ(seek.description, "Unable to seek the media.");
    EXPECT_EQ(seek.reason, FFmpegError::posixERANGE().description());
    EXPECT_EQ(seek.suggestion, std::nullopt);

    const auto inconsistent = textsOf(MediaSourceLoadError::inconsistentReads());
    EXPECT_EQ(inconsistent.description, "Unable to load the media.");
    EXPECT_EQ(inconsistent.reason, "The file was modified while trying to read it.");
    EXPECT_EQ(inconsistent.suggestion, "Please try again.");

    const auto duration = textsOf(MediaSourceLoadError::failedToReadMediaDuration());
    EXPECT_EQ(duration.description, "Unable to load the media.");
    EXPECT_EQ(duration.reason, "Failed to find the duration of the media.");
    EXPECT_EQ(duration.suggestion, std::nullopt);

    EXPECT_EQ(MediaSourceLoadError::failedToReadMediaDuration().code(), 5);
    EXPECT_EQ(MediaSourceLoadError::unsupportedURLScheme("x").code(), 0);
}

TEST(MediaSourceLoadError, TextsFollowTheLanguageWhenTheyAreAsked) {
    const auto error =
        MediaSourceLoadError::noDecodableTracks({MediaType::video, MediaType::audio});
    GuillemetTranslator translator;
    ASSERT_TRUE(QCoreApplication::installTranslator(&translator));
    const Texts translated = textsOf(error);
    QCoreApplication::removeTranslator(&translator);

    EXPECT_EQ(translated.description, "«Unable to load the media.»");
    EXPECT_EQ(translated.reason,
              "«The media does not contain any decodable «video»«/»«audio» tracks.»");
    EXPECT_EQ(trackKindPhrase({MediaType::video, MediaType::audio}), "video/audio");
    EXPECT_EQ(error.errorDescription(), "Unable to load the media.");
}

TEST(DetailedDescription, PrefersLocalizedTextsThenUserInfoThenTheProviderThenTheDefaultForm) {
    EXPECT_EQ(detailedDescription(SilentLocalizedError()), "");

    const platform::NSError withDescription(
        "Test.UserInfo", 1, {{platform::NSLocalizedDescriptionKey, std::string("From user info")}});
    EXPECT_EQ(detailedDescription(withDescription), "From user info");

    EXPECT_EQ(detailedDescription(UserInfoError("Test.NoProvider")), "UserInfoError.seven");

    platform::NSError::setUserInfoValueProvider(
        "Test.Provided",
        [](const platform::NSError& error,
           const std::string& key) -> std::optional<platform::NSError::UserInfoValue> {
            if (key != platform::NSLocalizedDescriptionKey) {
                return std::nullopt;
            }
            return "Provided for code " + std::to_string(error.code());
        });
    EXPECT_EQ(detailedDescription(UserInfoError("Test.Provided")), "Provided for code 7");
}
