#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/foundation/Log.h"
#include "platform/private-interfaces/DynamicSymbols.h"
#include "platform/private-interfaces/NSException.h"
#include "platform/private-interfaces/QLSafelyUsePrivateAPI.h"
#include "platform/runtime/Object.h"

namespace {

using namespace quillon;
using platform::NSError;

const NSError::UserInfoValue* userInfoValue(const NSError& error, const std::string& key) {
    const auto it = error.userInfo().find(key);
    return it == error.userInfo().end() ? nullptr : &it->second;
}

TEST(SafelyUsePrivateAPITest, ABlockThatSucceedsLeavesNoError) {
    platform::ScopedLogCapture log;
    int result = 0;
    std::shared_ptr<const NSError> error;
    EXPECT_TRUE(QLSafelyUsePrivateAPI([&](QLPrivateAPIErrorSlot*) { result = 42; }, &error));
    EXPECT_EQ(result, 42);
    EXPECT_EQ(error, nullptr);
    EXPECT_TRUE(log.lines().empty());
}

TEST(SafelyUsePrivateAPITest, AnExceptionBecomesCodeZeroWithItsCallStack) {
    platform::ScopedLogCapture log;
    std::shared_ptr<const NSError> error;
    EXPECT_FALSE(QLSafelyUsePrivateAPI(
        [](QLPrivateAPIErrorSlot*) {
            throw platform::NSException(
                platform::NSInvalidArgumentException,
                "-[AVOutputContext iTunesAudioContext]: unrecognized selector");
        },
        &error));
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->domain(), "org.quillon.player.mac.PrivateAPIUsage");
    EXPECT_EQ(error->code(), 0);
    const auto* exception = userInfoValue(*error, "UnderlyingNSException");
    ASSERT_NE(exception, nullptr);
    const auto& stored = std::get<std::shared_ptr<const platform::Error>>(*exception);
    const auto* nsException = dynamic_cast<const platform::NSException*>(stored.get());
    ASSERT_NE(nsException, nullptr);
    EXPECT_EQ(nsException->name(), platform::NSInvalidArgumentException);
    const auto* symbols = userInfoValue(*error, "CallStackSymbols");
    ASSERT_NE(symbols, nullptr);
    EXPECT_FALSE(std::get<std::string>(*symbols).empty());
    ASSERT_EQ(log.lines().size(), 1u);
    // The interfaces are the platform's private ones, which this system never has.
    EXPECT_EQ(log.entries()[0].level, platform::LogLevel::debug);
    EXPECT_EQ(log.lines()[0].rfind("Failed to use private API: Error Domain=org.quillon.player.mac."
                                   "PrivateAPIUsage Code=0 ",
                                   0),
              0u);
    EXPECT_EQ(log.lines()[0].back(), '.');
}

TEST(SafelyUsePrivateAPITest, OtherThrownValuesGetCodesOneAndTwo) {
    std::shared_ptr<const NSError> error;
    EXPECT_FALSE(QLSafelyUsePrivateAPI(
        [](QLPrivateAPIErrorSlot*) { throw std::make_shared<platform::NSObject>(); }, &error));
    EXPECT_EQ(error->code(), 1);
    EXPECT_NE(userInfoValue(*error, "UnderlyingObjectiveCExceptionObject"), nullptr);
    EXPECT_NE(userInfoValue(*error, "CallStackSymbols"), nullptr);

    EXPECT_FALSE(QLSafelyUsePrivateAPI([](QLPrivateAPIErrorSlot*) { throw 7; }, &error));
    EXPECT_EQ(error->code(), 2);
    EXPECT_TRUE(error->userInfo().empty()) << "no user info, so no call stack either";
}

TEST(SafelyUsePrivateAPITest, AnErrorOfAnotherDomainIsWrappedAsCodeThree) {
    std::shared_ptr<const NSError> error;
    EXPECT_FALSE(QLSafelyUsePrivateAPI(
        [](QLPrivateAPIErrorSlot* slot) {
            *slot = std::make_shared<NSError>(platform::NSOSStatusErrorDomain, -12345);
        },
        &error));
    EXPECT_EQ(error->code(), 3);
    const auto* underlying = userInfoValue(*error, "UnderlyingNSError");
    ASSERT_NE(underlying, nullptr);
    EXPECT_EQ(std::get<std::shared_ptr<const platform::Error>>(*underlying)->code(), -12345);
    EXPECT_NE(userInfoValue(*error, "CallStackSymbols"), nullptr);
}

