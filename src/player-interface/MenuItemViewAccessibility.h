#pragma once

namespace quillon {

// Lets assistive technology reach a menu item that shows a view of its own (a QWidgetAction's
// widget, such as the playback-rate slider of the Controls menu). Qt reads such an item as an
// empty, unnamed menu item and leaves the view out of the menu's tree; with this the item takes
// its view's name and holds the view as its one child, whose parent it is. Idempotent.
void installMenuItemViewAccessibility();

}  // namespace quillon
