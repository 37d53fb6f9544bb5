#include "platform/foundation/FatalError.h"

#include <cstdlib>

#include <fmt/format.h>

#include "platform/foundation/Log.h"

namespace platform {

void fatalError(std::string_view message, std::source_location location) {
    logLine(LogLevel::error,
            fmt::format("Fatal error: {} ({}:{})", message, location.file_name(), location.line()));
    std::abort();
}

}  // namespace platform
