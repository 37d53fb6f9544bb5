#pragma once

#include <memory>

#include "libraries/preferences-window/PreferencePaneViewControllers.h"
#include "platform/appkit/NSWindow.h"
#include "platform/foundation/ObserverToken.h"

namespace preferences_window {

// Titles the preferences window after the selected pane, following the pane's title as it
// changes, or with the generic "<application> Preferences" when the pane has no title or when
// pane titles are not wanted (a one-pane window). Main thread only.
class PreferencesWindowTitleController {
public:
    PreferencesWindowTitleController(std::shared_ptr<platform::NSWindow> window,
                                     PreferencePaneViewControllers viewControllers,
                                     bool shouldUsePreferencePaneTitleForWindowTitle);
    // Its title observation refers to it: it stays where it was made.
    PreferencesWindowTitleController(const PreferencesWindowTitleController&) = delete;
    PreferencesWindowTitleController& operator=(const PreferencesWindowTitleController&) = delete;

    const PreferencePaneIdentifier& selectedPreferencePaneIdentifier() const { return selected_; }
    // Follows the pane's title from now on and titles the window at once; an identifier that
    // names no pane stops the process.
    void setSelectedPreferencePaneIdentifier(const PreferencePaneIdentifier& identifier);

    void updateWindowTitle();

private:
    void observeSelectedPaneTitle();

    std::shared_ptr<platform::NSWindow> window_;
    PreferencePaneViewControllers viewControllers_;
    bool shouldUsePreferencePaneTitleForWindowTitle_;
    PreferencePaneIdentifier selected_;
    platform::ObserverToken titleKeyValueObservation_;
};

}  // namespace preferences_window
