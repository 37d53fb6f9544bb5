#pragma once

#include <string>

namespace quillon {

// The text of the time labels: an optional minus sign, the hours when there are any (or when
// always asked for), then minutes and seconds, each at least two digits in the user's locale,
// separated by colons: 65.9 → "01:05", 3600 → "01:00:00", -0.0 → "-00:00".
struct TimeFormatter {
    bool alwaysIncludeHours = false;

    // Whole seconds, truncated towards zero. A time that cannot be shown (not finite, or past
    // what 64 bits of seconds hold) gives dashes in place of the digits, so that an indefinite
    // duration reads as unknown rather than as a made-up number.
    std::string stringFromSeconds(double seconds) const;
};

}  // namespace quillon
