#pragma once

#include <cstdint>
#include <memory>
#include <string>

extern "C" {
#include <libavcodec/codec_id.h>
#include <libavutil/samplefmt.h>
}

#include "platform/foundation/Error.h"

namespace quillon {

// The one error of FFmpeg calls and of decoding. Its description is its default textual form,
// like the error enumeration it stands for: it supplies no localized texts of its own, so a user
// sees the description through the detailed description of the error that wraps it.
class FFmpegError : public platform::Error {
public:
    // The cases in declaration order; the order is also the bridged error code.
    enum class Kind : std::int32_t {
        other,
        decoderNotFound,
        unknownAudioSampleSize,
        unknownSampleFormat,
        unsupportedChannelCount,
        channelLayoutDoesNotMatchChannelCount,
        unexpectedChannelType,
        unsupportedChannelLayout,
        eof,
        posixEAGAIN,
        posixERANGE,
        allocationFailure,
        unsupportedMediaType,
        noPresentationTimestamp,
        unknownSubtitleType,
    };

    static constexpr const char* errorDomain = "QuillonPlayer.FFmpegError";

    // Maps a failing FFmpeg return code: AVERROR_EOF → eof, AVERROR(EAGAIN) → posixEAGAIN,
    // AVERROR(ERANGE) → posixERANGE, anything else → other with the code.
    explicit FFmpegError(std::int32_t code);

    static FFmpegError other(std::int32_t errorCode);
    static FFmpegError decoderNotFound(AVCodecID codecID);
    static FFmpegError unknownAudioSampleSize(AVSampleFormat sampleFormat);
    static FFmpegError unknownSampleFormat(AVSampleFormat sampleFormat);
    static FFmpegError unsupportedChannelCount(std::intptr_t channelCount);
    static FFmpegError channelLayoutDoesNotMatchChannelCount(std::uint64_t channelLayout,
                                                             std::intptr_t channelCount);
    static FFmpegError unexpectedChannelType(std::uint64_t channelType);
    static FFmpegError unsupportedChannelLayout(std::uint64_t channelLayout);
    static FFmpegError eof() { return FFmpegError(Kind::eof); }
    static FFmpegError posixEAGAIN() { return FFmpegError(Kind::posixEAGAIN); }
    static FFmpegError posixERANGE() { return FFmpegError(Kind::posixERANGE); }
    static FFmpegError allocationFailure() { return FFmpegError(Kind::allocationFailure); }
    static FFmpegError unsupportedMediaType() { return FFmpegError(Kind::unsupportedMediaType); }
    static FFmpegError noPresentationTimestamp() {
        return FFmpegError(Kind::noPresentationTimestamp);
    }
    static FFmpegError unknownSubtitleType() { return FFmpegError(Kind::unknownSubtitleType); }

    Kind kind() const { return kind_; }

    // Payloads; each may only be read for the cases that carry it.
    std::int32_t errorCode() const;       // other
    AVCodecID codecID() const;            // decoderNotFound
    AVSampleFormat sampleFormat() const;  // unknownAudioSampleSize, unknownSampleFormat
    std::intptr_t channelCount() const;   // unsupportedChannelCount, channelLayoutDoes…
    std::uint64_t channelLayout() const;  // channelLayoutDoes…, unsupportedChannelLayout
    std::uint64_t channelType() const;    // unexpectedChannelType

    // The error's text, as the log lines and the detailed description show it.
    std::string description() const;

    std::string domain() const override { return errorDomain; }
    std::int64_t code() const override { return static_cast<std::int64_t>(kind_); }
    std::shared_ptr<const platform::Error> clone() const override;
    std::string debugDescription() const override { return description(); }

    // Same case and equal payloads.
    friend bool operator==(const FFmpegError& a, const FFmpegError& b) {
        return a.kind_ == b.kind_ && a.integer_ == b.integer_ && a.bits_ == b.bits_;
    }

private:
    explicit FFmpegError(Kind kind, std::int64_t integer = 0, std::uint64_t bits = 0)
        : kind_(kind), integer_(integer), bits_(bits) {}

    void requireKind(bool matches, const char* payload) const;

    Kind kind_;
    // The signed payload (error code, codec ID, sample format, channel count) and the unsigned
    // one (channel layout or channel bit); unused ones stay 0 so that equality can compare both.
    std::int64_t integer_;
    std::uint64_t bits_;
};

}  // namespace quillon
