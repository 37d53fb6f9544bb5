#include "libraries/calyxware/ArchivedAttributedString.h"

#include <fmt/format.h>

#include <cstdint>
#include <string>
#include <vector>

#include "libraries/calyxware/ArchivedColor.h"
#include "libraries/calyxware/CodingSupport.h"
#include "platform/graphics/NSFontManager.h"
#include "platform/graphics/NSMutableAttributedString.h"

namespace calyxware {

namespace {

using platform::NSAttributeDictionary;
using platform::NSAttributeValue;

// The kinds an attribute value is written as; stored as numbers, so never renumber them.
enum class ValueKind : std::int64_t {
    real = 0,
    integer = 1,
    color = 2,
    font = 3,
    shadow = 4,
    paragraphStyle = 5,
    string = 6,
};

constexpr std::string_view kKindKey = "kind";
constexpr std::string_view kNumberKey = "number";
constexpr std::string_view kColorKey = "color";
constexpr std::string_view kFamilyKey = "family";
constexpr std::string_view kSizeKey = "size";
constexpr std::string_view kBoldKey = "bold";
constexpr std::string_view kItalicKey = "italic";
constexpr std::string_view kOffsetWidthKey = "offsetWidth";
constexpr std::string_view kOffsetHeightKey = "offsetHeight";
constexpr std::string_view kBlurRadiusKey = "blurRadius";
constexpr std::string_view kAlignmentKey = "alignment";
constexpr std::string_view kLineBreakModeKey = "lineBreakMode";
constexpr std::string_view kParagraphSpacingKey = "paragraphSpacing";
constexpr std::string_view kStringKey = "string";

constexpr std::string_view kLocationKey = "location";
constexpr std::string_view kLengthKey = "length";
constexpr std::string_view kNamesKey = "names";
constexpr std::string_view kValuesKey = "values";

constexpr std::string_view kTextKey = "utf16";
constexpr std::string_view kRunsKey = "runs";

// One attribute value.
class ArchivedAttributeValue final : public platform::SecureCoded<ArchivedAttributeValue> {
public:
    static constexpr std::string_view className = "org.Calyxware.AttributeValue";

    explicit ArchivedAttributeValue(NSAttributeValue value) : value_(std::move(value)) {}
    const NSAttributeValue& value() const { return value_; }

    void encode(platform::NSKeyedArchiver& coder) const override {
        std::visit([&coder](const auto& value) { encodeValue(coder, value); }, value_.storage());
    }

    static std::shared_ptr<ArchivedAttributeValue> initWithCoder(
        platform::NSKeyedUnarchiver& coder) {
        auto value = decodeValue(coder);
        if (!value) {
            failCorruptArchive(coder, "an attribute value of unknown kind");
            return nullptr;
        }
        return std::make_shared<ArchivedAttributeValue>(std::move(*value));
    }

private:
    static void encodeKind(platform::NSKeyedArchiver& coder, ValueKind kind) {
        coder.encodeInt64(static_cast<std::int64_t>(kind), kKindKey);
    }
    static void encodeValue(platform::NSKeyedArchiver& coder, double value) {
        encodeKind(coder, ValueKind::real);
        coder.encodeDouble(value, kNumberKey);
    }
    static void encodeValue(platform::NSKeyedArchiver& coder, std::int64_t value) {
        encodeKind(coder, ValueKind::integer);
        coder.encodeInt64(value, kNumberKey);
    }
    static void encodeValue(platform::NSKeyedArchiver& coder, const platform::NSColor& value) {
        encodeKind(coder, ValueKind::color);
        encodeColor(coder, value, kColorKey);
    }
    static void encodeValue(platform::NSKeyedArchiver& coder, const platform::NSFont& value) {
        encodeKind(coder, ValueKind::font);
        coder.encodeString(value.familyName(), kFamilyKey);
        coder.encodeDouble(value.pointSize(), kSizeKey);
        coder.encodeBool(value.isBold(), kBoldKey);
        coder.encodeBool(value.isItalic(), kItalicKey);
    }
    static void encodeValue(platform::NSKeyedArchiver& coder, const platform::NSShadow& value) {
        encodeKind(coder, ValueKind::shadow);
        coder.encodeDouble(value.shadowOffset.width, kOffsetWidthKey);
        coder.encodeDouble(value.shadowOffset.height, kOffsetHeightKey);
        coder.encodeDouble(value.shadowBlurRadius, kBlurRadiusKey);
        if (value.shadowColor) {
            encodeColor(coder, *value.shadowColor, kColorKey);
        }
    }
    static void encodeValue(platform::NSKeyedArchiver& coder,
                            const platform::NSParagraphStyle& value) {
        encodeKind(coder, ValueKind::paragraphStyle);
        coder.encodeInt64(static_cast<std::int64_t>(value.alignment), kAlignmentKey);
        coder.encodeInt64(static_cast<std::int64_t>(value.lineBreakMode), kLineBreakModeKey);
        coder.encodeDouble(value.paragraphSpacing, kParagraphSpacingKey);
    }
    static void encodeValue(platform::NSKeyedArchiver& coder, const std::string& value) {
        encodeKind(coder, ValueKind::string);
        coder.encodeString(value, kStringKey);
    }

