#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>

#include "platform/corevideo/CVImageBuffer.h"
#include "platform/video-output/VideoPicturePresenter.h"
#include "support/VideoFrameFactory.h"

namespace {

using namespace platform;
using quillon::test::VideoFrameFactory;

class PresenterTest : public ::testing::Test {
protected:
    // Waits for the presenter's word, then takes pictures until one of frame `serial` comes.
    VideoPicturePresenter::PictureRef waitForPicture(std::uint64_t serial) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        std::unique_lock lock(mutex);
        while (true) {
            auto picture = presenter.takePicture();
            if (picture && picture->serial == serial) {
                return picture;
            }
            if (!ready.wait_until(lock, deadline, [this] { return readyCount > seen; })) {
                ADD_FAILURE() << "picture " << serial << " never came";
                return nullptr;
            }
            seen = readyCount;
        }
    }

    static CMSampleBufferRef red(int n) {
        // BT.601 video-range red.
        auto frame = VideoFrameFactory::make(CMTimeMake(n, 25), CMTimeMake(1, 25), 64, 36, 81, 90,
                                             240);
        CVBufferSetAttachment(CMSampleBufferGetImageBuffer(frame), kCVImageBufferYCbCrMatrixKey,
                              kCVImageBufferYCbCrMatrix_ITU_R_601_4,
                              kCVAttachmentMode_ShouldPropagate);
        return frame;
    }

    std::mutex mutex;
    std::condition_variable ready;
    int readyCount = 0;
    int seen = 0;
    VideoPicturePresenter presenter{[this] {
        {
            std::lock_guard lock(mutex);
            ++readyCount;
        }
        ready.notify_all();
    }};
};

TEST_F(PresenterTest, HandsOverFinishedPicturesFromAReusedPool) {
    const VideoPictureLayout layout{QSize(32, 18)};
    std::set<const uchar*> memory;
    for (std::uint64_t serial = 1; serial <= 12; ++serial) {
        const auto frame = red(static_cast<int>(serial));
        presenter.present(frame, serial, layout);
        const auto picture = waitForPicture(serial);
        ASSERT_NE(picture, nullptr);
        EXPECT_EQ(picture->frame, frame);
        ASSERT_EQ(picture->image.size(), QSize(32, 18));
        EXPECT_GT(picture->image.pixelColor(16, 9).red(), 240);
        memory.insert(picture->image.constBits());
    }
    EXPECT_LE(memory.size(), 4u) << "pictures come from a pool, not one per frame";
}

TEST_F(PresenterTest, AFramePreparedAheadIsHandedOverWhenDue) {
    const VideoPictureLayout layout{QSize(32, 18)};
    const auto first = red(0);
    const auto second = red(1);
    presenter.present(first, 1, layout);
    ASSERT_NE(waitForPicture(1), nullptr);
    presenter.prepare(second, layout);
    // Not shown before its time.
    EXPECT_EQ(presenter.takePicture()->serial, 1u);
    presenter.present(second, 2, layout);
    const auto picture = waitForPicture(2);
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->frame, second);
}

TEST_F(PresenterTest, TurnsIntoTheLayoutAndRemovesOnANullFrame) {
    // A quarter turn: 32 × 18 becomes 18 × 32.
    presenter.present(red(0), 1, VideoPictureLayout{QSize(32, 18), {0, 1, -1, 0}});
    const auto picture = waitForPicture(1);
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->image.size(), QSize(18, 32));
    EXPECT_GT(picture->image.pixelColor(9, 16).red(), 240);

    presenter.present(nullptr, 0, {});
    EXPECT_EQ(presenter.takePicture(), nullptr);
}

TEST(PresenterLifetimeTest, StopsCleanlyWhileFramesKeepComing) {
    const auto frame = VideoFrameFactory::make(kCMTimeZero, CMTimeMake(1, 25), 1280, 720);
    for (int round = 0; round < 10; ++round) {
        std::atomic<int> pictures{0};
        auto presenter = std::make_unique<VideoPicturePresenter>([&pictures] { ++pictures; });
        std::atomic<bool> stop{false};
        VideoPicturePresenter* target = presenter.get();
        std::thread producer([&] {
            for (std::uint64_t serial = 1; !stop; ++serial) {
                target->present(frame, serial, VideoPictureLayout{QSize(640 + round, 360)});
                target->prepare(frame, VideoPictureLayout{QSize(320, 180)});
            }
        });
        while (pictures == 0) {
            std::this_thread::yield();
        }
        stop = true;
        producer.join();
        // The thread may be in the middle of a conversion: the destructor waits for it.
        presenter.reset();
    }
}

}  // namespace
