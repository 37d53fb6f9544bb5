#pragma once

#include <type_traits>
#include <utility>

#include "platform/runtime/Runtime.h"

namespace platform {

struct objc_super {
    id receiver;
    // Where the search for the method starts.
    Class super_class;
};

template <typename Signature>
struct MessageSend;

template <typename R, typename... Args>
struct MessageSend<R(Args...)> {
    static R send(id self, SEL op, Args... args) {
        if (self == nullptr) {
            // Messages to nil do nothing and answer zero, as on the platform.
            if constexpr (std::is_void_v<R>) {
                return;
            } else {
                return R{};
            }
        }
        IMP imp = class_getMethodImplementation(object_getClass(self), op);
        if (!imp) [[unlikely]] {
            objc_missingImplementation(self, op);
        }
        return ImplementationCall<R(Args...)>::call(std::move(imp), self, op,
                                                    std::forward<Args>(args)...);
    }

    static R sendSuper(const objc_super& super, SEL op, Args... args) {
        IMP imp = class_getMethodImplementation(super.super_class, op);
        if (!imp) [[unlikely]] {
            objc_missingImplementation(super.receiver, op);
        }
        return ImplementationCall<R(Args...)>::call(std::move(imp), super.receiver, op,
                                                    std::forward<Args>(args)...);
    }
};

// Looks the method up on the receiver's current class and calls it. Signature is the method's
// signature without receiver and selector: objc_msgSend<int(int)>(object, selector, 2). A
// receiver whose class has no such method stops the process.
template <typename Signature, typename... Passed>
decltype(auto) objc_msgSend(id self, SEL op, Passed&&... args) {
    return MessageSend<Signature>::send(self, op, std::forward<Passed>(args)...);
}

// The same, with the search starting at super.super_class.
template <typename Signature, typename... Passed>
decltype(auto) objc_msgSendSuper(const objc_super& super, SEL op, Passed&&... args) {
    return MessageSend<Signature>::sendSuper(super, op, std::forward<Passed>(args)...);
}

}  // namespace platform
