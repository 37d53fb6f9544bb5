#include "media-player/media-source/MediaSourceMetadata.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <string_view>

#include "platform/foundation/Log.h"
#include "platform/foundation/StringHelpers.h"

namespace quillon {

namespace {

using platform::MPMediaType;

// Tags come from whatever wrote the file; invalid UTF-8 must not reach the user interface or the
// desktop's media controls (D-Bus refuses such strings), so each maximal invalid subpart becomes
// one U+FFFD, as the Unicode standard recommends.
std::string repairingUTF8(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    const auto byte = [&](std::size_t index) { return static_cast<unsigned char>(text[index]); };
    std::size_t index = 0;
    while (index < text.size()) {
        unsigned char lead = byte(index);
        std::size_t length = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xbf;
        if (lead < 0x80) {
            result.push_back(static_cast<char>(lead));
            ++index;
            continue;
        } else if (lead >= 0xc2 && lead <= 0xdf) {
            length = 2;
        } else if (lead >= 0xe0 && lead <= 0xef) {
            length = 3;
            low = lead == 0xe0 ? 0xa0 : 0x80;
            high = lead == 0xed ? 0x9f : 0xbf;
        } else if (lead >= 0xf0 && lead <= 0xf4) {
            length = 4;
            low = lead == 0xf0 ? 0x90 : 0x80;
            high = lead == 0xf4 ? 0x8f : 0xbf;
        }
        std::size_t valid = length == 0 ? 0 : 1;
        while (valid > 0 && valid < length && index + valid < text.size()) {
            unsigned char next = byte(index + valid);
            unsigned char lowest = valid == 1 ? low : 0x80;
            unsigned char highest = valid == 1 ? high : 0xbf;
            if (next < lowest || next > highest) {
                break;
            }
            ++valid;
        }
        if (length != 0 && valid == length) {
            result.append(text.substr(index, length));
            index += length;
        } else {
            result.append("\xef\xbf\xbd");
            index += valid == 0 ? 1 : valid;
        }
    }
    return result;
}

std::optional<std::string> stringValue(const AVDictionary* metadata, const char* key) {
    const AVDictionaryEntry* entry = av_dict_get(metadata, key, nullptr, 0);
    if (entry == nullptr || entry->value == nullptr) {
        return std::nullopt;
    }
    std::string value = platform::trimmingWhitespaceAndNewlines(repairingUTF8(entry->value));
    if (value.empty()) {
        return std::nullopt;
    }
    return value;
}

// The second key is only a fallback: a file that has both keeps its display value.
std::optional<std::string> stringValue(const AVDictionary* metadata, const char* key,
                                       const char* fallbackKey) {
    std::optional<std::string> value = stringValue(metadata, key);
    return value ? value : stringValue(metadata, fallbackKey);
}

// Base-10, an optional sign, digits only, within 64 bits.
std::optional<std::int64_t> parseInt64(std::string_view text) {
    std::string_view digits = text;
    if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) {
        digits.remove_prefix(1);
    }
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    // from_chars takes a minus sign but not a plus sign.
    std::string_view parsed = text.front() == '+' ? digits : text;
    std::int64_t value = 0;
    auto [end, error] = std::from_chars(parsed.data(), parsed.data() + parsed.size(), value);
    if (error != std::errc() || end != parsed.data() + parsed.size()) {
        return std::nullopt;
    }
    return value;
}

std::string malformedValueLine(const char* key, std::string_view what, std::string_view value) {
    std::string line = "Metadata value for key `";
    line += key;
    line += "` is not ";
    line += what;
    line += ": \"";
    line += value;
    line += "\".";
    return line;
}

std::optional<std::int64_t> integerValue(const AVDictionary* metadata, const char* key) {
    std::optional<std::string> text = stringValue(metadata, key);
    if (!text) {
        return std::nullopt;
    }
    std::optional<std::int64_t> value = parseInt64(*text);
    if (!value) {
        platform::logLine(platform::LogLevel::warning,
                          malformedValueLine(key, "an integer", *text));
    }
    return value;
}

// Dates come as a year, a full date or a timestamp ("2004", "2004-10-19T07:00:00Z"); only the
// year is kept.
std::optional<std::int64_t> yearValue(const AVDictionary* metadata, const char* key) {
    std::optional<std::string> text = stringValue(metadata, key);
    if (!text) {
        return std::nullopt;
    }
    std::string_view digits(*text);
    digits = digits.substr(0, digits.find_first_not_of("0123456789"));
    std::optional<std::int64_t> year = digits.empty() ? std::nullopt : parseInt64(digits);
    if (!year) {
        platform::logLine(platform::LogLevel::warning, malformedValueLine(key, "a date", *text));
    }
    return year;
}

const char* umbrellaName(MediaType mediaType) {
    switch (mediaType) {
        case MediaType::video:
            return "video";
        case MediaType::audio:
            return "audio";
        case MediaType::subtitles:
            return "subtitles";
    }
    return "subtitles";
}

// The container's numeric media-kind tag ("stik"), read as a kind that fits the source: a kind
// of the other umbrella would make the desktop present the item wrongly, so it is dropped.
std::optional<MPMediaType> mediaSubtypeValue(const AVDictionary* metadata, MediaType umbrella) {
    std::optional<std::int64_t> kind = integerValue(metadata, "media_type");
    if (!kind) {
        return std::nullopt;
    }
    bool hasVideo = umbrella == MediaType::video || umbrella == MediaType::subtitles;
    bool hasAudio = umbrella == MediaType::audio || umbrella == MediaType::subtitles;
    MPMediaType subtype;
    bool kept = true;
    switch (*kind) {
        case 0:
            subtype = MPMediaType::homeVideo();
            kept = hasVideo;
            break;
        case 1:
            subtype = MPMediaType::music();
            kept = hasAudio;
            break;
        case 2:
            subtype = MPMediaType::audioBook();
            kept = hasAudio;
            break;
        case 6:
            subtype = MPMediaType::musicVideo();
            kept = hasVideo;
            break;
        case 9:
            subtype = MPMediaType::movie();
            kept = hasVideo;
            break;
        case 10:
            subtype = MPMediaType::tvShow();
            kept = hasVideo;
            break;
        case 21:
            subtype =
                umbrella == MediaType::video ? MPMediaType::videoPodcast() : MPMediaType::podcast();
            break;
        case 23:
            subtype = umbrella == MediaType::audio ? MPMediaType::audioITunesU()
                                                   : MPMediaType::videoITunesU();
            break;
        default:
            platform::logLine(platform::LogLevel::warning,
                              "Unrecognized iTunes media type: " + std::to_string(*kind) + ".");
            return std::nullopt;
    }
    if (!kept) {
        platform::logLine(platform::LogLevel::warning,
                          "Ignoring `" + platform::describe(subtype) +
                              "` subtype because it is not part of the `" + umbrellaName(umbrella) +
                              "` umbrella media type.");
        return std::nullopt;
    }
    return subtype;
}

}  // namespace

