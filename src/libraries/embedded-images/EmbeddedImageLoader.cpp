#include "libraries/embedded-images/EmbeddedImageLoader.h"

#include <archive.h>
#include <archive_entry.h>

#include <QByteArrayView>
#include <QStringDecoder>
#include <string_view>
#include <vector>

#include "libraries/embedded-images/EmbeddedImagesArchive.h"
#include "platform/appkit/NSAppearance.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NeverDestroyed.h"

namespace embedded_images {

namespace {

constexpr std::string_view kDarkSuffix = "-Dark";
constexpr std::string_view kPathExtension = ".png";

std::string archiveErrorText(archive* a) {
    const char* text = archive_error_string(a);
    return text != nullptr ? text : "unknown error";
}

bool isValidUTF8(std::string_view text) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    [[maybe_unused]] const QString decoded = decoder.decode(QByteArrayView(text));
    return !decoder.hasError();
}

std::string_view lastPathComponent(std::string_view path) {
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// Pixels per point, from the "@2x" or "@3x" that ends the file name before its extension.
double scaleOfPath(std::string_view path) {
    std::string_view name = lastPathComponent(path);
    if (const auto dot = name.rfind('.'); dot != std::string_view::npos) {
        name = name.substr(0, dot);
    }
    if (name.ends_with("@3x")) {
        return 3.0;
    }
    if (name.ends_with("@2x")) {
        return 2.0;
    }
    return 1.0;
}

// Reads the current entry's data, which one call may deliver only in part; false unless all
// `size` bytes came.
bool readEntryData(archive* a, std::vector<std::byte>& buffer) {
    std::size_t total = 0;
    while (total < buffer.size()) {
        const la_ssize_t count = archive_read_data(a, buffer.data() + total, buffer.size() - total);
        if (count <= 0) {
            return false;
        }
        total += static_cast<std::size_t>(count);
    }
    return true;
}

void addEntry(archive* a, archive_entry* entry, EmbeddedImageLoader::ImageMap& images) {
    const char* rawPath = archive_entry_pathname(entry);
    const std::string_view path = rawPath != nullptr ? rawPath : "";
    if (rawPath == nullptr || !isValidUTF8(path)) {
        platform::logLine(platform::LogLevel::warning,
                          "Archive entry path is not a valid UTF-8 string.");
        return;
    }
    if (path.ends_with('/')) {
        return;
    }
    // Hidden files, among them the "._" companions that some archivers add beside each file.
    if (lastPathComponent(path).starts_with('.')) {
        return;
    }
    const std::string key(path);
    if (images.contains(key)) {
        platform::logWarning("Found duplicate archive entry for path `{}`.", key);
        return;
    }
    const la_int64_t size = archive_entry_size(entry);
    if (size <= 0) {
        platform::logWarning("Byte count is zero or negative for archive entry with path `{}`.",
                             key);
        return;
    }
    std::vector<std::byte> data(static_cast<std::size_t>(size));
    if (!readEntryData(a, data)) {
        platform::logWarning("Failed to read data for archive entry with path `{}`.", key);
        return;
    }
    auto image = platform::NSImage::imageWithData(data, scaleOfPath(path));
    if (image == nullptr) {
        platform::logWarning("Failed to make image from data for archive entry with path `{}`.",
                             key);
        return;
    }
    images.emplace(key, std::move(image));
}

void readArchive(std::span<const std::byte> bytes, EmbeddedImageLoader::ImageMap& images) {
    archive* a = archive_read_new();
    if (a == nullptr) {
        platform::logLine(platform::LogLevel::warning, "Failed to make an archive object.");
        return;
    }
    if (archive_read_support_format_tar(a) != ARCHIVE_OK) {
        platform::logWarning("Failed to add TAR format support to archive object: {}.",
                             archiveErrorText(a));
    } else if (archive_read_open_memory(a, bytes.data(), bytes.size()) != ARCHIVE_OK) {
        platform::logWarning("Failed to open archive: {}.", archiveErrorText(a));
    } else {
        while (true) {
            archive_entry* entry = nullptr;
            const int result = archive_read_next_header(a, &entry);
            if (result == ARCHIVE_EOF) {
                break;
            }
            // A warning comes with an entry that can be read.
            if (result != ARCHIVE_OK && result != ARCHIVE_WARN) {
                platform::logWarning("Failed to read next archive entry: {}.", archiveErrorText(a));
                break;
            }
            addEntry(a, entry, images);
        }
    }
    // Closing first leaves the error text readable; freeing then cannot fail for a read archive.
    if (archive_read_close(a) != ARCHIVE_OK) {
        platform::logWarning("Failed to free archive: {}.", archiveErrorText(a));
    }
    archive_read_free(a);
}

}  // namespace

EmbeddedImageLoader& EmbeddedImageLoader::sharedLoader() {
    static platform::NeverDestroyed<EmbeddedImageLoader> loader;
    return loader.get();
}

EmbeddedImageLoader::EmbeddedImageLoader() : EmbeddedImageLoader(embeddedImagesArchive) {}

EmbeddedImageLoader::EmbeddedImageLoader(ArchiveSource archiveSource)
    : archiveSource_(std::move(archiveSource)) {}

EmbeddedImageLoader::Image EmbeddedImageLoader::imageNamed(const std::string& name) {
    if (const auto found = nameToImageMap_.find(name); found != nameToImageMap_.end()) {
        return found->second;
    }
    Image image = makeImageNamed(name);
    if (image != nullptr) {
        nameToImageMap_.emplace(name, image);
    }
    return image;
}

EmbeddedImageLoader::Image EmbeddedImageLoader::makeImageNamed(const std::string& name) {
    const ImageMap& images = nameToUnderlyingImageMap();
    const auto firstFound = [&](const std::string& base) -> Image {
        for (const char* scale : {"@3x", "@2x", ""}) {
            const auto found = images.find(base + scale + std::string(kPathExtension));
            if (found != images.end()) {
                return found->second;
            }
        }
        return nullptr;
    };

    Image light = firstFound(name);
    if (light == nullptr) {
        return nullptr;
    }
    Image dark = firstFound(name + std::string(kDarkSuffix));
    if (dark == nullptr) {
        return light;
    }
    return std::make_shared<platform::NSImage>(
        light->size(), [light, dark](QPainter& painter, const platform::CGRect& destination) {
            (platform::isDarkAppearance() ? dark : light)->drawInRect(painter, destination);
            return true;
        });
}

const EmbeddedImageLoader::ImageMap& EmbeddedImageLoader::nameToUnderlyingImageMap() {
    if (!nameToUnderlyingImageMap_) {
        nameToUnderlyingImageMap_ = makeNameToUnderlyingImageMap();
    }
    return *nameToUnderlyingImageMap_;
}

EmbeddedImageLoader::ImageMap EmbeddedImageLoader::makeNameToUnderlyingImageMap() const {
    ImageMap images;
    const std::span<const std::byte> bytes =
        archiveSource_ ? archiveSource_() : std::span<const std::byte>();
    if (bytes.empty()) {
        platform::logWarning("Unable to find `{}` section in executable.", kImagesSectionName);
        return images;
    }
    readArchive(bytes, images);
    return images;
}

}  // namespace embedded_images
