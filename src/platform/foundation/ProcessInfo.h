#pragma once

#include <compare>
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// A version of an operating system: 11.4.0, or 6.1.0 for a Linux kernel release.
struct NSOperatingSystemVersion {
    std::int64_t majorVersion = 0;
    std::int64_t minorVersion = 0;
    std::int64_t patchVersion = 0;

    friend auto operator<=>(const NSOperatingSystemVersion&,
                            const NSOperatingSystemVersion&) = default;
};

// Which family of operating system a process runs on. The player's platform-version conditions
// ("on macOS 11.4 up to 12", "before macOS 11") name versions of macOS only, so they hold on
// macOS alone and are false everywhere else.
enum class OperatingSystem { linux, macOS };

// What the process knows about the system it runs on. The shared instance describes this system
// (uname(2): the kernel release as the version, the machine as the processor); tests put another
// description in place with ScopedOverride to cover the other answers.
//
// Thread-safe: the shared instance is swapped atomically and every instance is immutable.
class ProcessInfo {
public:
    struct System {
        OperatingSystem operatingSystem = OperatingSystem::linux;
        NSOperatingSystemVersion version;
        // Free text for logs, as uname reports it ("Linux 6.1.0-18-amd64").
        std::string versionString;
        bool processorIsARM64 = false;
    };

    explicit ProcessInfo(System system) : system_(std::move(system)) {}

    // The process's description of its system: this system, unless a test overrides it.
    static std::shared_ptr<const ProcessInfo> processInfo();

    // This system, read afresh.
    static System currentSystem();

    OperatingSystem operatingSystem() const { return system_.operatingSystem; }
    NSOperatingSystemVersion operatingSystemVersion() const { return system_.version; }
    const std::string& operatingSystemVersionString() const { return system_.versionString; }
    bool processorIsARM64() const { return system_.processorIsARM64; }

    // Whether this system's own version is at least the given one. The numbers are only
    // comparable within one family; conditions on macOS versions use the isMacOS… queries.
    bool isOperatingSystemAtLeast(const NSOperatingSystemVersion& version) const {
        return system_.version >= version;
    }
    bool isOperatingSystemAtLeast(std::int64_t major, std::int64_t minor,
                                  std::int64_t patch) const {
        return isOperatingSystemAtLeast(NSOperatingSystemVersion{major, minor, patch});
    }

    bool isMacOS() const { return system_.operatingSystem == OperatingSystem::macOS; }
    // macOS at this version or later; false on any other system.
    bool isMacOSAtLeast(std::int64_t major, std::int64_t minor, std::int64_t patch) const {
        return isMacOS() && isOperatingSystemAtLeast(major, minor, patch);
    }
    // macOS before this version; false on any other system.
    bool isMacOSBefore(std::int64_t major, std::int64_t minor, std::int64_t patch) const {
        return isMacOS() && !isOperatingSystemAtLeast(major, minor, patch);
    }
    // macOS from `from` up to, not including, `upTo`; false on any other system.
    bool isMacOSInRange(const NSOperatingSystemVersion& from,
                        const NSOperatingSystemVersion& upTo) const {
        return isMacOS() && system_.version >= from && system_.version < upTo;
    }

    // Puts a described system in place of the shared instance while it lives; overrides nest
    // and must end in reverse order of their start.
    class ScopedOverride {
    public:
        explicit ScopedOverride(System system);
        ~ScopedOverride();
        ScopedOverride(const ScopedOverride&) = delete;
        ScopedOverride& operator=(const ScopedOverride&) = delete;

    private:
        std::shared_ptr<const ProcessInfo> previous_;
    };

private:
    System system_;
};

// "11.4.0".
std::string NSOperatingSystemVersionDescription(const NSOperatingSystemVersion& version);

}  // namespace platform
