#include "media-player/decoders/audio/AudioChannelRemixer.h"

#include <algorithm>

#include "media-player/decoders/audio/AudioProperties.h"
#include "media-player/decoders/common/FFmpegCall.h"
#include "media-player/decoders/common/FFmpegError.h"

namespace quillon {

namespace {

constexpr const char* kConfigureFunction =
    "AudioChannelRemixer(inputLayout:sampleFormat:sampleRate:)";

// The native layout of a custom layout's channels when each is a distinct channel FFmpeg's
// native order knows, with the index in the custom layout of each native channel.
bool nativeReordering(const AVChannelLayout& custom, AVChannelLayout& native,
                      std::vector<int>& channelMap) {
    std::uint64_t mask = 0;
    for (int index = 0; index < custom.nb_channels; ++index) {
        const int channel = custom.u.map[index].id;
        if (channel < 0 || channel >= 64 || (mask & (std::uint64_t{1} << channel)) != 0) {
            return false;
        }
        mask |= std::uint64_t{1} << channel;
    }
    if (av_channel_layout_from_mask(&native, mask) < 0) {
        return false;
    }
    channelMap.resize(static_cast<std::size_t>(custom.nb_channels));
    for (int index = 0; index < native.nb_channels; ++index) {
        channelMap[static_cast<std::size_t>(index)] = av_channel_layout_index_from_channel(
            &custom, av_channel_layout_channel_from_index(&native, static_cast<unsigned>(index)));
    }
    return true;
}

bool isDescribed(const AVChannelLayout& layout) {
    try {
        AudioProperties::matchChannelLayout(layout.u.mask, layout.nb_channels);
        return true;
    } catch (const FFmpegError&) {
        return false;
    }
}

}  // namespace

AVChannelLayout AudioChannelRemixer::targetLayout(int channelCount) {
    // Each of these has its channels in FFmpeg's order exactly where its Core Audio tag has
    // them, so no channel plays from another speaker than it was mixed for.
    switch (std::clamp(channelCount, 1, 8)) {
        case 1:
            return AV_CHANNEL_LAYOUT_MONO;
        case 2:
            return AV_CHANNEL_LAYOUT_STEREO;
        case 3:
            return AV_CHANNEL_LAYOUT_SURROUND;
        case 4:
            return AV_CHANNEL_LAYOUT_QUAD;
        case 5:
            return AV_CHANNEL_LAYOUT_5POINT0_BACK;
        case 6:
            return AV_CHANNEL_LAYOUT_5POINT1_BACK;
        case 7:
            return AV_CHANNEL_LAYOUT_6POINT1_BACK;
        default:
            return AV_CHANNEL_LAYOUT_7POINT1_WIDE_BACK;
    }
}

AudioChannelRemixer::AudioChannelRemixer(const AVChannelLayout& inputLayout,
                                         AVSampleFormat sampleFormat, int sampleRate)
    : output_(makeFrame(kConfigureFunction)) {
    configure(inputLayout, sampleFormat, sampleRate);
}

AudioChannelRemixer::~AudioChannelRemixer() {
    av_channel_layout_uninit(&inputLayout_);
    av_channel_layout_uninit(&outputLayout_);
}

void AudioChannelRemixer::configure(const AVChannelLayout& inputLayout, AVSampleFormat sampleFormat,
                                    int sampleRate) {
    context_.reset();
    channelMap_.clear();
    av_channel_layout_uninit(&inputLayout_);
    av_channel_layout_uninit(&outputLayout_);

    // libswresample mixes only layouts in FFmpeg's order; channels that are merely in another
    // order are handed to it through a channel map.
    AVChannelLayout mixedLayout{};
    if (inputLayout.order != AV_CHANNEL_ORDER_CUSTOM ||
        !nativeReordering(inputLayout, mixedLayout, channelMap_)) {
        channelMap_.clear();
        performFFmpegCall({}, false, kConfigureFunction,
                          [&] { return av_channel_layout_copy(&mixedLayout, &inputLayout); });
    }
    if (!channelMap_.empty() && isDescribed(mixedLayout)) {
        av_channel_layout_copy(&outputLayout_, &mixedLayout);
    } else {
        outputLayout_ = targetLayout(inputLayout.nb_channels);
    }

    SwrContext* context = nullptr;
    const int result = swr_alloc_set_opts2(&context, &outputLayout_, sampleFormat, sampleRate,
                                           &mixedLayout, sampleFormat, sampleRate, 0, nullptr);
    av_channel_layout_uninit(&mixedLayout);
    if (result < 0) {
        reportFFmpegFailure(result, {}, kConfigureFunction);
    }
    context_ = adoptAllocation<SwrContextPointer>(context, kConfigureFunction);
    if (!channelMap_.empty()) {
        performFFmpegCall({}, false, kConfigureFunction, [&] {
            return swr_set_channel_mapping(context_.get(), channelMap_.data());
        });
    }
    performFFmpegCall({}, false, kConfigureFunction, [&] { return swr_init(context_.get()); });

    performFFmpegCall({}, false, kConfigureFunction,
                      [&] { return av_channel_layout_copy(&inputLayout_, &inputLayout); });
    sampleFormat_ = sampleFormat;
    sampleRate_ = sampleRate;
}

const AVFrame& AudioChannelRemixer::remix(const AVFrame& input) {
    constexpr const char* function = "remix(_:)";
    const auto format = static_cast<AVSampleFormat>(input.format);
    if (format != sampleFormat_ || input.sample_rate != sampleRate_ ||
        av_channel_layout_compare(&input.ch_layout, &inputLayout_) != 0) {
        configure(input.ch_layout, format, input.sample_rate);
    }
    av_frame_unref(output_.get());
    output_->format = input.format;
    output_->sample_rate = input.sample_rate;
    performFFmpegCall({}, false, function,
                      [&] { return av_channel_layout_copy(&output_->ch_layout, &outputLayout_); });
    // Not swr_convert_frame: it would compare the frame's own layout with the mixed one, which
    // differs whenever a channel map puts the channels in order.
    output_->nb_samples = swr_get_out_samples(context_.get(), input.nb_samples);
    performFFmpegCall({}, false, function, [&] { return av_frame_get_buffer(output_.get(), 0); });
    const int converted = performFFmpegCall({}, false, function, [&] {
        return swr_convert(context_.get(), output_->extended_data, output_->nb_samples,
                           const_cast<const std::uint8_t**>(input.extended_data), input.nb_samples);
    });
    output_->nb_samples = converted;
    output_->pts = input.pts;
    output_->pkt_dts = input.pkt_dts;
    output_->best_effort_timestamp = input.best_effort_timestamp;
    return *output_;
}

}  // namespace quillon
