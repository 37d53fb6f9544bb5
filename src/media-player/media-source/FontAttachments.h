#pragma once

#include <memory>
#include <string_view>

extern "C" {
#include <libavformat/avformat.h>
}

#include "platform/foundation/URL.h"
#include "platform/graphics/FontCollection.h"

namespace quillon {

// Whether an attachment is a font, by its MIME type or its file name's extension (TrueType,
// OpenType and collections, under the types releases use), any case.
bool isFontAttachment(std::string_view mimeType, std::string_view fileName);

// The fonts that the media file at `url` carries as attachment streams of `context` (styled
// subtitles' releases bring theirs this way), registered for its own subtitles; fonts it lacks
// are looked up in `inherited` (the media file's, when `url` is a subtitle file beside it). An
// attachment that cannot be read or is no usable font is skipped with a warning that names it.
// Null when there are no fonts at all.
std::shared_ptr<const platform::FontCollection> attachedFonts(
    const AVFormatContext& context, const platform::URL& url,
    std::shared_ptr<const platform::FontCollection> inherited = nullptr);

}  // namespace quillon
