#pragma once

#include "platform/coremedia/CMTime.h"

namespace platform {

// When a sample is decoded and shown, and for how long. A sample buffer holding a run of
// samples of equal duration (linear PCM) may describe them all with one entry: sample i then
// starts at presentationTimeStamp + i × duration.
struct CMSampleTimingInfo {
    CMTime duration = kCMTimeInvalid;
    CMTime presentationTimeStamp = kCMTimeInvalid;
    CMTime decodeTimeStamp = kCMTimeInvalid;

    friend bool operator==(const CMSampleTimingInfo&, const CMSampleTimingInfo&) = default;
};

inline constexpr CMSampleTimingInfo kCMTimingInfoInvalid{kCMTimeInvalid, kCMTimeInvalid,
                                                         kCMTimeInvalid};

}  // namespace platform
