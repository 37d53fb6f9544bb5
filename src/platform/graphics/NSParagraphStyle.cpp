#include "platform/graphics/NSParagraphStyle.h"

#include <fmt/format.h>

namespace platform {

std::string NSParagraphStyle::description() const {
    return fmt::format("NSParagraphStyle alignment = {}, lineBreakMode = {}, paragraphSpacing = {}",
                       static_cast<int>(alignment), static_cast<int>(lineBreakMode),
                       paragraphSpacing);
}

}  // namespace platform
