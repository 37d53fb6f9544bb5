#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "platform/graphics/NSMutableAttributedString.h"

namespace platform {

// The attribute that makes a range a link; its value is the link's address as a string.
inline constexpr const char* NSLinkAttributeName = "NSLink";

// Text encodings as the platform numbers them; HTML reading understands UTF-8 only.
using NSStringEncoding = std::uint64_t;
inline constexpr NSStringEncoding NSUTF8StringEncoding = 4;

// The text of an HTML document (Qt's rich-text subset) with its links as NSLinkAttributeName
// ranges; paragraphs end with a line feed except the last. Fonts, colours and paragraph styles of
// the HTML are not carried over: callers style the text themselves. Nullopt when the data are
// not well-formed text in `encoding` or the encoding is not one it reads.
std::optional<NSMutableAttributedString> attributedStringWithHTML(
    std::span<const std::byte> data, NSStringEncoding encoding = NSUTF8StringEncoding);

}  // namespace platform
