#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "application/MachTimebase.h"

namespace quillon {

// The clock framework's conversion of a Mach absolute time to its domain time, as the hooked
// method itself does it for one call's clock object: (time, grandmaster out-pointer, port
// out-pointer) -> domain time.
using DomainTimeConversion = std::function<std::int64_t(
    std::uint64_t machTime, std::uint64_t* grandmasterUsed, std::uint16_t* portNumber)>;

// An installed replacement of the conversion method.
class ClockConversionHook {
public:
    virtual ~ClockConversionHook() = default;
    // Puts the method's own implementation back; throws a platform::Error on failure.
    virtual void revert() = 0;
};

// What the workaround needs of the operating system. A process here is never translated, so the
// real backing reports the same timebase twice and the workaround stops before touching
// anything; tests inject a translated system.
class TimeSyncPlatform {
public:
    // Replaces one call of the conversion method: gets the call's arguments and the method's
    // own implementation for that call, and returns the domain time.
    using Replacement =
        std::function<std::int64_t(std::uint64_t machTime, std::uint64_t* grandmasterUsed,
                                   std::uint16_t* portNumber, const DomainTimeConversion& own)>;

    virtual ~TimeSyncPlatform() = default;

    // mach_timebase_info: 0 and the process's timebase, or a non-zero kernel result.
    virtual int machTimebaseInfo(MachTimebase& timebase) = 0;
    // The hardware tick frequency (sysctl hw.tbfrequency): 0 and the value, or -1 with errno set.
    virtual int tickFrequency(std::int32_t& ticksPerSecond) = 0;
    // Loads the clock framework so that it stays loaded; the loader's error text on failure.
    virtual std::optional<std::string> loadClockFramework() = 0;
    // Lets go of the load's handle (the image stays); the loader's error text on failure.
    virtual std::optional<std::string> closeClockFramework() = 0;
    // Whether the framework's clock class exists.
    virtual bool hasClockClass() = 0;
    // Replaces the clock class's conversion method; throws a platform::Error on failure.
    virtual std::unique_ptr<ClockConversionHook> hookConversion(Replacement replacement) = 0;

    // The system the process runs on.
    static TimeSyncPlatform& current();
};

// Whether Mach times must be converted from the emulated timebase before the clock framework
// sees them.
enum class DomainTimeAdjustment : std::uint8_t { notNeeded = 0, needed = 1, undetermined = 2 };

// Runs the live test: compares the domain-time delta of 1000 emulated ticks with and without the
// conversion against the nanoseconds those ticks last. Undetermined when a domain time is
// invalid (negative). Logs its measurements.
DomainTimeAdjustment determineDomainTimeAdjustment(const DomainTimeConversion& own,
                                                   const MachTimebase& emulated,
                                                   const MachTimebase& actual);

// Works around a translated copy of the platform's clock framework that reads emulated Mach
// times as hardware ticks. installTimeSyncWorkaround() runs once at launch on the main thread.
class TimeSyncWorkaround {
public:
    explicit TimeSyncWorkaround(TimeSyncPlatform& platform);
    ~TimeSyncWorkaround();
    TimeSyncWorkaround(const TimeSyncWorkaround&) = delete;
    TimeSyncWorkaround& operator=(const TimeSyncWorkaround&) = delete;

    // The process-wide workaround over the current system.
    static TimeSyncWorkaround& shared();

    // Each computed once, on first use; none when the system's call fails (logged).
    const std::optional<MachTimebase>& machTimebaseInfo();
    const std::optional<MachTimebase>& actualMachTimebaseInfo();

    // Detects emulation and, when present, hooks the clock's conversion. Every step is logged;
    // every failure leaves the clock as it was.
    void install();

    bool isHookInstalled() const;
    DomainTimeAdjustment adjustment() const;

    // One call of the hooked conversion (public for the hook and for tests).
    std::int64_t convert(std::uint64_t machTime, std::uint64_t* grandmasterUsed,
                         std::uint16_t* portNumber, const DomainTimeConversion& own);

private:
    void revertHook(std::unique_ptr<ClockConversionHook> hook);

    TimeSyncPlatform& platform_;
    std::once_flag emulatedOnce_;
    std::optional<MachTimebase> emulated_;
    std::once_flag actualOnce_;
    std::optional<MachTimebase> actual_;

    // Guards the decision and the hook slot; recursive because reverting may re-enter the
    // conversion on this thread.
    mutable std::recursive_mutex mutex_;
    DomainTimeAdjustment adjustment_ = DomainTimeAdjustment::undetermined;
    std::unique_ptr<ClockConversionHook> hook_;
};

inline void installTimeSyncWorkaround() {
    TimeSyncWorkaround::shared().install();
}

}  // namespace quillon
