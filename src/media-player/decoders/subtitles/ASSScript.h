#pragma once

#include <cstdint>

namespace quillon {

// The records of a split ASS script. They are C-layout records: their strings (NUL-terminated,
// absent until set) and arrays come from FFmpeg's allocator and belong to the split context or
// dialog that holds them (ASSSplit.h frees them). A record starts zeroed.

struct ASSScriptInfo {
    char* ScriptType;
    char* Collisions;
    std::int32_t PlayResX;
    std::int32_t PlayResY;
    float Timer;
};

// Colours are in ASS order, &HAABBGGRR (alpha 0 is opaque). Flags are ASS booleans: -1 is true.
struct ASSStyle {
    char* Name;
    char* Fontname;
    std::int32_t Fontsize;
    std::uint32_t PrimaryColour;
    std::uint32_t SecondaryColour;
    std::uint32_t OutlineColour;  // also the legacy TertiaryColour
    std::uint32_t BackColour;
    std::int32_t Bold;
    std::int32_t Italic;
    std::int32_t Underline;
    std::int32_t StrikeOut;
    float ScaleX;
    float ScaleY;
    float Spacing;
    float Angle;
    std::int32_t BorderStyle;
    float Outline;
    float Shadow;
    std::int32_t Alignment;  // keypad numbering, 1 to 9
    std::int32_t MarginL;
    std::int32_t MarginR;
    std::int32_t MarginV;
    std::int32_t AlphaLevel;
    std::int32_t Encoding;
};

// One event. Times are in centiseconds.
struct ASSDialog {
    std::int32_t ReadOrder;
    std::int32_t Layer;
    std::int32_t Start;
    std::int32_t End;
    char* Style;
    char* Name;
    std::int32_t MarginL;
    std::int32_t MarginR;
    std::int32_t MarginV;
    char* Effect;
    char* Text;
};

struct ASSScript {
    ASSScriptInfo info;
    ASSStyle* styles;
    std::int32_t stylesCount;
    ASSDialog* dialogs;
    std::int32_t dialogsCount;
};

}  // namespace quillon
