#include "media-player/decoders/common/FrameSideData.h"

#include <cstring>

namespace quillon {

namespace {

const AVFrameSideData* firstSideData(const AVFrame& frame, AVFrameSideDataType type,
                                     std::size_t minimumSize) {
    if (frame.side_data == nullptr) {
        return nullptr;
    }
    for (int index = 0; index < frame.nb_side_data; ++index) {
        const AVFrameSideData* entry = frame.side_data[index];
        if (entry != nullptr && entry->type == type) {
            if (entry->data == nullptr || entry->size < minimumSize) {
                return nullptr;
            }
            return entry;
        }
    }
    return nullptr;
}

}  // namespace

std::optional<AVMasteringDisplayMetadata> readMasteringDisplayMetadata(const AVFrame& frame) {
    const AVFrameSideData* entry = firstSideData(frame, AV_FRAME_DATA_MASTERING_DISPLAY_METADATA,
                                                 sizeof(AVMasteringDisplayMetadata));
    if (entry == nullptr) {
        return std::nullopt;
    }
    AVMasteringDisplayMetadata metadata;
    std::memcpy(&metadata, entry->data, sizeof(metadata));
    return metadata;
}

std::optional<ContentLightLevel> readContentLightLevel(const AVFrame& frame) {
    const AVFrameSideData* entry =
        firstSideData(frame, AV_FRAME_DATA_CONTENT_LIGHT_LEVEL, sizeof(AVContentLightMetadata));
    if (entry == nullptr) {
        return std::nullopt;
    }
    AVContentLightMetadata level;
    std::memcpy(&level, entry->data, sizeof(level));
    return ContentLightLevel{level.MaxCLL, level.MaxFALL};
}

}  // namespace quillon
