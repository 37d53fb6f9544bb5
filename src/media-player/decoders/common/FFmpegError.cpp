#include "media-player/decoders/common/FFmpegError.h"

#include <fmt/format.h>

extern "C" {
#include <libavutil/error.h>
}

#include "media-player/decoders/common/FFmpegCall.h"
#include "platform/foundation/FatalError.h"

namespace quillon {

namespace {

FFmpegError::Kind kindOfCode(std::int32_t code) {
    if (code == AVERROR_EOF) {
        return FFmpegError::Kind::eof;
    }
    if (code == AVERROR(EAGAIN)) {
        return FFmpegError::Kind::posixEAGAIN;
    }
    if (code == AVERROR(ERANGE)) {
        return FFmpegError::Kind::posixERANGE;
    }
    return FFmpegError::Kind::other;
}

}  // namespace

FFmpegError::FFmpegError(std::int32_t code)
    : FFmpegError(kindOfCode(code), kindOfCode(code) == Kind::other ? code : 0) {}

FFmpegError FFmpegError::other(std::int32_t errorCode) {
    return FFmpegError(Kind::other, errorCode);
}

FFmpegError FFmpegError::decoderNotFound(AVCodecID codecID) {
    return FFmpegError(Kind::decoderNotFound, codecID);
}

FFmpegError FFmpegError::unknownAudioSampleSize(AVSampleFormat sampleFormat) {
    return FFmpegError(Kind::unknownAudioSampleSize, sampleFormat);
}

FFmpegError FFmpegError::unknownSampleFormat(AVSampleFormat sampleFormat) {
    return FFmpegError(Kind::unknownSampleFormat, sampleFormat);
}

FFmpegError FFmpegError::unsupportedChannelCount(std::intptr_t channelCount) {
    return FFmpegError(Kind::unsupportedChannelCount, channelCount);
}

FFmpegError FFmpegError::channelLayoutDoesNotMatchChannelCount(std::uint64_t channelLayout,
                                                               std::intptr_t channelCount) {
    return FFmpegError(Kind::channelLayoutDoesNotMatchChannelCount, channelCount, channelLayout);
}

FFmpegError FFmpegError::unexpectedChannelType(std::uint64_t channelType) {
    return FFmpegError(Kind::unexpectedChannelType, 0, channelType);
}

FFmpegError FFmpegError::unsupportedChannelLayout(std::uint64_t channelLayout) {
    return FFmpegError(Kind::unsupportedChannelLayout, 0, channelLayout);
}

void FFmpegError::requireKind(bool matches, const char* payload) const {
    platform::precondition(matches, fmt::format("FFmpegError case {} carries no {}.",
                                                static_cast<int>(kind_), payload));
}

std::int32_t FFmpegError::errorCode() const {
    requireKind(kind_ == Kind::other, "error code");
    return static_cast<std::int32_t>(integer_);
}

AVCodecID FFmpegError::codecID() const {
    requireKind(kind_ == Kind::decoderNotFound, "codec ID");
    return static_cast<AVCodecID>(integer_);
}

AVSampleFormat FFmpegError::sampleFormat() const {
    requireKind(kind_ == Kind::unknownAudioSampleSize || kind_ == Kind::unknownSampleFormat,
                "sample format");
    return static_cast<AVSampleFormat>(integer_);
}

std::intptr_t FFmpegError::channelCount() const {
    requireKind(kind_ == Kind::unsupportedChannelCount ||
                    kind_ == Kind::channelLayoutDoesNotMatchChannelCount,
                "channel count");
    return static_cast<std::intptr_t>(integer_);
}

std::uint64_t FFmpegError::channelLayout() const {
    requireKind(kind_ == Kind::channelLayoutDoesNotMatchChannelCount ||
                    kind_ == Kind::unsupportedChannelLayout,
                "channel layout");
    return bits_;
}

std::uint64_t FFmpegError::channelType() const {
    requireKind(kind_ == Kind::unexpectedChannelType, "channel type");
    return bits_;
}

std::string FFmpegError::description() const {
    switch (kind_) {
        case Kind::other:
            return ffmpegErrorString(static_cast<std::int32_t>(integer_));
        case Kind::decoderNotFound:
            return fmt::format("Failed to find decoder for codec ID AVCodecID(rawValue: {}).",
                               integer_);
        case Kind::unknownAudioSampleSize:
            return fmt::format(
                "Unknown sample size for sample format AVSampleFormat(rawValue: {}).", integer_);
        case Kind::unknownSampleFormat:
            return fmt::format("Unknown sample format AVSampleFormat(rawValue: {}).", integer_);
        case Kind::unsupportedChannelCount:
            return fmt::format("{} is not a supported channel count.", integer_);
        case Kind::channelLayoutDoesNotMatchChannelCount:
            return fmt::format("Channel layout `{}` does not match channel count of {}.", bits_,
                               integer_);
        case Kind::unexpectedChannelType:
            return fmt::format("Unexpectedly encountered channel type `{}`.", bits_);
        case Kind::unsupportedChannelLayout:
            return fmt::format("Unsupported channel layout {}.", bits_);
        case Kind::eof:
            return ffmpegErrorString(AVERROR_EOF);
        case Kind::posixEAGAIN:
            return ffmpegErrorString(AVERROR(EAGAIN));
        case Kind::posixERANGE:
            return ffmpegErrorString(AVERROR(ERANGE));
        case Kind::allocationFailure:
            return "Failed to allocate memory.";
        case Kind::unsupportedMediaType:
            return "The media type is not supported.";
        case Kind::noPresentationTimestamp:
            return "Frame does not contain presentation timestamp.";
        case Kind::unknownSubtitleType:
            return "Subtitle type is unknown.";
    }
    return {};
}

std::shared_ptr<const platform::Error> FFmpegError::clone() const {
    return std::make_shared<FFmpegError>(*this);
}

}  // namespace quillon
