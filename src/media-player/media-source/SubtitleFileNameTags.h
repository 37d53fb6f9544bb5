#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "media-player/media-source/MediaCharacteristics.h"
#include "platform/foundation/URL.h"

namespace quillon {

// What a subtitle file's name says about its subtitles, in the dot-separated tags between the
// media file's name and the extension ("Movie.pt-BR.forced.srt", "Movie.eng.sdh.srt"). Subtitle
// formats without track metadata (SRT, WebVTT, VobSub) have no other place to say it.
struct SubtitleFileNameTags {
    // Canonical identifiers of the tags that name a language (ISO 639-1 or 639-2 codes, BCP 47
    // tags), in the name's order.
    std::vector<std::string> languageCodes;
    // The tags that are neither a language nor a flag, joined by full stops as written; absent
    // when there are none.
    std::optional<std::string> title;
    // "forced": the file only translates what the picture or the dialogue does not.
    bool isForced = false;
    // "sdh", "cc" or "hi": subtitles for the hard of hearing, which also describe music and
    // sound.
    MediaCharacteristics mediaCharacteristics;

    bool isEmpty() const {
        return languageCodes.empty() && !title && !isForced && mediaCharacteristics.isEmpty();
    }
};

// The tags of `subtitleFileURL`'s name. They follow the media file's name where the subtitle
// file's name begins with it, else the name's first dot-separated part (a file the user chose
// whose name does not follow the media's).
SubtitleFileNameTags subtitleFileNameTags(const platform::URL& subtitleFileURL,
                                          const platform::URL& mediaFileURL);

// The tags themselves, in the name's order. "hi" is a flag next to a language tag and Hindi
// alone.
SubtitleFileNameTags parseSubtitleFileNameTags(const std::vector<std::string_view>& tags);

}  // namespace quillon
