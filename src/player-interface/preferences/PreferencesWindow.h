#pragma once

#include <memory>

#include "libraries/preferences-window/PreferencesWindowController.h"

namespace platform {
class UserDefaults;
}

namespace quillon {

class CastlinkManager;
class GeneralPreferencePaneViewController;

// The application's preferences window: the General pane, the Advanced pane when the Castlink
// helper tool reports its version now, and the Debug pane when QPShowDebugPreferencePane is set
// (and, on macOS, the system is 11 or later). The panes are decided here once; the window keeps
// them for the rest of the run. `generalPane` is the General pane to use (none: a new one).
std::unique_ptr<preferences_window::PreferencesWindowController> makePreferencesWindowController(
    CastlinkManager& castlinkManager, platform::UserDefaults& userDefaults,
    std::shared_ptr<GeneralPreferencePaneViewController> generalPane = nullptr);

}  // namespace quillon
