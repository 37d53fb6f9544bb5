#pragma once

#include <string>
#include <vector>

#include "platform/foundation/Error.h"

namespace platform {

inline constexpr const char* NSGenericException = "NSGenericException";
inline constexpr const char* NSInvalidArgumentException = "NSInvalidArgumentException";
inline constexpr const char* NSInternalInconsistencyException = "NSInternalInconsistencyException";

// The object runtime's exception, thrown by value. It records the call stack where it was made,
// which is where code of the runtime raises it. Being an error value, it can travel inside the
// user info of an error.
class NSException : public Error {
public:
    NSException(std::string name, std::string reason);

    const std::string& name() const { return name_; }
    const std::string& reason() const { return reason_; }
    const std::vector<std::string>& callStackSymbols() const { return callStackSymbols_; }

    std::string domain() const override { return name_; }
    std::int64_t code() const override { return 0; }
    std::shared_ptr<const Error> clone() const override;
    std::string localizedDescription() const override { return reason_; }
    std::string debugDescription() const override;

private:
    std::string name_;
    std::string reason_;
    std::vector<std::string> callStackSymbols_;
};

}  // namespace platform
