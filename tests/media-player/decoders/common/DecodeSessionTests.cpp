#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <variant>
#include <vector>

#include "TestSampleBuffer.h"
#include "media-player/decoders/common/CoreMediaCompatibleDecodeSession.h"
#include "media-player/decoders/common/FFmpegError.h"
#include "media-player/decoders/common/FFmpegPointers.h"
#include "media-player/decoders/common/StuckDecoderError.h"
#include "platform/foundation/Log.h"

using namespace quillon;
using quillon::testing::makeTestSampleBuffer;

namespace {

// A decoder that plays back a script: each startDecoding and dequeueSampleBuffer takes the next
// answer of its own list, and every call is recorded in order.
class ScriptedDecoder : public CoreMediaCompatibleDecoder {
public:
    using StartAnswer = std::variant<bool, FFmpegError>;
    using DequeueAnswer = std::variant<platform::CMSampleBufferRef, FFmpegError>;

    std::deque<StartAnswer> startAnswers;
    std::deque<DequeueAnswer> dequeueAnswers;
    std::vector<std::string> calls;
    std::vector<bool> startedWithEmptyPacket;

    MediaType mediaType() const override { return MediaType::video; }
    void flush() override { calls.push_back("flush"); }

    bool startDecoding(const Packet& packet) override {
        calls.push_back("start");
        startedWithEmptyPacket.push_back(packet.avPacket().data == nullptr &&
                                         packet.avPacket().size == 0);
        auto answer = take(startAnswers);
        if (auto* error = std::get_if<FFmpegError>(&answer)) {
            throw *error;
        }
        return std::get<bool>(answer);
    }

