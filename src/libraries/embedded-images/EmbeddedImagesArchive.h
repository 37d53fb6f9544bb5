#pragma once

#include <cstddef>
#include <span>

namespace embedded_images {

// The ELF section of the executable that holds the tar archive of images. Its name is a C
// identifier, so the linker marks its bounds with __start_ and __stop_ symbols.
inline constexpr const char* kImagesSectionName = "quillon_images_tar";

// The archive's bytes in the running executable; empty when the executable has no such section.
std::span<const std::byte> embeddedImagesArchive();

}  // namespace embedded_images
