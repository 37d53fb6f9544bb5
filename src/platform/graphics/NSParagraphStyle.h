#pragma once

#include <string>

namespace platform {

enum class NSTextAlignment {
    NSTextAlignmentLeft = 0,
    NSTextAlignmentRight = 1,
    NSTextAlignmentCenter = 2,
    NSTextAlignmentJustified = 3,
    // Left for left-to-right text, right for right-to-left text.
    NSTextAlignmentNatural = 4,
};
using enum NSTextAlignment;

enum class NSLineBreakMode {
    NSLineBreakByWordWrapping = 0,
    NSLineBreakByCharWrapping,
    NSLineBreakByClipping,
    NSLineBreakByTruncatingHead,
    NSLineBreakByTruncatingTail,
    NSLineBreakByTruncatingMiddle,
};
using enum NSLineBreakMode;

// How the lines of a paragraph are laid out. A plain value: "mutable copies" are ordinary
// copies.
struct NSParagraphStyle {
    NSTextAlignment alignment = NSTextAlignmentNatural;
    NSLineBreakMode lineBreakMode = NSLineBreakByWordWrapping;
    // Extra room, in points, after the last line of a paragraph that another paragraph follows.
    double paragraphSpacing = 0;

    // Natural alignment, wrapping at words, no room between paragraphs.
    static NSParagraphStyle defaultParagraphStyle() { return {}; }

    std::string description() const;

    friend bool operator==(const NSParagraphStyle&, const NSParagraphStyle&) = default;
};

using NSMutableParagraphStyle = NSParagraphStyle;

}  // namespace platform
