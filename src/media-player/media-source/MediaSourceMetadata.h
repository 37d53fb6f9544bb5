#pragma once

#include <cstdint>
#include <optional>
#include <string>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
}

#include "media-player/media-source/ArtworkImage.h"
#include "media-player/media-source/MPMediaType.h"
#include "media-player/media-source/MediaSource.h"
#include "media-player/media-types/MediaType.h"

namespace quillon {

// The optional, descriptive metadata of a media source, read once when the source is opened.
// Every field is absent when the file does not carry it, or carries it empty or malformed
// (malformed values are logged).
struct MediaSource::OptionalMetadata {
    std::optional<platform::MPMediaType> mediaSubtype;  // "media_type", kept only if it fits
    std::optional<std::string> title;                   // "title", else "sort_name"
    std::optional<std::string> shortDescription;        // "description"
    std::optional<std::string> fullDescription;         // "synopsis"
    std::optional<std::string> artist;                  // "artist", else "sort_artist"
    std::optional<std::string> composer;                // "composer", else "sort_composer"
    std::optional<std::string> albumTitle;              // "album", else "sort_album"
    std::optional<std::string> showTitle;               // "show", else "sort_show"
    std::optional<std::int64_t> seasonNumber;           // "season_number"
    std::optional<std::int64_t> episodeNumber;          // "episode_sort"
    std::optional<ArtworkImage> artwork;                // the first attached picture that decodes
    std::optional<std::string> lyrics;                  // "lyrics"
    std::optional<std::int64_t> releaseYear;            // the year of "date"
    std::optional<std::string> genre;                   // "genre"
    std::optional<std::string> copyright;               // "copyright"
};

using MediaSourceOptionalMetadata = MediaSource::OptionalMetadata;

// The whole metadata of a source as the opening sequence builds it: the artwork from the first
// stream of `formatContextForVisualTracks` whose attached picture decodes (streams in index
// order; later ones are not asked), and the rest from that context's `metadata` dictionary.
// `mediaType` is the source's media type, which decides which media kinds make sense. Ogg keeps
// a file's tags in the comment header of each stream, so there, when the container's dictionary
// holds none of the keys read, the dictionary of the stream `mainStreamIndex` (the main audio or
// video stream) is read in its place. Never fails; problems are logged and leave their field
// absent.
MediaSourceOptionalMetadata makeMetadata(const AVFormatContext& formatContextForVisualTracks,
                                         MediaType mediaType,
                                         std::optional<unsigned> mainStreamIndex = std::nullopt);

// The parts of makeMetadata, for callers that already have them.
MediaSourceOptionalMetadata makeOptionalMetadata(MediaType mediaType, const AVDictionary* metadata,
                                                 std::optional<ArtworkImage> artwork);

// The picture a stream carries when it is an attached picture (cover art): none for any other
// stream, and none (logged) when the picture cannot be read.
std::optional<ArtworkImage> loadArtwork(const AVStream& stream);

}  // namespace quillon
