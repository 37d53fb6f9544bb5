#include "libraries/preferences-window/SingleItemPreferencePaneSelectionController.h"

#include <fmt/format.h>

#include "platform/foundation/FatalError.h"

namespace preferences_window {

void SingleItemPreferencePaneSelectionController::setSelectedPreferencePaneIdentifier(
    const PreferencePaneIdentifier& identifier) {
    platform::precondition(
        identifier == selected_,
        fmt::format("a one-pane preferences window cannot show \"{}\"", identifier.rawValue));
}

}  // namespace preferences_window
