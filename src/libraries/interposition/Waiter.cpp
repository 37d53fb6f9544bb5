#include "libraries/interposition/Waiter.h"

#include <exception>
#include <mutex>
#include <optional>
#include <vector>

#include <fmt/format.h>

#include "libraries/interposition/InterposerLog.h"

using namespace platform;

namespace interposition {

namespace {

std::string textualForm(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const InterposeError& error) {
        return error.caseDescription();
    } catch (const Error& error) {
        return error.debugDescription();
    } catch (const std::exception& error) {
        return error.what();
    } catch (...) {
        return "unknown error";
    }
}

// The waiters whose classes have not appeared. The list has a lock of its own, under which
// a new waiter's class is looked up and the waiter appended in one step: a class registered
// in between would otherwise be announced before its waiter is pending, and the waiter would
// wait for ever. A second, recursive lock runs one check at a time, so that waiters are tried
// in the order they were made even when classes are registered on several threads; builders
// run outside the list lock, so they may register waiters and classes of their own.
class WaiterRegistry {
public:
    // Never destroyed: pending waiters are kept for the life of the process.
    static WaiterRegistry& shared() {
        static auto* instance = new WaiterRegistry();
        return *instance;
    }

    // The class when it exists (the waiter is then not kept), else null with the waiter pending.
    Class registerUnlessAvailable(const Interpose::Waiter& waiter) {
        std::lock_guard lock(listMutex_);
        if (Class cls = NSClassFromString(waiter.className)) {
            return cls;
        }
        pending_.push_back(waiter);
        return nullptr;
    }

    void checkPendingWaiters() {
        std::lock_guard checking(checkMutex_);
        std::vector<std::pair<Interpose::Waiter, Class>> ready;
        {
            std::lock_guard lock(listMutex_);
            std::vector<Interpose::Waiter> stillPending;
            for (auto& waiter : pending_) {
                if (Class cls = NSClassFromString(waiter.className)) {
                    ready.emplace_back(std::move(waiter), cls);
                } else {
                    stillPending.push_back(std::move(waiter));
                }
            }
            pending_ = std::move(stillPending);
        }
        for (const auto& [waiter, cls] : ready) {
            tryOnce(waiter, cls);
        }
    }

private:
    WaiterRegistry() {
        objc_addClassRegistrationObserver([this](Class) { checkPendingWaiters(); });
    }

    static void tryOnce(const Interpose::Waiter& waiter, Class cls) {
        std::optional<Interpose> interpose;
        interpose.emplace(cls);
        try {
            interpose->apply(waiter.builder);
            if (waiter.completion) {
                waiter.completion();
            }
            interposerLog(fmt::format("{} was successful.", waiter.className));
        } catch (...) {
            interposerLog(fmt::format("Error while executing task: {}.",
                                      textualForm(std::current_exception())));
        }
        // Its hooks log their cleanup; applied ones stay in force.
        interpose.reset();
    }

    std::recursive_mutex checkMutex_;
    std::mutex listMutex_;
    std::vector<Interpose::Waiter> pending_;
};

std::string joined(const std::vector<std::string>& pieces) {
    std::string name;
    for (const auto& piece : pieces) {
        name += piece;
    }
    return name;
}

}  // namespace

Interpose::Waiter Interpose::whenAvailable(std::string className, Builder builder,
                                           std::function<void()> completion) {
    Waiter waiter{std::move(className), std::move(builder), std::move(completion)};
    Class cls = NSClassFromString(waiter.className);
    if (cls == nullptr) {
        cls = WaiterRegistry::shared().registerUnlessAvailable(waiter);
    }
    if (cls != nullptr) {
        Interpose interpose(cls);
        interpose.apply(waiter.builder);
        if (waiter.completion) {
            waiter.completion();
        }
    }
    return waiter;
}

Interpose::Waiter Interpose::whenAvailable(const std::vector<std::string>& namePieces,
                                           Builder builder, std::function<void()> completion) {
    return whenAvailable(joined(namePieces), std::move(builder), std::move(completion));
}

}  // namespace interposition
