#include "InterpositionTestSupport.h"

#include <cctype>

using namespace interposition;
using namespace interposition::testing;

namespace {

class ClassHookTest : public InterpositionTest {};

// Every "0x<hex digits>" of the text as "0x@", so that lines naming implementations compare.
std::string withoutAddresses(const std::string& text) {
    std::string result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        result.push_back(text[i]);
        if (text.compare(i, 2, "0x") == 0 && i + 2 < text.size() &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            result += "x@";
            i += 2;
            while (i + 1 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1]))) {
                ++i;
            }
        }
    }
    return result;
}

IMP constantIMP(int value) {
    return imp_implementationWithFunction<int(id, SEL)>([value](id, SEL) { return value; });
}

}  // namespace

TEST_F(ClassHookTest, AppliesToEveryInstanceAndReverts) {
    Class cls = makeClass("Clock", NSObject::objcClass(), 1);
    Class subclass = makeClass("ClockChild", cls);
    auto interpose = std::make_shared<Interpose>(cls, [](Interpose& i) {
        i.hook<ValueMethod, ValueBlock>("value", plus(10));
        i.hook<int(id, SEL, int), int(id, int)>(addSelector(), [](auto& hook) {
            return
                [&hook](id self, int x) { return hook.original()(self, hook.selector(), x * 2); };
        });
    });
    auto a = class_createInstance(cls);
    auto b = class_createInstance(subclass);
    EXPECT_EQ(valueOf(a), 11);
    EXPECT_EQ(valueOf(b), 11);
    EXPECT_EQ(add(a, 5), 11);
    ASSERT_EQ(interpose->hooks().size(), 2u);
    EXPECT_EQ(interpose->hooks()[0]->state(), HookState::interposed());

    interpose->revert();
    EXPECT_EQ(valueOf(a), 1);
    EXPECT_EQ(add(b, 5), 6);
    EXPECT_EQ(interpose->hooks()[1]->state(), HookState::prepared());
    // A reverted Interpose can be applied again.
    interpose->apply();
    EXPECT_EQ(valueOf(a), 11);
    interpose->revert();
}

TEST_F(ClassHookTest, ReplacementsMayTakeTheirOwnReceiverType) {
    struct Counter : NSObject {
        using NSObject::NSObject;
        int count = 5;
    };
    Class cls = makeClass("Counter", NSObject::objcClass(), 0);
    auto counter = std::make_shared<Counter>(cls);
    Interpose interpose(cls, [](Interpose& i) {
        i.hook<int(Counter*, SEL), int(Counter*)>("value", [](auto& hook) {
            return [&hook](Counter* self) {
                return self->count + hook.original()(self, hook.selector());
            };
        });
    });
    EXPECT_EQ(valueOf(counter), 5);
    interpose.revert();
}

TEST_F(ClassHookTest, ApplyingTwiceFailsAndChangesNothing) {
    Class cls = makeClass("Twice", NSObject::objcClass(), 1);
    Interpose interpose(cls,
                        [](Interpose& i) { i.hook<ValueMethod, ValueBlock>("value", plus(1)); });
    IMP installed = class_getMethodImplementation(cls, valueSelector());
    try {
        interpose.apply();
        FAIL() << "a second apply must fail";
    } catch (const InterposeError& error) {
        EXPECT_EQ(error.description(), "Invalid State. Expected: prepared");
    }
    EXPECT_EQ(class_getMethodImplementation(cls, valueSelector()), installed);
    EXPECT_EQ(interpose.hooks()[0]->state(), HookState::interposed());
    EXPECT_EQ(valueOf(class_createInstance(cls)), 2);
    interpose.revert();
}

TEST_F(ClassHookTest, RevertingBeforeApplyingFails) {
    Class cls = makeClass("Early", NSObject::objcClass(), 1);
    Interpose interpose(cls);
    interpose.hook<ValueMethod, ValueBlock>("value", plus(1));
    try {
        interpose.revert();
        FAIL() << "revert of a prepared hook must fail";
    } catch (const InterposeError& error) {
        EXPECT_EQ(error.description(), "Invalid State. Expected: interposed");
    }
    EXPECT_EQ(interpose.hooks()[0]->state(), HookState::prepared());
    EXPECT_EQ(valueOf(class_createInstance(cls)), 1);
}

TEST_F(ClassHookTest, MissingSelectorFailsAtHookAndLeavesHooksUnchanged) {
    Class cls = makeClass("Sparse", NSObject::objcClass(), 1);
    Interpose interpose(cls);
    try {
        interpose.hook<ValueMethod, ValueBlock>("missing", answer(0));
        FAIL() << "hooking a missing selector must fail";
    } catch (const InterposeError& error) {
        EXPECT_EQ(error, InterposeError::methodNotFound(cls, sel_registerName("missing")));
        EXPECT_EQ(error.description(),
                  "Method not found: -[" + std::string(class_getName(cls)) + " missing]");
    }
    EXPECT_TRUE(interpose.hooks().empty());
    EXPECT_THROW(
        Interpose(cls, [](Interpose& i) { i.hook<ValueMethod, ValueBlock>("missing", answer(0)); }),
        InterposeError);
}

