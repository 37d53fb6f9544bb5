#include "player-interface/controls/SpelledOutDuration.h"

#include <fmt/format.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace quillon {

namespace {

std::string unitText(std::uint64_t count, const char* singular, const char* plural) {
    return fmt::format("{} {}", count, count == 1 ? singular : plural);
}

}  // namespace

std::optional<std::string> spelledOutDuration(double seconds) {
    // 2^64: the first value that no longer fits.
    constexpr double limit = 18446744073709551616.0;
    if (!std::isfinite(seconds) || std::fabs(seconds) >= limit) {
        return std::nullopt;
    }
    const auto total = static_cast<std::uint64_t>(std::fabs(seconds));
    const std::uint64_t hours = total / 3600;
    const std::uint64_t minutes = (total / 60) % 60;
    const std::uint64_t secs = total % 60;

    std::vector<std::string> parts;
    if (hours > 0) {
        parts.push_back(unitText(hours, "hour", "hours"));
    }
    if (minutes > 0) {
        parts.push_back(unitText(minutes, "minute", "minutes"));
    }
    if (secs > 0 || parts.empty()) {
        parts.push_back(unitText(secs, "second", "seconds"));
    }
    // A length that truncates to nothing has no sign worth speaking.
    const bool negative = seconds < 0 && total > 0;
    return fmt::format("{}{}", negative ? "minus " : "", fmt::join(parts, ", "));
}

}  // namespace quillon
