#include "platform/private-interfaces/QLSafelyUsePrivateAPI.h"

#include <fmt/format.h>

#include <map>
#include <mutex>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NeverDestroyed.h"
#include "platform/private-interfaces/DynamicSymbols.h"
#include "platform/private-interfaces/NSException.h"
#include "platform/private-interfaces/NSThread.h"
#include "platform/runtime/Object.h"

namespace quillon {

using platform::NSError;

namespace {

constexpr const char* insideDispatchSyncKey = "QLSafelyUsePrivateAPIIsInsideDispatchSync";

// Every piece of guarded code in the process runs on this queue, one at a time.
platform::DispatchQueue& privateAPIUsageQueue() {
    static platform::NeverDestroyed<std::shared_ptr<platform::DispatchQueue>> queue(
        platform::DispatchQueue::makeSerial("Private API Usage Queue",
                                            platform::DispatchQoS::userInitiated));
    return *queue.get();
}

std::shared_ptr<const NSError> makeError(std::int64_t code, NSError::UserInfo userInfo = {}) {
    return std::make_shared<NSError>(QLPrivateAPIUsageErrorDomain, code, std::move(userInfo));
}

// Runs the block and says what went wrong, if anything; nothing escapes.
std::shared_ptr<const NSError> runGuarded(const QLPrivateAPIBlock& block) {
    QLPrivateAPIErrorSlot reported;
    try {
        block(&reported);
    } catch (const platform::NSException& exception) {
        return makeError(QLPrivateAPIUsageErrorCodeNSException,
                         {{QLPrivateAPIUsageUnderlyingNSExceptionKey, exception.clone()}});
    } catch (const std::shared_ptr<platform::NSObject>& object) {
        return makeError(QLPrivateAPIUsageErrorCodeObjectiveCException,
                         {{QLPrivateAPIUsageUnderlyingObjectiveCExceptionObjectKey,
                           object ? object->description() : std::string("nil")}});
    } catch (...) {
        return makeError(QLPrivateAPIUsageErrorCodeUnknownException);
    }
    if (!reported) {
        return nullptr;
    }
    if (reported->domain() == QLPrivateAPIUsageErrorDomain) {
        if (auto error = std::dynamic_pointer_cast<const NSError>(reported)) {
            return error;
        }
        return makeError(reported->code());
    }
    return makeError(QLPrivateAPIUsageErrorCodeUnderlyingError,
                     {{QLPrivateAPIUsageUnderlyingNSErrorKey, reported}});
}

std::string joined(const std::vector<std::string>& symbols) {
    return fmt::format("{}", fmt::join(symbols, "\n"));
}

// An error with user info gets the call stack of the failure, when it has none yet: the
// exception's, else this thread's. An error without user info stays without.
std::shared_ptr<const NSError> withCallStackSymbols(std::shared_ptr<const NSError> error) {
    const auto& userInfo = error->userInfo();
    if (userInfo.empty() || userInfo.count(QLPrivateAPIUsageCallStackSymbolsKey) != 0) {
        return error;
    }
    std::vector<std::string> symbols;
    const auto exception = userInfo.find(QLPrivateAPIUsageUnderlyingNSExceptionKey);
    if (exception != userInfo.end()) {
        if (const auto* value =
                std::get_if<std::shared_ptr<const platform::Error>>(&exception->second)) {
            if (const auto* nsException =
                    dynamic_cast<const platform::NSException*>(value->get())) {
                symbols = nsException->callStackSymbols();
            }
        }
    }
    if (symbols.empty()) {
        symbols = platform::NSThread::callStackSymbols();
    }
    NSError::UserInfo extended = userInfo;
    extended.emplace(QLPrivateAPIUsageCallStackSymbolsKey, joined(symbols));
    return std::make_shared<NSError>(error->domain(), error->code(), std::move(extended));
}

// One line: the domain, code and what the user info holds, the call stack only counted.
std::string describe(const NSError& error) {
    std::string text = fmt::format("Error Domain={} Code={}", error.domain(), error.code());
    if (error.userInfo().empty()) {
        return text;
    }
    std::vector<std::string> entries;
    for (const auto& [key, value] : error.userInfo()) {
        if (key == QLPrivateAPIUsageCallStackSymbolsKey) {
            const auto* symbols = std::get_if<std::string>(&value);
            const auto count = symbols == nullptr || symbols->empty()
                                   ? 0
                                   : std::count(symbols->begin(), symbols->end(), '\n') + 1;
            entries.push_back(fmt::format("{}=({} frames)", key, count));
        } else if (const auto* string = std::get_if<std::string>(&value)) {
            entries.push_back(fmt::format("{}={}", key, *string));
        } else if (const auto* number = std::get_if<std::int64_t>(&value)) {
            entries.push_back(fmt::format("{}={}", key, *number));
        } else if (const auto* nested =
                       std::get_if<std::shared_ptr<const platform::Error>>(&value)) {
            entries.push_back(
                fmt::format("{}={}", key, *nested ? (*nested)->debugDescription() : "nil"));
        }
    }
    return fmt::format("{} UserInfo={{{}}}", text, fmt::join(entries, ", "));
}

// How often each failure (by its description without the call stack) has happened in this
// process. A failure that recurs on every use (a missing private method called at each fade of
// the controls) is logged the first time only, so that the log keeps what it is for.
class FailureTally {
public:
    // True the first time `description` is counted.
    bool count(const std::string& description) {
        const std::lock_guard lock(mutex_);
        const std::uint64_t seen = counts_[description]++;
        if (seen > 0) {
            ++unlogged_;
        }
        return seen == 0;
    }
    std::uint64_t unlogged() const {
        const std::lock_guard lock(mutex_);
        return unlogged_;
    }

private:
    mutable std::mutex mutex_;
    std::map<std::string, std::uint64_t, std::less<>> counts_;
    std::uint64_t unlogged_ = 0;
};

FailureTally& failureTally() {
    static platform::NeverDestroyed<FailureTally> tally;
    return tally.get();
}

}  // namespace

std::uint64_t QLUnloggedPrivateAPIFailureCount() {
    return failureTally().unlogged();
}

std::shared_ptr<const NSError> QLMakePrivateAPIUsageError(QLPrivateAPIUsageErrorCode code) {
    return makeError(code);
}

bool QLSafelyUsePrivateAPI(const QLPrivateAPIBlock& block, std::shared_ptr<const NSError>* error) {
    std::shared_ptr<const NSError> failure;
    const auto threadDictionary = platform::NSThread::currentThreadDictionary();
    if (threadDictionary->boolValueForKey(insideDispatchSyncKey)) {
        failure = runGuarded(block);
    } else {
        privateAPIUsageQueue().sync([&] {
            threadDictionary->setObject(insideDispatchSyncKey, true);
            failure = runGuarded(block);
            threadDictionary->removeObjectForKey(insideDispatchSyncKey);
        });
    }
    if (!failure) {
        return true;
    }
    const bool isFirstOfItsKind = failureTally().count(describe(*failure));
    failure = withCallStackSymbols(std::move(failure));
    if (isFirstOfItsKind) {
        platform::logDebug("Failed to use private API: {}.", describe(*failure));
    }
    if (error != nullptr) {
        *error = failure;
    }
    return false;
}

void QLLogUnavailablePrivateAPISymbol(const char* name) {
    platform::logDebug("Private API symbol {} is unavailable.", name);
}

bool QLIOSurfaceSetYCbCrMatrix(const platform::IOSurfaceRef& surface, std::uint32_t matrix) {
    const auto function =
        platform::DynamicSymbols::lookup<platform::IOSurfaceSetYCbCrMatrixFunction>(
            "IOSurfaceSetYCbCrMatrix");
    if (!function) {
        QLLogUnavailablePrivateAPISymbol("IOSurfaceSetYCbCrMatrix");
        return false;
    }
    return (*function)(surface, matrix) == platform::KERN_SUCCESS;
}

const platform::CMBaseVTable* QLCMBaseObjectGetVTable(const platform::CMBaseObjectRef& object) {
    const auto function = platform::DynamicSymbols::lookup<platform::CMBaseObjectGetVTableFunction>(
        "CMBaseObjectGetVTable");
    if (!function) {
        QLLogUnavailablePrivateAPISymbol("CMBaseObjectGetVTable");
        return nullptr;
    }
    return (*function)(object);
}

platform::OSStatus QLCMBaseObjectCopyProperty(const platform::CMBaseObjectRef& object,
                                              const std::string& key,
                                              platform::CFAllocatorRef allocator,
                                              platform::CFValue* valueOut) {
    const auto* table = QLCMBaseObjectGetVTable(object);
    if (table == nullptr || table->baseClass == nullptr ||
        table->baseClass->copyProperty == nullptr) {
        return QLCMBaseObjectUnavailableStatus;
    }
    return table->baseClass->copyProperty(object, key, allocator, valueOut);
}

platform::OSStatus QLCMBaseObjectSetProperty(const platform::CMBaseObjectRef& object,
                                             const std::string& key,
                                             const platform::CFValue& value) {
    const auto* table = QLCMBaseObjectGetVTable(object);
    if (table == nullptr || table->baseClass == nullptr ||
        table->baseClass->setProperty == nullptr) {
        return QLCMBaseObjectUnavailableStatus;
    }
    return table->baseClass->setProperty(object, key, value);
}

}  // namespace quillon
