#include "media-player/media-source/MediaTrack.h"

#include <fmt/format.h>

#include "platform/foundation/Locale.h"
#include "platform/foundation/StringHelpers.h"

extern "C" {
#include <libavutil/dict.h>
}

namespace quillon {

namespace {

const char* metadataValue(const AVDictionary* metadata, const char* key) {
    const AVDictionaryEntry* entry = av_dict_get(metadata, key, nullptr, 0);
    return entry != nullptr ? entry->value : nullptr;
}

std::optional<std::string> parseTitle(const char* tagValue) {
    if (tagValue == nullptr) {
        return std::nullopt;
    }
    std::string title = platform::trimmingWhitespaceAndNewlines(tagValue);
    if (title.empty()) {
        return std::nullopt;
    }
    return title;
}

}  // namespace

std::vector<std::string> parseLanguageCodes(const char* tagValue) {
    std::vector<std::string> codes;
    if (tagValue == nullptr) {
        return codes;
    }
    const std::string_view value(tagValue);
    std::size_t start = 0;
    while (start <= value.size()) {
        const std::size_t end = std::min(value.find(',', start), value.size());
        const std::string piece =
            platform::trimmingWhitespaceAndNewlines(value.substr(start, end - start));
        if (!piece.empty() && piece != "und") {
            codes.push_back(platform::canonicalLanguageIdentifier(piece).value_or(piece));
        }
        start = end + 1;
    }
    return codes;
}

std::string MediaTrack::makeIdentifier(const std::string& sourceID, std::uint32_t streamIndex) {
    return fmt::format("{}.{}", sourceID, streamIndex);
}

MediaTrack::MediaTrack(const std::string& sourceID, const AVStream& stream)
    : id_(makeIdentifier(sourceID, static_cast<std::uint32_t>(stream.index))),
      streamIndex_(static_cast<std::uint32_t>(stream.index)),
      streamTimeBase_(stream.time_base),
      languageCodes_(parseLanguageCodes(metadataValue(stream.metadata, "language"))),
      title_(parseTitle(metadataValue(stream.metadata, "title"))),
      isForced_((stream.disposition & AV_DISPOSITION_FORCED) != 0),
      isDefault_((stream.disposition & AV_DISPOSITION_DEFAULT) != 0),
      mediaCharacteristics_(MediaCharacteristics::fromDisposition(stream.disposition)) {}

MediaTrack::MediaTrack(CopyingFieldsOf other)
    : id_(other.track.id()),
      streamIndex_(other.track.streamIndex_),
      streamTimeBase_(other.track.streamTimeBase_),
      languageCodes_(other.track.languageCodes_.empty() ? other.fileNameTags.languageCodes
                                                        : other.track.languageCodes_),
      title_(other.track.title_ ? other.track.title_ : other.fileNameTags.title),
      isForced_(other.track.isForced_ || other.fileNameTags.isForced),
      isDefault_(other.track.isDefault_),
      mediaCharacteristics_(other.track.mediaCharacteristics_ |
                            other.fileNameTags.mediaCharacteristics) {}

MediaTrack::~MediaTrack() = default;

std::string MediaTrack::id() const {
    return id_.wrappedValue();
}

void MediaTrack::setId(std::string id) {
    id_.setWrappedValue(std::move(id));
}

}  // namespace quillon
