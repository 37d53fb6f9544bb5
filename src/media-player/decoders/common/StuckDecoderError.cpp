#include "media-player/decoders/common/StuckDecoderError.h"

namespace quillon {

std::shared_ptr<const platform::Error> StuckDecoderError::clone() const {
    return std::make_shared<StuckDecoderError>(*this);
}

std::string StuckDecoderError::debugDescription() const {
    return "Unable to start decoding packet even though there are no more sample buffers to "
           "dequeue.";
}

}  // namespace quillon
