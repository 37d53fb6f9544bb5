#include "media-player/media-source/MediaSourceLoadError.h"

#include <vector>

#include <fmt/format.h>

#include "platform/foundation/FatalError.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/StringFormat.h"

namespace quillon {

using platform::localizedFormat;
using platform::localizedString;

MediaSourceLoadError MediaSourceLoadError::unsupportedURLScheme(std::string scheme) {
    MediaSourceLoadError error(Kind::unsupportedURLScheme);
    error.scheme_ = std::move(scheme);
    return error;
}

MediaSourceLoadError MediaSourceLoadError::failedToOpenURL(platform::URL url,
                                                           const platform::Error& underlying) {
    MediaSourceLoadError error(Kind::failedToOpenURL);
    error.url_ = std::move(url);
    error.underlyingError_ = underlying.clone();
    return error;
}

MediaSourceLoadError MediaSourceLoadError::noDecodableTracks(std::set<MediaType> mainMediaTypes) {
    MediaSourceLoadError error(Kind::noDecodableTracks);
    error.mainMediaTypes_ = std::move(mainMediaTypes);
    return error;
}

MediaSourceLoadError MediaSourceLoadError::failedToSeek(const platform::Error& underlying) {
    MediaSourceLoadError error(Kind::failedToSeek);
    error.underlyingError_ = underlying.clone();
    return error;
}

MediaSourceLoadError MediaSourceLoadError::inconsistentReads() {
    return MediaSourceLoadError(Kind::inconsistentReads);
}

MediaSourceLoadError MediaSourceLoadError::failedToReadMediaDuration() {
    return MediaSourceLoadError(Kind::failedToReadMediaDuration);
}

void MediaSourceLoadError::requireKind(bool matches, const char* payload) const {
    platform::precondition(
        matches, fmt::format("MediaSource.LoadError case {} has no {}.", code(), payload));
}

const std::string& MediaSourceLoadError::scheme() const {
    requireKind(kind_ == Kind::unsupportedURLScheme, "scheme");
    return scheme_;
}

const platform::URL& MediaSourceLoadError::url() const {
    requireKind(kind_ == Kind::failedToOpenURL, "URL");
    return *url_;
}

const std::shared_ptr<const platform::Error>& MediaSourceLoadError::underlyingError() const {
    requireKind(kind_ == Kind::failedToOpenURL || kind_ == Kind::failedToSeek, "underlying error");
    return underlyingError_;
}

const std::set<MediaType>& MediaSourceLoadError::mainMediaTypes() const {
    requireKind(kind_ == Kind::noDecodableTracks, "main media types");
    return mainMediaTypes_;
}

std::optional<std::string> MediaSourceLoadError::errorDescription() const {
    switch (kind_) {
        case Kind::unsupportedURLScheme:
        case Kind::noDecodableTracks:
        case Kind::inconsistentReads:
        case Kind::failedToReadMediaDuration:
            return platform::localizedString(
                "Unable to load the media.",
                "The error description that is shown when the media failed to be loaded.");
        case Kind::failedToOpenURL: {
            const std::string target =
                url_->isFileURL() ? platform::localizedString(
                                        "file",
                                        "A component of the error description \"Unable to open the "
                                        "file\".")
                                  : platform::localizedString(
                                        "URL",
                                        "A component of the error description \"Unable to open the "
                                        "URL\".");
            return localizedFormat(
                platform::localizedString(
                    "Unable to open the %1$@.",
                    "The format string of the error description that is shown when a "
                    "media URL fails to be opened. Argument 1 is either \"file\" or "
                    "\"URL\"."),
                target);
        }
        case Kind::failedToSeek:
            return platform::localizedString(
                "Unable to seek the media.",
                "The error description that is shown when the media failed to be seeked.");
    }
    return std::nullopt;
}

std::optional<std::string> MediaSourceLoadError::failureReason() const {
    switch (kind_) {
        case Kind::unsupportedURLScheme:
            return localizedFormat(
                platform::localizedString(
                    "The URL scheme `%1$@` is currently unsupported.",
                    "The format string of the failure reason that is shown when media "
                    "is loaded from an unsupported URL scheme. Argument 1 is the URL "
                    "scheme."),
                scheme_);
        case Kind::failedToOpenURL:
        case Kind::failedToSeek:
            return detailedDescription(*underlyingError_);
        case Kind::noDecodableTracks:
            return localizedFormat(
                platform::localizedString(
                    "The media does not contain any decodable %1$@ tracks.",
                    "The format string of the failure reason that is shown when the "
                    "media does not contain any decodable video/audio/subtitle tracks. "
                    "Argument 1 can be “video/audio/subtitle”, “video/audio”, or "
                    "“subtitle”."),
                trackKindPhrase(mainMediaTypes_));
        case Kind::inconsistentReads:
            return platform::localizedString(
                "The file was modified while trying to read it.",
                "The failure reason that is shown when a modification was "
                "detected while trying to read a media file.");
        case Kind::failedToReadMediaDuration:
            return platform::localizedString(
                "Failed to find the duration of the media.",
                "The failure reason that is shown when the media does not contain a duration.");
    }
    return std::nullopt;
}

std::optional<std::string> MediaSourceLoadError::recoverySuggestion() const {
    switch (kind_) {
        case Kind::unsupportedURLScheme:
            return platform::localizedString(
                "Please submit a feature request.",
                "The recovery suggestion that is shown when media is loaded from "
                "an unsupported URL scheme.");
        case Kind::inconsistentReads:
            return platform::localizedString(
                "Please try again.",
                "The recovery suggestion that is shown when a modification was "
                "detected while trying to read a media file.");
        case Kind::failedToOpenURL:
        case Kind::noDecodableTracks:
        case Kind::failedToSeek:
        case Kind::failedToReadMediaDuration:
            return std::nullopt;
    }
    return std::nullopt;
}

std::shared_ptr<const platform::Error> MediaSourceLoadError::clone() const {
    return std::make_shared<MediaSourceLoadError>(*this);
}

std::string MediaSourceLoadError::debugDescription() const {
    switch (kind_) {
        case Kind::unsupportedURLScheme:
            return fmt::format("unsupportedURLScheme(\"{}\")", scheme_);
        case Kind::failedToOpenURL:
            return fmt::format("failedToOpenURL({}, {})", url_->absoluteString(),
                               underlyingError_->debugDescription());
        case Kind::noDecodableTracks: {
            std::vector<const char*> names;
            for (MediaType type : mainMediaTypes_) {
                names.push_back(type == MediaType::video   ? "video"
                                : type == MediaType::audio ? "audio"
                                                           : "subtitles");
            }
            return fmt::format("noDecodableTracks(mainMediaTypes: [{}])", fmt::join(names, ", "));
        }
        case Kind::failedToSeek:
            return fmt::format("failedToSeek({})", underlyingError_->debugDescription());
        case Kind::inconsistentReads:
            return "inconsistentReads";
        case Kind::failedToReadMediaDuration:
            return "failedToReadMediaDuration";
    }
    return "unknown";
}

std::string trackKindPhrase(const std::set<MediaType>& mediaTypes) {
    // std::set of the enumeration already iterates in declaration order.
    std::string phrase;
    for (MediaType type : mediaTypes) {
        if (!phrase.empty()) {
            phrase +=
                platform::localizedString("/",
                                          "Part of the sentence fragment “video/audio/subtitle "
                                          "tracks”.");
        }
        switch (type) {
            case MediaType::video:
                phrase += platform::localizedString("video", "Part of the phrase “video tracks”.");
                break;
            case MediaType::audio:
                phrase += platform::localizedString("audio", "Part of the phrase “audio tracks”.");
                break;
            case MediaType::subtitles:
                phrase +=
                    platform::localizedString("subtitle", "Part of the phrase “subtitle tracks”.");
                break;
        }
    }
    return phrase;
}

void stopOnErrorThatIsNotALoadError() {
    const std::shared_ptr<const platform::Error> error = platform::currentError();
    platform::fatalError("Caught error that is not of type `MediaSource.LoadError`: " +
                         error->debugDescription() + ".");
}

std::string detailedDescription(const platform::Error& error) {
    if (const auto* localized = dynamic_cast<const platform::LocalizedError*>(&error)) {
        std::string text;
        for (const auto& part : {localized->errorDescription(), localized->failureReason(),
                                 localized->recoverySuggestion()}) {
            if (part) {
                if (!text.empty()) {
                    text += ' ';
                }
                text += *part;
            }
        }
        return text;
    }
    // Bridged to the platform's error object: an NSError keeps its user info, any other error
    // bridges with none.
    if (const auto* nsError = dynamic_cast<const platform::NSError*>(&error)) {
        if (auto it = nsError->userInfo().find(platform::NSLocalizedDescriptionKey);
            it != nsError->userInfo().end()) {
            if (const auto* text = std::get_if<std::string>(&it->second)) {
                return *text;
            }
        }
    }
    if (auto provider = platform::NSError::userInfoValueProvider(error.domain())) {
        const platform::NSError bridged = dynamic_cast<const platform::NSError*>(&error) != nullptr
                                              ? *dynamic_cast<const platform::NSError*>(&error)
                                              : platform::NSError(error.domain(), error.code());
        if (auto value = provider(bridged, platform::NSLocalizedDescriptionKey)) {
            if (const auto* text = std::get_if<std::string>(&*value)) {
                return *text;
            }
        }
    }
    return error.debugDescription();
}

}  // namespace quillon
