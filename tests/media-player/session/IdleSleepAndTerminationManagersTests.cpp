#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "media-player/session/AutomaticTerminationManager.h"
#include "media-player/session/IdleSleepManager.h"
#include "media-player/session/SuddenTerminationManager.h"
#include "platform/avfoundation/IOPMAssertion.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/ProcessInfoTermination.h"

namespace {

using namespace quillon;
using platform::ProcessInfoTermination;
using Call = ProcessInfoTermination::Call;

// Hands out assertions and records what it was asked; can be told to refuse.
class RecordingPowerAssertionService final : public platform::PowerAssertionService {
public:
    platform::IOReturn createAssertion(const std::string& type, platform::IOPMAssertionLevel level,
                                       const std::string& name,
                                       platform::IOPMAssertionID* assertionID) override {
        std::lock_guard lock(mutex);
        creations.push_back({type, level, name});
        if (createStatus != platform::kIOReturnSuccess) {
            return createStatus;
        }
        *assertionID = nextID++;
        held.push_back(*assertionID);
        return platform::kIOReturnSuccess;
    }

    platform::IOReturn releaseAssertion(platform::IOPMAssertionID assertionID) override {
        std::lock_guard lock(mutex);
        releases.push_back(assertionID);
        if (releaseStatus != platform::kIOReturnSuccess) {
            return releaseStatus;
        }
        std::erase(held, assertionID);
        return platform::kIOReturnSuccess;
    }

    struct Creation {
        std::string type;
        platform::IOPMAssertionLevel level;
        std::string name;
    };

