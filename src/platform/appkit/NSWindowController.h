#pragma once

#include <QObject>
#include <memory>

#include "platform/appkit/NSWindow.h"

namespace platform {

// Owns a window and shows it on request. Main thread only.
class NSWindowController {
public:
    explicit NSWindowController(std::shared_ptr<NSWindow> window);
    virtual ~NSWindowController();
    NSWindowController(const NSWindowController&) = delete;
    NSWindowController& operator=(const NSWindowController&) = delete;

    NSWindow* window() const { return window_.get(); }

    // Brings the window to the front, on screen, with the keyboard.
    virtual void showWindow(QObject* sender = nullptr);

private:
    std::shared_ptr<NSWindow> window_;
};

}  // namespace platform
