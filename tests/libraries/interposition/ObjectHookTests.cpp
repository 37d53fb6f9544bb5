#include "InterpositionTestSupport.h"

#include "libraries/interposition/SuperBuilder.h"

using namespace interposition;
using namespace interposition::testing;

namespace {

class ObjectHookTest : public InterpositionTest {};

SEL classSelector() {
    return sel_registerName("class");
}

Class reported(const std::shared_ptr<NSObject>& object) {
    return objc_msgSend<Class()>(object.get(), classSelector());
}

}  // namespace

TEST_F(ObjectHookTest, ChangesOneObjectWhichKeepsAnsweringItsFormerClass) {
    Class cls = makeClass("Track", NSObject::objcClass(), 1);
    auto hooked = class_createInstance(cls);
    auto other = class_createInstance(cls);
    Interpose interpose(hooked,
                        [](Interpose& i) { i.hook<ValueMethod, ValueBlock>("value", plus(20)); });

    EXPECT_EQ(valueOf(hooked), 21);
    EXPECT_EQ(valueOf(other), 1);
    EXPECT_EQ(object_getClass(other.get()), cls);
    Class subclass = object_getClass(hooked.get());
    EXPECT_TRUE(std::string_view(class_getName(subclass)).starts_with("Interposition_"));
    EXPECT_EQ(class_getSuperclass(subclass), cls);
    EXPECT_EQ(reported(hooked), cls);
    EXPECT_EQ(objc_msgSend<Class()>(subclass, classSelector()), cls);
    EXPECT_EQ(interpose.cls(), cls);
    EXPECT_NE(hooked->description().find(class_getName(cls)), std::string::npos);

    interpose.revert();
    EXPECT_EQ(valueOf(hooked), 1);
    // The object stays in its own subclass after the revert.
    EXPECT_EQ(object_getClass(hooked.get()), subclass);
}

TEST_F(ObjectHookTest, SuperImplementationIsDisplacedAndReachesTheSuperclass) {
    Class base = makeClass("Base", NSObject::objcClass(), 3);
    Class derived = makeClass("Derived", base);
    auto object = class_createInstance(derived);
    auto hook = hookAndApply<ValueMethod, ValueBlock>(object, valueSelector(), plus(100));
    auto& typed = static_cast<Interpose::ObjectHook<ValueMethod, ValueBlock>&>(*hook);

    EXPECT_TRUE(typed.generatesSuperIMP());
    EXPECT_TRUE(imp_isSuperForwarder(hook->origIMP()));
    EXPECT_FALSE(SuperBuilder::isSuperTrampolineForClass(typed.dynamicSubclass(), valueSelector()));
    EXPECT_EQ(valueOf(object), 103);
    EXPECT_EQ(hook->original()(object.get(), valueSelector()), 3);

    hook->revert();
    EXPECT_TRUE(SuperBuilder::isSuperTrampolineForClass(typed.dynamicSubclass(), valueSelector()));
    EXPECT_EQ(valueOf(object), 3);
}

TEST_F(ObjectHookTest, TwoHooksOnOneSelectorWithTheLowerOneReverted) {
    Class cls = makeClass("Stacked", NSObject::objcClass(), 1);
    auto object = class_createInstance(cls);
    auto lower = hookAndApply<ValueMethod, ValueBlock>(object, valueSelector(), plus(10));
    auto upper = hookAndApply<ValueMethod, ValueBlock>(object, valueSelector(), plus(100));
    EXPECT_EQ(upper->origIMP(), lower->replacementIMP());
    EXPECT_EQ(valueOf(object), 111);

    IMP lowerOriginal = lower->origIMP();
    lower->revert();
    EXPECT_EQ(lower->state(), HookState::prepared());
    EXPECT_EQ(upper->origIMP(), lowerOriginal);
    EXPECT_EQ(valueOf(object), 101);

    upper->revert();
    EXPECT_EQ(valueOf(object), 1);
}

