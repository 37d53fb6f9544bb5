#include "platform/graphics/NSAttributeDictionary.h"

#include <cmath>
#include <limits>

#include <fmt/format.h>

namespace platform {

std::optional<double> NSAttributeValue::numberValue() const {
    if (const auto* value = getIf<double>()) {
        return *value;
    }
    if (const auto* value = getIf<std::int64_t>()) {
        return static_cast<double>(*value);
    }
    return std::nullopt;
}

std::optional<std::int64_t> NSAttributeValue::integerValue() const {
    if (const auto* value = getIf<std::int64_t>()) {
        return *value;
    }
    if (const auto* value = getIf<double>()) {
        // 2^63 itself is out of range; every double below it is exact in an int64.
        constexpr double limit = 9223372036854775808.0;
        if (std::isfinite(*value) && std::trunc(*value) == *value && *value >= -limit &&
            *value < limit) {
            return static_cast<std::int64_t>(*value);
        }
    }
    return std::nullopt;
}

std::string NSAttributeValue::description() const {
    return std::visit(
        [](const auto& value) -> std::string {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, double> || std::is_same_v<T, std::int64_t>) {
                return fmt::format("{}", value);
            } else if constexpr (std::is_same_v<T, std::string>) {
                return fmt::format("\"{}\"", value);
            } else {
                return value.description();
            }
        },
        storage_);
}

std::string description(const NSAttributeDictionary& attributes) {
    std::string text = "{";
    for (const auto& [key, value] : attributes) {
        text += fmt::format("{}{} = {}", text.size() > 1 ? "; " : "", key, value.description());
    }
    return text + "}";
}

}  // namespace platform
