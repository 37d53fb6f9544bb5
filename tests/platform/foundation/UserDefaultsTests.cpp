#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <atomic>
#include <cmath>
#include <fstream>
#include <limits>
#include <thread>
#include <vector>

#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "support/ConstrainedFolder.h"

using namespace platform;

namespace {

class UserDefaultsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(directory_.isValid()); }
    std::string iniPath() const {
        return directory_.filePath(QStringLiteral("nested/defaults.conf")).toStdString();
    }

    QTemporaryDir directory_;
};

using Value = UserDefaults::Value;

}  // namespace

TEST_F(UserDefaultsTest, StoredValuesWinOverRegisteredOnesUntilRemoved) {
    UserDefaults defaults(iniPath());
    EXPECT_EQ(defaults.objectForKey("QPJumpIntervalInSeconds"), std::nullopt);
    EXPECT_FALSE(defaults.boolForKey("missing"));
    EXPECT_EQ(defaults.integerForKey("missing"), 0);
    EXPECT_EQ(defaults.doubleForKey("missing"), 0.0);
    EXPECT_EQ(defaults.stringForKey("missing"), std::nullopt);

    defaults.registerDefaults(
        {{"QPJumpIntervalInSeconds", std::int64_t{5}}, {"QPDefaultPlaybackRate", 1.0}});
    EXPECT_EQ(defaults.integerForKey("QPJumpIntervalInSeconds"), 5);

    defaults.set(10, "QPJumpIntervalInSeconds");
    EXPECT_EQ(defaults.integerForKey("QPJumpIntervalInSeconds"), 10);
    defaults.registerDefaults({{"QPJumpIntervalInSeconds", std::int64_t{7}}});
    EXPECT_EQ(defaults.integerForKey("QPJumpIntervalInSeconds"), 10);

    defaults.removeObject("QPJumpIntervalInSeconds");
    EXPECT_EQ(defaults.objectForKey("QPJumpIntervalInSeconds"), Value(std::int64_t{7}));

    // Registered defaults are never written to the file.
    UserDefaults reopened(iniPath());
    EXPECT_EQ(reopened.objectForKey("QPDefaultPlaybackRate"), std::nullopt);
    EXPECT_EQ(reopened.objectForKey("QPJumpIntervalInSeconds"), std::nullopt);
}

TEST_F(UserDefaultsTest, TypedReadsConvertAsThePlatformDoes) {
    UserDefaults defaults(iniPath());
    struct Case {
        Value stored;
        bool asBool;
        std::int64_t asInteger;
        double asDouble;
        std::string asString;
    };
    const Case cases[] = {
        {true, true, 1, 1.0, "1"},
        {false, false, 0, 0.0, "0"},
        {std::int64_t{-3}, true, -3, -3.0, "-3"},
        {2.75, true, 2, 2.75, "2.75"},
        {-2.75, true, -2, -2.75, "-2.75"},
        {std::string("YES"), true, 0, 0.0, "YES"},
        {std::string("yes"), true, 0, 0.0, "yes"},
        {std::string("true"), true, 0, 0.0, "true"},
        {std::string("NO"), false, 0, 0.0, "NO"},
        {std::string("1"), true, 1, 1.0, "1"},
        {std::string("0"), false, 0, 0.0, "0"},
        {std::string("  -007.5s"), true, -7, -7.5, "  -007.5s"},
        {std::string("12abc"), true, 12, 12.0, "12abc"},
        {std::string("abc"), false, 0, 0.0, "abc"},
        {std::string("99999999999999999999"), true, std::numeric_limits<std::int64_t>::max(), 1e20,
         "99999999999999999999"},
    };
    for (const auto& c : cases) {
        defaults.setObject(c.stored, "key");
        SCOPED_TRACE(*defaults.stringForKey("key"));
        EXPECT_EQ(defaults.boolForKey("key"), c.asBool);
        EXPECT_EQ(defaults.integerForKey("key"), c.asInteger);
        EXPECT_EQ(defaults.doubleForKey("key"), c.asDouble);
        EXPECT_EQ(defaults.stringForKey("key"), c.asString);
    }
    defaults.set(1e300, "huge");
    EXPECT_EQ(defaults.integerForKey("huge"), std::numeric_limits<std::int64_t>::max());
}

