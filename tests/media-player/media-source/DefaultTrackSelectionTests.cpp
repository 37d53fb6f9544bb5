#include "media-player/media-source/DefaultTrackSelection.h"

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "media-player/decoders/common/FFmpegPointers.h"
#include "media-player/decoders/subtitles/SubtitleTextStyleManager.h"
#include "media-player/media-source/MediaSource.h"
#include "platform/accessibility/MACaptionAppearance.h"
#include "support/FakeCaptionAppearance.h"
#include "support/TestMedia.h"

namespace quillon {
namespace {

using platform::FakeCaptionAppearance;

// A track with only the fields the choice reads, made from a stream of an in-memory context.
class TestTrack final : public MediaTrack {
public:
    explicit TestTrack(const AVStream& stream) : MediaTrack("SOURCE", stream) {}
};

enum Flags : int {
    none = 0,
    isDefault = AV_DISPOSITION_DEFAULT,
    forced = AV_DISPOSITION_FORCED,
    hearingImpaired = AV_DISPOSITION_HEARING_IMPAIRED,
    musicAndSound = AV_DISPOSITION_HEARING_IMPAIRED | AV_DISPOSITION_CLEAN_EFFECTS,
    describesVideo = AV_DISPOSITION_VISUAL_IMPAIRED,
};

class Tracks {
public:
    Tracks() : context_(avformat_alloc_context()) {
        if (!context_) {
            throw std::bad_alloc();
        }
    }

