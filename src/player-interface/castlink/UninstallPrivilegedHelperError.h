#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "platform/foundation/Error.h"

namespace quillon {

// Why the Castlink helper tool could not remove itself. The tool sends these as errors of
// `errorDomain` whose code is the raw value, so the numbers are part of the contract with it.
class UninstallPrivilegedHelperError final : public platform::Error {
public:
    enum class Code : std::int64_t {
        failedToReadLaunchdPlist = 0,
        failedToDecodeLaunchdPlist = 1,
        unsupportedLaunchdPlistProgramArguments = 2,
        failedToFindProgramPathInLaunchdPlist = 3,
        failedToDeleteLaunchdPlist = 4,
        failedToDeleteProgram = 5,
        failedToRemoveCodeInjection = 6,
        failedToRunLaunchctlProcess = 7,
        launchctlFailed = 8,
        timedOutWaitingForLaunchdToKillPrivilegedHelper = 9,
    };

    static constexpr const char* errorDomain =
        "org.quillon.player.mac.castlink.uninstallPrivilegedHelper";

    explicit UninstallPrivilegedHelperError(Code code) : code_(code) {}

    // The case of a raw value; nullopt for a number that names none.
    static std::optional<UninstallPrivilegedHelperError> fromRawValue(std::int64_t rawValue);
    // The case an error of this domain stands for; nullopt for any other domain or code.
    static std::optional<UninstallPrivilegedHelperError> fromError(const platform::Error& error);

    Code errorCode() const { return code_; }
    std::int64_t rawValue() const { return static_cast<std::int64_t>(code_); }

    // The domain, the raw value as the code, no user info.
    platform::NSError toNSError() const;

    std::string domain() const override { return errorDomain; }
    std::int64_t code() const override { return rawValue(); }
    std::shared_ptr<const platform::Error> clone() const override;
    std::string debugDescription() const override;

private:
    Code code_;
};

}  // namespace quillon
