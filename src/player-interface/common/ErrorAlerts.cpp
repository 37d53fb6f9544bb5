#include "player-interface/common/ErrorAlerts.h"

#include "platform/foundation/Localization.h"
#include "platform/foundation/StringFormat.h"

namespace quillon {

namespace {

std::string okButtonTitle() {
    return platform::localizedString("OK", "The title of an OK button.");
}

}  // namespace

void configureLoadErrorAlert(platform::NSAlert& alert, const MediaSourceLoadError& error) {
    alert.setAlertStyle(platform::NSAlertStyle::critical);
    if (auto description = error.errorDescription()) {
        alert.setMessageText(*description);
    }
    std::string informativeText;
    for (const auto& part : {error.failureReason(), error.recoverySuggestion()}) {
        if (part) {
            if (!informativeText.empty()) {
                informativeText += ' ';
            }
            informativeText += *part;
        }
    }
    alert.setInformativeText(informativeText);
    alert.addButtonWithTitle(okButtonTitle());
}

void configureUnknownErrorAlert(platform::NSAlert& alert, const std::string& messageText,
                                const platform::Error& error) {
    alert.setAlertStyle(platform::NSAlertStyle::warning);
    alert.setMessageText(messageText);
    alert.setInformativeText(platform::localizedFormat(
        platform::localizedString(
            "Please contact support with the following error details:\n\n%1$@",
            "The format string for the message text of the alert that is shown after an unknown "
            "error occurred. Argument 1 contains the dynamic error details."),
        detailedDescription(error)));
    alert.addButtonWithTitle(okButtonTitle());
}

}  // namespace quillon
