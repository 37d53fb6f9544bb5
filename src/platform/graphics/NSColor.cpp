#include "platform/graphics/NSColor.h"

#include <fmt/format.h>

namespace platform {

std::string NSColor::description() const {
    return fmt::format("sRGB {:g} {:g} {:g} {:g}", red_, green_, blue_, alpha_);
}

}  // namespace platform
