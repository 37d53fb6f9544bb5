#include "libraries/calyxware/AutoLayoutTextViewDeserializationError.h"

#include <fmt/format.h>

namespace calyxware {

AutoLayoutTextViewDeserializationError
AutoLayoutTextViewDeserializationError::failedToRecreateLayoutManager(
    std::shared_ptr<const platform::Error> underlyingError) {
    return {Case::failedToRecreateLayoutManager, std::move(underlyingError)};
}

AutoLayoutTextViewDeserializationError
AutoLayoutTextViewDeserializationError::incorrectTextComponentTypes() {
    return {Case::incorrectTextComponentTypes, nullptr};
}

std::shared_ptr<const platform::Error> AutoLayoutTextViewDeserializationError::clone() const {
    return std::make_shared<AutoLayoutTextViewDeserializationError>(*this);
}

std::string AutoLayoutTextViewDeserializationError::debugDescription() const {
    if (case_ == Case::incorrectTextComponentTypes) {
        return "incorrectTextComponentTypes";
    }
    return fmt::format("failedToRecreateLayoutManager(underlyingError: {})",
                       underlyingError_ ? underlyingError_->debugDescription() : "nil");
}

platform::NSError AutoLayoutTextViewDeserializationError::nsError() const {
    platform::NSError::UserInfo userInfo;
    if (underlyingError_) {
        userInfo.emplace(platform::NSUnderlyingErrorKey, underlyingError_);
    }
    return platform::NSError(domainName, code(), std::move(userInfo));
}

}  // namespace calyxware
