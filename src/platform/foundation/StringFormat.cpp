#include "platform/foundation/StringFormat.h"

#include <algorithm>
#include <limits>
#include <optional>

#include <QLocale>
#include <QString>

#include <fmt/format.h>

#include "platform/foundation/Log.h"

namespace platform {

namespace {

// Widths and precisions beyond this are mistakes in a format string (often a translated one);
// honouring them could allocate without bound.
constexpr std::size_t kMaximumFieldWidth = 4096;

struct NumberStyle {
    std::string decimalPoint = ".";
    std::string groupSeparator;
    bool grouping = false;
};

NumberStyle numberStyle(const QLocale& locale) {
    NumberStyle style;
    style.decimalPoint = locale.decimalPoint().toStdString();
    style.groupSeparator = locale.groupSeparator().toStdString();
    style.grouping =
        !(locale.numberOptions() & QLocale::OmitGroupSeparator) && !style.groupSeparator.empty();
    if (style.decimalPoint.empty()) {
        style.decimalPoint = ".";
    }
    return style;
}

struct Specifier {
    bool leftJustify = false;
    bool plusSign = false;
    bool spaceSign = false;
    bool alternate = false;
    bool zeroPad = false;
    std::size_t width = 0;
    std::optional<std::size_t> precision;
    char conversion = 0;
};

std::size_t codePointCount(std::string_view text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

// The first `count` code points of the text.
std::string_view codePointPrefix(std::string_view text, std::size_t count) {
    std::size_t seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            if (seen == count) {
                return text.substr(0, i);
            }
            ++seen;
        }
    }
    return text;
}

std::string padded(std::string text, const Specifier& specifier) {
    const std::size_t length = codePointCount(text);
    if (length >= specifier.width) {
        return text;
    }
    const std::string padding(specifier.width - length, ' ');
    return specifier.leftJustify ? text + padding : padding + text;
}

// Pads a number to the field width: spaces outside, or zeros between its sign or base prefix
// and its digits.
std::string paddedNumber(const std::string& prefix, const std::string& body,
                         const Specifier& specifier, bool zerosAllowed) {
    const std::size_t length = codePointCount(prefix) + codePointCount(body);
    if (specifier.zeroPad && zerosAllowed && !specifier.leftJustify && length < specifier.width) {
        return prefix + std::string(specifier.width - length, '0') + body;
    }
    return padded(prefix + body, specifier);
}

std::string grouped(std::string_view digits, const NumberStyle& style) {
    if (!style.grouping || digits.size() <= 3) {
        return std::string(digits);
    }
    std::string result;
    std::size_t firstGroup = digits.size() % 3 == 0 ? 3 : digits.size() % 3;
    result.append(digits.substr(0, firstGroup));
    for (std::size_t i = firstGroup; i < digits.size(); i += 3) {
        result += style.groupSeparator;
        result.append(digits.substr(i, 3));
    }
    return result;
}

std::string describe(const FormatArgument& argument) {
    if (const auto* text = std::get_if<std::string>(&argument)) {
        return *text;
    }
    if (const auto* integer = std::get_if<std::int64_t>(&argument)) {
        return std::to_string(*integer);
    }
    return fmt::format("{}", std::get<double>(argument));
}

std::int64_t integerValue(const FormatArgument& argument) {
    if (const auto* integer = std::get_if<std::int64_t>(&argument)) {
        return *integer;
    }
    if (const auto* number = std::get_if<double>(&argument)) {
        constexpr double kLimit = 9223372036854775808.0;
        if (*number != *number) {
            return 0;
        }
        if (*number >= kLimit) {
            return std::numeric_limits<std::int64_t>::max();
        }
        if (*number < -kLimit) {
            return std::numeric_limits<std::int64_t>::min();
        }
        return static_cast<std::int64_t>(*number);
    }
    return 0;
}

double doubleValue(const FormatArgument& argument) {
    if (const auto* number = std::get_if<double>(&argument)) {
        return *number;
    }
    if (const auto* integer = std::get_if<std::int64_t>(&argument)) {
        return static_cast<double>(*integer);
    }
    return 0.0;
}

void appendUtf8(std::string& out, std::int64_t value) {
    auto c = static_cast<std::uint32_t>(value);
    if (value < 0 || value > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        c = 0xFFFD;
    }
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string formatInteger(const Specifier& specifier, const FormatArgument& argument,
                          const NumberStyle& style) {
    const std::int64_t value = integerValue(argument);
    const char conversion = specifier.conversion;
    const bool isSigned = conversion == 'd' || conversion == 'i' || conversion == 'D';
    const bool negative = isSigned && value < 0;
    // Two's complement magnitude: also right for INT64_MIN.
    const std::uint64_t magnitude =
        negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);

    std::string digits;
    switch (conversion) {
        case 'o':
        case 'O':
            digits = fmt::format("{:o}", magnitude);
            break;
        case 'x':
            digits = fmt::format("{:x}", magnitude);
            break;
        case 'X':
            digits = fmt::format("{:X}", magnitude);
            break;
        default:
            digits = std::to_string(magnitude);
            break;
    }
    if (specifier.precision) {
        if (*specifier.precision == 0 && magnitude == 0) {
            digits.clear();
        } else if (digits.size() < *specifier.precision) {
            digits.insert(0, *specifier.precision - digits.size(), '0');
        }
    }

    std::string prefix;
    if (isSigned) {
        prefix = negative ? "-" : (specifier.plusSign ? "+" : (specifier.spaceSign ? " " : ""));
    }
    if (specifier.alternate) {
        if ((conversion == 'o' || conversion == 'O') && (digits.empty() || digits[0] != '0')) {
            digits.insert(0, "0");
        } else if ((conversion == 'x' || conversion == 'X') && magnitude != 0) {
            prefix = conversion == 'x' ? "0x" : "0X";
        }
    }
    const bool decimal = isSigned || conversion == 'u' || conversion == 'U';
    if (decimal) {
        digits = grouped(digits, style);
    }
    return paddedNumber(prefix, digits, specifier, !specifier.precision);
}

std::string formatFloatingPoint(const Specifier& specifier, const FormatArgument& argument,
                                const NumberStyle& style) {
    const double value = doubleValue(argument);
    const char conversion = specifier.conversion;
    std::string pattern = "{:";
    if (specifier.plusSign) {
        pattern += '+';
    } else if (specifier.spaceSign) {
        pattern += ' ';
    }
    if (specifier.alternate) {
        pattern += '#';
    }
    const bool hexadecimal = conversion == 'a' || conversion == 'A';
    if (specifier.precision || !hexadecimal) {
        // printf's default precision; fmt's default would be the shortest round trip.
        pattern += fmt::format(".{}", specifier.precision.value_or(6));
    }
    pattern += conversion;
    pattern += '}';
    std::string text = fmt::format(fmt::runtime(pattern), value);

    std::string prefix;
    if (!text.empty() && (text[0] == '-' || text[0] == '+' || text[0] == ' ')) {
        prefix = text.substr(0, 1);
        text.erase(0, 1);
    }
    const bool finite = value == value && value - value == 0.0;
    if (finite && !hexadecimal) {
        const std::size_t integerEnd = std::min(text.find_first_of(".eE"), text.size());
        const bool exponentForm = text.find_first_of("eE") != std::string::npos;
        std::string localized =
            exponentForm ? text.substr(0, integerEnd) : grouped(text.substr(0, integerEnd), style);
        if (integerEnd < text.size() && text[integerEnd] == '.') {
            localized += style.decimalPoint;
            localized += text.substr(integerEnd + 1);
        } else {
            localized += text.substr(integerEnd);
        }
        text = std::move(localized);
    }
    return paddedNumber(prefix, text, specifier, finite);
}

std::string formatArgument(const Specifier& specifier, const FormatArgument& argument,
                           const NumberStyle& style) {
    switch (specifier.conversion) {
        case '@':
        case 's':
        case 'S': {
            std::string text = describe(argument);
            if (specifier.precision) {
                text = std::string(codePointPrefix(text, *specifier.precision));
            }
            return padded(std::move(text), specifier);
        }
        case 'c':
        case 'C': {
            std::string text;
            appendUtf8(text, integerValue(argument));
            return padded(std::move(text), specifier);
        }
        case 'd':
        case 'i':
        case 'D':
        case 'u':
        case 'U':
        case 'o':
        case 'O':
        case 'x':
        case 'X':
            return formatInteger(specifier, argument, style);
        default:
            return formatFloatingPoint(specifier, argument, style);
    }
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads a run of decimal digits at `position`, capped so that it cannot overflow.
std::optional<std::size_t> readNumber(std::string_view format, std::size_t& position) {
    if (position >= format.size() || !isDigit(format[position])) {
        return std::nullopt;
    }
    std::size_t value = 0;
    while (position < format.size() && isDigit(format[position])) {
        value = std::min<std::size_t>(value * 10 + static_cast<std::size_t>(format[position] - '0'),
                                      kMaximumFieldWidth);
        ++position;
    }
    return value;
}

std::string formatString(std::string_view format, const std::vector<FormatArgument>& arguments,
                         const NumberStyle& style) {
    constexpr std::string_view kConversions = "@dDiuUoOxXfFeEgGaAcCsS";
    constexpr std::string_view kLengthModifiers = "hlqLztj";

    std::string out;
    std::size_t nextSequential = 0;
    std::size_t position = 0;
    while (position < format.size()) {
        const std::size_t percent = format.find('%', position);
        out.append(format.substr(position, percent - position));
        if (percent == std::string_view::npos) {
            break;
        }
        std::size_t p = percent + 1;
        if (p < format.size() && format[p] == '%') {
            out += '%';
            position = p + 1;
            continue;
        }

        Specifier specifier;
        std::optional<std::size_t> argumentPosition;
        {
            std::size_t q = p;
            auto number = readNumber(format, q);
            if (number && q < format.size() && format[q] == '$') {
                argumentPosition = *number;
                p = q + 1;
            }
        }
        for (; p < format.size(); ++p) {
            const char flag = format[p];
            if (flag == '-') {
                specifier.leftJustify = true;
            } else if (flag == '+') {
                specifier.plusSign = true;
            } else if (flag == ' ') {
                specifier.spaceSign = true;
            } else if (flag == '#') {
                specifier.alternate = true;
            } else if (flag == '0') {
                specifier.zeroPad = true;
            } else if (flag != '\'') {
                break;
            }
        }
        specifier.width = readNumber(format, p).value_or(0);
        if (p < format.size() && format[p] == '.') {
            ++p;
            specifier.precision = readNumber(format, p).value_or(0);
        }
        while (p < format.size() && kLengthModifiers.find(format[p]) != std::string_view::npos) {
            ++p;
        }
        if (p >= format.size() || kConversions.find(format[p]) == std::string_view::npos ||
            argumentPosition == std::size_t{0}) {
            // Not a specifier we know: keep its text, so that the mistake shows.
            const std::size_t end = std::min(p + 1, format.size());
            out.append(format.substr(percent, end - percent));
            position = end;
            continue;
        }
        specifier.conversion = format[p];
        position = p + 1;

        const std::size_t index = argumentPosition ? *argumentPosition - 1 : nextSequential++;
        if (index >= arguments.size()) {
            logWarning("The format string \"{}\" has no argument {}.", format, index + 1);
            continue;
        }
        out += formatArgument(specifier, arguments[index], style);
    }
    return out;
}

}  // namespace

std::string stringWithFormat(std::string_view format,
                             const std::vector<FormatArgument>& arguments) {
    return formatString(format, arguments, NumberStyle{});
}

std::string stringWithFormat(std::string_view format, const std::vector<FormatArgument>& arguments,
                             const QLocale& locale) {
    return formatString(format, arguments, numberStyle(locale));
}

std::string localizedStringWithFormat(std::string_view format,
                                      const std::vector<FormatArgument>& arguments) {
    return stringWithFormat(format, arguments, QLocale());
}

}  // namespace platform
