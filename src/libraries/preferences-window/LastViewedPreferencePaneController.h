#pragma once

#include <optional>

#include "libraries/preferences-window/PreferencePaneIdentifier.h"

namespace preferences_window {

// The pane that the user viewed last, kept in the standard user defaults across launches.
class LastViewedPreferencePaneController {
public:
    static constexpr const char* kUserDefaultsKey = "PWLastViewedPreferencePaneIdentifier";

    // Reads the stored identifier.
    LastViewedPreferencePaneController();

    const std::optional<PreferencePaneIdentifier>& lastViewedPreferencePaneIdentifier() const {
        return identifier_;
    }
    void setLastViewedPreferencePaneIdentifier(std::optional<PreferencePaneIdentifier> id) {
        identifier_ = std::move(id);
    }

    // Writes the identifier; without one, removes the stored value.
    void persist() const;

private:
    std::optional<PreferencePaneIdentifier> identifier_;
};

}  // namespace preferences_window