    // A track with the language tag (none for nullptr) and the disposition flags.
    std::shared_ptr<MediaTrack> make(const char* language, int disposition = none) {
        AVStream* stream = avformat_new_stream(context_.get(), nullptr);
        if (stream == nullptr) {
            throw std::bad_alloc();
        }
        stream->time_base = {1, 1000};
        stream->disposition = disposition;
        if (language != nullptr) {
            av_dict_set(&stream->metadata, "language", language, 0);
        }
        return std::make_shared<TestTrack>(*stream);
    }

private:
    AVFormatContextPointer context_;
};

using TrackList = std::vector<std::shared_ptr<MediaTrack>>;

std::shared_ptr<MediaTrack> rank(const TrackList& tracks, const std::vector<std::string>& languages,
                                 bool requireLanguageMatch = false,
                                 MediaCharacteristics required = {},
                                 bool requireCharacteristics = false) {
    bool languageMatched = false;
    return rankTracksByLanguage(tracks, languages, requireLanguageMatch, languageMatched, required,
                                requireCharacteristics);
}

TEST(RankTracksByLanguageTests, TheFirstPreferredLanguageThatAnyTrackHasWins) {
    Tracks make;
    TrackList englishGerman = {make.make("eng"), make.make("ger")};
    TrackList englishFrench = {make.make("eng"), make.make("fre")};
    bool languageMatched = false;
    EXPECT_EQ(rankTracksByLanguage(englishGerman, {"fr", "en"}, false, languageMatched, {}, false),
              englishGerman[0]);
    EXPECT_TRUE(languageMatched);
    EXPECT_EQ(rank(englishFrench, {"fr", "en"}), englishFrench[1]);

    // A track may list several languages; the region-specific preference does not match "en".
    TrackList several = {make.make("eng"), make.make("jpn, fre")};
    EXPECT_EQ(rank(several, {"en-US", "fr"}), several[1]);
}

TEST(RankTracksByLanguageTests, ForcedOutranksDefaultWhichOutranksOrder) {
    Tracks make;
    TrackList secondDefault = {make.make("eng"), make.make("eng", isDefault)};
    EXPECT_EQ(rank(secondDefault, {"en"}), secondDefault[1]);

    TrackList forcedThenDefault = {make.make("eng", forced), make.make("eng", isDefault)};
    EXPECT_EQ(rank(forcedThenDefault, {"en"}), forcedThenDefault[0]);

    // Both filters only ever look at the tracks in the chosen language.
    TrackList defaultElsewhere = {make.make("ger", forced | isDefault), make.make("eng"),
                                  make.make("eng")};
    EXPECT_EQ(rank(defaultElsewhere, {"en"}), defaultElsewhere[1]);
}

TEST(RankTracksByLanguageTests, WithoutAMatchingLanguage) {
    Tracks make;
    TrackList tracks = {make.make("ger"), make.make(nullptr), make.make("und", isDefault)};
    for (const std::vector<std::string>& languages :
         std::vector<std::vector<std::string>>{{"fr"}, {}, {"und"}}) {
        bool languageMatched = true;
        EXPECT_EQ(rankTracksByLanguage(tracks, languages, false, languageMatched, {}, false),
                  tracks[2]);
        EXPECT_FALSE(languageMatched);
        languageMatched = true;
        EXPECT_EQ(rankTracksByLanguage(tracks, languages, true, languageMatched, {}, false),
                  nullptr);
        EXPECT_FALSE(languageMatched);
    }
}

TEST(RankTracksByLanguageTests, AnEmptyListLeavesLanguageMatchedAlone) {
    for (bool initial : {false, true}) {
        bool languageMatched = initial;
        EXPECT_EQ(rankTracksByLanguage(TrackList{}, {"en"}, false, languageMatched,
                                       MediaCharacteristics::hearingImpaired(), true),
                  nullptr);
        EXPECT_EQ(languageMatched, initial);
    }
}

TEST(RankTracksByLanguageTests, CharacteristicsNarrowTheLanguagesCandidates) {
    Tracks make;
    const MediaCharacteristics described = MediaCharacteristics::describesVideoForAccessibility();
    TrackList tracks = {make.make("eng", isDefault), make.make("fre", describesVideo),
                        make.make("eng", describesVideo),
                        make.make("eng", describesVideo | forced)};
    // Characteristics come before the forced and default flags.
    EXPECT_EQ(rank({tracks[0], tracks[2]}, {"en"}, false, described), tracks[2]);
    EXPECT_EQ(rank(tracks, {"en"}, false, described), tracks[3]);
    // The language is chosen first: a described track in another language does not win.
    TrackList englishPlain = {tracks[0], tracks[1]};
    EXPECT_EQ(rank(englishPlain, {"en"}, false, described, false), tracks[0]);
    EXPECT_EQ(rank(englishPlain, {"en"}, false, described, true), nullptr);
    // Without any preferred language the described track wins over the default one.
    EXPECT_EQ(rank(englishPlain, {}, false, described, false), tracks[1]);
    // Combined requirements need every flag.
    TrackList both = {make.make("eng", hearingImpaired),
                      make.make("eng", hearingImpaired | describesVideo)};
    EXPECT_EQ(rank(both, {"en"}, false, MediaCharacteristics::hearingImpaired() | described, true),
              both[1]);
}

// ---------------------------------------------------------------------------------------------

using CaptionChoice = std::pair<std::shared_ptr<MediaTrack>, std::shared_ptr<MediaTrack>>;

const std::vector<std::string> transcribes = {
    platform::MAMediaCharacteristicTranscribesSpokenDialogForAccessibility};
const std::vector<std::string> musicAndSoundOnly = {
    platform::MAMediaCharacteristicDescribesMusicAndSoundForAccessibility};
const std::vector<std::string> transcribesAndMusicAndSound = {
    platform::MAMediaCharacteristicDescribesMusicAndSoundForAccessibility,
    platform::MAMediaCharacteristicTranscribesSpokenDialogForAccessibility};

TEST(CaptionCharacteristicsTests, TranscriptionsInAPreferredLanguage) {
    Tracks make;
    TrackList tracks = {make.make("eng", isDefault), make.make("fre", hearingImpaired),
                        make.make("eng", hearingImpaired), make.make("eng", musicAndSound)};
    EXPECT_EQ(selectCaptionCharacteristicsSubtitlesTracks({"en"}, tracks, transcribes),
              CaptionChoice(tracks[2], nullptr));
    EXPECT_EQ(selectCaptionCharacteristicsSubtitlesTracks({"de", "fr"}, tracks, transcribes),
              CaptionChoice(tracks[1], nullptr));
    // No track for the hard of hearing in the language, and no other language is tried.
    TrackList plain = {make.make("eng"), make.make("fre", hearingImpaired)};
    EXPECT_EQ(selectCaptionCharacteristicsSubtitlesTracks({"en", "fr"}, plain, transcribes),
              CaptionChoice(nullptr, nullptr));
    EXPECT_EQ(selectCaptionCharacteristicsSubtitlesTracks({"it"}, tracks, transcribes),
              CaptionChoice(nullptr, nullptr));
    EXPECT_EQ(selectCaptionCharacteristicsSubtitlesTracks({"en"}, tracks, {}),
              CaptionChoice(nullptr, nullptr));
}

TEST(CaptionCharacteristicsTests, MusicAndSoundDescriptions) {
    Tracks make;
    std::shared_ptr<MediaTrack> transcription = make.make("eng", hearingImpaired);
    std::shared_ptr<MediaTrack> described = make.make("eng", musicAndSound);
    std::shared_ptr<MediaTrack> plain = make.make("eng", isDefault);

    EXPECT_EQ(selectCaptionCharacteristicsSubtitlesTracks({"en"}, TrackList{plain, described},
                                                          transcribesAndMusicAndSound),
              CaptionChoice(described, nullptr));
    EXPECT_EQ(selectCaptionCharacteristicsSubtitlesTracks(
                  {"en"}, TrackList{described, transcription}, transcribesAndMusicAndSound),
              CaptionChoice(transcription, described));
    EXPECT_EQ(selectCaptionCharacteristicsSubtitlesTracks({"en"}, TrackList{transcription, plain},
                                                          transcribesAndMusicAndSound),
              CaptionChoice(transcription, nullptr));
    EXPECT_EQ(selectCaptionCharacteristicsSubtitlesTracks(
                  {"en"}, TrackList{transcription, described}, musicAndSoundOnly),
              CaptionChoice(described, nullptr));
    EXPECT_EQ(selectCaptionCharacteristicsSubtitlesTracks({"fr"}, TrackList{described},
                                                          musicAndSoundOnly),
              CaptionChoice(nullptr, nullptr));
}

// ---------------------------------------------------------------------------------------------
// The whole choice on multi-2v3a1s.mkv: video eng (default) and und; audio eng (default), fre
// (visual impaired) and ger (commentary); one jpn subtitles track (forced, hearing impaired).

class SelectDefaultTracksTests : public ::testing::Test {
protected:
    void SetUp() override {
        source_ = MediaSource::make(platform::URL::fileURL(test::mediaPath("multi-2v3a1s.mkv")),
                                    platform::CMTime(), true);
        ASSERT_EQ(source_->videoTracks().size(), 2U);
        ASSERT_EQ(source_->audioTracks().size(), 3U);
        ASSERT_EQ(source_->embeddedSubtitlesTracks().size(), 1U);
    }
    static DefaultTracks select(const std::shared_ptr<MediaSource>& source,
                                std::vector<std::string> languages,
                                std::vector<std::string> captioning = {},
                                std::vector<std::string> audible = {}) {
        return selectDefaultTracks(*source, {.languages = std::move(languages),
                                             .captioningCharacteristics = std::move(captioning),
                                             .audibleCharacteristics = std::move(audible)});
    }
    DefaultTracks select(std::vector<std::string> languages,
                         std::vector<std::string> captioning = {},
                         std::vector<std::string> audible = {}) const {
        return select(source_, std::move(languages), std::move(captioning), std::move(audible));
    }

