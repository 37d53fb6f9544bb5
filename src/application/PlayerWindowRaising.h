#pragma once

#include <memory>

namespace platform {
class NSApplication;
class NSDocumentController;
}  // namespace platform

namespace quillon {

class MediaPlayer;

// Brings the window of `player` to the front (what the desktop's media controls ask for);
// without such a window, the application comes forward as a later launch makes it. Main thread.
void raiseWindowOfPlayer(const std::shared_ptr<MediaPlayer>& player,
                         platform::NSDocumentController& documentController,
                         platform::NSApplication& application);

}  // namespace quillon
