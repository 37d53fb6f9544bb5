#pragma once

#include <string>
#include <type_traits>

#include "platform/runtime/Object.h"

namespace platform {

// The platform's type encoding of one C++ type ("i" for int, "@" for objects, ...); "?" for a type
// the encoding has no letter for.
template <typename T>
std::string objc_encode() {
    using U = std::remove_cvref_t<T>;
    if constexpr (std::is_void_v<U>) {
        return "v";
    } else if constexpr (std::is_same_v<U, bool>) {
        return "B";
    } else if constexpr (std::is_same_v<U, char> || std::is_same_v<U, signed char>) {
        return "c";
    } else if constexpr (std::is_same_v<U, unsigned char>) {
        return "C";
    } else if constexpr (std::is_same_v<U, short>) {
        return "s";
    } else if constexpr (std::is_same_v<U, unsigned short>) {
        return "S";
    } else if constexpr (std::is_same_v<U, int>) {
        return "i";
    } else if constexpr (std::is_same_v<U, unsigned>) {
        return "I";
    } else if constexpr (std::is_same_v<U, long> || std::is_same_v<U, long long>) {
        return "q";
    } else if constexpr (std::is_same_v<U, unsigned long> ||
                         std::is_same_v<U, unsigned long long>) {
        return "Q";
    } else if constexpr (std::is_same_v<U, float>) {
        return "f";
    } else if constexpr (std::is_same_v<U, double>) {
        return "d";
    } else if constexpr (std::is_same_v<U, Class>) {
        return "#";
    } else if constexpr (std::is_same_v<U, SEL>) {
        return ":";
    } else if constexpr (std::is_same_v<U, const char*> || std::is_same_v<U, char*>) {
        return "*";
    } else if constexpr (std::is_pointer_v<U> &&
                         std::is_base_of_v<objc_object,
                                           std::remove_cv_t<std::remove_pointer_t<U>>>) {
        return "@";
    } else if constexpr (std::is_pointer_v<U>) {
        return "^" + objc_encode<std::remove_pointer_t<U>>();
    } else {
        return "?";
    }
}

template <typename Signature>
struct MethodTypeEncoding;

template <typename R, typename... Args>
struct MethodTypeEncoding<R(Args...)> {
    static std::string value() { return (objc_encode<R>() + ... + objc_encode<Args>()); }
};

// The type encoding of a method of signature R(id, SEL, Args...), e.g. "i@:i".
template <typename Signature>
std::string methodTypeEncoding() {
    return MethodTypeEncoding<Signature>::value();
}

}  // namespace platform
