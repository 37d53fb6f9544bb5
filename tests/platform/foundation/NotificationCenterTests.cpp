#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/NotificationCenter.h"

using namespace platform;

namespace {

struct Sender {
    int value = 1;
};

}  // namespace

TEST(NotificationCenter, FiltersBySenderIdentityAndName) {
    NotificationCenter center;
    Sender first;
    Sender second;  // equal contents, different sender
    std::vector<std::string> received;

    auto fromFirst = center.addObserver("org.quillon.MediaPlayer.didSeek", &first,
                                        [&](const Notification&) { received.push_back("first"); });
    auto fromAnyone = center.addObserver("org.quillon.MediaPlayer.didSeek", nullptr,
                                         [&](const Notification&) { received.push_back("any"); });
    auto everything = center.addObserver(
        "", nullptr, [&](const Notification& n) { received.push_back("all:" + n.name); });
    auto everythingFromSecond = center.addObserver(
        "", &second, [&](const Notification& n) { received.push_back("second:" + n.name); });

    center.post("org.quillon.MediaPlayer.didSeek", &second);
    EXPECT_EQ(received, (std::vector<std::string>{"any", "all:org.quillon.MediaPlayer.didSeek",
                                                  "second:org.quillon.MediaPlayer.didSeek"}));

    received.clear();
    center.post("org.quillon.MediaPlayer.didSeek", &first);
    EXPECT_EQ(received,
              (std::vector<std::string>{"first", "any", "all:org.quillon.MediaPlayer.didSeek"}));

    received.clear();
    center.post("other", nullptr);
    EXPECT_EQ(received, std::vector<std::string>{"all:other"});
}

TEST(NotificationCenter, DeliversUserInfoAndSenderToTheBlock) {
    NotificationCenter center;
    Sender sender;
    std::optional<Notification> received;
    auto token = center.addObserver("n", nullptr, [&](const Notification& n) { received = n; });
    center.post("n", &sender, {{"time", 2.5}});
    ASSERT_TRUE(received);
    EXPECT_EQ(received->object, &sender);
    EXPECT_EQ(std::any_cast<double>(received->userInfo.at("time")), 2.5);
}

TEST(NotificationCenter, DroppingOrMovingTokensControlsTheObservation) {
    NotificationCenter center;
    int calls = 0;
    ObserverToken kept;
    {
        auto token = center.addObserver("n", nullptr, [&](const Notification&) { ++calls; });
        center.post("n");
        kept = std::move(token);
    }  // the moved-from token ends nothing
    center.post("n");
    EXPECT_EQ(calls, 2);
    kept = ObserverToken();
    EXPECT_FALSE(kept.isActive());
    center.post("n");
    EXPECT_EQ(calls, 2);
}

TEST(NotificationCenter, ReleasesTheBlockOnRemovalAndOutlivesTheCenter) {
    auto captured = std::make_shared<int>(0);
    ObserverToken token;
    {
        NotificationCenter center;
        token = center.addObserver("n", nullptr, [captured](const Notification&) {});
        EXPECT_EQ(captured.use_count(), 2);
    }
    token.remove();  // the centre is gone: nothing to do but release the block
    EXPECT_EQ(captured.use_count(), 1);
}

TEST(NotificationCenter, ObserversMayChangeTheCentreFromTheirBlocks) {
    NotificationCenter center;
    std::vector<std::string> received;
    ObserverToken self;
    ObserverToken later;
    ObserverToken added;
    self = center.addObserver("n", nullptr, [&](const Notification&) {
        received.push_back("self");
        self.remove();  // from inside its own block
        later.remove();
        added = center.addObserver("n", nullptr,
                                   [&](const Notification&) { received.push_back("added"); });
        center.post("nested");
    });
    later = center.addObserver("n", nullptr, [&](const Notification&) { received.push_back("x"); });
    auto nested = center.addObserver("nested", nullptr,
                                     [&](const Notification&) { received.push_back("nested"); });

    center.post("n");
    // A removed observer is skipped even in the post under way; one added during it waits for
    // the next post.
    EXPECT_EQ(received, (std::vector<std::string>{"self", "nested"}));
    received.clear();
    center.post("n");
    EXPECT_EQ(received, std::vector<std::string>{"added"});
}

TEST(NotificationCenter, ObserverRemovedOnAnotherThreadIsNeverCalledAfterRemovalReturns) {
    NotificationCenter center;
    constexpr int kRounds = 200;
    std::atomic<bool> stop = false;
    std::atomic<int> lateCalls = 0;
    std::atomic<int> calls = 0;

    std::vector<std::thread> posters;
    for (int i = 0; i < 3; ++i) {
        posters.emplace_back([&] {
            while (!stop) {
                center.post("tick");
            }
        });
    }
    for (int round = 0; round < kRounds; ++round) {
        auto removed = std::make_shared<std::atomic<bool>>(false);
        auto token = center.addObserver("tick", nullptr, [&, removed](const Notification&) {
            if (*removed) {
                ++lateCalls;
            }
            ++calls;
            std::this_thread::yield();
        });
        while (calls.load() == 0 && round == 0) {
            std::this_thread::yield();
        }
        token.remove();
        *removed = true;
    }
    stop = true;
    for (auto& poster : posters) {
        poster.join();
    }
    EXPECT_GT(calls.load(), 0);
    EXPECT_EQ(lateCalls.load(), 0);
}

TEST(NotificationCenter, ConcurrentRegistrationAndPostingKeepsOrderPerPost) {
    NotificationCenter center;
    std::mutex mutex;
    std::vector<int> orderErrors;
    std::vector<ObserverToken> tokens;
    std::atomic<bool> stop = false;
    // Every post sees the stable observers in the order they were added.
    for (int i = 0; i < 5; ++i) {
        tokens.push_back(center.addObserver("ordered", nullptr, [&, i](const Notification& n) {
            auto* sequence = std::any_cast<std::vector<int>*>(n.userInfo.at("sequence"));
            sequence->push_back(i);
        }));
    }
    std::thread churn([&] {
        while (!stop) {
            auto token = center.addObserver("ordered", nullptr, [](const Notification&) {});
            auto other = center.addObserver("", nullptr, [](const Notification&) {});
        }
    });
    std::vector<std::thread> posters;
    for (int t = 0; t < 3; ++t) {
        posters.emplace_back([&] {
            for (int i = 0; i < 500; ++i) {
                std::vector<int> sequence;
                center.post("ordered", nullptr, {{"sequence", &sequence}});
                if (sequence != std::vector<int>{0, 1, 2, 3, 4}) {
                    std::lock_guard lock(mutex);
                    orderErrors.push_back(i);
                }
            }
        });
    }
    for (auto& poster : posters) {
        poster.join();
    }
    stop = true;
    churn.join();
    EXPECT_TRUE(orderErrors.empty());
}
