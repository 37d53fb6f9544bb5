#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include "media-player/decoders/common/FFmpegPointers.h"

namespace quillon {

// Whether FFmpeg marks the decoded picture as two interlaced fields woven into one frame.
bool isInterlaced(const AVFrame& frame);

// Makes whole pictures of the interlaced pictures of a video stream with libavfilter's bwdif:
// one picture out for each picture in, in the same order, each with its own frame's timing,
// colours and side data, so that a stream plays on the same clock as before. Progressive
// pictures cost nothing: no filter graph exists until the first interlaced picture comes.
//
// bwdif looks one picture ahead, so a picture comes out once the next one went in, or once
// finish() says that no more come. Pictures of another size or format than the graph's first
// let the old graph give out what it holds; a new one is made for them. Trouble (a graph that
// cannot be made, a picture that it refuses) is logged, and the pictures it concerns come out
// as they were decoded, woven, rather than not at all.
//
// Used from one thread at a time (the decoder's queue). The graph filters on threads of its own.
class Deinterlacer {
public:
    // After this many progressive pictures in a row (two seconds at 25 frames a second) the
    // graph is given up: the broadcast switched to progressive programmes. Ending it at the
    // first progressive picture would make a stream that mixes both (frame-coded pictures among
    // field-coded ones) rebuild the graph over and over, each time losing bwdif's look at the
    // neighbouring pictures.
    static constexpr int progressivePicturesBeforeGraphEnds = 50;

    Deinterlacer();
    ~Deinterlacer();
    Deinterlacer(const Deinterlacer&) = delete;
    Deinterlacer& operator=(const Deinterlacer&) = delete;

    // Whether the picture must go through push(): it is interlaced, or pictures before it are
    // still inside, which it must not overtake.
    bool takes(const AVFrame& frame) const;

    // Takes a new reference to a picture in system memory (never a hardware frame's). Trouble
    // with the graph is logged, and the pictures it concerns come out as they are; only a
    // failed allocation of a frame is thrown (FFmpegError allocationFailure, logged).
    void push(const AVFrame& frame);

    // No more pictures come (the end of the stream): what is inside comes out.
    void finish();

    // Moves the next picture out into destination (unreferenced before); false when none is
    // ready.
    bool pull(AVFrame& destination);

    // Drops every picture inside and the graph (a seek): no field of the old position may be
    // woven into a picture of the new one.
    void reset();

    // Whether pull() has a picture to give.
    bool hasPictureReady() const { return !ready_.empty(); }
    // Whether pictures went in that have not come out of pull() yet.
    bool holdsPictures() const { return !waiting_.empty() || !ready_.empty(); }
    // Whether a filter graph is running.
    bool isFiltering() const { return graph_ != nullptr; }
    // Graphs made so far.
    std::uint64_t graphCount() const { return graphCount_; }

private:
    struct Graph;
    struct WaitingPicture {
        std::int64_t sequence = 0;
        AVFramePointer frame;
    };

    void feed(const AVFrame& frame);
    void collectOutput();
    void matchOutput(AVFramePointer output);
    void endGraph();
    void abandonGraph();

    std::unique_ptr<Graph> graph_;
    // Pictures inside the graph, by the number the graph carries for them as its timestamp.
    std::deque<WaitingPicture> waiting_;
    std::deque<AVFramePointer> ready_;
    std::int64_t nextSequence_ = 0;
    int progressiveRun_ = 0;
    std::uint64_t graphCount_ = 0;
    // The picture geometry for which no graph could be made: its pictures are shown as they
    // are, rather than a failed try and its log lines for each of them.
    struct Geometry {
        int width = 0;
        int height = 0;
        int format = AV_PIX_FMT_NONE;
        bool operator==(const Geometry&) const = default;
    };
    static Geometry geometryOf(const AVFrame& frame);
    std::optional<Geometry> failedGeometry_;
};

}  // namespace quillon
