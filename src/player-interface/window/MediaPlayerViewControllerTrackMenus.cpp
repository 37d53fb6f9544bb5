#include <QMenu>

#include "media-player/MediaPlayer.h"
#include "media-player/media-types/WeakReference.h"
#include "platform/appkit/NSMenuItem.h"
#include "platform/foundation/Locale.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/StringFormat.h"
#include "player-interface/controls/MediaPlayerControlsViewController.h"
#include "player-interface/window/MediaPlayerViewController.h"

namespace quillon {

namespace {

template <typename Track>
std::vector<std::shared_ptr<MediaTrack>> asMediaTracks(
    const std::vector<std::shared_ptr<Track>>& tracks) {
    return {tracks.begin(), tracks.end()};
}

}  // namespace

void MediaPlayerViewController::updateTracksMenu(QObject* sender) {
    auto* menu = qobject_cast<QMenu*>(sender);
    if (!menu) {
        return;
    }
    menu->clear();
    MediaPlayer& player = *mediaPlayer_;
    const MediaSource& source = *player.mediaSource();

    if (!source.videoTracks().empty()) {
        addTrackMenuItems(*menu,
                          platform::localizedString("Video Tracks",
                                                    "Disabled header for the list of video tracks"),
                          "selectVideoTrack:", asMediaTracks(source.videoTracks()), {},
                          player.selectedVideoTrack());
    }
    if (!source.audioTracks().empty()) {
        addTrackMenuItems(*menu,
                          platform::localizedString("Audio Tracks",
                                                    "Disabled header for the list of audio tracks"),
                          "selectAudioTrack:", asMediaTracks(source.audioTracks()), {},
                          player.selectedAudioTrack());
    }
    // Subtitles are drawn over the picture: without one there is nowhere to show them.
    if (source.videoTracks().empty()) {
        return;
    }

    const auto embedded = asMediaTracks(source.embeddedSubtitlesTracks());
    const auto external = asMediaTracks(source.externalSubtitlesTracks());
    const std::size_t count = embedded.size() + external.size();
    if (count == 0) {
        return;
    }
    if (count == 1) {
        addTrackMenuItems(*menu,
                          platform::localizedString(
                              "Subtitle Tracks", "Disabled header for the list of subtitle tracks"),
                          "selectPrimarySubtitlesTrack:", embedded, external,
                          player.selectedPrimarySubtitlesTrack());
        return;
    }
    addTrackMenuItems(*menu,
                      platform::localizedString("Subtitle Tracks (Bottom)",
                                                "Disabled header for the list of subtitle tracks "
                                                "shown at the bottom of the video"),
                      "selectPrimarySubtitlesTrack:", embedded, external,
                      player.selectedPrimarySubtitlesTrack());
    addTrackMenuItems(*menu,
                      platform::localizedString("Subtitle Tracks (Top)",
                                                "Disabled header for the list of subtitle tracks "
                                                "shown at the top of the video"),
                      "selectSecondarySubtitlesTrack:", embedded, external,
                      player.selectedSecondarySubtitlesTrack());
}

void MediaPlayerViewController::addTrackMenuItems(
    QMenu& menu, const std::string& sectionTitle, std::string_view action,
    const std::vector<std::shared_ptr<MediaTrack>>& tracks,
    const std::vector<std::shared_ptr<MediaTrack>>& externalTracks,
    const std::shared_ptr<MediaTrack>& selectedTrack) {
    if (!menu.actions().isEmpty()) {
        menu.addSeparator();
    }
    menu.addAction(platform::NSMenuItem::sectionHeader(sectionTitle, &menu));
    for (const auto& track : tracks) {
        addTrackMenuItem(track, menu, action, false, selectedTrack);
    }
    for (const auto& track : externalTracks) {
        addTrackMenuItem(track, menu, action, true, selectedTrack);
    }
}

std::string MediaPlayerViewController::trackMenuItemTitle(const MediaTrack& track,
                                                          bool isExternal) {
    std::vector<std::string> names;
    for (const std::string& code : track.languageCodes()) {
        names.push_back(platform::localizedLanguageName(code).value_or("[" + code + "]"));
    }
    if (names.empty()) {
        names.push_back(
            platform::localizedString("Unknown Language",
                                      "Shown when a track's language is unknown; titles look like "
                                      "#Language Name(s)#: #Media Track Title#"));
    }
    const std::string separator =
        platform::localizedString("/", "Separator that joins several language names");
    std::string title;
    for (std::size_t i = 0; i < names.size(); ++i) {
        title += (i == 0 ? "" : separator) + names[i];
    }
    if (track.title()) {
        title = platform::localizedFormat(
            platform::localizedString("%1$@: “%2$@”",
                                      "A track menu item: argument 1 the language name(s), "
                                      "argument 2 the track's title"),
            title, *track.title());
    }
    if (isExternal) {
        title = platform::localizedFormat(
            platform::localizedString(
                "[Added] %1$@",
                "A track added from an external file; argument 1 the track's title"),
            title);
    }
    return title;
}

void MediaPlayerViewController::addTrackMenuItem(const std::shared_ptr<MediaTrack>& track,
                                                 QMenu& menu, std::string_view action,
                                                 bool isExternal,
                                                 const std::shared_ptr<MediaTrack>& selectedTrack) {
    auto* item = new platform::NSMenuItem(trackMenuItemTitle(*track, isExternal), &menu);
    // The menu outlives the track when a subtitle file's source goes; the item must not keep it.
    item->setRepresentedObject(std::weak_ptr<MediaTrack>(track));
    item->setCheckable(true);
    item->setState(selectedTrack == track);
    QObject::connect(item, &QAction::triggered, item,
                     [weakSelf = weak_from_this(), action = std::string(action), item] {
                         if (auto self = weakSelf.lock()) {
                             self->tryToPerform(action, item);
                         }
                     });
    menu.addAction(item);
}

std::shared_ptr<MediaTrack> MediaPlayerViewController::trackFromMenuItem(QObject* sender) {
    const auto* item = dynamic_cast<const platform::NSMenuItem*>(sender);
    if (!item) {
        return nullptr;
    }
    const std::any& object = item->representedObject();
    if (const auto* weak = std::any_cast<std::weak_ptr<MediaTrack>>(&object)) {
        return weak->lock();
    }
    if (const auto* reference = std::any_cast<WeakReference<MediaTrack>>(&object)) {
        return reference->object();
    }
    return nullptr;
}

void MediaPlayerViewController::selectVideoTrack(QObject* sender) {
    if (auto track = std::dynamic_pointer_cast<VideoTrack>(trackFromMenuItem(sender))) {
        mediaPlayer_->setSelectedVideoTrack(std::move(track));
    }
}

void MediaPlayerViewController::selectAudioTrack(QObject* sender) {
    auto track = std::dynamic_pointer_cast<AudioTrack>(trackFromMenuItem(sender));
    if (!track) {
        return;
    }
    // Choosing the checked track again is how the user turns the sound off.
    if (track == mediaPlayer_->selectedAudioTrack()) {
        mediaPlayer_->setSelectedAudioTrack(nullptr);
    } else {
        mediaPlayer_->setSelectedAudioTrack(std::move(track));
    }
}

void MediaPlayerViewController::selectPrimarySubtitlesTrack(QObject* sender) {
    auto track = std::dynamic_pointer_cast<SubtitlesTrack>(trackFromMenuItem(sender));
    if (!track) {
        return;
    }
    MediaPlayer& player = *mediaPlayer_;
    if (track == player.selectedPrimarySubtitlesTrack()) {
        player.setSelectedPrimarySubtitlesTrack(nullptr);
        return;
    }
    // One track is shown in one place only: it moves rather than appears twice.
    if (track == player.selectedSecondarySubtitlesTrack()) {
        player.setSelectedSecondarySubtitlesTrack(nullptr);
    }
    player.setSelectedPrimarySubtitlesTrack(std::move(track));
}

void MediaPlayerViewController::selectSecondarySubtitlesTrack(QObject* sender) {
    auto track = std::dynamic_pointer_cast<SubtitlesTrack>(trackFromMenuItem(sender));
    if (!track) {
        return;
    }
    MediaPlayer& player = *mediaPlayer_;
    if (track == player.selectedSecondarySubtitlesTrack()) {
        player.setSelectedSecondarySubtitlesTrack(nullptr);
        return;
    }
    if (track == player.selectedPrimarySubtitlesTrack()) {
        player.setSelectedPrimarySubtitlesTrack(nullptr);
    }
    player.setSelectedSecondarySubtitlesTrack(std::move(track));
}

void MediaPlayerViewController::updatePlaybackRateSlider(QObject* sender) {
    auto* slider = dynamic_cast<PlaybackRateSlider*>(sender);
    if (!slider) {
        return;
    }
    slider->setEnabled(true);
    slider->slider()->setEnabled(true);
    slider->updateLabelColors();

    MediaPlayer& player = *mediaPlayer_;
    const float desiredRate = player.queue()->sync([&] { return player.desiredPlaybackRate(); });
    slider->setSelectedIndex(static_cast<int>(slider->nearestItemIndex(desiredRate)));
    slider->updateAccessibilityValueIndicator();

    // A rate between stops (set elsewhere) snaps to the stop the menu shows.
    const float shownRate = slider->selectedItem().value;
    player.queue()->sync([&] { player.setDesiredPlaybackRate(shownRate); });

    slider->action().set(shared_from_this(),
                         &MediaPlayerViewController::selectPlaybackRateFromSlider);
}

void MediaPlayerViewController::selectPlaybackRate(QObject* sender) {
    if (auto* slider = dynamic_cast<PlaybackRateSlider*>(sender)) {
        selectPlaybackRateFromSlider(*slider);
    }
}

void MediaPlayerViewController::selectPlaybackRateFromSlider(PlaybackRateSlider& slider) {
    const float rate = slider.selectedItem().value;
    MediaPlayer& player = *mediaPlayer_;
    player.queue()->sync([&] { player.setDesiredPlaybackRate(rate); });
}

}  // namespace quillon
