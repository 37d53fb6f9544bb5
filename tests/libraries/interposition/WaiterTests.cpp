#include "InterpositionTestSupport.h"

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

using namespace interposition;
using namespace interposition::testing;

namespace {

class WaiterTest : public InterpositionTest {};

// Makes and registers a class of exactly this name with "value" answering the number.
Class registerClass(const std::string& name, int value) {
    Class cls = objc_allocateClassPair(NSObject::objcClass(), name, 0);
    class_addMethod(
        cls, valueSelector(),
        imp_implementationWithFunction<int(id, SEL)>([value](id, SEL) { return value; }), "i@:");
    objc_registerClassPair(cls);
    return cls;
}

Interpose::Builder hookValue(int offset) {
    return [offset](Interpose& i) { i.hook<ValueMethod, ValueBlock>("value", plus(offset)); };
}

}  // namespace

TEST_F(WaiterTest, AnAvailableClassIsHookedAtOnce) {
    Class cls = makeClass("Loaded", NSObject::objcClass(), 1);
    bool completed = false;
    auto waiter =
        Interpose::whenAvailable(class_getName(cls), hookValue(5), [&] { completed = true; });
    EXPECT_TRUE(completed);
    EXPECT_EQ(waiter.className, class_getName(cls));
    EXPECT_EQ(valueOf(class_createInstance(cls)), 6);

    EXPECT_THROW(Interpose::whenAvailable(
                     class_getName(cls),
                     [](Interpose& i) { i.hook<ValueMethod, ValueBlock>("missing", answer(0)); }),
                 InterposeError);
}

TEST_F(WaiterTest, WaitersRunInRegistrationOrderWhenTheirClassIsRegistered) {
    std::string name = uniqueName("Later");
    std::string otherName = uniqueName("Elsewhere");
    std::vector<std::string> order;
    Interpose::whenAvailable(name, hookValue(10), [&] { order.push_back("first"); });
    auto pieces = Interpose::whenAvailable(std::vector<std::string>{"La", name.substr(2)},
                                           hookValue(100), [&] { order.push_back("second"); });
    Interpose::whenAvailable(otherName, hookValue(1), [&] { order.push_back("other"); });
    EXPECT_EQ(pieces.className, name);
    EXPECT_TRUE(order.empty());

    Interpose::setLoggingEnabled(true);
    startCapture();
    Class cls = registerClass(name, 1);
    std::string output = capturedOutput();
    EXPECT_EQ(order, (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(valueOf(class_createInstance(cls)), 111);
    auto success = output.find("[Interposer] " + name + " was successful.\n");
    auto keeping = output.find("[Interposer] Keeping -[" + name + ".value]");
    EXPECT_NE(success, std::string::npos) << output;
    EXPECT_LT(success, keeping);

    registerClass(otherName, 2);
    EXPECT_EQ(order, (std::vector<std::string>{"first", "second", "other"}));
}

TEST_F(WaiterTest, AFailingWaiterIsLoggedAndNeverRetried) {
    std::string name = uniqueName("Broken");
    int completions = 0;
    Interpose::whenAvailable(
        name, [](Interpose& i) { i.hook<ValueMethod, ValueBlock>("missing", answer(0)); },
        [&] { ++completions; });
    Interpose::setLoggingEnabled(true);
    startCapture();
    Class cls = registerClass(name, 1);
    makeClass("AfterBroken");
    std::string output = capturedOutput();
    EXPECT_EQ(completions, 0);
    std::string line =
        "[Interposer] Error while executing task: methodNotFound(" + name + ", missing).\n";
    auto first = output.find(line);
    EXPECT_NE(first, std::string::npos) << output;
    EXPECT_EQ(output.find(line, first + 1), std::string::npos);
    EXPECT_EQ(valueOf(class_createInstance(cls)), 1);
}

TEST_F(WaiterTest, AWaiterWhoseClassNeverComesStaysPending) {
    bool completed = false;
    Interpose::whenAvailable(uniqueName("Never"), hookValue(1), [&] { completed = true; });
    makeClass("Unrelated");
    EXPECT_FALSE(completed);
}

TEST_F(WaiterTest, ClassRegisteredOnAnotherThreadRunsItsWaitersThere) {
    std::string name = uniqueName("Threaded");
    std::thread::id completedOn;
    Interpose::whenAvailable(name, hookValue(2), [&] { completedOn = std::this_thread::get_id(); });
    std::thread::id registeringThread;
    Class cls = nullptr;
    std::thread([&] {
        registeringThread = std::this_thread::get_id();
        cls = registerClass(name, 1);
    }).join();
    EXPECT_EQ(completedOn, registeringThread);
    EXPECT_EQ(valueOf(class_createInstance(cls)), 3);
}

TEST_F(WaiterTest, BuildersMayRegisterWaitersAndClassesThemselves) {
    std::string outer = uniqueName("Outer");
    std::string inner = uniqueName("Inner");
    std::vector<std::string> order;
    Interpose::whenAvailable(outer, [&](Interpose& i) {
        i.hook<ValueMethod, ValueBlock>("value", plus(1));
        Interpose::whenAvailable(inner, hookValue(2), [&] { order.push_back("inner"); });
        registerClass(inner, 10);
        order.push_back("outer built");
    });
    registerClass(outer, 0);
    EXPECT_EQ(order, (std::vector<std::string>{"inner", "outer built"}));
    EXPECT_EQ(valueOf(class_createInstance(objc_getClass(inner))), 12);
    EXPECT_EQ(valueOf(class_createInstance(objc_getClass(outer))), 1);
}

TEST_F(WaiterTest, AClassRegisteredWhileItsWaiterIsMadeIsHookedExactlyOnce) {
    for (int round = 0; round < 200; ++round) {
        std::string name = uniqueName("Racing");
        std::atomic<int> completions{0};
        std::mutex mutex;
        std::condition_variable ready;
        int waiting = 0;
        auto rendezvous = [&] {
            std::unique_lock lock(mutex);
            if (++waiting == 2) {
                ready.notify_all();
            } else {
                ready.wait(lock, [&] { return waiting == 2; });
            }
        };
        std::thread registrar([&] {
            rendezvous();
            registerClass(name, 1);
        });
        std::thread waiter([&] {
            rendezvous();
            Interpose::whenAvailable(name, hookValue(1), [&] { completions.fetch_add(1); });
        });
        registrar.join();
        waiter.join();
        ASSERT_EQ(completions.load(), 1) << name;
        ASSERT_EQ(valueOf(class_createInstance(objc_getClass(name))), 2);
    }
}
