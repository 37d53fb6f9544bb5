#include "platform/foundation/NotificationCenter.h"

#include "platform/foundation/NeverDestroyed.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace platform {

struct NotificationCenter::Observer {
    Observer(std::string name, const void* object, Block block)
        : name(std::move(name)), object(object), block(std::move(block)) {}

    bool matches(const Notification& notification) const {
        return (name.empty() || name == notification.name) &&
               (object == nullptr || object == notification.object);
    }

    const std::string name;
    const void* const object;

    std::mutex mutex;
    std::condition_variable callsEnded;
    // Released once the observer is removed and no call is running, so that whatever the block
    // captured does not outlive the observation.
    Block block;
    bool removed = false;
    // The threads running the block now, once per nesting level.
    std::vector<std::thread::id> callers;
};

struct NotificationCenter::State {
    std::mutex mutex;
    std::vector<std::shared_ptr<Observer>> observers;
};

NotificationCenter::NotificationCenter() : state_(std::make_shared<State>()) {}

NotificationCenter::~NotificationCenter() = default;

NotificationCenter& NotificationCenter::defaultCenter() {
    // Never destroyed: global-queue threads may still post while the process exits.
    static NeverDestroyed<NotificationCenter> center;
    return center.get();
}

ObserverToken NotificationCenter::addObserver(std::string name, const void* object, Block block) {
    auto observer = std::make_shared<Observer>(std::move(name), object, std::move(block));
    {
        std::lock_guard lock(state_->mutex);
        state_->observers.push_back(observer);
    }
    return ObserverToken(
        [weakState = std::weak_ptr<State>(state_), observer] { remove(weakState, observer); });
}

void NotificationCenter::post(const Notification& notification) {
    std::vector<std::shared_ptr<Observer>> matching;
    {
        std::lock_guard lock(state_->mutex);
        for (const auto& observer : state_->observers) {
            if (observer->matches(notification)) {
                matching.push_back(observer);
            }
        }
    }
    for (const auto& observer : matching) {
        deliver(*observer, notification);
    }
}

void NotificationCenter::post(std::string name, const void* object, UserInfo userInfo) {
    post(Notification{std::move(name), object, std::move(userInfo)});
}

void NotificationCenter::deliver(Observer& observer, const Notification& notification) {
    const auto self = std::this_thread::get_id();
    {
        std::lock_guard lock(observer.mutex);
        if (observer.removed) {
            return;
        }
        observer.callers.push_back(self);
    }
    struct CallEnd {
        Observer& observer;
        std::thread::id self;
        ~CallEnd() {
            Block released;
            {
                std::lock_guard lock(observer.mutex);
                auto& callers = observer.callers;
                callers.erase(std::find(callers.begin(), callers.end(), self));
                if (observer.removed) {
                    if (callers.empty()) {
                        released = std::move(observer.block);
                    }
                    observer.callsEnded.notify_all();
                }
            }
        }
    } callEnd{observer, self};
    // The block is only released when no call runs and none can start, so it is safe to call
    // without the lock.
    observer.block(notification);
}

void NotificationCenter::remove(const std::weak_ptr<State>& weakState,
                                const std::shared_ptr<Observer>& observer) {
    if (auto state = weakState.lock()) {
        std::lock_guard lock(state->mutex);
        std::erase(state->observers, observer);
    }
    Block released;
    {
        std::unique_lock lock(observer->mutex);
        observer->removed = true;
        const auto self = std::this_thread::get_id();
        const bool insideOwnBlock = std::find(observer->callers.begin(), observer->callers.end(),
                                              self) != observer->callers.end();
        // From inside its own block we must not wait (another thread could be removing it too,
        // waiting for us); the last call to end releases the block instead.
        if (!insideOwnBlock) {
            observer->callsEnded.wait(lock, [&] { return observer->callers.empty(); });
            released = std::move(observer->block);
        }
    }
}

}  // namespace platform
