#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include <QCborValue>

#include "platform/foundation/URL.h"

namespace quillon {

class MediaSource;

// What it takes to bring back one attached subtitle file after a relaunch: where the file was,
// a bookmark that finds it again if it was renamed since, and the subtitle source's own
// restorable state. Stored in the main source's archive as a property list, a dictionary of
// "urlBookmarkData" (only when a bookmark could be made), "url" and "restorableState".
class MediaSourceRestorationParameters {
public:
    MediaSourceRestorationParameters(std::optional<std::vector<std::uint8_t>> urlBookmarkData,
                                     platform::URL url, std::vector<std::uint8_t> restorableState);

    // The record of a subtitle source as it stands now.
    static std::shared_ptr<MediaSourceRestorationParameters> make(const MediaSource& mediaSource);

    // Absent when the platform could not make a bookmark of the file.
    const std::optional<std::vector<std::uint8_t>>& urlBookmarkData() const {
        return urlBookmarkData_;
    }
    const platform::URL& url() const { return url_; }
    // A keyed archive (secure coding) of the subtitle source's state.
    const std::vector<std::uint8_t>& restorableState() const { return restorableState_; }

    QCborValue propertyListValue() const;
    // Null unless the value is a dictionary with a well-formed "url" and "restorableState" (and
    // "urlBookmarkData", when present, is data).
    static std::shared_ptr<MediaSourceRestorationParameters> fromPropertyListValue(
        const QCborValue& value);

private:
    std::optional<std::vector<std::uint8_t>> urlBookmarkData_;
    platform::URL url_;
    std::vector<std::uint8_t> restorableState_;
};

}  // namespace quillon
