#pragma once

#include <memory>

#include "platform/appkit/NSDocumentController.h"

namespace quillon {

// The application's document controller: it makes MediaPlayerDocuments for the media types,
// shows at most one Open panel at a time, and dismisses that panel when a file is opened by any
// other route (a file handed to the program, window restoration). Main thread only.
class QLDocumentController : public platform::NSDocumentController {
public:
    QLDocumentController();

    // The application's shared controller, made on first use (the first controller made becomes
    // the shared one).
    static QLDocumentController& makeShared();

    const std::shared_ptr<platform::NSOpenPanel>& openPanel() const { return ql_openPanel_; }

    void beginOpenPanel(std::shared_ptr<platform::NSOpenPanel> panel,
                        std::vector<std::string> extensions,
                        std::function<void(platform::NSModalResponse)> completion) override;
    void openDocumentWithContentsOfURL(const platform::URL& url, bool display,
                                       OpenCompletion completion) override;
    void reopenDocumentForURL(const platform::URL& url, const platform::URL& contentsURL,
                              bool display, OpenCompletion completion) override;

private:
    void cancelOpenPanel();

    std::shared_ptr<platform::NSOpenPanel> ql_openPanel_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace quillon
