#include "platform/coremedia/CMTimeRange.h"

#include <ostream>

namespace platform {

bool CMTimeRangeContainsTimeRange(CMTimeRange range, CMTimeRange otherRange) {
    return CMTIMERANGE_IS_VALID(range) && CMTIMERANGE_IS_VALID(otherRange) &&
           CMTimeCompare(otherRange.start, range.start) >= 0 &&
           CMTimeCompare(CMTimeRangeGetEnd(otherRange), CMTimeRangeGetEnd(range)) <= 0;
}

CMTimeRange CMTimeRangeGetIntersection(CMTimeRange range, CMTimeRange otherRange) {
    if (!CMTIMERANGE_IS_VALID(range) || !CMTIMERANGE_IS_VALID(otherRange)) {
        return kCMTimeRangeInvalid;
    }
    const CMTime start = CMTimeMaximum(range.start, otherRange.start);
    const CMTime end = CMTimeMinimum(CMTimeRangeGetEnd(range), CMTimeRangeGetEnd(otherRange));
    if (CMTimeCompare(end, start) <= 0) {
        return kCMTimeRangeZero;
    }
    return CMTimeRangeFromTimeToTime(start, end);
}

CMTimeRange CMTimeRangeGetUnion(CMTimeRange range, CMTimeRange otherRange) {
    if (!CMTIMERANGE_IS_VALID(range) || !CMTIMERANGE_IS_VALID(otherRange)) {
        return kCMTimeRangeInvalid;
    }
    return CMTimeRangeFromTimeToTime(
        CMTimeMinimum(range.start, otherRange.start),
        CMTimeMaximum(CMTimeRangeGetEnd(range), CMTimeRangeGetEnd(otherRange)));
}

std::string CMTimeRangeCopyDescription(CMTimeRange range) {
    return fmt::format("{}", range);
}

void PrintTo(const CMTimeRange& range, std::ostream* stream) {
    *stream << CMTimeRangeCopyDescription(range);
}

}  // namespace platform
