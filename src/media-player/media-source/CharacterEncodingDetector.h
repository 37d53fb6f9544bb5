#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "platform/dispatch/DispatchData.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/URL.h"

struct uchardet;

namespace quillon {

// Guesses the character set of text from its bytes, with uchardet: bytes go in, and at the end
// it names the most likely character set as uchardet spells it ("UTF-8", "WINDOWS-1252",
// "SHIFT_JIS", ...), or nothing. Text subtitle files come in many legacy encodings, and FFmpeg
// converts subtitle text to UTF-8 only when it is told the source encoding.
//
// A detector is not thread-safe: one task feeds it at a time. Held by shared ownership where it
// outlives one scope.
class CharacterEncodingDetector {
public:
    using Completion = std::function<void(std::optional<std::string> characterSet)>;
    using CancelOperation = std::function<void()>;

    // File data arrives in chunks of at most this size.
    static constexpr std::size_t fileReadHighWaterMark = 1'048'576;

    CharacterEncodingDetector();
    ~CharacterEncodingDetector();
    CharacterEncodingDetector(const CharacterEncodingDetector&) = delete;
    CharacterEncodingDetector& operator=(const CharacterEncodingDetector&) = delete;

    // Feeds bytes, straight from their storage. False when uchardet refused them; a region with
    // no storage at all counts as accepted. Feeding a detector whose result was taken stops the
    // process.
    bool analyze(std::span<const std::byte> bytes);
    // Region by region, stopping at the first one refused.
    bool analyze(const platform::DispatchData& data);

    // The detected character set, or none. Taking the result twice without reset() stops the
    // process.
    std::optional<std::string> finish();

    // Forgets everything fed so far; the detector can be used again.
    void reset();

    static std::optional<std::string> detect(std::span<const std::byte> data);
    static std::optional<std::string> detect(const platform::DispatchData& data);

    // Reads a whole file in chunks on `queue` and reports the detected character set on
    // `completionQueue`, exactly once. Throws the platform's error when the file can't be opened
    // for reading; a URL that is not a file URL stops the process. The returned operation stops
    // the read at once; the completion then reports what the bytes read so far give. A read
    // error or refused data ends the detection the same way.
    static CancelOperation detect(const platform::URL& fileURL, platform::DispatchQueue& queue,
                                  platform::DispatchQueue& completionQueue, Completion completion);
    // The same over an open descriptor, read from its current position. The caller keeps it
    // open; by the time the completion runs, nothing reads it any more.
    static CancelOperation detect(int fileDescriptor, platform::DispatchQueue& queue,
                                  platform::DispatchQueue& completionQueue, Completion completion);

private:
    uchardet* uchardet_;
    bool isFinished_ = false;
};

}  // namespace quillon
