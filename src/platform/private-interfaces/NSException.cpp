#include "platform/private-interfaces/NSException.h"

#include <fmt/format.h>

#include "platform/private-interfaces/NSThread.h"

namespace platform {

NSException::NSException(std::string name, std::string reason)
    : name_(std::move(name)),
      reason_(std::move(reason)),
      callStackSymbols_(NSThread::callStackSymbols()) {}

std::shared_ptr<const Error> NSException::clone() const {
    return std::make_shared<NSException>(*this);
}

std::string NSException::debugDescription() const {
    return fmt::format("{}: {}", name_, reason_);
}

}  // namespace platform
