#pragma once

#include <QKeyEvent>
#include <cmath>

#include "platform/appkit/NSWindow.h"
#include "platform/graphics/CGGeometry.h"

namespace quillon {

// The window of one player: a plain window that also toggles full screen on Ctrl+F, plays or
// pauses on Space when no focused control takes the key, and, on
// systems whose window server asks the window to validate a live resize, keeps the content's
// aspect ratio while the user drags. Main thread only.
class MediaPlayerWindow : public platform::NSWindow {
public:
    MediaPlayerWindow(const platform::CGRect& contentRect, platform::NSWindowStyleMask styleMask);

    // Ctrl+F, with no other modifier, toggles full screen and is taken; any other key is left
    // to the base class (false).
    bool performKeyEquivalent(const QKeyEvent& event);

    // The frame size a live resize to `size` should end at: on systems that validate live
    // resizes (those before 11), a window that is not the main window keeps its content
    // aspect ratio with an integral content height; otherwise `size` as proposed.
    platform::CGSize validSize(platform::CGSize size, bool forFullScreen, bool force) const;

    // The aspect-ratio-keeping frame size for a proposed frame size: the proposed content width
    // with the height that `ratio` gives it, rounded to the nearest point (halves away from
    // zero). `ratio` must have two non-zero components.
    template <typename ContentRectForFrameRect, typename FrameRectForContentRect>
    static platform::CGSize aspectRatioKeepingFrameSize(
        platform::CGSize proposed, platform::CGSize ratio,
        ContentRectForFrameRect&& contentRectForFrameRect,
        FrameRectForContentRect&& frameRectForContentRect);

    // Whether the title bar lets the content show through (the audio player's look). The window
    // system draws the title bar here, so this is the window's wish rather than its look.
    bool titlebarAppearsTransparent() const { return titlebarAppearsTransparent_; }
    void setTitlebarAppearsTransparent(bool value) { titlebarAppearsTransparent_ = value; }

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool titlebarAppearsTransparent_ = false;
};

template <typename ContentRectForFrameRect, typename FrameRectForContentRect>
platform::CGSize MediaPlayerWindow::aspectRatioKeepingFrameSize(
    platform::CGSize proposed, platform::CGSize ratio,
    ContentRectForFrameRect&& contentRectForFrameRect,
    FrameRectForContentRect&& frameRectForContentRect) {
    const platform::CGRect content =
        contentRectForFrameRect(platform::CGRect{{0, 0}, {proposed.width, proposed.height}});
    const double contentWidth = content.size.width;
    const double contentHeight = std::round(contentWidth * ratio.height / ratio.width);
    return frameRectForContentRect(platform::CGRect{{0, 0}, {contentWidth, contentHeight}}).size;
}

}  // namespace quillon