    static std::optional<NSAttributeValue> decodeValue(platform::NSKeyedUnarchiver& coder) {
        switch (static_cast<ValueKind>(coder.decodeInt64(kKindKey))) {
            case ValueKind::real:
                return NSAttributeValue(coder.decodeDouble(kNumberKey));
            case ValueKind::integer:
                return NSAttributeValue(coder.decodeInt64(kNumberKey));
            case ValueKind::color:
                if (auto color = decodeColor(coder, kColorKey)) {
                    return NSAttributeValue(*color);
                }
                return std::nullopt;
            case ValueKind::font:
                return NSAttributeValue(decodeFont(coder));
            case ValueKind::shadow: {
                platform::NSShadow shadow;
                shadow.shadowOffset = platform::CGSizeMake(coder.decodeDouble(kOffsetWidthKey),
                                                           coder.decodeDouble(kOffsetHeightKey));
                shadow.shadowBlurRadius = coder.decodeDouble(kBlurRadiusKey);
                shadow.shadowColor = decodeColor(coder, kColorKey);
                return NSAttributeValue(shadow);
            }
            case ValueKind::paragraphStyle: {
                const auto alignment = coder.decodeInt64(kAlignmentKey);
                const auto lineBreakMode = coder.decodeInt64(kLineBreakModeKey);
                if (alignment < 0 ||
                    alignment > static_cast<std::int64_t>(platform::NSTextAlignmentNatural) ||
                    lineBreakMode < 0 ||
                    lineBreakMode >
                        static_cast<std::int64_t>(platform::NSLineBreakByTruncatingMiddle)) {
                    return std::nullopt;
                }
                platform::NSParagraphStyle style;
                style.alignment = static_cast<platform::NSTextAlignment>(alignment);
                style.lineBreakMode = static_cast<platform::NSLineBreakMode>(lineBreakMode);
                // Archives written before the spacing was kept have none.
                if (coder.containsValue(kParagraphSpacingKey)) {
                    style.paragraphSpacing = coder.decodeDouble(kParagraphSpacingKey);
                }
                return NSAttributeValue(style);
            }
            case ValueKind::string:
                if (auto string = coder.decodeString(kStringKey)) {
                    return NSAttributeValue(std::move(*string));
                }
                return std::nullopt;
        }
        return std::nullopt;
    }

    // The family when it is installed here; else the system font with the same size and traits,
    // which is what the text system would have drawn with anyway.
    static platform::NSFont decodeFont(platform::NSKeyedUnarchiver& coder) {
        const std::string family = coder.decodeString(kFamilyKey).value_or("");
        const double size = coder.decodeDouble(kSizeKey);
        const bool bold = coder.decodeBool(kBoldKey);
        const bool italic = coder.decodeBool(kItalicKey);
        platform::NSFontDescriptorSymbolicTraits traits = 0;
        traits |= bold ? platform::NSFontDescriptorTraitBold : 0;
        traits |= italic ? platform::NSFontDescriptorTraitItalic : 0;
        if (auto font = platform::NSFont::fontWithDescriptor({family, size, traits}, size)) {
            return std::move(*font);
        }
        platform::NSFontTraitMask mask = 0;
        mask |= bold ? platform::NSBoldFontMask : 0;
        mask |= italic ? platform::NSItalicFontMask : 0;
        return platform::NSFontManager::sharedFontManager().convertFont(
            platform::NSFont::systemFontOfSize(size), mask);
    }

    NSAttributeValue value_;
};

// The attributes of one run of characters.
class ArchivedAttributeRun final : public platform::SecureCoded<ArchivedAttributeRun> {
public:
    static constexpr std::string_view className = "org.Calyxware.AttributeRun";

