#include "platform/foundation/ProcessInfo.h"

#include <sys/utsname.h>

#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(ProcessInfoTests, describesThisSystemSoThatMacOSConditionsAreFalse) {
    utsname names{};
    ASSERT_EQ(uname(&names), 0);
    const auto info = ProcessInfo::processInfo();
    EXPECT_EQ(info->operatingSystem(), OperatingSystem::linux);
    EXPECT_FALSE(info->isMacOS());
    EXPECT_EQ(info->operatingSystemVersionString(),
              std::string(names.sysname) + " " + names.release);
    // The kernel release's leading number is the major version.
    EXPECT_EQ(info->operatingSystemVersion().majorVersion, std::stoll(names.release));
    EXPECT_TRUE(info->isOperatingSystemAtLeast(info->operatingSystemVersion()));
    EXPECT_FALSE(
        info->isOperatingSystemAtLeast(info->operatingSystemVersion().majorVersion + 1, 0, 0));
    const std::string machine = names.machine;
    EXPECT_EQ(info->processorIsARM64(), machine == "aarch64" || machine == "arm64");

    // Both sides of every macOS range are false here, whatever the kernel's numbers.
    EXPECT_FALSE(info->isMacOSAtLeast(0, 0, 0));
    EXPECT_FALSE(info->isMacOSBefore(99, 0, 0));
    EXPECT_FALSE(info->isMacOSInRange({0, 0, 0}, {99, 0, 0}));
}

TEST(ProcessInfoTests, overridesNestAndRestoreThisSystem) {
    const auto real = ProcessInfo::processInfo();
    {
        ProcessInfo::ScopedOverride macOS({OperatingSystem::macOS, {11, 6, 0}, "macOS 11.6", true});
        auto info = ProcessInfo::processInfo();
        EXPECT_TRUE(info->isMacOSInRange({11, 4, 0}, {12, 0, 0}));
        EXPECT_TRUE(info->isMacOSAtLeast(11, 0, 0));
        EXPECT_FALSE(info->isMacOSBefore(11, 0, 0));
        EXPECT_TRUE(info->isMacOSBefore(11, 6, 1));
        EXPECT_TRUE(info->processorIsARM64());
        {
            ProcessInfo::ScopedOverride twelve({OperatingSystem::macOS, {12, 0, 0}, "", false});
            EXPECT_FALSE(ProcessInfo::processInfo()->isMacOSInRange({11, 4, 0}, {12, 0, 0}));
            EXPECT_TRUE(ProcessInfo::processInfo()->isMacOSAtLeast(12, 0, 0));
        }
        EXPECT_EQ(ProcessInfo::processInfo()->operatingSystemVersion(),
                  (NSOperatingSystemVersion{11, 6, 0}));
        // A reader keeps the instance it took even after the override ends.
        EXPECT_TRUE(info->isMacOS());
    }
    EXPECT_EQ(ProcessInfo::processInfo()->operatingSystemVersion(), real->operatingSystemVersion());
    EXPECT_FALSE(ProcessInfo::processInfo()->isMacOS());
}

TEST(ProcessInfoTests, readersRaceAnOverrideSafely) {
    std::vector<std::thread> readers;
    for (int index = 0; index < 4; ++index) {
        readers.emplace_back([] {
            for (int round = 0; round < 2000; ++round) {
                auto info = ProcessInfo::processInfo();
                ASSERT_NE(info, nullptr);
                (void)info->isMacOSInRange({11, 4, 0}, {12, 0, 0});
            }
        });
    }
    for (int round = 0; round < 200; ++round) {
        ProcessInfo::ScopedOverride override({OperatingSystem::macOS, {11, 5, 0}, "", false});
    }
    for (auto& reader : readers) {
        reader.join();
    }
}

}  // namespace
}  // namespace platform
