#pragma once

namespace quillon {

// Makes the application's menus readable by assistive technology where Qt's own reading fails
// them. Idempotent.
// - A menu item that shows a view of its own (a QWidgetAction's widget, such as the
//   playback-rate slider of the Controls menu) reads in Qt as an empty, unnamed item and leaves
//   the view out of the tree; it now takes its view's name and holds the view as its one child.
// - A menu shared by the menu bars of several windows has one accessible item for all of them,
//   which Qt ties to the first bar that was read: once that window closed, the menu could no
//   longer be reached from any other. The item now belongs to the bar of the active window, or
//   else of a shown one.
void installMenuAccessibility();

}  // namespace quillon
