#pragma once

#include <memory>
#include <string_view>

#include "platform/appkit/NSImage.h"

namespace quillon {

// The symbol images of the player controls, drawn as vector shapes in black on transparent (to
// be tinted), each in a square of 16 points: "play.fill", "pause.fill", "pip.enter" and
// "pip.exit". Null for any other name. Each image is made once and shared.
std::shared_ptr<platform::NSImage> controlsSymbolImage(std::string_view name);

}  // namespace quillon
