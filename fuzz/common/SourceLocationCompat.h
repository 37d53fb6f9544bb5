// Clang before 15 has no __builtin_source_location, so libstdc++ 12 leaves std::source_location
// undefined under it. The fuzzer build (Clang 14, for libFuzzer) force-includes this header to
// supply an equivalent made of the older builtins. Never used by the GCC build.
#pragma once

#if defined(__clang__) && !__has_builtin(__builtin_source_location) && defined(__cplusplus)
#include <cstdint>
#include <source_location>

namespace std {
struct source_location {
    static constexpr source_location current(
        const char* file = __builtin_FILE(), const char* function = __builtin_FUNCTION(),
        std::uint_least32_t line = __builtin_LINE(),
        std::uint_least32_t column = __builtin_COLUMN()) noexcept {
        source_location location;
        location.file_ = file;
        location.function_ = function;
        location.line_ = line;
        location.column_ = column;
        return location;
    }
    constexpr source_location() noexcept = default;
    constexpr const char* file_name() const noexcept { return file_; }
    constexpr const char* function_name() const noexcept { return function_; }
    constexpr std::uint_least32_t line() const noexcept { return line_; }
    constexpr std::uint_least32_t column() const noexcept { return column_; }

private:
    const char* file_ = "";
    const char* function_ = "";
    std::uint_least32_t line_ = 0;
    std::uint_least32_t column_ = 0;
};
}  // namespace std
#endif
