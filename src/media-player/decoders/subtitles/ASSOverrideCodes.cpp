#include "media-player/decoders/subtitles/ASSOverrideCodes.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>
#include <optional>
#include <span>
#include <string_view>

extern "C" {
#include <libavutil/error.h>
}

#include "media-player/decoders/subtitles/ASSScanner.h"

namespace quillon {

namespace {

constexpr std::string_view codeEnds = "\\}";
constexpr std::size_t maximumNameLength = 127;
constexpr std::uint32_t noColour = 0xFFFFFFFF;

// A name of at most 127 characters, NUL-terminated for the callbacks.
class NameBuffer {
public:
    explicit NameBuffer(std::string_view name) {
        name = name.substr(0, maximumNameLength);
        name.copy(characters_.data(), name.size());
        characters_[name.size()] = '\0';
    }
    const char* c_str() const { return characters_.data(); }

private:
    std::array<char, maximumNameLength + 1> characters_{};
};

// Reads one override code at the start of `code` (which begins with "\"), reports it, and
// returns the number of characters read: the code and the "\" or "}" that follows it. The caller
// steps one less, so that it stands on that following character.
class OverrideCodeReader {
public:
    OverrideCodeReader(const ASSOverrideCallbacks& callbacks, void* priv, std::string_view code)
        : callbacks_(callbacks), priv_(priv), code_(code) {}

    std::size_t read() {
        if (auto length = readStyle()) {
            return *length;
        }
        if (auto length = readColour()) {
            return *length;
        }
        if (auto length = readAlpha()) {
            return *length;
        }
        if (auto length = readFontName()) {
            return *length;
        }
        if (auto length = readFontSize()) {
            return *length;
        }
        if (auto length = readAlignment()) {
            return *length;
        }
        if (auto length = readCancelOverrides()) {
            return *length;
        }
        if (auto length = readMove()) {
            return *length;
        }
        if (auto length = readOrigin()) {
            return *length;
        }
        if (auto length = readDrawingMode()) {
            return *length;
        }
        // Unknown codes are skipped up to the next code or the end of the block.
        std::size_t next = code_.find_first_of(codeEnds, 1);
        return (next == std::string_view::npos ? code_.size() : next) + 1;
    }

private:
    ASSScanner scanner() const { return ASSScanner(code_); }

    static bool separator(ASSScanner& scanner) { return scanner.oneOf(codeEnds).has_value(); }

    // "\b1", "\i0", "\u", "\s}" ...
    std::optional<std::size_t> readStyle() {
        ASSScanner s = scanner();
        std::optional<char> letter;
        std::optional<char> state;
        if (!s.literal("\\") || !(letter = s.oneOf("bisu")) || !(state = s.oneOf("01\\}"))) {
            return std::nullopt;
        }
        std::size_t length = s.position();
        std::int32_t close = -1;
        if (*state == '0' || *state == '1') {
            // A digit must end the code: "\b100" or "\t(\b1)" are other codes, and reading
            // them as "\b1" would leave the block unclosed and lose the whole event.
            std::optional<char> following = s.peek();
            if (following != '\\' && following != '}') {
                return std::nullopt;
            }
            close = *state == '0' ? 1 : 0;
            length += 1;
        }
        if (callbacks_.style) {
            callbacks_.style(priv_, *letter, close);
        }
        return length;
    }

    // "\c", "\c&HBBGGRR&", "\1c" to "\4c", each with or without a colour.
    std::optional<std::size_t> readColour() {
        for (bool numbered : {false, true}) {
            for (bool withValue : {false, true}) {
                ASSScanner s = scanner();
                std::uint32_t index = 0;
                std::uint32_t colour = noColour;
                if (!s.literal("\\")) {
                    return std::nullopt;
                }
                if (numbered) {
                    auto digit = s.oneOf("1234");
                    if (!digit) {
                        continue;
                    }
                    index = static_cast<std::uint32_t>(*digit - '0');
                }
                if (!s.literal("c")) {
                    continue;
                }
                if (withValue) {
                    auto value = s.literal("&H") ? s.hexadecimal() : std::nullopt;
                    if (!value || !s.literal("&")) {
                        continue;
                    }
                    colour = *value;
                }
                if (!separator(s)) {
                    continue;
                }
                if (callbacks_.color) {
                    callbacks_.color(priv_, colour, index);
                }
                return s.position();
            }
        }
        return std::nullopt;
    }