    platform::CMSampleBufferRef dequeueSampleBuffer() override {
        calls.push_back("dequeue");
        if (dequeueAnswers.empty()) {
            return nullptr;
        }
        auto answer = take(dequeueAnswers);
        if (auto* error = std::get_if<FFmpegError>(&answer)) {
            throw *error;
        }
        return std::get<platform::CMSampleBufferRef>(answer);
    }

private:
    template <typename Answer>
    static Answer take(std::deque<Answer>& answers) {
        if (answers.empty()) {
            ADD_FAILURE() << "decoder called beyond its script";
            throw FFmpegError::other(-1);
        }
        Answer answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

using Calls = std::vector<std::string>;

class DecodeSession : public ::testing::Test {
protected:
    std::shared_ptr<ScriptedDecoder> decoder = std::make_shared<ScriptedDecoder>();
    std::vector<platform::CMSampleBufferRef> handled;
    std::shared_ptr<CoreMediaCompatibleDecodeSession> session =
        CoreMediaCompatibleDecodeSession::make(
            decoder, [this](platform::CMSampleBufferRef buffer) { handled.push_back(buffer); });
    // A packet with data, as a read makes it.
    AVPacketPointer read = [] {
        AVPacketPointer made(av_packet_alloc());
        av_new_packet(made.get(), 4);
        return made;
    }();
    Packet packet{*read};
};

}  // namespace

TEST_F(DecodeSession, RefusedPacketIsSentAgainAfterTheReadyBufferIsHandedOut) {
    auto ready = makeTestSampleBuffer();
    decoder->startAnswers = {false, true};
    decoder->dequeueAnswers = {ready, makeTestSampleBuffer()};

    session->decode(packet);
    EXPECT_EQ(decoder->calls, (Calls{"start", "dequeue", "start"}));
    EXPECT_EQ(decoder->startedWithEmptyPacket, (std::vector<bool>{false, false}));
    EXPECT_EQ(handled, std::vector<platform::CMSampleBufferRef>{ready});
    // Output that became ready after the packet was taken stays in the decoder.
    EXPECT_EQ(decoder->dequeueAnswers.size(), 1u);
}

TEST_F(DecodeSession, FailedDequeueIsLoggedAndResetsTheDecoder) {
    decoder->startAnswers = {false, true, true};
    decoder->dequeueAnswers = {FFmpegError::other(AVERROR(EINVAL))};
    platform::ScopedLogCapture log;

    session->decode(packet);
    session->decode(packet);
    EXPECT_EQ(decoder->calls, (Calls{"start", "dequeue", "flush", "start", "start"}));
    EXPECT_EQ(log.lines(), std::vector<std::string>{
                               "Failed to dequeue a sample buffer: Invalid argument. Resetting "
                               "the decoder so that we can submit the next packet."});
}

TEST_F(DecodeSession, StartDecodingErrorsReachTheCaller) {
    decoder->startAnswers = {FFmpegError::other(AVERROR_INVALIDDATA)};
    EXPECT_THROW(session->decode(packet), FFmpegError);

    decoder->startAnswers = {false, FFmpegError::eof()};
    decoder->dequeueAnswers = {makeTestSampleBuffer()};
    EXPECT_THROW(session->decode(packet), FFmpegError);
    EXPECT_EQ(handled.size(), 1u);
}

// Only that one decoder is given up on: the process, and the session, go on.
TEST_F(DecodeSession, DecoderThatRefusesWithNothingToGiveIsReportedAsStuck) {
    auto refuseTwice = [&](bool failDequeue) {
        decoder->startAnswers = {false, false};
        if (failDequeue) {
            decoder->dequeueAnswers = {FFmpegError::other(-1)};
        }
        session->decode(packet);
    };
    EXPECT_THROW(refuseTwice(false), StuckDecoderError);
    // A failed dequeue resets the decoder, which then has nothing to give.
    EXPECT_THROW(refuseTwice(true), StuckDecoderError);
    // Nor will it take the end of the input.
    decoder->startAnswers = {false, false};
    EXPECT_THROW(session->drain(), StuckDecoderError);

    decoder->startAnswers = {true};
    EXPECT_NO_THROW(session->decode(packet));
    EXPECT_EQ(StuckDecoderError().debugDescription(),
              "Unable to start decoding packet even though there are no more sample buffers to "
              "dequeue.");
}

TEST_F(DecodeSession, DrainTakesReadyOutputThenEndsTheInputAndHandsOutTheRest) {
    auto ready = makeTestSampleBuffer();
    auto beforeEnd = makeTestSampleBuffer();
    auto afterEnd = makeTestSampleBuffer();
    decoder->startAnswers = {false, true};
    decoder->dequeueAnswers = {ready, nullptr, beforeEnd, afterEnd};

    session->drain();
    EXPECT_EQ(decoder->calls,
              (Calls{"dequeue", "dequeue", "start", "dequeue", "start", "dequeue", "dequeue"}));
    EXPECT_EQ(handled, (std::vector<platform::CMSampleBufferRef>{ready, beforeEnd, afterEnd}));
    EXPECT_EQ(decoder->startedWithEmptyPacket, (std::vector<bool>{true, true}));
}

// The tail of a cut file: one picture fails, and those behind it, some of which come out only
// once the input has ended, are still shown.
TEST_F(DecodeSession, DrainEndsTheInputAndHandsOutEverythingPastAFailedDequeue) {
    auto beforeFailure = makeTestSampleBuffer();
    auto afterEnd = makeTestSampleBuffer();
    decoder->startAnswers = {true};
    decoder->dequeueAnswers = {beforeFailure, FFmpegError::noPresentationTimestamp(), nullptr,
                               afterEnd};
    platform::ScopedLogCapture log;

    try {
        session->drain();
        FAIL() << "no error thrown";
    } catch (const FFmpegError& error) {
        EXPECT_EQ(error, FFmpegError::noPresentationTimestamp());
    }
    EXPECT_EQ(decoder->calls,
              (Calls{"dequeue", "dequeue", "dequeue", "start", "dequeue", "dequeue"}));
    EXPECT_EQ(decoder->startedWithEmptyPacket, std::vector<bool>{true});
    EXPECT_EQ(handled, (std::vector<platform::CMSampleBufferRef>{beforeFailure, afterEnd}));
    EXPECT_EQ(log.lines(), std::vector<std::string>{
                               "Failed to dequeue remaining sample buffers from media decoder: "
                               "Frame does not contain presentation timestamp.."});
}

// Resetting would throw away what the decoder still holds, and the failure used output up, so
// the refusal after it asks for another dequeue rather than meaning the decoder is stuck.
TEST_F(DecodeSession, AFailedDequeueWhileEndingTheInputKeepsWhatTheDecoderHolds) {
    auto waiting = makeTestSampleBuffer();
    auto last = makeTestSampleBuffer();
    decoder->startAnswers = {false, false, true};
    decoder->dequeueAnswers = {nullptr, FFmpegError::other(AVERROR_INVALIDDATA), waiting, last};
    platform::ScopedLogCapture log;

    EXPECT_THROW(session->drain(), FFmpegError);
    EXPECT_EQ(decoder->calls, (Calls{"dequeue", "start", "dequeue", "start", "dequeue", "start",
                                     "dequeue", "dequeue"}));
    EXPECT_EQ(handled, (std::vector<platform::CMSampleBufferRef>{waiting, last}));
    EXPECT_EQ(log.lines().size(), 1u);
}
