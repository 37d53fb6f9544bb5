#pragma once

#include <compare>
#include <functional>
#include <string>

namespace preferences_window {

// Names one preference pane, e.g. "general". Equal, ordered and hashed as its string.
struct PreferencePaneIdentifier {
    explicit PreferencePaneIdentifier(std::string rawValue) : rawValue(std::move(rawValue)) {}

    std::string rawValue;

    friend auto operator<=>(const PreferencePaneIdentifier&,
                            const PreferencePaneIdentifier&) = default;
};

}  // namespace preferences_window

template <>
struct std::hash<preferences_window::PreferencePaneIdentifier> {
    std::size_t operator()(const preferences_window::PreferencePaneIdentifier& id) const noexcept {
        return std::hash<std::string>{}(id.rawValue);
    }
};
