// A film's cue in a font only the film carries is drawn with that font's glyphs. The test font is
// DejaVu Serif under another family name, so the cue must look exactly like the same text in the
// installed DejaVu Serif, and unlike the fallback (the desktop's sans serif) it got before.

#include <gtest/gtest.h>

#include <QImage>

#include "SubtitlesViewTestSupport.h"
#include "media-player/media-source/MediaSource.h"
#include "media-player/media-source/MediaSourceReading.h"
#include "media-player/subtitle-views/FormattedTextSubtitleView.h"
#include "support/TestMedia.h"

namespace {

using namespace platform;
using namespace quillon;
using namespace quillon::test;

FormattedTextSubtitle firstCue(const MediaSource& source) {
    const auto& track = source.embeddedSubtitlesTracks().front();
    const std::shared_ptr<SubtitlesTrack> tracks[] = {track};
    while (auto read = readVisualPacket(source, nullptr, tracks)) {
        for (const SubtitlesFrame& frame : track->decoder()->decode(*read->packet)) {
            if (const auto* cues = frame.subtitles.formattedTextSubtitles();
                cues && !cues->empty()) {
                return cues->front();
            }
        }
    }
    ADD_FAILURE() << "no cue";
    return formatted("");
}

FormattedTextSubtitle inFont(const FormattedTextSubtitle& cue, const NSFont& font) {
    NSAttributeDictionary attributes = cue.formattedText->attributesAtIndex(0);
    attributes.insert_or_assign(NSFontAttributeName, font);
    return {NSAttributedString(cue.formattedText->string(), attributes).copy(), cue.style};
}

QImage drawn(const FormattedTextSubtitle& cue) {
    FormattedTextSubtitleView view(cue, true);
    view.resize(768, 576);
    view.performLayout();
    return view.grab().toImage().convertToFormat(QImage::Format_ARGB32);
}

// Pixels that differ by more than a rounding step in any channel.
int differingPixels(const QImage& a, const QImage& b) {
    int count = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            count += std::abs(qRed(p) - qRed(q)) > 2 || std::abs(qGreen(p) - qGreen(q)) > 2 ||
                             std::abs(qBlue(p) - qBlue(q)) > 2 ||
                             std::abs(qAlpha(p) - qAlpha(q)) > 2
                         ? 1
                         : 0;
        }
    }
    return count;
}

int inkedPixels(const QImage& image) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += qAlpha(image.pixel(x, y)) > 128 ? 1 : 0;
        }
    }
    return count;
}

TEST(AttachedFontRenderingTest, ACueIsDrawnWithTheGlyphsOfTheFontTheFilmCarries) {
    const auto source =
        MediaSource::make(URL::fileURL(mediaPath("attached-fonts.mkv")), kCMTimeInvalid, true);
    const FormattedTextSubtitle cue = firstCue(*source);
    ASSERT_EQ(cue.formattedText->string(), "Quiet Rain");
    const CGFloat size = cue.style.scalingInfo.initialBaseFontSize;

    const QImage attached = drawn(cue);
    const auto installedSerif = NSFont::fontWithName("DejaVu Serif", size);
    ASSERT_TRUE(installedSerif.has_value()) << "fonts-dejavu-core is missing";
    const QImage sameGlyphs = drawn(inFont(cue, *installedSerif));
    const QImage fallback = drawn(inFont(cue, NSFont::fontWithNameOrSystemFont("Helvetica", size)));

    ASSERT_GT(inkedPixels(attached), 200);
    EXPECT_EQ(differingPixels(attached, sameGlyphs), 0);
    EXPECT_GT(differingPixels(attached, fallback), 200);
}

}  // namespace
