#pragma once

#include <cstdint>

#include "media-player/decoders/subtitles/ASSScript.h"

namespace quillon {

// How a column's text becomes a record field.
enum class ASSFieldType : std::int32_t {
    string,
    integer,
    floatingPoint,
    colour,
    timestamp,
    legacyAlignment,  // "V4 Styles" numbering (1-3 bottom, 5-7 top, 9-11 middle)
};

// The sections a script is split into, in the order of the context's per-section arrays.
enum ASSSectionIndex : std::int32_t {
    assSectionScriptInfo = 0,
    assSectionV4PlusStyles = 1,
    assSectionV4Styles = 2,
    assSectionEvents = 3,
    assSectionCount = 4,
};

// The state of splitting one script. The script comes first so that the context's address is the
// script's. Event texts are split in the section where the header left off, with the column order
// that the header's "Format:" lines fixed.
struct ASSSplitContext {
    ASSScript script;
    std::int32_t currentSection;  // -1 outside a known section
    std::int32_t fieldCount[assSectionCount];
    // Per column, the index of the section's field it fills, or -1 for an unknown column name.
    // Owned; absent until the section's "Format:" line (or first record line) is met.
    std::int32_t* fieldOrder[assSectionCount];
};

}  // namespace quillon
