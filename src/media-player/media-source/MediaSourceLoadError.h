#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "media-player/media-types/MediaType.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/URL.h"

namespace quillon {

// Why a file could not become a usable media source (MediaSource::LoadError). The player shows it
// as an alert: the description as the message, the failure reason followed by the recovery
// suggestion as the informative text. The texts are looked up in the user's language each time
// they are asked for.
class MediaSourceLoadError final : public platform::LocalizedError {
public:
    // The cases in declaration order; the order is also the bridged error code.
    enum class Kind : std::int32_t {
        unsupportedURLScheme,
        failedToOpenURL,
        noDecodableTracks,
        failedToSeek,
        inconsistentReads,
        failedToReadMediaDuration,
    };

    static constexpr const char* errorDomain = "QuillonPlayer.MediaSource.LoadError";

    // Not a file URL; the scheme as the URL spells it, empty when it has none.
    static MediaSourceLoadError unsupportedURLScheme(std::string scheme);
    // Opening or probing the file failed with `error`.
    static MediaSourceLoadError failedToOpenURL(platform::URL url, const platform::Error& error);
    // No stream became a track of the kinds looked for.
    static MediaSourceLoadError noDecodableTracks(std::set<MediaType> mainMediaTypes);
    // Seeking the new source back to its start failed with `error`.
    static MediaSourceLoadError failedToSeek(const platform::Error& error);
    // The two openings of one file disagreed.
    static MediaSourceLoadError inconsistentReads();
    // The file has no duration and one was required.
    static MediaSourceLoadError failedToReadMediaDuration();

    Kind kind() const { return kind_; }

    // Payloads; each may only be read for the cases that carry it.
    const std::string& scheme() const;                                      // unsupportedURLScheme
    const platform::URL& url() const;                                       // failedToOpenURL
    const std::shared_ptr<const platform::Error>& underlyingError() const;  // …OpenURL, …Seek
    const std::set<MediaType>& mainMediaTypes() const;                      // noDecodableTracks

    std::optional<std::string> errorDescription() const override;
    std::optional<std::string> failureReason() const override;
    std::optional<std::string> recoverySuggestion() const override;

    std::string domain() const override { return errorDomain; }
    std::int64_t code() const override { return static_cast<std::int64_t>(kind_); }
    std::shared_ptr<const platform::Error> clone() const override;
    std::string debugDescription() const override;

private:
    explicit MediaSourceLoadError(Kind kind) : kind_(kind) {}
    void requireKind(bool matches, const char* payload) const;

    Kind kind_;
    std::string scheme_;
    std::optional<platform::URL> url_;
    std::shared_ptr<const platform::Error> underlyingError_;
    std::set<MediaType> mainMediaTypes_;
};

// The kinds of a set of media types as the failure reason names them: localized "video",
// "audio" and "subtitle", in that order, joined by the localized "/" ("video/audio/subtitle").
std::string trackKindPhrase(const std::set<MediaType>& mediaTypes);

// Inside a catch block around an opening that may only fail with a MediaSourceLoadError: stops
// the process, naming the error in flight, which broke that assumption.
[[noreturn]] void stopOnErrorThatIsNotALoadError();

// The one-paragraph text of any error: a localized error's description, failure reason and
// recovery suggestion joined by spaces; else the localized description its user info or its
// domain's provider supplies; else its default textual form.
std::string detailedDescription(const platform::Error& error);

}  // namespace quillon
