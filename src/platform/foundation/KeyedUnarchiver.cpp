#include "platform/foundation/KeyedUnarchiver.h"

#include <cmath>

#include <QByteArray>
#include <QCborArray>
#include <QCborParserError>
#include <QString>

#include <fmt/format.h>

#include "platform/foundation/KeyedArchiverFormat.h"

namespace platform {

namespace format = keyed_archive;

namespace {

// Objects nest through their decoders' stack frames; a hostile archive must not exhaust the stack.
constexpr std::size_t kMaximumObjectDepth = 200;

constexpr const char* kCorruptDescription =
    "The data couldn’t be read because it isn’t in the correct format.";

QString toQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

NSError corruptError(std::string debugDescription) {
    return NSError(NSCocoaErrorDomain, NSCoderReadCorruptError,
                   {{NSLocalizedDescriptionKey, std::string(kCorruptDescription)},
                    {NSDebugDescriptionErrorKey, std::move(debugDescription)}});
}

// The platform class that a stored value would decode as; used in failure descriptions.
std::string storedClassName(const QCborValue& value) {
    if (value.isBool() || value.isInteger() || value.isDouble()) {
        return "NSNumber";
    }
    if (value.isString()) {
        return "NSString";
    }
    if (value.isByteArray()) {
        return "NSData";
    }
    if (value.isArray()) {
        return "NSArray";
    }
    if (value.isMap()) {
        const QCborValue className = value.toMap().value(format::kClassKey);
        return className.isString() ? className.toString().toStdString() : "NSDictionary";
    }
    return "unknown";
}

std::string joined(const std::vector<std::string_view>& names) {
    std::string text;
    for (std::string_view name : names) {
        if (!text.empty()) {
            text += ", ";
        }
        text += name;
    }
    return text;
}

}  // namespace

NSKeyedUnarchiver::NSKeyedUnarchiver(const std::vector<std::uint8_t>& data) {
    const QByteArray bytes(reinterpret_cast<const char*>(data.data()),
                           static_cast<qsizetype>(data.size()));
    QCborParserError parseError;
    const QCborValue root = QCborValue::fromCbor(bytes, &parseError);
    if (parseError.error != QCborError::NoError) {
        throw corruptError(fmt::format("not a keyed archive: {} at offset {}",
                                       parseError.errorString().toStdString(), parseError.offset));
    }
    if (parseError.offset != bytes.size()) {
        throw corruptError(fmt::format("not a keyed archive: {} bytes after the end of the archive",
                                       bytes.size() - parseError.offset));
    }
    const QCborMap archive = root.toMap();
    const QCborValue top = archive.value(format::kTopKey);
    if (!root.isMap() || archive.value(format::kArchiverKey).toString() != format::kArchiverName ||
        !top.isMap()) {
        throw corruptError("not a keyed archive");
    }
    const qint64 version = archive.value(format::kVersionKey).toInteger(-1);
    if (version < 1 || version > format::kVersion) {
        throw corruptError(fmt::format("unsupported keyed archive version {}", version));
    }
    archiveRequiresSecureCoding_ = archive.value(format::kSecureKey).toBool(false);
    scopes_.push_back(top.toMap());
}

QCborValue NSKeyedUnarchiver::value(std::string_view key) const {
    return scopes_.back().value(toQString(key));
}

bool NSKeyedUnarchiver::containsValue(std::string_view key) const {
    return scopes_.back().contains(toQString(key));
}

void NSKeyedUnarchiver::failWithError(const NSError& error) {
    if (!error_) {
        error_ = std::make_shared<NSError>(error);
    }
    if (decodingFailurePolicy_ == NSDecodingFailurePolicy::raiseException) {
        throw error;
    }
}

void NSKeyedUnarchiver::failCorrupt(std::string debugDescription) {
    failWithError(corruptError(std::move(debugDescription)));
}

void NSKeyedUnarchiver::failUnexpectedType(std::string_view key, std::string_view className) {
    failCorrupt(fmt::format("value for key '{}' is registered as class '{}' but is of another type",
                            key, className));
}

void NSKeyedUnarchiver::failUndecodable(std::string_view key) {
    failCorrupt(fmt::format("property list for key '{}' does not hold the expected value", key));
}

std::shared_ptr<NSSecureCoding> NSKeyedUnarchiver::decodeObjectValue(
    const QCborValue& value, std::string_view key,
    const std::vector<std::string_view>* allowedClassNames) {
    if (!value.isMap()) {
        failCorrupt(fmt::format("value for key '{}' was of unexpected class '{}'; allowed: {}", key,
                                storedClassName(value),
                                allowedClassNames ? joined(*allowedClassNames) : "any object"));
        return nullptr;
    }
    const QCborMap object = value.toMap();
    const QCborValue classValue = object.value(format::kClassKey);
    const QCborValue fields = object.value(format::kFieldsKey);
    if (!classValue.isString() || !fields.isMap()) {
        failCorrupt(fmt::format("value for key '{}' is not a well-formed object", key));
        return nullptr;
    }
    const std::string className = classValue.toString().toStdString();
    if (allowedClassNames) {
        bool allowed = false;
        for (std::string_view allowedName : *allowedClassNames) {
            allowed = allowed || NSSecureCodingRegistry::isKindOfClass(className, allowedName);
        }
        if (!allowed) {
            failCorrupt(fmt::format("value for key '{}' was of unexpected class '{}'; allowed: {}",
                                    key, className, joined(*allowedClassNames)));
            return nullptr;
        }
    }
    auto factory = NSSecureCodingRegistry::factory(className);
    if (!factory) {
        failCorrupt(
            fmt::format("value for key '{}' is of class '{}', which is not registered for decoding",
                        key, className));
        return nullptr;
    }
    if (scopes_.size() > kMaximumObjectDepth) {
        failCorrupt(fmt::format("objects nested too deeply at key '{}'", key));
        return nullptr;
    }

    struct ScopeGuard {
        std::vector<QCborMap>& scopes;
        ~ScopeGuard() { scopes.pop_back(); }
    };
    scopes_.push_back(fields.toMap());
    ScopeGuard guard{scopes_};
    auto decoded = factory(*this);
    // A decoder that failed part-way may still hand back an object; it must not escape.
    return error_ ? nullptr : decoded;
}

std::shared_ptr<NSSecureCoding> NSKeyedUnarchiver::decodeObjectOfClasses(
    std::string_view key, std::initializer_list<std::string_view> allowedClassNames) {
    return decodeObjectOfClasses(key, std::vector<std::string_view>(allowedClassNames));
}

std::shared_ptr<NSSecureCoding> NSKeyedUnarchiver::decodeObjectOfClasses(
    std::string_view key, const std::vector<std::string_view>& allowedClassNames) {
    if (!canDecode()) {
        return nullptr;
    }
    const QCborValue stored = value(key);
    if (stored.isUndefined() || stored.isNull()) {
        return nullptr;
    }
    return decodeObjectValue(stored, key, &allowedClassNames);
}

std::shared_ptr<NSSecureCoding> NSKeyedUnarchiver::decodeObject(std::string_view key) {
    if (!canDecode()) {
        return nullptr;
    }
    if (requiresSecureCoding_) {
        failCorrupt(fmt::format(
            "the object for key '{}' was decoded without naming its class under secure coding",
            key));
        return nullptr;
    }
    const QCborValue stored = value(key);
    if (stored.isUndefined() || stored.isNull()) {
        return nullptr;
    }
    return decodeObjectValue(stored, key, nullptr);
}

std::optional<std::vector<std::shared_ptr<NSSecureCoding>>> NSKeyedUnarchiver::decodeArrayOfObjects(
    std::string_view key, const std::vector<std::string_view>& allowedClassNames) {
    if (!canDecode()) {
        return std::nullopt;
    }
    const QCborValue stored = value(key);
    if (stored.isUndefined() || stored.isNull()) {
        return std::nullopt;
    }
    if (!stored.isArray()) {
        failCorrupt(fmt::format("value for key '{}' was of unexpected class '{}'; allowed: NSArray",
                                key, storedClassName(stored)));
        return std::nullopt;
    }
    std::vector<std::shared_ptr<NSSecureCoding>> objects;
    const QCborArray array = stored.toArray();
    objects.reserve(static_cast<std::size_t>(array.size()));
    for (const QCborValue& element : array) {
        auto object = decodeObjectValue(element, key, &allowedClassNames);
        if (!object) {
            return std::nullopt;
        }
        objects.push_back(std::move(object));
    }
    return objects;
}

std::optional<std::vector<std::string>> NSKeyedUnarchiver::decodeArrayOfStrings(
    std::string_view key) {
    if (!canDecode()) {
        return std::nullopt;
    }
    const QCborValue stored = value(key);
    if (stored.isUndefined() || stored.isNull()) {
        return std::nullopt;
    }
    if (!stored.isArray()) {
        failCorrupt(fmt::format("value for key '{}' was of unexpected class '{}'; allowed: NSArray",
                                key, storedClassName(stored)));
        return std::nullopt;
    }
    std::vector<std::string> strings;
    for (const QCborValue& element : stored.toArray()) {
        if (!element.isString()) {
            failCorrupt(fmt::format("array for key '{}' holds a value of unexpected class '{}'",
                                    key, storedClassName(element)));
            return std::nullopt;
        }
        strings.push_back(element.toString().toStdString());
    }
    return strings;
}

std::optional<QCborValue> NSKeyedUnarchiver::decodePropertyList(std::string_view key) {
    if (!canDecode()) {
        return std::nullopt;
    }
    const QCborValue stored = value(key);
    if (stored.isUndefined() || stored.isNull()) {
        return std::nullopt;
    }
    const QCborMap wrapper = stored.toMap();
    if (!stored.isMap() || wrapper.size() != 1 || !wrapper.contains(format::kPropertyListKey)) {
        failCorrupt(
            fmt::format("value for key '{}' was of unexpected class '{}'; allowed: a "
                        "property list",
                        key, storedClassName(stored)));
        return std::nullopt;
    }
    QCborValue tree = wrapper.value(format::kPropertyListKey);
    if (!isPropertyList(tree)) {
        failCorrupt(fmt::format("value for key '{}' is not a well-formed property list", key));
        return std::nullopt;
    }
    return tree;
}

bool NSKeyedUnarchiver::decodeBool(std::string_view key) {
    if (!canDecode()) {
        return false;
    }
    const QCborValue stored = value(key);
    if (stored.isBool()) {
        return stored.toBool();
    }
    if (stored.isInteger()) {
        return stored.toInteger() != 0;
    }
    if (stored.isDouble()) {
        return stored.toDouble() != 0.0;
    }
    return false;
}

std::int64_t NSKeyedUnarchiver::decodeInt64(std::string_view key) {
    if (!canDecode()) {
        return 0;
    }
    const QCborValue stored = value(key);
    if (stored.isInteger()) {
        return stored.toInteger();
    }
    if (stored.isBool()) {
        return stored.toBool() ? 1 : 0;
    }
    if (stored.isDouble()) {
        // Converting a double outside the integer range is undefined: only truncate the ones
        // that fit. 2^63 is exactly representable but one past the largest integer.
        const double number = stored.toDouble();
        constexpr double kLimit = 9223372036854775808.0;
        if (std::isfinite(number) && number >= -kLimit && number < kLimit) {
            return static_cast<std::int64_t>(number);
        }
    }
    return 0;
}

double NSKeyedUnarchiver::decodeDouble(std::string_view key) {
    if (!canDecode()) {
        return 0.0;
    }
    const QCborValue stored = value(key);
    if (stored.isDouble()) {
        return stored.toDouble();
    }
    if (stored.isInteger()) {
        return static_cast<double>(stored.toInteger());
    }
    if (stored.isBool()) {
        return stored.toBool() ? 1.0 : 0.0;
    }
    return 0.0;
}

std::optional<std::string> NSKeyedUnarchiver::decodeString(std::string_view key) {
    if (!canDecode()) {
        return std::nullopt;
    }
    const QCborValue stored = value(key);
    if (stored.isUndefined() || stored.isNull()) {
        return std::nullopt;
    }
    if (!stored.isString()) {
        failCorrupt(
            fmt::format("value for key '{}' was of unexpected class '{}'; allowed: NSString", key,
                        storedClassName(stored)));
        return std::nullopt;
    }
    return stored.toString().toStdString();
}

std::optional<std::vector<std::uint8_t>> NSKeyedUnarchiver::decodeData(std::string_view key) {
    if (!canDecode()) {
        return std::nullopt;
    }
    const QCborValue stored = value(key);
    if (stored.isUndefined() || stored.isNull()) {
        return std::nullopt;
    }
    if (!stored.isByteArray()) {
        failCorrupt(fmt::format("value for key '{}' was of unexpected class '{}'; allowed: NSData",
                                key, storedClassName(stored)));
        return std::nullopt;
    }
    const QByteArray bytes = stored.toByteArray();
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

}  // namespace platform
