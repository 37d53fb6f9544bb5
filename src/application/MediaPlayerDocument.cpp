#include "application/MediaPlayerDocument.h"

#include <QPointer>

#include "media-player/media-source/DefaultTrackSelection.h"
#include "platform/appkit/NSAlert.h"
#include "platform/appkit/NSOperationQueue.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/NSWorkspace.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/StringFormat.h"
#include "player-interface/common/ErrorAlerts.h"
#include "player-interface/views/VideoPlayerView.h"
#include "player-interface/window/MediaPlayerDocumentProgressWindowController.h"
#include "player-interface/window/MediaPlayerViewController.h"
#include "player-interface/window/MediaPlayerWindowController.h"

namespace quillon {

platform::NSError MediaPlayerDocument::makeError(WindowRestoreError error) {
    return platform::NSError(windowRestoreErrorDomain, static_cast<std::int64_t>(error));
}

MediaPlayerDocument::MediaPlayerDocument() = default;

MediaPlayerDocument::~MediaPlayerDocument() = default;

std::weak_ptr<MediaPlayerDocument> MediaPlayerDocument::weakSelf() {
    return std::static_pointer_cast<MediaPlayerDocument>(shared_from_this());
}

void MediaPlayerDocument::readFromURL(const platform::URL& url, const std::string&) {
    automaticTerminationManager_.disable(loadingReason);
    auto weak = weakSelf();
    MediaSource::load(
        url,
        [weak](std::shared_ptr<MediaSource> mediaSource) {
            platform::DispatchQueue::main().async([weak, mediaSource = std::move(mediaSource)] {
                if (auto document = weak.lock()) {
                    document->didLoadMediaSource(mediaSource);
                }
            });
        },
        [weak](const MediaSource::LoadError& error) {
            platform::DispatchQueue::main().async([weak, error] {
                if (auto document = weak.lock()) {
                    document->didFailToLoadMediaSource(error);
                }
            });
        });
}

void MediaPlayerDocument::makeWindowControllers() {
    showProgressWindow();
}

void MediaPlayerDocument::close() {
    if (!isClosed() && mediaPlayerWindowController_) {
        const auto& viewController = mediaPlayerWindowController_->mediaPlayerViewController();
        VideoPlayerView* playerView = viewController ? viewController->videoPlayerView() : nullptr;
        if (playerView != nullptr && playerView->videoView() != nullptr) {
            const platform::AVVideoFrameCounts counts =
                playerView->videoView()->layer()->videoOutput()->frameCountTotals();
            platform::logDebug("{}: Presented {} frames, dropped {} late and {} unpainted.",
                               displayName(), counts.presented, counts.droppedLate,
                               counts.unpainted);
        }
    }
    platform::NSDocument::close();
}

void MediaPlayerDocument::showProgressWindow() {
    auto& workspace = platform::NSWorkspace::shared();
    std::shared_ptr<platform::NSImage> icon;
    if (fileURL()) {
        icon = workspace.iconForFile(fileURL()->path());
    } else if (fileType()) {
        icon = workspace.iconForFileType(*fileType());
    } else {
        icon = workspace.iconForFileType("public.audiovisual-content");
    }
    const std::string statusText = platform::localizedFormat(
        platform::localizedString(
            "Opening “%@”…",
            "The format string for the status text of the progress window that is shown when a "
            "document is being opened. Argument 1 is the name of the document."),
        displayName());
    std::shared_ptr<MediaPlayerDocumentProgressWindowControllerDelegate> delegate =
        std::static_pointer_cast<MediaPlayerDocument>(shared_from_this());
    addWindowController(std::make_shared<MediaPlayerDocumentProgressWindowController>(
        std::move(icon), statusText, delegate));
}

void MediaPlayerDocument::didLoadMediaSource(std::shared_ptr<MediaSource> mediaSource) {
    // Closing the progress window gives up the load as its Cancel button does.
    if (isLoadCancelled_ || isClosed()) {
        automaticTerminationManager_.enable(finishedLoadingReason);
        return;
    }
    if (mediaSource->videoTracks().empty() && mediaSource->audioTracks().empty()) {
        didFailToLoadMediaSource(
            MediaSource::LoadError::noDecodableTracks({MediaType::video, MediaType::audio}));
        return;
    }
    mediaSource_ = mediaSource;
    auto weak = weakSelf();
    mediaSourceObservation_ = platform::NotificationCenter::defaultCenter().addObserver(
        MediaSource::restorableStateWasInvalidatedNotification, mediaSource_.get(),
        [weak](const platform::Notification&) {
            platform::DispatchQueue::main().async([weak] {
                if (auto document = weak.lock()) {
                    document->mediaSourceRestorableStateWasInvalidated();
                }
            });
        });
    invalidateRestorableState();

    // Choosing the tracks reads the user's preferences and may take a moment: off the main
    // thread. Only the document's existence is checked there, so that its last reference is
    // never dropped on this queue.
    platform::DispatchQueue::global(platform::DispatchQoS::userInitiated)
        .async([weak, mediaSource, environment = mediaPlayerEnvironment_] {
            if (weak.expired()) {
                return;
            }
            const DefaultTracks tracks = selectDefaultTracks(*mediaSource);
            MediaPlayer::make(
                mediaSource, tracks.video, tracks.audio, tracks.primarySubtitles,
                tracks.secondarySubtitles, std::nullopt,
                platform::DispatchQueue::main().shared_from_this(),
                [weak](std::shared_ptr<MediaPlayer> mediaPlayer) {
                    if (auto document = weak.lock()) {
                        document->didMakeMediaPlayer(std::move(mediaPlayer));
                    }
                },
                environment);
        });
    automaticTerminationManager_.enable(finishedLoadingReason);
}

void MediaPlayerDocument::didMakeMediaPlayer(std::shared_ptr<MediaPlayer> mediaPlayer) {
    if (isLoadCancelled_ || isClosed()) {
        return;
    }
    std::shared_ptr<platform::NSWindowController> progressWindowController =
        windowControllers().empty() ? nullptr : windowControllers().front();
    // Called at once (on a later turn of the main queue) when playback failed already.
    mediaPlayer->setPlaybackFailureHandler([weak = weakSelf()](auto error) {
        if (auto document = weak.lock()) {
            document->didFailToPlayMedia(*error);
        }
    });

    auto windowController = MediaPlayerWindowController::make(std::move(mediaPlayer));
    windowController->setShouldCloseDocument(true);
    mediaPlayerWindowController_ = windowController;
    addWindowController(windowController);

    if (progressWindowController) {
        progressWindowController->close();
        removeWindowController(progressWindowController.get());
    }
    if (restoreMediaPlayerWindow_) {
        callRestoreMediaPlayerWindow(windowController->window(), std::nullopt);
    } else {
        showWindows();
    }
    windowController->handleWindowShown();
}

void MediaPlayerDocument::didFailToLoadMediaSource(const MediaSource::LoadError& error) {
    automaticTerminationManager_.enable(finishedLoadingReason);
    if (isLoadCancelled_ || isClosed()) {
        return;
    }
    if (restoreMediaPlayerWindow_) {
        callRestoreMediaPlayerWindow(nullptr, WindowRestoreError::failedToLoadMedia);
        close();
        return;
    }
    if (windowControllers().empty()) {
        return;
    }
    platform::NSWindow* window = windowControllers().front()->window();
    if (window == nullptr) {
        return;
    }
    auto weak = weakSelf();
    platform::NSAlert::beginSheetModalForWindow(makeLoadErrorAlert(error), window,
                                                [weak](platform::NSModalResponse) {
                                                    if (auto document = weak.lock()) {
                                                        document->close();
                                                    }
                                                });
}

void MediaPlayerDocument::didFailToPlayMedia(const platform::Error& error) {
    if (isClosed() || !mediaPlayerWindowController_) {
        return;
    }
    platform::NSWindow* window = mediaPlayerWindowController_->window();
    if (window == nullptr) {
        close();
        return;
    }
    auto alert = makeUnknownErrorAlert(
        platform::localizedString(
            "Unable to load the media.",
            "The error description that is shown when the media failed to be loaded."),
        error);
    auto weak = weakSelf();
    platform::NSAlert::beginSheetModalForWindow(std::move(alert), window,
                                                [weak](platform::NSModalResponse) {
                                                    if (auto document = weak.lock()) {
                                                        document->close();
                                                    }
                                                });
}

void MediaPlayerDocument::mediaPlayerDocumentProgressWindowControllerDidCancel(
    MediaPlayerDocumentProgressWindowController&) {
    cancelLoading();
}

void MediaPlayerDocument::cancelLoading() {
    isLoadCancelled_ = true;
    if (restoreMediaPlayerWindow_) {
        callRestoreMediaPlayerWindow(nullptr, WindowRestoreError::loadCancelled);
    }
    close();
}

void MediaPlayerDocument::mediaSourceRestorableStateWasInvalidated() {
    invalidateRestorableState();
}

void MediaPlayerDocument::callRestoreMediaPlayerWindow(platform::NSWindow* window,
                                                       std::optional<WindowRestoreError> error) {
    if (!restoreMediaPlayerWindow_) {
        return;
    }
    std::shared_ptr<const platform::NSError> platformError;
    if (error) {
        platformError = std::make_shared<platform::NSError>(makeError(*error));
    }
    // A copy: the closure may close the document, which lets go of the field.
    auto restore = *restoreMediaPlayerWindow_;
    restore(window, platformError);
}

void MediaPlayerDocument::encodeRestorableState(platform::NSKeyedArchiver& coder,
                                                platform::NSOperationQueue& backgroundQueue) {
    NSDocument::encodeRestorableState(coder, backgroundQueue);
    if (auto mediaSource = mediaSource_) {
        backgroundQueue.addOperation(
            [mediaSource, &coder] { encodeMediaSourceRestorableState(*mediaSource, coder); });
    }
}

void MediaPlayerDocument::encodeMediaSourceRestorableState(const MediaSource& mediaSource,
                                                           platform::NSKeyedArchiver& coder) {
    platform::NSKeyedArchiver archiver(true);
    mediaSource.encodeRestorableState(archiver);
    archiver.finishEncoding();
    coder.encodeData(archiver.encodedData(), mediaSourceRestorableStateKey);
}

void MediaPlayerDocument::restoreDocumentWindow(const std::string& identifier,
                                                std::shared_ptr<platform::NSKeyedUnarchiver> state,
                                                RestoreWindowCompletion completion) {
    if (identifier != MediaPlayerWindowController::mediaPlayerWindowIdentifier) {
        if (mediaPlayerWindowController_) {
            completion(nullptr, std::make_shared<platform::NSError>(
                                    makeError(WindowRestoreError::windowNotAvailable)));
        } else {
            NSDocument::restoreDocumentWindow(identifier, std::move(state), std::move(completion));
        }
        return;
    }
    RestoreMediaPlayerWindow restoring = [weak = weakSelf(), state, completion](
                                             platform::NSWindow* window,
                                             std::shared_ptr<const platform::NSError> error) {
        decodeMediaSourceRestorableState(window, std::move(error), weak, state, completion);
    };
    if (!mediaPlayerWindowController_) {
        // Still loading: the load's outcome answers, and only the latest request is answered.
        restoreMediaPlayerWindow_ = std::move(restoring);
        return;
    }
    NSDocument::restoreDocumentWindow(identifier, state, std::move(restoring));
    mediaPlayerWindowController_->handleWindowShown();
}

void MediaPlayerDocument::decodeMediaSourceRestorableState(
    platform::NSWindow* window, std::shared_ptr<const platform::NSError> error,
    const std::weak_ptr<MediaPlayerDocument>& weakDocument,
    const std::shared_ptr<platform::NSKeyedUnarchiver>& state,
    const RestoreWindowCompletion& completion) {
    auto document = weakDocument.lock();
    if (!document) {
        return;
    }
    if (!document->mediaSource_) {
        completion(window, std::move(error));
        return;
    }
    std::optional<std::vector<std::uint8_t>> data;
    if (state) {
        data = state->decodeData(mediaSourceRestorableStateKey);
    }
    if (!data) {
        completion(window, std::move(error));
        return;
    }
    std::shared_ptr<platform::NSKeyedUnarchiver> unarchiver;
    try {
        unarchiver = std::make_shared<platform::NSKeyedUnarchiver>(*data);
    } catch (const platform::Error&) {
        // Unreadable stored state: the window comes back with the source as it was loaded.
        completion(window, std::move(error));
        return;
    }
    // The window may go while the source restores its subtitle files.
    QPointer<platform::NSWindow> guardedWindow(window);
    document->mediaSource_->restoreState(
        unarchiver, [unarchiver, guardedWindow, error, completion] {
            unarchiver->finishDecoding();
            platform::DispatchQueue::main().async(
                [guardedWindow, error, completion] { completion(guardedWindow.data(), error); });
        });
}

}  // namespace quillon
