#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QStyle>
#include <algorithm>
#include <cmath>
#include <map>
#include <memory>

#include "media-player/timing/MediaPlayerTimeObserverManager.h"
#include "platform/appkit/DesktopAccessibilityDisplayOptions.h"
#include "platform/appkit/NSWorkspace.h"
#include "platform/avfoundation/AVSampleBufferRenderSynchronizer.h"
#include "player-interface/controls/MediaPlayerControlsView.h"
#include "player-interface/picture-in-picture/QLPictureInPictureController.h"
#include "player-interface/style/ControlsSymbolImages.h"
#include "player-interface/views/AudioPlayerView.h"
#include "player-interface/views/VideoPlayerView.h"
#include "support/EventPumping.h"
#include "support/FakePortalSettings.h"
#include "support/ManualClock.h"
#include "support/WidgetApplicationEnvironment.h"

namespace quillon {
namespace {

// WCAG's relative luminance of an opaque colour.
double luminance(QRgb pixel) {
    const auto channel = [](int value) {
        const double c = value / 255.0;
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(pixel)) + 0.7152 * channel(qGreen(pixel)) +
           0.0722 * channel(qBlue(pixel));
}

double contrast(QRgb a, QRgb b) {
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The ground of a region: its most frequent colour.
QRgb groundOf(const QImage& image, const QRect& region) {
    std::map<QRgb, int> counts;
    for (int y = region.top(); y <= region.bottom(); ++y) {
        for (int x = region.left(); x <= region.right(); ++x) {
            ++counts[image.pixel(x, y) | 0xff000000u];
        }
    }
    return std::max_element(counts.begin(), counts.end(),
                            [](const auto& a, const auto& b) { return a.second < b.second; })
        ->first;
}

// How far what is drawn in a region stands out from the region's ground: the strongest
// contrast of any of its pixels (the core of a glyph or a symbol, not its anti-aliased rim).
double contentContrast(const QImage& image, const QRect& region) {
    const QRgb ground = groundOf(image, region);
    double best = 1.0;
    for (int y = region.top(); y <= region.bottom(); ++y) {
        for (int x = region.left(); x <= region.right(); ++x) {
            best = std::max(best, contrast(image.pixel(x, y) | 0xff000000u, ground));
        }
    }
    return best;
}

QPalette darkDesktopPalette() {
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(0x35, 0x35, 0x35));
    palette.setColor(QPalette::WindowText, Qt::white);
    palette.setColor(QPalette::Base, QColor(0x2a, 0x2a, 0x2a));
    palette.setColor(QPalette::Text, Qt::white);
    palette.setColor(QPalette::Button, QColor(0x35, 0x35, 0x35));
    palette.setColor(QPalette::ButtonText, Qt::white);
    palette.setColor(QPalette::Highlight, QColor(0x2a, 0x82, 0xda));
    return palette;
}

// The desktop palette for the length of a test.
class ScopedApplicationPalette {
public:
    explicit ScopedApplicationPalette(const QPalette& palette)
        : previous_(QApplication::palette()) {
        QApplication::setPalette(palette);
    }
    ~ScopedApplicationPalette() { QApplication::setPalette(previous_); }

private:
    QPalette previous_;
};

// The controls as the player shows them, with a time in each label.
std::unique_ptr<MediaPlayerControlsView> makeControls() {
    auto controls = std::make_unique<MediaPlayerControlsView>();
    controls->currentTimeLabel()->setText("01:05");
    controls->remainingTimeLabel()->setText("-42:17");
    controls->endTimeLabel()->hide();
    controls->scrubber()->setMaxValue(100);
    controls->scrubber()->setValue(30);
    return controls;
}

struct Measured {
    double currentTime;
    double remainingTime;
    double playSymbol;
    double pictureInPictureSymbol;
    double unplayedBar;
    double knob;
};

// Renders `root` and measures the controls in it.
Measured measure(QWidget& root, MediaPlayerControlsView& controls) {
    root.show();
    QApplication::processEvents();
    const QImage image = root.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const auto area = [&](const QWidget* widget) {
        return QRect(widget->mapTo(&root, QPoint(0, 0)), widget->size()) & image.rect();
    };
    Scrubber& scrubber = *controls.scrubber();
    const QPoint origin = scrubber.mapTo(&root, QPoint(0, 0));
    const QRectF unplayed = scrubber.barRightClipRect().translated(origin);
    const QPoint barPoint(static_cast<int>(unplayed.center().x()),
                          static_cast<int>(unplayed.center().y()));
    // The panel just above the bar, clear of the knob.
    const QRgb ground = image.pixel(barPoint.x(), origin.y() + 1);
    const QRectF knob = scrubber.knobRect().translated(origin);
    const QPoint knobPoint(static_cast<int>(knob.center().x()),
                           static_cast<int>(knob.center().y()));
    return {contentContrast(image, area(controls.currentTimeLabel())),
            contentContrast(image, area(controls.remainingTimeLabel())),
            contentContrast(image, area(controls.playPauseButton())),
            contentContrast(image, area(controls.pictureInPictureButton())),
            contrast(image.pixel(barPoint), ground),
            contrast(image.pixel(knobPoint), ground)};
}

void expectReadable(const Measured& measured) {
    EXPECT_GE(measured.currentTime, 4.5);
    EXPECT_GE(measured.remainingTime, 4.5);
    EXPECT_GE(measured.playSymbol, 4.5);
    EXPECT_GE(measured.pictureInPictureSymbol, 4.5);
    EXPECT_GE(measured.unplayedBar, 4.5);
    EXPECT_GE(measured.knob, 4.5);
}

class VideoPanel {
public:
    VideoPanel() : controls_(makeControls()) {
        view_ = std::make_unique<VideoPlayerView>(displayLayer_, subtitlesView(true),
                                                  subtitlesView(false), controls_.get());
        view_->resize(640, 360);
    }
    ~VideoPanel() {
        view_.reset();
        controls_.reset();
    }
    VideoPlayerView& view() { return *view_; }
    MediaPlayerControlsView& controls() { return *controls_; }

private:
    std::shared_ptr<SubtitlesView> subtitlesView(bool primary) {
        return SubtitlesView::make(
            primary, MediaPlayerTimeObserverManager(synchronizer_, platform::kCMTimeZero));
    }

