#include "application/PlayerWindowRaising.h"

#include "application/MediaPlayerDocument.h"
#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSDocumentController.h"
#include "platform/appkit/NSWindow.h"
#include "player-interface/window/MediaPlayerWindowController.h"

namespace quillon {

void raiseWindowOfPlayer(const std::shared_ptr<MediaPlayer>& player,
                         platform::NSDocumentController& documentController,
                         platform::NSApplication& application) {
    if (player) {
        for (const auto& document : documentController.documents()) {
            const auto* playerDocument = dynamic_cast<const MediaPlayerDocument*>(document.get());
            if (playerDocument == nullptr) {
                continue;
            }
            const auto& controller = playerDocument->mediaPlayerWindowController();
            if (controller && controller->mediaPlayer() == player) {
                if (platform::NSWindow* window = controller->window()) {
                    window->makeKeyAndOrderFront();
                    return;
                }
            }
        }
    }
    application.activate();
}

}  // namespace quillon
