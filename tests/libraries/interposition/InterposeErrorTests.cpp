#include "InterpositionTestSupport.h"

using namespace interposition;
using namespace interposition::testing;

TEST(InterposeError, DescriptionsNameTheClassAndSelector) {
    Class cls = makeClass("Player");
    std::string name = class_getName(cls);
    SEL play = sel_registerName("play:");
    EXPECT_EQ(InterposeError::methodNotFound(cls, play).description(),
              "Method not found: -[" + name + " play:]");
    EXPECT_EQ(InterposeError::nonExistingImplementation(cls, play).description(),
              "Implementation not found: -[" + name + " play:]");
    EXPECT_EQ(InterposeError::unableToAddMethod(cls, play).description(),
              "Unable to add method: -[" + name + " play:]");
    EXPECT_EQ(InterposeError::failedToAllocateClassPair(cls, "Sub").description(),
              "Failed to allocate class pair: " + name + ", Sub");
    EXPECT_EQ(InterposeError::unexpectedImplementation(cls, play, nullptr).description(),
              "Unexpected Implementation in -[" + name + " play:]: nil");
    IMP imp = imp_superForwarder();
    EXPECT_EQ(InterposeError::unexpectedImplementation(cls, play, imp).description(),
              fmt::format("Unexpected Implementation in -[{} play:]: {}", name,
                          static_cast<const void*>(imp.get())));
    EXPECT_EQ(describeIMP(imp).substr(0, 2), "0x");
}

TEST(InterposeError, StateAndReasonCases) {
    EXPECT_EQ(InterposeError::invalidState(HookState::prepared()).description(),
              "Invalid State. Expected: prepared");
    EXPECT_EQ(InterposeError::invalidState(HookState::interposed()).description(),
              "Invalid State. Expected: interposed");
    EXPECT_EQ(InterposeError::resetUnsupported("why").description(), "Reset Unsupported: why");
    auto unknown = InterposeError::unknownError("Something odd");
    EXPECT_EQ(unknown.description(), "Something odd");
    EXPECT_EQ(unknown.localizedDescription(), "Something odd");
    EXPECT_EQ(std::string(unknown.what()), "Something odd");
    EXPECT_EQ(unknown.failureReason(), std::nullopt);
    EXPECT_EQ(unknown.recoverySuggestion(), std::nullopt);
}

TEST(InterposeError, UnqualifiedNamesDropTheModule) {
    Class cls = objc_allocateClassPair(NSObject::objcClass(), uniqueName("Module.Kind"), 0);
    objc_registerClassPair(cls);
    std::string unqualified = std::string(class_getName(cls)).substr(std::string("Module.").size());
    EXPECT_EQ(InterposeError::methodNotFound(cls, valueSelector()).description(),
              "Method not found: -[" + unqualified + " value]");
}

TEST(InterposeError, ObjectCasesDescribeTheObject) {
    Class former = makeClass("Shown", NSObject::objcClass(), 1);
    Class actual = makeClass("Actual", former);
    auto object = class_createInstance(former);
    // The object reports its former class while living in another.
    class_addMethod(actual, sel_registerName("class"),
                    imp_implementationWithBlock<Class(id)>([former](id) { return former; }), "#@:");
    object_setClass(object.get(), actual);

    EXPECT_EQ(InterposeError::keyValueObservationDetected(object).description(),
              fmt::format("Unable to hook object that uses Key Value Observing: <{}: {}>",
                          class_getName(former), static_cast<const void*>(object.get())));
    EXPECT_EQ(InterposeError::objectPosingAsDifferentClass(object, actual).description(),
              fmt::format("Unable to hook {} posing as {}/", class_getName(former),
                          class_getName(actual)));
}

TEST(InterposeError, EqualityAndStatesCompareByDescription) {
    Class cls = makeClass("Compared");
    auto missing = InterposeError::methodNotFound(cls, valueSelector());
    EXPECT_EQ(missing, InterposeError::methodNotFound(cls, valueSelector()));
    EXPECT_FALSE(missing == InterposeError::nonExistingImplementation(cls, valueSelector()));
    // Different cases with the same text are equal.
    EXPECT_EQ(InterposeError::unknownError("Reset Unsupported: x"),
              InterposeError::resetUnsupported("x"));

    EXPECT_EQ(HookState::prepared().description(), "prepared");
    EXPECT_EQ(HookState::interposed().description(), "interposed");
    EXPECT_EQ(HookState::error(missing).description(),
              fmt::format("error(methodNotFound({}, value))", class_getName(cls)));
    EXPECT_EQ(HookState::error(missing), HookState::error(missing));
    EXPECT_FALSE(HookState::error(missing) == HookState::prepared());
    EXPECT_FALSE(HookState::prepared() == HookState::interposed());
}
