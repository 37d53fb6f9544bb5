#pragma once

#include <mutex>
#include <vector>

#include "platform/video-output/AVVideoSink.h"

namespace platform {

// A sink that shows nothing and remembers every picture change (tests): which frame, with its
// presentation time, was shown at which time of the layer and of the host clock.
class AVVideoRecordingSink final : public AVVideoSink {
public:
    struct Entry {
        // Null when the picture was removed.
        CMSampleBufferRef frame;
        CMTime presentationTime = kCMTimeInvalid;
        CMTime time = kCMTimeInvalid;
        CMTime hostTime = kCMTimeInvalid;
    };

    void displayFrame(const CMSampleBufferRef& frame, CMTime time, CMTime hostTime) override;
    void geometryDidChange(const AVVideoLayerGeometry& geometry) override;

    std::vector<Entry> entries() const;
    // The presentation times of the frames shown, in order (invalid for a removal).
    std::vector<CMTime> shownPresentationTimes() const;
    AVVideoLayerGeometry geometry() const;
    void clear();

private:
    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
    AVVideoLayerGeometry geometry_;
};

}  // namespace platform