    std::shared_ptr<platform::ManualClock> clock_ = platform::ManualClock::make();
    std::shared_ptr<platform::AVSampleBufferRenderSynchronizer> synchronizer_ =
        std::make_shared<platform::AVSampleBufferRenderSynchronizer>(clock_);
    std::shared_ptr<platform::AVSampleBufferDisplayLayer> displayLayer_ =
        std::make_shared<platform::AVSampleBufferDisplayLayer>();
    std::unique_ptr<MediaPlayerControlsView> controls_;
    std::unique_ptr<VideoPlayerView> view_;
};

TEST(ControlsContrast, TheHeadsUpPanelIsDarkWithLightControlsOnEitherDesktopPalette) {
    for (const bool darkDesktop : {false, true}) {
        SCOPED_TRACE(darkDesktop ? "dark desktop" : "light desktop");
        ScopedApplicationPalette desktop(darkDesktop ? darkDesktopPalette()
                                                     : QApplication::style()->standardPalette());
        VideoPanel panel;
        expectReadable(measure(panel.view(), panel.controls()));
        // The labels are light on the panel, never the desktop's dark text.
        EXPECT_GT(
            panel.controls().currentTimeLabel()->palette().color(QPalette::WindowText).lightnessF(),
            0.9);
    }
}

TEST(ControlsContrast, TheAudioPlayerFollowsTheDesktopPalette) {
    for (const bool darkDesktop : {false, true}) {
        SCOPED_TRACE(darkDesktop ? "dark desktop" : "light desktop");
        ScopedApplicationPalette desktop(darkDesktop ? darkDesktopPalette()
                                                     : QApplication::style()->standardPalette());
        auto controls = makeControls();
        AudioPlayerView view(controls.get());
        view.resize(view.sizeHint());
        expectReadable(measure(view, *controls));
    }
}

TEST(ControlsContrast, SwitchingTheDesktopPaletteRetintsTheAudioPlayersSymbols) {
    auto controls = makeControls();
    AudioPlayerView view(controls.get());
    view.resize(view.sizeHint());
    view.show();
    QApplication::processEvents();
    const qint64 lightIcon = controls->playPauseButton()->icon().cacheKey();
    {
        ScopedApplicationPalette desktop(darkDesktopPalette());
        QApplication::processEvents();
        EXPECT_NE(controls->playPauseButton()->icon().cacheKey(), lightIcon);
        expectReadable(measure(view, *controls));
    }
    expectReadable(measure(view, *controls));
}

// Colours of the scrubber as drawn in `root`, on the bar's middle row: the unplayed part, the
// column just right of the knob (a gap unless the contrast is higher), and the ground above the
// bar in that column.
struct ScrubberColours {
    QRgb unplayed;
    QRgb besideKnob;
    QRgb ground;
};

ScrubberColours scrubberColours(QWidget& root, const Scrubber& scrubber, int besideKnobX) {
    QApplication::processEvents();
    const QImage image = root.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QPoint origin = scrubber.mapTo(&root, QPoint(0, 0));
    const int barY = origin.y() + static_cast<int>(scrubber.barRect().center().y());
    const int unplayedX = origin.x() + static_cast<int>(scrubber.barRightClipRect().center().x());
    return {image.pixel(unplayedX, barY), image.pixel(origin.x() + besideKnobX, barY),
            image.pixel(origin.x() + besideKnobX, origin.y() + 1)};
}

TEST(ControlsContrast, TheDesktopsHigherContrastReachesTheScrubberWhileItRuns) {
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "Qt's D-Bus threads cannot be checked by ThreadSanitizer";
#endif
    test::FakePortalSettings portal;
    test::PortalSettingsBus bus(portal);
    if (!bus.isRunning()) {
        GTEST_SKIP() << "dbus-daemon is not installed";
    }
    const QString appearance = QStringLiteral("org.freedesktop.appearance");
    const QString key = QStringLiteral("contrast");
    portal.set(appearance, key, QVariant::fromValue(0u));
    ASSERT_TRUE(bus.offer());
    platform::DesktopAccessibilityDisplayOptions options(bus.client());
    ASSERT_TRUE(test::pumpUntil([&] {
        return options.state() == platform::DesktopAccessibilityDisplayOptions::State::watching;
    }));

    VideoPanel panel;
    panel.view().show();
    Scrubber& scrubber = *panel.controls().scrubber();
    EXPECT_FALSE(scrubber.increasesContrast());
    // The first column right of the knob, which the unplayed part leaves free.
    const int besideKnob = static_cast<int>(scrubber.knobRect().right());
    ASSERT_LT(besideKnob, scrubber.barRightClipRect().left());
    const ScrubberColours normal = scrubberColours(panel.view(), scrubber, besideKnob);

    bus.change(appearance, key, QVariant::fromValue(1u));
    ASSERT_TRUE(test::pumpUntil([&] { return scrubber.increasesContrast(); }));
    const ScrubberColours higher = scrubberColours(panel.view(), scrubber, besideKnob);
    // The unplayed part is lighter and stands out more from the panel.
    EXPECT_GT(qGray(higher.unplayed), qGray(normal.unplayed));
    EXPECT_GT(contrast(higher.unplayed, higher.ground), contrast(normal.unplayed, normal.ground));
    // The gap at the knob is gone: the bar runs on under it.
    EXPECT_EQ(normal.besideKnob, normal.ground);
    EXPECT_EQ(higher.besideKnob, higher.unplayed);
    // A scrubber made now starts with it.
    EXPECT_TRUE(Scrubber().increasesContrast());

    bus.change(appearance, key, QVariant::fromValue(0u));
    ASSERT_TRUE(test::pumpUntil([&] { return !scrubber.increasesContrast(); }));
    EXPECT_EQ(scrubberColours(panel.view(), scrubber, besideKnob).unplayed, normal.unplayed);
}

QImage render(const std::shared_ptr<platform::NSImage>& image, int side) {
    QImage pixels(side, side, QImage::Format_ARGB32_Premultiplied);
    pixels.fill(Qt::transparent);
    QPainter painter(&pixels);
    image->drawInRect(painter, platform::CGRectMake(0, 0, side, side));
    return pixels;
}

TEST(ControlsContrast, PictureInPictureStartAndStopSymbolsAreDistinctOutlines) {
    const int side = 64;
    const QImage start =
        render(QLPictureInPictureController::pictureInPictureButtonStartImage(), side);
    const QImage stop =
        render(QLPictureInPictureController::pictureInPictureButtonStopImage(), side);
    int differing = 0;
    int covered = 0;
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            differing += std::abs(qAlpha(start.pixel(x, y)) - qAlpha(stop.pixel(x, y))) > 128;
            covered += qAlpha(start.pixel(x, y)) > 128;
        }
    }
    // The arrow heads sit at opposite ends of the arrow.
    EXPECT_GT(differing, side * side / 100);
    // An outline with an arrow and a small picture, not a filled screen.
    EXPECT_LT(covered, side * side / 2);
    for (const QImage* image : {&start, &stop}) {
        // Inside the screen, between the arrow and the small picture: empty.
        EXPECT_LT(qAlpha(image->pixel(side * 12 / 16, side * 5 / 16)), 32);
        // The screen's border and the small picture are drawn.
        EXPECT_GT(qAlpha(image->pixel(side / 2, side * 3 / 16)), 128);
        EXPECT_GT(qAlpha(image->pixel(side * 11 / 16, side * 10 / 16)), 128);
    }
}

}  // namespace
}  // namespace quillon
