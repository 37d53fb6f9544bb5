#include "platform/appkit/NSOpenPanel.h"

#include <QFileDialog>
#include <QStringList>

#include "platform/appkit/NSWindow.h"
#include "platform/foundation/Localization.h"

namespace platform {

QStringList NSOpenPanel::nameFilters(const std::vector<std::string>& extensions) {
    QStringList patterns;
    for (const auto& extension : extensions) {
        // The desktop's choosers match patterns case-sensitively; cameras write ".MP4".
        const QString lower = QString::fromStdString(extension).toLower();
        for (const QString& spelling : {lower, lower.toUpper()}) {
            const QString pattern = QStringLiteral("*.") + spelling;
            if (!patterns.contains(pattern)) {
                patterns << pattern;
            }
        }
    }
    // The declared types are what the player knows by name; it opens many more.
    return {QString::fromStdString(platform::localizedString(
                "Supported Files",
                "The Open panel's filter that shows the files of the declared types.")) +
                QStringLiteral(" (%1)").arg(patterns.join(QLatin1Char(' '))),
            QString::fromStdString(platform::localizedString(
                "All Files", "The Open panel's filter that shows every file.")) +
                QStringLiteral(" (*)")};
}

std::shared_ptr<NSOpenPanel> NSOpenPanel::openPanel() {
    return std::shared_ptr<NSOpenPanel>(new NSOpenPanel());
}

NSOpenPanel::~NSOpenPanel() {
    if (dialog_) {
        // The handler must not run for a panel that is gone.
        handler_ = nullptr;
        delete dialog_.data();
    }
}

void NSOpenPanel::setCanChooseFiles(bool value) {
    canChooseFiles_ = value;
}

void NSOpenPanel::setCanChooseDirectories(bool value) {
    canChooseDirectories_ = value;
}

void NSOpenPanel::setAllowsMultipleSelection(bool value) {
    allowsMultipleSelection_ = value;
}

void NSOpenPanel::setAllowedFileTypes(std::vector<std::string> extensions) {
    allowedFileTypes_ = std::move(extensions);
}

void NSOpenPanel::setDirectoryURL(const platform::URL& url) {
    directoryURL_ = url;
}

void NSOpenPanel::beginSheetModalForWindow(NSWindow* window,
                                           std::function<void(NSModalResponse)> handler) {
    show(window, std::move(handler));
}

void NSOpenPanel::begin(std::function<void(NSModalResponse)> handler) {
    show(nullptr, std::move(handler));
}

void NSOpenPanel::show(QWidget* parent, std::function<void(NSModalResponse)> handler) {
    if (dialog_) {
        return;
    }
    urls_.clear();
    handler_ = std::move(handler);

    auto* dialog = new QFileDialog(parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // The desktop's own chooser where the platform theme has one (the portal's, GNOME's, KDE's);
    // Qt's dialog otherwise.
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    if (canChooseDirectories_ && !canChooseFiles_) {
        dialog->setFileMode(QFileDialog::Directory);
        dialog->setOption(QFileDialog::ShowDirsOnly);
    } else {
        dialog->setFileMode(allowsMultipleSelection_ ? QFileDialog::ExistingFiles
                                                     : QFileDialog::ExistingFile);
    }
    if (!allowedFileTypes_.empty()) {
        dialog->setNameFilters(nameFilters(allowedFileTypes_));
    }
    if (directoryURL_) {
        dialog->setDirectory(QString::fromStdString(directoryURL_->path()));
    }
    dialog->setWindowModality(parent != nullptr ? Qt::WindowModal : Qt::NonModal);
    QObject::connect(dialog, &QFileDialog::finished, dialog, [this, dialog](int result) {
        if (result == QDialog::Accepted) {
            for (const QString& file : dialog->selectedFiles()) {
                urls_.push_back(URL::fileURL(file.toStdString()));
            }
        }
        finish(result == QDialog::Accepted && !urls_.empty() ? NSModalResponseOK
                                                             : NSModalResponseCancel);
    });
    dialog_ = dialog;
    dialog->open();
}

void NSOpenPanel::finish(NSModalResponse response) {
    // The handler may drop the last reference to the panel.
    auto keepAlive = weak_from_this().lock();
    auto handler = std::move(handler_);
    handler_ = nullptr;
    dialog_ = nullptr;
    if (handler) {
        handler(response);
    }
}

void NSOpenPanel::cancel(QObject*) {
    if (dialog_) {
        dialog_->reject();
    }
}

bool NSOpenPanel::isVisible() const {
    return dialog_ && dialog_->isVisible();
}

std::optional<URL> NSOpenPanel::URL() const {
    if (urls_.empty()) {
        return std::nullopt;
    }
    return urls_.front();
}

std::vector<URL> NSOpenPanel::URLs() const {
    return urls_;
}

QFileDialog* NSOpenPanel::dialog() const {
    return dialog_.data();
}

}  // namespace platform
