#include <gtest/gtest.h>

#include <cerrno>
#include <limits>
#include <vector>

#include "application/TimeSyncWorkaround.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/Log.h"

namespace quillon {
namespace {

constexpr MachTimebase emulated{1, 1};
constexpr MachTimebase actual{125, 3};  // 24 MHz hardware ticks

// A clock framework that reads every Mach time as `assumed` ticks, offset so that early times
// are invalid (negative) when `invalidBelow` is set.
DomainTimeConversion clockAssuming(MachTimebase assumed, std::uint64_t invalidBelow = 0) {
    return [=](std::uint64_t machTime, std::uint64_t*, std::uint16_t*) -> std::int64_t {
        if (machTime < invalidBelow) {
            return -1;
        }
        return static_cast<std::int64_t>(machTime * assumed.numer / assumed.denom);
    };
}

TEST(MachTimebase, TickFrequencyReducesByTenTwoAndFive) {
    EXPECT_EQ(timebaseOfTickFrequency(24000000), (MachTimebase{125, 3}));
    EXPECT_EQ(timebaseOfTickFrequency(1000000000), (MachTimebase{1, 1}));
    // Only the factors 10, 2 and 5 reduce: a frequency of 3 leaves the fraction as it is.
    EXPECT_EQ(timebaseOfTickFrequency(3), (MachTimebase{1000000000, 3}));
    EXPECT_EQ(timebaseOfTickFrequency(0), std::nullopt);
    EXPECT_EQ(timebaseOfTickFrequency(-5), std::nullopt);
    // Equality compares the numbers as given: no reduction.
    EXPECT_NE((MachTimebase{2, 2}), (MachTimebase{1, 1}));
}

TEST(MachTimebase, ConversionBetweenTimebases) {
    EXPECT_EQ(convertEmulatedMachTime(1000, emulated, actual), 24u);  // 1000 ns = 24 ticks
    EXPECT_EQ(convertEmulatedMachTime(125, emulated, actual), 3u);
    EXPECT_EQ(convertEmulatedMachTime(0, emulated, actual), 0u);
}

TEST(MachTimebaseDeathTest, ConversionStopsOnOverflowZeroDivisorOrMissingTimebase) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        convertEmulatedMachTime(std::numeric_limits<std::uint64_t>::max(), actual, emulated),
        "overflowed");
    EXPECT_DEATH(convertEmulatedMachTime(1, MachTimebase{1, 0}, emulated), "divides by zero");
    EXPECT_DEATH(convertEmulatedMachTime(1, std::nullopt, emulated), "needs both timebases");
}

TEST(DomainTimeAdjustmentDecision, DecisionTable) {
    platform::ScopedLogCapture capture;
    // The translated framework reads emulated nanoseconds as hardware ticks: converting helps.
    EXPECT_EQ(determineDomainTimeAdjustment(clockAssuming(actual), emulated, actual),
              DomainTimeAdjustment::needed);
    EXPECT_TRUE(
        capture.contains("Mach absolute time 1 = 60000000000; domain time 1 = "
                         "2500000000000.\nDomain time 2 = 2500000041666; domain time 2 "
                         "(adjusted) = 2500000001000.\nExpected domain time delta = 1000; "
                         "actual domain time delta = 41666; actual domain time delta "
                         "(adjusted) = 1000.\nAdjustment needed = true."));
    // A framework that already reads the emulated timebase right must be left alone.
    EXPECT_EQ(determineDomainTimeAdjustment(clockAssuming(emulated), emulated, actual),
              DomainTimeAdjustment::notNeeded);
    // A clock blind to such small steps: both deltas miss by the same amount, so no hook.
    const DomainTimeConversion coarse = [](std::uint64_t t, std::uint64_t*, std::uint16_t*) {
        return static_cast<std::int64_t>(t / 1000000 * 1000000);
    };
    EXPECT_EQ(determineDomainTimeAdjustment(coarse, emulated, actual),
              DomainTimeAdjustment::notNeeded);
    // Any invalid domain time leaves the question open: the first, or only the later probes.
    for (std::uint64_t invalidBelow : {60000000001ull, 60000000025ull, 60000001001ull}) {
        SCOPED_TRACE(invalidBelow);
        EXPECT_EQ(
            determineDomainTimeAdjustment(clockAssuming(actual, invalidBelow), emulated, actual),
            DomainTimeAdjustment::undetermined);
    }
    EXPECT_TRUE(capture.contains("Domain time is invalid."));
}

