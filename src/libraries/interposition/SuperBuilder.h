#pragma once

#include <optional>
#include <string_view>

#include "platform/foundation/Error.h"
#include "platform/runtime/ObjCTypes.h"

namespace interposition {

// Adds super implementations: a method of a class whose body is the runtime's super forwarder,
// which, when called, runs the superclass's implementation for the receiver. An object hook puts
// one into its per-object subclass first, so that it always has a displaced implementation to
// call and to restore.
class SuperBuilder {
public:
    static constexpr std::string_view errorDomain = "lanwick.superbuilder";
    enum ErrorCode : std::int64_t {
        unsupportedArchitecture = 0,
        noSuperclass = 1,
        noDynamicallyDispatchedMethodAvailable = 2,
        failedToAddMethod = 3,
    };

    // The forwarder is not machine code, so every processor is supported.
    static bool isSupportedArchitecure() { return true; }
    static bool isCompileTimeSupportedArchitecure() { return isSupportedArchitecure(); }

    // Whether the class's implementation for the selector is the super forwarder.
    static bool isSuperTrampolineForClass(platform::Class cls, platform::SEL selector);

    // Adds the forwarder to the class for the selector, with the encoding of the superclass's
    // method. On failure answers false and, when given a place, stores an error of errorDomain.
    static bool addSuperInstanceMethodToClass(platform::Class cls, platform::SEL selector,
                                              std::optional<platform::NSError>* error);

    // Makes the runtime class "SuperBuilder" (class method "isSupportedArchitecure") unless a
    // class of that name exists; object hooks use super implementations only while it does.
    // The library calls this once, before its first object hook.
    static platform::Class registerRuntimeClass();
};

// The plain-function entry point of addSuperInstanceMethodToClass.
bool IPNAddSuperImplementationToClass(platform::Class cls, platform::SEL selector,
                                      std::optional<platform::NSError>* error);

}  // namespace interposition
