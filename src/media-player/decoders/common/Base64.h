#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace quillon {

// Decodes base64 text, skipping every character outside the base64 alphabet (line breaks,
// spaces) and stopping at the first padding character. None when the text ends in the middle
// of a byte (one leftover digit).
std::optional<std::vector<std::uint8_t>> decodeBase64IgnoringUnknownCharacters(
    std::string_view text);

}  // namespace quillon
