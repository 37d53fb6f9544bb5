#include <algorithm>

#include "media-player/MediaPlayer.h"
#include "media-player/media-source/SupportedFileExtensions.h"
#include "platform/appkit/NSAlert.h"
#include "platform/appkit/NSOpenPanel.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/NSWorkspace.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/StringFormat.h"
#include "platform/foundation/UUID.h"
#include "player-interface/common/ErrorAlerts.h"
#include "player-interface/window/MediaPlayerDocumentProgressWindowController.h"
#include "player-interface/window/MediaPlayerViewController.h"

namespace quillon {

namespace {

// The window the controller's view is in; none while the view is not loaded or not shown in one.
platform::NSWindow* hostWindow(platform::NSViewController& controller) {
    return controller.isViewLoaded() ? platform::windowOfView(controller.view()) : nullptr;
}

}  // namespace

std::vector<std::string> MediaPlayerViewController::subtitleFileExtensions() const {
    const auto& declared = supportedFileExtensions().declared();
    std::vector<std::string> extensions(declared.begin(), declared.end());
    std::sort(extensions.begin(), extensions.end());
    return extensions;
}

std::optional<bool> MediaPlayerViewController::validateAction(std::string_view action) {
    if (action == "openExternalSubtitles:") {
        return hostWindow(*this) != nullptr && !externalSubtitlesOperationUUID_;
    }
    return std::nullopt;
}

void MediaPlayerViewController::openExternalSubtitles(QObject* /*sender*/) {
    platform::NSWindow* window = hostWindow(*this);
    if (!window) {
        return;
    }
    if (!externalSubtitlesOpenPanel_) {
        externalSubtitlesOpenPanel_ = platform::NSOpenPanel::openPanel();
        externalSubtitlesOpenPanel_->setCanChooseFiles(true);
        externalSubtitlesOpenPanel_->setCanChooseDirectories(false);
        externalSubtitlesOpenPanel_->setAllowsMultipleSelection(false);
        externalSubtitlesOpenPanel_->setAllowedFileTypes(subtitleFileExtensions());
    }
    externalSubtitlesOpenPanel_->beginSheetModalForWindow(
        window, [weakSelf = weak_from_this()](platform::NSModalResponse response) {
            auto self = weakSelf.lock();
            if (!self || response != platform::NSModalResponseOK) {
                return;
            }
            if (auto url = self->externalSubtitlesOpenPanel_->URL()) {
                self->loadExternalSubtitles(*url);
            }
        });
}

void MediaPlayerViewController::loadExternalSubtitles(const platform::URL& url) {
    if (platform::NSWindow* window = hostWindow(*this)) {
        auto icon = platform::NSWorkspace::shared().iconForFile(url.path());
        std::string statusText = platform::localizedFormat(
            platform::localizedString(
                "Opening “%@”…",
                "Status text while a subtitle file opens; argument 1 the file name"),
            url.lastPathComponent());
        externalSubtitlesProgressWindowController_ =
            std::make_shared<MediaPlayerDocumentProgressWindowController>(
                std::move(icon), std::move(statusText),
                std::weak_ptr<MediaPlayerDocumentProgressWindowControllerDelegate>(
                    shared_from_this()));
        if (platform::NSWindow* sheet = externalSubtitlesProgressWindowController_->window()) {
            window->beginSheet(sheet);
        }
    }

    std::string operationUUID = platform::UUID().uuidString();
    const std::shared_ptr<MediaSource>& source = mediaPlayer_->mediaSource();
    source->loadExternalSubtitles(url, [weakSelf = weak_from_this(),
                                        weakSource = std::weak_ptr<MediaSource>(source),
                                        operationUUID](
                                           MediaSource::ExternalSubtitlesLoadResult loadResult) {
        auto source = weakSource.lock();
        if (!source) {
            return;
        }
        // Attached here, off the main thread, so the tracks stay in the source (and in the
        // Tracks menu) even when the user no longer waits for them.
        ExternalSubtitlesResult result = std::visit(
            [&](auto& value) -> ExternalSubtitlesResult {
                if constexpr (std::is_same_v<std::decay_t<decltype(value)>,
                                             MediaSource::LoadError>) {
                    return value;
                } else {
                    return source->addExternalSubtitles(std::move(value)).externalSubtitlesTracks;
                }
            },
            loadResult);
        platform::DispatchQueue::main().async(
            [weakSelf, operationUUID, result = std::move(result)]() mutable {
                if (auto self = weakSelf.lock()) {
                    self->didLoadExternalSubtitles(operationUUID, std::move(result));
                }
            });
    });
    externalSubtitlesOperationUUID_ = std::move(operationUUID);
}

void MediaPlayerViewController::didLoadExternalSubtitles(const std::string& operationUUID,
                                                         ExternalSubtitlesResult result) {
    if (externalSubtitlesOperationUUID_ != operationUUID) {
        return;
    }
    endExternalSubtitlesOperation();

    if (const auto* error = std::get_if<MediaSource::LoadError>(&result)) {
        if (platform::NSWindow* window = hostWindow(*this)) {
            platform::NSAlert::beginSheetModalForWindow(makeLoadErrorAlert(*error), window, {});
        }
        return;
    }
    const auto& tracks = std::get<std::vector<std::shared_ptr<ExternalSubtitlesTrack>>>(result);
    if (tracks.empty()) {
        return;
    }
    // The new file goes into a free slot; the user's own choices are never replaced.
    const std::shared_ptr<SubtitlesTrack> track = tracks.front();
    MediaPlayer& player = *mediaPlayer_;
    const auto primary = player.selectedPrimarySubtitlesTrack();
    const auto secondary = player.selectedSecondarySubtitlesTrack();
    if (!primary) {
        if (secondary != track) {
            player.setSelectedPrimarySubtitlesTrack(track);
        }
    } else if (primary != track && !secondary) {
        player.setSelectedSecondarySubtitlesTrack(track);
    }
}

void MediaPlayerViewController::endExternalSubtitlesOperation() {
    externalSubtitlesOperationUUID_.reset();
    auto progressWindowController = std::move(externalSubtitlesProgressWindowController_);
    if (!progressWindowController) {
        return;
    }
    platform::NSWindow* window = hostWindow(*this);
    const auto& constController = *progressWindowController;
    if (platform::NSWindow* sheet = constController.window(); window && sheet) {
        window->endSheet(sheet);
    }
    // The Cancel button of that very window may be what brought us here: let its click finish
    // before the controller and its window go.
    platform::DispatchQueue::main().async([progressWindowController] {});
}

void MediaPlayerViewController::mediaPlayerDocumentProgressWindowControllerDidCancel(
    MediaPlayerDocumentProgressWindowController& /*controller*/) {
    endExternalSubtitlesOperation();
}

}  // namespace quillon
