#include "platform/foundation/ProcessInfo.h"

#include <sys/utsname.h>

#include <cctype>
#include <mutex>
#include <string_view>

#include <fmt/format.h>

namespace platform {

namespace {

// Reads "6.1.0-18-amd64" as 6.1.0: up to three dot-separated numbers, stopping at the first
// character that continues none of them; missing parts are 0.
NSOperatingSystemVersion parseRelease(std::string_view release) {
    std::int64_t parts[3] = {0, 0, 0};
    std::size_t position = 0;
    for (int index = 0; index < 3; ++index) {
        if (position >= release.size() ||
            std::isdigit(static_cast<unsigned char>(release[position])) == 0) {
            break;
        }
        std::int64_t value = 0;
        while (position < release.size() &&
               std::isdigit(static_cast<unsigned char>(release[position])) != 0) {
            if (value < 1'000'000'000) {
                value = value * 10 + (release[position] - '0');
            }
            ++position;
        }
        parts[index] = value;
        if (position >= release.size() || release[position] != '.') {
            break;
        }
        ++position;
    }
    return {parts[0], parts[1], parts[2]};
}

struct Shared {
    std::mutex mutex;
    std::shared_ptr<const ProcessInfo> current;
};

Shared& shared() {
    static Shared instance;
    return instance;
}

}  // namespace

ProcessInfo::System ProcessInfo::currentSystem() {
    System system;
    utsname names{};
    if (uname(&names) != 0) {
        return system;
    }
    const std::string_view sysname(names.sysname);
    const std::string_view machine(names.machine);
    system.operatingSystem = sysname == "Darwin" ? OperatingSystem::macOS : OperatingSystem::linux;
    system.version = parseRelease(names.release);
    system.versionString = fmt::format("{} {}", names.sysname, names.release);
    system.processorIsARM64 = machine == "aarch64" || machine == "arm64";
    return system;
}

std::shared_ptr<const ProcessInfo> ProcessInfo::processInfo() {
    Shared& state = shared();
    std::lock_guard lock(state.mutex);
    if (!state.current) {
        state.current = std::make_shared<const ProcessInfo>(currentSystem());
    }
    return state.current;
}

ProcessInfo::ScopedOverride::ScopedOverride(System system) {
    auto replacement = std::make_shared<const ProcessInfo>(std::move(system));
    Shared& state = shared();
    std::lock_guard lock(state.mutex);
    previous_ = std::move(state.current);
    state.current = std::move(replacement);
}

ProcessInfo::ScopedOverride::~ScopedOverride() {
    Shared& state = shared();
    std::lock_guard lock(state.mutex);
    // A null previous instance is read afresh on next use.
    state.current = std::move(previous_);
}

std::string NSOperatingSystemVersionDescription(const NSOperatingSystemVersion& version) {
    return fmt::format("{}.{}.{}", version.majorVersion, version.minorVersion,
                       version.patchVersion);
}

}  // namespace platform