TEST_F(ObjectHookTest, SecondHookReusesTheObjectsSubclass) {
    Class cls = makeClass("Reused", NSObject::objcClass(), 1);
    auto object = class_createInstance(cls);
    Interpose interpose(object, [](Interpose& i) {
        i.hook<ValueMethod, ValueBlock>("value", plus(1));
        i.hook<int(id, SEL, int), int(id, int)>("add:", [](auto& hook) {
            return [&hook](id self, int x) { return -hook.original()(self, hook.selector(), x); };
        });
    });
    EXPECT_EQ(valueOf(object), 2);
    EXPECT_EQ(add(object, 1), -2);
    Class subclass = object_getClass(object.get());
    int generated = 0;
    for (Method method : class_copyMethodList(subclass)) {
        generated += method_getName(method) == classSelector() ? 1 : 0;
    }
    EXPECT_EQ(generated, 1);
    interpose.revert();
    EXPECT_EQ(add(object, 1), 2);

    // The object now lives in a class of its own, so a further Interpose for it is refused.
    EXPECT_THROW(Interpose{object}, InterposeError);
}

TEST_F(ObjectHookTest, ForeignReplacementInTheSubclassIsReportedAndLeftAlone) {
    Class cls = makeClass("Foreign", NSObject::objcClass(), 1);
    auto object = class_createInstance(cls);
    auto hook = hookAndApply<ValueMethod, ValueBlock>(object, valueSelector(), plus(1));
    Class subclass = object_getClass(object.get());
    IMP foreign = imp_implementationWithFunction<int(id, SEL)>([](id, SEL) { return 7; });
    class_replaceMethod(subclass, valueSelector(), foreign, "i@:");

    try {
        hook->revert();
        FAIL() << "revert over a foreign replacement must fail";
    } catch (const InterposeError& error) {
        EXPECT_EQ(error,
                  InterposeError::unexpectedImplementation(subclass, valueSelector(), foreign));
    }
    EXPECT_EQ(hook->state().kind(), HookState::Kind::error);
    EXPECT_EQ(class_getMethodImplementation(subclass, valueSelector()), foreign);
    EXPECT_NE(hook->replacementIMP(), nullptr);
}

TEST_F(ObjectHookTest, WithoutSuperBuilderTheReplacementIsAddedAndCannotBeReset) {
    Class cls = makeClass("Plain", NSObject::objcClass(), 4);
    // Make sure the library has loaded its super builder before taking it away.
    hookAndApply<ValueMethod, ValueBlock>(class_createInstance(cls), valueSelector(), plus(0));
    Class builder = objc_getClass("SuperBuilder");
    ASSERT_NE(builder, nullptr);
    objc_disposeClassPair(builder);

    auto object = class_createInstance(cls);
    Interpose::setLoggingEnabled(true);
    startCapture();
    auto hook = hookAndApply<ValueMethod, ValueBlock>(object, valueSelector(), plus(1));
    std::string output = capturedOutput();
    auto& typed = static_cast<Interpose::ObjectHook<ValueMethod, ValueBlock>&>(*hook);
    EXPECT_FALSE(typed.generatesSuperIMP());
    EXPECT_EQ(hook->origIMP(), nullptr);
    EXPECT_EQ(valueOf(object), 5);
    EXPECT_EQ(hook->original()(object.get(), valueSelector()), 4);
    EXPECT_NE(output.find("Added -[" + std::string(class_getName(cls)) + ".value] IMP: 0x"),
              std::string::npos)
        << output;

    try {
        hook->revert();
        FAIL() << "a hook without an original cannot be reset";
    } catch (const InterposeError& error) {
        EXPECT_EQ(error.description(),
                  "Reset Unsupported: No Original IMP found. SuperBuilder missing?");
    }
    SuperBuilder::registerRuntimeClass();
    EXPECT_NE(objc_getClass("SuperBuilder"), nullptr);
}

