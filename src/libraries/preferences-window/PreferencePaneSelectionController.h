#pragma once

#include "libraries/preferences-window/PreferencePaneIdentifier.h"

namespace preferences_window {

class PreferencePaneSelectionController;

class PreferencePaneSelectionControllerDelegate {
public:
    virtual ~PreferencePaneSelectionControllerDelegate() = default;
    // The user chose another pane (or the shown one again).
    virtual void selectionDidChange(PreferencePaneSelectionController& selectionController) = 0;
};

// Keeps which pane the window's chooser shows as selected. Setting the selection does not call
// the delegate; only the user's choice does.
class PreferencePaneSelectionController {
public:
    virtual ~PreferencePaneSelectionController() = default;

    virtual PreferencePaneIdentifier selectedPreferencePaneIdentifier() const = 0;
    virtual void setSelectedPreferencePaneIdentifier(
        const PreferencePaneIdentifier& identifier) = 0;

    // Not owned: a delegate clears itself before it goes.
    virtual PreferencePaneSelectionControllerDelegate* delegate() const = 0;
    virtual void setDelegate(PreferencePaneSelectionControllerDelegate* delegate) = 0;
};

}  // namespace preferences_window
