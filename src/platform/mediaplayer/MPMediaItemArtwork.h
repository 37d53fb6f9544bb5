#pragma once

#include <functional>

#include <QImage>

#include "platform/graphics/CGGeometry.h"

namespace platform {

// A picture for the Now Playing information, drawn on demand: whoever shows it asks for a size
// and the handler answers with an image (which may ignore the size). Immutable; any thread.
class MPMediaItemArtwork {
public:
    using RequestHandler = std::function<QImage(CGSize)>;

    MPMediaItemArtwork(CGSize boundsSize, RequestHandler requestHandler);

    CGSize bounds() const { return boundsSize_; }
    // The handler's image for `size`; a null image when there is no handler.
    QImage imageWithSize(CGSize size) const;

private:
    CGSize boundsSize_;
    RequestHandler requestHandler_;
};

}  // namespace platform