TEST(SafelyUsePrivateAPITest, AnErrorOfItsOwnDomainStaysAsItIs) {
    std::shared_ptr<const NSError> error;
    const auto missing = QLMakePrivateAPIUsageError(QLPrivateAPIUsageErrorCodeMissingResult);
    EXPECT_FALSE(
        QLSafelyUsePrivateAPI([&](QLPrivateAPIErrorSlot* slot) { *slot = missing; }, &error));
    EXPECT_EQ(error, missing) << "no user info: returned unchanged";

    auto withInfo = std::make_shared<NSError>(QLPrivateAPIUsageErrorDomain, 4,
                                              NSError::UserInfo{{"Detail", std::string("x")}});
    EXPECT_FALSE(
        QLSafelyUsePrivateAPI([&](QLPrivateAPIErrorSlot* slot) { *slot = withInfo; }, &error));
    EXPECT_EQ(error->code(), 4);
    EXPECT_NE(userInfoValue(*error, "Detail"), nullptr);
    EXPECT_NE(userInfoValue(*error, "CallStackSymbols"), nullptr);

    // Without an out-parameter the failure is still reported by the result and the log.
    platform::ScopedLogCapture log;
    const auto another = std::make_shared<NSError>(
        QLPrivateAPIUsageErrorDomain, 4, NSError::UserInfo{{"Detail", std::string("only here")}});
    EXPECT_FALSE(QLSafelyUsePrivateAPI([&](QLPrivateAPIErrorSlot* slot) { *slot = another; }));
    EXPECT_TRUE(log.contains("Failed to use private API: "));
}

TEST(SafelyUsePrivateAPITest, AFailureThatRecursIsLoggedOnceAndCountedAfterwards) {
    platform::ScopedLogCapture log;
    const auto missingSelector = [](const char* selector) {
        return [selector](QLPrivateAPIErrorSlot*) {
            throw platform::NSException(platform::NSInvalidArgumentException,
                                        std::string(selector) + ": unrecognized selector sent");
        };
    };
    const std::uint64_t unloggedBefore = QLUnloggedPrivateAPIFailureCount();
    for (int fade = 0; fade < 5; ++fade) {
        std::shared_ptr<const NSError> error;
        EXPECT_FALSE(QLSafelyUsePrivateAPI(missingSelector("setTitlebarAlphaValue:"), &error));
        // Every caller still gets the whole error, call stack included.
        ASSERT_NE(error, nullptr);
        EXPECT_NE(userInfoValue(*error, "CallStackSymbols"), nullptr);
    }
    EXPECT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(QLUnloggedPrivateAPIFailureCount() - unloggedBefore, 4u);

    // Another selector's failure is news.
    EXPECT_FALSE(QLSafelyUsePrivateAPI(missingSelector("titlebarContainerView")));
    ASSERT_EQ(log.lines().size(), 2u);
    EXPECT_NE(log.lines()[1].find("titlebarContainerView: unrecognized selector"),
              std::string::npos);
}

TEST(SafelyUsePrivateAPITest, AGuardedCallInsideGuardedCodeRunsAtOnce) {
    std::vector<int> order;
    std::shared_ptr<const NSError> innerError;
    EXPECT_TRUE(QLSafelyUsePrivateAPI([&](QLPrivateAPIErrorSlot*) {
        order.push_back(1);
        EXPECT_FALSE(QLSafelyUsePrivateAPI(
            [&](QLPrivateAPIErrorSlot*) {
                order.push_back(2);
                throw 1;
            },
            &innerError));
        order.push_back(3);
    }));
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(innerError->code(), 2);
    // The thread is free of the queue again.
    EXPECT_TRUE(QLSafelyUsePrivateAPI([](QLPrivateAPIErrorSlot*) {}));
}

