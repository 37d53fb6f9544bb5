#pragma once

#include <any>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/foundation/Notification.h"
#include "platform/foundation/ObserverToken.h"

namespace platform {

// Delivers notifications synchronously, on the posting thread, to every matching observer in
// the order the observers were added.
//
// Thread safety: any thread may add observers, post and drop tokens, also from inside an
// observer's block (no lock is held while blocks run). Once dropping a token has returned, its
// block is never called again, except when the token is dropped from inside that very block:
// then calls already running on other threads may still finish. Removing an observer waits for
// its calls in flight on other threads, so two blocks that each remove the other's observer
// while both run would wait for each other, and so would dropping a token while holding a lock
// that its block takes.
class NotificationCenter {
public:
    using Block = std::function<void(const Notification&)>;
    using UserInfo = std::map<std::string, std::any>;

    NotificationCenter();
    ~NotificationCenter();
    NotificationCenter(const NotificationCenter&) = delete;
    NotificationCenter& operator=(const NotificationCenter&) = delete;

    // The process-wide centre the system posts its notifications to.
    static NotificationCenter& defaultCenter();

    // Observes notifications called `name` (every name when empty) sent by `object` (any sender
    // when null) until the returned token is dropped. An observer added while a notification is
    // being delivered does not receive that notification.
    ObserverToken addObserver(std::string name, const void* object, Block block);

    void post(const Notification& notification);
    void post(std::string name, const void* object = nullptr, UserInfo userInfo = {});

private:
    struct Observer;
    struct State;

    static void deliver(Observer& observer, const Notification& notification);
    static void remove(const std::weak_ptr<State>& state,
                       const std::shared_ptr<Observer>& observer);

    std::shared_ptr<State> state_;
};

}  // namespace platform
