#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <string_view>

#include <fmt/format.h>

#include "libraries/interposition/Interpose.h"
#include "platform/runtime/MessageSend.h"

namespace interposition::testing {

using namespace platform;

inline std::string uniqueName(std::string_view base) {
    static std::atomic<int> counter{0};
    return fmt::format("{}{}", base, ++counter);
}

inline SEL valueSelector() {
    return sel_registerName("value");
}
inline SEL addSelector() {
    return sel_registerName("add:");
}

// A registered class with "value" answering the given number and "add:" adding it to its
// argument, when given; classes are never reused between tests.
inline Class makeClass(std::string_view base, Class superclass = NSObject::objcClass(),
                       std::optional<int> value = std::nullopt) {
    Class cls = objc_allocateClassPair(superclass, uniqueName(base), 0);
    if (value) {
        int number = *value;
        class_addMethod(
            cls, valueSelector(),
            imp_implementationWithFunction<int(id, SEL)>([number](id, SEL) { return number; }),
            "i@:");
        class_addMethod(cls, addSelector(),
                        imp_implementationWithFunction<int(id, SEL, int)>(
                            [number](id, SEL, int x) { return number + x; }),
                        "i@:i");
    }
    objc_registerClassPair(cls);
    return cls;
}

inline int valueOf(const std::shared_ptr<NSObject>& object) {
    return objc_msgSend<int()>(object.get(), valueSelector());
}

inline int add(const std::shared_ptr<NSObject>& object, int x) {
    return objc_msgSend<int(int)>(object.get(), addSelector(), x);
}

using ValueMethod = int(id, SEL);
using ValueBlock = int(id);

// A factory whose replacement answers the original's value plus the offset.
inline auto plus(int offset) {
    return [offset](TypedHook<ValueMethod, ValueBlock>& hook) {
        return [&hook, offset](id self) { return hook.original()(self, hook.selector()) + offset; };
    };
}

// A factory whose replacement answers a constant.
inline auto answer(int value) {
    return [value](TypedHook<ValueMethod, ValueBlock>&) { return [value](id) { return value; }; };
}

// Logging off after every test, and standard output captured on request.
class InterpositionTest : public ::testing::Test {
protected:
    void TearDown() override { Interpose::setLoggingEnabled(false); }

    static void startCapture() { ::testing::internal::CaptureStdout(); }
    static std::string capturedOutput() { return ::testing::internal::GetCapturedStdout(); }
};

}  // namespace interposition::testing
