#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include <fmt/format.h>

#include "platform/runtime/MessageSend.h"
#include "platform/runtime/Runtime.h"
#include "platform/runtime/TypeEncoding.h"

using namespace platform;

namespace {

std::string uniqueName(std::string_view base) {
    static std::atomic<int> counter{0};
    return fmt::format("{}{}", base, ++counter);
}

Class makeClass(std::string_view base, Class superclass = NSObject::objcClass()) {
    Class cls = objc_allocateClassPair(superclass, uniqueName(base), 0);
    objc_registerClassPair(cls);
    return cls;
}

IMP constant(int value) {
    return imp_implementationWithFunction<int(id, SEL)>([value](id, SEL) { return value; });
}

SEL valueSelector() {
    return sel_registerName("value");
}

int valueOf(id object) {
    return objc_msgSend<int()>(object, valueSelector());
}

}  // namespace

TEST(Runtime, SelectorsAreInternedByName) {
    EXPECT_EQ(sel_registerName("play:"), NSSelectorFromString("play:"));
    EXPECT_NE(sel_registerName("play:"), sel_registerName("pause:"));
    EXPECT_STREQ(sel_getName(sel_registerName("play:")), "play:");
}

TEST(Runtime, ClassPairIsVisibleOnlyOnceRegisteredAndNamesAreUnique) {
    std::string name = uniqueName("Pending");
    Class cls = objc_allocateClassPair(NSObject::objcClass(), name, 0);
    ASSERT_NE(cls, nullptr);
    EXPECT_EQ(objc_getClass(name), nullptr);
    EXPECT_EQ(objc_allocateClassPair(NSObject::objcClass(), name, 0), nullptr);
    objc_registerClassPair(cls);
    EXPECT_EQ(NSClassFromString(name), cls);
    EXPECT_EQ(NSStringFromClass(cls), name);

    Class meta = object_getClass(cls);
    EXPECT_TRUE(class_isMetaClass(meta));
    EXPECT_TRUE(object_isClass(cls));
    EXPECT_EQ(class_getSuperclass(meta), object_getClass(NSObject::objcClass()));
    EXPECT_EQ(object_getClass(meta), object_getClass(NSObject::objcClass()));

    objc_disposeClassPair(cls);
    EXPECT_EQ(objc_getClass(name), nullptr);
}

TEST(Runtime, ReplacingAnInheritedMethodAddsItAndAnswersNoPrevious) {
    Class base = makeClass("Base");
    Class derived = makeClass("Derived", base);
    class_addMethod(base, valueSelector(), constant(1), "i@:");

    EXPECT_EQ(class_getInstanceMethod(derived, valueSelector()),
              class_getInstanceMethod(base, valueSelector()));
    EXPECT_TRUE(class_copyMethodList(derived).empty());
    EXPECT_FALSE(class_addMethod(base, valueSelector(), constant(9), "i@:"));

    IMP previous = class_replaceMethod(derived, valueSelector(), constant(2), "i@:");
    EXPECT_EQ(previous, nullptr);
    ASSERT_EQ(class_copyMethodList(derived).size(), 1u);
    EXPECT_STREQ(method_getTypeEncoding(class_getInstanceMethod(derived, valueSelector())), "i@:");

    IMP three = constant(3);
    EXPECT_NE(class_replaceMethod(derived, valueSelector(), three, "i@:"), nullptr);
    EXPECT_EQ(class_getMethodImplementation(derived, valueSelector()), three);
    EXPECT_EQ(valueOf(class_createInstance(derived).get()), 3);
    EXPECT_EQ(valueOf(class_createInstance(base).get()), 1);
}

