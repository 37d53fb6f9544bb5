#pragma once

#include <memory>
#include <optional>

extern "C" {
#include <libavformat/avformat.h>
}

#include "media-player/media-source/RawStreamClock.h"
#include "media-player/media-source/UnstatedDuration.h"
#include "platform/coremedia/CMTime.h"

namespace quillon {

// What reading one of a source's contexts tells about a time line that the file does not state:
// how far its packets reach and where the file ends (for a duration that is not stated), and the
// clock of a raw stream whose packets carry no times. Files that state their times have none.
//
// A context carries its timeline in its user data (`opaque`, which FFmpeg leaves to its user),
// so that the reading primitives find it wherever they read or seek. The timeline must outlive
// the context's use; it is only used on the thread that holds the context.
class ContextTimeline {
public:
    // Either may be absent.
    ContextTimeline(std::shared_ptr<UnstatedDuration> duration,
                    std::unique_ptr<RawStreamClock> clock);

    ContextTimeline(const ContextTimeline&) = delete;
    ContextTimeline& operator=(const ContextTimeline&) = delete;

    // Makes this the timeline of `context`.
    void attach(AVFormatContext& context);
    // The timeline that `context` carries, if any.
    static ContextTimeline* of(const AVFormatContext& context);

    // A packet was read from `context`: gives it its times where the clock counts them, and
    // notes how far it reaches. False when the packet is to be dropped.
    bool admit(const AVFormatContext& context, AVPacket& packet);
    // A read reached the end of the file.
    void endOfFile();
    // Seeks a raw stream by its clock; false where the context seeks by itself (then
    // `positioned` follows).
    bool seek(AVFormatContext& context, platform::CMTime time);
    // The context was moved: what is read next starts a new stretch.
    void positioned() { endSincePositioned_.reset(); }

private:
    std::shared_ptr<UnstatedDuration> duration_;
    std::unique_ptr<RawStreamClock> clock_;
    std::optional<platform::CMTime> endSincePositioned_;
};

}  // namespace quillon
