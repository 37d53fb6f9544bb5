#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/rational.h>
}

#include "media-player/media-source/MediaCharacteristics.h"
#include "media-player/media-source/SubtitleFileNameTags.h"
#include "media-player/media-types/Atomic.h"

namespace quillon {

// One usable stream of a media file, as the rest of the system sees it. Tracks are shared
// (std::shared_ptr), compared and hashed by identity -- two tracks are equal only when they are
// the same object -- and never rebuilt; only the identifier may change (restoration renames it).
// Every field but the identifier is immutable and may be read from any thread.
class MediaTrack {
public:
    virtual ~MediaTrack();

    MediaTrack(const MediaTrack&) = delete;
    MediaTrack& operator=(const MediaTrack&) = delete;

    // The source's identifier, ".", and the stream index ("…-C24A3E6E5F.2"), read and replaced
    // under a lock. An external subtitles track answers with the track it stands for.
    virtual std::string id() const;
    void setId(std::string id);

    // The index of the track's stream in either format context of its source.
    std::uint32_t streamIndex() const { return streamIndex_; }
    // The unit of the track's packet times.
    AVRational streamTimeBase() const { return streamTimeBase_; }
    // Canonical language identifiers in the stream's order; "und" is left out.
    const std::vector<std::string>& languageCodes() const { return languageCodes_; }
    // Trimmed; absent when the stream has none or only white space.
    const std::optional<std::string>& title() const { return title_; }
    bool isForced() const { return isForced_; }
    bool isDefault() const { return isDefault_; }
    MediaCharacteristics mediaCharacteristics() const { return mediaCharacteristics_; }

    // The identifier of the track of stream `streamIndex` in the source `sourceID`.
    static std::string makeIdentifier(const std::string& sourceID, std::uint32_t streamIndex);

protected:
    // Reads the stream's index, time base, "language" and "title" metadata and disposition.
    MediaTrack(const std::string& sourceID, const AVStream& stream);

    // Copies every field of `other`, the identifier into a box of its own. What the stream
    // leaves unsaid (no language, no title, not forced, no characteristics) is taken from the
    // tags of its file's name.
    struct CopyingFieldsOf {
        const MediaTrack& track;
        SubtitleFileNameTags fileNameTags = {};
    };
    explicit MediaTrack(CopyingFieldsOf other);

private:
    Atomic<std::string> id_;
    std::uint32_t streamIndex_;
    AVRational streamTimeBase_;
    std::vector<std::string> languageCodes_;
    std::optional<std::string> title_;
    bool isForced_;
    bool isDefault_;
    MediaCharacteristics mediaCharacteristics_;
};

// The value of a stream's language tag as canonical identifiers: split at commas, trimmed,
// empty pieces and "und" dropped, order kept. A piece that is no well-formed language identifier
// is kept as written: the file's own word is still better than nothing in a track menu.
std::vector<std::string> parseLanguageCodes(const char* tagValue);

}  // namespace quillon
