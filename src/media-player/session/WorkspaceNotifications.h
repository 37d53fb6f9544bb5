#pragma once

#include "platform/foundation/NotificationCenter.h"

namespace quillon {

// The desktop session's notifications about sleep and the user's session, on a centre of their
// own (apart from the default centre, as the platform keeps them). Whoever watches the session
// (logind's PrepareForSleep, the session's Active property) posts here.
inline constexpr const char* NSWorkspaceWillSleepNotification = "NSWorkspaceWillSleepNotification";
inline constexpr const char* NSWorkspaceSessionDidResignActiveNotification =
    "NSWorkspaceSessionDidResignActiveNotification";

// The process's session notification centre: the shared workspace's.
platform::NotificationCenter& workspaceNotificationCenter();

}  // namespace quillon
