#pragma once

#include <memory>

#include "libraries/preferences-window/PreferencePaneIdentifier.h"
#include "platform/appkit/NSImage.h"

namespace preferences_window {

// What a preference pane is besides its view controller: panes are NSViewController subclasses
// that also implement this.
class PreferencePane {
public:
    virtual ~PreferencePane() = default;
    virtual PreferencePaneIdentifier preferencePaneIdentifier() const = 0;
};

// Gives the image of a pane's toolbar item; a window with several panes needs it of each.
class ToolbarItemImageProvider {
public:
    virtual ~ToolbarItemImageProvider() = default;
    virtual std::shared_ptr<platform::NSImage> toolbarItemImage() const = 0;
};

}  // namespace preferences_window
