#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillon {

// The text of a run of event bytes as UTF-8. Decoders hand over UTF-8, but scripts carried
// without a declared encoding may hold legacy bytes: those are converted from the encoding that
// their bytes most likely are in. Nothing when no encoding reads them.
std::optional<std::string> assTextFromBytes(std::string_view bytes);

// "<48656c6c6f>": bytes as a log line shows them.
std::string assBytesDescription(std::string_view bytes);

}  // namespace quillon
