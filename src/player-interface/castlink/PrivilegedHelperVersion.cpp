#include "player-interface/castlink/PrivilegedHelperVersion.h"

#include <fmt/format.h>

#include <charconv>
#include <vector>

#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"

namespace quillon {

namespace {

const platform::NSSecureCodingRegistration<PrivilegedHelperVersion> registration;

// A whole decimal integer, optionally signed; nothing else around it.
std::optional<std::int64_t> decimalInteger(std::string_view text) {
    if (text.empty()) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

PrivilegedHelperVersion::PrivilegedHelperVersion(std::int64_t buildNumber,
                                                 std::int64_t majorVersion,
                                                 std::int64_t minorVersion,
                                                 std::int64_t patchVersion)
    : buildNumber_(buildNumber),
      majorVersion_(majorVersion),
      minorVersion_(minorVersion),
      patchVersion_(patchVersion) {}

std::optional<PrivilegedHelperVersion> PrivilegedHelperVersion::fromStrings(
    std::string_view buildNumber, std::string_view version) {
    const auto build = decimalInteger(buildNumber);
    if (!build) {
        return std::nullopt;
    }
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (start <= version.size()) {
        const std::size_t dot = version.find('.', start);
        const std::size_t stop = dot == std::string_view::npos ? version.size() : dot;
        if (stop > start) {
            parts.push_back(version.substr(start, stop - start));
        }
        start = stop + 1;
    }
    if (parts.size() != 3) {
        return std::nullopt;
    }
    const auto major = decimalInteger(parts[0]);
    const auto minor = decimalInteger(parts[1]);
    const auto patch = decimalInteger(parts[2]);
    if (!major || !minor || !patch) {
        return std::nullopt;
    }
    return PrivilegedHelperVersion(*build, *major, *minor, *patch);
}

std::string PrivilegedHelperVersion::versionDescription() const {
    return fmt::format("{}.{}.{}", majorVersion_, minorVersion_, patchVersion_);
}

std::string PrivilegedHelperVersion::description() const {
    return fmt::format("{} ({})", versionDescription(), buildNumber_);
}

bool PrivilegedHelperVersion::hasSameVersionNumbers(const PrivilegedHelperVersion& other) const {
    return majorVersion_ == other.majorVersion_ && minorVersion_ == other.minorVersion_ &&
           patchVersion_ == other.patchVersion_;
}

void PrivilegedHelperVersion::encode(platform::NSKeyedArchiver& coder) const {
    coder.encodeInt64(buildNumber_, buildNumberKey);
    coder.encodeInt64(majorVersion_, majorVersionKey);
    coder.encodeInt64(minorVersion_, minorVersionKey);
    coder.encodeInt64(patchVersion_, patchVersionKey);
}

std::shared_ptr<PrivilegedHelperVersion> PrivilegedHelperVersion::initWithCoder(
    platform::NSKeyedUnarchiver& coder) {
    for (const char* key : {buildNumberKey, majorVersionKey, minorVersionKey, patchVersionKey}) {
        if (!coder.containsValue(key)) {
            return nullptr;
        }
    }
    return std::make_shared<PrivilegedHelperVersion>(
        coder.decodeInt64(buildNumberKey), coder.decodeInt64(majorVersionKey),
        coder.decodeInt64(minorVersionKey), coder.decodeInt64(patchVersionKey));
}

}  // namespace quillon
