#include "media-player/media-source/FileResourceIdentifier.h"

namespace quillon {

std::optional<FileResourceIdentifier> FileResourceIdentifier::make(const platform::URL& url) {
    if (!url.isFileURL()) {
        return std::nullopt;
    }
    return FileResourceIdentifier(platform::FileIdentity::ofFile(url.path()));
}

}  // namespace quillon
