#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/appkit/NSAlert.h"
#include "platform/appkit/NSResponder.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/URL.h"

namespace platform {

class NSDocument;
class NSOpenPanel;

// Makes, opens and keeps the application's documents. The first controller made becomes the
// shared one. A file that is already open (the same device and inode, whatever the path) is
// brought to the front instead of being opened twice. Main thread only.
class NSDocumentController : public NSResponder {
public:
    // (document or none, whether it was already open, error or none)
    using OpenCompletion =
        std::function<void(std::shared_ptr<NSDocument> document, bool documentWasAlreadyOpen,
                           std::shared_ptr<const Error> error)>;
    using DocumentFactory = std::function<std::shared_ptr<NSDocument>(const std::string& typeName)>;

    NSDocumentController();
    ~NSDocumentController() override;
    NSDocumentController(const NSDocumentController&) = delete;
    NSDocumentController& operator=(const NSDocumentController&) = delete;

    // The first controller made (still alive); null before.
    static NSDocumentController* shared();

    const std::vector<std::shared_ptr<NSDocument>>& documents() const { return documents_; }
    std::shared_ptr<NSDocument> documentForURL(const URL& url) const;
    void addDocument(std::shared_ptr<NSDocument> document);
    void removeDocument(NSDocument* document);

    // Makes the documents of the application's declared document types.
    void setDocumentFactory(DocumentFactory factory) { documentFactory_ = std::move(factory); }
    // The content types the application opens, and their file-name extensions.
    std::vector<std::string> documentContentTypes() const;
    std::vector<std::string> documentFileExtensions() const;
    // The content type of the file, of the declared document types; none when it is not one.
    std::optional<std::string> typeForContentsOfURL(const URL& url) const;

    // Shows the Open panel and opens what the user chose.
    void openDocument(QObject* sender = nullptr);
    // Shows `panel` for files of `extensions`; `completion` gets the panel's answer.
    virtual void beginOpenPanel(std::shared_ptr<NSOpenPanel> panel,
                                std::vector<std::string> extensions,
                                std::function<void(NSModalResponse)> completion);
    // Opens the file as a document (or brings its open document forward) and, with `display`,
    // shows its windows.
    virtual void openDocumentWithContentsOfURL(const URL& url, bool display,
                                               OpenCompletion completion);
    // Opens the document at `url` from the contents at `contentsURL` (the same file here), as
    // window restoration does.
    virtual void reopenDocumentForURL(const URL& url, const URL& contentsURL, bool display,
                                      OpenCompletion completion);

    bool tryToPerform(std::string_view action, QObject* sender) override;

private:
    std::shared_ptr<NSDocument> makeDocumentForURL(const URL& url,
                                                   std::shared_ptr<const Error>& error);

    std::vector<std::shared_ptr<NSDocument>> documents_;
    DocumentFactory documentFactory_;
};

}  // namespace platform
