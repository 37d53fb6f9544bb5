#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace platform {

class NSKeyedArchiver;
class NSKeyedUnarchiver;

// Error codes of NSCocoaErrorDomain that keyed coding reports.
inline constexpr std::int64_t NSCoderReadCorruptError = 4864;
inline constexpr std::int64_t NSCoderValueNotFoundError = 4865;
inline constexpr std::int64_t NSCoderInvalidValueError = 4866;

// The key under which the convenience archiving functions store their one object.
inline constexpr const char* NSKeyedArchiveRootObjectKey = "root";

// What an unarchiver does when decoding fails: record the error and answer null/defaults from
// then on, or throw the error at the failing call.
enum class NSDecodingFailurePolicy { raiseException, setErrorAndReturn };

// An object that can be written into a keyed archive and read back with its class checked.
//
// A conforming class `T` provides, besides `encode`:
//   static constexpr std::string_view className = "...";        // the name stored in archives
//   static std::shared_ptr<T> initWithCoder(NSKeyedUnarchiver&); // nullptr when it cannot decode
// and optionally `static constexpr std::string_view superclassName` naming a registered coding
// base class, so that an archive holding a `T` may be decoded as that base. Derive from
// `SecureCoded<T>` (or `SecureCoded<T, Base>`) to get `codingClassName()` for free.
class NSSecureCoding {
public:
    virtual ~NSSecureCoding() = default;

    virtual void encode(NSKeyedArchiver& coder) const = 0;

    // The class name an archive records for this object: the dynamic class's `className`.
    virtual std::string_view codingClassName() const = 0;
};

template <typename T>
concept SecureCodingClass = std::is_base_of_v<NSSecureCoding, T> && requires(NSKeyedUnarchiver& c) {
    { T::className } -> std::convertible_to<std::string_view>;
    { T::initWithCoder(c) } -> std::convertible_to<std::shared_ptr<T>>;
};

template <typename Derived, typename Base = NSSecureCoding>
class SecureCoded : public Base {
public:
    using Base::Base;
    std::string_view codingClassName() const override { return Derived::className; }
};

// The process-wide table of classes that archives may name. Decoding instantiates only classes
// found here; a class is entered automatically the first time it is decoded by its own type, and
// can be entered ahead of time (a subclass that is decoded through its base must be).
class NSSecureCodingRegistry {
public:
    using Factory = std::function<std::shared_ptr<NSSecureCoding>(NSKeyedUnarchiver&)>;

    static void registerClass(std::string_view className, Factory factory,
                              std::optional<std::string_view> superclassName = std::nullopt);

    template <SecureCodingClass T>
    static void registerClass() {
        std::optional<std::string_view> superclass;
        if constexpr (requires { T::superclassName; }) {
            superclass = std::string_view(T::superclassName);
        }
        registerClass(
            T::className,
            [](NSKeyedUnarchiver& coder) -> std::shared_ptr<NSSecureCoding> {
                return T::initWithCoder(coder);
            },
            superclass);
    }

    static bool isRegistered(std::string_view className);
    static Factory factory(std::string_view className);

    // Whether an object stored as `className` may be decoded where `allowedClassName` is asked
    // for: the same class, or a registered subclass of it.
    static bool isKindOfClass(std::string_view className, std::string_view allowedClassName);
};

// Enters T in the registry when constructed; meant for a namespace-scope constant in T's .cpp.
template <SecureCodingClass T>
struct NSSecureCodingRegistration {
    NSSecureCodingRegistration() { NSSecureCodingRegistry::registerClass<T>(); }
};

}  // namespace platform
