#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/foundation/Error.h"

namespace quillon {

// A decoded picture's planes do not fit the pixel buffer they are to go into. Its description is
// its default textual form, "mismatchedRowByteCount(plane: 1, bytesPerRow: 128, ffmpegLinesize:
// 64)".
class DataMismatchError : public platform::Error {
public:
    // The cases in declaration order; the order is also the bridged error code.
    enum class Kind : std::int32_t {
        unexpectedPixelBufferPlaneCount,
        noFFmpegData,
        mismatchedRowByteCount,
        unexpectedPixelBufferPlaneHeight,
    };

    static constexpr const char* errorDomain = "QuillonPlayer.DataMismatchError";

    // A planar buffer with no plane or more than four.
    static DataMismatchError unexpectedPixelBufferPlaneCount(std::size_t planeCount);
    // The frame has no data for that plane.
    static DataMismatchError noFFmpegData(std::size_t plane);
    // The frame's rows of that plane are shorter than the plane's pixels need.
    static DataMismatchError mismatchedRowByteCount(std::size_t plane, std::size_t bytesPerRow,
                                                    std::int64_t ffmpegLinesize);
    // A plane of no rows, or of more rows than the buffer.
    static DataMismatchError unexpectedPixelBufferPlaneHeight(std::size_t plane,
                                                              std::size_t planeHeight,
                                                              std::size_t bufferHeight);

    Kind kind() const { return kind_; }
    // The payload in case order: planeCount or plane, then the two further numbers.
    std::int64_t first() const { return first_; }
    std::int64_t second() const { return second_; }
    std::int64_t third() const { return third_; }

    std::string description() const;

    std::string domain() const override { return errorDomain; }
    std::int64_t code() const override { return static_cast<std::int64_t>(kind_); }
    std::shared_ptr<const platform::Error> clone() const override;
    std::string debugDescription() const override { return description(); }

    // Same case and equal payloads.
    friend bool operator==(const DataMismatchError& a, const DataMismatchError& b) {
        return a.kind_ == b.kind_ && a.first_ == b.first_ && a.second_ == b.second_ &&
               a.third_ == b.third_;
    }

private:
    DataMismatchError(Kind kind, std::int64_t first, std::int64_t second = 0,
                      std::int64_t third = 0)
        : kind_(kind), first_(first), second_(second), third_(third) {}

    Kind kind_;
    std::int64_t first_;
    std::int64_t second_;
    std::int64_t third_;
};

}  // namespace quillon
