#include <gtest/gtest.h>

#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>
#include <filesystem>
#include <string>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

#include "platform/appkit/NSAlert.h"
#include "platform/appkit/NSMenuItem.h"
#include "platform/appkit/NSWindow.h"
#include "player-interface/views/MediaPlayerView.h"
#include "player-interface/widgets/PlaybackRateSlider.h"
#include "player-interface/window/MediaPlayerDocumentProgressWindowController.h"
#include "player-interface/window/MediaPlayerViewControllerTestSupport.h"

namespace {

using namespace platform;
using namespace quillon;
using namespace quillon::test;

std::vector<std::string> headers(const QMenu& menu) {
    std::vector<std::string> result;
    for (const QAction* action : menu.actions()) {
        if (!action->isSeparator() && !action->isEnabled()) {
            result.push_back(action->text().toStdString());
        }
    }
    return result;
}

// The item at `index` of the section titled `header`.
NSMenuItem* item(const QMenu& menu, const std::string& header, int index) {
    const auto actions = menu.actions();
    for (qsizetype i = 0; i < actions.size(); ++i) {
        if (!actions[i]->isEnabled() && actions[i]->text().toStdString() == header) {
            return dynamic_cast<NSMenuItem*>(actions.at(i + 1 + index));
        }
    }
    ADD_FAILURE() << "no section " << header;
    return nullptr;
}

// An audio track whose stream carries the given language tag and title.
std::shared_ptr<AudioTrack> audioTrack(const char* languages, const char* title) {
    AVFormatContext* context = avformat_alloc_context();
    AVStream* stream = avformat_new_stream(context, nullptr);
    stream->codecpar->codec_type = AVMEDIA_TYPE_AUDIO;
    if (languages) {
        av_dict_set(&stream->metadata, "language", languages, 0);
    }
    if (title) {
        av_dict_set(&stream->metadata, "title", title, 0);
    }
    auto track = AudioTrack::make(nullptr, "SOURCE", *stream);
    avformat_free_context(context);
    return track;
}

class TrackMenusTest : public MediaPlayerViewControllerTest {
protected:
    void update() { controller->tryToPerform("updateTracksMenu:", &menu); }
    void choose(const std::string& header, int index) {
        NSMenuItem* chosen = item(menu, header, index);
        ASSERT_NE(chosen, nullptr);
        chosen->trigger();
        update();
    }
    // Loads a subtitle file and waits for the result to be handled.
    void loadSubtitles(const char* name) {
        controller->loadExternalSubtitles(URL::fileURL(mediaPath(name)));
        ASSERT_TRUE(eventually([&] { return !controller->isLoadingExternalSubtitles(); }));
        settle();
    }

