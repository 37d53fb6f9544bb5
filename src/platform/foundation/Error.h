#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>

namespace platform {

// Base of every error value the system throws. Mirrors the platform's error model: each error
// has a domain and a code, and may carry the three texts a user can be shown.
class Error : public std::exception {
public:
    ~Error() override = default;

    virtual std::string domain() const = 0;
    virtual std::int64_t code() const = 0;

    // A copy that can outlive the catch block (errors are wrapped as payloads of other errors).
    virtual std::shared_ptr<const Error> clone() const = 0;

    // The platform error object's description: the localized description the error supplies,
    // else "The operation couldn’t be completed. (<domain> error <code>.)".
    virtual std::string localizedDescription() const;

    // The error's default textual form, as a developer would print it.
    virtual std::string debugDescription() const;

    // The text is computed anew on every call; the pointer stays valid until this thread calls
    // what() again.
    const char* what() const noexcept override;
};

// An error that supplies its user-facing texts itself (the platform's localized-error protocol).
class LocalizedError : public Error {
public:
    virtual std::optional<std::string> errorDescription() const = 0;
    virtual std::optional<std::string> failureReason() const { return std::nullopt; }
    virtual std::optional<std::string> recoverySuggestion() const { return std::nullopt; }

    std::string localizedDescription() const override;
};

inline constexpr const char* NSLocalizedDescriptionKey = "NSLocalizedDescription";
inline constexpr const char* NSLocalizedFailureReasonErrorKey = "NSLocalizedFailureReason";
inline constexpr const char* NSLocalizedRecoverySuggestionErrorKey =
    "NSLocalizedRecoverySuggestion";
inline constexpr const char* NSUnderlyingErrorKey = "NSUnderlyingError";
inline constexpr const char* NSFilePathErrorKey = "NSFilePath";
inline constexpr const char* NSDebugDescriptionErrorKey = "NSDebugDescription";

inline constexpr const char* NSOSStatusErrorDomain = "NSOSStatusErrorDomain";
inline constexpr const char* NSPOSIXErrorDomain = "NSPOSIXErrorDomain";
inline constexpr const char* NSCocoaErrorDomain = "NSCocoaErrorDomain";

// The platform's general error object: a domain, a code and a dictionary of user info.
class NSError : public Error {
public:
    using UserInfoValue = std::variant<std::string, std::int64_t, std::shared_ptr<const Error>>;
    using UserInfo = std::map<std::string, UserInfoValue>;
    // Supplies a user-info value for an error of a domain on demand (nullopt when it has none).
    using UserInfoValueProvider =
        std::function<std::optional<UserInfoValue>(const NSError&, const std::string& key)>;

    NSError(std::string domain, std::int64_t code, UserInfo userInfo = {});

    // An error of NSPOSIXErrorDomain whose description is strerror's text for the code.
    static NSError posix(int errnoCode, std::optional<std::string> filePath = std::nullopt);

    std::string domain() const override { return domain_; }
    std::int64_t code() const override { return code_; }
    const UserInfo& userInfo() const { return userInfo_; }
    std::shared_ptr<const Error> clone() const override;

    // The string stored under key, or, failing that, the one the domain's provider supplies.
    std::optional<std::string> stringValue(const std::string& key) const;

    std::string localizedDescription() const override;
    std::optional<std::string> localizedFailureReason() const;
    std::optional<std::string> localizedRecoverySuggestion() const;
    std::string debugDescription() const override;

    static void setUserInfoValueProvider(const std::string& domain, UserInfoValueProvider provider);
    static UserInfoValueProvider userInfoValueProvider(const std::string& domain);

private:
    std::string domain_;
    std::int64_t code_;
    UserInfo userInfo_;
};

// The error in flight inside a catch block, as an error value; an exception that is not one of
// ours becomes an NSError of NSCocoaErrorDomain carrying its what() text.
std::shared_ptr<const Error> currentError();

}  // namespace platform
