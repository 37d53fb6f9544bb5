#pragma once

namespace calyxware {

// Posted on the default notification centre without user info; offered to clients.
// Object: the layout manager that has just laid out its whole text.
inline constexpr const char* EagerLayoutManagerDidCompleteLayoutNotification =
    "org.Calyxware.EagerLayoutManager.didCompleteLayout";
// Object: the text storage; posted when an edit starts at depth 0.
inline constexpr const char* EagerTextStorageWillChangeNotification =
    "org.Calyxware.EagerTextStorage.willChange";
// Object: the text storage; posted after the layout that follows the outermost edit.
inline constexpr const char* EagerTextStorageDidChangeNotification =
    "org.Calyxware.EagerTextStorage.didChange";

}  // namespace calyxware
