#pragma once

#include <memory>

#include "libraries/preferences-window/PreferencePane.h"
#include "platform/appkit/NSViewController.h"

namespace quillon {

// The Debug preference pane, shown on request of the QPShowDebugPreferencePane default; it has
// no settings of its own yet. Main thread only.
class DebugPreferencePaneViewController : public platform::NSViewController,
                                          public preferences_window::PreferencePane,
                                          public preferences_window::ToolbarItemImageProvider {
public:
    DebugPreferencePaneViewController();
    ~DebugPreferencePaneViewController() override;

    preferences_window::PreferencePaneIdentifier preferencePaneIdentifier() const override;
    std::shared_ptr<platform::NSImage> toolbarItemImage() const override {
        return toolbarItemImage_;
    }

    void loadView() override;

private:
    std::shared_ptr<platform::NSImage> toolbarItemImage_;
};

}  // namespace quillon
