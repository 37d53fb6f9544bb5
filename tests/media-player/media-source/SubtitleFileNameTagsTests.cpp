#include "media-player/media-source/SubtitleFileNameTags.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillon {
namespace {

SubtitleFileNameTags tagsOf(const char* subtitleFile, const char* mediaFile = "/v/Movie.mkv") {
    return subtitleFileNameTags(platform::URL::fileURL(subtitleFile),
                                platform::URL::fileURL(mediaFile));
}

using Codes = std::vector<std::string>;
constexpr auto musicAndSound = MediaCharacteristics::hearingImpairedWithCleanEffects();

TEST(SubtitleFileNameTagsTest, LanguageCodesAndTagsInTheirCanonicalForms) {
    EXPECT_EQ(tagsOf("/v/Movie.en.srt").languageCodes, Codes{"en"});
    EXPECT_EQ(tagsOf("/v/movie.ENG.srt").languageCodes, Codes{"en"});
    EXPECT_EQ(tagsOf("/v/Movie.fre.srt").languageCodes, Codes{"fr"});
    EXPECT_EQ(tagsOf("/v/Movie.pt-BR.srt").languageCodes, Codes{"pt-BR"});
    EXPECT_EQ(tagsOf("/v/Movie.pt_br.srt").languageCodes, Codes{"pt-BR"});
    EXPECT_EQ(tagsOf("/v/Movie.zh-Hans.ass").languageCodes, Codes{"zh-Hans"});
    // Nothing between the names: nothing said.
    EXPECT_TRUE(tagsOf("/v/Movie.srt").isEmpty());
    EXPECT_TRUE(tagsOf("/v/Movie - English.srt").isEmpty());
}

TEST(SubtitleFileNameTagsTest, FlagsForForcedAndHardOfHearingSubtitles) {
    const auto forced = tagsOf("/v/Movie.pt-BR.forced.srt");
    EXPECT_EQ(forced.languageCodes, Codes{"pt-BR"});
    EXPECT_TRUE(forced.isForced);
    EXPECT_TRUE(forced.mediaCharacteristics.isEmpty());
    EXPECT_FALSE(forced.title);

    for (const char* name : {"/v/Movie.eng.sdh.srt", "/v/Movie.en.CC.srt", "/v/Movie.hi.en.srt"}) {
        SCOPED_TRACE(name);
        const auto tags = tagsOf(name);
        EXPECT_EQ(tags.languageCodes, Codes{"en"});
        EXPECT_EQ(tags.mediaCharacteristics, musicAndSound);
        EXPECT_FALSE(tags.isForced);
        EXPECT_FALSE(tags.title);
    }
    // Alone, "hi" is the code of Hindi. "sdh" is a flag, though it is also a language code.
    EXPECT_EQ(tagsOf("/v/Movie.hi.srt").languageCodes, Codes{"hi"});
    EXPECT_TRUE(tagsOf("/v/Movie.hi.srt").mediaCharacteristics.isEmpty());
    EXPECT_TRUE(tagsOf("/v/Movie.sdh.srt").languageCodes.empty());
}

TEST(SubtitleFileNameTagsTest, UnknownTagsStayTheTitle) {
    const auto tags = tagsOf("/v/Movie.Director's Commentary.en.final.srt");
    EXPECT_EQ(tags.languageCodes, Codes{"en"});
    EXPECT_EQ(tags.title, "Director's Commentary.final");

    // Words that look like codes but name no language, and codes of no particular language.
    for (const char* name : {"/v/Movie.dir.srt", "/v/Movie.mul.srt", "/v/Movie.und.srt",
                             "/v/Movie.x264.srt", "/v/Movie.2.srt"}) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(tagsOf(name).languageCodes.empty());
        EXPECT_TRUE(tagsOf(name).title);
    }
}

TEST(SubtitleFileNameTagsTest, TheTagsFollowTheMediaFilesNameWhateverItHolds) {
    // A media name with full stops of its own, matched regardless of case and diacritics.
    EXPECT_EQ(tagsOf("/v/the.movie.2019.de.srt", "/v/The.Movie.2019.mkv").languageCodes,
              Codes{"de"});
    EXPECT_FALSE(tagsOf("/v/the.movie.2019.de.srt", "/v/The.Movie.2019.mkv").title);
    EXPECT_EQ(tagsOf("/v/Cafe.fr.srt", "/v/Café.mkv").languageCodes, Codes{"fr"});
    // A name that merely goes on from the media's ("Movie2") still counts from its first part.
    EXPECT_EQ(tagsOf("/v/Movie2.it.srt").languageCodes, Codes{"it"});
    // A file chosen by the user that does not follow the media's name: its first part is its
    // name.
    const auto other = tagsOf("/elsewhere/Some Film.ja.forced.srt");
    EXPECT_EQ(other.languageCodes, Codes{"ja"});
    EXPECT_TRUE(other.isForced);
    EXPECT_FALSE(other.title);
}

}  // namespace
}  // namespace quillon