    QMenu menu;
};

TEST(TrackMenuItemTitles, LanguagesTitlesAndAddedTracks) {
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    using C = MediaPlayerViewController;
    EXPECT_EQ(C::trackMenuItemTitle(*audioTrack("eng,fre", "Commentary"), false),
              "English/French: “Commentary”");
    EXPECT_EQ(C::trackMenuItemTitle(*audioTrack("ger,qqq1", nullptr), false), "German/[qqq1]");
    EXPECT_EQ(C::trackMenuItemTitle(*audioTrack(nullptr, nullptr), false), "Unknown Language");
    EXPECT_EQ(C::trackMenuItemTitle(*audioTrack("und", "Director"), true),
              "[Added] Unknown Language: “Director”");
    QLocale::setDefault(saved);
}

TEST_F(TrackMenusTest, CheckedItemsTurnTheirSlotOffExceptForVideo) {
    open("multi-2v3a1s.mkv");
    update();
    EXPECT_EQ(headers(menu),
              (std::vector<std::string>{"Video Tracks", "Audio Tracks", "Subtitle Tracks"}));
    EXPECT_EQ(item(menu, "Video Tracks", 0)->text(), "English: “Main picture”");
    EXPECT_TRUE(item(menu, "Video Tracks", 0)->isChecked());
    // "und" is no language.
    EXPECT_EQ(item(menu, "Video Tracks", 1)->text(), "Unknown Language: “Second angle”");

    choose("Video Tracks", 0);
    EXPECT_EQ(player->selectedVideoTrack(), source->videoTracks().at(0));
    choose("Audio Tracks", 0);
    EXPECT_EQ(player->selectedAudioTrack(), nullptr);
    choose("Audio Tracks", 1);
    EXPECT_EQ(player->selectedAudioTrack(), source->audioTracks().at(1));

    // One subtitles track: a single list bound to the primary slot.
    choose("Subtitle Tracks", 0);
    EXPECT_EQ(player->selectedPrimarySubtitlesTrack(), source->embeddedSubtitlesTracks().at(0));
    EXPECT_TRUE(item(menu, "Subtitle Tracks", 0)->isChecked());
    choose("Subtitle Tracks", 0);
    EXPECT_EQ(player->selectedPrimarySubtitlesTrack(), nullptr);
}

TEST_F(TrackMenusTest, TwoSubtitlesTracksAreListedTwiceAndMoveBetweenSlots) {
    open("subtitles-srt.mkv");
    loadSubtitles("subtitles.srt");
    // The file went into the free primary slot.
    const auto embedded = source->embeddedSubtitlesTracks().at(0);
    const auto added = source->externalSubtitlesTracks().at(0);
    EXPECT_EQ(player->selectedPrimarySubtitlesTrack(), added);

    update();
    const std::string bottom = "Subtitle Tracks (Bottom)";
    const std::string top = "Subtitle Tracks (Top)";
    // (The file has no sound.)
    EXPECT_EQ(headers(menu), (std::vector<std::string>{"Video Tracks", bottom, top}));
    const std::string addedTitle = item(menu, bottom, 1)->text().toStdString();
    EXPECT_EQ(addedTitle.rfind("[Added] ", 0), 0u) << addedTitle;
    EXPECT_EQ(item(menu, top, 1)->text().toStdString(), addedTitle);
    EXPECT_TRUE(item(menu, bottom, 1)->isChecked());
    EXPECT_FALSE(item(menu, top, 1)->isChecked());

    choose(top, 0);
    EXPECT_EQ(player->selectedSecondarySubtitlesTrack(), embedded);
    // The secondary chosen as primary leaves the secondary slot.
    choose(bottom, 0);
    EXPECT_EQ(player->selectedPrimarySubtitlesTrack(), embedded);
    EXPECT_EQ(player->selectedSecondarySubtitlesTrack(), nullptr);
    // And the primary chosen as secondary leaves the primary slot.
    choose(top, 0);
    EXPECT_EQ(player->selectedPrimarySubtitlesTrack(), nullptr);
    EXPECT_EQ(player->selectedSecondarySubtitlesTrack(), embedded);
    choose(top, 0);
    EXPECT_EQ(player->selectedSecondarySubtitlesTrack(), nullptr);

    // Items never keep their tracks alive; one whose track has gone does nothing.
    auto* stale = new NSMenuItem("gone", &menu);
    stale->setRepresentedObject(std::weak_ptr<MediaTrack>(audioTrack("eng", nullptr)));
    controller->tryToPerform("selectAudioTrack:", stale);
    EXPECT_EQ(player->selectedAudioTrack(), nullptr);
    // A subtitles item sent as a video selection is the wrong kind of track.
    controller->tryToPerform("selectVideoTrack:", item(menu, top, 0));
    EXPECT_EQ(player->selectedVideoTrack(), source->videoTracks().at(0));
}

TEST_F(TrackMenusTest, AnAddedFileIsTitledWithTheLanguageItsNameGives) {
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    open("subtitles-srt.mkv");
    const auto folder =
        std::filesystem::temp_directory_path() / ("quillon-menu-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const auto file = folder / "subtitles-srt.fr.forced.srt";
    std::filesystem::copy_file(mediaPath("subtitles.srt"), file,
                               std::filesystem::copy_options::overwrite_existing);
    controller->loadExternalSubtitles(URL::fileURL(file.string()));
    ASSERT_TRUE(eventually([&] { return !controller->isLoadingExternalSubtitles(); }));
    settle();
    update();
    // The embedded track names its language itself; the file only through its name.
    EXPECT_EQ(item(menu, "Subtitle Tracks (Bottom)", 0)->text(), "English");
    EXPECT_EQ(item(menu, "Subtitle Tracks (Bottom)", 1)->text(), "[Added] French");
    EXPECT_TRUE(source->externalSubtitlesTracks().at(0)->isForced());
    std::filesystem::remove_all(folder);
    QLocale::setDefault(saved);
}

TEST_F(TrackMenusTest, SubtitleFilesFillFreeSlotsOnlyAndComeBackAttachedOnce) {
    open("multi-2v3a1s.mkv");
    const auto embedded = source->embeddedSubtitlesTracks().at(0);
    player->setSelectedSecondarySubtitlesTrack(embedded);

    // Primary free, secondary taken: the file becomes the primary.
    loadSubtitles("subtitles.srt");
    const auto srt = source->externalSubtitlesTracks().at(0);
    EXPECT_EQ(player->selectedPrimarySubtitlesTrack(), srt);
    EXPECT_EQ(player->selectedSecondarySubtitlesTrack(), embedded);

    // Both taken: added, not selected.
    loadSubtitles("subtitles.vtt");
    EXPECT_EQ(source->externalSubtitlesTracks().size(), 2u);
    EXPECT_EQ(player->selectedPrimarySubtitlesTrack(), srt);
    EXPECT_EQ(player->selectedSecondarySubtitlesTrack(), embedded);

    // The same file again adds nothing; its track fills the freed secondary slot.
    player->setSelectedSecondarySubtitlesTrack(nullptr);
    player->setSelectedPrimarySubtitlesTrack(embedded);
    loadSubtitles("subtitles.srt");
    EXPECT_EQ(source->externalSubtitlesTracks().size(), 2u);
    EXPECT_EQ(player->selectedSecondarySubtitlesTrack(), srt);
}

TEST_F(TrackMenusTest, DropsWaitForTheRunningLoadAndStaleResultsAreIgnored) {
    open("multi-2v3a1s.mkv");
    auto* view = dynamic_cast<MediaPlayerView*>(controller->view());
    ASSERT_NE(view, nullptr);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(mediaPath("subtitles.srt")))});
    const MediaPlayerView::DraggingInfo drag{&data, Qt::CopyAction};
    EXPECT_EQ(view->draggingEntered(drag), Qt::CopyAction);

    controller->loadExternalSubtitles(URL::fileURL(mediaPath("subtitles.srt")));
    EXPECT_TRUE(controller->isLoadingExternalSubtitles());
    EXPECT_EQ(view->draggingEntered(drag), Qt::IgnoreAction);

    // A result for another operation changes nothing.
    controller->didLoadExternalSubtitles("another",
                                         std::vector<std::shared_ptr<ExternalSubtitlesTrack>>{});
    EXPECT_TRUE(controller->isLoadingExternalSubtitles());

    ASSERT_TRUE(eventually([&] { return !controller->isLoadingExternalSubtitles(); }));
    EXPECT_EQ(view->draggingEntered(drag), Qt::CopyAction);
}

