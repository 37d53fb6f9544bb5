#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/foundation/Error.h"

namespace calyxware {

// Why an auto-layout text view could not be decoded. Handed to the coder as an NSError whose
// domain is the type's qualified name and whose code is the case's position.
class AutoLayoutTextViewDeserializationError final : public platform::Error {
public:
    enum class Case : std::int64_t {
        failedToRecreateLayoutManager = 0,
        incorrectTextComponentTypes = 1,
    };

    static constexpr const char* domainName =
        "CXWAutoLayoutTextView.AutoLayoutTextView.DeserializationError";

    static AutoLayoutTextViewDeserializationError failedToRecreateLayoutManager(
        std::shared_ptr<const platform::Error> underlyingError);
    static AutoLayoutTextViewDeserializationError incorrectTextComponentTypes();

    Case errorCase() const { return case_; }
    const std::shared_ptr<const platform::Error>& underlyingError() const {
        return underlyingError_;
    }

    std::string domain() const override { return domainName; }
    std::int64_t code() const override { return static_cast<std::int64_t>(case_); }
    std::shared_ptr<const platform::Error> clone() const override;
    std::string debugDescription() const override;

    // The platform error object the coder records (the underlying error under
    // NSUnderlyingErrorKey).
    platform::NSError nsError() const;

private:
    AutoLayoutTextViewDeserializationError(Case errorCase,
                                           std::shared_ptr<const platform::Error> underlying)
        : case_(errorCase), underlyingError_(std::move(underlying)) {}

    Case case_;
    std::shared_ptr<const platform::Error> underlyingError_;
};

}  // namespace calyxware
