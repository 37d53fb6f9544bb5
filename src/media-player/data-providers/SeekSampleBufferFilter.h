#pragma once

#include "platform/coremedia/CMSampleBuffer.h"
#include "platform/coremedia/CMTime.h"

namespace quillon {

// Whether a buffer decoded while seeking to `target` belongs on screen or in the speakers: the
// one that covers the target (the half-open interval from its presentation time to its end) and
// every later one. A buffer ending at or before the target is stale. Without a valid end (an
// unknown duration) only a buffer that starts after the target counts, and a negative duration
// never lets a buffer cover the target; a buffer without a presentation time is never taken.
bool seekSampleBufferFilterAccepts(const platform::CMSampleBufferRef& sampleBuffer,
                                   platform::CMTime target);

}  // namespace quillon
