#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/foundation/URL.h"

namespace platform {

class NSImage;

// The desktop's services for files: their icons and opening addresses in the programs the user
// chose for them. Main thread only.
class NSWorkspace {
public:
    static NSWorkspace& shared();

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
};

}  // namespace platform
