#include "media-player/decoders/common/DataMismatchError.h"

#include <fmt/format.h>

namespace quillon {

DataMismatchError DataMismatchError::unexpectedPixelBufferPlaneCount(std::size_t planeCount) {
    return {Kind::unexpectedPixelBufferPlaneCount, static_cast<std::int64_t>(planeCount)};
}

DataMismatchError DataMismatchError::noFFmpegData(std::size_t plane) {
    return {Kind::noFFmpegData, static_cast<std::int64_t>(plane)};
}

DataMismatchError DataMismatchError::mismatchedRowByteCount(std::size_t plane,
                                                            std::size_t bytesPerRow,
                                                            std::int64_t ffmpegLinesize) {
    return {Kind::mismatchedRowByteCount, static_cast<std::int64_t>(plane),
            static_cast<std::int64_t>(bytesPerRow), ffmpegLinesize};
}

DataMismatchError DataMismatchError::unexpectedPixelBufferPlaneHeight(std::size_t plane,
                                                                      std::size_t planeHeight,
                                                                      std::size_t bufferHeight) {
    return {Kind::unexpectedPixelBufferPlaneHeight, static_cast<std::int64_t>(plane),
            static_cast<std::int64_t>(planeHeight), static_cast<std::int64_t>(bufferHeight)};
}

std::string DataMismatchError::description() const {
    switch (kind_) {
        case Kind::unexpectedPixelBufferPlaneCount:
            return fmt::format("unexpectedPixelBufferPlaneCount(planeCount: {})", first_);
        case Kind::noFFmpegData:
            return fmt::format("noFFmpegData(plane: {})", first_);
        case Kind::mismatchedRowByteCount:
            return fmt::format(
                "mismatchedRowByteCount(plane: {}, bytesPerRow: {}, ffmpegLinesize: {})", first_,
                second_, third_);
        case Kind::unexpectedPixelBufferPlaneHeight:
            return fmt::format(
                "unexpectedPixelBufferPlaneHeight(plane: {}, planeHeight: {}, bufferHeight: {})",
                first_, second_, third_);
    }
    return "DataMismatchError";
}

std::shared_ptr<const platform::Error> DataMismatchError::clone() const {
    return std::make_shared<DataMismatchError>(*this);
}

}  // namespace quillon
