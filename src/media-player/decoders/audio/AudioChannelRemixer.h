#pragma once

#include <vector>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/samplefmt.h>
}

#include "media-player/decoders/common/FFmpegPointers.h"

namespace quillon {

// Remixes decoded frames whose channel layout no Core Audio layout tag describes into a layout
// that one does (libswresample), keeping their rate, sample format and times. Channels that are
// merely out of FFmpeg's order are put back in order; other layouts are mixed into the standard
// layout of their channel count, at most 7.1. Used by one decoder on one queue.
class AudioChannelRemixer {
public:
    // The standard layout that frames of channelCount channels are mixed into.
    static AVChannelLayout targetLayout(int channelCount);

    // A remixer for frames of this layout, format and rate. Throws FFmpegError (logged) when
    // libswresample cannot remix them.
    AudioChannelRemixer(const AVChannelLayout& inputLayout, AVSampleFormat sampleFormat,
                        int sampleRate);
    ~AudioChannelRemixer();
    AudioChannelRemixer(const AudioChannelRemixer&) = delete;
    AudioChannelRemixer& operator=(const AudioChannelRemixer&) = delete;

    const AVChannelLayout& inputLayout() const { return inputLayout_; }
    const AVChannelLayout& outputLayout() const { return outputLayout_; }

    // The remixed frame, valid until the next call. Input of another layout, format or rate
    // than before sets the remixer up anew for it. Throws FFmpegError (logged).
    const AVFrame& remix(const AVFrame& input);

private:
    void configure(const AVChannelLayout& inputLayout, AVSampleFormat sampleFormat, int sampleRate);

    SwrContextPointer context_;
    AVChannelLayout inputLayout_{};
    AVSampleFormat sampleFormat_ = AV_SAMPLE_FMT_NONE;
    int sampleRate_ = 0;
    AVChannelLayout outputLayout_{};
    // Which input channel is each channel of the layout libswresample is told about; it keeps
    // a pointer to this, not a copy.
    std::vector<int> channelMap_;
    AVFramePointer output_;
};

}  // namespace quillon
