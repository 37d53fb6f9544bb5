#pragma once

namespace platform {

// The mouse pointer of the application's windows. Main thread only.
class NSCursor {
public:
    // True hides the pointer over the application's windows until the mouse next moves to
    // another position; false shows it again at once. Hiding twice needs one movement.
    static void setHiddenUntilMouseMoves(bool flag);
    static bool isHiddenUntilMouseMoves();
};

}  // namespace platform
