#include "media-player/session/WorkspaceNotifications.h"

#include "platform/appkit/NSWorkspace.h"

namespace quillon {

platform::NotificationCenter& workspaceNotificationCenter() {
    return platform::NSWorkspace::shared().notificationCenter();
}

}  // namespace quillon
