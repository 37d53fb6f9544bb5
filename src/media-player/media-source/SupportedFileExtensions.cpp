#include "media-player/media-source/SupportedFileExtensions.h"

#include <vector>

#include "platform/foundation/NeverDestroyed.h"
#include "platform/foundation/StringHelpers.h"

namespace quillon {

namespace {

void insertSubtitlesExtensions(const platform::UTTypeRegistry& registry,
                               const std::vector<platform::UTTypeDeclaration>& declarations,
                               std::unordered_set<std::string>& extensions) {
    for (const auto& declaration : declarations) {
        if (registry.conformsTo(declaration.identifier, subtitlesTypeIdentifier)) {
            const auto& tags = declaration.tags(platform::kUTTagClassFilenameExtension);
            extensions.insert(tags.begin(), tags.end());
        }
    }
}

}  // namespace

SupportedFileExtensions SupportedFileExtensions::make(
    const platform::UTTypeRegistry& registry, const platform::BundleTypeDeclarations& bundle) {
    std::unordered_set<std::string> extensions;
    insertSubtitlesExtensions(registry, bundle.imported, extensions);
    insertSubtitlesExtensions(registry, bundle.exported, extensions);
    for (auto& extension :
         registry.allTags(closedCaptionTypeIdentifier, platform::kUTTagClassFilenameExtension)) {
        extensions.insert(std::move(extension));
    }
    return SupportedFileExtensions(std::move(extensions));
}

SupportedFileExtensions::SupportedFileExtensions(std::unordered_set<std::string> declared)
    : declared_(std::move(declared)) {
    for (const auto& extension : declared_) {
        lowercased_.insert(platform::lowercased(extension));
    }
}

bool SupportedFileExtensions::contains(std::string_view extension) const {
    return lowercased_.contains(platform::lowercased(extension));
}

const SupportedFileExtensions& supportedFileExtensions() {
    // Thread-safe one-time initialisation; never destroyed, as scans may still run at exit.
    static platform::NeverDestroyed<SupportedFileExtensions> extensions(
        SupportedFileExtensions::make(platform::UTTypeRegistry::shared(),
                                      platform::mainBundleTypeDeclarations()));
    return extensions.get();
}

}  // namespace quillon
