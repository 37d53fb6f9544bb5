#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace quillon {

// A bounded reader over script text that scans the forms ASS writes numbers and codes in.
// Scripts come from anywhere: every read stays inside the view, and numbers that do not fit
// their type fail instead of wrapping. The conversions follow the C scanning conventions that
// script writers rely on (leading white space is skipped before a number, a number may be
// followed by other text), but never read past the value they are given.
class ASSScanner {
public:
    static constexpr std::size_t unlimited = static_cast<std::size_t>(-1);

    explicit ASSScanner(std::string_view text) : text_(text) {}

    std::size_t position() const { return position_; }
    bool atEnd() const { return position_ >= text_.size(); }
    std::optional<char> peek() const;

    // Consumes the literal when the text continues with exactly it.
    bool literal(std::string_view expected);
    void skipWhitespace();

    // An optionally signed decimal number of at most maxWidth characters (sign included), after
    // white space.
    std::optional<std::int32_t> signedDecimal(std::size_t maxWidth = unlimited);
    // Decimal digits of at most maxWidth characters, after white space.
    std::optional<std::uint32_t> unsignedDecimal(std::size_t maxWidth = unlimited);
    // Hexadecimal digits (either case) of at most maxWidth characters, after white space.
    std::optional<std::uint32_t> hexadecimal(std::size_t maxWidth = unlimited);
    // A finite decimal floating-point number, after white space.
    std::optional<float> floatingPoint();

    // One character of the set.
    std::optional<char> oneOf(std::string_view set);
    // One to maxLength characters that are not in stops.
    std::optional<std::string_view> spanNotOf(std::string_view stops, std::size_t maxLength);

private:
    // The digits that a number of at most maxWidth characters may use, starting at from.
    std::string_view digitsFrom(std::size_t from, std::size_t maxWidth, bool hex) const;

    std::string_view text_;
    std::size_t position_ = 0;
};

// The value conversions of script columns. Each gets exactly the column's text and answers
// nothing when it does not scan (the field then keeps its value).
std::optional<std::int32_t> assScanInteger(std::string_view value);
std::optional<float> assScanFloat(std::string_view value);
// "&HAABBGGRR" (up to eight hex digits), else a decimal number (legacy scripts).
std::optional<std::uint32_t> assScanColour(std::string_view value);
// "h:mm:ss.cc" in centiseconds.
std::optional<std::int32_t> assScanTimestamp(std::string_view value);
// A "V4 Styles" alignment converted to keypad numbering.
std::optional<std::int32_t> assScanLegacyAlignment(std::string_view value);

}  // namespace quillon
