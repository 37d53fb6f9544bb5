#include "player-interface/castlink/CastlinkManager.h"

#include <fmt/format.h>

#include <utility>

#include "media-player/session/SuddenTerminationManager.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/FatalError.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NeverDestroyed.h"

namespace quillon {

namespace {

// The platform's code for a helper that stopped answering.
constexpr std::int64_t NSXPCConnectionInterrupted = 4097;

void logVersionFailure(const platform::Error& error) {
    // Most machines have no helper: asking for its version then finds none, which is no fault.
    platform::log(CastlinkClient::isNotInstalledError(error) ? platform::LogLevel::debug
                                                             : platform::LogLevel::warning,
                  "Failed to get installed privileged helper version: {}.",
                  error.debugDescription());
}

}  // namespace

CastlinkManager& CastlinkManager::shared() {
    static platform::NeverDestroyed<CastlinkManager> manager(CastlinkClient::shared());
    return manager.get();
}

CastlinkManager::CastlinkManager(CastlinkClient& client)
    : client_(&client),
      queue_(
          platform::DispatchQueue::makeSerial(queueLabel, platform::DispatchQoS::userInitiated)) {}

CastlinkManager::CastlinkManager()
    : queue_(
          platform::DispatchQueue::makeSerial(queueLabel, platform::DispatchQoS::userInitiated)) {}

CastlinkManager::InstallationStatus CastlinkManager::installedPrivilegedHelperVersion() {
    try {
        return InstallationStatus::installed(client_->privilegedHelperVersion());
    } catch (const platform::Error& error) {
        logVersionFailure(error);
        return InstallationStatus::notInstalled();
    }
}

void CastlinkManager::requestInstalledPrivilegedHelperVersion(InstallationStatusHandler completion,
                                                              std::chrono::milliseconds timeout) {
    platform::precondition(client_ != nullptr, "The Castlink manager has no client to ask.");
    // Touched on the main queue only: whichever of the answer and the time-out comes first
    // completes, the other finds nothing left to do.
    auto pending = std::make_shared<InstallationStatusHandler>(std::move(completion));
    auto finish = [pending](std::optional<PrivilegedHelperVersion> version,
                            const std::shared_ptr<const platform::Error>& error) {
        if (!*pending) {
            return;
        }
        const InstallationStatusHandler handler = std::exchange(*pending, nullptr);
        if (version) {
            handler(InstallationStatus::installed(std::move(*version)));
            return;
        }
        logVersionFailure(*error);
        handler(InstallationStatus::notInstalled());
    };

    platform::DispatchQueue::main().asyncAfter(timeout, [finish, timeout] {
        const platform::NSError timedOut(
            platform::NSCocoaErrorDomain, NSXPCConnectionInterrupted,
            {{platform::NSDebugDescriptionErrorKey,
              fmt::format("The helper tool did not answer within {} ms.", timeout.count())}});
        finish(std::nullopt, timedOut.clone());
    });
    // A client of its own: the shared one belongs to the main thread, and connecting alone may
    // already hang on a bus that does not answer.
    queue_->async([finish, factory = client_->connectionFactory(), timeout] {
        std::optional<PrivilegedHelperVersion> version;
        std::shared_ptr<const platform::Error> error;
        {
            CastlinkClient client(factory, int(timeout.count()));
            try {
                version = client.privilegedHelperVersion();
            } catch (const platform::Error& failure) {
                error = failure.clone();
            }
        }
        platform::DispatchQueue::main().async(
            [finish, version = std::move(version), error = std::move(error)]() mutable {
                finish(std::move(version), error);
            });
    });
}

void CastlinkManager::uninstallPrivilegedHelper() {
    // Enabled again when it goes away, also when the uninstall throws.
    SuddenTerminationManager suddenTerminationManager;
    suddenTerminationManager.disable();
    client_->uninstallPrivilegedHelper();
    suddenTerminationManager.enable();
}

}  // namespace quillon