    std::mutex mutex;
    std::vector<Creation> creations;
    std::vector<platform::IOPMAssertionID> releases;
    std::vector<platform::IOPMAssertionID> held;
    platform::IOPMAssertionID nextID = 40;
    platform::IOReturn createStatus = platform::kIOReturnSuccess;
    platform::IOReturn releaseStatus = platform::kIOReturnSuccess;
};

class IdleSleepManagerTest : public ::testing::Test {
protected:
    std::shared_ptr<RecordingPowerAssertionService> service =
        std::make_shared<RecordingPowerAssertionService>();
    platform::PowerAssertionService::ScopedOverride override{service};
};

TEST_F(IdleSleepManagerTest, HoldsOneDisplaySleepAssertionAtMostAndReleasesItOnce) {
    {
        IdleSleepManager manager;
        manager.allowIdleSleep();
        EXPECT_TRUE(service->releases.empty()) << "nothing held, nothing released";

        manager.preventIdleSleep("Quillon Player started playing media.");
        manager.preventIdleSleep("Quillon Player started playing media.");
        ASSERT_EQ(service->creations.size(), 1u);
        EXPECT_EQ(service->creations[0].type, "PreventUserIdleDisplaySleep");
        EXPECT_EQ(service->creations[0].level, 255u);
        EXPECT_EQ(service->creations[0].name, "Quillon Player started playing media.");
        EXPECT_EQ(manager.powerManagementAssertionID(), 40u);

        manager.allowIdleSleep();
        manager.allowIdleSleep();
        EXPECT_EQ(service->releases, std::vector<platform::IOPMAssertionID>{40});
        EXPECT_FALSE(manager.powerManagementAssertionID());

        manager.preventIdleSleep("again");
    }
    EXPECT_EQ(service->releases, (std::vector<platform::IOPMAssertionID>{40, 41}))
        << "going away releases what is held";
    EXPECT_TRUE(service->held.empty());
}

TEST_F(IdleSleepManagerTest, AFailedAssertionIsLoggedAndTriedAgainNextTime) {
    platform::ScopedLogCapture log;
    IdleSleepManager manager;
    service->createStatus = platform::kIOReturnError;
    manager.preventIdleSleep("reason");
    EXPECT_FALSE(manager.powerManagementAssertionID());
    EXPECT_TRUE(log.contains(
        "Failed to create power management assertion to prevent idle sleep: -536870212."));

    service->createStatus = platform::kIOReturnSuccess;
    manager.preventIdleSleep("reason");
    EXPECT_TRUE(manager.powerManagementAssertionID());
    EXPECT_EQ(service->creations.size(), 2u);
}

TEST_F(IdleSleepManagerTest, AFailedReleaseKeepsTheAssertionForTheNextTry) {
    platform::ScopedLogCapture log;
    IdleSleepManager manager;
    manager.preventIdleSleep("reason");
    service->releaseStatus = platform::kIOReturnNotFound;
    manager.allowIdleSleep();
    EXPECT_EQ(manager.powerManagementAssertionID(), 40u);
    EXPECT_TRUE(
        log.contains("Failed to release the power management assertion that is "
                     "preventing idle sleep: -536870160."));
    service->releaseStatus = platform::kIOReturnSuccess;
    manager.allowIdleSleep();
    EXPECT_FALSE(manager.powerManagementAssertionID());
    EXPECT_EQ(service->releases.size(), 2u);
}

TEST(AutomaticTerminationManagerTest, OnlyChangesReachTheProcessSoCallsComeInPairs) {
    ProcessInfoTermination::ScopedCallRecording recording;
    const int before = ProcessInfoTermination::shared().automaticTerminationDisableCount();
    {
        AutomaticTerminationManager manager;
        EXPECT_TRUE(manager.isAutomaticTerminationEnabled());
        manager.enable("Stopped playing media.");
        manager.disable("Started playing media.");
        manager.disable("Started playing media.");
        EXPECT_FALSE(manager.isAutomaticTerminationEnabled());
        EXPECT_EQ(ProcessInfoTermination::shared().automaticTerminationDisableCount(), before + 1);
        EXPECT_FALSE(ProcessInfoTermination::shared().isAutomaticTerminationAllowed());
        manager.enable("Stopped playing media.");
        manager.enable("Stopped playing media.");
        manager.disable("Started loading media.");
    }
    EXPECT_EQ(ProcessInfoTermination::shared().automaticTerminationDisableCount(), before);
    EXPECT_EQ(recording.calls(),
              (std::vector<Call>{
                  {Call::Kind::disableAutomaticTermination, "Started playing media."},
                  {Call::Kind::enableAutomaticTermination, "Stopped playing media."},
                  {Call::Kind::disableAutomaticTermination, "Started loading media."},
                  {Call::Kind::enableAutomaticTermination,
                   "Automatic Termination Manager was deinitialized."},
              }));
}

TEST(AutomaticTerminationManagerTest, OneThatGoesAwayEnabledCallsNothing) {
    ProcessInfoTermination::ScopedCallRecording recording;
    {
        AutomaticTerminationManager manager;
        manager.disable("Started loading media.");
        manager.enable("Finished loading media.");
    }
    EXPECT_EQ(recording.calls().size(), 2u);
}

TEST(SuddenTerminationManagerTest, OnlyChangesReachTheProcessAndGoingAwayEnablesAgain) {
    ProcessInfoTermination::ScopedCallRecording recording;
    {
        SuddenTerminationManager manager;
        manager.enable();
        manager.disable();
        manager.disable();
        EXPECT_FALSE(ProcessInfoTermination::shared().isSuddenTerminationAllowed());
        manager.enable();
        manager.enable();
        EXPECT_TRUE(ProcessInfoTermination::shared().isSuddenTerminationAllowed());
        manager.disable();
        EXPECT_FALSE(manager.isSuddenTerminationEnabled());
    }
    EXPECT_TRUE(ProcessInfoTermination::shared().isSuddenTerminationAllowed());
    using Kind = Call::Kind;
    EXPECT_EQ(recording.calls(), (std::vector<Call>{{Kind::disableSuddenTermination, ""},
                                                    {Kind::enableSuddenTermination, ""},
                                                    {Kind::disableSuddenTermination, ""},
                                                    {Kind::enableSuddenTermination, ""}}));
}

}  // namespace
