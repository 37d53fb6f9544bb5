#include "player-interface/castlink/UninstallPrivilegedHelperError.h"

#include <fmt/format.h>

namespace quillon {

namespace {

const char* caseName(UninstallPrivilegedHelperError::Code code) {
    using Code = UninstallPrivilegedHelperError::Code;
    switch (code) {
        case Code::failedToReadLaunchdPlist:
            return "failedToReadLaunchdPlist";
        case Code::failedToDecodeLaunchdPlist:
            return "failedToDecodeLaunchdPlist";
        case Code::unsupportedLaunchdPlistProgramArguments:
            return "unsupportedLaunchdPlistProgramArguments";
        case Code::failedToFindProgramPathInLaunchdPlist:
            return "failedToFindProgramPathInLaunchdPlist";
        case Code::failedToDeleteLaunchdPlist:
            return "failedToDeleteLaunchdPlist";
        case Code::failedToDeleteProgram:
            return "failedToDeleteProgram";
        case Code::failedToRemoveCodeInjection:
            return "failedToRemoveCodeInjection";
        case Code::failedToRunLaunchctlProcess:
            return "failedToRunLaunchctlProcess";
        case Code::launchctlFailed:
            return "launchctlFailed";
        case Code::timedOutWaitingForLaunchdToKillPrivilegedHelper:
            return "timedOutWaitingForLaunchdToKillPrivilegedHelper";
    }
    return "unknown";
}

}  // namespace

std::optional<UninstallPrivilegedHelperError> UninstallPrivilegedHelperError::fromRawValue(
    std::int64_t rawValue) {
    if (rawValue < 0 || rawValue > static_cast<std::int64_t>(
                                       Code::timedOutWaitingForLaunchdToKillPrivilegedHelper)) {
        return std::nullopt;
    }
    return UninstallPrivilegedHelperError(static_cast<Code>(rawValue));
}

std::optional<UninstallPrivilegedHelperError> UninstallPrivilegedHelperError::fromError(
    const platform::Error& error) {
    if (error.domain() != errorDomain) {
        return std::nullopt;
    }
    return fromRawValue(error.code());
}

platform::NSError UninstallPrivilegedHelperError::toNSError() const {
    return platform::NSError(errorDomain, rawValue());
}

std::shared_ptr<const platform::Error> UninstallPrivilegedHelperError::clone() const {
    return std::make_shared<UninstallPrivilegedHelperError>(*this);
}

std::string UninstallPrivilegedHelperError::debugDescription() const {
    return fmt::format("UninstallPrivilegedHelperError.{}", caseName(code_));
}

}  // namespace quillon