TEST(Runtime, MessagesFollowTheObjectsCurrentClass) {
    Class first = makeClass("First");
    Class second = makeClass("Second", first);
    class_addMethod(first, valueSelector(), constant(1), "i@:");
    class_addMethod(second, valueSelector(), constant(2), "i@:");
    auto object = class_createInstance(first);

    EXPECT_EQ(valueOf(object.get()), 1);
    EXPECT_EQ(object_setClass(object.get(), second), first);
    EXPECT_EQ(valueOf(object.get()), 2);
    EXPECT_EQ(objc_msgSend<Class()>(object.get(), sel_registerName("class")), second);
    EXPECT_EQ(objc_msgSend<Class()>(second, sel_registerName("class")), second);
    EXPECT_EQ(objc_msgSendSuper<int()>(objc_super{object.get(), first}, valueSelector()), 1);
    EXPECT_EQ(objc_msgSend<int()>(nullptr, valueSelector()), 0);
}

TEST(Runtime, SuperForwarderReachesTheSuperclassAcrossLevels) {
    Class base = makeClass("SuperBase");
    Class middle = makeClass("SuperMiddle", base);
    Class leaf = makeClass("SuperLeaf", middle);
    class_addMethod(base, valueSelector(), constant(7), "i@:");
    ASSERT_TRUE(class_addMethod(middle, valueSelector(), imp_superForwarder(), "i@:"));

    // The leaf inherits the forwarder; the forwarder still lands on the base's method.
    EXPECT_EQ(valueOf(class_createInstance(middle).get()), 7);
    EXPECT_EQ(valueOf(class_createInstance(leaf).get()), 7);

    // A forwarder above a forwarder is skipped over.
    ASSERT_TRUE(class_addMethod(leaf, valueSelector(), imp_superForwarder(), "i@:"));
    EXPECT_EQ(valueOf(class_createInstance(leaf).get()), 7);
    EXPECT_TRUE(imp_isSuperForwarder(class_getMethodImplementation(leaf, valueSelector())));
}

TEST(Runtime, MethodsWithArgumentsAndTypeEncodings) {
    Class cls = makeClass("Adder");
    SEL add = sel_registerName("add:to:");
    class_addMethod(
        cls, add,
        imp_implementationWithBlock<long(id, long, long)>([](id, long a, long b) { return a + b; }),
        methodTypeEncoding<long(id, SEL, long, long)>().c_str());
    EXPECT_EQ(objc_msgSend<long(long, long)>(class_createInstance(cls).get(), add, 2L, 40L), 42L);
    EXPECT_STREQ(method_getTypeEncoding(class_getInstanceMethod(cls, add)), "q@:qq");
    EXPECT_EQ(methodTypeEncoding<Class(id, SEL)>(), "#@:");
    EXPECT_EQ((methodTypeEncoding<void(id, SEL, NSObject*, bool, double)>()), "v@:@Bd");
}

TEST(RuntimeDeathTest, CallingWithTheWrongSignatureStops) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    Class cls = makeClass("Mismatch");
    class_addMethod(cls, valueSelector(), constant(1), "i@:");
    auto object = class_createInstance(cls);
    EXPECT_DEATH(objc_msgSend<long()>(object.get(), valueSelector()), "has the signature");
    EXPECT_DEATH(objc_msgSend<int()>(object.get(), sel_registerName("missing")),
                 "no implementation to run");
}

TEST(Runtime, BlockImplementationsCarryTheirBlockUntilRemoved) {
    IMP imp = imp_implementationWithBlock<int(id)>([](id) { return 5; });
    auto block = imp_getBlock(imp);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(object_getClass(block.get()), Block::objcClass());
    EXPECT_EQ(imp_getBlock(constant(1)), nullptr);
    EXPECT_TRUE(imp_removeBlock(imp));
    EXPECT_FALSE(imp_removeBlock(imp));
    std::weak_ptr<const Implementation> watched = imp;
    imp.reset();
    EXPECT_TRUE(watched.expired());
}

