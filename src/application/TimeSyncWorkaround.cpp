#include "application/TimeSyncWorkaround.h"

#include <dlfcn.h>

#include <cerrno>
#include <cstdlib>
#include <utility>

#include "platform/foundation/Error.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NeverDestroyed.h"

namespace quillon {

namespace {

constexpr const char* clockFrameworkPath =
    "/System/Library/PrivateFrameworks/TimeSync.framework/TimeSync";

// A time far from zero, so that a clock whose domain starts late still answers.
constexpr std::uint64_t probeMachTime = 60000000000;
constexpr std::uint64_t probeTicks = 1000;

// The system here: its Mach-style clock counts nanoseconds and no process is translated, so both
// timebases are 1/1 and the workaround never reaches the framework.
class NativeTimeSyncPlatform final : public TimeSyncPlatform {
public:
    int machTimebaseInfo(MachTimebase& timebase) override {
        timebase = {1, 1};
        return 0;
    }

    int tickFrequency(std::int32_t& ticksPerSecond) override {
        ticksPerSecond = 1000000000;
        return 0;
    }

    std::optional<std::string> loadClockFramework() override {
        handle_ = dlopen(clockFrameworkPath, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
        if (handle_ == nullptr) {
            return loaderError();
        }
        return std::nullopt;
    }

    std::optional<std::string> closeClockFramework() override {
        void* const handle = std::exchange(handle_, nullptr);
        if (handle != nullptr && dlclose(handle) != 0) {
            return loaderError();
        }
        return std::nullopt;
    }

    bool hasClockClass() override { return false; }

    std::unique_ptr<ClockConversionHook> hookConversion(Replacement) override {
        throw platform::NSError(platform::NSCocoaErrorDomain, 0,
                                {{platform::NSLocalizedDescriptionKey,
                                  std::string("The clock class has no conversion method here.")}});
    }

private:
    static std::string loaderError() {
        const char* text = dlerror();
        return text != nullptr ? text : "unknown error";
    }

    void* handle_ = nullptr;
};

std::uint64_t absoluteDifference(std::int64_t a, std::int64_t b) {
    return a > b ? static_cast<std::uint64_t>(a) - static_cast<std::uint64_t>(b)
                 : static_cast<std::uint64_t>(b) - static_cast<std::uint64_t>(a);
}

}  // namespace

TimeSyncPlatform& TimeSyncPlatform::current() {
    static platform::NeverDestroyed<NativeTimeSyncPlatform> platform;
    return platform.get();
}

DomainTimeAdjustment determineDomainTimeAdjustment(const DomainTimeConversion& own,
                                                   const MachTimebase& emulated,
                                                   const MachTimebase& actual) {
    const auto probe = [&](std::uint64_t machTime, std::int64_t& domainTime) {
        domainTime = own(machTime, nullptr, nullptr);
        if (domainTime < 0) {
            platform::logLine(platform::LogLevel::warning, "Domain time is invalid.");
            return false;
        }
        return true;
    };
    std::int64_t d1 = 0;
    std::int64_t d2 = 0;
    std::int64_t d2a = 0;
    if (!probe(probeMachTime, d1) || !probe(probeMachTime + probeTicks, d2) ||
        !probe(probeMachTime + convertEmulatedMachTime(probeTicks, emulated, actual), d2a)) {
        return DomainTimeAdjustment::undetermined;
    }
    const auto expected =
        static_cast<std::int64_t>(std::uint64_t{emulated.numer} * probeTicks / emulated.denom);
    const std::int64_t actualDelta = d2 - d1;
    const std::int64_t adjustedDelta = d2a - d1;
    // A tie keeps the clock as it is: only a clear improvement justifies the hook.
    const bool needed =
        absoluteDifference(adjustedDelta, expected) < absoluteDifference(actualDelta, expected);
    platform::logDebug(
        "Mach absolute time 1 = {}; domain time 1 = {}.\n"
        "Domain time 2 = {}; domain time 2 (adjusted) = {}.\n"
        "Expected domain time delta = {}; actual domain time delta = {}; actual domain time delta "
        "(adjusted) = {}.\n"
        "Adjustment needed = {}.",
        probeMachTime, d1, d2, d2a, expected, actualDelta, adjustedDelta, needed);
    return needed ? DomainTimeAdjustment::needed : DomainTimeAdjustment::notNeeded;
}

TimeSyncWorkaround::TimeSyncWorkaround(TimeSyncPlatform& platform) : platform_(platform) {}

TimeSyncWorkaround::~TimeSyncWorkaround() = default;

TimeSyncWorkaround& TimeSyncWorkaround::shared() {
    static platform::NeverDestroyed<TimeSyncWorkaround> workaround(TimeSyncPlatform::current());
    return workaround.get();
}

const std::optional<MachTimebase>& TimeSyncWorkaround::machTimebaseInfo() {
    std::call_once(emulatedOnce_, [this] {
        MachTimebase timebase;
        if (const int result = platform_.machTimebaseInfo(timebase); result != 0) {
            platform::logWarning("`mach_timebase_info` failed: {}.", result);
            return;
        }
        emulated_ = timebase;
    });
    return emulated_;
}

const std::optional<MachTimebase>& TimeSyncWorkaround::actualMachTimebaseInfo() {
    std::call_once(actualOnce_, [this] {
        std::int32_t frequency = 0;
        if (platform_.tickFrequency(frequency) != 0) {
            platform::logWarning("`sysctl hw.tbfrequency` failed: {}.", errno);
            return;
        }
        actual_ = timebaseOfTickFrequency(frequency);
        if (!actual_) {
            platform::logWarning("`sysctl hw.tbfrequency` returned unexpected value: {} ticks/sec.",
                                 frequency);
        }
    });
    return actual_;
}

void TimeSyncWorkaround::install() {
    const auto& emulated = machTimebaseInfo();
    const auto& actual = actualMachTimebaseInfo();
    if (!emulated || !actual) {
        platform::logLine(platform::LogLevel::warning, "Failed to fetch Mach timebase info.");
        return;
    }
    if (*emulated == *actual) {
        platform::logLine(platform::LogLevel::debug,
                          "The Mach timebase is not being emulated. No workaround needed.");
        return;
    }
    platform::logInfo(
        "The Mach timebase is being emulated. Workaround may be needed.\nEmulated timebase = {}; "
        "actual timebase = {}.",
        emulated->description(), actual->description());
    if (auto failure = platform_.loadClockFramework()) {
        platform::logWarning("Failed to load `TimeSync.framework`: {}.", *failure);
        return;
    }
    if (auto failure = platform_.closeClockFramework()) {
        platform::logWarning(
            "Failed to unload `TimeSync.framework`: {}. Ignoring non-critical error.", *failure);
    }
    if (!platform_.hasClockClass()) {
        platform::logLine(platform::LogLevel::warning, "Failed to find `TSgPTPClock`.");
        return;
    }
    std::unique_ptr<ClockConversionHook> hook;
    try {
        hook = platform_.hookConversion(
            [this](std::uint64_t machTime, std::uint64_t* grandmasterUsed,
                   std::uint16_t* portNumber, const DomainTimeConversion& own) {
                return convert(machTime, grandmasterUsed, portNumber, own);
            });
    } catch (const platform::Error& error) {
        platform::logWarning("Failed to install `TSgPTPClock` hooks: {}.",
                             error.localizedDescription());
        return;
    }
    std::unique_ptr<ClockConversionHook> earlier;
    {
        std::lock_guard lock(mutex_);
        earlier = std::exchange(hook_, std::move(hook));
    }
    revertHook(std::move(earlier));
    platform::logLine(
        platform::LogLevel::info,
        "Successfully installed `TSgPTPClock` hooks to work around a bug in the Rosetta version "
        "of `TimeSync.framework`.");
}

bool TimeSyncWorkaround::isHookInstalled() const {
    std::lock_guard lock(mutex_);
    return hook_ != nullptr;
}

DomainTimeAdjustment TimeSyncWorkaround::adjustment() const {
    std::lock_guard lock(mutex_);
    return adjustment_;
}

void TimeSyncWorkaround::revertHook(std::unique_ptr<ClockConversionHook> hook) {
    if (!hook) {
        return;
    }
    try {
        hook->revert();
    } catch (const platform::Error& error) {
        platform::logWarning("Failed to revert `TSgPTPClock` hooks: {}.",
                             error.localizedDescription());
    }
}

std::int64_t TimeSyncWorkaround::convert(std::uint64_t machTime, std::uint64_t* grandmasterUsed,
                                         std::uint16_t* portNumber,
                                         const DomainTimeConversion& own) {
    std::uint64_t time = machTime;
    {
        std::lock_guard lock(mutex_);
        if (adjustment_ == DomainTimeAdjustment::undetermined) {
            adjustment_ =
                determineDomainTimeAdjustment(own, *machTimebaseInfo(), *actualMachTimebaseInfo());
            if (adjustment_ == DomainTimeAdjustment::undetermined) {
                platform::logLine(
                    platform::LogLevel::warning,
                    "Failed to determine whether an adjustment is needed. Will retry later.");
            }
        }
        switch (adjustment_) {
            case DomainTimeAdjustment::needed:
                time =
                    convertEmulatedMachTime(machTime, machTimebaseInfo(), actualMachTimebaseInfo());
                break;
            case DomainTimeAdjustment::notNeeded:
                // Later calls reach the method directly; the hook never comes back this run.
                revertHook(std::exchange(hook_, nullptr));
                break;
            case DomainTimeAdjustment::undetermined:
                break;
        }
    }
    return own(time, grandmasterUsed, portNumber);
}

}  // namespace quillon
