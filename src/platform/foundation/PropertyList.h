#pragma once

#include <concepts>
#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

#include <QCborArray>
#include <QCborValue>

#include "platform/foundation/FatalError.h"

namespace platform {

// A property list is a tree of arrays, dictionaries with string keys, strings, data, integers,
// doubles and booleans -- the value that an encodable type turns itself into. It is held as a
// QCborValue; nothing else (null, undefined, tags, simple values, non-string keys) is one.
//
// Archives bound the nesting so that a hostile tree can't exhaust the stack of whoever walks it.
inline constexpr std::size_t kPropertyListMaximumDepth = 200;

// True when `value` is a property list nested at most `maximumDepth` containers deep.
bool isPropertyList(const QCborValue& value, std::size_t maximumDepth = kPropertyListMaximumDepth);

// How a type is written as a property list and read back. A type takes part by specialising
// PropertyListCoding, or through the members the specialisations below look for:
//   value types:     QCborValue propertyListValue() const;
//                    static std::optional<T> fromPropertyListValue(const QCborValue&);
//   reference types: the same on T, with fromPropertyListValue answering std::shared_ptr<T>
//                    (null when it can't decode), coded as std::shared_ptr<T>.
// Decoding answers nullopt for anything it does not recognise: its input may be hostile.
template <typename T>
struct PropertyListCoding;

template <typename T>
concept Encodable = requires(const T& value) {
    { PropertyListCoding<T>::encode(value) } -> std::same_as<QCborValue>;
};

template <typename T>
concept Decodable = requires(const QCborValue& value) {
    { PropertyListCoding<T>::decode(value) } -> std::same_as<std::optional<T>>;
};

template <typename T>
concept PropertyListValueType = requires(const T& value, const QCborValue& plist) {
    { value.propertyListValue() } -> std::same_as<QCborValue>;
    { T::fromPropertyListValue(plist) } -> std::same_as<std::optional<T>>;
};

template <typename T>
concept PropertyListReferenceType = requires(const T& value, const QCborValue& plist) {
    { value.propertyListValue() } -> std::same_as<QCborValue>;
    { T::fromPropertyListValue(plist) } -> std::same_as<std::shared_ptr<T>>;
};

template <PropertyListValueType T>
struct PropertyListCoding<T> {
    static QCborValue encode(const T& value) { return value.propertyListValue(); }
    static std::optional<T> decode(const QCborValue& value) {
        return T::fromPropertyListValue(value);
    }
};

// A null pointer has no property-list form: encoding one is a programming error.
template <PropertyListReferenceType T>
struct PropertyListCoding<std::shared_ptr<T>> {
    static QCborValue encode(const std::shared_ptr<T>& value);
    static std::optional<std::shared_ptr<T>> decode(const QCborValue& value) {
        auto object = T::fromPropertyListValue(value);
        if (!object) {
            return std::nullopt;
        }
        return object;
    }
};

// An array decodes only when every element does, as one value.
template <typename Element>
requires Encodable<Element> || Decodable<Element>
struct PropertyListCoding<std::vector<Element>> {
    static QCborValue encode(const std::vector<Element>& elements) requires Encodable<Element> {
        QCborArray array;
        for (const auto& element : elements) {
            array.append(PropertyListCoding<Element>::encode(element));
        }
        return array;
    }
    static std::optional<std::vector<Element>> decode(
        const QCborValue& value) requires Decodable<Element> {
        if (!value.isArray()) {
            return std::nullopt;
        }
        std::vector<Element> elements;
        for (const QCborValue& item : value.toArray()) {
            auto element = PropertyListCoding<Element>::decode(item);
            if (!element) {
                return std::nullopt;
            }
            elements.push_back(std::move(*element));
        }
        return elements;
    }
};

template <PropertyListReferenceType T>
QCborValue PropertyListCoding<std::shared_ptr<T>>::encode(const std::shared_ptr<T>& value) {
    precondition(value != nullptr, "PropertyListCoding: encoding a null reference");
    return value->propertyListValue();
}

}  // namespace platform
