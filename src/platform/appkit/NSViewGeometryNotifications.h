#pragma once

class QWidget;

namespace platform {

// Posted on the main thread with the view (as a QWidget pointer) as object when its frame (position
// in the parent or size) changes, or when its bounds change without its frame. Qt gives a view no
// bounds of its own, so the bounds notification comes only from code that posts it.
inline constexpr const char* NSViewFrameDidChangeNotification = "NSViewFrameDidChangeNotification";
inline constexpr const char* NSViewBoundsDidChangeNotification =
    "NSViewBoundsDidChangeNotification";

// Makes `view` post NSViewFrameDidChangeNotification to the default centre on every move and
// resize, for as long as it lives. Calling it again changes nothing.
void setPostsFrameChangedNotifications(QWidget* view);

}  // namespace platform
