#pragma once

#include <memory>
#include <string>

#include "platform/appkit/NSWindowController.h"
#include "player-interface/window/MediaPlayerDocumentProgressWindowControllerDelegate.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace platform {
class NSImage;
}

namespace quillon {

// The small window shown while a file opens: the file's icon, a status text, an indeterminate
// progress bar and a Cancel button that tells the delegate. The window is made on first use.
// Main thread only.
class MediaPlayerDocumentProgressWindowController : public platform::NSWindowController {
public:
    MediaPlayerDocumentProgressWindowController(
        std::shared_ptr<platform::NSImage> documentIconImage, std::string statusText,
        std::weak_ptr<MediaPlayerDocumentProgressWindowControllerDelegate> delegate);
    ~MediaPlayerDocumentProgressWindowController() override;

    const std::shared_ptr<platform::NSImage>& documentIconImage() const {
        return documentIconImage_;
    }
    const std::string& statusText() const { return statusText_; }

    // The Cancel button's action.
    void didClickCancelButton();

    // The window's parts, for tests and accessibility; null until the window is loaded.
    QLabel* documentIconImageView() const { return documentIconImageView_; }
    QLabel* statusTextField() const { return statusTextField_; }
    QProgressBar* progressIndicator() const { return progressIndicator_; }
    QPushButton* cancelButton() const { return cancelButton_; }

protected:
    std::shared_ptr<platform::NSWindow> makeManagedWindow() override;
    void windowDidLoad() override;

private:
    std::shared_ptr<platform::NSImage> documentIconImage_;
    std::string statusText_;
    std::weak_ptr<MediaPlayerDocumentProgressWindowControllerDelegate> delegate_;
    QLabel* documentIconImageView_ = nullptr;
    QLabel* statusTextField_ = nullptr;
    QProgressBar* progressIndicator_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
};

}  // namespace quillon
