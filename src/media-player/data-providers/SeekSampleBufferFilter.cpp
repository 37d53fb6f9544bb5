#include "media-player/data-providers/SeekSampleBufferFilter.h"

namespace quillon {

bool seekSampleBufferFilterAccepts(const platform::CMSampleBufferRef& sampleBuffer,
                                   platform::CMTime target) {
    using namespace platform;
    const CMTime presentationTime = CMSampleBufferGetPresentationTimeStamp(sampleBuffer);
    const CMTime end = CMTimeAdd(presentationTime, CMSampleBufferGetDuration(sampleBuffer));
    if (CMTIME_IS_VALID(end) && CMTimeCompare(presentationTime, target) <= 0 &&
        CMTimeCompare(target, end) < 0) {
        return true;
    }
    return CMTIME_IS_VALID(presentationTime) && CMTimeCompare(presentationTime, target) > 0;
}

}  // namespace quillon