// A system whose timebases and clock framework the test sets; records what the workaround did.
class FakeTimeSyncPlatform final : public TimeSyncPlatform {
public:
    class Hook final : public ClockConversionHook {
    public:
        explicit Hook(FakeTimeSyncPlatform& platform) : platform_(platform) {}
        void revert() override {
            ++platform_.reverts;
            if (platform_.revertFails) {
                throw platform::NSError(
                    "Test", 1,
                    {{platform::NSLocalizedDescriptionKey, std::string("revert refused")}});
            }
        }

    private:
        FakeTimeSyncPlatform& platform_;
    };

    int machTimebaseInfo(MachTimebase& timebase) override {
        timebase = emulatedTimebase;
        return machResult;
    }
    int tickFrequency(std::int32_t& ticksPerSecond) override {
        ticksPerSecond = frequency;
        errno = EPERM;
        return sysctlFails ? -1 : 0;
    }
    std::optional<std::string> loadClockFramework() override {
        ++loads;
        return loadError;
    }
    std::optional<std::string> closeClockFramework() override { return closeError; }
    bool hasClockClass() override { return classPresent; }
    std::unique_ptr<ClockConversionHook> hookConversion(Replacement r) override {
        if (hookFails) {
            throw platform::NSError(
                "Test", 2, {{platform::NSLocalizedDescriptionKey, std::string("method missing")}});
        }
        replacement = std::move(r);
        return std::make_unique<Hook>(*this);
    }

    MachTimebase emulatedTimebase = emulated;
    int machResult = 0;
    std::int32_t frequency = 24000000;
    bool sysctlFails = false;
    std::optional<std::string> loadError;
    std::optional<std::string> closeError;
    bool classPresent = true;
    bool hookFails = false;
    bool revertFails = false;
    int loads = 0;
    int reverts = 0;
    Replacement replacement;
};

TEST(TimeSyncWorkaroundInstall, StopsAtTheFirstFailingStepAndLogsIt) {
    struct Case {
        const char* name;
        std::function<void(FakeTimeSyncPlatform&)> setUp;
        const char* logged;
        bool installed;
    };
    const std::vector<Case> cases = {
        {"native", [](auto& p) { p.frequency = 1000000000; },
         "The Mach timebase is not being emulated. No workaround needed.", false},
        {"timebase call fails", [](auto& p) { p.machResult = 5; },
         "`mach_timebase_info` failed: 5.", false},
        {"sysctl fails", [](auto& p) { p.sysctlFails = true; },
         "`sysctl hw.tbfrequency` failed: 1.", false},
        {"odd frequency", [](auto& p) { p.frequency = 0; },
         "`sysctl hw.tbfrequency` returned unexpected value: 0 ticks/sec.", false},
        {"no framework", [](auto& p) { p.loadError = "image not found"; },
         "Failed to load `TimeSync.framework`: image not found.", false},
        {"no class", [](auto& p) { p.classPresent = false; }, "Failed to find `TSgPTPClock`.",
         false},
        {"hook refused", [](auto& p) { p.hookFails = true; },
         "Failed to install `TSgPTPClock` hooks: method missing.", false},
        {"close fails but goes on", [](auto& p) { p.closeError = "busy"; },
         "Failed to unload `TimeSync.framework`: busy. Ignoring non-critical error.", true},
        {"translated", [](auto&) {},
         "Emulated timebase = mach_timebase_info(numer: 1, denom: 1); actual timebase = "
         "mach_timebase_info(numer: 125, denom: 3).",
         true},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        FakeTimeSyncPlatform platform;
        testCase.setUp(platform);
        TimeSyncWorkaround workaround(platform);
        platform::ScopedLogCapture capture;
        workaround.install();
        EXPECT_TRUE(capture.contains(testCase.logged));
        EXPECT_EQ(workaround.isHookInstalled(), testCase.installed);
        EXPECT_EQ(capture.contains("Successfully installed `TSgPTPClock` hooks"),
                  testCase.installed);
        if (std::string(testCase.name) == "native") {
            EXPECT_EQ(platform.loads, 0);
            EXPECT_EQ(capture.lines().size(), 1u);
        }
    }
}

