#include "platform/avfoundation/AudioTimeStretcher.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/buffer.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
}

#include <fmt/format.h>

#include "platform/foundation/FatalError.h"

namespace platform {

namespace {

// One atempo filter covers 0.5 to 100; slower tempos take two in a row.
constexpr double kSlowestSingleTempo = 0.5;
// Input is handed over in frames of at most this many samples, from a pool.
constexpr std::size_t kInputFrameCapacity = 2048;

std::string errorText(int status) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(status, text, sizeof text);
    return text;
}

void check(int status, const char* what) {
    if (status < 0) {
        fatalError(fmt::format("Unable to set up audio time stretching ({}): {}.", what,
                               errorText(status)));
    }
}

}  // namespace

struct AudioTimeStretcher::Graph {
    AVFilterGraph* graph = nullptr;
    AVFilterContext* source = nullptr;
    AVFilterContext* sink = nullptr;
    AVBufferPool* inputPool = nullptr;
    AVFrame* inputFrame = nullptr;
    AVFrame* outputFrame = nullptr;
    // Frames of outputFrame already taken.
    std::size_t outputOffset = 0;
    bool hasOutputFrame = false;
    std::int64_t inputFrames = 0;
    AVChannelLayout layout{};

    ~Graph() {
        av_frame_free(&inputFrame);
        av_frame_free(&outputFrame);
        avfilter_graph_free(&graph);
        av_buffer_pool_uninit(&inputPool);
        av_channel_layout_uninit(&layout);
    }
};

AudioTimeStretcher::AudioTimeStretcher(const AudioSinkFormat& format, double tempo)
    : format_(format), tempo_(std::clamp(tempo, 0.25, 100.0)), graph_(std::make_unique<Graph>()) {
    Graph& g = *graph_;
    av_channel_layout_from_mask(&g.layout, format.channelMask);
    char layoutName[128] = {};
    av_channel_layout_describe(&g.layout, layoutName, sizeof layoutName);

    g.graph = avfilter_graph_alloc();
    precondition(g.graph != nullptr, "Unable to allocate an audio filter graph.");
    // The audio renderer's threads are the only ones that should work on its audio.
    g.graph->nb_threads = 1;
    const std::string sourceArguments =
        fmt::format("sample_rate={}:sample_fmt=flt:channel_layout={}:time_base=1/{}",
                    format.sampleRate, layoutName, format.sampleRate);
    check(avfilter_graph_create_filter(&g.source, avfilter_get_by_name("abuffer"), "in",
                                       sourceArguments.c_str(), nullptr, g.graph),
          "abuffer");
    check(avfilter_graph_create_filter(&g.sink, avfilter_get_by_name("abuffersink"), "out", nullptr,
                                       nullptr, g.graph),
          "abuffersink");
    const AVSampleFormat formats[] = {AV_SAMPLE_FMT_FLT, AV_SAMPLE_FMT_NONE};
    check(av_opt_set_int_list(g.sink, "sample_fmts", formats, AV_SAMPLE_FMT_NONE,
                              AV_OPT_SEARCH_CHILDREN),
          "sample_fmts");

    std::vector<double> stages;
    if (tempo_ < kSlowestSingleTempo) {
        stages = {std::sqrt(tempo_), std::sqrt(tempo_)};
    } else {
        stages = {tempo_};
    }
    AVFilterContext* previous = g.source;
    for (std::size_t index = 0; index < stages.size(); ++index) {
        AVFilterContext* stage = nullptr;
        const std::string arguments = fmt::format("tempo={:.17g}", stages[index]);
        check(avfilter_graph_create_filter(&stage, avfilter_get_by_name("atempo"),
                                           fmt::format("atempo{}", index).c_str(),
                                           arguments.c_str(), nullptr, g.graph),
              "atempo");
        check(avfilter_link(previous, 0, stage, 0), "link");
        previous = stage;
    }
    check(avfilter_link(previous, 0, g.sink, 0), "link");
    check(avfilter_graph_config(g.graph, nullptr), "configure");

    g.inputPool =
        av_buffer_pool_init(kInputFrameCapacity * format.bytesPerFrame(), av_buffer_allocz);
    g.inputFrame = av_frame_alloc();
    g.outputFrame = av_frame_alloc();
    precondition(g.inputPool && g.inputFrame && g.outputFrame,
                 "Unable to allocate audio time stretching buffers.");
}

AudioTimeStretcher::~AudioTimeStretcher() = default;

void AudioTimeStretcher::push(const float* samples, std::size_t frameCount) {
    Graph& g = *graph_;
    const std::size_t bytesPerFrame = format_.bytesPerFrame();
    while (frameCount > 0) {
        const std::size_t count = std::min(frameCount, kInputFrameCapacity);
        AVFrame* frame = g.inputFrame;
        frame->buf[0] = av_buffer_pool_get(g.inputPool);
        precondition(frame->buf[0] != nullptr, "Unable to allocate an audio frame.");
        frame->data[0] = frame->buf[0]->data;
        frame->extended_data = frame->data;
        frame->linesize[0] = int(count * bytesPerFrame);
        frame->nb_samples = int(count);
        frame->format = AV_SAMPLE_FMT_FLT;
        frame->sample_rate = format_.sampleRate;
        check(av_channel_layout_copy(&frame->ch_layout, &g.layout), "channel layout");
        frame->pts = g.inputFrames;
        std::memcpy(frame->data[0], samples, count * bytesPerFrame);
        // Takes the frame's references and leaves it blank for the next push.
        check(av_buffersrc_add_frame_flags(g.source, frame, 0), "push");
        g.inputFrames += std::int64_t(count);
        samples += count * std::size_t(format_.channelCount);
        frameCount -= count;
    }
}

std::size_t AudioTimeStretcher::pull(float* out, std::size_t frameCount) {
    Graph& g = *graph_;
    const auto channels = std::size_t(format_.channelCount);
    std::size_t taken = 0;
    while (taken < frameCount) {
        if (!g.hasOutputFrame) {
            const int status = av_buffersink_get_frame(g.sink, g.outputFrame);
            if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) {
                break;
            }
            check(status, "pull");
            g.hasOutputFrame = true;
            g.outputOffset = 0;
        }
        const auto available = std::size_t(g.outputFrame->nb_samples) - g.outputOffset;
        const std::size_t count = std::min(available, frameCount - taken);
        const auto* data = reinterpret_cast<const float*>(g.outputFrame->data[0]);
        std::memcpy(out + taken * channels, data + g.outputOffset * channels,
                    count * channels * sizeof(float));
        taken += count;
        g.outputOffset += count;
        if (g.outputOffset == std::size_t(g.outputFrame->nb_samples)) {
            av_frame_unref(g.outputFrame);
            g.hasOutputFrame = false;
        }
    }
    return taken;
}

}  // namespace platform
