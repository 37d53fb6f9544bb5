#include "media-player/decoders/subtitles/ASSScanner.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace quillon {

namespace {

bool isWhitespace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDecimalDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isHexDigit(char c) {
    return isDecimalDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

}  // namespace

std::optional<char> ASSScanner::peek() const {
    if (atEnd()) {
        return std::nullopt;
    }
    return text_[position_];
}

bool ASSScanner::literal(std::string_view expected) {
    if (text_.substr(position_).starts_with(expected)) {
        position_ += expected.size();
        return true;
    }
    return false;
}

void ASSScanner::skipWhitespace() {
    while (!atEnd() && isWhitespace(text_[position_])) {
        ++position_;
    }
}

std::string_view ASSScanner::digitsFrom(std::size_t from, std::size_t maxWidth, bool hex) const {
    std::size_t end = from;
    while (end < text_.size() && end - from < maxWidth &&
           (hex ? isHexDigit(text_[end]) : isDecimalDigit(text_[end]))) {
        ++end;
    }
    return text_.substr(from, end - from);
}

std::optional<std::int32_t> ASSScanner::signedDecimal(std::size_t maxWidth) {
    skipWhitespace();
    if (atEnd() || maxWidth == 0) {
        return std::nullopt;
    }
    std::size_t cursor = position_;
    bool negative = false;
    if (text_[cursor] == '+' || text_[cursor] == '-') {
        negative = text_[cursor] == '-';
        ++cursor;
        --maxWidth;
    }
    std::string_view digits = digitsFrom(cursor, maxWidth, false);
    if (digits.empty()) {
        return std::nullopt;
    }
    // Parsed as a 64-bit magnitude first so that INT32_MIN is accepted and overflow is caught.
    std::int64_t magnitude = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), magnitude);
    if (error != std::errc() || end != digits.data() + digits.size()) {
        return std::nullopt;
    }
    std::int64_t value = negative ? -magnitude : magnitude;
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max()) {
        return std::nullopt;
    }
    position_ = cursor + digits.size();
    return static_cast<std::int32_t>(value);
}

std::optional<std::uint32_t> ASSScanner::unsignedDecimal(std::size_t maxWidth) {
    skipWhitespace();
    std::string_view digits = digitsFrom(position_, maxWidth, false);
    std::uint32_t value = 0;
    if (digits.empty()) {
        return std::nullopt;
    }
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size()) {
        return std::nullopt;
    }
    position_ += digits.size();
    return value;
}

std::optional<std::uint32_t> ASSScanner::hexadecimal(std::size_t maxWidth) {
    skipWhitespace();
    std::string_view digits = digitsFrom(position_, maxWidth, true);
    std::uint32_t value = 0;
    if (digits.empty()) {
        return std::nullopt;
    }
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
    if (error != std::errc() || end != digits.data() + digits.size()) {
        return std::nullopt;
    }
    position_ += digits.size();
    return value;
}

std::optional<float> ASSScanner::floatingPoint() {
    skipWhitespace();
    std::size_t cursor = position_;
    if (cursor < text_.size() && text_[cursor] == '+') {
        ++cursor;
        // "+-1" is no number.
        if (cursor < text_.size() && text_[cursor] == '-') {
            return std::nullopt;
        }
    }
    float value = 0;
    const char* begin = text_.data() + cursor;
    auto [end, error] =
        std::from_chars(begin, text_.data() + text_.size(), value, std::chars_format::general);
    // Infinities and NaNs would spread through every size and colour computed from the field.
    if (error != std::errc() || end == begin || !std::isfinite(value)) {
        return std::nullopt;
    }
    position_ = static_cast<std::size_t>(end - text_.data());
    return value;
}

std::optional<char> ASSScanner::oneOf(std::string_view set) {
    if (atEnd() || set.find(text_[position_]) == std::string_view::npos) {
        return std::nullopt;
    }
    return text_[position_++];
}

std::optional<std::string_view> ASSScanner::spanNotOf(std::string_view stops,
                                                      std::size_t maxLength) {
    std::size_t end = position_;
    while (end < text_.size() && end - position_ < maxLength &&
           stops.find(text_[end]) == std::string_view::npos) {
        ++end;
    }
    if (end == position_) {
        return std::nullopt;
    }
    std::string_view span = text_.substr(position_, end - position_);
    position_ = end;
    return span;
}

std::optional<std::int32_t> assScanInteger(std::string_view value) {
    return ASSScanner(value).signedDecimal();
}

std::optional<float> assScanFloat(std::string_view value) {
    return ASSScanner(value).floatingPoint();
}

std::optional<std::uint32_t> assScanColour(std::string_view value) {
    ASSScanner hex(value);
    if (hex.literal("&H") || hex.literal("&h")) {
        if (auto colour = hex.hexadecimal(8)) {
            return colour;
        }
    }
    // Legacy scripts write colours as decimal numbers, some of them negative (a signed
    // reading of the same 32 bits).
    ASSScanner decimal(value);
    decimal.skipWhitespace();
    if (decimal.peek() == '-') {
        if (auto negative = decimal.signedDecimal()) {
            return static_cast<std::uint32_t>(*negative);
        }
        return std::nullopt;
    }
    decimal.literal("+");
    return decimal.unsignedDecimal();
}

std::optional<std::int32_t> assScanTimestamp(std::string_view value) {
    ASSScanner scanner(value);
    auto hours = scanner.signedDecimal();
    if (!hours || !scanner.literal(":")) {
        return std::nullopt;
    }
    auto minutes = scanner.signedDecimal(2);
    if (!minutes || !scanner.literal(":")) {
        return std::nullopt;
    }
    auto seconds = scanner.signedDecimal(2);
    if (!seconds || !scanner.literal(".")) {
        return std::nullopt;
    }
    auto centiseconds = scanner.signedDecimal(2);
    if (!centiseconds) {
        return std::nullopt;
    }
    std::int64_t total = std::int64_t{*hours} * 360000 + std::int64_t{*minutes} * 6000 +
                         std::int64_t{*seconds} * 100 + *centiseconds;
    if (total < std::numeric_limits<std::int32_t>::min() ||
        total > std::numeric_limits<std::int32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(total);
}

std::optional<std::int32_t> assScanLegacyAlignment(std::string_view value) {
    auto a = assScanInteger(value);
    if (!a) {
        return std::nullopt;
    }
    // Bottom 1-3 stay, top 5-7 become 7-9, middle 9-11 become 4-6.
    std::int64_t converted = std::int64_t{*a} + ((*a & 4) >> 1) - ((*a & 8) ? 5 : 0);
    if (converted < std::numeric_limits<std::int32_t>::min() ||
        converted > std::numeric_limits<std::int32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(converted);
}

}  // namespace quillon