    // "\alpha", "\alpha&HAA&", "\1a" to "\4a", each with or without a value.
    std::optional<std::size_t> readAlpha() {
        for (bool numbered : {false, true}) {
            for (bool withValue : {false, true}) {
                ASSScanner s = scanner();
                std::int32_t index = 0;
                std::int32_t alpha = -1;
                if (numbered) {
                    auto digit = s.literal("\\") ? s.oneOf("1234") : std::nullopt;
                    if (!digit || !s.literal("a")) {
                        continue;
                    }
                    index = *digit - '0';
                } else if (!s.literal("\\alpha")) {
                    continue;
                }
                if (withValue) {
                    auto value = s.literal("&H") ? s.hexadecimal(2) : std::nullopt;
                    if (!value || !s.literal("&")) {
                        continue;
                    }
                    alpha = static_cast<std::int32_t>(*value);
                }
                if (!separator(s)) {
                    continue;
                }
                if (callbacks_.alpha) {
                    callbacks_.alpha(priv_, alpha, index);
                }
                return s.position();
            }
        }
        return std::nullopt;
    }

    // The name after a code like "\fn" or "\r": nothing (nullopt in the optional) when the
    // separator follows at once, else up to 127 characters; the outer nullopt when no match.
    std::optional<std::optional<std::string_view>> readName(ASSScanner& s, std::string_view key) {
        if (!s.literal(key)) {
            return std::nullopt;
        }
        ASSScanner empty = s;
        if (separator(empty)) {
            s = empty;
            return std::optional<std::string_view>();
        }
        auto name = s.spanNotOf(codeEnds, maximumNameLength);
        if (!name || !separator(s)) {
            return std::nullopt;
        }
        return std::optional<std::string_view>(name);
    }

    std::optional<std::size_t> readFontName() {
        ASSScanner s = scanner();
        auto name = readName(s, "\\fn");
        if (!name) {
            return std::nullopt;
        }
        if (callbacks_.fontName) {
            if (*name) {
                NameBuffer buffer(**name);
                callbacks_.fontName(priv_, buffer.c_str());
            } else {
                callbacks_.fontName(priv_, nullptr);
            }
        }
        return s.position();
    }

    std::optional<std::size_t> readCancelOverrides() {
        ASSScanner s = scanner();
        auto name = readName(s, "\\r");
        if (!name) {
            return std::nullopt;
        }
        if (callbacks_.cancelOverrides) {
            NameBuffer buffer(name->value_or(std::string_view()));
            callbacks_.cancelOverrides(priv_, buffer.c_str());
        }
        return s.position();
    }

    std::optional<std::size_t> readFontSize() {
        for (bool withValue : {false, true}) {
            ASSScanner s = scanner();
            std::int32_t size = -1;
            if (!s.literal("\\fs")) {
                return std::nullopt;
            }
            if (withValue) {
                auto value = s.unsignedDecimal();
                if (!value ||
                    *value > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max())) {
                    continue;
                }
                size = static_cast<std::int32_t>(*value);
            }
            if (!separator(s)) {
                continue;
            }
            if (callbacks_.fontSize) {
                callbacks_.fontSize(priv_, size);
            }
            return s.position();
        }
        return std::nullopt;
    }

    // "\a" with the legacy numbering (up to two digits), "\an" with the keypad numbering.
    std::optional<std::size_t> readAlignment() {
        for (bool keypad : {false, true}) {
            for (bool withValue : {false, true}) {
                ASSScanner s = scanner();
                std::int32_t alignment = -1;
                if (!s.literal(keypad ? "\\an" : "\\a")) {
                    continue;
                }
                if (withValue) {
                    auto value = s.unsignedDecimal(keypad ? 1 : 2);
                    if (!value) {
                        continue;
                    }
                    alignment = static_cast<std::int32_t>(*value);
                    if (!keypad) {
                        alignment = (alignment & 3) + ((alignment & 4)   ? 6
                                                       : (alignment & 8) ? 3
                                                                         : 0);
                    }
                }
                if (!separator(s)) {
                    continue;
                }
                if (callbacks_.alignment) {
                    callbacks_.alignment(priv_, alignment);
                }
                return s.position();
            }
        }
        return std::nullopt;
    }

