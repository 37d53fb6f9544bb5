#include "media-player/media-source/FontAttachments.h"

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <string>
#include <vector>

#include "platform/foundation/Log.h"

namespace quillon {
namespace {

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

bool endsWithIgnoringCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           equalIgnoringCase(text.substr(text.size() - suffix.size()), suffix);
}

std::string_view metadata(const AVStream& stream, const char* key) {
    const AVDictionaryEntry* entry = av_dict_get(stream.metadata, key, nullptr, 0);
    return entry != nullptr && entry->value != nullptr ? std::string_view(entry->value)
                                                       : std::string_view();
}

}  // namespace

bool isFontAttachment(std::string_view mimeType, std::string_view fileName) {
    static constexpr std::array<std::string_view, 7> fontTypes{"application/x-truetype-font",
                                                               "font/ttf",
                                                               "font/otf",
                                                               "font/collection",
                                                               "application/vnd.ms-opentype",
                                                               "application/x-font-ttf",
                                                               "application/font-sfnt"};
    static constexpr std::array<std::string_view, 3> fontExtensions{".ttf", ".otf", ".ttc"};
    return std::any_of(fontTypes.begin(), fontTypes.end(),
                       [&](std::string_view type) { return equalIgnoringCase(mimeType, type); }) ||
           std::any_of(fontExtensions.begin(), fontExtensions.end(),
                       [&](std::string_view extension) {
                           return endsWithIgnoringCase(fileName, extension);
                       });
}

std::shared_ptr<const platform::FontCollection> attachedFonts(
    const AVFormatContext& context, const platform::URL& url,
    std::shared_ptr<const platform::FontCollection> inherited) {
    const std::string path = url.path();
    const auto skipped = [&path](const std::string& name, const std::string& reason) {
        platform::logWarning("Skipped the font “{}” attached to {}: {}.", name, path, reason);
    };
    std::vector<platform::FontCollection::FontFile> files;
    for (unsigned i = 0; i < context.nb_streams; ++i) {
        const AVStream& stream = *context.streams[i];
        if (stream.codecpar == nullptr || stream.codecpar->codec_type != AVMEDIA_TYPE_ATTACHMENT) {
            continue;
        }
        const std::string_view fileName = metadata(stream, "filename");
        if (!isFontAttachment(metadata(stream, "mimetype"), fileName)) {
            continue;
        }
        std::string name = fileName.empty() ? fmt::format("stream {}", i) : std::string(fileName);
        const AVCodecParameters& parameters = *stream.codecpar;
        if (parameters.extradata == nullptr || parameters.extradata_size <= 0) {
            skipped(name, "it holds no data");
            continue;
        }
        files.push_back({std::move(name), std::vector<std::uint8_t>(
                                              parameters.extradata,
                                              parameters.extradata + parameters.extradata_size)});
    }
    if (files.empty()) {
        return inherited;
    }
    auto fonts = platform::FontCollection::make(std::move(files), std::move(inherited), skipped);
    platform::logDebug("Fonts attached to {}: {}.", path, fmt::join(fonts->familyNames(), ", "));
    return fonts;
}

}  // namespace quillon