TEST(SafelyUsePrivateAPITest, GuardedCodeRunsOnePieceAtATime) {
    std::atomic<int> inside{0};
    std::atomic<int> overlaps{0};
    std::vector<std::thread> threads;
    for (int thread = 0; thread < 4; ++thread) {
        threads.emplace_back([&] {
            for (int round = 0; round < 200; ++round) {
                QLSafelyUsePrivateAPI([&](QLPrivateAPIErrorSlot*) {
                    if (++inside > 1) {
                        ++overlaps;
                    }
                    std::this_thread::yield();
                    --inside;
                });
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(overlaps.load(), 0);
}

TEST(PrivateAPISymbolTest, MissingSymbolsAreLoggedAtEveryUse) {
    platform::ScopedLogCapture log;
    const auto surface = std::make_shared<platform::IOSurface>(1);
    EXPECT_FALSE(QLIOSurfaceSetYCbCrMatrix(surface, 9));
    EXPECT_FALSE(QLIOSurfaceSetYCbCrMatrix(surface, 9));
    EXPECT_EQ(log.lines(), (std::vector<std::string>{
                               "Private API symbol IOSurfaceSetYCbCrMatrix is unavailable.",
                               "Private API symbol IOSurfaceSetYCbCrMatrix is unavailable."}));

    const auto object = std::make_shared<platform::CMBaseObject>();
    EXPECT_EQ(QLCMBaseObjectGetVTable(object), nullptr);
    platform::CFValue value;
    EXPECT_EQ(QLCMBaseObjectCopyProperty(object, "Key", platform::kCFAllocatorDefault, &value),
              -192);
    EXPECT_EQ(QLCMBaseObjectSetProperty(object, "Key", platform::CFValue(true)), -192);
    EXPECT_TRUE(log.contains("Private API symbol CMBaseObjectGetVTable is unavailable."));
}

TEST(PrivateAPISymbolTest, PresentSymbolsAreCalledThrough) {
    std::vector<std::uint32_t> matrices;
    platform::DynamicSymbols::ScopedSymbol setter(
        "IOSurfaceSetYCbCrMatrix", platform::IOSurfaceSetYCbCrMatrixFunction(
                                       [&](platform::IOSurfaceRef, std::uint32_t matrix) {
                                           matrices.push_back(matrix);
                                           return matrix == 9 ? platform::KERN_SUCCESS : 5;
                                       }));
    const auto surface = std::make_shared<platform::IOSurface>(1);
    EXPECT_TRUE(QLIOSurfaceSetYCbCrMatrix(surface, 9));
    EXPECT_FALSE(QLIOSurfaceSetYCbCrMatrix(surface, 1));
    EXPECT_EQ(matrices, (std::vector<std::uint32_t>{9, 1}));

    // A base object whose table answers and takes one property.
    static platform::CFValue stored;
    static const platform::CMBaseClass baseClass = [] {
        platform::CMBaseClass made;
        made.copyProperty = [](const platform::CMBaseObjectRef&, const std::string& key,
                               platform::CFAllocatorRef,
                               platform::CFValue* out) -> platform::OSStatus {
            if (key != "RoutingContext") {
                return -12784;
            }
            *out = stored;
            return 0;
        };
        made.setProperty = [](const platform::CMBaseObjectRef&, const std::string& key,
                              const platform::CFValue& value) -> platform::OSStatus {
            if (key != "RoutingContext") {
                return -12784;
            }
            stored = value;
            return 0;
        };
        return made;
    }();
    static const platform::CMBaseVTable table{nullptr, &baseClass, nullptr};
    platform::DynamicSymbols::ScopedSymbol getVTable(
        "CMBaseObjectGetVTable", platform::CMBaseObjectGetVTableFunction(
                                     [](const platform::CMBaseObjectRef&) { return &table; }));
    const auto object = std::make_shared<platform::CMBaseObject>();
    EXPECT_EQ(QLCMBaseObjectSetProperty(object, "RoutingContext", std::string("context")), 0);
    platform::CFValue value;
    EXPECT_EQ(
        QLCMBaseObjectCopyProperty(object, "RoutingContext", platform::kCFAllocatorDefault, &value),
        0);
    EXPECT_EQ(std::get<std::string>(value), "context");
    EXPECT_EQ(QLCMBaseObjectSetProperty(object, "Other", platform::CFValue(true)), -12784);
}

}  // namespace
