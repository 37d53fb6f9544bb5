#include "libraries/embedded-images/EmbeddedImagesArchive.h"

// The archive that the build made from the images folder goes into an allocated, read-only
// section of its own. Whatever links the loader links this object, and the section with it.
asm(".pushsection quillon_images_tar,\"a\",@progbits\n"
    ".incbin \"" QUILLON_EMBEDDED_IMAGES_ARCHIVE
    "\"\n"
    ".popsection\n");

// Weak, so that an executable without the section still links: both are then null.
extern "C" {
extern const std::byte __start_quillon_images_tar[] __attribute__((weak));
extern const std::byte __stop_quillon_images_tar[] __attribute__((weak));
}

namespace embedded_images {

std::span<const std::byte> embeddedImagesArchive() {
    const std::byte* start = __start_quillon_images_tar;
    const std::byte* stop = __stop_quillon_images_tar;
    if (start == nullptr || stop == nullptr || stop <= start) {
        return {};
    }
    return {start, stop};
}

}  // namespace embedded_images
