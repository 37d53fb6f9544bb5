#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <QImage>
#include <QSize>

#include "platform/coremedia/CMSampleBuffer.h"
#include "platform/video-output/VideoPictureConverter.h"

namespace platform {

// The shape a picture is prepared in: converted and scaled to `size` pixels, then turned by the
// quarter-turn matrix `turn` (a, b, c, d of an axis-aligned transform; identity for none).
struct VideoPictureLayout {
    QSize size;
    std::array<int, 4> turn{1, 0, 0, 1};

    bool turns() const { return turn != std::array<int, 4>{1, 0, 0, 1}; }
    // The size once turned.
    QSize turnedSize() const;

    friend bool operator==(const VideoPictureLayout&, const VideoPictureLayout&) = default;
};

// A finished picture: RGB32 in the shape of its layout.
struct VideoPicture {
    QImage image;
    CMSampleBufferRef frame;
    // Which of the frames handed to the presenter it shows (they are numbered from 1).
    std::uint64_t serial = 0;
    VideoPictureLayout layout;
};

// Prepares the pictures of a video view on a thread of its own ("Video View Presentation
// Queue"), so that painting only copies a finished picture. The newest request wins: one that is
// replaced before the thread reaches it is never converted. A frame announced ahead of its time
// is prepared while the current one shows, and handed over at once when it becomes due.
// Pictures come from a small pool (the one on screen, the one waiting, the one prepared ahead
// and the one being made) and are reused while their size stays. Destroying the presenter
// waits for the picture in progress and ends the thread.
class VideoPicturePresenter {
public:
    using PictureRef = std::shared_ptr<const VideoPicture>;

    // `pictureIsReady` runs on the presentation thread, without any lock of the presenter's held,
    // each time a newer picture waits to be taken.
    explicit VideoPicturePresenter(std::function<void()> pictureIsReady);
    ~VideoPicturePresenter();
    VideoPicturePresenter(const VideoPicturePresenter&) = delete;
    VideoPicturePresenter& operator=(const VideoPicturePresenter&) = delete;

    // Any thread, without waiting: `frame` (number `serial`) is due now in `layout`; a null frame
    // removes the picture.
    void present(const CMSampleBufferRef& frame, std::uint64_t serial,
                 const VideoPictureLayout& layout);
    // Any thread, without waiting: `frame` comes next; prepare it in `layout` if time allows.
    void prepare(const CMSampleBufferRef& frame, const VideoPictureLayout& layout);

    // The newest finished picture; the one taken before goes back to the pool, so a caller keeps
    // only the latest. Null when nothing is shown (before the first picture, after a removal).
    PictureRef takePicture();
    // The frame the next takePicture() would show (null for none).
    CMSampleBufferRef newestFrame();

private:
    using Picture = std::shared_ptr<VideoPicture>;

    struct Request {
        CMSampleBufferRef frame;
        std::uint64_t serial = 0;
        VideoPictureLayout layout;
        bool pending = false;
    };

    void run();
    // On the thread, without the lock.
    bool make(const Request& request, VideoPicture& picture);
    // Under the lock.
    Picture freePicture();
    void recycle(Picture& picture);

    std::function<void()> pictureIsReady_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    Request due_;
    Request ahead_;
    bool removed_ = false;
    Picture ready_;
    Picture prepared_;
    Picture shown_;
    std::vector<Picture> pool_;
    // Touched by the thread only.
    VideoPictureConverter converter_;
    QImage unturned_;
    std::thread thread_;
};

}  // namespace platform
