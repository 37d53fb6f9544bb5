#pragma once

#include <QAbstractButton>
#include <QToolButton>
#include <memory>
#include <optional>

#include "platform/appkit/NSImage.h"
#include "platform/graphics/NSColor.h"

namespace quillon {

// The image of the audio route picker's button, to be tinted: the AirPlay audio symbol (drawn
// here as a vector, 16 points square) on macOS 11 and later and on other systems; before
// macOS 11 the executable's embedded "AirPlayAudioIcon". Made once and shared.
std::shared_ptr<platform::NSImage> ql_routePickerButtonImage();

// Gives a button the route picker's image in the given tint (none: the controls' own tint) and
// its accessibility label, "Show AirPlay 2 audio device picker". Sets no target or action.
void ql_configureRoutePickerButton(QAbstractButton& button,
                                   const std::optional<platform::NSColor>& contentTintColor = {});

// A new route picker button, without target or action.
std::unique_ptr<QToolButton> ql_routePickerButton();

// The desktop's accent colour for controls (the palette's highlight).
platform::NSColor controlAccentColor();

}  // namespace quillon
