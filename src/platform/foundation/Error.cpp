#include "platform/foundation/Error.h"

#include <cstring>
#include <mutex>

#include <fmt/format.h>

namespace platform {

namespace {

std::mutex& providersMutex() {
    static std::mutex mutex;
    return mutex;
}

std::map<std::string, NSError::UserInfoValueProvider>& providers() {
    static std::map<std::string, NSError::UserInfoValueProvider> map;
    return map;
}

std::string genericDescription(const std::string& domain, std::int64_t code) {
    return fmt::format("The operation couldn’t be completed. ({} error {}.)", domain, code);
}

}  // namespace

std::string Error::localizedDescription() const { return genericDescription(domain(), code()); }

std::string Error::debugDescription() const {
    return fmt::format("{} error {}: {}", domain(), code(), localizedDescription());
}

const char* Error::what() const noexcept {
    thread_local std::string text;
    try {
        text = localizedDescription();
    } catch (...) {
        text = "error";
    }
    return text.c_str();
}

std::string LocalizedError::localizedDescription() const {
    if (auto description = errorDescription()) {
        return *description;
    }
    return Error::localizedDescription();
}

NSError::NSError(std::string domain, std::int64_t code, UserInfo userInfo)
    : domain_(std::move(domain)), code_(code), userInfo_(std::move(userInfo)) {}

NSError NSError::posix(int errnoCode, std::optional<std::string> filePath) {
    UserInfo info{{NSLocalizedDescriptionKey, std::string(std::strerror(errnoCode))}};
    if (filePath) {
        info.emplace(NSFilePathErrorKey, *filePath);
    }
    return NSError(NSPOSIXErrorDomain, errnoCode, std::move(info));
}

std::shared_ptr<const Error> NSError::clone() const { return std::make_shared<NSError>(*this); }

std::optional<std::string> NSError::stringValue(const std::string& key) const {
    if (auto it = userInfo_.find(key); it != userInfo_.end()) {
        if (const auto* text = std::get_if<std::string>(&it->second)) {
            return *text;
        }
    }
    if (auto provider = userInfoValueProvider(domain_)) {
        if (auto value = provider(*this, key)) {
            if (const auto* text = std::get_if<std::string>(&*value)) {
                return *text;
            }
        }
    }
    return std::nullopt;
}

std::string NSError::localizedDescription() const {
    if (auto text = stringValue(NSLocalizedDescriptionKey)) {
        return *text;
    }
    return genericDescription(domain_, code_);
}

std::optional<std::string> NSError::localizedFailureReason() const {
    return stringValue(NSLocalizedFailureReasonErrorKey);
}

std::optional<std::string> NSError::localizedRecoverySuggestion() const {
    return stringValue(NSLocalizedRecoverySuggestionErrorKey);
}

std::string NSError::debugDescription() const {
    std::string text = fmt::format("Error Domain={} Code={}", domain_, code_);
    if (auto description = stringValue(NSLocalizedDescriptionKey)) {
        text += fmt::format(" \"{}\"", *description);
    }
    return text;
}

void NSError::setUserInfoValueProvider(const std::string& domain,
                                       UserInfoValueProvider provider) {
    std::lock_guard lock(providersMutex());
    if (provider) {
        providers()[domain] = std::move(provider);
    } else {
        providers().erase(domain);
    }
}

NSError::UserInfoValueProvider NSError::userInfoValueProvider(const std::string& domain) {
    std::lock_guard lock(providersMutex());
    auto it = providers().find(domain);
    return it == providers().end() ? UserInfoValueProvider{} : it->second;
}

std::shared_ptr<const Error> currentError() {
    try {
        throw;
    } catch (const Error& error) {
        return error.clone();
    } catch (const std::exception& exception) {
        return std::make_shared<NSError>(
            NSCocoaErrorDomain, 0,
            NSError::UserInfo{{NSLocalizedDescriptionKey, std::string(exception.what())}});
    } catch (...) {
        return std::make_shared<NSError>(NSCocoaErrorDomain, 0);
    }
}

}  // namespace platform
