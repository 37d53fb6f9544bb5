#pragma once

#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/ObserverToken.h"

namespace platform {

// Posted once the windows of the previous launch have been restored, by the application object
// (the document layer's restoration posts it with the application as sender).
inline constexpr const char* NSApplicationDidFinishRestoringWindowsNotification =
    "NSApplicationDidFinishRestoringWindowsNotification";

}  // namespace platform

namespace quillon {

// Holds back work that must not run while windows of the previous launch are still being
// restored (so that a restored window is not treated as a new one) and runs it once restoration
// has finished. Main thread only: the queue has no lock.
class WindowRestorationObserver {
public:
    // The application-wide observer, listening to the default centre for the notification from
    // any sender. Made by the application before restoration starts; never destroyed.
    static WindowRestorationObserver& shared();

    // Observes `center` for the end-of-restoration notification from `application` (any sender
    // when null) for as long as this object lives.
    WindowRestorationObserver(platform::NotificationCenter& center, const void* application);
    WindowRestorationObserver(const WindowRestorationObserver&) = delete;
    WindowRestorationObserver& operator=(const WindowRestorationObserver&) = delete;

    bool isRestorationComplete() const { return isRestorationComplete_; }

    // Runs `work` at once when restoration has finished, else queues it to run then.
    void performAfterRestoration(std::function<void()> work);

    // The same for work on behalf of `receiver`, which is held weakly: the work is dropped when
    // the receiver is gone by the time it would run.
    template <typename Receiver, typename Work>
    void performAfterRestoration(const std::shared_ptr<Receiver>& receiver, Work work) {
        performAfterRestoration(
            [weakReceiver = std::weak_ptr<Receiver>(receiver), work = std::move(work)]() mutable {
                if (auto strongReceiver = weakReceiver.lock()) {
                    work(*strongReceiver);
                }
            });
    }

    // The notification's handler: marks restoration complete and runs the queued work in the
    // order it was given.
    void applicationDidFinishRestoringWindows();

private:
    bool isRestorationComplete_ = false;
    std::vector<std::function<void()>> completionHandlers_;
    platform::ObserverToken observation_;
};

}  // namespace quillon
