// Releases of films with styled subtitles carry the fonts their styles name as attachments:
// they are registered for the film's subtitles when it opens, and go with it.

#include <gtest/gtest.h>

#include <QFontDatabase>
#include <fstream>

#include "MediaSourceTestSupport.h"
#include "media-player/decoders/subtitles/FFmpegSubtitlesFrameDecoder.h"
#include "media-player/media-source/FontAttachments.h"
#include "media-player/media-source/MediaSourceReading.h"
#include "platform/foundation/Log.h"
#include "platform/graphics/NSFont.h"

using namespace quillon;
using namespace quillon::test;

namespace {

std::vector<FormattedTextSubtitle> decodedCues(const MediaSource& source,
                                               const std::shared_ptr<SubtitlesTrack>& track) {
    std::vector<FormattedTextSubtitle> cues;
    const auto collect = [&](const std::vector<SubtitlesFrame>& frames) {
        for (const SubtitlesFrame& frame : frames) {
            if (const auto* formatted = frame.subtitles.formattedTextSubtitles()) {
                cues.insert(cues.end(), formatted->begin(), formatted->end());
            }
        }
    };
    const std::shared_ptr<SubtitlesTrack> tracks[] = {track};
    while (auto read = readVisualPacket(source, nullptr, tracks)) {
        collect(track->decoder()->decode(*read->packet));
    }
    collect(drainSubtitlesFrameDecoder(*track->decoder()));
    return cues;
}

// The font of the first character of a cue.
platform::NSFont fontOf(const FormattedTextSubtitle& cue) {
    const auto* font = platform::attributeValue<platform::NSFont>(
        cue.formattedText->attributesAtIndex(0), platform::NSFontAttributeName);
    return font != nullptr ? *font : platform::NSFont::systemFontOfSize(0);
}

bool textSystemHasFamily(const std::string& family) {
    return QFontDatabase::families().contains(QString::fromStdString(family));
}

}  // namespace

TEST(FontAttachmentsTest, FontsAreKnownByTheirTypesAndNames) {
    for (const char* type :
         {"application/x-truetype-font", "font/ttf", "font/otf", "font/collection",
          "application/vnd.ms-opentype", "application/x-font-ttf", "application/font-sfnt",
          "FONT/TTF", "Application/X-TrueType-Font"}) {
        EXPECT_TRUE(isFontAttachment(type, "")) << type;
    }
    for (const char* name : {"Title.ttf", "DIALOGUE.OTF", "cjk.TTC"}) {
        EXPECT_TRUE(isFontAttachment("application/octet-stream", name)) << name;
    }
    for (const auto& [type, name] :
         std::vector<std::pair<const char*, const char*>>{{"image/jpeg", "cover.jpg"},
                                                          {"text/plain", "notes.txt"},
                                                          {"", "ttf"},
                                                          {"font/woff2", "web.woff2"},
                                                          {"application/x-truetype-fonts", ""}}) {
        EXPECT_FALSE(isFontAttachment(type, name)) << type << " " << name;
    }
}

// The styles and "\fn" codes of the film name fonts that only the film has; a damaged font in
// it is skipped with a warning that names it, and a text file beside them is no font at all.
TEST(FontAttachmentsTest, AFilmsSubtitlesAreStyledWithTheFontsItCarries) {
    platform::ScopedLogCapture capture;
    const auto url = mediaURL("attached-fonts.mkv");
    auto source = MediaSource::make(url, platform::kCMTimeInvalid, true);
    ASSERT_EQ(source->videoTracks().size(), 1u);
    ASSERT_EQ(source->embeddedSubtitlesTracks().size(), 1u);

    const std::vector<std::string> warnings = [&] {
        std::vector<std::string> lines;
        for (const auto& line : capture.entries()) {
            if (line.level >= platform::LogLevel::warning) {
                lines.push_back(line.text);
            }
        }
        return lines;
    }();
    ASSERT_EQ(warnings.size(), 1u) << ::testing::PrintToString(warnings);
    EXPECT_EQ(warnings.front(), "Skipped the font “Broken.ttf” attached to " + url.path() +
                                    ": it is not a TrueType or OpenType font.");
    EXPECT_FALSE(capture.contains("notes.txt"));

    const auto& fonts = source->attachedFonts();
    ASSERT_NE(fonts, nullptr);
    EXPECT_EQ(fonts->familyNames(),
              (std::vector<std::string>{"Quillon Test Mono", "Quillon Test Serif"}));
    const std::string serif = *fonts->registeredFamily("Quillon Test Serif");
    const std::string mono = *fonts->registeredFamily("Quillon Test Mono");

    const auto cues = decodedCues(*source, source->embeddedSubtitlesTracks().front());
    ASSERT_EQ(cues.size(), 3u);
    // The style's Fontname; "\fn" to the other font; "\fn" and "\b1" to the collection's bold.
    EXPECT_EQ(fontOf(cues[0]).familyName(), serif);
    EXPECT_FALSE(fontOf(cues[0]).isBold());
    EXPECT_EQ(fontOf(cues[1]).familyName(), mono);
    EXPECT_EQ(fontOf(cues[2]).familyName(), serif);
    EXPECT_TRUE(fontOf(cues[2]).isBold());

    // Closing the film takes its fonts away.
    std::weak_ptr<const platform::FontCollection> registered = fonts;
    source.reset();
    EXPECT_TRUE(registered.expired());
    EXPECT_FALSE(textSystemHasFamily(serif));
    EXPECT_FALSE(textSystemHasFamily(mono));
}