TEST_F(ClassHookTest, InheritedOnlyMethodIsRefusedAndTheClassKeepsItsBehaviour) {
    Class base = makeClass("Inherited", NSObject::objcClass(), 1);
    Class derived = makeClass("Heir", base);
    auto heir = class_createInstance(derived);

    try {
        Interpose(derived, [](Interpose& i) { i.hook<ValueMethod, ValueBlock>("value", plus(5)); });
        FAIL() << "hooking an inherited-only method must fail";
    } catch (const InterposeError& error) {
        EXPECT_EQ(error, InterposeError::nonExistingImplementation(derived, valueSelector()));
    }
    // Nothing was installed: the class still inherits, and calls still work.
    EXPECT_TRUE(class_copyMethodList(derived).empty());
    EXPECT_EQ(valueOf(heir), 1);

    Interpose interpose(derived);
    auto hook = interpose.hook<ValueMethod, ValueBlock>("value", plus(5));
    EXPECT_THROW(interpose.apply(), InterposeError);
    EXPECT_EQ(hook->state(), HookState::error(InterposeError::nonExistingImplementation(
                                 derived, valueSelector())));
    EXPECT_EQ(hook->origIMP(), nullptr);
    EXPECT_EQ(valueOf(heir), 1);
    try {
        interpose.revert();
        FAIL() << "revert after a failed apply must fail at the check";
    } catch (const InterposeError& error) {
        EXPECT_EQ(error.description(), "Invalid State. Expected: interposed");
    }
}

TEST_F(ClassHookTest, HooksApplyInOrderAndEarlierOnesStayWhenALaterOneFails) {
    Class base = makeClass("Ordered", NSObject::objcClass(), 1);
    Class derived = makeClass("OrderedChild", base);
    // The child defines value itself but only inherits add:.
    class_addMethod(derived, valueSelector(), constantIMP(2), "i@:");
    Interpose interpose(derived);
    auto first = interpose.hook<ValueMethod, ValueBlock>("value", plus(10));
    auto second = interpose.hook<int(id, SEL, int), int(id, int)>(
        "add:", [](auto&) { return [](id, int) { return 0; }; });
    Interpose::setLoggingEnabled(true);
    startCapture();
    EXPECT_THROW(interpose.apply(), InterposeError);
    std::string output = capturedOutput();
    EXPECT_EQ(first->state(), HookState::interposed());
    EXPECT_EQ(second->state().kind(), HookState::Kind::error);
    EXPECT_EQ(valueOf(class_createInstance(derived)), 12);
    EXPECT_EQ(add(class_createInstance(derived), 3), 4);
    EXPECT_NE(output.find("Swizzled -[" + std::string(class_getName(derived)) + ".value]"),
              std::string::npos);
    EXPECT_EQ(output.find(".add:]"), std::string::npos);
}

TEST_F(ClassHookTest, ForeignReplacementFoundAtRevertRestoresTheOriginalAndFails) {
    Class cls = makeClass("Contested", NSObject::objcClass(), 1);
    Interpose interpose(cls,
                        [](Interpose& i) { i.hook<ValueMethod, ValueBlock>("value", plus(1)); });
    IMP foreign = constantIMP(99);
    class_replaceMethod(cls, valueSelector(), foreign, "i@:");
    try {
        interpose.revert();
        FAIL() << "revert over a foreign replacement must fail";
    } catch (const InterposeError& error) {
        EXPECT_EQ(error.errorCase(), InterposeError::Case::unexpectedImplementation);
        EXPECT_EQ(error.implementation(), foreign);
    }
    EXPECT_EQ(interpose.hooks()[0]->state().kind(), HookState::Kind::error);
    EXPECT_EQ(valueOf(class_createInstance(cls)), 1);
}

TEST_F(ClassHookTest, LogLinesFollowEachStateAndOnlyWhileEnabled) {
    Class cls = makeClass("Logged", NSObject::objcClass(), 1);
    Class base = makeClass("LoggedBase", NSObject::objcClass(), 1);
    Class heir = makeClass("LoggedHeir", base);
    std::string name = class_getName(cls);
    std::string heirName = class_getName(heir);

    startCapture();
    {
        Interpose quiet(cls,
                        [](Interpose& i) { i.hook<ValueMethod, ValueBlock>("value", plus(1)); });
        quiet.revert();
    }
    EXPECT_EQ(capturedOutput(), "");

    Interpose::setLoggingEnabled(true);
    startCapture();
    {
        Interpose applied(cls,
                          [](Interpose& i) { i.hook<ValueMethod, ValueBlock>("value", plus(1)); });
        Interpose reverted(
            cls, [](Interpose& i) { i.hook<ValueMethod, ValueBlock>("add:", answer(0)); });
        reverted.revert();
        Interpose failed(heir);
        failed.hook<ValueMethod, ValueBlock>("value", plus(1));
        EXPECT_THROW(failed.apply(), InterposeError);
    }
    std::string output = withoutAddresses(capturedOutput());
    auto expectLine = [&](const std::string& line) {
        EXPECT_NE(output.find("[Interposer] " + line + "\n"), std::string::npos)
            << "missing: " << line << "\nin:\n"
            << output;
    };
    expectLine("Swizzled -[" + name + ".value] IMP: 0x@ -> 0x@");
    expectLine("Restored -[" + name + ".add:] IMP: 0x@");
    expectLine("Leaking -[" + heirName +
               ".value] IMP: 0x@ due to error: nonExistingImplementation(" + heirName + ", value)");
    expectLine("Releasing -[" + name + ".add:] IMP: 0x@");
    expectLine("Keeping -[" + name + ".value] IMP: 0x@");
    // Only the line form reaches standard output.
    EXPECT_EQ(output.find("Implementation not found"), std::string::npos);

    // The kept hook is still in force; put the class back for good measure.
    EXPECT_EQ(valueOf(class_createInstance(cls)), 2);
}

