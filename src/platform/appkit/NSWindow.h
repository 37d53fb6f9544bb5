#pragma once

#include <QMainWindow>
#include <memory>
#include <string>

#include "platform/graphics/CGGeometry.h"

namespace platform {

class NSToolbar;
class NSViewController;

enum NSWindowStyleMask : unsigned {
    NSWindowStyleMaskBorderless = 0,
    NSWindowStyleMaskTitled = 1 << 0,
    NSWindowStyleMaskClosable = 1 << 1,
    NSWindowStyleMaskMiniaturizable = 1 << 2,
    NSWindowStyleMaskResizable = 1 << 3,
};

constexpr NSWindowStyleMask operator|(NSWindowStyleMask a, NSWindowStyleMask b) {
    return static_cast<NSWindowStyleMask>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}

// A top-level window: an optional toolbar above the content view, which is the view of the
// content view controller. Rectangles are in Qt's coordinates (origin at the top left, y
// downwards); the frame is the window's area without the window system's decorations, the
// content rectangle the area below the toolbar.
//
// A window that is not resizable takes the size its content asks for (its layout's size hint)
// and follows it when the content changes, as constraints would size it. The window owns
// neither its toolbar nor its content view controller: it gives their widgets back when it
// goes. Main thread only.
class NSWindow : public QMainWindow {
public:
    NSWindow(const CGRect& contentRect, NSWindowStyleMask styleMask);
    ~NSWindow() override;

    NSWindowStyleMask styleMask() const { return styleMask_; }

    std::string identifier() const;
    void setIdentifier(const std::string& identifier);

    std::string title() const;
    void setTitle(const std::string& title);

    NSToolbar* toolbar() const { return toolbar_.get(); }
    void setToolbar(std::shared_ptr<NSToolbar> toolbar);

    NSViewController* contentViewController() const { return contentViewController_.get(); }
    // Loads the controller's view and makes it the content view.
    void setContentViewController(std::shared_ptr<NSViewController> controller);
    QWidget* contentView() const { return centralWidget(); }

    CGRect frame() const;
    // The frame that a content rectangle of this size needs: the toolbar's height added above.
    CGRect frameRectForContentRect(const CGRect& contentRect) const;
    // How long an animated change to `newFrame` takes: 0.2 seconds for every 150 points that an
    // edge moves.
    double animationResizeTime(const CGRect& newFrame) const;

    void makeKeyAndOrderFront();
    // Moves the window to the middle of its screen's free area.
    void center();
    // Gives `responder` the keyboard focus; null leaves it with no control.
    void makeFirstResponder(QWidget* responder);
    // Runs the pending layout passes now, resizing the window if its content asks for it.
    void layoutIfNeeded();

protected:
    // No menu to hide the toolbar.
    QMenu* createPopupMenu() override { return nullptr; }

private:
    NSWindowStyleMask styleMask_;
    std::shared_ptr<NSToolbar> toolbar_;
    std::shared_ptr<NSViewController> contentViewController_;
};

// The window that shows `view`, if that is an NSWindow.
NSWindow* windowOfView(const QWidget* view);

}  // namespace platform
