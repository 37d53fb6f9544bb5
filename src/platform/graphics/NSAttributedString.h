#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/graphics/NSAttributeDictionary.h"
#include "platform/graphics/NSRange.h"

class QString;

namespace platform {

class NSAttributedString;
class NSMutableAttributedString;

// Attributed strings are shared immutably once built.
using NSAttributedStringRef = std::shared_ptr<const NSAttributedString>;

// A string whose characters carry attributes. Text is held as UTF-16, and every index, length and
// range counts UTF-16 code units (a character outside the Basic Multilingual Plane, such as an
// emoji, takes two), matching the layout engine; text comes in and goes out as UTF-8 too.
//
// The attributes are kept as runs: maximal ranges of characters with equal attributes, so two
// strings are equal exactly when their texts and their runs are. A plain value type; copies are
// independent. Indices and ranges beyond the end are programming errors and stop the process.
class NSAttributedString {
public:
    // One run's attributes and range, as enumeration hands them out.
    using AttributesBlock =
        std::function<void(const NSAttributeDictionary& attributes, NSRange range, bool& stop)>;
    // The value is null where the characters lack the attribute.
    using AttributeBlock =
        std::function<void(const NSAttributeValue* value, NSRange range, bool& stop)>;

    NSAttributedString() = default;
    // The whole text with the given attributes. UTF-8 that is not well formed is decoded with
    // replacement characters.
    explicit NSAttributedString(std::string_view utf8, NSAttributeDictionary attributes = {});
    explicit NSAttributedString(std::u16string utf16, NSAttributeDictionary attributes = {});
    explicit NSAttributedString(const QString& text, NSAttributeDictionary attributes = {});

    NSUInteger length() const { return text_.size(); }
    // The text as UTF-16 code units.
    const std::u16string& utf16String() const { return text_; }
    // The text as UTF-8 (unpaired surrogates become replacement characters).
    std::string string() const;
    QString qString() const;

    // The attributes of the character at `index` (which must be < length); `effectiveRange`, when
    // given, receives the whole run with these attributes.
    const NSAttributeDictionary& attributesAtIndex(NSUInteger index,
                                                   NSRange* effectiveRange = nullptr) const;
    // The value of one attribute at `index` (null when absent); `effectiveRange` receives the
    // longest range around the index over which that attribute has the same value (or is equally
    // absent), regardless of the other attributes.
    const NSAttributeValue* attributeAtIndex(const NSAttributedStringKey& name, NSUInteger index,
                                             NSRange* effectiveRange = nullptr) const;

    // Calls the block for each run inside `range`, in order, clipped to the range, until it sets
    // `stop`.
    void enumerateAttributes(NSRange range, const AttributesBlock& block) const;
    // Calls the block for each maximal range inside `range` over which the attribute's value is
    // the same (or absent), in order, until it sets `stop`.
    void enumerateAttribute(const NSAttributedStringKey& name, NSRange range,
                            const AttributeBlock& block) const;

    NSAttributedString attributedSubstringFromRange(NSRange range) const;

    // An immutable snapshot to share.
    NSAttributedStringRef copy() const;
    NSMutableAttributedString mutableCopy() const;

    // The text, then each run's range and attributes.
    std::string description() const;

    friend bool operator==(const NSAttributedString& a, const NSAttributedString& b);

protected:
    struct Run {
        NSUInteger start = 0;
        NSAttributeDictionary attributes;

        friend bool operator==(const Run&, const Run&) = default;
    };

    void checkRange(NSRange range, const char* operation) const;
    // Index of the run that holds the character at `index` (< length).
    std::size_t runIndexAt(NSUInteger index) const;
    NSUInteger runEnd(std::size_t runIndex) const;

    std::u16string text_;
    // Ordered by start; the first starts at 0; each is non-empty; neighbours differ. Empty for an
    // empty string.
    std::vector<Run> runs_;
};

}  // namespace platform
