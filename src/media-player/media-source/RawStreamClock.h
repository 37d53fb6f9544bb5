#pragma once

#include <cstdint>
#include <optional>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

#include "platform/coremedia/CMTime.h"

namespace quillon {

// Times for a raw elementary video stream (H.264, HEVC or MPEG-2 video written without a
// container), whose packets carry none of their own, or only what FFmpeg counted since it last
// knew where it was.
//
// Packets get decode times from a running clock: each lasts its duration (one frame at the
// stream's frame rate), and the clock starts early by the decoder's reordering delay, so that the
// first picture shown is at zero. Pictures then take their times from the decode times (as they
// would from a container that gives only those), counted on by their durations.
//
// Seeking has no timestamps to go by. Within what was read from the start, the clock knows where
// each key frame is and lands on it exactly. Further on, the position is guessed from the file's
// size and the duration (an estimate), the last key frame before it is looked for, and the clock
// restarts there with a time that puts the target at the guessed position; times read from there
// on are estimates too.
//
// Used on the thread that holds the context, like the context itself.
class RawStreamClock {
public:
    // A key frame read with the clock counting from the start: its packet's byte position and
    // decode time (in the stream's time base).
    struct KeyFrame {
        std::int64_t position;
        std::int64_t timestamp;
    };

    // Whether `context` holds a raw elementary video stream: a single video stream, and not one
    // timestamp met while probing (so no start time).
    static bool isNeeded(const AVFormatContext& context);

    // For the single stream of `context` (its time base, frame rate and reordering delay),
    // `fileSize` bytes long; the clock stands at the start.
    RawStreamClock(const AVFormatContext& context, std::int64_t fileSize);

    // The media's duration (an estimate) over which positions are spread when seeking further
    // than what was read; zero or less leaves those seeks at the start.
    void setDuration(platform::CMTime duration) { duration_ = duration; }

    // Gives a packet just read its decode time and duration. False when the packet is to be
    // dropped: after a seek, those before the first key frame, which nothing could decode.
    bool stamp(AVPacket& packet);

    // Moves the context to the last key frame at or before `time` (on the clock's time line,
    // which starts at zero) and sets the clock to that key frame's time.
    void seek(AVFormatContext& context, platform::CMTime time);

    // Back to the start of the stream, counting exactly; what was learnt of key frames is kept.
    // The context must be at its start already (freshly opened, or moved there).
    void rewind();

    // The end (on the time line of the pictures) of the packets stamped since the clock was last
    // set; none when none was.
    std::optional<platform::CMTime> endSinceSet() const;
    // Whether the times handed out count from the start of the stream rather than from a
    // guessed position.
    bool isExact() const { return exact_; }
    // The end of what was read while counting exactly from the start.
    platform::CMTime exactlyReadUntil() const;
    const std::vector<KeyFrame>& keyFrames() const { return keyFrames_; }

private:
    std::optional<std::int64_t> ticks(platform::CMTime time) const;
    platform::CMTime time(std::int64_t ticks) const;
    std::int64_t durationTicks() const;
    // Where the packet that starts the last key frame at or before byte `position` lies; looks
    // back in growing steps, then forward when there is none. None when the stream has no key
    // frame there at all.
    std::optional<std::int64_t> keyFrameBefore(AVFormatContext& context, std::int64_t position);

    AVRational timeBase_;
    std::int64_t frameDuration_;
    // How many ticks a picture comes out after the packet that was sent with it.
    std::int64_t delay_;
    std::int64_t fileSize_;
    platform::CMTime duration_ = platform::kCMTimeZero;

    // The decode time of the next packet.
    std::int64_t next_;
    bool exact_ = true;
    bool awaitingKeyFrame_ = false;
    bool stampedSinceSet_ = false;
    std::int64_t exactlyReadUntil_ = 0;
    // Ordered by position and by time alike: only a clock counting from the start adds to it,
    // and only beyond its last entry.
    std::vector<KeyFrame> keyFrames_;
};

}  // namespace quillon
