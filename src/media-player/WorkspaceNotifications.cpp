#include "media-player/WorkspaceNotifications.h"

#include "platform/foundation/NeverDestroyed.h"

namespace quillon {

platform::NotificationCenter& workspaceNotificationCenter() {
    static platform::NeverDestroyed<platform::NotificationCenter> center;
    return center.get();
}

}  // namespace quillon
