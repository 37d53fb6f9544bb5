#include "application/QLDocumentController.h"

#include "application/MediaPlayerDocument.h"
#include "platform/appkit/NSOpenPanel.h"
#include "platform/foundation/NeverDestroyed.h"

namespace quillon {

QLDocumentController::QLDocumentController() {
    setDocumentFactory([](const std::string&) -> std::shared_ptr<platform::NSDocument> {
        return std::make_shared<MediaPlayerDocument>();
    });
}

QLDocumentController& QLDocumentController::makeShared() {
    // Never destroyed: its documents hold windows, which must not outlive the application object.
    static platform::NeverDestroyed<QLDocumentController> controller;
    return controller.get();
}

void QLDocumentController::beginOpenPanel(
    std::shared_ptr<platform::NSOpenPanel> panel, std::vector<std::string> extensions,
    std::function<void(platform::NSModalResponse)> completion) {
    if (ql_openPanel_) {
        // One Open panel at a time; the second request is dropped, its completion never runs.
        return;
    }
    ql_openPanel_ = panel;
    std::weak_ptr<bool> alive = alive_;
    NSDocumentController::beginOpenPanel(
        std::move(panel), std::move(extensions),
        [this, alive, completion = std::move(completion)](platform::NSModalResponse response) {
            if (!alive.expired()) {
                ql_openPanel_ = nullptr;
            }
            if (completion) {
                completion(response);
            }
        });
}

void QLDocumentController::cancelOpenPanel() {
    if (auto panel = ql_openPanel_) {
        panel->cancel(nullptr);
    }
}

void QLDocumentController::openDocumentWithContentsOfURL(const platform::URL& url, bool display,
                                                         OpenCompletion completion) {
    cancelOpenPanel();
    NSDocumentController::openDocumentWithContentsOfURL(url, display, std::move(completion));
}

void QLDocumentController::reopenDocumentForURL(const platform::URL& url,
                                                const platform::URL& contentsURL, bool display,
                                                OpenCompletion completion) {
    cancelOpenPanel();
    NSDocumentController::reopenDocumentForURL(url, contentsURL, display, std::move(completion));
}

}  // namespace quillon
