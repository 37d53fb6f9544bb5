#pragma once

#include <optional>
#include <string>

namespace quillon {

// A length of time in words, for assistive technology: "1 hour, 2 minutes, 5 seconds". Whole
// seconds (truncated towards zero), units of zero left out, "0 seconds" for nothing at all, and
// "minus " before a negative length. Nothing for a length that is not finite or does not fit
// in 64 bits of seconds.
std::optional<std::string> spelledOutDuration(double seconds);

}  // namespace quillon
