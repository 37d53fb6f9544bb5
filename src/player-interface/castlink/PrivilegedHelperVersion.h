#pragma once

#include <compare>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Coding.h"

namespace quillon {

// The version of an installed Castlink helper tool, as the tool reports it. It travels between
// the two processes as a keyed archive under its class name, so both sides must keep that name
// and the four keys.
//
// Two versions are the same version when their build numbers are: builds are what the tool's
// releases count, and the dotted version only names them for people.
class PrivilegedHelperVersion final : public platform::SecureCoded<PrivilegedHelperVersion> {
public:
    static constexpr std::string_view className = "CastlinkInterface.PrivilegedHelperVersion";

    static constexpr const char* buildNumberKey =
        "org.quillon.player.mac.castlink.PrivilegedHelperVersion.buildNumber";
    static constexpr const char* majorVersionKey =
        "org.quillon.player.mac.castlink.PrivilegedHelperVersion.majorVersion";
    static constexpr const char* minorVersionKey =
        "org.quillon.player.mac.castlink.PrivilegedHelperVersion.minorVersion";
    static constexpr const char* patchVersionKey =
        "org.quillon.player.mac.castlink.PrivilegedHelperVersion.patchVersion";

    PrivilegedHelperVersion(std::int64_t buildNumber, std::int64_t majorVersion,
                            std::int64_t minorVersion, std::int64_t patchVersion);

    // The tool's side: a build number ("45") and a dotted version ("1.2.3"; empty parts are
    // dropped, exactly three must remain); nullopt when either is no such text.
    static std::optional<PrivilegedHelperVersion> fromStrings(std::string_view buildNumber,
                                                              std::string_view version);

    std::int64_t buildNumber() const { return buildNumber_; }
    std::int64_t majorVersion() const { return majorVersion_; }
    std::int64_t minorVersion() const { return minorVersion_; }
    std::int64_t patchVersion() const { return patchVersion_; }

    // "1.2.3 (45)".
    std::string description() const;
    // "1.2.3".
    std::string versionDescription() const;
    // Whether the dotted versions agree, whatever the builds.
    bool hasSameVersionNumbers(const PrivilegedHelperVersion& other) const;

    void encode(platform::NSKeyedArchiver& coder) const override;
    // Null unless all four keys are present.
    static std::shared_ptr<PrivilegedHelperVersion> initWithCoder(
        platform::NSKeyedUnarchiver& coder);

    friend bool operator==(const PrivilegedHelperVersion& a, const PrivilegedHelperVersion& b) {
        return a.buildNumber_ == b.buildNumber_;
    }
    friend std::strong_ordering operator<=>(const PrivilegedHelperVersion& a,
                                            const PrivilegedHelperVersion& b) {
        return a.buildNumber_ <=> b.buildNumber_;
    }

private:
    std::int64_t buildNumber_;
    std::int64_t majorVersion_;
    std::int64_t minorVersion_;
    std::int64_t patchVersion_;
};

}  // namespace quillon

template <>
struct std::hash<quillon::PrivilegedHelperVersion> {
    std::size_t operator()(const quillon::PrivilegedHelperVersion& version) const noexcept {
        return std::hash<std::int64_t>{}(version.buildNumber());
    }
};
