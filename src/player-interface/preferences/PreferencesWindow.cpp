#include "player-interface/preferences/PreferencesWindow.h"

#include "platform/foundation/ProcessInfo.h"
#include "platform/foundation/UserDefaults.h"
#include "player-interface/castlink/CastlinkManager.h"
#include "player-interface/common/DefaultUserDefaults.h"
#include "player-interface/preferences/AdvancedPreferencePaneViewController.h"
#include "player-interface/preferences/DebugPreferencePaneViewController.h"
#include "player-interface/preferences/GeneralPreferencePaneViewController.h"

namespace quillon {

std::unique_ptr<preferences_window::PreferencesWindowController> makePreferencesWindowController(
    CastlinkManager& castlinkManager, platform::UserDefaults& userDefaults,
    std::shared_ptr<GeneralPreferencePaneViewController> generalPane) {
    std::vector<preferences_window::PreferencePaneViewController> panes;
    if (!generalPane) {
        GeneralPreferencePaneViewController::Dependencies dependencies;
        dependencies.userDefaults = &userDefaults;
        generalPane = std::make_shared<GeneralPreferencePaneViewController>(dependencies);
    }
    panes.push_back(std::move(generalPane));
    if (castlinkManager.installedPrivilegedHelperVersion().isInstalled()) {
        panes.push_back(std::make_shared<AdvancedPreferencePaneViewController>(castlinkManager));
    }
    // Older macOS lacks the Debug pane's symbol image; every other system has the drawn one.
    if (!platform::ProcessInfo::processInfo()->isMacOSBefore(11, 0, 0) &&
        userDefaults.boolForKey(QPShowDebugPreferencePane)) {
        panes.push_back(std::make_shared<DebugPreferencePaneViewController>());
    }
    return std::make_unique<preferences_window::PreferencesWindowController>(std::move(panes));
}

}  // namespace quillon
