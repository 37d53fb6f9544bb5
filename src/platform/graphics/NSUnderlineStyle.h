#pragma once

#include <cstdint>

namespace platform {

// Values of the underline and strikethrough attributes: one line style, optionally or-ed with a
// pattern and NSUnderlineByWord. 0 means no line.
enum NSUnderlineStyle : std::int64_t {
    NSUnderlineStyleNone = 0x00,
    NSUnderlineStyleSingle = 0x01,
    NSUnderlineStyleThick = 0x02,
    NSUnderlineStyleDouble = 0x09,
    NSUnderlinePatternSolid = 0x0000,
    NSUnderlinePatternDot = 0x0100,
    NSUnderlinePatternDash = 0x0200,
    NSUnderlinePatternDashDot = 0x0300,
    NSUnderlinePatternDashDotDot = 0x0400,
    NSUnderlineByWord = 0x8000,
};

}  // namespace platform
