#pragma once

#include <string>
#include <vector>

#include "platform/foundation/UTType.h"

// The type declarations a process starts with. On the other platform the application's come from
// its information property list and the system's from its type registry; here both are tables
// compiled into the platform layer.
namespace platform {

// The declarations of a bundle's information property list.
struct BundleTypeDeclarations {
    // Types the bundle uses but does not own (kUTImportedTypeDeclarationsKey).
    std::vector<UTTypeDeclaration> imported;
    // Types the bundle owns (kUTExportedTypeDeclarationsKey).
    std::vector<UTTypeDeclaration> exported;
};

// One entry of the bundle's document types: the content types it opens as documents.
struct BundleDocumentType {
    std::string name;
    std::string role;  // "Viewer"
    std::vector<std::string> contentTypes;
};

const BundleTypeDeclarations& mainBundleTypeDeclarations();
const std::vector<BundleDocumentType>& mainBundleDocumentTypes();

// The types the system itself knows.
const std::vector<UTTypeDeclaration>& systemTypeDeclarations();

}  // namespace platform
