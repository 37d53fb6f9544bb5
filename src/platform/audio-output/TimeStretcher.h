#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace platform {

// Changes the tempo of audio without changing its pitch, and knows where every frame it gives
// out comes from.
//
// Waveform-similarity overlap-add: output is made of short windows of the input played at their
// own speed, overlapping by three quarters. Window j is centred on the input position that the
// output's time line reaches at its centre (output time × rate from the start), moved by at most
// the search range to where it continues the previous window's waveform best; a window that
// holds an onset (a click, a drum) is moved instead so that its copy of the onset lands where the
// time line puts it, and every window's copy then adds up on the same frame. A move never
// carries over to the next window, so output frame k always plays input from
// startPosition + k × rate, give or take the search range and the stretch within a window (at
// its faint edges); onsets are heard where the time line has them, within a fraction of a
// millisecond.
//
// Positions are the caller's own frame numbers (a time line), so that the caller can read its
// input from exactly where the stretcher asks: input starts a little before the start position
// (the windows that end in the first output frames begin there), and the output has no latency.
//
// At rate 1, once the windows in flight all play the input straight, the output is the input
// itself, bit for bit.
//
// Samples are 32-bit float, interleaved or planar, 1 to 8 channels. Used by one thread at a
// time; steady use allocates nothing.
class TimeStretcher {
public:
    struct Parameters {
        // Window length; rounded to a multiple of 4 frames.
        double windowSeconds = 0.02;
        // How far a window may move from its nominal place to match the waveform.
        double searchSeconds = 0.005;
    };

    static constexpr int kMaximumChannelCount = 8;

    // Output frame 0 plays input frame `startPosition`. Rates are finite and above 0.
    TimeStretcher(int channelCount, int sampleRate, double rate, double startPosition);
    TimeStretcher(int channelCount, int sampleRate, double rate, double startPosition,
                  Parameters parameters);

    int channelCount() const { return channelCount_; }
    double rate() const { return rate_; }
    // Applies from the next window on: output already made keeps the rate it was made at.
    // Going to rate 1 moves the time line by less than half a frame, onto whole frames.
    void setRate(double rate);

    // Where the next push must start (input is pushed without gaps or overlaps).
    std::int64_t inputPosition() const { return inputBase_ + std::int64_t(inputFrames_); }
    // How many more input frames the next output needs (0 when it can be made).
    std::size_t inputFramesWanted() const;
    void push(const float* interleaved, std::size_t frameCount);
    void pushPlanar(const float* const* planes, std::size_t frameCount);

    // Up to frameCount frames of output; fewer when more input is wanted (or, after finish(),
    // at its end).
    std::size_t pull(float* interleaved, std::size_t frameCount);
    std::size_t pullPlanar(float* const* planes, std::size_t frameCount);

    // The input position that the next output frame stands for (fractional).
    double outputPosition() const;
    // How far the input heard at a window's centre may lie from outputPosition().
    double maximumCentreDeviationFrames() const { return double(search_) + 0.5; }
    std::size_t windowFrames() const { return window_.size(); }

    // No more input comes: what is missing reads as silence, and the output ends where the
    // input's time line ends.
    void finish();
    // Drops everything: output frame 0 plays `startPosition` again, at the current rate.
    void reset(double startPosition);

private:
    // Where the next window goes and what input it needs.
    struct WindowPlan {
        // Its nominal start, and where the previous window's natural continuation starts.
        std::int64_t base = 0;
        std::int64_t reference = 0;
        // The input up to here must be there.
        std::int64_t end = 0;
        // Whether it may move off its nominal place (by an onset or by the waveform).
        bool movable = false;
        // At rate 1 on whole frames: the window plays the input straight.
        bool straight = false;
    };

    // `write(offset, count, written)` copies block frames from offset on to output frame written.
    template <typename Write>
    std::size_t pullInto(std::size_t frameCount, Write write);
    // Makes the next block of output, when the input it needs is there.
    bool makeBlock();
    WindowPlan planWindow() const;
    int search(std::int64_t base, std::int64_t reference) const;
    // Where the input over [begin, end) holds the start of a sudden sound, if it does.
    std::optional<std::int64_t> onsetIn(std::int64_t begin, std::int64_t end) const;
    std::int64_t lowestInputFor(double nominal) const;
    float inputAt(int channel, std::int64_t position) const;
    void discardInputBefore(std::int64_t position);
    void appendInput(std::size_t frameCount);

    const int channelCount_;
    const std::size_t hop_;
    const int search_;
    std::vector<float> window_;
    double rate_;

    // Input: one plane per channel and their sum, from inputBase_ on.
    std::vector<std::vector<float>> input_;
    std::vector<float> mix_;
    std::int64_t inputBase_ = 0;
    std::size_t inputFrames_ = 0;
    bool finished_ = false;

    // The output of the windows made so far, from the next block on (a window's length).
    std::vector<std::vector<float>> accumulator_;
    // The nominal input position of the next block's first frame, and where the last window
    // started in the input.
    double nextNominal_ = 0;
    std::int64_t previousWindowStart_ = 0;
    bool hasPreviousWindow_ = false;
    // Windows in a row that played the input straight at rate 1.
    std::size_t straightWindows_ = 0;
    // Windows still to make before the first output frame.
    int leadingWindows_ = 0;

    // The block being read out.
    std::vector<std::vector<float>> block_;
    double blockNominal_ = 0;
    double blockRate_ = 1;
    std::size_t blockOffset_ = 0;
    std::size_t blockFrames_ = 0;
};

}  // namespace platform
