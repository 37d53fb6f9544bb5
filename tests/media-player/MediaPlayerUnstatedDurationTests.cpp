#include <gtest/gtest.h>

#include "media-player/MediaPlayerTestSupport.h"

namespace {

using namespace platform;
using namespace quillon;
using namespace quillon::test;

// A raw stream whose duration is guessed at about half of what it is.
class MediaPlayerUnstatedDurationTest : public MediaPlayerTest {
protected:
    void SetUp() override {
        const auto media = openRawStreamWithAShortGuess();
        makePlayer(media, {media->videoTracks().at(0), nullptr, nullptr, nullptr});
    }
};

TEST_F(MediaPlayerUnstatedDurationTest, PlayingGoesOnPastAGuessAndEndsWhereTheEndIsRead) {
    ASSERT_FALSE(player->isDurationFinal());
    const double guess = CMTimeGetSeconds(player->duration());
    ASSERT_LT(guess, 6.0);

    onQueue([&] { player->play(); });
    playOnUntil(guess + 1);
    EXPECT_EQ(synchronizerRate(), 1.0f);
    EXPECT_GE(CMTimeGetSeconds(currentTime()), guess + 1);
    // What was read reaches beyond the guess, and beyond what is shown.
    EXPECT_GT(CMTimeCompare(player->duration(), currentTime()), 0);
    EXPECT_FALSE(player->isDurationFinal());

    playOnUntil(10);
    ASSERT_TRUE(eventually([&] { return synchronizerRate() == 0.0f; }));
    EXPECT_TRUE(player->isDurationFinal());
    EXPECT_EQ(player->duration(), seconds(8));
    EXPECT_EQ(currentTime(), seconds(8));
    // The pictures ran to the end, each once.
    EXPECT_TRUE(eventually([&] { return layer->record.buffersSinceLastFlush().size() >= 200; }))
        << layer->record.buffersSinceLastFlush().size();
    EXPECT_EQ(layer->record.buffersSinceLastFlush().size(), 200u);
}

// Past the guess, and past all that was read, a seek goes by the bytes' share of the guess: it
// lands where it was asked to, and playing from there ends where the file ends.
TEST_F(MediaPlayerUnstatedDurationTest, ASeekPastAGuessIsNotHeldToItAndPlaysToTheFilesEnd) {
    const CMTime target = CMTimeAdd(player->duration(), seconds(2));
    seekAndWait(target);
    EXPECT_EQ(currentTime(), target);

    onQueue([&] { player->play(); });
    playOnUntil(CMTimeGetSeconds(target) + 5);
    ASSERT_TRUE(eventually([&] { return synchronizerRate() == 0.0f; }));
    EXPECT_TRUE(player->isDurationFinal());
    EXPECT_GT(CMTimeCompare(player->duration(), target), 0);
    EXPECT_EQ(currentTime(), player->duration());
}

}  // namespace
