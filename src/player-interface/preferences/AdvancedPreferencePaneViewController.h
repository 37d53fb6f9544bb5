#pragma once

#include <memory>

#include "libraries/preferences-window/PreferencePane.h"
#include "platform/appkit/NSViewController.h"

namespace quillon {

class CastlinkManager;
class CastlinkViewController;

// The Advanced preference pane: the Castlink helper tool's part, offered only while the tool is
// installed. Main thread only.
class AdvancedPreferencePaneViewController : public platform::NSViewController,
                                             public preferences_window::PreferencePane,
                                             public preferences_window::ToolbarItemImageProvider {
public:
    explicit AdvancedPreferencePaneViewController(CastlinkManager& castlinkManager);
    AdvancedPreferencePaneViewController();
    ~AdvancedPreferencePaneViewController() override;

    preferences_window::PreferencePaneIdentifier preferencePaneIdentifier() const override;
    std::shared_ptr<platform::NSImage> toolbarItemImage() const override {
        return toolbarItemImage_;
    }

    void loadView() override;

    const std::shared_ptr<CastlinkViewController>& castlinkViewController() const {
        return castlinkViewController_;
    }

private:
    std::shared_ptr<platform::NSImage> toolbarItemImage_;
    std::shared_ptr<CastlinkViewController> castlinkViewController_;
};

}  // namespace quillon
