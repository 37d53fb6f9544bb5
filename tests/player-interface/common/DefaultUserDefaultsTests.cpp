#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "platform/foundation/Log.h"
#include "platform/foundation/UserDefaults.h"
#include "player-interface/common/DefaultUserDefaults.h"

namespace quillon {
namespace {

using Value = platform::UserDefaults::Value;

// A settings file of the test's own, as a person who edits it by hand leaves it.
class DefaultUserDefaultsTest : public ::testing::Test {
protected:
    ~DefaultUserDefaultsTest() override { std::filesystem::remove(path_); }

    void writeFile(const std::string& lines) const {
        std::ofstream(path_) << "[General]\nQPPlayAutomaticallyOnOpen=true\n" << lines;
    }
    std::string file() const {
        std::ifstream file(path_);
        return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    }

    const std::filesystem::path path_ =
        std::filesystem::temp_directory_path() /
        ("quillon-default-user-defaults-" + std::to_string(getpid()) + ".ini");
};

TEST_F(DefaultUserDefaultsTest, NumbersThatCannotBeUsedGiveWayToTheRegisteredOnesAtLaunch) {
    struct Case {
        const char* key;
        const char* stored;
        Value registered;
    };
    std::vector<Case> cases;
    for (const char* stored : {"nan", "inf", "-inf", "1e99", "-1", "0", "abc", "true", "3"}) {
        cases.push_back({QPDefaultPlaybackRate, stored, kRegisteredDefaultPlaybackRate});
    }
    for (const char* stored : {"nan", "inf", "-1", "0", "abc", "false"}) {
        cases.push_back({QPJumpIntervalInSeconds, stored, kRegisteredJumpIntervalInSeconds});
    }
    for (const auto& [key, stored, registered] : cases) {
        SCOPED_TRACE(std::string(key) + "=" + stored);
        writeFile(std::string(key) + "=" + stored + "\n");
        platform::UserDefaults defaults(path_.string());
        platform::ScopedLogCapture log;
        registerDefaultUserDefaults(defaults);

        EXPECT_EQ(defaults.objectForKey(key), std::optional<Value>(registered));
        ASSERT_EQ(log.lines().size(), 1u);
        EXPECT_EQ(log.lines()[0].rfind(std::string("Ignoring the user default ") + key + " (", 0),
                  0u)
            << log.lines()[0];
        // Gone from the file, so that the next launch neither fails nor says it again; the
        // other settings stay.
        EXPECT_EQ(file().find(key), std::string::npos) << file();
        EXPECT_TRUE(platform::UserDefaults(path_.string()).boolForKey(QPPlayAutomaticallyOnOpen));
    }
}

TEST_F(DefaultUserDefaultsTest, NumbersThatCanBeUsedStayAsTheUserLeftThem) {
    writeFile("QPDefaultPlaybackRate=1.1\nQPJumpIntervalInSeconds=1e99\n");
    platform::UserDefaults defaults(path_.string());
    platform::ScopedLogCapture log;
    registerDefaultUserDefaults(defaults);
    // Not a stop, but between them; the jump is only clamped where it is used.
    EXPECT_EQ(defaultPlaybackRate(defaults), 1.1f);
    EXPECT_EQ(jumpIntervalInSeconds(defaults), 1e99);
    EXPECT_TRUE(log.lines().empty());

    // With nothing stored: the registered values, also where nothing was registered.
    platform::UserDefaults empty((path_.string() + "-empty"));
    EXPECT_EQ(defaultPlaybackRate(empty), 1.0f);
    EXPECT_EQ(jumpIntervalInSeconds(empty), 15.0);
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(DefaultUserDefaultsTest, AValueThatTurnsBadWhileRunningIsReplacedWhenRead) {
    writeFile("");
    platform::UserDefaults defaults(path_.string());
    registerDefaultUserDefaults(defaults);
    defaults.set(std::numeric_limits<double>::quiet_NaN(), QPDefaultPlaybackRate);
    defaults.set(-3.0, QPJumpIntervalInSeconds);

    platform::ScopedLogCapture log;
    EXPECT_EQ(defaultPlaybackRate(defaults), 1.0f);
    EXPECT_EQ(jumpIntervalInSeconds(defaults), 15.0);
    // Said once: the registered value answers from then on.
    EXPECT_EQ(defaultPlaybackRate(defaults), 1.0f);
    EXPECT_EQ(jumpIntervalInSeconds(defaults), 15.0);
    ASSERT_EQ(log.lines().size(), 2u);
    EXPECT_EQ(log.lines()[0],
              "Ignoring the user default QPDefaultPlaybackRate (nan): a rate from 0.5 to 2 is "
              "needed; using 1.");
    EXPECT_EQ(log.lines()[1],
              "Ignoring the user default QPJumpIntervalInSeconds (-3): a positive number of "
              "seconds is needed; using 15.");
}

}  // namespace
}  // namespace quillon