TEST(Runtime, AnImplementationLivesUntilItsRunningCallReturns) {
    Class cls = makeClass("SelfReplacing");
    auto state = std::make_shared<int>(41);
    IMP replacing = imp_implementationWithBlock<int(id)>([cls, state](id self) {
        // Drop every other reference to this very implementation while it runs.
        IMP displaced = class_replaceMethod(cls, valueSelector(), constant(0), "i@:");
        imp_removeBlock(displaced);
        displaced.reset();
        return *state + (self != nullptr ? 1 : 0);
    });
    class_addMethod(cls, valueSelector(), replacing, "i@:");
    std::weak_ptr<const Implementation> watched = replacing;
    replacing.reset();
    state.reset();
    auto object = class_createInstance(cls);
    EXPECT_EQ(valueOf(object.get()), 42);
    EXPECT_TRUE(watched.expired());
    EXPECT_EQ(valueOf(object.get()), 0);
}

TEST(Runtime, AssociatedObjectsRetainOrObserve) {
    auto owner = class_createInstance(NSObject::objcClass());
    static const char strongKey = 0;
    static const char weakKey = 0;
    auto strong = class_createInstance(NSObject::objcClass());
    auto weak = class_createInstance(NSObject::objcClass());
    objc_setAssociatedObject(owner.get(), &strongKey, strong, OBJC_ASSOCIATION_RETAIN);
    objc_setAssociatedObject(owner.get(), &weakKey, weak, OBJC_ASSOCIATION_ASSIGN);
    std::weak_ptr<NSObject> strongWatch = strong;
    strong.reset();
    weak.reset();
    EXPECT_FALSE(strongWatch.expired());
    EXPECT_NE(objc_getAssociatedObject(owner.get(), &strongKey), nullptr);
    EXPECT_EQ(objc_getAssociatedObject(owner.get(), &weakKey), nullptr);
    objc_setAssociatedObject(owner.get(), &strongKey, nullptr, OBJC_ASSOCIATION_RETAIN);
    EXPECT_TRUE(strongWatch.expired());
}

TEST(Runtime, RegistrationIsAnnouncedOnTheRegisteringThreadOnceVisible) {
    struct Seen {
        std::string name;
        bool visible;
        std::thread::id thread;
    };
    static std::mutex mutex;
    static std::vector<Seen> seen;
    objc_addClassRegistrationObserver([](Class cls) {
        std::lock_guard lock(mutex);
        seen.push_back({class_getName(cls), objc_getClass(class_getName(cls)) == cls,
                        std::this_thread::get_id()});
    });
    std::string name = uniqueName("Announced");
    std::thread::id registeringThread;
    std::thread([&] {
        registeringThread = std::this_thread::get_id();
        Class cls = objc_allocateClassPair(NSObject::objcClass(), name, 0);
        objc_registerClassPair(cls);
    }).join();
    std::lock_guard lock(mutex);
    auto it = std::find_if(seen.begin(), seen.end(), [&](const Seen& s) { return s.name == name; });
    ASSERT_NE(it, seen.end());
    EXPECT_TRUE(it->visible);
    EXPECT_EQ(it->thread, registeringThread);
}

TEST(Runtime, ConcurrentSendsWhileMethodsAndClassesChange) {
    Class base = makeClass("Busy");
    Class other = makeClass("BusyOther", base);
    class_addMethod(base, valueSelector(), constant(1), "i@:");
    auto object = class_createInstance(base);
    std::atomic<bool> stop{false};
    std::vector<std::thread> senders;
    for (int i = 0; i < 3; ++i) {
        senders.emplace_back([&] {
            while (!stop.load()) {
                int value = valueOf(object.get());
                ASSERT_TRUE(value == 1 || value == 2 || value == 3) << value;
            }
        });
    }
    for (int i = 0; i < 500; ++i) {
        class_replaceMethod(base, valueSelector(), constant(i % 2 == 0 ? 2 : 1), "i@:");
        class_replaceMethod(other, valueSelector(), constant(3), "i@:");
        object_setClass(object.get(), i % 2 == 0 ? other : base);
        makeClass("BusyExtra");
    }
    stop = true;
    for (auto& sender : senders) {
        sender.join();
    }
}
