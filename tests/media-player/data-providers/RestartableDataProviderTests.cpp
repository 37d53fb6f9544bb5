#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <mutex>
#include <vector>

#include "media-player/data-providers/RestartableDataProvider.h"

namespace {

using namespace quillon;

// A provider whose work notes whether it was cancelled; the test holds its queue while it
// submits, as a main thread does that outpaces a busy provider.
class NotingProvider : public RestartableDataProvider<NotingProvider> {
public:
    NotingProvider() : RestartableDataProvider("Noting Provider Queue") {}

    // Restarts with work that notes isCancelled() as it begins, under `name`.
    void restartNoting(bool cancelling, std::string name,
                       std::function<void()> whileRunning = nullptr) {
        restart(cancelling, [weak = weak_from_this(), name = std::move(name),
                             whileRunning = std::move(whileRunning)] {
            if (const auto self = weak.lock()) {
                self->note(name);
                if (whileRunning) {
                    whileRunning();
                    self->note(name + " later");
                }
            }
        });
    }
    // Blocks the queue until the returned promise is kept.
    std::promise<void> hold() {
        std::promise<void> release;
        queue()->async([released = release.get_future().share()] { released.wait(); });
        return release;
    }
    std::vector<std::pair<std::string, bool>> notes() {
        queue()->sync([] {});
        std::lock_guard lock(mutex_);
        return notes_;
    }

private:
    void note(const std::string& name) {
        std::lock_guard lock(mutex_);
        notes_.emplace_back(name, isCancelled());
    }

    std::mutex mutex_;
    std::vector<std::pair<std::string, bool>> notes_;
};

using Notes = std::vector<std::pair<std::string, bool>>;

TEST(RestartableDataProvider, ACancelHoldsForEveryPieceOfWorkQueuedBeforeIt) {
    const auto provider = std::make_shared<NotingProvider>();
    // A burst of seeks while the queue is busy: each supersedes the ones before it.
    auto release = provider->hold();
    provider->restartNoting(true, "seek 1");
    provider->restartNoting(false, "request after seek 1");
    provider->restartNoting(true, "seek 2");
    provider->restartNoting(true, "seek 3");
    provider->restartNoting(false, "request after seek 3");
    release.set_value();
    EXPECT_EQ(provider->notes(), (Notes{{"seek 1", true},
                                        {"request after seek 1", true},
                                        {"seek 2", true},
                                        {"seek 3", false},
                                        {"request after seek 3", false}}));
}

TEST(RestartableDataProvider, OnlyACancellingRestartStopsTheWorkThatRuns) {
    const auto provider = std::make_shared<NotingProvider>();
    std::promise<void> running;
    std::promise<void> goOn;
    auto goneOn = goOn.get_future().share();
    provider->restartNoting(true, "playing", [&running, goneOn] {
        running.set_value();
        goneOn.wait();
    });
    running.get_future().wait();
    provider->restartNoting(false, "a request");
    goOn.set_value();
    EXPECT_EQ(provider->notes(),
              (Notes{{"playing", false}, {"playing later", false}, {"a request", false}}));

    std::promise<void> runningAgain;
    std::promise<void> goOnAgain;
    auto goneOnAgain = goOnAgain.get_future().share();
    provider->restartNoting(true, "playing again", [&runningAgain, goneOnAgain] {
        runningAgain.set_value();
        goneOnAgain.wait();
    });
    runningAgain.get_future().wait();
    provider->restartNoting(true, "a seek");
    goOnAgain.set_value();
    const Notes notes = provider->notes();
    ASSERT_EQ(notes.size(), 6u);
    EXPECT_EQ(notes[3], (std::pair<std::string, bool>{"playing again", false}));
    EXPECT_EQ(notes[4], (std::pair<std::string, bool>{"playing again later", true}));
    EXPECT_EQ(notes[5], (std::pair<std::string, bool>{"a seek", false}));
}

}  // namespace
