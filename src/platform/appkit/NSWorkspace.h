#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/URL.h"

namespace platform {

class NSImage;

// Posted on the workspace's centre, on the main thread, when one of the desktop's accessibility
// display options (accessibilityDisplayShouldIncreaseContrast) changed.
inline constexpr const char* NSWorkspaceAccessibilityDisplayOptionsDidChangeNotification =
    "NSWorkspaceAccessibilityDisplayOptionsDidChangeNotification";

// The desktop's services for files (their icons, opening addresses in the programs the user
// chose for them) and what the desktop tells about itself. Main thread only, except the
// notification centre.
class NSWorkspace {
public:
    static NSWorkspace& shared();

    // The desktop session's notifications: sleep, the user's session, accessibility display
    // options. Apart from the default centre; any thread.
    NotificationCenter& notificationCenter();

    // Whether the user asked the desktop for higher contrast. False until a watcher of the
    // desktop's settings (DesktopAccessibilityDisplayOptions) says otherwise.
    bool accessibilityDisplayShouldIncreaseContrast() const { return increaseContrast_; }
    // For that watcher: a change is posted as
    // NSWorkspaceAccessibilityDisplayOptionsDidChangeNotification.
    void setAccessibilityDisplayShouldIncreaseContrast(bool increase);

    // The icon the desktop shows for the file (its type's icon when it has no own one).
    std::shared_ptr<NSImage> iconForFile(const std::string& path);
    // The icon of a content type ("public.movie") or a file-name extension ("mkv").
    std::shared_ptr<NSImage> iconForFileType(const std::string& type);
    // Opens `url` in the desktop's program for it; false when nothing could open it.
    bool openURL(const URL& url);

    // Tests replace the desktop's opener; null puts it back.
    using URLOpener = std::function<bool(const URL&)>;
    void setURLOpenerForTesting(URLOpener opener) { urlOpener_ = std::move(opener); }

private:
    NSWorkspace() = default;
    URLOpener urlOpener_;
    bool increaseContrast_ = false;
};

}  // namespace platform
