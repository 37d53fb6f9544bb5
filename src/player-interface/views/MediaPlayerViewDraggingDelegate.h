#pragma once

#include "platform/foundation/URL.h"

namespace quillon {

// What a player window's content view needs of the view controller to take a dropped subtitle
// file: whether a subtitle file is loading already, and a way to load one.
class MediaPlayerViewDraggingDelegate {
public:
    virtual ~MediaPlayerViewDraggingDelegate() = default;

    virtual bool isLoadingExternalSubtitles() const = 0;
    virtual void loadExternalSubtitles(const platform::URL& url) = 0;
};

}  // namespace quillon
