#pragma once

#include <utility>
#include <variant>
#include <vector>

#include "media-player/decoders/subtitles/FormattedTextSubtitle.h"
#include "media-player/decoders/subtitles/ImageSubtitle.h"
#include "media-player/decoders/subtitles/TextSubtitle.h"

namespace quillon {

// What one subtitle frame shows: plain text, formatted text, images, or the order to clear what
// is on screen.
class Subtitles {
public:
    // The cases in declaration order.
    enum class Kind { text, formattedText, images, clearPreviousSubtitles };

    struct ClearPreviousSubtitles {
        friend bool operator==(const ClearPreviousSubtitles&,
                               const ClearPreviousSubtitles&) = default;
    };

    using Value = std::variant<TextSubtitle, std::vector<FormattedTextSubtitle>,
                               std::vector<ImageSubtitle>, ClearPreviousSubtitles>;

    static Subtitles text(TextSubtitle subtitle) {
        return Subtitles(std::in_place_type<TextSubtitle>, std::move(subtitle));
    }
    static Subtitles formattedText(std::vector<FormattedTextSubtitle> subtitles) {
        return Subtitles(std::in_place_type<std::vector<FormattedTextSubtitle>>,
                         std::move(subtitles));
    }
    static Subtitles images(std::vector<ImageSubtitle> subtitles) {
        return Subtitles(std::in_place_type<std::vector<ImageSubtitle>>, std::move(subtitles));
    }
    static Subtitles clearPreviousSubtitles() {
        return Subtitles(std::in_place_type<ClearPreviousSubtitles>);
    }

    Kind kind() const { return static_cast<Kind>(value_.index()); }

    // The payload of the case, or null for the other cases.
    const TextSubtitle* textSubtitle() const { return std::get_if<TextSubtitle>(&value_); }
    const std::vector<FormattedTextSubtitle>* formattedTextSubtitles() const {
        return std::get_if<std::vector<FormattedTextSubtitle>>(&value_);
    }
    const std::vector<ImageSubtitle>* imageSubtitles() const {
        return std::get_if<std::vector<ImageSubtitle>>(&value_);
    }

    // For std::visit.
    const Value& value() const { return value_; }

private:
    template <typename T, typename... Arguments>
    explicit Subtitles(std::in_place_type_t<T> type, Arguments&&... arguments)
        : value_(type, std::forward<Arguments>(arguments)...) {}

    Value value_;
};

}  // namespace quillon