TEST(TimeSyncWorkaroundInstall, ThisSystemIsNeverTranslated) {
    TimeSyncWorkaround workaround(TimeSyncPlatform::current());
    platform::ScopedLogCapture capture;
    workaround.install();
    EXPECT_EQ(
        capture.lines(),
        std::vector<std::string>{"The Mach timebase is not being emulated. No workaround needed."});
    EXPECT_FALSE(workaround.isHookInstalled());
}

TEST(TimeSyncWorkaroundInstall, ReinstallingRevertsTheEarlierHook) {
    FakeTimeSyncPlatform platform;
    platform.revertFails = true;
    TimeSyncWorkaround workaround(platform);
    workaround.install();
    platform::ScopedLogCapture capture;
    workaround.install();
    EXPECT_EQ(platform.reverts, 1);
    EXPECT_TRUE(capture.contains("Failed to revert `TSgPTPClock` hooks: revert refused."));
    EXPECT_TRUE(workaround.isHookInstalled());
}

class TimeSyncWorkaroundConversionTest : public ::testing::Test {
protected:
    void SetUp() override {
        workaround.install();
        ASSERT_TRUE(platform.replacement);
    }

    // One call of the hooked method; records the times the method's own implementation served
    // for the caller (not the probes, which pass null out-pointers).
    std::int64_t call(std::uint64_t machTime, const DomainTimeConversion& clock) {
        std::uint64_t grandmaster = 0;
        std::uint16_t port = 0;
        const DomainTimeConversion own = [&](std::uint64_t t, std::uint64_t* g, std::uint16_t* p) {
            if (g != nullptr) {
                EXPECT_EQ(g, &grandmaster);
                EXPECT_EQ(p, &port);
                served.push_back(t);
            }
            return clock(t, g, p);
        };
        return platform.replacement(machTime, &grandmaster, &port, own);
    }

    FakeTimeSyncPlatform platform;
    TimeSyncWorkaround workaround{platform};
    std::vector<std::uint64_t> served;
};

TEST_F(TimeSyncWorkaroundConversionTest, NeededAdjustmentConvertsEveryLaterCall) {
    EXPECT_EQ(call(1000, clockAssuming(actual)), 1000);
    EXPECT_EQ(workaround.adjustment(), DomainTimeAdjustment::needed);
    platform::ScopedLogCapture capture;
    EXPECT_EQ(call(125000, clockAssuming(actual)), 125000);
    EXPECT_EQ(served, (std::vector<std::uint64_t>{24, 3000}));
    EXPECT_FALSE(capture.contains("Adjustment needed"));  // decided once
    EXPECT_TRUE(workaround.isHookInstalled());
}

TEST_F(TimeSyncWorkaroundConversionTest, UnneededAdjustmentRevertsTheHookOnce) {
    EXPECT_EQ(call(1000, clockAssuming(emulated)), 1000);
    EXPECT_EQ(workaround.adjustment(), DomainTimeAdjustment::notNeeded);
    EXPECT_EQ(platform.reverts, 1);
    EXPECT_FALSE(workaround.isHookInstalled());
    // A call still in flight through the old hook passes its time through untouched.
    EXPECT_EQ(call(2000, clockAssuming(emulated)), 2000);
    EXPECT_EQ(platform.reverts, 1);
    EXPECT_EQ(served, (std::vector<std::uint64_t>{1000, 2000}));
}

TEST_F(TimeSyncWorkaroundConversionTest, InvalidDomainTimesAreRetriedAtTheNextCall) {
    platform::ScopedLogCapture capture;
    const auto early = clockAssuming(actual, 70000000000ull);
    EXPECT_EQ(call(80000000000ull, early), 80000000000ll * 125 / 3);  // unchanged
    EXPECT_EQ(workaround.adjustment(), DomainTimeAdjustment::undetermined);
    EXPECT_TRUE(
        capture.contains("Failed to determine whether an adjustment is needed. Will retry later."));
    EXPECT_EQ(call(1000, clockAssuming(actual)), 1000);
    EXPECT_EQ(workaround.adjustment(), DomainTimeAdjustment::needed);
    EXPECT_EQ(served, (std::vector<std::uint64_t>{80000000000ull, 24}));
}

}  // namespace
}  // namespace quillon
