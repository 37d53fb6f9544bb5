#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "media-player/MediaPlayer.h"
#include "media-player/media-source/MediaSource.h"
#include "media-player/session/AutomaticTerminationManager.h"
#include "platform/appkit/NSDocument.h"
#include "platform/foundation/ObserverToken.h"
#include "player-interface/window/MediaPlayerDocumentProgressWindowControllerDelegate.h"

namespace quillon {

class MediaPlayerWindowController;

// One opened media file. Reading answers at once and loads the file in the background behind a
// progress window with a Cancel button; once the source is loaded, the default tracks are chosen,
// the player is made and the player window replaces the progress window. A load error is shown
// as an alert sheet on the progress window, after which the document closes; so is a decoder
// failure that ends playback later, on the player window. Automatic termination is off while the
// file loads. A window-restoration request that arrives before the player window exists waits for
// the load's outcome. Main thread only.
class MediaPlayerDocument : public platform::NSDocument,
                            public MediaPlayerDocumentProgressWindowControllerDelegate {
public:
    enum class WindowRestoreError { windowNotAvailable, loadCancelled, failedToLoadMedia };
    static constexpr const char* windowRestoreErrorDomain =
        "Quillon_Player.MediaPlayerDocument.WindowRestoreError";
    static platform::NSError makeError(WindowRestoreError error);

    // The key of the document's own part of its window's restorable state.
    static constexpr const char* mediaSourceRestorableStateKey =
        "org.quillon.MediaPlayerDocument.mediaSource";
    static constexpr const char* loadingReason = "Started loading media.";
    static constexpr const char* finishedLoadingReason = "Finished loading media.";

    MediaPlayerDocument();
    ~MediaPlayerDocument() override;

    // What the document's player plays on (tests put manual clocks and recorders here).
    void setMediaPlayerEnvironment(MediaPlayer::Environment environment) {
        mediaPlayerEnvironment_ = std::move(environment);
    }

    bool isEntireFileLoaded() const override { return false; }
    // Starts loading; never fails here: load errors are reported in the progress window.
    void readFromURL(const platform::URL& url, const std::string& typeName) override;
    // Shows the progress window.
    void makeWindowControllers() override;
    // Logs what the player's video view showed over its life, then closes.
    void close() override;
    void encodeRestorableState(platform::NSKeyedArchiver& coder,
                               platform::NSOperationQueue& backgroundQueue) override;
    void restoreDocumentWindow(const std::string& identifier,
                               std::shared_ptr<platform::NSKeyedUnarchiver> state,
                               RestoreWindowCompletion completion) override;

    // The Cancel button of the progress window.
    void mediaPlayerDocumentProgressWindowControllerDidCancel(
        MediaPlayerDocumentProgressWindowController& controller) override;
    void cancelLoading();

    bool isLoadCancelled() const { return isLoadCancelled_; }
    const std::shared_ptr<MediaSource>& mediaSource() const { return mediaSource_; }
    const std::shared_ptr<MediaPlayerWindowController>& mediaPlayerWindowController() const {
        return mediaPlayerWindowController_;
    }
    const AutomaticTerminationManager& automaticTerminationManager() const {
        return automaticTerminationManager_;
    }

private:
    using RestoreMediaPlayerWindow = std::function<void(
        platform::NSWindow* window, std::shared_ptr<const platform::NSError> error)>;

    std::weak_ptr<MediaPlayerDocument> weakSelf();
    void showProgressWindow();
    void didLoadMediaSource(std::shared_ptr<MediaSource> mediaSource);
    void didMakeMediaPlayer(std::shared_ptr<MediaPlayer> mediaPlayer);
    void didFailToLoadMediaSource(const MediaSource::LoadError& error);
    void didFailToPlayMedia(const platform::Error& error);
    void mediaSourceRestorableStateWasInvalidated();
    void callRestoreMediaPlayerWindow(platform::NSWindow* window,
                                      std::optional<WindowRestoreError> error);
    static void encodeMediaSourceRestorableState(const MediaSource& mediaSource,
                                                 platform::NSKeyedArchiver& coder);
    static void decodeMediaSourceRestorableState(
        platform::NSWindow* window, std::shared_ptr<const platform::NSError> error,
        const std::weak_ptr<MediaPlayerDocument>& document,
        const std::shared_ptr<platform::NSKeyedUnarchiver>& state,
        const RestoreWindowCompletion& completion);

    AutomaticTerminationManager automaticTerminationManager_;
    std::optional<RestoreMediaPlayerWindow> restoreMediaPlayerWindow_;
    bool isLoadCancelled_ = false;
    std::shared_ptr<MediaSource> mediaSource_;
    std::shared_ptr<MediaPlayerWindowController> mediaPlayerWindowController_;
    MediaPlayer::Environment mediaPlayerEnvironment_;
    platform::ObserverToken mediaSourceObservation_;
};

}  // namespace quillon