MediaSourceOptionalMetadata makeOptionalMetadata(MediaType mediaType, const AVDictionary* metadata,
                                                 std::optional<ArtworkImage> artwork) {
    // Read in a fixed order, so that the log lines of a file always come in the same order.
    MediaSourceOptionalMetadata result;
    result.mediaSubtype = mediaSubtypeValue(metadata, mediaType);
    result.title = stringValue(metadata, "title", "sort_name");
    result.shortDescription = stringValue(metadata, "description");
    result.fullDescription = stringValue(metadata, "synopsis");
    result.artist = stringValue(metadata, "artist", "sort_artist");
    result.composer = stringValue(metadata, "composer", "sort_composer");
    result.albumTitle = stringValue(metadata, "album", "sort_album");
    result.showTitle = stringValue(metadata, "show", "sort_show");
    result.seasonNumber = integerValue(metadata, "season_number");
    result.episodeNumber = integerValue(metadata, "episode_sort");
    result.artwork = std::move(artwork);
    result.lyrics = stringValue(metadata, "lyrics");
    result.releaseYear = yearValue(metadata, "date");
    result.genre = stringValue(metadata, "genre");
    result.copyright = stringValue(metadata, "copyright");
    return result;
}

std::optional<ArtworkImage> loadArtwork(const AVStream& stream) {
    const AVPacket& picture = stream.attached_pic;
    if ((stream.disposition & AV_DISPOSITION_ATTACHED_PIC) == 0 || picture.size < 1) {
        return std::nullopt;
    }
    // The image shares the demuxer's bytes, so it needs its own reference to them: the format
    // context may go away long before the artwork does.
    AVBufferRefPointer buffer(picture.buf != nullptr ? av_buffer_ref(picture.buf) : nullptr);
    if (!buffer) {
        platform::logLine(platform::LogLevel::warning,
                          "Failed to create reference to buffer when loading artwork.");
        return std::nullopt;
    }
    std::optional<ArtworkImage> image = ArtworkImage::fromBuffer(
        std::move(buffer), picture.data, static_cast<std::size_t>(picture.size));
    if (!image) {
        AVCodecID codecID =
            stream.codecpar != nullptr ? stream.codecpar->codec_id : AV_CODEC_ID_NONE;
        platform::logLine(
            platform::LogLevel::warning,
            "Failed to load artwork image from data encoded by codec ID AVCodecID(rawValue: " +
                std::to_string(static_cast<int>(codecID)) + ").");
    }
    return image;
}

