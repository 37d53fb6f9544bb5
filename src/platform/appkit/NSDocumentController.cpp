#include "platform/appkit/NSDocumentController.h"

#include <algorithm>
#include <cctype>

#include "platform/appkit/NSDocument.h"
#include "platform/appkit/NSOpenPanel.h"
#include "platform/foundation/DeclaredTypes.h"
#include "platform/foundation/FileIdentity.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/UTType.h"

namespace platform {
namespace {

NSDocumentController* sharedController = nullptr;

std::string lowercased(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Every declared type, the application's first.
std::vector<const UTTypeDeclaration*> allDeclarations() {
    std::vector<const UTTypeDeclaration*> declarations;
    const auto& bundle = mainBundleTypeDeclarations();
    for (const auto* list : {&bundle.exported, &bundle.imported, &systemTypeDeclarations()}) {
        for (const auto& declaration : *list) {
            declarations.push_back(&declaration);
        }
    }
    return declarations;
}

std::optional<FileIdentity> fileIdentity(const URL& url) {
    if (!url.isFileURL()) {
        return std::nullopt;
    }
    try {
        return FileIdentity::ofFile(url.path());
    } catch (...) {
        return std::nullopt;
    }
}

}  // namespace

NSDocumentController::NSDocumentController() {
    if (sharedController == nullptr) {
        sharedController = this;
    }
}

NSDocumentController::~NSDocumentController() {
    for (const auto& document : documents_) {
        if (document->documentController() == this) {
            document->setDocumentController(nullptr);
        }
    }
    if (sharedController == this) {
        sharedController = nullptr;
    }
}

NSDocumentController* NSDocumentController::shared() {
    return sharedController;
}

std::shared_ptr<NSDocument> NSDocumentController::documentForURL(const URL& url) const {
    const std::string path = url.path();
    // A symbolic link, a hard link or another spelling of the path names the same file.
    const std::optional<FileIdentity> identity = fileIdentity(url);
    for (const auto& document : documents_) {
        const auto& documentURL = document->fileURL();
        if (!documentURL || documentURL->isFileURL() != url.isFileURL()) {
            continue;
        }
        if (documentURL->path() == path) {
            return document;
        }
        if (identity && fileIdentity(*documentURL) == identity) {
            return document;
        }
    }
    return nullptr;
}

void NSDocumentController::addDocument(std::shared_ptr<NSDocument> document) {
    if (!document ||
        std::find(documents_.begin(), documents_.end(), document) != documents_.end()) {
        return;
    }
    document->setDocumentController(this);
    documents_.push_back(std::move(document));
}

void NSDocumentController::removeDocument(NSDocument* document) {
    auto position = std::find_if(documents_.begin(), documents_.end(),
                                 [document](const auto& each) { return each.get() == document; });
    if (position == documents_.end()) {
        return;
    }
    // The caller may hold the last other reference; the document goes when it lets go.
    auto removed = std::move(*position);
    documents_.erase(position);
    removed->setDocumentController(nullptr);
}

std::vector<std::string> NSDocumentController::documentContentTypes() const {
    std::vector<std::string> types;
    for (const auto& documentType : mainBundleDocumentTypes()) {
        types.insert(types.end(), documentType.contentTypes.begin(),
                     documentType.contentTypes.end());
    }
    return types;
}

std::vector<std::string> NSDocumentController::documentFileExtensions() const {
    const auto contentTypes = documentContentTypes();
    std::vector<std::string> extensions;
    for (const auto* declaration : allDeclarations()) {
        const bool isDocumentType =
            std::any_of(contentTypes.begin(), contentTypes.end(), [&](const std::string& type) {
                return UTTypeConformsTo(declaration->identifier, type);
            });
        if (!isDocumentType) {
            continue;
        }
        for (const auto& extension : declaration->tags(kUTTagClassFilenameExtension)) {
            if (std::find(extensions.begin(), extensions.end(), extension) == extensions.end()) {
                extensions.push_back(extension);
            }
        }
    }
    return extensions;
}

std::optional<std::string> NSDocumentController::typeForContentsOfURL(const URL& url) const {
    const auto contentTypes = documentContentTypes();
    if (contentTypes.empty()) {
        return std::nullopt;
    }
    const std::string extension = lowercased(url.pathExtension());
    for (const auto* declaration : allDeclarations()) {
        const auto& extensions = declaration->tags(kUTTagClassFilenameExtension);
        const bool matches =
            std::any_of(extensions.begin(), extensions.end(),
                        [&](const std::string& each) { return lowercased(each) == extension; });
        if (!matches) {
            continue;
        }
        for (const auto& type : contentTypes) {
            if (UTTypeConformsTo(declaration->identifier, type)) {
                return declaration->identifier;
            }
        }
    }
    // The demuxer knows many more containers than the declarations name: a file of an unknown
    // kind is tried as media, and the load tells the user when it is none.
    return contentTypes.front();
}

void NSDocumentController::openDocument(QObject*) {
    auto panel = NSOpenPanel::openPanel();
    panel->setCanChooseFiles(true);
    panel->setCanChooseDirectories(false);
    panel->setAllowsMultipleSelection(true);
    beginOpenPanel(panel, documentFileExtensions(), [this, panel](NSModalResponse response) {
        if (response != NSModalResponseOK) {
            return;
        }
        for (const auto& url : panel->URLs()) {
            openDocumentWithContentsOfURL(url, true, nullptr);
        }
    });
}

void NSDocumentController::beginOpenPanel(std::shared_ptr<NSOpenPanel> panel,
                                          std::vector<std::string> extensions,
                                          std::function<void(NSModalResponse)> completion) {
    panel->setAllowedFileTypes(std::move(extensions));
    panel->begin(std::move(completion));
}

std::shared_ptr<NSDocument> NSDocumentController::makeDocumentForURL(
    const URL& url, std::shared_ptr<const Error>& error) {
    const auto type = typeForContentsOfURL(url);
    std::shared_ptr<NSDocument> document;
    if (type && documentFactory_) {
        document = documentFactory_(*type);
    }
    if (!document) {
        error = std::make_shared<NSError>(
            NSError("NSCocoaErrorDomain", 256,
                    {{"NSLocalizedDescription",
                      std::string("The document “" + url.lastPathComponent() +
                                  "” could not be opened because no application document type "
                                  "matches it.")}}));
        return nullptr;
    }
    document->setFileURL(url);
    document->setFileType(type);
    try {
        document->readFromURL(url, *type);
    } catch (...) {
        error = currentError();
        return nullptr;
    }
    return document;
}

void NSDocumentController::openDocumentWithContentsOfURL(const URL& url, bool display,
                                                         OpenCompletion completion) {
    if (auto document = documentForURL(url)) {
        if (display) {
            document->showWindows();
        }
        if (completion) {
            completion(document, true, nullptr);
        }
        return;
    }
    std::shared_ptr<const Error> error;
    auto document = makeDocumentForURL(url, error);
    if (!document) {
        if (completion) {
            completion(nullptr, false, error);
        } else {
            logError("Failed to open the document at {}: {}", url.path(),
                     error ? error->localizedDescription() : std::string("unknown error"));
        }
        return;
    }
    addDocument(document);
    document->makeWindowControllers();
    if (display) {
        document->showWindows();
    }
    if (completion) {
        completion(document, false, nullptr);
    }
}

void NSDocumentController::reopenDocumentForURL(const URL&, const URL& contentsURL, bool display,
                                                OpenCompletion completion) {
    NSDocumentController::openDocumentWithContentsOfURL(contentsURL, display,
                                                        std::move(completion));
}

bool NSDocumentController::tryToPerform(std::string_view action, QObject* sender) {
    if (action == "openDocument:") {
        openDocument(sender);
        return true;
    }
    return false;
}

}  // namespace platform
