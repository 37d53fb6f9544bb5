#pragma once

#include <iosfwd>
#include <string>

#include <fmt/format.h>

#include "platform/coremedia/CMTime.h"

namespace platform {

// The half-open span [start, start + duration): the start is in the range, the end is not.
// The duration is a duration (epoch 0) and never negative in a valid range.
struct CMTimeRange {
    CMTime start;
    CMTime duration;
};

inline constexpr CMTimeRange kCMTimeRangeZero{kCMTimeZero, kCMTimeZero};
inline constexpr CMTimeRange kCMTimeRangeInvalid{kCMTimeInvalid, kCMTimeInvalid};

// Both times valid, the duration in epoch 0 and not negative (-infinity included).
constexpr bool CMTIMERANGE_IS_VALID(CMTimeRange range) {
    return CMTIME_IS_VALID(range.start) && CMTIME_IS_VALID(range.duration) &&
           range.duration.epoch == 0 && !CMTIME_IS_NEGATIVE_INFINITY(range.duration) &&
           (!CMTIME_IS_NUMERIC(range.duration) || range.duration.value >= 0);
}
constexpr bool CMTIMERANGE_IS_INVALID(CMTimeRange range) {
    return !CMTIMERANGE_IS_VALID(range);
}
constexpr bool CMTIMERANGE_IS_INDEFINITE(CMTimeRange range) {
    return CMTIMERANGE_IS_VALID(range) &&
           (CMTIME_IS_INDEFINITE(range.start) || CMTIME_IS_INDEFINITE(range.duration));
}
constexpr bool CMTIMERANGE_IS_EMPTY(CMTimeRange range) {
    return CMTIMERANGE_IS_VALID(range) && CMTimeCompare(range.duration, kCMTimeZero) == 0;
}

// A duration outside epoch 0 makes no range: the result is then kCMTimeRangeInvalid.
constexpr CMTimeRange CMTimeRangeMake(CMTime start, CMTime duration) {
    return duration.epoch == 0 ? CMTimeRange{start, duration} : kCMTimeRangeInvalid;
}

// The range from start up to (not including) end.
inline CMTimeRange CMTimeRangeFromTimeToTime(CMTime start, CMTime end) {
    return CMTimeRangeMake(start, CMTimeSubtract(end, start));
}

// start + duration; invalid for an invalid range.
inline CMTime CMTimeRangeGetEnd(CMTimeRange range) {
    return CMTIMERANGE_IS_VALID(range) ? CMTimeAdd(range.start, range.duration) : kCMTimeInvalid;
}

// start <= time < end, so an empty range contains no time. False for an invalid range or time.
inline bool CMTimeRangeContainsTime(CMTimeRange range, CMTime time) {
    return CMTIMERANGE_IS_VALID(range) && CMTIME_IS_VALID(time) &&
           CMTimeCompare(time, range.start) >= 0 &&
           CMTimeCompare(time, CMTimeRangeGetEnd(range)) < 0;
}

// Whether otherRange lies within range: it starts no earlier and ends no later. An empty
// otherRange is contained when its start lies in [range.start, end of range].
bool CMTimeRangeContainsTimeRange(CMTimeRange range, CMTimeRange otherRange);

// The largest range both contain. Ranges that do not overlap (including ranges that only touch)
// give kCMTimeRangeZero; an invalid operand gives kCMTimeRangeInvalid.
CMTimeRange CMTimeRangeGetIntersection(CMTimeRange range, CMTimeRange otherRange);

// The smallest range that contains both (the gap between disjoint ranges included); an invalid
// operand gives kCMTimeRangeInvalid.
CMTimeRange CMTimeRangeGetUnion(CMTimeRange range, CMTimeRange otherRange);

// Starts and durations compare equal by CMTimeCompare (so 0/1 + 1/2 equals 0/600 + 300/600).
constexpr bool CMTimeRangeEqual(CMTimeRange range1, CMTimeRange range2) {
    return CMTimeCompare(range1.start, range2.start) == 0 &&
           CMTimeCompare(range1.duration, range2.duration) == 0;
}
constexpr bool operator==(CMTimeRange lhs, CMTimeRange rhs) {
    return CMTimeRangeEqual(lhs, rhs);
}

// For logs: "{{0/1 = 0.000}, {1/1 = 1.000}}" (start, then duration).
std::string CMTimeRangeCopyDescription(CMTimeRange range);

void PrintTo(const CMTimeRange& range, std::ostream* stream);

}  // namespace platform

template <>
struct fmt::formatter<platform::CMTimeRange> : fmt::formatter<fmt::string_view> {
    auto format(const platform::CMTimeRange& range, fmt::format_context& context) const
        -> decltype(context.out()) {
        fmt::memory_buffer buffer;
        buffer.push_back('{');
        platform::detail::appendDescription(buffer, range.start);
        buffer.append(fmt::string_view(", "));
        platform::detail::appendDescription(buffer, range.duration);
        buffer.push_back('}');
        return fmt::formatter<fmt::string_view>::format(
            fmt::string_view(buffer.data(), buffer.size()), context);
    }
};
