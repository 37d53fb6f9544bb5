#include "platform/graphics/NSRange.h"

#include <fmt/format.h>

namespace platform {

std::string NSStringFromRange(NSRange range) {
    return fmt::format("{{{}, {}}}", range.location, range.length);
}

}  // namespace platform
