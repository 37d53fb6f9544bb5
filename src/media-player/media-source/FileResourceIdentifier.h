#pragma once

#include <cstddef>
#include <optional>

#include "platform/foundation/FileIdentity.h"
#include "platform/foundation/URL.h"

namespace quillon {

// The identity of a file on its volume, by which one file reached through different paths
// (symbolic links, hard links) is recognised as the same file.
class FileResourceIdentifier {
public:
    explicit FileResourceIdentifier(platform::FileIdentity underlyingObject)
        : underlyingObject_(underlyingObject) {}

    // The identifier of the file the URL names, following symbolic links. Throws the platform's
    // error (NSError of NSPOSIXErrorDomain) when the file can't be examined; none when the URL
    // names no file (it is not a file URL).
    static std::optional<FileResourceIdentifier> make(const platform::URL& url);

    const platform::FileIdentity& underlyingObject() const { return underlyingObject_; }

    friend bool operator==(const FileResourceIdentifier&, const FileResourceIdentifier&) = default;

private:
    platform::FileIdentity underlyingObject_;
};

}  // namespace quillon

template <>
struct std::hash<quillon::FileResourceIdentifier> {
    std::size_t operator()(const quillon::FileResourceIdentifier& identifier) const noexcept {
        return std::hash<platform::FileIdentity>{}(identifier.underlyingObject());
    }
};
