#pragma once

#include <concepts>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

class QLocale;

// printf-style format strings as the system's localized texts use them: "%@" (an object's
// description; a string here), "%d", "%ld", "%u", "%x", "%g", "%.2f", "%s", "%c", "%%", with
// positional forms ("%2$@ %1$@") so that translations can reorder their arguments.
//
// Flags (- + space # 0 '), width, precision and length modifiers (hh h l ll q z t j L) are read;
// lengths do not matter because every integer argument is 64-bit. A specifier whose argument is
// missing produces nothing (and is logged); an argument of another kind is converted (a double
// for "%d" is truncated, a number for "%@" is written in its plain form). Unknown conversions
// are copied as written. '*' widths are not supported.
namespace platform {

using FormatArgument = std::variant<std::string, std::int64_t, double>;

// Formats with the POSIX conventions: "." as the decimal point and no digit grouping.
std::string stringWithFormat(std::string_view format, const std::vector<FormatArgument>& arguments);

// Formats numbers as the given locale writes them: its decimal point, and its grouping
// separator in the integer part of decimal conversions (d, i, u, f, F, g, G) unless the locale
// omits grouping (QLocale::OmitGroupSeparator, as the C locale does).
std::string stringWithFormat(std::string_view format, const std::vector<FormatArgument>& arguments,
                             const QLocale& locale);

// Formats with the current locale (QLocale()).
std::string localizedStringWithFormat(std::string_view format,
                                      const std::vector<FormatArgument>& arguments);

template <typename T>
FormatArgument makeFormatArgument(T&& value) {
    using Value = std::remove_cvref_t<T>;
    if constexpr (std::is_same_v<Value, FormatArgument>) {
        return value;
    } else if constexpr (std::is_floating_point_v<Value>) {
        return static_cast<double>(value);
    } else if constexpr (std::is_integral_v<Value> || std::is_enum_v<Value>) {
        return static_cast<std::int64_t>(value);
    } else {
        static_assert(std::is_convertible_v<T, std::string_view>,
                      "format arguments are strings, integers or floating-point numbers");
        return std::string(std::string_view(value));
    }
}

// localizedStringWithFormat with the arguments given directly:
// localizedFormat(localizedString("%1$@ Preferences", "..."), appName).
template <typename... Args>
std::string localizedFormat(std::string_view format, Args&&... arguments) {
    return localizedStringWithFormat(format,
                                     {makeFormatArgument(std::forward<Args>(arguments))...});
}

}  // namespace platform
