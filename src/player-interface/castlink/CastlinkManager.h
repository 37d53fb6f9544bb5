#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include "platform/dispatch/DispatchQueue.h"
#include "player-interface/castlink/CastlinkClient.h"
#include "player-interface/castlink/PrivilegedHelperVersion.h"

namespace quillon {

// What the user interface asks about the Castlink helper tool: whether it is installed, and
// to uninstall it. Main thread only; both calls wait for the tool.
class CastlinkManager {
public:
    class InstallationStatus {
    public:
        static InstallationStatus installed(PrivilegedHelperVersion version) {
            return InstallationStatus(std::move(version));
        }
        static InstallationStatus notInstalled() { return InstallationStatus(std::nullopt); }

        bool isInstalled() const { return version_.has_value(); }
        // The installed version; none when not installed.
        const std::optional<PrivilegedHelperVersion>& version() const { return version_; }

    private:
        explicit InstallationStatus(std::optional<PrivilegedHelperVersion> version)
            : version_(std::move(version)) {}
        std::optional<PrivilegedHelperVersion> version_;
    };

    // The process's manager over CastlinkClient::shared().
    static CastlinkManager& shared();

    static constexpr const char* queueLabel = "Castlink Manager Queue";

    explicit CastlinkManager(CastlinkClient& client);
    virtual ~CastlinkManager() = default;
    CastlinkManager(const CastlinkManager&) = delete;
    CastlinkManager& operator=(const CastlinkManager&) = delete;

    // Installed with its version, or not installed when the tool cannot tell (the reason is
    // logged). Never throws.
    virtual InstallationStatus installedPrivilegedHelperVersion();

    using InstallationStatusHandler = std::function<void(InstallationStatus)>;
    // How long the launch may wait for the tool before it counts as not installed.
    static constexpr std::chrono::milliseconds launchQueryTimeout{2000};

    // The same question without waiting: asked from a thread of its own over a connection of
    // its own, so that a bus that does not answer holds nothing up. `completion` runs once on
    // the main queue, with the answer or, after `timeout`, with not installed (logged like
    // any other failure). Main thread.
    virtual void requestInstalledPrivilegedHelperVersion(
        InstallationStatusHandler completion,
        std::chrono::milliseconds timeout = launchQueryTimeout);

    // Uninstalls the tool; throws CastlinkClient::UninstallError. The process is not ended
    // suddenly while the tool removes itself.
    virtual void uninstallPrivilegedHelper();

    // Where the queries without waiting ask the tool, one at a time.
    const std::shared_ptr<platform::DispatchQueue>& queue() const { return queue_; }

protected:
    // For subclasses that answer on their own.
    CastlinkManager();

private:
    CastlinkClient* client_ = nullptr;
    std::shared_ptr<platform::DispatchQueue> queue_;
};

}  // namespace quillon