TEST_F(UserDefaultsTest, ValuesKeepTheirTypeAcrossInstancesOnOneFile) {
    const std::vector<std::pair<std::string, Value>> values = {
        {"bool", true},
        {"false", false},
        {"integer", std::int64_t{-42}},
        {"big", std::numeric_limits<std::int64_t>::min()},
        {"wholeDouble", 2.0},
        {"double", 0.1},
        {"tiny", 1e-300},
        {"negativeZero", -0.0},
        {"infinity", std::numeric_limits<double>::infinity()},
        {"text", std::string("hello, world")},
        {"empty", std::string()},
        {"numberText", std::string("5")},
        {"decimalText", std::string("1.5")},
        {"boolText", std::string("true")},
        {"nanText", std::string("nan")},
        {"leadingZero", std::string("007")},
        {"atSign", std::string("@Variant(x)")},
        {"spaces", std::string("  padded  ")},
        {"lines", std::string("a\nb=c;d")},
        {"unicode", std::string("Ünïcode ✓")},
        {"bytes", std::string("\xff\xfe")},
    };
    {
        UserDefaults writer(iniPath());
        for (const auto& [key, value] : values) {
            writer.setObject(value, key);
        }
    }
    UserDefaults reader(iniPath());
    for (const auto& [key, value] : values) {
        EXPECT_EQ(reader.objectForKey(key), value) << key;
    }
    EXPECT_TRUE(std::signbit(reader.doubleForKey("negativeZero")));
}

TEST_F(UserDefaultsTest, SynchronizeTakesInAnotherWritersChanges) {
    UserDefaults first(iniPath());
    UserDefaults second(iniPath());
    int notified = 0;
    std::optional<Value> seen;
    auto token = second.observe("QPDefaultPlaybackRate", [&](const std::optional<Value>& value) {
        ++notified;
        seen = value;
    });

    first.set(1.5, "QPDefaultPlaybackRate");
    EXPECT_EQ(second.objectForKey("QPDefaultPlaybackRate"), std::nullopt);
    EXPECT_TRUE(second.synchronize());
    EXPECT_EQ(second.doubleForKey("QPDefaultPlaybackRate"), 1.5);
    EXPECT_EQ(notified, 1);
    EXPECT_EQ(seen, Value(1.5));
    EXPECT_TRUE(second.synchronize());
    EXPECT_EQ(notified, 1);

    // Each writer changes only its own key in the file.
    second.set("other", "QPOther");
    first.removeObject("QPDefaultPlaybackRate");
    UserDefaults third(iniPath());
    EXPECT_EQ(third.objectForKey("QPDefaultPlaybackRate"), std::nullopt);
    EXPECT_EQ(third.stringForKey("QPOther"), "other");
}

TEST_F(UserDefaultsTest, HandEditedFileIsRead) {
    UserDefaults defaults(iniPath());  // makes nothing on disk until written
    defaults.set(true, "seed");
    std::ofstream(iniPath()) << "[General]\nQPJumpIntervalInSeconds=15\nQPFlag=YES\n"
                                "QPRate=1.25\nQPList=a, b\n";
    ASSERT_TRUE(defaults.synchronize());
    EXPECT_EQ(defaults.objectForKey("QPJumpIntervalInSeconds"), Value(std::int64_t{15}));
    EXPECT_TRUE(defaults.boolForKey("QPFlag"));
    EXPECT_EQ(defaults.objectForKey("QPRate"), Value(1.25));
    EXPECT_EQ(defaults.stringForKey("QPList"), "a, b");
    EXPECT_EQ(defaults.objectForKey("seed"), std::nullopt);
}

