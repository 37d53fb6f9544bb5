#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "media-player/media-types/Atomic.h"
#include "media-player/media-types/WeakReference.h"

using quillon::Atomic;
using quillon::WeakReference;

TEST(Atomic, ReentrantAccessWhileHoldingTheLockDoesNotDeadlock) {
    auto box = Atomic<int>::make(1);
    std::lock_guard outer(*box->lock());
    EXPECT_EQ(box->wrappedValue(), 1);
    box->setWrappedValue(2);
    box->modify([&](int& value) {
        value += box->wrappedValue();  // the getter inside a modify bracket
    });
    EXPECT_EQ(box->wrappedValue(), 4);
}

TEST(Atomic, ConcurrentIncrementsInModifyAreNotLost) {
    auto box = Atomic<int>::make(0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 10000; ++i) {
                box->modify([](int& value) { ++value; });
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(box->wrappedValue(), 80000);
}

TEST(Atomic, SharedLockExcludesAccessToBothBoxes) {
    auto primary = Atomic<std::string>::make("a");
    auto secondary = Atomic<std::string>::make("b");
    secondary->setLock(primary->lock());
    ASSERT_EQ(primary->lock(), secondary->lock());

    std::atomic<bool> readSecondary{false};
    std::thread reader;
    primary->modify([&](std::string& value) {
        reader = std::thread([&] {
            (void)secondary->wrappedValue();
            readSecondary = true;
        });
        // While this bracket holds the primary box, the other thread cannot reach the secondary.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_FALSE(readSecondary.load());
        value = "changed";
    });
    reader.join();
    EXPECT_TRUE(readSecondary.load());
    EXPECT_EQ(primary->wrappedValue(), "changed");
}

TEST(Atomic, ReplacedValueIsReleased) {
    auto first = std::make_shared<int>(1);
    std::weak_ptr<int> watch = first;
    auto box = Atomic<std::shared_ptr<int>>::make(std::move(first));
    box->setWrappedValue(std::make_shared<int>(2));
    EXPECT_TRUE(watch.expired());
    EXPECT_EQ(*box->wrappedValue(), 2);
}

TEST(WeakReference, BecomesAbsentWhenTheObjectGoesAndCopiesStayWeak) {
    auto object = std::make_shared<std::string>("x");
    WeakReference<std::string> reference(object);
    WeakReference<std::string> copy = reference;
    EXPECT_EQ(copy.object(), object);
    EXPECT_EQ(object.use_count(), 1);
    object.reset();
    EXPECT_EQ(reference.object(), nullptr);
    EXPECT_EQ(copy.object(), nullptr);
}
