#pragma once

#include "libraries/preferences-window/PreferencePaneIdentifier.h"

namespace quillon {

// The identifiers of the application's preference panes ("general", "advanced", "debug"); the
// preferences window remembers the last viewed pane by them.
const preferences_window::PreferencePaneIdentifier& generalPreferencePaneIdentifier();
const preferences_window::PreferencePaneIdentifier& advancedPreferencePaneIdentifier();
const preferences_window::PreferencePaneIdentifier& debugPreferencePaneIdentifier();

}  // namespace quillon
