#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <QCborMap>
#include <QCborValue>

#include "platform/foundation/Coding.h"
#include "platform/foundation/PropertyList.h"

namespace platform {

// Writes values and objects under string keys into a keyed archive (CBOR). Objects are nested
// archives of their own keys, tagged with their class name so that decoding can check it.
// Encoding the same key twice in one scope keeps the last value.
class NSKeyedArchiver {
public:
    explicit NSKeyedArchiver(bool requiringSecureCoding = true);
    NSKeyedArchiver(const NSKeyedArchiver&) = delete;
    NSKeyedArchiver& operator=(const NSKeyedArchiver&) = delete;

    bool requiresSecureCoding() const { return requiresSecureCoding_; }

    void encodeObject(const NSSecureCoding& object, std::string_view key);
    // A null pointer is stored as a null object; decoding it answers null without an error.
    void encodeObject(const std::shared_ptr<const NSSecureCoding>& object, std::string_view key);

    void encodeBool(bool value, std::string_view key);
    void encodeInt64(std::int64_t value, std::string_view key);
    void encodeDouble(double value, std::string_view key);
    void encodeString(std::string_view value, std::string_view key);
    void encodeData(const std::vector<std::uint8_t>& value, std::string_view key);

    template <typename T>
    requires std::is_base_of_v<NSSecureCoding, T>
    void encodeArrayOfObjects(const std::vector<std::shared_ptr<T>>& objects,
                              std::string_view key) {
        std::vector<const NSSecureCoding*> pointers;
        pointers.reserve(objects.size());
        for (const auto& object : objects) {
            pointers.push_back(object.get());
        }
        encodeArrayOfObjects(pointers, key);
    }
    // Every element must be non-null.
    void encodeArrayOfObjects(const std::vector<const NSSecureCoding*>& objects,
                              std::string_view key);
    void encodeArrayOfStrings(const std::vector<std::string>& strings, std::string_view key);

    // Stores a property list as one value. What is encoded is the program's own data, so a value
    // that is not a property list stops the process.
    void encodePropertyList(const QCborValue& value, std::string_view key);
    template <Encodable T>
    void encodeEncodable(const T& value, std::string_view key) {
        encodePropertyList(PropertyListCoding<T>::encode(value), key);
    }

    // Closes the archive; nothing can be encoded afterwards.
    void finishEncoding();
    // The archive's bytes; finishes encoding first if that has not been done.
    std::vector<std::uint8_t> encodedData();

    // An archive holding `rootObject` under NSKeyedArchiveRootObjectKey.
    static std::vector<std::uint8_t> archivedData(const NSSecureCoding& rootObject,
                                                  bool requiringSecureCoding = true);

private:
    void setValue(std::string_view key, const QCborValue& value);
    QCborValue objectValue(const NSSecureCoding& object);

    bool requiresSecureCoding_;
    bool finished_ = false;
    // The field maps being filled: the archive's top level, then one per object being encoded.
    std::vector<QCborMap> scopes_;
    std::vector<std::uint8_t> encodedData_;
};

}  // namespace platform
