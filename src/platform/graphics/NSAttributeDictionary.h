#pragma once

#include <concepts>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>

#include "platform/graphics/NSColor.h"
#include "platform/graphics/NSFont.h"
#include "platform/graphics/NSParagraphStyle.h"
#include "platform/graphics/NSShadow.h"

namespace platform {

using NSAttributedStringKey = std::string;

// The attribute names of attributed strings, with the type of value each takes. Plain character
// constants rather than strings: threads of the shared dispatch queues may still read them while
// the process exits, after static strings would have been destroyed.

// NSFont.
inline constexpr const char* NSFontAttributeName = "NSFont";
// double: extra space after each character, in points.
inline constexpr const char* NSKernAttributeName = "NSKern";
// NSColor.
inline constexpr const char* NSForegroundColorAttributeName = "NSColor";
inline constexpr const char* NSBackgroundColorAttributeName = "NSBackgroundColor";
inline constexpr const char* NSUnderlineColorAttributeName = "NSUnderlineColor";
inline constexpr const char* NSStrikethroughColorAttributeName = "NSStrikethroughColor";
inline constexpr const char* NSStrokeColorAttributeName = "NSStrokeColor";
// int64 NSUnderlineStyle values.
inline constexpr const char* NSUnderlineStyleAttributeName = "NSUnderline";
inline constexpr const char* NSStrikethroughStyleAttributeName = "NSStrikethrough";
// double: per cent of the font size; positive: outline only, negative: outline and fill.
inline constexpr const char* NSStrokeWidthAttributeName = "NSStrokeWidth";
// NSShadow.
inline constexpr const char* NSShadowAttributeName = "NSShadow";
// NSParagraphStyle.
inline constexpr const char* NSParagraphStyleAttributeName = "NSParagraphStyle";

// The value of one attribute: a number, a colour, a font, a shadow, a paragraph style or a
// string. Values of different kinds are never equal (the integer 1 is not the double 1.0).
class NSAttributeValue {
public:
    using Storage = std::variant<double, std::int64_t, NSColor, NSFont, NSShadow, NSParagraphStyle,
                                 std::string>;

    NSAttributeValue(double value) : storage_(value) {}
    NSAttributeValue(float value) : storage_(static_cast<double>(value)) {}
    template <std::integral T>
    requires(!std::same_as<T, bool>) NSAttributeValue(T value)
        : storage_(static_cast<std::int64_t>(value)) {}
    NSAttributeValue(NSColor value) : storage_(value) {}
    NSAttributeValue(NSFont value) : storage_(std::move(value)) {}
    NSAttributeValue(NSShadow value) : storage_(std::move(value)) {}
    NSAttributeValue(NSParagraphStyle value) : storage_(value) {}
    NSAttributeValue(std::string value) : storage_(std::move(value)) {}
    NSAttributeValue(const char* value) : storage_(std::string(value)) {}

    const Storage& storage() const { return storage_; }

    // The value when it holds that type, else null.
    template <typename T>
    const T* getIf() const {
        return std::get_if<T>(&storage_);
    }
    const NSColor* color() const { return getIf<NSColor>(); }
    const NSFont* font() const { return getIf<NSFont>(); }
    const NSShadow* shadow() const { return getIf<NSShadow>(); }
    const NSParagraphStyle* paragraphStyle() const { return getIf<NSParagraphStyle>(); }
    const std::string* string() const { return getIf<std::string>(); }

    // Either kind of number as a double; nullopt for other values.
    std::optional<double> numberValue() const;
    // An integer, or a double with an integral value that an int64 holds; nullopt otherwise.
    std::optional<std::int64_t> integerValue() const;

    std::string description() const;

    friend bool operator==(const NSAttributeValue&, const NSAttributeValue&) = default;

private:
    Storage storage_;
};

// The attributes of a run of characters, by name.
using NSAttributeDictionary = std::map<NSAttributedStringKey, NSAttributeValue>;

// The value under `key` when it has type T, else null.
template <typename T>
const T* attributeValue(const NSAttributeDictionary& attributes, const NSAttributedStringKey& key) {
    const auto found = attributes.find(key);
    return found == attributes.end() ? nullptr : found->second.getIf<T>();
}

// "{NSColor = sRGB 1 1 1 1; NSFont = ...}".
std::string description(const NSAttributeDictionary& attributes);

}  // namespace platform
