#pragma once

#include "platform/graphics/NSAttributedString.h"

namespace platform {

// An attributed string that can be edited in place. Every edit leaves the runs maximal, so
// equality keeps meaning "same text, same attributes per character".
class NSMutableAttributedString : public NSAttributedString {
public:
    using NSAttributedString::NSAttributedString;
    NSMutableAttributedString() = default;
    explicit NSMutableAttributedString(const NSAttributedString& string)
        : NSAttributedString(string) {}

    // Replaces the characters in `range`; the new characters take the attributes of the first
    // replaced character, or, for an empty range, of the character before it (of the first
    // character when inserting at 0).
    void replaceCharacters(NSRange range, std::u16string_view utf16);
    void replaceCharacters(NSRange range, std::string_view utf8);
    // Replaces the characters in `range` with the string and its attributes.
    void replaceCharacters(NSRange range, const NSAttributedString& string);
    void insertAttributedString(const NSAttributedString& string, NSUInteger index);
    void deleteCharacters(NSRange range);
    void appendAttributedString(const NSAttributedString& string);
    void append(std::string_view utf8, const NSAttributeDictionary& attributes);
    void append(std::u16string_view utf16, const NSAttributeDictionary& attributes);
    void setAttributedString(const NSAttributedString& string);

    // Replaces all attributes over the range.
    void setAttributes(const NSAttributeDictionary& attributes, NSRange range);
    // Sets one attribute over the range, keeping the others.
    void addAttribute(const NSAttributedStringKey& name, const NSAttributeValue& value,
                      NSRange range);
    void addAttributes(const NSAttributeDictionary& attributes, NSRange range);
    void removeAttribute(const NSAttributedStringKey& name, NSRange range);

private:
    // Makes a run start at `index` (<= length) unless one does; returns that run's index (the
    // number of runs when index == length).
    std::size_t splitRunAt(NSUInteger index);
    // Splits at both ends of the range and calls `edit` on each run inside it.
    template <typename Edit>
    void editRuns(NSRange range, Edit&& edit);
    void coalesceRuns();
};

}  // namespace platform
