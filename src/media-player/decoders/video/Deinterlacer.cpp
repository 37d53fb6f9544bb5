#include "media-player/decoders/video/Deinterlacer.h"

#include <string>
#include <utility>

#include <fmt/format.h>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/mathematics.h>
#include <libavutil/pixdesc.h>
}

#include "media-player/decoders/common/FFmpegCall.h"
#include "media-player/decoders/common/FFmpegError.h"
#include "media-player/decoders/common/FFmpegLog.h"
#include "media-player/decoders/video/DecoderThreadCount.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/Log.h"

namespace quillon {

namespace {

constexpr const char* makeGraphFunction = "makeDeinterlacingGraph(for:)";
constexpr const char* deinterlaceFunction = "deinterlace(_:)";

// One picture for each picture (not one for each field, which would double the rate and the
// work), in the field order that each picture is marked with; pictures marked progressive pass
// through untouched.
constexpr const char* bwdifOptions = "mode=send_frame:parity=auto:deint=interlaced";

// The timestamps that the graph carries are the pictures' numbers: bwdif computes with them,
// and a stream's own may be missing or repeat.
constexpr AVRational sequenceTimeBase{1, 1};

struct AVFilterGraphDeleter {
    void operator()(AVFilterGraph* graph) const { avfilter_graph_free(&graph); }
};
using AVFilterGraphPointer = std::unique_ptr<AVFilterGraph, AVFilterGraphDeleter>;

AVFramePointer referenceTo(const AVFrame& frame) {
    return adoptAllocation<AVFramePointer>(av_frame_clone(&frame), CallSite(deinterlaceFunction));
}

const AVFilter& filterNamed(const char* name) {
    const AVFilter* filter = avfilter_get_by_name(name);
    if (filter == nullptr) {
        // A libavfilter built without it.
        reportFFmpegFailure(AVERROR_FILTER_NOT_FOUND, {}, CallSite(makeGraphFunction));
    }
    return *filter;
}

std::string pixelFormatArgument(int format) {
    const char* name = av_get_pix_fmt_name(static_cast<AVPixelFormat>(format));
    return name != nullptr ? std::string(name) : std::to_string(format);
}

}  // namespace

bool isInterlaced(const AVFrame& frame) {
    return frame.interlaced_frame != 0;
}

// buffer → bwdif → buffersink. libavfilter puts a conversion in front of bwdif by itself for a
// format that bwdif cannot filter (the NV12 of hardware decoders), and the pictures then come out
// in the converted format.
struct Deinterlacer::Graph {
    AVFilterGraphPointer graph;
    AVFilterContext* source = nullptr;
    AVFilterContext* sink = nullptr;
    Geometry geometry;
    AVRational outputTimeBase{0, 1};