TEST_F(UserDefaultsTest, KeyObserversFireOnlyWhenTheEffectiveValueChanges) {
    UserDefaults defaults(iniPath());
    std::vector<std::optional<Value>> seen;
    auto token =
        defaults.observe("QPJumpIntervalInSeconds",
                         [&](const std::optional<Value>& value) { seen.push_back(value); });
    auto expectSeen = [&](std::vector<std::optional<Value>> expected) {
        EXPECT_EQ(seen, expected);
        seen.clear();
    };

    defaults.registerDefaults({{"QPJumpIntervalInSeconds", std::int64_t{5}}});
    expectSeen({Value(std::int64_t{5})});
    defaults.set(5, "QPJumpIntervalInSeconds");  // same effective value
    expectSeen({});
    defaults.set(10, "QPJumpIntervalInSeconds");
    defaults.set(10, "QPJumpIntervalInSeconds");
    defaults.set(3, "QPOtherKey");
    expectSeen({Value(std::int64_t{10})});
    defaults.registerDefaults({{"QPJumpIntervalInSeconds", std::int64_t{30}}});  // hidden
    expectSeen({});
    defaults.removeObject("QPJumpIntervalInSeconds");
    expectSeen({Value(std::int64_t{30})});
    defaults.set(30, "QPJumpIntervalInSeconds");
    defaults.removeObject("QPJumpIntervalInSeconds");
    expectSeen({});

    token.remove();
    defaults.set(1, "QPJumpIntervalInSeconds");
    expectSeen({});
}

TEST_F(UserDefaultsTest, ChangesArePostedOnTheDefaultCentreWithTheDefaultsAsSender) {
    UserDefaults defaults(iniPath());
    UserDefaults unrelated(directory_.filePath(QStringLiteral("other.conf")).toStdString());
    int posts = 0;
    auto token = NotificationCenter::defaultCenter().addObserver(
        NSUserDefaultsDidChangeNotification, &defaults, [&](const Notification&) { ++posts; });

    defaults.set("a", "QPKey");
    defaults.set("a", "QPKey");  // no change, no post
    unrelated.set("a", "QPKey");
    EXPECT_EQ(posts, 1);
    defaults.registerDefaults({{"QPKey", std::string("b")}});
    defaults.removeObject("QPKey");
    defaults.removeObject("QPKey");
    EXPECT_EQ(posts, 3);
}

TEST_F(UserDefaultsTest, ConcurrentReadersAndWriters) {
    UserDefaults defaults(iniPath());
    defaults.registerDefaults({{"QPDefaultPlaybackRate", 1.0}});
    std::atomic<int> observed = 0;
    auto token = defaults.observe("QPCounter", [&](const std::optional<Value>&) { ++observed; });
    std::atomic<bool> stop = false;
    std::vector<std::thread> threads;
    for (int writer = 0; writer < 3; ++writer) {
        threads.emplace_back([&, writer] {
            for (int i = 0; i < 40; ++i) {
                defaults.set(writer * 1000 + i, "QPCounter");
                defaults.set(std::to_string(i), "QPText" + std::to_string(writer));
                if (i % 10 == 0) {
                    defaults.synchronize();
                }
            }
        });
    }
    std::atomic<int> badReads = 0;
    for (int reader = 0; reader < 3; ++reader) {
        threads.emplace_back([&] {
            while (!stop) {
                if (defaults.doubleForKey("QPDefaultPlaybackRate") != 1.0) {
                    ++badReads;
                }
                (void)defaults.integerForKey("QPCounter");
                (void)defaults.stringForKey("QPText0");
            }
        });
    }
    for (int writer = 0; writer < 3; ++writer) {
        threads[static_cast<std::size_t>(writer)].join();
    }
    stop = true;
    for (std::size_t i = 3; i < threads.size(); ++i) {
        threads[i].join();
    }
    EXPECT_EQ(badReads.load(), 0);
    EXPECT_GT(observed.load(), 0);
    // The file holds what the cache holds.
    UserDefaults reopened(iniPath());
    EXPECT_EQ(reopened.objectForKey("QPCounter"), defaults.objectForKey("QPCounter"));
    for (int writer = 0; writer < 3; ++writer) {
        EXPECT_EQ(reopened.stringForKey("QPText" + std::to_string(writer)), "39");
    }
}

// Quick changes of the same length leave a file of the same size, often within the same
// millisecond: a reader that goes by size and time (QSettings caches files by them) must still
// see each one.
TEST_F(UserDefaultsTest, EveryQuickChangeIsSeenByTheNextReaderOfTheFile) {
    UserDefaults defaults(iniPath());
    defaults.set("kept", "QPOther");
    for (int value = 10; value < 100; ++value) {
        defaults.set(value, "QPCounter");
        UserDefaults reader(iniPath());
        ASSERT_EQ(reader.integerForKey("QPCounter"), value);
        ASSERT_EQ(reader.stringForKey("QPOther"), "kept");
    }
}

