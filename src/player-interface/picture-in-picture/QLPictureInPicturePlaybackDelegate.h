#pragma once

namespace quillon {

class QLPictureInPictureController;

// Plays and pauses the media shown in Picture in Picture and tells whether it is paused.
class QLPictureInPicturePlaybackDelegate {
public:
    virtual ~QLPictureInPicturePlaybackDelegate() = default;
    virtual void pictureInPictureControllerSetPlaying(QLPictureInPictureController& controller,
                                                      bool playing) = 0;
    virtual bool pictureInPictureControllerIsPlaybackPaused(
        QLPictureInPictureController& controller) = 0;
};

}  // namespace quillon