    // Throws the FFmpegError of the failed call, logged.
    static std::unique_ptr<Graph> make(const AVFrame& frame) {
        // libavfilter explains a graph it cannot configure in FFmpeg's log.
        installFFmpegLogCallback();
        auto made = std::make_unique<Graph>();
        made->geometry = geometryOf(frame);
        made->graph = adoptAllocation<AVFilterGraphPointer>(avfilter_graph_alloc(),
                                                            CallSite(makeGraphFunction));
        // Before the first filter is made, which starts the graph's threads.
        made->graph->nb_threads = decoderThreadCount();

        AVRational aspect = frame.sample_aspect_ratio;
        if (aspect.num <= 0 || aspect.den <= 0) {
            aspect = AVRational{1, 1};
        }
        const std::string sourceArguments =
            fmt::format("video_size={}x{}:pix_fmt={}:time_base={}/{}:pixel_aspect={}/{}",
                        frame.width, frame.height, pixelFormatArgument(frame.format),
                        sequenceTimeBase.num, sequenceTimeBase.den, aspect.num, aspect.den);
        AVFilterContext* bwdif = nullptr;
        performFFmpegCall({}, false, CallSite(makeGraphFunction), [&] {
            return avfilter_graph_create_filter(&made->source, &filterNamed("buffer"), "in",
                                                sourceArguments.c_str(), nullptr,
                                                made->graph.get());
        });
        performFFmpegCall({}, false, CallSite(makeGraphFunction), [&] {
            return avfilter_graph_create_filter(&bwdif, &filterNamed("bwdif"), "deinterlace",
                                                bwdifOptions, nullptr, made->graph.get());
        });
        performFFmpegCall({}, false, CallSite(makeGraphFunction), [&] {
            return avfilter_graph_create_filter(&made->sink, &filterNamed("buffersink"), "out",
                                                nullptr, nullptr, made->graph.get());
        });
        performFFmpegCall({}, false, CallSite(makeGraphFunction),
                          [&] { return avfilter_link(made->source, 0, bwdif, 0); });
        performFFmpegCall({}, false, CallSite(makeGraphFunction),
                          [&] { return avfilter_link(bwdif, 0, made->sink, 0); });
        performFFmpegCall({}, false, CallSite(makeGraphFunction),
                          [&] { return avfilter_graph_config(made->graph.get(), nullptr); });
        made->outputTimeBase = av_buffersink_get_time_base(made->sink);
        return made;
    }
};

Deinterlacer::Deinterlacer() = default;
Deinterlacer::~Deinterlacer() = default;

Deinterlacer::Geometry Deinterlacer::geometryOf(const AVFrame& frame) {
    return {frame.width, frame.height, frame.format};
}

bool Deinterlacer::takes(const AVFrame& frame) const {
    if (graph_ || holdsPictures()) {
        return true;
    }
    return isInterlaced(frame) && failedGeometry_ != geometryOf(frame);
}

void Deinterlacer::push(const AVFrame& frame) {
    const Geometry geometry = geometryOf(frame);
    if (graph_ && graph_->geometry != geometry) {
        endGraph();
    }
    if (isInterlaced(frame)) {
        progressiveRun_ = 0;
    } else if (!graph_ || ++progressiveRun_ >= progressivePicturesBeforeGraphEnds) {
        endGraph();
        ready_.push_back(referenceTo(frame));
        return;
    }
    if (!graph_) {
        if (failedGeometry_ == geometry) {
            ready_.push_back(referenceTo(frame));
            return;
        }
        try {
            graph_ = Graph::make(frame);
            ++graphCount_;
        } catch (const platform::Error&) {
            platform::logWarning(
                "Interlaced pictures of {}x{} in {} are shown as they were decoded: no "
                "deinterlacing filter graph could be made for them.",
                frame.width, frame.height, pixelFormatArgument(frame.format));
            failedGeometry_ = geometry;
            ready_.push_back(referenceTo(frame));
            return;
        }
    }
    feed(frame);
}

void Deinterlacer::feed(const AVFrame& frame) {
    const std::int64_t sequence = nextSequence_++;
    AVFramePointer numbered = referenceTo(frame);
    numbered->pts = sequence;
    waiting_.push_back({sequence, referenceTo(frame)});
    const int result = av_buffersrc_add_frame_flags(graph_->source, numbered.get(), 0);
    if (result < 0) {
        logFFmpegFailure(FFmpegError(result), CallSite(deinterlaceFunction));
        // Not tried again for these pictures until a seek: each would fail and log alike.
        failedGeometry_ = graph_->geometry;
        abandonGraph();
        return;
    }
    collectOutput();
}

void Deinterlacer::collectOutput() {
    while (graph_) {
        AVFramePointer output = makeFrame(CallSite(deinterlaceFunction));
        const int result = av_buffersink_get_frame(graph_->sink, output.get());
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) {
            return;
        }
        if (result < 0) {
            logFFmpegFailure(FFmpegError(result), CallSite(deinterlaceFunction));
            failedGeometry_ = graph_->geometry;
            abandonGraph();
            return;
        }
        matchOutput(std::move(output));
    }
}

// The graph's pictures come in the order of their numbers; each takes the timing of the frame
// it was made from (bwdif doubles the time base, and copies the rest).
void Deinterlacer::matchOutput(AVFramePointer output) {
    std::optional<std::int64_t> sequence;
    if (output->pts != AV_NOPTS_VALUE) {
        sequence = av_rescale_q(output->pts, graph_->outputTimeBase, sequenceTimeBase);
    }
    // A picture that the graph passed over is shown as it was decoded, in its place.
    while (sequence && !waiting_.empty() && waiting_.front().sequence < *sequence) {
        ready_.push_back(std::move(waiting_.front().frame));
        waiting_.pop_front();
    }
    if (waiting_.empty() || (sequence && waiting_.front().sequence != *sequence)) {
        return;
    }
    const AVFrame& input = *waiting_.front().frame;
    output->pts = input.pts;
    output->pkt_dts = input.pkt_dts;
    output->best_effort_timestamp = input.best_effort_timestamp;
    output->pkt_duration = input.pkt_duration;
    output->interlaced_frame = 0;
    waiting_.pop_front();
    ready_.push_back(std::move(output));
}

void Deinterlacer::finish() {
    endGraph();
}

// The end of the graph's input makes bwdif filter its last picture without a next one.
void Deinterlacer::endGraph() {
    if (!graph_) {
        return;
    }
    const int result = av_buffersrc_add_frame_flags(graph_->source, nullptr, 0);
    if (result < 0) {
        logFFmpegFailure(FFmpegError(result), CallSite(deinterlaceFunction));
    } else {
        collectOutput();
    }
    abandonGraph();
}

void Deinterlacer::abandonGraph() {
    for (WaitingPicture& picture : waiting_) {
        ready_.push_back(std::move(picture.frame));
    }
    waiting_.clear();
    graph_.reset();
    progressiveRun_ = 0;
}

bool Deinterlacer::pull(AVFrame& destination) {
    if (ready_.empty()) {
        return false;
    }
    av_frame_unref(&destination);
    av_frame_move_ref(&destination, ready_.front().get());
    ready_.pop_front();
    return true;
}

void Deinterlacer::reset() {
    graph_.reset();
    waiting_.clear();
    ready_.clear();
    progressiveRun_ = 0;
    failedGeometry_.reset();
}

}  // namespace quillon
