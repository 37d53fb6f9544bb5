#pragma once

#include <source_location>
#include <string_view>

namespace platform {

// Stops the process when an internal assumption is broken. The message is written as one line
// to standard error (with the caller's file and line) before the process aborts, so that a
// crash report always says why.
[[noreturn]] void fatalError(std::string_view message,
                             std::source_location location = std::source_location::current());

// fatalError unless the condition holds.
inline void precondition(bool condition, std::string_view message,
                         std::source_location location = std::source_location::current()) {
    if (!condition) [[unlikely]] {
        fatalError(message, location);
    }
}

}  // namespace platform
