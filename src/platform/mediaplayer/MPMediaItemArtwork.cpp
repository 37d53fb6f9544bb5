#include "platform/mediaplayer/MPMediaItemArtwork.h"

#include <utility>

namespace platform {

MPMediaItemArtwork::MPMediaItemArtwork(CGSize boundsSize, RequestHandler requestHandler)
    : boundsSize_(boundsSize), requestHandler_(std::move(requestHandler)) {}

QImage MPMediaItemArtwork::imageWithSize(CGSize size) const {
    return requestHandler_ ? requestHandler_(size) : QImage();
}

}  // namespace platform
