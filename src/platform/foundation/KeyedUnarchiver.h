#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <QCborMap>
#include <QCborValue>

#include "platform/foundation/Coding.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/PropertyList.h"

namespace platform {

// Reads a keyed archive written by NSKeyedArchiver, checking the class of every object against
// what the caller asks for. Nothing in the archive can crash the reader: a value of the wrong
// class, a class that is not registered, or a malformed object is a decoding failure. A failure
// records the error (NSCocoaErrorDomain, NSCoderReadCorruptError) and answers null; from then
// on every decode answers null or the default value. With the raiseException policy the error
// is thrown instead.
//
// Numbers decoded from a value of another kind (a string where an integer is asked for) answer
// 0, 0.0 or false; that is not a failure. A missing key answers null or the default value and
// is not a failure either.
class NSKeyedUnarchiver {
public:
    // Throws NSError (NSCocoaErrorDomain, NSCoderReadCorruptError) when `data` is not an archive.
    explicit NSKeyedUnarchiver(const std::vector<std::uint8_t>& data);
    NSKeyedUnarchiver(const NSKeyedUnarchiver&) = delete;
    NSKeyedUnarchiver& operator=(const NSKeyedUnarchiver&) = delete;

    // Whether the archive was written by an archiver that required secure coding.
    bool archiveRequiresSecureCoding() const { return archiveRequiresSecureCoding_; }

    // With secure coding (the default), objects can only be decoded with their class named.
    bool requiresSecureCoding() const { return requiresSecureCoding_; }
    void setRequiresSecureCoding(bool value) { requiresSecureCoding_ = value; }

    NSDecodingFailurePolicy decodingFailurePolicy() const { return decodingFailurePolicy_; }
    void setDecodingFailurePolicy(NSDecodingFailurePolicy policy) {
        decodingFailurePolicy_ = policy;
    }

    bool containsValue(std::string_view key) const;

    template <SecureCodingClass T>
    std::shared_ptr<T> decodeObjectOfClass(std::string_view key) {
        ensureRegistered<T>();
        return checkedCast<T>(decodeObjectOfClasses(key, {T::className}), key);
    }

    template <SecureCodingClass T>
    std::shared_ptr<T> decodeObject(std::string_view key) {
        return decodeObjectOfClass<T>(key);
    }

    // Any object whose class is one of `allowedClassNames` or a registered subclass of one.
    std::shared_ptr<NSSecureCoding> decodeObjectOfClasses(
        std::string_view key, std::initializer_list<std::string_view> allowedClassNames);
    std::shared_ptr<NSSecureCoding> decodeObjectOfClasses(
        std::string_view key, const std::vector<std::string_view>& allowedClassNames);

    // Any registered class; a failure when secure coding is required.
    std::shared_ptr<NSSecureCoding> decodeObject(std::string_view key);

    // nullopt when the key is missing or any element fails to decode.
    template <SecureCodingClass T>
    std::optional<std::vector<std::shared_ptr<T>>> decodeArrayOfObjects(std::string_view key) {
        ensureRegistered<T>();
        auto objects = decodeArrayOfObjects(key, {T::className});
        if (!objects) {
            return std::nullopt;
        }
        std::vector<std::shared_ptr<T>> result;
        result.reserve(objects->size());
        for (auto& object : *objects) {
            auto element = checkedCast<T>(std::move(object), key);
            if (!element) {
                return std::nullopt;
            }
            result.push_back(std::move(element));
        }
        return result;
    }
    std::optional<std::vector<std::shared_ptr<NSSecureCoding>>> decodeArrayOfObjects(
        std::string_view key, const std::vector<std::string_view>& allowedClassNames);
    std::optional<std::vector<std::string>> decodeArrayOfStrings(std::string_view key);

    // The property list stored with encodePropertyList; nullopt when the key is missing. Anything
    // else under the key (an object, a plain value, a malformed or too deeply nested tree) is a
    // decoding failure.
    std::optional<QCborValue> decodePropertyList(std::string_view key);
    // nullopt when the key is missing; a property list that is no T is a decoding failure.
    template <Decodable T>
    std::optional<T> decodeDecodable(std::string_view key) {
        auto propertyList = decodePropertyList(key);
        if (!propertyList) {
            return std::nullopt;
        }
        auto value = PropertyListCoding<T>::decode(*propertyList);
        if (!value) {
            failUndecodable(key);
        }
        return value;
    }

    bool decodeBool(std::string_view key);
    std::int64_t decodeInt64(std::string_view key);
    double decodeDouble(std::string_view key);
    // Strings and data are objects: a value of another kind is a decoding failure.
    std::optional<std::string> decodeString(std::string_view key);
    std::optional<std::vector<std::uint8_t>> decodeData(std::string_view key);

    // Records `error` as the reason decoding failed (the first error recorded is kept), or
    // throws it under the raiseException policy. Object decoders call it to refuse their input.
    void failWithError(const NSError& error);
    std::shared_ptr<const NSError> error() const { return error_; }

    void finishDecoding() { finished_ = true; }
    bool hasFinishedDecoding() const { return finished_; }

    // The object stored under NSKeyedArchiveRootObjectKey; throws the NSError of any failure.
    template <SecureCodingClass T>
    static std::shared_ptr<T> unarchivedObjectOfClass(const std::vector<std::uint8_t>& data) {
        NSKeyedUnarchiver unarchiver(data);
        unarchiver.setDecodingFailurePolicy(NSDecodingFailurePolicy::raiseException);
        auto object = unarchiver.decodeObjectOfClass<T>(NSKeyedArchiveRootObjectKey);
        unarchiver.finishDecoding();
        return object;
    }

private:
    template <SecureCodingClass T>
    static void ensureRegistered() {
        if (!NSSecureCodingRegistry::isRegistered(T::className)) {
            NSSecureCodingRegistry::registerClass<T>();
        }
    }

    // Another type registered under T's class name must not pass for a T.
    template <SecureCodingClass T>
    std::shared_ptr<T> checkedCast(std::shared_ptr<NSSecureCoding> object, std::string_view key) {
        if (!object) {
            return nullptr;
        }
        auto typed = std::dynamic_pointer_cast<T>(object);
        if (!typed) {
            failUnexpectedType(key, T::className);
        }
        return typed;
    }

    void failUnexpectedType(std::string_view key, std::string_view className);
    void failUndecodable(std::string_view key);
    QCborValue value(std::string_view key) const;
    // False once decoding has failed or finished: decodes then answer null or defaults.
    bool canDecode() const { return !error_ && !finished_; }
    void failCorrupt(std::string debugDescription);
    std::shared_ptr<NSSecureCoding> decodeObjectValue(
        const QCborValue& value, std::string_view key,
        const std::vector<std::string_view>* allowedClassNames);

    bool archiveRequiresSecureCoding_ = true;
    bool requiresSecureCoding_ = true;
    NSDecodingFailurePolicy decodingFailurePolicy_ = NSDecodingFailurePolicy::setErrorAndReturn;
    bool finished_ = false;
    std::shared_ptr<const NSError> error_;
    // The field maps being read: the archive's top level, then one per object being decoded.
    std::vector<QCborMap> scopes_;
};

}  // namespace platform
