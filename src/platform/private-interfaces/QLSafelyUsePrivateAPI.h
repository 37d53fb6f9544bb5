#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/foundation/Error.h"
#include "platform/private-interfaces/CMBaseObject.h"
#include "platform/private-interfaces/IOSurface.h"

namespace quillon {

// Failures of code that calls interfaces the platform does not publish.
inline constexpr const char* QLPrivateAPIUsageErrorDomain =
    "org.quillon.player.mac.PrivateAPIUsage";

enum QLPrivateAPIUsageErrorCode : std::int64_t {
    // The guarded code threw an exception of the object runtime (platform::NSException).
    QLPrivateAPIUsageErrorCodeNSException = 0,
    // It threw another object of the object runtime (a std::shared_ptr<platform::NSObject>).
    QLPrivateAPIUsageErrorCodeObjectiveCException = 1,
    // It threw anything else.
    QLPrivateAPIUsageErrorCodeUnknownException = 2,
    // It reported an error of another domain.
    QLPrivateAPIUsageErrorCodeUnderlyingError = 3,
    // A private method or function gave nothing where an object was expected (reported by the
    // guarded code itself).
    QLPrivateAPIUsageErrorCodeMissingResult = 4,
};

// User-info keys of those errors. The exception and the reported error are stored as error
// values; the thrown runtime object by its description; the call stack as one text, one symbol
// per line.
inline constexpr const char* QLPrivateAPIUsageUnderlyingNSExceptionKey = "UnderlyingNSException";
inline constexpr const char* QLPrivateAPIUsageUnderlyingObjectiveCExceptionObjectKey =
    "UnderlyingObjectiveCExceptionObject";
inline constexpr const char* QLPrivateAPIUsageUnderlyingNSErrorKey = "UnderlyingNSError";
inline constexpr const char* QLPrivateAPIUsageCallStackSymbolsKey = "CallStackSymbols";

// An error of the private-interface domain with that code and no user info.
std::shared_ptr<const platform::NSError> QLMakePrivateAPIUsageError(
    QLPrivateAPIUsageErrorCode code);

// The slot a guarded block reports a failure in; empty at the start.
using QLPrivateAPIErrorSlot = std::shared_ptr<const platform::Error>;
using QLPrivateAPIBlock = std::function<void(QLPrivateAPIErrorSlot* error)>;

// Runs code that calls private interfaces, one piece at a time for the whole process on the
// "Private API Usage Queue" (a guarded call made from inside guarded code runs at once on its
// thread), and turns whatever the code throws or reports into an error of
// QLPrivateAPIUsageErrorDomain. The caller waits. Returns true when the block finished without
// error or exception; otherwise logs "Failed to use private API: <error>.", stores the error in
// `error` when given and returns false. A failure identical to one logged before in this
// process (same error, same exception reason: the same missing selector) is only counted. Results
// leave the block through variables it shares with the caller.
bool QLSafelyUsePrivateAPI(const QLPrivateAPIBlock& block,
                           std::shared_ptr<const platform::NSError>* error = nullptr);

// How many failures were counted without being logged, because an identical one was.
std::uint64_t QLUnloggedPrivateAPIFailureCount();

// Wrappers of optional symbols. Each logs "Private API symbol <name> is unavailable." every
// time it is called while the symbol is missing (as it is on this system).

// True when IOSurfaceSetYCbCrMatrix exists and succeeded.
bool QLIOSurfaceSetYCbCrMatrix(const platform::IOSurfaceRef& surface, std::uint32_t matrix);

// The object's class table, or null when CMBaseObjectGetVTable is missing.
const platform::CMBaseVTable* QLCMBaseObjectGetVTable(const platform::CMBaseObjectRef& object);

// The status of the base class's copy-property / set-property function, or
// QLCMBaseObjectUnavailableStatus when there is no table to call through.
inline constexpr platform::OSStatus QLCMBaseObjectUnavailableStatus = -192;
platform::OSStatus QLCMBaseObjectCopyProperty(const platform::CMBaseObjectRef& object,
                                              const std::string& key,
                                              platform::CFAllocatorRef allocator,
                                              platform::CFValue* valueOut);
platform::OSStatus QLCMBaseObjectSetProperty(const platform::CMBaseObjectRef& object,
                                             const std::string& key,
                                             const platform::CFValue& value);

// Logs "Private API symbol <name> is unavailable."
void QLLogUnavailablePrivateAPISymbol(const char* name);

}  // namespace quillon
