#include "application/MachTimebase.h"

#include <fmt/format.h>

#include "platform/foundation/FatalError.h"

namespace quillon {

namespace {

std::uint64_t checkedMultiply(std::uint64_t a, std::uint64_t b) {
    std::uint64_t product = 0;
    platform::precondition(!__builtin_mul_overflow(a, b, &product),
                           "Mach time conversion overflowed.");
    return product;
}

}  // namespace

std::string MachTimebase::description() const {
    return fmt::format("mach_timebase_info(numer: {}, denom: {})", numer, denom);
}

std::optional<MachTimebase> timebaseOfTickFrequency(std::int32_t ticksPerSecond) {
    if (ticksPerSecond < 1) {
        return std::nullopt;
    }
    MachTimebase timebase{1000000000, static_cast<std::uint32_t>(ticksPerSecond)};
    for (const std::uint32_t factor : {10u, 2u, 5u}) {
        while (timebase.numer % factor == 0 && timebase.denom % factor == 0) {
            timebase.numer /= factor;
            timebase.denom /= factor;
        }
    }
    return timebase;
}

std::uint64_t convertEmulatedMachTime(std::uint64_t ticks,
                                      const std::optional<MachTimebase>& emulated,
                                      const std::optional<MachTimebase>& actual) {
    platform::precondition(emulated.has_value() && actual.has_value(),
                           "Mach time conversion needs both timebases.");
    const std::uint64_t numerator =
        checkedMultiply(checkedMultiply(ticks, emulated->numer), actual->denom);
    const std::uint64_t denominator = checkedMultiply(emulated->denom, actual->numer);
    platform::precondition(denominator != 0, "Mach time conversion divides by zero.");
    return numerator / denominator;
}

}  // namespace quillon
