#pragma once

#include <cstdint>

namespace quillon {

// What the override-code tokenizer reports, each callback optional; priv is the caller's context.
// Texts are reported in place, as (pointer, length) into the caller's buffer.
struct ASSOverrideCallbacks {
    // A run of plain text, not NUL-terminated.
    void (*text)(void* priv, const char* characters, std::int32_t length) = nullptr;
    // "\n" (forced 0) or "\N" (forced 1).
    void (*newLine)(void* priv, std::int32_t forced) = nullptr;
    // letter b, i, u or s; close 1 for the digit 0, 0 for the digit 1, -1 without a digit.
    void (*style)(void* priv, char letter, std::int32_t close) = nullptr;
    // colour 0xFFFFFFFF when none was given; index 0 for "\c", 1 to 4 for "\1c" to "\4c".
    void (*color)(void* priv, std::uint32_t colour, std::uint32_t index) = nullptr;
    // alpha -1 when none was given; index 0 for "\alpha", 1 to 4 for "\1a" to "\4a".
    void (*alpha)(void* priv, std::int32_t alpha, std::int32_t index) = nullptr;
    // The name, NUL-terminated, or absent when "\fn" has none.
    void (*fontName)(void* priv, const char* name) = nullptr;
    // -1 when "\fs" has no number.
    void (*fontSize)(void* priv, std::int32_t size) = nullptr;
    // Keypad numbering; -1 when none was given.
    void (*alignment)(void* priv, std::int32_t alignment) = nullptr;
    // The style name after "\r", NUL-terminated; empty when there is none.
    void (*cancelOverrides)(void* priv, const char* styleName) = nullptr;
    // t1 and t2 are -1 unless given.
    void (*move)(void* priv, std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2,
                 std::int32_t t1, std::int32_t t2) = nullptr;
    void (*origin)(void* priv, std::int32_t x, std::int32_t y) = nullptr;
    // "\p0" to leave drawing mode, "\p1" and up to draw the text that follows as shapes at that
    // level of detail.
    void (*drawingMode)(void* priv, std::int32_t level) = nullptr;
    void (*end)(void* priv) = nullptr;
};

// Tokenizes an event's NUL-terminated text into plain-text runs, line breaks and the override
// codes inside "{\...}" blocks. Returns 0, or AVERROR_INVALIDDATA when an override block is not
// closed by "}" (then neither the last text run nor end is reported). Unknown codes are skipped,
// and so is whatever else a block holds: "{a comment}" is never text. A "{" that no "}" closes
// and that starts no code is text.
std::int32_t assSplitOverrideCodes(const ASSOverrideCallbacks& callbacks, void* priv,
                                   const char* text);

}  // namespace quillon
