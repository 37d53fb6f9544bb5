#pragma once

#include <optional>

#include "player-interface/CastlinkClient.h"
#include "player-interface/PrivilegedHelperVersion.h"

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

    explicit CastlinkManager(CastlinkClient& client) : client_(&client) {}
    virtual ~CastlinkManager() = default;
    CastlinkManager(const CastlinkManager&) = delete;
    CastlinkManager& operator=(const CastlinkManager&) = delete;

    // Installed with its version, or not installed when the tool cannot tell (the reason is
    // logged). Never throws.
    virtual InstallationStatus installedPrivilegedHelperVersion();

    // Uninstalls the tool; throws CastlinkClient::UninstallError. The process is not ended
    // suddenly while the tool removes itself.
    virtual void uninstallPrivilegedHelper();

protected:
    // For subclasses that answer on their own.
    CastlinkManager() = default;

private:
    CastlinkClient* client_ = nullptr;
};

}  // namespace quillon
