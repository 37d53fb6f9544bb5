#pragma once

#include <cstdint>
#include <memory>

#include "media-player/decoders/subtitles/ASSScript.h"
#include "media-player/decoders/subtitles/ASSSplitContext.h"

namespace quillon {

// Splitting ASS text into records: the script header that FFmpeg's text-subtitle decoders hand
// over (script info, styles, event format) and the events of each decoded subtitle. Malformed
// lines are skipped or leave fields at zero; only running out of memory fails. The functions
// read no files and keep no state besides their constant tables.

void assSplitFree(ASSSplitContext* context);
void assFreeDialog(ASSDialog* dialog);

struct ASSSplitContextDeleter {
    void operator()(ASSSplitContext* context) const { assSplitFree(context); }
};
struct ASSDialogDeleter {
    void operator()(ASSDialog* dialog) const { assFreeDialog(dialog); }
};
using ASSSplitContextPointer = std::unique_ptr<ASSSplitContext, ASSSplitContextDeleter>;
using ASSDialogPointer = std::unique_ptr<ASSDialog, ASSDialogDeleter>;

// A new context filled from the NUL-terminated script text (absent text splits as empty);
// absent when memory runs out.
ASSSplitContextPointer assSplit(const char* text);

// Splits more text in the section where the context left off, so that "Dialogue:" lines take
// the column order of the header's Events "Format:" line. Unless cache is non-zero, the events
// of earlier calls are freed first (the column order is kept). Returns the first event this call
// added, with the number added in count (when given); absent on failure or when none was added.
// The events stay owned by the context until its next call or its end.
ASSDialog* assSplitDialog(ASSSplitContext* context, const char* text, std::int32_t cache,
                          std::int32_t* count);

// One event in the fixed column order in which FFmpeg hands events over, without the
// "Dialogue:" key and without times: ReadOrder, Layer, Style, Name, MarginL, MarginR, MarginV,
// Effect, Text. Text runs to the end and may contain commas. Absent when memory runs out or a
// value is 2^31 - 1 bytes or longer.
ASSDialogPointer assSplitDialogFields(const char* text);

ASSScript* assSplitScript(ASSSplitContext* context);
// The styles of the script, in order, with their number in count.
ASSStyle* assSplitStyles(ASSSplitContext* context, std::int32_t* count);
// The first style whose name equals name exactly; an absent or empty name asks for "Default".
ASSStyle* assStyleGet(ASSSplitContext* context, const char* name);

}  // namespace quillon
