#pragma once

#include <memory>
#include <string_view>

#include "platform/appkit/NSImage.h"

namespace quillon {

// The toolbar symbols of the preference panes, drawn as vector shapes in the window's text
// colour on transparent, each in a square of 24 points: "gearshape", "gearshape.2" and
// "wrench.and.screwdriver". Null for any other name. Each image is made once and shared.
std::shared_ptr<platform::NSImage> preferencesSymbolImage(std::string_view name);

// The toolbar image of a pane; a name without an image is a fault of the build and stops the
// process.
std::shared_ptr<platform::NSImage> requiredPreferencesSymbolImage(std::string_view name);

}  // namespace quillon