    ArchivedAttributeRun(platform::NSRange range, NSAttributeDictionary attributes)
        : range_(range), attributes_(std::move(attributes)) {}

    platform::NSRange range() const { return range_; }
    const NSAttributeDictionary& attributes() const { return attributes_; }

    void encode(platform::NSKeyedArchiver& coder) const override {
        coder.encodeInt64(static_cast<std::int64_t>(range_.location), kLocationKey);
        coder.encodeInt64(static_cast<std::int64_t>(range_.length), kLengthKey);
        std::vector<std::string> names;
        std::vector<std::shared_ptr<ArchivedAttributeValue>> values;
        for (const auto& [name, value] : attributes_) {
            names.push_back(name);
            values.push_back(std::make_shared<ArchivedAttributeValue>(value));
        }
        coder.encodeArrayOfStrings(names, kNamesKey);
        coder.encodeArrayOfObjects(values, kValuesKey);
    }

    static std::shared_ptr<ArchivedAttributeRun> initWithCoder(platform::NSKeyedUnarchiver& coder) {
        const std::int64_t location = coder.decodeInt64(kLocationKey);
        const std::int64_t length = coder.decodeInt64(kLengthKey);
        auto names = coder.decodeArrayOfStrings(kNamesKey);
        auto values = coder.decodeArrayOfObjects<ArchivedAttributeValue>(kValuesKey);
        if (location < 0 || length < 0 || !names || !values || names->size() != values->size()) {
            failCorruptArchive(coder, "a malformed attribute run");
            return nullptr;
        }
        NSAttributeDictionary attributes;
        for (std::size_t i = 0; i < names->size(); ++i) {
            attributes.insert_or_assign((*names)[i], (*values)[i]->value());
        }
        return std::make_shared<ArchivedAttributeRun>(
            platform::NSMakeRange(static_cast<platform::NSUInteger>(location),
                                  static_cast<platform::NSUInteger>(length)),
            std::move(attributes));
    }

private:
    platform::NSRange range_;
    NSAttributeDictionary attributes_;
};

std::vector<std::uint8_t> utf16Bytes(const std::u16string& text) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() * 2);
    for (char16_t unit : text) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    return bytes;
}

std::u16string utf16Text(const std::vector<std::uint8_t>& bytes) {
    std::u16string text;
    text.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        text.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
    }
    return text;
}

}  // namespace

void ArchivedAttributedString::encode(platform::NSKeyedArchiver& coder) const {
    coder.encodeData(utf16Bytes(string_.utf16String()), kTextKey);
    std::vector<std::shared_ptr<ArchivedAttributeRun>> runs;
    string_.enumerateAttributes(
        platform::NSMakeRange(0, string_.length()),
        [&runs](const NSAttributeDictionary& attributes, platform::NSRange range, bool&) {
            if (!attributes.empty()) {
                runs.push_back(std::make_shared<ArchivedAttributeRun>(range, attributes));
            }
        });
    coder.encodeArrayOfObjects(runs, kRunsKey);
}

std::shared_ptr<ArchivedAttributedString> ArchivedAttributedString::initWithCoder(
    platform::NSKeyedUnarchiver& coder) {
    const auto bytes = coder.decodeData(kTextKey);
    const auto runs = coder.decodeArrayOfObjects<ArchivedAttributeRun>(kRunsKey);
    if (!bytes || bytes->size() % 2 != 0 || !runs) {
        failCorruptArchive(coder, "a malformed attributed string");
        return nullptr;
    }
    platform::NSMutableAttributedString string(utf16Text(*bytes));
    for (const auto& run : *runs) {
        const platform::NSRange range = run->range();
        if (range.location > string.length() || range.length > string.length() - range.location) {
            failCorruptArchive(coder,
                               fmt::format("an attribute run {} beyond a text of length {}",
                                           platform::NSStringFromRange(range), string.length()));
            return nullptr;
        }
        string.setAttributes(run->attributes(), range);
    }
    return std::make_shared<ArchivedAttributedString>(std::move(string));
}

void encodeAttributedString(platform::NSKeyedArchiver& coder,
                            const platform::NSAttributedString& string, std::string_view key) {
    coder.encodeObject(ArchivedAttributedString(string), key);
}

std::optional<platform::NSAttributedString> decodeAttributedString(
    platform::NSKeyedUnarchiver& coder, std::string_view key) {
    auto archived = coder.decodeObjectOfClass<ArchivedAttributedString>(key);
    if (!archived) {
        return std::nullopt;
    }
    return archived->string();
}

}  // namespace calyxware
