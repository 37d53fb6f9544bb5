#include "platform/graphics/NSParagraphStyle.h"

#include <fmt/format.h>

namespace platform {

std::string NSParagraphStyle::description() const {
    return fmt::format("NSParagraphStyle alignment = {}, lineBreakMode = {}",
                       static_cast<int>(alignment), static_cast<int>(lineBreakMode));
}

}  // namespace platform
