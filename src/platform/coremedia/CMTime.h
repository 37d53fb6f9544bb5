#pragma once

#include <compare>
#include <cstdint>
#include <iosfwd>
#include <limits>
#include <string>

#include <fmt/format.h>

#include "platform/coremedia/CMTimeRoundingMethod.h"

namespace platform {

using CMTimeValue = int64_t;
using CMTimeScale = int32_t;
using CMTimeEpoch = int64_t;
using CMTimeFlags = uint32_t;

inline constexpr CMTimeFlags kCMTimeFlags_Valid = 1u << 0;
inline constexpr CMTimeFlags kCMTimeFlags_HasBeenRounded = 1u << 1;
inline constexpr CMTimeFlags kCMTimeFlags_PositiveInfinity = 1u << 2;
inline constexpr CMTimeFlags kCMTimeFlags_NegativeInfinity = 1u << 3;
inline constexpr CMTimeFlags kCMTimeFlags_Indefinite = 1u << 4;
inline constexpr CMTimeFlags kCMTimeFlags_ImpliedValueFlagsMask =
    kCMTimeFlags_PositiveInfinity | kCMTimeFlags_NegativeInfinity | kCMTimeFlags_Indefinite;

inline constexpr CMTimeScale kCMTimeMaxTimescale = 0x7fffffff;

// A media time as the exact rational value / timescale seconds. The epoch tells apart equal
// timestamps from different passes of a loop or different items of a sequence: a time in a
// larger epoch comes after every time in a smaller one, and epoch 0 marks a duration, which can
// be added to a time of any epoch.
//
// Non-numeric times (invalid, ±infinity, indefinite) are told by their flags alone; their
// other fields mean nothing, so test them with the CMTIME_IS_* functions, never with ==
// against the constants' fields. A default-constructed CMTime is invalid.
struct CMTime {
    CMTimeValue value = 0;
    CMTimeScale timescale = 0;
    CMTimeFlags flags = 0;
    CMTimeEpoch epoch = 0;
};

inline constexpr CMTime kCMTimeInvalid{0, 0, 0, 0};
inline constexpr CMTime kCMTimeIndefinite{0, 0, kCMTimeFlags_Valid | kCMTimeFlags_Indefinite, 0};
inline constexpr CMTime kCMTimePositiveInfinity{
    0, 0, kCMTimeFlags_Valid | kCMTimeFlags_PositiveInfinity, 0};
inline constexpr CMTime kCMTimeNegativeInfinity{
    0, 0, kCMTimeFlags_Valid | kCMTimeFlags_NegativeInfinity, 0};
inline constexpr CMTime kCMTimeZero{0, 1, kCMTimeFlags_Valid, 0};

constexpr bool CMTIME_IS_VALID(CMTime time) {
    return (time.flags & kCMTimeFlags_Valid) != 0;
}
constexpr bool CMTIME_IS_INVALID(CMTime time) {
    return !CMTIME_IS_VALID(time);
}
constexpr bool CMTIME_IS_POSITIVE_INFINITY(CMTime time) {
    return CMTIME_IS_VALID(time) && (time.flags & kCMTimeFlags_PositiveInfinity) != 0;
}
constexpr bool CMTIME_IS_NEGATIVE_INFINITY(CMTime time) {
    return CMTIME_IS_VALID(time) && (time.flags & kCMTimeFlags_NegativeInfinity) != 0;
}
constexpr bool CMTIME_IS_INDEFINITE(CMTime time) {
    return CMTIME_IS_VALID(time) && (time.flags & kCMTimeFlags_Indefinite) != 0;
}
constexpr bool CMTIME_IS_NUMERIC(CMTime time) {
    return (time.flags & (kCMTimeFlags_Valid | kCMTimeFlags_ImpliedValueFlagsMask)) ==
           kCMTimeFlags_Valid;
}
constexpr bool CMTIME_HAS_BEEN_ROUNDED(CMTime time) {
    return CMTIME_IS_NUMERIC(time) && (time.flags & kCMTimeFlags_HasBeenRounded) != 0;
}

// A non-positive timescale cannot make a time, so the result is invalid.
constexpr CMTime CMTimeMake(CMTimeValue value, CMTimeScale timescale) {
    return timescale > 0 ? CMTime{value, timescale, kCMTimeFlags_Valid, 0} : kCMTimeInvalid;
}
constexpr CMTime CMTimeMakeWithEpoch(CMTimeValue value, CMTimeScale timescale, CMTimeEpoch epoch) {
    return timescale > 0 ? CMTime{value, timescale, kCMTimeFlags_Valid, epoch} : kCMTimeInvalid;
}

// The nearest time to `seconds` in preferredTimescale (rounding half away from zero). When the
// value would overflow, the timescale is halved until it fits; if it still overflows at
// timescale 1 the result is ±infinity. NaN or a non-positive timescale give invalid, ±inf give
// ±infinity. HasBeenRounded is set when the result does not convert back to exactly `seconds`.
CMTime CMTimeMakeWithSeconds(double seconds, CMTimeScale preferredTimescale);

namespace detail {

__extension__ typedef __int128 Int128;

// The total order of CMTimeCompare, by kind.
enum class CMTimeKind { NegativeInfinity, Numeric, Indefinite, PositiveInfinity, Invalid };

// A numeric time with a non-positive timescale (only made by filling the fields by hand) has no
// value; it is treated as invalid rather than divided by.
constexpr CMTimeKind kindOf(CMTime time) {
    if (!CMTIME_IS_VALID(time)) {
        return CMTimeKind::Invalid;
    }
    if ((time.flags & kCMTimeFlags_PositiveInfinity) != 0) {
        return CMTimeKind::PositiveInfinity;
    }
    if ((time.flags & kCMTimeFlags_NegativeInfinity) != 0) {
        return CMTimeKind::NegativeInfinity;
    }
    if ((time.flags & kCMTimeFlags_Indefinite) != 0) {
        return CMTimeKind::Indefinite;
    }
    return time.timescale > 0 ? CMTimeKind::Numeric : CMTimeKind::Invalid;
}

template <typename T>
constexpr int32_t threeWay(T a, T b) {
    return (a > b) - (a < b);
}

CMTime addSlow(CMTime lhs, CMTime rhs);
CMTime subtractSlow(CMTime lhs, CMTime rhs);

}  // namespace detail

// Seconds as a double (the epoch is ignored): NaN for invalid and indefinite, ±infinity for the
// infinities.
constexpr double CMTimeGetSeconds(CMTime time) {
    switch (detail::kindOf(time)) {
        case detail::CMTimeKind::Numeric:
            return static_cast<double>(time.value) / static_cast<double>(time.timescale);
        case detail::CMTimeKind::PositiveInfinity:
            return std::numeric_limits<double>::infinity();
        case detail::CMTimeKind::NegativeInfinity:
            return -std::numeric_limits<double>::infinity();
        case detail::CMTimeKind::Indefinite:
        case detail::CMTimeKind::Invalid:
            break;
    }
    return std::numeric_limits<double>::quiet_NaN();
}

// -1, 0 or 1. Every pair of times is ordered, so that sorting never fails on odd values:
//     -infinity < every numeric time < indefinite < +infinity < invalid
// and times of one kind other than numeric are equal to each other. Numeric times in different
// epochs order by epoch first; within an epoch they compare by exact rational value, so 1/3 and
// 333333333/1000000000 differ and 1/30 equals 1000/30000.
constexpr int32_t CMTimeCompare(CMTime time1, CMTime time2) {
    const auto kind1 = detail::kindOf(time1);
    const auto kind2 = detail::kindOf(time2);
    if (kind1 != kind2) {
        return kind1 < kind2 ? -1 : 1;
    }
    if (kind1 != detail::CMTimeKind::Numeric) {
        return 0;
    }
    if (time1.epoch != time2.epoch) {
        return detail::threeWay(time1.epoch, time2.epoch);
    }
    if (time1.timescale == time2.timescale) {
        return detail::threeWay(time1.value, time2.value);
    }
    // Both cross products fit: |value| < 2^63 and timescale < 2^31.
    return detail::threeWay(detail::Int128(time1.value) * time2.timescale,
                            detail::Int128(time2.value) * time1.timescale);
}

// The sum. Same timescale: that timescale; otherwise the least common multiple of the two, or
// kCMTimeMaxTimescale (with default rounding) when the multiple is larger. If the value
// overflows, the timescale is halved until it fits, rounding by default; at timescale 1 an
// overflow gives ±infinity. HasBeenRounded is set when rounding happened or either operand had
// it.
// Non-numeric operands: invalid gives invalid; one infinity gives that infinity; +inf + -inf is
// invalid; otherwise indefinite gives indefinite.
// Epochs: a time plus a duration (epoch 0) keeps the time's epoch; two times in different
// non-zero epochs cannot be added (invalid), since an epoch's length is unknown.
inline CMTime CMTimeAdd(CMTime lhs, CMTime rhs) {
    // The playback path adds durations to times of the same timescale: no 128-bit work there.
    if (lhs.timescale == rhs.timescale && lhs.timescale > 0 && rhs.epoch == 0 &&
        CMTIME_IS_NUMERIC(lhs) && CMTIME_IS_NUMERIC(rhs)) {
        CMTimeValue sum = 0;
        if (!__builtin_add_overflow(lhs.value, rhs.value, &sum)) {
            return {sum, lhs.timescale, lhs.flags | rhs.flags, lhs.epoch};
        }
    }
    return detail::addSlow(lhs, rhs);
}

// The difference, with the timescale rules of CMTimeAdd. Non-numeric operands: invalid gives
// invalid; +inf - +inf and -inf - -inf are invalid; +inf - -inf is +inf, -inf - +inf is -inf;
// one infinity on the left keeps its sign, on the right flips it; otherwise indefinite gives
// indefinite.
// Epochs: two times of the same epoch give a duration (epoch 0); a time minus a duration keeps
// the time's epoch; any other mix of epochs is invalid.
inline CMTime CMTimeSubtract(CMTime lhs, CMTime rhs) {
    if (lhs.timescale == rhs.timescale && lhs.timescale > 0 && rhs.epoch == 0 &&
        CMTIME_IS_NUMERIC(lhs) && CMTIME_IS_NUMERIC(rhs)) {
        CMTimeValue difference = 0;
        if (!__builtin_sub_overflow(lhs.value, rhs.value, &difference)) {
            return {difference, lhs.timescale, lhs.flags | rhs.flags, lhs.epoch};
        }
    }
    return detail::subtractSlow(lhs, rhs);
}

// time × multiplier in time's timescale (halved on overflow as CMTimeAdd does). Infinities keep
// an infinity whose sign follows the multiplier's (zero counts as positive); indefinite stays
// indefinite; invalid stays invalid. The epoch is kept.
CMTime CMTimeMultiply(CMTime time, int32_t multiplier);

// time × multiplier, rounded by default in time's timescale (halved on overflow). A NaN
// multiplier, or 0 × an infinite multiplier, gives invalid; an infinite product gives ±infinity.
CMTime CMTimeMultiplyByFloat64(CMTime time, double multiplier);

// time × multiplier / divisor, exact when the reduced result fits a timescale and value;
// otherwise in the largest timescale that holds it (up to kCMTimeMaxTimescale), rounded by
// default. A zero divisor gives invalid when the time or multiplier is zero too, and otherwise
// ±infinity by the signs of the others. Invalid, infinite and indefinite times stay so.
CMTime CMTimeMultiplyByRatio(CMTime time, int32_t multiplier, int32_t divisor);

// time in newTimescale, rounded by `method`; HasBeenRounded is set when the value had to be
// rounded. Non-numeric times come back unchanged; a non-positive timescale gives invalid; a
// value that the new timescale cannot hold gives ±infinity. The epoch is kept.
CMTime CMTimeConvertScale(CMTime time, CMTimeScale newTimescale,
                          CMTimeRoundingMethod method = kCMTimeRoundingMethod_Default);

// -infinity becomes +infinity; other non-numeric times are unchanged. The most negative value
// is halved into a smaller timescale (as CMTimeAdd would) since its negation does not fit.
CMTime CMTimeAbsoluteValue(CMTime time);

// The lesser / greater by CMTimeCompare; time1 when they compare equal. Note that by that order
// the minimum of an invalid and a numeric time is the numeric one.
constexpr CMTime CMTimeMinimum(CMTime time1, CMTime time2) {
    return CMTimeCompare(time2, time1) < 0 ? time2 : time1;
}
constexpr CMTime CMTimeMaximum(CMTime time1, CMTime time2) {
    return CMTimeCompare(time2, time1) > 0 ? time2 : time1;
}

// For logs: "{1001/30000 = 0.033}", with ", rounded" and ", epoch N" inside the braces when
// they apply; "INVALID", "+INFINITY", "-INFINITY" or "INDEFINITE" for the others.
std::string CMTimeCopyDescription(CMTime time);

// Equality is CMTimeCompare == 0 (1/2 == 2/4; all invalid times are equal to each other),
// and the ordering is CMTimeCompare's.
constexpr bool operator==(CMTime lhs, CMTime rhs) {
    return CMTimeCompare(lhs, rhs) == 0;
}
constexpr std::weak_ordering operator<=>(CMTime lhs, CMTime rhs) {
    const int32_t order = CMTimeCompare(lhs, rhs);
    return order < 0   ? std::weak_ordering::less
           : order > 0 ? std::weak_ordering::greater
                       : std::weak_ordering::equivalent;
}
inline CMTime operator+(CMTime lhs, CMTime rhs) {
    return CMTimeAdd(lhs, rhs);
}
inline CMTime operator-(CMTime lhs, CMTime rhs) {
    return CMTimeSubtract(lhs, rhs);
}
inline CMTime& operator+=(CMTime& lhs, CMTime rhs) {
    return lhs = CMTimeAdd(lhs, rhs);
}
inline CMTime& operator-=(CMTime& lhs, CMTime rhs) {
    return lhs = CMTimeSubtract(lhs, rhs);
}

// Lets GoogleTest print times in failure messages.
void PrintTo(const CMTime& time, std::ostream* stream);

namespace detail {
// Writes the description without touching the heap (the buffer's inline storage suffices).
void appendDescription(fmt::memory_buffer& buffer, CMTime time);
}  // namespace detail

}  // namespace platform

template <>
struct fmt::formatter<platform::CMTime> : fmt::formatter<fmt::string_view> {
    auto format(const platform::CMTime& time, fmt::format_context& context) const
        -> decltype(context.out()) {
        fmt::memory_buffer buffer;
        platform::detail::appendDescription(buffer, time);
        return fmt::formatter<fmt::string_view>::format(
            fmt::string_view(buffer.data(), buffer.size()), context);
    }
};
