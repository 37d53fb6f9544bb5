#include "media-player/decoders/common/FrameSideData.h"

#include "media-player/decoders/common/SideDataPayload.h"

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
    return sideDataPayload<AVMasteringDisplayMetadata>(firstSideData(
        frame, AV_FRAME_DATA_MASTERING_DISPLAY_METADATA, sizeof(AVMasteringDisplayMetadata)));
}

std::optional<ContentLightLevel> readContentLightLevel(const AVFrame& frame) {
    return contentLightLevelPayload(
        firstSideData(frame, AV_FRAME_DATA_CONTENT_LIGHT_LEVEL, sizeof(AVContentLightMetadata)));
}

}  // namespace quillon
