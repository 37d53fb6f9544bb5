#pragma once

namespace quillon {

class MediaPlayerDocumentProgressWindowController;

// Told when the user gives up waiting for a file to open.
class MediaPlayerDocumentProgressWindowControllerDelegate {
public:
    virtual ~MediaPlayerDocumentProgressWindowControllerDelegate() = default;
    virtual void mediaPlayerDocumentProgressWindowControllerDidCancel(
        MediaPlayerDocumentProgressWindowController& controller) = 0;
};

}  // namespace quillon
