#include "platform/appkit/SUUpdater.h"

#include "platform/foundation/NeverDestroyed.h"
#include "platform/foundation/UserDefaults.h"

namespace platform {

SUUpdater& SUUpdater::sharedUpdater() {
    static NeverDestroyed<SUUpdater> updater(UserDefaults::standard());
    return updater.get();
}

bool SUUpdater::automaticallyChecksForUpdates() const {
    return userDefaults_.boolForKey(automaticallyChecksForUpdatesKey);
}

void SUUpdater::setAutomaticallyChecksForUpdates(bool checks) {
    userDefaults_.set(checks, automaticallyChecksForUpdatesKey);
}

}  // namespace platform