TEST_F(ClassHookTest, BuilderFailureDiscardsTheHalfBuiltInterpose) {
    Class cls = makeClass("Aborted", NSObject::objcClass(), 1);
    std::weak_ptr<AnyHook> made;
    Interpose::setLoggingEnabled(true);
    startCapture();
    EXPECT_THROW(Interpose(cls,
                           [&](Interpose& i) {
                               made = i.hook<ValueMethod, ValueBlock>("value", plus(1));
                               throw std::runtime_error("builder gave up");
                           }),
                 std::runtime_error);
    std::string output = capturedOutput();
    EXPECT_NE(output.find("Releasing -["), std::string::npos) << output;
    // The prepared hook and its block are gone with the Interpose.
    EXPECT_TRUE(made.expired());
    EXPECT_EQ(valueOf(class_createInstance(cls)), 1);
}

TEST_F(ClassHookTest, HookAndApplyKeepsTheHookWithTheCallerOnly) {
    Class cls = makeClass("Direct", NSObject::objcClass(), 3);
    auto hook = hookAndApply<ValueMethod, ValueBlock>(cls, valueSelector(), plus(4));
    EXPECT_EQ(hook->state(), HookState::interposed());
    EXPECT_EQ(valueOf(class_createInstance(cls)), 7);
    hook->revert();
    EXPECT_EQ(valueOf(class_createInstance(cls)), 3);
    EXPECT_THROW((hookAndApply<ValueMethod, ValueBlock>(cls, sel_registerName("nope"), plus(1))),
                 InterposeError);
}

TEST_F(ClassHookTest, ReplacementMayRevertItselfWhileRunning) {
    Class cls = makeClass("SelfReverting", NSObject::objcClass(), 1);
    auto holder = std::make_shared<std::unique_ptr<Interpose>>();
    auto witness = std::make_shared<std::string>("still here");
    *holder = std::make_unique<Interpose>(cls, [holder, witness](Interpose& i) {
        i.hook<ValueMethod, ValueBlock>("value", [holder, witness](auto& hook) {
            return [&hook, holder, witness](id self) {
                auto original = hook.original();
                // Revert and drop the Interpose, which releases this block's implementation.
                (*holder)->revert();
                holder->reset();
                return original(self, hook.selector()) + static_cast<int>(witness->size());
            };
        });
    });
    witness.reset();
    auto object = class_createInstance(cls);
    EXPECT_EQ(valueOf(object), 1 + 10);
    EXPECT_EQ(*holder, nullptr);
    EXPECT_EQ(valueOf(object), 1);
}

TEST_F(ClassHookTest, RevertOnAnotherThreadWhileCallsRun) {
    Class cls = makeClass("Raced", NSObject::objcClass(), 1);
    auto object = class_createInstance(cls);
    std::atomic<bool> stop{false};
    std::thread caller([&] {
        while (!stop.load()) {
            int value = valueOf(object);
            ASSERT_TRUE(value == 1 || value == 101) << value;
        }
    });
    for (int round = 0; round < 300; ++round) {
        auto payload = std::make_shared<std::vector<int>>(64, 100);
        Interpose interpose(cls, [payload](Interpose& i) {
            i.hook<ValueMethod, ValueBlock>("value", [payload](auto& hook) {
                return [&hook, payload](id self) {
                    std::this_thread::yield();
                    return hook.original()(self, hook.selector()) + payload->back();
                };
            });
        });
        std::this_thread::yield();
        interpose.revert();
    }
    stop = true;
    caller.join();
    EXPECT_EQ(valueOf(object), 1);
}

TEST_F(ClassHookTest, CallingAnEmptyOriginalStopsWithAMessage) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    Class cls = makeClass("Unapplied", NSObject::objcClass(), 1);
    Interpose interpose(cls);
    auto hook = interpose.hook<ValueMethod, ValueBlock>("value", plus(1));
    auto object = class_createInstance(cls);
    EXPECT_FALSE(static_cast<bool>(hook->original()));
    EXPECT_DEATH(hook->original()(object.get(), valueSelector()),
                 "original implementation of -\\[Unapplied[0-9]+\\.value\\] is missing");
}
