#include "platform/graphics/NSAttributedString.h"

#include <algorithm>

#include <fmt/format.h>
#include <QString>

#include "platform/foundation/FatalError.h"
#include "platform/graphics/NSMutableAttributedString.h"

namespace platform {

NSAttributedString::NSAttributedString(std::string_view utf8, NSAttributeDictionary attributes)
    : NSAttributedString(
          QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())).toStdU16String(),
          std::move(attributes)) {}

NSAttributedString::NSAttributedString(std::u16string utf16, NSAttributeDictionary attributes)
    : text_(std::move(utf16)) {
    if (!text_.empty()) {
        runs_.push_back({0, std::move(attributes)});
    }
}

NSAttributedString::NSAttributedString(const QString& text, NSAttributeDictionary attributes)
    : NSAttributedString(text.toStdU16String(), std::move(attributes)) {}

std::string NSAttributedString::string() const {
    return qString().toStdString();
}

QString NSAttributedString::qString() const {
    return QString::fromStdU16String(text_);
}

void NSAttributedString::checkRange(NSRange range, const char* operation) const {
    if (range.location > text_.size() || range.length > text_.size() - range.location) {
        fatalError(fmt::format("{}: range {} out of bounds; string length {}.", operation,
                               NSStringFromRange(range), text_.size()));
    }
}

std::size_t NSAttributedString::runIndexAt(NSUInteger index) const {
    const auto after = std::upper_bound(runs_.begin(), runs_.end(), index,
                                        [](NSUInteger i, const Run& run) { return i < run.start; });
    return static_cast<std::size_t>(after - runs_.begin()) - 1;
}

NSUInteger NSAttributedString::runEnd(std::size_t runIndex) const {
    return runIndex + 1 < runs_.size() ? runs_[runIndex + 1].start : text_.size();
}

const NSAttributeDictionary& NSAttributedString::attributesAtIndex(NSUInteger index,
                                                                   NSRange* effectiveRange) const {
    if (index >= text_.size()) {
        fatalError(fmt::format("attributesAtIndex: index {} out of bounds; string length {}.",
                               index, text_.size()));
    }
    const std::size_t run = runIndexAt(index);
    if (effectiveRange) {
        *effectiveRange = {runs_[run].start, runEnd(run) - runs_[run].start};
    }
    return runs_[run].attributes;
}

namespace {

const NSAttributeValue* find(const NSAttributeDictionary& attributes,
                             const NSAttributedStringKey& name) {
    const auto found = attributes.find(name);
    return found == attributes.end() ? nullptr : &found->second;
}

bool sameValue(const NSAttributeValue* a, const NSAttributeValue* b) {
    return a == nullptr ? b == nullptr : (b != nullptr && *a == *b);
}

}  // namespace

const NSAttributeValue* NSAttributedString::attributeAtIndex(const NSAttributedStringKey& name,
                                                             NSUInteger index,
                                                             NSRange* effectiveRange) const {
    if (index >= text_.size()) {
        fatalError(fmt::format("attributeAtIndex: index {} out of bounds; string length {}.", index,
                               text_.size()));
    }
    const std::size_t run = runIndexAt(index);
    const NSAttributeValue* value = find(runs_[run].attributes, name);
    if (effectiveRange) {
        std::size_t first = run;
        while (first > 0 && sameValue(find(runs_[first - 1].attributes, name), value)) {
            --first;
        }
        std::size_t last = run;
        while (last + 1 < runs_.size() &&
               sameValue(find(runs_[last + 1].attributes, name), value)) {
            ++last;
        }
        *effectiveRange = {runs_[first].start, runEnd(last) - runs_[first].start};
    }
    return value;
}

void NSAttributedString::enumerateAttributes(NSRange range, const AttributesBlock& block) const {
    checkRange(range, "enumerateAttributes");
    if (range.length == 0) {
        return;
    }
    const NSUInteger end = NSMaxRange(range);
    for (std::size_t run = runIndexAt(range.location); run < runs_.size(); ++run) {
        const NSUInteger start = std::max(runs_[run].start, range.location);
        if (start >= end) {
            break;
        }
        bool stop = false;
        block(runs_[run].attributes, {start, std::min(runEnd(run), end) - start}, stop);
        if (stop) {
            break;
        }
    }
}

void NSAttributedString::enumerateAttribute(const NSAttributedStringKey& name, NSRange range,
                                            const AttributeBlock& block) const {
    checkRange(range, "enumerateAttribute");
    NSUInteger index = range.location;
    const NSUInteger end = NSMaxRange(range);
    while (index < end) {
        NSRange effective;
        const NSAttributeValue* value = attributeAtIndex(name, index, &effective);
        const NSUInteger stretchEnd = std::min(NSMaxRange(effective), end);
        bool stop = false;
        block(value, {index, stretchEnd - index}, stop);
        if (stop) {
            break;
        }
        index = stretchEnd;
    }
}

NSAttributedString NSAttributedString::attributedSubstringFromRange(NSRange range) const {
    checkRange(range, "attributedSubstringFromRange");
    NSAttributedString result;
    result.text_ = text_.substr(range.location, range.length);
    enumerateAttributes(
        range, [&](const NSAttributeDictionary& attributes, NSRange runRange, bool&) {
            result.runs_.push_back({runRange.location - range.location, attributes});
        });
    return result;
}

NSAttributedStringRef NSAttributedString::copy() const {
    return std::make_shared<const NSAttributedString>(*this);
}

NSMutableAttributedString NSAttributedString::mutableCopy() const {
    return NSMutableAttributedString(*this);
}

std::string NSAttributedString::description() const {
    std::string text = fmt::format("\"{}\"", string());
    for (std::size_t run = 0; run < runs_.size(); ++run) {
        text += fmt::format(" {}{}",
                            NSStringFromRange({runs_[run].start, runEnd(run) - runs_[run].start}),
                            platform::description(runs_[run].attributes));
    }
    return text;
}

bool operator==(const NSAttributedString& a, const NSAttributedString& b) {
    return a.text_ == b.text_ && a.runs_ == b.runs_;
}

}  // namespace platform
