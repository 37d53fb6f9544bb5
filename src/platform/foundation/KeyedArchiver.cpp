#include "platform/foundation/KeyedArchiver.h"

#include <QByteArray>
#include <QCborArray>
#include <QString>

#include "platform/foundation/FatalError.h"
#include "platform/foundation/KeyedArchiverFormat.h"

namespace platform {

namespace format = keyed_archive;

namespace {

QString toQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

NSKeyedArchiver::NSKeyedArchiver(bool requiringSecureCoding)
    : requiresSecureCoding_(requiringSecureCoding) {
    scopes_.emplace_back();
}

void NSKeyedArchiver::setValue(std::string_view key, const QCborValue& value) {
    precondition(!finished_, "NSKeyedArchiver: encoding after finishEncoding");
    scopes_.back().insert(toQString(key), value);
}

QCborValue NSKeyedArchiver::objectValue(const NSSecureCoding& object) {
    precondition(!finished_, "NSKeyedArchiver: encoding after finishEncoding");
    scopes_.emplace_back();
    // Pop the scope even when the object's encoder throws, so that the archiver stays usable.
    struct ScopeGuard {
        std::vector<QCborMap>& scopes;
        ~ScopeGuard() { scopes.pop_back(); }
    };
    QCborMap fields;
    {
        ScopeGuard guard{scopes_};
        object.encode(*this);
        fields = scopes_.back();
    }
    QCborMap encoded;
    encoded.insert(format::kClassKey, toQString(object.codingClassName()));
    encoded.insert(format::kFieldsKey, fields);
    return encoded;
}

void NSKeyedArchiver::encodeObject(const NSSecureCoding& object, std::string_view key) {
    QCborValue value = objectValue(object);
    setValue(key, value);
}

void NSKeyedArchiver::encodeObject(const std::shared_ptr<const NSSecureCoding>& object,
                                   std::string_view key) {
    if (object) {
        encodeObject(*object, key);
    } else {
        setValue(key, QCborValue(nullptr));
    }
}

void NSKeyedArchiver::encodeBool(bool value, std::string_view key) {
    setValue(key, QCborValue(value));
}

void NSKeyedArchiver::encodeInt64(std::int64_t value, std::string_view key) {
    setValue(key, QCborValue(static_cast<qint64>(value)));
}

void NSKeyedArchiver::encodeDouble(double value, std::string_view key) {
    setValue(key, QCborValue(value));
}

void NSKeyedArchiver::encodeString(std::string_view value, std::string_view key) {
    setValue(key, QCborValue(toQString(value)));
}

void NSKeyedArchiver::encodeData(const std::vector<std::uint8_t>& value, std::string_view key) {
    QByteArray bytes(reinterpret_cast<const char*>(value.data()),
                     static_cast<qsizetype>(value.size()));
    setValue(key, QCborValue(bytes));
}

void NSKeyedArchiver::encodeArrayOfObjects(const std::vector<const NSSecureCoding*>& objects,
                                           std::string_view key) {
    QCborArray array;
    for (const NSSecureCoding* object : objects) {
        precondition(object != nullptr, "NSKeyedArchiver: null element in an array of objects");
        array.append(objectValue(*object));
    }
    setValue(key, array);
}

void NSKeyedArchiver::encodeArrayOfStrings(const std::vector<std::string>& strings,
                                           std::string_view key) {
    QCborArray array;
    for (const auto& string : strings) {
        array.append(toQString(string));
    }
    setValue(key, array);
}

void NSKeyedArchiver::encodePropertyList(const QCborValue& value, std::string_view key) {
    precondition(isPropertyList(value), "NSKeyedArchiver: the value is not a property list");
    QCborMap wrapped;
    wrapped.insert(format::kPropertyListKey, value);
    setValue(key, wrapped);
}

void NSKeyedArchiver::finishEncoding() {
    if (finished_) {
        return;
    }
    precondition(scopes_.size() == 1, "NSKeyedArchiver: finishEncoding inside an object's encode");
    QCborMap archive;
    archive.insert(format::kArchiverKey, format::kArchiverName);
    archive.insert(format::kVersionKey, format::kVersion);
    archive.insert(format::kSecureKey, requiresSecureCoding_);
    archive.insert(format::kTopKey, scopes_.front());
    const QByteArray bytes = archive.toCborValue().toCbor();
    encodedData_.assign(bytes.begin(), bytes.end());
    scopes_.clear();
    finished_ = true;
}

std::vector<std::uint8_t> NSKeyedArchiver::encodedData() {
    finishEncoding();
    return encodedData_;
}

std::vector<std::uint8_t> NSKeyedArchiver::archivedData(const NSSecureCoding& rootObject,
                                                        bool requiringSecureCoding) {
    NSKeyedArchiver archiver(requiringSecureCoding);
    archiver.encodeObject(rootObject, NSKeyedArchiveRootObjectKey);
    return archiver.encodedData();
}

}  // namespace platform
