#pragma once

#include <cstdint>
#include <optional>

extern "C" {
#include <libavutil/avutil.h>
#include <libavutil/rational.h>
}

#include "platform/coremedia/CMTime.h"

namespace quillon {

// A timestamp counted in `timeBase` as a Core Media time: value timestamp × numerator over the
// denominator as timescale. None for a missing timestamp (AV_NOPTS_VALUE), a time base with a
// zero term, a denominator that is no timescale (negative), and a product that does not fit in
// 64 bits -- a wrapped time would land anywhere on the time line, a missing one is handled.
inline std::optional<platform::CMTime> cmTimeFromTimestamp(std::int64_t timestamp,
                                                           AVRational timeBase) {
    if (timestamp == AV_NOPTS_VALUE || timeBase.num == 0 || timeBase.den <= 0) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    if (__builtin_mul_overflow(timestamp, static_cast<std::int64_t>(timeBase.num), &value)) {
        return std::nullopt;
    }
    return platform::CMTimeMake(value, timeBase.den);
}

}  // namespace quillon
