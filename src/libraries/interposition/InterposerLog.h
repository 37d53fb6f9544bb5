#pragma once

#include <string>
#include <string_view>

namespace interposition {

// Writes "[Interposer] <message>" as one line to standard output when the library's logging is
// on (Interpose::isLoggingEnabled). Callers compose the message in full either way.
void interposerLog(std::string_view message);

bool interposerLoggingEnabled() noexcept;
void setInterposerLoggingEnabled(bool enabled) noexcept;

}  // namespace interposition
