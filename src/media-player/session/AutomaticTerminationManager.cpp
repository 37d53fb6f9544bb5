#include "media-player/session/AutomaticTerminationManager.h"

#include "platform/foundation/ProcessInfoTermination.h"

namespace quillon {

AutomaticTerminationManager::~AutomaticTerminationManager() {
    if (!isAutomaticTerminationEnabled_) {
        isAutomaticTerminationEnabled_ = true;
        platform::ProcessInfoTermination::shared().enableAutomaticTermination(
            "Automatic Termination Manager was deinitialized.");
    }
}

void AutomaticTerminationManager::disable(const std::string& reason) {
    if (!isAutomaticTerminationEnabled_) {
        return;
    }
    isAutomaticTerminationEnabled_ = false;
    platform::ProcessInfoTermination::shared().disableAutomaticTermination(reason);
}

void AutomaticTerminationManager::enable(const std::string& reason) {
    if (isAutomaticTerminationEnabled_) {
        return;
    }
    isAutomaticTerminationEnabled_ = true;
    platform::ProcessInfoTermination::shared().enableAutomaticTermination(reason);
}

}  // namespace quillon