    // Reads "(n1,n2,...)" with `count` signed numbers. The first `coordinates` of them may have
    // fractions, which scripts use for canvas positions; they are rounded to whole pixels.
    static bool readArguments(ASSScanner& s, std::span<std::int32_t> values,
                              std::size_t coordinates = 0) {
        if (!s.literal("(")) {
            return false;
        }
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (i > 0 && !s.literal(",")) {
                return false;
            }
            std::optional<std::int32_t> value;
            if (i < coordinates) {
                std::optional<float> coordinate = s.floatingPoint();
                constexpr float limit = 1e9F;
                if (coordinate && std::fabs(*coordinate) < limit) {
                    value = static_cast<std::int32_t>(std::lround(*coordinate));
                }
            } else {
                value = s.signedDecimal();
            }
            if (!value) {
                return false;
            }
            values[i] = *value;
        }
        return s.literal(")");
    }

    std::optional<std::size_t> readMove() {
        std::array<std::int32_t, 6> values{0, 0, 0, 0, -1, -1};
        for (std::size_t count : {std::size_t{4}, std::size_t{6}}) {
            ASSScanner s = scanner();
            if (s.literal("\\move") && readArguments(s, std::span(values).first(count), 4) &&
                separator(s)) {
                if (count == 4) {
                    values[4] = values[5] = -1;
                }
                if (callbacks_.move) {
                    callbacks_.move(priv_, values[0], values[1], values[2], values[3], values[4],
                                    values[5]);
                }
                return s.position();
            }
        }
        ASSScanner s = scanner();
        std::array<std::int32_t, 2> point{};
        if (s.literal("\\pos") && readArguments(s, point, 2) && separator(s)) {
            if (callbacks_.move) {
                callbacks_.move(priv_, point[0], point[1], point[0], point[1], -1, -1);
            }
            return s.position();
        }
        return std::nullopt;
    }

    std::optional<std::size_t> readOrigin() {
        ASSScanner s = scanner();
        std::array<std::int32_t, 2> point{};
        if (s.literal("\\org") && readArguments(s, point) && separator(s)) {
            if (callbacks_.origin) {
                callbacks_.origin(priv_, point[0], point[1]);
            }
            return s.position();
        }
        return std::nullopt;
    }

    // "\p0" ... "\p4"; "\pos" and "\pbo" are other codes.
    std::optional<std::size_t> readDrawingMode() {
        ASSScanner s = scanner();
        if (!s.literal("\\p")) {
            return std::nullopt;
        }
        auto level = s.unsignedDecimal();
        if (!level ||
            *level > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max()) ||
            !separator(s)) {
            return std::nullopt;
        }
        if (callbacks_.drawingMode) {
            callbacks_.drawingMode(priv_, static_cast<std::int32_t>(*level));
        }
        return s.position();
    }

    const ASSOverrideCallbacks& callbacks_;
    void* priv_;
    std::string_view code_;
};

}  // namespace

std::int32_t assSplitOverrideCodes(const ASSOverrideCallbacks& callbacks, void* priv,
                                   const char* text) {
    std::string_view view = text ? std::string_view(text) : std::string_view();
    std::size_t position = 0;
    // The pending run of plain text, reported in place.
    std::size_t runStart = 0;
    std::int32_t runLength = 0;
    auto reportRun = [&] {
        if (runLength > 0 && callbacks.text) {
            callbacks.text(priv, view.data() + runStart, runLength);
        }
        runLength = 0;
    };

    while (position < view.size()) {
        bool atNewLine = view[position] == '\\' && position + 1 < view.size() &&
                         (view[position + 1] == 'n' || view[position + 1] == 'N');
        // A block of codes, or a comment: braces that close. An unclosed block of codes still
        // counts as a block, and fails below.
        bool atBlock =
            view[position] == '{' && (view.substr(position).starts_with("{\\") ||
                                      view.find('}', position + 1) != std::string_view::npos);
        if (atNewLine || atBlock) {
            reportRun();
        }
        if (atNewLine) {
            if (callbacks.newLine) {
                callbacks.newLine(priv, view[position + 1] == 'N' ? 1 : 0);
            }
            position += 2;
        } else if (atBlock) {
            ++position;
            while (position < view.size() && view[position] != '}') {
                if (view[position] != '\\') {
                    ++position;
                    continue;
                }
                std::size_t length =
                    OverrideCodeReader(callbacks, priv, view.substr(position)).read();
                position += length - 1;
            }
            if (position >= view.size() || view[position] != '}') {
                return AVERROR_INVALIDDATA;
            }
            ++position;
        } else {
            if (runLength == std::numeric_limits<std::int32_t>::max()) {
                reportRun();
            }
            if (runLength == 0) {
                runStart = position;
            }
            ++runLength;
            ++position;
        }
    }
    reportRun();
    if (callbacks.end) {
        callbacks.end(priv);
    }
    return 0;
}

}  // namespace quillon
