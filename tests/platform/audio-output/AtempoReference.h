#pragma once

// libavfilter's atempo as a yardstick for the time stretcher's sound: the same tempo through
// both, measured the same way.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/frame.h>
}

#include <fmt/format.h>

namespace quillon::test {

// Mono float samples at `tempo` (0.5 to 100), all of them, through one atempo filter.
inline std::vector<float> stretchWithAtempo(const std::vector<float>& input, int sampleRate,
                                            double tempo) {
    std::vector<float> output;
    AVFilterGraph* graph = avfilter_graph_alloc();
    AVFilterContext* source = nullptr;
    AVFilterContext* stretch = nullptr;
    AVFilterContext* sink = nullptr;
    const std::string sourceArguments = fmt::format(
        "sample_rate={0}:sample_fmt=flt:channel_layout=mono:time_base=1/{0}", sampleRate);
    const std::string tempoArguments = fmt::format("tempo={:.17g}", tempo);
    const bool made =
        avfilter_graph_create_filter(&source, avfilter_get_by_name("abuffer"), "in",
                                     sourceArguments.c_str(), nullptr, graph) >= 0 &&
        avfilter_graph_create_filter(&stretch, avfilter_get_by_name("atempo"), "atempo",
                                     tempoArguments.c_str(), nullptr, graph) >= 0 &&
        avfilter_graph_create_filter(&sink, avfilter_get_by_name("abuffersink"), "out", nullptr,
                                     nullptr, graph) >= 0 &&
        avfilter_link(source, 0, stretch, 0) >= 0 && avfilter_link(stretch, 0, sink, 0) >= 0 &&
        avfilter_graph_config(graph, nullptr) >= 0;
    EXPECT_TRUE(made) << "atempo graph";

    AVFrame* frame = av_frame_alloc();
    if (made) {
        frame->format = AV_SAMPLE_FMT_FLT;
        frame->sample_rate = sampleRate;
        frame->nb_samples = int(input.size());
        av_channel_layout_default(&frame->ch_layout, 1);
        EXPECT_GE(av_frame_get_buffer(frame, 0), 0);
        std::memcpy(frame->data[0], input.data(), input.size() * sizeof(float));
        EXPECT_GE(av_buffersrc_add_frame(source, frame), 0);
        EXPECT_GE(av_buffersrc_add_frame(source, nullptr), 0);  // end of input
        while (av_buffersink_get_frame(sink, frame) >= 0) {
            const auto* samples = reinterpret_cast<const float*>(frame->data[0]);
            output.insert(output.end(), samples, samples + frame->nb_samples);
            av_frame_unref(frame);
        }
    }
    av_frame_free(&frame);
    avfilter_graph_free(&graph);
    return output;
}

}  // namespace quillon::test
