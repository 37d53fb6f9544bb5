#include "platform/graphics/NSMutableAttributedString.h"

#include <QString>

namespace platform {

std::size_t NSMutableAttributedString::splitRunAt(NSUInteger index) {
    if (index >= text_.size()) {
        return runs_.size();
    }
    const std::size_t run = runIndexAt(index);
    if (runs_[run].start == index) {
        return run;
    }
    runs_.insert(runs_.begin() + static_cast<std::ptrdiff_t>(run) + 1,
                 Run{index, runs_[run].attributes});
    return run + 1;
}

template <typename Edit>
void NSMutableAttributedString::editRuns(NSRange range, Edit&& edit) {
    if (range.length == 0) {
        return;
    }
    const std::size_t first = splitRunAt(range.location);
    const std::size_t end = splitRunAt(NSMaxRange(range));
    for (std::size_t run = first; run < end; ++run) {
        edit(runs_[run].attributes);
    }
    coalesceRuns();
}

void NSMutableAttributedString::coalesceRuns() {
    if (runs_.empty()) {
        return;
    }
    std::size_t kept = 0;
    for (std::size_t run = 1; run < runs_.size(); ++run) {
        if (runs_[run].attributes != runs_[kept].attributes) {
            ++kept;
            if (kept != run) {
                runs_[kept] = std::move(runs_[run]);
            }
        }
    }
    runs_.resize(kept + 1);
}

void NSMutableAttributedString::replaceCharacters(NSRange range, const NSAttributedString& string) {
    checkRange(range, "replaceCharacters");
    // Copy first: the replacement may be this very string.
    const std::u16string newText = string.utf16String();
    std::vector<Run> newRuns;
    string.enumerateAttributes({0, string.length()}, [&](const NSAttributeDictionary& attributes,
                                                         NSRange runRange, bool&) {
        newRuns.push_back({runRange.location + range.location, attributes});
    });

    const std::size_t first = splitRunAt(range.location);
    const std::size_t end = splitRunAt(NSMaxRange(range));
    runs_.erase(runs_.begin() + static_cast<std::ptrdiff_t>(first),
                runs_.begin() + static_cast<std::ptrdiff_t>(end));
    for (std::size_t run = first; run < runs_.size(); ++run) {
        runs_[run].start = runs_[run].start - range.length + newText.size();
    }
    runs_.insert(runs_.begin() + static_cast<std::ptrdiff_t>(first),
                 std::make_move_iterator(newRuns.begin()), std::make_move_iterator(newRuns.end()));
    text_.replace(range.location, range.length, newText);
    coalesceRuns();
}

void NSMutableAttributedString::replaceCharacters(NSRange range, std::u16string_view utf16) {
    checkRange(range, "replaceCharacters");
    NSAttributeDictionary attributes;
    if (!text_.empty()) {
        NSUInteger source = range.location;
        if (range.length == 0 && source > 0) {
            source -= 1;
        }
        attributes = attributesAtIndex(std::min<NSUInteger>(source, text_.size() - 1));
    }
    replaceCharacters(range, NSAttributedString(std::u16string(utf16), std::move(attributes)));
}

void NSMutableAttributedString::replaceCharacters(NSRange range, std::string_view utf8) {
    replaceCharacters(
        range,
        QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())).toStdU16String());
}

void NSMutableAttributedString::insertAttributedString(const NSAttributedString& string,
                                                       NSUInteger index) {
    replaceCharacters(NSRange{index, 0}, string);
}

void NSMutableAttributedString::deleteCharacters(NSRange range) {
    replaceCharacters(range, NSAttributedString());
}

void NSMutableAttributedString::appendAttributedString(const NSAttributedString& string) {
    replaceCharacters(NSRange{length(), 0}, string);
}

void NSMutableAttributedString::append(std::string_view utf8,
                                       const NSAttributeDictionary& attributes) {
    appendAttributedString(NSAttributedString(utf8, attributes));
}

void NSMutableAttributedString::append(std::u16string_view utf16,
                                       const NSAttributeDictionary& attributes) {
    appendAttributedString(NSAttributedString(std::u16string(utf16), attributes));
}

void NSMutableAttributedString::setAttributedString(const NSAttributedString& string) {
    replaceCharacters(NSRange{0, length()}, string);
}

void NSMutableAttributedString::setAttributes(const NSAttributeDictionary& attributes,
                                              NSRange range) {
    checkRange(range, "setAttributes");
    editRuns(range, [&](NSAttributeDictionary& runAttributes) { runAttributes = attributes; });
}

void NSMutableAttributedString::addAttribute(const NSAttributedStringKey& name,
                                             const NSAttributeValue& value, NSRange range) {
    checkRange(range, "addAttribute");
    editRuns(range, [&](NSAttributeDictionary& runAttributes) {
        runAttributes.insert_or_assign(name, value);
    });
}

void NSMutableAttributedString::addAttributes(const NSAttributeDictionary& attributes,
                                              NSRange range) {
    checkRange(range, "addAttributes");
    editRuns(range, [&](NSAttributeDictionary& runAttributes) {
        for (const auto& [name, value] : attributes) {
            runAttributes.insert_or_assign(name, value);
        }
    });
}

void NSMutableAttributedString::removeAttribute(const NSAttributedStringKey& name, NSRange range) {
    checkRange(range, "removeAttribute");
    editRuns(range, [&](NSAttributeDictionary& runAttributes) { runAttributes.erase(name); });
}

}  // namespace platform
