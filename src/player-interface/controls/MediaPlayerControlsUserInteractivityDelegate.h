#pragma once

namespace quillon {

// Told when the user starts and stops working the controls (scrubbing, the route picker open),
// so that floating controls stay up meanwhile. Main thread only.
class MediaPlayerControlsUserInteractivityDelegate {
public:
    virtual ~MediaPlayerControlsUserInteractivityDelegate() = default;
    virtual void userInteractionDidBegin() = 0;
    virtual void userInteractionDidEnd() = 0;
};

}  // namespace quillon