    std::shared_ptr<VideoTrack> video(std::size_t index) const {
        return source_->videoTracks()[index];
    }
    std::shared_ptr<AudioTrack> audio(std::size_t index) const {
        return source_->audioTracks()[index];
    }
    std::shared_ptr<SubtitlesTrack> subtitles() const {
        return source_->embeddedSubtitlesTracks()[0];
    }

    std::shared_ptr<MediaSource> source_;
};

TEST_F(SelectDefaultTracksTests, AudioInAPreferredLanguageNeedsNoSubtitles) {
    DefaultTracks tracks = select({"en"});
    EXPECT_EQ(tracks.video, video(0));
    EXPECT_EQ(tracks.audio, audio(0));
    EXPECT_EQ(tracks.primarySubtitles, nullptr);
    EXPECT_EQ(tracks.secondarySubtitles, nullptr);

    tracks = select({"fr", "en"});
    EXPECT_EQ(tracks.video, video(0));
    EXPECT_EQ(tracks.audio, audio(1));
    EXPECT_EQ(tracks.primarySubtitles, nullptr);

    tracks = select({"ja", "de", "en"});
    EXPECT_EQ(tracks.audio, audio(2));
    EXPECT_EQ(tracks.primarySubtitles, nullptr);
}

TEST_F(SelectDefaultTracksTests, SubtitlesStandInForAudioInAnotherLanguage) {
    DefaultTracks tracks = select({"ja"});
    EXPECT_EQ(tracks.video, video(0));
    EXPECT_EQ(tracks.audio, audio(0));
    EXPECT_EQ(tracks.primarySubtitles, subtitles());
    EXPECT_EQ(tracks.secondarySubtitles, nullptr);

    // No subtitles in the language either: nothing is shown rather than a language the user
    // did not ask for.
    tracks = select({"it"});
    EXPECT_EQ(tracks.audio, audio(0));
    EXPECT_EQ(tracks.primarySubtitles, nullptr);

    // An undetermined language is never a match, and an empty list matches nothing.
    for (const std::vector<std::string>& languages :
         std::vector<std::vector<std::string>>{{"und"}, {}}) {
        tracks = select(languages);
        EXPECT_EQ(tracks.video, video(0));
        EXPECT_EQ(tracks.audio, audio(0));
        EXPECT_EQ(tracks.primarySubtitles, nullptr);
    }
}

TEST_F(SelectDefaultTracksTests, CaptionsForTheHardOfHearingEvenWithAudioInThePreferredLanguage) {
    DefaultTracks tracks = select({"en", "ja"}, transcribes);
    EXPECT_EQ(tracks.audio, audio(0));
    EXPECT_EQ(tracks.primarySubtitles, subtitles());
    EXPECT_EQ(tracks.secondarySubtitles, nullptr);

    // The track transcribes dialogue only; describing music and sound is asked for in vain.
    tracks = select({"ja"}, musicAndSoundOnly);
    EXPECT_EQ(tracks.primarySubtitles, subtitles());  // through the language, since audio is eng

    tracks = select({"en"}, musicAndSoundOnly);
    EXPECT_EQ(tracks.primarySubtitles, nullptr);
    tracks = select({"en"}, transcribes);
    EXPECT_EQ(tracks.primarySubtitles, nullptr);
}

TEST_F(SelectDefaultTracksTests, AudioDescriptionsWithinThePreferredLanguage) {
    const std::vector<std::string> describesVideo = {
        platform::MAMediaCharacteristicDescribesVideoForAccessibility};
    // English has no described track: the preference gives way to the language.
    EXPECT_EQ(select({"en"}, {}, describesVideo).audio, audio(0));
    // Without a language match the described track wins over the default one.
    EXPECT_EQ(select({"it"}, {}, describesVideo).audio, audio(1));
    EXPECT_EQ(select({"fr"}, {}, describesVideo).audio, audio(1));
    EXPECT_EQ(select({"it"}).audio, audio(0));
}

class DefaultTrackPreferencesTests : public ::testing::Test {
protected:
    void TearDown() override {
        platform::setCurrentCaptionAppearanceProvider(nullptr);
        // Every change of the caption settings makes the shared subtitle style manager rebuild
        // its style with the font database; let it finish before anything else (the end of the
        // process included) touches the fonts.
        (void)SubtitleTextStyleManager::shared()->userSpecifiedStyle();
    }
};

TEST_F(DefaultTrackPreferencesTests, ComeFromTheCaptionAndAudibleMediaSettings) {
    FakeCaptionAppearance::Values values;
    values.selectedLanguages = {"fr-CA", "fr", "en"};
    values.preferredCaptioningMediaCharacteristics = transcribesAndMusicAndSound;
    values.preferredAudibleMediaCharacteristics = {
        platform::MAMediaCharacteristicDescribesVideoForAccessibility};
    platform::setCurrentCaptionAppearanceProvider(std::make_shared<FakeCaptionAppearance>(values));

    DefaultTrackPreferences preferences = DefaultTrackPreferences::current();
    EXPECT_EQ(preferences.languages, values.selectedLanguages);
    EXPECT_EQ(preferences.captioningCharacteristics, transcribesAndMusicAndSound);
    EXPECT_EQ(preferences.audibleCharacteristics, values.preferredAudibleMediaCharacteristics);
}

}  // namespace
}  // namespace quillon
