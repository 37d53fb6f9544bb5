#include "player-interface/preferences/PreferencePaneIdentifiers.h"

namespace quillon {

using preferences_window::PreferencePaneIdentifier;

const PreferencePaneIdentifier& generalPreferencePaneIdentifier() {
    static const PreferencePaneIdentifier identifier("general");
    return identifier;
}

const PreferencePaneIdentifier& advancedPreferencePaneIdentifier() {
    static const PreferencePaneIdentifier identifier("advanced");
    return identifier;
}

const PreferencePaneIdentifier& debugPreferencePaneIdentifier() {
    static const PreferencePaneIdentifier identifier("debug");
    return identifier;
}

}  // namespace quillon