TEST(UserDefaults, StandardDefaultsLiveInTheXDGConfigurationDirectory) {
    EXPECT_TRUE(UserDefaults::standardFilePath().ends_with("/quillon-player/quillon-player.conf"))
        << UserDefaults::standardFilePath();
}

namespace {

std::size_t errorCount(const ScopedLogCapture& log) {
    std::size_t count = 0;
    for (const auto& entry : log.entries()) {
        count += entry.level == LogLevel::error ? 1 : 0;
    }
    return count;
}

}  // namespace

TEST(UserDefaultsOnAFullDisk, TheFileKeepsItsBytesAndTheChangesAreSavedWithTheNextOne) {
    quillon::test::ConstrainedFolder folder("quillon-defaults-full");
    const std::string path = folder / "quillon-player.conf";
    {
        UserDefaults first(path);
        first.set(true, "QPPlayAutomaticallyOnOpen");
        first.set(1.5, "QPDefaultPlaybackRate");
    }
    const std::string before = quillon::test::fileBytes(path);
    ASSERT_NE(before.find("QPPlayAutomaticallyOnOpen=true"), std::string::npos) << before;

    UserDefaults defaults(path);
    // Nearly full: room for a lock file, not for the text of the changes.
    folder.fill(1);
    const std::string longText(3 * 4096, 'x');
    ScopedLogCapture log;
    defaults.set(longText, "QPLongText");
    defaults.set(false, "QPPlayAutomaticallyOnOpen");
    defaults.removeObject("QPDefaultPlaybackRate");
    EXPECT_EQ(quillon::test::fileBytes(path), before);
    EXPECT_EQ(errorCount(log), 1u);
    EXPECT_TRUE(log.contains("Failed to store the user defaults in " + path + ": " +
                             quillon::test::ConstrainedFolder::reasonWhenFull()));
    // The changes stay in force meanwhile.
    EXPECT_FALSE(defaults.boolForKey("QPPlayAutomaticallyOnOpen"));
    EXPECT_EQ(defaults.objectForKey("QPDefaultPlaybackRate"), std::nullopt);

    folder.freeSpace();
    defaults.set(10, "QPJumpIntervalInSeconds");
    UserDefaults nextLaunch(path);
    EXPECT_EQ(nextLaunch.objectForKey("QPPlayAutomaticallyOnOpen"), Value(false));
    EXPECT_EQ(nextLaunch.objectForKey("QPDefaultPlaybackRate"), std::nullopt);
    EXPECT_EQ(nextLaunch.objectForKey("QPJumpIntervalInSeconds"), Value(std::int64_t{10}));
    EXPECT_EQ(nextLaunch.stringForKey("QPLongText"), longText);
    EXPECT_EQ(folder.names(), std::vector<std::string>{"quillon-player.conf"});
}

TEST(UserDefaultsInAReadOnlyFolder, TheFileKeepsItsBytesAndSynchronizeSavesTheChangeLater) {
    quillon::test::ConstrainedFolder folder("quillon-defaults-read-only");
    const std::string path = folder / "quillon-player.conf";
    UserDefaults defaults(path);
    defaults.set("debug", "PWLastViewedPreferencePaneIdentifier");
    const std::string before = quillon::test::fileBytes(path);

    folder.makeReadOnly();
    ScopedLogCapture log;
    defaults.set("general", "PWLastViewedPreferencePaneIdentifier");
    EXPECT_EQ(quillon::test::fileBytes(path), before);
    EXPECT_TRUE(log.contains(path + ": " + folder.reasonWhenReadOnly()));
    EXPECT_EQ(defaults.stringForKey("PWLastViewedPreferencePaneIdentifier"), "general");

    folder.makeWritable();
    EXPECT_TRUE(defaults.synchronize());
    EXPECT_EQ(defaults.stringForKey("PWLastViewedPreferencePaneIdentifier"), "general");
    EXPECT_EQ(UserDefaults(path).stringForKey("PWLastViewedPreferencePaneIdentifier"), "general");
}
