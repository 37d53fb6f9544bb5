#pragma once

#include <QPainterPath>
#include <memory>
#include <string_view>

#include "platform/appkit/NSImage.h"

namespace quillon {

// The symbol images of the player controls, drawn as vector shapes in black on transparent (to
// be tinted), each in a square of 16 points: "play.fill", "pause.fill", "pip.enter" and
// "pip.exit". Null for any other name. Each image is made once and shared.
std::shared_ptr<platform::NSImage> controlsSymbolImage(std::string_view name);

// A symbol image that fills `path`, drawn in a square of `sideLength` points, in black on
// transparent, scaled to whatever rectangle it is drawn into.
std::shared_ptr<platform::NSImage> makeSymbolImage(QPainterPath path, double sideLength);

}  // namespace quillon
