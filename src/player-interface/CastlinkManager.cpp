#include "player-interface/CastlinkManager.h"

#include "media-player/SuddenTerminationManager.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NeverDestroyed.h"

namespace quillon {

CastlinkManager& CastlinkManager::shared() {
    static platform::NeverDestroyed<CastlinkManager> manager(CastlinkClient::shared());
    return manager.get();
}

CastlinkManager::InstallationStatus CastlinkManager::installedPrivilegedHelperVersion() {
    try {
        return InstallationStatus::installed(client_->privilegedHelperVersion());
    } catch (const platform::Error& error) {
        platform::log("Failed to get installed privileged helper version: {}.",
                      error.debugDescription());
        return InstallationStatus::notInstalled();
    }
}

void CastlinkManager::uninstallPrivilegedHelper() {
    // Enabled again when it goes away, also when the uninstall throws.
    SuddenTerminationManager suddenTerminationManager;
    suddenTerminationManager.disable();
    client_->uninstallPrivilegedHelper();
    suddenTerminationManager.enable();
}

}  // namespace quillon
