#pragma once

#include <concepts>
#include <memory>
#include <string>

#include "media-player/media-source/MediaSourceLoadError.h"
#include "platform/appkit/NSAlert.h"
#include "platform/foundation/Error.h"

namespace quillon {

// The texts of the two error alerts, filled into `alert`.
void configureLoadErrorAlert(platform::NSAlert& alert, const MediaSourceLoadError& error);
void configureUnknownErrorAlert(platform::NSAlert& alert, const std::string& messageText,
                                const platform::Error& error);

// The alert for a media file that could not be loaded: critical, the error's description as the
// message, its failure reason and recovery suggestion as the informative text, one "OK" button.
// Not shown yet. `Alert` is the class of the alert made (NSAlert or a subclass).
template <std::derived_from<platform::NSAlert> Alert = platform::NSAlert>
std::unique_ptr<Alert> makeLoadErrorAlert(const MediaSourceLoadError& error) {
    auto alert = std::make_unique<Alert>();
    configureLoadErrorAlert(*alert, error);
    return alert;
}

// The alert for an error the user cannot act on: a warning with the given message and the
// error's details for support, one "OK" button. Not shown yet.
template <std::derived_from<platform::NSAlert> Alert = platform::NSAlert>
std::unique_ptr<Alert> makeUnknownErrorAlert(const std::string& messageText,
                                             const platform::Error& error) {
    auto alert = std::make_unique<Alert>();
    configureUnknownErrorAlert(*alert, messageText, error);
    return alert;
}

}  // namespace quillon
