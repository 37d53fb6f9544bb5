#include "media-player/decoders/common/StreamSideData.h"

#include "media-player/decoders/common/SideDataPayload.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace quillon {

namespace {

const AVPacketSideData* firstSideData(const AVStream& stream, AVPacketSideDataType type,
                                      std::size_t minimumSize) {
    if (stream.side_data == nullptr) {
        return nullptr;
    }
    for (int index = 0; index < stream.nb_side_data; ++index) {
        const AVPacketSideData& entry = stream.side_data[index];
        if (entry.type == type) {
            if (entry.data == nullptr || entry.size < minimumSize) {
                return nullptr;
            }
            return &entry;
        }
    }
    return nullptr;
}

}  // namespace

std::optional<platform::CGAffineTransform> readDisplayMatrix(const AVStream& stream) {
    std::array<std::int32_t, 9> matrix{};
    const AVPacketSideData* entry =
        firstSideData(stream, AV_PKT_DATA_DISPLAYMATRIX, sizeof(matrix));
    if (entry == nullptr) {
        return std::nullopt;
    }
    // Side data carries no alignment promise: copy rather than cast.
    std::memcpy(matrix.data(), entry->data, sizeof(matrix));
    constexpr double fixedPointOne = 65536;
    const platform::CGAffineTransform transform = platform::CGAffineTransformMake(
        matrix[0] / fixedPointOne, matrix[1] / fixedPointOne, matrix[3] / fixedPointOne,
        matrix[4] / fixedPointOne, matrix[6] / fixedPointOne, matrix[7] / fixedPointOne);
    // Some writers fill the track header's matrix with zeros; such a matrix maps the picture
    // onto a point (or a line), so it says nothing about how to show it.
    const double determinant = transform.a * transform.d - transform.b * transform.c;
    if (!std::isfinite(determinant) || determinant == 0 || !std::isfinite(transform.tx) ||
        !std::isfinite(transform.ty)) {
        return std::nullopt;
    }
    return transform;
}

std::optional<AVMasteringDisplayMetadata> readMasteringDisplayMetadata(const AVStream& stream) {
    return sideDataPayload<AVMasteringDisplayMetadata>(firstSideData(
        stream, AV_PKT_DATA_MASTERING_DISPLAY_METADATA, sizeof(AVMasteringDisplayMetadata)));
}

std::optional<ContentLightLevel> readContentLightLevel(const AVStream& stream) {
    return contentLightLevelPayload(
        firstSideData(stream, AV_PKT_DATA_CONTENT_LIGHT_LEVEL, sizeof(AVContentLightMetadata)));
}

}  // namespace quillon