namespace {

// Every key makeOptionalMetadata reads, fallbacks included.
constexpr std::array<const char*, 19> kDescriptiveKeys{
    "media_type", "title",       "sort_name", "description",   "synopsis",
    "artist",     "sort_artist", "composer",  "sort_composer", "album",
    "sort_album", "show",        "sort_show", "season_number", "episode_sort",
    "lyrics",     "date",        "genre",     "copyright"};

bool holdsDescriptiveKeys(const AVDictionary* metadata) {
    return std::any_of(kDescriptiveKeys.begin(), kDescriptiveKeys.end(), [&](const char* key) {
        return av_dict_get(metadata, key, nullptr, 0) != nullptr;
    });
}

// The dictionary that holds the file's tags. Other containers' stream tags describe the stream
// (a Matroska track's "title" names the track, not the work), so only Ogg's stand in.
const AVDictionary* fileTags(const AVFormatContext& context,
                             std::optional<unsigned> mainStreamIndex) {
    const bool keepsTagsOnStreams =
        context.iformat != nullptr && std::string_view(context.iformat->name) == "ogg";
    if (!keepsTagsOnStreams || !mainStreamIndex || *mainStreamIndex >= context.nb_streams ||
        holdsDescriptiveKeys(context.metadata)) {
        return context.metadata;
    }
    return context.streams[*mainStreamIndex]->metadata;
}

}  // namespace

MediaSourceOptionalMetadata makeMetadata(const AVFormatContext& formatContextForVisualTracks,
                                         MediaType mediaType,
                                         std::optional<unsigned> mainStreamIndex) {
    std::optional<ArtworkImage> artwork;
    for (unsigned int index = 0; index < formatContextForVisualTracks.nb_streams && !artwork;
         ++index) {
        const AVStream* stream = formatContextForVisualTracks.streams[index];
        if (stream != nullptr) {
            artwork = loadArtwork(*stream);
        }
    }
    return makeOptionalMetadata(mediaType, fileTags(formatContextForVisualTracks, mainStreamIndex),
                                std::move(artwork));
}

}  // namespace quillon
