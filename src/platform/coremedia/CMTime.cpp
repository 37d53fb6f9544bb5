#include "platform/coremedia/CMTime.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <numeric>
#include <ostream>

namespace platform {

namespace {

using detail::CMTimeKind;
using detail::Int128;
using detail::kindOf;

constexpr Int128 kValueMax = std::numeric_limits<CMTimeValue>::max();
constexpr Int128 kValueMin = std::numeric_limits<CMTimeValue>::min();

constexpr bool fitsValue(Int128 value) {
    return value >= kValueMin && value <= kValueMax;
}

constexpr Int128 magnitude(Int128 value) {
    return value < 0 ? -value : value;
}

Int128 greatestCommonDivisor(Int128 a, Int128 b) {
    a = magnitude(a);
    b = magnitude(b);
    while (b != 0) {
        const Int128 remainder = a % b;
        a = b;
        b = remainder;
    }
    return a;
}

CMTime infinity(int sign) {
    return sign < 0 ? kCMTimeNegativeInfinity : kCMTimePositiveInfinity;
}

int infinitySign(CMTimeKind kind) {
    return kind == CMTimeKind::PositiveInfinity ? 1 : kind == CMTimeKind::NegativeInfinity ? -1 : 0;
}

CMTimeFlags roundedFlag(bool rounded) {
    return rounded ? kCMTimeFlags_HasBeenRounded : 0;
}

// numerator × timescale / denominator as a truncated quotient and a remainder that carries the
// numerator's sign. Splitting off the whole part first keeps every product inside 128 bits for
// all the callers here (|numerator / denominator| < 2^95, denominator < 2^63, timescale < 2^31).
struct ScaledQuotient {
    Int128 quotient;
    Int128 remainder;
};

ScaledQuotient scaleRational(Int128 numerator, Int128 denominator, Int128 timescale) {
    const Int128 whole = numerator / denominator;
    const Int128 part = (numerator % denominator) * timescale;
    return {whole * timescale + part / denominator, part % denominator};
}

// Rounds quotient + remainder/denominator (denominator > 0, the remainder carrying the sign of
// the exact value) to an integer. QuickTime is resolved by the caller, who knows the direction
// of the conversion.
Int128 roundQuotient(ScaledQuotient scaled, Int128 denominator, CMTimeRoundingMethod method) {
    const auto [quotient, remainder] = scaled;
    if (remainder == 0) {
        return quotient;
    }
    const bool negative = remainder < 0;
    const Int128 awayFromZero = negative ? quotient - 1 : quotient + 1;
    switch (method) {
        case kCMTimeRoundingMethod_RoundTowardZero:
        case kCMTimeRoundingMethod_QuickTime:
            return quotient;
        case kCMTimeRoundingMethod_RoundAwayFromZero:
            return awayFromZero;
        case kCMTimeRoundingMethod_RoundTowardPositiveInfinity:
            return negative ? quotient : awayFromZero;
        case kCMTimeRoundingMethod_RoundTowardNegativeInfinity:
            return negative ? awayFromZero : quotient;
        case kCMTimeRoundingMethod_RoundHalfAwayFromZero:
            break;
    }
    return 2 * magnitude(remainder) >= denominator ? awayFromZero : quotient;
}

// The time numerator/denominator seconds (denominator > 0) in preferredTimescale, rounded by
// default; on overflow the timescale is halved until the value fits, and at timescale 1 the
// result is ±infinity.
CMTime fitHalvingTimescale(Int128 numerator, Int128 denominator, CMTimeScale preferredTimescale,
                           bool rounded, CMTimeEpoch epoch) {
    for (CMTimeScale timescale = preferredTimescale;; timescale /= 2) {
        const auto scaled = scaleRational(numerator, denominator, timescale);
        const Int128 value = roundQuotient(scaled, denominator, kCMTimeRoundingMethod_Default);
        if (fitsValue(value)) {
            return {static_cast<CMTimeValue>(value), timescale,
                    kCMTimeFlags_Valid | roundedFlag(rounded || scaled.remainder != 0), epoch};
        }
        if (timescale == 1) {
            return infinity(numerator < 0 ? -1 : 1);
        }
    }
}

// As above, but on overflow takes the largest timescale (up to maxTimescale) whose value fits,
// which keeps the rounding error as small as the value range allows.
CMTime fitLargestTimescale(Int128 numerator, Int128 denominator, CMTimeScale maxTimescale,
                           bool rounded, CMTimeEpoch epoch) {
    // numerator != 0 here: zero always fits.
    const Int128 largest = kValueMax * denominator / magnitude(numerator);
    if (largest < 1) {
        return infinity(numerator < 0 ? -1 : 1);
    }
    auto timescale = static_cast<CMTimeScale>(std::min<Int128>(largest, maxTimescale));
    for (;; --timescale) {
        const auto scaled = scaleRational(numerator, denominator, timescale);
        const Int128 value = roundQuotient(scaled, denominator, kCMTimeRoundingMethod_Default);
        if (fitsValue(value)) {
            return {static_cast<CMTimeValue>(value), timescale,
                    kCMTimeFlags_Valid | roundedFlag(rounded || scaled.remainder != 0), epoch};
        }
        if (timescale == 1) {
            return infinity(numerator < 0 ? -1 : 1);
        }
    }
}

CMTime addOrSubtract(CMTime lhs, CMTime rhs, bool subtract) {
    const CMTimeKind lhsKind = kindOf(lhs);
    const CMTimeKind rhsKind = kindOf(rhs);
    if (lhsKind == CMTimeKind::Invalid || rhsKind == CMTimeKind::Invalid) {
        return kCMTimeInvalid;
    }
    const int lhsInfinity = infinitySign(lhsKind);
    const int rhsInfinity = subtract ? -infinitySign(rhsKind) : infinitySign(rhsKind);
    if (lhsInfinity != 0 && rhsInfinity != 0) {
        return lhsInfinity == rhsInfinity ? infinity(lhsInfinity) : kCMTimeInvalid;
    }
    if (lhsInfinity != 0 || rhsInfinity != 0) {
        return infinity(lhsInfinity + rhsInfinity);
    }
    if (lhsKind == CMTimeKind::Indefinite || rhsKind == CMTimeKind::Indefinite) {
        return kCMTimeIndefinite;
    }

    CMTimeEpoch epoch = lhs.epoch;
    if (subtract) {
        if (lhs.epoch == rhs.epoch) {
            epoch = 0;
        } else if (rhs.epoch != 0) {
            return kCMTimeInvalid;
        }
    } else if (rhs.epoch != 0) {
        if (lhs.epoch != 0 && lhs.epoch != rhs.epoch) {
            return kCMTimeInvalid;
        }
        epoch = rhs.epoch;
    }

    const bool rounded = ((lhs.flags | rhs.flags) & kCMTimeFlags_HasBeenRounded) != 0;
    if (lhs.timescale == rhs.timescale) {
        const Int128 value =
            subtract ? Int128(lhs.value) - rhs.value : Int128(lhs.value) + rhs.value;
        return fitHalvingTimescale(value, lhs.timescale, lhs.timescale, rounded, epoch);
    }
    const int64_t multiple = std::lcm<int64_t, int64_t>(lhs.timescale, rhs.timescale);
    const Int128 lhsValue = Int128(lhs.value) * (multiple / lhs.timescale);
    const Int128 rhsValue = Int128(rhs.value) * (multiple / rhs.timescale);
    const auto timescale =
        static_cast<CMTimeScale>(std::min<int64_t>(multiple, kCMTimeMaxTimescale));
    return fitHalvingTimescale(subtract ? lhsValue - rhsValue : lhsValue + rhsValue, multiple,
                               timescale, rounded, epoch);
}

}  // namespace

namespace detail {

CMTime addSlow(CMTime lhs, CMTime rhs) {
    return addOrSubtract(lhs, rhs, false);
}
CMTime subtractSlow(CMTime lhs, CMTime rhs) {
    return addOrSubtract(lhs, rhs, true);
}

void appendDescription(fmt::memory_buffer& buffer, CMTime time) {
    auto out = std::back_inserter(buffer);
    switch (kindOf(time)) {
        case CMTimeKind::Invalid:
            fmt::format_to(out, "INVALID");
            return;
        case CMTimeKind::PositiveInfinity:
            fmt::format_to(out, "+INFINITY");
            return;
        case CMTimeKind::NegativeInfinity:
            fmt::format_to(out, "-INFINITY");
            return;
        case CMTimeKind::Indefinite:
            fmt::format_to(out, "INDEFINITE");
            return;
        case CMTimeKind::Numeric:
            break;
    }
    fmt::format_to(out, "{{{}/{} = {:.3f}", time.value, time.timescale, CMTimeGetSeconds(time));
    if (CMTIME_HAS_BEEN_ROUNDED(time)) {
        fmt::format_to(out, ", rounded");
    }
    if (time.epoch != 0) {
        fmt::format_to(out, ", epoch {}", time.epoch);
    }
    fmt::format_to(out, "}}");
}

}  // namespace detail

CMTime CMTimeMakeWithSeconds(double seconds, CMTimeScale preferredTimescale) {
    if (std::isnan(seconds) || preferredTimescale <= 0) {
        return kCMTimeInvalid;
    }
    if (std::isinf(seconds)) {
        return infinity(seconds < 0 ? -1 : 1);
    }
    for (CMTimeScale timescale = preferredTimescale;; timescale /= 2) {
        const double scaled = seconds * timescale;
        // Doubles this close to 2^63 are whole, so rounding cannot carry past the range.
        if (scaled >= -0x1p63 && scaled < 0x1p63) {
            CMTime time{std::llround(scaled), timescale, kCMTimeFlags_Valid, 0};
            if (CMTimeGetSeconds(time) != seconds) {
                time.flags |= kCMTimeFlags_HasBeenRounded;
            }
            return time;
        }
        if (timescale == 1) {
            return infinity(seconds < 0 ? -1 : 1);
        }
    }
}

CMTime CMTimeMultiply(CMTime time, int32_t multiplier) {
    switch (kindOf(time)) {
        case CMTimeKind::Invalid:
            return kCMTimeInvalid;
        case CMTimeKind::Indefinite:
            return kCMTimeIndefinite;
        case CMTimeKind::PositiveInfinity:
        case CMTimeKind::NegativeInfinity:
            return infinity(infinitySign(kindOf(time)) * (multiplier < 0 ? -1 : 1));
        case CMTimeKind::Numeric:
            break;
    }
    return fitHalvingTimescale(Int128(time.value) * multiplier, time.timescale, time.timescale,
                               CMTIME_HAS_BEEN_ROUNDED(time), time.epoch);
}

CMTime CMTimeMultiplyByFloat64(CMTime time, double multiplier) {
    const CMTimeKind kind = kindOf(time);
    if (kind == CMTimeKind::Invalid || std::isnan(multiplier)) {
        return kCMTimeInvalid;
    }
    if (kind == CMTimeKind::Indefinite) {
        return kCMTimeIndefinite;
    }
    if (kind != CMTimeKind::Numeric) {
        return infinity(infinitySign(kind) * (multiplier < 0 ? -1 : 1));
    }
    // An 80-bit long double holds every 64-bit value exactly, so multiplying by 1, 2, 0.5 and the
    // like is exact.
    const long double product = static_cast<long double>(time.value) * multiplier;
    if (std::isnan(product)) {
        return kCMTimeInvalid;
    }
    if (std::isinf(product)) {
        return infinity(product < 0 ? -1 : 1);
    }
    for (CMTimeScale timescale = time.timescale;; timescale /= 2) {
        const long double scaled =
            timescale == time.timescale ? product : product * timescale / time.timescale;
        if (scaled >= -0x1p63L && scaled < 0x1p63L) {
            const long double rounded = std::round(scaled);
            return {static_cast<CMTimeValue>(rounded), timescale,
                    kCMTimeFlags_Valid |
                        roundedFlag(CMTIME_HAS_BEEN_ROUNDED(time) || rounded != scaled),
                    time.epoch};
        }
        if (timescale == 1) {
            return infinity(product < 0 ? -1 : 1);
        }
    }
}

CMTime CMTimeMultiplyByRatio(CMTime time, int32_t multiplier, int32_t divisor) {
    const CMTimeKind kind = kindOf(time);
    if (kind == CMTimeKind::Invalid) {
        return kCMTimeInvalid;
    }
    if (divisor == 0 && (multiplier == 0 || (kind == CMTimeKind::Numeric && time.value == 0))) {
        return kCMTimeInvalid;
    }
    if (kind == CMTimeKind::Indefinite) {
        return kCMTimeIndefinite;
    }
    const int ratioSign = (multiplier < 0) != (divisor < 0) ? -1 : 1;
    if (kind != CMTimeKind::Numeric) {
        return infinity(infinitySign(kind) * ratioSign);
    }
    if (divisor == 0) {
        return infinity(time.value < 0 ? -ratioSign : ratioSign);
    }

    const bool rounded = CMTIME_HAS_BEEN_ROUNDED(time);
    Int128 numerator = Int128(time.value) * multiplier;
    Int128 denominator = Int128(time.timescale) * divisor;
    if (numerator == 0) {
        return {0, time.timescale, kCMTimeFlags_Valid | roundedFlag(rounded), time.epoch};
    }
    if (denominator < 0) {
        numerator = -numerator;
        denominator = -denominator;
    }
    const Int128 common = greatestCommonDivisor(numerator, denominator);
    numerator /= common;
    denominator /= common;
    // Keep the caller's timescale when it holds the result exactly (1001/30000 × 2 stays in
    // 30000ths); otherwise the reduced denominator, or the finest timescale there is.
    Int128 timescale = time.timescale % denominator == 0
                           ? Int128(time.timescale)
                           : std::min<Int128>(denominator, kCMTimeMaxTimescale);
    return fitLargestTimescale(numerator, denominator, static_cast<CMTimeScale>(timescale), rounded,
                               time.epoch);
}

CMTime CMTimeConvertScale(CMTime time, CMTimeScale newTimescale, CMTimeRoundingMethod method) {
    const CMTimeKind kind = kindOf(time);
    if (kind == CMTimeKind::Invalid) {
        return kCMTimeInvalid;
    }
    if (kind != CMTimeKind::Numeric) {
        return time;
    }
    if (newTimescale <= 0) {
        return kCMTimeInvalid;
    }
    if (newTimescale == time.timescale) {
        return time;
    }
    CMTimeRoundingMethod resolved = method;
    if (method == kCMTimeRoundingMethod_QuickTime) {
        resolved = newTimescale < time.timescale ? kCMTimeRoundingMethod_RoundTowardZero
                                                 : kCMTimeRoundingMethod_RoundAwayFromZero;
    }
    const auto scaled = scaleRational(time.value, time.timescale, newTimescale);
    Int128 value = roundQuotient(scaled, time.timescale, resolved);
    if (method == kCMTimeRoundingMethod_QuickTime && value == 0 && time.value < 0) {
        value = -1;
    }
    if (!fitsValue(value)) {
        return infinity(time.value < 0 ? -1 : 1);
    }
    return {static_cast<CMTimeValue>(value), newTimescale,
            time.flags | roundedFlag(scaled.remainder != 0), time.epoch};
}

CMTime CMTimeAbsoluteValue(CMTime time) {
    switch (kindOf(time)) {
        case CMTimeKind::Invalid:
            return kCMTimeInvalid;
        case CMTimeKind::NegativeInfinity:
            return kCMTimePositiveInfinity;
        case CMTimeKind::PositiveInfinity:
        case CMTimeKind::Indefinite:
            return time;
        case CMTimeKind::Numeric:
            break;
    }
    if (time.value >= 0) {
        return time;
    }
    if (time.value != std::numeric_limits<CMTimeValue>::min()) {
        time.value = -time.value;
        return time;
    }
    return fitHalvingTimescale(-Int128(time.value), time.timescale, time.timescale,
                               CMTIME_HAS_BEEN_ROUNDED(time), time.epoch);
}

std::string CMTimeCopyDescription(CMTime time) {
    fmt::memory_buffer buffer;
    detail::appendDescription(buffer, time);
    return fmt::to_string(buffer);
}

void PrintTo(const CMTime& time, std::ostream* stream) {
    *stream << CMTimeCopyDescription(time);
}

}  // namespace platform
