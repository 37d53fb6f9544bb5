#pragma once

#include <memory>

#include "platform/avfoundation/AVSampleBufferDisplayLayer.h"

namespace quillon {

// The player's display layer. Before each frame is queued it copies a BT.2020 YCbCr matrix onto
// the frame's surface, which the compositor would otherwise not know; every other frame, and
// every frame the copy fails for, is queued as it is.
class QLSampleBufferDisplayLayer : public platform::AVSampleBufferDisplayLayer {
public:
    using platform::AVSampleBufferDisplayLayer::AVSampleBufferDisplayLayer;

    void enqueueSampleBuffer(const platform::CMSampleBufferRef& sampleBuffer) override;
};

}  // namespace quillon
