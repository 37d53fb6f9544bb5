#pragma once

#include <QThread>
#include <memory>
#include <optional>
#include <string>

namespace quillon {

namespace detail {
class LogindWatcher;
}

// Tells the process when the machine is about to sleep and when the user's session stops
// being the active one, by watching the login manager (systemd-logind) on the system bus and
// posting the workspace notifications (WorkspaceNotifications.h) that the players pause on:
// - PrepareForSleep(true) posts NSWorkspaceWillSleepNotification. A "delay" inhibitor lock
//   held while awake makes the system wait until the observers have paused; it is released
//   right after the post, and taken again when the system has woken.
// - The session's Lock signal, and its Active property turning false (another user's session
//   took the seat), post NSWorkspaceSessionDidResignActiveNotification.
// Without a system bus or a login manager (containers, minimal systems) it says so in one log
// line and does nothing more.
//
// All bus traffic happens on a thread of its own ("Login Manager Thread"), so a bus that is
// slow to answer never holds up the caller; the notifications are posted from that thread.
// Needs a Qt application object.
class LogindWorkspaceNotifier {
public:
    static constexpr const char* threadName = "Login Manager Thread";

    enum class State {
        starting,
        // Watching sleep, and the session when the process belongs to one.
        watching,
        // No bus or no login manager: nothing will be posted.
        unavailable,
    };

    // The system bus, or the bus at `busAddress` (tests run their own).
    explicit LogindWorkspaceNotifier(std::optional<std::string> busAddress = std::nullopt);
    // Releases a lock still held and leaves the bus.
    ~LogindWorkspaceNotifier();
    LogindWorkspaceNotifier(const LogindWorkspaceNotifier&) = delete;
    LogindWorkspaceNotifier& operator=(const LogindWorkspaceNotifier&) = delete;

    State state() const;
    // Whether a delay lock is held now.
    bool holdsDelayLock() const;

private:
    QThread thread_;
    std::unique_ptr<detail::LogindWatcher> watcher_;
};

}  // namespace quillon
