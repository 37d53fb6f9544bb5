#pragma once

#include "platform/foundation/Error.h"

namespace quillon {

class QLPictureInPictureController;

// Hears of Picture in Picture starting and stopping. Every method is optional.
class QLPictureInPictureControllerDelegate {
public:
    virtual ~QLPictureInPictureControllerDelegate() = default;
    virtual void pictureInPictureControllerWillStartPictureInPicture(
        QLPictureInPictureController& /*controller*/) {}
    virtual void pictureInPictureControllerFailedToStartPictureInPicture(
        QLPictureInPictureController& /*controller*/, const platform::NSError& /*error*/) {}
    virtual void pictureInPictureControllerWillStopPictureInPicture(
        QLPictureInPictureController& /*controller*/) {}
    virtual void pictureInPictureControllerDidStopPictureInPicture(
        QLPictureInPictureController& /*controller*/) {}
};

}  // namespace quillon
