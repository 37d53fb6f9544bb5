#include "player-interface/castlink/CastlinkUninstallAlertController.h"

#include <QPushButton>

#include "media-player/session/AutomaticTerminationManager.h"
#include "platform/appkit/NSAlert.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/Log.h"

namespace quillon {

CastlinkUninstallAlertController::CastlinkUninstallAlertController(CastlinkManager& manager)
    : manager_(manager) {}

void CastlinkUninstallAlertController::showAlert() {
    AutomaticTerminationManager automaticTerminationManager;
    automaticTerminationManager.disable("Castlink uninstall alert was shown.");

    platform::NSAlert alert;
    alert.setAlertStyle(platform::NSAlertStyle::informational);
    const char* alertComment =
        "The message text of an alert that is shown when the Castlink helper tool is found to "
        "be installed even though it does not need to be.";
    alert.setMessageText(platform::localizedString(
        "Castlink is no longer needed on macOS Catalina or later.", alertComment));
    alert.setInformativeText(platform::localizedString(
        "After uninstalling, re-enable System Integrity Protection to increase the security of "
        "macOS. You can always uninstall later in the Preferences window.",
        "The informative text of an alert that is shown when the Castlink helper tool is found "
        "to be installed even though it does not need to be."));
    alert.addButtonWithTitle(
        platform::localizedString("Uninstall", "The title of an alert button."));
    QPushButton* notNow = alert.addButtonWithTitle(
        platform::localizedString("Not Now", "The title of an alert button."));
    alert.setEscapeButton(notNow);

    if (alertWillRun_) {
        alertWillRun_(alert);
    }
    if (alert.runModal() == platform::NSAlertFirstButtonReturn) {
        try {
            manager_.uninstallPrivilegedHelper();
        } catch (const platform::Error& error) {
            // Not shown: the user can try again from the preferences, which do show the reason.
            platform::logError("Failed to uninstall privileged helper: {}.",
                               error.debugDescription());
        }
    }
    automaticTerminationManager.enable("Castlink uninstall alert was dismissed.");
}

}  // namespace quillon
