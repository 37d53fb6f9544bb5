#include <gtest/gtest.h>

#include "media-player/media-source/UnstatedDuration.h"
#include "platform/coremedia/CMTime.h"

using namespace quillon;
using platform::CMTime;

namespace {

CMTime seconds(double value) {
    return platform::CMTimeMakeWithSeconds(value, 1000);
}

double secondsOf(const UnstatedDuration& duration) {
    return platform::CMTimeGetSeconds(duration.duration());
}

// Packets count on the file's time line, which starts a second before media time zero here.
TEST(UnstatedDuration, AGuessGrowsWithWhatIsReadAndTheEndReadSettlesItEitherWay) {
    UnstatedDuration duration(seconds(1), seconds(4));
    int announcements = 0;
    duration.setDidChange([&] { ++announcements; });
    EXPECT_EQ(secondsOf(duration), 4.0);
    EXPECT_FALSE(duration.isFinal());

    duration.packetWasRead(seconds(3));  // within the guess
    EXPECT_EQ(secondsOf(duration), 4.0);
    duration.packetWasRead(seconds(6.5));
    EXPECT_EQ(secondsOf(duration), 5.5);
    EXPECT_EQ(announcements, 1);
    duration.packetWasRead(seconds(7));  // less than a second more: not shown anew
    EXPECT_EQ(secondsOf(duration), 6.0);
    EXPECT_EQ(announcements, 1);
    EXPECT_FALSE(duration.isFinal());

    // Each context ends with its own streams; the longest one is where the media ends, however
    // little it adds.
    duration.endOfFileWasRead(seconds(7.2));
    EXPECT_TRUE(duration.isFinal());
    EXPECT_EQ(secondsOf(duration), 6.2);
    EXPECT_EQ(announcements, 2);
    duration.endOfFileWasRead(seconds(7.25));
    EXPECT_EQ(secondsOf(duration), 6.25);
    EXPECT_EQ(announcements, 3);

    // A guess beyond the end gives way to it.
    UnstatedDuration tooLong(platform::kCMTimeZero, seconds(10));
    tooLong.endOfFileWasRead(seconds(5));
    EXPECT_TRUE(tooLong.isFinal());
    EXPECT_EQ(secondsOf(tooLong), 5.0);

    // Nothing read since the last seek tells nothing of the end.
    UnstatedDuration unknown(platform::kCMTimeZero, std::nullopt);
    unknown.endOfFileWasRead(std::nullopt);
    EXPECT_FALSE(unknown.isFinal());
    EXPECT_EQ(secondsOf(unknown), 0.0);
}

// An end that a raw stream's estimated times put somewhere holds only until its clock is set
// again; an exact end found later replaces it.
TEST(UnstatedDuration, AnEndFromEstimatedTimesLastsUntilTheClockIsSetAndYieldsToAnExactOne) {
    UnstatedDuration duration(platform::kCMTimeZero, seconds(4));
    duration.endOfFileWasRead(seconds(9), false);
    EXPECT_TRUE(duration.isFinal());
    EXPECT_EQ(secondsOf(duration), 9.0);

    duration.clockWasSet();
    EXPECT_FALSE(duration.isFinal());
    EXPECT_EQ(secondsOf(duration), 9.0);  // what was read still counts as a guess

    duration.endOfFileWasRead(seconds(8), true);
    EXPECT_TRUE(duration.isFinal());
    EXPECT_EQ(secondsOf(duration), 8.0);
    duration.endOfFileWasRead(seconds(9.5), false);
    EXPECT_EQ(secondsOf(duration), 8.0);
    duration.clockWasSet();
    EXPECT_TRUE(duration.isFinal());
}

}  // namespace
