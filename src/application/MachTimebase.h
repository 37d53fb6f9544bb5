#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quillon {

// A Mach timebase: nanoseconds = ticks × numer / denom. Two timebases are the same only when both
// numbers are (2/2 is not 1/1), as the clock reports them.
struct MachTimebase {
    std::uint32_t numer = 0;
    std::uint32_t denom = 0;

    bool operator==(const MachTimebase&) const = default;
    std::string description() const;
};

// The hardware timebase of a tick frequency in ticks per second, reduced by the factors 10, 2
// and 5 (24 MHz gives 125/3); none for a frequency below 1.
std::optional<MachTimebase> timebaseOfTickFrequency(std::int32_t ticksPerSecond);

// Ticks of the `emulated` timebase as ticks of the `actual` one, in integer arithmetic. An
// overflow, a zero divisor or a missing timebase stops the process.
std::uint64_t convertEmulatedMachTime(std::uint64_t ticks,
                                      const std::optional<MachTimebase>& emulated,
                                      const std::optional<MachTimebase>& actual);

}  // namespace quillon
