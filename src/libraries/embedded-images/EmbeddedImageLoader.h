#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "platform/appkit/NSImage.h"

namespace embedded_images {

// Gives the images stored in the executable: a tar archive of PNG files (see
// EmbeddedImagesArchive), read once from memory on first use.
//
// A name is looked up as the best resolution among name@3x.png, name@2x.png and name.png, and
// as its dark variant among the same with "-Dark" before the scale. With a dark variant the image
// picks one of the two each time it is drawn, from the appearance at that moment. Entry paths
// are keys as they stand: an image in a folder or behind "./" is not found by its bare name.
//
// Nothing fails towards the caller: problems with the archive are logged and leave the images
// read so far; a name without an image gives null. The loader is used from the main thread
// (images are drawn there); only sharedLoader() may be called from any thread.
class EmbeddedImageLoader {
public:
    using Image = std::shared_ptr<platform::NSImage>;
    using ImageMap = std::map<std::string, Image>;
    // The archive's bytes; empty when there is none. They must outlive the loader.
    using ArchiveSource = std::function<std::span<const std::byte>()>;

    // The loader of the executable's own images, made on first call.
    static EmbeddedImageLoader& sharedLoader();

    // Reads the executable's archive.
    EmbeddedImageLoader();
    explicit EmbeddedImageLoader(ArchiveSource archiveSource);
    EmbeddedImageLoader(const EmbeddedImageLoader&) = delete;
    EmbeddedImageLoader& operator=(const EmbeddedImageLoader&) = delete;

    // The cached image of the name, else a newly composed one, which is then cached (null is
    // not, so a missing name is looked for again at every call).
    Image imageNamed(const std::string& name);
    // Composes the image of the name without the cache.
    Image makeImageNamed(const std::string& name);

    // Every image of the archive under its full entry path; read on first use, then kept.
    const ImageMap& nameToUnderlyingImageMap();
    // Reads the archive afresh.
    ImageMap makeNameToUnderlyingImageMap() const;
    const ImageMap& nameToImageMap() const { return nameToImageMap_; }

private:
    ArchiveSource archiveSource_;
    std::optional<ImageMap> nameToUnderlyingImageMap_;
    ImageMap nameToImageMap_;
};

}  // namespace embedded_images
