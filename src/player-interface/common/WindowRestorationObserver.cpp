#include "player-interface/common/WindowRestorationObserver.h"

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/FatalError.h"
#include "platform/foundation/NeverDestroyed.h"

namespace quillon {

namespace {

void requireMainThread() {
    platform::precondition(platform::DispatchQueue::main().isCurrent(),
                           "WindowRestorationObserver may only be used on the main thread.");
}

}  // namespace

WindowRestorationObserver& WindowRestorationObserver::shared() {
    static platform::NeverDestroyed<WindowRestorationObserver> instance(
        platform::NotificationCenter::defaultCenter(), nullptr);
    return instance.get();
}

WindowRestorationObserver::WindowRestorationObserver(platform::NotificationCenter& center,
                                                     const void* application)
    : observation_(center.addObserver(
          platform::NSApplicationDidFinishRestoringWindowsNotification, application,
          [this](const platform::Notification&) { applicationDidFinishRestoringWindows(); })) {}

void WindowRestorationObserver::performAfterRestoration(std::function<void()> work) {
    requireMainThread();
    if (isRestorationComplete_) {
        work();
    } else {
        completionHandlers_.push_back(std::move(work));
    }
}

void WindowRestorationObserver::applicationDidFinishRestoringWindows() {
    requireMainThread();
    isRestorationComplete_ = true;
    // Take the list first: work that runs may queue more, which then runs at once.
    std::vector<std::function<void()>> handlers = std::move(completionHandlers_);
    completionHandlers_.clear();
    for (auto& handler : handlers) {
        handler();
    }
}

}  // namespace quillon
