#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/video-output/AVVideoSink.h"

namespace quillon::bench {

// The off-screen video sink of the benchmark: shows nothing, and notes for every picture change
// which frame was shown and when on the host clock. The frame is told by its presentation time
// and, independently, by the frame number that the clip carries in its picture (see
// readFrameCode), so that a picture shown under the wrong time would be caught.
//
// Unlike AVVideoRecordingSink it keeps no frame: holding all of a minute's frames would pin the
// decoder's pooled pixel buffers and change how the pipeline runs.
class FrameCodeSink final : public platform::AVVideoSink {
public:
    struct Entry {
        // Seconds; NaN for a removed picture or a frame without a time.
        double presentationTime = 0;
        // The frame number read from the picture; -1 when it could not be read.
        std::int64_t code = -1;
        std::int64_t hostNanoseconds = 0;
    };

    FrameCodeSink();

    void displayFrame(const platform::CMSampleBufferRef& frame, platform::CMTime time,
                      platform::CMTime hostTime) override;

    std::vector<Entry> entries() const;

private:
    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
};

// The frame number of a picture of the benchmark's clip: the bottom 32 rows hold one bit per
// 48-pixel block, least significant on the left, white for 1 and black for 0. -1 for a picture
// whose luma cannot be read.
std::int64_t readFrameCode(const platform::CMSampleBufferRef& frame);

}  // namespace quillon::bench