TEST_F(ObjectHookTest, ObjectsInAnotherClassThanTheyReportAreRefused) {
    Class cls = makeClass("Observed", NSObject::objcClass(), 1);
    auto answerFormer = [cls] {
        return imp_implementationWithBlock<Class(id)>([cls](id) { return cls; });
    };
    Class kvo = objc_allocateClassPair(cls, "NSKVONotifying_" + uniqueName("Observed"), 0);
    class_addMethod(kvo, classSelector(), answerFormer(), "#@:");
    objc_registerClassPair(kvo);
    Class poser = makeClass("Poser", cls);
    class_addMethod(poser, classSelector(), answerFormer(), "#@:");

    auto observed = class_createInstance(cls);
    object_setClass(observed.get(), kvo);
    try {
        Interpose interpose(observed);
        FAIL() << "an observed object must be refused";
    } catch (const InterposeError& error) {
        EXPECT_EQ(error.errorCase(), InterposeError::Case::keyValueObservationDetected);
        EXPECT_EQ(error.description(), "Unable to hook object that uses Key Value Observing: " +
                                           observed->description());
    }

    auto posing = class_createInstance(poser);
    bool builderRan = false;
    try {
        Interpose interpose(posing, [&](Interpose&) { builderRan = true; });
        FAIL() << "an object posing as another class must be refused";
    } catch (const InterposeError& error) {
        EXPECT_EQ(error.description(), fmt::format("Unable to hook {} posing as {}/",
                                                   class_getName(cls), class_getName(poser)));
    }
    EXPECT_FALSE(builderRan);
}

TEST_F(ObjectHookTest, SuperBuilderReportsWhatItCannotAdd) {
    Class root = objc_allocateClassPair(nullptr, uniqueName("Root"), 0);
    objc_registerClassPair(root);
    std::optional<NSError> error;
    EXPECT_FALSE(SuperBuilder::addSuperInstanceMethodToClass(root, valueSelector(), &error));
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->domain(), "lanwick.superbuilder");
    EXPECT_EQ(error->code(), 1);
    EXPECT_EQ(error->localizedDescription(),
              "Unable to find superclass for " + std::string(class_getName(root)));

    Class bare = makeClass("Bare");
    error.reset();
    EXPECT_FALSE(IPNAddSuperImplementationToClass(bare, valueSelector(), &error));
    EXPECT_EQ(error->code(), 2);
    EXPECT_EQ(error->localizedDescription(),
              fmt::format("No dynamically dispatched method with selector value is available on "
                          "any of the superclasses of {}",
                          class_getName(bare)));

    Class base = makeClass("Provider", NSObject::objcClass(), 1);
    Class child = makeClass("Taker", base);
    EXPECT_TRUE(SuperBuilder::addSuperInstanceMethodToClass(child, valueSelector(), nullptr));
    EXPECT_TRUE(SuperBuilder::isSuperTrampolineForClass(child, valueSelector()));
    EXPECT_EQ(valueOf(class_createInstance(child)), 1);
    error.reset();
    EXPECT_FALSE(SuperBuilder::addSuperInstanceMethodToClass(child, valueSelector(), &error));
    EXPECT_EQ(error->code(), 3);
    EXPECT_EQ(
        error->localizedDescription(),
        fmt::format("Failed to add method for selector value to class {}", class_getName(child)));
}

TEST_F(ObjectHookTest, HookIsFoundFromItsImplementationWhileItLives) {
    Class cls = makeClass("Findable", NSObject::objcClass(), 1);
    auto hook =
        hookAndApply<ValueMethod, ValueBlock>(class_createInstance(cls), valueSelector(), plus(1));
    EXPECT_EQ(ObjectHookSupport::hookForIMP(hook->replacementIMP()), hook);
    EXPECT_EQ(ObjectHookSupport::hookForIMP(hook->origIMP()), nullptr);
    hook->revert();
}
