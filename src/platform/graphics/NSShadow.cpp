#include "platform/graphics/NSShadow.h"

#include <fmt/format.h>

namespace platform {

std::string NSShadow::description() const {
    return fmt::format("NSShadow {{{:g}, {:g}}} blur = {:g} color = {{{}}}", shadowOffset.width,
                       shadowOffset.height, shadowBlurRadius,
                       shadowColor ? shadowColor->description() : std::string("(null)"));
}

}  // namespace platform
