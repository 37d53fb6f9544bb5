#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <memory>

#include "media-player/MediaPlayerTestSupport.h"
#include "player-interface/picture-in-picture/QLPictureInPictureController.h"
#include "player-interface/views/VideoPlayerView.h"
#include "support/EventPumping.h"

namespace quillon {
namespace {

using test::pumpUntil;

class PictureInPictureMediaPlayerTest : public test::MediaPlayerTest {
protected:
    bool playerIsPlaying() {
        return onQueue([&] { return player->isPlaying(); });
    }
};

TEST_F(PictureInPictureMediaPlayerTest, TheFloatingWindowPlaysAndPausesThePlayerAndFollowsIt) {
    const auto media = test::openMedia("gop-1s.mkv");
    makePlayer(media, test::videoAndAudio(*media));
    auto controls = std::make_unique<QWidget>();
    auto view = std::make_unique<VideoPlayerView>(*player, controls.get());
    view->show();
    auto pip = QLPictureInPictureController::make(view.get(), player);
    ASSERT_NE(pip, nullptr);
    player->setPictureInPictureController(pip);

    pip->startPictureInPicture();
    ASSERT_TRUE(pip->isPictureInPictureActive());
    const auto floating = pip->pipViewController();
    ASSERT_FALSE(playerIsPlaying());
    EXPECT_FALSE(floating->isPlaying());

    floating->pictureInPictureWindow()->playPauseButton()->click();
    EXPECT_TRUE(playerIsPlaying());
    // The player reports its new rate on the main queue, and the window's control follows.
    EXPECT_TRUE(pumpUntil([&] { return floating->isPlaying(); }));

    floating->pictureInPictureWindow()->closeButton()->click();
    ASSERT_TRUE(pumpUntil([&] { return !pip->isPictureInPictureActive(); }));
    EXPECT_FALSE(playerIsPlaying());
    EXPECT_EQ(view->videoViewForPictureInPicture()->parentWidget(), view.get());

    player->setPictureInPictureController(nullptr);
    pip.reset();
    view.reset();
    settle();
}

}  // namespace
}  // namespace quillon
