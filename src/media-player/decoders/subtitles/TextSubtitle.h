#pragma once

#include <string>

namespace quillon {

// A subtitle of plain text, lines separated by "\n".
struct TextSubtitle {
    std::string text;

    friend bool operator==(const TextSubtitle&, const TextSubtitle&) = default;
};

}  // namespace quillon
