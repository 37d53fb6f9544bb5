#pragma once

#include <functional>

#include "player-interface/castlink/CastlinkManager.h"

namespace platform {
class NSAlert;
}

namespace quillon {

// The alert at launch that offers to uninstall a Castlink helper tool that is no longer
// needed. Main thread only.
class CastlinkUninstallAlertController {
public:
    explicit CastlinkUninstallAlertController(CastlinkManager& manager = CastlinkManager::shared());

    // Runs the alert modally and returns once it is dismissed; "Uninstall" uninstalls (a
    // failure is logged, not shown: the preferences offer it again), "Not Now" and Escape do
    // nothing. The process is not ended automatically meanwhile.
    void showAlert();

    // Called with the alert just before it runs (tests answer it from here).
    void setAlertWillRunHandler(std::function<void(platform::NSAlert&)> handler) {
        alertWillRun_ = std::move(handler);
    }

private:
    CastlinkManager& manager_;
    std::function<void(platform::NSAlert&)> alertWillRun_;
};

}  // namespace quillon
