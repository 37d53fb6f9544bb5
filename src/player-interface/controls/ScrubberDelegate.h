#pragma once

namespace quillon {

// Told when the user starts and stops moving a scrubber (a drag, or a scroll gesture and then
// its momentum), so that playback can pause for the length of the gesture.
class ScrubberDelegate {
public:
    virtual ~ScrubberDelegate() = default;
    virtual void scrubberDidBeginTracking() = 0;
    virtual void scrubberDidEndTracking() = 0;
};

}  // namespace quillon
