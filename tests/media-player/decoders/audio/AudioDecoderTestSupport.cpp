#include "AudioDecoderTestSupport.h"

#include <cstring>
#include <stdexcept>

#include "media-player/decoders/common/CoreMediaCompatibleDecodeSession.h"
#include "platform/coremedia/CMAudioFormatDescription.h"
#include "support/TestDemuxer.h"

namespace quillon::test {

using namespace platform;

DecodedAudio decodeWholeFile(const std::string& path) {
    TestDemuxer demuxer(path, AVMEDIA_TYPE_AUDIO);
    DecodedAudio decoded;
    decoded.decoder = FFmpegAudioDecoder::make(demuxer.stream());
    CoreMediaCompatibleDecodeSession session(decoded.decoder, [&](CMSampleBufferRef sampleBuffer) {
        decoded.sampleBuffers.push_back(sampleBuffer);
    });
    while (PacketRef packet = demuxer.readPacket()) {
        session.decode(*packet);
    }
    session.drain();
    return decoded;
}

namespace {

void appendInterleaved(const AVFrame& frame, std::vector<std::uint8_t>& bytes) {
    const auto format = static_cast<AVSampleFormat>(frame.format);
    const int sampleSize = av_get_bytes_per_sample(format);
    const int channels = frame.ch_layout.nb_channels;
    if (!av_sample_fmt_is_planar(format)) {
        const std::size_t size = std::size_t(frame.nb_samples) * channels * sampleSize;
        bytes.insert(bytes.end(), frame.data[0], frame.data[0] + size);
        return;
    }
    for (int index = 0; index < frame.nb_samples; ++index) {
        for (int channel = 0; channel < channels; ++channel) {
            const std::uint8_t* sample = frame.extended_data[channel] + index * sampleSize;
            bytes.insert(bytes.end(), sample, sample + sampleSize);
        }
    }
}

}  // namespace

ReferenceAudio referenceAudio(const std::string& path, std::int64_t seekTimestamp) {
    TestDemuxer demuxer(path, AVMEDIA_TYPE_AUDIO);
    if (seekTimestamp >= 0) {
        demuxer.seek(seekTimestamp);
    }
    const AVStream& stream = demuxer.stream();
    const AVCodec* codec = avcodec_find_decoder(stream.codecpar->codec_id);
    AVCodecContextPointer context(avcodec_alloc_context3(codec));
    if (!context || avcodec_parameters_to_context(context.get(), stream.codecpar) < 0) {
        throw std::runtime_error("cannot set up the reference decoder");
    }
    context->pkt_timebase = stream.time_base;
    if (avcodec_open2(context.get(), codec, nullptr) < 0) {
        throw std::runtime_error("cannot open the reference decoder");
    }
    AVFramePointer frame(av_frame_alloc());
    ReferenceAudio reference;
    auto receiveAll = [&] {
        while (avcodec_receive_frame(context.get(), frame.get()) >= 0) {
            reference.frameCount += frame->nb_samples;
            if (reference.rateRuns.empty() ||
                reference.rateRuns.back().first != frame->sample_rate) {
                reference.rateRuns.emplace_back(frame->sample_rate, 0);
            }
            reference.rateRuns.back().second += frame->nb_samples;
            appendInterleaved(*frame, reference.interleavedBytes);
            av_frame_unref(frame.get());
        }
    };
    while (PacketRef packet = demuxer.readPacket()) {
        while (avcodec_send_packet(context.get(), &packet->avPacket()) == AVERROR(EAGAIN)) {
            receiveAll();
        }
        receiveAll();
    }
    avcodec_send_packet(context.get(), nullptr);
    receiveAll();
    return reference;
}

std::vector<std::uint8_t> inChannelOrder(const std::vector<std::uint8_t>& interleaved,
                                         std::size_t bytesPerSample,
                                         const std::vector<int>& order) {
    if (order.empty()) {
        return interleaved;
    }
    const std::size_t frameBytes = order.size() * bytesPerSample;
    std::vector<std::uint8_t> reordered(interleaved.size());
    for (std::size_t offset = 0; offset + frameBytes <= interleaved.size(); offset += frameBytes) {
        for (std::size_t channel = 0; channel < order.size(); ++channel) {
            std::memcpy(reordered.data() + offset + channel * bytesPerSample,
                        interleaved.data() + offset +
                            static_cast<std::size_t>(order[channel]) * bytesPerSample,
                        bytesPerSample);
        }
    }
    return reordered;
}

std::vector<std::uint8_t> sampleBytes(const SampleBuffers& sampleBuffers) {
    std::vector<std::uint8_t> bytes;
    for (const CMSampleBufferRef& sampleBuffer : sampleBuffers) {
        const CMBlockBufferRef data = CMSampleBufferGetDataBuffer(sampleBuffer);
        const std::size_t length = CMBlockBufferGetDataLength(data);
        const std::size_t start = bytes.size();
        bytes.resize(start + length);
        if (length > 0 &&
            CMBlockBufferCopyDataBytes(data, 0, length, bytes.data() + start) != noErr) {
            throw std::runtime_error("cannot read a block buffer");
        }
    }
    return bytes;
}

std::int64_t totalFrameCount(const SampleBuffers& sampleBuffers) {
    std::int64_t count = 0;
    for (const CMSampleBufferRef& sampleBuffer : sampleBuffers) {
        count += CMSampleBufferGetNumSamples(sampleBuffer);
    }
    return count;
}

double sampleRateOf(const CMSampleBufferRef& sampleBuffer) {
    const AudioStreamBasicDescription* description =
        CMAudioFormatDescriptionGetStreamBasicDescription(
            CMSampleBufferGetFormatDescription(sampleBuffer));
    return description != nullptr ? description->mSampleRate : 0;
}

AudioChannelLayoutTag layoutTagOf(const CMSampleBufferRef& sampleBuffer) {
    const AudioChannelLayout* layout = CMAudioFormatDescriptionGetChannelLayout(
        CMSampleBufferGetFormatDescription(sampleBuffer), nullptr);
    return layout != nullptr ? layout->mChannelLayoutTag : 0;
}

std::vector<std::pair<int, std::int64_t>> rateRuns(const SampleBuffers& sampleBuffers) {
    std::vector<std::pair<int, std::int64_t>> runs;
    for (const CMSampleBufferRef& sampleBuffer : sampleBuffers) {
        const int rate = static_cast<int>(sampleRateOf(sampleBuffer));
        if (runs.empty() || runs.back().first != rate) {
            runs.emplace_back(rate, 0);
        }
        runs.back().second += CMSampleBufferGetNumSamples(sampleBuffer);
    }
    return runs;
}

CMTime endTimeOf(const CMSampleBufferRef& sampleBuffer) {
    return CMSampleBufferGetPresentationTimeStamp(sampleBuffer) +
           CMSampleBufferGetDuration(sampleBuffer);
}

::testing::AssertionResult contiguousPresentationTimes(const SampleBuffers& sampleBuffers) {
    for (std::size_t index = 0; index < sampleBuffers.size(); ++index) {
        const CMSampleBufferRef& sampleBuffer = sampleBuffers[index];
        const CMTime duration = CMSampleBufferGetDuration(sampleBuffer);
        const CMTime expectedDuration =
            CMTimeMake(CMSampleBufferGetNumSamples(sampleBuffer),
                       static_cast<std::int32_t>(sampleRateOf(sampleBuffer)));
        if (duration != expectedDuration || CMSampleBufferGetNumSamples(sampleBuffer) <= 0) {
            return ::testing::AssertionFailure()
                   << "buffer " << index << " lasts " << CMTimeCopyDescription(duration) << " for "
                   << CMSampleBufferGetNumSamples(sampleBuffer) << " samples";
        }
        if (index == 0) {
            continue;
        }
        const CMTime expected = endTimeOf(sampleBuffers[index - 1]);
        const CMTime actual = CMSampleBufferGetPresentationTimeStamp(sampleBuffer);
        if (actual != expected) {
            return ::testing::AssertionFailure()
                   << "buffer " << index << " starts at " << CMTimeCopyDescription(actual)
                   << " instead of " << CMTimeCopyDescription(expected);
        }
    }
    return ::testing::AssertionSuccess();
}

SyntheticStream::SyntheticStream(AVCodecID codecID, int sampleRate, const AVChannelLayout& layout,
                                 AVRational timeBase)
    : context_(avformat_alloc_context()) {
    if (!context_) {
        throw std::bad_alloc();
    }
    stream_ = avformat_new_stream(context_.get(), nullptr);
    if (stream_ == nullptr) {
        throw std::bad_alloc();
    }
    AVCodecParameters& parameters = *stream_->codecpar;
    parameters.codec_type = AVMEDIA_TYPE_AUDIO;
    parameters.codec_id = codecID;
    parameters.sample_rate = sampleRate;
    if (av_channel_layout_copy(&parameters.ch_layout, &layout) < 0) {
        throw std::bad_alloc();
    }
    const int sampleBits = av_get_bits_per_sample(codecID);
    parameters.bits_per_coded_sample = sampleBits;
    parameters.block_align = sampleBits / 8 * layout.nb_channels;
    stream_->time_base = timeBase;
}

PacketRef SyntheticStream::packet(const std::vector<std::uint8_t>& bytes,
                                  std::int64_t presentationTimestamp) {
    AVPacketPointer packet(av_packet_alloc());
    if (!packet || av_new_packet(packet.get(), static_cast<int>(bytes.size())) < 0) {
        throw std::bad_alloc();
    }
    std::memcpy(packet->data, bytes.data(), bytes.size());
    packet->pts = packet->dts = presentationTimestamp;
    packet->stream_index = stream_->index;
    return Packet::make(*packet);
}

AVChannelLayout customLayout(const std::vector<AVChannel>& channels) {
    AVChannelLayout layout{};
    layout.order = AV_CHANNEL_ORDER_CUSTOM;
    layout.nb_channels = static_cast<int>(channels.size());
    layout.u.map =
        static_cast<AVChannelCustom*>(av_calloc(channels.size(), sizeof(AVChannelCustom)));
    if (layout.u.map == nullptr) {
        throw std::bad_alloc();
    }
    for (std::size_t index = 0; index < channels.size(); ++index) {
        layout.u.map[index].id = channels[index];
    }
    return layout;
}

AVFramePointer makeAudioFrame(AVSampleFormat format, int sampleRate, const AVChannelLayout& layout,
                              int nbSamples, std::int64_t timestamp) {
    AVFramePointer frame(av_frame_alloc());
    if (!frame) {
        throw std::bad_alloc();
    }
    frame->format = format;
    frame->sample_rate = sampleRate;
    frame->nb_samples = nbSamples;
    if (av_channel_layout_copy(&frame->ch_layout, &layout) < 0 ||
        av_frame_get_buffer(frame.get(), 0) < 0) {
        throw std::bad_alloc();
    }
    frame->pts = frame->best_effort_timestamp = timestamp;
    const int sampleSize = av_get_bytes_per_sample(format);
    const int channels = layout.nb_channels;
    if (av_sample_fmt_is_planar(format)) {
        for (int channel = 0; channel < channels; ++channel) {
            std::memset(frame->extended_data[channel], channel + 1,
                        std::size_t(nbSamples) * sampleSize);
        }
    } else {
        for (int index = 0; index < nbSamples; ++index) {
            for (int channel = 0; channel < channels; ++channel) {
                std::memset(frame->data[0] + (index * channels + channel) * sampleSize, channel + 1,
                            sampleSize);
            }
        }
    }
    return frame;
}

}  // namespace quillon::test