TEST_F(TrackMenusTest, CancellingTheProgressSheetDropsTheResultButKeepsTheTracks) {
    open("multi-2v3a1s.mkv");
    NSWindow window(CGRect{{0, 0}, {640, 480}}, NSWindowStyleMaskTitled);
    window.setContentViewController(controller);

    controller->loadExternalSubtitles(URL::fileURL(mediaPath("subtitles.srt")));
    const auto progress = controller->externalSubtitlesProgressWindowController();
    ASSERT_NE(progress, nullptr);
    EXPECT_EQ(progress->statusText(), "Opening “subtitles.srt”…");
    EXPECT_EQ(window.sheets().size(), 1u);

    progress->didClickCancelButton();
    EXPECT_FALSE(controller->isLoadingExternalSubtitles());
    EXPECT_EQ(controller->externalSubtitlesProgressWindowController(), nullptr);
    EXPECT_TRUE(window.sheets().empty());

    ASSERT_TRUE(eventually([&] { return source->externalSubtitlesTracks().size() == 1; }));
    settle();
    EXPECT_EQ(player->selectedPrimarySubtitlesTrack(), nullptr);
    update();
    EXPECT_EQ(headers(menu).back(), "Subtitle Tracks (Top)");

    // A file that is no subtitle file ends in an alert on the window.
    controller->loadExternalSubtitles(URL::fileURL(mediaPath("aac-stereo.m4a")));
    ASSERT_TRUE(eventually([&] { return !controller->isLoadingExternalSubtitles(); }));
    ASSERT_EQ(window.sheets().size(), 1u);
    auto* alert = dynamic_cast<NSAlert*>(window.sheets().front());
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(player->selectedPrimarySubtitlesTrack(), nullptr);
    alert->alertButtons().front()->click();
    EXPECT_TRUE(window.sheets().empty());
    window.setContentViewController(nullptr);
}

TEST_F(TrackMenusTest, OpeningTheControlsMenuSnapsTheRateToAStop) {
    open("gop-1s.mkv");
    const auto slider = makePlaybackRateSlider();
    slider->slider()->setEnabled(false);
    onQueue([&] { player->setDesiredPlaybackRate(1.1f); });

    EXPECT_TRUE(controller->tryToPerform("updatePlaybackRateSlider:", slider.get()));
    EXPECT_TRUE(slider->slider()->isEnabled());
    EXPECT_EQ(slider->selectedItem().value, 1.0f);
    EXPECT_EQ(desiredRate(), 1.0f);

    // The user's move reaches the player through the slider's action.
    slider->slider()->setValue(slider->slider()->value() + 1);
    EXPECT_EQ(desiredRate(), 1.25f);
    slider->setSelectedIndex(0);
    controller->tryToPerform("selectPlaybackRate:", slider.get());
    EXPECT_EQ(desiredRate(), 0.5f);
    controller->tryToPerform("selectPlaybackRate:", &menu);
    EXPECT_EQ(desiredRate(), 0.5f);
}

}  // namespace