// Two windows of one film share its fonts; the second to close takes them away.
TEST(FontAttachmentsTest, TheFontsOfAFilmOpenTwiceStayUntilBothClose) {
    const auto url = mediaURL("attached-fonts.mkv");
    auto first = MediaSource::make(url, platform::kCMTimeInvalid, true);
    auto second = MediaSource::make(url, platform::kCMTimeInvalid, true);
    const std::string serif = *first->attachedFonts()->registeredFamily("Quillon Test Serif");
    EXPECT_EQ(second->attachedFonts()->registeredFamily("Quillon Test Serif"), serif);
    first.reset();
    EXPECT_TRUE(textSystemHasFamily(serif));
    const auto cues = decodedCues(*second, second->embeddedSubtitlesTracks().front());
    ASSERT_FALSE(cues.empty());
    EXPECT_EQ(fontOf(cues[0]).familyName(), serif);
    second.reset();
    EXPECT_FALSE(textSystemHasFamily(serif));
}

// A subtitle file beside the film is styled with the film's fonts; a film without fonts
// has none, and its subtitles cannot reach another film's.
TEST(FontAttachmentsTest, ASubtitleFileOfTheFilmUsesItsFontsAndNoOtherFilmDoes) {
    const auto film =
        MediaSource::make(mediaURL("attached-fonts.mkv"), platform::kCMTimeInvalid, true);
    const std::string serif = *film->attachedFonts()->registeredFamily("Quillon Test Serif");

    const auto folder = std::filesystem::temp_directory_path() / "quillon-font-attachments";
    std::filesystem::create_directories(folder);
    const auto script = folder / "film.ass";
    std::ofstream(script)
        << "[Script Info]\nScriptType: v4.00+\n\n[V4+ Styles]\n"
           "Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, "
           "BackColour, Bold, Italic, Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, "
           "BorderStyle, Outline, Shadow, Alignment, MarginL, MarginR, MarginV, Encoding\n"
           "Style: Default,Quillon Test Serif,20,&H00FFFFFF,&H000000FF,&H00000000,&H00000000,"
           "0,0,0,0,100,100,0,0,1,0,0,2,10,10,10,1\n\n[Events]\n"
           "Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n"
           "Dialogue: 0,0:00:00.50,0:00:01.50,Default,,0,0,0,,Quiet Rain\n";

    const platform::DispatchSemaphore loaded;
    std::optional<MediaSource::ExternalSubtitlesLoadResult> result;
    film->loadExternalSubtitles(platform::URL::fileURL(script.string()),
                                [&](MediaSource::ExternalSubtitlesLoadResult loadResult) {
                                    result = std::move(loadResult);
                                    loaded.signal();
                                });
    ASSERT_EQ(loaded.wait(std::chrono::seconds(30)), platform::DispatchTimeoutResult::success);
    auto* subtitles = std::get_if<MediaSource::ExternalSubtitles>(&*result);
    ASSERT_NE(subtitles, nullptr);
    const auto& external = *subtitles->mediaSource;
    const auto cues = decodedCues(external, external.embeddedSubtitlesTracks().front());
    ASSERT_EQ(cues.size(), 1u);
    EXPECT_EQ(fontOf(cues[0]).familyName(), serif);

    // The same script read without the film: the family is not found, the fallback is used.
    const auto alone = MediaSource::make(platform::URL::fileURL(script.string()),
                                         platform::CMTimeMake(2, 1), false);
    EXPECT_EQ(alone->attachedFonts(), nullptr);
    const auto aloneCues = decodedCues(*alone, alone->embeddedSubtitlesTracks().front());
    ASSERT_EQ(aloneCues.size(), 1u);
    EXPECT_NE(fontOf(aloneCues[0]).familyName(), serif);
    EXPECT_EQ(fontOf(aloneCues[0]).familyName(),
              platform::NSFont::fontWithNameOrSystemFont("Helvetica", 20).familyName());
    std::filesystem::remove_all(folder);
}
