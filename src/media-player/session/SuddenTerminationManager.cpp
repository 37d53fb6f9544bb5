#include "media-player/session/SuddenTerminationManager.h"

#include "platform/foundation/ProcessInfoTermination.h"

namespace quillon {

SuddenTerminationManager::~SuddenTerminationManager() {
    if (!isSuddenTerminationEnabled_) {
        isSuddenTerminationEnabled_ = true;
        platform::ProcessInfoTermination::shared().enableSuddenTermination();
    }
}

void SuddenTerminationManager::disable() {
    if (!isSuddenTerminationEnabled_) {
        return;
    }
    isSuddenTerminationEnabled_ = false;
    platform::ProcessInfoTermination::shared().disableSuddenTermination();
}

void SuddenTerminationManager::enable() {
    if (isSuddenTerminationEnabled_) {
        return;
    }
    isSuddenTerminationEnabled_ = true;
    platform::ProcessInfoTermination::shared().enableSuddenTermination();
}

}  // namespace quillon
