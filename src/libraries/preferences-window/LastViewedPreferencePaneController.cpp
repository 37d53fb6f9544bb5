#include "libraries/preferences-window/LastViewedPreferencePaneController.h"

#include "platform/foundation/UserDefaults.h"

namespace preferences_window {

LastViewedPreferencePaneController::LastViewedPreferencePaneController() {
    if (auto stored = platform::UserDefaults::standard().stringForKey(kUserDefaultsKey)) {
        identifier_.emplace(std::move(*stored));
    }
}

void LastViewedPreferencePaneController::persist() const {
    auto& defaults = platform::UserDefaults::standard();
    if (identifier_) {
        defaults.set(identifier_->rawValue, kUserDefaultsKey);
    } else {
        defaults.removeObject(kUserDefaultsKey);
    }
}

}  // namespace preferences_window
