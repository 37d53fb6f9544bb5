#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>

#include "platform/coremedia/CMTime.h"

namespace quillon {

// The duration of a file that states none (a live recording, a raw elementary stream), as far as
// it is known: an estimate at first, or nothing, then what reading the file shows. Until the end
// of the file has been read it is only a guess: it never falls below the end of what was read,
// and it may be wrong either way about what is still to come. Once a read reaches the end of the
// file, the end of the last packets is where the media ends.
//
// Fed by the readers of both of the source's contexts, each on its own queue; read from any
// thread.
class UnstatedDuration {
public:
    using DidChange = std::function<void()>;

    // `startTime` is where media time zero lies on the packets' time line; `estimate` is in media
    // time, none when nothing could be estimated.
    UnstatedDuration(platform::CMTime startTime, std::optional<platform::CMTime> estimate);

    UnstatedDuration(const UnstatedDuration&) = delete;
    UnstatedDuration& operator=(const UnstatedDuration&) = delete;

    // Called whenever the duration or its finality changed enough to be shown anew: at the end
    // of the file, and for every further second that reading adds. Called on the reading thread,
    // outside any lock of this object. Set once, before anything is read.
    void setDidChange(DidChange didChange) { didChange_ = std::move(didChange); }

    // In media time; zero while nothing is known.
    platform::CMTime duration() const;
    // Whether a read has reached the end of the file, so that the duration is where playing ends.
    bool isFinal() const;

    // A packet ending at `end` (on the packets' time line) was read.
    void packetWasRead(platform::CMTime end);
    // A read reached the end of the file; `lastEnd` is the latest end of the packets read since
    // the context was last positioned, none when it read none. `exact` is false when those
    // packets' times were themselves estimated (a raw stream read from a guessed position): an
    // exact end found later replaces it.
    void endOfFileWasRead(std::optional<platform::CMTime> lastEnd, bool exact = true);
    // A raw stream's clock was set anew (a seek): an end that its estimated times put somewhere
    // no longer holds on the time line it counts now.
    void clockWasSet();

private:
    // Media time in microseconds of a time on the packets' time line.
    std::int64_t mediaMicroseconds(platform::CMTime time) const;
    std::int64_t durationLocked() const;
    // After a change under the lock: whether it is worth announcing; records what was announced.
    bool shouldAnnounceLocked();

    const platform::CMTime startTime_;
    DidChange didChange_;
    mutable std::mutex mutex_;
    std::int64_t estimate_;
    std::int64_t furthestRead_ = 0;
    std::optional<std::int64_t> exactEnd_;
    std::optional<std::int64_t> estimatedEnd_;
    std::int64_t announced_;
    bool announcedFinal_ = false;
};

}  // namespace quillon
