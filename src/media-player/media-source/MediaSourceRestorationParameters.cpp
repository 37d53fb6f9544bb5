#include "media-player/media-source/MediaSourceRestorationParameters.h"

#include <QByteArray>
#include <QCborMap>
#include <QLatin1String>
#include <QString>

#include "media-player/media-source/MediaSource.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/URLBookmark.h"

namespace quillon {

namespace {

const QLatin1String kURLBookmarkDataKey{"urlBookmarkData"};
const QLatin1String kURLKey{"url"};
const QLatin1String kRestorableStateKey{"restorableState"};

QByteArray toByteArray(const std::vector<std::uint8_t>& bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<qsizetype>(bytes.size()));
}

std::vector<std::uint8_t> toBytes(const QByteArray& bytes) {
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

}  // namespace

MediaSourceRestorationParameters::MediaSourceRestorationParameters(
    std::optional<std::vector<std::uint8_t>> urlBookmarkData, platform::URL url,
    std::vector<std::uint8_t> restorableState)
    : urlBookmarkData_(std::move(urlBookmarkData)),
      url_(std::move(url)),
      restorableState_(std::move(restorableState)) {}

std::shared_ptr<MediaSourceRestorationParameters> MediaSourceRestorationParameters::make(
    const MediaSource& mediaSource) {
    std::optional<std::vector<std::uint8_t>> bookmark;
    try {
        bookmark =
            platform::bookmarkData(mediaSource.fileReferenceURL().value_or(mediaSource.url()),
                                   platform::NSURLBookmarkCreationWithSecurityScope);
    } catch (const platform::Error&) {
        // Without a bookmark, restoration falls back to the stored URL.
    }

    platform::NSKeyedArchiver archiver(true);
    mediaSource.encodeRestorableState(archiver);
    archiver.finishEncoding();
    return std::make_shared<MediaSourceRestorationParameters>(
        std::move(bookmark), mediaSource.url(), archiver.encodedData());
}

QCborValue MediaSourceRestorationParameters::propertyListValue() const {
    QCborMap map;
    if (urlBookmarkData_) {
        map.insert(kURLBookmarkDataKey, toByteArray(*urlBookmarkData_));
    }
    // The URL's text is its whole coded form: it parses back into the same URL.
    map.insert(kURLKey, QString::fromStdString(url_.absoluteString()));
    map.insert(kRestorableStateKey, toByteArray(restorableState_));
    return map;
}

std::shared_ptr<MediaSourceRestorationParameters>
MediaSourceRestorationParameters::fromPropertyListValue(const QCborValue& value) {
    if (!value.isMap()) {
        return nullptr;
    }
    const QCborMap map = value.toMap();
    std::optional<std::vector<std::uint8_t>> bookmark;
    if (map.contains(kURLBookmarkDataKey)) {
        const QCborValue stored = map.value(kURLBookmarkDataKey);
        if (!stored.isByteArray()) {
            return nullptr;
        }
        bookmark = toBytes(stored.toByteArray());
    }
    const QCborValue urlText = map.value(kURLKey);
    const QCborValue state = map.value(kRestorableStateKey);
    if (!urlText.isString() || !state.isByteArray()) {
        return nullptr;
    }
    auto url = platform::URL::fromString(urlText.toString().toStdString());
    if (!url) {
        return nullptr;
    }
    return std::make_shared<MediaSourceRestorationParameters>(std::move(bookmark), std::move(*url),
                                                              toBytes(state.toByteArray()));
}

}  // namespace quillon
